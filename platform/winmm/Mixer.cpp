#include "Mixer.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "AudioStream.h"
#include "Messages.h"

namespace tikora::winmm {

int64_t MixerVolume::ToRaw(uint32_t value, int64_t min, int64_t max) {
    value = std::min<uint32_t>(value, 65535);
    if (max <= min) return min;
    return min +
           static_cast<int64_t>(std::llround(static_cast<double>(value) * static_cast<double>(max - min) / 65535.0));
}

uint32_t MixerVolume::FromRaw(int64_t raw, int64_t min, int64_t max) {
    if (max <= min) return 0;
    raw = std::clamp(raw, min, max);
    return static_cast<uint32_t>(
        std::llround(static_cast<double>(raw - min) * 65535.0 / static_cast<double>(max - min)));
}

MixerVolume::MixerVolume(std::unique_ptr<VolumeElement> element) : element_(std::move(element)) {}

uint32_t MixerVolume::Get() {
    int64_t min = 0, max = 0;
    element_->Range(min, max);
    int64_t raw = element_->Read();
    // A coarse range cannot hold every slider value; the value last written stands for its raw
    // setting so that the slider does not jump back after it has set the mixer.
    if (haveWritten_ && raw == writtenRaw_) return written_;
    return FromRaw(raw, min, max);
}

void MixerVolume::Set(uint32_t value) {
    value = std::min<uint32_t>(value, 65535);
    int64_t min = 0, max = 0;
    element_->Range(min, max);
    int64_t raw = ToRaw(value, min, max);
    element_->Write(raw);
    haveWritten_ = true;
    written_ = value;
    writtenRaw_ = element_->Read();
}

namespace {

void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// The playback volume of the simple element "Master" (else "PCM") of the default card.
class AlsaVolume final : public VolumeElement {
public:
    static std::unique_ptr<AlsaVolume> Open() {
        snd_lib_error_set_handler(SilentAlsaError);
        snd_mixer_t* m = nullptr;
        if (snd_mixer_open(&m, 0) < 0) return nullptr;
        if (snd_mixer_attach(m, "default") < 0 || snd_mixer_selem_register(m, nullptr, nullptr) < 0 ||
            snd_mixer_load(m) < 0) {
            snd_mixer_close(m);
            return nullptr;
        }
        for (const char* name : {"Master", "PCM"}) {
            snd_mixer_selem_id_t* id = nullptr;
            if (snd_mixer_selem_id_malloc(&id) < 0) break;
            snd_mixer_selem_id_set_index(id, 0);
            snd_mixer_selem_id_set_name(id, name);
            snd_mixer_elem_t* elem = snd_mixer_find_selem(m, id);
            snd_mixer_selem_id_free(id);
            if (elem && snd_mixer_selem_has_playback_volume(elem)) {
                auto v = std::unique_ptr<AlsaVolume>(new AlsaVolume(m, elem));
                int64_t min = 0, max = 0;
                v->Range(min, max);
                if (max > min) return v;
                v->mixer_ = nullptr;  // unusable range: fall back, closing below
                break;
            }
        }
        snd_mixer_close(m);
        return nullptr;
    }
    ~AlsaVolume() override {
        if (mixer_) snd_mixer_close(mixer_);
    }
    void Range(int64_t& min, int64_t& max) override {
        // int64_t is ALSA's own integer type on the 64-bit systems we build for.
        if (snd_mixer_selem_get_playback_volume_range(elem_, &min, &max) < 0) min = max = 0;
    }
    int64_t Read() override {
        int64_t v = 0;
        if (snd_mixer_selem_get_playback_volume(elem_, SND_MIXER_SCHN_FRONT_LEFT, &v) < 0) return 0;
        return v;
    }
    void Write(int64_t raw) override { snd_mixer_selem_set_playback_volume_all(elem_, raw); }
    bool Poll() override {
        alive_ = alive_ && snd_mixer_handle_events(mixer_) >= 0;
        return alive_;
    }
    bool Alive() override { return alive_; }

private:
    AlsaVolume(snd_mixer_t* m, snd_mixer_elem_t* e) : mixer_(m), elem_(e) {}
    snd_mixer_t* mixer_;
    snd_mixer_elem_t* elem_;
    bool alive_ = true;
};

// The master gain of our own stream, where the machine has no mixer of its own.
class StreamGain final : public VolumeElement {
public:
    void Range(int64_t& min, int64_t& max) override {
        min = 0;
        max = 65535;
    }
    int64_t Read() override { return std::llround(static_cast<double>(audio::MasterGain()) * 65535.0); }
    void Write(int64_t raw) override { audio::SetMasterGain(static_cast<float>(raw) / 65535.0f); }
};

constexpr DWORD kLineId = 0xFFFF0000;
constexpr DWORD kControlId = 1;

struct State {
    std::recursive_mutex mutex;
    std::unique_ptr<MixerVolume> volume;
    bool isAlsa = false;
    std::map<HMIXER, HWND> open;  // handle -> callback window (nullptr for none)
    uintptr_t nextHandle = 0x2000;
    uint32_t lastKnown = 0;
    std::jthread watcher;  // last member: stops before the rest is torn down
};

State& S() {
    static State s;
    return s;
}

// With the state locked.
MixerVolume& Volume(State& s) {
    if (!s.volume) {
        std::unique_ptr<VolumeElement> element = AlsaVolume::Open();
        s.isAlsa = element != nullptr;
        if (!element) element = std::make_unique<StreamGain>();
        s.volume = std::make_unique<MixerVolume>(std::move(element));
        s.lastKnown = s.volume->Get();
    }
    return *s.volume;
}

void PostChange(State& s) {
    for (auto& [h, hwnd] : s.open)
        if (hwnd) PostMessageA(hwnd, MM_MIXM_CONTROL_CHANGE, reinterpret_cast<WPARAM>(h), kControlId);
}

void StartWatcher(State& s) {
    if (!s.isAlsa || s.watcher.joinable()) return;
    s.watcher = std::jthread([](std::stop_token stop) {
        while (!stop.stop_requested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            PollMixerChanges();
        }
    });
}

bool ValidObject(State& s, HMIXEROBJ obj) { return obj == nullptr || s.open.count(obj) != 0; }

void CopyName(char* dst, size_t size, const char* src) {
    std::strncpy(dst, src, size - 1);
    dst[size - 1] = 0;
}

}  // namespace

void SetMixerElementForTests(std::unique_ptr<VolumeElement> element) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.isAlsa = false;
    if (element) {
        s.volume = std::make_unique<MixerVolume>(std::move(element));
        s.lastKnown = s.volume->Get();
    } else {
        s.volume.reset();
    }
}

void PollMixerChanges() {
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (s.volume && s.isAlsa && !s.volume->Element().Poll() && !s.volume->Element().Alive()) {
        // The sound server went away with its mixer; the slider follows the new one once it is back.
        std::unique_ptr<VolumeElement> element = AlsaVolume::Open();
        if (!element) return;
        s.volume = std::make_unique<MixerVolume>(std::move(element));
    }
    if (!s.volume || !s.volume->Element().Poll()) return;
    uint32_t v = s.volume->Get();
    if (v != s.lastKnown) {
        s.lastKnown = v;
        PostChange(s);
    }
}

bool MixerUsesStreamGain() {
    State& s = S();
    std::lock_guard lock(s.mutex);
    Volume(s);
    return !s.isAlsa;
}

}  // namespace tikora::winmm

using namespace tikora::winmm;

UINT mixerGetNumDevs() { return 1; }

MMRESULT mixerOpen(HMIXER* mixer, UINT id, DWORD_PTR callback, DWORD_PTR, DWORD flags) {
    if (!mixer) return MMSYSERR_INVALPARAM;
    *mixer = nullptr;
    if (id != 0) return MMSYSERR_BADDEVICEID;
    if ((flags & ~(CALLBACK_WINDOW | MIXER_OBJECTF_HMIXER)) != 0) return MMSYSERR_INVALFLAG;
    HWND hwnd = (flags & CALLBACK_WINDOW) ? reinterpret_cast<HWND>(callback) : nullptr;
    State& s = S();
    std::lock_guard lock(s.mutex);
    Volume(s);
    HMIXER h = reinterpret_cast<HMIXER>(s.nextHandle);
    s.nextHandle += 8;
    s.open[h] = hwnd;
    *mixer = h;
    if (hwnd) StartWatcher(s);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER mixer) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    return s.open.erase(mixer) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, MIXERLINEA* line, DWORD flags) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (!ValidObject(s, mixer)) return MMSYSERR_INVALHANDLE;
    if (!line) return MMSYSERR_INVALPARAM;
    switch (flags & MIXER_GETLINEINFOF_QUERYMASK) {
        case MIXER_GETLINEINFOF_COMPONENTTYPE:
            if (line->dwComponentType != MIXERLINE_COMPONENTTYPE_DST_SPEAKERS) return MIXERR_INVALLINE;
            break;
        case MIXER_GETLINEINFOF_DESTINATION:
            if (line->dwDestination != 0) return MMSYSERR_INVALPARAM;
            break;
        case MIXER_GETLINEINFOF_LINEID:
            if (line->dwLineID != kLineId) return MIXERR_INVALLINE;
            break;
        default:
            return MMSYSERR_INVALFLAG;
    }
    line->dwDestination = 0;
    line->dwSource = 0;
    line->dwLineID = kLineId;
    line->fdwLine = 1;  // active
    line->dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    line->cChannels = 1;
    line->cConnections = 0;
    line->cControls = 1;
    CopyName(line->szShortName, sizeof line->szShortName, "Master");
    CopyName(line->szName, sizeof line->szName, "Master Volume");
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, MIXERLINECONTROLSA* controls, DWORD flags) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (!ValidObject(s, mixer)) return MMSYSERR_INVALHANDLE;
    if (!controls || !controls->pamxctrl || controls->cControls < 1) return MMSYSERR_INVALPARAM;
    switch (flags & MIXER_GETLINECONTROLSF_QUERYMASK) {
        case MIXER_GETLINECONTROLSF_ONEBYTYPE:
            if (controls->dwLineID != kLineId) return MIXERR_INVALLINE;
            if (controls->dwControlType != MIXERCONTROL_CONTROLTYPE_VOLUME) return MIXERR_INVALCONTROL;
            break;
        case MIXER_GETLINECONTROLSF_ONEBYID:
            if (controls->dwControlID != kControlId) return MIXERR_INVALCONTROL;
            break;
        case MIXER_GETLINECONTROLSF_ALL:
            if (controls->dwLineID != kLineId) return MIXERR_INVALLINE;
            break;
        default:
            return MMSYSERR_INVALFLAG;
    }
    MIXERCONTROLA& c = controls->pamxctrl[0];
    c = MIXERCONTROLA{};
    c.cbStruct = sizeof(MIXERCONTROLA);
    c.dwControlID = kControlId;
    c.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    c.fdwControl = 1;  // uniform: one value for all channels
    c.Bounds.dwMinimum = 0;
    c.Bounds.dwMaximum = 65535;
    c.Metrics.cSteps = 65535;
    CopyName(c.szShortName, sizeof c.szShortName, "Volume");
    CopyName(c.szName, sizeof c.szName, "Master Volume");
    if ((flags & MIXER_GETLINECONTROLSF_QUERYMASK) != MIXER_GETLINECONTROLSF_ONEBYID) controls->dwLineID = kLineId;
    return MMSYSERR_NOERROR;
}

static MMRESULT CheckDetails(State& s, HMIXEROBJ mixer, const MIXERCONTROLDETAILS* d, DWORD flags) {
    if (!ValidObject(s, mixer)) return MMSYSERR_INVALHANDLE;
    if ((flags & 0x0000000F) != MIXER_GETCONTROLDETAILSF_VALUE) return MMSYSERR_INVALFLAG;
    if (!d || !d->paDetails || d->cChannels < 1 || d->cbDetails < sizeof(MIXERCONTROLDETAILS_UNSIGNED))
        return MMSYSERR_INVALPARAM;
    if (d->dwControlID != kControlId) return MIXERR_INVALCONTROL;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetControlDetailsA(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (MMRESULT r = CheckDetails(s, mixer, details, flags)) return r;
    uint32_t v = Volume(s).Get();
    auto* out = static_cast<BYTE*>(details->paDetails);
    for (DWORD ch = 0; ch < details->cChannels; ++ch) {
        MIXERCONTROLDETAILS_UNSIGNED u;
        u.dwValue = v;
        std::memcpy(out + static_cast<size_t>(ch) * details->cbDetails, &u, sizeof u);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags) {
    return mixerGetControlDetailsA(mixer, details, flags);
}

MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (MMRESULT r = CheckDetails(s, mixer, details, flags)) return r;
    MIXERCONTROLDETAILS_UNSIGNED u;
    std::memcpy(&u, details->paDetails, sizeof u);
    if (u.dwValue > 65535) return MIXERR_INVALVALUE;
    MixerVolume& vol = Volume(s);
    vol.Set(u.dwValue);
    s.lastKnown = vol.Get();
    PostChange(s);
    return MMSYSERR_NOERROR;
}
