# JUCE's modules compiled once into one static library that the app, the
# demo, the emulator and the tests all link.
add_library(tolvo_juce STATIC)
target_link_libraries(tolvo_juce
  PRIVATE
    juce::juce_core
    juce::juce_events
    juce::juce_data_structures
    juce::juce_graphics
    juce::juce_gui_basics
    juce::juce_audio_basics
    juce::juce_audio_devices
  PUBLIC
    juce::juce_recommended_config_flags)
target_compile_definitions(tolvo_juce
  PUBLIC
    JUCE_USE_CURL=0
    JUCE_WEB_BROWSER=0
    JUCE_MODAL_LOOPS_PERMITTED=1
    JUCE_STANDALONE_APPLICATION=1
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_REPORT_APP_USAGE=0
    JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1)
# Consumers see the module headers and definitions without compiling the
# module sources again.
target_include_directories(tolvo_juce SYSTEM INTERFACE
  $<TARGET_PROPERTY:tolvo_juce,INCLUDE_DIRECTORIES>)
target_compile_definitions(tolvo_juce INTERFACE
  $<TARGET_PROPERTY:tolvo_juce,COMPILE_DEFINITIONS>)
# Debian's JUCE decodes images with the system's libpng and libjpeg.
target_link_libraries(tolvo_juce PUBLIC png jpeg)
