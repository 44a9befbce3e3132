# Project-wide build helpers.

# Warnings on and clean for every target of ours.
function(sumiro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()

# sumiro_add_test(NAME SOURCES... [LIBS ...] [ENV ...] [WIDGETS | CUSTOM_MAIN] [END_TO_END])
# One test binary per module, registered with CTest through GoogleTest discovery.
# WIDGETS: the shared main() of widget tests (a QApplication on the offscreen platform, with
#   settings in a scratch directory). CUSTOM_MAIN: the sources bring their own main().
# END_TO_END: a test on a private X server with the recording window, input methods and the
#   other session helpers of testsupport/; built only where the desktop is X11.
function(sumiro_add_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(ARG "WIDGETS;CUSTOM_MAIN;END_TO_END" "" "SOURCES;LIBS;ENV" ${ARGN})
  if(ARG_END_TO_END AND NOT SUMIRO_DESKTOP STREQUAL "x11")
    return()
  endif()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock)
  if(ARG_END_TO_END)
    target_link_libraries(${name} PRIVATE sumiro::testsupport)
  endif()
  if((ARG_WIDGETS OR ARG_END_TO_END) AND NOT ARG_CUSTOM_MAIN)
    target_link_libraries(${name} PRIVATE sumiro_test_main)
  elseif(NOT ARG_CUSTOM_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  sumiro_warnings(${name})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${ARG_ENV}")
endfunction()
