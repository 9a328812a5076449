# python3-dessec: the Python package of python/dessec in Debian's folder for
# modules of every Python 3 version, over libdessec0 of the same build. Only
# this package installs it (EXCLUDE_FROM_ALL); elsewhere pip does.
set(DESSEC_PYTHON_DIR lib/python3/dist-packages)
set(dessec_python_dir ${PROJECT_BINARY_DIR}/python-package)

# The metadata that pip and importlib.metadata read of an installed package,
# made from pyproject.toml by the Python build that pip runs (setuptools),
# with Debian's interpreter where there is one, in a copy of the package so
# that the source tree stays clean. Without setuptools there is no package.
find_program(DESSEC_PACKAGE_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(DESSEC_PACKAGE_PYTHON3 python3)
set(dessec_python_source ${dessec_python_dir}/source)
file(REMOVE_RECURSE ${dessec_python_source} ${dessec_python_dir}/metadata)
file(COPY ${PROJECT_SOURCE_DIR}/python/ DESTINATION ${dessec_python_source} PATTERN LICENSE EXCLUDE)
file(COPY_FILE ${PROJECT_SOURCE_DIR}/LICENSE ${dessec_python_source}/LICENSE)
file(MAKE_DIRECTORY ${dessec_python_dir}/metadata)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/python/pyproject.toml ${PROJECT_SOURCE_DIR}/python/README.md
  ${PROJECT_SOURCE_DIR}/python/dessec/_version.py ${PROJECT_SOURCE_DIR}/LICENSE)
execute_process(
  COMMAND ${DESSEC_PACKAGE_PYTHON3} -c
    "import sys; from setuptools import build_meta; print(build_meta.prepare_metadata_for_build_wheel(sys.argv[1]))"
    ${dessec_python_dir}/metadata
  WORKING_DIRECTORY ${dessec_python_source}
  RESULT_VARIABLE dessec_metadata_failed OUTPUT_VARIABLE dessec_metadata_output ERROR_VARIABLE dessec_metadata_error
  OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE ".*\n" "" dessec_dist_info "${dessec_metadata_output}")
if(dessec_metadata_failed)
  message(STATUS "python3-dessec not packaged: ${DESSEC_PACKAGE_PYTHON3} could not make the package's metadata "
    "with setuptools (${dessec_metadata_error})")
  return()
endif()
# One version: the package's own must be the library's.
if(NOT dessec_dist_info STREQUAL "dessec-${PROJECT_VERSION}.dist-info")
  message(FATAL_ERROR "the Python package's metadata is ${dessec_dist_info}, not dessec-${PROJECT_VERSION}.dist-info: "
    "python/dessec/_version.py and include/dessec.h differ")
endif()

file(GLOB dessec_python_modules CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/python/dessec/*.py)
install(FILES ${dessec_python_modules} ${PROJECT_SOURCE_DIR}/python/dessec/py.typed
  DESTINATION ${DESSEC_PYTHON_DIR}/dessec COMPONENT python EXCLUDE_FROM_ALL)
# The licence is the package's copyright file, where Debian keeps it.
install(DIRECTORY ${dessec_python_dir}/metadata/${dessec_dist_info}
  DESTINATION ${DESSEC_PYTHON_DIR} COMPONENT python EXCLUDE_FROM_ALL PATTERN LICENSE EXCLUDE)

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
password hashes, and a hashing policy that names, verifies and moves stored
password hashes of every crypt scheme to a modern one of the system's crypt
library at a successful login.")
include(CPackComponent)
cpack_add_component(python DISPLAY_NAME "Python package" DEPENDS lib)
