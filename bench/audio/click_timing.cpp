// Plays a click song through the program's player, the real multimedia timer and the built-in
// synthesizer into the WAV sink, then finds every click in the WAV and reports its timing:
//   click_timing --bpm 130 --seconds 600 --out clicks.wav
// With --device the clicks play through SDL's default device instead (record them there and
// measure the recording with click_recording); it reports the device's clock against the system's.
// --settle is the time the stream runs before Play (default 0.3 s, 2 s with --device).
#include <cmath>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "AudioStream.h"
#include "ClickAnalysis.h"
#include "Clock.h"
#include "DeviceRun.h"
#include "Tmidicontent.h"
#include "wave_mode.h"

int main(int argc, char** argv) {
    int bpm = 130;
    double seconds = 60, settle = -1;
    bool device = false;
    std::string out = "click_timing.wav";
    std::string wave;
    for (int i = 1; i < argc; ++i) {
        auto next = [&] { return i + 1 < argc ? argv[++i] : ""; };
        if (!std::strcmp(argv[i], "--bpm"))
            bpm = std::atoi(next());
        else if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(next());
        else if (!std::strcmp(argv[i], "--out"))
            out = next();
        else if (!std::strcmp(argv[i], "--wave"))
            wave = next();
        else if (!std::strcmp(argv[i], "--settle"))
            settle = std::atof(next());
        else if (!std::strcmp(argv[i], "--device"))
            device = true;
    }
    if (bpm < 1 || seconds <= 0 || (!device && out.empty())) {
        std::fprintf(stderr,
                     "usage: click_timing [--bpm N] [--seconds S] [--out file.wav | --device] [--settle S] [--wave "
                     "click.wav]\n");
        return 2;
    }
    tikora::bench::ExecWithSoundEnvironment(device, out, argv);
    if (settle < 0) settle = device ? 2.0 : 0.3;
    if (device && tikora::audio::UsingNullSink()) {
        std::fprintf(stderr, "click_timing: no sound device opened\n");
        return 1;
    }
    if (!wave.empty()) return RunWaveClicks(bpm, seconds, settle, device ? "" : out, wave);

    const uint32_t ppq = 120;
    const int beats = static_cast<int>(seconds * bpm / 60.0);
    MIDIData song(1, ppq);
    MIDITrack* track = song.FirstTrack();
    uint32_t t = 0;
    for (int b = 0; b < beats; ++b, t += ppq) {
        if (b % 4 == 0) song.TempoMap.push_back({t, static_cast<uint32_t>(60000000 / bpm)});
        track->events.push_back({t, 0x99, 76, 127});
    }
    track->events.push_back({t - 1, 0x89, 76, 0});
    track->events.push_back({t, 0x89, 76, 0});

    // Let the stream settle before the first click.
    std::this_thread::sleep_for(std::chrono::duration<double>(settle));
    tikora::bench::SinkClock sinkClock;
    sinkClock.Start();
    const double playUnix = tikora::bench::UnixSeconds();
    int64_t playNs = tikora::MonotonicNowNs();
    int64_t cpu0 = tikora::audio::AudioCallbackCpuNs();
    int64_t startFrame = tikora::audio::FrameForTime(playNs);
    if (!player.Play(&song, 0, false)) {
        std::fprintf(stderr, "click_timing: Play failed\n");
        return 1;
    }
    while (player.Clock.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int64_t playedNs = tikora::MonotonicNowNs() - playNs;
    double cpuPercent =
        100.0 * static_cast<double>(tikora::audio::AudioCallbackCpuNs() - cpu0) / static_cast<double>(playedNs);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the last click's latency and tail
    const double sinkPpm = sinkClock.StopPpm();
    tikora::audio::Shutdown();
    if (device) {
        // The last click is due one period before the song's end.
        std::printf(
            "device clicks=%d sink_clock_ppm=%.2f audio_cpu_percent=%.3f reopened=%d play_unix=%.3f "
            "last_click_unix=%.3f reopen_unix=%.3f\n",
            beats, sinkPpm, cpuPercent, tikora::audio::DeviceReopenCount(), playUnix,
            playUnix + (beats - 1) * 60.0 / bpm, sinkClock.ReopenUnix());
        return 0;
    }

    std::vector<float> samples;
    int rate = 0;
    if (!tikora::bench::ReadWavMono(out, samples, rate)) {
        std::fprintf(stderr, "click_timing: cannot read %s\n", out.c_str());
        return 1;
    }
    double periodMs = 60000.0 / bpm;
    // Where the play call's moment sounds, less the output latency: first_ms counts from the click
    // of the button, latency included.
    double start = static_cast<double>(startFrame) - tikora::audio::OutputLatencyNs() * 1e-9 * rate;
    auto onsets = tikora::bench::DetectOnsets(samples, rate, static_cast<int64_t>(periodMs * 0.5e-3 * rate));
    tikora::bench::ClickReport r =
        tikora::bench::AnalyseClicks(onsets, rate, start, periodMs, std::floor(periodMs / ppq));
    std::printf("%s\n", tikora::bench::FormatReport(r).c_str());
    std::fprintf(stderr, "bpm=%d seconds=%.0f expected_clicks=%d audio_cpu_percent=%.3f\n", bpm, seconds, beats,
                 cpuPercent);
    return r.clicks == beats ? 0 : 1;
}
