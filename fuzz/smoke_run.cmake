# A short run of one fuzz target, so a target that crashes on its seeds or soon after fails CI.
#   cmake -DFUZZER=<program> -DCORPUS=<seed folder or empty> -DDICT=<dictionary or empty>
#         -DSECONDS=<n> -DWORK=<scratch folder> -P smoke_run.cmake
# The run works on a copy of the seeds, so the corpus in the source tree is never written to. An
# input that crashes or hangs is kept in WORK for a look, and its name is in the output.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus")
if(CORPUS)
  file(GLOB seeds "${CORPUS}/*")
  if(seeds)
    file(COPY ${seeds} DESTINATION "${WORK}/corpus")
  endif()
endif()
set(options -max_total_time=${SECONDS} -timeout=25 -print_final_stats=1
            -artifact_prefix=${WORK}/)
if(DICT)
  list(APPEND options -dict=${DICT})
endif()
execute_process(COMMAND "${FUZZER}" ${options} "${WORK}/corpus" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${status}); the input is in ${WORK}")
endif()
file(REMOVE_RECURSE "${WORK}")
