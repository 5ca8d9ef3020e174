#pragma once
// The MIDI song model: a Standard MIDI File in memory (MIDIData, its tempo map, time and key
// signatures and tracks of channel events), and its reader. The engine builds click tracks in the
// same model. There is no writer.
#include <cstdint>
#include <memory>
#include <vector>

#include "AnsiString.h"
#include "Classes.h"

// Ticks are absolute, counted from the start of the song.
struct MIDIEvent {
    uint32_t Tick = 0;
    uint8_t Status = 0;  // high nibble the kind 0x80..0xE0, low nibble the channel
    uint8_t Data1 = 0;
    uint8_t Data2 = 0;  // 0 for one-byte kinds
};

struct TempoEvent {
    uint32_t Tick = 0;
    uint32_t Tempo = 0;  // microseconds per quarter note
};

// The four bytes of the file's time-signature meta event, in their order.
struct TimeSigEvent {
    uint32_t Tick = 0;
    uint8_t Numerator = 0;
    uint8_t Denominator = 0;    // as a power of two
    uint8_t MidiClocks = 0;     // per metronome click
    uint8_t ThirtySeconds = 0;  // per quarter note
};

struct KeySigEvent {
    uint32_t Tick = 0;
    int8_t Sharps = 0;  // negative: flats
    uint8_t Mode = 0;   // 0 major, 1 minor
};

struct MIDITextEvent {
    uint32_t Tick = 0;
    AnsiString Text;
};

class Persist {
public:
    virtual ~Persist() = default;
    virtual bool Read(TStream* stream) = 0;
    virtual bool Write() = 0;
    virtual void Clear() = 0;
};

class MIDITrack : public Persist {
public:
    explicit MIDITrack(size_t reserve = 32);
    bool Read(TStream* stream) override;
    bool Write() override { return true; }
    void Clear() override;

    // n = 0: all events; otherwise the events whose kind (status AND 0xF0) is one of kinds[0..n).
    int GetEventCount(const uint8_t* kinds = nullptr, int n = 0) const;
    // nullptr gives the first event; an event gives the next; the last (or a foreign pointer) nullptr.
    MIDIEvent* NextEvent(const MIDIEvent* event);
    MIDIEvent* GetEvent(size_t index);
    // By tick; the order of equal ticks is not kept.
    void SortEvents();
    // Removes note-ons and note-offs of every other channel, except those at tick 0.
    void KeepChannelNotes(uint8_t channel);
    // A variable-length number of at most 4 bytes. Returns the bytes read; 0 when the stream ends
    // first or the number runs past 4 bytes.
    static int ReadVarLen(TStream* stream, uint32_t& value);

    std::vector<MIDIEvent> events;
    std::vector<MIDITextEvent> TextEvents;
};

class MIDIData : public Persist {
public:
    explicit MIDIData(int trackCount = 0, uint16_t division = 120);
    ~MIDIData() override;
    MIDIData(const MIDIData& other);
    MIDIData& operator=(const MIDIData& other);

    bool Read(TStream* stream) override;
    bool Write() override { return true; }
    void Clear() override;
    // Raises EFOpenError when the file cannot be opened.
    bool LoadFromFile(const AnsiString& fileName);

    // The last event with the greatest tick above 0 over all tracks; nullptr for a song of length 0.
    MIDIEvent* GetLastEvent();
    void KeepChannelNotes(uint8_t channel);
    TempoEvent* NextTempoEvent(const TempoEvent* event);
    TimeSigEvent* NextTimeSigEvent(const TimeSigEvent* event);
    MIDITrack* FirstTrack();
    MIDITrack* GetTrack(size_t index);
    // Appends a copy of the source's events in their order; the division is not used.
    void AddTrack(const MIDITrack& source, uint16_t division = 0);
    void SetDivision(uint16_t division) { Division = division; }
    int GetTrackCount() const { return static_cast<int>(Tracks.size()); }
    bool AddTempoEvent(uint32_t tick, const uint8_t* data, uint32_t length);
    bool AddTimeSigEvent(uint32_t tick, const uint8_t* data, uint32_t length);
    bool AddKeySigEvent(uint32_t tick, const uint8_t* data, uint32_t length);

    uint16_t Division = 120;
    std::vector<TempoEvent> TempoMap;
    std::vector<TimeSigEvent> TimeSignatures;
    std::vector<KeySigEvent> KeySignatures;
    std::vector<std::unique_ptr<MIDITrack>> Tracks;
};

// The song being read: MIDIData::Read sets it, MIDITrack::Read adds its meta events to it.
extern MIDIData* CurrentSong;
