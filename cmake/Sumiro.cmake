# Project-wide build helpers.

# Warnings on and clean for every target of ours.
function(sumiro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()

# A program in the build tree finds the generated data the way an installed one does, beside
# itself: a "resources" link next to it leads to SUMIRO_RESOURCE_DIR. Installing copies the
# program alone, so no installed program ever looks into the build tree.
function(sumiro_link_build_resources target)
  get_target_property(dir ${target} BINARY_DIR)
  file(RELATIVE_PATH link "${dir}" "${SUMIRO_RESOURCE_DIR}")
  file(CREATE_LINK "${link}" "${dir}/resources" SYMBOLIC)
endfunction()

# sumiro_add_test(NAME SOURCES... [LIBS ...] [ENV ...] [CUSTOM_MAIN])
# One test binary per module, registered with CTest through GoogleTest discovery.
# CUSTOM_MAIN: the sources bring their own main() (e.g. one that creates a QApplication).
function(sumiro_add_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(ARG "CUSTOM_MAIN" "" "SOURCES;LIBS;ENV" ${ARGN})
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock)
  if(NOT ARG_CUSTOM_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  sumiro_warnings(${name})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${ARG_ENV}")
endfunction()
