#pragma once
// Shared by the engine tests: a scratch program folder holding the shipped Tikora.def, a Player on
// a virtual clock and a recording MIDI device, a fake settings window, a stand-in main window that
// handles the Player's notifications as the real one does, and a writer of small MIDI files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Messages.h"
#include "MidiOutDevices.h"
#include "Player.h"
#include "Tmetronomgame.h"
#include "VirtualTimer.h"

namespace enginetest {

namespace fs = std::filesystem;
constexpr int64_t kMs = 1'000'000;

class FakeHost : public TEngineHost {
public:
    struct Sound {
        bool useMidi = true;
        std::string wave;
        int volume = 100;
        int pan = 0;
        int patchRow = 1;
    };
    Sound sounds[3] = {{true, "", 127, 0, 21}, {true, "", 100, 0, 1}, {true, "", 80, 0, 5}};
    int latency = 0;
    bool border = false;
    int clickLatency = 0;
    int beeps = 0;
    std::vector<std::string> messages;

    bool ClickUseMidi(int k) override { return sounds[k].useMidi; }
    AnsiString ClickWaveFile(int k) override { return sounds[k].wave; }
    int ClickVolume(int k) override { return sounds[k].volume; }
    int ClickPan(int k) override { return sounds[k].pan; }
    int ClickPatchIndex(int k) override { return sounds[k].patchRow; }
    int Latency() override { return latency; }
    bool MClickBorder() override { return border; }
    int MClickLatency() override { return clickLatency; }
    void MessageBeep(UINT) override { ++beeps; }
    void ShowMessage(const AnsiString& text) override { messages.push_back(text.str()); }
};

// A Standard MIDI File of format 1 written from absolute-tick events; meta events are given as
// status 0xFF with their bytes in `meta`.
struct SmfEvent {
    uint32_t tick;
    std::vector<uint8_t> bytes;
};
inline void PutVarLen(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t buf[5];
    int n = 0;
    buf[n++] = v & 0x7F;
    while (v >>= 7) buf[n++] = static_cast<uint8_t>(0x80 | (v & 0x7F));
    while (n) out.push_back(buf[--n]);
}
inline std::vector<uint8_t> WriteSmf(uint16_t division, const std::vector<std::vector<SmfEvent>>& tracks) {
    std::vector<uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    f.push_back(static_cast<uint8_t>(tracks.size() >> 8));
    f.push_back(static_cast<uint8_t>(tracks.size()));
    f.push_back(static_cast<uint8_t>(division >> 8));
    f.push_back(static_cast<uint8_t>(division));
    for (const auto& t : tracks) {
        std::vector<uint8_t> body;
        uint32_t last = 0;
        for (const SmfEvent& e : t) {
            PutVarLen(body, e.tick - last);
            last = e.tick;
            body.insert(body.end(), e.bytes.begin(), e.bytes.end());
        }
        PutVarLen(body, 0);
        body.insert(body.end(), {0xFF, 0x2F, 0x00});
        f.insert(f.end(), {'M', 'T', 'r', 'k'});
        for (int s = 24; s >= 0; s -= 8) f.push_back(static_cast<uint8_t>(body.size() >> s));
        f.insert(f.end(), body.begin(), body.end());
    }
    return f;
}
inline SmfEvent Tempo(uint32_t tick, uint32_t us) {
    return {
        tick,
        {0xFF, 0x51, 0x03, static_cast<uint8_t>(us >> 16), static_cast<uint8_t>(us >> 8), static_cast<uint8_t>(us)}};
}
inline SmfEvent TimeSig(uint32_t tick, uint8_t num, uint8_t power) {
    return {tick, {0xFF, 0x58, 0x04, num, power, 24, 8}};
}
inline SmfEvent Note(uint32_t tick, uint8_t status, uint8_t key, uint8_t vel) { return {tick, {status, key, vel}}; }

// One bar of 4:4 drums at `ppq`: kick, hi-hat and snare, the last note-off just before the bar end.
inline std::vector<SmfEvent> DrumBar(uint16_t ppq) {
    std::vector<SmfEvent> ev;
    for (uint32_t b = 0; b < 4; ++b) {
        uint32_t t = b * ppq;
        ev.push_back(Note(t, 0x99, b % 2 ? 38 : 36, 100));
        ev.push_back(Note(t, 0x99, 42, 80));
        ev.push_back(Note(t + ppq - 10, 0x89, b % 2 ? 38 : 36, 0));
        ev.push_back(Note(t + ppq - 10, 0x89, 42, 0));
    }
    return ev;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        oldDir_ = fs::current_path();
        const char* tmp = std::getenv("TIKORA_TEST_TMP");
        dir_ =
            fs::path(tmp ? tmp : "/tmp") / "engine" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::copy_file(fs::path(TIKORA_SOURCE_DIR) / "data/defs/Tikora.def", dir_ / "Tikora.def");
        fs::current_path(dir_);
        device->Clear();
        player = std::make_unique<Player>();
        ASSERT_TRUE(player->SetEventNotify(window.Handle(), 0x8064));
        ASSERT_TRUE(player->SetEndNotify(85, 127, window.Handle(), 0x8065));
        for (uint8_t ch = 0; ch < 10; ++ch) player->AddNotifyChannel(ch);
        window.OnMessage = [this](const tikora::PostedMessage& m) { Handle(m); };
    }
    void TearDown() override {
        engine.reset();
        player.reset();
        tikora::DispatchPostedMessages();
        fs::current_path(oldDir_);
    }

    void WriteFile(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    std::string ReadFile(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    TMetronomeGame& MakeEngine() {
        engine = std::make_unique<TMetronomeGame>(player.get());
        engine->SetHost(&host);
        return *engine;
    }

    // The main window's handling of the Player's notifications, reduced to what the engine needs.
    void Handle(const tikora::PostedMessage& m) {
        if (m.message == 0x8065) {
            ++ends;
            if (engine->State == psPlaying) engine->Restart();
            return;
        }
        DWORD msg = static_cast<DWORD>(m.lParam);
        if ((msg & 0xFF) != 0xB9) return;
        int c = (msg >> 8) & 0x7F, v = (msg >> 16) & 0x7F;
        if (c == PanMarker) player->SetPan(9, v - 64);
        if (c == BeatMarker) {
            beats.push_back({m.postTimeNs, v});
            if (!engine->OnBeat(v)) {
                player->Stop();
                engine->Stop();
                stoppedByTool = true;
            }
        }
        if (c == WaveMarker) waves.push_back(v);
        if (c >= TempoMarker && c <= TempoMarker + 5) engine->SetPendulumTempo((c - TempoMarker) * 100 + v);
    }
    // Runs the virtual clock, delivering the posted messages after every timer callback, as the
    // UI thread would between them. `onStep` may act at a given time (a tempo change, say).
    void RunFor(double ms) {
        const int64_t end = timer.NowNs() + static_cast<int64_t>(ms * kMs);
        while (auto due = timer.NextDueNs()) {
            if (*due > end) break;
            timer.RunNext();
            tikora::DispatchPostedMessages();
        }
        timer.RunUntil(end);
        tikora::DispatchPostedMessages();
    }
    // Times (ns) of the note-ons the device received on channel index 9.
    std::vector<int64_t> ClickTimes(std::vector<int>* keys = nullptr) {
        std::vector<int64_t> out;
        for (const auto& s : device->Sent())
            if (!s.reset && (s.msg & 0xFF) == 0x99 && ((s.msg >> 16) & 0x7F) > 0) {
                out.push_back(s.ns);
                if (keys) keys->push_back((s.msg >> 8) & 0x7F);
            }
        return out;
    }

    struct Beat {
        int64_t ns;
        int value;
    };
    tikora::winmm::VirtualTimer timer{0};
    std::shared_ptr<tikora::winmm::RecordingMidiOut> device =
        std::make_shared<tikora::winmm::RecordingMidiOut>("Fake Out");
    tikora::winmm::ScopedMidiOutDevices devices{tikora::winmm::MidiOutDeviceList{device}};
    tikora::RecordingWindow window;
    std::unique_ptr<Player> player;
    FakeHost host;
    std::unique_ptr<TMetronomeGame> engine;
    std::vector<Beat> beats;
    std::vector<int> waves;
    int ends = 0;
    bool stoppedByTool = false;
    fs::path dir_;

private:
    fs::path oldDir_;
};

}  // namespace enginetest
