// Wave clicks: a click song of marker controllers (99 on channel 10, as the click track writes
// for a wave sound) plays through the program's player on the real timer; a thread standing in for
// the UI thread handles the posted markers after a random busy delay of 0..15 ms and plays the
// wave with DSPlay. Every onset in the WAV is compared with the ideal grid and with its marker's
// send time plus the output latency, where the stand-in places it whatever the handler's delay.
#include "wave_mode.h"

#include <algorithm>
#include <cmath>
#include <cinttypes>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "AudioStream.h"
#include "ClickAnalysis.h"
#include "Clock.h"
#include "DeviceRun.h"
#include "Dsoundplay.h"
#include "Exception.h"
#include "Messages.h"
#include "Tmidicontent.h"

namespace {

constexpr UINT kEventMessage = 0x8064;

class MarkerWindow : public tikora::MessageTarget {
public:
    explicit MarkerWindow(DSPlay& dsp) : dsp_(dsp), hwnd_(tikora::RegisterWindow(this)) {}
    ~MarkerWindow() override { tikora::UnregisterWindow(hwnd_); }
    HWND Handle() const { return hwnd_; }

    void HandlePostedMessage(const tikora::PostedMessage& m) override {
        const DWORD msg = static_cast<DWORD>(m.lParam);
        if (m.message != kEventMessage || (msg & 0xFF) != 0xB9 || ((msg >> 8) & 0xFF) != 99) return;
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(delay_(rng_));
        while (std::chrono::steady_clock::now() < until) {
        }
        {
            std::lock_guard lock(mutex_);
            expected_.push_back(tikora::audio::FrameForTime(m.postTimeNs));
        }
        dsp_.Play("click");
        dsp_.SetVolume("click", 0);
        dsp_.SetPan("click", 0);
    }

    std::vector<int64_t> Expected() {
        std::lock_guard lock(mutex_);
        return expected_;
    }

private:
    DSPlay& dsp_;
    HWND hwnd_;
    std::mt19937 rng_{12345};
    std::uniform_int_distribution<int> delay_{0, 15000};
    std::mutex mutex_;
    std::vector<int64_t> expected_;
};

}  // namespace

int RunWaveClicks(int bpm, double seconds, double settleSeconds, const std::string& outWav,
                  const std::string& waveFile) {
    const uint32_t ppq = 120;
    const int beats = static_cast<int>(seconds * bpm / 60.0);
    MIDIData song(1, ppq);
    MIDITrack* track = song.FirstTrack();
    uint32_t t = 0;
    for (int b = 0; b < beats; ++b, t += ppq) {
        if (b % 4 == 0) song.TempoMap.push_back({t, static_cast<uint32_t>(60000000 / bpm)});
        track->events.push_back({t, 0xB9, 99, 0});
    }
    track->events.push_back({t, 0xB9, 98, 0});

    std::atomic<bool> ready{false}, done{false}, failed{false};
    std::unique_ptr<MarkerWindow> window;
    std::thread ui([&] {
        std::unique_ptr<DSPlay> dsp;
        try {
            dsp = std::make_unique<DSPlay>(reinterpret_cast<HWND>(1));
            dsp->LoadSound(waveFile.c_str(), "click", true);
        } catch (const Exception& e) {
            std::fprintf(stderr, "click_timing: %s\n", e.Message.c_str());
            failed = true;
            ready = true;
            return;
        }
        window = std::make_unique<MarkerWindow>(*dsp);
        ready = true;
        while (!done) {
            tikora::WaitForPostedMessage(20'000'000);
            tikora::DispatchPostedMessages();
        }
        window.reset();
    });
    while (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (failed) {
        ui.join();
        return 1;
    }
    player.SetEventNotify(window->Handle(), kEventMessage);
    player.AddNotifyChannel(9);

    std::this_thread::sleep_for(std::chrono::duration<double>(settleSeconds));
    tikora::bench::SinkClock sinkClock;
    sinkClock.Start();
    const int64_t playNs = tikora::MonotonicNowNs();
    const int64_t startFrame = tikora::audio::FrameForTime(playNs);
    if (!player.Play(&song, 0, false)) {
        std::fprintf(stderr, "click_timing: Play failed\n");
        done = true;
        ui.join();
        return 1;
    }
    while (player.Clock.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    std::vector<int64_t> expected = window->Expected();
    done = true;
    ui.join();
    const double sinkPpm = sinkClock.StopPpm();
    tikora::audio::Shutdown();
    if (outWav.empty()) {
        std::printf("device wave_clicks=%d markers_handled=%zu sink_clock_ppm=%.2f reopened=%d\n", beats,
                    expected.size(), sinkPpm, tikora::audio::DeviceReopenCount());
        return expected.size() == static_cast<size_t>(beats) ? 0 : 1;
    }

    std::vector<float> samples;
    int rate = 0;
    if (!tikora::bench::ReadWavMono(outWav, samples, rate)) {
        std::fprintf(stderr, "click_timing: cannot read %s\n", outWav.c_str());
        return 1;
    }
    const double periodMs = 60000.0 / bpm;
    const double start = static_cast<double>(startFrame) - tikora::audio::OutputLatencyNs() * 1e-9 * rate;
    auto onsets = tikora::bench::DetectOnsets(samples, rate, static_cast<int64_t>(periodMs * 0.5e-3 * rate));
    // The sequencer sends the events of its start tick one tick (in whole milliseconds) after starting.
    tikora::bench::ClickReport r =
        tikora::bench::AnalyseClicks(onsets, rate, start, periodMs, std::floor(periodMs / ppq));
    int64_t worst = -1;
    if (onsets.size() == expected.size()) {
        worst = 0;
        for (size_t k = 0; k < onsets.size(); ++k)
            worst =
                std::max<int64_t>(worst, onsets[k] > expected[k] ? onsets[k] - expected[k] : expected[k] - onsets[k]);
    }
    std::printf("%s wave_max_dist_samples=%" PRId64 " wave_max_dist_ms=%.3f\n", tikora::bench::FormatReport(r).c_str(),
                worst, worst < 0 ? -1.0 : static_cast<double>(worst) * 1000.0 / rate);
    std::fflush(stdout);
    std::fprintf(stderr, "bpm=%d seconds=%.0f expected_clicks=%d markers_handled=%zu\n", bpm, seconds, beats,
                 expected.size());
    return r.clicks == beats && worst >= 0 && worst <= 2 ? 0 : 1;
}
