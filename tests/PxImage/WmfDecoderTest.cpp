#include "PictureFiles.h"
#include "PxImageWMF.h"

namespace {

uint32_t WindowRgb() {
    const COLORREF c = GetSysColor(COLOR_WINDOW);
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

using WmfDecoder = GdiTest;

TEST_F(WmfDecoder, PlaysShapesOntoTheWindowColour) {
    const std::vector<WmfRecord> shapes = {
        WmfBrush(RGB(255, 0, 0)), WmfSelect(0), WmfPen(5, 0, 0),           WmfSelect(1), WmfRectangle(0, 0, 50, 50),
        WmfBrush(RGB(0, 0, 255)), WmfSelect(2), WmfEllipse(60, 10, 90, 40)};
    PxImageWMF img;
    ASSERT_TRUE(DecodeWith(img, Wmf(100, 50, shapes))) << img.GetLastError();
    EXPECT_EQ(img.GetWidth(), 100u);
    EXPECT_EQ(img.GetHeight(), 50u);
    EXPECT_EQ(img.GetBpp(), 24u);  // the 32-bit screen's depth
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_WMF);
    EXPECT_EQ(RgbAt(img, 10, 10), 0xFF0000u);
    EXPECT_EQ(RgbAt(img, 75, 25), 0x0000FFu);
    EXPECT_EQ(RgbAt(img, 95, 2), WindowRgb());
    EXPECT_EQ(RgbAt(img, 61, 11), WindowRgb());  // outside the ellipse, inside its box
    EXPECT_EQ(RgbAt(img, 89, 25), 0x0000FFu);    // the box's right edge is left out
    EXPECT_EQ(RgbAt(img, 90, 25), WindowRgb());
}

TEST_F(WmfDecoder, WindowRecordsMapOntoThePicture) {
    // The window 1000..1200 x 1000..1100 fills a 100 x 50 picture; a wide pen keeps its colour.
    const std::vector<WmfRecord> records = {{0x020B, {W(1000), W(1000)}},
                                            {0x020C, {W(100), W(200)}},
                                            WmfBrush(RGB(0, 255, 0)),
                                            WmfSelect(0),
                                            WmfPen(0, 20, 0),
                                            WmfSelect(1),
                                            WmfRectangle(1020, 1020, 1100, 1080)};
    PxImageWMF img;
    ASSERT_TRUE(DecodeWith(img, Wmf(100, 50, records))) << img.GetLastError();
    EXPECT_EQ(RgbAt(img, 30, 25), 0x00FF00u);    // inside, away from the pen
    EXPECT_EQ(RgbAt(img, 10, 25), 0x000000u);    // on the left edge's 10-pixel pen
    EXPECT_EQ(RgbAt(img, 80, 25), WindowRgb());  // right of the rectangle
}

TEST_F(WmfDecoder, RefusedStreams) {
    auto placeable = [](int32_t l, int32_t t, int32_t r, int32_t b, uint16_t inch, uint16_t flip = 0) {
        return Cat({Placeable(l, t, r, b, inch, flip), Metafile({}, 1)});
    };
    const char *const kCorrupt = "corrupted WMF", *const kEmpty = "empty WMF";
    ExpectRefusals<PxImageWMF>({
        {"no placeable header", Metafile({WmfRectangle(0, 0, 5, 5)}, 1), kCorrupt},
        {"wrong checksum", placeable(0, 0, 10, 10, 96, 1), kCorrupt},
        {"0 units per inch", placeable(0, 0, 10, 10, 0), kCorrupt},
        {"2541 units per inch", placeable(0, 0, 10, 10, 2541), kCorrupt},
        {"shorter than it says", Head(Wmf(10, 10, {WmfRectangle(0, 0, 5, 5)}), 30), kCorrupt},
        {"unknown metafile type", Edited(Wmf(10, 10, {}), {{22, 3}}), kCorrupt},
        {"no height", placeable(0, 0, 10, 0, 96), kEmpty},
        {"corners swapped", placeable(10, 10, 0, 0, 96), kEmpty},
        // Both extents zero: sizing must not loop for ever.
        {"a point", placeable(5, 5, 5, 5, 96), kEmpty},
        {"empty stream", Bytes{}, kCorrupt},
        {"cancelled", Wmf(10, 10, {}), "Cancelled", 1},
    });
}

TEST_F(WmfDecoder, SizeLimit) {
    struct Case {
        int32_t w, h, limitedW, limitedH;
    };
    for (const Case &c : {Case{1000, 8000, 500, 4000}, Case{8000, 1000, 4000, 500}, Case{4000, 4000, 4000, 4000},
                          Case{10000, 10000, 4000, 4000}, Case{100000, 1, 4000, 1}, Case{3, 9000, 1, 4000}}) {
        int32_t w = c.w, h = c.h;
        PxImageWMF::LimitSize(w, h);
        EXPECT_EQ(w, c.limitedW) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.limitedH) << c.w << "x" << c.h;
    }
    PxImageWMF big;
    ASSERT_TRUE(DecodeWith(big, Wmf(1000, 8000, {})));
    EXPECT_EQ(big.GetWidth(), 500u);
    EXPECT_EQ(big.GetHeight(), 4000u);
}

TEST_F(WmfDecoder, HostileRecordsAreHarmless) {
    const std::vector<WmfRecord> records = {
        {0x0324, {30000, 1, 2, 3, 4}},  // polygon that claims 30000 points
        {0x0538, {60000, 3, 3}},        // poly-polygon with more polygons than bytes
        {0x0127, {W(-5)}},              // restore without save
        WmfSelect(999),                 // beyond the object table
        {0x01F0, {999}},
        {0x020C, {1, 1}},  // a 1 x 1 window: everything huge
        WmfPen(0, 30000, RGB(1, 2, 3)),
        WmfSelect(0),
        WmfRectangle(-32768, -32768, 32767, 32767),
        {0x0214, {W(-32768), W(-32768)}},
        {0x0213, {W(32767), W(32767)}},
        {0x061C, {W(-32768), W(32767), 5, 5, 0, 0}},  // round rectangle with odd corners
        {0x001E, {}},
        {0x001E, {}},
        {0x0127, {2}},
        {0x041F, {0, 0, 3, 3}},
        WmfBrush(0),
        WmfBrush(0),
        WmfBrush(0),
        WmfBrush(0),
        WmfBrush(0),  // more objects than the table holds
    };
    PxImageWMF img;
    EXPECT_TRUE(DecodeWith(img, Wmf(64, 32, records, 2))) << img.GetLastError();
    Bytes zeroSize = Wmf(10, 10, {});
    zeroSize[22 + 18] = 0;  // a first record of size 0 ends the playing
    PxImageWMF img2;
    EXPECT_TRUE(DecodeWith(img2, zeroSize));
}

TEST_F(WmfDecoder, EnhancedMetafile) {
    // Brush 1, select it and the null pen, a rectangle over the left half.
    const Bytes emf = Emf(
        40, 20, Le32s({39, 24, 1, 0, RGB(255, 128, 0), 0, 37, 12, 1, 37, 12, 0x80000008u, 43, 24, 0, 0, 20, 20}), 4);
    PxImageWMF img;
    ASSERT_TRUE(DecodeWith(img, emf)) << img.GetLastError();
    EXPECT_EQ(img.GetWidth(), 40u);
    EXPECT_EQ(img.GetHeight(), 20u);
    EXPECT_EQ(RgbAt(img, 5, 5), 0xFF8000u);
    EXPECT_EQ(RgbAt(img, 30, 5), WindowRgb());

    Bytes badSignature = emf, overlong = emf;
    badSignature[40] = 'X';
    ExpectRefusals<PxImageWMF>({{"emf signature", badSignature, "corrupted WMF"}});
    // Records that claim more than the file holds end the playing quietly.
    overlong[108 + 4] = overlong[108 + 5] = 0xFF;
    PxImageWMF quiet;
    EXPECT_TRUE(DecodeWith(quiet, overlong));
    EXPECT_EQ(RgbAt(quiet, 5, 5), WindowRgb());
}

}  // namespace
