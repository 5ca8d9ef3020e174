#pragma once
// Reading PCM wave files: CWaveFile walks the RIFF structure, LoadWav reads a whole file.
#include <cstdint>
#include <memory>
#include <vector>

#include "AnsiString.h"
#include "Mmio.h"
#include "WaveFormat.h"

constexpr int WAVEFILE_READ = 1;

class CWaveFile {
public:
    CWaveFile() = default;
    ~CWaveFile();
    CWaveFile(const CWaveFile&) = delete;
    CWaveFile& operator=(const CWaveFile&) = delete;

    // 0 on success, -1 on failure. Only reading (mode WAVEFILE_READ) is supported.
    int Open(const AnsiString& fileName, const WAVEFORMATEX* format, int mode);
    int Close();
    // Copies up to `count` bytes of sample data; 0 or -1.
    int Read(BYTE* buffer, DWORD count, DWORD* countRead);
    DWORD GetSize() const { return m_dwSize; }
    int ResetFile();

    // The format of the open file, nullptr when none.
    const WAVEFORMATEX* GetFormat() const { return m_pwfx.get(); }
    // The extra bytes that follow the format record (cbSize of them).
    const std::vector<BYTE>& GetFormatExtra() const { return m_extra; }

private:
    int ReadMMIO();

    std::unique_ptr<WAVEFORMATEX> m_pwfx;
    std::vector<BYTE> m_extra;
    HMMIO m_hmmio = nullptr;
    MMCKINFO m_ck;  // the "data" chunk; its size counts down as it is read
    MMCKINFO m_ckRiff;
    DWORD m_dwSize = 0;
    int m_dwFlags = 0;
    MMIOINFO m_mmioinfoOut;
};

// Reads the whole PCM wave file `fileName`; fills `waveFormat` (when given) and `data` and
// returns the number of bytes. Raises Exception with the file's name on any failure.
// A WAVE_FORMAT_EXTENSIBLE file counts as PCM when its sub-format is PCM; `waveFormat` then
// describes it as plain PCM.
DWORD LoadWav(const AnsiString& fileName, WAVEFORMATEX* waveFormat, std::vector<BYTE>& data);
