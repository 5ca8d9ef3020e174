#pragma once
// Shared by the MIDI tests (reader, Player, engine): Standard MIDI Files built byte by byte or
// from absolute-tick events, and a Player on a virtual clock with recording output devices and a
// window that records what is posted to it.
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <vector>

#include "Messages.h"
#include "MidiOutDevices.h"
#include "Player.h"
#include "VirtualTimer.h"

namespace miditest {

using Bytes = std::vector<uint8_t>;
constexpr int64_t kMs = 1'000'000;

inline Bytes Be(uint32_t v, int n) {
    Bytes b;
    for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return b;
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
// Format 1.
inline Bytes Header(int tracks, int division = 96, uint32_t length = 6) {
    return Cat({{'M', 'T', 'h', 'd'}, Be(length, 4), Be(1, 2), Be(static_cast<uint32_t>(tracks), 2), Be(division, 2)});
}
inline Bytes Track(const Bytes& body) {
    return Cat({{'M', 'T', 'r', 'k'}, Be(static_cast<uint32_t>(body.size()), 4), body});
}
const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

// A file from absolute-tick events in tick order; meta events are written with their 0xFF byte.
struct SmfEvent {
    uint32_t tick;
    Bytes bytes;
};
inline Bytes WriteSmf(uint16_t division, const std::vector<std::vector<SmfEvent>>& tracks) {
    Bytes f = Header(static_cast<int>(tracks.size()), division);
    for (const auto& t : tracks) {
        Bytes body;
        uint32_t last = 0;
        for (const SmfEvent& e : t) {
            uint32_t d = e.tick - last;
            Bytes v{static_cast<uint8_t>(d & 0x7F)};
            while (d >>= 7) v.insert(v.begin(), static_cast<uint8_t>(0x80 | (d & 0x7F)));
            body = Cat({body, v, e.bytes});
            last = e.tick;
        }
        f = Cat({f, Track(Cat({body, kEnd}))});
    }
    return f;
}
inline SmfEvent Tempo(uint32_t tick, uint32_t us) { return {tick, Cat({{0xFF, 0x51, 0x03}, Be(us, 3)})}; }
inline SmfEvent TimeSig(uint32_t tick, uint8_t num, uint8_t power) {
    return {tick, {0xFF, 0x58, 0x04, num, power, 24, 8}};
}
inline SmfEvent Note(uint32_t tick, uint8_t status, uint8_t key, uint8_t vel) { return {tick, {status, key, vel}}; }

// A Player whose output devices are `device` (index 0) and `second`, on a virtual clock.
struct PlayerRig {
    tikora::winmm::VirtualTimer timer{0};
    std::shared_ptr<tikora::winmm::RecordingMidiOut> device =
        std::make_shared<tikora::winmm::RecordingMidiOut>("Fake Out");
    std::shared_ptr<tikora::winmm::RecordingMidiOut> second =
        std::make_shared<tikora::winmm::RecordingMidiOut>("Second Out");
    std::unique_ptr<tikora::winmm::ScopedMidiOutDevices> devices =
        std::make_unique<tikora::winmm::ScopedMidiOutDevices>(tikora::winmm::MidiOutDeviceList{device, second});
    tikora::RecordingWindow window;
    std::unique_ptr<Player> player;
};

}  // namespace miditest
