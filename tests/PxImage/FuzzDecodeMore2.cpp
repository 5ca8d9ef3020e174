// Any bytes through format detection, seeded with TIFF and WMF/EMF files: libtiff's stream
// procedures, the raw strip and tile routes and the metafile player must refuse or draw
// whatever they are given.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "PxFile.h"
#include "PxImage.h"
#include "PxImageBMP.h"
#include "PxImageTIF.h"

namespace {

// Valid headers can ask for pictures that take seconds to fill under the sanitizers; those
// inputs are skipped so the fuzzer explores the decoders instead.
constexpr uint64_t kMaxPixels = 1u << 20;

uint32_t Le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }

bool TooLarge(const uint8_t* data, size_t size)
{
    {
        PxMemFile file(data, size);
        PxImageBMP bmp;
        bmp.SetEscape(-1);
        if (bmp.Decode(&file) && uint64_t{bmp.GetWidth()} * bmp.GetHeight() > kMaxPixels)
            return true;
    }
    {
        PxMemFile file(data, size);
        PxImageTIF tif;
        tif.SetEscape(-1);
        if (tif.Decode(&file) && uint64_t{tif.GetWidth()} * tif.GetHeight() > kMaxPixels)
            return true;
    }
    if (size >= 22 && Le32(data) == 0x9AC6CDD7u) {
        const int64_t w = static_cast<int16_t>(Le16(data + 10)) - static_cast<int16_t>(Le16(data + 6));
        const int64_t h = static_cast<int16_t>(Le16(data + 12)) - static_cast<int16_t>(Le16(data + 8));
        const int64_t inch = Le16(data + 14);
        if (inch > 0 && (w * 96 / inch) * (h * 96 / inch) > static_cast<int64_t>(kMaxPixels))
            return true;
    }
    if (size >= 24 && Le32(data) == 1) {
        const int64_t w = static_cast<int64_t>(static_cast<int32_t>(Le32(data + 16))) - static_cast<int32_t>(Le32(data + 8));
        const int64_t h = static_cast<int64_t>(static_cast<int32_t>(Le32(data + 20))) - static_cast<int32_t>(Le32(data + 12));
        if (w > 0 && h > 0 && std::min<int64_t>(w, 4000) * std::min<int64_t>(h, 4000) > static_cast<int64_t>(kMaxPixels))
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
