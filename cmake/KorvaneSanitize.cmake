# KORVANE_SANITIZE=address,undefined or thread instruments every target of the build.
if(KORVANE_SANITIZE)
  add_compile_options(-fsanitize=${KORVANE_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${KORVANE_SANITIZE})
  if(KORVANE_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

# KORVANE_FUZZ=ON builds the libFuzzer targets of tests/fuzz (clang only): every library
# is instrumented for coverage; each fuzz target links libFuzzer's driver. Combine with
# KORVANE_SANITIZE=address,undefined.
option(KORVANE_FUZZ "Build the libFuzzer targets (clang)" OFF)
if(KORVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KORVANE_FUZZ needs clang: -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
