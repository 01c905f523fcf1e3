# TAPWEDGE_SANITIZE selects a sanitizer build: "address,undefined" or "thread".
set(TAPWEDGE_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined | thread)")
if(TAPWEDGE_SANITIZE)
  add_compile_options(-fsanitize=${TAPWEDGE_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${TAPWEDGE_SANITIZE})
  if(TAPWEDGE_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=all)
  endif()
endif()
