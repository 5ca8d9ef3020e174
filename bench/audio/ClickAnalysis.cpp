#include "ClickAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace tikora::bench {

namespace {
uint32_t Le(const std::vector<uint8_t>& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}
}  // namespace

bool ReadWavMono(const std::string& path, std::vector<float>& samples, int& rate) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || Le(b, 0, 4) != 0x46464952u || Le(b, 8, 4) != 0x45564157u) return false;
    int channels = 0, bits = 0;
    size_t pos = 12;
    while (pos + 8 <= b.size()) {
        uint32_t id = Le(b, pos, 4);
        size_t len = Le(b, pos + 4, 4);
        size_t body = pos + 8;
        if (id == 0x20746D66u && body + 16 <= b.size()) {  // "fmt "
            channels = static_cast<int>(Le(b, body + 2, 2));
            rate = static_cast<int>(Le(b, body + 4, 4));
            bits = static_cast<int>(Le(b, body + 14, 2));
        } else if (id == 0x61746164u) {  // "data"
            if (bits != 16 || channels < 1) return false;
            len = std::min(len, b.size() - body);
            size_t frames = len / (2 * static_cast<size_t>(channels));
            samples.resize(frames);
            for (size_t f = 0; f < frames; ++f) {
                float sum = 0;
                for (int c = 0; c < channels; ++c)
                    sum += static_cast<int16_t>(Le(b, body + (f * channels + c) * 2, 2)) / 32768.0f;
                samples[f] = sum / channels;
            }
            return true;
        }
        pos = body + len + (len & 1);
    }
    return false;
}

std::vector<int64_t> DetectOnsets(const std::vector<float>& samples, int rate, int64_t minGapSamples) {
    float peak = 0;
    for (float s : samples) peak = std::max(peak, std::fabs(s));
    std::vector<int64_t> onsets;
    if (peak <= 0) return onsets;
    const float threshold = peak / 4;
    const int64_t quiet = rate / 500;
    int64_t lastAbove = -quiet - 1;
    for (int64_t i = 0; i < static_cast<int64_t>(samples.size()); ++i) {
        if (std::fabs(samples[static_cast<size_t>(i)]) <= threshold) continue;
        bool wasQuiet = i - lastAbove > quiet;
        bool farEnough = onsets.empty() || i - onsets.back() >= minGapSamples;
        if (wasQuiet && farEnough) onsets.push_back(i);
        lastAbove = i;
    }
    return onsets;
}

ClickReport AnalyseClicks(const std::vector<int64_t>& onsets, int rate, double startSample, double periodMs,
                          double firstDelayMs) {
    ClickReport r;
    r.clicks = static_cast<int>(onsets.size());
    if (onsets.empty()) return r;
    std::vector<double> err;
    for (size_t k = 0; k < onsets.size(); ++k)
        err.push_back((onsets[k] - startSample) * 1000.0 / rate - static_cast<double>(k) * periodMs -
                      (k == 0 ? firstDelayMs : 0.0));
    r.firstMs = err.front();
    // The first click waits for the sequencer's first tick on the millisecond timer; when that
    // delay is in play the grid is measured on the clicks after it.
    const size_t from = firstDelayMs > 0 && err.size() > 2 ? 1 : 0;
    const double n = static_cast<double>(err.size() - from);
    double mean = 0;
    for (size_t k = from; k < err.size(); ++k) mean += err[k];
    mean /= n;
    double var = 0;
    for (size_t k = from; k < err.size(); ++k) {
        var += (err[k] - mean) * (err[k] - mean);
        r.maxAbsErrMs = std::max(r.maxAbsErrMs, std::fabs(err[k] - mean));
    }
    r.sdMs = std::sqrt(var / n);
    r.meanErrMs = mean - err[from];
    r.driftMs = err.back() - err[from];
    return r;
}

std::string FormatReport(const ClickReport& r) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "clicks=%d first_ms=%.2f mean_err_ms=%.3f sd_ms=%.3f max_abs_err_ms=%.3f drift_ms=%.3f", r.clicks,
                  r.firstMs, r.meanErrMs, r.sdMs, r.maxAbsErrMs, r.driftMs);
    return line;
}

}  // namespace tikora::bench
