# The main window and the program's start.
if(TIKORA_GUI AND TIKORA_TESTS)
  find_package(Qt6 REQUIRED COMPONENTS Test)
endif()
tikora_add_test(app_main_window_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp
  LIBS app_windows Qt6::Widgets Qt6::Test
  GUI)
tikora_test_needs_shipped_files(app_main_window_test)

# Clicks really sound: the audio of a scripted play is written to a WAV file and examined.
tikora_add_test(app_main_window_sound_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowSoundTest.cpp
  LIBS app_windows Qt6::Widgets
  GUI)
tikora_test_needs_shipped_files(app_main_window_sound_test)
if(TARGET app_main_window_sound_test)
  # The stream opens the file when the program's static objects are made, before the test could
  # make the folder.
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/test-tmp)
  set_property(TEST app_main_window_sound_test APPEND PROPERTY ENVIRONMENT
    "TIKORA_AUDIO_FILE=${PROJECT_BINARY_DIR}/test-tmp/main-window-clicks.wav")
endif()
