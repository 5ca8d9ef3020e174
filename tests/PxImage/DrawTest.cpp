#include <memory>

#include "PictureFiles.h"

namespace {

using Px = std::vector<uint32_t>;
using gditest::Canvas;

// 24-bit image whose pixel at (x, yTop) is 0xRRGGBB = (x+1)*0x10 | (yTop+1)*0x1000.
std::unique_ptr<PxImage> Gradient(int32_t w, int32_t h) {
    auto img = std::make_unique<PxImage>(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 24u);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
            img->SetPixelColor(x, h - 1 - y, RGB(0, BYTE((y + 1) * 0x10), BYTE((x + 1) * 0x10)));
    return img;
}

uint32_t GradientAt(int32_t x, int32_t yTop) {
    return static_cast<uint32_t>((x + 1) * 0x10) | static_cast<uint32_t>((yTop + 1) * 0x10) << 8;
}

// A surface of w x h filled with `fill`, drawn on by `draw`; its pixels top row first.
template <class F>
Px Drawn(int32_t w, int32_t h, uint32_t fill, F draw) {
    Canvas s(w, h, fill);
    draw(s.dc);
    return s.pixels;
}

using DrawTest = GdiTest;

TEST_F(DrawTest, UnstretchedAndStretchedCopies) {
    auto img = Gradient(3, 2);
    Canvas s(6, 5, 0xFFFFFF);
    EXPECT_EQ(img->Draw(s.dc, 2, 1), 1);
    gditest::ExpectPixels(
        s, [](int x, int y) { return x >= 2 && x < 5 && y >= 1 && y < 3 ? GradientAt(x - 2, y - 1) : 0xFFFFFFu; });
    Canvas twice(6, 4, 0);
    EXPECT_EQ(img->Draw(twice.dc, 0, 0, 6, 4), 1);
    gditest::ExpectPixels(twice, [](int x, int y) { return GradientAt(x / 2, y / 2); });
    // Odd stretch factors: every sample stays inside the image (checked by the sanitizers).
    for (auto [cx, cy] : {std::pair{7, 7}, {1000, 1}, {1, 999}, {5, 3}}) {
        Canvas odd(cx, cy, 0);
        EXPECT_EQ(img->Draw(odd.dc, 0, 0, cx, cy), 1);
        EXPECT_EQ(odd.at(cx - 1, cy - 1), GradientAt(cx == 1 ? 0 : 2, 1)) << cx << "x" << cy;
        EXPECT_EQ(odd.at(0, 0), GradientAt(0, cy == 1 ? 1 : 0)) << cx << "x" << cy;  // one row: the bottom row
    }
}

TEST_F(DrawTest, AlphaBlending) {
    auto img = Gradient(2, 1);
    img->AlphaCreate();
    auto draw = [&](HDC dc) { img->Draw(dc); };
    // Alpha 255 draws the colour exactly.
    EXPECT_EQ(Drawn(2, 1, 0x123456, draw), (Px{GradientAt(0, 0), GradientAt(1, 0)}));
    img->AlphaSet(0, 0, 128);
    img->AlphaSet(1, 0, 0);
    auto mix = [](uint32_t c) { return (255u * 127 + c * 128) / 256; };
    const uint32_t c = GradientAt(0, 0);
    // Alpha 0 keeps the background.
    EXPECT_EQ(Drawn(2, 1, 0xFFFFFF, draw),
              (Px{mix(c & 0xFF) | mix((c >> 8) & 0xFF) << 8 | mix(c >> 16) << 16, 0xFFFFFF}));
    // Stretched blending samples the alpha plane like the colours.
    const Px stretched = Drawn(4, 2, 0xFFFFFF, [&](HDC dc) { img->Draw(dc, 0, 0, 4, 2); });
    EXPECT_EQ(stretched[7], 0xFFFFFFu);
    EXPECT_NE(stretched[4], 0xFFFFFFu);
    img->SetAlphaMax(0);
    EXPECT_EQ(Drawn(2, 1, 0x0000FF, draw)[0], 0x0000FFu) << "alpha maximum 0 hides everything";
}

TEST_F(DrawTest, TransparencyByIndexAndColour) {
    PxImage pal(3, 1, 8);
    pal.SetPaletteColor(1, 255, 0, 0);
    pal.SetPixelIndex(1, 0, 1);
    pal.SetTransIndex(0);
    EXPECT_EQ(Drawn(3, 1, 0x00FF00, [&](HDC dc) { EXPECT_EQ(pal.Draw(dc), 1); }), (Px{0x00FF00, 0xFF0000, 0x00FF00}));
    auto rgb = Gradient(2, 1);
    auto draw = [&](HDC dc) { rgb->Draw(dc); };
    rgb->SetTransColor(RGBQUAD{0x10, 0x10, 0x00, 0});  // the colour of pixel 0, but no index set
    EXPECT_EQ(Drawn(2, 1, 0xABCDEF, draw)[0], GradientAt(0, 0));
    rgb->SetTransIndex(0);
    EXPECT_EQ(Drawn(2, 1, 0xABCDEF, draw), (Px{0xABCDEF, GradientAt(1, 0)}));
    // Alpha palette: entry alpha 0 hides, 255 shows.
    PxImage ap(2, 1, 1);
    ap.SetPaletteColor(0, 0, 0, 255, 0);
    ap.SetPaletteColor(1, 255, 255, 0, 255);
    ap.SetPixelIndex(1, 0, 1);
    ap.AlphaPaletteEnable();
    EXPECT_EQ(Drawn(2, 1, 0x111111, [&](HDC dc) { ap.Draw(dc); }), (Px{0x111111, 0xFFFF00}));
}

TEST_F(DrawTest, ClippingAndNothingToDraw) {
    auto img = Gradient(3, 3);
    img->AlphaCreate();
    Canvas s(4, 4, 0);
    EXPECT_EQ(img->Draw(s.dc, 10, 10), 1) << "wholly outside: nothing painted, still 1";
    EXPECT_EQ(img->Draw(s.dc, -10, 0), 1);
    EXPECT_EQ(img->Draw(s.dc, 0, 0, 0, 3), 0);
    EXPECT_EQ(s.pixels, Px(16, 0));

    RECT clip{1, 1, 2, 3};
    EXPECT_EQ(img->Draw(s.dc, 0, 0, -1, -1, &clip), 1);
    gditest::ExpectPixels(s, [](int x, int y) { return x == 1 && y >= 1 && y < 3 ? GradientAt(x, y) : 0u; });
    RECT box{};
    GetClipBox(s.dc, &box);
    EXPECT_EQ(std::vector<LONG>({box.left, box.top, box.right, box.bottom}), std::vector<LONG>({0, 0, 4, 4}));

    PxImage empty;
    EXPECT_EQ(empty.Draw(s.dc), 0);
    img->Enable(false);
    EXPECT_EQ(img->Draw(s.dc), 0);
}

TEST_F(DrawTest, MakeBitmapKeepsDepthAndColours) {
    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        PxImage img(5, 3, bpp);
        img.SetPaletteColor(1, 10, 20, 30);
        img.AlphaCreate();
        if (bpp == 24)
            img.SetPixelColor(4, 0, RGBQUAD{30, 20, 10, 0});
        else
            img.SetPixelIndex(4, 0, 1);
        for (bool withDC : {false, true}) {
            Canvas s(1, 1, 0);
            HBITMAP bmp = img.MakeBitmap(withDC ? s.dc : nullptr);
            ASSERT_NE(bmp, nullptr) << bpp;
            HDC mem = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(mem, bmp);
            EXPECT_EQ(GetPixel(mem, 4, 2), RGB(10, 20, 30)) << bpp << " " << withDC;  // bottom row
            EXPECT_EQ(GetPixel(mem, 0, 0), RGB(0, 0, 0)) << bpp;
            BITMAP bm{};
            GetObject(bmp, sizeof(bm), &bm);
            EXPECT_TRUE(withDC || bm.bmBitsPixel == bpp) << bpp;
            SelectObject(mem, old);
            DeleteDC(mem);
            DeleteObject(bmp);
        }
    }
}

TEST_F(DrawTest, SmoothStretchedDrawing) {
    PxImage img(2u, 1u, 24u);
    img.SetPixelColor(0, 0, RGBQUAD{0, 0, 0, 0});
    img.SetPixelColor(1, 0, RGBQUAD{255, 255, 255, 0});
    auto stretch = [&](bool smooth) { return [&img, smooth](HDC dc) { img.Draw(dc, 0, 0, 4, 1, nullptr, smooth); }; };
    EXPECT_EQ(Drawn(4, 1, 0x123456, stretch(true)), (Px{0, 0, 0x7F7F7F, 0xFFFFFF}));
    EXPECT_EQ(Drawn(4, 1, 0, stretch(false))[2], 0xFFFFFFu);
    // Blended: the alpha plane still comes from the sampled pixel.
    img.AlphaCreate();
    img.AlphaSet(1, 0, 0);
    EXPECT_EQ(Drawn(4, 1, 0x0000FF, stretch(true)), (Px{0, 0, 0x0000FF, 0x0000FF}));
    // A transparent colour matches an interpolated colour whatever its alpha.
    img.AlphaSet(1, 0, 255);
    img.SetTransIndex(0);
    img.SetTransColor(RGBQUAD{255, 255, 255, 0});
    const Px keyed = Drawn(4, 1, 0x00FF00, stretch(true));
    EXPECT_EQ(keyed[0], 0u);
    EXPECT_EQ(keyed[3], 0x00FF00u);
    // A palette image with palette alphas and no alpha plane stays visible when smoothed.
    PxImage pal(2u, 1u, 8u);
    pal.SetPaletteColor(0, 255, 0, 0, 255);
    pal.SetPaletteColor(1, 255, 0, 0, 255);
    pal.SetPixelIndex(1, 0, 1);
    pal.AlphaPaletteEnable(true);
    EXPECT_EQ(Drawn(4, 2, 0, [&](HDC dc) { pal.Draw(dc, 0, 0, 4, 2, nullptr, true); })[5], 0xFF0000u);
}

}  // namespace
