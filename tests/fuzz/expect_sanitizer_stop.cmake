# Runs PROGRAM on INPUT with UBSan told to carry on after a report (halt_on_error=0): a build with
# -fno-sanitize-recover=all stops all the same. Passes only when the program failed, printed the
# report, and never reached the line after the undefined behaviour.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=0"
          ${PROGRAM} -runs=1 ${INPUT}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err)
set(all "${out}${err}")
if(status EQUAL 0)
  message(FATAL_ERROR "the fuzz build carried on after undefined behaviour:\n${all}")
endif()
if(NOT all MATCHES "runtime error: load of value 31")
  message(FATAL_ERROR "no undefined-behaviour report (exit status ${status}):\n${all}")
endif()
if(all MATCHES "carried on after")
  message(FATAL_ERROR "the program went on past the report:\n${all}")
endif()
message(STATUS "stopped at the report, exit status ${status}")
