// The time-signature parser reads texts typed by the user, stored in settings files and made from
// MIDI files. Whatever it accepts must be a usable bar.
#include <cstdlib>
#include <string>

#include "Tmetronomgame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const AnsiString text(std::string(reinterpret_cast<const char*>(data), size));
    int numerator = 0, denominator = 0;
    std::vector<uint8_t> pattern;
    if (!TMetronomeGame::ParseTimeSignature(text, numerator, denominator, pattern)) return 0;
    if (numerator < 1 || numerator > 64 || denominator == 0) std::abort();
    if (pattern.size() != static_cast<size_t>(numerator) || pattern[0] != 0) std::abort();
    for (uint8_t kind : pattern)
        if (kind > 2) std::abort();
    return 0;
}
