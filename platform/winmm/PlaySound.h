#pragma once
// PlaySoundA for wave files: one voice, a new sound replaces the one playing.
#include <memory>

#include "WaveVoices.h"
#include "WinTypes.h"

constexpr DWORD SND_SYNC = 0x0000;
constexpr DWORD SND_ASYNC = 0x0001;
constexpr DWORD SND_NODEFAULT = 0x0002;
constexpr DWORD SND_MEMORY = 0x0004;
constexpr DWORD SND_LOOP = 0x0008;
constexpr DWORD SND_NOSTOP = 0x0010;
constexpr DWORD SND_PURGE = 0x0040;
constexpr DWORD SND_ALIAS = 0x00010000;
constexpr DWORD SND_FILENAME = 0x00020000;

// Plays the PCM wave file `sound` (SND_FILENAME), asynchronously with SND_ASYNC, else returning
// when it has sounded. A file that cannot be played is silent and gives FALSE. With no sound, or
// with SND_PURGE, the sound playing stops. There is no default sound.
BOOL PlaySoundA(LPCSTR sound, HINSTANCE module, DWORD flags);

namespace tikora::winmm {
// Plays PlaySound's voice on `mixer` instead of the program's stream (tests); nullptr restores it.
void SetPlaySoundMixer(std::shared_ptr<audio::WaveMixer> mixer);
}  // namespace tikora::winmm
