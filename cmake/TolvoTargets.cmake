# Shared helpers for the project's own targets.

# Warnings for our own code (never for JUCE's sources).
function(tolvo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# tolvo_add_test(NAME <name> SOURCES <files...> LIBS <libs...> [TIMEOUT <s>] [JUCE_MAIN])
# One gtest executable registered with ctest under a hard timeout, so a
# deadlock fails instead of hanging. JUCE_MAIN links the test main that
# brings up the JUCE message thread; otherwise gtest's own main is used.
function(tolvo_add_test)
  cmake_parse_arguments(T "JUCE_MAIN" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  tolvo_warnings(${T_NAME})
  if(T_JUCE_MAIN)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} tolvo_test_main GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()
