#include "Waveutils.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "Exception.h"

namespace {

constexpr FOURCC kWave = mmioFOURCC('W', 'A', 'V', 'E');
constexpr FOURCC kFmt = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC kData = mmioFOURCC('d', 'a', 't', 'a');

bool IsPcmInside(const WAVEFORMATEX& f, const std::vector<BYTE>& extra) {
    if (f.wFormatTag == WAVE_FORMAT_PCM) return true;
    // valid bits (2), channel mask (4), then the sub-format
    return f.wFormatTag == WAVE_FORMAT_EXTENSIBLE && extra.size() >= 22 &&
           std::memcmp(extra.data() + 6, kPcmSubFormat, sizeof kPcmSubFormat) == 0;
}

}  // namespace

CWaveFile::~CWaveFile() {
    Close();
    m_pwfx.reset();
}

int CWaveFile::Open(const AnsiString& fileName, const WAVEFORMATEX*, int mode) {
    Close();
    m_dwFlags = mode;
    if (mode != WAVEFILE_READ) return -1;
    m_hmmio = mmioOpen(fileName.c_str(), nullptr, MMIO_ALLOCBUF | MMIO_READ);
    if (!m_hmmio) return -1;
    if (ReadMMIO() != 0 || ResetFile() != 0) {
        Close();
        return -1;
    }
    return 0;
}

int CWaveFile::ReadMMIO() {
    m_pwfx.reset();
    m_extra.clear();
    auto fail = [this] {
        m_pwfx.reset();
        m_extra.clear();
        return -1;
    };
    m_ckRiff = MMCKINFO{};
    if (mmioDescend(m_hmmio, &m_ckRiff, nullptr, 0) != MMSYSERR_NOERROR) return fail();
    if (m_ckRiff.ckid != FOURCC_RIFF || m_ckRiff.fccType != kWave) return fail();

    MMCKINFO ckIn{};
    ckIn.ckid = kFmt;
    if (mmioDescend(m_hmmio, &ckIn, &m_ckRiff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return fail();
    if (ckIn.cksize < 16) return fail();

    BYTE pcm[16];
    if (mmioRead(m_hmmio, reinterpret_cast<char*>(pcm), 16) != 16) return fail();
    auto fmt = std::make_unique<WAVEFORMATEX>();
    fmt->wFormatTag = Le16(pcm);
    fmt->nChannels = Le16(pcm + 2);
    fmt->nSamplesPerSec = Le32(pcm + 4);
    fmt->nAvgBytesPerSec = Le32(pcm + 8);
    fmt->nBlockAlign = Le16(pcm + 12);
    fmt->wBitsPerSample = Le16(pcm + 14);
    fmt->cbSize = 0;
    if (fmt->wFormatTag != WAVE_FORMAT_PCM && ckIn.cksize >= WAVEFORMATEX_FILE_SIZE) {
        // The extra bytes must lie inside "fmt ": what follows the chunk is not part of the format.
        BYTE n[2];
        if (mmioRead(m_hmmio, reinterpret_cast<char*>(n), 2) != 2) return fail();
        fmt->cbSize = Le16(n);
        if (WAVEFORMATEX_FILE_SIZE + fmt->cbSize > ckIn.cksize) return fail();
        m_extra.resize(fmt->cbSize);
        if (fmt->cbSize > 0 && mmioRead(m_hmmio, reinterpret_cast<char*>(m_extra.data()), fmt->cbSize) != fmt->cbSize)
            return fail();
    }
    if (mmioAscend(m_hmmio, &ckIn, 0) != MMSYSERR_NOERROR) return fail();
    m_pwfx = std::move(fmt);
    return 0;
}

int CWaveFile::ResetFile() {
    if (!m_hmmio) return -1;
    if (mmioSeek(m_hmmio, static_cast<LONG>(m_ckRiff.dwDataOffset + 4), SEEK_SET) == -1) return -1;
    m_ck = MMCKINFO{};
    m_ck.ckid = kData;
    if (mmioDescend(m_hmmio, &m_ck, &m_ckRiff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return -1;
    // A header may claim more than the file holds; only the bytes present are the sound.
    LONG fileSize = mmioSeek(m_hmmio, 0, SEEK_END);
    if (fileSize < 0 || mmioSeek(m_hmmio, static_cast<LONG>(m_ck.dwDataOffset), SEEK_SET) == -1) return -1;
    int64_t present = std::max<int64_t>(0, static_cast<int64_t>(fileSize) - m_ck.dwDataOffset);
    m_ck.cksize = static_cast<DWORD>(std::min<int64_t>(m_ck.cksize, present));
    m_dwSize = m_ck.cksize;
    return 0;
}

int CWaveFile::Read(BYTE* buffer, DWORD count, DWORD* countRead) {
    if (countRead) *countRead = 0;
    if (!m_hmmio || !buffer || !countRead) return -1;
    if (mmioGetInfo(m_hmmio, &m_mmioinfoOut, 0) != MMSYSERR_NOERROR) return -1;
    DWORD toRead = std::min(count, m_ck.cksize);
    m_ck.cksize -= toRead;
    DWORD done = 0;
    int result = 0;
    while (done < toRead) {
        if (m_mmioinfoOut.pchNext == m_mmioinfoOut.pchEndRead) {
            if (mmioAdvance(m_hmmio, &m_mmioinfoOut, MMIO_READ) != MMSYSERR_NOERROR ||
                m_mmioinfoOut.pchNext == m_mmioinfoOut.pchEndRead) {
                result = -1;
                break;
            }
        }
        DWORD n = std::min<DWORD>(toRead - done, static_cast<DWORD>(m_mmioinfoOut.pchEndRead - m_mmioinfoOut.pchNext));
        std::memcpy(buffer + done, m_mmioinfoOut.pchNext, n);
        m_mmioinfoOut.pchNext += n;
        done += n;
    }
    if (mmioSetInfo(m_hmmio, &m_mmioinfoOut, 0) != MMSYSERR_NOERROR) result = -1;
    *countRead = done;
    return result;
}

int CWaveFile::Close() {
    if (m_hmmio) {
        mmioClose(m_hmmio, 0);
        m_hmmio = nullptr;
    }
    return 0;
}

DWORD LoadWav(const AnsiString& fileName, WAVEFORMATEX* waveFormat, std::vector<BYTE>& data) {
    CWaveFile wave;
    if (wave.Open(fileName, nullptr, WAVEFILE_READ) < 0) throw Exception("Error open file '" + fileName + "'");
    DWORD size = wave.GetSize();
    if (size == 0) throw Exception("file '" + fileName + "' is empty");
    try {
        data.resize(size);
    } catch (const std::bad_alloc&) {
        throw Exception("Out of memory!");
    } catch (const std::length_error&) {
        throw Exception("Out of memory!");
    }
    DWORD got = 0;
    if (wave.Read(data.data(), size, &got) < 0 || got != size) throw Exception("Error open file '" + fileName + "'");
    const WAVEFORMATEX* fmt = wave.GetFormat();
    if (!IsPcmInside(*fmt, wave.GetFormatExtra()))
        throw Exception("File '" + fileName + "' read error: non-PCM wav format");
    if (waveFormat) {
        *waveFormat = *fmt;
        waveFormat->wFormatTag = WAVE_FORMAT_PCM;
        waveFormat->cbSize = 0;
    }
    return size;
}
