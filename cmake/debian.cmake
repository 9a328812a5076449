# What Debian asks of each package beyond its files: a copyright file in
# Debian's machine-readable format and a changelog under
# /usr/share/doc/<package>, a compressed manual, and for the library an
# ldconfig trigger rather than maintainer scripts; the project's changelog
# and security policy; lintian overrides, each
# with its reason, for what does not apply to packages made outside Debian.
# The files are made at configuration and installed only into the packages
# (EXCLUDE_FROM_ALL: cpack installs each component by name; a plain install
# leaves them out).
set(dessec_debian_dir ${PROJECT_BINARY_DIR}/debian)
find_program(DESSEC_GZIP gzip REQUIRED)

# The copyright file states LICENSE: its copyright line, then its text as the
# Expat licence (Debian's name for the MIT licence), continuation lines
# indented and blank ones written as " .".
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE dessec_license_lines)
set(dessec_copyright_holder "")
set(dessec_license_text "")
foreach(line IN LISTS dessec_license_lines)
  if(line MATCHES "^Copyright \\(c\\) (.+)$")
    set(dessec_copyright_holder ${CMAKE_MATCH_1})
  elseif(dessec_copyright_holder)
    if(line STREQUAL "")
      string(APPEND dessec_license_text " .\n")
    else()
      string(APPEND dessec_license_text " ${line}\n")
    endif()
  endif()
endforeach()
string(REGEX REPLACE "^ \\.\n" "" dessec_license_text "${dessec_license_text}")
if(NOT dessec_copyright_holder)
  message(FATAL_ERROR "LICENSE has no line \"Copyright (c) YEAR HOLDER\"")
endif()
# The machine-readable format's identifier, as the packaging machine's own
# dpkg states it in its copyright file.
file(STRINGS /usr/share/doc/dpkg/copyright dessec_copyright_format REGEX "^Format: " LIMIT_COUNT 1)
if(NOT dessec_copyright_format)
  message(FATAL_ERROR "/usr/share/doc/dpkg/copyright names no copyright format")
endif()
set(dessec_copyright "${dessec_copyright_format}
Upstream-Name: dessec

Files: *
Copyright: ${dessec_copyright_holder}
License: Expat
${dessec_license_text}")

# One entry for the version packaged. The date honours SOURCE_DATE_EPOCH,
# so that a rebuild of the same sources makes the same packages.
string(TIMESTAMP dessec_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(dessec_changelog "dessec (${PROJECT_VERSION}-${DESSEC_DEB_RELEASE}) unstable; urgency=medium

  * dessec ${PROJECT_VERSION}, packaged from its own build.

 -- ${DESSEC_DEB_MAINTAINER}  ${dessec_changelog_date}
")

# The project's changelog, under the name Debian gives an upstream changelog,
# and its security policy go into every package's documentation.
# -n: no name or time stamp in the archive; -9: Debian's compression level.
file(MAKE_DIRECTORY ${dessec_debian_dir})
execute_process(COMMAND ${DESSEC_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  OUTPUT_FILE ${dessec_debian_dir}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md)

# dessec_debian_files(COMPONENT PACKAGE): the copyright file, the changelogs,
# the security policy and the lintian overrides of PACKAGE, installed with
# COMPONENT.
function(dessec_debian_files component package)
  set(dir ${dessec_debian_dir}/${package})
  file(CONFIGURE OUTPUT ${dir}/copyright CONTENT "@dessec_copyright@" @ONLY)
  file(CONFIGURE OUTPUT ${dir}/changelog.Debian CONTENT "@dessec_changelog@" @ONLY)
  execute_process(COMMAND ${DESSEC_GZIP} -9nf ${dir}/changelog.Debian COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${dir}/copyright ${dir}/changelog.Debian.gz ${dessec_debian_dir}/changelog.gz
                ${PROJECT_SOURCE_DIR}/SECURITY.md
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
  file(CONFIGURE OUTPUT ${dir}/lintian/${package} CONTENT
"# Packages built from the project's own tree, not uploaded to Debian's
# archive: there is no bug asking for them that the first entry could close.
${package}: initial-upload-closes-no-bugs
")
  install(FILES ${dir}/lintian/${package}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  dessec_debian_files(${component} ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
endforeach()

# dpkg runs ldconfig once after all packages are unpacked, on the trigger.
# cpack writes a postinst and a postrm that call ldconfig themselves unless
# the package names its own: these name ones that do not exist, which cpack
# then leaves out (with a warning that they are missing), so the library's
# package has no maintainer scripts.
file(CONFIGURE OUTPUT ${dessec_debian_dir}/triggers CONTENT "activate-noawait ldconfig\n")
# The symbols file of the library's package (abi/), which programs built
# against it take their dependency from: each export with the version that
# introduced it. cpack checks the staged library against it before it makes
# the packages.
set(CPACK_DESSEC_SYMBOLS_FILE ${PROJECT_SOURCE_DIR}/abi/${CPACK_DEBIAN_LIB_PACKAGE_NAME}.symbols)
configure_file(${CPACK_DESSEC_SYMBOLS_FILE} ${dessec_debian_dir}/symbols COPYONLY)
find_program(CPACK_DESSEC_DPKG_GENSYMBOLS dpkg-gensymbols)
list(APPEND CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/check_deb_symbols.cmake)
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${dessec_debian_dir}/triggers ${dessec_debian_dir}/symbols
  ${dessec_debian_dir}/none/postinst ${dessec_debian_dir}/none/postrm)

# The manual, compressed as Debian keeps manuals; a plain install has it as made.
if(DESSEC_MAN_PAGE)
  add_custom_command(OUTPUT ${DESSEC_MAN_PAGE}.gz
    COMMAND ${DESSEC_GZIP} -9nkf ${DESSEC_MAN_PAGE}
    DEPENDS ${DESSEC_MAN_PAGE}
    VERBATIM)
  add_custom_target(dessec-man-gz ALL DEPENDS ${DESSEC_MAN_PAGE}.gz)
  add_dependencies(dessec-man-gz dessec-man)
  install(FILES ${DESSEC_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool EXCLUDE_FROM_ALL)
endif()

# The library's pages, compressed, with their links, in the development package.
if(DEFINED DESSEC_MAN3_GZ_DIR)
  install(DIRECTORY ${DESSEC_MAN3_GZ_DIR}/ DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT dev EXCLUDE_FROM_ALL)
endif()
