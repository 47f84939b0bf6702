# Runs PROGRAM --headless --scenario SCENARIO and passes when the program refuses it: a non-zero
# exit and a message matching the regular expression EXPECT.
execute_process(
    COMMAND "${PROGRAM}" --headless --scenario "${SCENARIO}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
message("exit ${result}: ${output}")
if(result EQUAL 0)
    message(FATAL_ERROR "the broken scenario was played instead of refused")
endif()
if(NOT output MATCHES "${EXPECT}")
    message(FATAL_ERROR "the refusal does not name the field: expected ${EXPECT}")
endif()
