# The CMake-script side of tests/shared_data.h, for tests run as `cmake -P` scripts:
# a5_shared_files_present(VAR FILE...) sets VAR to TRUE when every file exists. Otherwise it
# prints "missing shared test data: FILE" (the test is registered with that as its
# SKIP_REGULAR_EXPRESSION) and sets VAR to FALSE, or stops with an error when the environment
# sets A5_REQUIRE_SHARED (CI).
function(a5_shared_files_present var)
  foreach(file IN LISTS ARGN)
    if(NOT EXISTS "${file}")
      if(DEFINED ENV{A5_REQUIRE_SHARED} AND NOT "$ENV{A5_REQUIRE_SHARED}" MATCHES "^(|0|OFF)$")
        message(FATAL_ERROR "shared test data required but missing: ${file}")
      endif()
      message("missing shared test data: ${file}")
      set(${var} FALSE PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${var} TRUE PARENT_SCOPE)
endfunction()
