#include "PxImageICO.h"

#include <memory>
#include <new>
#include <vector>

namespace {

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct IconDirEntry {
    uint8_t width;
    uint8_t height;
    uint32_t imageOffset;
};

}  // namespace

bool PxImageICO::Decode(PxFile* hFile)
{
    if (!hFile)
        return false;
    int32_t base = hFile->Tell();

    uint8_t header[6];
    if (hFile->Read(header, 1, sizeof(header)) != sizeof(header))
        return false;
    uint16_t reserved = U16(header);
    uint16_t type = U16(header + 2);
    uint16_t count = U16(header + 4);
    if (reserved != 0 || (type != 1 && type != 2))
        return false;

    info.nNumFrames = count;
    std::vector<IconDirEntry> dir(count);
    for (uint16_t i = 0; i < count; i++) {
        uint8_t e[16];
        // Entries the stream does not hold would be undefined: no icon then.
        if (hFile->Read(e, 1, sizeof(e)) != sizeof(e))
            return false;
        dir[i].width = e[0];
        dir[i].height = e[1];
        dir[i].imageOffset = U32(e + 12);
    }
    if (info.nFrame < 0 || info.nFrame >= count)
        return false;
    const IconDirEntry& entry = dir[static_cast<size_t>(info.nFrame)];

    int64_t at = static_cast<int64_t>(base) + entry.imageOffset;
    uint8_t bih[40];
    if (at > INT32_MAX || !hFile->Seek(static_cast<int32_t>(at), SEEK_SET) ||
        hFile->Read(bih, 1, sizeof(bih)) != sizeof(bih))
        return false;
    uint16_t bitCount = U16(bih + 14);

    // An entry of width or height 0 (256 pixels) leaves the image without pixels.
    if (!Create(entry.width, entry.height, bitCount, PXIMAGE_FORMAT_ICO))
        return true;

    if (uint32_t palBytes = GetPaletteSize()) {
        uint8_t raw[256 * 4] = {};
        hFile->Read(raw, 1, palBytes);
        RGBQUAD pal[256];
        for (uint32_t i = 0; i < head.biClrUsed; i++)
            pal[i] = RGBQUAD{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], raw[4 * i + 3]};
        SetPalette(pal, head.biClrUsed);
    }

    int32_t width = head.biWidth;
    int32_t height = head.biHeight;
    if (bitCount <= 24) {
        hFile->Read(GetBits(0), 1, head.biSizeImage);
    } else {
        size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
        std::vector<uint8_t> src(bytes, 0);
        hFile->Read(src.data(), 1, bytes);
        AlphaCreate();
        for (int32_t y = 0; y < height; y++) {
            uint8_t* dst = GetBits(static_cast<uint32_t>(y));
            const uint8_t* s = src.data() + static_cast<size_t>(y) * width * 4;
            for (int32_t x = 0; x < width; x++) {
                dst[3 * x] = s[4 * x];
                dst[3 * x + 1] = s[4 * x + 1];
                dst[3 * x + 2] = s[4 * x + 2];
                AlphaSet(x, y, s[4 * x + 3]);
            }
        }
    }

    size_t maskStride = static_cast<size_t>((width + 31) / 32) * 4;
    size_t maskSize = maskStride * static_cast<size_t>(height);
    std::vector<uint8_t> mask(maskSize);
    // A mask the stream does not hold in full is no mask: the icon stays opaque.
    if (hFile->Read(mask.data(), 1, maskSize) != maskSize)
        return true;

    bool allOnes = true;
    for (uint8_t b : mask)
        allOnes = allOnes && b == 0xFF;
    if (allOnes) {
        SetTransIndex(0);
        Negative();
        return true;
    }

    auto masked = [&](int32_t x, int32_t y) {
        return ((mask[static_cast<size_t>(y) * maskStride + static_cast<size_t>(x >> 3)] >> (7 - (x & 7))) & 1) != 0;
    };

    bool hadAlpha = AlphaIsValid();
    AlphaCreate();
    bool anyMasked = false;
    for (int32_t y = 0; y < height; y++)
        for (int32_t x = 0; x < width; x++)
            if (masked(x, y)) {
                AlphaSet(x, y, 0);
                anyMasked = true;
            }
    if (!hadAlpha && !anyMasked)
        AlphaDelete();

    if (bitCount == 24) {
        // Needs one masked pixel: without any, there is no colour to call transparent.
        bool first = true;
        bool same = anyMasked;
        RGBQUAD c0{};
        for (int32_t y = 0; y < height && same; y++)
            for (int32_t x = 0; x < width && same; x++) {
                if (!masked(x, y))
                    continue;
                RGBQUAD c = GetPixelColor(x, y, false);
                if (first) {
                    c0 = c;
                    first = false;
                } else if (c.rgbBlue != c0.rgbBlue || c.rgbGreen != c0.rgbGreen || c.rgbRed != c0.rgbRed) {
                    same = false;
                }
            }
        if (same) {
            SetTransColor(c0);
            SetTransIndex(0);
            AlphaDelete();
        }
    } else if (bitCount <= 8) {
        bool used[256] = {};
        for (int32_t y = 0; y < height; y++)
            for (int32_t x = 0; x < width; x++)
                used[GetPixelIndex(x, y)] = true;
        int32_t unused = -1;
        for (uint32_t i = 0; i < head.biClrUsed && unused < 0; i++)
            if (!used[i])
                unused = static_cast<int32_t>(i);
        if (unused >= 0) {
            bool setOne = false;
            for (int32_t y = 0; y < height; y++)
                for (int32_t x = 0; x < width; x++)
                    if (masked(x, y)) {
                        SetPixelIndex(x, y, static_cast<uint8_t>(unused));
                        setOne = true;
                    }
            if (setOne)
                SetTransIndex(unused);
            AlphaDelete();
        }
    }
    return true;
}
