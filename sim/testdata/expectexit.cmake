# Runs PROGRAM with ARGS (the arguments joined by "|") and passes when it exits with EXIT and
# prints a message matching the regular expression EXPECT.
string(REPLACE "|" ";" arguments "${ARGS}")
execute_process(
    COMMAND "${PROGRAM}" ${arguments}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output
    TIMEOUT 60)
message("exit ${result}: ${output}")
if(NOT result STREQUAL "${EXIT}")
    message(FATAL_ERROR "exit ${result}, expected ${EXIT}")
endif()
if(NOT output MATCHES "${EXPECT}")
    message(FATAL_ERROR "the message does not say ${EXPECT}")
endif()
