# Every unit test binary also runs whole under valgrind memcheck, labelled
# `memcheck`: any invalid access, uninitialised read or definite or indirect
# leak fails it. The tests belong to a configuration of their own, so that a
# plain ctest leaves them out; the memcheck test preset runs them with
# `ctest -C memcheck -L memcheck`. Randomized loops run at 2% of their rounds,
# as valgrind makes the bit-serial arithmetic very slow.
# The sanitizer builds have their own checks, and valgrind cannot run them
# nor Windows binaries.
find_program(DESSEC_VALGRIND valgrind)

function(dessec_add_memcheck name)
  if(NOT DESSEC_VALGRIND OR DESSEC_SANITIZE OR DESSEC_TSAN OR WIN32)
    return()
  endif()
  add_test(NAME ${name}_memcheck CONFIGURATIONS memcheck
    COMMAND ${DESSEC_VALGRIND} --tool=memcheck --error-exitcode=1 --leak-check=full
            --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect
            --track-origins=yes --num-callers=30 $<TARGET_FILE:${name}> --gtest_brief=1)
  set_tests_properties(${name}_memcheck PROPERTIES
    LABELS memcheck ENVIRONMENT DESSEC_TEST_SCALE=0.02 TIMEOUT 900)
endfunction()
