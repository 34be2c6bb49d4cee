cmake_minimum_required(VERSION 3.22)
# Runs an updater binary with the given arguments and checks its exit code
# and that its standard output holds a line.
#   cmake -DBINARY=... -DARGS="a;b" -DEXPECT_CODE=1 -DEXPECT_LINE="No device found" -P RunUpdater.cmake
# With -DFIFO=path a FIFO is made there first (and removed after the run).
if(FIFO)
  file(REMOVE "${FIFO}")
  execute_process(COMMAND mkfifo "${FIFO}" RESULT_VARIABLE made)
  if(NOT made EQUAL 0)
    message(FATAL_ERROR "cannot make the FIFO ${FIFO}")
  endif()
endif()
execute_process(COMMAND ${BINARY} ${ARGS}
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  RESULT_VARIABLE code
  TIMEOUT 120)
if(FIFO)
  file(REMOVE "${FIFO}")
endif()
message("${out}")
if(NOT code STREQUAL "${EXPECT_CODE}")
  message(FATAL_ERROR "exit code ${code}, expected ${EXPECT_CODE}\n${err}")
endif()
string(REPLACE "\n" ";" lines "${out}")
if(NOT "${EXPECT_LINE}" IN_LIST lines)
  message(FATAL_ERROR "no line \"${EXPECT_LINE}\" in the output")
endif()
