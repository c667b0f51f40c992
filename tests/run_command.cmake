# Runs a command for a test and checks its exit status as well as its output, so a crash or a
# sanitizer's abort after the right output still fails the test (CTest's PASS_REGULAR_EXPRESSION
# alone would ignore the status).
#   cmake -DEXIT=<status> [-DPASS=<regex>] [-DFAIL=<regex>] -P run_command.cmake -- COMMAND...
# EXIT is the one exit status that passes; the output (stdout and stderr together) must match
# PASS and must not match FAIL.
cmake_minimum_required(VERSION 3.25)
set(command "")
set(seen_separator FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 1 ${last})
  if(seen_separator)
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(seen_separator TRUE)
  endif()
endforeach()
if(NOT command)
  message(FATAL_ERROR "run_command.cmake: no command after --")
endif()
if(NOT DEFINED EXIT)
  set(EXIT 0)
endif()

execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE output
                ERROR_VARIABLE output)
message("${output}")
set(failures "")
if(NOT status STREQUAL EXIT)
  string(APPEND failures "exit status ${status}, expected ${EXIT}\n")
endif()
if(DEFINED PASS AND NOT output MATCHES "${PASS}")
  string(APPEND failures "the output does not match: ${PASS}\n")
endif()
if(DEFINED FAIL AND output MATCHES "${FAIL}")
  string(APPEND failures "the output matches what must not appear: ${FAIL}\n")
endif()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
