#include "WavSink.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <sys/types.h>

namespace tikora::audio {

namespace {
void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}
constexpr uint32_t kMaxData = 0xFFFFFFFFu - 36;
}  // namespace

WavSink::~WavSink() { Close(); }

bool WavSink::Open(const std::string& path, int rate) {
    Close();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    rate_ = rate;
    dataBytes_ = 0;
    uint8_t h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    Put32(h + 16, 16);
    Put16(h + 20, 1);  // PCM
    Put16(h + 22, 2);
    Put32(h + 24, static_cast<uint32_t>(rate));
    Put32(h + 28, static_cast<uint32_t>(rate) * 4);
    Put16(h + 32, 4);
    Put16(h + 34, 16);
    std::copy_n("data", 4, h + 36);
    if (std::fwrite(h, 1, sizeof h, file_) != sizeof h) {
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    PatchSizes();
    return true;
}

void WavSink::Write(const float* in, int frames) {
    if (!file_ || frames <= 0) return;
    if (dataBytes_ + static_cast<uint64_t>(frames) * 4 > kMaxData) return;  // RIFF's 4 GB limit
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * 4);
    for (int i = 0; i < frames * 2; ++i) {
        float v = std::clamp(in[i], -1.0f, 1.0f);
        auto s = static_cast<int16_t>(std::lrint(v * 32767.0f));
        Put16(&bytes[static_cast<size_t>(i) * 2], static_cast<uint16_t>(s));
    }
    size_t n = std::fwrite(bytes.data(), 1, bytes.size(), file_);
    dataBytes_ += n;
    bytesSincePatch_ += n;
    if (bytesSincePatch_ >= static_cast<uint64_t>(rate_) * 4) PatchSizes();
}

void WavSink::PatchSizes() {
    if (!file_) return;
    bytesSincePatch_ = 0;
    off_t pos = ftello(file_);
    uint8_t b[4];
    Put32(b, static_cast<uint32_t>(36 + dataBytes_));
    fseeko(file_, 4, SEEK_SET);
    std::fwrite(b, 1, 4, file_);
    Put32(b, static_cast<uint32_t>(dataBytes_));
    fseeko(file_, 40, SEEK_SET);
    std::fwrite(b, 1, 4, file_);
    fseeko(file_, pos, SEEK_SET);
    std::fflush(file_);
}

void WavSink::Close() {
    if (!file_) return;
    PatchSizes();
    std::fclose(file_);
    file_ = nullptr;
}

}  // namespace tikora::audio
