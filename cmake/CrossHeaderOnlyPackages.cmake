# Header-only packages of the build machine (nlohmann JSON, CLI11) for a
# cross build. Their CMake packages point at the build machine's include
# folder, which must not reach a cross compiler (it would find the build
# machine's C library headers there); instead each package's headers are
# linked into a folder of their own in the build tree, and a small package
# file there defines the usual target for find_package().
if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()

function(linestra_cross_header_package package target header folder)
  if(TARGET ${target})
    return()
  endif()
  find_path(_linestra_${package}_include ${header} PATHS /usr/include /usr/local/include
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT _linestra_${package}_include)
    message(FATAL_ERROR "${package}: ${header} not found on the build machine (install its Debian package)")
  endif()
  set(stage ${CMAKE_BINARY_DIR}/cross-packages/${package})
  file(MAKE_DIRECTORY ${stage}/include)
  if(NOT EXISTS ${stage}/include/${folder})
    file(CREATE_LINK ${_linestra_${package}_include}/${folder} ${stage}/include/${folder} SYMBOLIC)
  endif()
  file(WRITE ${stage}/${package}Config.cmake
       "if(NOT TARGET ${target})\n"
       "  add_library(${target} INTERFACE IMPORTED)\n"
       "  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${stage}/include\")\n"
       "endif()\n")
  set(${package}_DIR ${stage} CACHE PATH "Cross build: ${package} headers of the build machine" FORCE)
endfunction()

linestra_cross_header_package(nlohmann_json nlohmann_json::nlohmann_json nlohmann/json.hpp nlohmann)
linestra_cross_header_package(CLI11 CLI11::CLI11 CLI/CLI.hpp CLI)
