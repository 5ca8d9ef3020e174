#include "PictureFiles.h"
#include "PxImageTIF.h"

namespace {

using Page = TiffPage;
Bytes MakeTiff(const Page& page) { return ::MakeTiff(std::vector<Page>{page}); }
bool DecodeTif(PxImageTIF& img, const Bytes& data) { return DecodeWith(img, data); }

// Grey pages in every bit depth, compression and layout the decoder reads itself: the
// index of each pixel and the grey palette behind it.
TEST(TiffDecoder, GreyPagesFromStripsAndTiles)
{
    struct Case {
        const char* name;
        uint16_t bps, compression;
        uint32_t w, h, rowsPerStrip, tile;
    };
    const Case cases[] = {
        {"8-bit deflate, 3-row strips", 8, COMPRESSION_ADOBE_DEFLATE, 5, 7, 3, 0},
        {"8-bit packbits, one strip", 8, COMPRESSION_PACKBITS, 6, 4, 0, 0},
        {"8-bit LZW tiles, partial edge tiles", 8, COMPRESSION_LZW, 37, 21, 0, 16},
        // One strip of 2-byte samples is twice the size of the 8-bit picture it becomes.
        {"16-bit LZW, one strip", 16, COMPRESSION_LZW, 9, 6, 0, 0},
        {"16-bit tiles", 16, COMPRESSION_NONE, 20, 18, 0, 16},
        {"4-bit", 4, COMPRESSION_NONE, 7, 3, 2, 0},
        {"2-bit", 2, COMPRESSION_ADOBE_DEFLATE, 9, 3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Page p;
        p.w = c.w;
        p.h = c.h;
        p.bps = c.bps;
        p.compression = c.compression;
        p.rowsPerStrip = c.rowsPerStrip;
        p.tile = c.tile;
        const uint32_t levels = c.bps >= 8 ? 256 : (1u << c.bps);
        auto level = [&](uint32_t x, uint32_t y) { return (x * 7 + y * 3) % levels; };
        for (uint32_t y = 0; y < p.h; y++) {
            Bytes row(p.Line(), 0);
            for (uint32_t x = 0; x < p.w; x++) {
                const uint32_t v = level(x, y);
                if (c.bps == 16) {
                    row[2 * x] = 0x5A;  // the low byte is dropped
                    row[2 * x + 1] = static_cast<uint8_t>(v);
                } else if (c.bps == 8) {
                    row[x] = static_cast<uint8_t>(v);
                } else {
                    const uint32_t bit = x * c.bps;
                    row[bit / 8] |= static_cast<uint8_t>(v << (8 - c.bps - bit % 8));
                }
            }
            Append(p.rows, row);
        }
        PxImageTIF img;
        ASSERT_TRUE(DecodeTif(img, MakeTiff(p))) << img.GetLastError();
        ASSERT_EQ(img.GetWidth(), c.w);
        ASSERT_EQ(img.GetHeight(), c.h);
        EXPECT_EQ(img.GetBpp(), c.bps == 4 ? 4u : 8u);
        EXPECT_EQ(img.GetCodecOption(PXIMAGE_FORMAT_TIF), c.compression);
        for (uint32_t y = 0; y < p.h; y++)
            for (uint32_t x = 0; x < p.w; x++) {
                const uint32_t grey = c.bps == 2 ? level(x, y) * 85 : c.bps == 4 ? level(x, y) * 17 : level(x, y);
                ASSERT_EQ(RgbAt(img, static_cast<int32_t>(x), static_cast<int32_t>(y)), grey * 0x010101u)
                    << x << "," << y;
            }
    }
}

TEST(TiffDecoder, BilevelPhotometricDecidesWhite)
{
    for (uint16_t photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK}) {
        Page p;
        p.w = 10;
        p.h = 2;
        p.bps = 1;
        p.photometric = photometric;
        p.rows = {0xA0, 0x00, 0xFF, 0xC0};  // row 0: 1 0 1 0 ...; row 1: all ten set
        PxImageTIF img;
        ASSERT_TRUE(DecodeTif(img, MakeTiff(p)));
        EXPECT_EQ(img.GetBpp(), 1u);
        const uint32_t oneBit = photometric == PHOTOMETRIC_MINISBLACK ? 0xFFFFFF : 0;
        EXPECT_EQ(RgbAt(img, 0, 0), oneBit);
        EXPECT_EQ(RgbAt(img, 1, 0), oneBit ^ 0xFFFFFF);
        EXPECT_EQ(RgbAt(img, 9, 1), oneBit);
    }
}

TEST(TiffDecoder, PaletteScaling)
{
    struct Case {
        const char* name;
        uint16_t bps;
        bool wideMap;
    };
    for (const Case& c : {Case{"8-bit, 8-bit map", 8, false}, Case{"8-bit, 16-bit map", 8, true},
                          Case{"4-bit, 16-bit map", 4, true}, Case{"1-bit, 8-bit map", 1, false}}) {
        SCOPED_TRACE(c.name);
        Page p;
        p.w = 8;
        p.h = 1;
        p.bps = c.bps;
        p.photometric = PHOTOMETRIC_PALETTE;
        p.compression = COMPRESSION_PACKBITS;
        const uint32_t n = 1u << c.bps;
        p.colormap.assign(3 * n, 0);
        // Entry i: red 10 + i, green 200 - i, blue i; a wide map holds 257 times that, except
        // entry 1 of the narrow map keeps every value below 256.
        for (uint32_t i = 0; i < n; i++) {
            const uint32_t r = (10 + i) % 256, g = (200 + 256 - i) % 256, b = i % 256;
            p.colormap[i] = static_cast<uint16_t>(c.wideMap ? r * 257 : r);
            p.colormap[n + i] = static_cast<uint16_t>(c.wideMap ? g * 257 : g);
            p.colormap[2 * n + i] = static_cast<uint16_t>(c.wideMap ? b * 257 : b);
        }
        p.rows.assign(p.Line(), 0);
        for (uint32_t x = 0; x < p.w; x++) {
            const uint32_t v = (x * 3) % n, bit = x * c.bps;
            p.rows[bit / 8] |= static_cast<uint8_t>(v << (8 - c.bps - bit % 8));
        }
        PxImageTIF img;
        ASSERT_TRUE(DecodeTif(img, MakeTiff(p))) << img.GetLastError();
        for (uint32_t x = 0; x < p.w; x++) {
            const uint32_t i = (x * 3) % n;
            const uint32_t expect = (((10 + i) % 256) << 16) | (((200 + 256 - i) % 256) << 8) | (i % 256);
            EXPECT_EQ(RgbAt(img, static_cast<int32_t>(x), 0), expect) << x;
        }
    }
}

TEST(TiffDecoder, ColourPagesAndAlpha)
{
    struct Case {
        const char* name;
        uint16_t spp, bps, photometric, compression;
        uint32_t tile;
        bool alpha;
    };
    const Case cases[] = {
        {"RGB strips", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, 0, false},
        {"RGB tiles", 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, 16, false},
        {"RGBA", 4, 8, PHOTOMETRIC_RGB, COMPRESSION_PACKBITS, 0, true},
        {"RGB 16-bit", 3, 16, PHOTOMETRIC_RGB, COMPRESSION_NONE, 0, false},
        {"RGB 4-bit", 3, 4, PHOTOMETRIC_RGB, COMPRESSION_NONE, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Page p;
        p.w = 19;
        p.h = 17;
        p.spp = c.spp;
        p.bps = c.bps;
        p.photometric = c.photometric;
        p.compression = c.compression;
        p.tile = c.tile;
        // Associated alpha: libtiff would premultiply unassociated alpha into the colours.
        if (c.spp == 4)
            p.extraSample = EXTRASAMPLE_ASSOCALPHA;
        const uint32_t maxv = (1u << std::min<uint16_t>(c.bps, 8)) - 1;
        auto sample = [&](uint32_t x, uint32_t y, uint32_t s) { return (x * 5 + y * 11 + s * 3) % (maxv + 1); };
        for (uint32_t y = 0; y < p.h; y++) {
            Bytes row(p.Line(), 0);
            for (uint32_t x = 0; x < p.w; x++)
                for (uint32_t s = 0; s < c.spp; s++) {
                    const uint32_t v = sample(x, y, s), i = x * c.spp + s;
                    if (c.bps == 16) {
                        row[2 * i] = static_cast<uint8_t>(v);
                        row[2 * i + 1] = static_cast<uint8_t>(v);
                    } else if (c.bps == 8) {
                        row[i] = static_cast<uint8_t>(v);
                    } else {
                        row[i / 2] |= static_cast<uint8_t>(i % 2 ? v : v << 4);
                    }
                }
            Append(p.rows, row);
        }
        PxImageTIF img;
        ASSERT_TRUE(DecodeTif(img, MakeTiff(p))) << img.GetLastError();
        EXPECT_EQ(img.GetBpp(), 24u);
        EXPECT_EQ(img.AlphaIsValid(), c.alpha);
        const uint32_t scale = 255 / maxv;
        for (uint32_t y = 0; y < p.h; y++)
            for (uint32_t x = 0; x < p.w; x++) {
                const uint32_t expect = (sample(x, y, 0) * scale << 16) | (sample(x, y, 1) * scale << 8) | sample(x, y, 2) * scale;
                ASSERT_EQ(RgbAt(img, static_cast<int32_t>(x), static_cast<int32_t>(y)), expect) << x << "," << y;
                if (c.alpha) {
                    ASSERT_EQ(AlphaAt(img, static_cast<int32_t>(x), static_cast<int32_t>(y)), sample(x, y, 3));
                }
            }
    }
}

TEST(TiffDecoder, GreyWithAlphaSamples)
{
    for (uint16_t bps : {8, 16}) {
        SCOPED_TRACE(bps);
        Page p;
        p.w = 6;
        p.h = 5;
        p.spp = 2;
        p.bps = bps;
        p.extraSample = EXTRASAMPLE_UNASSALPHA;
        p.rowsPerStrip = 2;
        for (uint32_t y = 0; y < p.h; y++)
            for (uint32_t x = 0; x < p.w; x++) {
                const uint8_t grey = static_cast<uint8_t>(x * 40 + y), alpha = static_cast<uint8_t>(255 - x * 30 - y);
                if (bps == 16)
                    Append(p.rows, {0, grey, 0, alpha});
                else
                    Append(p.rows, {grey, alpha});
            }
        PxImageTIF img;
        ASSERT_TRUE(DecodeTif(img, MakeTiff(p))) << img.GetLastError();
        EXPECT_EQ(img.GetBpp(), 8u);
        // Only 8-bit pairs come with an alpha plane; 16-bit pairs keep the grey of every pixel.
        EXPECT_EQ(img.AlphaIsValid(), bps == 8);
        for (uint32_t y = 0; y < p.h; y++)
            for (uint32_t x = 0; x < p.w; x++) {
                ASSERT_EQ(IndexAt(img, static_cast<int32_t>(x), static_cast<int32_t>(y)), x * 40 + y) << x << "," << y;
                if (bps == 8) {
                    ASSERT_EQ(AlphaAt(img, static_cast<int32_t>(x), static_cast<int32_t>(y)), 255 - x * 30 - y);
                }
            }
    }
}

TEST(TiffDecoder, LabPage)
{
    Page p;
    p.w = 3;
    p.h = 1;
    p.spp = 3;
    p.photometric = PHOTOMETRIC_CIELAB;
    p.rows = {255, 0, 0, 0, 0, 0, 128, 0x7F, 0};  // white, black, a reddish grey
    PxImageTIF img;
    ASSERT_TRUE(DecodeTif(img, MakeTiff(p))) << img.GetLastError();
    EXPECT_EQ(img.GetBpp(), 24u);
    const uint32_t white = RgbAt(img, 0, 0);
    EXPECT_GE(white & 0xFF, 0xF0u);
    EXPECT_GE((white >> 16) & 0xFF, 0xF0u);
    EXPECT_EQ(RgbAt(img, 1, 0), 0x080808u);  // the plain cube of L* = 0 is not quite black
    const uint32_t red = RgbAt(img, 2, 0);
    EXPECT_GT((red >> 16) & 0xFF, (red >> 8) & 0xFF);
}

TEST(TiffDecoder, OrientationTurnsThePicture)
{
    // A 3 x 2 picture stored as rows "0 1 2" and "3 4 5".
    struct Case {
        uint16_t orientation;
        uint32_t w, h;
        std::vector<uint8_t> topDown;  // the decoded picture's indexes, top row first
    };
    const Case cases[] = {
        {ORIENTATION_TOPLEFT, 3, 2, {0, 1, 2, 3, 4, 5}},
        {ORIENTATION_TOPRIGHT, 3, 2, {2, 1, 0, 5, 4, 3}},
        {ORIENTATION_BOTRIGHT, 3, 2, {5, 4, 3, 2, 1, 0}},
        {ORIENTATION_BOTLEFT, 3, 2, {3, 4, 5, 0, 1, 2}},
        {ORIENTATION_LEFTTOP, 2, 3, {0, 3, 1, 4, 2, 5}},
        {ORIENTATION_RIGHTTOP, 2, 3, {3, 0, 4, 1, 5, 2}},
        {ORIENTATION_RIGHTBOT, 2, 3, {5, 2, 4, 1, 3, 0}},
        {ORIENTATION_LEFTBOT, 2, 3, {2, 5, 1, 4, 0, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.orientation);
        Page p;
        p.w = 3;
        p.h = 2;
        p.orientation = c.orientation;
        p.rows = {0, 1, 2, 3, 4, 5};
        PxImageTIF img;
        ASSERT_TRUE(DecodeTif(img, MakeTiff(p))) << img.GetLastError();
        ASSERT_EQ(img.GetWidth(), c.w);
        ASSERT_EQ(img.GetHeight(), c.h);
        std::vector<uint8_t> got;
        for (uint32_t y = 0; y < c.h; y++)
            for (uint32_t x = 0; x < c.w; x++)
                got.push_back(IndexAt(img, static_cast<int32_t>(x), static_cast<int32_t>(y)));
        EXPECT_EQ(got, c.topDown);
    }
}

TEST(TiffDecoder, PagesHeaderOnlyAndResolution)
{
    Page a;
    a.rows.assign(12, 10);
    a.xres = 100;
    a.resUnit = RESUNIT_CENTIMETER;
    Page b = a;
    b.w = 2;
    b.h = 2;
    b.rows = {1, 2, 3, 4};
    b.xres = 300;
    b.resUnit = RESUNIT_INCH;
    const Bytes two = ::MakeTiff({a, b});

    PxImageTIF first;
    ASSERT_TRUE(DecodeTif(first, two));
    EXPECT_EQ(first.GetInfo().nNumFrames, 2);
    EXPECT_EQ(first.GetXDPI(), 254);
    EXPECT_EQ(first.GetTransIndex(), -1);

    PxImageTIF second;
    second.SetEscape(0);
    const_cast<PXIMAGEINFO&>(second.GetInfo()).nFrame = 1;
    ASSERT_TRUE(DecodeTif(second, two));
    EXPECT_EQ(second.GetWidth(), 2u);
    EXPECT_EQ(IndexAt(second, 1, 1), 4);
    EXPECT_EQ(second.GetYDPI(), 300);

    PxImageTIF missing;
    const_cast<PXIMAGEINFO&>(missing.GetInfo()).nFrame = 2;
    EXPECT_FALSE(DecodeTif(missing, two));
    EXPECT_STREQ(missing.GetLastError(), "Error: page not present in TIFF file");
    EXPECT_EQ(missing.GetInfo().nNumFrames, 2);

    PxImageTIF header;
    header.SetEscape(-1);
    EXPECT_TRUE(DecodeTif(header, two));
    EXPECT_STREQ(header.GetLastError(), "output dimensions returned");
    EXPECT_EQ(header.GetWidth(), 4u);
    EXPECT_EQ(header.GetHeight(), 3u);
    EXPECT_FALSE(header.IsValid());

    // A stream that is no TIFF has no size to report.
    PxImageTIF notTiff;
    notTiff.SetEscape(-1);
    const Bytes junk(64, 0x42);
    EXPECT_FALSE(DecodeTif(notTiff, junk));
    EXPECT_STREQ(notTiff.GetLastError(), "Error encountered while opening TIFF file");

    PxImageTIF cancelled;
    cancelled.SetEscape(1);
    EXPECT_FALSE(DecodeTif(cancelled, two));
    EXPECT_STREQ(cancelled.GetLastError(), "Cancelled");
}

TEST(TiffDecoder, DamagedStreamsFailCleanly)
{
    Page p;
    p.w = 64;
    p.h = 64;
    p.compression = COMPRESSION_ADOBE_DEFLATE;
    p.rows.resize(64 * 64);
    for (size_t i = 0; i < p.rows.size(); i++)
        p.rows[i] = static_cast<uint8_t>(i * 31);
    const Bytes good = MakeTiff(p);
    // Cut short, or with the compressed data overwritten: never a crash, never stderr.
    for (size_t cut : {size_t{4}, size_t{8}, good.size() / 2, good.size() - 10}) {
        Bytes bad(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        PxImageTIF img;
        testing::internal::CaptureStderr();
        const bool ok = DecodeTif(img, bad);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        if (!ok) {
            EXPECT_STRNE(img.GetLastError(), "");
        }
    }
    Bytes garbled = good;
    for (size_t i = 16; i < 200 && i < garbled.size(); i++)
        garbled[i] ^= 0x5A;
    PxImageTIF img;
    testing::internal::CaptureStderr();
    DecodeTif(img, garbled);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(TiffDecoder, CopyTileRowsSkewsBothSides)
{
    const uint8_t src[] = {1, 2, 3, 9, 4, 5, 6, 9};
    uint8_t dst[10] = {};
    PxImageTIF::CopyTileRows(dst + 1, src, 2, 3, 5, 4);
    const uint8_t expect[] = {0, 1, 2, 3, 0, 0, 4, 5, 6, 0};
    EXPECT_EQ(0, std::memcmp(dst, expect, sizeof(dst)));
}

}  // namespace
