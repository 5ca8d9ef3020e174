#include "PxImageICO.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "PxImagePNG.h"
#include "PxLeReader.h"

namespace {

struct IconDirEntry {
    uint32_t width;
    uint32_t height;
    uint32_t imageOffset;
};

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr const char* kShort = "ICO: the image data ends early";

}  // namespace

bool PxImageICO::Fail(const char* text) {
    Destroy();
    SetLastError(text);
    return false;
}

bool PxImageICO::Decode(PxFile* hFile) {
    if (!hFile) return Fail("ICO: no stream");
    int32_t base = hFile->Tell();

    uint8_t rawHeader[6];
    const PxLeReader header = PxLeReader::FromFile(hFile, rawHeader, sizeof(rawHeader));
    uint16_t reserved = header.U16(0);
    uint16_t type = header.U16(2);
    uint16_t count = header.U16(4);
    if (header.Short() || reserved != 0 || (type != 1 && type != 2)) return Fail("ICO: not an icon or cursor file");

    info.nNumFrames = count;
    std::vector<IconDirEntry> dir(count);
    for (uint16_t i = 0; i < count; i++) {
        uint8_t raw[16];
        const PxLeReader e = PxLeReader::FromFile(hFile, raw, sizeof(raw));
        // A width or height byte of 0 stands for 256 pixels.
        dir[i].width = e.U8(0) ? e.U8(0) : 256;
        dir[i].height = e.U8(1) ? e.U8(1) : 256;
        dir[i].imageOffset = e.U32(12);
        if (e.Short()) return Fail("ICO: the directory ends early");
    }
    if (info.nFrame < 0 || info.nFrame >= count) return Fail("ICO: no such image in the file");
    const IconDirEntry& entry = dir[static_cast<size_t>(info.nFrame)];

    int64_t at = static_cast<int64_t>(base) + entry.imageOffset;
    uint8_t rawInfo[40];
    if (at > INT32_MAX || !hFile->Seek(static_cast<int32_t>(at), SEEK_SET))
        return Fail("ICO: the image lies past the end of the file");
    const PxLeReader bih = PxLeReader::FromFile(hFile, rawInfo, sizeof(rawInfo));
    // Icons of Windows Vista and later may hold a whole PNG stream as an image.
    if (bih.Has(0, sizeof(kPngSignature)) && std::memcmp(rawInfo, kPngSignature, sizeof(kPngSignature)) == 0) {
        hFile->Seek(static_cast<int32_t>(at), SEEK_SET);
        auto png = std::make_unique<PxImagePNG>();
        png->CopyInfo(*this);
        if (!png->Decode(hFile)) {
            std::string text = std::string("ICO: the PNG image is damaged: ") + png->GetLastError();
            return Fail(text.c_str());
        }
        if (!Transfer(*png)) return Fail("ICO: can't keep the image");
        info.dwType = PXIMAGE_FORMAT_ICO;
        return true;
    }
    uint16_t bitCount = bih.U16(14);
    if (!bih.Has(0, sizeof(rawInfo))) return Fail(kShort);
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return Fail("ICO: unsupported bit count");

    if (!Create(entry.width, entry.height, bitCount, PXIMAGE_FORMAT_ICO)) return false;

    if (uint32_t palBytes = GetPaletteSize()) {
        uint8_t raw[256 * 4] = {};
        if (hFile->Read(raw, 1, palBytes) != palBytes) return Fail(kShort);
        RGBQUAD pal[256];
        for (uint32_t i = 0; i < head.biClrUsed; i++)
            pal[i] = RGBQUAD{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], raw[4 * i + 3]};
        SetPalette(pal, head.biClrUsed);
    }

    int32_t width = head.biWidth;
    int32_t height = head.biHeight;
    if (bitCount <= 24) {
        if (hFile->Read(GetBits(0), 1, head.biSizeImage) != head.biSizeImage) return Fail(kShort);
    } else {
        size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
        std::vector<uint8_t> src(bytes, 0);
        if (hFile->Read(src.data(), 1, bytes) != bytes) return Fail(kShort);
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
    if (hFile->Read(mask.data(), 1, maskSize) != maskSize) return Fail(kShort);

    bool allOnes = true;
    for (uint8_t b : mask) allOnes = allOnes && b == 0xFF;
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
    if (!hadAlpha && !anyMasked) AlphaDelete();

    if (bitCount == 24) {
        // Needs one masked pixel: without any, there is no colour to call transparent.
        bool first = true;
        bool same = anyMasked;
        RGBQUAD c0{};
        for (int32_t y = 0; y < height && same; y++)
            for (int32_t x = 0; x < width && same; x++) {
                if (!masked(x, y)) continue;
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
            for (int32_t x = 0; x < width; x++) used[GetPixelIndex(x, y)] = true;
        int32_t unused = -1;
        for (uint32_t i = 0; i < head.biClrUsed && unused < 0; i++)
            if (!used[i]) unused = static_cast<int32_t>(i);
        if (unused >= 0) {
            bool setOne = false;
            for (int32_t y = 0; y < height; y++)
                for (int32_t x = 0; x < width; x++)
                    if (masked(x, y)) {
                        SetPixelIndex(x, y, static_cast<uint8_t>(unused));
                        setOne = true;
                    }
            if (setOne) SetTransIndex(unused);
            AlphaDelete();
        }
    }
    return true;
}
