# Records live dialogues and replays the recordings offline: each must reach the same end.
# TERMINAL and CHECKER are the programs, SERVICE the check service, SCENARIO the scenario played
# and WORK an empty directory of this test's own.
include(${CMAKE_CURRENT_LIST_DIR}/runprogram.cmake)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# The terminal with its own simulated service, and the checker against a service that answers
# everything twice: the copies are part of the recording.
tavrin_run(EXIT 0 EXPECT "PASS" COMMAND "${TERMINAL}" --headless --scenario "${SCENARIO}" --record "${WORK}/terminal.json")
tavrin_run(EXIT 1 COMMAND "${CHECKER}" --time-scale 0.05 --scenario "${SCENARIO}" --record "${WORK}/checker"
                          --service-command "${SERVICE} --time-scale 0.05 --fault twice --scenario {scenario}")
file(GLOB recorded "${WORK}/checker/*.json")
if(NOT recorded)
    message(FATAL_ERROR "the checker recorded nothing")
endif()
file(READ "${recorded}" text)
if(NOT text MATCHES "\"duplicates\": 1")
    message(FATAL_ERROR "the recording lost the second answers")
endif()
foreach(file IN ITEMS "${WORK}/terminal.json" ${recorded})
    tavrin_run(EXIT 0 EXPECT "PASS" COMMAND "${TERMINAL}" --headless --scenario "${file}")
endforeach()
