# Project-wide warning set. Third-party headers are included as SYSTEM and stay quiet.
function(a5_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wimplicit-fallthrough
    -Wmissing-declarations -Wcast-qual -Wformat=2 -Wundef)
  if(A5_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
