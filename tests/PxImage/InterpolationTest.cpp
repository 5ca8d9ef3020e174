#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "PxImage.h"

namespace {

uint32_t Pack(RGBQUAD c) {
    return (static_cast<uint32_t>(c.rgbReserved) << 24) | (static_cast<uint32_t>(c.rgbRed) << 16) |
           (static_cast<uint32_t>(c.rgbGreen) << 8) | c.rgbBlue;
}

// 24-bit image whose pixel (x, y) (y from the bottom) is red 10x, green 10y, blue x + y.
std::unique_ptr<PxImage> Ramp(int32_t w, int32_t h) {
    auto img = std::make_unique<PxImage>(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 24u);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
            img->SetPixelColor(
                x, y,
                RGBQUAD{static_cast<uint8_t>(x + y), static_cast<uint8_t>(10 * y), static_cast<uint8_t>(10 * x), 0});
    return img;
}

uint32_t RampAt(int32_t x, int32_t y) { return static_cast<uint32_t>((10 * x) << 16 | (10 * y) << 8 | (x + y)); }

TEST(Interpolation, ExactPixelPositionsGiveThePixel) {
    auto img = Ramp(6, 5);
    for (uint8_t method : {0, 1, 2, 3, 4, 5, 7, 16, 40})
        for (auto [x, y] : {std::pair{0, 0}, {2, 3}, {5, 4}, {3, 1}}) {
            // Kernels whose value at 0 is not 1 scale the colour; they are checked elsewhere.
            const RGBQUAD c =
                img->InterpolatedPixelColor(static_cast<float>(x), static_cast<float>(y), method, PXIMAGE_OM_REPEAT);
            if (method == 3) continue;
            EXPECT_EQ(Pack(c), RampAt(x, y)) << int(method) << " at " << x << "," << y;
        }
}

TEST(Interpolation, BilinearBlendsAndRepeatsTheEdge) {
    auto img = Ramp(4, 3);
    // Halfway between columns 1 and 2 of row 1: the fast path's 8-bit fractions.
    EXPECT_EQ(Pack(img->InterpolatedPixelColor(1.5f, 1.0f, PXIMAGE_IM_BILINEAR, PXIMAGE_OM_REPEAT)),
              (15u << 16) | (10u << 8) | 2u);
    // At width - 0.5 both horizontal taps read the last column: nothing from outside enters.
    for (uint8_t of : {PXIMAGE_OM_REPEAT, PXIMAGE_OM_COLOR}) {
        RGBQUAD red{0, 0, 255, 0};
        const RGBQUAD c = img->InterpolatedPixelColor(3.5f, 1.0f, PXIMAGE_IM_BILINEAR, of, &red);
        if (of == PXIMAGE_OM_REPEAT) {
            EXPECT_EQ(Pack(c), RampAt(3, 1));
        } else {
            EXPECT_EQ(c.rgbRed, (30 + 255) / 2);  // the replacement blends in
        }
    }
}

TEST(Interpolation, OutsideTheImage) {
    auto img = Ramp(5, 4);
    // Entirely left of the image, fixed colour: the replacement, white with alpha 0 by default.
    EXPECT_EQ(Pack(img->InterpolatedPixelColor(-20.0f, 1.0f, PXIMAGE_IM_BILINEAR, PXIMAGE_OM_COLOR)), 0x00FFFFFFu);
    RGBQUAD green{0, 200, 0, 7};
    EXPECT_EQ(Pack(img->InterpolatedPixelColor(-20.0f, 1.0f, PXIMAGE_IM_CATMULL_ROM, PXIMAGE_OM_COLOR, &green)),
              Pack(green));

    struct Case {
        uint8_t method;
        int32_t x, y, readX, readY;
    };
    for (const Case& c :
         {Case{PXIMAGE_OM_REPEAT, -3, 2, 0, 2}, Case{PXIMAGE_OM_WRAP, -3, 2, 2, 2},
          Case{PXIMAGE_OM_MIRROR, -3, 2, 3, 2}, Case{PXIMAGE_OM_REPEAT, 9, -1, 4, 0}, Case{PXIMAGE_OM_WRAP, 7, 9, 2, 1},
          Case{PXIMAGE_OM_MIRROR, 6, 5, 3, 2}, Case{PXIMAGE_OM_MIRROR, INT32_MIN, INT32_MAX, 3, 0}}) {
        EXPECT_EQ(Pack(img->PixelColorWithOverflow(c.x, c.y, c.method)), RampAt(c.readX, c.readY))
            << int(c.method) << " at " << c.x << "," << c.y;
    }

    // Transparent-colour and clear overflow.
    auto pal = std::make_unique<PxImage>(4u, 4u, 8u);
    pal->SetPaletteColor(3, 1, 2, 3);
    EXPECT_EQ(Pack(pal->PixelColorWithOverflow(-1, 0, PXIMAGE_OM_BACKGROUND)), 0x00FFFFFFu);
    pal->SetTransIndex(3);
    EXPECT_EQ(Pack(pal->PixelColorWithOverflow(-1, 0, PXIMAGE_OM_BACKGROUND)), 0x010203u);
    EXPECT_EQ(Pack(pal->PixelColorWithOverflow(-1, 0, PXIMAGE_OM_TRANSPARENT)), 0x010203u);
    pal->AlphaCreate();
    RGBQUAD blue{255, 0, 0, 99};
    EXPECT_EQ(Pack(pal->PixelColorWithOverflow(-1, 0, PXIMAGE_OM_TRANSPARENT, &blue)), 0x0000FFu);
}

TEST(Interpolation, KernelSumsAreClampedNotWrapped) {
    // Columns 0-1 dark, 2-5 light: Catmull-Rom's negative lobe overshoots on both sides.
    for (bool lightRight : {true, false}) {
        PxImage img(6u, 4u, 24u);
        for (int32_t y = 0; y < 4; y++)
            for (int32_t x = 0; x < 6; x++) {
                const uint8_t v = (x >= 2) == lightRight ? 255 : 0;
                img.SetPixelColor(x, y, RGBQUAD{v, v, v, 0});
            }
        const RGBQUAD c = img.InterpolatedPixelColor(2.25f, 1.0f, PXIMAGE_IM_CATMULL_ROM, PXIMAGE_OM_REPEAT);
        EXPECT_EQ(c.rgbRed, lightRight ? 255 : 0);
        EXPECT_EQ(c.rgbReserved, 0);  // no alpha plane
        // The box kernel at a fraction of 0.3 picks the nearest pixel of the window.
        const RGBQUAD b = img.InterpolatedPixelColor(1.3f, 1.0f, PXIMAGE_IM_BOX, PXIMAGE_OM_REPEAT);
        EXPECT_EQ(b.rgbRed, lightRight ? 0 : 255);
    }
}

TEST(Interpolation, AlphaAndPalettes) {
    auto img = Ramp(4, 4);
    img->AlphaCreate();
    img->AlphaSet(1, 1, 0);
    img->AlphaSet(2, 1, 200);
    EXPECT_EQ(img->InterpolatedPixelColor(1.5f, 1.0f, PXIMAGE_IM_BILINEAR, PXIMAGE_OM_REPEAT).rgbReserved, 100);
    EXPECT_EQ(img->InterpolatedPixelColor(2.0f, 1.0f, PXIMAGE_IM_CUBIC, PXIMAGE_OM_REPEAT).rgbReserved, 200);

    // Palette images go through the palette on every path; nearest neighbour gives what the
    // overflow operation gives, alpha byte included.
    PxImage pal(3u, 2u, 8u);
    pal.SetPaletteColor(0, 0, 0, 0, 50);
    pal.SetPaletteColor(1, 200, 100, 0, 60);
    pal.SetPixelIndex(1, 0, 1);
    EXPECT_EQ(Pack(pal.InterpolatedPixelColor(1.2f, 0.0f, PXIMAGE_IM_NEAREST_NEIGHBOUR, PXIMAGE_OM_REPEAT)),
              0x3CC86400u);
    EXPECT_EQ(Pack(pal.InterpolatedPixelColor(0.5f, 0.0f, PXIMAGE_IM_BILINEAR, PXIMAGE_OM_REPEAT)), 0x00643200u);
    EXPECT_EQ(pal.InterpolatedPixelColor(1.0f, 0.0f, PXIMAGE_IM_MITCHELL, PXIMAGE_OM_REPEAT).rgbReserved, 0);
}

TEST(Interpolation, PositionsThatAreNoNumbers) {
    auto img = Ramp(3, 3);
    PxImage empty;
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         3e30f,
                         -3e30f,
                         -0.0f};
    for (float v : odd)
        for (uint8_t method : {1, 2, 6, 13})
            for (uint8_t of : {0, 1, 4, 5, 6}) {
                img->InterpolatedPixelColor(v, 1.0f, method, of);
                img->InterpolatedPixelColor(1.0f, v, method, of);
                EXPECT_EQ(Pack(empty.InterpolatedPixelColor(v, v, method, of)), 0x00FFFFFFu);
            }
    int32_t x = -7, y = 9;
    empty.FoldCoordinates(&x, &y, PXIMAGE_OM_WRAP);  // no image: nothing to fold onto
    EXPECT_EQ(x, -7);
}

TEST(Interpolation, KernelValues) {
    struct Case {
        const char* name;
        float (*f)(float);
        float x, value;
    };
    const Case cases[] = {
        {"bspline 0", PxImage::FilterBSpline, 0, 0.6666667f},
        {"bspline 1", PxImage::FilterBSpline, 1, 0.1666667f},
        {"bspline -1", PxImage::FilterBSpline, -1, 0.1666667f},
        {"bspline 2.5", PxImage::FilterBSpline, 2.5f, 0},
        {"cubic 0", PxImage::FilterCubic, 0, 1},
        {"cubic 0.5", PxImage::FilterCubic, 0.5f, 0.625f},
        {"cubic 1.5", PxImage::FilterCubic, -1.5f, -0.125f},
        {"box -0.5", PxImage::FilterBox, -0.5f, 1},
        {"box 0.5", PxImage::FilterBox, 0.5f, 0},
        {"hermite 0.5", PxImage::FilterHermite, 0.5f, 0.5f},
        {"damped 0.5", PxImage::FilterDampedHermite, 0.5f, 0.54f},
        {"sinc 0.5", PxImage::FilterSinc, 0.5f, 0.6366198f},
        {"blackman 0", PxImage::FilterBlackman, 0, 1},
        {"blackman 1", PxImage::FilterBlackman, 1, 0},
        {"bessel 0", PxImage::FilterBessel, 0, 0.7853982f},
        {"bessel 1", PxImage::FilterBessel, 1, 0.1423077f},
        {"gauss 0", PxImage::FilterGaussian, 0, 0.7978846f},
        {"quad 1", PxImage::FilterQuadratic, 1, 0.125f},
        {"quad 0", PxImage::FilterQuadratic, 0, 0.75f},
        {"mitchell 0", PxImage::FilterMitchell, 0, 0.8888889f},
        {"mitchell 1", PxImage::FilterMitchell, 1, 0.0555556f},
        {"mitchell -1.5", PxImage::FilterMitchell, -1.5f, -0.0347222f},
        {"catrom 0", PxImage::FilterCatmullRom, 0, 1},
        {"catrom 0.5", PxImage::FilterCatmullRom, 0.5f, 0.5625f},
        {"catrom -1.5", PxImage::FilterCatmullRom, -1.5f, -0.0625f},
    };
    for (const Case& c : cases) EXPECT_NEAR(c.f(c.x), c.value, 2e-5) << c.name;
    EXPECT_NEAR(PxImage::FilterGeneralCubic(1.5f, -0.5f), -0.0625f, 1e-6);
    EXPECT_FLOAT_EQ(PxImage::FilterLanczos(0, 6), 1);
    EXPECT_NEAR(PxImage::FilterLanczos(0.5f, 6), 0.6366198 * 0.9886159, 1e-5);
    EXPECT_EQ(PxImage::FilterLanczos(6.5f, 6), 0);
    // J1 on both sides of the switch between the rational and the asymptotic form.
    EXPECT_NEAR(PxImage::BesselOrderOne(1.0), 0.4400505857, 1e-9);
    EXPECT_NEAR(PxImage::BesselOrderOne(-1.0), -0.4400505857, 1e-9);
    EXPECT_NEAR(PxImage::BesselOrderOne(10.0), 0.0434727462, 1e-8);
    EXPECT_NEAR(PxImage::BesselOrderOne(-10.0), -0.0434727462, 1e-8);
    EXPECT_EQ(PxImage::BesselOrderOne(0.0), 0.0);
}

}  // namespace
