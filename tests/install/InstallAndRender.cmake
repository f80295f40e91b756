# Installs the build into a fresh prefix and renders the demo scene with the
# installed linestra-render, which must find the installed module on its own
# (no --plugin). Run by CTest (test install.RendersTheDemoFromThePrefix).
#   -DBUILD_DIR=... -DPREFIX=... [-DFREI0R=ON: the frei0r modules were built]
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${out}")
endif()
foreach(file bin/linestra-render bin/linestra-inspect share/man/man1/linestra-render.1
             share/doc/Linestra/README.md share/doc/Linestra/CHANGELOG.md)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "the install has no ${file}")
  endif()
endforeach()
if(FREI0R)
  foreach(file lib/frei0r-1/linestra.so lib/frei0r-1/linestra_layer.so)
    if(NOT EXISTS ${PREFIX}/${file})
      message(FATAL_ERROR "the install has no ${file}")
    endif()
  endforeach()
endif()
file(GLOB modules ${PREFIX}/lib*/linestra/Linestra.*)
if(NOT modules)
  message(FATAL_ERROR "the install has no module in lib/linestra")
endif()
execute_process(COMMAND ${PREFIX}/bin/linestra-render -o demo.png WORKING_DIRECTORY ${PREFIX}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0 OR NOT EXISTS ${PREFIX}/demo.png)
  message(FATAL_ERROR "the installed linestra-render did not render the demo (${status}):\n${out}")
endif()
message(STATUS "installed into ${PREFIX}; the demo rendered from there")
