#pragma once
// The audio stream without a device or threads of its own (internal to platform/audio_device, for
// tests): the caller is the device, the null sink's thread and the supervisor, at the time of the
// installed clock (a TestClock). Each call runs the stream's own code for that thread, so a test
// sees what a device plays around a loss and a reopen.
#include <cstdint>
#include <memory>

#include "AudioStream.h"

namespace tikora::audio {

class Stream;

class DrivenStream {
public:
    static constexpr int kNullSinkFrames = 256;

    DrivenStream();
    ~DrivenStream();
    void AddSource(AudioSource* source);
    // As FrameForTime, on this stream's timeline.
    int64_t FrameForTime(int64_t ns) const;
    // The device's callback for its next `frames` frames.
    void DeviceCallback(float* out, int frames);
    // The device went away: the null sink keeps time from now on.
    void LoseDevice();
    // One turn of the null sink's thread: 0 when it mixed its next block into `block`
    // (kNullSinkFrames frames), else how long until that block is due; -1 once a device has taken
    // the stream over.
    int64_t NullSinkTurn(float* block);
    // The default device opened again: its callbacks play silence until it takes the stream over.
    void ReopenDevice();

private:
    std::unique_ptr<Stream> stream_;
};

}  // namespace tikora::audio
