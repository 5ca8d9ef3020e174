#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "PxImageICO.h"
#include "TestBytes.h"

namespace {

using Palette = std::vector<uint32_t>;       // 0xRRGGBB

struct IcoImage {
    uint8_t w, h;
    uint16_t bits;
    Palette pal;
    Bytes xorBits;
    Bytes mask;
};

uint32_t Stride(uint32_t bits, uint32_t w)
{
    return ((bits * w + 31) / 32) * 4;
}

// Palette indexes or 0xAARRGGBB colours, top row first, into bottom-up padded rows.
Bytes PixelRows(uint16_t bits, uint32_t w, const Rows& rows)
{
    Bytes out;
    for (size_t r = rows.size(); r-- > 0;) {
        Bytes row(Stride(bits, w), 0);
        for (uint32_t x = 0; x < w; x++) {
            uint32_t v = rows[r][x];
            switch (bits) {
            case 1: row[x / 8] = static_cast<uint8_t>(row[x / 8] | ((v & 1) << (7 - x % 8))); break;
            case 4: row[x / 2] = static_cast<uint8_t>(row[x / 2] | ((v & 15) << (x % 2 ? 0 : 4))); break;
            case 8: row[x] = static_cast<uint8_t>(v); break;
            case 24:
                row[3 * x] = static_cast<uint8_t>(v);
                row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
                row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
                break;
            case 32:
                for (int k = 0; k < 4; k++)
                    row[4 * x + k] = static_cast<uint8_t>(v >> (8 * k));
                break;
            }
        }
        Append(out, row);
    }
    return out;
}

// '1' marks a transparent pixel.
Bytes Mask(uint32_t w, const std::vector<std::string>& rows)
{
    Rows bits;
    for (const std::string& r : rows) {
        bits.emplace_back();
        for (char c : r)
            bits.back().push_back(c == '1');
    }
    return PixelRows(1, w, bits);
}

Bytes MakeIco(const std::vector<IcoImage>& images, uint16_t type = 1)
{
    Bytes out;
    Put16(out, 0);
    Put16(out, type);
    Put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    std::vector<Bytes> bodies;
    for (const IcoImage& im : images) {
        Bytes body;
        Put32(body, 40);
        Put32(body, im.w);
        Put32(body, 2u * im.h);
        Put16(body, 1);
        Put16(body, im.bits);
        for (int i = 0; i < 6; i++)
            Put32(body, 0);
        // The table always has the full 2, 16 or 256 entries of the depth.
        size_t entries = im.bits <= 8 ? (1u << im.bits) : 0;
        for (size_t i = 0; i < entries; i++)
            Put32(body, i < im.pal.size() ? im.pal[i] : 0);
        Append(body, im.xorBits);
        Append(body, im.mask);
        Append(out, {im.w, im.h, static_cast<uint8_t>(im.pal.size()), 0});
        Put16(out, 1);
        Put16(out, im.bits);
        Put32(out, static_cast<uint32_t>(body.size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(body.size());
        bodies.push_back(body);
    }
    for (const Bytes& b : bodies)
        Append(out, b);
    return out;
}

Palette Sixteen()
{
    Palette p;
    for (uint32_t i = 0; i < 16; i++)
        p.push_back(i * 0x101010);
    return p;
}

struct IcoCase {
    const char* name;
    IcoImage image;
    Rows colours;
    Rows alpha;  // top row first; empty: no alpha plane
    int32_t transIndex;
    int64_t transColour;  // -1: not checked
};

std::vector<IcoCase> Cases()
{
    const Palette bw = {0x000000, 0xFFFFFF};
    const Palette p16 = Sixteen();
    const Rows all16 = {{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}, {12, 13, 14, 15}};
    Rows all16Colours;
    for (const auto& r : all16) {
        all16Colours.emplace_back();
        for (uint32_t i : r)
            all16Colours.back().push_back(p16[i]);
    }
    std::vector<IcoCase> c;
    c.push_back({"bits1_clear_mask",
                 {3, 2, 1, bw, PixelRows(1, 3, {{1, 0, 1}, {0, 1, 1}}), Mask(3, {"000", "000"})},
                 {{0xFFFFFF, 0, 0xFFFFFF}, {0, 0xFFFFFF, 0xFFFFFF}}, {}, -1, -1});
    // Index 3 is the lowest one no pixel uses: masked pixels take it and it becomes transparent.
    c.push_back({"bits4_unused_index_becomes_transparent",
                 {3, 2, 4, p16, PixelRows(4, 3, {{0, 1, 2}, {4, 5, 0}}), Mask(3, {"100", "001"})},
                 {{p16[3], p16[1], p16[2]}, {p16[4], p16[5], p16[3]}}, {}, 3, -1});
    c.push_back({"bits4_all_indexes_used_keeps_alpha",
                 {4, 4, 4, p16, PixelRows(4, 4, all16), Mask(4, {"1000", "0000", "0000", "0001"})},
                 all16Colours, {{0, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 0}}, -1, -1});
    c.push_back({"bits8_masked",
                 {2, 1, 8, {0x112233, 0x445566}, PixelRows(8, 2, {{1, 1}}), Mask(2, {"01"})},
                 {{0x445566, 0x112233}}, {}, 0, -1});
    c.push_back({"bits24_one_masked_colour_becomes_transparent_colour",
                 {3, 1, 24, {}, PixelRows(24, 3, {{0xFF00FF, 0x123456, 0xFF00FF}}), Mask(3, {"101"})},
                 {{0xFF00FF, 0x123456, 0xFF00FF}}, {}, 0, 0xFF00FF});
    c.push_back({"bits24_two_masked_colours_keep_alpha",
                 {3, 1, 24, {}, PixelRows(24, 3, {{0xFF00FF, 0x123456, 0x00FF00}}), Mask(3, {"101"})},
                 {{0xFF00FF, 0x123456, 0x00FF00}}, {{0, 255, 0}}, -1, -1});
    // Without any masked pixel there is no colour to call transparent.
    c.push_back({"bits24_nothing_masked_stays_opaque",
                 {2, 1, 24, {}, PixelRows(24, 2, {{0x000000, 0x123456}}), Mask(2, {"00"})},
                 {{0x000000, 0x123456}}, {}, -1, -1});
    c.push_back({"bits32_alpha_from_fourth_byte_and_mask",
                 {3, 2, 32, {}, PixelRows(32, 3, {{0x80102030, 0xFF405060, 0x00708090}, {0x11000000, 0x22000001, 0x33000002}}),
                  Mask(3, {"010", "000"})},
                 {{0x102030, 0x405060, 0x708090}, {0x000000, 0x000001, 0x000002}}, {{0x80, 0, 0}, {0x11, 0x22, 0x33}}, -1, -1});
    // Every byte, the row padding included.
    c.push_back({"all_ones_mask_inverts",
                 {2, 1, 1, {0x102030, 0xFFFFFF}, PixelRows(1, 2, {{0, 1}}), Bytes(4, 0xFF)},
                 {{0xEFDFCF, 0x000000}}, {}, 0, -1});
    return c;
}

class IcoDecode : public testing::TestWithParam<IcoCase> {};

TEST_P(IcoDecode, PixelsAndTransparency)
{
    const IcoCase& tc = GetParam();
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, MakeIco({tc.image}), PXIMAGE_FORMAT_ICO));
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_ICO);
    EXPECT_EQ(img.GetInfo().nNumFrames, 1);
    ASSERT_EQ(img.GetHeight(), tc.colours.size());
    ASSERT_EQ(img.GetWidth(), tc.colours[0].size());
    for (size_t y = 0; y < tc.colours.size(); y++)
        for (size_t x = 0; x < tc.colours[y].size(); x++)
            EXPECT_EQ(RgbAt(img, static_cast<int32_t>(x), static_cast<int32_t>(y)), tc.colours[y][x]) << x << "," << y;
    EXPECT_EQ(img.GetTransIndex(), tc.transIndex);
    if (tc.transColour >= 0) {
        RGBQUAD t = img.GetTransColor();
        EXPECT_EQ((uint32_t{t.rgbRed} << 16) | (uint32_t{t.rgbGreen} << 8) | t.rgbBlue, static_cast<uint32_t>(tc.transColour));
    }
    ASSERT_EQ(img.AlphaIsValid(), !tc.alpha.empty());
    for (size_t y = 0; y < tc.alpha.size(); y++)
        for (size_t x = 0; x < tc.alpha[y].size(); x++) {
            int32_t yb = static_cast<int32_t>(img.GetHeight() - 1 - y);
            EXPECT_EQ(img.AlphaGet(static_cast<int32_t>(x), yb), tc.alpha[y][x]) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Icons, IcoDecode, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<IcoCase>& i) { return std::string(i.param.name); });

struct FrameIco : PxImageICO {
    void SetFrame(int32_t f) { info.nFrame = f; }
};

TEST(IcoDecoder, CursorsAndLaterEntries)
{
    IcoImage red{1, 1, 8, {0xFF0000}, PixelRows(8, 1, {{0}}), Mask(1, {"0"})};
    IcoImage blue{2, 1, 8, {0x000000, 0x0000FF}, PixelRows(8, 2, {{1, 1}}), Mask(2, {"00"})};
    struct Case {
        const char* name;
        uint16_t type;
        int32_t frame;
        uint32_t width, colour;
    } cases[] = {
        {"icon, entry 0", 1, 0, 1, 0xFF0000},
        {"icon, entry 1", 1, 1, 2, 0x0000FF},
        {"cursor, entry 1", 2, 1, 2, 0x0000FF},
    };
    for (const Case& c : cases) {
        Bytes file = MakeIco({red, blue}, c.type);
        // Image offsets count from where the icon starts in the stream.
        Bytes shifted = {0xEE, 0xEE, 0xEE};
        Append(shifted, file);
        PxMemFile f(shifted.data(), shifted.size());
        f.Seek(3, SEEK_SET);
        FrameIco dec;
        dec.SetFrame(c.frame);
        ASSERT_TRUE(dec.Decode(&f)) << c.name;
        EXPECT_EQ(dec.GetInfo().nNumFrames, 2) << c.name;
        EXPECT_EQ(dec.GetWidth(), c.width) << c.name;
        EXPECT_EQ(RgbAt(dec, 0, 0), c.colour) << c.name;
    }
}

TEST(IcoDecoder, RefusesBadHeadersAndEntries)
{
    IcoImage one{1, 1, 8, {0xFF0000}, PixelRows(8, 1, {{0}}), Mask(1, {"0"})};
    Bytes good = MakeIco({one});
    Bytes reserved = good;
    reserved[0] = 1;
    Bytes type3 = good;
    type3[2] = 3;
    Bytes shortDir = good;
    shortDir.resize(6 + 10);
    Bytes farOffset = good;
    farOffset[6 + 12] = 0xF0;
    farOffset[6 + 15] = 0x7F;
    Bytes noImages = {0, 0, 1, 0, 0, 0};
    Bytes shortMask = good;
    shortMask.pop_back();
    Bytes bits16 = MakeIco({{1, 1, 16, {}, Bytes(4, 0), Mask(1, {"0"})}});
    struct Bad {
        const char* name;
        Bytes data;
        int32_t frame;
    } bad[] = {
        {"empty", {}, 0},          {"reserved not 0", reserved, 0},     {"type 3", type3, 0},
        {"short directory", shortDir, 0}, {"offset past the end", farOffset, 0}, {"no images", noImages, 0},
        {"frame past the directory", good, 1}, {"negative frame", good, -1},
        {"mask ends early", shortMask, 0}, {"16 bits per pixel", bits16, 0},
    };
    for (const Bad& b : bad) {
        FrameIco dec;
        dec.SetFrame(b.frame);
        PxMemFile f(b.data.data(), b.data.size());
        EXPECT_FALSE(dec.Decode(&f)) << b.name;
        EXPECT_STRNE(dec.GetLastError(), "") << b.name;
    }
    PxImageICO dec;
    EXPECT_FALSE(dec.Decode(nullptr));
}

TEST(IcoDecoder, SizeByteZeroMeans256)
{
    Rows rows(256, std::vector<uint32_t>(256, 0));
    rows[0][255] = 1;
    IcoImage big{0, 0, 1, {0x000000, 0xFF0000}, PixelRows(1, 256, rows), Mask(256, std::vector<std::string>(256, std::string(256, '0')))};
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, MakeIco({big}), PXIMAGE_FORMAT_ICO));
    EXPECT_EQ(img.GetWidth(), 256u);
    EXPECT_EQ(img.GetHeight(), 256u);
    EXPECT_EQ(RgbAt(img, 255, 0), 0xFF0000u);
    EXPECT_EQ(RgbAt(img, 254, 0), 0u);
    Bytes cut = MakeIco({big});
    cut.resize(cut.size() - 100);
    EXPECT_FALSE(DecodeBytes(img, cut, PXIMAGE_FORMAT_ICO));
    EXPECT_STREQ(img.GetLastError(), "ICO: the image data ends early");
}

// An entry may hold a whole PNG stream; it decodes as the PNG does on its own.
TEST(IcoDecoder, PngEntry)
{
    std::FILE* fp = std::fopen(SourcePath("tests/PxImage/pngsuite/basn2c08.png").c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    Bytes png;
    for (int c; (c = std::fgetc(fp)) != EOF;)
        png.push_back(static_cast<uint8_t>(c));
    std::fclose(fp);
    Bytes ico = {0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 1, 0, 32, 0};
    Put32(ico, static_cast<uint32_t>(png.size()));
    Put32(ico, 22);
    Append(ico, png);
    PxImage fromIco, fromPng;
    ASSERT_TRUE(DecodeBytes(fromIco, ico, 0));
    ASSERT_TRUE(DecodeBytes(fromPng, png, PXIMAGE_FORMAT_PNG));
    EXPECT_EQ(fromIco.GetType(), PXIMAGE_FORMAT_ICO);
    ASSERT_EQ(fromIco.GetWidth(), 32u);
    for (int32_t y = 0; y < 32; y++)
        for (int32_t x = 0; x < 32; x++)
            ASSERT_EQ(RgbAt(fromIco, x, y), RgbAt(fromPng, x, y)) << x << "," << y;
    ico.resize(ico.size() - 30);
    EXPECT_FALSE(DecodeBytes(fromIco, ico, PXIMAGE_FORMAT_ICO));
    EXPECT_NE(std::string(fromIco.GetLastError()).find("PNG"), std::string::npos);
}

TEST(IcoDecoder, DetectedAmongTheFormats)
{
    IcoImage one{2, 1, 4, {0x000000, 0x00FF00}, PixelRows(4, 2, {{1, 0}}), Mask(2, {"00"})};
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, MakeIco({one}), 0));
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_ICO);
    EXPECT_EQ(RgbAt(img, 0, 0), 0x00FF00u);
}

}  // namespace
