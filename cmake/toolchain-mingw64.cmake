# Cross build for Windows x86-64 with Debian's MinGW-w64 toolchain (the posix
# threads variant, package g++-mingw-w64-x86-64-posix, which std::thread
# needs). Build-time generators cannot run here: point
# LINESTRA_NATIVE_TOOLS_DIR at a native build folder.
#
#   cmake -S . -B build-windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
#         -DLINESTRA_NATIVE_TOOLS_DIR=$PWD/build
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LINESTRA_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${LINESTRA_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${LINESTRA_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${LINESTRA_MINGW_PREFIX}-windres REQUIRED)
find_program(CMAKE_AR NAMES ${LINESTRA_MINGW_PREFIX}-gcc-ar-posix ${LINESTRA_MINGW_PREFIX}-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES ${LINESTRA_MINGW_PREFIX}-gcc-ranlib-posix ${LINESTRA_MINGW_PREFIX}-ranlib REQUIRED)

# Libraries and headers come from the MinGW sysroot only; programs (the
# native generators) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${LINESTRA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ and GCC runtimes (and winpthread) are linked in statically, so the
# module and the programs need only the system's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Programs built here run under Wine when CMake or CTest needs to run them.
find_program(LINESTRA_WINE NAMES wine64 wine)
if(LINESTRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LINESTRA_WINE})
endif()
