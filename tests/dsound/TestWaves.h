#pragma once
// Builds wave files byte by byte for the tests, and a timeline that tests drive by hand.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Exception.h"
#include "WaveVoices.h"

namespace testwaves {

struct Chunk {
    std::string id;
    std::vector<uint8_t> body;
    int64_t claimedSize = -1;  // the size written in the header when it differs from the body
};

inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

inline std::vector<uint8_t> FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    std::vector<uint8_t> b;
    uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * align);
    Put16(b, align);
    Put16(b, bits);
    return b;
}

// WAVE_FORMAT_EXTENSIBLE with the given sub-format's first GUID word (1 is PCM).
inline std::vector<uint8_t> ExtensibleBody(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t subFormat) {
    std::vector<uint8_t> b = FmtBody(0xFFFE, channels, rate, bits);
    Put16(b, 22);
    Put16(b, bits);
    Put32(b, channels == 1 ? 4 : 3);
    Put32(b, subFormat);
    for (uint8_t x : {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) b.push_back(x);
    return b;
}

inline std::vector<uint8_t> Riff(const std::vector<Chunk>& chunks, const std::string& form = "WAVE") {
    std::vector<uint8_t> body(form.begin(), form.end());
    for (const Chunk& c : chunks) {
        body.insert(body.end(), c.id.begin(), c.id.end());
        Put32(body, static_cast<uint32_t>(c.claimedSize >= 0 ? c.claimedSize : static_cast<int64_t>(c.body.size())));
        body.insert(body.end(), c.body.begin(), c.body.end());
        if (c.body.size() & 1) body.push_back(0);
    }
    std::vector<uint8_t> file{'R', 'I', 'F', 'F'};
    Put32(file, static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

inline std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> b;
    for (int16_t s : samples) Put16(b, static_cast<uint16_t>(s));
    return b;
}

// A plain PCM file with the given sample bytes.
inline std::vector<uint8_t> Wave(uint16_t channels, uint32_t rate, uint16_t bits, const std::vector<uint8_t>& data) {
    return Riff({{"fmt ", FmtBody(1, channels, rate, bits)}, {"data", data}});
}

inline std::string TempDir() {
    const char* t = std::getenv("TIKORA_TEST_TMP");
    std::filesystem::path p = std::filesystem::path(t ? t : "/tmp") / "dsound";
    std::filesystem::create_directories(p);
    return p.string();
}

inline std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = TempDir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

// The message of the Exception that `f` raises, or "" when it raises none.
template <typename F>
std::string MessageOf(F f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message.str();
    }
    return "";
}

// 48 kHz; the frame of a logical time is its sample count plus a fixed latency.
class ManualTimeline : public tikora::audio::FrameTimeline {
public:
    static constexpr int64_t kLatencyFrames = 1440;
    int SampleRate() override { return 48000; }
    int64_t FrameForTime(int64_t ns) override { return ns * 48000 / 1000000000 + kLatencyFrames; }
};

// Renders frames [first, first + count) of `mixer` into a fresh buffer.
inline std::vector<float> Render(tikora::audio::WaveMixer& mixer, int64_t first, int count) {
    std::vector<float> out(static_cast<size_t>(count) * 2, 0.0f);
    mixer.Render(out.data(), count, first);
    return out;
}

}  // namespace testwaves
