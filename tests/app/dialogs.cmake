# The dialogs: alarm set-up and alarm, time-signature list editors, tempo calculator, tempo entry,
# memo and about box.
tikora_add_test(app_dialogs_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/DialogTestSupport.h
    ${CMAKE_CURRENT_LIST_DIR}/DialogListEditorsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DialogTempoTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DialogAlarmTest.cpp
  LIBS app_windows Qt6::Widgets
  GUI)
