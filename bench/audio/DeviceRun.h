#pragma once
// What the click benches share for playing through the real device (--device) instead of the
// WAV sink: the environment the sound path reads before main, and the device's sample clock
// measured against the monotonic clock while the clicks play.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "AudioStream.h"
#include "Clock.h"

namespace tikora::bench {

// The sound path opens during static construction, so the program starts itself again when the
// environment does not yet say where the sound goes: the WAV file `out`, or (device) the default
// device. Returns only when the environment is right.
inline void ExecWithSoundEnvironment(bool device, const std::string& out, char** argv) {
    const char* env = std::getenv("TIKORA_AUDIO_FILE");
    const bool right = device ? (!env || !*env) : (env && out == env);
    if (right) return;
    if (device)
        unsetenv("TIKORA_AUDIO_FILE");
    else
        setenv("TIKORA_AUDIO_FILE", out.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("execv");
    std::exit(1);
}

// Seconds since 1970 on the system clock, to compare with the times a script notes.
inline double UnixSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Samples the frames the stream has rendered against the monotonic clock every 10 ms and fits a
// line: the device's rate against the system clock, in parts per million of the nominal rate.
// Also notes when the device was first opened again after it went away.
class SinkClock {
public:
    void Start() {
        thread_ = std::thread([this] {
            while (!stop_) {
                samples_.push_back({static_cast<double>(tikora::MonotonicNowNs()) * 1e-9,
                                    static_cast<double>(tikora::audio::FramesRendered())});
                if (reopenUnix_ == 0 && tikora::audio::DeviceReopenCount() > 0) reopenUnix_ = UnixSeconds();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    double ReopenUnix() const { return reopenUnix_; }
    double StopPpm() {
        stop_ = true;
        thread_.join();
        double n = static_cast<double>(samples_.size()), st = 0, sf = 0, stt = 0, stf = 0;
        if (n < 3) return 0;
        for (auto [t, f] : samples_) {
            st += t;
            sf += f;
        }
        const double mt = st / n, mf = sf / n;
        for (auto [t, f] : samples_) {
            stt += (t - mt) * (t - mt);
            stf += (t - mt) * (f - mf);
        }
        return (stf / stt / tikora::audio::SampleRate() - 1.0) * 1e6;
    }

private:
    struct Sample {
        double t, frames;
    };
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::vector<Sample> samples_;
    double reopenUnix_ = 0;
};

}  // namespace tikora::bench
