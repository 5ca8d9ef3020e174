# The speaker button and the desktop's mixer on a real X server, with a stand-in mixer program.
if(TIKORA_GUI AND TIKORA_TESTS)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)
  add_executable(standin_mixer ${CMAKE_CURRENT_LIST_DIR}/StandInMixer.cpp)
  target_link_libraries(standin_mixer PRIVATE PkgConfig::XCB)
endif()
tikora_add_test(app_mixer_xvfb_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MixerWindowTest.cpp
  LIBS app_windows Qt6::Widgets
  GUI)
if(TARGET app_mixer_xvfb_test)
  target_compile_definitions(app_mixer_xvfb_test PRIVATE TIKORA_STANDIN_MIXER="$<TARGET_FILE:standin_mixer>")
  add_dependencies(app_mixer_xvfb_test standin_mixer)
  tikora_test_needs_shipped_files(app_mixer_xvfb_test)
endif()
