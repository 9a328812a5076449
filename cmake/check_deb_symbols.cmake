# Run by cpack once it has staged the packages' files, before it makes them:
# the library staged for libdessec0 must export exactly the symbols that its
# symbols file lists, each with the version that introduced it
# (dpkg-gensymbols -c4: no symbol missing and none new). A change to the
# exports thus stops the packaging until the symbols file says it.
if(NOT CPACK_DESSEC_DPKG_GENSYMBOLS)
  message(FATAL_ERROR "dpkg-gensymbols not found: the Debian packages need dpkg-dev")
endif()
execute_process(
  COMMAND ${CPACK_DESSEC_DPKG_GENSYMBOLS} -p${CPACK_DEBIAN_LIB_PACKAGE_NAME} -v${CPACK_PACKAGE_VERSION}
          -P${CPACK_TEMPORARY_DIRECTORY}/lib -I${CPACK_DESSEC_SYMBOLS_FILE} -c4 -O/dev/null
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "The library's exports differ from ${CPACK_DESSEC_SYMBOLS_FILE} (above)")
endif()
