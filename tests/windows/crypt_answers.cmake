# cmake -DSOURCE=.. -DHOST=.. -DOUT=.. -P crypt_answers.cmake: runs the Linux
# password and concurrency tests of the release preset's build in HOST
# (configured here when missing) with DESSEC_CRYPT_ANSWERS=OUT, so that they
# write down every answer the system's crypt library gave them.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_QUIET WORKING_DIRECTORY ${SOURCE})
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}")
  endif()
endfunction()
if(NOT EXISTS ${HOST}/CMakeCache.txt)
  run(${CMAKE_COMMAND} --preset release)
endif()
run(${CMAKE_COMMAND} --build ${HOST} --target passwd_test concurrency_test)
file(REMOVE ${OUT})
set(ENV{DESSEC_CRYPT_ANSWERS} ${OUT})
foreach(test passwd/passwd_test concurrency/concurrency_test)
  run(${HOST}/tests/${test} --gtest_brief=1)
endforeach()
