# a5_plugin(NAME SYMBOLS...) turns an existing SHARED library target into an engine
# plug-in: hidden visibility, and a version script that exports exactly the given
# C symbols (wildcards allowed) and nothing else.
function(a5_plugin target)
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}.exports")
  set(body "{\n  global:\n")
  foreach(sym IN LISTS ARGN)
    string(APPEND body "    ${sym};\n")
  endforeach()
  string(APPEND body "  local: *;\n};\n")
  file(WRITE "${script}" "${body}")
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS "${script}")
  target_link_options(${target} PRIVATE "-Wl,--version-script=${script}" "-Wl,--exclude-libs,ALL"
    ${A5_NO_UNDEFINED_LINK_OPTION})
endfunction()
