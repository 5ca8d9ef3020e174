#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PxImageTGA.h"
#include "TestBytes.h"

namespace {


struct TgaShape {
    uint8_t type;
    uint16_t w, h;
    uint8_t depth;
    uint8_t desc;
    Bytes data;
    uint16_t cmapLength = 0;
    uint8_t cmapEntrySize = 0;
    Bytes cmap = {};
    Bytes id = {};
};

Bytes MakeTga(const TgaShape& s)
{
    Bytes b = {static_cast<uint8_t>(s.id.size()), static_cast<uint8_t>(s.cmapLength ? 1 : 0), s.type};
    Put16(b, 0);
    Put16(b, s.cmapLength);
    b.push_back(s.cmapEntrySize);
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, s.w);
    Put16(b, s.h);
    b.push_back(s.depth);
    b.push_back(s.desc);
    Append(b, s.id);
    Append(b, s.cmap);
    Append(b, s.data);
    return b;
}

Bytes Bgr(uint32_t rgb)
{
    return {static_cast<uint8_t>(rgb), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb >> 16)};
}

Bytes Bgra(uint32_t rgb, uint8_t a)
{
    Bytes b = Bgr(rgb);
    b.push_back(a);
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        Append(out, p);
    return out;
}

struct TgaCase {
    const char* name;
    TgaShape shape;
    Rows colours;
    Rows alpha;  // empty: no alpha plane
    uint32_t bpp;
};

const uint32_t A = 0x102030, B = 0x405060, C = 0x708090, D = 0xA0B0C0;

std::vector<TgaCase> Cases()
{
    std::vector<TgaCase> c;
    // File rows run bottom-up unless descriptor bit 5 is set.
    c.push_back({"rgb24_bottom_up", {2, 2, 2, 24, 0, Cat({Bgr(A), Bgr(B), Bgr(C), Bgr(D)})}, {{C, D}, {A, B}}, {}, 24});
    c.push_back({"rgb24_top_down", {2, 2, 2, 24, 0x20, Cat({Bgr(A), Bgr(B), Bgr(C), Bgr(D)})}, {{A, B}, {C, D}}, {}, 24});
    c.push_back({"rgb24_right_to_left", {2, 2, 1, 24, 0x10, Cat({Bgr(A), Bgr(B)})}, {{B, A}}, {}, 24});
    // Five bits per channel; the top bit of each word is ignored.
    c.push_back({"rgb16_top_bit_ignored", {2, 3, 1, 16, 0, {0xFF, 0xFF, 0x1F, 0x80, 0xE0, 0x03}}, {{0xF8F8F8, 0x0000F8, 0x00F800}}, {}, 24});
    c.push_back({"rgb15", {2, 1, 1, 15, 0, {0x00, 0x7C}}, {{0xF80000}}, {}, 24});
    c.push_back({"rgb32_top_down_alpha_follows_rows", {2, 1, 2, 32, 0x20, Cat({Bgra(A, 0x11), Bgra(B, 0x22)})},
                 {{A}, {B}}, {{0x11}, {0x22}}, 24});
    c.push_back({"rgb32_right_to_left_alpha_mirrored", {2, 2, 1, 32, 0x10, Cat({Bgra(A, 0x11), Bgra(B, 0x22)})},
                 {{B, A}}, {{0x22, 0x11}}, 24});
    c.push_back({"mapped8", {1, 3, 1, 8, 0, {2, 0, 1}, 3, 24, Cat({Bgr(A), Bgr(B), Bgr(C)})}, {{C, A, B}}, {}, 8});
    c.push_back({"mapped8_with_16bit_map_entries", {1, 2, 1, 8, 0, {1, 0}, 2, 16, {0x00, 0x7C, 0xE0, 0x03}},
                 {{0x00F800, 0xF80000}}, {}, 8});
    c.push_back({"identification_field_skipped", {1, 1, 1, 8, 0, {1}, 2, 24, Cat({Bgr(A), Bgr(B)}), {'h', 'i', '!'}}, {{B}}, {}, 8});
    // The grey palette wins over a colour map.
    c.push_back({"grey_with_map", {3, 2, 1, 8, 0, {0x80, 0xFF}, 2, 24, Cat({Bgr(A), Bgr(B)})}, {{0x808080, 0xFFFFFF}}, {}, 8});
    // A run of four over a row of three goes on in the next row with the same value.
    c.push_back({"rle24_run_crosses_row", {10, 3, 2, 24, 0, Cat({{0x83}, Bgr(A), {0x01}, Bgr(B), Bgr(C)})},
                 {{A, B, C}, {A, A, A}}, {}, 24});
    // A raw packet of three over a row of two goes on with its third pixel.
    c.push_back({"rle24_raw_crosses_row", {10, 2, 2, 24, 0, Cat({{0x02}, Bgr(A), Bgr(B), Bgr(C), {0x80}, Bgr(D)})},
                 {{C, D}, {A, B}}, {}, 24});
    c.push_back({"rle8_mapped", {9, 4, 1, 8, 0, {0x82, 1, 0x00, 0}, 2, 24, Cat({Bgr(A), Bgr(B)})}, {{B, B, B, A}}, {}, 8});
    c.push_back({"rle8_grey_run_over_three_rows", {11, 1, 3, 8, 0, {0x82, 0x40}}, {{0x404040}, {0x404040}, {0x404040}}, {}, 8});
    c.push_back({"rle32_top_down_run_crosses_row", {10, 2, 2, 32, 0x20, Cat({{0x82}, Bgra(A, 0x40), {0x00}, Bgra(B, 0x99)})},
                 {{A, A}, {A, B}}, {{0x40, 0x40}, {0x40, 0x99}}, 24});
    c.push_back({"rle16", {10, 2, 1, 16, 0, {0x81, 0x1F, 0x00}}, {{0x0000F8, 0x0000F8}}, {}, 24});
    return c;
}

class TgaDecode : public testing::TestWithParam<TgaCase> {};

TEST_P(TgaDecode, GivesExpectedPixels)
{
    const TgaCase& tc = GetParam();
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, MakeTga(tc.shape), PXIMAGE_FORMAT_TGA)) << img.GetLastError();
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_TGA);
    EXPECT_EQ(img.GetBpp(), tc.bpp);
    ExpectPixels(img, tc.colours, tc.alpha);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TgaDecode, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<TgaCase>& i) { return std::string(i.param.name); });

TEST(TgaDecoder, FailuresKeepTheirTexts)
{
    Bytes longMap = MakeTga({1, 1, 1, 8, 0, {0}, 257, 24, Bytes(257 * 3, 0)});
    Bytes truncated = MakeTga({2, 2, 3, 24, 0, Bytes(6, 0)});
    Bytes shortHeader = MakeTga({2, 1, 1, 24, 0, {}});
    shortHeader.resize(17);
    struct Bad {
        const char* name;
        Bytes data;
        int32_t escape;
        const char* text;
    } bad[] = {
        {"empty", {}, 0, "Not a TGA"},
        {"short header", shortHeader, 0, "Not a TGA"},
        {"type 4", MakeTga({4, 1, 1, 8, 0, {0}}), 0, "Unknown TGA image type"},
        {"type 0", MakeTga({0, 1, 1, 8, 0, {0}}), 0, "Unknown TGA image type"},
        {"width 0", MakeTga({2, 0, 1, 24, 0, {}}), 0, "bad TGA header"},
        {"height 0", MakeTga({2, 1, 0, 24, 0, {}}), 0, "bad TGA header"},
        {"depth 0", MakeTga({2, 1, 1, 0, 0, {}}), 0, "bad TGA header"},
        {"depth 12", MakeTga({2, 1, 1, 12, 0, {}}), 0, "bad TGA header"},
        {"map of 257 entries", longMap, 0, "bad TGA header"},
        {"too large to hold", MakeTga({2, 65535, 65535, 24, 0, {}}), 0, "TGA Create failed"},
        {"cancelled", MakeTga({2, 1, 1, 24, 0, Bgr(A)}), 1, "Cancelled"},
        {"rows missing", truncated, 0, "corrupted TGA"},
    };
    for (const Bad& b : bad) {
        PxImageTGA dec;
        dec.SetEscape(b.escape);
        PxMemFile f(b.data.data(), b.data.size());
        EXPECT_FALSE(dec.Decode(&f)) << b.name;
        EXPECT_STREQ(dec.GetLastError(), b.text) << b.name;
    }
    PxImageTGA dec;
    EXPECT_FALSE(dec.Decode(nullptr));
    EXPECT_STREQ(dec.GetLastError(), "");
}

TEST(TgaDecoder, ShortRunLengthDataEndsQuietly)
{
    // The stream ends inside the last row: what was read stays, the rest is black.
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, MakeTga({10, 3, 1, 24, 0, Cat({{0x01}, Bgr(A), Bgr(B), {0x85}})}), PXIMAGE_FORMAT_TGA));
    EXPECT_EQ(RgbAt(img, 0, 0), A);
    EXPECT_EQ(RgbAt(img, 1, 0), B);
    EXPECT_EQ(RgbAt(img, 2, 0), 0u);
}

TEST(TgaDecoder, DetectedAmongTheFormats)
{
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, MakeTga({2, 1, 1, 24, 0, Bgr(A)}), 0));
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_TGA);
    EXPECT_EQ(RgbAt(img, 0, 0), A);
}

}  // namespace
