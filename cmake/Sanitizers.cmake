# A5_SANITIZE selects one sanitizer build for the whole tree.
if(A5_SANITIZE)
  set(_san "-fsanitize=${A5_SANITIZE}" -fno-omit-frame-pointer)
  if(A5_SANITIZE MATCHES "undefined")
    list(APPEND _san -fno-sanitize-recover=all)
  endif()
  add_compile_options(${_san})
  add_link_options(${_san})
endif()
