# Tests of a Windows build, run under Wine (included by tests/CMakeLists.txt).

# GoogleTest from Debian's sources (libgtest-dev ships them), built with
# the cross compiler; it names its libraries GTest::gtest and so on.
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Test code is compiled without optimisation: it runs once per build, and
# the cross compiler's -O3 on it costs minutes. The program's own libraries
# keep the build type's flags, so the code tested is the code shipped.
function(e2d_unoptimised target)
  target_compile_options(${target} PRIVATE -O0 -g0)
endfunction()
foreach(gtest_target gtest gtest_main gmock gmock_main)
  e2d_unoptimised(${gtest_target})
endforeach()

# Every test program starts through wine_run.sh in the build's prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh ${PROJECT_BINARY_DIR})
# Wine maps the Linux root to Z:.
set(E2D_TEST_SOURCE_DIR "Z:${PROJECT_SOURCE_DIR}")
set(E2D_TEST_BINARY_DIR "Z:${PROJECT_BINARY_DIR}")

# The tests of target, found in its sources, each needing the prefix. A
# filter that matches no test (a test renamed or compiled out) fails
# instead of passing with nothing run.
function(e2d_wine_gtests target environment)
  e2d_unoptimised(${target})
  get_target_property(sources ${target} SOURCES)
  set(test_sources "")
  foreach(source IN LISTS sources)
    if(source MATCHES "_test\\.cpp$")
      list(APPEND test_sources ${source})
    endif()
  endforeach()
  gtest_add_tests(TARGET ${target} SOURCES ${test_sources} TEST_LIST tests)
  set_tests_properties(${tests} PROPERTIES
    ENVIRONMENT "${environment}"
    FIXTURES_REQUIRED wine
    SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\] [1-9]"
    FAIL_REGULAR_EXPRESSION "\\[  PASSED  \\] 0 tests")
endfunction()
