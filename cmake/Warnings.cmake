# Warnings on for the project's own targets.
function(linestra_set_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
                                             -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
                                             -Wnull-dereference -Wdouble-promotion -Wformat=2)
    if(LINESTRA_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${LINESTRA_WERROR}>:/WX>)
  endif()
endfunction()
