// Any bytes through format detection, with GIF, ICO, TGA and PCX seeds leading into their
// decoders.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "PxFile.h"
#include "PxImage.h"
#include "PxImageBMP.h"
#include "PxImageGIF.h"

namespace {

// Headers can ask for pictures of a gigabyte, which are valid but make each run take seconds;
// such inputs are skipped so that the fuzzer explores the decoders instead.
constexpr uint64_t kMaxPixels = 1u << 22;

uint32_t U16(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}

// Decoders with a header-only mode size themselves.
template <class Decoder>
bool HeaderTooLarge(const uint8_t* data, size_t size)
{
    PxMemFile file(data, size);
    Decoder dec;
    dec.SetEscape(-1);
    return dec.Decode(&file) && uint64_t{dec.GetWidth()} * dec.GetHeight() > kMaxPixels;
}

bool TooLarge(const uint8_t* data, size_t size)
{
    if (HeaderTooLarge<PxImageBMP>(data, size) || HeaderTooLarge<PxImageGIF>(data, size))
        return true;
    if (size >= 12 && data[0] == 10) {
        int32_t w = static_cast<int32_t>(U16(data + 8)) - static_cast<int32_t>(U16(data + 4)) + 1;
        int32_t h = static_cast<int32_t>(U16(data + 10)) - static_cast<int32_t>(U16(data + 6)) + 1;
        if (w > 0 && h > 0 && uint64_t(w) * uint64_t(h) > kMaxPixels)
            return true;
    }
    // Files without a signature may reach the TGA decoder whatever else they look like.
    return size >= 16 && uint64_t{U16(data + 12)} * U16(data + 14) > kMaxPixels;
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
