# cmake -DBUILD=.. -DSOURCE=.. -DNAME=.. -DTOOLCHAIN=.. -DDEPS=.. -DEPOCH=.. -P check_zip.cmake:
# makes the zip with cpack, as the package preset does, and checks its
# members: bin/ holds dessec.dll and dessec.exe alone. Then builds the same
# sources again from a copy in another folder and checks that its zip has the
# same bytes. The copy is updated file by file, so that a rerun rebuilds
# only what changed. The second tree takes the libraries from the same
# prefix DEPS and its files' times from the same SOURCE_DATE_EPOCH, which the
# copy, outside the git checkout, cannot read from git.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}")
  endif()
endfunction()
function(make_zip build out)
  file(REMOVE_RECURSE ${out})
  run(${CMAKE_CPACK_COMMAND} --config ${build}/CPackConfig.cmake -B ${out})
endfunction()

make_zip(${BUILD} ${BUILD}/zip-check/first)
set(zip ${BUILD}/zip-check/first/${NAME}.zip)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zip} OUTPUT_VARIABLE members RESULT_VARIABLE status)
string(REGEX REPLACE "\n$" "" members "${members}")
string(REPLACE "\n" ";" members "${members}")
list(TRANSFORM members REPLACE "^${NAME}/" "")
set(expected LICENSE-libcrypto.txt LICENSE.txt README.txt bin/dessec.dll bin/dessec.exe include/dessec.h
  lib/dessec.def lib/dessec.lib lib/libdessec.dll.a)
list(FILTER members EXCLUDE REGEX "/$")
list(SORT members)
if(NOT status EQUAL 0 OR NOT members STREQUAL expected)
  message(FATAL_ERROR "${NAME}.zip holds\n  ${members}\nnot\n  ${expected}")
endif()

set(copy ${BUILD}/zip-check/source)
file(GLOB_RECURSE files RELATIVE ${SOURCE} ${SOURCE}/cmake/* ${SOURCE}/include/* ${SOURCE}/src/* ${SOURCE}/scripts/*)
foreach(file CMakeLists.txt VERSION LICENSE README.md ${files})
  cmake_path(GET file PARENT_PATH folder)
  file(MAKE_DIRECTORY ${copy}/${folder})
  file(COPY_FILE ${SOURCE}/${file} ${copy}/${file} ONLY_IF_DIFFERENT)
endforeach()
file(GLOB scripts ${copy}/scripts/*.sh)
file(CHMOD ${scripts} FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(second ${BUILD}/zip-check/build)
run(${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${EPOCH}
  ${CMAKE_COMMAND} -S ${copy} -B ${second} -G Ninja -DCMAKE_TOOLCHAIN_FILE=${copy}/cmake/${TOOLCHAIN}
  -DDESSEC_DEPS_PREFIX=${DEPS} -DDESSEC_TESTS=OFF -DDESSEC_BENCH=OFF -DDESSEC_TOOL=ON)
run(${CMAKE_COMMAND} --build ${second})
make_zip(${second} ${BUILD}/zip-check/second)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${zip} ${BUILD}/zip-check/second/${NAME}.zip
  RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "${NAME}.zip differs when built from ${copy}")
endif()
message("${NAME}.zip: ${members}; the same bytes from a second tree")
