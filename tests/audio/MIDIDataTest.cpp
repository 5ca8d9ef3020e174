#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Classes.h"
#include "Exception.h"
#include "MIDIData.h"
#include "MidiTestSupport.h"

namespace {

using namespace miditest;

struct Loaded {
    bool ok;
    MIDIData song;
};

Loaded Load(const Bytes& bytes) {
    TMemoryStream s;
    s.Write(bytes.data(), static_cast<int>(bytes.size()));
    s.SetPosition(0);
    Loaded l{false, MIDIData()};
    l.ok = l.song.Read(&s);
    return l;
}

TEST(MIDIDataReader, AcceptsAndRefusesFiles) {
    struct Case {
        const char* name;
        Bytes bytes;
        bool ok;
        size_t events;  // in the first track
    };
    const std::vector<Case> cases = {
        {"minimal", Cat({Header(1), Track(Cat({{0x00, 0x90, 60, 100, 0x10, 0x80, 60, 0}, kEnd}))}), true, 2},
        {"header length 7", Cat({Header(1, 96, 7), {0}, Track(kEnd)}), false, 0},
        {"not MThd", Cat({{'R', 'I', 'F', 'F'}, Be(6, 4), Be(0, 4), Be(0, 2), Track(kEnd)}), false, 0},
        {"track without end", Cat({Header(1), Track({0x00, 0x90, 60, 100})}), false, 1},
        {"data byte with no status", Cat({Header(1), Track(Cat({{0x00, 0x40, 0x40}, kEnd}))}), false, 0},
        {"tempo of length 2", Cat({Header(1), Track(Cat({{0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}, kEnd}))}), false, 0},
        {"running status", Cat({Header(1), Track(Cat({{0x00, 0x90, 60, 100, 0x10, 62, 100, 0x10, 60, 0}, kEnd}))}),
         true, 3},
        {"sysex skipped by its length",
         Cat({Header(1), Track(Cat({{0x00, 0xF0, 0x03, 1, 2, 0xF7, 0x00, 0xC1, 5}, kEnd}))}), true, 1},
        {"program change and channel pressure take one data byte",
         Cat({Header(1), Track(Cat({{0x00, 0xC0, 5, 0x00, 0xD0, 0x40, 0x00, 0xC1, 6, 0x00, 0xD1, 0x41}, kEnd}))}), true,
         4},
        {"sysex longer than the file", Cat({Header(1), Track({0x00, 0xF0, 0x7F, 1, 2})}), false, 0},
        {"meta longer than the file", Cat({Header(1), Track({0x00, 0xFF, 0x01, 0x8F, 0x7F, 'a'})}), false, 0},
        {"variable length of 5 bytes", Cat({Header(1), Track(Cat({{0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 1, 1}, kEnd}))}),
         false, 0},
        {"variable length of 4 bytes", Cat({Header(1), Track(Cat({{0x81, 0x81, 0x81, 0x01, 0x90, 1, 1}, kEnd}))}), true,
         1},
        {"huge chunk length reserves nothing absurd", Cat({Header(1), {'M', 'T', 'r', 'k'}, Be(0xFFFFFFF0u, 4), kEnd}),
         true, 0},
        {"second track missing", Cat({Header(2), Track(kEnd)}), false, 0},
        {"truncated header", Bytes{'M', 'T', 'h', 'd', 0, 0}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loaded l = Load(c.bytes);
        EXPECT_EQ(l.ok, c.ok);
        size_t n = l.song.FirstTrack() ? l.song.FirstTrack()->events.size() : 0;
        EXPECT_EQ(n, c.events);
    }
}

TEST(MIDIDataReader, StoresEventsAndMetaData) {
    Bytes body = Cat({
        {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},  // 500000 µs
        {0x00, 0xFF, 0x58, 0x04, 6, 3, 24, 8},       // 6/8
        {0x00, 0xFF, 0x59, 0x02, 0xFE, 1},           // 2 flats, minor
        {0x00, 0xFF, 0x01, 0x02, 'h', 'i'},          // text at tick 0: dropped
        {0x00, 0xFF, 0x05, 0x02, 'l', 'a'},          // lyric at tick 0: kept
        {0x00, 0x99, 36, 0},                         // note-on velocity 0
        {0x83, 0x60, 0xFF, 0x01, 0x01, 'x'},         // text at tick 480: kept
        {0x00, 0xFF, 0x03, 0x00},                    // empty meta
        {0x00, 0xE0, 0x00, 0x40},
        {0x00, 0xFF, 0x7F, 0x02, 1, 2},  // other meta dropped
        {0x00, 0xB0, 7, 100},
    });
    Loaded l = Load(Cat({Header(1, 480), Track(Cat({body, kEnd}))}));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.song.Division, 480);
    ASSERT_EQ(l.song.TempoMap.size(), 1u);
    EXPECT_EQ(l.song.TempoMap[0].Tempo, 500000u);
    ASSERT_EQ(l.song.TimeSignatures.size(), 1u);
    EXPECT_EQ(l.song.TimeSignatures[0].Numerator, 6);
    EXPECT_EQ(l.song.TimeSignatures[0].Denominator, 3);
    ASSERT_EQ(l.song.KeySignatures.size(), 1u);
    EXPECT_EQ(l.song.KeySignatures[0].Sharps, -2);
    EXPECT_EQ(l.song.KeySignatures[0].Mode, 1);
    MIDITrack* t = l.song.FirstTrack();
    ASSERT_EQ(t->events.size(), 3u);
    EXPECT_EQ(t->events[0].Status, 0x89);
    EXPECT_EQ(t->events[0].Data1, 36);
    EXPECT_EQ(t->events[1].Tick, 480u);
    EXPECT_EQ(t->events[1].Data2, 0x40);
    ASSERT_EQ(t->TextEvents.size(), 2u);
    EXPECT_EQ(t->TextEvents[0].Text, AnsiString("la"));
    EXPECT_EQ(t->TextEvents[1].Tick, 480u);
    const uint8_t notes[] = {0x80, 0x90};
    EXPECT_EQ(t->GetEventCount(notes, 2), 1);
    EXPECT_EQ(t->GetEventCount(), 3);
}

TEST(MIDIDataModel, IteratorsLastEventAndChannelFilter) {
    MIDIData song(2, 120);
    EXPECT_EQ(song.GetLastEvent(), nullptr);
    song.Tracks[0]->events = {{0, 0x90, 1, 1}, {0, 0xB0, 7, 1}};
    EXPECT_EQ(song.GetLastEvent(), nullptr);  // everything at tick 0: a song of length 0
    song.Tracks[1]->events = {
        {0, 0x90, 60, 1}, {480, 0x90, 60, 1}, {480, 0x99, 36, 1}, {480, 0xB0, 7, 1}, {960, 0x80, 60, 0}};
    ASSERT_NE(song.GetLastEvent(), nullptr);
    EXPECT_EQ(song.GetLastEvent()->Tick, 960u);
    song.KeepChannelNotes(9);
    std::vector<uint8_t> kept;
    for (MIDIEvent* e = song.Tracks[1]->NextEvent(nullptr); e; e = song.Tracks[1]->NextEvent(e))
        kept.push_back(e->Status);
    EXPECT_EQ(kept, (std::vector<uint8_t>{0x90, 0x99, 0xB0}));

    song.TempoMap = {{0, 500000}, {480, 400000}};
    TempoEvent* first = song.NextTempoEvent(nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(song.NextTempoEvent(first)->Tempo, 400000u);
    EXPECT_EQ(song.NextTempoEvent(song.NextTempoEvent(first)), nullptr);
    TempoEvent foreign{};
    EXPECT_EQ(song.NextTempoEvent(&foreign), nullptr);
    EXPECT_EQ(song.NextTimeSigEvent(nullptr), nullptr);
    EXPECT_EQ(song.GetTrack(2), nullptr);

    MIDIData copy(0, 96);
    copy = song;
    copy = copy;
    EXPECT_EQ(copy.Division, 120);
    ASSERT_EQ(copy.GetTrackCount(), 2);
    EXPECT_NE(copy.GetTrack(1), song.GetTrack(1));
    EXPECT_EQ(copy.GetTrack(1)->events.size(), 3u);
    const uint8_t tempo[] = {0x07, 0xA1, 0x20};
    EXPECT_FALSE(copy.AddTempoEvent(0, tempo, 2));
    EXPECT_TRUE(copy.AddTempoEvent(0, tempo, 3));
    EXPECT_EQ(copy.TempoMap.back().Tempo, 500000u);

    MIDITrack unsorted;
    unsorted.events = {{30, 0x90, 1, 1}, {10, 0x90, 2, 1}, {20, 0x90, 3, 1}};
    unsorted.SortEvents();
    EXPECT_EQ(unsorted.events[0].Tick, 10u);
    EXPECT_EQ(unsorted.events[2].Tick, 30u);
}

TEST(MIDIDataModel, LoadFromFileRaisesForAMissingFile) {
    MIDIData song;
    EXPECT_THROW(song.LoadFromFile(AnsiString(TIKORA_BINARY_DIR "/no/such/file.mid")), EFOpenError);
    EXPECT_FALSE(song.Read(nullptr));
}

}  // namespace
