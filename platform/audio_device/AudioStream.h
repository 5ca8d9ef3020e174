#pragma once
// The one audio output stream of the program (float stereo). Everything that sounds is an
// AudioSource mixed by the audio thread: the built-in synthesizer, DirectSound buffers, PlaySound.
// Events are placed on the stream's timeline by their logical time plus a fixed output latency,
// so a sound starts at a constant delay after the moment that caused it.
#include <cstdint>

namespace tikora::audio {

class AudioSource {
public:
    virtual ~AudioSource() = default;
    // Adds `frames` interleaved stereo frames (L, R) into `out`; out[0] is stream frame
    // `firstFrame`. Runs on the audio thread and must never block or allocate.
    virtual void Render(float* out, int frames, int64_t firstFrame) = 0;
};

// Opens the stream on first use: SDL2 when a device opens, else the null sink paced by the
// monotonic clock (writing a WAV file when TIKORA_AUDIO_FILE names one). Safe from any thread.
// With a device it returns once the device plays at its own pace (at most 3 s), so that the first
// events are placed where they will sound. When the device goes away, the null sink keeps time
// until the default device can be opened again.
void EnsureStarted();
int SampleRate();
// The fixed delay between an event's logical time and the moment it sounds.
int64_t OutputLatencyNs();
// How long after a block is mixed the output device plays it: its buffer (0 for the null sink,
// whose blocks are written when due).
int64_t DeviceBufferNs();
// The stream frame at which an event stamped with logical time `ns` sounds (latency included).
int64_t FrameForTime(int64_t ns);

// Sources are added and removed from any thread; a removed source is no longer rendered once
// RemoveSource returns.
void AddSource(AudioSource* source);
void RemoveSource(AudioSource* source);

// Gain applied to the whole mix, 0..1 (the volume control falls back to it without a mixer).
void SetMasterGain(float gain);
float MasterGain();

// Stops the sink and completes the WAV file; the stream does not start again. Runs at exit too.
void Shutdown();
// CPU time the audio thread has spent mixing, and the frames mixed so far (for measurements).
int64_t AudioCallbackCpuNs();
int64_t FramesRendered();
// How often the default device was opened again after it went away (the null sink plays between).
int DeviceReopenCount();
// True when no sound device is in use: the paced null sink (optionally writing a WAV file) plays.
// TIKORA_AUDIO_SINK=null forces it, as does TIKORA_AUDIO_FILE.
bool UsingNullSink();

}  // namespace tikora::audio
