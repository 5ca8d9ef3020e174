#include "PictureFiles.h"
#include "PxImageTIF.h"

namespace {

using Page = TiffPage;
Bytes MakeTiff(const Page& page) { return ::MakeTiff(std::vector<Page>{page}); }

// Samples of `bits` each, first sample in the high bits of a byte; 16-bit samples get `low` as their
// low byte, or with a negative `low` their high byte twice (the exact 16-bit value of the 8-bit one).
Bytes Pack(uint32_t bits, const std::vector<uint32_t>& samples, int low = 0) {
    Bytes out((samples.size() * bits + 7) / 8, 0);
    for (size_t i = 0; i < samples.size(); i++)
        if (bits == 16)
            out[2 * i] = uint8_t(low < 0 ? samples[i] : uint32_t(low)), out[2 * i + 1] = uint8_t(samples[i]);
        else
            out[i * bits / 8] |= static_cast<uint8_t>(samples[i] << (8 - bits - i * bits % 8));
    return out;
}

// Grey pages in every bit depth, compression and layout the decoder reads itself: the
// index of each pixel and the grey palette behind it.
TEST(TiffDecoder, GreyPagesFromStripsAndTiles) {
    struct Case {
        const char* name;
        uint16_t bps, compression;
        uint32_t w, h, rowsPerStrip, tile;
    } cases[] = {
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
        Page p{.w = c.w, .h = c.h, .bps = c.bps, .compression = c.compression, .rowsPerStrip = c.rowsPerStrip};
        p.tile = c.tile;
        auto level = [&](uint32_t x, uint32_t y) { return (x * 7 + y * 3) % (c.bps >= 8 ? 256 : 1u << c.bps); };
        for (const auto& row : RowsOf(p.w, p.h, level))
            Append(p.rows, Pack(c.bps, row, 0x5A));  // the low byte of 16-bit samples is dropped
        PxImageTIF img;
        ASSERT_TRUE(DecodeWith(img, MakeTiff(p))) << img.GetLastError();
        EXPECT_EQ(img.GetBpp(), c.bps == 4 ? 4u : 8u);
        EXPECT_EQ(img.GetCodecOption(PXIMAGE_FORMAT_TIF), c.compression);
        const uint32_t scale = (c.bps == 2 ? 85 : c.bps == 4 ? 17 : 1) * 0x010101u;
        ExpectPixels(img, RowsOf(c.w, c.h, [&](uint32_t x, uint32_t y) { return level(x, y) * scale; }));
    }
}

TEST(TiffDecoder, BilevelPhotometricDecidesWhite) {
    for (uint16_t photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK}) {
        // Row 0: 1 0 1 0 ...; row 1: all ten set.
        PxImageTIF img;
        ASSERT_TRUE(DecodeWith(
            img, MakeTiff({.w = 10, .h = 2, .bps = 1, .photometric = photometric, .rows = {0xA0, 0x00, 0xFF, 0xC0}})));
        EXPECT_EQ(img.GetBpp(), 1u);
        const uint32_t oneBit = photometric == PHOTOMETRIC_MINISBLACK ? 0xFFFFFF : 0;
        EXPECT_EQ(RgbAt(img, 0, 0), oneBit);
        EXPECT_EQ(RgbAt(img, 1, 0), oneBit ^ 0xFFFFFF);
        EXPECT_EQ(RgbAt(img, 9, 1), oneBit);
    }
}

TEST(TiffDecoder, PaletteScaling) {
    for (auto [bps, wideMap] : {std::pair{8, false}, {8, true}, {4, true}, {1, false}}) {
        SCOPED_TRACE(testing::Message() << bps << (wideMap ? " bits, 16-bit map" : " bits, 8-bit map"));
        const uint32_t n = 1u << bps;
        Page p{.w = 8, .h = 1, .bps = uint16_t(bps), .photometric = PHOTOMETRIC_PALETTE};
        p.compression = COMPRESSION_PACKBITS;
        // Entry i: red 10 + i, green 200 - i, blue i; a wide map holds 257 times that, except
        // entry 1 of the narrow map keeps every value below 256.
        auto entry = [](uint32_t i) { return std::array<uint32_t, 3>{(10 + i) % 256, (200 + 256 - i) % 256, i % 256}; };
        p.colormap.assign(3 * n, 0);
        for (uint32_t i = 0; i < n; i++)
            for (uint32_t k = 0; k < 3; k++)
                p.colormap[k * n + i] = static_cast<uint16_t>(entry(i)[k] * (wideMap ? 257 : 1));
        p.rows = Pack(bps, {0, 3 % n, 6 % n, 9 % n, 12 % n, 15 % n, 18 % n, 21 % n});
        PxImageTIF img;
        ASSERT_TRUE(DecodeWith(img, MakeTiff(p))) << img.GetLastError();
        ExpectPixels(img, RowsOf(8, 1, [&](uint32_t x, uint32_t) {
                         auto e = entry((x * 3) % n);
                         return (e[0] << 16) | (e[1] << 8) | e[2];
                     }));
    }
}

TEST(TiffDecoder, ColourPagesAndAlpha) {
    struct Case {
        const char* name;
        uint16_t spp, bps, compression;
        uint32_t tile;
    } cases[] = {
        {"RGB strips", 3, 8, COMPRESSION_ADOBE_DEFLATE, 0},
        {"RGB tiles", 3, 8, COMPRESSION_LZW, 16},
        {"RGBA", 4, 8, COMPRESSION_PACKBITS, 0},
        {"RGB 16-bit", 3, 16, COMPRESSION_NONE, 0},
        {"RGB 4-bit", 3, 4, COMPRESSION_NONE, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Associated alpha: libtiff would premultiply unassociated alpha into the colours.
        Page p{.w = 19, .h = 17, .bps = c.bps, .spp = c.spp, .photometric = PHOTOMETRIC_RGB, .tile = c.tile};
        p.compression = c.compression, p.extraSample = c.spp == 4 ? EXTRASAMPLE_ASSOCALPHA : 0;
        const uint32_t maxv = (1u << std::min<uint16_t>(c.bps, 8)) - 1;
        auto sample = [&](uint32_t x, uint32_t y, uint32_t s) { return (x * 5 + y * 11 + s * 3) % (maxv + 1); };
        auto interleaved = [&](uint32_t i, uint32_t y) { return sample(i / c.spp, y, i % c.spp); };
        for (const auto& row : RowsOf(p.w * c.spp, p.h, interleaved)) Append(p.rows, Pack(c.bps, row, -1));
        PxImageTIF img;
        ASSERT_TRUE(DecodeWith(img, MakeTiff(p))) << img.GetLastError();
        EXPECT_EQ(img.GetBpp(), 24u);
        const uint32_t scale = 255 / maxv;
        ExpectPixels(img,
                     RowsOf(p.w, p.h,
                            [&](uint32_t x, uint32_t y) {
                                return (sample(x, y, 0) * scale << 16) | (sample(x, y, 1) * scale << 8) |
                                       sample(x, y, 2) * scale;
                            }),
                     c.spp == 4 ? RowsOf(p.w, p.h, [&](uint32_t x, uint32_t y) { return sample(x, y, 3); }) : Rows{});
    }
}

TEST(TiffDecoder, GreyWithAlphaSamples) {
    for (uint16_t bps : {8, 16}) {
        SCOPED_TRACE(bps);
        Page p{.w = 6, .h = 5, .bps = bps, .spp = 2, .rowsPerStrip = 2, .extraSample = EXTRASAMPLE_UNASSALPHA};
        for (uint32_t y = 0; y < p.h; y++)
            for (uint32_t x = 0; x < p.w; x++) Append(p.rows, Pack(bps, {x * 40 + y, 255 - x * 30 - y}));
        PxImageTIF img;
        ASSERT_TRUE(DecodeWith(img, MakeTiff(p))) << img.GetLastError();
        EXPECT_EQ(img.GetBpp(), 8u);
        // Only 8-bit pairs come with an alpha plane; 16-bit pairs keep the grey of every pixel.
        ExpectPixels(img, RowsOf(p.w, p.h, [](uint32_t x, uint32_t y) { return (x * 40 + y) * 0x010101u; }),
                     bps == 8 ? RowsOf(p.w, p.h, [](uint32_t x, uint32_t y) { return 255 - x * 30 - y; }) : Rows{});
    }
}

TEST(TiffDecoder, LabPage) {
    PxImageTIF img;
    // White, black, a reddish grey.
    const Page lab{
        .w = 3, .h = 1, .spp = 3, .photometric = PHOTOMETRIC_CIELAB, .rows = {255, 0, 0, 0, 0, 0, 128, 0x7F, 0}};
    ASSERT_TRUE(DecodeWith(img, MakeTiff(lab)));
    EXPECT_EQ(img.GetBpp(), 24u);
    const uint32_t white = RgbAt(img, 0, 0), red = RgbAt(img, 2, 0);
    EXPECT_GE(white & 0xFF, 0xF0u);
    EXPECT_GE((white >> 16) & 0xFF, 0xF0u);
    EXPECT_EQ(RgbAt(img, 1, 0), 0x080808u);  // the plain cube of L* = 0 is not quite black
    EXPECT_GT((red >> 16) & 0xFF, (red >> 8) & 0xFF);
}

TEST(TiffDecoder, OrientationTurnsThePicture) {
    // A 3 x 2 picture stored as rows "0 1 2" and "3 4 5"; the decoded indexes, top row first.
    struct Case {
        uint16_t orientation;
        uint32_t w, h;
        std::vector<uint8_t> topDown;
    } cases[] = {
        {ORIENTATION_TOPLEFT, 3, 2, {0, 1, 2, 3, 4, 5}},  {ORIENTATION_TOPRIGHT, 3, 2, {2, 1, 0, 5, 4, 3}},
        {ORIENTATION_BOTRIGHT, 3, 2, {5, 4, 3, 2, 1, 0}}, {ORIENTATION_BOTLEFT, 3, 2, {3, 4, 5, 0, 1, 2}},
        {ORIENTATION_LEFTTOP, 2, 3, {0, 3, 1, 4, 2, 5}},  {ORIENTATION_RIGHTTOP, 2, 3, {3, 0, 4, 1, 5, 2}},
        {ORIENTATION_RIGHTBOT, 2, 3, {5, 2, 4, 1, 3, 0}}, {ORIENTATION_LEFTBOT, 2, 3, {2, 5, 1, 4, 0, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.orientation);
        PxImageTIF img;
        const Page p{.w = 3, .h = 2, .orientation = c.orientation, .rows = {0, 1, 2, 3, 4, 5}};
        ASSERT_TRUE(DecodeWith(img, MakeTiff(p))) << img.GetLastError();
        ExpectPixels(img, RowsOf(c.w, c.h, [&](uint32_t x, uint32_t y) { return c.topDown[y * c.w + x] * 0x010101u; }));
    }
}

TEST(TiffDecoder, PagesHeaderOnlyAndResolution) {
    const Page a{.xres = 100, .resUnit = RESUNIT_CENTIMETER, .rows = Bytes(12, 10)};
    const Bytes two = ::MakeTiff({a, {.w = 2, .h = 2, .xres = 300, .rows = {1, 2, 3, 4}}});
    PxImageTIF first, second, header, missing;
    ASSERT_TRUE(DecodeWith(first, two));
    EXPECT_EQ(first.GetInfo().nNumFrames, 2);
    EXPECT_EQ(first.GetXDPI(), 254);
    EXPECT_EQ(first.GetTransIndex(), -1);
    SetFrame(second, 1);
    ASSERT_TRUE(DecodeWith(second, two));
    EXPECT_EQ(second.GetWidth(), 2u);
    EXPECT_EQ(RgbAt(second, 1, 1), 0x040404u);
    EXPECT_EQ(second.GetYDPI(), 300);
    header.SetEscape(-1);
    EXPECT_TRUE(DecodeWith(header, two));
    EXPECT_STREQ(header.GetLastError(), "output dimensions returned");
    EXPECT_EQ(header.GetWidth(), 4u);
    EXPECT_EQ(header.GetHeight(), 3u);
    EXPECT_FALSE(header.IsValid());
    ExpectRefusals<PxImageTIF>({
        {"page past the last", two, "Error: page not present in TIFF file", 0, 2},
        // A stream that is no TIFF has no size to report.
        {"no TIFF, size only", Bytes(64, 0x42), "Error encountered while opening TIFF file", -1},
        {"cancelled", two, "Cancelled", 1},
    });
    SetFrame(missing, 2);
    EXPECT_FALSE(DecodeWith(missing, two));
    EXPECT_EQ(missing.GetInfo().nNumFrames, 2);
}

TEST(TiffDecoder, DamagedStreamsFailCleanly) {
    Page p{.w = 64, .h = 64, .compression = COMPRESSION_ADOBE_DEFLATE};
    for (size_t i = 0; i < 64 * 64; i++) p.rows.push_back(static_cast<uint8_t>(i * 31));
    const Bytes good = MakeTiff(p);
    Bytes garbled = good;
    for (size_t i = 16; i < 200 && i < garbled.size(); i++) garbled[i] ^= 0x5A;
    // Cut short, or with the compressed data overwritten: never a crash, never stderr.
    for (size_t cut : {size_t{4}, size_t{8}, good.size() / 2, good.size() - 10, size_t{0}}) {
        Bytes bad = cut ? Bytes(good.begin(), good.begin() + std::ptrdiff_t(cut)) : garbled;
        PxImageTIF img;
        testing::internal::CaptureStderr();
        const bool ok = DecodeWith(img, bad);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        if (!ok && cut) {
            EXPECT_STRNE(img.GetLastError(), "");
        }
    }
}

}  // namespace
