// Any bytes through format detection, with JPEG seeds leading into the JPEG decoder and its EXIF
// reader.
#include <cstddef>
#include <cstdint>

#include "PxFile.h"
#include "PxImage.h"
#include "PxImageBMP.h"
#include "PxImageJPG.h"

namespace {

// A few header bytes can ask for a picture of gigabytes, which is valid but makes each run take
// seconds under the sanitizers; such inputs are skipped so the fuzzer explores the decoders.
constexpr uint64_t kMaxPixels = 1u << 22;

template <class Decoder>
bool DimensionsTooLarge(const uint8_t* data, size_t size)
{
    PxMemFile file(data, size);
    Decoder decoder;
    decoder.SetEscape(-1);
    return decoder.Decode(&file) && static_cast<uint64_t>(decoder.GetWidth()) * decoder.GetHeight() > kMaxPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (DimensionsTooLarge<PxImageJPG>(data, size) || DimensionsTooLarge<PxImageBMP>(data, size))
        return 0;
    PxMemFile file(data, size);
    PxImage img;
    if (img.Decode(&file, 0)) {
        volatile uint32_t sink = 0;
        int32_t w = static_cast<int32_t>(img.GetWidth()), h = static_cast<int32_t>(img.GetHeight());
        sink = sink + img.GetPixelColor(0, 0).rgbRed + img.GetPixelColor(w - 1, h - 1).rgbBlue;
    }
    return 0;
}
