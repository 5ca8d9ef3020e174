# The main window and the program's start.
tikora_add_test(app_main_window_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp
  LIBS app_windows
  GUI)

# Clicks really sound: the audio of a scripted play is written to a WAV file and examined.
tikora_add_test(app_main_window_sound_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowSoundTest.cpp
  LIBS app_windows
  GUI)
if(TARGET app_main_window_sound_test)
  set_property(TEST app_main_window_sound_test APPEND PROPERTY ENVIRONMENT
    "TIKORA_AUDIO_FILE=${PROJECT_BINARY_DIR}/test-tmp/main-window-clicks.wav")
endif()
