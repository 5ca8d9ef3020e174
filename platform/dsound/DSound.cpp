#include "DSound.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace {

using tikora::audio::WaveMixer;

class SoundBuffer final : public IDirectSoundBuffer {
public:
    SoundBuffer(std::shared_ptr<WaveMixer> mixer, int voice, const WAVEFORMATEX& format, DWORD flags,
                std::vector<BYTE> bytes)
        : mixer_(std::move(mixer)), voice_(voice), format_(format), flags_(flags), bytes_(std::move(bytes)) {}

    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            mixer_->DestroyVoice(voice_, mixer_->FrameNow());
            delete this;
        }
        return left;
    }

    HRESULT GetStatus(DWORD* status) override {
        if (!status) return DSERR_INVALIDPARAM;
        *status = 0;
        if (mixer_->IsPlaying(voice_)) *status = DSBSTATUS_PLAYING | (looping_ ? DSBSTATUS_LOOPING : 0);
        return DS_OK;
    }

    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* p1, DWORD* n1, LPVOID* p2, DWORD* n2, DWORD flags) override {
        if (!p1 || !n1) return DSERR_INVALIDPARAM;
        const DWORD size = static_cast<DWORD>(bytes_.size());
        if (flags & DSBLOCK_FROMWRITECURSOR) offset = 0;  // a static buffer's write cursor stays at 0
        if (flags & DSBLOCK_ENTIREBUFFER) bytes = size;
        if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
        const DWORD first = std::min(bytes, size - offset);
        *p1 = bytes_.data() + offset;
        *n1 = first;
        const DWORD second = bytes - first;
        if (p2) *p2 = second ? bytes_.data() : nullptr;
        if (n2) *n2 = second;
        if (second && !p2) return DSERR_INVALIDPARAM;
        return DS_OK;
    }

    HRESULT Unlock(LPVOID p1, DWORD n1, LPVOID p2, DWORD n2) override {
        if (!Within(p1, n1) || !Within(p2, n2)) return DSERR_INVALIDPARAM;
        auto samples = std::make_shared<tikora::audio::VoiceSamples>();
        try {
            tikora::audio::ConvertPcm(format_, bytes_.data(), bytes_.size(), mixer_->SampleRate(), *samples);
        } catch (const std::bad_alloc&) {
            return DSERR_OUTOFMEMORY;
        }
        mixer_->SetSamples(voice_, std::move(samples), mixer_->FrameNow());
        return DS_OK;
    }

    HRESULT Restore() override { return DS_OK; }

    HRESULT Play(DWORD reserved1, DWORD, DWORD flags) override {
        if (reserved1 != 0) return DSERR_INVALIDPARAM;
        looping_ = (flags & DSBPLAY_LOOPING) != 0;
        mixer_->Play(voice_, looping_, mixer_->FrameNow());
        return DS_OK;
    }

    HRESULT Stop() override {
        mixer_->Stop(voice_, mixer_->FrameNow());
        return DS_OK;
    }

    HRESULT SetCurrentPosition(DWORD position) override {
        if (position >= bytes_.size()) return DSERR_INVALIDPARAM;
        const int64_t srcFrame = position / format_.nBlockAlign;
        const int64_t frame = srcFrame * mixer_->SampleRate() / static_cast<int64_t>(format_.nSamplesPerSec);
        mixer_->SetPosition(voice_, frame, mixer_->FrameNow());
        return DS_OK;
    }

    HRESULT SetVolume(LONG volume) override {
        if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
        volume_ = volume;
        PushGains();
        return DS_OK;
    }

    HRESULT SetPan(LONG pan) override {
        if (!(flags_ & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
        if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
        pan_ = pan;
        PushGains();
        return DS_OK;
    }

private:
    ~SoundBuffer() override = default;

    bool Within(LPVOID p, DWORD n) const {
        if (!p) return n == 0;
        const BYTE* b = static_cast<const BYTE*>(p);
        return b >= bytes_.data() && n <= bytes_.size() && static_cast<size_t>(b - bytes_.data()) <= bytes_.size() - n;
    }

    void PushGains() {
        float left, right;
        tikora::audio::VolumePanGains(volume_, pan_, left, right);
        mixer_->SetGains(voice_, left, right, mixer_->FrameNow());
    }

    std::atomic<ULONG> refs_{1};
    std::shared_ptr<WaveMixer> mixer_;
    int voice_;
    WAVEFORMATEX format_;
    DWORD flags_;
    std::vector<BYTE> bytes_;
    LONG volume_ = 0;
    LONG pan_ = 0;
    bool looping_ = false;
};

class SoundDevice final : public IDirectSound {
public:
    explicit SoundDevice(std::shared_ptr<WaveMixer> mixer) : mixer_(std::move(mixer)) {}

    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT SetCooperativeLevel(HWND hwnd, DWORD level) override {
        if (!hwnd || level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
        level_ = level;
        return DS_OK;
    }

    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, void* unkOuter) override {
        if (!buffer) return DSERR_INVALIDPARAM;
        *buffer = nullptr;
        if (!desc || unkOuter) return DSERR_INVALIDPARAM;
        if (desc->dwSize != 20 && desc->dwSize != 36 && desc->dwSize != sizeof(DSBUFFERDESC)) return DSERR_INVALIDPARAM;
        if (level_ == 0) return DSERR_PRIOLEVELNEEDED;
        if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) return DSERR_UNSUPPORTED;
        if (!desc->lpwfxFormat) return DSERR_INVALIDPARAM;
        if (!tikora::audio::IsPlayablePcm(*desc->lpwfxFormat)) return DSERR_BADFORMAT;
        if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
        std::vector<BYTE> bytes;
        try {
            bytes.assign(desc->dwBufferBytes, desc->lpwfxFormat->wBitsPerSample == 8 ? 0x80 : 0);
        } catch (const std::bad_alloc&) {
            return DSERR_OUTOFMEMORY;
        }
        int voice = mixer_->CreateVoice();
        if (voice < 0) return DSERR_OUTOFMEMORY;
        *buffer = new SoundBuffer(mixer_, voice, *desc->lpwfxFormat, desc->dwFlags, std::move(bytes));
        return DS_OK;
    }

private:
    ~SoundDevice() override = default;

    std::atomic<ULONG> refs_{1};
    std::shared_ptr<WaveMixer> mixer_;
    DWORD level_ = 0;
};

std::mutex g_factoryMutex;
std::function<HRESULT(LPDIRECTSOUND*)>& Factory() {
    static std::function<HRESULT(LPDIRECTSOUND*)> f;
    return f;
}

}  // namespace

HRESULT DirectSoundCreate(LPCGUID device, LPDIRECTSOUND* ds, void* unkOuter) {
    if (!ds) return DSERR_INVALIDPARAM;
    *ds = nullptr;
    if (device || unkOuter) return DSERR_INVALIDPARAM;
    std::function<HRESULT(LPDIRECTSOUND*)> factory;
    {
        std::lock_guard lock(g_factoryMutex);
        factory = Factory();
    }
    if (factory) return factory(ds);
    *ds = tikora::dsound::CreateDirectSoundOn(tikora::audio::DefaultWaveMixer());
    return DS_OK;
}

namespace tikora::dsound {

LPDIRECTSOUND CreateDirectSoundOn(std::shared_ptr<audio::WaveMixer> mixer) { return new SoundDevice(std::move(mixer)); }

void SetDirectSoundFactory(std::function<HRESULT(LPDIRECTSOUND*)> factory) {
    std::lock_guard lock(g_factoryMutex);
    Factory() = std::move(factory);
}

}  // namespace tikora::dsound
