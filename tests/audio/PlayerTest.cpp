#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "MidiTestSupport.h"

using namespace miditest;
using tikora::winmm::ScopedMidiOutDevices;
using tikora::winmm::SentMidi;

namespace {

DWORD Msg(int status, int d1, int d2 = 0) { return static_cast<DWORD>(status | d1 << 8 | d2 << 16); }

// A song of one track; the tempo map holds `bpm` at tick 0.
std::unique_ptr<MIDIData> Song(int bpm, std::vector<MIDIEvent> events) {
    auto song = std::make_unique<MIDIData>(1, 120);
    song->TempoMap.push_back({0, static_cast<uint32_t>(60000000 / bpm)});
    song->FirstTrack()->events = std::move(events);
    return song;
}

// A click on channel index 9 every quarter note, a tempo record at every bar, and the closing
// note-offs one beat after the last click, as the engine builds its click tracks.
std::unique_ptr<MIDIData> ClickSong(int bpm, int bars, int beatsPerBar = 4) {
    auto song = std::make_unique<MIDIData>(1, 120);
    std::vector<MIDIEvent> ev;
    uint32_t t = 0;
    for (int b = 0; b < bars * beatsPerBar; ++b, t += 120) {
        if (b % beatsPerBar == 0) song->TempoMap.push_back({t, static_cast<uint32_t>(60000000 / bpm)});
        ev.push_back({t, 0x99, 37, 100});
    }
    ev.push_back({t - 1, 0x89, 37, 0});
    ev.push_back({t, 0x89, 37, 0});
    song->FirstTrack()->events = ev;
    return song;
}

class PlayerTest : public ::testing::Test, public PlayerRig {
protected:
    void SetUp() override {
        player = std::make_unique<Player>();
        device->Clear();
    }
    void TearDown() override {
        player.reset();
        tikora::DispatchPostedMessages();
    }
    // Sent short messages with their times, resets left out.
    std::vector<SentMidi> Sent() const {
        std::vector<SentMidi> out;
        for (const SentMidi& s : device->Sent())
            if (!s.reset) out.push_back(s);
        return out;
    }
    std::vector<tikora::PostedMessage> Posted() {
        tikora::DispatchPostedMessages();
        return window.Messages();
    }
};

TEST_F(PlayerTest, TempoRecordsRetimeTheClockWhileTheirChannelIsMuted) {
    // The drum-beat tool mutes every channel but 9; a tempo step from 120 to 60 bpm at bar 2
    // must still reach the clicks.
    auto song = ClickSong(120, 3);
    song->TempoMap[2].Tempo = 1000000;
    for (uint8_t ch = 0; ch < 16; ++ch)
        if (ch != 9) player->SetChannelMute(ch, true);
    player->AddNotifyChannel(1);
    ASSERT_TRUE(player->SetEventNotify(window.Handle(), 0x8064));
    ASSERT_TRUE(player->Play(song.get(), 0, false));
    timer.RunForMs(20000);
    std::vector<SentMidi> sent = Sent();
    ASSERT_GE(sent.size(), 10u);
    EXPECT_NEAR(sent[8].ns, 4000 * kMs, kMs);  // bar 2 starts at 8 × 500 ms
    EXPECT_NEAR(sent[9].ns, 5000 * kMs, kMs);  // then a beat every second
    int tempoPosts = 0;
    for (const auto& m : Posted())
        if ((m.lParam & 0xFF) == 0x51) ++tempoPosts;
    EXPECT_EQ(tempoPosts, 2);  // the records after the first are still posted
}

TEST_F(PlayerTest, ChannelMessagesAreTransformedAsSent) {
    struct Case {
        const char* name;
        int transpose;
        std::vector<MIDIEvent> events;
        std::vector<DWORD> expected;
    };
    const std::vector<Case> cases = {
        {"transposed note and its note-off",
         2,
         {{0, 0x90, 60, 100}, {10, 0x80, 60, 0}},
         {Msg(0x90, 62, 100), Msg(0x80, 62)}},
        {"percussion never transposed",
         2,
         {{0, 0x99, 60, 100}, {10, 0x89, 60, 0}},
         {Msg(0x99, 60, 100), Msg(0x89, 60)}},
        {"note-off without note-on unchanged", 2, {{0, 0x80, 60, 50}}, {Msg(0x80, 60)}},
        {"transposition wraps within 7 bits", -2, {{0, 0x90, 1, 100}}, {Msg(0x90, 127, 100)}},
        {"volume scaled by the channel factor", 0, {{0, 0xB0, 7, 120}}, {Msg(0xB0, 7, 100)}},
        {"song pan passes unchanged", 0, {{0, 0xB3, 10, 20}}, {Msg(0xB3, 10, 20)}},
        {"channel pressure keeps its byte", 0, {{0, 0xD0, 100, 0}}, {Msg(0xD0, 100)}},
        {"program change", 0, {{0, 0xC5, 12, 99}}, {Msg(0xC5, 12)}},
        {"data bytes masked", 0, {{0, 0xA0, 0xFF, 0x80}}, {Msg(0xA0, 0x7F, 0)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        player->SetTranspose(c.transpose);
        std::vector<MIDIEvent> events = c.events;
        events.push_back({200, 0xB0, 3, 0});  // the end mark, never sent
        auto song = Song(120, events);
        ASSERT_TRUE(player->Play(song.get(), 0, false));  // silences the previous case first
        device->Clear();
        timer.RunForMs(1000);
        std::vector<DWORD> got;
        for (const SentMidi& s : Sent()) got.push_back(s.msg);
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(PlayerTest, SustainAndPitchBendAreReleasedOnStop) {
    auto song =
        Song(120, {{0, 0xB2, 64, 127}, {1, 0xE2, 0, 80}, {2, 0x90, 60, 90}, {3, 0xE5, 0, 64}, {500, 0x90, 1, 1}});
    ASSERT_TRUE(player->Play(song.get(), 0, false));
    timer.RunForMs(100);
    device->Clear();
    ASSERT_TRUE(player->Stop());
    std::vector<DWORD> got;
    for (const SentMidi& s : Sent()) got.push_back(s.msg);
    // Sustain off and the bend centre of channel 2; the note-off of the open note; channel 5's
    // bend was already centred.
    EXPECT_EQ(got, (std::vector<DWORD>{Msg(0xB2, 64, 0), Msg(0xE2, 0, 64), Msg(0x80, 60)}));
    EXPECT_TRUE(player->SoundingList.empty());
}

TEST_F(PlayerTest, RepeatedClicksAreSilencedWithOneMessageEach) {
    auto song = ClickSong(500, 10);
    ASSERT_TRUE(player->Play(song.get(), 0, false));
    timer.RunForMs(3000);
    ASSERT_GT(player->SoundingList.size(), 20u);
    device->Clear();
    player->SetChannelMute(9, true);
    player->SetChannelMute(9, true);
    EXPECT_EQ(device->Messages(), std::vector<DWORD>{Msg(0x89, 37)});
    device->Clear();
    player->AllNotesOff();
    EXPECT_EQ(device->Messages(), std::vector<DWORD>{Msg(0x89, 37)});
}

TEST_F(PlayerTest, MutedChannelsArePostedButNotSent) {
    player->AddNotifyChannel(9);
    player->AddNotifyChannel(9);
    EXPECT_EQ(player->NotifyChannels.size(), 1u);
    ASSERT_TRUE(player->SetEventNotify(window.Handle(), 0x8064));
    ASSERT_TRUE(player->SetEndNotify(85, 127, window.Handle(), 0x8065));
    player->SetChannelMute(9, true);
    auto song = ClickSong(120, 1);
    ASSERT_TRUE(player->Play(song.get(), 0, false));
    timer.RunForMs(5000);
    EXPECT_TRUE(Sent().empty());
    std::vector<tikora::PostedMessage> posted = Posted();
    ASSERT_EQ(posted.size(), 6u);  // four clicks, the first note-off, the end
    EXPECT_EQ(posted[1].message, 0x8064u);
    EXPECT_EQ(posted[1].lParam, static_cast<LPARAM>(Msg(0x99, 37, 100)));
    EXPECT_NEAR(posted[1].postTimeNs, 500 * kMs, kMs);
    EXPECT_EQ(posted[5].message, 0x8065u);
    EXPECT_EQ(posted[5].lParam, 0);
}

TEST_F(PlayerTest, EndMarkerEndsTheSongOnce) {
    ASSERT_TRUE(player->SetEndNotify(85, 127, window.Handle(), 0x8065));
    auto song = Song(120, {{0, 0x90, 60, 1}, {120, 0xB0, 85, 127}, {240, 0x90, 61, 1}, {360, 0x90, 62, 1}});
    ASSERT_TRUE(player->Play(song.get(), 0, false));
    timer.RunForMs(5000);
    std::vector<DWORD> got = device->Messages();
    EXPECT_EQ(got, (std::vector<DWORD>{Msg(0x90, 60, 1), Msg(0xB0, 85, 127)}));
    EXPECT_FALSE(player->Clock.IsRunning());
    std::vector<tikora::PostedMessage> posted = Posted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_NEAR(posted[0].postTimeNs, 500 * kMs, kMs);
    EXPECT_FALSE(player->SetEndNotify(85, 128, window.Handle(), 0x8065));
    EXPECT_EQ(player->EndValue, 127);
}

TEST_F(PlayerTest, PlayEdgeCases) {
    ASSERT_TRUE(player->SetEndNotify(85, 127, window.Handle(), 0x8065));
    auto noTempo = Song(120, {{0, 0x90, 60, 1}, {10, 0x80, 60, 0}});
    noTempo->TempoMap.clear();
    EXPECT_FALSE(player->Play(noTempo.get(), 0, false));

    auto decreasing = ClickSong(120, 3);
    decreasing->TempoMap[2].Tick = 10;
    EXPECT_FALSE(player->Play(decreasing.get(), 0, false));

    auto late = ClickSong(120, 1);
    EXPECT_TRUE(player->Play(late.get(), 100000, false));
    EXPECT_FALSE(player->Clock.IsRunning());

    auto oneNote = Song(120, {{0, 0x90, 60, 1}});
    ASSERT_TRUE(player->Play(oneNote.get(), 0, false));
    timer.RunForMs(100);
    EXPECT_TRUE(device->Messages().empty());
    EXPECT_EQ(Posted().size(), 1u);

    auto movedTempo = Song(120, {{0, 0x90, 60, 1}, {240, 0x90, 61, 1}, {480, 0x80, 61, 0}});
    movedTempo->TempoMap[0].Tick = 100;
    ASSERT_TRUE(player->Play(movedTempo.get(), 0, false));
    EXPECT_EQ(movedTempo->TempoMap[0].Tick, 0u);
}

TEST_F(PlayerTest, PauseTwiceResumesAtTheStoppedTick) {
    auto song = ClickSong(120, 2);
    ASSERT_TRUE(player->Play(song.get(), 0, false));
    timer.RunForMs(1102);  // clicks near 5, 500 and 1000 ms
    ASSERT_TRUE(player->Pause());
    EXPECT_FALSE(player->Clock.IsRunning());
    EXPECT_EQ(player->Clock.StoppedTick, 264u);
    timer.RunForMs(10000);
    std::vector<SentMidi> sent = Sent();
    ASSERT_EQ(sent.size(), 4u);  // three clicks and the pause's note-off
    EXPECT_EQ(sent[3].msg, Msg(0x89, 37));
    ASSERT_TRUE(player->Pause());
    timer.RunForMs(10000);
    sent = Sent();
    ASSERT_EQ(sent.size(), 10u);
    // Resumed at tick 264 at 11102 ms: tick 360 is due 96 ticks (400 ms) later.
    EXPECT_NEAR(sent[4].ns, 11502 * kMs, kMs);
    // A finished song does not resume.
    EXPECT_TRUE(player->Pause());
    EXPECT_FALSE(player->Clock.IsRunning());
}

TEST_F(PlayerTest, TransposeWhilePlayingResumesWithTheNewValue) {
    auto song = Song(120, {{0, 0x90, 60, 1}, {240, 0x90, 60, 2}, {480, 0x80, 60, 0}});
    ASSERT_TRUE(player->Play(song.get(), 0, false));
    timer.RunForMs(100);
    player->SetTranspose(200);
    EXPECT_EQ(player->Transpose, 0);
    player->SetTranspose(5);
    EXPECT_TRUE(player->Clock.IsRunning());
    timer.RunForMs(2000);
    std::vector<DWORD> got = device->Messages();
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[0], Msg(0x90, 60, 1));
    EXPECT_EQ(got.back(), Msg(0x90, 65, 2));
}

TEST_F(PlayerTest, StaleTimerCallbacksDoNothing) {
    auto song = ClickSong(120, 1);
    ASSERT_TRUE(player->Play(song.get(), 0, false));
    UINT armed = player->Clock.TimerId;
    ASSERT_NE(armed, 0u);
    Player::TimerProc(armed + 1000, 0, reinterpret_cast<DWORD_PTR>(player.get()), 0, 0);
    EXPECT_TRUE(device->Messages().empty());
    ASSERT_TRUE(player->Stop());
    timer.Clock().AdvanceMs(100);
    Player::TimerProc(armed, 0, reinterpret_cast<DWORD_PTR>(player.get()), 0, 0);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(timer.Pending(), 0u);
}

TEST_F(PlayerTest, PanVolumesAndImmediateEvents) {
    for (auto [pan, stored] : {std::pair{100, 127}, {-100, 0}, {0, 64}}) {
        device->Clear();
        player->SetPan(9, pan);
        EXPECT_EQ(player->ChannelPan[9], stored);
        EXPECT_EQ(device->Messages(), std::vector<DWORD>{Msg(0xB9, 10, stored)});
    }
    device->Clear();
    player->ResetChannelVolumes();
    ASSERT_EQ(device->Messages().size(), 16u);
    EXPECT_EQ(device->Messages()[15], Msg(0xBF, 7, 100));

    player->AddNotifyChannel(9);
    ASSERT_TRUE(player->SetEventNotify(window.Handle(), 0x8064));
    device->Clear();
    MIDIEvent ev[] = {{0, 0x99, 200, 100}, {0, 0xF0, 1, 2}, {0, 0x91, 60, 1}};
    EXPECT_TRUE(player->SendEvents(ev, 3));
    EXPECT_EQ(device->Messages(), (std::vector<DWORD>{Msg(0x99, 72, 100), Msg(0x91, 60, 1)}));
    EXPECT_EQ(Posted().size(), 1u);
}

TEST_F(PlayerTest, OutputDevicesOpenCloseAndDisappear) {
    EXPECT_EQ(player->OutDevice, 0);
    EXPECT_EQ(device->OpenPorts(), 1);
    EXPECT_TRUE(player->OpenOutDevice(0));
    EXPECT_EQ(device->OpenPorts(), 1);
    EXPECT_FALSE(player->OpenOutDevice(2));
    EXPECT_FALSE(player->OpenOutDevice(-1));
    second->failOpen = true;
    EXPECT_FALSE(player->OpenOutDevice(1));
    EXPECT_EQ(player->OutDevice, 0);
    second->failOpen = false;
    ASSERT_TRUE(player->OpenOutDevice(1));
    EXPECT_EQ(device->OpenPorts(), 0);
    EXPECT_EQ(second->OpenPorts(), 1);

    AnsiString name;
    ASSERT_TRUE(player->GetOutDeviceName(1, name));
    EXPECT_EQ(name, AnsiString("Second Out"));
    EXPECT_FALSE(player->GetOutDeviceName(5, name));

    // The open device leaves the list: it can still be closed; other indexes are checked.
    devices.reset();
    devices = std::make_unique<ScopedMidiOutDevices>(tikora::winmm::MidiOutDeviceList{device});
    EXPECT_FALSE(player->CloseOutDevice(-1));
    EXPECT_FALSE(player->CloseOutDevice(3));
    EXPECT_TRUE(player->CloseOutDevice(0));
    EXPECT_EQ(player->OutDevice, 1);
    EXPECT_TRUE(player->CloseOutDevice(1));
    EXPECT_EQ(player->OutDevice, -2);
    EXPECT_EQ(second->OpenPorts(), 0);
    EXPECT_TRUE(player->Stop());
    MIDIEvent ev{0, 0x90, 60, 1};
    EXPECT_FALSE(player->SendEvents(&ev, 1));
}

}  // namespace
