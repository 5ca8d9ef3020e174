// Any bytes through format detection: BMP and PNG seeds lead into their decoders, the rest must
// be refused cleanly.
#include <cstddef>
#include <cstdint>

#include "PxFile.h"
#include "PxImage.h"
#include "PxImageBMP.h"

namespace {

// A few header bytes can ask for a picture of gigabytes, which is valid but makes each run take
// seconds under the sanitizers; such inputs are skipped so the fuzzer explores the decoders.
constexpr uint64_t kMaxPixels = 1u << 22;

bool TooLarge(const uint8_t* data, size_t size)
{
    PxMemFile file(data, size);
    PxImageBMP bmp;
    bmp.SetEscape(-1);
    if (bmp.Decode(&file) && static_cast<uint64_t>(bmp.GetWidth()) * bmp.GetHeight() > kMaxPixels)
        return true;
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 24) {
        bool png = true;
        for (int i = 0; i < 8; i++)
            png = png && data[i] == kPng[i];
        auto be32 = [&](size_t o) {
            return (uint64_t{data[o]} << 24) | (uint64_t{data[o + 1]} << 16) | (uint64_t{data[o + 2]} << 8) | data[o + 3];
        };
        if (png && be32(16) * be32(20) > kMaxPixels)
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (TooLarge(data, size))
        return 0;
    PxMemFile file(data, size);
    PxImage img;
    if (img.Decode(&file, 0)) {
        volatile uint32_t sink = 0;
        int32_t w = static_cast<int32_t>(img.GetWidth()), h = static_cast<int32_t>(img.GetHeight());
        sink = sink + img.GetPixelColor(0, 0).rgbRed + img.GetPixelColor(w - 1, h - 1).rgbBlue;
        sink = sink + img.AlphaGet(w - 1, h - 1);
    }
    return 0;
}
