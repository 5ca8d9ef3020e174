#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

#include "GmSynth.h"
#include "MMSystem.h"
#include "MidiOutDevices.h"

namespace tikora::winmm {

std::unique_ptr<MidiOutPort> OpenAlsaPort(const SeqPortInfo& info, MMRESULT* error);
std::vector<SeqPortInfo> ListAlsaPorts();

namespace {

class SynthPort : public MidiOutPort {
public:
    explicit SynthPort(audio::GmSynth* synth) : synth_(synth) {}
    MMRESULT Send(DWORD msg, int64_t ns) override {
        return synth_->ShortMsg(msg, ns) ? MMSYSERR_NOERROR : MIDIERR_NOTREADY;
    }
    MMRESULT Reset(int64_t ns) override { return synth_->Reset(ns) ? MMSYSERR_NOERROR : MIDIERR_NOTREADY; }

private:
    audio::GmSynth* synth_;
};

class SynthDevice : public MidiOutDevice {
public:
    std::string Name() const override { return "Tikora GM Synthesizer"; }
    WORD Technology() const override { return MOD_SWSYNTH; }
    std::unique_ptr<MidiOutPort> Open(MMRESULT*) override {
        // One synthesizer for the life of the program: loading the sound font is the slow part,
        // and the audio stream may still render it while the program ends.
        static audio::GmSynth* synth = [] {
            auto* s = new audio::GmSynth;
            s->Attach();
            return s;
        }();
        return std::make_unique<SynthPort>(synth);
    }
};

class SeqDevice : public MidiOutDevice {
public:
    SeqDevice(SeqPortInfo info, std::string name,
              std::function<std::unique_ptr<MidiOutPort>(const SeqPortInfo&, MMRESULT*)> open)
        : info_(std::move(info)), name_(std::move(name)), open_(std::move(open)) {}
    std::string Name() const override { return name_; }
    std::unique_ptr<MidiOutPort> Open(MMRESULT* error) override { return open_(info_, error); }

private:
    SeqPortInfo info_;
    std::string name_;
    std::function<std::unique_ptr<MidiOutPort>(const SeqPortInfo&, MMRESULT*)> open_;
};

struct Registry {
    std::mutex mutex;
    bool overridden = false;
    MidiOutDeviceList overrideList;
    SequencerBackend backend;
    MidiOutDeviceList systemList;
    std::map<uintptr_t, std::unique_ptr<MidiOutPort>> open;
    uintptr_t nextHandle = 1;
};

Registry& Reg() {
    static Registry* r = new Registry;  // never destroyed: handles may be closed during exit
    return *r;
}

// Caller holds the registry's mutex.
const MidiOutDeviceList& Devices(Registry& r, bool refresh) {
    if (r.overridden) return r.overrideList;
    if (refresh || r.systemList.empty()) {
        static std::shared_ptr<MidiOutDevice> synth = std::make_shared<SynthDevice>();
        MidiOutDeviceList list{synth};
        auto listPorts = r.backend.listPorts ? r.backend.listPorts : ListAlsaPorts;
        auto open = r.backend.open ? r.backend.open : OpenAlsaPort;
        std::vector<SeqPortInfo> ports = listPorts();
        std::vector<std::string> names = SequencerDeviceNames(ports);
        for (size_t i = 0; i < ports.size(); ++i) list.push_back(std::make_shared<SeqDevice>(ports[i], names[i], open));
        r.systemList = std::move(list);
    }
    return r.systemList;
}

MidiOutPort* Port(Registry& r, HMIDIOUT h) {
    auto it = r.open.find(reinterpret_cast<uintptr_t>(h));
    return it == r.open.end() ? nullptr : it->second.get();
}

}  // namespace

std::vector<std::string> SequencerDeviceNames(std::vector<SeqPortInfo>& ports) {
    std::stable_sort(ports.begin(), ports.end(), [](const SeqPortInfo& a, const SeqPortInfo& b) {
        if (a.clientName != b.clientName) return a.clientName < b.clientName;
        if (a.port != b.port) return a.port < b.port;
        return a.client < b.client;
    });
    std::vector<std::string> names;
    for (const SeqPortInfo& p : ports) {
        std::string base = p.portName.empty() ? p.clientName : p.portName;
        if (base.empty()) base = "MIDI port";
        std::string name = base.substr(0, kMaxDeviceName);
        for (int n = 2; std::find(names.begin(), names.end(), name) != names.end(); ++n) {
            std::string suffix = " #" + std::to_string(n);
            name = base.substr(0, kMaxDeviceName - suffix.size()) + suffix;
        }
        names.push_back(name);
    }
    return names;
}

void SetSequencerBackend(SequencerBackend backend) {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.backend = std::move(backend);
    r.systemList.clear();
}

class RecordingPort : public MidiOutPort {
public:
    explicit RecordingPort(RecordingMidiOut* dev) : dev_(dev) {}
    ~RecordingPort() override {
        std::lock_guard<std::mutex> lock(dev_->mutex_);
        --dev_->openPorts_;
    }
    MMRESULT Send(DWORD msg, int64_t ns) override {
        std::lock_guard<std::mutex> lock(dev_->mutex_);
        if (dev_->failSend) return MIDIERR_NOTREADY;
        dev_->sent_.push_back({ns, msg, false});
        return MMSYSERR_NOERROR;
    }
    MMRESULT Reset(int64_t ns) override {
        std::lock_guard<std::mutex> lock(dev_->mutex_);
        dev_->sent_.push_back({ns, 0, true});
        return MMSYSERR_NOERROR;
    }

private:
    RecordingMidiOut* dev_;
};

std::unique_ptr<MidiOutPort> RecordingMidiOut::Open(MMRESULT* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failOpen) {
        *error = MMSYSERR_ALLOCATED;
        return nullptr;
    }
    ++openPorts_;
    return std::make_unique<RecordingPort>(this);
}

std::vector<SentMidi> RecordingMidiOut::Sent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}

std::vector<DWORD> RecordingMidiOut::Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<DWORD> out;
    for (const SentMidi& s : sent_)
        if (!s.reset) out.push_back(s.msg);
    return out;
}

void RecordingMidiOut::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    sent_.clear();
}

int RecordingMidiOut::OpenPorts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return openPorts_;
}

ScopedMidiOutDevices::ScopedMidiOutDevices(MidiOutDeviceList devices) {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.overridden = true;
    r.overrideList = std::move(devices);
}

ScopedMidiOutDevices::~ScopedMidiOutDevices() {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.overridden = false;
    r.overrideList.clear();
}

}  // namespace tikora::winmm

using namespace tikora::winmm;

UINT midiOutGetNumDevs() {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mutex);
    return static_cast<UINT>(Devices(r, true).size());
}

MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceID, MIDIOUTCAPSA* pmoc, UINT cbmoc) {
    if (!pmoc || cbmoc < sizeof(MIDIOUTCAPSA)) return MMSYSERR_INVALPARAM;
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mutex);
    const MidiOutDeviceList& list = Devices(r, false);
    if (uDeviceID >= list.size()) return MMSYSERR_BADDEVICEID;
    std::memset(pmoc, 0, sizeof *pmoc);
    std::string name = list[uDeviceID]->Name().substr(0, kMaxDeviceName);
    std::memcpy(pmoc->szPname, name.data(), name.size());
    pmoc->wTechnology = list[uDeviceID]->Technology();
    pmoc->wVoices = pmoc->wTechnology == MOD_SWSYNTH ? 128 : 0;
    pmoc->wNotes = pmoc->wVoices;
    pmoc->wChannelMask = 0xFFFF;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutOpen(HMIDIOUT* phmo, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR, DWORD fdwOpen) {
    if (!phmo) return MMSYSERR_INVALPARAM;
    *phmo = nullptr;
    if (dwCallback != 0 || fdwOpen != CALLBACK_NULL) return MMSYSERR_INVALFLAG;  // no callbacks here
    std::shared_ptr<MidiOutDevice> device;
    Registry& r = Reg();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        const MidiOutDeviceList& list = Devices(r, false);
        if (uDeviceID >= list.size()) return MMSYSERR_BADDEVICEID;
        device = list[uDeviceID];
    }
    MMRESULT error = MMSYSERR_ERROR;
    std::unique_ptr<MidiOutPort> port = device->Open(&error);
    if (!port) return error == MMSYSERR_NOERROR ? MMSYSERR_ERROR : error;
    std::lock_guard<std::mutex> lock(r.mutex);
    uintptr_t h = r.nextHandle++;
    r.open[h] = std::move(port);
    *phmo = reinterpret_cast<HMIDIOUT>(h);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg) {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mutex);
    MidiOutPort* port = Port(r, hmo);
    if (!port) return MMSYSERR_INVALHANDLE;
    return port->Send(dwMsg, tikora::LogicalNowNs());
}

MMRESULT midiOutReset(HMIDIOUT hmo) {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mutex);
    MidiOutPort* port = Port(r, hmo);
    if (!port) return MMSYSERR_INVALHANDLE;
    return port->Reset(tikora::LogicalNowNs());
}

MMRESULT midiOutClose(HMIDIOUT hmo) {
    std::unique_ptr<MidiOutPort> port;
    Registry& r = Reg();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        auto it = r.open.find(reinterpret_cast<uintptr_t>(hmo));
        if (it == r.open.end()) return MMSYSERR_INVALHANDLE;
        port = std::move(it->second);
        r.open.erase(it);
    }
    return MMSYSERR_NOERROR;
}
