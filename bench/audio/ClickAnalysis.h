#pragma once
// Finds click onsets in recorded audio and measures them against the ideal beat grid. Shared by
// the click-timing measurements (MIDI clicks and wave clicks).
#include <cstdint>
#include <string>
#include <vector>

namespace tikora::bench {

// A 16-bit PCM WAV file mixed down to mono floats. False when it cannot be read.
bool ReadWavMono(const std::string& path, std::vector<float>& samples, int& rate);

// Onsets (sample indexes) of clicks at least `minGapSamples` apart: the first sample above a
// quarter of the loudest peak after at least 2 ms below that level.
std::vector<int64_t> DetectOnsets(const std::vector<float>& samples, int rate, int64_t minGapSamples);

struct ClickReport {
    int clicks = 0;
    double firstMs = 0;      // first onset after the start
    double meanErrMs = 0;    // mean error against the grid anchored at the first measured click
    double sdMs = 0;         // standard deviation of the errors
    double maxAbsErrMs = 0;  // largest error once the constant offset (the mean) is removed
    double driftMs = 0;      // error of the last click minus that of the first measured one
};

// `startSample` is where the song's time 0 sounds; `periodMs` the ideal distance between clicks.
// The first click is ideally `firstDelayMs` late: the sequencer sends the events of its start
// tick one tick after starting. With such a delay the mean, spread, largest error and drift are
// measured from the second click on.
ClickReport AnalyseClicks(const std::vector<int64_t>& onsets, int rate, double startSample, double periodMs,
                          double firstDelayMs = 0);
std::string FormatReport(const ClickReport& r);

}  // namespace tikora::bench
