#pragma once
// The built-in General MIDI synthesizer (MIDI output device 0): FluidSynth rendered inside the
// audio stream's callback. Messages are stamped with the sender's logical time and sound at that
// time plus the stream's output latency. Without a sound font it accepts messages and stays silent.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AudioStream.h"
#include "SpscQueue.h"

namespace tikora::audio {

class GmSynth : public AudioSource {
public:
    // Loads the first sound font that exists: TIKORA_SOUNDFONT when set, then the Debian GM fonts.
    GmSynth();
    ~GmSynth() override;
    GmSynth(const GmSynth&) = delete;
    GmSynth& operator=(const GmSynth&) = delete;

    // Adds itself to the audio stream; the destructor removes it.
    void Attach();
    // Any thread. Returns false when the queue is full (the message is dropped).
    bool ShortMsg(uint32_t msg, int64_t logicalNs);
    // All notes off and sustain released on all 16 channels.
    bool Reset(int64_t logicalNs);
    bool HasSoundFont() const { return sfont_ >= 0; }
    const std::string& SoundFontPath() const { return sfontPath_; }

    void Render(float* out, int frames, int64_t firstFrame) override;

    // FluidSynth starts notes only at the start of its 64-sample blocks. It runs at twice the
    // stream's rate, so a block is 32 stream frames and a note lands within a third of a
    // millisecond of its time; a half-band filter brings the output down to the stream's rate.
    static constexpr int kOversample = 2;
    static constexpr int kBlock = 64 / kOversample;  // one synth block, in stream frames
    // The decimating filter delays the output by half its length (7.5 stream frames); notes are
    // started that much earlier so that they sound at their time.
    static constexpr int kFilterDelay = 8;
    // FluidSynth's default 0.2 leaves clicks near -20 dBFS; at this gain the loudest drum sound at
    // full velocity peaks near -1.6 dBFS, so a single click passes the limiter untouched.
    static constexpr float kGain = 1.75f;
    // Where several notes meet (a drum beat, a piece) the output is limited to -1 dBFS: the gain
    // drops at once to what keeps the peak there and comes back over about 80 ms.
    static constexpr float kLimit = 0.891f;
    static constexpr float kLimiterReleaseMs = 80.0f;
    // The synth block boundary at which an event due at `frame` starts: the nearest one, so that
    // the error stays within half a block. `origin` is the stream frame the synth started at.
    static int64_t BlockBoundary(int64_t frame, int64_t origin);
    // A note due this many stream frames ago or more is not started any more: it was missed while
    // the device was away or the stream stood still, and started now it would pile onto the
    // notes due now. Other messages still take effect, late. The first beat after a reset (the
    // start of playing) is never left out: its notes sound as soon as they can, however late.
    static constexpr int64_t kStaleFrames = 4800;

private:
    struct Item {
        int64_t ns;
        uint32_t msg;
        bool reset;
    };
    bool Push(const Item& item);
    void Apply(const Item& item);
    void RenderSynth(float* out, int frames);

    SpscQueue<Item> queue_{8192};
    std::mutex producerMutex_;  // producers take turns; the audio thread never takes it

    void* settings_ = nullptr;
    void* synth_ = nullptr;
    int sfont_ = -1;
    std::string sfontPath_;
    bool attached_ = false;
    bool haveOrigin_ = false;
    int64_t origin_ = 0;
    // The time of the first note after the last reset, while that note has not yet been started:
    // every note of that moment sounds, however late (audio thread).
    bool awaitingFirst_ = true;
    int64_t firstNs_ = 0;
    std::vector<float> scratch_;
    // The decimator's input history: the last kTaps - 1 synth samples of each channel.
    static constexpr int kTaps = 31;
    float history_[2][kTaps - 1] = {};
    std::vector<float> decimated_;  // one scratch block at the stream's rate
    float limiterRelease_;          // of the gain's way back to 1, per stream frame
    float limiterGain_ = 1.0f;
};

}  // namespace tikora::audio
