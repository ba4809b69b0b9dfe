# A5_SANITIZE selects one sanitizer build for the whole tree.
if(A5_SANITIZE)
  set(_san "-fsanitize=${A5_SANITIZE}" -fno-omit-frame-pointer)
  if(A5_SANITIZE MATCHES "undefined")
    list(APPEND _san -fno-sanitize-recover=all)
  endif()
  add_compile_options(${_san})
  add_link_options(${_san})
endif()

# Shared libraries link with --no-undefined, so that a missing symbol fails the build rather
# than the load. Clang links its sanitizer runtimes statically into executables only (GCC
# links them as shared libraries): a shared library built with them leaves the runtime's
# symbols to the program that loads it, so the check is left out there.
set(A5_NO_UNDEFINED_LINK_OPTION "-Wl,--no-undefined")
if(A5_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(A5_NO_UNDEFINED_LINK_OPTION "")
endif()
