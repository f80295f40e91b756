# One check of the Windows build under Wine, run by CTest (see
# CMakeLists.txt here):
#
#   cmake -DMODE=<mode> -DWINE=... -DWINESERVER=... -DRENDER_EXE=... -DMODULE=...
#         -DNATIVE_RENDER=... -DNATIVE_MODULE=... -DWORK=<folder> [...] -P WineCheck.cmake
#
# Modes:
#   prefix        creates the Wine prefix (WINEPREFIX from the environment)
#   describe      --describe under Wine (finding Linestra.aex by itself) equals
#                 the native build's text
#   render        a scene (SCENE, or the demo) at BIT_DEPTH renders under Wine
#                 exactly as in the native build (IDIFF compares)
#   render-input  SCENE with its input replaced by an image file of kind
#                 INPUT (png8, png16, exr (half) with alpha; jpeg) that OIIOTOOL makes at
#                 the scene's size: every frame at BIT_DEPTH renders under Wine
#                 as in the native build, exactly for PNG, within TOLERANCE
#                 (0 to 1) for JPEG, whose decoders round differently
#   debug-output  each command hands its diagnostic text to OutputDebugStringA
#                 (Wine's debug-string channel shows it), none reaches stdout
#   refused       the harness refuses MODULE with a message matching EXPECT
#   probe         the float functions probe under Wine and natively (PROBE_EXE,
#                 NATIVE_PROBE): the effect's own functions agree exactly
cmake_minimum_required(VERSION 3.25)

function(run_wine out_var err_var result_var)
  execute_process(COMMAND ${WINE} ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
  # Windows programs end lines with CR LF.
  string(REPLACE "\r" "" out "${out}")
  string(REPLACE "\r" "" err "${err}")
  set(${out_var} "${out}" PARENT_SCOPE)
  set(${err_var} "${err}" PARENT_SCOPE)
  set(${result_var} "${result}" PARENT_SCOPE)
endfunction()

function(run_native out_var result_var)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
  set(${out_var} "${out}${err}" PARENT_SCOPE)
  set(${result_var} "${result}" PARENT_SCOPE)
endfunction()

# The --describe text without its first line (which names the module file).
function(without_module_line text_var)
  string(REGEX REPLACE "^Module: [^\n]*\n" "" text "${${text_var}}")
  set(${text_var} "${text}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${WORK})

if(MODE STREQUAL "prefix")
  execute_process(COMMAND ${WINE} wineboot --init RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE err)
  execute_process(COMMAND ${WINESERVER} -w)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "wineboot failed (${result}): ${err}")
  endif()
  message(STATUS "Wine prefix ready: $ENV{WINEPREFIX}")

elseif(MODE STREQUAL "describe")
  # Without --plugin: the command finds Linestra.aex where the build put it.
  run_wine(windows err result ${RENDER_EXE} --describe)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "--describe under Wine failed (${result}):\n${windows}${err}")
  endif()
  if(NOT windows MATCHES "^Module: [^\n]*Linestra\.aex\n")
    message(FATAL_ERROR "--describe under Wine did not load Linestra.aex:\n${windows}")
  endif()
  run_native(native result ${NATIVE_RENDER} --plugin ${NATIVE_MODULE} --describe)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "--describe in the native build failed (${result}):\n${native}")
  endif()
  without_module_line(windows)
  without_module_line(native)
  if(NOT windows STREQUAL native)
    file(WRITE ${WORK}/describe-windows.txt "${windows}")
    file(WRITE ${WORK}/describe-native.txt "${native}")
    message(FATAL_ERROR "--describe differs between Windows and the native build; compare "
                        "${WORK}/describe-windows.txt with ${WORK}/describe-native.txt")
  endif()
  message(STATUS "--describe under Wine equals the native build's text")

elseif(MODE STREQUAL "render")
  set(ext png)
  if(BIT_DEPTH EQUAL 32)
    set(ext exr)
  endif()
  set(name demo)
  set(scene_args)
  if(SCENE)
    get_filename_component(name ${SCENE} NAME_WE)
    set(scene_args ${SCENE})
  endif()
  set(windows_file ${WORK}/${name}_${BIT_DEPTH}_windows.${ext})
  set(native_file ${WORK}/${name}_${BIT_DEPTH}_native.${ext})
  file(REMOVE ${windows_file} ${native_file})
  run_wine(out err result ${RENDER_EXE} ${scene_args} --plugin ${MODULE} --bit-depth ${BIT_DEPTH} --threads 2
           -o ${windows_file})
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "rendering under Wine failed (${result}):\n${out}${err}")
  endif()
  run_native(out result ${NATIVE_RENDER} ${scene_args} --plugin ${NATIVE_MODULE} --bit-depth ${BIT_DEPTH}
             --threads 2 -o ${native_file})
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "rendering in the native build failed (${result}):\n${out}")
  endif()
  run_native(report result ${IDIFF} -fail 0 -warn 0 ${native_file} ${windows_file})
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the Windows render differs from the native one:\n${report}")
  endif()
  message(STATUS "${name} at ${BIT_DEPTH} bits: the Windows render equals the native one")

elseif(MODE STREQUAL "render-input")
  get_filename_component(name ${SCENE} NAME_WE)
  set(dir ${WORK}/input-${name}-${INPUT}-${BIT_DEPTH})
  file(REMOVE_RECURSE ${dir})
  file(MAKE_DIRECTORY ${dir}/windows ${dir}/native)
  file(READ ${SCENE} scene)
  string(JSON width GET "${scene}" size 0)
  string(JSON height GET "${scene}" size 1)
  # A smooth picture with noise in every channel (alpha too, for PNG): the
  # effect samples between pixels, and straight alpha must stay straight.
  set(channels)
  set(format uint8)
  set(input ${dir}/input.png)
  if(INPUT STREQUAL "png16")
    set(format uint16)
  elseif(INPUT STREQUAL "jpeg")
    set(channels --ch R,G,B)
    set(input ${dir}/input.jpg)
  elseif(INPUT STREQUAL "exr")
    set(format half)
    set(input ${dir}/input.exr)
  endif()
  run_native(out result ${OIIOTOOL}
             --pattern fill:topleft=0.9,0.1,0.2,1:topright=0.1,0.8,0.3,0.6:bottomleft=0.2,0.3,0.9,0.3:bottomright=1,1,0.2,1
             ${width}x${height} 4 --pattern noise:type=uniform:min=-0.15:max=0.15:seed=7 ${width}x${height} 4 --add
             ${channels} -d ${format} -o ${input})
  if(NOT result EQUAL 0 OR NOT EXISTS ${input})
    message(FATAL_ERROR "oiiotool could not make ${input} (${result}):\n${out}")
  endif()
  string(JSON scene SET "${scene}" input "\"${input}\"")
  file(WRITE ${dir}/scene.json "${scene}")
  set(ext png)
  if(BIT_DEPTH EQUAL 32)
    set(ext exr)
  endif()
  run_wine(out err result ${RENDER_EXE} ${dir}/scene.json --plugin ${MODULE} --bit-depth ${BIT_DEPTH} --threads 2
           -q -o "${dir}/windows/frame_#.${ext}")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "rendering ${name} from ${input} under Wine failed (${result}):\n${out}${err}")
  endif()
  run_native(out result ${NATIVE_RENDER} ${dir}/scene.json --plugin ${NATIVE_MODULE} --bit-depth ${BIT_DEPTH}
             --threads 2 -q -o "${dir}/native/frame_#.${ext}")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "rendering ${name} from ${input} in the native build failed (${result}):\n${out}")
  endif()
  file(GLOB native_frames RELATIVE ${dir}/native ${dir}/native/frame_*)
  file(GLOB windows_frames RELATIVE ${dir}/windows ${dir}/windows/frame_*)
  if(NOT native_frames OR NOT native_frames STREQUAL windows_frames)
    message(FATAL_ERROR "the builds wrote different frames: native \"${native_frames}\", Windows \"${windows_frames}\"")
  endif()
  if(NOT TOLERANCE)
    set(TOLERANCE 0)
  endif()
  foreach(frame ${native_frames})
    run_native(report result ${IDIFF} -fail ${TOLERANCE} -warn ${TOLERANCE} ${dir}/native/${frame}
               ${dir}/windows/${frame})
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${name} from ${input}, ${frame}: the Windows render differs from the native one "
                          "by more than ${TOLERANCE}:\n${report}")
    endif()
  endforeach()
  list(LENGTH native_frames count)
  message(STATUS "${name} from a ${INPUT} input at ${BIT_DEPTH} bits, ${count} frame(s): the Windows render equals "
                 "the native one (within ${TOLERANCE})")

elseif(MODE STREQUAL "debug-output")
  set(ENV{WINEDEBUG} "+debugstr")
  run_wine(out err result ${RENDER_EXE} --plugin ${MODULE} --bit-depth 8 -o ${WORK}/debug-output.png)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "rendering under Wine failed (${result}):\n${out}${err}")
  endif()
  string(REGEX MATCHALL "OutputDebugStringA \"[^\n]*\"" handed "${err}")
  list(LENGTH handed count)
  # Global set-up, parameter set-up, the UI update, pre-render and render:
  # every command hands over its text, most of them an empty one.
  if(NOT count EQUAL 5)
    message(FATAL_ERROR "expected 5 calls of OutputDebugStringA (one per command), saw ${count}:\n${err}")
  endif()
  list(FILTER handed INCLUDE REGEX "Time spent on that literal one thing: [0-9]+ms\\.\\\\n\"$")
  list(LENGTH handed timing)
  if(NOT timing EQUAL 1)
    message(FATAL_ERROR "the render's timing text did not reach OutputDebugStringA:\n${err}")
  endif()
  if(out MATCHES "Time spent")
    message(FATAL_ERROR "the diagnostic text reached standard output too:\n${out}")
  endif()
  message(STATUS "each command handed its diagnostic text to OutputDebugStringA")

elseif(MODE STREQUAL "refused")
  run_wine(out err result ${RENDER_EXE} --plugin ${MODULE} --bit-depth 8 -o ${WORK}/refused.png)
  if(result EQUAL 0)
    message(FATAL_ERROR "the harness accepted ${MODULE}:\n${out}")
  endif()
  if(NOT err MATCHES "${EXPECT}")
    message(FATAL_ERROR "the harness refused ${MODULE}, but not with a message matching \"${EXPECT}\":\n${err}")
  endif()
  message(STATUS "refused as expected: ${err}")

elseif(MODE STREQUAL "probe")
  run_wine(out err result ${PROBE_EXE} write ${WORK}/probe-windows.bin)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the probe failed under Wine (${result}):\n${out}${err}")
  endif()
  run_native(out result ${NATIVE_PROBE} write ${WORK}/probe-native.bin)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the native probe failed (${result}):\n${out}")
  endif()
  run_native(report result ${NATIVE_PROBE} compare ${WORK}/probe-native.bin ${WORK}/probe-windows.bin)
  file(REMOVE ${WORK}/probe-native.bin ${WORK}/probe-windows.bin) # a quarter of a gigabyte each
  message(STATUS "Float functions, native (first) against Windows (second):\n${report}")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the effect's own float functions differ between the platforms")
  endif()

else()
  message(FATAL_ERROR "unknown MODE \"${MODE}\"")
endif()
