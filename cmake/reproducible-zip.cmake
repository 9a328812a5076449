# Read by cpack for the Windows zip: the members' times are the commit's, as
# CMake's archive writer takes them from SOURCE_DATE_EPOCH; after cpack made
# the zip, sorted-zip.cmake writes it again with its members in sorted order
# (cpack adds them in the order the file system lists them).
if(CPACK_SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_SOURCE_DATE_EPOCH})
endif()
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/sorted-zip.cmake)
