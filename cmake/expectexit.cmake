# Runs PROGRAM with ARGS (the arguments joined by "|") and passes when it exits with EXIT and
# prints a message matching the regular expression EXPECT; and, when FILE is given, when that
# file holds a match of each regular expression in FILE_EXPECT (joined by "|" too).
string(REPLACE "|" ";" arguments "${ARGS}")
if(DEFINED FILE)
    file(REMOVE "${FILE}")
endif()
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
if(DEFINED FILE)
    file(READ "${FILE}" content)
    string(REPLACE "|" ";" expressions "${FILE_EXPECT}")
    foreach(expression IN LISTS expressions)
        if(NOT content MATCHES "${expression}")
            message(FATAL_ERROR "${FILE} does not hold ${expression}:\n${content}")
        endif()
    endforeach()
endif()
