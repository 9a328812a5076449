# Run by cpack after it made the Windows zip (reproducible-package.cmake): the
# zip again from the staged files, in sorted order.
cmake_path(GET CPACK_TEMPORARY_DIRECTORY PARENT_PATH staging)
cmake_path(GET CPACK_TEMPORARY_DIRECTORY FILENAME top)
file(GLOB_RECURSE members RELATIVE ${staging} ${CPACK_TEMPORARY_DIRECTORY}/*)
list(SORT members)
list(JOIN members "\n" list)
file(WRITE ${staging}/members.txt "${list}\n")
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND ${CPACK_DESSEC_CMAKE} -E tar cf ${zip} --format=zip --files-from=${staging}/members.txt
    WORKING_DIRECTORY ${staging} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
