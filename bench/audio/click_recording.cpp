// Records a sound server's sink and measures the clicks in the recording. With --capture it
// reads raw 16-bit stereo at 48 kHz from its input (parec --raw), writes it as a WAV file, and
// measures the sink's sample clock against the monotonic clock from the time each piece arrives
// (a line through minutes of arrivals) and the longest wait between two pieces, written to
// out.wav.clock:
//   parec --raw ... | click_recording --capture out.wav
// Otherwise it measures the clicks in a recording of the device (the monitor of a sound server's sink, see
// scripts/private-pulse), in the recording's own samples:
//   click_recording rec.wav --bpm 130
// prints the number of clicks, their spread around the best straight grid (sd, max), the tempo
// against nominal in ppm (positive: faster) and the drift against the nominal grid.
//   click_recording rec.wav --bpm 240 --expect 20 --within-ms 20     (or --at-least 20)
// checks instead: exactly (at least) that many clicks, no two closer than three quarters of a
// beat, each within the bound of the nominal grid. Exit 0 when all hold.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ClickAnalysis.h"

namespace {

std::vector<int64_t> Onsets(const std::string& path, double periodMs, int& rate) {
    std::vector<float> samples;
    if (!tikora::bench::ReadWavMono(path, samples, rate)) {
        std::fprintf(stderr, "click_recording: cannot read %s\n", path.c_str());
        std::exit(2);
    }
    return tikora::bench::DetectOnsets(samples, rate, static_cast<int64_t>(periodMs * 0.5e-3 * rate));
}

void PutLe(std::FILE* f, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
}

int Capture(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 2;
    auto header = [&](uint32_t dataBytes) {
        std::fseek(f, 0, SEEK_SET);
        std::fputs("RIFF", f);
        PutLe(f, 36 + dataBytes, 4);
        std::fputs("WAVEfmt ", f);
        const std::pair<uint32_t, int> fmt[] = {{16, 4}, {1, 2}, {2, 2}, {48000, 4}, {192000, 4}, {4, 2}, {16, 2}};
        for (auto [v, size] : fmt) PutLe(f, v, size);
        std::fputs("data", f);
        PutLe(f, dataBytes, 4);
        std::fseek(f, 0, SEEK_END);
    };
    header(0);
    std::vector<char> buf(4096);
    uint64_t bytes = 0;
    std::vector<std::pair<double, double>> arrivals;  // seconds, frames received by then
    const auto t0 = std::chrono::steady_clock::now();
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), stdin)) > 0) {
        std::fwrite(buf.data(), 1, n, f);
        bytes += n;
        arrivals.push_back({std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), bytes / 4.0});
    }
    header(static_cast<uint32_t>(bytes));
    std::fclose(f);
    // A new sink hands over its first seconds at once; the clock is measured after them.
    // The longest wait between two pieces tells a sink (or recorder) starved of CPU.
    double st = 0, sf = 0, stt = 0, stf = 0, m = 0, gap = 0;
    for (size_t i = 0; i < arrivals.size(); ++i) {
        if (arrivals[i].first < 3.0) continue;
        st += arrivals[i].first, sf += arrivals[i].second, ++m;
        if (i > 0) gap = std::max(gap, arrivals[i].first - arrivals[i - 1].first);
    }
    if (m < 100) return 0;
    for (auto [t, fr] : arrivals)
        if (t >= 3.0) stt += (t - st / m) * (t - st / m), stf += (t - st / m) * (fr - sf / m);
    if (std::FILE* c = std::fopen((path + ".clock").c_str(), "w")) {
        std::fprintf(c, "sink_clock_ppm=%.2f over_s=%.0f max_gap_ms=%.0f\n", (stf / stt / 48000.0 - 1.0) * 1e6,
                     arrivals.back().first - 3.0, gap * 1000.0);
        std::fclose(c);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && !std::strcmp(argv[1], "--capture")) return Capture(argv[2]);
    if (argc < 2) {
        std::fprintf(stderr, "usage: click_recording rec.wav --bpm N [--expect N | --at-least N] [--within-ms M]\n");
        return 2;
    }
    double bpm = 130, withinMs = 20;
    int expect = -1;
    bool atLeast = false;
    for (int i = 2; i < argc; ++i) {
        auto next = [&] { return i + 1 < argc ? argv[++i] : ""; };
        if (!std::strcmp(argv[i], "--bpm"))
            bpm = std::atof(next());
        else if (!std::strcmp(argv[i], "--expect"))
            expect = std::atoi(next());
        else if (!std::strcmp(argv[i], "--within-ms"))
            withinMs = std::atof(next());
        else if (!std::strcmp(argv[i], "--at-least")) {
            expect = std::atoi(next());
            atLeast = true;
        }
    }
    const double periodMs = 60000.0 / bpm;
    int rate = 0;
    const std::vector<int64_t> on = Onsets(argv[1], periodMs, rate);
    const size_t n = on.size();
    if (n < 3) {
        std::printf("clicks=%zu\n", n);
        return 1;
    }
    // Least-squares line through (beat, onset): the recording's own beat period and phase. The
    // sequencer sends the events of its start tick one tick after starting, so the first click is
    // a few milliseconds late by design: the line and its spread are those of the clicks after it.
    const size_t from = 1;
    double sk = 0, so = 0, skk = 0, sko = 0;
    for (size_t k = from; k < n; ++k) {
        sk += static_cast<double>(k);
        so += static_cast<double>(on[k]);
    }
    const double m = static_cast<double>(n - from);
    const double mk = sk / m, mo = so / m;
    for (size_t k = from; k < n; ++k) {
        skk += (k - mk) * (k - mk);
        sko += (k - mk) * (on[k] - mo);
    }
    const double slope = sko / skk;  // samples per beat
    double var = 0, worst = 0, nominalWorst = 0, nominalMean = 0;
    const double nominal = periodMs * 1e-3 * rate;
    for (size_t k = 0; k < n; ++k) nominalMean += on[k] - on[0] - k * nominal;
    nominalMean /= static_cast<double>(n);
    size_t merged = 0;
    for (size_t k = 0; k < n; ++k) {
        const double r = on[k] - (mo + (k - mk) * slope);
        if (k >= from) {
            var += r * r;
            worst = std::max(worst, std::fabs(r));
        }
        nominalWorst = std::max(nominalWorst, std::fabs(on[k] - on[0] - k * nominal - nominalMean));
        if (k > 0 && on[k] - on[k - 1] < 0.75 * nominal) ++merged;
    }
    const double toMs = 1000.0 / rate;
    std::printf(
        "clicks=%zu sd_ms=%.3f max_ms=%.3f tempo_ppm=%.2f drift_ms=%.3f first_late_ms=%.3f grid_max_ms=%.3f "
        "close_pairs=%zu\n",
        n, std::sqrt(var / m) * toMs, worst * toMs, (nominal / slope - 1.0) * 1e6,
        (static_cast<double>(on[n - 1] - on[1]) - (n - 2) * nominal) * toMs, (on[0] - (mo - mk * slope)) * toMs,
        nominalWorst * toMs, merged);
    // The clicks are timed on the system's clock: in the sink's samples their tempo is off by the
    // sink's own rate, and by nothing else.
    if (std::FILE* c = std::fopen((std::string(argv[1]) + ".clock").c_str(), "r")) {
        double sinkPpm = 0, overS = 0, gapMs = 0;
        if (std::fscanf(c, "sink_clock_ppm=%lf over_s=%lf max_gap_ms=%lf", &sinkPpm, &overS, &gapMs) >= 2)
            std::printf("sink_clock_ppm=%.2f (over %.0f s) max_gap_ms=%.0f tempo_less_sink_clock_ppm=%.2f\n", sinkPpm,
                        overS, gapMs, (nominal / slope - 1.0) * 1e6 + sinkPpm);
        std::fclose(c);
    }
    if (expect < 0) return 0;
    const bool count = atLeast ? static_cast<int>(n) >= expect : static_cast<int>(n) == expect;
    const bool ok = count && merged == 0 && nominalWorst * toMs <= withinMs;
    return ok ? 0 : 1;
}
