# Instrumentation for the fuzz build: every library the targets link is built
# with coverage feedback and both sanitizers; only the targets themselves link
# the libFuzzer driver (fuzz/CMakeLists.txt).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "ORVA_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang)")
endif()
if(ORVA_SANITIZE)
  message(FATAL_ERROR "ORVA_FUZZ brings its own sanitizers; leave ORVA_SANITIZE off")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -Wno-unknown-warning-option
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)
