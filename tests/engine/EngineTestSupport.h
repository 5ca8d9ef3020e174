#pragma once
// Shared by the engine tests: a scratch program folder holding the shipped Tikora.def, a Player on
// a virtual clock and a recording MIDI device, a fake settings window, a stand-in main window that
// handles the Player's notifications as the real one does, and a drum bar of a MIDI file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../audio/MidiTestSupport.h"
#include "Tmetronomgame.h"

namespace enginetest {

namespace fs = std::filesystem;
using namespace miditest;

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

class EngineTest : public ::testing::Test, public PlayerRig {
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
        if (c >= TempoMarker && c <= TempoMarker + 5) engine->SetPendulumTempo((c - TempoMarker) * 100 + v);
    }
    // Runs the virtual clock, delivering the posted messages after every timer callback, as the
    // UI thread would between them.
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
    FakeHost host;
    std::unique_ptr<TMetronomeGame> engine;
    std::vector<Beat> beats;
    int ends = 0;
    bool stoppedByTool = false;
    fs::path dir_;

private:
    fs::path oldDir_;
};

}  // namespace enginetest
