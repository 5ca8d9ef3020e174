# The settings window, the small window and the hints.
tikora_add_test(settings_window_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsWindowTest.cpp ${CMAKE_CURRENT_LIST_DIR}/HintsTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/MinimizedWindowTest.cpp
  LIBS app_windows Qt6::Widgets
  GUI)
# The tests read the skin, the sounds and the shipped definitions from the program folder.
if(TARGET settings_window_tests)
  tikora_test_needs_shipped_files(settings_window_tests)
endif()
