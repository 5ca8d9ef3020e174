#include "AudioStream.h"

#include <SDL.h>
#include <alsa/asoundlib.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Clock.h"
#include "DrivenStream.h"
#include "FrameClock.h"
#include "WavSink.h"

namespace tikora::audio {

namespace {

constexpr int kRate = kStreamRate;
constexpr int64_t kResyncNs = kStreamResyncNs;
constexpr int kNullFrames = DrivenStream::kNullSinkFrames;
constexpr int kSdlFrames = 512;
// Long enough to cover the timer thread's wake-up jitter plus one SDL buffer, short enough to feel
// immediate when a button is pressed.
constexpr int64_t kLatencyNs = 30'000'000;

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

thread_local bool t_audioThread = false;

}  // namespace

class Stream {
public:
    static Stream& Get() {
        // Never destroyed: sources owned by objects with static storage duration may be removed
        // after every other destructor has run.
        static Stream* s = [] {
            auto* stream = new Stream;
            std::atexit([] { Get().Shutdown(); });
            return stream;
        }();
        return *s;
    }

    void EnsureStarted() {
        std::call_once(started_, [this] { Start(); });
    }

    void Shutdown() {
        EnsureStarted();
        std::unique_lock<std::mutex> lock(lifeMutex_);
        if (down_) return;
        down_ = true;
        lock.unlock();
        lifeCv_.notify_all();
        if (supervisor_.joinable()) supervisor_.join();
        CloseSdl();
        StopNullSink();
        if (wav_) wav_->Close();
    }

    void Add(AudioSource* s) {
        std::lock_guard<std::mutex> lock(sourcesMutex_);
        for (auto& slot : slots_)
            if (slot.load() == s) return;
        for (auto& slot : slots_) {
            if (slot.load() == nullptr) {
                slot.store(s);
                return;
            }
        }
    }
    void Remove(AudioSource* s) {
        std::lock_guard<std::mutex> lock(sourcesMutex_);
        for (auto& slot : slots_)
            if (slot.load() == s) slot.store(nullptr);
        // The audio thread may still be inside a block that started before the slot was cleared;
        // such a block ends within milliseconds.
        const uint64_t seq = renderSeq_.load();
        if ((seq & 1) == 0 || t_audioThread) return;
        while (renderSeq_.load() == seq) std::this_thread::yield();
    }

    int64_t FrameForTime(int64_t ns) { return timeline_.FrameAt(ns + kLatencyNs); }
    std::atomic<float> gain{1.0f};
    std::atomic<int64_t> cpuNs{0};
    std::atomic<int64_t> framesRendered{0};
    std::atomic<int> reopenCount{0};
    bool usingNullSink() const { return !sdl_; }

private:
    friend class DrivenStream;
    Stream() = default;

    void Start() {
        const char* file = std::getenv("TIKORA_AUDIO_FILE");
        const char* sink = std::getenv("TIKORA_AUDIO_SINK");
        bool forceNull = (file && *file) || (sink && std::strcmp(sink, "null") == 0);
        snd_lib_error_set_handler(SilentAlsaErrors);
        SDL_LogSetOutputFunction(SilentSdlLog, nullptr);
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // SDL asks a PulseAudio server for a buffer of one callback block (10.7 ms): a thread
        // that wakes a little late empties it, the server waits for data, and every click after
        // that sounds later. 40 ms rides out a busy machine; the blocks stay small, so events
        // still reach the stream well within the output latency.
        setenv("PULSE_LATENCY_MSEC", "40", 0);
        if (!forceNull && OpenSdl(false)) {
            sdl_ = true;
            SDL_PauseAudioDevice(sdlDevice_, 0);
            // A device plays once its callbacks come at its own pace: a sound server may take a
            // burst of blocks to fill its buffer, or stand still for a moment after the stream
            // connects. Timing starts from there, so that the first events sound where they belong.
            // The timeline settles over one window of callbacks after that.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            while (!steady_.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (steady_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(500));
            supervisor_ = std::thread([this] { Supervise(); });
            return;
        }
        if (file && *file) {
            wav_ = std::make_unique<WavSink>();
            if (!wav_->Open(file, kRate)) wav_.reset();
        }
        StartNullSink();
    }

    // `handOver`: opened again after a loss, the device takes the stream over from the null sink.
    bool OpenSdl(bool handOver) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS) != 0) return false;
        // SDL's dummy and disk drivers run unpaced; our own null sink replaces them.
        const char* driver = SDL_GetCurrentAudioDriver();
        if (!driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "disk") == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS);
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
            self->DeviceCallback(reinterpret_cast<float*>(stream), frames);
        };
        want.userdata = this;
        SDL_AudioSpec have{};
        sdlDevice_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (sdlDevice_ == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS);
            return false;
        }
        // Opened again later, the device comes through the same driver: while a sound server
        // restarts, the card underneath must be left to it.
        if (driverHint_.empty()) {
            driverHint_ = driver;
            SDL_SetHint(SDL_HINT_AUDIODRIVER, driverHint_.c_str());
        }
        DeviceOpened(handOver);
        // What the device holds before a frame is heard: one callback block, and on a PulseAudio
        // server the buffer asked of it above.
        int64_t bufferNs = static_cast<int64_t>(have.samples) * 1'000'000'000 / std::max(have.freq, 1);
        if (std::strcmp(driver, "pulseaudio") == 0)
            if (const char* ms = std::getenv("PULSE_LATENCY_MSEC")) bufferNs += std::atoll(ms) * 1'000'000;
        deviceBufferNs = bufferNs;
        return true;
    }

    // A device was opened (paused): its callbacks are timed afresh. Opened again after a loss, it
    // plays silence while the null sink goes on keeping time, until the device's own line is known
    // and it takes the stream over where that line meets the null sink's (HandOver).
    void DeviceOpened(bool handOver) {
        steady_.store(false);
        handOver_.Start();
        steadyCount_ = 0;
        lastCallbackNs_ = -1;
        handingOver_.store(handOver);
    }

    void CloseSdl() {
        if (sdlDevice_ == 0) return;
        SDL_CloseAudioDevice(sdlDevice_);
        sdlDevice_ = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS);
    }

    bool DeviceLost() {
        SDL_PumpEvents();
        SDL_Event ev;
        bool removed = false;
        while (SDL_PeepEvents(&ev, 1, SDL_GETEVENT, SDL_AUDIODEVICEREMOVED, SDL_AUDIODEVICEREMOVED) > 0)
            if (!ev.adevice.iscapture && ev.adevice.which == sdlDevice_) removed = true;
        return removed || SDL_GetAudioDeviceStatus(sdlDevice_) != SDL_AUDIO_PLAYING;
    }

    // Watches the device. When it goes away (the sound server stopped, the headset was pulled),
    // the null sink keeps the stream running in real time, so queues drain and the timeline goes
    // on, and the default device is opened again as soon as there is one.
    void Supervise() {
        std::unique_lock<std::mutex> lock(lifeMutex_);
        for (;;) {
            const bool lost = sdlDevice_ == 0;
            lifeCv_.wait_for(lock, std::chrono::milliseconds(lost ? 200 : 50));
            if (down_) return;
            if (!lost && DeviceLost()) {
                // Closed, the device's thread has stopped. A null sink that the device had not
                // yet taken over from just goes on.
                CloseSdl();
                if (nullState_.load() == kDeviceOwns || !nullThread_.joinable()) {
                    StopNullSink();
                    StartNullSink();
                }
            } else if (lost && OpenSdl(true)) {
                SDL_PauseAudioDevice(sdlDevice_, 0);
                reopenCount.fetch_add(1);
            } else if (!lost && nullState_.load() == kDeviceOwns) {
                StopNullSink();
            }
        }
    }

    void DeviceCallback(float* out, int frames) {
        if (!t_audioThread) {
            // Real-time scheduling where the system grants it (a real-time limit for the user):
            // a busy machine then cannot starve the device. Refused, the thread runs as before.
            sched_param param{};
            param.sched_priority = 10;
            pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
        }
        t_audioThread = true;
        DeviceBlock(out, frames, MonotonicNowNs());
    }

    // The device's block at `now`: silence while a device opened again waits to take the stream
    // over, else the stream's next frames.
    void DeviceBlock(float* out, int frames, int64_t now) {
        if (handingOver_.load(std::memory_order_relaxed)) {
            HandOver(out, frames, now);
            return;
        }
        if (!steady_.load(std::memory_order_relaxed)) {
            // Three callbacks in a row at least half a block apart: the device consumes at its
            // own pace, and the timeline starts over from here.
            const int64_t period = static_cast<int64_t>(frames) * 1'000'000'000 / kRate;
            steadyCount_ = lastCallbackNs_ >= 0 && now - lastCallbackNs_ >= period / 2 ? steadyCount_ + 1 : 0;
            lastCallbackNs_ = now;
            if (steadyCount_ >= 3) {
                clock_.Reset();
                steady_.store(true, std::memory_order_release);
            }
        }
        Mix(out, frames, static_cast<double>(now));
    }

    // A device opened again plays silence until its own line is known (DeviceHandOver), then takes
    // the stream from the null sink between two of its blocks and goes on with the stream's next
    // frame where the two lines meet. The null sink runs until that moment, so that every frame
    // due before the device's block has been played by it.
    void HandOver(float* out, int frames, int64_t now) {
        std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
        if (!handOver_.Callback(now, frames)) return;
        if (nullState_.load(std::memory_order_relaxed) != kDeviceOwns) {
            // In the middle of a block the null sink keeps the stream until the next callback.
            int idle = kNullIdle;
            if (!nullState_.compare_exchange_strong(idle, kDeviceOwns, std::memory_order_acquire)) return;
        }
        // The stream's next frame on the null sink's line, and where that falls in this block.
        const double frameNs = nullLineNs_ + static_cast<double>(frame_ - nullLineFrame_) * nullNsPerFrame_;
        const int64_t offset = handOver_.Offset(frameNs);
        if (offset >= frames) return;
        // The null sink fell behind its line: the frames the device has already passed are
        // skipped, so that those still to come stay in place.
        if (offset < 0) frame_ -= offset;
        const int64_t pad = std::max<int64_t>(offset, 0);
        handingOver_.store(false, std::memory_order_relaxed);
        steady_.store(true, std::memory_order_release);
        Mix(out + pad * 2, frames - static_cast<int>(pad), static_cast<double>(now) + pad * nullNsPerFrame_);
    }

    void StartNullSink() {
        nullState_.store(kNullIdle);
        stop_.store(false);
        nullThread_ = std::thread([this] { RunNullSink(); });
    }
    void StopNullSink() {
        if (!nullThread_.joinable()) return;
        stop_.store(true);
        nullThread_.join();
    }

    void RunNullSink() {
        t_audioThread = true;
        std::vector<float> block(static_cast<size_t>(kNullFrames) * 2);
        NullSinkStarts(MonotonicNowNs());
        while (!stop_.load(std::memory_order_relaxed)) {
            const int64_t wait = NullSinkTurn(block.data(), MonotonicNowNs());
            if (wait < 0) return;
            // Capped so that a test clock standing still or jumping does not park the thread.
            if (wait > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(std::min<int64_t>(wait, 2'000'000)));
        }
    }

    // The null sink keeps time from `now`, with the stream's next frame.
    void NullSinkStarts(int64_t now) {
        nullOriginNs_ = now;
        nullOriginFrame_ = frame_;
        clock_.Reset();
        steady_.store(true, std::memory_order_release);
    }

    // One turn of the null sink's thread at `now`: mixes its block into `block` when it is due and
    // returns 0, else returns how long until it is due; -1 once the device has taken the stream.
    int64_t NullSinkTurn(float* block, int64_t now) {
        if (nullState_.load(std::memory_order_relaxed) == kDeviceOwns) return -1;
        int64_t due = nullOriginNs_ + (frame_ - nullOriginFrame_) * 1'000'000'000 / kRate;
        if (now < due) return due - now;
        if (now - due > kResyncNs) {
            nullOriginNs_ = now;
            nullOriginFrame_ = frame_;
            due = now;
            clock_.Reset();
        }
        int idle = kNullIdle;
        if (!nullState_.compare_exchange_strong(idle, kNullMixing, std::memory_order_acquire)) return -1;
        Mix(block, kNullFrames, static_cast<double>(due));
        nullState_.store(kNullIdle, std::memory_order_release);
        if (wav_) wav_->Write(block, kNullFrames);
        return 0;
    }

    void Mix(float* out, int frames, double blockTimeNs) {
        int64_t cpu0 = ThreadCpuNs();
        double start = 0, nsPerFrame = 0;
        clock_.Update(frame_, blockTimeNs, &start, &nsPerFrame);
        timeline_.Publish(frame_, start, 1.0 / nsPerFrame);
        nullLineFrame_ = frame_;
        nullLineNs_ = start;
        nullNsPerFrame_ = nsPerFrame;
        std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
        renderSeq_.fetch_add(1);  // odd: rendering
        for (auto& slot : slots_)
            if (AudioSource* s = slot.load()) s->Render(out, frames, frame_);
        renderSeq_.fetch_add(1);
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
    std::condition_variable lifeCv_;
    bool down_ = false;
    bool sdl_ = false;  // a device was opened at start; the supervisor keeps one open
    SDL_AudioDeviceID sdlDevice_ = 0;
    std::string driverHint_;
    std::thread supervisor_;
    std::atomic<bool> steady_{false};
    int steadyCount_ = 0;          // audio thread
    int64_t lastCallbackNs_ = -1;  // audio thread
    std::thread nullThread_;
    std::atomic<bool> stop_{false};
    int64_t nullOriginNs_ = 0;  // null sink thread: where its frames are due
    int64_t nullOriginFrame_ = 0;
    // The hand-over from the null sink to a device opened again (HandOver).
    std::atomic<bool> handingOver_{false};  // set by the supervisor while the device is paused
    // Which thread mixes while the null sink runs: it, between its blocks, or the device.
    enum : int { kNullIdle, kNullMixing, kDeviceOwns };
    std::atomic<int> nullState_{kNullIdle};
    DeviceHandOver handOver_;    // device thread
    int64_t nullLineFrame_ = 0;  // the last line the mixing thread drew
    double nullLineNs_ = 0;
    double nullNsPerFrame_ = 1e9 / kRate;
    std::unique_ptr<WavSink> wav_;
    // Add and Remove take turns under the mutex; the audio thread only reads the slots.
    std::mutex sourcesMutex_;
    std::array<std::atomic<AudioSource*>, 64> slots_{};
    std::atomic<uint64_t> renderSeq_{0};
    FrameClock clock_;
    Timeline timeline_;
    int64_t frame_ = 0;  // audio thread only
};

DrivenStream::DrivenStream() : stream_(new Stream) {}
DrivenStream::~DrivenStream() = default;
void DrivenStream::AddSource(AudioSource* source) { stream_->Add(source); }
int64_t DrivenStream::FrameForTime(int64_t ns) const { return stream_->FrameForTime(ns); }
void DrivenStream::DeviceCallback(float* out, int frames) { stream_->DeviceBlock(out, frames, MonotonicNowNs()); }
void DrivenStream::LoseDevice() {
    stream_->nullState_.store(Stream::kNullIdle);
    stream_->NullSinkStarts(MonotonicNowNs());
}
int64_t DrivenStream::NullSinkTurn(float* block) { return stream_->NullSinkTurn(block, MonotonicNowNs()); }
void DrivenStream::ReopenDevice() { stream_->DeviceOpened(true); }

void EnsureStarted() { Stream::Get().EnsureStarted(); }
int SampleRate() { return kRate; }
int64_t OutputLatencyNs() { return kLatencyNs; }
int64_t DeviceBufferNs() {
    Stream::Get().EnsureStarted();
    return Stream::Get().deviceBufferNs.load();
}
int64_t FrameForTime(int64_t ns) {
    if (!t_audioThread) Stream::Get().EnsureStarted();
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
int DeviceReopenCount() { return Stream::Get().reopenCount.load(); }
bool UsingNullSink() {
    Stream::Get().EnsureStarted();
    return Stream::Get().usingNullSink();
}

}  // namespace tikora::audio
