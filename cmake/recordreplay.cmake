# Records live dialogues and replays the recordings offline: each must reach the same end.
# TERMINAL and CHECKER are the programs, SERVICE the check service, SCENARIO the scenario played
# and WORK an empty directory of this test's own.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE output TIMEOUT 60)
    message("${output}")
    if(NOT result STREQUAL "0")
        message(FATAL_ERROR "exit ${result}: ${ARGN}")
    endif()
    if(NOT output MATCHES "PASS")
        message(FATAL_ERROR "no PASS from ${ARGN}")
    endif()
endfunction()

# The terminal with its own simulated service, and the checker against a service that answers
# everything twice: the copies are part of the recording.
run("${TERMINAL}" --headless --scenario "${SCENARIO}" --record "${WORK}/terminal.json")
execute_process(COMMAND "${CHECKER}" --time-scale 0.05 --scenario "${SCENARIO}" --record "${WORK}/checker"
                        --service-command "${SERVICE} --time-scale 0.05 --fault twice --scenario {scenario}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 60)
message("${output}")
file(GLOB recorded "${WORK}/checker/*.json")
if(NOT result STREQUAL "1" OR NOT recorded)
    message(FATAL_ERROR "the checker ended with ${result} and recorded '${recorded}'")
endif()
file(READ "${recorded}" text)
if(NOT text MATCHES "\"duplicates\": 1")
    message(FATAL_ERROR "the recording lost the second answers")
endif()
foreach(file IN ITEMS "${WORK}/terminal.json" ${recorded})
    run("${TERMINAL}" --headless --scenario "${file}")
endforeach()
