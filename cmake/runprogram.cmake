# What the scripted tests share: one run of a program, judged by its exit code and what it says.

# tavrin_run(EXIT <code> [EXPECT <regex>] COMMAND <program> <argument>...): runs the program for
# at most a minute, prints what it said, and fails the test unless it exits with the code and
# says something matching EXPECT.
function(tavrin_run)
    cmake_parse_arguments(RUN "" "EXIT;EXPECT" "COMMAND" ${ARGN})
    execute_process(COMMAND ${RUN_COMMAND} RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE output TIMEOUT 60)
    message("exit ${result}: ${output}")
    if(NOT result STREQUAL "${RUN_EXIT}")
        message(FATAL_ERROR "exit ${result}, expected ${RUN_EXIT}: ${RUN_COMMAND}")
    endif()
    if(DEFINED RUN_EXPECT AND NOT output MATCHES "${RUN_EXPECT}")
        message(FATAL_ERROR "the message does not say ${RUN_EXPECT}")
    endif()
endfunction()
