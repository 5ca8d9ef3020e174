#include <sstream>

#include "PictureFiles.h"
#include "PxImagePNG.h"

namespace {

// The text dump (.sng) beside each PngSuite picture: header, palette, transparency, background
// and the raw samples, top row first.
struct Sng {
    int width = 0, height = 0, depth = 0;
    bool color = false, palette = false, alpha = false;
    Palette plte;
    std::vector<int> trnsPalette;
    std::map<std::string, int> trnsColor, bkgd;          // gray / red / green / blue (/ index)
    std::vector<std::vector<std::vector<int>>> samples;  // [y][x][channel]
};

std::map<std::string, int> ParseFields(std::string s) {
    std::map<std::string, int> m;
    std::replace_if(
        s.begin(), s.end(), [](char c) { return std::strchr(";:{}", c) != nullptr; }, ' ');
    std::istringstream in(s);
    std::string key;
    for (int v; in >> key >> v;) m[key] = v;
    return m;
}

Sng ParseSng(const std::string& path) {
    std::ifstream in(path);
    std::string text;
    for (std::string line; std::getline(in, line);) text += line.substr(0, line.find('#')) + "\n";
    auto block = [&](const std::string& name) -> std::string {
        const size_t p = text.find("\n" + name + " {");
        const size_t b = p == std::string::npos ? p : text.find('{', p);
        return b == std::string::npos ? "" : text.substr(b + 1, text.find('}', b) - b - 1);
    };
    Sng s;
    const std::string ihdr = block("IHDR"), usingPart = ihdr.substr(ihdr.find("using"));
    auto f = ParseFields(ihdr.substr(0, ihdr.find("using")));
    s.width = f["width"], s.height = f["height"], s.depth = f["bitdepth"];
    s.color = usingPart.find("color") != std::string::npos;
    s.palette = usingPart.find("palette") != std::string::npos;
    s.alpha = usingPart.find("alpha") != std::string::npos;
    const std::string plte = block("PLTE");
    for (size_t p = plte.find('('); p != std::string::npos; p = plte.find('(', p + 1)) {
        int r, g, b;
        std::sscanf(plte.c_str() + p, "( %d , %d , %d )", &r, &g, &b);
        s.plte.push_back(static_cast<uint32_t>((r << 16) | (g << 8) | b));
    }
    std::istringstream trns(block("tRNS"));
    if (s.palette)
        for (int v; trns >> v;) s.trnsPalette.push_back(v);
    else
        s.trnsColor = ParseFields(trns.str());
    s.bkgd = ParseFields(block("bKGD"));
    const std::string image = block("IMAGE");
    std::istringstream rows(image.substr(image.find("hex") + 3));
    // Packed palette indices come first pixel in the high bits; other samples take 2 or 4 digits.
    const bool packed = s.palette && s.depth < 8;
    const int channels = s.palette ? 1 : (s.color ? 3 : 1) + (s.alpha ? 1 : 0), digits = s.depth == 16 ? 4 : 2;
    for (std::string line; std::getline(rows, line);) {
        std::string hex;
        for (unsigned char c : line)
            if (std::isxdigit(c)) hex += char(c);
        if (hex.empty()) continue;
        auto& row = s.samples.emplace_back();
        const size_t step = size_t(packed ? 2 : channels * digits);
        for (size_t i = 0; i + step <= hex.size(); i += step) {
            if (packed) {
                const int byte = std::stoi(hex.substr(i, 2), nullptr, 16);
                for (int sh = 8 - s.depth; sh >= 0; sh -= s.depth) row.push_back({(byte >> sh) & ((1 << s.depth) - 1)});
                continue;
            }
            auto& px = row.emplace_back();
            for (int c = 0; c < channels; c++)
                px.push_back(std::stoi(hex.substr(i + size_t(c * digits), size_t(digits)), nullptr, 16));
        }
        row.resize(size_t(s.width));
    }
    return s;
}

class PngSuite : public testing::TestWithParam<std::string> {};

TEST_P(PngSuite, DecodesTheStoredSamples) {
    const std::string base = SourcePath("tests/PxImage/pngsuite/" + GetParam());
    Sng s = ParseSng(base + ".sng");
    const Bytes file = ReadFile(base + ".png");
    ASSERT_GT(file.size(), 26u);
    const int fileType = file[25];
    const int channels[7] = {1, 0, 3, 1, 2, 0, 4}, filePixelDepth = file[24] * channels[std::min(fileType, 6)];

    PxImage img;
    ASSERT_TRUE(DecodeBytes(img, file)) << img.GetLastError();
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_PNG);
    ASSERT_EQ(img.GetWidth(), static_cast<uint32_t>(s.width));
    ASSERT_EQ(img.GetHeight(), static_cast<uint32_t>(s.height));
    ASSERT_EQ(s.samples.size(), static_cast<size_t>(s.height));
    const int bpp = filePixelDepth > 16 ? 24 : filePixelDepth == 16 ? 8 : filePixelDepth == 2 ? 4 : filePixelDepth;
    EXPECT_EQ(img.GetBpp(), uint32_t(bpp));
    const bool expectAlphaPlane = fileType == 6 || (fileType == 4 && filePixelDepth == 32);
    EXPECT_EQ(img.AlphaIsValid(), expectAlphaPlane);

    if (fileType == 3 && !s.trnsPalette.empty()) {
        const bool oneTransparent = s.trnsPalette == std::vector<int>{0};
        EXPECT_EQ(img.GetTransIndex(), oneTransparent ? 0 : -1);
        EXPECT_EQ(img.AlphaPaletteIsEnabled(), !oneTransparent);
        for (size_t i = 0; !oneTransparent && i < img.GetHeader().biClrUsed; i++)
            EXPECT_EQ(img.GetPaletteColor(uint8_t(i)).rgbReserved, i < s.trnsPalette.size() ? s.trnsPalette[i] : 255);
    } else {
        EXPECT_EQ(img.GetTransIndex(), -1);
    }

    auto to8 = [&](int v) { return s.depth == 16 ? v >> 8 : v; };
    for (int y = 0; y < s.height; y++) {
        for (int x = 0; x < s.width; x++) {
            const std::vector<int>& v = s.samples[size_t(y)][size_t(x)];
            const RGBQUAD got = img.GetPixelColor(x, s.height - 1 - y, true);
            std::array<int, 3> rgb = {v[0], v[0], v[0]};
            int a = s.alpha ? to8(v.back()) : 255;
            if (const uint32_t c = s.palette ? s.plte[size_t(v[0])] : 0; s.palette)
                rgb = {int(c >> 16), int(c >> 8 & 0xFF), int(c & 0xFF)};
            else if (s.color)
                rgb = {v[0], v[1], v[2]};
            // Transparent grey and RGB samples are composited on the file's background.
            auto& t = s.trnsColor;
            auto& bg = s.bkgd;
            if (!s.palette && !t.empty() &&
                (s.color ? v[0] == t["red"] && v[1] == t["green"] && v[2] == t["blue"] : v[0] == t["gray"]))
                rgb = s.color ? std::array{bg["red"], bg["green"], bg["blue"]}
                              : std::array{bg["gray"], bg["gray"], bg["gray"]};
            for (int& c : rgb) c = to8(c);
            if (fileType == 4 && filePixelDepth == 16) {
                // Grey with 8-bit alpha: composited on the default background's grey of 0.
                EXPECT_NEAR(got.rgbRed, (rgb[0] * a + 127) / 255, 1) << x << "," << y;
                continue;
            }
            if (fileType == 6 && filePixelDepth == 64) {
                // Composited by libpng and made opaque; only opaque samples keep their colour.
                EXPECT_EQ(img.AlphaGet(x, s.height - 1 - y), 255);
                if (a != 255) continue;
            } else if (expectAlphaPlane) {
                EXPECT_EQ(got.rgbReserved, a) << x << "," << y;
            }
            ASSERT_EQ((std::array<int, 3>{got.rgbRed, got.rgbGreen, got.rgbBlue}), rgb) << x << "," << y;
        }
    }
}

// Every picture of the folder that has its text dump beside it.
std::vector<std::string> SuiteNames() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(SourcePath("tests/PxImage/pngsuite")))
        if (e.path().extension() == ".sng") names.push_back(e.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Files, PngSuite, testing::ValuesIn(SuiteNames()), [](const auto& i) {
    std::string n = i.param;
    std::replace(n.begin(), n.end(), '-', '_');
    return n;
});

// ---- pictures written here with libpng, to vary what PngSuite's copies lack -------------------

const std::vector<png_color> kPal4 = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};

std::vector<Bytes> Pattern(int width, int height, int bytesPerPixel) {
    std::vector<Bytes> rows;
    for (int y = 0; y < height; y++) {
        Bytes r;
        for (int x = 0; x < width * bytesPerPixel; x++) r.push_back(static_cast<uint8_t>(x * 7 + y * 13));
        rows.push_back(r);
    }
    return rows;
}

bool SamePixels(const PxImage& a, const PxImage& b) {
    if (a.GetSize() != b.GetSize() || a.AlphaIsValid() != b.AlphaIsValid() ||
        std::memcmp(a.GetDIB(), b.GetDIB(), a.GetSize()) != 0)
        return false;
    for (int32_t y = 0; y < static_cast<int32_t>(a.GetHeight()); y++)
        for (int32_t x = 0; x < static_cast<int32_t>(a.GetWidth()); x++)
            if (a.AlphaGet(x, y) != b.AlphaGet(x, y)) return false;
    return true;
}

TEST(PngDecoder, InterlacedTwinsDecodeAlike) {
    struct Twin {
        const char* name;
        PngShape shape;
        int bytesPerPixel;
    };
    const Twin twins[] = {
        {"rgba", {13, 11, 8, PNG_COLOR_TYPE_RGB_ALPHA}, 4},
        {"rgb", {13, 11, 8, PNG_COLOR_TYPE_RGB}, 3},
        {"gray8", {9, 10, 8, PNG_COLOR_TYPE_GRAY}, 1},
        {"palette2", {17, 9, 2, PNG_COLOR_TYPE_PALETTE, false, kPal4}, 1},
    };
    for (const Twin& t : twins) {
        std::vector<Bytes> rows = Pattern(t.shape.width, t.shape.height, t.bytesPerPixel);
        if (t.shape.depth == 2)
            for (Bytes& r : rows) r.resize(static_cast<size_t>((t.shape.width + 3) / 4));
        PngShape inter = t.shape;
        inter.interlace = true;
        PxImage plain, laced;
        ASSERT_TRUE(DecodeBytes(plain, WritePng(t.shape, rows))) << t.name << plain.GetLastError();
        ASSERT_TRUE(DecodeBytes(laced, WritePng(inter, rows))) << t.name << laced.GetLastError();
        EXPECT_EQ(plain.GetCodecOption(PXIMAGE_FORMAT_PNG), 0u);
        EXPECT_EQ(laced.GetCodecOption(PXIMAGE_FORMAT_PNG), 1u);
        EXPECT_TRUE(SamePixels(plain, laced)) << t.name;
    }
}

TEST(PngDecoder, PaletteTransparencyAndResolution) {
    std::vector<png_color> pal = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    PxImage one;
    ASSERT_TRUE(DecodeBytes(one, WritePng({2, 1, 8, PNG_COLOR_TYPE_PALETTE, false, pal, {0}, 3780}, {{0, 1}})));
    EXPECT_EQ(one.GetTransIndex(), 0);
    EXPECT_FALSE(one.AlphaPaletteIsEnabled());
    EXPECT_EQ(one.GetXDPI(), 96);
    EXPECT_EQ(one.GetPaletteColor(1).rgbRed, 4);

    PxImage longer;
    ASSERT_TRUE(DecodeBytes(longer, WritePng({2, 1, 8, PNG_COLOR_TYPE_PALETTE, false, pal, {0, 128}}, {{0, 1}})));
    EXPECT_EQ(longer.GetTransIndex(), -1);
    EXPECT_TRUE(longer.AlphaPaletteIsEnabled());
    EXPECT_EQ(longer.GetPaletteColor(1).rgbReserved, 128);
    EXPECT_EQ(longer.GetPaletteColor(2).rgbReserved, 255);
    EXPECT_EQ(longer.GetPaletteColor(200).rgbReserved, 255);
}

TEST(PngDecoder, BrokenStreamsFailCleanly) {
    const Bytes good = WritePng({40, 40, 8, PNG_COLOR_TYPE_RGB_ALPHA}, Pattern(40, 40, 4));
    ExpectRefusals<PxImagePNG>({
        {"cut in the image data", Head(good, good.size() / 2), nullptr},
        {"header crc", Edited(good, {{30, uint8_t(good[30] ^ 0x55)}}), nullptr},
        // An IHDR of 2^31-1 x 2^31-1: libpng refuses it or Create does; nothing is filled.
        {"huge",
         Edited(good, {{16, 0x7F}, {17, 0xFF}, {18, 0xFF}, {19, 0xFF}, {20, 0x7F}, {21, 0xFF}, {22, 0xFF}, {23, 0xFF}}),
         nullptr},
        {"signature", Edited(good, {{1, 'X'}}), "Not a PNG file"},
        {"empty", {}, "Read Error"},
        // An escape request ends the decode without a new text.
        {"escape", good, "", 1},
    });
}

}  // namespace
