# Drawing the pendulum over the class library: a target of its own, so that the engine library
# stays free of the window system. Included from this folder's CMakeLists.txt.
if(TIKORA_GUI AND (NOT TIKORA_ONLY OR "controls" IN_LIST TIKORA_ONLY))
  add_library(engine_draw STATIC ${CMAKE_CURRENT_LIST_DIR}/TmetronomgameDraw.cpp)
  target_include_directories(engine_draw PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(engine_draw PUBLIC engine controls forms)
endif()
