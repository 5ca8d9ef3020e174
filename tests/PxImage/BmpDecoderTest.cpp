#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <string>
#include <vector>

#include "PxImageBMP.h"
#include "TestBytes.h"

namespace {

enum class Form { Core, Info, Os2v2, V4, V5 };

struct BmpShape {
    BmpShape(Form f, int32_t w, int32_t h, uint16_t b, uint32_t comp, std::vector<uint32_t> pal, Bytes px,
            bool withFileHeader = true, uint32_t used = 0, std::vector<uint32_t> m = {}, uint32_t imageSize = 0)
        : form(f), width(w), height(h), bits(b), compression(comp), palette(std::move(pal)), pixels(std::move(px)),
          fileHeader(withFileHeader), clrUsed(used), masks(std::move(m)), sizeImage(imageSize)
    {
    }
    Form form;
    int32_t width;
    int32_t height;
    uint16_t bits;
    uint32_t compression;
    std::vector<uint32_t> palette;   // 0xRRGGBB
    Bytes pixels;                    // as stored in the file
    bool fileHeader;
    uint32_t clrUsed;                // 0: a full table for the depth
    std::vector<uint32_t> masks;     // after the header (compression 3)
    uint32_t sizeImage;
};

Bytes MakeBmp(const BmpShape& s)
{
    Bytes hdr;
    uint32_t size = s.form == Form::Core ? 12 : s.form == Form::Info ? 40 : s.form == Form::Os2v2 ? 64
                  : s.form == Form::V4 ? 108 : 124;
    Put32(hdr, size);
    if (s.form == Form::Core) {
        Put16(hdr, static_cast<uint32_t>(s.width));
        Put16(hdr, static_cast<uint32_t>(s.height));
        Put16(hdr, 1);
        Put16(hdr, s.bits);
    } else {
        Put32(hdr, static_cast<uint32_t>(s.width));
        Put32(hdr, static_cast<uint32_t>(s.height));
        Put16(hdr, 1);
        Put16(hdr, s.bits);
        Put32(hdr, s.compression);
        Put32(hdr, s.sizeImage);
        Put32(hdr, 2835);
        Put32(hdr, 2835);
        Put32(hdr, s.clrUsed);
        Put32(hdr, 0);
        hdr.resize(size, 0);
    }
    for (uint32_t m : s.masks)
        Put32(hdr, m);
    for (uint32_t c : s.palette) {
        Append(hdr, {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)});
        if (s.form != Form::Core)
            hdr.push_back(0);
    }
    Bytes out;
    if (s.fileHeader) {
        Put16(out, 0x4D42);
        Put32(out, static_cast<uint32_t>(14 + hdr.size() + s.pixels.size()));
        Put32(out, 0);
        Put32(out, static_cast<uint32_t>(14 + hdr.size()));
    }
    Append(out, hdr);
    Append(out, s.pixels);
    return out;
}

// Expected colours, top row first.

struct BmpCase {
    const char* name;
    BmpShape shape;
    Rows expect;
};

const std::vector<uint32_t> kPal4 = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

std::vector<uint32_t> Gray256()
{
    std::vector<uint32_t> p;
    for (uint32_t i = 0; i < 256; i++)
        p.push_back(i * 0x010101);
    return p;
}

std::vector<BmpCase> Cases()
{
    std::vector<BmpCase> c;
    // Rows are stored bottom-up: the last expected row comes first in the file.
    c.push_back({"info_1bit", {Form::Info, 3, 2, 1, 0, {0x000000, 0xFFFFFF}, {0xA0, 0, 0, 0, 0x40, 0, 0, 0}},
                 {{0, 0xFFFFFF, 0}, {0xFFFFFF, 0, 0xFFFFFF}}});
    c.push_back({"info_4bit", {Form::Info, 3, 2, 4, 0, kPal4, {0x12, 0x30, 0, 0, 0x01, 0x20, 0, 0}, true, 4},
                 {{0x000000, 0xFF0000, 0x00FF00}, {0xFF0000, 0x00FF00, 0x0000FF}}});
    c.push_back({"info_8bit", {Form::Info, 2, 2, 8, 0, kPal4, {3, 2, 0, 0, 1, 0, 0, 0}, true, 4},
                 {{0xFF0000, 0x000000}, {0x0000FF, 0x00FF00}}});
    c.push_back({"core_8bit", {Form::Core, 2, 2, 8, 0, Gray256(), {3, 2, 0, 0, 1, 0, 0, 0}},
                 {{0x010101, 0x000000}, {0x030303, 0x020202}}});
    c.push_back({"core_1bit_3byte_palette", {Form::Core, 3, 1, 1, 0, {0x102030, 0x405060}, {0x40, 0, 0, 0}},
                 {{0x102030, 0x405060, 0x102030}}});
    c.push_back({"os2v2_24bit", {Form::Os2v2, 2, 1, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0}},
                 {{0x030201, 0x060504}}});
    c.push_back({"v4_24bit", {Form::V4, 1, 2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0}, true, 0, {}, 8},
                 {{0x060504}, {0x030201}}});
    c.push_back({"v5_24bit", {Form::V5, 1, 1, 24, 0, {}, {9, 8, 7, 0}, true, 0, {}, 4}, {{0x070809}}});
    c.push_back({"no_file_header_8bit", {Form::Info, 2, 1, 8, 0, kPal4, {2, 3, 0, 0}, false, 4},
                 {{0x00FF00, 0x0000FF}}});
    c.push_back({"top_down_24bit", {Form::Info, 1, -2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0}},
                 {{0x030201}, {0x060504}}});
    c.push_back({"bits32_rgb_drops_fourth_byte", {Form::Info, 2, 1, 32, 0, {}, {1, 2, 3, 0xEE, 4, 5, 6, 0xFF}},
                 {{0x030201, 0x060504}}});
    c.push_back({"bits32_bitfields", {Form::Info, 1, 1, 32, 3, {}, {1, 2, 3, 0xEE}}, {{0x030201}}});
    // 5-5-5: 0x7FFF is white, 0x001F blue; each 5-bit value times 8.
    c.push_back({"bits16_555", {Form::Info, 2, 1, 16, 0, {}, {0xFF, 0x7F, 0x1F, 0x00}}, {{0xF8F8F8, 0x0000F8}}});
    // 5-6-5 with masks: blue x8, green x4, red x8.
    c.push_back({"bits16_565", {Form::Info, 1, 1, 16, 3, {}, {0x41, 0x08, 0, 0}, true, 0, {0xF800, 0x07E0, 0x001F}},
                 {{0x080808}}});
    // One-bit masks need left shifts; all-ones masks need shifts of 32 or more.
    c.push_back({"bits16_odd_masks", {Form::Info, 1, 1, 16, 3, {}, {0x07, 0, 0, 0}, true, 0, {0x4, 0x2, 0x1}},
                 {{0x808080}}});
    c.push_back({"bits16_full_masks", {Form::Info, 1, 1, 16, 3, {}, {0x34, 0x12, 0, 0}, true, 0, {0xFFFF, 0xFFFF, 0xFFFF}},
                 {{0x000012}}});
    // RLE8, width 4 (a multiple of 4): runs that end exactly at the row end go on with the next row.
    c.push_back({"rle8_runs_reach_row_end", {Form::Info, 4, 2, 8, 1, kPal4, {4, 1, 0, 0, 4, 2, 0, 1}, true, 4},
                 {{0x00FF00, 0x00FF00, 0x00FF00, 0x00FF00}, {0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000}}});
    c.push_back({"rle8_run_past_row_end_clipped", {Form::Info, 4, 2, 8, 1, kPal4, {9, 3, 0, 0, 2, 1, 0, 1}, true, 4},
                 {{0xFF0000, 0xFF0000, 0, 0}, {0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF}}});
    c.push_back({"rle8_absolute_odd_and_delta", {Form::Info, 4, 2, 8, 1, kPal4, {0, 3, 1, 2, 3, 0, 0, 2, 0, 1, 1, 3, 0, 1}, true, 4},
                 {{0, 0, 0, 0x0000FF}, {0xFF0000, 0x00FF00, 0x0000FF, 0}}});
    c.push_back({"rle8_stream_ends_without_marker", {Form::Info, 2, 2, 8, 1, kPal4, {2, 1}, true, 4},
                 {{0, 0}, {0xFF0000, 0xFF0000}}});
    c.push_back({"rle8_rows_beyond_height_ignored", {Form::Info, 2, 1, 8, 1, kPal4, {2, 2, 0, 0, 2, 3, 0, 2, 0, 50, 2, 1, 0, 1}, true, 4},
                 {{0x00FF00, 0x00FF00}}});
    c.push_back({"rle4_runs_absolute_delta", {Form::Info, 5, 2, 4, 2, kPal4, {3, 0x12, 0, 0, 0, 3, 0x32, 0x10, 0, 2, 1, 0, 2, 0x33, 0, 1}, true, 4},
                 {{0x0000FF, 0x00FF00, 0xFF0000, 0x0000FF, 0x0000FF}, {0xFF0000, 0x00FF00, 0xFF0000, 0, 0}}});
    return c;
}

class BmpDecode : public testing::TestWithParam<BmpCase> {};

TEST_P(BmpDecode, GivesExpectedPixels)
{
    const BmpCase& tc = GetParam();
    Bytes file = MakeBmp(tc.shape);
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, file, PXIMAGE_FORMAT_BMP)) << img.GetLastError();
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_BMP);
    ASSERT_EQ(img.GetHeight(), tc.expect.size());
    ASSERT_EQ(img.GetWidth(), tc.expect[0].size());
    EXPECT_FALSE(img.AlphaIsValid());
    for (size_t y = 0; y < tc.expect.size(); y++)
        for (size_t x = 0; x < tc.expect[y].size(); x++)
            EXPECT_EQ(RgbAt(img, static_cast<int32_t>(x), static_cast<int32_t>(y)), tc.expect[y][x])
                << "at " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Forms, BmpDecode, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<BmpCase>& i) { return std::string(i.param.name); });

TEST(BmpDecoder, FailuresKeepTheirTexts)
{
    struct Bad {
        const char* name;
        Bytes data;
        const char* text;
    };
    BmpShape rle24{Form::Info, 1, 1, 24, 1, {}, {0, 0, 0, 0}};
    BmpShape rle3{Form::Info, 1, 1, 8, 5, kPal4, {0, 0, 0, 0}, true, 4};
    BmpShape v5bitfields{Form::V5, 1, 1, 32, 3, {}, {0, 0, 0, 0}, true, 0, {}, 4};
    BmpShape zeroWidth{Form::Info, 0, 1, 24, 0, {}, {}};
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0};
    Bytes shortCore = MakeBmp(BmpShape{Form::Core, 1, 1, 24, 0, {}, {}});
    shortCore.resize(14 + 10);
    Bytes shortInfo = MakeBmp(BmpShape{Form::Info, 1, 1, 24, 0, {}, {}});
    shortInfo.resize(14 + 30);
    std::vector<Bad> bad = {
        {"empty", {}, "Not a BMP"},
        {"png", png, "Error reading BMP info"},
        {"short core header", shortCore, "Error reading BMP info"},
        {"short info header", shortInfo, "Error reading BMP info"},
        {"v5 with bit fields", MakeBmp(v5bitfields), "Error reading BMP info"},
        {"rle 24 bits", MakeBmp(rle24), "unknown compression"},
        {"palette compression 5", MakeBmp(rle3), "compression type not supported"},
        {"zero width", MakeBmp(zeroWidth), "Can't allocate memory"},
    };
    for (const Bad& b : bad) {
        PxImageBMP dec;
        PxMemFile f(b.data.data(), b.data.size());
        EXPECT_FALSE(dec.Decode(&f)) << b.name;
        EXPECT_STREQ(dec.GetLastError(), b.text) << b.name;
    }
}

TEST(BmpDecoder, CoreHeaderGivesSameImageAsInfoHeader)
{
    Bytes pixels = {0x01, 0x23, 0, 0};
    PxImage core, infoImg;
    ASSERT_TRUE(DecodeBytes(core, MakeBmp({Form::Core, 4, 1, 4, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, pixels})));
    ASSERT_TRUE(DecodeBytes(infoImg, MakeBmp({Form::Info, 4, 1, 4, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, pixels})));
    ASSERT_EQ(core.GetSize(), infoImg.GetSize());
    EXPECT_EQ(0, std::memcmp(core.GetPalette(), infoImg.GetPalette(), core.GetPaletteSize()));
    EXPECT_EQ(0, std::memcmp(core.GetBits(), infoImg.GetBits(), core.GetHeader().biSizeImage));
}

TEST(BmpDecoder, OverlongPaletteIsSkippedAndOversizedImageSizeIgnored)
{
    // 1000 palette entries for an 8-bit image, no file header: the bits follow the whole table.
    BmpShape s{Form::Info, 2, 1, 8, 0, {}, {}, false, 1000};
    for (uint32_t i = 0; i < 1000; i++)
        s.palette.push_back(i < 256 ? i * 0x010101 : 0xABCDEF);
    s.pixels = {7, 9, 0, 0};
    s.sizeImage = 0x7FFFFFF0;
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, MakeBmp(s)));
    EXPECT_EQ(RgbAt(img, 0, 0), 0x070707u);
    EXPECT_EQ(RgbAt(img, 1, 0), 0x090909u);
}

TEST(BmpDecoder, TruncatedPixelsLeaveZerosAndSucceed)
{
    Bytes file = MakeBmp({Form::Info, 1, 3, 24, 0, {}, {1, 2, 3, 0}});
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, file));
    EXPECT_EQ(RgbAt(img, 0, 2), 0x030201u);
    EXPECT_EQ(RgbAt(img, 0, 0), 0u);
}

TEST(BmpDecoder, DimensionsOnlyAndResolution)
{
    Bytes file = MakeBmp({Form::Info, 5, -7, 24, 0, {}, {}});
    PxImageBMP dec;
    dec.SetEscape(-1);
    PxMemFile f(file.data(), file.size());
    EXPECT_TRUE(dec.Decode(&f));
    EXPECT_STREQ(dec.GetLastError(), "output dimensions returned");
    EXPECT_EQ(dec.GetWidth(), 5u);
    EXPECT_EQ(dec.GetHeight(), 7u);
    EXPECT_FALSE(dec.IsValid());

    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, MakeBmp({Form::Info, 1, 1, 24, 0, {}, {0, 0, 0, 0}})));
    EXPECT_EQ(img.GetXDPI(), 72);  // 2835 pixels per metre

    // Found by fuzzing: a resolution near INT32_MAX overflowed the conversion to dots per inch.
    const Bytes huge = {0x42, 0x4D, 0x3A, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 0x28, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0,
                        1, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0x89, 0x50, 0x4E, 0x47,
                        0, 0, 0, 0, 0, 0, 0xFF, 0x7F, 0x1F, 0};
    PxImage big;
    ASSERT_TRUE(DecodeBytes(big, huge));
    EXPECT_EQ(big.GetYDPI(), 34319427);
}

}  // namespace
