// The decoders of simple raster files: BMP, ICO, TGA and PCX, one table of pictures and their
// pixels, one table of refusals per decoder, and what each format has of its own.
#include <tuple>

#include "PictureFiles.h"
#include "PxImageBMP.h"
#include "PxImageICO.h"
#include "PxImagePCX.h"
#include "PxImageTGA.h"

namespace {

struct DecodeCase {
    std::string name;
    Bytes file;
    uint32_t format, bpp;
    Rows colours, alpha = {};  // alpha: empty when the picture must have none
    int32_t transIndex = -1;
    int64_t transColour = -1;  // -1: not checked
};

const uint32_t A = 0x102030, B = 0x405060, C = 0x708090, D = 0xA0B0C0, Wh = 0xFFFFFF;

void Bmp(std::vector<DecodeCase>& c, const char* name, const BmpShape& s, uint32_t bpp, const Rows& colours) {
    c.push_back({std::string("bmp_") + name, MakeBmp(s), PXIMAGE_FORMAT_BMP, bpp, colours});
}

void BmpCases(std::vector<DecodeCase>& c) {
    using F = BmpForm;
    // Rows are stored bottom-up: the last expected row comes first in the file.
    Bmp(c, "info_1bit", {F::Info, 3, 2, 1, 0, {0, Wh}, {0xA0, 0, 0, 0, 0x40, 0, 0, 0}}, 1, {{0, Wh, 0}, {Wh, 0, Wh}});
    Bmp(c, "info_4bit", {F::Info, 3, 2, 4, 0, kPal4, {0x12, 0x30, 0, 0, 0x01, 0x20, 0, 0}, true, 4}, 4,
        {{0, 0xFF0000, 0x00FF00}, {0xFF0000, 0x00FF00, 0x0000FF}});
    Bmp(c, "info_8bit", {F::Info, 2, 2, 8, 0, kPal4, {3, 2, 0, 0, 1, 0, 0, 0}, true, 4}, 8,
        {{0xFF0000, 0}, {0x0000FF, 0x00FF00}});
    Bmp(c, "core_8bit", {F::Core, 2, 2, 8, 0, Ramp(256, 0x010101), {3, 2, 0, 0, 1, 0, 0, 0}}, 8,
        {{0x010101, 0}, {0x030303, 0x020202}});
    Bmp(c, "core_4bit", {F::Core, 4, 1, 4, 0, Ramp(16, 0x010203), {0x01, 0x23, 0, 0}}, 4,
        {{0, 0x010203, 0x020406, 0x030609}});
    Bmp(c, "core_1bit_3byte_palette", {F::Core, 3, 1, 1, 0, {A, B}, {0x40, 0, 0, 0}}, 1, {{A, B, A}});
    Bmp(c, "os2v2_24bit", {F::Os2v2, 2, 1, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0}}, 24, {{0x030201, 0x060504}});
    Bmp(c, "v4_24bit", {F::V4, 1, 2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0}, true, 0, {}, 8}, 24,
        {{0x060504}, {0x030201}});
    Bmp(c, "v5_24bit", {F::V5, 1, 1, 24, 0, {}, {9, 8, 7, 0}, true, 0, {}, 4}, 24, {{0x070809}});
    Bmp(c, "no_file_header_8bit", {F::Info, 2, 1, 8, 0, kPal4, {2, 3, 0, 0}, false, 4}, 8, {{0x00FF00, 0x0000FF}});
    Bmp(c, "top_down_24bit", {F::Info, 1, -2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0}}, 24, {{0x030201}, {0x060504}});
    Bmp(c, "bits32_rgb_drops_fourth_byte", {F::Info, 2, 1, 32, 0, {}, {1, 2, 3, 0xEE, 4, 5, 6, 0xFF}}, 24,
        {{0x030201, 0x060504}});
    Bmp(c, "bits32_bitfields", {F::Info, 1, 1, 32, 3, {}, {1, 2, 3, 0xEE}}, 24, {{0x030201}});
    // 5-5-5: 0x7FFF is white, 0x001F blue; each 5-bit value times 8.
    Bmp(c, "bits16_555", {F::Info, 2, 1, 16, 0, {}, {0xFF, 0x7F, 0x1F, 0x00}}, 24, {{0xF8F8F8, 0x0000F8}});
    // 5-6-5 with masks: blue x8, green x4, red x8.
    Bmp(c, "bits16_565", {F::Info, 1, 1, 16, 3, {}, {0x41, 0x08, 0, 0}, true, 0, {0xF800, 0x07E0, 0x001F}}, 24,
        {{0x080808}});
    // One-bit masks need left shifts; all-ones masks need shifts of 32 or more.
    Bmp(c, "bits16_odd_masks", {F::Info, 1, 1, 16, 3, {}, {0x07, 0, 0, 0}, true, 0, {0x4, 0x2, 0x1}}, 24, {{0x808080}});
    Bmp(c, "bits16_full_masks", {F::Info, 1, 1, 16, 3, {}, {0x34, 0x12, 0, 0}, true, 0, {0xFFFF, 0xFFFF, 0xFFFF}}, 24,
        {{0x000012}});
    // RLE8, width 4 (a multiple of 4): runs that end exactly at the row end go on with the next row.
    Bmp(c, "rle8_runs_reach_row_end", {F::Info, 4, 2, 8, 1, kPal4, {4, 1, 0, 0, 4, 2, 0, 1}, true, 4}, 8,
        {{0x00FF00, 0x00FF00, 0x00FF00, 0x00FF00}, {0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000}});
    Bmp(c, "rle8_run_past_row_end_clipped", {F::Info, 4, 2, 8, 1, kPal4, {9, 3, 0, 0, 2, 1, 0, 1}, true, 4}, 8,
        {{0xFF0000, 0xFF0000, 0, 0}, {0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF}});
    Bmp(c, "rle8_absolute_odd_and_delta",
        {F::Info, 4, 2, 8, 1, kPal4, {0, 3, 1, 2, 3, 0, 0, 2, 0, 1, 1, 3, 0, 1}, true, 4}, 8,
        {{0, 0, 0, 0x0000FF}, {0xFF0000, 0x00FF00, 0x0000FF, 0}});
    Bmp(c, "rle8_stream_ends_without_marker", {F::Info, 2, 2, 8, 1, kPal4, {2, 1}, true, 4}, 8,
        {{0, 0}, {0xFF0000, 0xFF0000}});
    Bmp(c, "rle8_rows_beyond_height_ignored",
        {F::Info, 2, 1, 8, 1, kPal4, {2, 2, 0, 0, 2, 3, 0, 2, 0, 50, 2, 1, 0, 1}, true, 4}, 8, {{0x00FF00, 0x00FF00}});
    Bmp(c, "rle4_runs_absolute_delta",
        {F::Info, 5, 2, 4, 2, kPal4, {3, 0x12, 0, 0, 0, 3, 0x32, 0x10, 0, 2, 1, 0, 2, 0x33, 0, 1}, true, 4}, 4,
        {{0x0000FF, 0x00FF00, 0xFF0000, 0x0000FF, 0x0000FF}, {0xFF0000, 0x00FF00, 0xFF0000, 0, 0}});
    // The pixels stop after the first of three rows: the rows read stay, the others are black.
    Bmp(c, "truncated_pixels_leave_zeros", {F::Info, 1, 3, 24, 0, {}, {1, 2, 3, 0}}, 24, {{0}, {0}, {0x030201}});
    // 1000 palette entries for an 8-bit image, no file header: the bits follow the whole table.
    BmpShape longPalette{F::Info, 2, 1, 8, 0, Ramp(256, 0x010101), {7, 9, 0, 0}, false, 1000, {}, 0x7FFFFFF0};
    longPalette.palette.resize(1000, 0xABCDEF);
    Bmp(c, "overlong_palette_skipped_and_oversized_image_size_ignored", longPalette, 8, {{0x070707, 0x090909}});
}

void Ico(std::vector<DecodeCase>& c, const char* name, const IcoImage& im, uint32_t bpp, const Rows& colours,
         const Rows& alpha, int32_t transIndex, int64_t transColour = -1) {
    c.push_back(
        {std::string("ico_") + name, MakeIco({im}), PXIMAGE_FORMAT_ICO, bpp, colours, alpha, transIndex, transColour});
}

void IcoCases(std::vector<DecodeCase>& c) {
    const Palette p16 = Ramp(16, 0x101010);
    const Rows all16 = RowsOf(4, 4, [](uint32_t x, uint32_t y) { return y * 4 + x; });
    const Rows all16Colours = RowsOf(4, 4, [&](uint32_t x, uint32_t y) { return p16[y * 4 + x]; });
    Ico(c, "bits1_clear_mask", {3, 2, 1, {0, Wh}, DibRows(1, 3, {{1, 0, 1}, {0, 1, 1}}), IcoMask(3, {"000", "000"})}, 1,
        {{Wh, 0, Wh}, {0, Wh, Wh}}, {}, -1);
    // Index 3 is the lowest one no pixel uses: masked pixels take it and it becomes transparent.
    Ico(c, "bits4_unused_index_becomes_transparent",
        {3, 2, 4, p16, DibRows(4, 3, {{0, 1, 2}, {4, 5, 0}}), IcoMask(3, {"100", "001"})}, 4,
        {{p16[3], p16[1], p16[2]}, {p16[4], p16[5], p16[3]}}, {}, 3);
    Ico(c, "bits4_all_indexes_used_keeps_alpha",
        {4, 4, 4, p16, DibRows(4, 4, all16), IcoMask(4, {"1000", "0000", "0000", "0001"})}, 4, all16Colours,
        {{0, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 0}}, -1);
    Ico(c, "bits8_masked", {2, 1, 8, {0x112233, 0x445566}, DibRows(8, 2, {{1, 1}}), IcoMask(2, {"01"})}, 8,
        {{0x445566, 0x112233}}, {}, 0);
    Ico(c, "bits24_one_masked_colour_becomes_transparent_colour",
        {3, 1, 24, {}, DibRows(24, 3, {{0xFF00FF, 0x123456, 0xFF00FF}}), IcoMask(3, {"101"})}, 24,
        {{0xFF00FF, 0x123456, 0xFF00FF}}, {}, 0, 0xFF00FF);
    Ico(c, "bits24_two_masked_colours_keep_alpha",
        {3, 1, 24, {}, DibRows(24, 3, {{0xFF00FF, 0x123456, 0x00FF00}}), IcoMask(3, {"101"})}, 24,
        {{0xFF00FF, 0x123456, 0x00FF00}}, {{0, 255, 0}}, -1);
    // Without any masked pixel there is no colour to call transparent.
    Ico(c, "bits24_nothing_masked_stays_opaque", {2, 1, 24, {}, DibRows(24, 2, {{0, 0x123456}}), IcoMask(2, {"00"})},
        24, {{0, 0x123456}}, {}, -1);
    Ico(c, "bits32_alpha_from_fourth_byte_and_mask",
        {3,
         2,
         32,
         {},
         DibRows(32, 3, {{0x80102030, 0xFF405060, 0x00708090}, {0x11000000, 0x22000001, 0x33000002}}),
         IcoMask(3, {"010", "000"})},
        24, {{0x102030, 0x405060, 0x708090}, {0, 1, 2}}, {{0x80, 0, 0}, {0x11, 0x22, 0x33}}, -1);
    // Every byte of the mask set, the row padding included: the picture is inverted.
    Ico(c, "all_ones_mask_inverts", {2, 1, 1, {A, Wh}, DibRows(1, 2, {{0, 1}}), Bytes(4, 0xFF)}, 1, {{0xEFDFCF, 0}}, {},
        0);
    // A size byte of 0 stands for 256 pixels.
    auto corner = [](uint32_t on) { return [on](uint32_t x, uint32_t y) { return x == 255 && y == 0 ? on : 0u; }; };
    const Bytes big = DibRows(1, 256, RowsOf(256, 256, corner(1)));
    Ico(c, "size_byte_0_is_256", {0, 0, 1, {0, 0xFF0000}, big, Bytes(32 * 256, 0)}, 1,
        RowsOf(256, 256, corner(0xFF0000)), {}, -1);
}

void TgaCases(std::vector<DecodeCase>& c) {
    auto tga = [&](const char* name, const TgaShape& s, uint32_t bpp, const Rows& colours, const Rows& alpha = {}) {
        c.push_back({std::string("tga_") + name, MakeTga(s), PXIMAGE_FORMAT_TGA, bpp, colours, alpha});
    };
    // File rows run bottom-up unless descriptor bit 5 is set.
    tga("rgb24_bottom_up", {2, 2, 2, 24, 0, Cat({Bgr(A), Bgr(B), Bgr(C), Bgr(D)})}, 24, {{C, D}, {A, B}});
    tga("rgb24_top_down", {2, 2, 2, 24, 0x20, Cat({Bgr(A), Bgr(B), Bgr(C), Bgr(D)})}, 24, {{A, B}, {C, D}});
    tga("rgb24_right_to_left", {2, 2, 1, 24, 0x10, Cat({Bgr(A), Bgr(B)})}, 24, {{B, A}});
    // Five bits per channel; the top bit of each word is ignored.
    tga("rgb16_top_bit_ignored", {2, 3, 1, 16, 0, {0xFF, 0xFF, 0x1F, 0x80, 0xE0, 0x03}}, 24,
        {{0xF8F8F8, 0x0000F8, 0x00F800}});
    tga("rgb15", {2, 1, 1, 15, 0, {0x00, 0x7C}}, 24, {{0xF80000}});
    tga("rgb32_top_down_alpha_follows_rows", {2, 1, 2, 32, 0x20, Cat({Bgra(A, 0x11), Bgra(B, 0x22)})}, 24, {{A}, {B}},
        {{0x11}, {0x22}});
    tga("rgb32_right_to_left_alpha_mirrored", {2, 2, 1, 32, 0x10, Cat({Bgra(A, 0x11), Bgra(B, 0x22)})}, 24, {{B, A}},
        {{0x22, 0x11}});
    tga("mapped8", {1, 3, 1, 8, 0, {2, 0, 1}, 3, 24, Cat({Bgr(A), Bgr(B), Bgr(C)})}, 8, {{C, A, B}});
    tga("mapped8_with_16bit_map_entries", {1, 2, 1, 8, 0, {1, 0}, 2, 16, {0x00, 0x7C, 0xE0, 0x03}}, 8,
        {{0x00F800, 0xF80000}});
    tga("identification_field_skipped", {1, 1, 1, 8, 0, {1}, 2, 24, Cat({Bgr(A), Bgr(B)}), {'h', 'i', '!'}}, 8, {{B}});
    // The grey palette wins over a colour map.
    tga("grey_with_map", {3, 2, 1, 8, 0, {0x80, 0xFF}, 2, 24, Cat({Bgr(A), Bgr(B)})}, 8, {{0x808080, Wh}});
    // A run of four over a row of three goes on in the next row with the same value.
    tga("rle24_run_crosses_row", {10, 3, 2, 24, 0, Cat({{0x83}, Bgr(A), {0x01}, Bgr(B), Bgr(C)})}, 24,
        {{A, B, C}, {A, A, A}});
    // A raw packet of three over a row of two goes on with its third pixel.
    tga("rle24_raw_crosses_row", {10, 2, 2, 24, 0, Cat({{0x02}, Bgr(A), Bgr(B), Bgr(C), {0x80}, Bgr(D)})}, 24,
        {{C, D}, {A, B}});
    tga("rle8_mapped", {9, 4, 1, 8, 0, {0x82, 1, 0x00, 0}, 2, 24, Cat({Bgr(A), Bgr(B)})}, 8, {{B, B, B, A}});
    tga("rle8_grey_run_over_three_rows", {11, 1, 3, 8, 0, {0x82, 0x40}}, 8, {{0x404040}, {0x404040}, {0x404040}});
    tga("rle32_top_down_run_crosses_row", {10, 2, 2, 32, 0x20, Cat({{0x82}, Bgra(A, 0x40), {0x00}, Bgra(B, 0x99)})}, 24,
        {{A, A}, {A, B}}, {{0x40, 0x40}, {0x40, 0x99}});
    tga("rle16", {10, 2, 1, 16, 0, {0x81, 0x1F, 0x00}}, 24, {{0x0000F8, 0x0000F8}});
    // The stream ends inside the last row: what was read stays, the rest is black.
    tga("short_run_length_data_ends_quietly", {10, 3, 1, 24, 0, Cat({{0x01}, Bgr(A), Bgr(B), {0x85}})}, 24,
        {{A, B, 0}});
}

const Palette kMap = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                      0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

void PcxCases(std::vector<DecodeCase>& c) {
    auto pcx = [&](const char* name, const PcxShape& s, uint32_t bpp, const Rows& colours, const Rows& alpha = {}) {
        c.push_back({std::string("pcx_") + name, MakePcx(s), PXIMAGE_FORMAT_PCX, bpp, colours, alpha});
    };
    const auto& m = kMap;
    // Whatever the header map says, one bit in one plane is black and white.
    pcx("bits1_black_and_white", {1, 1, 10, 2, 2, {0xA0, 0x40, 0xFF, 0xFF}, kMap}, 1,
        {{Wh, 0, Wh, 0, 0, 0, 0, 0, 0, Wh}, {Wh, Wh, Wh, Wh, Wh, Wh, Wh, Wh, Wh, Wh}});
    pcx("bits2_take_the_first_four_map_colours", {2, 1, 5, 1, 2, {0x1B, 0xC0}, kMap}, 4,
        {{m[0], m[1], m[2], m[3], m[3]}});
    pcx("bits4_one_plane", {4, 1, 3, 1, 2, {0x9C, 0xF0}, kMap}, 4, {{m[9], m[12], m[15]}});
    // Four planes of one bit: plane p gives bit p of the index.
    pcx("four_planes_sixteen_colours", {1, 4, 4, 1, 2, {0x50, 0, 0x30, 0, 0x00, 0, 0xF0, 0}, kMap}, 4,
        {{m[8], m[9], m[10], m[11]}});
    pcx("two_planes_four_colours", {1, 2, 3, 1, 2, {0xA0, 0, 0x60, 0}, kMap}, 4, {{m[1], m[2], m[3]}});
    // The palette follows the image data directly, even with more bytes after it.
    pcx("bits8_palette_after_data",
        {8, 1, 3, 2, 4, {0, 1, 2, 0, 1, 1, 0, 0}, kMap, Cat({PcxPalette256(0x112233, 0x445566), Bytes(30, 0xEE)})}, 8,
        {{0x112233, 0x445566, 0x020202}, {0x445566, 0x445566, 0x112233}});
    pcx("rgb_three_planes", {8, 3, 2, 1, 2, {0x10, 0x40, 0x20, 0x50, 0x30, 0x60}}, 24, {{0x102030, 0x405060}});
    pcx("rgba_four_planes", {8, 4, 2, 1, 2, {0x10, 0x40, 0x20, 0x50, 0x30, 0x60, 0x7F, 0x00}}, 24,
        {{0x102030, 0x405060}}, {{0x7F, 0x00}});
    // A line shorter than the width: the bytes it lacks read as 0 instead of the next line's.
    pcx("rgb_line_shorter_than_width", {8, 3, 3, 2, 1, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}}, 24,
        {{0x112233, 0, 0}, {0x445566, 0, 0}});
    // A run longer than 31 needs all six bits of its count.
    pcx("run_of_forty", {8, 1, 40, 1, 40, Bytes(40, 5), kMap, PcxPalette256(0, 0)}, 8, {Palette(40, 0x050505)});
    pcx("runs_cross_row_ends", {8, 1, 2, 3, 2, {5, 5, 5, 5, 5, 1}, kMap, PcxPalette256(0, 0x00AA00)}, 8,
        {{0x050505, 0x050505}, {0x050505, 0x050505}, {0x050505, 0x00AA00}});
}

std::vector<DecodeCase> Cases() {
    std::vector<DecodeCase> c;
    BmpCases(c), IcoCases(c), TgaCases(c), PcxCases(c);
    return c;
}

class RasterDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(RasterDecode, GivesExpectedPixels) {
    const DecodeCase& tc = GetParam();
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, tc.file, tc.format)) << img.GetLastError();
    EXPECT_EQ(img.GetType(), tc.format);
    EXPECT_EQ(img.GetBpp(), tc.bpp);
    ExpectPixels(img, tc.colours, tc.alpha);
    EXPECT_EQ(img.GetTransIndex(), tc.transIndex);
    if (tc.transColour >= 0) {
        EXPECT_EQ(Rgb(img.GetTransColor()), static_cast<uint32_t>(tc.transColour));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, RasterDecode, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<DecodeCase>& i) { return i.param.name; });

TEST(BmpDecoder, Refusals) {
    using F = BmpForm;
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D',
                 'R',  0,   0,   0,   1,    0,    0,    0,    1, 8, 2, 0,  0,   0};
    ExpectRefusals<PxImageBMP>({
        {"empty", {}, "Not a BMP"},
        {"png", png, "Error reading BMP info"},
        {"short core header", Head(MakeBmp({F::Core, 1, 1, 24, 0, {}, {}}), 14 + 10), "Error reading BMP info"},
        {"short info header", Head(MakeBmp({F::Info, 1, 1, 24, 0, {}, {}}), 14 + 30), "Error reading BMP info"},
        {"v5 with bit fields", MakeBmp({F::V5, 1, 1, 32, 3, {}, {0, 0, 0, 0}, true, 0, {}, 4}),
         "Error reading BMP info"},
        {"rle 24 bits", MakeBmp({F::Info, 1, 1, 24, 1, {}, {0, 0, 0, 0}}), "unknown compression"},
        {"palette compression 5", MakeBmp({F::Info, 1, 1, 8, 5, kPal4, {0, 0, 0, 0}, true, 4}),
         "compression type not supported"},
        {"zero width", MakeBmp({F::Info, 0, 1, 24, 0, {}, {}}), "Can't allocate memory"},
    });
}

TEST(BmpDecoder, DimensionsOnlyAndResolution) {
    PxImageBMP dec;
    dec.SetEscape(-1);
    EXPECT_TRUE(DecodeWith(dec, MakeBmp({BmpForm::Info, 5, -7, 24, 0, {}, {}})));
    EXPECT_STREQ(dec.GetLastError(), "output dimensions returned");
    EXPECT_EQ(dec.GetWidth(), 5u);
    EXPECT_EQ(dec.GetHeight(), 7u);
    EXPECT_FALSE(dec.IsValid());
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, MakeBmp({BmpForm::Info, 1, 1, 24, 0, {}, {0, 0, 0, 0}})));
    EXPECT_EQ(img.GetXDPI(), 72);  // 2835 pixels per metre
    // Found by fuzzing: a resolution near INT32_MAX overflowed the conversion to dots per inch.
    const Bytes huge = {0x42, 0x4D, 0x3A, 0, 0, 0, 0, 0, 0,    0,    0x36, 0,    0,    0,    0x28,
                        0,    0,    0,    2, 0, 0, 0, 1, 0,    0,    0,    1,    0,    0x10, 0,
                        0,    0,    0,    0, 0, 0, 0, 0, 0x13, 0x0B, 0,    0,    0x13, 0x0B, 0x89,
                        0x50, 0x4E, 0x47, 0, 0, 0, 0, 0, 0,    0xFF, 0x7F, 0x1F, 0};
    ASSERT_TRUE(DecodeBytes(img, huge));
    EXPECT_EQ(img.GetYDPI(), 34319427);
}

TEST(IcoDecoder, CursorsAndLaterEntries) {
    const IcoImage red{1, 1, 8, {0xFF0000}, DibRows(8, 1, {{0}}), IcoMask(1, {"0"})};
    const IcoImage blue{2, 1, 8, {0, 0x0000FF}, DibRows(8, 2, {{1, 1}}), IcoMask(2, {"00"})};
    struct Case {
        uint16_t type;
        int32_t frame;
        uint32_t width, colour;
    };
    for (const Case& c : {Case{1, 0, 1, 0xFF0000}, Case{1, 1, 2, 0x0000FF}, Case{2, 1, 2, 0x0000FF}}) {
        // Image offsets count from where the icon starts in the stream.
        Bytes shifted = Cat({{0xEE, 0xEE, 0xEE}, MakeIco({red, blue}, c.type)});
        PxMemFile f(shifted.data(), shifted.size());
        f.Seek(3, SEEK_SET);
        PxImageICO dec;
        SetFrame(dec, c.frame);
        ASSERT_TRUE(dec.Decode(&f)) << c.type << " " << c.frame;
        EXPECT_EQ(dec.GetInfo().nNumFrames, 2);
        EXPECT_EQ(dec.GetWidth(), c.width);
        EXPECT_EQ(RgbAt(dec, 0, 0), c.colour);
    }
}

// Failures are never reported as success, and each says why.
TEST(IcoDecoder, Refusals) {
    const IcoImage one{1, 1, 8, {0xFF0000}, DibRows(8, 1, {{0}}), IcoMask(1, {"0"})};
    const Bytes good = MakeIco({one});
    const Bytes big = MakeIco({{0, 0, 1, {0, Wh}, Bytes(32 * 256, 0), Bytes(32 * 256, 0)}});
    const char* const kShort = "ICO: the image data ends early";
    ExpectRefusals<PxImageICO>({
        {"empty", {}, "ICO: not an icon or cursor file"},
        {"reserved not 0", Edited(good, {{0, 1}}), "ICO: not an icon or cursor file"},
        {"type 3", Edited(good, {{2, 3}}), "ICO: not an icon or cursor file"},
        {"short directory", Head(good, 6 + 10), "ICO: the directory ends early"},
        {"offset past the end", Edited(good, {{6 + 12, 0xF0}, {6 + 15, 0x7F}}),
         "ICO: the image lies past the end of the file"},
        {"no images", {0, 0, 1, 0, 0, 0}, "ICO: no such image in the file"},
        {"frame past the directory", good, "ICO: no such image in the file", 0, 1},
        {"negative frame", good, "ICO: no such image in the file", 0, -1},
        {"mask ends early", Head(good, good.size() - 1), kShort},
        {"256 pixels a side, data ends early", Head(big, big.size() - 100), kShort},
        {"16 bits per pixel", MakeIco({{1, 1, 16, {}, Bytes(4, 0), IcoMask(1, {"0"})}}), "ICO: unsupported bit count"},
    });
}

// An entry may hold a whole PNG stream; it decodes as the PNG does on its own.
TEST(IcoDecoder, PngEntry) {
    const Bytes png = ReadFile(SourcePath("tests/PxImage/pngsuite/basn2c08.png"));
    Bytes ico =
        Cat({Le16s({0, 1, 1}), {32, 32, 0, 0}, Le16s({1, 32}), Le32s({static_cast<uint32_t>(png.size()), 22}), png});
    PxImage fromIco, fromPng;
    ASSERT_TRUE(DecodeBytes(fromIco, ico, PXIMAGE_FORMAT_ICO)) << fromIco.GetLastError();
    ASSERT_TRUE(DecodeBytes(fromPng, png, PXIMAGE_FORMAT_PNG));
    EXPECT_EQ(fromIco.GetType(), PXIMAGE_FORMAT_ICO);
    ASSERT_EQ(fromIco.GetWidth(), 32u);
    for (int32_t y = 0; y < 32; y++)
        for (int32_t x = 0; x < 32; x++) ASSERT_EQ(RgbAt(fromIco, x, y), RgbAt(fromPng, x, y)) << x << "," << y;
    ico.resize(ico.size() - 30);
    EXPECT_FALSE(DecodeBytes(fromIco, ico, PXIMAGE_FORMAT_ICO));
    EXPECT_EQ(std::string(fromIco.GetLastError()).rfind("ICO: the PNG image is damaged: ", 0), 0u)
        << fromIco.GetLastError();
}

TEST(TgaDecoder, Refusals) {
    ExpectRefusals<PxImageTGA>({
        {"empty", {}, "Not a TGA"},
        {"short header", Head(MakeTga({2, 1, 1, 24, 0, {}}), 17), "Not a TGA"},
        {"type 4", MakeTga({4, 1, 1, 8, 0, {0}}), "Unknown TGA image type"},
        {"type 0", MakeTga({0, 1, 1, 8, 0, {0}}), "Unknown TGA image type"},
        {"width 0", MakeTga({2, 0, 1, 24, 0, {}}), "bad TGA header"},
        {"height 0", MakeTga({2, 1, 0, 24, 0, {}}), "bad TGA header"},
        {"depth 0", MakeTga({2, 1, 1, 0, 0, {}}), "bad TGA header"},
        {"depth 12", MakeTga({2, 1, 1, 12, 0, {}}), "bad TGA header"},
        {"map of 257 entries", MakeTga({1, 1, 1, 8, 0, {0}, 257, 24, Bytes(257 * 3, 0)}), "bad TGA header"},
        {"too large to hold", MakeTga({2, 65535, 65535, 24, 0, {}}), "TGA Create failed"},
        {"cancelled", MakeTga({2, 1, 1, 24, 0, Bgr(A)}), "Cancelled", 1},
        {"rows missing", MakeTga({2, 2, 3, 24, 0, Bytes(6, 0)}), "corrupted TGA"},
    });
}

TEST(PcxDecoder, ResolutionComesFromTheHeader) {
    for (auto [dpi, expect, perMetre] : {std::tuple{300, 300, 11811}, std::tuple{0, 96, 3780}}) {
        PxImage img;
        ASSERT_TRUE(
            DecodeBytes(img, MakePcx({8, 3, 1, 1, 2, {1, 0, 2, 0, 3, 0}, {}, {}, uint16_t(dpi)}), PXIMAGE_FORMAT_PCX));
        EXPECT_EQ(img.GetXDPI(), expect);
        EXPECT_EQ(img.GetYDPI(), expect);
        EXPECT_EQ(img.GetHeader().biXPelsPerMeter, perMetre);
        EXPECT_EQ(img.GetHeader().biYPelsPerMeter, perMetre);
    }
}

TEST(PcxDecoder, Refusals) {
    const Bytes ok = MakePcx({8, 1, 2, 1, 2, {1, 2}, {}, PcxPalette256(0, 0)});
    const char* const kPlanes = "Can't handle packed pixels with more than 1 plane.";
    ExpectRefusals<PxImagePCX>({
        {"empty", {}, "Can't read PCX image"},
        {"short header", Head(ok, 100), "Can't read PCX image"},
        {"manufacturer", Edited(ok, {{0, 11}}), "Error: Not a PCX file"},
        {"encoding", Edited(ok, {{2, 0}}), "PCX file has unknown encoding scheme"},
        {"five planes", Edited(ok, {{65, 5}}), "Can't handle image with more than 4 planes"},
        {"x max below x min", Edited(ok, {{8, 0}}), "PxImage::Create : width and height must be greater than zero"},
        {"cancelled", ok, "Cancelled", 1},
        {"data ends", MakePcx({8, 1, 4, 4, 4, {0xC5, 7, 1}}, false), "corrupted PCX"},
        // Sixty thousand bytes a line over many rows, from a stream of a few bytes.
        {"lines larger than the stream", MakePcx({1, 4, 8, 60000, 65000, {0xFF, 0xFF}}, false), "corrupted PCX"},
        {"run past the end", MakePcx({8, 1, 2, 1, 2, {0xC3, 7}}, false), "repeat count spans end of image"},
        {"palette signature", MakePcx({8, 1, 2, 1, 2, {1, 2}, {}, {11}}), "bad color map signature"},
        {"palette missing", MakePcx({8, 1, 2, 1, 2, {1, 2}}), "bad color map signature"},
        {"no planes", Edited(ok, {{65, 0}}), kPlanes},
        {"negative planes", Edited(ok, {{65, 0xFF}}), kPlanes},
        {"two planes of 8 bits", MakePcx({8, 2, 2, 1, 2, {1, 2, 3, 4}}), "Can't handle more than 1 bit per pixel"},
    });
}

}  // namespace
