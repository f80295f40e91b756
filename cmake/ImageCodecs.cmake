# The image codecs of the portable image files (harness/images): stb_image
# (Debian libstb-dev) reads PNG, JPEG, BMP, GIF, TGA, PSD, HDR and PIC;
# tinyexr (Debian libtinyexr-dev) reads and writes OpenEXR; zlib compresses
# PNG and OpenEXR data (for the MinGW build Debian's libz-mingw-w64-dev,
# linked statically). Both codecs are used header-only: their implementations
# are compiled once, in harness/images/ImageCodecs.cpp, with this build's
# compiler, so the Windows build gets them too.
#
# The headers live in the build machine's /usr/include, which must not reach
# a cross compiler (it would find the build machine's C library headers
# there): they are linked into a folder of their own in the build tree and
# included from there as system headers, natively as well as across.
#
# Defines the target linestra_image_codecs.
if(TARGET linestra_image_codecs)
  return()
endif()

set(_stage ${CMAKE_BINARY_DIR}/image-codecs/include)
file(MAKE_DIRECTORY ${_stage})
foreach(_entry "stb/stb_image.h|stb" "tinyexr.h|tinyexr.h")
  string(REPLACE "|" ";" _entry "${_entry}")
  list(GET _entry 0 _header)
  list(GET _entry 1 _link)
  string(MAKE_C_IDENTIFIER "${_header}" _id)
  find_path(LINESTRA_${_id}_DIR ${_header} PATHS /usr/include /usr/local/include
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT LINESTRA_${_id}_DIR)
    message(FATAL_ERROR "${_header} not found on the build machine: apt-get install libstb-dev libtinyexr-dev "
                        "(or scripts/install-deps)")
  endif()
  if(NOT EXISTS ${_stage}/${_link})
    file(CREATE_LINK ${LINESTRA_${_id}_DIR}/${_link} ${_stage}/${_link} SYMBOLIC)
  endif()
endforeach()

if(MINGW)
  # No zlib DLL beside the programs.
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)

add_library(linestra_image_codecs STATIC ${PROJECT_SOURCE_DIR}/harness/images/ImageCodecs.cpp)
target_include_directories(linestra_image_codecs SYSTEM PUBLIC ${_stage})
target_link_libraries(linestra_image_codecs PUBLIC ZLIB::ZLIB)
# Settings both the implementations and their users see: pictures are read
# from memory (no stdio paths, which would not take UTF-8 names on Windows);
# Netpbm files are read by the harness's own reader.
target_compile_definitions(linestra_image_codecs PUBLIC STBI_NO_STDIO STBI_NO_PNM)
# Third-party code: its own warnings are not ours to fix.
target_compile_options(linestra_image_codecs PRIVATE $<$<CXX_COMPILER_ID:GNU,Clang>:-w>)
