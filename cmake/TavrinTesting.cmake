# How the simulators' programs are tested: each run's exit code and what it says.

set(TAVRIN_EXPECT_EXIT_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/expectexit.cmake")

# tavrin_expect_exit(<name> PROGRAM <target> EXIT <code> EXPECT <regex>
#                    [FILE <path> FILE_EXPECT <regex>...] [TIMEOUT <seconds>] [ARGS <argument>...])
# A test that runs the program with the arguments and passes when it exits with the code and
# prints a match of EXPECT; with FILE, when that file then holds a match of each FILE_EXPECT.
function(tavrin_expect_exit name)
    cmake_parse_arguments(T "" "PROGRAM;EXIT;EXPECT;FILE;TIMEOUT" "FILE_EXPECT;ARGS" ${ARGN})
    if(NOT T_PROGRAM OR T_EXIT STREQUAL "" OR NOT DEFINED T_EXPECT)
        message(FATAL_ERROR "tavrin_expect_exit(${name}) needs PROGRAM, EXIT and EXPECT")
    endif()
    # The script takes its lists joined by "|": a ";" would split the -D option.
    string(REPLACE ";" "|" arguments "${T_ARGS}")
    set(file_options)
    if(T_FILE)
        string(REPLACE ";" "|" file_expect "${T_FILE_EXPECT}")
        set(file_options "-DFILE=${T_FILE}" "-DFILE_EXPECT=${file_expect}")
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 60)
    endif()
    add_test(NAME ${name}
             COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${T_PROGRAM}> "-DARGS=${arguments}"
                     -DEXIT=${T_EXIT} "-DEXPECT=${T_EXPECT}" ${file_options} -P ${TAVRIN_EXPECT_EXIT_SCRIPT})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${TAVRIN_TEST_ENVIRONMENT}" TIMEOUT ${T_TIMEOUT})
endfunction()
