include(GoogleTest)

# korvane_add_gtest(NAME SOURCES a.cpp b.cpp LIBS korvane::x [LABELS playback ...])
# Builds one GoogleTest program; each test case becomes its own ctest entry.
function(korvane_add_gtest name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest GTest::gmock GTest::gtest_main korvane::warnings)
  target_compile_definitions(${name} PRIVATE
    KORVANE_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
    KORVANE_BIN_DIR="${PROJECT_BINARY_DIR}/bin")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
  # gtest_discover_tests (CMake 3.25) splits list-valued PROPERTIES into separate
  # property names, losing every label but the first and the second variable. A second
  # include file, read after discovery, sets them on the discovered tests instead.
  set(props_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(WRITE ${props_file}
    "if(${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${arg_LABELS}\"\n"
    "    ENVIRONMENT \"QT_QPA_PLATFORM=offscreen;KORVANE_AUDIO=null\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${props_file})
endfunction()
