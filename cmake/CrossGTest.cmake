# GoogleTest for cross builds: built from Debian's sources (package googletest) with
# the cross compiler, since the installed libraries only fit the build machine.
# Offers the same GTest:: targets as find_package(GTest).
#
# Under an emulator (Wine) every program start costs time, so each test program
# becomes a single CTest entry that runs all its cases in one process:
# gtest_discover_tests and gtest_add_tests are replaced accordingly.

set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
if(NOT EXISTS "${GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "No GoogleTest sources in ${GOOGLETEST_SOURCE_DIR}; install the Debian package googletest")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
# The win32 flavour of MinGW-w64 has no pthreads; GoogleTest then uses Windows' own primitives.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory("${GOOGLETEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
# The win32 flavour's C++ library lacks std::mutex, which one GoogleTest class needs;
# a replacement comes in through GoogleTest's own customisation header, found first.
foreach(lib gtest gmock)
    target_compile_options(${lib} PUBLIC -iquote "${CMAKE_CURRENT_LIST_DIR}/mingw-gtest")
endforeach()

foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
        add_library(GTest::${lib} ALIAS ${lib})
    endif()
endforeach()
if(NOT TARGET GTest::GTest)
    add_library(GTest::GTest ALIAS gtest)
    add_library(GTest::Main ALIAS gtest_main)
endif()

include(GoogleTest)

# One CTest entry per test program, named after the target.
function(add_emulated_gtest target)
    cmake_parse_arguments(ARG "" "WORKING_DIRECTORY;TEST_LIST;TEST_PREFIX;TEST_SUFFIX" "EXTRA_ARGS;PROPERTIES" ${ARGN})
    set(name "${ARG_TEST_PREFIX}${target}${ARG_TEST_SUFFIX}")
    if(NOT ARG_WORKING_DIRECTORY)
        set(ARG_WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
    endif()
    add_test(NAME "${name}" COMMAND ${target} ${ARG_EXTRA_ARGS} WORKING_DIRECTORY "${ARG_WORKING_DIRECTORY}")
    if(ARG_PROPERTIES)
        set_tests_properties("${name}" PROPERTIES ${ARG_PROPERTIES})
    endif()
    if(ARG_TEST_LIST)
        set(${ARG_TEST_LIST} "${name}" PARENT_SCOPE)
    endif()
endfunction()

function(gtest_discover_tests target)
    add_emulated_gtest(${target} ${ARGN})
    cmake_parse_arguments(ARG "" "TEST_LIST" "" ${ARGN})
    if(ARG_TEST_LIST)
        set(${ARG_TEST_LIST} "${${ARG_TEST_LIST}}" PARENT_SCOPE)
    endif()
endfunction()

function(gtest_add_tests)
    cmake_parse_arguments(ARG "SKIP_DEPENDENCY" "TARGET;WORKING_DIRECTORY;TEST_LIST;TEST_PREFIX;TEST_SUFFIX"
                          "SOURCES;EXTRA_ARGS" ${ARGN})
    if(NOT ARG_TARGET)
        message(FATAL_ERROR "gtest_add_tests: only the keyword form with TARGET is supported in cross builds")
    endif()
    set(forward)
    foreach(key WORKING_DIRECTORY TEST_LIST TEST_PREFIX TEST_SUFFIX)
        if(ARG_${key})
            list(APPEND forward ${key} "${ARG_${key}}")
        endif()
    endforeach()
    if(ARG_EXTRA_ARGS)
        list(APPEND forward EXTRA_ARGS ${ARG_EXTRA_ARGS})
    endif()
    add_emulated_gtest(${ARG_TARGET} ${forward})
    if(ARG_TEST_LIST)
        set(${ARG_TEST_LIST} "${${ARG_TEST_LIST}}" PARENT_SCOPE)
    endif()
endfunction()
