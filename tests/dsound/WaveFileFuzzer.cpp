// Any bytes as a wave file: LoadWav either loads it within the bytes present or raises Exception,
// and DirectSound's conversion of what loaded stays inside the data.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Exception.h"
#include "WaveVoices.h"
#include "Waveutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/wave_file_fuzzer." + std::to_string(::getpid()) + ".wav";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    try {
        WAVEFORMATEX format;
        std::vector<BYTE> bytes;
        DWORD n = LoadWav(path.c_str(), &format, bytes);
        if (n > size || bytes.size() != n) __builtin_trap();
        std::vector<float> out;
        tikora::audio::ConvertPcm(format, bytes.data(), bytes.size(), 48000, out);
    } catch (const Exception&) {
    }
    return 0;
}
