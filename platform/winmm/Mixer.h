#pragma once
// The mixer API for the master volume: one mixer (device 0) with a speakers destination and its
// volume control, one unsigned channel 0..65535. It drives the ALSA simple mixer "Master" (else
// "PCM") of the default card; where the machine has neither, the master gain of the program's own
// audio stream stands in. Every change, ours or another program's, is posted to the callback
// windows as MM_MIXM_CONTROL_CHANGE (wParam the mixer handle, lParam the control id).
#include <cstdint>
#include <memory>

#include "MMSystem.h"
#include "WinTypes.h"

struct HMIXER__;
using HMIXER = HMIXER__*;
using HMIXEROBJ = HMIXER;

constexpr UINT MM_MIXM_LINE_CHANGE = 0x3D0;
constexpr UINT MM_MIXM_CONTROL_CHANGE = 0x3D1;

constexpr MMRESULT MIXERR_INVALLINE = 1024;
constexpr MMRESULT MIXERR_INVALCONTROL = 1025;
constexpr MMRESULT MIXERR_INVALVALUE = 1026;

constexpr DWORD CALLBACK_WINDOW = 0x00010000;
constexpr DWORD MIXER_OBJECTF_MIXER = 0x00000000;
constexpr DWORD MIXER_OBJECTF_HMIXER = 0x80000000;

constexpr DWORD MIXER_GETLINEINFOF_DESTINATION = 0x00000000;
constexpr DWORD MIXER_GETLINEINFOF_LINEID = 0x00000002;
constexpr DWORD MIXER_GETLINEINFOF_COMPONENTTYPE = 0x00000003;
constexpr DWORD MIXER_GETLINEINFOF_QUERYMASK = 0x0000000F;
constexpr DWORD MIXER_GETLINECONTROLSF_ALL = 0x00000000;
constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYID = 0x00000001;
constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYTYPE = 0x00000002;
constexpr DWORD MIXER_GETLINECONTROLSF_QUERYMASK = 0x0000000F;
constexpr DWORD MIXER_GETCONTROLDETAILSF_VALUE = 0x00000000;
constexpr DWORD MIXER_SETCONTROLDETAILSF_VALUE = 0x00000000;

constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 4;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;

constexpr int MIXER_SHORT_NAME_CHARS = 16;
constexpr int MIXER_LONG_NAME_CHARS = 64;

struct MIXERLINEA {
    DWORD cbStruct = 0;
    DWORD dwDestination = 0;
    DWORD dwSource = 0;
    DWORD dwLineID = 0;
    DWORD fdwLine = 0;
    DWORD_PTR dwUser = 0;
    DWORD dwComponentType = 0;
    DWORD cChannels = 0;
    DWORD cConnections = 0;
    DWORD cControls = 0;
    char szShortName[MIXER_SHORT_NAME_CHARS] = {};
    char szName[MIXER_LONG_NAME_CHARS] = {};
};

struct MIXERCONTROLA {
    DWORD cbStruct = 0;
    DWORD dwControlID = 0;
    DWORD dwControlType = 0;
    DWORD fdwControl = 0;
    DWORD cMultipleItems = 0;
    char szShortName[MIXER_SHORT_NAME_CHARS] = {};
    char szName[MIXER_LONG_NAME_CHARS] = {};
    struct {
        DWORD dwMinimum = 0;
        DWORD dwMaximum = 0;
    } Bounds;
    struct {
        DWORD cSteps = 0;
    } Metrics;
};

struct MIXERLINECONTROLSA {
    DWORD cbStruct = 0;
    DWORD dwLineID = 0;
    union {
        DWORD dwControlID;
        DWORD dwControlType = 0;
    };
    DWORD cControls = 0;
    DWORD cbmxctrl = 0;
    MIXERCONTROLA* pamxctrl = nullptr;
};

struct MIXERCONTROLDETAILS {
    DWORD cbStruct = 0;
    DWORD dwControlID = 0;
    DWORD cChannels = 0;
    DWORD cMultipleItems = 0;
    DWORD cbDetails = 0;
    LPVOID paDetails = nullptr;
};

struct MIXERCONTROLDETAILS_UNSIGNED {
    DWORD dwValue = 0;
};

UINT mixerGetNumDevs();
MMRESULT mixerOpen(HMIXER* mixer, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT mixerClose(HMIXER mixer);
MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, MIXERLINEA* line, DWORD flags);
MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, MIXERLINECONTROLSA* controls, DWORD flags);
MMRESULT mixerGetControlDetailsA(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags);
MMRESULT mixerGetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags);
MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags);

namespace tikora::winmm {

// A raw volume setting with its own range: an ALSA element, the stream's gain, or a fake.
class VolumeElement {
public:
    virtual ~VolumeElement() = default;
    virtual void Range(int64_t& min, int64_t& max) = 0;
    virtual int64_t Read() = 0;
    virtual void Write(int64_t raw) = 0;
    // Picks up changes made elsewhere; true when the raw value may have changed.
    virtual bool Poll() { return false; }
    // False once the mixer has gone away (its sound server stopped): it is opened again.
    virtual bool Alive() { return true; }
};

// 0..65535 over a raw range, linearly; a value written reads back unchanged while the raw
// setting is still the one it produced.
class MixerVolume {
public:
    explicit MixerVolume(std::unique_ptr<VolumeElement> element);
    uint32_t Get();
    void Set(uint32_t value);
    VolumeElement& Element() { return *element_; }

    static int64_t ToRaw(uint32_t value, int64_t min, int64_t max);
    static uint32_t FromRaw(int64_t raw, int64_t min, int64_t max);

private:
    std::unique_ptr<VolumeElement> element_;
    bool haveWritten_ = false;
    uint32_t written_ = 0;
    int64_t writtenRaw_ = 0;
};

// Makes the mixer use `element` from now on (tests); nullptr goes back to ALSA or the stream.
// Open handles stay valid.
void SetMixerElementForTests(std::unique_ptr<VolumeElement> element);
// Checks the element for changes made elsewhere and posts them (the watcher thread does this
// periodically; tests call it directly).
void PollMixerChanges();
// True when the volume is the stream's own master gain (the machine has no mixer).
bool MixerUsesStreamGain();

}  // namespace tikora::winmm
