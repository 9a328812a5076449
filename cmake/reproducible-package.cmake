# Read by cpack: the files' times in the packages and zips are the commit's,
# as cpack takes them from SOURCE_DATE_EPOCH. After cpack made a zip,
# sorted-zip.cmake writes it again with its members in sorted order (cpack adds
# them in the order the file system lists them).
if(CPACK_SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_SOURCE_DATE_EPOCH})
endif()
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/sorted-zip.cmake)
endif()
