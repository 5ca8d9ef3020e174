// From the image to GDI: a bitmap handle, or painting with alpha, alpha palette and transparency.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "PxImage.h"
#include "WinGdi.h"

namespace {

uint32_t PackColor(RGBQUAD c) {
    return static_cast<uint32_t>(c.rgbBlue) | (static_cast<uint32_t>(c.rgbGreen) << 8) |
           (static_cast<uint32_t>(c.rgbRed) << 16) | (static_cast<uint32_t>(c.rgbReserved) << 24);
}

// The private 24-bit bottom-up section in which every pixel is composed before it reaches the
// device in one SetDIBitsToDevice.
struct Section {
    HDC memDC = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint8_t* bits = nullptr;
    BITMAPINFO bmi{};
    uint32_t stride = 0;

    Section(HDC dc, int32_t w, int32_t h) {
        bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bmi.bmiHeader.biWidth = w;
        bmi.bmiHeader.biHeight = h;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 24;
        stride = static_cast<uint32_t>(((24 * static_cast<uint64_t>(w) + 31) / 32) * 4);
        memDC = CreateCompatibleDC(dc);
        void* p = nullptr;
        bitmap = CreateDIBSection(memDC, &bmi, DIB_RGB_COLORS, &p, nullptr, 0);
        if (bitmap && memDC) old = SelectObject(memDC, bitmap);
        bits = bitmap && memDC ? static_cast<uint8_t*>(p) : nullptr;
    }
    ~Section() {
        if (memDC && old) SelectObject(memDC, old);
        if (bitmap) DeleteObject(bitmap);
        if (memDC) DeleteDC(memDC);
    }
    Section(const Section&) = delete;
    Section& operator=(const Section&) = delete;
};

}  // namespace

HBITMAP PxImage::MakeBitmap(HDC hdc) {
    if (!pDib) return nullptr;
    auto* bmi = static_cast<const BITMAPINFO*>(pDib);
    if (hdc) return CreateDIBitmap(hdc, &head, CBM_INIT, GetBits(0), bmi, DIB_RGB_COLORS);

    HDC memDC = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(memDC, bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bmp && bits) std::memcpy(bits, GetBits(0), head.biSizeImage);
    if (memDC) DeleteDC(memDC);
    return bmp;
}

int32_t PxImage::Draw(HDC hdc, int32_t x, int32_t y, int32_t cx, int32_t cy, RECT* pClipRect, bool bSmooth) {
    if (!pDib || !hdc || cx == 0 || cy == 0 || !info.bEnabled) return 0;
    const int32_t width = head.biWidth;
    const int32_t height = head.biHeight;
    if (cx < 0) cx = width;
    if (cy < 0) cy = height;

    const bool bTransparent = info.nBkgndIndex >= 0;
    const bool bAlpha = pAlpha != nullptr;
    const bool bIndexed = head.biClrUsed != 0;

    RECT mainbox{};
    if (pClipRect) {
        GetClipBox(hdc, &mainbox);
        HRGN rgn = CreateRectRgnIndirect(pClipRect);
        ExtSelectClipRgn(hdc, rgn, RGN_AND);
        DeleteObject(rgn);
    }

    RECT clipbox{};
    GetClipBox(hdc, &clipbox);
    const int64_t x64 = x, y64 = y;
    const int32_t paintTop =
        static_cast<int32_t>(std::min<int64_t>(clipbox.bottom, std::max<int64_t>(clipbox.top, y64)));
    const int32_t paintLeft =
        static_cast<int32_t>(std::min<int64_t>(clipbox.right, std::max<int64_t>(clipbox.left, x64)));
    const int32_t paintRight =
        static_cast<int32_t>(std::max<int64_t>(clipbox.left, std::min<int64_t>(clipbox.right, x64 + cx)));
    const int32_t paintBottom =
        static_cast<int32_t>(std::max<int64_t>(clipbox.top, std::min<int64_t>(clipbox.bottom, y64 + cy)));
    const int32_t paintW = paintRight - paintLeft;
    const int32_t paintH = paintBottom - paintTop;

    const bool unstretched = cx == width && cy == height;
    const uint8_t* src = info.pImage;
    const uint64_t srcStride = info.dwEffWidth;
    const float fx = static_cast<float>(width) / static_cast<float>(cx);
    const float fy = static_cast<float>(height) / static_cast<float>(cy);

    // An unstretched drawing has nothing between pixels to smooth.
    const bool smooth = bSmooth && !unstretched;
    auto sampleRowF = [&](int32_t r) -> float {
        return static_cast<float>(height) - static_cast<float>(static_cast<int64_t>(paintBottom) - r - y) * fy;
    };
    auto sampleColF = [&](int32_t c) -> float {
        return static_cast<float>(static_cast<int64_t>(c) + paintLeft - x) * fx;
    };
    // Float rounding can land a stretched sample on the image's size: clamp it to the last pixel.
    auto sampleRow = [&](int32_t r) -> int32_t {
        if (unstretched) return (height - paintBottom + y) + r;
        float dy = sampleRowF(r);
        int32_t sy = dy < 0 ? 0 : static_cast<int32_t>(std::floor(dy));
        return std::min(sy, height - 1);
    };
    auto sampleCol = [&](int32_t c) -> int32_t {
        if (unstretched) return (paintLeft - x) + c;
        float dx = sampleColF(c);
        int32_t sx = dx < 0 ? 0 : static_cast<int32_t>(std::floor(dx));
        return std::min(sx, width - 1);
    };
    // The smoothed colour sits between the pixel centres, hence the half-pixel shift.
    auto smoothColor = [&](int32_t c, int32_t r) -> RGBQUAD {
        return InterpolatedPixelColor(sampleColF(c) - 0.5f, sampleRowF(r) - 0.5f, PXIMAGE_IM_BILINEAR,
                                      PXIMAGE_OM_REPEAT, nullptr);
    };

    if (paintW > 0 && paintH > 0) {
        if (!bTransparent && !bAlpha && !info.bAlphaPaletteEnabled) {
            if (unstretched) {
                SetStretchBltMode(hdc, COLORONCOLOR);
                SetDIBitsToDevice(hdc, x, y, static_cast<DWORD>(cx), static_cast<DWORD>(cy), 0, 0, 0,
                                  static_cast<UINT>(cy), info.pImage, static_cast<const BITMAPINFO*>(pDib),
                                  DIB_RGB_COLORS);
            } else {
                Section sec(hdc, paintW, paintH);
                if (sec.bits) {
                    std::vector<int32_t> cols(static_cast<size_t>(paintW));
                    for (int32_t c = 0; c < paintW; c++) cols[static_cast<size_t>(c)] = sampleCol(c);
                    for (int32_t r = 0; r < paintH; r++) {
                        int32_t sy = sampleRow(r);
                        uint8_t* d = sec.bits + static_cast<uint64_t>(r) * sec.stride;
                        const uint8_t* s = src + static_cast<uint64_t>(sy) * srcStride;
                        for (int32_t c = 0; c < paintW; c++, d += 3) {
                            int32_t sx = cols[static_cast<size_t>(c)];
                            if (smooth) {
                                RGBQUAD q = smoothColor(c, r);
                                d[0] = q.rgbBlue;
                                d[1] = q.rgbGreen;
                                d[2] = q.rgbRed;
                            } else if (bIndexed) {
                                RGBQUAD q = GetPaletteColor(BlindGetPixelIndex(sx, sy));
                                d[0] = q.rgbBlue;
                                d[1] = q.rgbGreen;
                                d[2] = q.rgbRed;
                            } else {
                                std::memcpy(d, s + 3 * static_cast<uint64_t>(sx), 3);
                            }
                        }
                    }
                    SetDIBitsToDevice(hdc, paintLeft, paintTop, static_cast<DWORD>(paintW), static_cast<DWORD>(paintH),
                                      0, 0, 0, static_cast<UINT>(paintH), sec.bits, &sec.bmi, DIB_RGB_COLORS);
                }
            }
        } else {
            Section sec(hdc, paintW, paintH);
            if (sec.bits) {
                BitBlt(sec.memDC, 0, 0, paintW, paintH, hdc, paintLeft, paintTop, SRCCOPY);
                const uint32_t alphaMax = info.nAlphaMax;
                const uint32_t transColor = PackColor(GetTransColor());
                const int32_t transIndex = info.nBkgndIndex;
                std::vector<int32_t> cols(static_cast<size_t>(paintW));
                for (int32_t c = 0; c < paintW; c++) cols[static_cast<size_t>(c)] = sampleCol(c);
                for (int32_t r = 0; r < paintH; r++) {
                    int32_t sy = sampleRow(r);
                    uint8_t* d = sec.bits + static_cast<uint64_t>(r) * sec.stride;
                    const uint8_t* s = src + static_cast<uint64_t>(sy) * srcStride;
                    const uint8_t* arow =
                        bAlpha ? pAlpha + static_cast<uint64_t>(sy) * static_cast<uint64_t>(width) : nullptr;
                    for (int32_t c = 0; c < paintW; c++, d += 3) {
                        int32_t sx = cols[static_cast<size_t>(c)];
                        uint32_t a = arow ? arow[sx] : 255;
                        a = (a * (alphaMax + 1)) >> 8;
                        RGBQUAD col;
                        bool draw;
                        if (bIndexed) {
                            uint8_t ci = BlindGetPixelIndex(sx, sy);
                            col = GetPaletteColor(ci);
                            if (smooth) {
                                // The interpolation mixes palette alphas only beside an alpha
                                // plane; without one the sampled entry's alpha stands.
                                const uint8_t entryAlpha = col.rgbReserved;
                                col = smoothColor(c, r);
                                if (!bAlpha) col.rgbReserved = entryAlpha;
                            }
                            if (info.bAlphaPaletteEnabled) a = (a * (col.rgbReserved + 1u)) >> 8;
                            draw = !bTransparent || ci != transIndex;
                        } else {
                            const uint8_t* p = s + 3 * static_cast<uint64_t>(sx);
                            col = smooth ? smoothColor(c, r) : RGBQUAD{p[0], p[1], p[2], 0};
                            // The transparent colour is a colour: an interpolated alpha in the
                            // fourth byte must not hide a match.
                            const uint32_t colorMask = smooth ? 0xFFFFFFu : 0xFFFFFFFFu;
                            draw = !bTransparent || (PackColor(col) & colorMask) != (transColor & colorMask);
                        }
                        if (a == 0 || !draw) continue;
                        if (a == 255) {
                            d[0] = col.rgbBlue;
                            d[1] = col.rgbGreen;
                            d[2] = col.rgbRed;
                        } else {
                            uint32_t a1 = 255 - a;
                            d[0] = static_cast<uint8_t>((d[0] * a1 + col.rgbBlue * a) >> 8);
                            d[1] = static_cast<uint8_t>((d[1] * a1 + col.rgbGreen * a) >> 8);
                            d[2] = static_cast<uint8_t>((d[2] * a1 + col.rgbRed * a) >> 8);
                        }
                    }
                }
                SetDIBitsToDevice(hdc, paintLeft, paintTop, static_cast<DWORD>(paintW), static_cast<DWORD>(paintH), 0,
                                  0, 0, static_cast<UINT>(paintH), sec.bits, &sec.bmi, DIB_RGB_COLORS);
            }
        }
    }

    if (pClipRect) {
        HRGN rgn = CreateRectRgnIndirect(&mainbox);
        ExtSelectClipRgn(hdc, rgn, RGN_OR);
        DeleteObject(rgn);
    }
    return 1;
}
