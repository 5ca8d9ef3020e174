# Wave files and the DirectSound player, part of the audio library.
target_sources(audio PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Waveutils.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Dsoundplay.cpp
)
target_include_directories(audio PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(audio PUBLIC dsound winmm kernel classlib)
