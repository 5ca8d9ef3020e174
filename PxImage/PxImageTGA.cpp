#include "PxImageTGA.h"

#include <vector>

#include "PxLeReader.h"

namespace {

constexpr uint8_t kNoCarry = 0xFF;

struct TgaError {
    const char* text;
};

// Five bits per channel, blue lowest; bit 15 carries nothing we use.
void Expand555(uint16_t w, uint8_t* bgr) {
    bgr[0] = static_cast<uint8_t>(w << 3);
    bgr[1] = static_cast<uint8_t>((w >> 2) & 0xF8);
    bgr[2] = static_cast<uint8_t>((w >> 7) & 0xF8);
}

}  // namespace

bool PxImageTGA::Decode(PxFile* hFile) {
    if (!hFile) return false;

    try {
        uint8_t raw[18];
        const PxLeReader h = PxLeReader::FromFile(hFile, raw, sizeof(raw));
        TGAHEADER tgaHead{h.U8(0),  h.U8(1),   h.U8(2),   h.U16(3),  h.U16(5), h.U8(7),
                          h.U16(8), h.U16(10), h.U16(12), h.U16(14), h.U8(16), h.U8(17)};
        // A partial header has no defined fields to go on.
        if (h.Short()) throw TgaError{"Not a TGA"};

        bool bCompressed;
        switch (tgaHead.ImageType) {
            case 1:
            case 2:
            case 3:
                bCompressed = false;
                break;
            case 9:
            case 10:
            case 11:
                bCompressed = true;
                break;
            default:
                throw TgaError{"Unknown TGA image type"};
        }

        if (tgaHead.ImageWidth == 0 || tgaHead.ImageHeight == 0 || tgaHead.PixelDepth == 0 || tgaHead.CmapLength > 256)
            throw TgaError{"bad TGA header"};
        switch (tgaHead.PixelDepth) {
            case 8:
            case 15:
            case 16:
            case 24:
            case 32:
                break;
            default:
                throw TgaError{"bad TGA header"};
        }

        if (tgaHead.IdLength != 0) hFile->Seek(tgaHead.IdLength, SEEK_CUR);

        Create(tgaHead.ImageWidth, tgaHead.ImageHeight, tgaHead.PixelDepth, PXIMAGE_FORMAT_TGA);
        if (tgaHead.PixelDepth == 32) AlphaCreate();
        if (!IsValid()) throw TgaError{"TGA Create failed"};
        if (info.nEscape) throw TgaError{"Cancelled"};

        if (tgaHead.CmapType != 0) {
            // Entries take the bytes their declared size needs; 24-bit entries (and sizes the
            // format does not define) are read as blue, green, red.
            uint32_t entryBytes = (tgaHead.CmapEntrySize == 15 || tgaHead.CmapEntrySize == 16) ? 2
                                  : tgaHead.CmapEntrySize == 32                                ? 4
                                                                                               : 3;
            std::vector<uint8_t> map(static_cast<size_t>(tgaHead.CmapLength) * entryBytes, 0);
            hFile->Read(map.data(), 1, map.size());
            for (uint32_t i = 0; i < tgaHead.CmapLength; i++) {
                const uint8_t* e = map.data() + i * entryBytes;
                uint8_t bgr[3] = {e[0], 0, 0};
                if (entryBytes == 2) {
                    Expand555(PxLeReader(e, 2).U16(0), bgr);
                } else {
                    bgr[1] = e[1];
                    bgr[2] = e[2];
                }
                SetPaletteColor(static_cast<uint8_t>(i), bgr[2], bgr[1], bgr[0], 0);
            }
        }
        if (tgaHead.ImageType == 3 || tgaHead.ImageType == 11) SetGrayPalette();

        CImageIterator iter(this);
        uint8_t rleLeftover = kNoCarry;
        int32_t height = tgaHead.ImageHeight;
        bool topDown = (tgaHead.ImagDesc & 0x20) != 0;
        for (int32_t y = 0; y < height; y++) {
            if (info.nEscape) throw TgaError{"Cancelled"};
            if (hFile->Eof()) throw TgaError{"corrupted TGA"};
            uint8_t* pDest = iter.GetRow(topDown ? height - 1 - y : y);
            if (bCompressed)
                rleLeftover = ReadRlePixels(pDest, tgaHead, hFile, tgaHead.ImageWidth, y, rleLeftover);
            else
                ReadRawPixels(pDest, tgaHead, hFile, tgaHead.ImageWidth, y, 0);
        }

        if (tgaHead.ImagDesc & 0x10) Mirror();
        if (topDown && tgaHead.PixelDepth == 32) AlphaFlip();
    } catch (const TgaError& e) {
        SetLastError(e.text);
        return false;
    }
    return true;
}

void PxImageTGA::ReadRawPixels(uint8_t* pDest, const TGAHEADER& ptgaHead, PxFile* hFile, int32_t pixels, int32_t y,
                               int32_t xoffset) {
    if (!pDest || pixels <= 0) return;
    size_t n = static_cast<size_t>(pixels);
    switch (ptgaHead.PixelDepth) {
        case 8:
            hFile->Read(pDest, 1, n);
            break;
        case 15:
        case 16: {
            std::vector<uint8_t> words(n * 2, 0);
            hFile->Read(words.data(), 1, words.size());
            const PxLeReader r(words.data(), words.size());
            for (size_t i = 0; i < n; i++) Expand555(r.U16(2 * i), pDest + 3 * i);
            break;
        }
        case 24:
            hFile->Read(pDest, 1, n * 3);
            break;
        case 32: {
            std::vector<uint8_t> px(n * 4, 0);
            hFile->Read(px.data(), 1, px.size());
            for (size_t i = 0; i < n; i++) {
                pDest[3 * i] = px[4 * i];
                pDest[3 * i + 1] = px[4 * i + 1];
                pDest[3 * i + 2] = px[4 * i + 2];
                AlphaSet(xoffset + static_cast<int32_t>(i), y, px[4 * i + 3]);
            }
            break;
        }
        default:
            break;
    }
}

uint8_t PxImageTGA::ReadRlePixels(uint8_t* pDest, const TGAHEADER& ptgaHead, PxFile* hFile, int32_t width, int32_t y,
                                  uint8_t rleLeftover) {
    if (!pDest) return rleLeftover;
    bool rgb = head.biBitCount == 24;
    int32_t x = 0;
    while (x < width) {
        uint8_t rle;
        if (rleLeftover != kNoCarry) {
            rle = rleLeftover;
            rleLeftover = kNoCarry;
        } else {
            int32_t c = hFile->GetC();
            // The rest of the row stays black; the next row finds the stream at its end.
            if (c < 0) return kNoCarry;
            rle = static_cast<uint8_t>(c);
        }

        int32_t count;
        if (rle & 0x80) {
            count = (rle & 0x7F) + 1;
            int32_t valuePos = -1;
            if (x + count > width) {
                rleLeftover = static_cast<uint8_t>(count - (width - x) + 0x7F);
                valuePos = hFile->Tell();
                count = width - x;
            }
            uint8_t value[4] = {0, 0, 0, 0};
            switch (ptgaHead.PixelDepth) {
                case 8:
                    hFile->Read(value, 1, 1);
                    for (int32_t i = 0; i < count; i++) pDest[i] = value[0];
                    break;
                case 15:
                case 16: {
                    uint8_t w[2] = {0, 0};
                    hFile->Read(w, 1, 2);
                    Expand555(PxLeReader(w, sizeof(w)).U16(0), value);
                    for (int32_t i = 0; i < count; i++)
                        for (int32_t k = 0; k < 3; k++) pDest[3 * i + k] = value[k];
                    break;
                }
                case 24:
                    hFile->Read(value, 1, 3);
                    for (int32_t i = 0; i < count; i++)
                        for (int32_t k = 0; k < 3; k++) pDest[3 * i + k] = value[k];
                    break;
                case 32:
                    hFile->Read(value, 1, 4);
                    for (int32_t i = 0; i < count; i++) {
                        for (int32_t k = 0; k < 3; k++) pDest[3 * i + k] = value[k];
                        AlphaSet(x + i, y, value[3]);
                    }
                    break;
                default:
                    break;
            }
            // The run goes on in the next row, which reads the same value again.
            if (valuePos >= 0) hFile->Seek(valuePos, SEEK_SET);
        } else {
            count = rle + 1;
            if (x + count > width) {
                rleLeftover = static_cast<uint8_t>(count - (width - x) - 1);
                count = width - x;
            }
            ReadRawPixels(pDest, ptgaHead, hFile, count, y, x);
        }

        pDest += rgb ? 3 * count : count;
        x += count;
    }
    return rleLeftover;
}
