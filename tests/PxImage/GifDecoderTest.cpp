#include "PictureFiles.h"
#include "PxImageGIF.h"

namespace {

bool DecodeGif(PxImage& img, const Bytes& file, int32_t frame = 0) {
    SetFrame(img, frame);
    return DecodeBytes(img, file, PXIMAGE_FORMAT_GIF);
}

// Every pixel of one frame, in each depth, interlaced or not, up to codes of 12 bits.
TEST(GifDecoder, SingleFrameShapes) {
    struct Case {
        const char* name;
        uint32_t colours, bpp;
        uint16_t w, h;
        bool interlaced;
        uint8_t minCodeSize;
        bool leadingClear = true;
    } cases[] = {
        {"two colours, 1 bit", 2, 1, 13, 3, false, 2},
        // Some writers leave out the leading clear code: the first code starts the table as after a clear.
        {"no leading clear code", 4, 4, 11, 7, false, 2, false},
        {"no leading clear code, 16 x 16", 2, 1, 16, 16, false, 2, false},
        {"sixteen colours, 4 bits", 16, 4, 7, 4, false, 4},
        {"four colours, 4 bits", 4, 4, 5, 2, false, 2},
        {"palette of 256, 8 bits", 256, 8, 9, 5, false, 8},
        {"code width reaches 12", 256, 8, 200, 90, false, 8},
        {"interlaced height 1", 4, 4, 3, 1, true, 2},
        {"interlaced height 2", 4, 4, 3, 2, true, 2},
        {"interlaced height 3", 4, 4, 3, 3, true, 2},
        {"interlaced height 4", 4, 4, 3, 4, true, 2},
        {"interlaced height 8", 4, 4, 2, 8, true, 2},
        {"interlaced height 10", 16, 4, 2, 10, true, 4},
        {"interlaced height 17", 256, 8, 4, 17, true, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Palette pal = Ramp(c.colours, 0x010203);
        GifFrame f{0, 0, c.w, c.h, {}, {}, c.interlaced, c.leadingClear};
        // Runs and repeats, so the coder's table and the KwKwK case are exercised.
        for (int32_t i = 0; i < c.w * c.h; i++)
            f.px.push_back(static_cast<uint8_t>(((i / 3) * 7 + (i % 5 == 0)) % c.colours));
        PxImage img;
        ASSERT_TRUE(DecodeGif(img, MakeGif(c.w, c.h, pal, {GifImage(f, c.minCodeSize)})));
        EXPECT_EQ(img.GetBpp(), c.bpp);
        ExpectPixels(img, RowsOf(c.w, c.h, [&](uint32_t x, uint32_t y) { return pal[f.px[y * c.w + x]]; }));
    }
}

TEST(GifDecoder, EscapeMinusOneGivesTheScreenSizeOnly) {
    PxImageGIF dec;
    dec.SetEscape(-1);
    ASSERT_TRUE(DecodeWith(dec, MakeGif(300, 200, kPal4, {GifImage({0, 0, 1, 1, {0}}, 2)})));
    EXPECT_EQ(dec.GetWidth(), 300u);
    EXPECT_EQ(dec.GetHeight(), 200u);
    EXPECT_FALSE(dec.IsValid());
}

TEST(GifDecoder, RefusesWhatHoldsNoFrame) {
    const Bytes twoFrames = MakeGif(1, 1, kPal4, {GifImage({0, 0, 1, 1, {1}}, 2), GifImage({0, 0, 1, 1, {2}}, 2)});
    ExpectRefusals<PxImageGIF>({
        {"empty", {}, ""},
        {"png signature", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'}, ""},
        {"header only", GifHeader(1, 1, {}), ""},
        {"no descriptor fits the screen", MakeGif(2, 2, kPal4, {GifImage({1, 0, 2, 1, {0, 1}}, 2)}), ""},
        {"frame past the last", twoFrames, "", 0, 2},
        {"negative frame", twoFrames, "", 0, -1},
    });
}

// Frame 0 fills a 3x2 screen; frame 1 covers the top middle pixel, with index 0 transparent.
TEST(GifDecoder, ComposesFramesAndHonoursDisposal) {
    struct Case {
        const char* name;
        uint8_t disposal;
        int32_t frame;
        Rows rows;
    } cases[] = {
        {"first frame", 0, 0, {{0xFF0000, 0xFF0000, 0xFF0000}, {0x00FF00, 0x00FF00, 0x00FF00}}},
        {"second over first", 1, 1, {{0xFF0000, 0x0000FF, 0xFF0000}, {0x00FF00, 0x00FF00, 0x00FF00}}},
        {"method 3 acts like 0", 3, 1, {{0xFF0000, 0x0000FF, 0xFF0000}, {0x00FF00, 0x00FF00, 0x00FF00}}},
        // Disposal 2 clears the whole canvas with the transparent index, not only the old rectangle.
        {"method 2 clears everything", 2, 1, {{0, 0x0000FF, 0}, {0, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PxImage img;
        ASSERT_TRUE(DecodeGif(
            img,
            MakeGif(3, 2, kPal4,
                    {Gce(uint8_t(1 | (c.disposal << 2)), 10, 0), GifImage({0, 0, 3, 2, {1, 1, 1, 2, 2, 2}}, 2),
                     Gce(1, 20, 0), GifImage({0, 0, 2, 1, {0, 3}}, 2)}),
            c.frame));
        EXPECT_EQ(img.GetInfo().nNumFrames, 2);
        EXPECT_EQ(img.GetTransIndex(), 0);
        EXPECT_EQ(img.GetInfo().dwFrameDelay, c.frame == 0 ? 10u : 20u);
        ExpectPixels(img, c.rows);
    }
}

TEST(GifDecoder, PaletteOfEachFrame) {
    const Palette ramp = Ramp(256, 0x010203), grey = {0x111111, 0x222222, 0x333333, 0x444444};
    const Palette redGreen = {0x102030, 0x405060}, own = {0x101010, 0x202020};
    auto frame = [](std::vector<uint8_t> px, const Palette& local = {}, uint8_t codeSize = 2) {
        return GifImage({0, 0, uint16_t(px.size()), 1, px, local}, codeSize);
    };
    // A transparent index from any graphic control pads every frame's table with white.
    const Bytes padded = MakeGif(3, 1, redGreen, {frame({0, 1, 3}, kPal4), Gce(1, 0, 1)});
    const Bytes local = MakeGif(3, 1, grey, {frame({0, 1, 2}, kPal4), frame({3})});
    // The canvas keeps the entries a frame of fewer colours does not have.
    const Bytes fewer = MakeGif(3, 1, ramp, {frame({200, 7, 200}, {}, 8), frame({1}, {0xABCDEF, 0x123456})});
    const Bytes noGlobal = MakeGif(3, 1, {}, {frame({1, 0}, own)});
    struct Case {
        const char* name;
        const Bytes& file;
        int32_t frame;
        uint32_t bpp;
        Palette colours;  // the top row
        int32_t entry;    // a palette entry to check, -1 none
        uint32_t entryColour = 0;
    } cases[] = {
        {"transparency pads with white", padded, 0, 4, {0x000000, 0xFF0000, 0x0000FF}, 9, 0xFFFFFF},
        {"local table serves its own frame only", local, 1, 4, {0x444444, 0x222222, 0x333333}, -1},
        {"frame of fewer colours", fewer, 1, 8, {0x123456, ramp[7], ramp[200]}, 200, ramp[200]},
        {"single frame without global table", noGlobal, 0, 1, {0x202020, 0x101010, 0x101010}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PxImage img;
        ASSERT_TRUE(DecodeGif(img, c.file, c.frame));
        EXPECT_EQ(img.GetBpp(), c.bpp);
        for (int32_t x = 0; x < 3; x++) EXPECT_EQ(RgbAt(img, x, 0), c.colours[size_t(x)]) << x;
        if (c.entry >= 0) {
            EXPECT_EQ(Rgb(img.GetPaletteColor(static_cast<uint8_t>(c.entry))), c.entryColour);
        }
    }
}

TEST(GifDecoder, TilesWithoutGlobalTableMakeATrueColourPicture) {
    // The first tile covers neither the screen's width nor its height; the last one decoded
    // lends its colour at the transparent index.
    PxImage img;
    const Palette redGreen = {0xFF0000, 0x00FF00};
    ASSERT_TRUE(
        DecodeGif(img, MakeGif(2, 2, {},
                               {GifImage({0, 0, 1, 1, {0}, redGreen}, 2), GifImage({0, 1, 1, 1, {1}, redGreen}, 2),
                                GifImage({1, 0, 1, 2, {1, 0}, {0x0000FF, 0xFFFFFF}}, 2), Gce(1, 0, 0)})));
    EXPECT_EQ(img.GetBpp(), 24u);
    ExpectPixels(img, {{0xFF0000, 0xFFFFFF}, {0x00FF00, 0x0000FF}});
    EXPECT_EQ(img.GetTransIndex(), 0);
    EXPECT_EQ(Rgb(img.GetTransColor()), 0x0000FFu);
}

TEST(GifDecoder, ExtensionsAndTheirFaults) {
    const Bytes netscape = {'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 5, 0, 0};
    struct Case {
        const char* name;
        Bytes between;  // between the two frames
        uint32_t colour;
        int32_t loops;
        const char* comment;
    } cases[] = {
        {"loop count, comment and plain text are passed over",
         Cat({netscape, {'!', 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 0}, {'!', 0x01, 3, 1, 2, 3, 2, 9, 9, 0}}), 0x00FF00, 5,
         "hello"},
        {"stray bytes up to a zero are skipped", {'x', 'y', 0}, 0x00FF00, 0, ""},
        // The loop ends before frame 1: what stands is frame 0 composed.
        {"empty comment ends the blocks", {'!', 0xFE, 0}, 0xFF0000, 0, ""},
        {"graphic control of length 3 ends the blocks", {'!', 0xF9, 3, 0, 0, 0, 0}, 0xFF0000, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PxImageGIF dec;
        SetFrame(dec, 1);
        ASSERT_TRUE(DecodeWith(
            dec, MakeGif(1, 1, kPal4, {GifImage({0, 0, 1, 1, {1}}, 2), c.between, GifImage({0, 0, 1, 1, {2}}, 2)})));
        EXPECT_EQ(RgbAt(dec, 0, 0), c.colour);
        EXPECT_EQ(dec.GetLoops(), c.loops);
        EXPECT_STREQ(dec.GetComment(), c.comment);
    }
}

// Streams that once went past their buffers or never ended; each must decode or refuse calmly.
TEST(GifDecoder, CorruptDataStaysInBounds) {
    auto withData = [](uint16_t w, uint16_t h, const Bytes& data) {
        return Cat({GifHeader(w, h, kPal4), {',', 0, 0, 0, 0}, Le16s({w, h}), {0}, data, {';'}});
    };
    // Codes past the next free slot, chaining through stale table entries.
    BitWriter bad;
    for (uint32_t c : {4u, 1u, 7u, 7u, 6u, 7u, 3u, 7u, 6u}) bad.Put(c, 3);
    // Entry 7 is filled before a clear code (tables survive it); code 7 twice after the clear
    // then makes entry 7 its own prefix, and a third 7 chains forever.
    BitWriter selfLoop;
    for (auto [code, width] : {std::pair{4, 3}, {3, 3}, {3, 3}, {3, 3}, {4, 4}, {3, 3}, {7, 3}, {7, 3}, {7, 4}, {5, 4}})
        selfLoop.Put(static_cast<uint32_t>(code), width);
    Bytes interlacedTooLong =
        Cat({GifHeader(2, 6, kPal4), GifImage({0, 0, 2, 2, {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}}, 2)});
    interlacedTooLong[GifHeader(2, 6, kPal4).size() + 9] = 0x40;
    struct Case {
        const char* name;
        Bytes file;
        int64_t topLeft = -1;  // colour of the top-left pixel, -1 not checked
    } cases[] = {
        {"bad codes", withData(3, 3, SubBlocks(2, bad.Finish()))},
        // The frame ends at the loop, before its first line is complete.
        {"self-referencing code", withData(64, 64, SubBlocks(2, selfLoop.Finish())), 0x000000},
        {"code size 1", withData(2, 2, {1, 2, 0x44, 1, 0})},
        {"code size 12", withData(2, 2, {12, 2, 0x44, 1, 0})},
        {"zero-length block before the end code", withData(4, 4, {2, 1, 0x0C, 0, 0})},
        {"more rows than the frame", withData(1, 1, LzwEncode({1, 2, 3, 1, 2, 3, 1}, 2)), 0xFF0000},
        {"width 0", withData(0, 3, LzwEncode({1, 2, 3}, 2))},
        {"height 0", withData(3, 0, LzwEncode({1, 2, 3}, 2))},
        {"interlaced rows past the passes", interlacedTooLong, 0xFF0000},
    };
    for (const Case& c : cases) {
        PxImage img;
        const bool ok = DecodeGif(img, c.file);
        if (c.topLeft >= 0) {
            ASSERT_TRUE(ok && img.IsValid()) << c.name;
            EXPECT_EQ(RgbAt(img, 0, 0), static_cast<uint32_t>(c.topLeft)) << c.name;
        }
    }
}

TEST(GifDecoder, FrameAfterBadCodesIsFoundAgain) {
    BitWriter bad;
    for (uint32_t c : {4u, 1u, 7u, 5u})  // 7 lies past the next free slot (6)
        bad.Put(c, 3);
    PxImage img;
    const Bytes badFrame = Cat({{',', 0, 0, 0, 0, 1, 0, 1, 0, 0}, SubBlocks(2, bad.Finish())});
    ASSERT_TRUE(DecodeGif(img, MakeGif(1, 1, kPal4, {badFrame, GifImage({0, 0, 1, 1, {3}}, 2)}), 1));
    EXPECT_EQ(img.GetInfo().nNumFrames, 2);
    EXPECT_EQ(RgbAt(img, 0, 0), 0x0000FFu);
}

}  // namespace
