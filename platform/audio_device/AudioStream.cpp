#include "AudioStream.h"

#include <SDL.h>
#include <alsa/asoundlib.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Clock.h"
#include "WavSink.h"

namespace tikora::audio {

namespace {

constexpr int kRate = 48000;
constexpr int kNullFrames = 256;
constexpr int kSdlFrames = 512;
// Long enough to cover the timer thread's wake-up jitter plus one SDL buffer, short enough to feel
// immediate when a button is pressed.
constexpr int64_t kLatencyNs = 30'000'000;
// A sink this far behind its schedule (a suspended process, a debugger) starts a new timeline
// instead of rendering the lost time in a burst.
constexpr int64_t kResyncNs = 500'000'000;

int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}
void SilentSdlLog(void*, int, SDL_LogPriority, const char*) {}

// The stream frame <-> clock mapping, written by the audio thread and read from any thread.
// A sequence lock keeps readers wait-free and the writer never blocks.
class Timeline {
public:
    void Publish(int64_t frame, double ns, double framesPerNs) {
        uint32_t s = seq_.load(std::memory_order_relaxed);
        seq_.store(s + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        frame_.store(frame, std::memory_order_relaxed);
        ns_.store(ns, std::memory_order_relaxed);
        framesPerNs_.store(framesPerNs, std::memory_order_relaxed);
        seq_.store(s + 2, std::memory_order_release);
    }
    int64_t FrameAt(int64_t ns) const {
        for (;;) {
            uint32_t s1 = seq_.load(std::memory_order_acquire);
            if (s1 & 1) continue;
            int64_t frame = frame_.load(std::memory_order_relaxed);
            double base = ns_.load(std::memory_order_relaxed);
            double rate = framesPerNs_.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (seq_.load(std::memory_order_relaxed) != s1) continue;
            return frame + static_cast<int64_t>(std::floor((static_cast<double>(ns) - base) * rate + 0.5));
        }
    }

private:
    std::atomic<uint32_t> seq_{0};
    std::atomic<int64_t> frame_{0};
    std::atomic<double> ns_{0.0};
    std::atomic<double> framesPerNs_{kRate / 1e9};
};

// Second-order delay-locked loop: smooths the callback times into the time of each block start
// and the true frame rate, so that jitter of the audio callback does not move events.
class Dll {
public:
    void Reset() { started_ = false; }
    // Returns the filtered time of the block start and the filtered block duration.
    void Update(double t, int frames, double* blockStart, double* blockNs) {
        double period = frames * 1e9 / kRate;
        if (!started_ || std::fabs(t - t1_) > kResyncNs) {
            constexpr double kBandwidthHz = 0.5;
            double omega = 2.0 * M_PI * kBandwidthHz * period / 1e9;
            b_ = std::sqrt(2.0) * omega;
            c_ = omega * omega;
            e2_ = period;
            t0_ = t;
            t1_ = t + period;
            started_ = true;
        } else {
            double e = t - t1_;
            t0_ = t1_;
            t1_ += b_ * e + e2_;
            e2_ += c_ * e;
        }
        *blockStart = t0_;
        *blockNs = t1_ - t0_;
    }

private:
    bool started_ = false;
    double b_ = 0, c_ = 0, e2_ = 0, t0_ = 0, t1_ = 0;
};

class Stream {
public:
    static Stream& Get() {
        // Never destroyed: sources owned by objects with static storage duration may be removed
        // after every other destructor has run.
        static Stream* s = new Stream;
        return *s;
    }

    void EnsureStarted() {
        std::call_once(started_, [this] { Start(); });
    }

    void Shutdown() {
        EnsureStarted();
        std::lock_guard<std::mutex> lock(lifeMutex_);
        if (down_) return;
        down_ = true;
        if (sdlDevice_ != 0) {
            SDL_CloseAudioDevice(sdlDevice_);
            sdlDevice_ = 0;
        }
        if (nullThread_.joinable()) {
            stop_.store(true);
            nullThread_.join();
        }
        if (wav_) wav_->Close();
    }

    void Add(AudioSource* s) {
        std::lock_guard<std::mutex> lock(sourcesMutex_);
        if (std::find(sources_.begin(), sources_.end(), s) == sources_.end()) sources_.push_back(s);
    }
    void Remove(AudioSource* s) {
        // The audio thread renders while holding the mutex, so once it is ours the source is
        // no longer in use.
        std::lock_guard<std::mutex> lock(sourcesMutex_);
        sources_.erase(std::remove(sources_.begin(), sources_.end(), s), sources_.end());
    }

    int64_t FrameForTime(int64_t ns) { return timeline_.FrameAt(ns + kLatencyNs); }
    std::atomic<float> gain{1.0f};
    std::atomic<int64_t> cpuNs{0};
    std::atomic<int64_t> framesRendered{0};
    bool usingNullSink() const { return nullSink_; }

private:
    Stream() {
        std::atexit([] { Get().Shutdown(); });
    }

    void Start() {
        const char* file = std::getenv("TIKORA_AUDIO_FILE");
        const char* sink = std::getenv("TIKORA_AUDIO_SINK");
        bool forceNull = (file && *file) || (sink && std::strcmp(sink, "null") == 0);
        if (!forceNull && OpenSdl()) return;
        if (file && *file) {
            wav_ = std::make_unique<WavSink>();
            if (!wav_->Open(file, kRate)) wav_.reset();
        }
        nullSink_ = true;
        nullThread_ = std::thread([this] { RunNullSink(); });
    }

    bool OpenSdl() {
        snd_lib_error_set_handler(SilentAlsaErrors);
        SDL_LogSetOutputFunction(SilentSdlLog, nullptr);
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
        // SDL's dummy and disk drivers run unpaced; our own null sink replaces them.
        const char* driver = SDL_GetCurrentAudioDriver();
        if (!driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "disk") == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        SDL_AudioSpec want{};
        want.freq = kRate;
        want.format = AUDIO_F32SYS;
        want.channels = 2;
        want.samples = kSdlFrames;
        want.callback = [](void* user, Uint8* stream, int len) {
            auto* self = static_cast<Stream*>(user);
            int frames = len / static_cast<int>(2 * sizeof(float));
            self->Mix(reinterpret_cast<float*>(stream), frames, static_cast<double>(MonotonicNowNs()));
        };
        want.userdata = this;
        SDL_AudioSpec have{};
        sdlDevice_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (sdlDevice_ == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        deviceBufferNs = static_cast<int64_t>(have.samples) * 1'000'000'000 / std::max(have.freq, 1);
        SDL_PauseAudioDevice(sdlDevice_, 0);
        return true;
    }

    void RunNullSink() {
        std::vector<float> block(static_cast<size_t>(kNullFrames) * 2);
        int64_t originNs = MonotonicNowNs();
        int64_t originFrame = frame_;
        for (;;) {
            if (stop_.load(std::memory_order_relaxed)) return;
            int64_t due = originNs + (frame_ - originFrame) * 1'000'000'000 / kRate;
            int64_t now = MonotonicNowNs();
            if (now < due) {
                // Capped so that a test clock standing still or jumping does not park the thread.
                int64_t wait = std::min<int64_t>(due - now, 2'000'000);
                std::this_thread::sleep_for(std::chrono::nanoseconds(wait));
                continue;
            }
            if (now - due > kResyncNs) {
                originNs = now;
                originFrame = frame_;
                due = now;
                dll_.Reset();
            }
            Mix(block.data(), kNullFrames, static_cast<double>(due));
            if (wav_) wav_->Write(block.data(), kNullFrames);
        }
    }

    void Mix(float* out, int frames, double blockTimeNs) {
        int64_t cpu0 = ThreadCpuNs();
        double start = 0, blockNs = 0;
        dll_.Update(blockTimeNs, frames, &start, &blockNs);
        timeline_.Publish(frame_, start, frames / blockNs);
        std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
        {
            std::lock_guard<std::mutex> lock(sourcesMutex_);
            for (AudioSource* s : sources_) s->Render(out, frames, frame_);
        }
        float g = gain.load(std::memory_order_relaxed);
        for (int i = 0; i < frames * 2; ++i) out[i] = std::clamp(out[i] * g, -1.0f, 1.0f);
        frame_ += frames;
        framesRendered.store(frame_, std::memory_order_relaxed);
        cpuNs.fetch_add(ThreadCpuNs() - cpu0, std::memory_order_relaxed);
    }

public:
    std::atomic<int64_t> deviceBufferNs{0};

private:
    std::once_flag started_;
    std::mutex lifeMutex_;
    bool down_ = false;
    bool nullSink_ = false;
    SDL_AudioDeviceID sdlDevice_ = 0;
    std::thread nullThread_;
    std::atomic<bool> stop_{false};
    std::unique_ptr<WavSink> wav_;
    std::mutex sourcesMutex_;
    std::vector<AudioSource*> sources_;
    Dll dll_;
    Timeline timeline_;
    int64_t frame_ = 0;  // audio thread only
};

}  // namespace

void EnsureStarted() { Stream::Get().EnsureStarted(); }
int SampleRate() { return kRate; }
int64_t OutputLatencyNs() { return kLatencyNs; }
int64_t DeviceBufferNs() {
    Stream::Get().EnsureStarted();
    return Stream::Get().deviceBufferNs.load();
}
int64_t FrameForTime(int64_t ns) {
    Stream::Get().EnsureStarted();
    return Stream::Get().FrameForTime(ns);
}
void AddSource(AudioSource* source) {
    Stream::Get().EnsureStarted();
    Stream::Get().Add(source);
}
void RemoveSource(AudioSource* source) { Stream::Get().Remove(source); }
void SetMasterGain(float gain) { Stream::Get().gain.store(std::clamp(gain, 0.0f, 1.0f)); }
float MasterGain() { return Stream::Get().gain.load(); }
void Shutdown() { Stream::Get().Shutdown(); }
int64_t AudioCallbackCpuNs() { return Stream::Get().cpuNs.load(); }
int64_t FramesRendered() { return Stream::Get().framesRendered.load(); }
bool UsingNullSink() {
    Stream::Get().EnsureStarted();
    return Stream::Get().usingNullSink();
}

}  // namespace tikora::audio
