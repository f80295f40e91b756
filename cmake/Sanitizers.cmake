# LINESTRA_SANITIZE=address,undefined (or thread) builds every target with
# those sanitizers; undefined behaviour aborts instead of printing.
if(LINESTRA_SANITIZE)
  if(LINESTRA_SANITIZE MATCHES "thread" AND LINESTRA_SANITIZE MATCHES "address")
    message(FATAL_ERROR "thread and address sanitizers cannot be combined")
  endif()
  add_compile_options(-fsanitize=${LINESTRA_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${LINESTRA_SANITIZE})
  if(LINESTRA_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()
