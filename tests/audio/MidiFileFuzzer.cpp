#include <cstddef>
#include <cstdint>

#include "Classes.h"
#include "MIDIData.h"
#include "Player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream stream;
    if (size > 0) stream.Write(data, static_cast<int>(size));
    stream.SetPosition(0);
    MIDIData song;
    song.Read(&stream);
    song.GetLastEvent();
    MIDIData copy;
    copy = song;
    copy.KeepChannelNotes(9);
    for (auto& t : copy.Tracks) t->SortEvents();
    // What the Player would flatten: every stored event packs without trouble.
    uint32_t sum = 0;
    for (auto& t : copy.Tracks)
        for (const MIDIEvent& e : t->events) sum += Player::PackEvent(e);
    return sum == 0xFFFFFFFFu ? 0 : 0;
}
