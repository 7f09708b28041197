# cmake -DEMULATOR=<runner;args> -DPROGRAM=<exe> -DARGUMENTS=<args> -DEXPECTED_STDERR=<line>
#       -DEXPECTED_EXIT=<code> -P run_program.cmake
# Runs a Windows program once and checks its exit code, its standard error (one line) and that
# it wrote nothing on standard output. Lines are compared, not bytes: Windows ends them CR LF.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGUMENTS}
  RESULT_VARIABLE exitCode OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
string(REPLACE "\r\n" "\n" out "${out}")
string(REPLACE "\r\n" "\n" err "${err}")
message(STATUS "${PROGRAM} ${ARGUMENTS}: exit code ${exitCode}, stderr: ${err}")
if(NOT "${exitCode}" STREQUAL "${EXPECTED_EXIT}")
  message(FATAL_ERROR "exit code ${exitCode}, expected ${EXPECTED_EXIT}")
endif()
if(NOT "${err}" STREQUAL "${EXPECTED_STDERR}\n")
  message(FATAL_ERROR "standard error was [${err}], expected [${EXPECTED_STDERR}]")
endif()
if(NOT "${out}" STREQUAL "")
  message(FATAL_ERROR "unexpected standard output [${out}]")
endif()
