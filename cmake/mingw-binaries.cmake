# What the Windows binaries carry beyond the code: a version resource each,
# made from one template, and what the zip a
# Windows user unpacks holds besides them (cmake/package.cmake makes it):
# dessec.lib for Microsoft's linker, dessec.def, README.txt and the licences.

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
endif()

# The same sources give the same bytes wherever they are built: no build
# paths, no link time in the PE headers, and a base address that ld does not
# derive from the output's path.
foreach(target dessec_objects dessec dessec-cli)
  if(TARGET ${target})
    target_compile_options(${target} PRIVATE "-ffile-prefix-map=${PROJECT_SOURCE_DIR}/="
                                             "-ffile-prefix-map=${PROJECT_BINARY_DIR}/=")
    target_link_options(${target} PRIVATE LINKER:--no-insert-timestamp LINKER:--disable-auto-image-base)
  endif()
endforeach()

# The export table under the DLL's file name, and from it the import
# library for Microsoft's linker (mingw-w64's, libdessec.dll.a, comes with
# the DLL).
set(dessec_dist ${PROJECT_BINARY_DIR}/dist)
file(READ ${DESSEC_EXPORT_DEF} dessec_def)
string(REPLACE "LIBRARY dessec\n" "LIBRARY dessec.dll\n" dessec_def "${dessec_def}")
file(CONFIGURE OUTPUT ${dessec_dist}/dessec.def CONTENT "@dessec_def@" @ONLY)
find_program(DESSEC_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(DESSEC_DLLTOOL_MACHINE i386:x86-64)
  set(dessec_bits 64)
else()
  set(DESSEC_DLLTOOL_MACHINE i386)
  set(dessec_bits 32)
endif()
add_custom_command(OUTPUT ${dessec_dist}/dessec.lib
  COMMAND ${DESSEC_DLLTOOL} -m ${DESSEC_DLLTOOL_MACHINE} -d ${dessec_dist}/dessec.def -l ${dessec_dist}/dessec.lib
  DEPENDS ${dessec_dist}/dessec.def VERBATIM)
add_custom_target(dessec-msvc-lib ALL DEPENDS ${dessec_dist}/dessec.lib)

# Text files with Windows line ends.
function(dessec_windows_text source destination)
  file(READ ${source} text)
  string(REGEX REPLACE "\r?\n" "\r\n" text "${text}")
  file(CONFIGURE OUTPUT ${dessec_dist}/${destination} CONTENT "@text@" @ONLY NEWLINE_STYLE UNIX)
endfunction()
set(VERSION ${PROJECT_VERSION})
set(BITS ${dessec_bits})
configure_file(${PROJECT_SOURCE_DIR}/cmake/mingw-i686/README.txt.in ${dessec_dist}/README.txt.lf @ONLY)
dessec_windows_text(${dessec_dist}/README.txt.lf README.txt)
dessec_windows_text(${PROJECT_SOURCE_DIR}/LICENSE LICENSE.txt)

install(FILES ${dessec_dist}/dessec.def ${dessec_dist}/dessec.lib DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES ${dessec_dist}/README.txt ${dessec_dist}/LICENSE.txt DESTINATION . COMPONENT lib)
# libcrypto's licence asks that its text go with every copy of its code,
# which both binaries carry.
cmake_path(GET OPENSSL_INCLUDE_DIR PARENT_PATH dessec_libcrypto_prefix)
install(FILES ${dessec_libcrypto_prefix}/LICENSE.txt DESTINATION . RENAME LICENSE-libcrypto.txt COMPONENT lib)
