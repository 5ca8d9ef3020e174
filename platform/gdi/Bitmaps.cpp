#include <cstring>

#include "GdiInternal.h"

namespace tikora::gdi {
namespace {

constexpr int64_t kMaxBitmapBytes = INT32_MAX;

// Device-dependent bitmaps keep GDI's word-aligned rows.
int64_t DdbStride(int64_t width, int bitCount) { return ((width * bitCount + 15) / 16) * 2; }

std::unique_ptr<GdiBitmap> NewBitmap(LONG width, LONG height, WORD bitCount, int64_t stride) {
    if (width <= 0 || height <= 0 || stride <= 0 || stride * height > kMaxBitmapBytes) return nullptr;
    auto bm = std::make_unique<GdiBitmap>();
    const size_t bytes = static_cast<size_t>(stride * height);
    bm->storage.reset(new (std::nothrow) BYTE[bytes]);
    if (!bm->storage) return nullptr;
    std::memset(bm->storage.get(), 0, bytes);
    bm->surface.bits = bm->storage.get();
    bm->surface.width = width;
    bm->surface.height = height;
    bm->surface.stride = static_cast<LONG>(stride);
    bm->surface.bitCount = bitCount;
    return bm;
}

std::unique_ptr<GdiBitmap> NewDDB(LONG width, LONG height, WORD bitCount) {
    auto bm = NewBitmap(width, height, bitCount, DdbStride(width, bitCount));
    if (!bm) return nullptr;
    bm->surface.palette = DefaultPalette(bitCount);
    if (bitCount == 16) {
        bm->surface.bitfields = true;
        bm->surface.masks[0] = 0xF800;
        bm->surface.masks[1] = 0x07E0;
        bm->surface.masks[2] = 0x001F;
    }
    bm->isMonoDDB = bitCount == 1;
    return bm;
}

// What a bitmap "compatible" with the DC is: monochrome while the DC holds a monochrome bitmap
// (a fresh memory DC does), else the display's 32 bits.
std::unique_ptr<GdiBitmap> NewCompatible(GdiDC* dc, LONG width, LONG height) {
    bool mono = dc && dc->state.bitmap && dc->state.bitmap->isMonoDDB;
    return NewDDB(width, height, mono ? 1 : 32);
}

HBITMAP Register(std::unique_ptr<GdiBitmap> bm) {
    return bm ? static_cast<HBITMAP>(RegisterObject(std::move(bm))) : nullptr;
}

// The bitmap row that DIB scan line `scan` lands on: scan lines count from the bottom in a
// bottom-up DIB and from the top in a top-down one.
LONG RowOfScan(LONG scan, LONG bitmapHeight, bool topDown) { return topDown ? scan : bitmapHeight - 1 - scan; }

}  // namespace
}  // namespace tikora::gdi

using namespace tikora::gdi;

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE, DWORD) {
    if (bits) *bits = nullptr;
    Surface fmt;
    if (!DibFormat(bmi, usage, fmt)) return nullptr;
    auto bm = NewBitmap(fmt.width, fmt.height, fmt.bitCount, fmt.stride);
    if (!bm) return nullptr;
    BYTE* storage = bm->surface.bits;
    bm->surface = fmt;
    bm->surface.bits = storage;
    bm->isDIBSection = true;
    bm->dibHeader = bmi->bmiHeader;
    bm->dibHeader.biSize = sizeof(BITMAPINFOHEADER);
    bm->dibHeader.biSizeImage = static_cast<DWORD>(int64_t(fmt.stride) * fmt.height);
    if (bits) *bits = storage;
    return Register(std::move(bm));
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || width < 0 || height < 0) return nullptr;
    if (width == 0 || height == 0) return Register(NewDDB(1, 1, 1));
    return Register(NewCompatible(dc, width, height));
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits) {
    if (planes != 1 || width < 0 || height < 0) return nullptr;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return nullptr;
    if (width == 0 || height == 0) return Register(NewDDB(1, 1, 1));
    auto bm = NewDDB(width, height, static_cast<WORD>(bitCount));
    if (!bm) return nullptr;
    if (bits) std::memcpy(bm->surface.bits, bits, static_cast<size_t>(int64_t(bm->surface.stride) * height));
    return Register(std::move(bm));
}

HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* header, DWORD init, const void* bits, const BITMAPINFO* bmi,
                       UINT usage) {
    if (!header || (hdc && !AsDC(hdc))) return nullptr;
    const LONG width = header->biWidth;
    const int64_t height = header->biHeight < 0 ? -int64_t(header->biHeight) : int64_t(header->biHeight);
    if (width <= 0 || height <= 0 || height > INT32_MAX) return nullptr;
    HBITMAP hbm = Register(NewCompatible(AsDC(hdc), width, static_cast<LONG>(height)));
    if (!hbm) return nullptr;
    if ((init & CBM_INIT) && bits && bmi) {
        const LONG dibHeight = bmi->bmiHeader.biHeight < 0 ? -bmi->bmiHeader.biHeight : bmi->bmiHeader.biHeight;
        SetDIBits(hdc, hbm, 0, static_cast<UINT>(dibHeight), bits, bmi, usage);
    }
    return hbm;
}

int SetDIBits(HDC, HBITMAP hbm, UINT start, UINT lines, const void* bits, const BITMAPINFO* bmi, UINT usage) {
    GdiBitmap* bm = As<GdiBitmap>(hbm, ObjectKind::Bitmap);
    Surface src;
    if (!bm || !DibView(bmi, usage, bits, src)) return 0;
    const bool topDown = src.topDown;
    // The buffer holds `lines` scan lines from `start`, in memory order.
    const LONG scanEnd = static_cast<LONG>(std::min<int64_t>(int64_t(start) + lines, src.height));
    const LONG first = static_cast<LONG>(std::min<int64_t>(start, src.height));
    src.height = scanEnd - first;
    src.topDown = true;
    Surface& dst = bm->surface;
    const LONG w = std::min(src.width, dst.width);
    std::vector<Px> row(static_cast<size_t>(w));
    int done = 0;
    for (LONG i = 0; i < src.height; ++i) {
        LONG y = RowOfScan(first + i, dst.height, topDown);
        if (y < 0 || y >= dst.height) continue;
        ReadRow(src, i, 0, w, row.data());
        WriteRow(dst, y, 0, w, row.data());
        ++done;
    }
    return done;
}

int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO bmi, UINT usage) {
    GdiBitmap* bm = As<GdiBitmap>(hbm, ObjectKind::Bitmap);
    if (!bm || !AsDC(hdc) || !bmi || bmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) return 0;
    BITMAPINFOHEADER& h = bmi->bmiHeader;
    const Surface& src = bm->surface;
    if (h.biBitCount == 0) {
        if (bits) return 0;
        h.biWidth = src.width;
        h.biHeight = src.height;
        h.biPlanes = 1;
        h.biBitCount = src.bitCount;
        h.biCompression = BI_RGB;
        h.biSizeImage = static_cast<DWORD>(DibStride(src.width, src.bitCount) * src.height);
        h.biClrUsed = 0;
        h.biClrImportant = 0;
        return 1;
    }
    Surface fmt;
    if (!DibFormat(bmi, DIB_RGB_COLORS, fmt)) return 0;
    const bool samePaletteDepth = fmt.bitCount <= 8 && src.bitCount == fmt.bitCount && !src.palette.empty();
    if (fmt.bitCount <= 8) {
        fmt.palette = samePaletteDepth ? src.palette : DefaultPalette(fmt.bitCount);
        fmt.palette.resize(size_t(1) << fmt.bitCount, RGBQUAD{0, 0, 0, 0});
        if (usage == DIB_RGB_COLORS) {
            size_t n = h.biClrUsed ? std::min<size_t>(h.biClrUsed, fmt.palette.size()) : fmt.palette.size();
            std::memcpy(reinterpret_cast<BYTE*>(bmi) + h.biSize, fmt.palette.data(), n * sizeof(RGBQUAD));
        }
    }
    h.biSizeImage = static_cast<DWORD>(int64_t(fmt.stride) * fmt.height);
    if (!bits) return 1;

    const bool topDown = fmt.topDown;
    const LONG first = static_cast<LONG>(std::min<int64_t>(start, fmt.height));
    const LONG scanEnd = static_cast<LONG>(std::min<int64_t>(int64_t(start) + lines, fmt.height));
    Surface dst = fmt;
    dst.bits = static_cast<BYTE*>(bits);
    dst.height = scanEnd - first;
    dst.topDown = true;
    const LONG w = std::min(src.width, dst.width);
    std::vector<Px> row(static_cast<size_t>(std::max<LONG>(w, 0)));
    int done = 0;
    for (LONG i = 0; i < dst.height; ++i) {
        LONG y = RowOfScan(first + i, src.height, topDown);
        if (y < 0 || y >= src.height) continue;
        if (samePaletteDepth) {
            std::memcpy(dst.Row(i), src.Row(y), static_cast<size_t>((int64_t(w) * fmt.bitCount + 7) / 8));
        } else {
            ReadRow(src, y, 0, w, row.data());
            WriteRow(dst, i, 0, w, row.data());
        }
        ++done;
    }
    return done;
}
