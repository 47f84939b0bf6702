# The sanitizer build. Every target that compiles code links tavrin_sanitizers: with
# TAVRIN_SANITIZE it carries AddressSanitizer and UndefinedBehaviorSanitizer to the compile and
# the link, otherwise nothing. A program and the libraries it links must be instrumented alike,
# or the link fails on the sanitizers' symbols: tavrin_check_sanitized() refuses a configure
# that forgets one.
add_library(tavrin_sanitizers INTERFACE)
if(TAVRIN_SANITIZE)
    target_compile_options(tavrin_sanitizers INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(tavrin_sanitizers INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all)
    if(TAVRIN_BUILD_FUZZERS AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        # One clang build serves both: every library also carries the fuzzers' coverage
        # instrumentation, so the suites run under the sanitizers and the fuzzers link alike.
        target_compile_options(tavrin_sanitizers INTERFACE -fsanitize=fuzzer-no-link)
    endif()
endif()

# How the instrumented programs run is written once, for ctest and scripts/fuzz.sh alike.
set(TAVRIN_SANITIZER_OPTIONS "${PROJECT_SOURCE_DIR}/tests/sanitizers/options.env")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${TAVRIN_SANITIZER_OPTIONS}")

# tavrin_sanitizer_environment(<variable> <run>): the sanitizers' options for a run, "suites" or
# "fuzz", as NAME=value items for a test's ENVIRONMENT, appended to <variable>.
function(tavrin_sanitizer_environment variable run)
    file(STRINGS "${TAVRIN_SANITIZER_OPTIONS}" lines REGEX "^[^#]")
    set(names)
    foreach(line IN LISTS lines)
        if(NOT line MATCHES "^(([a-z]+): *)?([A-Z]+_OPTIONS)=(.+)$")
            message(FATAL_ERROR "${TAVRIN_SANITIZER_OPTIONS}: cannot read \"${line}\"")
        endif()
        if(CMAKE_MATCH_2 AND NOT CMAKE_MATCH_2 STREQUAL run)
            continue()
        endif()
        set(name ${CMAKE_MATCH_3})
        string(REGEX REPLACE "(^|:)suppressions=" "\\1suppressions=${PROJECT_SOURCE_DIR}/"
               value "${CMAKE_MATCH_4}")
        if(DEFINED options_${name})
            string(APPEND options_${name} ":${value}")
        else()
            set(options_${name} "${value}")
            list(APPEND names ${name})
        endif()
    endforeach()
    set(environment ${${variable}})
    foreach(name IN LISTS names)
        list(APPEND environment "${name}=${options_${name}}")
    endforeach()
    set(${variable} ${environment} PARENT_SCOPE)
endfunction()

# tavrin_check_sanitized(<directory>): fails the configure when a target of the directory, or of
# one below it, compiles code without linking tavrin_sanitizers.
function(tavrin_check_sanitized directory)
    get_property(targets DIRECTORY "${directory}" PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        get_target_property(libraries ${target} LINK_LIBRARIES)
        if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$"
           AND NOT tavrin_sanitizers IN_LIST libraries)
            message(FATAL_ERROR "${target} does not link tavrin_sanitizers: it would be built "
                                "without the sanitizers that the rest of the tree carries")
        endif()
    endforeach()
    get_property(subdirectories DIRECTORY "${directory}" PROPERTY SUBDIRECTORIES)
    foreach(subdirectory IN LISTS subdirectories)
        tavrin_check_sanitized("${subdirectory}")
    endforeach()
endfunction()
