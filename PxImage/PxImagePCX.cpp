#include "PxImagePCX.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "PxLeReader.h"

namespace {

struct PcxError {
    const char* text;
};

// The library's own error text is already in place (Create keeps its reason).
struct PcxKeepError {};

// The buffer grows with what the stream delivers, not with what the header promises: a run byte
// stands for at most 63 bytes, so a short stream can never ask for much memory.
void DecodeRunLength(PxFile* f, std::vector<uint8_t>& out, uint64_t expected) {
    out.reserve(static_cast<size_t>(std::min<uint64_t>(expected, 1u << 20)));
    uint64_t done = 0;
    while (done < expected) {
        if (f->Eof()) throw PcxError{"corrupted PCX"};
        int32_t c = f->GetC();
        if (c < 0) throw PcxError{"corrupted PCX"};
        if ((c & 0xC0) == 0xC0) {
            uint32_t count = static_cast<uint32_t>(c & 0x3F);
            int32_t value = f->GetC();
            if (value < 0) throw PcxError{"corrupted PCX"};
            if (count > expected - done) throw PcxError{"repeat count spans end of image"};
            out.insert(out.end(), count, static_cast<uint8_t>(value));
            done += count;
        } else {
            out.push_back(static_cast<uint8_t>(c));
            done++;
        }
    }
}

}  // namespace

bool PxImagePCX::Decode(PxFile* hFile) {
    if (!hFile) return false;

    try {
        uint8_t raw[128];
        const PxLeReader h = PxLeReader::FromFile(hFile, raw, sizeof(raw));
        if (!h.Has(0, sizeof(raw))) throw PcxError{"Can't read PCX image"};
        uint8_t manufacturer = h.U8(0);
        uint8_t encoding = h.U8(2);
        int32_t bitsPerPixel = h.U8(3);
        int32_t xmin = h.U16(4), ymin = h.U16(6), xmax = h.U16(8), ymax = h.U16(10);
        int32_t hdpi = h.U16(12), vdpi = h.U16(14);
        const uint8_t* colorMap = raw + 16;
        int32_t planes = static_cast<int8_t>(h.U8(65));
        int32_t bytesPerLine = h.U16(66);

        if (manufacturer != 10) throw PcxError{"Error: Not a PCX file"};
        if (encoding != 1) throw PcxError{"PCX file has unknown encoding scheme"};

        int32_t width = xmax - xmin + 1;
        int32_t height = ymax - ymin + 1;
        // Stored as they are; Create derives the header's pixels per metre from them.
        info.xDPI = hdpi;
        info.yDPI = vdpi;
        if (planes > 4) throw PcxError{"Can't handle image with more than 4 planes"};

        bool trueColour = planes >= 3 && bitsPerPixel == 8;
        uint32_t depth = static_cast<uint32_t>(bitsPerPixel);
        if (trueColour)
            depth = 24;
        else if (planes > 1 && bitsPerPixel == 1)
            depth = 4;  // two to four 1-bit planes give up to 16 colours
        // A bad size (x max below x min) must not become a huge unsigned one; Create refuses 0
        // with its own message.
        if (!Create(static_cast<uint32_t>(std::max(width, 0)), static_cast<uint32_t>(std::max(height, 0)), depth,
                    PXIMAGE_FORMAT_PCX))
            throw PcxKeepError{};
        if (planes == 4 && trueColour) AlphaCreate();
        if (info.nEscape) throw PcxError{"Cancelled"};

        uint64_t lineBytes = static_cast<uint64_t>(bytesPerLine) * static_cast<uint64_t>(std::max(planes, 0));
        std::vector<uint8_t> data;
        DecodeRunLength(hFile, data, lineBytes * static_cast<uint64_t>(height));

        uint8_t pal[256][3] = {};
        std::memcpy(pal, colorMap, 48);
        if (bitsPerPixel == 8 && planes == 1) {
            if (hFile->GetC() != 12) throw PcxError{"bad color map signature"};
            for (int32_t i = 0; i < 256; i++)
                for (int32_t k = 0; k < 3; k++) pal[i][k] = static_cast<uint8_t>(std::max(hFile->GetC(), 0));
        }
        if (bitsPerPixel == 1 && planes == 1) {
            pal[0][0] = pal[0][1] = pal[0][2] = 0;
            pal[1][0] = pal[1][1] = pal[1][2] = 255;
        }
        for (uint32_t i = 0; i < head.biClrUsed && i < 256; i++)
            SetPaletteColor(static_cast<uint8_t>(i), pal[i][0], pal[i][1], pal[i][2], 0);

        std::vector<uint8_t> line(static_cast<size_t>(bytesPerLine) * 8 + static_cast<size_t>(width), 0);
        int32_t plane = bytesPerLine;
        for (int32_t y = 0; y < height; y++) {
            if (info.nEscape) throw PcxError{"Cancelled"};
            const uint8_t* src = data.data() + lineBytes * static_cast<uint64_t>(y);
            int32_t py = height - 1 - y;
            if (trueColour) {
                // Bytes a short line does not hold read as 0.
                auto at = [&](int32_t p, int32_t x) -> uint8_t { return x < plane ? src[p * plane + x] : 0; };
                uint8_t* row = GetBits(static_cast<uint32_t>(py));
                for (int32_t x = 0; x < width; x++) {
                    row[3 * x] = at(2, x);
                    row[3 * x + 1] = at(1, x);
                    row[3 * x + 2] = at(0, x);
                    if (planes == 4) AlphaSet(x, py, at(3, x));
                }
            } else {
                if (planes > 1)
                    MergePlanes(line.data(), src, bytesPerLine, planes, bitsPerPixel);
                else
                    UnpackRow(line.data(), src, bytesPerLine, planes, bitsPerPixel);
                for (int32_t x = 0; x < width; x++) SetPixelIndex(x, py, line[static_cast<size_t>(x)]);
            }
        }
    } catch (const PcxError& e) {
        SetLastError(e.text);
        return false;
    } catch (const PcxKeepError&) {
        return false;
    }
    return true;
}

void PxImagePCX::UnpackRow(uint8_t* pixels, const uint8_t* bitplanes, int32_t bytesperline, int32_t planes,
                           int32_t bitsperpixel) {
    if (planes != 1) throw PcxError{"Can't handle packed pixels with more than 1 plane."};
    for (int32_t i = 0; i < bytesperline; i++) {
        uint8_t bits = bitplanes[i];
        switch (bitsperpixel) {
            case 8:
                *pixels++ = bits;
                break;
            case 4:
                *pixels++ = static_cast<uint8_t>(bits >> 4);
                *pixels++ = static_cast<uint8_t>(bits & 0x0F);
                break;
            case 2:
                for (int32_t s = 6; s >= 0; s -= 2) *pixels++ = static_cast<uint8_t>((bits >> s) & 0x03);
                break;
            case 1:
                for (int32_t s = 7; s >= 0; s--) *pixels++ = static_cast<uint8_t>((bits >> s) & 0x01);
                break;
            default:
                break;
        }
    }
}

void PxImagePCX::MergePlanes(uint8_t* pixels, const uint8_t* bitplanes, int32_t bytesperline, int32_t planes,
                             int32_t bitsperpixel) {
    if (planes > 4) throw PcxError{"Can't handle more than 4 planes"};
    if (bitsperpixel != 1) throw PcxError{"Can't handle more than 1 bit per pixel"};
    std::memset(pixels, 0, static_cast<size_t>(bytesperline) * 8 / static_cast<size_t>(bitsperpixel));
    for (int32_t p = 0; p < planes; p++) {
        uint8_t pixbit = static_cast<uint8_t>(1 << p);
        for (int32_t i = 0; i < bytesperline; i++) {
            uint8_t bits = *bitplanes++;
            for (int32_t b = 0; b < 8; b++)
                if (bits & (0x80 >> b)) pixels[i * 8 + b] = static_cast<uint8_t>(pixels[i * 8 + b] | pixbit);
        }
    }
}
