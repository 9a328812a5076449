# What the Windows binaries carry beyond the code: a version resource each,
# made from one template, and a tool that stands alone.

# The library's own objects define the exports rather than import them.
target_compile_definitions(dessec_objects PUBLIC DESSEC_STATIC)

# dessec_version_resource(TARGET FILE_NAME FILE_TYPE DESCRIPTION)
function(dessec_version_resource target rc_file_name rc_file_type rc_description)
  set(rc ${PROJECT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/mingw-version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
dessec_version_resource(dessec dessec.dll VFT_DLL "DES-based security utilities behind a C interface")
if(TARGET dessec-cli)
  dessec_version_resource(dessec-cli dessec.exe VFT_APP "dessec command-line tool")
  # dessec.exe takes the library in, in place of importing it from dessec.dll,
  # so that it runs from a folder of its own.
  get_target_property(cli_libraries dessec-cli LINK_LIBRARIES)
  list(TRANSFORM cli_libraries REPLACE "^dessec$" dessec_internal)
  set_target_properties(dessec-cli PROPERTIES LINK_LIBRARIES "${cli_libraries}")
endif()
