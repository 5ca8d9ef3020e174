# Wave files, PlaySound, wave voices and the volume mixer, part of the winmm library.
target_sources(winmm PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Mmio.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveVoices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PlaySound.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mixer.cpp
)
find_package(ALSA REQUIRED)
target_link_libraries(winmm PUBLIC audio_device kernel classlib PRIVATE ALSA::ALSA)
