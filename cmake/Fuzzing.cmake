# LINESTRA_FUZZ=ON builds every target for libFuzzer (coverage feedback,
# AddressSanitizer and UndefinedBehaviorSanitizer) and adds the fuzz targets
# of fuzz/, which link the stand-in host's library. Clang only; use a
# separate build folder (scripts/fuzz uses build-fuzz).
if(LINESTRA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "LINESTRA_FUZZ needs clang (libFuzzer); configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  if(LINESTRA_SANITIZE)
    message(FATAL_ERROR "LINESTRA_FUZZ brings its own sanitizers; leave LINESTRA_SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
