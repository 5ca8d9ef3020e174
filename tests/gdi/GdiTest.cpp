// DIB sections, device bitmaps, pixel format conversions and blits; regions, clipping and drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "SurfaceCanvas.h"

using namespace gditest;

namespace {

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

// Combines the clip of `dc` by `mode` with the rectangles ORed together.
inline int Clip(HDC dc, const std::vector<RECT>& rects, int mode = RGN_COPY) {
    HRGN rgn = RegionOf(rects);
    int complexity = ExtSelectClipRgn(dc, rgn, mode);
    DeleteObject(rgn);
    return complexity;
}

class Bitmaps : public GdiTest {};
class Regions : public GdiTest {};
class Drawing : public GdiTest {};

// Writes pixel (x, y), counted from the top, in the DIB's own format; returns the colour a
// 32-bit surface must show for it.
uint32_t PutTestPixel(BYTE* bits, int w, int h, int bpp, bool topDown, const RGBQUAD* pal, int x, int y) {
    BYTE* row = bits + static_cast<ptrdiff_t>(topDown ? y : h - 1 - y) * Stride(w, bpp);
    const int seed = x * 7 + y * 13;
    auto palColor = [&](int i) { return Px(pal[i].rgbRed, pal[i].rgbGreen, pal[i].rgbBlue); };
    if (bpp <= 8) {  // palette indexes, the leftmost pixel in the high bits of a byte
        const int mask = (1 << bpp) - 1, i = (bpp == 8 ? seed * 11 : seed) & mask, shift = 8 - bpp - x * bpp % 8;
        row[x * bpp / 8] = static_cast<BYTE>((row[x * bpp / 8] & ~(mask << shift)) | (i << shift));
        return palColor(i);
    }
    if (bpp == 16) {
        int r = seed & 31, g = (seed * 3) & 31, b = 31 - (seed & 31);
        uint16_t v = static_cast<uint16_t>((r << 10) | (g << 5) | b);
        std::memcpy(row + 2 * x, &v, 2);
        auto e = [](int c) { return static_cast<BYTE>((c * 255 + 15) / 31); };
        return Px(e(r), e(g), e(b));
    }
    // 24 and 32 bits: blue, green, red, and at 32 bits a byte of the section's own, never shown.
    BYTE* p = row + bpp / 8 * x;
    p[0] = static_cast<BYTE>(seed), p[1] = static_cast<BYTE>(seed * 5), p[2] = static_cast<BYTE>(255 - seed);
    if (bpp == 32) p[3] = 0x80;
    return Px(p[2], p[1], p[0]);
}

TEST_F(Bitmaps, EveryDepthReachesASurfaceAndComesBack) {
    const std::pair<int, bool> cases[] = {{1, false},  {4, false}, {8, false}, {16, false}, {24, false},
                                          {32, false}, {1, true},  {8, true},  {24, true},  {32, true}};
    const int w = 11, h = 5;
    for (const auto& [bpp, topDown] : cases) {
        SCOPED_TRACE(testing::Message() << bpp << " bits, top-down " << topDown);
        DibInfo info(w, topDown ? -h : h, static_cast<WORD>(bpp));
        // Distinct colours, so a nearest-colour search can only find the entry itself.
        for (int i = 0; i < 256; ++i) info.colors()[i] = RGBQUAD{BYTE(i), BYTE(255 - i), BYTE((i * 37) & 0xFF), 0};
        void* raw = nullptr;
        HBITMAP dib = info.Section(&raw);
        ASSERT_NE(raw, nullptr);
        BYTE* bits = static_cast<BYTE*>(raw);
        const int stride = Stride(w, bpp);
        for (int i = 0; i < stride * h; ++i) ASSERT_EQ(bits[i], 0) << "sections start zero-filled";
        std::vector<uint32_t> expected;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) expected.push_back(PutTestPixel(bits, w, h, bpp, topDown, info.colors(), x, y));
        const std::vector<BYTE> original(bits, bits + stride * h);
        const uint32_t alpha = bpp == 32 ? 0x80000000u : 0u;  // a 32-bit section's own byte
        Canvas canvas(w, h, 0xFFFFFFFF);
        {
            // Section -> window surface: through the palette, 4th byte 0; -> 32-bit section: the
            // same colours, with the 4th byte of a 32-bit source kept as data.
            MemDC mem(dib, nullptr, true);
            void* copied = nullptr;
            MemDC copy(DibInfo(w, -h, 32).Section(&copied));
            ASSERT_TRUE(BitBlt(canvas.dc, 0, 0, w, h, mem.dc, 0, 0, SRCCOPY));
            ASSERT_TRUE(BitBlt(copy.dc, 0, 0, w, h, mem.dc, 0, 0, SRCCOPY));
            ExpectPixels(canvas, [&](int x, int y) { return expected[y * w + x]; });
            for (int i = 0; i < w * h; ++i) ASSERT_EQ(static_cast<uint32_t*>(copied)[i], expected[i] | alpha) << i;
        }
        // GetDIBits to 32 bits top-down gives the same colours.
        std::vector<uint32_t> read(static_cast<size_t>(w * h), 0xDEADBEEF);
        EXPECT_EQ(GetDIBits(canvas.dc, dib, 0, h, read.data(), DibInfo(w, -h, 32).info(), DIB_RGB_COLORS), h);
        for (int i = 0; i < w * h; ++i) ASSERT_EQ(read[i], expected[i] | alpha) << "pixel " << i;
        {
            // The same bits made into a device bitmap (32 bits) show the same colours.
            Canvas again(w, h);
            MemDC ddb(CreateDIBitmap(again.dc, &info.header(), CBM_INIT, original.data(), info.info(), DIB_RGB_COLORS),
                      again.dc);
            EXPECT_EQ(BitmapOf(ddb.bitmap).bmBitsPixel, 32);
            BitBlt(again.dc, 0, 0, w, h, ddb.dc, 0, 0, SRCCOPY);
            ExpectPixels(again, [&](int x, int y) { return expected[y * w + x]; });
        }

        // Surface -> section: the nearest representable colour is the original value; from an RGB
        // surface the 4th byte arrives as 0, and the bits past the width are not compared.
        std::memset(bits, 0, original.size());
        MemDC mem(dib);
        ASSERT_TRUE(BitBlt(mem.dc, 0, 0, w, h, canvas.dc, 0, 0, SRCCOPY));
        for (int y = 0; y < h; ++y)
            for (int i = 0; i < (w * bpp + 7) / 8; ++i) {
                const int used = w * bpp - i * 8;
                const BYTE mask = used < 8 ? static_cast<BYTE>(0xFF << (8 - used)) : 0xFF;
                const BYTE want = (bpp == 32 && i % 4 == 3) ? 0 : original[y * stride + i];
                ASSERT_EQ(bits[y * stride + i] & mask, want & mask) << "row " << y << " byte " << i;
            }
    }
}

TEST_F(Bitmaps, SectionCreationRefusesBadSizesCleanly) {
    struct Case {
        LONG w, h;
        WORD bpp;
        bool ok;
    } cases[] = {{0, 5, 24, false}, {5, 0, 24, false}, {-3, 5, 24, false},         {5, 5, 7, false},
                 {5, -5, 24, true}, {1, 1, 1, true},   {100000, 100000, 32, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bpp);
        void* bits = reinterpret_cast<void*>(1);
        HBITMAP bm = DibInfo(c.w, c.h, c.bpp).Section(&bits);
        EXPECT_TRUE((bm != nullptr) == c.ok && (bits != nullptr) == c.ok);
        if (!bm) continue;
        DIBSECTION ds{};
        ASSERT_EQ(GetObjectA(bm, sizeof ds, &ds), static_cast<int>(sizeof(DIBSECTION)));
        BitmapOf(bm);  // a BITMAP's worth when that is asked for
        const LONG height = c.h < 0 ? -c.h : c.h;
        EXPECT_EQ(ds.dsBm.bmBits, bits);
        EXPECT_EQ(
            (std::vector<int64_t>{ds.dsBm.bmWidth, ds.dsBm.bmHeight, ds.dsBm.bmWidthBytes, ds.dsBmih.biSizeImage}),
            (std::vector<int64_t>{c.w, height, Stride(c.w, c.bpp), Stride(c.w, c.bpp) * height}));
        EXPECT_TRUE(DeleteObject(bm));
    }
}

// Six rows of distinct colours in a 3-pixel-wide 32-bit device bitmap.
uint32_t RowColor(int y) { return Px(static_cast<BYTE>(40 * y + 10), static_cast<BYTE>(200 - 30 * y), 7); }

TEST_F(Bitmaps, GetDIBitsOrientationFollowsTheSignOfTheHeight) {
    Canvas screen(1, 1);
    HBITMAP ddb = CreateCompatibleBitmap(screen.dc, 3, 6);
    for (MemDC mem(ddb, screen.dc, true); int y : {0, 1, 2, 3, 4, 5})
        tikora::gdi::FillSolidRect(mem.dc, RECT{0, y, 3, y + 1}, Ref(RowColor(y)));
    HDC dc = CreateCompatibleDC(screen.dc);
    // Image rows (from the top) in buffer order.
    struct Case {
        WORD bpp;
        bool topDown;
        UINT start, lines;
        std::vector<int> rows;
    } cases[] = {{24, false, 0, 6, {5, 4, 3, 2, 1, 0}},
                 {32, true, 0, 6, {0, 1, 2, 3, 4, 5}},
                 {24, false, 1, 2, {4, 3}},
                 {32, true, 2, 3, {2, 3, 4}},
                 {32, false, 4, 10, {1, 0}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpp << " bits top-down " << c.topDown << " from " << c.start);
        DibInfo info(3, c.topDown ? -6 : 6, c.bpp);
        const int stride = Stride(3, c.bpp);
        std::vector<BYTE> buf(static_cast<size_t>(stride * 6), 0xAB);
        EXPECT_EQ(GetDIBits(dc, ddb, c.start, c.lines, buf.data(), info.info(), DIB_RGB_COLORS),
                  static_cast<int>(c.rows.size()));
        for (size_t i = 0; i < c.rows.size(); ++i)
            for (int x = 0; x < 3; ++x) {
                const BYTE* p = buf.data() + i * stride + x * (c.bpp / 8);
                ASSERT_EQ(Px(p[2], p[1], p[0]), RowColor(c.rows[i])) << "buffer row " << i;
                ASSERT_TRUE(c.bpp == 24 || p[3] == 0);
            }
    }
    // Without bits and bit count: the bitmap's format is reported.
    DibInfo query(0, 0, 0);
    EXPECT_NE(GetDIBits(dc, ddb, 0, 6, nullptr, query.info(), DIB_RGB_COLORS), 0);
    const BITMAPINFOHEADER& q = query.header();
    EXPECT_TRUE(q.biWidth == 3 && q.biHeight == 6 && q.biBitCount == 32 && q.biSizeImage == 3u * 4 * 6);
    DeleteDC(dc);
    DeleteObject(ddb);
}

TEST_F(Bitmaps, SetDIBitsToDeviceOrientationAndScanBands) {
    const int w = 2, h = 4;
    // Per canvas row: the image row drawn there (-1 untouched).
    struct Case {
        bool topDown;
        int ySrc;
        DWORD cy;
        UINT start, lines;
        int yDest;
        std::vector<int> rows;
    } cases[] = {
        {false, 0, 4, 0, 4, 0, {0, 1, 2, 3, -1}},
        {true, 0, 4, 0, 4, 0, {0, 1, 2, 3, -1}},
        {false, 1, 2, 0, 4, 1, {-1, 1, 2, -1, -1}},
        {true, 1, 2, 0, 4, 1, {-1, 1, 2, -1, -1}},
        // Only scan lines 2 and 3 (the top two rows of a bottom-up DIB) are in the buffer.
        {false, 0, 4, 2, 2, 0, {0, 1, -1, -1, -1}},
        {true, 0, 4, 1, 2, 0, {-1, 1, 2, -1, -1}},
        {false, 0, 4, 0, 4, -2, {2, 3, -1, -1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "top-down " << c.topDown << " ySrc " << c.ySrc << " start " << c.start);
        DibInfo info(w, c.topDown ? -h : h, 24);
        const int stride = Stride(w, 24);
        // The full image, then the band of scan lines the call gets.
        std::vector<BYTE> full(static_cast<size_t>(stride * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int k = 0; k < 3; ++k)
                    full[(c.topDown ? y : h - 1 - y) * stride + 3 * x + k] = static_cast<BYTE>(RowColor(y) >> (8 * k));
        Canvas canvas(w, 5, 0x123456);
        EXPECT_EQ(SetDIBitsToDevice(canvas.dc, 0, c.yDest, w, c.cy, 0, c.ySrc, c.start, c.lines,
                                    full.data() + c.start * stride, info.info(), DIB_RGB_COLORS),
                  static_cast<int>(c.lines));
        ExpectPixels(canvas, [&](int, int y) { return c.rows[y] < 0 ? 0x123456u : RowColor(c.rows[y]); });
    }
}

TEST_F(Bitmaps, MonochromeBitmapsFollowTheDCColours) {
    Canvas canvas(4, 1);
    HDC fresh = CreateCompatibleDC(canvas.dc);
    const BITMAP first = BitmapOf(GetCurrentObject(fresh, OBJ_BITMAP));
    EXPECT_TRUE(first.bmWidth == 1 && first.bmHeight == 1 && first.bmBitsPixel == 1);
    // A fresh memory DC makes monochrome "compatible" bitmaps; a surface DC 32-bit ones.
    HBITMAP color = CreateCompatibleBitmap(canvas.dc, 4, 1);
    MemDC mem(CreateCompatibleBitmap(fresh, 4, 1), canvas.dc);
    DeleteDC(fresh);
    EXPECT_TRUE(BitmapOf(mem.bitmap).bmBitsPixel == 1 && BitmapOf(mem.bitmap).bmBits == nullptr);
    EXPECT_EQ(BitmapOf(color).bmBitsPixel, 32);
    DeleteObject(color);
    // Colour into monochrome: the source's background colour becomes white, the rest black.
    canvas.pixels = {Px(255, 0, 0), Px(0, 0, 255), Px(255, 0, 0), Px(1, 2, 3)};
    SetBkColor(canvas.dc, RGB(255, 0, 0));
    BitBlt(mem.dc, 0, 0, 4, 1, canvas.dc, 0, 0, SRCCOPY);
    // Monochrome into colour: black becomes the text colour, white the background colour.
    SetTextColor(canvas.dc, RGB(0, 128, 0));
    SetBkColor(canvas.dc, RGB(9, 9, 9));
    BitBlt(canvas.dc, 0, 0, 4, 1, mem.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(canvas.pixels, (std::vector<uint32_t>{Px(9, 9, 9), Px(0, 128, 0), Px(9, 9, 9), Px(0, 128, 0)}));
}

// A 4x4 32-bit source whose pixel (x, y) is unique and non-zero.
uint32_t SrcPx(int x, int y) { return Px(static_cast<BYTE>(x + 1), static_cast<BYTE>(y + 1), 0x55); }

TEST_F(Bitmaps, BitBltClipsToBothBitmapsAndTheClipRegion) {
    void* raw;
    MemDC mem(DibInfo(4, -4, 32).Section(&raw));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) static_cast<uint32_t*>(raw)[y * 4 + x] = SrcPx(x, y);
    struct Case {
        int dx, dy, cx, cy, sx, sy;
        std::vector<RECT> clip;
    } cases[] = {// clip {}: none
                 {0, 0, 4, 4, 0, 0, {}},
                 {-2, -1, 4, 4, 0, 0, {}},
                 {5, 4, 4, 4, 0, 0, {}},
                 {1, 1, 4, 4, -1, -2, {}},
                 {0, 0, 6, 6, 2, 2, {}},
                 {0, 0, 4, 4, 0, 0, {{0, 0, 2, 2}, {3, 1, 6, 3}}},
                 {2, 2, 4, 4, 0, 0, {{0, 3, 6, 4}}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "dst " << c.dx << "," << c.dy << " src " << c.sx << "," << c.sy);
        Canvas canvas(6, 6);
        if (!c.clip.empty()) Clip(canvas.dc, c.clip);
        EXPECT_TRUE(BitBlt(canvas.dc, c.dx, c.dy, c.cx, c.cy, mem.dc, c.sx, c.sy, SRCCOPY));
        ExpectPixels(canvas, [&](int x, int y) {
            bool inClip = c.clip.empty();
            for (const RECT& r : c.clip) inClip |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            const int u = x - c.dx + c.sx, v = y - c.dy + c.sy;
            const bool inBlit = x >= c.dx && x < c.dx + c.cx && y >= c.dy && y < c.dy + c.cy;
            return (inClip && inBlit && u >= 0 && u < 4 && v >= 0 && v < 4) ? SrcPx(u, v) : 0;
        });
    }
}

TEST_F(Bitmaps, BitBltWithinOneSurfaceIsOverlapSafe) {
    const int w = 7, h = 6;
    struct Shift {
        int dx, dy, sx, sy, cx, cy;
    } shifts[] = {{1, 0, 0, 0, 6, 6}, {0, 0, 1, 0, 6, 6}, {0, 1, 0, 0, 7, 5}, {0, 0, 0, 1, 7, 5},
                  {2, 2, 1, 1, 4, 3}, {1, 1, 2, 2, 4, 3}, {0, 2, 1, 0, 5, 4}};
    for (const Shift& s : shifts) {
        SCOPED_TRACE(testing::Message() << "from " << s.sx << "," << s.sy << " to " << s.dx << "," << s.dy);
        Canvas canvas(w, h);
        for (int i = 0; i < w * h; ++i) canvas.pixels[i] = 0x010203u * static_cast<uint32_t>(i + 1) & 0xFFFFFF;
        const std::vector<uint32_t> before = canvas.pixels;
        BitBlt(canvas.dc, s.dx, s.dy, s.cx, s.cy, canvas.dc, s.sx, s.sy, SRCCOPY);
        ExpectPixels(canvas, [&](int x, int y) {
            const bool moved = x >= s.dx && x < s.dx + s.cx && y >= s.dy && y < s.dy + s.cy;
            return moved ? before[(y - s.dy + s.sy) * w + (x - s.dx + s.sx)] : before[y * w + x];
        });
    }
}

TEST_F(Bitmaps, StretchBltSamplesNearestAndMirrors) {
    Canvas src(2, 2);
    src.pixels = {1, 2, 3, 4};
    struct Case {
        int x, y, w, h;
        std::vector<uint32_t> want;
    } cases[] = {
        // want: the 4x4 canvas
        {0, 0, 4, 4, {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}},
        {3, 0, -4, 2, {2, 2, 1, 1, 4, 4, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0}},
        {0, 3, 2, -2, {0, 0, 0, 0, 0, 0, 0, 0, 3, 4, 0, 0, 1, 2, 0, 0}},
    };
    for (const Case& c : cases) {
        Canvas dst(4, 4);
        SetStretchBltMode(dst.dc, COLORONCOLOR);
        // A negative size counts from the given edge, which is then part of the mirrored area.
        EXPECT_TRUE(StretchBlt(dst.dc, c.w < 0 ? c.x + 1 : c.x, c.h < 0 ? c.y + 1 : c.y, c.w, c.h, src.dc, 0, 0, 2, 2,
                               SRCCOPY));
        EXPECT_EQ(dst.pixels, c.want);
    }
    // StretchDIBits reads a bottom-up DIB upright.
    const BYTE rows[16] = {3, 0, 0, 4, 0, 0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 0};
    Canvas fromDib(4, 4);
    EXPECT_EQ(
        StretchDIBits(fromDib.dc, 0, 0, 4, 4, 0, 0, 2, 2, rows, DibInfo(2, 2, 24).info(), DIB_RGB_COLORS, SRCCOPY), 2);
    EXPECT_EQ(fromDib.pixels, cases[0].want);
    // Shrinking takes the pixel at each destination pixel's centre.
    Canvas wide(4, 1), narrow(2, 1);
    wide.pixels = {10, 11, 12, 13};
    StretchBlt(narrow.dc, 0, 0, 2, 1, wide.dc, 0, 0, 4, 1, SRCCOPY);
    EXPECT_EQ(narrow.pixels, (std::vector<uint32_t>{11, 13}));
}

TEST_F(Bitmaps, SelectionRulesKeepBitmapsInOneDC) {
    Canvas canvas(2, 2);
    HDC a = CreateCompatibleDC(canvas.dc), b = CreateCompatibleDC(canvas.dc);
    HBITMAP bm = CreateCompatibleBitmap(canvas.dc, 2, 2);
    ASSERT_NE(SelectObject(a, bm), nullptr);
    EXPECT_EQ(SelectObject(b, bm), nullptr) << "a bitmap lives in one DC at a time";
    EXPECT_FALSE(DeleteObject(bm)) << "a selected bitmap is not deleted";
    EXPECT_EQ(SelectObject(canvas.dc, bm), nullptr) << "a window DC takes no bitmap";
    EXPECT_EQ(GetCurrentObject(a, OBJ_BITMAP), bm);
    // A pen deleted while selected goes when its DC lets go of it.
    const int64_t before = tikora::gdi::LiveObjectCount();
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    HGDIOBJ oldPen = SelectObject(a, pen);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_EQ(tikora::gdi::LiveObjectCount(), before + 1);
    SelectObject(a, oldPen);
    EXPECT_EQ(tikora::gdi::LiveObjectCount(), before);
    EXPECT_EQ(GetObjectType(pen), 0u);

    // SaveDC/RestoreDC bring back the selection.
    int level = SaveDC(a);
    HBRUSH brush = CreateSolidBrush(RGB(5, 6, 7));
    HGDIOBJ oldBrush = SelectObject(a, brush);
    EXPECT_TRUE(RestoreDC(a, level));
    EXPECT_EQ(GetCurrentObject(a, OBJ_BRUSH), oldBrush);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_FALSE(RestoreDC(a, -1)) << "nothing left to restore";
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH))) << "stock objects stay";
    EXPECT_NE(GetObjectType(GetStockObject(BLACK_BRUSH)), 0u);

    DeleteDC(a);  // deleting the DC lets go of its bitmap
    EXPECT_TRUE(DeleteObject(bm));
    EXPECT_FALSE(DeleteObject(bm)) << "a dead handle is refused";
    // The screen's clip box is the screen.
    HDC screen = GetDC(nullptr);
    RECT box;
    EXPECT_EQ(GetClipBox(screen, &box), SIMPLEREGION);
    EXPECT_EQ(box.right, GetDeviceCaps(screen, HORZRES));
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    DeleteDC(b);
}

using Rects = std::vector<std::vector<LONG>>;

Rects RectList(HRGN rgn) {
    Rects out;
    for (const RECT& r : tikora::gdi::GetRegionRects(rgn)) out.push_back({r.left, r.top, r.right, r.bottom});
    return out;
}

// The clip box of a DC as {left, top, right, bottom}.
std::vector<LONG> Box(HDC dc) {
    RECT r{};
    GetClipBox(dc, &r);
    return {r.left, r.top, r.right, r.bottom};
}

TEST_F(Regions, CombineGivesBandedRectangles) {
    // Each side is its rectangles ORed in one at a time; made at once from the list, it must be
    // the same region.
    struct Case {
        std::vector<RECT> a, b;
        int mode, complexity;
        Rects rects;
    } cases[] = {
        {{{0, 0, 10, 10}}, {{5, 5, 15, 15}}, RGN_AND, SIMPLEREGION, {{5, 5, 10, 10}}},
        {{{0, 0, 10, 10}}, {{5, 5, 15, 15}}, RGN_OR, COMPLEXREGION, {{0, 0, 10, 5}, {0, 5, 15, 10}, {5, 10, 15, 15}}},
        {{{0, 0, 10, 10}},
         {{5, 5, 15, 15}},
         RGN_XOR,
         COMPLEXREGION,
         {{0, 0, 10, 5}, {0, 5, 5, 10}, {10, 5, 15, 10}, {5, 10, 15, 15}}},
        {{{0, 0, 10, 10}}, {{5, 5, 15, 15}}, RGN_DIFF, COMPLEXREGION, {{0, 0, 10, 5}, {0, 5, 5, 10}}},
        {{{0, 0, 10, 10}}, {{20, 0, 30, 10}}, RGN_AND, NULLREGION, {}},
        {{{0, 0, 5, 5}}, {{5, 0, 10, 5}}, RGN_OR, SIMPLEREGION, {{0, 0, 10, 5}}},
        {{{0, 0, 5, 5}}, {{0, 5, 5, 9}}, RGN_OR, SIMPLEREGION, {{0, 0, 5, 9}}},
        {{{0, 0, 10, 10}}, {{0, 0, 10, 10}}, RGN_DIFF, NULLREGION, {}},
        {{{0, 0, 10, 10}}, {{2, 2, 4, 4}}, RGN_COPY, SIMPLEREGION, {{0, 0, 10, 10}}},
        // Touching spans from one side or both join; rows alike one under another make one band.
        {{{0, 0, 5, 5}, {5, 0, 9, 5}}, {{9, 0, 12, 5}}, RGN_OR, SIMPLEREGION, {{0, 0, 12, 5}}},
        {{{0, 4, 4, 6}, {0, 0, 4, 2}}, {{0, 2, 4, 4}}, RGN_OR, SIMPLEREGION, {{0, 0, 4, 6}}},
        {{{0, 0, 2, 4}, {4, 0, 6, 4}}, {{2, 0, 4, 4}, {6, 0, 8, 4}}, RGN_OR, SIMPLEREGION, {{0, 0, 8, 4}}},
        {{{0, 0, 2, 4}, {4, 0, 6, 4}}, {{2, 0, 4, 4}, {6, 0, 8, 4}}, RGN_AND, NULLREGION, {}},
        {{{0, 0, 2, 1}, {0, 2, 2, 3}, {0, 4, 2, 5}},
         {{0, 5, 2, 7}},
         RGN_OR,
         COMPLEXREGION,
         {{0, 0, 2, 1}, {0, 2, 2, 3}, {0, 4, 2, 7}}},
        // A hole splits the rows around it into bands that join again below it.
        {{{0, 0, 9, 9}},
         {{3, 3, 6, 6}},
         RGN_XOR,
         COMPLEXREGION,
         {{0, 0, 9, 3}, {0, 3, 3, 6}, {6, 3, 9, 6}, {0, 6, 9, 9}}},
        {{{0, 0, 3, 3}, {5, 5, 8, 8}}, {{5, 5, 8, 8}, {0, 0, 3, 3}}, RGN_XOR, NULLREGION, {}},
        {{}, {{1, 1, 3, 3}}, RGN_OR, SIMPLEREGION, {{1, 1, 3, 3}}},
        {{{0, 0, 2, 2}, {0, 4, 2, 6}, {0, 8, 2, 10}}, {{0, 3, 9, 7}}, RGN_AND, SIMPLEREGION, {{0, 4, 2, 6}}},
        // Overlapping rectangles out of order, one twice, one reversed and one empty.
        {{{4, 4, 8, 8}, {0, 0, 6, 6}, {2, 2, 3, 9}, {0, 0, 6, 6}},
         {{6, 10, 0, 9}, {3, 3, 3, 9}},
         RGN_OR,
         COMPLEXREGION,
         {{0, 0, 6, 4}, {0, 4, 8, 6}, {2, 6, 3, 8}, {4, 6, 8, 8}, {2, 8, 3, 9}, {0, 9, 6, 10}}},
    };
    auto within = [](LONG v, LONG a, LONG b) { return v >= std::min(a, b) && v < std::max(a, b); };
    for (const Case& c : cases) {
        HRGN a = RegionOf(c.a), b = RegionOf(c.b), d = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(CombineRgn(d, a, b, c.mode), c.complexity) << "mode " << c.mode;
        EXPECT_EQ(RectList(d), c.rects) << "mode " << c.mode;
        // Made at once from its list, a side (or a union, from both) is the same region, and it
        // holds the points inside any of the rectangles.
        std::vector<RECT> all = c.a;
        if (c.mode == RGN_OR) all.insert(all.end(), c.b.begin(), c.b.end());
        HRGN atOnce = tikora::gdi::CreateRectsRgn(all.data(), all.size());
        EXPECT_TRUE(EqualRgn(atOnce, c.mode == RGN_OR ? d : a)) << "mode " << c.mode;
        for (int y = -1; y < 12; ++y)
            for (int x = -1; x < 14; ++x) {
                bool in = false;
                for (const RECT& r : all) in = in || (within(x, r.left, r.right) && within(y, r.top, r.bottom));
                EXPECT_EQ(PtInRegion(atOnce, x, y) != 0, in) << x << "," << y;
            }
        for (HRGN r : {a, b, d, atOnce}) DeleteObject(r);
    }
}

TEST_F(Regions, PointsBoxesOffsetsEqualityAndPolygons) {
    HRGN a = RegionOf({{0, 0, 10, 10}, {20, 20, 30, 25}});
    // Right and bottom edges are outside.
    for (auto [x, y, in] : {std::tuple{0, 0, true}, {9, 9, true}, {10, 9, false}, {15, 15, false}, {29, 24, true}})
        EXPECT_EQ(PtInRegion(a, x, y) != 0, in) << x << "," << y;
    RECT box;
    EXPECT_EQ(GetRgnBox(a, &box), COMPLEXREGION);
    EXPECT_TRUE(EqualRect(&box, std::data({RECT{0, 0, 30, 25}})));
    EXPECT_EQ(OffsetRgn(a, 5, -5), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(a, 5, -5) && !PtInRegion(a, 0, 0));
    HRGN c = RegionOf({{5, -5, 15, 5}, {25, 15, 35, 20}});
    EXPECT_TRUE(EqualRgn(a, c));
    OffsetRgn(c, 1, 0);
    EXPECT_FALSE(EqualRgn(a, c));

    // Fill modes differ inside a star: the pentagon in the middle is crossed twice.
    const POINT star[5] = {{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
    HRGN winding = CreatePolygonRgn(star, 5, WINDING), alternate = CreatePolygonRgn(star, 5, ALTERNATE);
    EXPECT_TRUE(PtInRegion(winding, 50, 50) && !PtInRegion(alternate, 50, 50));
    for (HRGN r : {winding, alternate}) EXPECT_TRUE(PtInRegion(r, 50, 10) && !PtInRegion(r, 5, 80)) << "tip, outside";
    HRGN both = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(both, alternate, winding, RGN_DIFF), NULLREGION) << "alternate lies within winding";
    // A rectangle as a polygon covers the pixels of the rectangle region; a triangle each row from the
    // left edge up to the diagonal, which is outside.
    const POINT square[4] = {{2, 3}, {12, 3}, {12, 9}, {2, 9}}, tri[3] = {{0, 0}, {4, 4}, {0, 4}};
    HRGN poly = CreatePolygonRgn(square, 4, ALTERNATE), rect = CreateRectRgn(2, 3, 12, 9);
    HRGN t = CreatePolygonRgn(tri, 3, WINDING);
    EXPECT_TRUE(EqualRgn(poly, rect));
    EXPECT_EQ(RectList(t), (Rects{{0, 1, 1, 2}, {0, 2, 2, 3}, {0, 3, 3, 4}}));
    for (HRGN r : {a, c, winding, alternate, both, poly, rect, t}) DeleteObject(r);
}

TEST_F(Regions, RunsOredOneByOneCoverExactlyTheirPixels) {
    // The way a window outline is built from a picture: one rectangle per run, ORed in (here from
    // the bottom up). No two rows are alike, so the bands are the runs themselves.
    const char* rows[] = {"..XXXX..", ".XX..XX.", "XX....XX", "XXXXXXXX", ".X.X.X.X"};
    Rects want;
    std::vector<RECT> runs;
    for (int y = 0; y < 5; ++y)
        for (int x = 0, end; x < 8; x = end + 1) {
            for (end = x; end < 8 && rows[y][end] == 'X';) ++end;
            if (end > x) want.push_back({x, y, end, y + 1}), runs.insert(runs.begin(), RECT{x, y, end, y + 1});
        }
    HRGN result = RegionOf(runs);
    EXPECT_EQ(RectList(result), want);
    DeleteObject(result);
}

TEST_F(Regions, ClipIntersectAndRestoreAroundADrawing) {
    // Narrowing the clip to a rectangle, drawing, then ORing the remembered clip box back.
    Canvas canvas(8, 6);
    RECT saved, narrow{2, 1, 5, 4}, all{0, 0, 8, 6};
    EXPECT_EQ(GetClipBox(canvas.dc, &saved), SIMPLEREGION);
    EXPECT_EQ(Clip(canvas.dc, {narrow}, RGN_AND), SIMPLEREGION);
    EXPECT_EQ(Box(canvas.dc), (std::vector<LONG>{2, 1, 5, 4}));
    tikora::gdi::FillSolidRect(canvas.dc, all, RGB(255, 0, 0));
    ExpectPixels(canvas, [](int x, int y) { return (x >= 2 && x < 5 && y >= 1 && y < 4) ? Px(255, 0, 0) : 0u; });
    EXPECT_EQ(Clip(canvas.dc, {saved}, RGN_OR), SIMPLEREGION);
    EXPECT_EQ(Box(canvas.dc), (std::vector<LONG>{0, 0, 8, 6}));
    tikora::gdi::FillSolidRect(canvas.dc, all, RGB(0, 0, 255));
    ExpectPixels(canvas, [](int, int) { return Px(0, 0, 255); });

    // SaveDC keeps the clip; a NULL region with RGN_COPY removes it; other modes need a region.
    int level = SaveDC(canvas.dc);
    IntersectClipRect(canvas.dc, 0, 0, 1, 1);
    EXPECT_EQ(Box(canvas.dc)[2], 1);
    RestoreDC(canvas.dc, level);
    EXPECT_EQ(Box(canvas.dc)[2], 8);
    ExcludeClipRect(canvas.dc, 0, 0, 8, 3);
    EXPECT_EQ(Box(canvas.dc)[1], 3);
    EXPECT_EQ(ExtSelectClipRgn(canvas.dc, nullptr, RGN_AND), ERROR);
    EXPECT_EQ(ExtSelectClipRgn(canvas.dc, nullptr, RGN_COPY), SIMPLEREGION);
    EXPECT_EQ(Box(canvas.dc)[1], 0);
    // The clip region is in device units; the clip box comes back in logical ones.
    SetWindowOrgEx(canvas.dc, 2, 1, nullptr);
    EXPECT_EQ(Box(canvas.dc), (std::vector<LONG>{2, 1, 10, 7}));

    // The system clip (a window's update region) bounds the program's clip.
    Canvas strip(6, 1);
    HRGN update = CreateRectRgn(1, 0, 4, 1);
    tikora::gdi::SetSystemClipRegion(strip.dc, update);
    Clip(strip.dc, {{0, 0, 6, 1}}, RGN_OR);
    tikora::gdi::FillSolidRect(strip.dc, RECT{0, 0, 6, 1}, RGB(0, 0, 9));
    EXPECT_EQ(strip.pixels, (std::vector<uint32_t>{0, 9, 9, 9, 0, 0}));
    tikora::gdi::SetSystemClipRegion(strip.dc, nullptr);
    DeleteObject(update);

    // A saved clip stays as it was while the current one changes, and RestoreDC brings it back
    // whole: two columns, then their lower halves, then the first pixel column of those.
    Canvas cols(6, 4);
    Clip(cols.dc, {{0, 0, 2, 4}, {4, 0, 6, 4}});
    const int outer = SaveDC(cols.dc);
    ExcludeClipRect(cols.dc, 0, 0, 6, 2);
    SaveDC(cols.dc);
    IntersectClipRect(cols.dc, 0, 0, 1, 4);
    tikora::gdi::FillSolidRect(cols.dc, RECT{0, 0, 6, 4}, RGB(0, 0, 1));
    RestoreDC(cols.dc, -1);
    tikora::gdi::FillSolidRect(cols.dc, RECT{1, 0, 6, 4}, RGB(0, 0, 2));
    RestoreDC(cols.dc, outer);
    tikora::gdi::FillSolidRect(cols.dc, RECT{0, 0, 6, 2}, RGB(0, 0, 3));
    EXPECT_EQ(cols.pixels,
              (std::vector<uint32_t>{3, 3, 0, 0, 3, 3, 3, 3, 0, 0, 3, 3, 1, 2, 0, 0, 2, 2, 1, 2, 0, 0, 2, 2}));
    HRGN kept = CreateRectRgn(0, 0, 0, 0);
    EXPECT_TRUE(GetClipRgn(cols.dc, kept) == 1 && RectList(kept) == (Rects{{0, 0, 2, 4}, {4, 0, 6, 4}}));
    DeleteObject(kept);
}

// The canvas as text, one character per pixel and "|" between rows, from a legend of colours.
std::string Picture(Canvas& c, const std::vector<std::pair<uint32_t, char>>& legend) {
    std::string out;
    for (int y = 0; y < c.height; ++y) {
        if (y) out += '|';
        for (int x = 0; x < c.width; ++x) {
            char ch = '?';
            for (auto& [px, sym] : legend) ch = c.at(x, y) == px ? sym : ch;
            out += ch;
        }
    }
    return out;
}

TEST_F(Drawing, ShapesPenAndBrushPixels) {
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(200, 0, 0)), pen2 = CreatePen(PS_SOLID, 2, RGB(200, 0, 0));
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 200));
    struct Case {
        const char* name;
        std::function<void(HDC)> draw;
        const char* want;
    } cases[] = {
        {"rectangle", [](HDC dc) { Rectangle(dc, 1, 1, 6, 5); }, "......|.PPPPP|.PBBBP|.PBBBP|.PPPPP|......"},
        {"rectangle without pen", [](HDC dc) { SelectObject(dc, GetStockObject(NULL_PEN)), Rectangle(dc, 1, 1, 6, 5); },
         "......|.BBBB.|.BBBB.|.BBBB.|......|......"},
        {"rectangle without brush",
         [](HDC dc) { SelectObject(dc, GetStockObject(NULL_BRUSH)), Rectangle(dc, 0, 0, 4, 3); },
         "PPPP..|P..P..|PPPP..|......|......|......"},
        {"lines leave out the end point",
         [](HDC dc) {
             MoveToEx(dc, 0, 0, nullptr), LineTo(dc, 5, 0), LineTo(dc, 5, 3), MoveToEx(dc, 0, 5, nullptr),
                 LineTo(dc, 3, 2);
         },
         "PPPPPP|.....P|.....P|..P...|.P....|P....."},
        {"wide pen", [&](HDC dc) { SelectObject(dc, pen2), MoveToEx(dc, 1, 2, nullptr), LineTo(dc, 5, 2); },
         "......|PPPPP.|PPPPP.|......|......|......"},
        {"polygon",
         [](HDC dc) {
             Polygon(dc, std::data({POINT{0, 0}, POINT{5, 0}, POINT{0, 5}}), 3);
         },
         "PPPPPP|PBBBP.|PBBP..|PBP...|PP....|P....."},
        // Corners between pixels: a pixel is in when its point is; rows 1-3, the sides slanting.
        {"polygon between pixels",
         [](HDC dc) {
             const tikora::gdi::PointF far[3] = {{0, 0}, {1e12, 0}, {0, 5}}, nan[3] = {{0, 0}, {5, 0}, {0, NAN}};
             EXPECT_FALSE(tikora::gdi::FillPolygonF(dc, far, 3) || tikora::gdi::FillPolygonF(dc, nan, 3));
             tikora::gdi::FillPolygonF(dc, std::data({tikora::gdi::PointF{1, 0.5}, {4, 0.5}, {5.5, 3.5}, {2.5, 3.5}}),
                                       4);
         },
         "......|..BBB.|..BBB.|...BBB|......|......"},
        {"fill and frame",
         [&](HDC dc) {
             FillRect(dc, std::data({RECT{1, 1, 5, 4}}), brush);
             FrameRect(dc, std::data({RECT{0, 0, 6, 6}}), static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
         },
         "WWWWWW|WBBBBW|WBBBBW|WBBBBW|W....W|WWWWWW"},
    };
    for (const Case& c : cases) {
        Canvas canvas(6, 6);
        SelectObject(canvas.dc, pen);
        SelectObject(canvas.dc, brush);
        c.draw(canvas.dc);
        EXPECT_EQ(Picture(canvas, {{0, '.'}, {Px(200, 0, 0), 'P'}, {Px(0, 0, 200), 'B'}, {Px(255, 255, 255), 'W'}}),
                  c.want)
            << c.name;
    }
    for (HGDIOBJ o : {HGDIOBJ(pen), HGDIOBJ(pen2), HGDIOBJ(brush)}) DeleteObject(o);
}

TEST_F(Drawing, SystemColourBrushesPixelsCoverageAndEllipses) {
    Canvas canvas(4, 2, 0x00808080);
    const HBRUSH face = reinterpret_cast<HBRUSH>(uintptr_t{COLOR_BTNFACE + 1});  // a system colour as a brush
    EXPECT_TRUE(FillRect(canvas.dc, std::data({RECT{0, 0, 2, 1}}), face));
    EXPECT_EQ(canvas.at(0, 0), Px(240, 240, 240));
    EXPECT_EQ(GetPixel(canvas.dc, 1, 0), RGB(240, 240, 240));
    EXPECT_EQ(GetPixel(canvas.dc, 4, 0), CLR_INVALID);
    EXPECT_EQ(SetPixel(canvas.dc, 3, 1, RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(canvas.at(3, 1), Px(1, 2, 3));
    // Glyph coverage: 0 leaves the pixel, 255 sets the colour, between blends; 4th byte stays 0.
    canvas.at(2, 0) = 0x00000000;
    const BYTE cov[3] = {0, 128, 255};
    tikora::gdi::BlendCoverage(canvas.dc, 1, 0, 3, 1, cov, 3, RGB(255, 255, 255));
    EXPECT_EQ(std::vector<uint32_t>(canvas.pixels.begin() + 1, canvas.pixels.begin() + 4),
              (std::vector<uint32_t>{Px(240, 240, 240), Px(128, 128, 128), Px(255, 255, 255)}));
    for (uint32_t p : canvas.pixels) EXPECT_EQ(p >> 24, 0u);

    // An ellipse is symmetric, drawn with the pen around the brush.
    Canvas oval(11, 9);
    SelectObject(oval.dc, GetStockObject(BLACK_BRUSH));
    SelectObject(oval.dc, GetStockObject(WHITE_PEN));
    Ellipse(oval.dc, 0, 0, 11, 9);
    ExpectPixels(oval, [&](int x, int y) { return oval.at(10 - x, y); });  // mirrored left to right
    ExpectPixels(oval, [&](int x, int y) { return oval.at(x, 8 - y); });   // and top to bottom
    int filled = 0;
    for (uint32_t p : oval.pixels) filled += p == Px(255, 255, 255);
    EXPECT_TRUE(oval.at(0, 0) == 0u && oval.at(5, 0) == Px(255, 255, 255) && filled > 20);
    EXPECT_EQ(oval.at(5, 4), 0u) << "the inside is the black brush";
}

TEST_F(Drawing, ArcsPiesChordsWithPenAndBrush) {
    // On a 41 x 41 canvas, a circle through the pixel centres 0..40; white brush, black pen.
    constexpr uint32_t W = 0xFFFFFF, K = 0, G = 0x808080;
    struct Case {
        const char* name;
        std::function<void(HDC)> draw;
        std::vector<std::tuple<int, int, uint32_t>> probes;
    };
    const std::vector<Case> cases = {
        // East to north counterclockwise: the top-right quarter.
        {"pie",
         [](HDC dc) { Pie(dc, 0, 0, 41, 41, 41, 20, 20, 0); },
         {{30, 10, W}, {20, 20, K}, {10, 10, G}, {30, 30, G}, {40, 20, K}, {30, 20, K}}},
        {"clockwise pie",
         [](HDC dc) {
             EXPECT_EQ(SetArcDirection(dc, AD_CLOCKWISE), AD_COUNTERCLOCKWISE);
             Pie(dc, 0, 0, 41, 41, 41, 20, 20, 0);
         },
         {{10, 10, W}, {10, 30, W}, {30, 30, W}, {30, 10, G}}},
        // The cap above the line from 45 to 135 degrees.
        {"chord", [](HDC dc) { Chord(dc, 0, 0, 41, 41, 41, 0, 0, 0); }, {{20, 3, W}, {20, 10, G}, {20, 30, G}}},
        {"arc",
         [](HDC dc) { Arc(dc, 0, 0, 41, 41, 41, 20, 20, 0); },
         {{40, 20, K}, {34, 6, K}, {30, 10, G}, {6, 34, G}, {0, 20, G}}},
        // From the current position along a line to the arc, which ends at the current position.
        {"arc to",
         [](HDC dc) {
             MoveToEx(dc, 40, 40, nullptr);
             ArcTo(dc, 0, 0, 41, 41, 41, 20, 20, 0);
             POINT pos;
             GetCurrentPositionEx(dc, &pos);
             EXPECT_EQ(pos.x, 20);
             EXPECT_EQ(pos.y, 0);
         },
         {{40, 30, K}, {34, 6, K}, {6, 34, G}}},
        {"angle arc",
         [](HDC dc) {
             MoveToEx(dc, 0, 20, nullptr);
             AngleArc(dc, 20, 20, 10, 0, 180);
         },
         {{5, 20, K}, {20, 10, K}, {10, 20, K}, {20, 30, G}}},
    };
    for (const Case& c : cases) {
        Canvas canvas(41, 41, G);
        SelectObject(canvas.dc, GetStockObject(WHITE_BRUSH));
        SelectObject(canvas.dc, GetStockObject(BLACK_PEN));
        c.draw(canvas.dc);
        for (auto [x, y, want] : c.probes) EXPECT_EQ(canvas.at(x, y), want) << c.name << " at " << x << "," << y;
    }
}

}  // namespace
