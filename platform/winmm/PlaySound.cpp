#include "PlaySound.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "Mmio.h"

namespace {

constexpr FOURCC kWave = mmioFOURCC('W', 'A', 'V', 'E');
constexpr FOURCC kFmt = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC kData = mmioFOURCC('d', 'a', 't', 'a');

struct MmioCloser {
    HMMIO h;
    ~MmioCloser() {
        if (h) mmioClose(h, 0);
    }
};

// The format and sample bytes of a PCM wave file (PCM inside WAVE_FORMAT_EXTENSIBLE too).
bool ReadPcmWave(LPCSTR name, WAVEFORMATEX& format, std::vector<BYTE>& data) {
    MmioCloser file{mmioOpen(name, nullptr, MMIO_ALLOCBUF | MMIO_READ)};
    HMMIO h = file.h;
    if (!h) return false;
    MMCKINFO riff{};
    riff.fccType = kWave;
    if (mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) return false;
    MMCKINFO ck{};
    ck.ckid = kFmt;
    if (mmioDescend(h, &ck, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR || ck.cksize < 16) return false;
    BYTE fmt[40] = {};
    const LONG want = static_cast<LONG>(std::min<DWORD>(ck.cksize, sizeof fmt));
    if (mmioRead(h, reinterpret_cast<char*>(fmt), want) != want) return false;
    format.wFormatTag = Le16(fmt);
    format.nChannels = Le16(fmt + 2);
    format.nSamplesPerSec = Le32(fmt + 4);
    format.nAvgBytesPerSec = Le32(fmt + 8);
    format.nBlockAlign = Le16(fmt + 12);
    format.wBitsPerSample = Le16(fmt + 14);
    format.cbSize = 0;
    if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        if (want < 40 || Le16(fmt + 16) < 22 || std::memcmp(fmt + 24, kPcmSubFormat, 16) != 0) return false;
        format.wFormatTag = WAVE_FORMAT_PCM;
    }
    if (!tikora::audio::IsPlayablePcm(format)) return false;
    if (mmioSeek(h, static_cast<LONG>(riff.dwDataOffset + 4), SEEK_SET) == -1) return false;
    ck = MMCKINFO{};
    ck.ckid = kData;
    if (mmioDescend(h, &ck, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return false;
    LONG end = mmioSeek(h, 0, SEEK_END);
    if (end < 0 || mmioSeek(h, static_cast<LONG>(ck.dwDataOffset), SEEK_SET) == -1) return false;
    const int64_t size =
        std::min<int64_t>(ck.cksize, std::max<int64_t>(0, end - static_cast<int64_t>(ck.dwDataOffset)));
    if (size == 0) return false;
    data.resize(static_cast<size_t>(size));
    return mmioRead(h, reinterpret_cast<char*>(data.data()), static_cast<LONG>(size)) == size;
}

struct State {
    std::mutex mutex;
    std::shared_ptr<tikora::audio::WaveMixer> override;
    std::shared_ptr<tikora::audio::WaveMixer> mixer;  // the one the voice lives on
    int voice = -1;
};

State& S() {
    static State s;
    return s;
}

// With the state locked: the voice, on the mixer in use.
bool EnsureVoice(State& s) {
    auto wanted = s.override ? s.override : tikora::audio::DefaultWaveMixer();
    if (s.mixer != wanted) {
        if (s.mixer && s.voice >= 0) s.mixer->DestroyVoice(s.voice, s.mixer->FrameNow());
        s.mixer = wanted;
        s.voice = s.mixer->CreateVoice();
    }
    return s.voice >= 0;
}

}  // namespace

BOOL PlaySoundA(LPCSTR sound, HINSTANCE, DWORD flags) {
    State& s = S();
    const bool stopOnly = !sound || (flags & SND_PURGE);
    if (stopOnly) {
        std::lock_guard lock(s.mutex);
        if (s.mixer && s.voice >= 0) s.mixer->Stop(s.voice, s.mixer->FrameNow());
        return TRUE;
    }
    WAVEFORMATEX format;
    std::vector<BYTE> bytes;
    auto samples = std::make_shared<tikora::audio::VoiceSamples>();
    int64_t frames = 0;
    int rate = 0;
    {
        std::lock_guard lock(s.mutex);
        if (!EnsureVoice(s)) return FALSE;
        const int64_t now = s.mixer->FrameNow();
        // Whatever happens to the new sound, the old one ends here.
        s.mixer->Stop(s.voice, now);
        if (!(flags & SND_FILENAME) || !ReadPcmWave(sound, format, bytes)) return FALSE;
        if (!tikora::audio::ConvertPcm(format, bytes.data(), bytes.size(), s.mixer->SampleRate(), *samples))
            return FALSE;
        rate = s.mixer->SampleRate();
        frames = static_cast<int64_t>(samples->size() / 2);
        s.mixer->SetSamples(s.voice, std::move(samples), now);
        s.mixer->SetGains(s.voice, 1.0f, 1.0f, now);
        s.mixer->SetPosition(s.voice, 0, now);
        s.mixer->Play(s.voice, (flags & SND_LOOP) != 0, now);
    }
    if (!(flags & SND_ASYNC) && !(flags & SND_LOOP) && rate > 0) {
        // Returns once the sound has been heard: its length plus the output latency.
        std::this_thread::sleep_for(std::chrono::nanoseconds(frames * 1000000000 / rate) +
                                    std::chrono::nanoseconds(tikora::audio::OutputLatencyNs()));
    }
    return TRUE;
}

namespace tikora::winmm {
void SetPlaySoundMixer(std::shared_ptr<audio::WaveMixer> mixer) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.override = std::move(mixer);
}
}  // namespace tikora::winmm
