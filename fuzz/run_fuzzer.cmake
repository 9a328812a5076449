# cmake -DNAME=.. -DFUZZER=.. -DSEEDS=.. -DWORK=.. -DSECONDS=.. -P run_fuzzer.cmake:
# runs one libFuzzer target for SECONDS on a fresh copy of its seed corpus
# and prints its executions and executions per second. A crash or a broken
# property fails it; the input that did it is kept under WORK/artifacts.
set(corpus ${WORK}/corpus/${NAME})
file(REMOVE_RECURSE ${corpus})
file(MAKE_DIRECTORY ${corpus} ${WORK}/artifacts)
if(IS_DIRECTORY ${SEEDS})
  file(COPY ${SEEDS}/ DESTINATION ${corpus})
endif()
execute_process(COMMAND ${FUZZER} -max_total_time=${SECONDS} -timeout=30 -print_final_stats=1
                        -artifact_prefix=${WORK}/artifacts/${NAME}- ${corpus}
  RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
file(WRITE ${WORK}/fuzz-${NAME}.log "${log}")
if(NOT status EQUAL 0)
  string(REGEX MATCHALL "[^\n]*(ERROR|property violated|runtime error|Test unit written)[^\n]*" problems "${log}")
  list(JOIN problems "\n" problems)
  message(FATAL_ERROR "${NAME}: fuzzing found a problem (${WORK}/fuzz-${NAME}.log):\n${problems}")
endif()
string(REGEX MATCH "stat::number_of_executed_units: *([0-9]+)" runs "${log}")
set(runs ${CMAKE_MATCH_1})
string(REGEX MATCH "stat::average_exec_per_sec: *([0-9]+)" rate "${log}")
message("${NAME}: ${runs} executions in ${SECONDS}s, ${CMAKE_MATCH_1}/s")
