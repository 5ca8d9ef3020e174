// Any bytes through format detection. The image fuzz targets share this harness and differ only in
// their seed corpus, which leads the fuzzer into one group of decoders each.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "PxFile.h"
#include "PxImage.h"
#include "PxImageBMP.h"
#include "PxImageGIF.h"
#include "PxImageJPG.h"
#include "PxImageTIF.h"

namespace {

// A few header bytes can ask for a picture of gigabytes, which is valid but makes each run take
// seconds under the sanitizers; such inputs are skipped so that the fuzzer explores the decoders.
constexpr uint64_t kMaxPixels = 1u << 20;

uint32_t Le16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }
uint64_t Be32(const uint8_t* p) { return (uint64_t{p[0]} << 24) | (uint64_t{p[1]} << 16) | (uint64_t{p[2]} << 8) | p[3]; }

// Decoders with a header-only mode size themselves.
template <class Decoder>
bool HeaderTooLarge(const uint8_t* data, size_t size)
{
    PxMemFile file(data, size);
    Decoder decoder;
    decoder.SetEscape(-1);
    return decoder.Decode(&file) && uint64_t{decoder.GetWidth()} * decoder.GetHeight() > kMaxPixels;
}

bool TooLarge(const uint8_t* data, size_t size)
{
    if (HeaderTooLarge<PxImageBMP>(data, size) || HeaderTooLarge<PxImageGIF>(data, size) ||
        HeaderTooLarge<PxImageJPG>(data, size) || HeaderTooLarge<PxImageTIF>(data, size))
        return true;
    // A GIF's frames are composed onto its logical screen, whatever the frames' own sizes.
    if (size >= 10 && std::equal(data, data + 4, reinterpret_cast<const uint8_t*>("GIF8")) &&
        uint64_t{Le16(data + 6)} * Le16(data + 8) > kMaxPixels)
        return true;
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 24 && std::equal(kPng, kPng + 8, data) && Be32(data + 16) * Be32(data + 20) > kMaxPixels)
        return true;
    if (size >= 12 && data[0] == 10) {  // PCX
        int64_t w = int64_t{Le16(data + 8)} - Le16(data + 4) + 1;
        int64_t h = int64_t{Le16(data + 10)} - Le16(data + 6) + 1;
        if (w > 0 && h > 0 && uint64_t(w) * uint64_t(h) > kMaxPixels)
            return true;
    }
    if (size >= 22 && Le32(data) == 0x9AC6CDD7u) {  // placeable metafile
        const int64_t w = static_cast<int16_t>(Le16(data + 10)) - static_cast<int16_t>(Le16(data + 6));
        const int64_t h = static_cast<int16_t>(Le16(data + 12)) - static_cast<int16_t>(Le16(data + 8));
        const int64_t inch = Le16(data + 14);
        if (inch > 0 && (w * 96 / inch) * (h * 96 / inch) > static_cast<int64_t>(kMaxPixels))
            return true;
    }
    if (size >= 24 && Le32(data) == 1) {  // enhanced metafile
        const int64_t w = int64_t{static_cast<int32_t>(Le32(data + 16))} - static_cast<int32_t>(Le32(data + 8));
        const int64_t h = int64_t{static_cast<int32_t>(Le32(data + 20))} - static_cast<int32_t>(Le32(data + 12));
        if (w > 0 && h > 0 && std::min<int64_t>(w, 4000) * std::min<int64_t>(h, 4000) > static_cast<int64_t>(kMaxPixels))
            return true;
    }
    // Files without a signature may reach the TGA decoder whatever else they look like.
    return size >= 16 && uint64_t{Le16(data + 12)} * Le16(data + 14) > kMaxPixels;
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
        const int32_t w = static_cast<int32_t>(img.GetWidth()), h = static_cast<int32_t>(img.GetHeight());
        sink = sink + img.GetPixelColor(0, 0).rgbRed + img.GetPixelColor(w - 1, h - 1).rgbBlue;
        sink = sink + img.AlphaGet(w - 1, h - 1);
        // Smoothed sampling over the decoded picture, edges and beyond included.
        sink = sink + img.InterpolatedPixelColor(-0.5f, static_cast<float>(h) - 0.25f, PXIMAGE_IM_BILINEAR,
                                                 PXIMAGE_OM_REPEAT).rgbGreen;
        sink = sink + img.InterpolatedPixelColor(static_cast<float>(w) * 0.5f, 0.3f, PXIMAGE_IM_LANCZOS,
                                                 PXIMAGE_OM_MIRROR).rgbRed;
    }
    return 0;
}
