#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "PxImage.h"

namespace {

TEST(ImageModel, CreateSizesAndRefusals) {
    struct Case {
        uint32_t w, h, bpp;
        bool ok;
        uint32_t bits, stride, clrUsed;
        const char* error;
    };
    const char* zero = "PxImage::Create : width and height must be greater than zero";
    const char* limit = "PXIMAGE_MAX_MEMORY exceeded";
    const Case cases[] = {
        {1, 1, 1, true, 1, 4, 2, ""},
        {3, 2, 24, true, 24, 12, 0, ""},
        {5, 1, 2, true, 4, 4, 16, ""},
        {5, 1, 16, true, 24, 16, 0, ""},
        {9, 1, 32, true, 24, 28, 0, ""},
        {33, 2, 8, true, 8, 36, 256, ""},
        {0, 5, 8, false, 0, 0, 0, zero},
        {5, 0, 8, false, 0, 0, 0, zero},
        {static_cast<uint32_t>(-3), 5, 8, false, 0, 0, 0, zero},  // a negative width from a file
        {5, 0x80000000u, 8, false, 0, 0, 0, zero},
        {0x7FFFFFFF, 0x7FFFFFFF, 24, false, 0, 0, 0, limit},  // 32-bit products would wrap
        {400000, 50000, 1, false, 0, 0, 0, limit},            // under the limit but over 2 GiB of rows
    };
    for (const Case& c : cases) {
        PxImage img;
        void* dib = img.Create(c.w, c.h, c.bpp, 1);
        EXPECT_EQ(dib != nullptr, c.ok) << c.w << "x" << c.h;
        EXPECT_STREQ(img.GetLastError(), c.error);
        if (!c.ok) {
            EXPECT_FALSE(img.IsValid());
            continue;
        }
        EXPECT_EQ(img.GetBpp(), c.bits);
        EXPECT_EQ(img.GetEffWidth(), c.stride);
        EXPECT_EQ(img.GetHeader().biClrUsed, c.clrUsed);
        EXPECT_EQ(img.GetHeader().biSizeImage, c.stride * c.h);
        EXPECT_EQ(std::memcmp(img.GetDIB(), &img.GetHeader(), sizeof(BITMAPINFOHEADER)), 0);
        const uint8_t* bits = img.GetBits(0);
        for (uint32_t i = 0; i < c.stride * c.h; i++) ASSERT_EQ(bits[i], 0) << "pixel memory is cleared";
        EXPECT_EQ(img.GetBits(c.h), nullptr);
    }
}

TEST(ImageModel, ClearAndCodecOptions) {
    PxImage one(8, 1, 1);
    one.Clear(1);
    EXPECT_EQ(one.GetBits()[0], 0xFF);
    PxImage four(8, 1, 4);
    four.Clear(0x1A);
    EXPECT_EQ(four.GetBits()[0], 0xAA);

    PxImage img(2, 2, 24, 4);
    EXPECT_TRUE(img.SetCodecOption(7));
    EXPECT_EQ(img.GetCodecOption(4), 7u);
    EXPECT_EQ(img.GetCodecOption(), 7u);
    EXPECT_FALSE(img.SetCodecOption(1, 10));
    EXPECT_EQ(img.GetCodecOption(10), 0u);
}

TEST(ImageModel, DestroyTransferAndCopy) {
    PxImage a(4, 3, 8, 1);
    a.AlphaCreate();
    a.SetPixelIndex(1, 2, 9);
    EXPECT_NE(a.GetInfo().pImage, nullptr);

    PxImage b;
    ASSERT_TRUE(b.Transfer(a));
    EXPECT_FALSE(a.IsValid());
    EXPECT_EQ(a.GetInfo().pImage, nullptr);
    EXPECT_TRUE(a.Destroy());
    EXPECT_EQ(b.GetPixelIndex(1, 2), 9);
    EXPECT_TRUE(b.AlphaIsValid());

    PxImage c(b);
    EXPECT_EQ(c.GetPixelIndex(1, 2), 9);
    EXPECT_NE(c.GetBits(), b.GetBits());
    EXPECT_EQ(c.GetInfo().pImage, c.GetBits());

    b.Destroy();
    EXPECT_EQ(b.GetInfo().pImage, nullptr);
    PxImage d;
    d.CopyInfo(b);
    EXPECT_EQ(d.GetInfo().pImage, nullptr);
}

TEST(ImageModel, PaletteBoundsAndNearestIndex) {
    PxImage img(2, 2, 1);
    RGBQUAD big[256] = {};
    big[0] = {1, 2, 3, 0};
    big[1] = {4, 5, 6, 0};
    big[2] = {7, 8, 9, 0};
    img.SetPalette(big, 256);
    EXPECT_EQ(img.GetPaletteColor(1).rgbRed, 6);
    EXPECT_EQ(img.GetPaletteColor(2).rgbRed, 0);

    uint8_t triples[3 * 256] = {};
    triples[3] = 200;
    triples[3 * 255] = 99;
    img.SetPalette(triples, 256);  // only the two entries the image has
    EXPECT_EQ(img.GetPaletteColor(1).rgbRed, 200);

    PxImage gray(2, 2, 8);
    gray.SetGrayPalette();
    EXPECT_TRUE(gray.IsGrayScale());
    RGBQUAD white[256];
    std::memset(white, 255, sizeof(white));
    gray.SetPalette(white, 256);
    gray.SetPaletteColor(0, 0, 0, 0);
    gray.SetPaletteColor(1, 10, 10, 10);
    gray.SetPaletteColor(2, 20, 20, 20);
    EXPECT_EQ(gray.GetNearestIndex(RGBQUAD{15, 15, 15, 0}), 1) << "a tie keeps the earlier entry";
    EXPECT_EQ(gray.GetNearestIndex(RGBQUAD{20, 20, 20, 0}), 2);

    // More important colours than used colours: the search stays within the palette.
    PxImage small(2, 2, 1);
    small.SetPaletteColor(0, 0, 0, 0);
    small.SetPaletteColor(1, 255, 255, 255);
    const_cast<BITMAPINFOHEADER&>(small.GetHeader()).biClrImportant = 256;
    EXPECT_EQ(small.GetNearestIndex(RGBQUAD{250, 250, 250, 0}), 1);
}

TEST(ImageModel, PixelAccessByDepth) {
    for (uint32_t bpp : {1u, 4u, 8u}) {
        PxImage img(10, 3, bpp);
        uint8_t maxIndex = static_cast<uint8_t>((1u << bpp) - 1);
        for (int32_t y = 0; y < 3; y++)
            for (int32_t x = 0; x < 10; x++) img.SetPixelIndex(x, y, static_cast<uint8_t>((x + y) & maxIndex));
        for (int32_t y = 0; y < 3; y++)
            for (int32_t x = 0; x < 10; x++) ASSERT_EQ(img.GetPixelIndex(x, y), (x + y) & maxIndex) << bpp;
        img.SetTransIndex(1);
        EXPECT_EQ(img.GetPixelIndex(-1, 0), 1);
    }
    PxImage rgb(3, 2, 24);
    rgb.AlphaCreate();
    rgb.SetPixelColor(2, 1, RGBQUAD{1, 2, 3, 77}, true);
    RGBQUAD c = rgb.GetPixelColor(2, 1);
    EXPECT_EQ(c.rgbBlue, 1);
    EXPECT_EQ(c.rgbRed, 3);
    EXPECT_EQ(c.rgbReserved, 77);
    rgb.SetPixelColor(0, 0, RGB(10, 20, 30));
    EXPECT_EQ(rgb.GetPixelColor(0, 0, false).rgbRed, 10);
    EXPECT_EQ(rgb.GetPixelPointer(2, 1)[2], 3);
}

TEST(ImageModel, IteratorRowsStayInsideTheImage) {
    PxImage img(4, 2, 8);
    CImageIterator it(&img);
    uint8_t row[64];
    std::memset(row, 0xCD, sizeof(row));
    EXPECT_TRUE(it.SetY(2));  // the height is accepted ...
    it.SetRow(row, -1);       // ... but nothing is written there
    EXPECT_EQ(it.GetRow(2), nullptr);
    it.ToTopRow();
    it.SetRow(row, 100);
    EXPECT_EQ(img.GetBits(1)[3], 0xCD);
    EXPECT_EQ(img.GetBits(0)[0], 0);
    EXPECT_TRUE(it.PrevRow());
    EXPECT_FALSE(it.PrevRow());
    it.SetRow(row, 4);  // y is -1 now
    EXPECT_EQ(img.GetBits(0)[0], 0);

    // The cursor follows a re-created image instead of keeping the old block.
    CImageIterator it2(&img);
    img.Create(8, 8, 8);
    it2.SetY(7);
    it2.SetRow(row, 8);
    EXPECT_EQ(img.GetBits(7)[0], 0xCD);
}

TEST(ImageModel, FlipMirrorRotateNegative) {
    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        PxImage img(3, 2, bpp);
        img.SetPaletteColor(1, 255, 255, 255);
        img.AlphaCreate();
        if (bpp == 24)
            img.SetPixelColor(0, 0, RGBQUAD{255, 255, 255, 0});
        else
            img.SetPixelIndex(0, 0, 1);
        img.AlphaSet(0, 0, 10);
        // Where pixel (0, 0) goes; a rotation's new (x, y) is old (y, newW - 1 - x) to the left and
        // old (newH - 1 - y, x) to the right. Alpha goes with the colour.
        const struct {
            bool (*turn)(PxImage&);
            uint32_t width;
            int32_t x, y;
        } turns[] = {{[](PxImage& i) { return i.Flip(); }, 3, 0, 1},
                     {[](PxImage& i) { return i.Mirror(); }, 3, 2, 0},
                     {[](PxImage& i) { return i.RotateLeft(); }, 2, 1, 0},
                     {[](PxImage& i) { return i.RotateRight(); }, 2, 0, 2}};
        for (const auto& t : turns) {
            PxImage turned(img);
            ASSERT_TRUE(t.turn(turned));
            EXPECT_EQ(turned.GetWidth(), t.width);
            EXPECT_EQ(turned.GetPixelColor(t.x, t.y, false).rgbRed, 255) << bpp << " " << t.x << "," << t.y;
            EXPECT_EQ(turned.AlphaGet(t.x, t.y), 10) << bpp;
        }
    }
    PxImage neg(2, 1, 24);
    neg.Negative();
    EXPECT_EQ(neg.GetPixelColor(1, 0).rgbGreen, 255);
}

}  // namespace
