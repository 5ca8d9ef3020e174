#include <algorithm>
#include <cmath>
#include <numbers>
#include <tuple>

#include "EngineTestSupport.h"

using namespace enginetest;

namespace {

MIDIEvent Ev(uint32_t tick, uint8_t status, uint8_t d1, uint8_t d2 = 0) { return {tick, status, d1, d2}; }
bool operator==(const MIDIEvent& a, const MIDIEvent& b) {
    return a.Tick == b.Tick && a.Status == b.Status && a.Data1 == b.Data1 && a.Data2 == b.Data2;
}
std::vector<MIDIEvent> Select(const std::vector<MIDIEvent>& ev, uint8_t status, int controller = -1) {
    std::vector<MIDIEvent> out;
    for (const MIDIEvent& e : ev)
        if (e.Status == status && (controller < 0 || e.Data1 == controller)) out.push_back(e);
    return out;
}

}  // namespace

TEST(TimeSignatureText, PatternsAndRefusals) {
    struct Case {
        const char* text;
        bool ok;
        int num, den;
        std::vector<uint8_t> pattern;
    };
    const Case cases[] = {
        {"4:4", true, 4, 4, {0, 1, 1, 1}},
        {"6:8 (3+3)", true, 6, 8, {0, 2, 2, 1, 2, 2}},
        {"7:8 (2+2+3)", true, 7, 8, {0, 2, 1, 2, 1, 2, 2}},
        {"7:8(2+2+3)", true, 7, 8, {0, 2, 1, 2, 1, 2, 2}},
        {"3:4 (3)", true, 3, 4, {0, 2, 2}},
        {"1:4", true, 1, 4, {0}},
        {"64:4", true, 64, 4, {}},  // 64 beats, not listed
        {"4:4 junk", true, 4, 4, {0, 1, 1, 1}},
        {"7:8 (2+2+3", false, -1, -1, {9}},  // the unclosed last group is ignored: sum 4
        {"5:4 (2+2)", false, -1, -1, {9}},
        {"5:4 (2+0+3)", false, -1, -1, {9}},
        {"6:8 (3 + 3)", false, -1, -1, {9}},  // a group counts only when '+' or ')' follows its digits
        {"3:0", false, -1, -1, {9}},
        {"4:x", false, -1, -1, {9}},
        {"x:4", false, -1, -1, {9}},
        {"0:4", false, -1, -1, {9}},
        {"44", false, -1, -1, {9}},
        {"", false, -1, -1, {9}},
        {"-3:4", false, -1, -1, {9}},  // would leave the pattern empty
        {"65:4", false, -1, -1, {9}},  // beat markers carry the beat modulo two bars in 7 bits
        {"100000:4", false, -1, -1, {9}},
        {"4:4 (99999999+1)", false, -1, -1, {9}},
    };
    for (const Case& c : cases) {
        int num = -1, den = -1;
        std::vector<uint8_t> pattern{9};
        EXPECT_EQ(TMetronomeGame::ParseTimeSignature(c.text, num, den, pattern), c.ok) << c.text;
        EXPECT_EQ(std::make_pair(num, den), std::make_pair(c.num, c.den)) << c.text;  // a refusal leaves them
        EXPECT_EQ(pattern.size(), c.pattern.empty() ? 64u : c.pattern.size()) << c.text;
        EXPECT_TRUE(c.pattern.empty() || pattern == c.pattern) << c.text;
    }
}

TEST_F(EngineTest, TempoClampsAndPendulumFollowsOnlyWhenStopped) {
    TMetronomeGame& e = MakeEngine();
    EXPECT_TRUE(e.SetTempo(9000));
    EXPECT_EQ(e.PendulumTempo, 500);
    EXPECT_FALSE(e.SetTempo(600));  // still 500
    e.Play();
    EXPECT_TRUE(e.SetTempo(30));
    EXPECT_EQ(e.Tempo, 40);
    EXPECT_EQ(e.PendulumTempo, 500);
    e.Pause();
    EXPECT_EQ(e.State, psPaused);
    e.Pause();
    EXPECT_EQ(e.State, psPlaying);
    e.Stop();
    EXPECT_EQ(e.PendulumTempo, 40);
    e.Pause();
    EXPECT_EQ(e.State, psStopped);
}

TEST_F(EngineTest, ClickTrackOfFourFourAt120) {
    TMetronomeGame& e = MakeEngine();
    ASSERT_TRUE(e.SetTimeSignature("4:4"));
    e.SetTempo(120);
    e.Play();
    ASSERT_TRUE(e.ClickTrack);
    MIDIData& song = e.ClickTrack->Song;
    ASSERT_EQ(song.GetTrackCount(), 2);
    const auto& first = song.Tracks[0]->events;
    const auto& clicks = song.Tracks[1]->events;

    ASSERT_GE(first.size(), 3u);
    EXPECT_TRUE(first[0] == Ev(0, 0xB9, 7, 100));
    EXPECT_TRUE(first[1] == Ev(0, 0xC9, 2));
    auto pans = Select(first, 0xB9, PanMarker);
    ASSERT_EQ(pans.size(), 799u);  // none before the first beat
    for (size_t i = 0; i < pans.size(); ++i) ASSERT_TRUE(pans[i] == Ev(120 * (i + 1) - 19, 0xB9, PanMarker, 64)) << i;

    auto notes = Select(clicks, 0x99);
    ASSERT_EQ(notes.size(), 800u);
    auto beatMarkers = Select(clicks, 0xB9, BeatMarker);
    ASSERT_EQ(beatMarkers.size(), 800u);
    auto tempoMarkers = Select(clicks, 0xB9, TempoMarker + 1);
    ASSERT_EQ(tempoMarkers.size(), 200u);
    for (int b = 0; b < 800; ++b) {
        const uint8_t key = b % 4 == 0 ? 75 : 37;
        const uint8_t vel = b % 4 == 0 ? 127 : 100;
        ASSERT_TRUE(notes[b] == Ev(120 * b + 1, 0x99, key, vel)) << b;
        ASSERT_TRUE(beatMarkers[b] == Ev(120 * b + 1, 0xB9, BeatMarker, b % 8)) << b;
    }
    for (int bar = 0; bar < 200; ++bar) {
        ASSERT_TRUE(tempoMarkers[bar] == Ev(480 * bar + 1, 0xB9, TempoMarker + 1, 20)) << bar;
        ASSERT_EQ(song.TempoMap[bar].Tick, bar ? 480u * bar + 1 : 0u);  // the Player moves the first to 0
        ASSERT_EQ(song.TempoMap[bar].Tempo, 500000u);
    }
    ASSERT_EQ(song.TempoMap.size(), 200u);
    auto offs = Select(clicks, 0x89);
    ASSERT_EQ(offs.size(), 2u);
    EXPECT_TRUE(offs[0] == Ev(96000, 0x89, 75, 0));
    EXPECT_TRUE(offs[1] == Ev(96001, 0x89, 75, 0));
    EXPECT_EQ(clicks.back().Tick, 96001u);
    EXPECT_EQ(e.BarsGenerated, 200);
}

TEST_F(EngineTest, ClickSoundKinds) {
    // Status of the bar's click: 0xB9 a wave marker; without a wave file the MIDI note; at volume 0
    // a note-off.
    const std::tuple<bool, const char*, int, int> cases[] = {
        {false, "Bell.wav", 100, 0xB9}, {false, "", 100, 0x99}, {true, "Bell.wav", 100, 0x99}, {true, "", 0, 0x89}};
    for (auto [useMidi, wave, volume, status] : cases) {
        host.sounds[0] = {useMidi, wave, volume, -10, 21};
        TMetronomeGame& e = MakeEngine();
        e.Play();
        const auto& clicks = e.ClickTrack->Song.Tracks[1]->events;
        const MIDIEvent* atZero = nullptr;
        for (const MIDIEvent& ev : clicks)
            if (ev.Tick == 1 && ev.Status == status && (status != 0xB9 || ev.Data1 == WaveMarker)) atZero = &ev;
        ASSERT_NE(atZero, nullptr) << wave << volume;
        EXPECT_EQ(status == 0xB9 ? atZero->Data2 : atZero->Data1, status == 0xB9 ? 0 : 75);
        EXPECT_EQ(Select(e.ClickTrack->Song.Tracks[0]->events, 0xB9, PanMarker)[3].Data2, 54);  // bar 2's first beat
    }
}

TEST_F(EngineTest, PlayAndRestPattern) {
    struct Case {
        int play, rest;
        std::vector<uint32_t> ticks;  // of the first clicks, up to six
    };
    const Case cases[] = {
        {2, 1, {1, 121, 361, 481, 721, 841}},  // sound, sound, rest, ...
        {2, INT32_MAX, {1, 121}},
        {INT32_MAX, INT32_MAX, {1, 121, 241, 361, 481, 601}},
        {INT32_MIN, INT32_MIN, {}},  // what a settings file may hold: counted without overflow
    };
    for (const Case& c : cases) {
        TMetronomeGame& e = MakeEngine();
        e.Tool1Enabled = true;
        e.Tool1PlayBeats = c.play;
        e.Tool1RestBeats = c.rest;
        e.PrepareTools();
        e.Play();
        std::vector<uint32_t> ticks;
        for (const MIDIEvent& n : Select(e.ClickTrack->Song.Tracks[1]->events, 0x99))
            if (ticks.size() < 6) ticks.push_back(n.Tick);
        EXPECT_EQ(ticks, c.ticks) << c.play;
        EXPECT_EQ(Select(e.ClickTrack->Song.Tracks[1]->events, 0xB9, BeatMarker).size(),
                  800u);  // rests keep their markers
    }
}

TEST_F(EngineTest, TempoRampStaysInRange) {
    struct Case {
        int start, delta, bars;
        std::vector<int> firstBars;  // tempo of bars 1, 2, ...
        int bar200;
    };
    const Case cases[] = {
        {100, 5, 2, {100, 100, 105, 105, 110}, 500},
        {60, -7, 1, {60, 53, 46, 40, 40}, 40},  // a falling ramp stops at 40 instead of reaching 0
        {450, 30, 1, {450, 480, 500, 500}, 500},
        {100, 2000000000, 1, {100, 500, 500}, 500},  // steps a panel or a settings file may give
        {100, -2000000000, -7, {100, 40, 40}, 40},
    };
    for (const Case& c : cases) {
        TMetronomeGame& e = MakeEngine();
        e.SetTempo(c.start);
        e.Tool2Enabled = true;
        e.Tool2BPMDelta = c.delta;
        e.Tool2Bars = c.bars;
        e.PrepareTools();
        e.Play();
        const auto& map = e.ClickTrack->Song.TempoMap;
        for (size_t i = 0; i < c.firstBars.size(); ++i) {
            EXPECT_EQ(map[i].Tempo, static_cast<uint32_t>(60000000 / c.firstBars[i])) << c.start << " bar " << i + 1;
            if (i > 0) {
                EXPECT_EQ(map[i].Tick, 480u * i + 1);
            }
        }
        EXPECT_EQ(map[199].Tempo, static_cast<uint32_t>(60000000 / c.bar200));
    }
}

TEST_F(EngineTest, RestartsTakeTheToolsFromTheBeatOrTheirStart) {
    // +5 bpm every 2 bars from 100; in bar 3 (105 bpm) the window changes the meter (a restart,
    // then the tools start over), or a tapped tempo of 120 restarts (the ramp goes on from the
    // beat: a new bar after bar 3), or the track ends (the next one goes on from bar 201).
    // bpm of the new track's first two bars after each action
    for (auto [action, firstBar, secondBar] : {std::tuple{0, 100, 100}, {1, 125, 130}, {2, 500, 500}}) {
        TMetronomeGame& e = MakeEngine();
        e.SetTempo(100);
        e.Tool2Enabled = true;
        e.Tool2BPMDelta = 5;
        e.Tool2Bars = 2;
        e.PrepareTools();
        e.Play();
        RunFor(8 * 600 + 571 + 100);  // bar 3, beat 2
        if (action == 0 && e.SetTimeSignature("3:4")) e.Restart(), e.PrepareTools();
        if (action == 1 && e.SetTempo(120)) e.Restart();
        while (action == 2 && ends == 0) RunFor(60000);
        const auto& map = e.ClickTrack->Song.TempoMap;
        EXPECT_EQ(map[0].Tempo, 60000000u / firstBar) << action;
        EXPECT_EQ(map[1].Tempo, 60000000u / secondBar) << action;
    }
}

TEST_F(EngineTest, PendulumNumbers) {
    TMetronomeGame& e = MakeEngine();
    for (auto [tempo, amplitude, position] : {std::tuple{40, 1.0, 0.0}, {210, 0.1, 1.0}, {500, 0.09, -1.0}}) {
        e.SetPendulumTempo(tempo);
        EXPECT_NEAR(e.Amplitude, amplitude, 1e-12) << tempo;
        EXPECT_NEAR(e.WeightPosition, position, 1e-12) << tempo;
    }
    EXPECT_TRUE(e.SetDragTempo(700));
    EXPECT_EQ(e.DragTempo, 500);
    EXPECT_NEAR(e.DragWeightPosition, -1.0, 1e-12);
    EXPECT_FALSE(e.SetDragTempo(500));

    // A rod of 300 and a weight of 50 leave a scale of 220 px, read from 2 margins (20 px) up:
    // 210 at its start, 40 at its end, truncated toward zero beyond; under it 220 ... 500.
    e.SetPictureSizes(20, 300, 40, 50);
    struct D {
        int d, tempo;
    };
    for (const D& c : {D{-1, 220}, D{-2, 230}, D{-5, 260}, D{-6, 320}, D{-8, 440}, D{-9, 500}, D{-40, 500}, D{0, 210},
                       D{1, 209}, D{110, 125}, D{220, 40}, D{221, 39}, D{272, 0}, D{273, 0}, D{274, -1}})
        EXPECT_EQ(e.TempoFromWeightY(20 + c.d), c.tempo) << c.d;
    // On a 300 px target the pivot is at row 320; the top edge stands 80 px above it at 210
    // (3 margins and the weight), 300 px above it at 40.
    for (const D& row : {D{241, 220}, D{249, 500}, D{240, 210}, D{130, 125}, D{20, 40}, D{19, 39}})
        EXPECT_EQ(e.TempoFromWeightY(e.WeightYAtTop(300, row.d)), row.tempo) << row.d;
    for (int tempo = 40; tempo <= 210; ++tempo) {  // the row a tempo is drawn on reads as that tempo
        e.SetPendulumTempo(tempo);
        EXPECT_EQ(e.TempoFromWeightY(e.WeightYAtTop(300, e.WeightTopY(300))), tempo);
    }
    e.SetPictureSizes(20, 60, 40, 40);  // weight taller than the scale
    EXPECT_EQ(e.TempoFromWeightY(30), 210);

    for (auto [tempo, name] : {std::pair{58, "Largo"},
                               {59, "Larghetto"},
                               {168, "Allegro"},
                               {230, "Prestissimo"},
                               {231, "Blisteringly Fast"}})
        EXPECT_STREQ(TempoNames[TempoNameIndex(tempo)], name) << tempo;

    // 6:8 (3+3) at 120: one half swing per group of three beats; sub-beats leave it alone.
    ASSERT_TRUE(e.SetTimeSignature("6:8 (3+3)"));
    e.SetPendulumTempo(120);
    e.Play();
    EXPECT_NEAR(e.AngularSpeed, 120 * std::numbers::pi / 60 / 3, 1e-12);
    const double phase = e.Phase;
    EXPECT_TRUE(e.OnBeat(1));
    EXPECT_TRUE(e.OnBeat(2));
    EXPECT_EQ(e.CurrentBeat, 0);
    EXPECT_EQ(e.Phase, phase);
    EXPECT_TRUE(e.OnBeat(3));
    EXPECT_EQ(e.CurrentBeat, 3);
    EXPECT_NEAR(e.Phase, std::numbers::pi, 1e-12);  // one non-sub beat before it: odd parity, middle clicks

    host.border = true;
    host.clickLatency = 30;
    host.latency = 20;
    e.ReadNoteSets();
    e.ResetPhase(2);
    EXPECT_NEAR(e.Phase, -std::numbers::pi / 2, 1e-12);
    EXPECT_NEAR(e.AnimationClock, -0.05, 1e-12);

    e.SetPictureSizes(20, 300, 40, 50);
    e.Angle = 0;
    e.WeightPosition = 1;
    e.ComputePendulumQuads(400, 300);
    EXPECT_EQ(e.PendulumQuad[0].x, 191);     // pivot x 201, rod half width 10
    EXPECT_EQ(e.PendulumQuad[0].y, 20);      // pivot y 300 + 20, rod 300 long
    EXPECT_EQ(e.WeightQuad[0].y, 320 - 80);  // weight top at 3 margins + its height above the pivot
}

TEST_F(EngineTest, ToolsEndPlayAndSubBeatsKeepThePhase) {
    TMetronomeGame& e = MakeEngine();
    e.SetTempo(240);
    e.Tool3Enabled = true;
    e.Tool3Bars = 4;
    e.PrepareTools();
    e.Play();
    RunFor(5000);
    ASSERT_TRUE(stoppedByTool);
    ASSERT_EQ(beats.size(), 17u);  // the first beat of bar 5 stops
    EXPECT_EQ(beats.back().ns - beats.front().ns, 16 * 250 * kMs);
    EXPECT_EQ(ClickTimes().size(), 17u);  // its click has sounded already
}

TEST_F(EngineTest, PlaysOnTheGridAcrossTheLoopSeams) {
    // Each 200-bar track starts where the last one ended, fraction of a millisecond included.
    for (auto [tempo, meter] : {std::pair{500, "3:4"}, {130, "4:4"}, {137, "4:4"}}) {
        device->Clear();
        beats.clear();
        ends = 0;
        TMetronomeGame& e = MakeEngine();
        e.SetTempo(tempo);
        ASSERT_TRUE(e.SetTimeSignature(meter));
        const int n = static_cast<int>(e.AccentPattern.size()), track = 200 * n;
        const double beatMs = 60000.0 / tempo;
        e.Play();
        RunFor(beatMs * (3 * track + 2));  // three seams
        auto clicks = ClickTimes();
        ASSERT_GE(clicks.size(), 3u * track + 1) << tempo;
        EXPECT_EQ(ends, 3) << tempo;
        for (size_t i = 0; i < clicks.size(); ++i) {
            // One tick after Play, then on the grid within a microsecond.
            ASSERT_NEAR(clicks[i] - clicks[0], i * beatMs * kMs, 1000) << tempo << " beat " << i;
            ASSERT_EQ(beats[i].value, static_cast<int>(i % track) % (2 * n)) << i;
            ASSERT_EQ(beats[i].ns, clicks[i]) << i;
        }
        e.Stop();
        player->Stop();
    }
}

TEST_F(EngineTest, RebuildTakesOverTheBeatWithoutASecondMarker) {
    TMetronomeGame& e = MakeEngine();
    e.SetTempo(120);
    e.Tool2Enabled = true;
    e.Tool2BPMDelta = 10;
    e.Tool2Bars = 2;
    e.Tool1Enabled = true;
    e.Tool1PlayBeats = 3;
    e.Tool1RestBeats = 2;
    e.PrepareTools();
    e.Play();
    RunFor(4 * 4 * 500 + 1250 + 100);  // into bar 5, beat 3 (index 17, 19 ms... at 120 + 2 steps)
    const size_t before = beats.size();
    EXPECT_EQ(e.BarsGenerated, 200);
    e.SetTempo(60);  // the ramp now starts from 60: bar 5 plays at 60 + 2 × 10
    RunFor(10000);
    ASSERT_GT(beats.size(), before + 4);
    // Beat markers count one beat each: no value repeats back to back.
    for (size_t i = 1; i < beats.size(); ++i) ASSERT_NE(beats[i].value, beats[i - 1].value) << i;
    // After the rebuild the ramp resumes at bar 5 (two steps), not at bar 201.
    const auto& map = e.ClickTrack->Song.TempoMap;
    EXPECT_EQ(map[0].Tempo, 60000000u / 80);
    // The play/rest phase goes on: beats sounded follow play 3, rest 2 across the rebuild.
    const auto clicks = ClickTimes();
    for (size_t i = 0; i < beats.size(); ++i) {
        const bool sounded = std::find(clicks.begin(), clicks.end(), beats[i].ns) != clicks.end();
        // The beat sounding when the rebuild starts is heard before it.
        EXPECT_TRUE(i == before || sounded == (i % 5 < 3)) << i;
    }
}

TEST_F(EngineTest, DrumBeatFileModeLoopsAndTempoChangesKeepEveryNote) {
    // Two bars of 4:4: on each beat i < 6 a drum note of key 60 + i that lasts two beats.
    std::vector<SmfEvent> notes;
    for (uint8_t i = 0; i < 8; ++i) {
        if (i >= 2) notes.push_back(Note(i * 96u, 0x89, 58 + i, 0));
        if (i < 6) notes.push_back(Note(i * 96u, 0x99, 60 + i, 100));
    }
    WriteBytes("Drums.mid", WriteSmf(96, {{TimeSig(0, 4, 2), Tempo(0, 600000)}, notes}));
    TMetronomeGame& e = MakeEngine();
    e.SetTempo(150);
    e.Tool4Enabled = true;
    e.Tool4MidiFile = (dir_ / "Drums").string();
    e.PrepareTools();
    ASSERT_TRUE(e.Tool4Enabled);
    EXPECT_EQ(e.Tempo, 150);  // the file's tempo is taken only when asked for
    e.Play();
    const auto& markers = e.ClickTrack->Song.Tracks.back()->events;
    // Two bars of markers, then two inert note-offs; no clicks of its own.
    EXPECT_EQ(markers.back().Tick, 8u * 96 + 1);
    EXPECT_EQ(Select(markers, 0x89).size(), 2u);
    EXPECT_EQ(Select(markers, 0x99).size(), 0u);
    RunFor(8 * 400 * 3 + 299);  // three loops at 150 bpm, then 90, 150 and 100 bpm before beats 25, 26, 27
    ASSERT_EQ(beats.size(), 25u);
    for (size_t i = 0; i < beats.size(); ++i) {
        EXPECT_EQ(beats[i].value, static_cast<int>(i % 8)) << i;
        // A loop's first tick goes out one tick (4 ms) after the loop starts; the rest keep the grid.
        EXPECT_EQ(beats[i].ns, static_cast<int64_t>(i) * 400 * kMs + (i % 8 ? 0 : 4 * kMs)) << i;
    }
    EXPECT_EQ(ends, 3);
    for (int tempo : {90, 150, 150, 100}) {
        e.SetTempo(tempo);
        RunFor(300);
    }
    RunFor(8000);
    ASSERT_GE(beats.size(), 33u);
    EXPECT_EQ(beats[27].ns - beats[26].ns, 400 * kMs);
    EXPECT_EQ(beats[29].ns - beats[28].ns, 600 * kMs);
    // Each note of the four loops sounds once, from its beat to the beat two later.
    std::vector<std::vector<int64_t>> on(6), off(6), wantOn(6), wantOff(6);
    for (size_t k = 0; k < 24; ++k) {
        wantOn[k % 6].push_back(beats[k / 6 * 8 + k % 6].ns);
        wantOff[k % 6].push_back(beats[k / 6 * 8 + k % 6 + 2].ns);
    }
    for (const auto& m : device->Sent()) {
        const uint32_t key = (m.msg >> 8) & 0x7F;
        if (!m.reset && (m.msg & 0xEF) == 0x89 && m.ns < beats[32].ns && key >= 60 && key < 66)
            ((m.msg & 0xF0) == 0x90 ? on : off)[key - 60].push_back(m.ns);
    }
    EXPECT_EQ(on, wantOn);
    EXPECT_EQ(off, wantOff);
    for (size_t i = 25; i < 33; ++i) EXPECT_EQ(beats[i].value, static_cast<int>(i % 8)) << i;
}

TEST_F(EngineTest, LoadMidiFileMeterAndRefusals) {
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        bool ok;
        const char* meter;  // time-signature text afterwards
        int tempo;
        int messages;
    };
    auto song = [](uint16_t division, std::vector<SmfEvent> meta) {
        return WriteSmf(division, {meta, DrumBar(division == 0 || division & 0x8000 ? 96 : division)});
    };
    const Case cases[] = {
        {"ThreeEight", song(120, {TimeSig(0, 3, 3), Tempo(0, 500000)}), true, "3:8", 120, 0},
        {"SixtyFourth", song(120, {TimeSig(0, 5, 6), Tempo(0, 1000000)}), true, "5:64", 60, 0},
        {"PowerZero", song(120, {TimeSig(0, 5, 0)}), true, "5:0", 100, 0},  // refused: 4:4 stays
        {"PowerSeven", song(120, {TimeSig(0, 5, 7)}), true, "4:4", 100, 0},
        {"ZeroTempo", song(120, {Tempo(0, 0), Tempo(10, 400000)}), true, "4:4", 150, 0},
        {"ZeroDivision", song(0, {}), false, "4:4", 100, 1},
        {"Smpte", song(0xE728, {}), false, "4:4", 100, 1},
        {"Truncated", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96}, true, "4:4", 100, 0},
        {"Missing", {}, false, "4:4", 100, 0},
    };
    for (const Case& c : cases) {
        if (c.name != "Missing") WriteBytes(c.name + ".mid", c.bytes);
        host.messages.clear();
        TMetronomeGame& e = MakeEngine();
        e.SetTempo(100);
        const bool ok = e.LoadMidiFile(AnsiString(c.name + ".mid"), true);
        EXPECT_EQ(ok, c.ok) << c.name;
        EXPECT_EQ(e.TimeSignatureText.str(), c.meter) << c.name;
        EXPECT_EQ(e.Tempo, c.tempo) << c.name;
        EXPECT_EQ(static_cast<int>(host.messages.size()), c.messages) << c.name;
        if (ok) {
            auto markers = Select(e.MidiFileSong.Tracks.back()->events, 0xB9, BeatMarker);
            EXPECT_GE(markers.size(), 2 * e.AccentPattern.size()) << c.name;
            EXPECT_TRUE(e.MidiFileSong.TempoMap.empty()) << c.name;
        } else {
            EXPECT_EQ(e.MidiFileSong.GetTrackCount(), 0) << c.name;
        }
    }
    // A tool whose file fails is switched off.
    TMetronomeGame& e = MakeEngine();
    e.Tool5Enabled = true;
    e.Tool5MidiFile = "ZeroDivision";
    e.PrepareTools();
    EXPECT_FALSE(e.Tool5Enabled);
}
