#pragma once
// Handles, memory DCs and DIB descriptions for the GDI tests.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "SurfaceCanvas.h"

namespace gditest {

// Every test must give back every handle it made.
class GdiTest : public ::testing::Test {
protected:
    void SetUp() override {
        GetStockObject(WHITE_BRUSH);  // stock objects are made once, uncounted
        start_ = tikora::gdi::LiveObjectCount();
    }
    void TearDown() override { EXPECT_EQ(tikora::gdi::LiveObjectCount(), start_) << "GDI handles leaked"; }

private:
    int64_t start_ = 0;
};

// A memory DC (like `like`) with `bitmap` selected; the scope's end selects the old bitmap back
// and deletes the DC, and the bitmap unless `keep`.
struct MemDC {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    bool keep;
    explicit MemDC(HBITMAP bm, HDC like = nullptr, bool keepBitmap = false)
        : dc(CreateCompatibleDC(like)), bitmap(bm), old(SelectObject(dc, bm)), keep(keepBitmap) {}
    ~MemDC() {
        SelectObject(dc, old);
        DeleteDC(dc);
        if (!keep) DeleteObject(bitmap);
    }
};

// A BITMAPINFO with room for a full palette.
struct DibInfo {
    alignas(4) BYTE bytes[sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)]{};
    DibInfo(LONG w, LONG h, WORD bpp) {
        header() = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, h, 1, bpp, BI_RGB, 0, 0, 0, 0, 0};
    }
    BITMAPINFOHEADER& header() { return reinterpret_cast<BITMAPINFO*>(bytes)->bmiHeader; }
    BITMAPINFO* info() { return reinterpret_cast<BITMAPINFO*>(bytes); }
    RGBQUAD* colors() { return reinterpret_cast<RGBQUAD*>(bytes + sizeof(BITMAPINFOHEADER)); }
    // A DIB section of this format; `bits` receives its pixels.
    HBITMAP Section(void** bits, HDC dc = nullptr) {
        return CreateDIBSection(dc, info(), DIB_RGB_COLORS, bits, nullptr, 0);
    }
};

// A bitmap's description; GetObject must give the whole of it.
inline BITMAP BitmapOf(HGDIOBJ bitmap) {
    BITMAP bm{};
    EXPECT_EQ(GetObjectA(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
    return bm;
}
inline int Stride(int w, int bpp) { return ((w * bpp + 31) / 32) * 4; }
inline COLORREF Ref(uint32_t px) { return RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF); }

// A region made of rectangles ORed together.
inline HRGN RegionOf(const std::vector<RECT>& rects) {
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    for (const RECT& r : rects) {
        HRGN part = CreateRectRgnIndirect(&r);
        CombineRgn(rgn, rgn, part, RGN_OR);
        DeleteObject(part);
    }
    return rgn;
}

}  // namespace gditest
