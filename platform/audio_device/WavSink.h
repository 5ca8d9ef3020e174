#pragma once
// Writes what the null sink plays to a 16-bit stereo PCM WAV file. The header's sizes are kept
// current every second, so a file of a process that died is still readable up to that point.
#include <cstdint>
#include <cstdio>
#include <string>

namespace tikora::audio {

class WavSink {
public:
    WavSink() = default;
    ~WavSink();
    WavSink(const WavSink&) = delete;
    WavSink& operator=(const WavSink&) = delete;
    bool Open(const std::string& path, int rate);
    void Write(const float* interleaved, int frames);
    void Close();

private:
    void PatchSizes();
    std::FILE* file_ = nullptr;
    int rate_ = 0;
    uint64_t dataBytes_ = 0;
    uint64_t bytesSincePatch_ = 0;
};

}  // namespace tikora::audio
