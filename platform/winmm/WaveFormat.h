#pragma once
// The wave format record shared by the RIFF reader, PlaySound and DirectSound. It is a plain
// value here; files are parsed field by field into it, never read into it as a block.
#include "WinTypes.h"

constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

struct WAVEFORMATEX {
    WORD wFormatTag = 0;
    WORD nChannels = 0;
    DWORD nSamplesPerSec = 0;
    DWORD nAvgBytesPerSec = 0;
    WORD nBlockAlign = 0;
    WORD wBitsPerSample = 0;
    WORD cbSize = 0;
};
using LPWAVEFORMATEX = WAVEFORMATEX*;

// Size of the record in a file: the 16-byte PCM part and the 2-byte extra size.
constexpr DWORD WAVEFORMATEX_FILE_SIZE = 18;
