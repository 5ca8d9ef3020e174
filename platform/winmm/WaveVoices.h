#pragma once
// Wave voices for DirectSound buffers and PlaySound: PCM converted once to the stream's format
// (interleaved stereo float at the stream's rate) and mixed on the audio thread.
//
// Every change to a voice is stamped with the stream frame at which it takes effect, the frame
// of the logical time of the call (FrameForTime includes the fixed output latency). Changes made
// together in one handler therefore share one frame and sound together, and a voice started from
// a posted message starts exactly as late after the post as a MIDI note from the timer.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "AudioStream.h"
#include "SpscQueue.h"
#include "WaveFormat.h"

namespace tikora::audio {

// The mapping from logical time to stream frames: the real stream, or a fake in tests.
class FrameTimeline {
public:
    virtual ~FrameTimeline() = default;
    virtual int SampleRate() = 0;
    virtual int64_t FrameForTime(int64_t ns) = 0;
};

// 8-bit (unsigned) or 16-bit (signed) PCM, one or two channels, 100..200000 Hz, consistent
// block alignment.
bool IsPlayablePcm(const WAVEFORMATEX& format);

// Converts `bytes` of PCM in `format` to stereo float frames at `rate` (linear interpolation
// when the rates differ; the first source frame stays the first output frame). A trailing partial
// frame is ignored. False when the format is not playable.
bool ConvertPcm(const WAVEFORMATEX& format, const BYTE* data, size_t bytes, int rate, std::vector<float>& out);

// DirectSound attenuation in hundredths of a decibel (0 full, -10000 silent) as a linear gain.
float AttenuationToGain(int32_t hundredthsDb);
// Left and right gains for a volume and a pan (-10000 left .. 10000 right): a positive pan lowers
// the left side by pan/100 dB, a negative one the right side.
void VolumePanGains(int32_t volume, int32_t pan, float& left, float& right);

using VoiceSamples = std::vector<float>;

class WaveMixer : public AudioSource {
public:
    explicit WaveMixer(std::unique_ptr<FrameTimeline> timeline, int maxVoices = 256, int queueCapacity = 4096);
    ~WaveMixer() override;
    WaveMixer(const WaveMixer&) = delete;
    WaveMixer& operator=(const WaveMixer&) = delete;

    int SampleRate() const { return rate_; }
    // The frame at which something done now (at the calling thread's logical time) sounds.
    int64_t FrameNow();

    // Control side: any thread. Returns -1 when every voice is in use.
    int CreateVoice();
    // The voice stops at `atFrame`; its number is reused once the audio thread has let it go.
    void DestroyVoice(int voice, int64_t atFrame);
    void SetSamples(int voice, std::shared_ptr<const VoiceSamples> samples, int64_t atFrame);
    void SetPosition(int voice, int64_t frame, int64_t atFrame);
    void Play(int voice, bool looping, int64_t atFrame);
    void Stop(int voice, int64_t atFrame);
    void SetGains(int voice, float left, float right, int64_t atFrame);
    // Whether the voice was sounding at the end of the last rendered block.
    bool IsPlaying(int voice) const;

    // Audio thread.
    void Render(float* out, int frames, int64_t firstFrame) override;
    // A start this many frames late (missed while the device was away) plays from where the
    // sound would be by now, so missed clicks do not pile onto the ones due now.
    static constexpr int64_t kStaleFrames = 4800;

    // Adds the mixer to the program's audio stream; the destructor removes it again.
    void AttachToStream();

private:
    enum class Op : uint8_t { Samples, Position, Play, Stop, Gains, Destroy };
    struct Command {
        Op op = Op::Stop;
        int voice = 0;
        int64_t frame = 0;
        int64_t arg = 0;
        float left = 0.0f, right = 0.0f;
        const VoiceSamples* samples = nullptr;
        uint64_t seq = 0;
    };
    struct Voice {
        const float* data = nullptr;
        int64_t length = 0;
        int64_t pos = 0;
        bool playing = false;
        bool looping = false;
        float left = 1.0f, right = 1.0f;
    };
    struct Retired {
        uint64_t seq;
        std::shared_ptr<const VoiceSamples> samples;
        int freeVoice;  // -1 or a voice number to reuse
    };

    bool Push(Command c);  // with mutex_ held
    void Collect();        // with mutex_ held
    void Apply(const Command& c);
    void Mix(float* out, int64_t frames);

    std::unique_ptr<FrameTimeline> timeline_;
    int rate_;
    bool attached_ = false;

    // control side
    std::mutex mutex_;
    uint64_t nextSeq_ = 1;
    std::vector<std::shared_ptr<const VoiceSamples>> current_;
    std::vector<bool> inUse_;
    std::vector<Retired> retired_;

    // shared: producers take mutex_, the audio thread consumes
    SpscQueue<Command> queue_;
    std::atomic<uint64_t> processed_{0};

    // audio side
    std::vector<Voice> voices_;
    std::unique_ptr<std::atomic<bool>[]> playing_;
};

// The mixer on the program's one audio stream, shared by DirectSound and PlaySound.
std::shared_ptr<WaveMixer> DefaultWaveMixer();

}  // namespace tikora::audio
