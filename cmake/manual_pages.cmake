# The library's manual, section 3: one page per group of calls in doc/man3,
# written in mdoc, and dessec(3), the overview. Every name that a page's NAME
# section lists is reachable with `man 3 NAME`, through a link to the page.
#
# The pages are installed as NAME.3dessec in man3, as other libraries suffix
# their section (3ssl, 3pm): the system's C library documents functions of
# the same names (ecb_crypt, xencrypt) under man3/NAME.3, and one file can
# belong to one package only. `man 3dessec NAME` asks for this library's page.
#
# DESSEC_MAN3_DIR: the pages and their links as installed; DESSEC_MAN3_GZ_DIR:
# the same compressed, as the Debian package carries them (gzip -n, so the
# files do not depend on when they were made); DESSEC_MAN3_SOURCES: the sources.
set(DESSEC_MAN3_SECTION 3dessec)
set(DESSEC_MAN3_SOURCES
  ${PROJECT_SOURCE_DIR}/doc/man3/dessec.3
  ${PROJECT_SOURCE_DIR}/doc/man3/ecb_crypt.3
  ${PROJECT_SOURCE_DIR}/doc/man3/hex2bin.3
  ${PROJECT_SOURCE_DIR}/doc/man3/xencrypt.3
  ${PROJECT_SOURCE_DIR}/doc/man3/dh.3
  ${PROJECT_SOURCE_DIR}/doc/man3/passwd_crypt.3)
set(DESSEC_MAN3_DIR ${PROJECT_BINARY_DIR}/man/man3)
set(DESSEC_MAN3_GZ_DIR ${PROJECT_BINARY_DIR}/man/man3-gz)
find_program(DESSEC_GZIP gzip REQUIRED)

file(REMOVE_RECURSE ${DESSEC_MAN3_DIR} ${DESSEC_MAN3_GZ_DIR})
file(MAKE_DIRECTORY ${DESSEC_MAN3_DIR} ${DESSEC_MAN3_GZ_DIR})
set(dessec_man3_names "")
foreach(source IN LISTS DESSEC_MAN3_SOURCES)
  get_filename_component(page ${source} NAME_WE)
  set(file ${page}.${DESSEC_MAN3_SECTION})
  # The footer names the version: .Os dessec @PROJECT_VERSION@.
  configure_file(${source} ${DESSEC_MAN3_DIR}/${file} @ONLY)
  execute_process(COMMAND ${DESSEC_GZIP} -9n -c ${DESSEC_MAN3_DIR}/${file}
    OUTPUT_FILE ${DESSEC_MAN3_GZ_DIR}/${file}.gz COMMAND_ERROR_IS_FATAL ANY)
  # The names are the .Nm lines of the NAME section, up to its .Nd line.
  file(STRINGS ${source} lines)
  set(in_name FALSE)
  foreach(line IN LISTS lines)
    if(line STREQUAL ".Sh NAME")
      set(in_name TRUE)
    elseif(in_name AND line MATCHES "^\\.Nd ")
      break()
    elseif(in_name AND line MATCHES "^\\.Nm ([A-Za-z0-9_]+)")
      set(name ${CMAKE_MATCH_1})
      list(APPEND dessec_man3_names ${name})
      if(NOT name STREQUAL page)
        file(CREATE_LINK ${file} ${DESSEC_MAN3_DIR}/${name}.${DESSEC_MAN3_SECTION} SYMBOLIC)
        file(CREATE_LINK ${file}.gz ${DESSEC_MAN3_GZ_DIR}/${name}.${DESSEC_MAN3_SECTION}.gz SYMBOLIC)
      endif()
    endif()
  endforeach()
endforeach()

# Every export has its page.
file(STRINGS ${DESSEC_EXPORT_LIST} dessec_export_lines)
foreach(line IN LISTS dessec_export_lines)
  string(REGEX REPLACE " .*" "" export "${line}")
  if(NOT export IN_LIST dessec_man3_names)
    message(FATAL_ERROR "doc/man3: no page names ${export} in its NAME section")
  endif()
endforeach()
