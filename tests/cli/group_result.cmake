# cmake -DLOG=DIR -DGROUP=NAME -P group_result.cmake: prints the outcomes of
# one group of a script's checks, which the script's own run logged in DIR
# (groups.py), and fails when one of them failed.
if(NOT EXISTS ${LOG}/finished)
  message(FATAL_ERROR "the script stopped before its end: see its own test")
endif()
# A group whose checks this build leaves out (a sanitizer's or an emulator's
# limits) is reported as skipped.
if(NOT EXISTS ${LOG}/${GROUP}.log)
  message("no check of the group ${GROUP} ran in this build: skipped")
  return()
endif()
file(READ ${LOG}/${GROUP}.log outcomes)
string(REGEX MATCHALL "(^|\n)ok: " passed "${outcomes}")
string(REGEX MATCHALL "(^|\n)FAIL: " failed "${outcomes}")
list(LENGTH passed passed)
list(LENGTH failed failed)
math(EXPR checks "${passed} + ${failed}")
message("${outcomes}${GROUP}: ${checks} checks, ${failed} failed")
if(failed)
  message(FATAL_ERROR "${failed} of the ${checks} checks of ${GROUP} failed")
endif()
