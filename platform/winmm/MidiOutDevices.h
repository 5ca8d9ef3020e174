#pragma once
// The MIDI output devices behind midiOutGetNumDevs and midiOutOpen, and test support: a fake
// device that records what it is sent, and a scope that replaces the device list.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "MMSystem.h"

namespace tikora::winmm {

// An open output. Send and Reset get the logical time of the caller.
class MidiOutPort {
public:
    virtual ~MidiOutPort() = default;
    virtual MMRESULT Send(DWORD msg, int64_t logicalNs) = 0;
    virtual MMRESULT Reset(int64_t logicalNs) = 0;
};

class MidiOutDevice {
public:
    virtual ~MidiOutDevice() = default;
    virtual std::string Name() const = 0;
    virtual WORD Technology() const { return MOD_MIDIPORT; }
    // nullptr with *error set when the device cannot be opened.
    virtual std::unique_ptr<MidiOutPort> Open(MMRESULT* error) = 0;
};

using MidiOutDeviceList = std::vector<std::shared_ptr<MidiOutDevice>>;

// Product names are cut to this length, as MIDIOUTCAPSA holds them.
constexpr size_t kMaxDeviceName = MAXPNAMELEN - 1;

// One port of the ALSA sequencer, as listed by the system.
struct SeqPortInfo {
    int client = 0;
    int port = 0;
    std::string clientName;
    std::string portName;
};
// Orders ports stably (by client name, then port number) and gives each a distinct name of at
// most kMaxDeviceName characters.
std::vector<std::string> SequencerDeviceNames(std::vector<SeqPortInfo>& ports);

// Where sequencer ports come from: the real ALSA sequencer, or a test's fake.
struct SequencerBackend {
    std::function<std::vector<SeqPortInfo>()> listPorts;  // empty when the sequencer does not open
    std::function<std::unique_ptr<MidiOutPort>(const SeqPortInfo&, MMRESULT*)> open;
};
// Replaces the sequencer backend (an empty backend puts ALSA back).
void SetSequencerBackend(SequencerBackend backend);

// Test support.
struct SentMidi {
    int64_t ns;
    DWORD msg;
    bool reset;
};

class RecordingMidiOut : public MidiOutDevice {
public:
    explicit RecordingMidiOut(std::string name = "Recording MIDI Out") : name_(std::move(name)) {}
    std::string Name() const override { return name_; }
    std::unique_ptr<MidiOutPort> Open(MMRESULT* error) override;
    std::vector<SentMidi> Sent() const;
    // Short messages only (resets left out).
    std::vector<DWORD> Messages() const;
    void Clear();
    int OpenPorts() const;
    bool failOpen = false;
    bool failSend = false;

private:
    friend class RecordingPort;
    std::string name_;
    mutable std::mutex mutex_;
    std::vector<SentMidi> sent_;
    int openPorts_ = 0;
};

// While it exists, the device list is exactly `devices`.
class ScopedMidiOutDevices {
public:
    explicit ScopedMidiOutDevices(MidiOutDeviceList devices);
    ~ScopedMidiOutDevices();
    ScopedMidiOutDevices(const ScopedMidiOutDevices&) = delete;
    ScopedMidiOutDevices& operator=(const ScopedMidiOutDevices&) = delete;
};

}  // namespace tikora::winmm
