# Install rules: the shared library with its soname links, the header, a CMake
# package (find_package(dessec) gives dessec::dessec) and dessec.pc.
include(CMakePackageConfigHelpers)

set(DESSEC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/dessec)

# Components, as a distribution splits them: lib (the library and its soname
# link), dev (what a build against it needs), tool (the tool) and man (the
# manuals: the tool's, and the library's section 3).
install(TARGETS dessec EXPORT dessecTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lib
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
# The CMake package and dessec.pc: on Windows a component of their own,
# which the zip leaves out.
set(dessec_config_component dev)
if(WIN32)
  set(dessec_config_component config)
endif()
install(EXPORT dessecTargets NAMESPACE dessec:: DESTINATION ${DESSEC_CMAKE_DIR}
  COMPONENT ${dessec_config_component})

configure_package_config_file(cmake/dessecConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/dessecConfig.cmake
  INSTALL_DESTINATION ${DESSEC_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/dessecConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/dessecConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/dessecConfigVersion.cmake
  DESTINATION ${DESSEC_CMAKE_DIR} COMPONENT ${dessec_config_component})

# dessec.pc finds its prefix from its own place, so the installed tree works
# wherever --prefix puts it.
set(DESSEC_PC_DIR ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH DESSEC_PC_PREFIX ${DESSEC_PC_DIR} ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" DESSEC_PC_PREFIX "${DESSEC_PC_PREFIX}")
file(RELATIVE_PATH DESSEC_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH DESSEC_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
configure_file(cmake/dessec.pc.in ${CMAKE_CURRENT_BINARY_DIR}/dessec.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/dessec.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT ${dessec_config_component})

if(DESSEC_BUILD_TOOL)
  install(TARGETS dessec-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
endif()
# The manual as made; the Debian package carries it compressed instead
# (cmake/debian.cmake).
if(DESSEC_MAN_PAGE)
  install(FILES ${DESSEC_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT man)
endif()
# The library's pages with their links (cmake/manual_pages.cmake).
if(DEFINED DESSEC_MAN3_DIR)
  install(DIRECTORY ${DESSEC_MAN3_DIR}/ DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT man)
endif()
