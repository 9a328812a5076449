# cmake -DTESTS=a;b -DOUT=.. -DVECTORS=.. -P crypt_answers.cmake: runs the
# Linux password and concurrency tests with DESSEC_CRYPT_ANSWERS=OUT, so that
# they write down every answer the system's crypt library gave them, and
# checks that VECTORS, which the Windows tests compare with, holds the same
# answers. With DESSEC_UPDATE_VECTORS=1 in the environment it writes VECTORS
# instead.
file(REMOVE ${OUT})
set(ENV{DESSEC_CRYPT_ANSWERS} ${OUT})
unset(ENV{DESSEC_TEST_SCALE})
foreach(test IN LISTS TESTS)
  execute_process(COMMAND ${test} --gtest_brief=1 RESULT_VARIABLE status OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${test} failed (${status})")
  endif()
endforeach()
file(STRINGS ${OUT} answers)
list(SORT answers)
list(REMOVE_DUPLICATES answers)
list(JOIN answers "\n" text)
if("$ENV{DESSEC_UPDATE_VECTORS}")
  file(WRITE ${VECTORS} "${text}\n")
  list(LENGTH answers count)
  message("${VECTORS}: ${count} answers written")
  return()
endif()
file(READ ${VECTORS} kept)
if(NOT kept STREQUAL "${text}\n")
  file(STRINGS ${VECTORS} kept)
  set(missing ${answers})
  list(REMOVE_ITEM missing ${kept})
  set(extra ${kept})
  list(REMOVE_ITEM extra ${answers})
  list(SUBLIST missing 0 5 missing)
  list(SUBLIST extra 0 5 extra)
  list(JOIN missing "\n  " missing)
  list(JOIN extra "\n  " extra)
  message(FATAL_ERROR "${VECTORS} differs from the system's crypt answers (password and setting in hex, hash):\n"
    "answered, not kept:\n  ${missing}\nkept, not answered:\n  ${extra}\n"
    "(DESSEC_UPDATE_VECTORS=1 ctest -R crypt_answers writes it again)")
endif()
