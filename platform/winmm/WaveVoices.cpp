#include "WaveVoices.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "Clock.h"

namespace tikora::audio {

bool IsPlayablePcm(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) &&
           (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec >= 100 && f.nSamplesPerSec <= 200000 &&
           f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

bool ConvertPcm(const WAVEFORMATEX& f, const BYTE* data, size_t bytes, int rate, std::vector<float>& out) {
    out.clear();
    if (!IsPlayablePcm(f) || rate <= 0) return false;
    const size_t block = f.nBlockAlign;
    const int64_t n = static_cast<int64_t>(bytes / block);
    if (n == 0) return true;
    const bool stereo = f.nChannels == 2;
    const bool wide = f.wBitsPerSample == 16;
    auto sample = [&](int64_t frame, int ch) -> float {
        const BYTE* p = data + static_cast<size_t>(frame) * block + (stereo ? ch : 0) * (wide ? 2 : 1);
        if (wide) return static_cast<float>(static_cast<int16_t>(p[0] | (p[1] << 8))) / 32768.0f;
        return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
    };
    const int64_t src = f.nSamplesPerSec;
    const int64_t dst = rate;
    if (src == dst) {
        out.resize(static_cast<size_t>(n) * 2);
        for (int64_t i = 0; i < n; ++i) {
            out[2 * i] = sample(i, 0);
            out[2 * i + 1] = sample(i, 1);
        }
        return true;
    }
    // Output frame i sits at source position i*src/dst, kept exact as a fraction.
    const int64_t m = (n - 1) * dst / src + 1;
    out.resize(static_cast<size_t>(m) * 2);
    for (int64_t i = 0; i < m; ++i) {
        const int64_t num = i * src;
        const int64_t k = num / dst;
        const float frac = static_cast<float>(num % dst) / static_cast<float>(dst);
        const int64_t k1 = std::min(k + 1, n - 1);
        for (int ch = 0; ch < 2; ++ch) {
            float a = sample(k, ch);
            float b = sample(k1, ch);
            out[2 * i + ch] = a + (b - a) * frac;
        }
    }
    return true;
}

float AttenuationToGain(int32_t hundredthsDb) {
    if (hundredthsDb <= -10000) return 0.0f;
    if (hundredthsDb >= 0) return 1.0f;
    return static_cast<float>(std::pow(10.0, hundredthsDb / 2000.0));
}

void VolumePanGains(int32_t volume, int32_t pan, float& left, float& right) {
    float g = AttenuationToGain(volume);
    left = g * AttenuationToGain(pan > 0 ? -pan : 0);
    right = g * AttenuationToGain(pan < 0 ? pan : 0);
}

WaveMixer::WaveMixer(std::unique_ptr<FrameTimeline> timeline, int maxVoices, int queueCapacity)
    : timeline_(std::move(timeline)),
      rate_(timeline_->SampleRate()),
      current_(static_cast<size_t>(maxVoices)),
      inUse_(static_cast<size_t>(maxVoices), false),
      queue_(static_cast<size_t>(queueCapacity)),
      voices_(static_cast<size_t>(maxVoices)),
      playing_(std::make_unique<std::atomic<bool>[]>(static_cast<size_t>(maxVoices))) {}

WaveMixer::~WaveMixer() {
    if (attached_) RemoveSource(this);
}

void WaveMixer::AttachToStream() {
    if (attached_) return;
    attached_ = true;
    AddSource(this);
}

int64_t WaveMixer::FrameNow() { return timeline_->FrameForTime(LogicalNowNs()); }

bool WaveMixer::Push(Command c) {
    // The audio thread drains the queue every block; a full queue means it has stalled, and a
    // bounded wait keeps the UI thread from hanging on it.
    c.seq = nextSeq_;
    for (int tries = 0; !queue_.Push(c); ++tries) {
        if (tries >= 100) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ++nextSeq_;
    return true;
}

void WaveMixer::Collect() {
    const uint64_t done = processed_.load(std::memory_order_acquire);
    std::erase_if(retired_, [&](Retired& r) {
        if (r.seq > done) return false;
        if (r.freeVoice >= 0) inUse_[static_cast<size_t>(r.freeVoice)] = false;
        return true;
    });
}

int WaveMixer::CreateVoice() {
    std::lock_guard lock(mutex_);
    Collect();
    for (size_t i = 0; i < inUse_.size(); ++i) {
        if (!inUse_[i]) {
            inUse_[i] = true;
            return static_cast<int>(i);
        }
    }
    return -1;
}

void WaveMixer::DestroyVoice(int voice, int64_t atFrame) {
    std::lock_guard lock(mutex_);
    if (voice < 0 || static_cast<size_t>(voice) >= inUse_.size() || !inUse_[static_cast<size_t>(voice)]) return;
    Command c;
    c.op = Op::Destroy;
    c.voice = voice;
    c.frame = atFrame;
    if (Push(c)) {
        retired_.push_back({nextSeq_ - 1, std::move(current_[static_cast<size_t>(voice)]), voice});
    } else {
        // The audio thread is not running: nothing can be using the voice once it is silent.
        retired_.push_back({UINT64_MAX, std::move(current_[static_cast<size_t>(voice)]), voice});
    }
    current_[static_cast<size_t>(voice)].reset();
}

void WaveMixer::SetSamples(int voice, std::shared_ptr<const VoiceSamples> samples, int64_t atFrame) {
    std::lock_guard lock(mutex_);
    Collect();
    if (voice < 0 || static_cast<size_t>(voice) >= inUse_.size()) return;
    Command c;
    c.op = Op::Samples;
    c.voice = voice;
    c.frame = atFrame;
    c.samples = samples.get();
    if (!Push(c)) return;
    auto& cur = current_[static_cast<size_t>(voice)];
    if (cur) retired_.push_back({nextSeq_ - 1, std::move(cur), -1});
    cur = std::move(samples);
}

void WaveMixer::SetPosition(int voice, int64_t frame, int64_t atFrame) {
    std::lock_guard lock(mutex_);
    Command c;
    c.op = Op::Position;
    c.voice = voice;
    c.frame = atFrame;
    c.arg = frame;
    Push(c);
}

void WaveMixer::Play(int voice, bool looping, int64_t atFrame) {
    std::lock_guard lock(mutex_);
    Command c;
    c.op = Op::Play;
    c.voice = voice;
    c.frame = atFrame;
    c.arg = looping ? 1 : 0;
    Push(c);
}

void WaveMixer::Stop(int voice, int64_t atFrame) {
    std::lock_guard lock(mutex_);
    Command c;
    c.op = Op::Stop;
    c.voice = voice;
    c.frame = atFrame;
    Push(c);
}

void WaveMixer::SetGains(int voice, float left, float right, int64_t atFrame) {
    std::lock_guard lock(mutex_);
    Command c;
    c.op = Op::Gains;
    c.voice = voice;
    c.frame = atFrame;
    c.left = left;
    c.right = right;
    Push(c);
}

bool WaveMixer::IsPlaying(int voice) const {
    if (voice < 0 || static_cast<size_t>(voice) >= voices_.size()) return false;
    return playing_[static_cast<size_t>(voice)].load(std::memory_order_relaxed);
}

void WaveMixer::Apply(const Command& c) {
    if (c.voice < 0 || static_cast<size_t>(c.voice) >= voices_.size()) return;
    Voice& v = voices_[static_cast<size_t>(c.voice)];
    switch (c.op) {
        case Op::Samples:
            v.data = c.samples ? c.samples->data() : nullptr;
            v.length = c.samples ? static_cast<int64_t>(c.samples->size() / 2) : 0;
            v.pos = std::min(v.pos, v.length);
            break;
        case Op::Position:
            v.pos = std::clamp<int64_t>(c.arg, 0, v.length);
            break;
        case Op::Play:
            v.playing = true;
            v.looping = c.arg != 0;
            if (v.pos >= v.length) v.pos = 0;
            break;
        case Op::Stop:
            v.playing = false;
            break;
        case Op::Gains:
            v.left = c.left;
            v.right = c.right;
            break;
        case Op::Destroy:
            v = Voice{};
            break;
    }
    playing_[static_cast<size_t>(c.voice)].store(v.playing, std::memory_order_relaxed);
}

void WaveMixer::Mix(float* out, int64_t frames) {
    if (frames <= 0) return;
    for (size_t i = 0; i < voices_.size(); ++i) {
        Voice& v = voices_[i];
        if (!v.playing) continue;
        int64_t done = 0;
        while (done < frames && v.playing) {
            if (v.length == 0) {
                v.playing = false;
                break;
            }
            const int64_t k = std::min(frames - done, v.length - v.pos);
            const float* src = v.data + 2 * v.pos;
            float* dst = out + 2 * done;
            for (int64_t j = 0; j < k; ++j) {
                dst[2 * j] += src[2 * j] * v.left;
                dst[2 * j + 1] += src[2 * j + 1] * v.right;
            }
            v.pos += k;
            done += k;
            if (v.pos == v.length) {
                v.pos = 0;
                if (!v.looping) v.playing = false;
            }
        }
        playing_[i].store(v.playing, std::memory_order_relaxed);
    }
}

void WaveMixer::Render(float* out, int frames, int64_t firstFrame) {
    const int64_t end = firstFrame + frames;
    int64_t pos = firstFrame;
    while (const Command* c = queue_.Front()) {
        if (c->frame >= end) break;
        // A change already due (its handler ran late) takes effect at once.
        const int64_t at = std::max(c->frame, pos);
        Mix(out + 2 * (pos - firstFrame), at - pos);
        pos = at;
        Apply(*c);
        const int64_t late = pos - c->frame;
        if (c->op == Op::Play && late >= kStaleFrames && static_cast<size_t>(c->voice) < voices_.size()) {
            Voice& v = voices_[static_cast<size_t>(c->voice)];
            if (v.looping && v.length > 0)
                v.pos = (v.pos + late) % v.length;
            else if (v.pos + late < v.length)
                v.pos += late;
            else
                v.playing = false;
            playing_[static_cast<size_t>(c->voice)].store(v.playing, std::memory_order_relaxed);
        }
        const uint64_t seq = c->seq;
        queue_.Pop();
        processed_.store(seq, std::memory_order_release);
    }
    Mix(out + 2 * (pos - firstFrame), end - pos);
}

namespace {
class StreamTimeline : public FrameTimeline {
public:
    int SampleRate() override { return audio::SampleRate(); }
    int64_t FrameForTime(int64_t ns) override { return audio::FrameForTime(ns); }
};
}  // namespace

std::shared_ptr<WaveMixer> DefaultWaveMixer() {
    // Never destroyed: the audio thread may render it until the process ends.
    static std::shared_ptr<WaveMixer>* mixer = [] {
        EnsureStarted();
        auto* m = new std::shared_ptr<WaveMixer>(std::make_shared<WaveMixer>(std::make_unique<StreamTimeline>()));
        (*m)->AttachToStream();
        return m;
    }();
    return *mixer;
}

}  // namespace tikora::audio
