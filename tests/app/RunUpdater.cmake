cmake_minimum_required(VERSION 3.22)
# Runs an updater binary with the given arguments and checks its exit code
# and that its standard output holds a line.
#   cmake -DBINARY=... -DARGS="a;b" -DEXPECT_CODE=1 -DEXPECT_LINE="No device found" -P RunUpdater.cmake
# With -DFIFO=path a FIFO is made there first (and removed after the run).
# With -DONLY_LINE=ON that line must be all the binary prints, on either stream.
# With -DDISPLAY_ENV=unset the binary runs without DISPLAY, with any other
# value on that display. JUCE then tries ":0", so the unset case is skipped
# (a "skipped:" line) where an X server listens there.
if(DEFINED DISPLAY_ENV)
  if(DISPLAY_ENV STREQUAL "unset")
    if(EXISTS "/tmp/.X11-unix/X0")
      message("skipped: an X server listens on :0")
      return()
    endif()
    unset(ENV{DISPLAY})
  else()
    set(ENV{DISPLAY} "${DISPLAY_ENV}")
  endif()
endif()
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
# A signal or a timeout gives a text instead of an exit code.
if(NOT code MATCHES "^[0-9]+$")
  message(FATAL_ERROR "ended by \"${code}\", not by an exit code\n${err}")
endif()
if(NOT code STREQUAL "${EXPECT_CODE}")
  message(FATAL_ERROR "exit code ${code}, expected ${EXPECT_CODE}\n${err}")
endif()
if(ONLY_LINE)
  if(NOT out STREQUAL "${EXPECT_LINE}\n" OR NOT err STREQUAL "")
    message(FATAL_ERROR "the output is not the one line \"${EXPECT_LINE}\"\n${err}")
  endif()
else()
  string(REPLACE "\n" ";" lines "${out}")
  if(NOT "${EXPECT_LINE}" IN_LIST lines)
    message(FATAL_ERROR "no line \"${EXPECT_LINE}\" in the output")
  endif()
endif()
