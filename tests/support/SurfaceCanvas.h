#pragma once
// A window-like 32-bit surface with its DC, for the tests of everything that draws through the
// platform's GDI: pixels are 0x00RRGGBB, row by row from the top.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "WinGdi.h"

namespace gditest {

struct Canvas {
    int width, height;
    std::vector<uint32_t> pixels;
    HDC dc;
    Canvas(int w, int h, uint32_t fill = 0)
        : width(w),
          height(h),
          pixels(static_cast<size_t>(w * h), fill),
          dc(tikora::gdi::CreateSurfaceDC(pixels.data(), w, h, w * 4)) {}
    ~Canvas() { DeleteDC(dc); }
    uint32_t& at(int x, int y) { return pixels[static_cast<size_t>(y * width + x)]; }
};

// Every pixel of the canvas against want(x, y); stops at the first difference.
inline void ExpectPixels(Canvas& c, const std::function<uint32_t(int x, int y)>& want) {
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) ASSERT_EQ(c.at(x, y), want(x, y)) << "at " << x << "," << y;
}

// 0x00RRGGBB as a surface holds it.
constexpr uint32_t Px(BYTE r, BYTE g, BYTE b) { return (uint32_t(r) << 16) | (uint32_t(g) << 8) | b; }

}  // namespace gditest
