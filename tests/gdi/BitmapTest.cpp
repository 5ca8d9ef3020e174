// DIB sections, device bitmaps, pixel format conversions and blits.
#include <cstddef>

#include "GdiTestUtil.h"

using namespace gditest;

namespace {

class Bitmaps : public GdiTest {};

TEST(GdiLayout, FileHeaderIsPackedAndSectionsMatchWindows) {
  EXPECT_EQ(offsetof(BITMAPFILEHEADER, bfSize), 2u);
  EXPECT_EQ(offsetof(BITMAPFILEHEADER, bfOffBits), 10u);
  EXPECT_EQ(offsetof(DIBSECTION, dsBmih), 32u);
  EXPECT_EQ(offsetof(DIBSECTION, dshSection), 88u);
  EXPECT_EQ(offsetof(BITMAPINFO, bmiColors), 40u);
  EXPECT_EQ(RGB(1, 2, 3), 0x030201u);
  EXPECT_EQ(GetBValue(RGB(1, 2, 3)), 3);
}

// Writes pixel (x, y), counted from the top, in the DIB's own format; returns the colour a
// 32-bit surface must show for it.
uint32_t PutTestPixel(BYTE* bits, int w, int h, int bpp, bool topDown, const RGBQUAD* pal, int x, int y) {
  BYTE* row = bits + static_cast<ptrdiff_t>(topDown ? y : h - 1 - y) * Stride(w, bpp);
  const int seed = x * 7 + y * 13;
  auto palColor = [&](int i) { return Px(pal[i].rgbRed, pal[i].rgbGreen, pal[i].rgbBlue); };
  switch (bpp) {
    case 1: {
      int i = seed & 1;
      row[x / 8] = static_cast<BYTE>((row[x / 8] & ~(0x80 >> (x % 8))) | (i << (7 - x % 8)));
      return palColor(i);
    }
    case 4: {
      int i = seed & 15;
      row[x / 2] = (x & 1) ? static_cast<BYTE>((row[x / 2] & 0xF0) | i) : static_cast<BYTE>((row[x / 2] & 0x0F) | (i << 4));
      return palColor(i);
    }
    case 8: {
      int i = (seed * 11) & 255;
      row[x] = static_cast<BYTE>(i);
      return palColor(i);
    }
    case 16: {
      int r = seed & 31, g = (seed * 3) & 31, b = 31 - (seed & 31);
      uint16_t v = static_cast<uint16_t>((r << 10) | (g << 5) | b);
      std::memcpy(row + 2 * x, &v, 2);
      auto e = [](int c) { return static_cast<BYTE>((c * 255 + 15) / 31); };
      return Px(e(r), e(g), e(b));
    }
    case 24:
      row[3 * x] = static_cast<BYTE>(seed);
      row[3 * x + 1] = static_cast<BYTE>(seed * 5);
      row[3 * x + 2] = static_cast<BYTE>(255 - seed);
      return Px(static_cast<BYTE>(255 - seed), static_cast<BYTE>(seed * 5), static_cast<BYTE>(seed));
    default:
      row[4 * x] = static_cast<BYTE>(seed);
      row[4 * x + 1] = static_cast<BYTE>(seed * 5);
      row[4 * x + 2] = static_cast<BYTE>(255 - seed);
      row[4 * x + 3] = 0x80;  // data of the section's own, never shown
      return Px(static_cast<BYTE>(255 - seed), static_cast<BYTE>(seed * 5), static_cast<BYTE>(seed));
  }
}

struct FormatCase {
  int bpp;
  bool topDown;
};

TEST_F(Bitmaps, EveryDepthReachesASurfaceAndComesBack) {
  const FormatCase cases[] = {{1, false}, {4, false}, {8, false}, {16, false}, {24, false},
                              {32, false}, {1, true},  {8, true},  {24, true},  {32, true}};
  const int w = 11, h = 5;
  for (const FormatCase& fc : cases) {
    SCOPED_TRACE(testing::Message() << fc.bpp << " bits, top-down " << fc.topDown);
    DibInfo info(w, fc.topDown ? -h : h, static_cast<WORD>(fc.bpp));
    // Distinct colours, so a nearest-colour search can only find the entry itself.
    for (int i = 0; i < 256; ++i)
      info.colors()[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>((i * 37) & 0xFF), 0};
    void* raw = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, info.info(), DIB_RGB_COLORS, &raw, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    ASSERT_NE(raw, nullptr);
    BYTE* bits = static_cast<BYTE*>(raw);
    for (int i = 0; i < Stride(w, fc.bpp) * h; ++i) ASSERT_EQ(bits[i], 0) << "sections start zero-filled";
    std::vector<uint32_t> expected;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) expected.push_back(PutTestPixel(bits, w, h, fc.bpp, fc.topDown, info.colors(), x, y));
    const std::vector<BYTE> original(bits, bits + Stride(w, fc.bpp) * h);

    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, dib);
    ASSERT_NE(old, nullptr);

    // Section -> window surface: through the palette, 4th byte 0.
    Canvas canvas(w, h, 0xFFFFFFFF);
    ASSERT_TRUE(BitBlt(canvas.dc, 0, 0, w, h, mem, 0, 0, SRCCOPY));
    for (int i = 0; i < w * h; ++i) ASSERT_EQ(canvas.pixels[i], expected[i]) << "pixel " << i;

    // GetDIBits to 32 bits top-down gives the same colours.
    DibInfo out(w, -h, 32);
    std::vector<uint32_t> read(static_cast<size_t>(w * h), 0xDEADBEEF);
    SelectObject(mem, old);
    EXPECT_EQ(GetDIBits(mem, dib, 0, h, read.data(), out.info(), DIB_RGB_COLORS), h);
    for (int i = 0; i < w * h; ++i) {
      uint32_t want = expected[i] | (fc.bpp == 32 ? 0x80000000u : 0u);
      ASSERT_EQ(read[i], want) << "pixel " << i;
    }

    // Surface -> section: the nearest representable colour is the original value.
    std::memset(bits, 0, original.size());
    SelectObject(mem, dib);
    ASSERT_TRUE(BitBlt(mem, 0, 0, w, h, canvas.dc, 0, 0, SRCCOPY));
    for (int y = 0; y < h; ++y) {
      const int rowBytes = (w * fc.bpp + 7) / 8;
      const BYTE* got = bits + static_cast<ptrdiff_t>(y) * Stride(w, fc.bpp);
      const BYTE* want = original.data() + static_cast<ptrdiff_t>(y) * Stride(w, fc.bpp);
      for (int i = 0; i < rowBytes; ++i) {
        // From an RGB surface the 4th byte arrives as 0.
        BYTE wantByte = (fc.bpp == 32 && i % 4 == 3) ? 0 : want[i];
        if (fc.bpp == 1 || fc.bpp == 4) {
          int bitsUsed = w * fc.bpp - i * 8;
          if (bitsUsed < 8) {
            BYTE mask = static_cast<BYTE>(0xFF << (8 - bitsUsed));
            ASSERT_EQ(got[i] & mask, wantByte & mask) << "row " << y << " byte " << i;
            continue;
          }
        }
        ASSERT_EQ(got[i], wantByte) << "row " << y << " byte " << i;
      }
    }
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(dib);
  }
}

TEST_F(Bitmaps, SectionCreationRefusesBadSizesCleanly) {
  struct Case {
    LONG w, h;
    WORD bpp;
    bool ok;
  } cases[] = {{0, 5, 24, false},  {5, 0, 24, false},    {-3, 5, 24, false},      {5, 5, 7, false},
               {5, -5, 24, true},  {1, 1, 1, true},       {100000, 100000, 32, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bpp);
    DibInfo info(c.w, c.h, c.bpp);
    void* bits = reinterpret_cast<void*>(1);
    HBITMAP bm = CreateDIBSection(nullptr, info.info(), DIB_RGB_COLORS, &bits, nullptr, 0);
    EXPECT_EQ(bm != nullptr, c.ok);
    EXPECT_EQ(bits != nullptr, c.ok);
    if (!bm) continue;
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(bm, sizeof ds, &ds), static_cast<int>(sizeof(DIBSECTION)));
    EXPECT_EQ(ds.dsBm.bmWidth, c.w);
    EXPECT_EQ(ds.dsBm.bmHeight, c.h < 0 ? -c.h : c.h);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, Stride(c.w, c.bpp));
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBmih.biSizeImage, static_cast<DWORD>(Stride(c.w, c.bpp) * (c.h < 0 ? -c.h : c.h)));
    BITMAP b{};
    EXPECT_EQ(GetObjectA(bm, sizeof b, &b), static_cast<int>(sizeof(BITMAP)));
    EXPECT_TRUE(DeleteObject(bm));
  }
}

// Six rows of distinct colours in a 3-pixel-wide 32-bit device bitmap.
uint32_t RowColor(int y) { return Px(static_cast<BYTE>(40 * y + 10), static_cast<BYTE>(200 - 30 * y), 7); }

TEST_F(Bitmaps, GetDIBitsOrientationFollowsTheSignOfTheHeight) {
  Canvas screen(1, 1);
  HBITMAP ddb = CreateCompatibleBitmap(screen.dc, 3, 6);
  HDC mem = CreateCompatibleDC(screen.dc);
  HGDIOBJ old = SelectObject(mem, ddb);
  for (int y = 0; y < 6; ++y) {
    HBRUSH br = CreateSolidBrush(RGB((RowColor(y) >> 16) & 0xFF, (RowColor(y) >> 8) & 0xFF, RowColor(y) & 0xFF));
    RECT r{0, y, 3, y + 1};
    FillRect(mem, &r, br);
    DeleteObject(br);
  }
  SelectObject(mem, old);

  struct Case {
    WORD bpp;
    bool topDown;
    UINT start, lines;
    std::vector<int> rows;  // image rows (from the top) in buffer order
  } cases[] = {
      {24, false, 0, 6, {5, 4, 3, 2, 1, 0}},
      {32, true, 0, 6, {0, 1, 2, 3, 4, 5}},
      {24, false, 1, 2, {4, 3}},
      {32, true, 2, 3, {2, 3, 4}},
      {32, false, 4, 10, {1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bpp << " bits top-down " << c.topDown << " from " << c.start);
    DibInfo info(3, c.topDown ? -6 : 6, c.bpp);
    const int stride = Stride(3, c.bpp);
    std::vector<BYTE> buf(static_cast<size_t>(stride * 6), 0xAB);
    EXPECT_EQ(GetDIBits(mem, ddb, c.start, c.lines, buf.data(), info.info(), DIB_RGB_COLORS),
              static_cast<int>(c.rows.size()));
    for (size_t i = 0; i < c.rows.size(); ++i) {
      for (int x = 0; x < 3; ++x) {
        const BYTE* p = buf.data() + i * stride + x * (c.bpp / 8);
        uint32_t got = Px(p[2], p[1], p[0]);
        ASSERT_EQ(got, RowColor(c.rows[i])) << "buffer row " << i;
        if (c.bpp == 32) {
          ASSERT_EQ(p[3], 0);
        }
      }
    }
  }

  // Without bits and bit count: the bitmap's format is reported.
  DibInfo query(0, 0, 0);
  EXPECT_NE(GetDIBits(mem, ddb, 0, 6, nullptr, query.info(), DIB_RGB_COLORS), 0);
  EXPECT_EQ(query.header().biWidth, 3);
  EXPECT_EQ(query.header().biHeight, 6);
  EXPECT_EQ(query.header().biBitCount, 32);
  EXPECT_EQ(query.header().biSizeImage, 3u * 4 * 6);

  DeleteDC(mem);
  DeleteObject(ddb);
}

TEST_F(Bitmaps, SetDIBitsToDeviceOrientationAndScanBands) {
  const int w = 2, h = 4;
  struct Case {
    bool topDown;
    int ySrc;
    DWORD cy;
    UINT start, lines;
    int yDest;
    std::vector<int> rows;  // per canvas row: the image row drawn there (-1 untouched)
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
    for (int y = 0; y < h; ++y) {
      BYTE* row = full.data() + static_cast<ptrdiff_t>(c.topDown ? y : h - 1 - y) * stride;
      for (int x = 0; x < w; ++x) {
        row[3 * x] = static_cast<BYTE>(RowColor(y));
        row[3 * x + 1] = static_cast<BYTE>(RowColor(y) >> 8);
        row[3 * x + 2] = static_cast<BYTE>(RowColor(y) >> 16);
      }
    }
    const BYTE* band = full.data() + static_cast<ptrdiff_t>(c.start) * stride;
    Canvas canvas(w, 5, 0x123456);
    EXPECT_EQ(SetDIBitsToDevice(canvas.dc, 0, c.yDest, w, c.cy, 0, c.ySrc, c.start, c.lines, band, info.info(),
                                DIB_RGB_COLORS),
              static_cast<int>(c.lines));
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(canvas.at(x, y), c.rows[y] < 0 ? 0x123456u : RowColor(c.rows[y])) << "canvas row " << y;
  }
}

TEST_F(Bitmaps, AlphaByteIsDataBetweenSectionsAndZeroOnSurfaces) {
  DibInfo info32(2, 1, 32), info24(2, 1, 24);
  void *b32a, *b32b, *b24;
  HBITMAP a = CreateDIBSection(nullptr, info32.info(), DIB_RGB_COLORS, &b32a, nullptr, 0);
  HBITMAP b = CreateDIBSection(nullptr, info32.info(), DIB_RGB_COLORS, &b32b, nullptr, 0);
  HBITMAP c = CreateDIBSection(nullptr, info24.info(), DIB_RGB_COLORS, &b24, nullptr, 0);
  static_cast<uint32_t*>(b32a)[0] = 0x7F102030;
  static_cast<uint32_t*>(b32a)[1] = 0xFF405060;
  std::memcpy(b24, "\x01\x02\x03\x04\x05\x06", 6);
  HDC src = CreateCompatibleDC(nullptr), dst = CreateCompatibleDC(nullptr);
  HGDIOBJ oldSrc = SelectObject(src, a), oldDst = SelectObject(dst, b);
  BitBlt(dst, 0, 0, 2, 1, src, 0, 0, SRCCOPY);
  EXPECT_EQ(static_cast<uint32_t*>(b32b)[0], 0x7F102030u);
  EXPECT_EQ(static_cast<uint32_t*>(b32b)[1], 0xFF405060u);

  Canvas canvas(2, 1);
  BitBlt(canvas.dc, 0, 0, 2, 1, src, 0, 0, SRCCOPY);
  EXPECT_EQ(canvas.at(0, 0), 0x102030u);
  EXPECT_EQ(canvas.at(1, 0), 0x405060u);

  SelectObject(src, c);
  BitBlt(dst, 0, 0, 2, 1, src, 0, 0, SRCCOPY);
  EXPECT_EQ(static_cast<uint32_t*>(b32b)[0], 0x030201u);
  EXPECT_EQ(static_cast<uint32_t*>(b32b)[1], 0x060504u);

  SelectObject(src, oldSrc);
  SelectObject(dst, oldDst);
  DeleteDC(src);
  DeleteDC(dst);
  DeleteObject(a);
  DeleteObject(b);
  DeleteObject(c);
}

TEST_F(Bitmaps, MonochromeBitmapsFollowTheDCColours) {
  Canvas canvas(4, 1);
  HDC mem = CreateCompatibleDC(canvas.dc);
  BITMAP bm{};
  ASSERT_EQ(GetObjectA(GetCurrentObject(mem, OBJ_BITMAP), sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 1);
  EXPECT_EQ(bm.bmHeight, 1);
  EXPECT_EQ(bm.bmBitsPixel, 1);

  // A fresh memory DC makes monochrome "compatible" bitmaps; a surface DC 32-bit ones.
  HBITMAP mono = CreateCompatibleBitmap(mem, 4, 1);
  HBITMAP color = CreateCompatibleBitmap(canvas.dc, 4, 1);
  GetObjectA(mono, sizeof bm, &bm);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  EXPECT_EQ(bm.bmBits, nullptr);
  GetObjectA(color, sizeof bm, &bm);
  EXPECT_EQ(bm.bmBitsPixel, 32);

  // Colour into monochrome: the source's background colour becomes white, the rest black.
  canvas.at(0, 0) = Px(255, 0, 0);
  canvas.at(1, 0) = Px(0, 0, 255);
  canvas.at(2, 0) = Px(255, 0, 0);
  canvas.at(3, 0) = Px(1, 2, 3);
  SetBkColor(canvas.dc, RGB(255, 0, 0));
  HGDIOBJ old = SelectObject(mem, mono);
  BitBlt(mem, 0, 0, 4, 1, canvas.dc, 0, 0, SRCCOPY);
  // Monochrome into colour: black becomes the text colour, white the background colour.
  SetTextColor(canvas.dc, RGB(0, 128, 0));
  SetBkColor(canvas.dc, RGB(9, 9, 9));
  BitBlt(canvas.dc, 0, 0, 4, 1, mem, 0, 0, SRCCOPY);
  EXPECT_EQ(canvas.at(0, 0), Px(9, 9, 9));
  EXPECT_EQ(canvas.at(1, 0), Px(0, 128, 0));
  EXPECT_EQ(canvas.at(2, 0), Px(9, 9, 9));
  EXPECT_EQ(canvas.at(3, 0), Px(0, 128, 0));
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(mono);
  DeleteObject(color);
}

TEST_F(Bitmaps, CreateDIBitmapConvertsToTheDeviceFormat) {
  DibInfo info(2, 2, 8);
  info.colors()[0] = RGBQUAD{10, 20, 30, 0};
  info.colors()[1] = RGBQUAD{40, 50, 60, 0};
  const BYTE rows[8] = {0, 1, 0, 0, 1, 1, 0, 0};  // bottom row 0 1, top row 1 1
  Canvas canvas(2, 2);
  HBITMAP ddb = CreateDIBitmap(canvas.dc, &info.header(), CBM_INIT, rows, info.info(), DIB_RGB_COLORS);
  ASSERT_NE(ddb, nullptr);
  BITMAP bm{};
  GetObjectA(ddb, sizeof bm, &bm);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  HDC mem = CreateCompatibleDC(canvas.dc);
  HGDIOBJ old = SelectObject(mem, ddb);
  BitBlt(canvas.dc, 0, 0, 2, 2, mem, 0, 0, SRCCOPY);
  EXPECT_EQ(canvas.at(0, 0), Px(60, 50, 40));
  EXPECT_EQ(canvas.at(1, 0), Px(60, 50, 40));
  EXPECT_EQ(canvas.at(0, 1), Px(30, 20, 10));
  EXPECT_EQ(canvas.at(1, 1), Px(60, 50, 40));
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(ddb);
}

// A 4x4 32-bit source whose pixel (x, y) is 0x00 0x y0 x0+1... unique and non-zero.
uint32_t SrcPx(int x, int y) { return Px(static_cast<BYTE>(x + 1), static_cast<BYTE>(y + 1), 0x55); }

TEST_F(Bitmaps, BitBltClipsToBothBitmapsAndTheClipRegion) {
  DibInfo info(4, -4, 32);
  void* raw;
  HBITMAP dib = CreateDIBSection(nullptr, info.info(), DIB_RGB_COLORS, &raw, nullptr, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) static_cast<uint32_t*>(raw)[y * 4 + x] = SrcPx(x, y);
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mem, dib);

  struct Case {
    int dx, dy, cx, cy, sx, sy;
    std::vector<RECT> clip;  // empty: no clip region
  } cases[] = {
      {0, 0, 4, 4, 0, 0, {}},
      {-2, -1, 4, 4, 0, 0, {}},
      {5, 4, 4, 4, 0, 0, {}},
      {1, 1, 4, 4, -1, -2, {}},
      {0, 0, 6, 6, 2, 2, {}},
      {0, 0, 4, 4, 0, 0, {{0, 0, 2, 2}, {3, 1, 6, 3}}},
      {2, 2, 4, 4, 0, 0, {{0, 3, 6, 4}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "dst " << c.dx << "," << c.dy << " src " << c.sx << "," << c.sy);
    Canvas canvas(6, 6);
    if (!c.clip.empty()) {
      HRGN rgn = CreateRectRgn(0, 0, 0, 0);
      for (const RECT& r : c.clip) {
        HRGN part = CreateRectRgnIndirect(&r);
        CombineRgn(rgn, rgn, part, RGN_OR);
        DeleteObject(part);
      }
      SelectClipRgn(canvas.dc, rgn);
      DeleteObject(rgn);
    }
    EXPECT_TRUE(BitBlt(canvas.dc, c.dx, c.dy, c.cx, c.cy, mem, c.sx, c.sy, SRCCOPY));
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 6; ++x) {
        bool inClip = c.clip.empty();
        for (const RECT& r : c.clip) inClip |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
        const int u = x - c.dx + c.sx, v = y - c.dy + c.sy;
        const bool inBlit = x >= c.dx && x < c.dx + c.cx && y >= c.dy && y < c.dy + c.cy;
        const bool inSrc = u >= 0 && u < 4 && v >= 0 && v < 4;
        uint32_t want = (inClip && inBlit && inSrc) ? SrcPx(u, v) : 0;
        ASSERT_EQ(canvas.at(x, y), want) << "at " << x << "," << y;
      }
    }
  }
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(dib);
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
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        uint32_t want = before[y * w + x];
        if (x >= s.dx && x < s.dx + s.cx && y >= s.dy && y < s.dy + s.cy)
          want = before[(y - s.dy + s.sy) * w + (x - s.dx + s.sx)];
        ASSERT_EQ(canvas.at(x, y), want) << x << "," << y;
      }
    }
  }
}

TEST_F(Bitmaps, StretchBltSamplesNearestAndMirrors) {
  Canvas src(2, 2);
  src.at(0, 0) = 1;
  src.at(1, 0) = 2;
  src.at(0, 1) = 3;
  src.at(1, 1) = 4;
  struct Case {
    int x, y, w, h;
    std::vector<uint32_t> want;  // 4x4 canvas
  } cases[] = {
      {0, 0, 4, 4, {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}},
      {3, 0, -4, 2, {2, 2, 1, 1, 4, 4, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0}},
      {0, 3, 2, -2, {0, 0, 0, 0, 0, 0, 0, 0, 3, 4, 0, 0, 1, 2, 0, 0}},
  };
  for (const Case& c : cases) {
    Canvas dst(4, 4);
    SetStretchBltMode(dst.dc, COLORONCOLOR);
    // A negative size counts from the given edge, which is then part of the mirrored area.
    int x = c.w < 0 ? c.x + 1 : c.x, y = c.h < 0 ? c.y + 1 : c.y;
    EXPECT_TRUE(StretchBlt(dst.dc, x, y, c.w, c.h, src.dc, 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(dst.pixels, c.want);
  }
  // StretchDIBits reads a bottom-up DIB upright.
  DibInfo info(2, 2, 24);
  const BYTE rows[16] = {3, 0, 0, 4, 0, 0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 0};
  Canvas fromDib(4, 4);
  EXPECT_EQ(StretchDIBits(fromDib.dc, 0, 0, 4, 4, 0, 0, 2, 2, rows, info.info(), DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(fromDib.pixels, cases[0].want);

  // Shrinking takes the pixel at each destination pixel's centre.
  Canvas wide(4, 1);
  for (int i = 0; i < 4; ++i) wide.at(i, 0) = static_cast<uint32_t>(10 + i);
  Canvas narrow(2, 1);
  StretchBlt(narrow.dc, 0, 0, 2, 1, wide.dc, 0, 0, 4, 1, SRCCOPY);
  EXPECT_EQ(narrow.pixels, (std::vector<uint32_t>{11, 13}));
}

TEST_F(Bitmaps, ScreenToSectionAndBackLandsOnTheSamePixels) {
  // Copy a box of the screen into a bottom-up 24-bit section, change it there, put it back.
  Canvas canvas(9, 7);
  for (int i = 0; i < 9 * 7; ++i) canvas.pixels[i] = Px(static_cast<BYTE>(i), static_cast<BYTE>(3 * i), 5);
  const std::vector<uint32_t> before = canvas.pixels;
  const int left = 2, top = 1, w = 5, h = 4;
  DibInfo info(w, h, 24);
  void* raw = nullptr;
  HDC mem = CreateCompatibleDC(canvas.dc);
  HBITMAP section = CreateDIBSection(mem, info.info(), DIB_RGB_COLORS, &raw, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, section);
  ASSERT_TRUE(BitBlt(mem, 0, 0, w, h, canvas.dc, left, top, SRCCOPY));
  BYTE* bits = static_cast<BYTE*>(raw);
  const int stride = Stride(w, 24);
  for (int r = 0; r < h; ++r) {
    for (int c = 0; c < w; ++c) {
      BYTE* p = bits + r * stride + 3 * c;
      // Section row r is screen row (top + h - 1 - r).
      ASSERT_EQ(Px(p[2], p[1], p[0]), before[(top + h - 1 - r) * 9 + left + c]);
      p[0] = static_cast<BYTE>(255 - p[0]);
    }
  }
  EXPECT_EQ(SetDIBitsToDevice(canvas.dc, left, top, w, h, 0, 0, 0, h, bits, info.info(), DIB_RGB_COLORS), h);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) {
      uint32_t want = before[y * 9 + x];
      if (x >= left && x < left + w && y >= top && y < top + h) want = (want & 0xFFFF00) | (255 - (want & 0xFF));
      ASSERT_EQ(canvas.at(x, y), want) << x << "," << y;
    }
  SelectObject(mem, old);
  DeleteObject(section);
  DeleteDC(mem);
}

TEST_F(Bitmaps, SelectionRulesKeepBitmapsInOneDC) {
  Canvas canvas(2, 2);
  HDC a = CreateCompatibleDC(canvas.dc), b = CreateCompatibleDC(canvas.dc);
  HBITMAP bm = CreateCompatibleBitmap(canvas.dc, 2, 2);
  HGDIOBJ oldA = SelectObject(a, bm);
  ASSERT_NE(oldA, nullptr);
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
  DeleteDC(b);
  EXPECT_FALSE(DeleteObject(bm)) << "a dead handle is refused";
}

TEST_F(Bitmaps, DeviceCapsAndSystemColours) {
  Canvas canvas(1, 1);
  HDC mem = CreateCompatibleDC(nullptr);
  HDC screen = GetDC(nullptr);
  for (HDC dc : {canvas.dc, mem, screen}) {
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
    EXPECT_EQ(GetDeviceCaps(dc, PLANES), 1);
  }
  RECT box;
  EXPECT_EQ(GetClipBox(screen, &box), SIMPLEREGION);
  EXPECT_EQ(box.right, GetDeviceCaps(screen, HORZRES));
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
  DeleteDC(mem);
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(240, 240, 240));
  EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), RGB(0, 0, 0));
}

}  // namespace
