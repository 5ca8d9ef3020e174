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

// KSDATAFORMAT_SUBTYPE_PCM as it stands in a WAVE_FORMAT_EXTENSIBLE "fmt " chunk.
inline constexpr BYTE kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                           0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Little-endian fields of wave files.
inline WORD Le16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
inline DWORD Le32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}
