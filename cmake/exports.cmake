# The library's exports are listed once, in src/exports.txt: a name and its
# Windows ordinal a line. From it the configuration writes the ELF version
# script DESSEC_EXPORT_MAP and the module-definition file DESSEC_EXPORT_DEF
# into the build tree; tests/abi checks the built library against the list.
set(DESSEC_EXPORT_LIST ${PROJECT_SOURCE_DIR}/src/exports.txt)
set(DESSEC_EXPORT_MAP ${PROJECT_BINARY_DIR}/dessec.map)
set(DESSEC_EXPORT_DEF ${PROJECT_BINARY_DIR}/dessec.def)

file(STRINGS ${DESSEC_EXPORT_LIST} dessec_export_lines)
set(dessec_map_names "")
set(dessec_def_names "")
set(dessec_next_ordinal 1)
foreach(line IN LISTS dessec_export_lines)
  if(NOT line MATCHES "^([A-Za-z_][A-Za-z0-9_]*) +([0-9]+)$")
    message(FATAL_ERROR "src/exports.txt: \"${line}\" is not a name and an ordinal")
  endif()
  # Callers may link by ordinal: the numbers are fixed once given, and run
  # from 1 without gaps.
  if(NOT CMAKE_MATCH_2 EQUAL dessec_next_ordinal)
    message(FATAL_ERROR "src/exports.txt: ${CMAKE_MATCH_1} has ordinal ${CMAKE_MATCH_2}, "
      "not ${dessec_next_ordinal}: ordinals run from 1 in the order of the lines")
  endif()
  string(APPEND dessec_map_names "        ${CMAKE_MATCH_1};\n")
  string(APPEND dessec_def_names "    ${CMAKE_MATCH_1} @${CMAKE_MATCH_2}\n")
  math(EXPR dessec_next_ordinal "${dessec_next_ordinal} + 1")
endforeach()

set(dessec_map "DESSEC_1 {\n    global:\n${dessec_map_names}    local:\n        *;\n};\n")
set(dessec_def "LIBRARY dessec\nEXPORTS\n${dessec_def_names}")
# Rewritten only when changed, so that an unchanged list relinks nothing.
file(CONFIGURE OUTPUT ${DESSEC_EXPORT_MAP} CONTENT "@dessec_map@" @ONLY)
file(CONFIGURE OUTPUT ${DESSEC_EXPORT_DEF} CONTENT "@dessec_def@" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${DESSEC_EXPORT_LIST})
