# Runs linestra-render once and checks its exit status, its messages and the
# files it leaves. Called by CTest with -D variables:
#   RENDER          the command
#   ARGS            its arguments, separated by "|"
#   WORKDIR         emptied first; the command runs there
#   EXPECT_FAILURE  ON: the run must fail (non-zero status); OFF: succeed
#   EXPECT_TEXT     texts that must appear in its output, separated by "|"
#   EXPECT_FILES    the files WORKDIR must hold afterwards, exactly, relative
#                   and separated by "|" (empty: none at all)
file(REMOVE_RECURSE "${WORKDIR}")
file(MAKE_DIRECTORY "${WORKDIR}")
string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND "${RENDER}" ${args}
                WORKING_DIRECTORY "${WORKDIR}"
                RESULT_VARIABLE status
                OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
set(messages "${out}${err}")
message(STATUS "exit status ${status}; output:\n${messages}")

if(EXPECT_FAILURE AND status EQUAL 0)
  message(FATAL_ERROR "the run succeeded but should have failed")
elseif(NOT EXPECT_FAILURE AND NOT status EQUAL 0)
  message(FATAL_ERROR "the run failed (status ${status}) but should have succeeded")
endif()

if(EXPECT_TEXT)
  string(REPLACE "|" ";" texts "${EXPECT_TEXT}")
  foreach(text IN LISTS texts)
    string(FIND "${messages}" "${text}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "the output lacks \"${text}\"")
    endif()
  endforeach()
endif()

file(GLOB_RECURSE found RELATIVE "${WORKDIR}" "${WORKDIR}/*")
list(SORT found)
string(REPLACE "|" ";" expected "${EXPECT_FILES}")
list(SORT expected)
if(NOT "${found}" STREQUAL "${expected}")
  message(FATAL_ERROR "files left: [${found}], expected: [${expected}]")
endif()
