#include "MIDIData.h"

#include <algorithm>
#include <functional>

#include "Exception.h"

MIDIData* CurrentSong = nullptr;

namespace {

bool ReadBytes(TStream* s, void* buf, int n) { return n == 0 || s->Read(buf, n) == n; }

bool ReadU8(TStream* s, uint8_t& v) { return ReadBytes(s, &v, 1); }

bool ReadBE(TStream* s, int n, uint32_t& v) {
    uint8_t b[4];
    if (!ReadBytes(s, b, n)) return false;
    v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | b[i];
    return true;
}

// What is left of the stream; the reader never believes a size larger than that.
uint64_t BytesLeft(TStream* s) {
    int64_t left = s->Size() - s->Position();
    return left > 0 ? static_cast<uint64_t>(left) : 0;
}

template <typename T>
T* NextOf(std::vector<T>& v, const T* item) {
    if (v.empty()) return nullptr;
    if (!item) return v.data();
    std::less<const T*> less;
    if (less(item, v.data()) || !less(item, v.data() + v.size() - 1)) return nullptr;
    return const_cast<T*>(item) + 1;
}

}  // namespace

MIDITrack::MIDITrack(size_t reserve) { events.reserve(reserve); }

void MIDITrack::Clear() {
    events.clear();
    TextEvents.clear();
}

int MIDITrack::ReadVarLen(TStream* stream, uint32_t& value) {
    value = 0;
    for (int n = 1; n <= 4; ++n) {
        uint8_t b;
        if (!ReadU8(stream, b)) return 0;
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80)) return n;
    }
    return 0;
}

bool MIDITrack::Read(TStream* stream) {
    Clear();
    if (!stream) return false;
    uint8_t id[4];
    uint32_t length;
    if (!ReadBytes(stream, id, 4) || std::string(reinterpret_cast<char*>(id), 4) != "MTrk") return false;
    if (!ReadBE(stream, 4, length)) return false;
    events.reserve(std::min<uint64_t>(length, BytesLeft(stream)) / 2);
    uint32_t tick = 0;
    int running = -1;
    for (;;) {
        uint32_t delta;
        if (ReadVarLen(stream, delta) == 0) return false;
        tick += delta;
        uint8_t status;
        if (!ReadU8(stream, status)) return false;
        if (status < 0x80) {
            if (running < 0) return false;
            status = static_cast<uint8_t>(running);
            stream->Seek(-1, soFromCurrent);
        }
        uint8_t kind = status & 0xF0;
        if (kind >= 0x80 && kind <= 0xE0) {
            MIDIEvent e{tick, status, 0, 0};
            if (!ReadU8(stream, e.Data1)) return false;
            if (kind != 0xC0 && kind != 0xD0 && !ReadU8(stream, e.Data2)) return false;
            if (kind == 0x90 && e.Data2 == 0) e.Status = static_cast<uint8_t>(0x80 | (status & 0x0F));
            events.push_back(e);
        } else if (status == 0xFF) {
            uint8_t type;
            uint32_t len;
            if (!ReadU8(stream, type) || ReadVarLen(stream, len) == 0) return false;
            if (type == 0x2F) return true;
            if (len > BytesLeft(stream)) return false;
            if (len > 0) {
                std::vector<uint8_t> data(len);
                if (!ReadBytes(stream, data.data(), static_cast<int>(len))) return false;
                if (type == 5 || (type == 1 && tick > 0)) {
                    TextEvents.push_back({tick, AnsiString(std::string(data.begin(), data.end()))});
                } else if (CurrentSong && type == 0x51) {
                    if (!CurrentSong->AddTempoEvent(tick, data.data(), len)) return false;
                } else if (CurrentSong && type == 0x58) {
                    if (!CurrentSong->AddTimeSigEvent(tick, data.data(), len)) return false;
                } else if (CurrentSong && type == 0x59) {
                    if (!CurrentSong->AddKeySigEvent(tick, data.data(), len)) return false;
                }
            }
        } else if (status == 0xF0 || status == 0xF7) {
            uint32_t len;
            if (ReadVarLen(stream, len) == 0 || len > BytesLeft(stream)) return false;
            stream->Seek(len, soFromCurrent);
        }
        running = status;
    }
}

int MIDITrack::GetEventCount(const uint8_t* kinds, int n) const {
    if (n <= 0 || !kinds) return static_cast<int>(events.size());
    return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const MIDIEvent& e) {
        return std::find(kinds, kinds + n, static_cast<uint8_t>(e.Status & 0xF0)) != kinds + n;
    }));
}

MIDIEvent* MIDITrack::NextEvent(const MIDIEvent* event) { return NextOf(events, event); }

MIDIEvent* MIDITrack::GetEvent(size_t index) { return index < events.size() ? &events[index] : nullptr; }

void MIDITrack::SortEvents() {
    std::sort(events.begin(), events.end(), [](const MIDIEvent& a, const MIDIEvent& b) { return a.Tick < b.Tick; });
}

void MIDITrack::KeepChannelNotes(uint8_t channel) {
    std::erase_if(events, [channel](const MIDIEvent& e) {
        uint8_t kind = e.Status & 0xF0;
        return (kind == 0x80 || kind == 0x90) && (e.Status & 0x0F) != channel && e.Tick != 0;
    });
}

MIDIData::MIDIData(int trackCount, uint16_t division) : Division(division) {
    for (int i = 0; i < trackCount; ++i) Tracks.push_back(std::make_unique<MIDITrack>(32));
    TempoMap.reserve(1);
    TimeSignatures.reserve(1);
    KeySignatures.reserve(1);
}

MIDIData::~MIDIData() {
    if (CurrentSong == this) CurrentSong = nullptr;
}

MIDIData::MIDIData(const MIDIData& other) : Persist() { *this = other; }

MIDIData& MIDIData::operator=(const MIDIData& other) {
    if (this == &other) return *this;
    Division = other.Division;
    TempoMap = other.TempoMap;
    TimeSignatures = other.TimeSignatures;
    KeySignatures = other.KeySignatures;
    Tracks.clear();
    for (const auto& t : other.Tracks) AddTrack(*t);
    return *this;
}

void MIDIData::Clear() {
    TempoMap.clear();
    TimeSignatures.clear();
    KeySignatures.clear();
    Tracks.clear();
}

bool MIDIData::Read(TStream* stream) {
    if (!stream) return false;
    CurrentSong = this;
    Clear();
    uint8_t id[4];
    uint32_t length, format, count, division;
    if (!ReadBytes(stream, id, 4) || std::string(reinterpret_cast<char*>(id), 4) != "MThd") return false;
    if (!ReadBE(stream, 4, length) || length != 6) return false;
    if (!ReadBE(stream, 2, format) || !ReadBE(stream, 2, count) || !ReadBE(stream, 2, division)) return false;
    (void)format;
    Division = static_cast<uint16_t>(division);
    for (uint32_t i = 0; i < count; ++i) Tracks.push_back(std::make_unique<MIDITrack>(32));
    for (auto& t : Tracks)
        if (!t->Read(stream)) return false;
    return true;
}

bool MIDIData::LoadFromFile(const AnsiString& fileName) {
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    return Read(&stream);
}

MIDIEvent* MIDIData::GetLastEvent() {
    MIDIEvent* last = nullptr;
    for (auto& t : Tracks) {
        if (t->events.empty()) continue;
        MIDIEvent* e = &t->events.back();
        if (e->Tick > 0 && (!last || e->Tick > last->Tick)) last = e;
    }
    return last;
}

void MIDIData::KeepChannelNotes(uint8_t channel) {
    for (auto& t : Tracks) t->KeepChannelNotes(channel);
}

TempoEvent* MIDIData::NextTempoEvent(const TempoEvent* event) { return NextOf(TempoMap, event); }
TimeSigEvent* MIDIData::NextTimeSigEvent(const TimeSigEvent* event) { return NextOf(TimeSignatures, event); }
MIDITrack* MIDIData::FirstTrack() { return Tracks.empty() ? nullptr : Tracks.front().get(); }
MIDITrack* MIDIData::GetTrack(size_t index) { return index < Tracks.size() ? Tracks[index].get() : nullptr; }

void MIDIData::AddTrack(const MIDITrack& source, uint16_t) {
    auto t = std::make_unique<MIDITrack>(0);
    t->events = source.events;
    Tracks.push_back(std::move(t));
}

bool MIDIData::AddTempoEvent(uint32_t tick, const uint8_t* data, uint32_t length) {
    if (length != 3 || !data) return false;
    TempoMap.push_back({tick, static_cast<uint32_t>(data[0]) << 16 | static_cast<uint32_t>(data[1]) << 8 | data[2]});
    return true;
}

bool MIDIData::AddTimeSigEvent(uint32_t tick, const uint8_t* data, uint32_t length) {
    if (length != 4 || !data) return false;
    TimeSignatures.push_back({tick, data[0], data[1], data[2], data[3]});
    return true;
}

bool MIDIData::AddKeySigEvent(uint32_t tick, const uint8_t* data, uint32_t length) {
    if (length != 2 || !data) return false;
    KeySignatures.push_back({tick, static_cast<int8_t>(data[0]), data[1]});
    return true;
}
