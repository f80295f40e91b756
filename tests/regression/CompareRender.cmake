# Renders SCENE at BITS bits per channel into RESULT and compares it with
# REFERENCE exactly; on a difference writes a magnified difference image to
# DIFFERENCE and fails, naming the files and the largest difference.
get_filename_component(results_dir ${RESULT} DIRECTORY)
file(MAKE_DIRECTORY ${results_dir})
file(REMOVE ${RESULT} ${DIFFERENCE})
execute_process(COMMAND ${RENDER} ${SCENE} --plugin ${MODULE} --bit-depth ${BITS} --threads 2 -o ${RESULT}
                RESULT_VARIABLE render_result OUTPUT_VARIABLE render_output ERROR_VARIABLE render_output)
if(NOT render_result EQUAL 0)
  message(FATAL_ERROR "rendering ${SCENE} failed:\n${render_output}")
endif()
if(NOT EXISTS ${REFERENCE})
  message(FATAL_ERROR "no reference ${REFERENCE}; make one deliberately with scripts/update-references")
endif()
execute_process(COMMAND ${IDIFF} -fail 0 -warn 0 ${REFERENCE} ${RESULT}
                RESULT_VARIABLE compare_result OUTPUT_VARIABLE compare_output ERROR_VARIABLE compare_output)
if(NOT compare_result EQUAL 0)
  execute_process(COMMAND ${IDIFF} -o ${DIFFERENCE} -abs -scale 64 ${REFERENCE} ${RESULT} OUTPUT_QUIET ERROR_QUIET)
  message(FATAL_ERROR "${RESULT} differs from ${REFERENCE} (difference x64 in ${DIFFERENCE}):\n${compare_output}")
endif()
