# Runs PROGRAM with ARGS (the arguments joined by "|") and passes when it exits with EXIT and
# prints a message matching the regular expression EXPECT; and, when FILE is given, when that
# file holds a match of each regular expression in FILE_EXPECT (joined by "|" too).
include(${CMAKE_CURRENT_LIST_DIR}/runprogram.cmake)
string(REPLACE "|" ";" arguments "${ARGS}")
if(DEFINED FILE)
    file(REMOVE "${FILE}")
endif()
tavrin_run(EXIT "${EXIT}" EXPECT "${EXPECT}" COMMAND "${PROGRAM}" ${arguments})
if(DEFINED FILE)
    file(READ "${FILE}" content)
    string(REPLACE "|" ";" expressions "${FILE_EXPECT}")
    foreach(expression IN LISTS expressions)
        if(NOT content MATCHES "${expression}")
            message(FATAL_ERROR "${FILE} does not hold ${expression}:\n${content}")
        endif()
    endforeach()
endif()
