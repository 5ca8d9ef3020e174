#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "PxImageGIF.h"
#include "TestBytes.h"

namespace {

using Pixels = std::vector<uint8_t>;
using Palette = std::vector<uint32_t>;  // 0xRRGGBB

class BitWriter {
public:
    void Put(uint32_t code, int32_t width)
    {
        acc_ |= code << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            out_.push_back(static_cast<uint8_t>(acc_));
            acc_ >>= 8;
            bits_ -= 8;
        }
    }
    Bytes Finish()
    {
        if (bits_ > 0)
            out_.push_back(static_cast<uint8_t>(acc_));
        return out_;
    }

private:
    Bytes out_;
    uint32_t acc_ = 0;
    int32_t bits_ = 0;
};

// Packs raw codes (already chosen by the test) into sub-blocks at a fixed width.
Bytes SubBlocks(uint8_t minCodeSize, const Bytes& data)
{
    Bytes out{minCodeSize};
    for (size_t i = 0; i < data.size(); i += 255) {
        size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i), data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    out.push_back(0);
    return out;
}

// A real LZW coder (string table, KwKwK codes included); the code width follows the reader's
// table, which lags one code behind the writer's. Some writers leave out the leading clear code.
Bytes LzwEncode(const Pixels& px, uint8_t size, bool leadingClear = true)
{
    const int32_t clear = 1 << size, end = clear + 1;
    BitWriter w;
    std::map<std::pair<int32_t, int32_t>, int32_t> dict;
    int32_t width = 0, next = 0, slot = 0, top = 0, emitted = 0;
    auto reset = [&] {
        dict.clear();
        width = size + 1;
        next = slot = end + 1;
        top = 1 << width;
        emitted = 0;
    };
    auto emit = [&](int32_t code) {
        w.Put(static_cast<uint32_t>(code), width);
        if (emitted++ > 0) {
            if (slot < top)
                slot++;
            if (slot >= top && width < 12) {
                top <<= 1;
                width++;
            }
        }
    };
    reset();
    if (leadingClear)
        w.Put(static_cast<uint32_t>(clear), width);
    if (!px.empty()) {
        int32_t cur = px[0];
        for (size_t i = 1; i < px.size(); i++) {
            auto it = dict.find({cur, px[i]});
            if (it != dict.end()) {
                cur = it->second;
                continue;
            }
            emit(cur);
            if (next < 4000) {
                dict[{cur, px[i]}] = next++;
            } else {
                w.Put(static_cast<uint32_t>(clear), width);
                reset();
            }
            cur = px[i];
        }
        emit(cur);
    }
    w.Put(static_cast<uint32_t>(end), width);
    return SubBlocks(size, w.Finish());
}

void PutTable(Bytes& b, const Palette& pal)
{
    for (uint32_t c : pal)
        Append(b, {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
}

uint8_t SizeBits(size_t entries)
{
    uint8_t n = 0;
    while ((2u << n) < entries)
        n++;
    return n;
}

Bytes Header(uint16_t sw, uint16_t sh, const Palette& global)
{
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(b, sw);
    Put16(b, sh);
    b.push_back(global.empty() ? 0 : static_cast<uint8_t>(0x80 | 0x70 | SizeBits(global.size())));
    Append(b, {0, 0});
    PutTable(b, global);
    return b;
}

Bytes Gce(uint8_t flags, uint16_t delay, uint8_t trans)
{
    Bytes b = {'!', 0xF9, 4, flags};
    Put16(b, delay);
    Append(b, {trans, 0});
    return b;
}

struct Frame {
    uint16_t l, t, w, h;
    Pixels px;  // top row first, in display order
    Palette local = {};
    bool interlaced = false;
    bool leadingClear = true;
};

Pixels InterlaceOrder(const Frame& f)
{
    Pixels out;
    const int32_t starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
    for (int32_t p = 0; p < 4; p++)
        for (int32_t y = starts[p]; y < f.h; y += steps[p])
            out.insert(out.end(), f.px.begin() + y * f.w, f.px.begin() + (y + 1) * f.w);
    return out;
}

Bytes Image(const Frame& f, uint8_t minCodeSize = 0)
{
    Bytes b = {','};
    Put16(b, f.l);
    Put16(b, f.t);
    Put16(b, f.w);
    Put16(b, f.h);
    uint8_t pf = f.interlaced ? 0x40 : 0;
    if (!f.local.empty())
        pf = static_cast<uint8_t>(pf | 0x80 | SizeBits(f.local.size()));
    b.push_back(pf);
    PutTable(b, f.local);
    if (minCodeSize == 0)
        minCodeSize = 8;
    Append(b, LzwEncode(f.interlaced ? InterlaceOrder(f) : f.px, minCodeSize, f.leadingClear));
    return b;
}

const Palette kPal4 = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

Palette Ramp(size_t n)
{
    Palette p;
    for (size_t i = 0; i < n; i++)
        p.push_back(static_cast<uint32_t>(i * 0x010203 & 0xFFFFFF));
    return p;
}

// The frame to decode is an input of the info block that the library itself never sets.
struct FrameGif : PxImageGIF {
    void SetFrame(int32_t f) { info.nFrame = f; }
};

bool DecodeGif(PxImage& img, const Bytes& file, int32_t frame = 0)
{
    FrameGif dec;
    dec.CopyInfo(img);
    dec.SetFrame(frame);
    PxMemFile f(file.data(), file.size());
    if (!dec.Decode(&f))
        return false;
    return img.Transfer(dec);
}

void ExpectColours(const PxImage& img, const std::vector<Palette>& rows)
{
    ASSERT_EQ(img.GetHeight(), rows.size());
    ASSERT_EQ(img.GetWidth(), rows[0].size());
    for (size_t y = 0; y < rows.size(); y++)
        for (size_t x = 0; x < rows[y].size(); x++)
            EXPECT_EQ(RgbAt(img, static_cast<int32_t>(x), static_cast<int32_t>(y)), rows[y][x]) << "at " << x << "," << y;
}

TEST(GifDecoder, SmallestTransparentGifFromTheWild)
{
    const Bytes file = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0,
                        0x21, 0xF9, 4, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0, 0x3B};
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, file));
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_GIF);
    EXPECT_EQ(img.GetBpp(), 1u);
    EXPECT_EQ(img.GetTransIndex(), 0);
    EXPECT_EQ(img.GetInfo().nNumFrames, 1);
    EXPECT_EQ(RgbAt(img, 0, 0), 0xFFFFFFu);
}

struct SingleCase {
    const char* name;
    size_t colours;
    uint32_t bpp;
    uint16_t w, h;
    bool interlaced;
    uint8_t minCodeSize;
    bool leadingClear = true;
};

class GifSingleFrame : public testing::TestWithParam<SingleCase> {};

TEST_P(GifSingleFrame, DecodesEveryPixel)
{
    const SingleCase& tc = GetParam();
    Palette pal = Ramp(tc.colours);
    Frame f{0, 0, tc.w, tc.h, {}};
    f.interlaced = tc.interlaced;
    f.leadingClear = tc.leadingClear;
    // Runs and repeats, so the coder's table and the KwKwK case are exercised.
    for (int32_t i = 0; i < tc.w * tc.h; i++)
        f.px.push_back(static_cast<uint8_t>(((i / 3) * 7 + (i % 5 == 0)) % tc.colours));
    Bytes file = Header(tc.w, tc.h, pal);
    Append(file, Image(f, tc.minCodeSize));
    file.push_back(';');

    PxImage img;
    ASSERT_TRUE(DecodeGif(img, file));
    EXPECT_EQ(img.GetBpp(), tc.bpp);
    std::vector<Palette> rows(tc.h);
    for (int32_t y = 0; y < tc.h; y++)
        for (int32_t x = 0; x < tc.w; x++)
            rows[static_cast<size_t>(y)].push_back(pal[f.px[static_cast<size_t>(y * tc.w + x)]]);
    ExpectColours(img, rows);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, GifSingleFrame,
    testing::Values(SingleCase{"two_colours_1bit", 2, 1, 13, 3, false, 2},
                    SingleCase{"no_leading_clear_code", 4, 4, 11, 7, false, 2, false},
                    SingleCase{"sixteen_colours_4bit", 16, 4, 7, 4, false, 4},
                    SingleCase{"four_colours_4bit", 4, 4, 5, 2, false, 2},
                    SingleCase{"palette_256_8bit", 256, 8, 9, 5, false, 8},
                    SingleCase{"code_width_reaches_12", 256, 8, 200, 90, false, 8},
                    SingleCase{"interlaced_height_1", 4, 4, 3, 1, true, 2},
                    SingleCase{"interlaced_height_2", 4, 4, 3, 2, true, 2},
                    SingleCase{"interlaced_height_3", 4, 4, 3, 3, true, 2},
                    SingleCase{"interlaced_height_4", 4, 4, 3, 4, true, 2},
                    SingleCase{"interlaced_height_8", 4, 4, 2, 8, true, 2},
                    SingleCase{"interlaced_height_10", 16, 4, 2, 10, true, 4},
                    SingleCase{"interlaced_height_17", 256, 8, 4, 17, true, 8}),
    [](const testing::TestParamInfo<SingleCase>& i) { return std::string(i.param.name); });

TEST(GifDecoder, EscapeMinusOneGivesTheScreenSizeOnly)
{
    Bytes file = Header(300, 200, kPal4);
    Append(file, Image({0, 0, 1, 1, {0}}, 2));
    PxImageGIF dec;
    dec.SetEscape(-1);
    PxMemFile f(file.data(), file.size());
    ASSERT_TRUE(dec.Decode(&f));
    EXPECT_EQ(dec.GetWidth(), 300u);
    EXPECT_EQ(dec.GetHeight(), 200u);
    EXPECT_FALSE(dec.IsValid());
}

TEST(GifDecoder, RefusesWhatHoldsNoFrame)
{
    Bytes onlyTooWide = Header(2, 2, kPal4);
    Append(onlyTooWide, Image({1, 0, 2, 1, {0, 1}}, 2));
    onlyTooWide.push_back(';');
    Bytes twoFrames = Header(1, 1, kPal4);
    Append(twoFrames, Image({0, 0, 1, 1, {1}}, 2));
    Append(twoFrames, Image({0, 0, 1, 1, {2}}, 2));
    twoFrames.push_back(';');
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    struct Bad {
        const char* name;
        Bytes data;
        int32_t frame;
    } bad[] = {
        {"empty", {}, 0},
        {"png signature", png, 0},
        {"header only", Header(1, 1, {}), 0},
        {"no descriptor fits the screen", onlyTooWide, 0},
        {"frame past the last", twoFrames, 2},
        {"negative frame", twoFrames, -1},
    };
    for (const Bad& b : bad) {
        PxImage img;
        EXPECT_FALSE(DecodeGif(img, b.data, b.frame)) << b.name;
        EXPECT_FALSE(img.IsValid()) << b.name;
        EXPECT_STREQ(img.GetLastError(), "") << b.name;
    }
    PxImageGIF dec;
    EXPECT_FALSE(dec.Decode(nullptr));
}

// Frame 0 fills a 3x2 screen; frame 1 covers the top middle pixel, with index 0 transparent.
Bytes Animation(uint8_t disposal0)
{
    Bytes file = Header(3, 2, kPal4);
    Append(file, Gce(static_cast<uint8_t>(1 | (disposal0 << 2)), 10, 0));
    Append(file, Image({0, 0, 3, 2, {1, 1, 1, 2, 2, 2}}, 2));
    Append(file, Gce(1, 20, 0));
    Append(file, Image({0, 0, 2, 1, {0, 3}}, 2));
    file.push_back(';');
    return file;
}

TEST(GifDecoder, ComposesFramesAndHonoursDisposal)
{
    struct Case {
        const char* name;
        uint8_t disposal;
        int32_t frame;
        std::vector<Palette> rows;
    } cases[] = {
        {"first frame", 0, 0, {{0xFF0000, 0xFF0000, 0xFF0000}, {0x00FF00, 0x00FF00, 0x00FF00}}},
        {"second over first", 1, 1, {{0xFF0000, 0x0000FF, 0xFF0000}, {0x00FF00, 0x00FF00, 0x00FF00}}},
        {"method 3 acts like 0", 3, 1, {{0xFF0000, 0x0000FF, 0xFF0000}, {0x00FF00, 0x00FF00, 0x00FF00}}},
        // Disposal 2 clears the whole canvas with the transparent index, not only the old rectangle.
        {"method 2 clears everything", 2, 1, {{0x000000, 0x0000FF, 0x000000}, {0x000000, 0x000000, 0x000000}}},
    };
    for (const Case& c : cases) {
        PxImage img;
        ASSERT_TRUE(DecodeGif(img, Animation(c.disposal), c.frame)) << c.name;
        EXPECT_EQ(img.GetInfo().nNumFrames, 2) << c.name;
        EXPECT_EQ(img.GetTransIndex(), 0) << c.name;
        EXPECT_EQ(img.GetInfo().dwFrameDelay, c.frame == 0 ? 10u : 20u) << c.name;
        ExpectColours(img, c.rows);
    }
}

TEST(GifDecoder, PaletteOfEachFrame)
{
    const Palette ramp = Ramp(256);
    auto file = [](const Palette& global, std::initializer_list<Bytes> blocks) {
        Bytes f = Header(3, 1, global);
        for (const Bytes& b : blocks)
            Append(f, b);
        f.push_back(';');
        return f;
    };
    const Palette grey = {0x111111, 0x222222, 0x333333, 0x444444};
    struct Case {
        const char* name;
        Bytes file;
        int32_t frame;
        uint32_t bpp;
        Palette colours;  // the top row
        int32_t entry;    // a palette entry to check, -1 none
        uint32_t entryColour;
    } cases[] = {
        // A transparent index from any graphic control pads every frame's table with white.
        {"transparency pads with white", file({0x102030, 0x405060}, {Image({0, 0, 3, 1, {0, 1, 3}, kPal4}, 2), Gce(1, 0, 1)}),
         0, 4, {0x000000, 0xFF0000, 0x0000FF}, 9, 0xFFFFFF},
        {"local table serves its own frame only", file(grey, {Image({0, 0, 3, 1, {0, 1, 2}, kPal4}, 2), Image({0, 0, 1, 1, {3}}, 2)}),
         1, 4, {0x444444, 0x222222, 0x333333}, -1, 0},
        // The canvas keeps the entries a frame of fewer colours does not have.
        {"frame of fewer colours", file(ramp, {Image({0, 0, 3, 1, {200, 7, 200}}, 8), Image({0, 0, 1, 1, {1}, {0xABCDEF, 0x123456}}, 2)}),
         1, 8, {0x123456, ramp[7], ramp[200]}, 200, ramp[200]},
        {"single frame without global table", file({}, {Image({0, 0, 2, 1, {1, 0}, {0x101010, 0x202020}}, 2)}),
         0, 1, {0x202020, 0x101010, 0x101010}, -1, 0},
    };
    for (const Case& c : cases) {
        PxImage img;
        ASSERT_TRUE(DecodeGif(img, c.file, c.frame)) << c.name;
        EXPECT_EQ(img.GetBpp(), c.bpp) << c.name;
        for (int32_t x = 0; x < 3; x++)
            EXPECT_EQ(RgbAt(img, x, 0), c.colours[static_cast<size_t>(x)]) << c.name << " at " << x;
        if (c.entry >= 0) {
            RGBQUAD e = img.GetPaletteColor(static_cast<uint8_t>(c.entry));
            EXPECT_EQ((uint32_t{e.rgbRed} << 16) | (uint32_t{e.rgbGreen} << 8) | e.rgbBlue, c.entryColour) << c.name;
        }
    }
}

TEST(GifDecoder, TilesWithoutGlobalTableMakeATrueColourPicture)
{
    // The first tile covers neither the screen's width nor its height; the last one decoded
    // lends its colour at the transparent index.
    Bytes file = Header(2, 2, {});
    Append(file, Image({0, 0, 1, 1, {0}, {0xFF0000, 0x00FF00}}, 2));
    Append(file, Image({0, 1, 1, 1, {1}, {0xFF0000, 0x00FF00}}, 2));
    Append(file, Image({1, 0, 1, 2, {1, 0}, {0x0000FF, 0xFFFFFF}}, 2));
    Append(file, Gce(1, 0, 0));
    file.push_back(';');
    PxImage img;
    ASSERT_TRUE(DecodeGif(img, file));
    EXPECT_EQ(img.GetBpp(), 24u);
    ExpectColours(img, {{0xFF0000, 0xFFFFFF}, {0x00FF00, 0x0000FF}});
    EXPECT_EQ(img.GetTransIndex(), 0);
    RGBQUAD t = img.GetTransColor();
    EXPECT_EQ((uint32_t{t.rgbRed} << 16) | (uint32_t{t.rgbGreen} << 8) | t.rgbBlue, 0x0000FFu);
}

TEST(GifDecoder, ExtensionsAndTheirFaults)
{
    Bytes netscape = {'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 5, 0, 0};
    Bytes comment = {'!', 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 0};
    Bytes plainText = {'!', 0x01, 3, 1, 2, 3, 2, 9, 9, 0};
    Bytes emptyComment = {'!', 0xFE, 0};
    Bytes badGce = {'!', 0xF9, 3, 0, 0, 0, 0};
    Bytes frame0 = Image({0, 0, 1, 1, {1}}, 2);
    Bytes frame1 = Image({0, 0, 1, 1, {2}}, 2);
    struct Case {
        const char* name;
        Bytes between;  // between the two frames
        uint32_t colour;
        int32_t loops;
        const char* comment;
    } cases[] = {
        {"loop count, comment and plain text are passed over", [&] { Bytes b = netscape; Append(b, comment); Append(b, plainText); return b; }(), 0x00FF00, 5, "hello"},
        {"stray bytes up to a zero are skipped", {'x', 'y', 0}, 0x00FF00, 0, ""},
        // The loop ends before frame 1: what stands is frame 0 composed.
        {"empty comment ends the blocks", emptyComment, 0xFF0000, 0, ""},
        {"graphic control of length 3 ends the blocks", badGce, 0xFF0000, 0, ""},
    };
    for (const Case& c : cases) {
        Bytes file = Header(1, 1, kPal4);
        Append(file, frame0);
        Append(file, c.between);
        Append(file, frame1);
        file.push_back(';');
        FrameGif dec;
        dec.SetFrame(1);
        PxMemFile f(file.data(), file.size());
        ASSERT_TRUE(dec.Decode(&f)) << c.name;
        EXPECT_EQ(RgbAt(dec, 0, 0), c.colour) << c.name;
        EXPECT_EQ(dec.GetLoops(), c.loops) << c.name;
        EXPECT_STREQ(dec.GetComment(), c.comment) << c.name;
    }
}

// Streams that once went past their buffers or never ended; each must decode or refuse calmly.
TEST(GifDecoder, CorruptDataStaysInBounds)
{
    auto withData = [](uint16_t w, uint16_t h, const Bytes& data) {
        Bytes file = Header(w, h, kPal4);
        Append(file, {',', 0, 0, 0, 0});
        Put16(file, w);
        Put16(file, h);
        file.push_back(0);
        Append(file, data);
        Append(file, {';'});
        return file;
    };
    // Codes past the next free slot, chaining through stale table entries.
    BitWriter bad;
    bad.Put(4, 3);
    for (uint32_t c : {1u, 7u, 7u, 6u, 7u, 3u, 7u, 6u})
        bad.Put(c, 3);
    // Entry 7 is filled before a clear code (tables survive it); code 7 twice after the clear
    // then makes entry 7 its own prefix, and a third 7 chains forever.
    BitWriter selfLoop;
    for (auto [code, width] : {std::pair{4, 3}, {3, 3}, {3, 3}, {3, 3}, {4, 4}, {3, 3}, {7, 3}, {7, 3}, {7, 4}, {5, 4}})
        selfLoop.Put(static_cast<uint32_t>(code), width);
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
        {"interlaced rows past the passes", [&] {
             Frame f{0, 0, 2, 2, {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}};
             Bytes file = Header(2, 6, kPal4);
             Bytes img = Image(f, 2);
             img[9] = 0x40;
             Append(file, img);
             return file;
         }(), 0xFF0000},
    };
    for (const Case& c : cases) {
        PxImage img;
        bool ok = DecodeGif(img, c.file);
        if (c.topLeft >= 0) {
            ASSERT_TRUE(ok && img.IsValid()) << c.name;
            EXPECT_EQ(RgbAt(img, 0, 0), static_cast<uint32_t>(c.topLeft)) << c.name;
        }
    }
}

TEST(GifDecoder, FrameAfterBadCodesIsFoundAgain)
{
    BitWriter bad;
    bad.Put(4, 3);
    bad.Put(1, 3);
    bad.Put(7, 3);  // past the next free slot (6)
    bad.Put(5, 3);
    Bytes file = Header(1, 1, kPal4);
    Append(file, {',', 0, 0, 0, 0, 1, 0, 1, 0, 0});
    Append(file, SubBlocks(2, bad.Finish()));
    Append(file, Image({0, 0, 1, 1, {3}}, 2));
    file.push_back(';');
    PxImage img;
    ASSERT_TRUE(DecodeGif(img, file, 1));
    EXPECT_EQ(img.GetInfo().nNumFrames, 2);
    EXPECT_EQ(RgbAt(img, 0, 0), 0x0000FFu);
}

TEST(GifDecoder, DetectedAmongTheFormats)
{
    Bytes file = Header(2, 1, kPal4);
    Append(file, Image({0, 0, 2, 1, {2, 3}}, 2));
    file.push_back(';');
    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, file, 0));
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_GIF);
    ExpectColours(img, {{0x00FF00, 0x0000FF}});
}

}  // namespace
