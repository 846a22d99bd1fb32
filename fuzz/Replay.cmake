# One fuzz target's bounded replay: its corpus, then RUNS executions from seed
# 1, in an emptied work folder. Its statistics end up in WORK.log; a failing
# input in FINDINGS. Its temporary files go to WORK.tmp, emptied before and
# after, never to the system's temporary folder, where a replay cut short
# would leave them for good.
file(REMOVE_RECURSE ${WORK} ${WORK}.tmp)
file(MAKE_DIRECTORY ${WORK} ${WORK}.tmp ${FINDINGS})
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env TMPDIR=${WORK}.tmp ${FUZZER} -seed=1 -runs=${RUNS} -max_len=${LONGEST} -print_final_stats=1 -artifact_prefix=${FINDINGS}/
        ${WORK} ${CORPUS}
    RESULT_VARIABLE result
    ERROR_FILE ${WORK}.log)
file(REMOVE_RECURSE ${WORK}.tmp)
file(STRINGS ${WORK}.log statistics REGEX "stat::(number_of_executed_units|average_exec_per_sec)")
foreach(line ${statistics})
    message("${line}")
endforeach()
if(NOT result EQUAL 0)
    file(READ ${WORK}.log log)
    message(FATAL_ERROR "${log}\nThe fuzz target failed (status ${result}); the input is in ${FINDINGS}")
endif()
