// Any bytes through format detection. The image fuzz targets share this harness and differ only in
// their seed corpus, which leads the fuzzer into one group of decoders each.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "PxFile.h"
#include "PxImage.h"
#include "PxImageBMP.h"
#include "PxImageGIF.h"
#include "PxImageJPG.h"
#include "PxImageTIF.h"
#include "PxLeReader.h"

namespace {

// A few header bytes can ask for a picture of gigabytes, which is valid but makes each run take
// seconds under the sanitizers; such inputs are skipped so that the fuzzer explores the decoders.
constexpr uint64_t kMaxPixels = 1u << 20;

uint64_t Be32(const uint8_t* p) {
    return (uint64_t{p[0]} << 24) | (uint64_t{p[1]} << 16) | (uint64_t{p[2]} << 8) | p[3];
}

// Decoders with a header-only mode size themselves; none when the decoder does not take the input.
template <class Decoder>
std::optional<uint64_t> HeaderPixels(const uint8_t* data, size_t size) {
    PxMemFile file(data, size);
    Decoder decoder;
    decoder.SetEscape(-1);
    // The BMP decoder's header mode answers true with no size for what it does not take.
    if (!decoder.Decode(&file)) return std::nullopt;
    const uint64_t pixels = uint64_t{decoder.GetWidth()} * decoder.GetHeight();
    if (pixels == 0) return std::nullopt;
    return pixels;
}

bool Starts(const uint8_t* data, size_t size, const char* magic, size_t n) {
    return size >= n && std::memcmp(data, magic, n) == 0;
}

// The size the input asks for, judged by the format its signature names; a file of one format is
// never judged by another format's fields.
bool TooLarge(const uint8_t* data, size_t size) {
    const PxLeReader r(data, size);
    if (Starts(data, size, "\x89PNG\r\n\x1a\n", 8)) return size >= 24 && Be32(data + 16) * Be32(data + 20) > kMaxPixels;
    // A GIF's frames are composed onto its logical screen, whatever the frames' own sizes.
    if (Starts(data, size, "GIF8", 4)) return uint64_t{r.U16(6)} * r.U16(8) > kMaxPixels;
    if (r.U32(0) == 0x9AC6CDD7u) {  // placeable metafile
        const int64_t w = r.I16(10) - r.I16(6), h = r.I16(12) - r.I16(8), inch = r.U16(14);
        return inch > 0 && (w * 96 / inch) * (h * 96 / inch) > static_cast<int64_t>(kMaxPixels);
    }
    if (r.U32(0) == 1 && size >= 24) {  // enhanced metafile
        const int64_t w = int64_t{r.I32(16)} - r.I32(8), h = int64_t{r.I32(20)} - r.I32(12);
        return w > 0 && h > 0 &&
               std::min<int64_t>(w, 4000) * std::min<int64_t>(h, 4000) > static_cast<int64_t>(kMaxPixels);
    }
    for (auto pixels : {HeaderPixels<PxImageBMP>(data, size), HeaderPixels<PxImageJPG>(data, size),
                        HeaderPixels<PxImageTIF>(data, size)})
        if (pixels && *pixels > kMaxPixels) return true;
    if (Starts(data, size, "BM", 2) || Starts(data, size, "\xFF\xD8", 2) || Starts(data, size, "II*\0", 4) ||
        Starts(data, size, "MM\0*", 4))
        return false;
    // Files without a signature may reach the TGA decoder, and those starting with 10 the PCX
    // decoder, whatever else they look like (icons hold at most 256 by 256 pixels).
    if (size >= 16 && uint64_t{r.U16(12)} * r.U16(14) > kMaxPixels) return true;
    const int64_t w = int64_t{r.U16(8)} - r.U16(4) + 1, h = int64_t{r.U16(10)} - r.U16(6) + 1;
    return size >= 12 && data[0] == 10 && w > 0 && h > 0 && uint64_t(w) * uint64_t(h) > kMaxPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (TooLarge(data, size)) return 0;
    PxMemFile file(data, size);
    PxImage img;
    if (img.Decode(&file, 0)) {
        volatile uint32_t sink = 0;
        const int32_t w = static_cast<int32_t>(img.GetWidth()), h = static_cast<int32_t>(img.GetHeight());
        sink = sink + img.GetPixelColor(0, 0).rgbRed + img.GetPixelColor(w - 1, h - 1).rgbBlue;
        sink = sink + img.AlphaGet(w - 1, h - 1);
        // Smoothed sampling over the decoded picture, edges and beyond included.
        sink = sink +
               img.InterpolatedPixelColor(-0.5f, static_cast<float>(h) - 0.25f, PXIMAGE_IM_BILINEAR, PXIMAGE_OM_REPEAT)
                   .rgbGreen;
        sink =
            sink + img.InterpolatedPixelColor(static_cast<float>(w) * 0.5f, 0.3f, PXIMAGE_IM_LANCZOS, PXIMAGE_OM_MIRROR)
                       .rgbRed;
    }
    return 0;
}
