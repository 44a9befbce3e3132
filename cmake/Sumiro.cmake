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

# sumiro_add_test(NAME SOURCES... [LIBS ...] [ENV ...] [WIDGETS | CUSTOM_MAIN] [END_TO_END]
#                 [SERIAL])
# One test binary per module, registered with CTest through GoogleTest discovery.
# WIDGETS: the shared main() of tests that need an application object (a QApplication on the
#   offscreen platform, with settings in a scratch directory). CUSTOM_MAIN: the sources bring
#   their own main().
# END_TO_END: a test on a private X server (or a headless sway) with the recording window,
#   input methods and the other session helpers of testsupport/, with the shared main() unless
#   CUSTOM_MAIN; built only where the desktop is X11.
# SERIAL: each test runs alone (a whole desktop session that other tests' load would slow).
# Every test sees the pad in its own language, Japanese, whatever the locale it is run in.
function(sumiro_add_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(ARG "WIDGETS;CUSTOM_MAIN;END_TO_END;SERIAL" "" "SOURCES;LIBS;ENV" ${ARGN})
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
  set(serial FALSE)
  if(ARG_SERIAL)
    set(serial TRUE)
  endif()
  set(environment LANGUAGE= LC_ALL= LC_MESSAGES= LANG=C.UTF-8 ${ARG_ENV})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${environment}" RUN_SERIAL ${serial})
endfunction()

# sumiro_wayland_protocol(TARGET XML...)
# A static library of the client code wayland-scanner makes from each protocol file, with the
# headers (NAME-client-protocol.h) on its interface.
find_package(PkgConfig REQUIRED)
pkg_get_variable(SUMIRO_WAYLAND_PROTOCOLS wayland-protocols pkgdatadir)
function(sumiro_wayland_protocol target)
  pkg_get_variable(scanner wayland-scanner wayland_scanner)
  if(NOT scanner)
    message(FATAL_ERROR "wayland-scanner not found: install libwayland-dev")
  endif()
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}")
  set(sources)
  foreach(xml IN LISTS ARGN)
    get_filename_component(name "${xml}" NAME_WE)
    add_custom_command(
      OUTPUT "${out}/${name}-client-protocol.h" "${out}/${name}-protocol.c"
      COMMAND "${scanner}" client-header "${xml}" "${out}/${name}-client-protocol.h"
      COMMAND "${scanner}" private-code "${xml}" "${out}/${name}-protocol.c"
      DEPENDS "${xml}"
      COMMENT "Generating the Wayland client code of ${name}"
      VERBATIM)
    # Compiled as C++ like everything else (the checked builds instrument every object with
    # clang++'s sanitizers), with the C linkage the header declares (its declarations also
    # keep the constant interfaces external; a parameter named "namespace" is renamed).
    file(WRITE "${out}/${name}-protocol.cpp"
      "#include <stddef.h>\n#include <stdint.h>\n#include <stdlib.h>\n#include <wayland-client.h>\n"
      "#define namespace namespace_\n#include \"${name}-client-protocol.h\"\n#undef namespace\n"
      "extern \"C\" {\n#include \"${name}-protocol.c\"\n}\n")
    set_source_files_properties("${out}/${name}-protocol.cpp" PROPERTIES
      OBJECT_DEPENDS "${out}/${name}-protocol.c;${out}/${name}-client-protocol.h"
      COMPILE_OPTIONS -w)
    set_source_files_properties("${out}/${name}-protocol.c" PROPERTIES HEADER_FILE_ONLY ON)
    list(APPEND sources "${out}/${name}-client-protocol.h" "${out}/${name}-protocol.c"
      "${out}/${name}-protocol.cpp")
  endforeach()
  file(MAKE_DIRECTORY "${out}")
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC "${out}")
  target_link_libraries(${target} PUBLIC PkgConfig::WaylandClient)
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()
