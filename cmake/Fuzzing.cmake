# TAPWEDGE_FUZZ builds the fuzz targets of tests/fuzz instead of the tests: clang with libFuzzer,
# AddressSanitizer and UBSan. Every library is instrumented for coverage; only the targets link
# libFuzzer's main. Configure it in a build folder of its own (scripts/fuzz uses build-fuzz).
option(TAPWEDGE_FUZZ "Build the fuzz targets (clang, libFuzzer, ASan, UBSan) instead of the tests" OFF)
if(TAPWEDGE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TAPWEDGE_FUZZ needs clang (for example -DCMAKE_CXX_COMPILER=clang++-14)")
  endif()
  if(TAPWEDGE_SANITIZE)
    message(FATAL_ERROR "TAPWEDGE_FUZZ brings its own sanitizers; leave TAPWEDGE_SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
