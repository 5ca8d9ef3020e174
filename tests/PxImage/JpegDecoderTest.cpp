#include "PictureFiles.h"
#include "PxImageJPG.h"

namespace {

constexpr uint32_t kOptGrey = 0x80, kOptQuantize = 0x100, kOptDither = 0x200, kOptOnePass = 0x400, kOptNoFancy = 0x800;

// The size in the frame header (FF C0 or FF C2), big-endian height then width.
void SetFrameSize(Bytes& b, uint16_t width, uint16_t height) {
    size_t f = 0;
    while (f + 1 < b.size() && !(b[f] == 0xFF && (b[f + 1] == 0xC0 || b[f + 1] == 0xC2))) f++;
    const uint8_t size[4] = {uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width)};
    std::copy(size, size + 4, b.begin() + std::ptrdiff_t(f + 5));
}

const JpegShape kGrey{.components = 1, .quadrants = {{{30, 0, 0, 0}, {100, 0, 0, 0}, {170, 0, 0, 0}, {240, 0, 0, 0}}}};
const JpegShape kCmyk{.components = 4,
                      .quadrants = {{{255, 0, 0, 255}, {0, 255, 0, 255}, {200, 100, 50, 0}, {255, 255, 255, 255}}}};

}  // namespace

TEST(JpegDecoder, PicturesByKind) {
    using Quads = std::array<uint32_t, 4>;  // 0xRRGGBB, top-left, top-right, bottom-left, bottom-right
    struct Case {
        const char* name;
        JpegShape shape;
        bool progressive;
        uint32_t options, bpp;
        bool grey;  // an 8-bit picture with the 256-entry grey palette
        Quads quadrants;
        int tolerance;
        bool bigSection = false;  // an unknown APP1 section that libjpeg skips across buffers
    };
    // The pictures' colours, the grey levels, and the luma of red, green, blue and white.
    const Quads rgb = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}, grey = {0x1E1E1E, 0x646464, 0xAAAAAA, 0xF0F0F0},
                luma = {0x4C4C4C, 0x969696, 0x1D1D1D, 0xFFFFFF}, cmyk = {0xFF0000, 0x00FF00, 0x000000, 0xFFFFFF};
    const Case cases[] = {
        {"grey baseline", kGrey, false, 0, 8, true, grey, 2},
        {"grey progressive", kGrey, true, 0, 8, true, grey, 2},
        {"rgb baseline", {}, false, 0, 24, false, rgb, 4},
        {"rgb progressive", {}, true, 0, 24, false, rgb, 4},
        {"rgb skipping a long section", {}, false, 0, 24, false, rgb, 4, true},
        {"cmyk weighted by k", kCmyk, false, 0, 24, false, cmyk, 3},
        {"rgb as grey", {}, false, kOptGrey, 8, true, luma, 4},
        {"rgb quantized", {}, false, kOptQuantize, 8, false, rgb, 24},
        {"rgb quantized in one dithered pass", {}, true, kOptQuantize | kOptOnePass | kOptDither, 8, false, rgb, 40},
        {"grey quantized", kGrey, false, kOptQuantize, 8, false, grey, 12},
        {"rgb without fancy upsampling", {}, false, kOptNoFancy, 24, false, rgb, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JpegShape shape = c.shape;
        shape.progressive = c.progressive;
        if (c.bigSection) shape.app1.push_back(Bytes(10000, 'x'));
        Bytes jpg = MakeJpeg(shape);

        PxImageJPG img;
        img.SetCodecOption(c.options, PXIMAGE_FORMAT_JPG);
        ASSERT_TRUE(DecodeWith(img, jpg)) << img.GetLastError();
        EXPECT_EQ(img.GetWidth(), 16u);
        EXPECT_EQ(img.GetHeight(), 16u);
        EXPECT_EQ(img.GetBpp(), c.bpp);
        EXPECT_EQ(img.IsGrayScale(), c.grey);
        // Every palette keeps the 256 entries its rows are laid out behind.
        EXPECT_EQ(img.GetHeader().biClrUsed, c.bpp == 8 ? 256u : 0u);
        EXPECT_EQ(img.GetBits(0), img.GetInfo().pImage);
        const int32_t at[4][2] = {{4, 4}, {12, 4}, {4, 12}, {12, 12}};
        for (int q = 0; q < 4; q++) {
            uint32_t got = RgbAt(img, at[q][0], at[q][1]);
            EXPECT_TRUE(NearRgb(got, c.quadrants[q], c.tolerance))
                << "quadrant " << q << " got " << std::hex << got << " want " << c.quadrants[q];
        }
    }
}

TEST(JpegDecoder, ResolutionFromExifOrJfif) {
    // An EXIF block with the x and y resolution as rationals (none when 0) and the unit.
    auto exif = [](uint32_t x, uint32_t y, uint32_t yDen, uint16_t unit, uint16_t magic = 0x2A) {
        std::vector<ExifEntry> e = {Short(0x0128, unit)};
        if (x) e.push_back(Rational(0x011A, x, 1));
        if (y) e.push_back(Rational(0x011B, y, yDen));
        return std::vector<Bytes>{MakeExifBlock({ExifDir{e}}, false, magic)};
    };
    struct Case {
        const char* name;
        bool jfif;
        uint8_t unit;
        uint16_t x, y;
        int32_t dpiX, dpiY;
        std::vector<Bytes> app1 = {};
    };
    const Case cases[] = {
        {"dots per centimetre", true, 2, 28, 28, 71, 71},
        {"dots per inch", true, 1, 300, 150, 300, 150},
        {"density without unit", true, 0, 1, 1, 1, 1},
        {"no JFIF header", false, 0, 1, 1, 1, 1},
        {"EXIF inches", true, 1, 300, 300, 72, 72, exif(72, 144, 2, 2)},
        {"EXIF centimetres", true, 1, 300, 300, 71, 142, exif(28, 56, 1, 3)},
        {"EXIF without resolution", true, 1, 300, 300, 96, 96, exif(0, 0, 1, 2)},
        {"EXIF with a bad start falls back", true, 1, 300, 300, 300, 300, exif(72, 0, 1, 2, 0x2B)},
        {"EXIF resolution beyond any header", true, 1, 300, 300, 50000000, 8466, exif(4000000000u, 1, 3, 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PxImageJPG img;
        const JpegShape shape{.jfif = c.jfif, .densityUnit = c.unit, .xDensity = c.x, .yDensity = c.y, .app1 = c.app1};
        ASSERT_TRUE(DecodeWith(img, MakeJpeg(shape))) << img.GetLastError();
        EXPECT_EQ(img.GetXDPI(), c.dpiX);
        EXPECT_EQ(img.GetYDPI(), c.dpiY);
        EXPECT_EQ(img.GetExifData().IsExif, !c.app1.empty() && std::string(c.name).find("bad") == std::string::npos);
    }
}

TEST(JpegDecoder, FailuresAndShortStreams) {
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
    // Noise does not compress: the picture's data fills more than one buffer of the stream adapter,
    // which wrote it as well.
    const Bytes noise = MakeJpeg({.width = 64, .height = 64, .noise = true});
    EXPECT_GT(noise.size(), PxImageJPG::PxFileJpg::eBufSize);
    Bytes cut = noise;
    size_t scan = 0;
    while (scan + 1 < cut.size() && !(cut[scan] == 0xFF && cut[scan + 1] == 0xDA)) scan++;
    cut.resize(scan + (cut.size() - scan) / 2);
    Bytes huge = MakeJpeg(JpegShape{});
    SetFrameSize(huge, 65500, 65500);
    Bytes hugeProgressive = MakeJpeg({.progressive = true});
    SetFrameSize(hugeProgressive, 60000, 60000);

    struct Case {
        const char* name;
        Bytes data;
        bool ok;
        std::string error;  // prefix of the last error
    };
    const Case cases[] = {
        {"png", png, false, "Not a JPEG file: starts with 0x89 0x50"},
        {"noise", noise, true, ""},
        {"empty", {}, false, "Empty input file"},
        {"start of image only", {0xFF, 0xD8}, false, ""},
        {"cut in the scan", cut, true, ""},
        {"larger than the image memory", huge, false, "PXIMAGE_MAX_MEMORY exceeded"},
        {"coefficients beyond libjpeg's working memory", hugeProgressive, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PxImageJPG img;
        bool ok = DecodeWith(img, c.data);
        EXPECT_EQ(ok, c.ok) << img.GetLastError();
        EXPECT_EQ(img.IsValid(), c.ok);
        if (c.ok) {
            EXPECT_EQ(img.GetWidth(), 64u);
            EXPECT_EQ(img.GetHeight(), 64u);
        } else {
            EXPECT_NE(std::string(img.GetLastError()), "");
            EXPECT_EQ(std::string(img.GetLastError()).rfind(c.error, 0), 0u) << img.GetLastError();
        }
    }
}

TEST(JpegDecoder, EscapeAndScale) {
    const Bytes jpg = MakeJpeg({.width = 40, .height = 24});
    struct Case {
        int32_t escape;
        uint8_t scale;
        bool ok, valid;
        uint32_t w, h;
    };
    const Case cases[] = {
        {-1, 0, true, false, 40, 24},  // dimensions only
        {-1, 2, true, false, 20, 12}, {-1, 8, true, false, 5, 3},
        {0, 0, true, true, 40, 24},   {0, 1, true, true, 40, 24},
        {0, 4, true, true, 10, 6},    {1, 0, false, true, 0, 0},  // asked to stop once the image exists
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "escape " << c.escape << " scale " << int{c.scale});
        PxImageJPG img;
        img.SetEscape(c.escape);
        PXIMAGEINFO* info = const_cast<PXIMAGEINFO*>(&img.GetInfo());
        info->nJpegScale = c.scale;
        EXPECT_EQ(DecodeWith(img, jpg), c.ok);
        EXPECT_EQ(img.IsValid(), c.valid);
        if (c.ok) {
            EXPECT_EQ(img.GetWidth(), c.w);
            EXPECT_EQ(img.GetHeight(), c.h);
        } else {
            EXPECT_STREQ(img.GetLastError(), "");
        }
    }
}

TEST(JpegDecoder, DetectionKeepsTheStreamAndTheRecord) {
    const Bytes jpg =
        MakeJpeg({.app1 = {MakeExifBlock(
                      {ExifDir{{Text(0x010F, "Tikora"), Rational(0x011A, 300, 1), Short(0x0128, 2)}}}, true)}});
    PxImage viaLoader;
    ASSERT_TRUE(DecodeBytes(viaLoader, jpg));
    EXPECT_EQ(viaLoader.GetXDPI(), 300);

    // The EXIF pre-pass puts the stream back where the decoder found it, also inside a file.
    Bytes padded = {1, 2, 3};
    Append(padded, jpg);
    PxMemFile f(padded.data(), padded.size());
    f.Seek(3, SEEK_SET);
    PxImageJPG img;
    EXPECT_TRUE(img.ReadExif(&f));
    EXPECT_EQ(f.Tell(), 3);
    EXPECT_STREQ(img.GetExifData().Make, "Tikora");
    // A second decode on the same object starts the record afresh.
    ASSERT_TRUE(img.Decode(&f));
    f.Seek(3, SEEK_SET);
    ASSERT_TRUE(img.Decode(&f));
    EXPECT_STREQ(img.GetExifData().Make, "Tikora");
    EXPECT_EQ(img.GetXDPI(), 300);
}
