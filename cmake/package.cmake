# Debian packages of the install components, made with `cpack -G DEB` from a
# build configured for /usr (scripts/package-deb.sh): libdessec0 holds the
# library under its versioned soname, libdessec-dev the header, dessec.pc,
# the CMake package and the unversioned link, dessec the tool and its manual,
# python3-dessec the Python package.
# Dependencies on other packages come from the binaries themselves.
set(DESSEC_DEB_MAINTAINER "dessec maintainers <maintainers@dessec.invalid>" CACHE STRING
  "Maintainer of the Debian packages: a name and a mail address that reaches them")
set(DESSEC_DEB_RELEASE 1 CACHE STRING "Debian revision of the packages, for a repackaging of one version")

set(CPACK_PACKAGE_NAME dessec)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${DESSEC_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DESSEC_DEB_MAINTAINER}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL lib dev)
if(DESSEC_BUILD_TOOL)
  list(APPEND CPACK_COMPONENTS_ALL tool)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libdessec${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
# Each description: the synopsis line, then the long description.
set(CPACK_DEBIAN_LIB_DESCRIPTION "DES-based security utilities behind a C interface
The shared library: DES blocks, password-keyed hex secrets, Diffie-Hellman
in a fixed group, and DES- and MD5-based password hashes.")
# A shlibs file for the packages built against the library (only a package
# that holds a library with a soname gets one).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libdessec-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION "DES-based security utilities behind a C interface (development files)
The header dessec.h, the pkg-config file dessec.pc and the CMake package
dessec, for building programs against the library.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME dessec)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_DESCRIPTION "DES-based security utilities behind a C interface (command-line tool)
The dessec tool: key pairs and common keys, secret-key records under a
password, DES-based password hashes and DES on hex data.")
# The tool needs the library from this same build, found where cpack stages it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})

# The same commit makes the same packages and zips: every time in them is the
# commit's (SOURCE_DATE_EPOCH, from git when not given), which cpack reads
# through the project's config file, and the Debian changelog's date too.
set(CPACK_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(NOT CPACK_SOURCE_DATE_EPOCH)
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE CPACK_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT CPACK_SOURCE_DATE_EPOCH)  # outside a checkout (an unpacked release): VERSION's time
  file(TIMESTAMP ${PROJECT_SOURCE_DIR}/VERSION CPACK_SOURCE_DATE_EPOCH "%s" UTC)
endif()
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_SOURCE_DATE_EPOCH})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/reproducible-package.cmake)

# On Windows one zip of the components, for the folder a user unpacks:
# dessec-VERSION-win32 or -win64. Its members are sorted, their times those
# of the commit (SOURCE_DATE_EPOCH, from git when not given), so that the same
# commit gives the same zip.
if(WIN32)
  math(EXPR dessec_bits "8 * ${CMAKE_SIZEOF_VOID_P}")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME dessec-${PROJECT_VERSION}-win${dessec_bits})
  set(CPACK_INSTALL_CMAKE_PROJECTS "")
  foreach(component lib dev tool)
    list(APPEND CPACK_INSTALL_CMAKE_PROJECTS ${PROJECT_BINARY_DIR} dessec ${component} /)
  endforeach()
  set(CPACK_DESSEC_CMAKE ${CMAKE_COMMAND})
else()
  include(cmake/python_package.cmake)
endif()

# The files Debian wants in each package, on a machine that packages with dpkg.
if(EXISTS /usr/share/doc/dpkg/copyright AND NOT WIN32)
  include(cmake/debian.cmake)
endif()

# -DDESSEC_DEB_CHECK=ON (the deb preset): a test that checks the packages that
# `cpack --preset deb` leaves in packages/, and as root installs, uses and
# purges them (skipped otherwise).
option(DESSEC_DEB_CHECK "Test the Debian packages made into packages/" OFF)
if(DESSEC_DEB_CHECK)
  add_test(NAME deb COMMAND ${PROJECT_SOURCE_DIR}/tests/package/check_deb.sh ${PROJECT_BINARY_DIR}/packages
                            ${PROJECT_VERSION})
  # The same packages once more, from a copy of the tree in another folder.
  add_test(NAME deb_reproducible COMMAND ${PROJECT_SOURCE_DIR}/tests/package/check_reproducible.sh
                                         ${PROJECT_BINARY_DIR}/packages)
  set_tests_properties(deb PROPERTIES LABELS package SKIP_RETURN_CODE 77 TIMEOUT 900)
  set_tests_properties(deb_reproducible PROPERTIES LABELS package TIMEOUT 1800)
endif()

include(CPack)
cpack_add_component(lib DISPLAY_NAME "Library")
cpack_add_component(dev DISPLAY_NAME "Development files" DEPENDS lib)
if(DESSEC_BUILD_TOOL)
  cpack_add_component(tool DISPLAY_NAME "Tool" DEPENDS lib)
endif()
