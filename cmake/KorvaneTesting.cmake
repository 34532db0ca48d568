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
  set(labels ${arg_LABELS})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${labels}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KORVANE_AUDIO=null")
endfunction()
