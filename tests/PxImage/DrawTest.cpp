#include <memory>

#include "PictureFiles.h"

namespace {

// 24-bit image whose pixel at (x, yTop) is 0xRRGGBB = (x+1)*0x10 | (yTop+1)*0x1000.
std::unique_ptr<PxImage> Gradient(int32_t w, int32_t h)
{
    auto img = std::make_unique<PxImage>(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 24u);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
            img->SetPixelColor(x, h - 1 - y, RGB(0, static_cast<BYTE>((y + 1) * 0x10), static_cast<BYTE>((x + 1) * 0x10)));
    return img;
}

uint32_t GradientAt(int32_t x, int32_t yTop)
{
    return static_cast<uint32_t>((x + 1) * 0x10) | static_cast<uint32_t>((yTop + 1) * 0x10) << 8;
}

using DrawTest = GdiTest;

TEST_F(DrawTest, UnstretchedAndStretchedCopies)
{
    auto img = Gradient(3, 2);
    {
        Screen s(6, 5, 0xFFFFFF);
        EXPECT_EQ(img->Draw(s.dc, 2, 1), 1);
        for (int32_t y = 0; y < 5; y++)
            for (int32_t x = 0; x < 6; x++) {
                bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
                EXPECT_EQ(s.At(x, y), inside ? GradientAt(x - 2, y - 1) : 0xFFFFFFu) << x << "," << y;
            }
    }
    {
        Screen s(6, 4, 0);
        EXPECT_EQ(img->Draw(s.dc, 0, 0, 6, 4), 1);
        for (int32_t y = 0; y < 4; y++)
            for (int32_t x = 0; x < 6; x++)
                EXPECT_EQ(s.At(x, y), GradientAt(x / 2, y / 2)) << x << "," << y;
    }
    // Odd stretch factors: every sample stays inside the image (checked by the sanitizers).
    for (auto [cx, cy] : {std::pair{7, 7}, {1000, 1}, {1, 999}, {5, 3}}) {
        Screen s(cx, cy, 0);
        EXPECT_EQ(img->Draw(s.dc, 0, 0, cx, cy), 1);
        EXPECT_EQ(s.At(cx - 1, cy - 1), GradientAt(cx == 1 ? 0 : 2, 1)) << cx << "x" << cy;
        EXPECT_EQ(s.At(0, 0), GradientAt(0, cy == 1 ? 1 : 0)) << cx << "x" << cy;  // one row samples the bottom row
    }
}

TEST_F(DrawTest, AlphaBlending)
{
    auto img = Gradient(2, 1);
    img->AlphaCreate();
    {
        Screen s(2, 1, 0x123456);
        img->Draw(s.dc);
        EXPECT_EQ(s.At(0, 0), GradientAt(0, 0)) << "alpha 255 draws the colour exactly";
        EXPECT_EQ(s.At(1, 0), GradientAt(1, 0));
    }
    img->AlphaSet(0, 0, 128);
    img->AlphaSet(1, 0, 0);
    {
        Screen s(2, 1, 0xFFFFFF);
        img->Draw(s.dc);
        auto mix = [](uint32_t c) { return (255u * 127 + c * 128) / 256; };
        uint32_t c = GradientAt(0, 0);
        uint32_t expect = mix(c & 0xFF) | mix((c >> 8) & 0xFF) << 8 | mix((c >> 16) & 0xFF) << 16;
        EXPECT_EQ(s.At(0, 0), expect);
        EXPECT_EQ(s.At(1, 0), 0xFFFFFFu) << "alpha 0 keeps the background";
    }
    {
        // Stretched blending samples the alpha plane like the colours.
        Screen s(4, 2, 0xFFFFFF);
        img->Draw(s.dc, 0, 0, 4, 2);
        EXPECT_EQ(s.At(3, 1), 0xFFFFFFu);
        EXPECT_NE(s.At(0, 1), 0xFFFFFFu);
    }
    img->SetAlphaMax(0);
    {
        Screen s(2, 1, 0x0000FF);
        img->Draw(s.dc);
        EXPECT_EQ(s.At(0, 0), 0x0000FFu) << "alpha maximum 0 hides everything";
    }
}

TEST_F(DrawTest, TransparencyByIndexAndColour)
{
    PxImage pal(3, 1, 8);
    pal.SetPaletteColor(1, 255, 0, 0);
    pal.SetPixelIndex(1, 0, 1);
    pal.SetTransIndex(0);
    {
        Screen s(3, 1, 0x00FF00);
        EXPECT_EQ(pal.Draw(s.dc), 1);
        EXPECT_EQ(s.At(0, 0), 0x00FF00u);
        EXPECT_EQ(s.At(1, 0), 0xFF0000u);
        EXPECT_EQ(s.At(2, 0), 0x00FF00u);
    }
    auto rgb = Gradient(2, 1);
    rgb->SetTransColor(RGBQUAD{0x10, 0x10, 0x00, 0});  // the colour of pixel 0, but no index set
    {
        Screen s(2, 1, 0xABCDEF);
        rgb->Draw(s.dc);
        EXPECT_EQ(s.At(0, 0), GradientAt(0, 0));
    }
    rgb->SetTransIndex(0);
    {
        Screen s(2, 1, 0xABCDEF);
        rgb->Draw(s.dc);
        EXPECT_EQ(s.At(0, 0), 0xABCDEFu);
        EXPECT_EQ(s.At(1, 0), GradientAt(1, 0));
    }
    // Alpha palette: entry alpha 0 hides, 255 shows.
    PxImage ap(2, 1, 1);
    ap.SetPaletteColor(0, 0, 0, 255, 0);
    ap.SetPaletteColor(1, 255, 255, 0, 255);
    ap.SetPixelIndex(1, 0, 1);
    ap.AlphaPaletteEnable();
    Screen s(2, 1, 0x111111);
    ap.Draw(s.dc);
    EXPECT_EQ(s.At(0, 0), 0x111111u);
    EXPECT_EQ(s.At(1, 0), 0xFFFF00u);
}

TEST_F(DrawTest, ClippingAndNothingToDraw)
{
    auto img = Gradient(3, 3);
    img->AlphaCreate();
    Screen s(4, 4, 0);
    EXPECT_EQ(img->Draw(s.dc, 10, 10), 1) << "wholly outside: nothing painted, still 1";
    EXPECT_EQ(img->Draw(s.dc, -10, 0), 1);
    EXPECT_EQ(img->Draw(s.dc, 0, 0, 0, 3), 0);
    for (uint32_t p : s.px)
        EXPECT_EQ(p, 0u);

    RECT clip{1, 1, 2, 3};
    EXPECT_EQ(img->Draw(s.dc, 0, 0, -1, -1, &clip), 1);
    for (int32_t y = 0; y < 4; y++)
        for (int32_t x = 0; x < 4; x++)
            EXPECT_EQ(s.At(x, y), (x == 1 && y >= 1 && y < 3) ? GradientAt(x, y) : 0u) << x << "," << y;
    RECT box{};
    GetClipBox(s.dc, &box);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 4);
    EXPECT_EQ(box.bottom, 4);

    PxImage empty;
    EXPECT_EQ(empty.Draw(s.dc), 0);
    img->Enable(false);
    EXPECT_EQ(img->Draw(s.dc), 0);
}

TEST_F(DrawTest, MakeBitmapKeepsDepthAndColours)
{
    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        PxImage img(5, 3, bpp);
        img.SetPaletteColor(1, 10, 20, 30);
        img.AlphaCreate();
        if (bpp == 24)
            img.SetPixelColor(4, 0, RGBQUAD{30, 20, 10, 0});
        else
            img.SetPixelIndex(4, 0, 1);
        for (bool withDC : {false, true}) {
            Screen s(1, 1, 0);
            HBITMAP bmp = img.MakeBitmap(withDC ? s.dc : nullptr);
            ASSERT_NE(bmp, nullptr) << bpp;
            HDC mem = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(mem, bmp);
            EXPECT_EQ(GetPixel(mem, 4, 2), RGB(10, 20, 30)) << bpp << " " << withDC;  // bottom row
            EXPECT_EQ(GetPixel(mem, 0, 0), RGB(0, 0, 0)) << bpp;
            if (!withDC) {
                BITMAP bm{};
                GetObject(bmp, sizeof(bm), &bm);
                EXPECT_EQ(bm.bmBitsPixel, bpp);
            }
            SelectObject(mem, old);
            DeleteDC(mem);
            DeleteObject(bmp);
        }
    }
}

TEST_F(DrawTest, SmoothStretchedDrawing)
{
    PxImage img(2u, 1u, 24u);
    img.SetPixelColor(0, 0, RGBQUAD{0, 0, 0, 0});
    img.SetPixelColor(1, 0, RGBQUAD{255, 255, 255, 0});
    {
        Screen s(4, 1, 0x123456);
        EXPECT_EQ(img.Draw(s.dc, 0, 0, 4, 1, nullptr, true), 1);
        EXPECT_EQ(s.At(0, 0), 0u);
        EXPECT_EQ(s.At(1, 0), 0u);
        EXPECT_EQ(s.At(2, 0), 0x7F7F7Fu);
        EXPECT_EQ(s.At(3, 0), 0xFFFFFFu);
        Screen plain(4, 1, 0);
        img.Draw(plain.dc, 0, 0, 4, 1, nullptr, false);
        EXPECT_EQ(plain.At(2, 0), 0xFFFFFFu);
    }
    {
        // Blended: the alpha plane still comes from the sampled pixel.
        img.AlphaCreate();
        img.AlphaSet(1, 0, 0);
        Screen s(4, 1, 0x0000FF);
        img.Draw(s.dc, 0, 0, 4, 1, nullptr, true);
        EXPECT_EQ(s.At(1, 0), 0u);
        EXPECT_EQ(s.At(2, 0), 0x0000FFu);
        // A transparent colour matches an interpolated colour whatever its alpha.
        img.AlphaSet(1, 0, 255);
        img.SetTransIndex(0);
        img.SetTransColor(RGBQUAD{255, 255, 255, 0});
        Screen t(4, 1, 0x00FF00);
        img.Draw(t.dc, 0, 0, 4, 1, nullptr, true);
        EXPECT_EQ(t.At(3, 0), 0x00FF00u);
        EXPECT_EQ(t.At(0, 0), 0u);
    }
    {
        // A palette image with palette alphas and no alpha plane stays visible when smoothed.
        PxImage pal(2u, 1u, 8u);
        pal.SetPaletteColor(0, 255, 0, 0, 255);
        pal.SetPaletteColor(1, 255, 0, 0, 255);
        pal.SetPixelIndex(1, 0, 1);
        pal.AlphaPaletteEnable(true);
        Screen s(4, 2, 0);
        pal.Draw(s.dc, 0, 0, 4, 2, nullptr, true);
        EXPECT_EQ(s.At(1, 1), 0xFF0000u);
    }
}

}  // namespace
