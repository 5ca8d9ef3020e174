#include "PxImageBMP.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "PxLeReader.h"

namespace {

constexpr uint16_t kBitmapType = 0x4D42;  // "BM"

struct BmpError {
    const char* text;
};

uint64_t StrideOf(uint32_t bpp, int32_t width) {
    uint64_t w = static_cast<uint64_t>(std::abs(static_cast<int64_t>(width)));
    return ((static_cast<uint64_t>(bpp) * w + 31) / 32) * 4;
}

uint32_t CountBits(uint32_t mask) {
    uint32_t n = 0;
    for (int i = 0; i < 16; i++) n += (mask >> i) & 1;
    return n;
}

// Odd masks give shift counts below 0 (meaning the other direction) or past the word.
uint32_t ShiftRight(uint32_t v, int32_t n) {
    if (n >= 32 || n <= -32) return 0;
    return n >= 0 ? v >> n : v << -n;
}

int32_t ToDpi(int32_t perMetre) { return static_cast<int32_t>(std::floor(perMetre * 254.0 * 0.0001 + 0.5)); }

// Reading at most `size` bytes; a short stream leaves the rest as it was.
void ReadInto(PxFile* f, uint8_t* dst, uint64_t size) {
    constexpr uint64_t kChunk = 1u << 20;
    while (size > 0) {
        size_t n = static_cast<size_t>(std::min(size, kChunk));
        size_t got = f->Read(dst, 1, n);
        if (got < n) return;
        dst += n;
        size -= n;
    }
}

}  // namespace

bool PxImageBMP::ReadBitmapInfo(PxFile* fh, BITMAPINFOHEADER* pdib) {
    uint8_t raw[40];
    const PxLeReader b = PxLeReader::FromFile(fh, raw, sizeof(raw));
    const size_t got = b.Size();
    if (got < 4) return false;
    uint32_t size = b.U32(0);
    // Each header form needs its own bytes, not just any bytes.
    if (size == 12) {
        if (got < 12) return false;
        std::memset(pdib, 0, sizeof(*pdib));
        pdib->biSize = 12;
        pdib->biWidth = b.U16(4);
        pdib->biHeight = b.U16(6);
        pdib->biPlanes = b.U16(8);
        pdib->biBitCount = b.U16(10);
        pdib->biCompression = BI_RGB;
        if (!fh->Seek(-static_cast<int32_t>(got - 12), SEEK_CUR)) return false;
    } else {
        if (got < 40 || size < 40) return false;
        pdib->biSize = size;
        pdib->biWidth = b.I32(4);
        pdib->biHeight = b.I32(8);
        pdib->biPlanes = b.U16(12);
        pdib->biBitCount = b.U16(14);
        pdib->biCompression = b.U32(16);
        pdib->biSizeImage = b.U32(20);
        pdib->biXPelsPerMeter = b.I32(24);
        pdib->biYPelsPerMeter = b.I32(28);
        pdib->biClrUsed = b.U32(32);
        pdib->biClrImportant = b.U32(36);
        if (size == 64) {
            if (!fh->Seek(24, SEEK_CUR)) return false;
        } else if (size > 40) {
            // Later header versions are accepted in their plain form only.
            if (pdib->biPlanes != 1 || pdib->biCompression != BI_RGB || pdib->biClrUsed != 0) return false;
            uint64_t expect = StrideOf(pdib->biBitCount, pdib->biWidth) *
                              static_cast<uint64_t>(std::abs(static_cast<int64_t>(pdib->biHeight)));
            if (pdib->biSizeImage != expect) return false;
            if (size - 40 > static_cast<uint32_t>(INT32_MAX) || !fh->Seek(static_cast<int32_t>(size - 40), SEEK_CUR))
                return false;
        }
    }
    if (pdib->biSizeImage == 0) {
        uint64_t s = StrideOf(pdib->biBitCount, pdib->biWidth) *
                     static_cast<uint64_t>(std::abs(static_cast<int64_t>(pdib->biHeight)));
        pdib->biSizeImage = static_cast<uint32_t>(std::min<uint64_t>(s, UINT32_MAX));
    }
    if (pdib->biClrUsed == 0 && pdib->biBitCount <= 8) pdib->biClrUsed = 1u << pdib->biBitCount;
    return true;
}

void PxImageBMP::BitfieldToRGB(uint8_t* src, uint32_t redmask, uint32_t greenmask, uint32_t bluemask, uint8_t bpp) {
    uint8_t* bits = GetBits(0);
    if (!src || !bits || head.biBitCount != 24) return;
    int64_t width = head.biWidth;
    int64_t height = head.biHeight;
    uint64_t stride = info.dwEffWidth;
    if (bpp == 16) {
        redmask &= 0xFFFF;
        greenmask &= 0xFFFF;
        bluemask &= 0xFFFF;
        int32_t r = static_cast<int32_t>(CountBits(redmask));
        int32_t g = static_cast<int32_t>(CountBits(greenmask));
        int32_t b = static_cast<int32_t>(CountBits(bluemask));
        uint64_t srcStride = static_cast<uint64_t>((width + 1) / 2) * 4;
        const PxLeReader words(src, static_cast<size_t>(stride * static_cast<uint64_t>(height)));
        // Backwards, so that the conversion can run in place (rows only grow).
        for (int64_t y = height - 1; y >= 0; y--) {
            for (int64_t x = width - 1; x >= 0; x--) {
                uint16_t w = words.U16(y * srcStride + 2 * x);
                uint8_t* d = bits + y * stride + 3 * x;
                d[0] = static_cast<uint8_t>(ShiftRight(w & bluemask, r - 8));
                d[1] = static_cast<uint8_t>(ShiftRight(w & greenmask, r + g - 8));
                d[2] = static_cast<uint8_t>(ShiftRight(w & redmask, r + g + b - 8));
            }
        }
    } else if (bpp == 32) {
        for (int64_t y = 0; y < height; y++) {
            for (int64_t x = 0; x < width; x++) {
                const uint8_t* s = src + (y * width + x) * 4;
                uint8_t* d = bits + y * stride + 3 * x;
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        }
    }
}

bool PxImageBMP::Decode(PxFile* hFile) {
    if (!hFile) return false;

    try {
        int32_t start = hFile->Tell();
        uint8_t rawFileHeader[14];
        const PxLeReader fh = PxLeReader::FromFile(hFile, rawFileHeader, sizeof(rawFileHeader));
        if (fh.Size() == 0) throw BmpError{"Not a BMP"};
        uint32_t bfOffBits = 0;
        if (fh.Has(0, sizeof(rawFileHeader)) && fh.U16(0) == kBitmapType) {
            bfOffBits = fh.U32(10);
        } else {
            hFile->Seek(start, SEEK_SET);
        }

        BITMAPINFOHEADER bmpHeader{};
        if (!ReadBitmapInfo(hFile, &bmpHeader)) throw BmpError{"Error reading BMP info"};

        uint32_t dwCompression = bmpHeader.biCompression;
        uint16_t bitCount = bmpHeader.biBitCount;
        bool bIsOldBmp = bmpHeader.biSize == 12;
        bool bTopDownDib = bmpHeader.biHeight < 0;
        // INT32_MIN has no positive twin; Create refuses it like any other bad size.
        int64_t height64 = std::abs(static_cast<int64_t>(bmpHeader.biHeight));
        uint32_t height = height64 > INT32_MAX ? 0 : static_cast<uint32_t>(height64);

        if (info.nEscape == -1) {
            head.biWidth = bmpHeader.biWidth;
            head.biHeight = static_cast<int32_t>(height);
            throw BmpError{"output dimensions returned"};
        }

        if (!Create(static_cast<uint32_t>(bmpHeader.biWidth), height, bitCount, PXIMAGE_FORMAT_BMP))
            throw BmpError{"Can't allocate memory"};

        auto* dibHead = static_cast<BITMAPINFOHEADER*>(pDib);
        head.biXPelsPerMeter = dibHead->biXPelsPerMeter = bmpHeader.biXPelsPerMeter;
        head.biYPelsPerMeter = dibHead->biYPelsPerMeter = bmpHeader.biYPelsPerMeter;
        info.xDPI = ToDpi(bmpHeader.biXPelsPerMeter);
        info.yDPI = ToDpi(bmpHeader.biYPelsPerMeter);

        if (info.nEscape) throw BmpError{"Cancelled"};

        if (RGBQUAD* pal = GetPalette()) {
            uint64_t fileEntries = bmpHeader.biClrUsed;
            if (fileEntries == 0 && bitCount <= 8) fileEntries = 1u << bitCount;
            uint32_t entrySize = bIsOldBmp ? 3 : 4;
            uint32_t stored = static_cast<uint32_t>(std::min<uint64_t>(fileEntries, head.biClrUsed));
            uint8_t raw[256 * 4] = {};
            hFile->Read(raw, 1, static_cast<size_t>(stored) * entrySize);
            for (uint32_t i = 0; i < stored; i++) {
                pal[i].rgbBlue = raw[i * entrySize];
                pal[i].rgbGreen = raw[i * entrySize + 1];
                pal[i].rgbRed = raw[i * entrySize + 2];
            }
            for (uint32_t i = 0; i < head.biClrUsed; i++) pal[i].rgbReserved = 0;
            uint64_t skip = (fileEntries - stored) * entrySize;
            if (skip > 0) hFile->Seek(static_cast<int32_t>(std::min<uint64_t>(skip, INT32_MAX)), SEEK_CUR);
        }

        if (info.nEscape) throw BmpError{"Cancelled"};

        auto seekToBits = [&] {
            if (bfOffBits != 0) hFile->Seek(static_cast<int32_t>(static_cast<uint32_t>(start) + bfOffBits), SEEK_SET);
        };
        uint8_t* bits = GetBits(0);

        switch (bitCount) {
            case 16: {
                uint32_t bfmask[3] = {0x7C00, 0x03E0, 0x001F};
                if (dwCompression == BI_BITFIELDS) {
                    uint8_t rawMasks[12] = {};
                    const PxLeReader m = PxLeReader::FromFile(hFile, rawMasks, sizeof(rawMasks));
                    bfmask[0] = m.U32(0);
                    bfmask[1] = m.U32(4);
                    bfmask[2] = m.U32(8);
                }
                seekToBits();
                uint64_t srcSize =
                    static_cast<uint64_t>(head.biHeight) * ((static_cast<uint64_t>(head.biWidth) + 1) / 2) * 4;
                ReadInto(hFile, bits, std::min<uint64_t>(srcSize, head.biSizeImage));
                BitfieldToRGB(bits, bfmask[0], bfmask[1], bfmask[2], 16);
                break;
            }
            case 8:
            case 4:
            case 1:
                seekToBits();
                switch (dwCompression) {
                    case BI_RGB:
                        ReadInto(hFile, bits, head.biSizeImage);
                        break;
                    case BI_RLE8:
                        DecodeRle8(hFile);
                        break;
                    case BI_RLE4:
                        DecodeRle4(hFile);
                        break;
                    default:
                        throw BmpError{"compression type not supported"};
                }
                break;
            case 24:
                seekToBits();
                if (dwCompression != BI_RGB) throw BmpError{"unknown compression"};
                ReadInto(hFile, bits, head.biSizeImage);
                break;
            case 32: {
                seekToBits();
                if (dwCompression != BI_RGB && dwCompression != BI_BITFIELDS) throw BmpError{"unknown compression"};
                // One row at a time: the same pixels as converting the whole block, a quarter of the memory.
                uint64_t rowBytes = static_cast<uint64_t>(head.biWidth) * 4;
                std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[rowBytes]);
                if (!row) throw BmpError{"can't allocate memory"};
                for (uint32_t y = 0; y < GetHeight(); y++) {
                    size_t n = hFile->Read(row.get(), 1, rowBytes);
                    if (n < rowBytes) std::memset(row.get() + n, 0, rowBytes - n);
                    uint8_t* d = GetBits(y);
                    for (int32_t x = 0; x < head.biWidth; x++) {
                        d[3 * x] = row[4 * x];
                        d[3 * x + 1] = row[4 * x + 1];
                        d[3 * x + 2] = row[4 * x + 2];
                    }
                    if (n < rowBytes) {
                        // The rows after the stream's end keep the zeros Create gave them.
                        break;
                    }
                }
                break;
            }
            default:
                break;
        }

        if (bTopDownDib) Flip();
    } catch (const BmpError& e) {
        SetLastError(e.text);
        return info.nEscape == -1;
    } catch (const std::bad_alloc&) {
        SetLastError("Can't allocate memory");
        return false;
    }
    return true;
}

void PxImageBMP::DecodeRle8(PxFile* f) {
    int64_t stride = info.dwEffWidth;
    int64_t height = head.biHeight;
    int64_t x = 0, y = 0;
    uint8_t* bits = GetBits(0);
    auto row = [&]() -> uint8_t* { return y >= 0 && y < height ? bits + y * stride : nullptr; };
    for (;;) {
        int32_t n = f->GetC();
        if (n < 0) return;
        if (n != 0) {
            int32_t value = f->GetC();
            if (value < 0) return;
            // Clipped at the row's end; the stream goes on with the next command.
            if (uint8_t* r = row())
                for (int32_t i = 0; i < n && x + i < stride; i++) r[x + i] = static_cast<uint8_t>(value);
            x += n;
            continue;
        }
        int32_t cmd = f->GetC();
        if (cmd < 0) return;
        if (cmd == 0) {
            x = 0;
            y++;
        } else if (cmd == 1) {
            return;
        } else if (cmd == 2) {
            int32_t dx = f->GetC();
            int32_t dy = f->GetC();
            if (dx < 0 || dy < 0) return;
            x += dx;
            y += dy;
        } else {
            uint8_t buf[256];
            size_t got = f->Read(buf, 1, static_cast<size_t>(cmd));
            if (uint8_t* r = row())
                for (size_t i = 0; i < got && x + static_cast<int64_t>(i) < stride; i++)
                    r[x + static_cast<int64_t>(i)] = buf[i];
            if (got < static_cast<size_t>(cmd)) return;
            if (cmd & 1) f->GetC();
            x += cmd;
        }
    }
}

void PxImageBMP::DecodeRle4(PxFile* f) {
    int64_t stride = info.dwEffWidth;
    int64_t height = head.biHeight;
    int64_t x = 0, y = 0;
    bool low = false;  // the next pixel goes into the byte's low nibble
    uint8_t* bits = GetBits(0);
    auto put = [&](uint8_t nibbleSource) {
        if (y >= 0 && y < height && x < stride) {
            uint8_t& b = bits[y * stride + x];
            b = low ? static_cast<uint8_t>(b | (nibbleSource & 0x0F)) : static_cast<uint8_t>(nibbleSource & 0xF0);
        }
        if (low) x++;
        low = !low;
    };
    for (;;) {
        int32_t n = f->GetC();
        if (n < 0) return;
        if (n != 0) {
            int32_t value = f->GetC();
            if (value < 0) return;
            for (int32_t i = 0; i < n; i++) put(static_cast<uint8_t>(value));
            continue;
        }
        int32_t cmd = f->GetC();
        if (cmd < 0) return;
        if (cmd == 0) {
            x = 0;
            y++;
            low = false;
        } else if (cmd == 1) {
            return;
        } else if (cmd == 2) {
            int32_t dx = f->GetC();
            int32_t dy = f->GetC();
            if (dx < 0 || dy < 0) return;
            x += dx / 2;
            y += dy;
        } else {
            // The run's pixels are packed two to a byte, first in the high nibble, whatever
            // nibble of the image they start at; the stream holds (n + 1) / 2 bytes and a pad
            // to a 16-bit boundary.
            int32_t bytes = (cmd + 1) / 2;
            uint8_t buf[128];
            size_t got = f->Read(buf, 1, static_cast<size_t>(bytes));
            for (int32_t i = 0; i < cmd && static_cast<size_t>(i / 2) < got; i++) {
                uint8_t d = buf[i / 2];
                uint8_t nib = (i & 1) ? static_cast<uint8_t>(d & 0x0F) : static_cast<uint8_t>(d >> 4);
                put(low ? nib : static_cast<uint8_t>(nib << 4));
            }
            if (got < static_cast<size_t>(bytes)) return;
            if (bytes & 1) f->GetC();
        }
    }
}
