#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "WinGdi.h"

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

// A window-like 32-bit surface with its DC.
struct Canvas {
  int width, height;
  std::vector<uint32_t> pixels;
  HDC dc;
  Canvas(int w, int h, uint32_t fill = 0)
      : width(w), height(h), pixels(static_cast<size_t>(w * h), fill),
        dc(tikora::gdi::CreateSurfaceDC(pixels.data(), w, h, w * 4)) {}
  ~Canvas() { DeleteDC(dc); }
  uint32_t& at(int x, int y) { return pixels[static_cast<size_t>(y * width + x)]; }
};

// A BITMAPINFO with room for a full palette.
struct DibInfo {
  alignas(4) BYTE bytes[sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)]{};
  DibInfo(LONG w, LONG h, WORD bpp) {
    BITMAPINFOHEADER& hd = header();
    hd.biSize = sizeof(BITMAPINFOHEADER);
    hd.biWidth = w;
    hd.biHeight = h;
    hd.biPlanes = 1;
    hd.biBitCount = bpp;
    hd.biCompression = BI_RGB;
  }
  BITMAPINFOHEADER& header() { return reinterpret_cast<BITMAPINFO*>(bytes)->bmiHeader; }
  BITMAPINFO* info() { return reinterpret_cast<BITMAPINFO*>(bytes); }
  RGBQUAD* colors() { return reinterpret_cast<RGBQUAD*>(bytes + sizeof(BITMAPINFOHEADER)); }
};

inline int Stride(int w, int bpp) { return ((w * bpp + 31) / 32) * 4; }

// 0x00RRGGBB as a surface holds it.
constexpr uint32_t Px(BYTE r, BYTE g, BYTE b) { return (uint32_t(r) << 16) | (uint32_t(g) << 8) | b; }

}  // namespace gditest
