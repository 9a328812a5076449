# python3-dessec: the Python package of python/dessec in Debian's folder for
# modules of every Python 3 version, over libdessec0 of the same build. Only
# this package installs it (EXCLUDE_FROM_ALL); elsewhere pip does.
set(DESSEC_PYTHON_DIR lib/python3/dist-packages)
set(dessec_python_dir ${PROJECT_BINARY_DIR}/python-package)
file(GLOB dessec_python_modules CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/python/dessec/*.py)
install(FILES ${dessec_python_modules} ${PROJECT_SOURCE_DIR}/python/dessec/py.typed
  DESTINATION ${DESSEC_PYTHON_DIR}/dessec COMPONENT python EXCLUDE_FROM_ALL)

# The metadata that pip and importlib.metadata read of an installed package.
file(CONFIGURE OUTPUT ${dessec_python_dir}/METADATA CONTENT "Metadata-Version: 2.1
Name: dessec
Version: ${PROJECT_VERSION}
Summary: DES-based security utilities over the dessec shared library
License: MIT
" @ONLY)
file(CONFIGURE OUTPUT ${dessec_python_dir}/top_level.txt CONTENT "dessec\n")
install(FILES ${dessec_python_dir}/METADATA ${dessec_python_dir}/top_level.txt
  DESTINATION ${DESSEC_PYTHON_DIR}/dessec-${PROJECT_VERSION}.dist-info COMPONENT python EXCLUDE_FROM_ALL)

# The byte code is made on installation and removed before removal, as for
# Debian's own Python packages, so that no file of an interpreter's making
# outlives the package.
file(CONFIGURE OUTPUT ${dessec_python_dir}/postinst CONTENT "#!/bin/sh
set -e
if command -v py3compile >/dev/null 2>&1; then
\tpy3compile -p python3-dessec
fi
")
file(CONFIGURE OUTPUT ${dessec_python_dir}/prerm CONTENT "#!/bin/sh
set -e
if command -v py3clean >/dev/null 2>&1; then
\tpy3clean -p python3-dessec
fi
")

list(APPEND CPACK_COMPONENTS_ALL python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-dessec)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3:any")
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${dessec_python_dir}/postinst ${dessec_python_dir}/prerm)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "DES-based security utilities behind a C interface (Python 3)
The Python package dessec over the shared library: DES blocks, hex secrets
under a password, Diffie-Hellman in a fixed group, DES- and MD5-based
password hashes, and the replacement of such hashes by the system's modern
ones at a successful login.")
include(CPackComponent)
cpack_add_component(python DISPLAY_NAME "Python package" DEPENDS lib)
