// Plays the engine's own click track (4:4, the default preset's MIDI sounds) through the
// program-wide player, the real multimedia timer and the built-in synthesizer into the WAV sink,
// with the player's notifications handled on this thread as the main window handles them (restart
// at the end message, beat markers to OnBeat, which rebuilds after a tempo change). Then it finds
// every click in the WAV and reports its timing:
//   engine_click_timing --bpm 130 --seconds 600
//   engine_click_timing --bpm 120 --seconds 30 --change-at 10.2 --to 150   (tempo change)
//   engine_click_timing --ramp --seconds 60    (+5 bpm every 2 bars from 100)
//   engine_click_timing --bpm 130 --analyse f.wav   (the report of a recording made before)
// A steady tempo is measured against its nominal grid, with the mean offset of each 200-bar loop:
// a seam that moved the grid would show as a step between loops.
// With --device the clicks play through SDL's default device instead of the WAV sink (record them
// there and measure the recording with click_recording); it reports the device's clock against
// the system's. --settle is the time the stream runs before Play (default 0.3 s, 2 s with --device).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "AudioStream.h"
#include "ClickAnalysis.h"
#include "Clock.h"
#include "DeviceRun.h"
#include "Messages.h"
#include "Tmetronomgame.h"
#include "Tmidicontent.h"

namespace {

struct Options {
    int bpm = 130;
    double seconds = 60;
    double changeAt = -1;
    int changeTo = 0;
    bool ramp = false;
    bool device = false;
    double settle = -1;
    std::string out = "engine_click_timing.wav";
    std::string analyse;
};

// The line of the shared report for the clicks [from, to) against a grid of `periodMs`.
tikora::bench::ClickReport Analyse(const std::vector<int64_t>& onsets, size_t from, size_t to, int rate,
                                   double periodMs) {
    std::vector<int64_t> part(onsets.begin() + static_cast<std::ptrdiff_t>(from),
                              onsets.begin() + static_cast<std::ptrdiff_t>(to));
    return tikora::bench::AnalyseClicks(part, rate, part.empty() ? 0.0 : static_cast<double>(part[0]), periodMs);
}

// A steady tempo: against the nominal beat, and loop by loop (the mean offset of each 200-bar
// loop from the first: a seam that moved the grid shows as a step). The line against the tempo
// map's whole microseconds per beat tells a drift of the speed from one of the seams.
int ReportSteady(const std::vector<int64_t>& onsets, int rate, int bpm) {
    const double beatMs = 60000.0 / bpm;
    tikora::bench::ClickReport r = Analyse(onsets, 0, onsets.size(), rate, beatMs);
    std::printf("nominal %.4f ms: %s\n", beatMs, tikora::bench::FormatReport(r).c_str());
    std::printf(
        "whole-us %.3f ms: %s\n", (60000000 / bpm) / 1000.0,
        tikora::bench::FormatReport(Analyse(onsets, 0, onsets.size(), rate, (60000000 / bpm) / 1000.0)).c_str());
    constexpr size_t kLoop = 800;  // 200 bars of 4:4
    std::printf("loop offsets ms:");
    double first = 0, worst = 0;
    for (size_t from = 0; from < onsets.size(); from += kLoop) {
        const size_t to = std::min(onsets.size(), from + kLoop);
        double mean = 0;
        for (size_t k = from; k < to; ++k)
            mean += (onsets[k] - onsets[0]) * 1000.0 / rate - static_cast<double>(k) * beatMs;
        mean /= static_cast<double>(to - from);
        if (from == 0) first = mean;
        worst = std::max(worst, std::fabs(mean - first));
        std::printf(" %+.3f", mean - first);
    }
    std::printf("  (largest %.3f)\n", worst);
    return (r.maxAbsErrMs <= 2.5 && std::fabs(r.driftMs) <= 1.0) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        auto next = [&] { return i + 1 < argc ? argv[++i] : ""; };
        if (!std::strcmp(argv[i], "--bpm"))
            o.bpm = std::atoi(next());
        else if (!std::strcmp(argv[i], "--seconds"))
            o.seconds = std::atof(next());
        else if (!std::strcmp(argv[i], "--change-at"))
            o.changeAt = std::atof(next());
        else if (!std::strcmp(argv[i], "--to"))
            o.changeTo = std::atoi(next());
        else if (!std::strcmp(argv[i], "--ramp"))
            o.ramp = true;
        else if (!std::strcmp(argv[i], "--out"))
            o.out = next();
        else if (!std::strcmp(argv[i], "--device"))
            o.device = true;
        else if (!std::strcmp(argv[i], "--settle"))
            o.settle = std::atof(next());
        else if (!std::strcmp(argv[i], "--analyse"))
            o.analyse = next();
    }
    if (o.ramp) o.bpm = 100;
    if (o.bpm < 40 || o.bpm > 500 || o.seconds <= 0 || (!o.device && o.out.empty())) {
        std::fprintf(stderr,
                     "usage: engine_click_timing [--bpm N] [--seconds S] [--change-at S --to N] [--ramp] [--out f.wav "
                     "| --device] [--settle S] [--analyse f.wav]\n");
        return 2;
    }
    if (!o.analyse.empty()) {
        std::vector<float> samples;
        int rate = 0;
        if (!tikora::bench::ReadWavMono(o.analyse, samples, rate)) return 1;
        auto onsets = tikora::bench::DetectOnsets(samples, rate, static_cast<int64_t>(30000.0 / o.bpm * 1e-3 * rate));
        return ReportSteady(onsets, rate, o.bpm);
    }
    tikora::bench::ExecWithSoundEnvironment(o.device, o.out, argv);
    if (o.settle < 0) o.settle = o.device ? 2.0 : 0.3;
    if (o.device && tikora::audio::UsingNullSink()) {
        std::fprintf(stderr, "engine_click_timing: no sound device opened\n");
        return 1;
    }
    if (!o.device) o.out = std::filesystem::absolute(o.out).string();

    // The engine reads its definitions from the working directory; a scratch folder keeps the
    // program folder's settings untouched.
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("engine_click_timing." + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::copy_file(fs::path(TIKORA_SOURCE_DIR) / "data/defs/Tikora.def", dir / "Tikora.def",
                  fs::copy_options::overwrite_existing);
    fs::current_path(dir);

    TMetronomeGame engine;
    engine.SetTempo(o.bpm);
    engine.SetTimeSignature("4:4");
    if (o.ramp) {
        engine.Tool2Enabled = true;
        engine.Tool2BPMDelta = 5;
        engine.Tool2Bars = 2;
    }

    std::vector<int> beatTempo;  // tempo last announced by a tempo marker, at each beat marker
    int markerTempo = o.bpm;
    tikora::RecordingWindow window;
    window.OnMessage = [&](const tikora::PostedMessage& m) {
        if (m.message == 0x8065) {
            if (engine.State == psPlaying) engine.Restart();
            return;
        }
        DWORD msg = static_cast<DWORD>(m.lParam);
        if ((msg & 0xFF) != 0xB9) return;
        int c = (msg >> 8) & 0x7F, v = (msg >> 16) & 0x7F;
        if (c == PanMarker) player.SetPan(9, v - 64);
        if (c >= TempoMarker && c <= TempoMarker + 5) {
            markerTempo = (c - TempoMarker) * 100 + v;
            engine.SetPendulumTempo(markerTempo);
        }
        if (c == BeatMarker) {
            beatTempo.push_back(markerTempo);
            if (!engine.OnBeat(v)) player.Stop();
        }
    };
    player.SetEventNotify(window.Handle(), 0x8064);
    player.SetEndNotify(85, 127, window.Handle(), 0x8065);
    for (uint8_t ch = 0; ch < 10; ++ch) player.AddNotifyChannel(ch);

    std::this_thread::sleep_for(std::chrono::duration<double>(o.settle));  // let the stream settle
    tikora::bench::SinkClock sinkClock;
    sinkClock.Start();
    const int64_t playNs = tikora::MonotonicNowNs();
    engine.PrepareTools();
    engine.Play();
    bool changed = false;
    size_t changeBeat = 0;
    while (tikora::MonotonicNowNs() - playNs < static_cast<int64_t>(o.seconds * 1e9)) {
        tikora::WaitForPostedMessage(5'000'000);
        tikora::DispatchPostedMessages();
        if (!changed && o.changeAt >= 0 &&
            tikora::MonotonicNowNs() - playNs >= static_cast<int64_t>(o.changeAt * 1e9)) {
            changed = true;
            changeBeat = beatTempo.size();  // the next beat marker rebuilds
            engine.SetTempo(o.changeTo);
        }
    }
    player.Stop();
    engine.Stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the last click's latency and tail
    const double sinkPpm = sinkClock.StopPpm();
    tikora::audio::Shutdown();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
    if (o.device) {
        std::printf("device beat_markers=%zu sink_clock_ppm=%.2f reopened=%d\n", beatTempo.size(), sinkPpm,
                    tikora::audio::DeviceReopenCount());
        return 0;
    }

    std::vector<float> samples;
    int rate = 0;
    if (!tikora::bench::ReadWavMono(o.out, samples, rate)) {
        std::fprintf(stderr, "engine_click_timing: cannot read %s\n", o.out.c_str());
        return 1;
    }
    const double periodMs = 60000.0 / o.bpm;
    const double minPeriod = 60000.0 / std::max({o.bpm, o.changeTo, o.ramp ? 500 : 0});
    auto onsets = tikora::bench::DetectOnsets(samples, rate, static_cast<int64_t>(minPeriod * 0.5e-3 * rate));
    const size_t beats = std::min(onsets.size(), beatTempo.size());
    int status = 0;

    if (o.ramp) {
        // Each interval against the ramp's tempo for the bar of the beat that starts it (the tempo
        // marker of a bar and its first beat marker share a tick, so their order is not known).
        auto rampTempo = [](size_t beat) { return std::min(500, 100 + static_cast<int>(beat / 4 / 2) * 5); };
        double worst = 0;
        for (size_t i = 0; i + 1 < beats; ++i) {
            double ms = (onsets[i + 1] - onsets[i]) * 1000.0 / rate;
            worst = std::max(worst, std::fabs(ms - 60000.0 / rampTempo(i)));
        }
        // And every onset against the ramp's ideal timeline, less the mean offset: the interval
        // error adds the jitter of two onsets.
        std::vector<double> err;
        double ideal = 0, mean = 0;
        for (size_t i = 0; i < beats; ++i) {
            err.push_back((onsets[i] - onsets[0]) * 1000.0 / rate - ideal);
            mean += err.back();
            ideal += 60000.0 / rampTempo(i);
        }
        mean /= static_cast<double>(beats);
        double timeline = 0;
        for (double e : err) timeline = std::max(timeline, std::fabs(e - mean));
        std::printf("clicks=%zu ramp_from=%d ramp_to=%d max_interval_err_ms=%.3f max_abs_err_ms=%.3f drift_ms=%.3f\n",
                    onsets.size(), rampTempo(0), rampTempo(beats - 1), worst, timeline, err.back() - err.front());
        status = worst <= 1.0 ? 0 : 1;
    } else if (changed) {
        tikora::bench::ClickReport before = Analyse(onsets, 0, changeBeat, rate, periodMs);
        tikora::bench::ClickReport after = Analyse(onsets, changeBeat + 1, beats, rate, 60000.0 / o.changeTo);
        double changedInterval = (onsets[changeBeat + 1] - onsets[changeBeat]) * 1000.0 / rate;
        std::printf("before: %s\n", tikora::bench::FormatReport(before).c_str());
        std::printf("after:  %s\n", tikora::bench::FormatReport(after).c_str());
        std::printf("changed_beat_interval_ms=%.3f new_period_ms=%.3f\n", changedInterval, 60000.0 / o.changeTo);
        status = (after.maxAbsErrMs <= 2.5 && before.maxAbsErrMs <= 2.5) ? 0 : 1;
    } else {
        status = ReportSteady(onsets, rate, o.bpm);
    }
    std::fprintf(stderr, "bpm=%d seconds=%.0f beat_markers=%zu onsets=%zu\n", o.bpm, o.seconds, beatTempo.size(),
                 onsets.size());
    return status;
}
