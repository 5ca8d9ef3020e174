#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PxImagePCX.h"
#include "TestBytes.h"

namespace {

using Palette = std::vector<uint32_t>;            // 0xRRGGBB

// Runs of equal bytes become count/value pairs, across row ends as well.
Bytes RunLength(const Bytes& raw)
{
    Bytes out;
    for (size_t i = 0; i < raw.size();) {
        size_t n = 1;
        while (i + n < raw.size() && raw[i + n] == raw[i] && n < 63)
            n++;
        if (n > 1 || raw[i] >= 0xC0)
            out.push_back(static_cast<uint8_t>(0xC0 | n));
        out.push_back(raw[i]);
        i += n;
    }
    return out;
}

struct PcxShape {
    uint8_t bits;
    int8_t planes;
    uint16_t w, h, bpl;
    Bytes raw;          // decoded plane bytes, row by row
    Palette map16 = {};  // header colour map
    Bytes after = {};    // what follows the image data
    uint16_t dpi = 72;
};

Bytes MakePcx(const PcxShape& s, bool encode = true)
{
    Bytes b = {10, 5, 1, s.bits};
    Put16(b, 3);
    Put16(b, 7);
    Put16(b, 3u + s.w - 1);
    Put16(b, 7u + s.h - 1);
    Put16(b, s.dpi);
    Put16(b, s.dpi);
    for (size_t i = 0; i < 16; i++) {
        uint32_t c = i < s.map16.size() ? s.map16[i] : 0;
        Append(b, {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
    }
    b.push_back(0);
    b.push_back(static_cast<uint8_t>(s.planes));
    Put16(b, s.bpl);
    b.resize(128, 0);
    Append(b, encode ? RunLength(s.raw) : s.raw);
    Append(b, s.after);
    return b;
}

Bytes Palette256(uint32_t first, uint32_t second)
{
    Bytes b = {12};
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i == 0 ? first : i == 1 ? second : i * 0x010101;
        Append(b, {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
    }
    return b;
}

const Palette kMap = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                      0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

struct PcxCase {
    const char* name;
    PcxShape shape;
    Rows colours;
    uint32_t bpp;
    Rows alpha = {};
};

std::vector<PcxCase> Cases()
{
    const uint32_t W = 0xFFFFFF;
    std::vector<PcxCase> c;
    // Whatever the header map says, one bit in one plane is black and white.
    c.push_back({"bits1_black_and_white", {1, 1, 10, 2, 2, {0xA0, 0x40, 0xFF, 0xFF}, kMap},
                 {{W, 0, W, 0, 0, 0, 0, 0, 0, W}, {W, W, W, W, W, W, W, W, W, W}}, 1});
    c.push_back({"bits2_take_the_first_four_map_colours", {2, 1, 5, 1, 2, {0x1B, 0xC0}, kMap},
                 {{kMap[0], kMap[1], kMap[2], kMap[3], kMap[3]}}, 4});
    c.push_back({"bits4_one_plane", {4, 1, 3, 1, 2, {0x9C, 0xF0}, kMap}, {{kMap[9], kMap[12], kMap[15]}}, 4});
    // Four planes of one bit: plane p gives bit p of the index.
    c.push_back({"four_planes_sixteen_colours", {1, 4, 4, 1, 2, {0x50, 0, 0x30, 0, 0x00, 0, 0xF0, 0}, kMap},
                 {{kMap[8], kMap[9], kMap[10], kMap[11]}}, 4});
    c.push_back({"two_planes_four_colours", {1, 2, 3, 1, 2, {0xA0, 0, 0x60, 0}, kMap}, {{kMap[1], kMap[2], kMap[3]}}, 4});
    // The palette follows the image data directly, even with more bytes after it.
    c.push_back({"bits8_palette_after_data", {8, 1, 3, 2, 4, {0, 1, 2, 0, 1, 1, 0, 0}, kMap,
                                              [] { Bytes b = Palette256(0x112233, 0x445566); Append(b, Bytes(30, 0xEE)); return b; }()},
                 {{0x112233, 0x445566, 0x020202}, {0x445566, 0x445566, 0x112233}}, 8});
    c.push_back({"rgb_three_planes", {8, 3, 2, 1, 2, {0x10, 0x40, 0x20, 0x50, 0x30, 0x60}}, {{0x102030, 0x405060}}, 24});
    c.push_back({"rgba_four_planes", {8, 4, 2, 1, 2, {0x10, 0x40, 0x20, 0x50, 0x30, 0x60, 0x7F, 0x00}},
                 {{0x102030, 0x405060}}, 24, {{0x7F, 0x00}}});
    // A line shorter than the width: the bytes it lacks read as 0 instead of the next line's.
    c.push_back({"rgb_line_shorter_than_width", {8, 3, 3, 2, 1, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}},
                 {{0x112233, 0, 0}, {0x445566, 0, 0}}, 24});
    c.push_back({"runs_cross_row_ends", {8, 1, 2, 3, 2, {5, 5, 5, 5, 5, 1}, kMap, Palette256(0, 0x00AA00)},
                 {{0x050505, 0x050505}, {0x050505, 0x050505}, {0x050505, 0x00AA00}}, 8});
    return c;
}

class PcxDecode : public testing::TestWithParam<PcxCase> {};

TEST_P(PcxDecode, GivesExpectedPixels)
{
    const PcxCase& tc = GetParam();
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, MakePcx(tc.shape), PXIMAGE_FORMAT_PCX)) << img.GetLastError();
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_PCX);
    EXPECT_EQ(img.GetBpp(), tc.bpp);
    ExpectPixels(img, tc.colours, tc.alpha);
}

INSTANTIATE_TEST_SUITE_P(Kinds, PcxDecode, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<PcxCase>& i) { return std::string(i.param.name); });

TEST(PcxDecoder, ResolutionComesFromTheHeader)
{
    struct Case {
        uint16_t dpi;
        int32_t expect;
        int32_t perMetre;
    } cases[] = {{300, 300, 11811}, {0, 96, 3780}};
    for (const Case& c : cases) {
        PxImage img;
        ASSERT_TRUE(DecodeBytes(img, MakePcx({8, 3, 1, 1, 2, {1, 0, 2, 0, 3, 0}, {}, {}, c.dpi}), PXIMAGE_FORMAT_PCX));
        EXPECT_EQ(img.GetXDPI(), c.expect);
        EXPECT_EQ(img.GetYDPI(), c.expect);
        EXPECT_EQ(img.GetHeader().biXPelsPerMeter, c.perMetre);
    }
}

TEST(PcxDecoder, FailuresKeepTheirTexts)
{
    auto edit = [](Bytes b, size_t at, uint8_t v) {
        b[at] = v;
        return b;
    };
    Bytes ok = MakePcx({8, 1, 2, 1, 2, {1, 2}, {}, Palette256(0, 0)});
    Bytes shortHeader = ok;
    shortHeader.resize(100);
    Bytes xmaxBelowXmin = edit(ok, 8, 0);
    Bytes runTooLong = MakePcx({8, 1, 2, 1, 2, {0xC3, 7}}, false);
    Bytes stops = MakePcx({8, 1, 4, 4, 4, {0xC5, 7, 1}}, false);
    Bytes badSignature = MakePcx({8, 1, 2, 1, 2, {1, 2}, {}, {11}});
    // Sixty thousand bytes a line over many rows, from a stream of a few bytes.
    Bytes hugeLines = MakePcx({1, 4, 8, 60000, 65000, {0xFF, 0xFF}}, false);
    struct Bad {
        const char* name;
        Bytes data;
        int32_t escape;
        const char* text;
    } bad[] = {
        {"empty", {}, 0, "Can't read PCX image"},
        {"short header", shortHeader, 0, "Can't read PCX image"},
        {"manufacturer", edit(ok, 0, 11), 0, "Error: Not a PCX file"},
        {"encoding", edit(ok, 2, 0), 0, "PCX file has unknown encoding scheme"},
        {"five planes", edit(ok, 65, 5), 0, "Can't handle image with more than 4 planes"},
        {"x max below x min", xmaxBelowXmin, 0, "PxImage::Create : width and height must be greater than zero"},
        {"cancelled", ok, 1, "Cancelled"},
        {"data ends", stops, 0, "corrupted PCX"},
        {"lines larger than the stream", hugeLines, 0, "corrupted PCX"},
        {"run past the end", runTooLong, 0, "repeat count spans end of image"},
        {"palette signature", badSignature, 0, "bad color map signature"},
        {"palette missing", MakePcx({8, 1, 2, 1, 2, {1, 2}}), 0, "bad color map signature"},
        {"no planes", edit(ok, 65, 0), 0, "Can't handle packed pixels with more than 1 plane."},
        {"negative planes", edit(ok, 65, 0xFF), 0, "Can't handle packed pixels with more than 1 plane."},
        {"two planes of 8 bits", MakePcx({8, 2, 2, 1, 2, {1, 2, 3, 4}}), 0, "Can't handle more than 1 bit per pixel"},
    };
    for (const Bad& b : bad) {
        PxImagePCX dec;
        dec.SetEscape(b.escape);
        PxMemFile f(b.data.data(), b.data.size());
        EXPECT_FALSE(dec.Decode(&f)) << b.name;
        EXPECT_STREQ(dec.GetLastError(), b.text) << b.name;
    }
    PxImagePCX dec;
    EXPECT_FALSE(dec.Decode(nullptr));
    EXPECT_STREQ(dec.GetLastError(), "");
}

TEST(PcxDecoder, DetectedAmongTheFormats)
{
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, MakePcx({8, 3, 1, 1, 2, {0x12, 0, 0x34, 0, 0x56, 0}}), 0));
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_PCX);
    EXPECT_EQ(RgbAt(img, 0, 0), 0x123456u);
}

}  // namespace
