#include "PictureFiles.h"
#include "PxLeReader.h"

namespace {

// The smallest transparent GIF found in the wild: one white pixel.
const Bytes kSmallestGif = {'G',  'I', 'F', '8', '9',  'a',  1, 0, 1, 0,    0x80, 0, 0,    0xFF, 0xFF,
                            0xFF, 0,   0,   0,   0x21, 0xF9, 4, 1, 0, 0,    0,    0, 0x2C, 0,    0,
                            0,    0,   1,   0,   1,    0,    0, 2, 2, 0x44, 1,    0, 0x3B};

// Format detection: one small picture of each format, found among all of them, with a pixel
// that only a right decode gives.
TEST(Loader, DetectsEveryFormat) {
    TiffPage tiff;
    tiff.rows.assign(12, 77);
    JpegShape jpeg;
    struct Case {
        const char* name;
        Bytes file;
        uint32_t type;
        int32_t x, y;
        uint32_t colour;
        int tolerance = 0;
    } cases[] = {
        {"bmp", MakeBmp({BmpForm::Info, 1, 1, 24, 0, {}, {1, 2, 3, 0}}), PXIMAGE_FORMAT_BMP, 0, 0, 0x030201},
        {"png", ReadFile(SourcePath("tests/PxImage/pngsuite/basn2c08.png")), PXIMAGE_FORMAT_PNG, 0, 0, 0xFFFFFF},
        {"jpeg", MakeJpeg(jpeg), PXIMAGE_FORMAT_JPG, 12, 12, 0xFFFFFF, 4},
        {"ico", MakeIco({{2, 1, 4, {0, 0x00FF00}, DibRows(4, 2, {{1, 0}}), IcoMask(2, {"00"})}}), PXIMAGE_FORMAT_ICO, 0,
         0, 0x00FF00},
        {"gif", kSmallestGif, PXIMAGE_FORMAT_GIF, 0, 0, 0xFFFFFF},
        {"tiff", MakeTiff({tiff}), PXIMAGE_FORMAT_TIF, 3, 2, 0x4D4D4D},
        {"tga", MakeTga({2, 1, 1, 24, 0, Bgr(0x102030)}), PXIMAGE_FORMAT_TGA, 0, 0, 0x102030},
        {"pcx", MakePcx({8, 3, 1, 1, 2, {0x12, 0, 0x34, 0, 0x56, 0}}), PXIMAGE_FORMAT_PCX, 0, 0, 0x123456},
        {"wmf", Wmf(30, 20, {WmfBrush(0x090909), WmfSelect(0), WmfRectangle(0, 0, 30, 20)}), PXIMAGE_FORMAT_WMF, 15, 10,
         0x090909},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PxImage img;
        ASSERT_TRUE(DecodeBytes(img, c.file, 0)) << img.GetLastError();
        EXPECT_EQ(img.GetType(), c.type);
        EXPECT_TRUE(NearRgb(RgbAt(img, c.x, c.y), c.colour, c.tolerance)) << std::hex << RgbAt(img, c.x, c.y);
    }
}

TEST(Loader, LoadByNameAndErrorTexts) {
    const std::string png = SourcePath("tests/PxImage/pngsuite/basn2c08.png");
    const TempDir dir;
    const std::string bmp = dir / "tiny.bmp", junk = dir / "junk.bin";
    TempDir::Write(bmp, Str(MakeBmp({BmpForm::Info, 1, 1, 24, 0, {}, {1, 2, 3, 0}})));
    TempDir::Write(junk, std::string(100, 0x42));
    struct Case {
        std::string path;
        uint32_t format;
        bool ok;
        uint32_t type;
        std::string error;
    } cases[] = {
        {png, 0, true, PXIMAGE_FORMAT_PNG, ""},
        {png, PXIMAGE_FORMAT_PNG, true, PXIMAGE_FORMAT_PNG, ""},
        {bmp, PXIMAGE_FORMAT_PNG, true, PXIMAGE_FORMAT_BMP, ""},  // the PNG decoder fails, detection finds BMP
        {png, PXIMAGE_FORMAT_JPG, true, PXIMAGE_FORMAT_PNG, ""},
        {junk, 0, false, 0, "Decode: Unknown or wrong format"},
        {junk, PXIMAGE_FORMAT_PNG, false, 0, "Not a PNG file"},  // the given format's own text
        {"/nonexistent/x.png", 0, false, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " " + std::to_string(c.format));
        PxImage img;
        EXPECT_EQ(img.Load(c.path.c_str(), c.format), c.ok);
        EXPECT_EQ(img.IsValid(), c.ok);
        EXPECT_EQ(c.ok ? img.GetType() : 0u, c.type);
        if (!c.ok) {
            EXPECT_EQ(std::string(img.GetLastError()), c.error);
        }
    }
    PxImage byCtor(png.c_str(), 0);
    EXPECT_TRUE(byCtor.IsValid());
}

TEST(Loader, DetectionSeeksBackToTheStartingPositionAndLeavesNoTrace) {
    const Bytes data = Cat({Bytes(7, 0xEE), ReadFile(SourcePath("tests/PxImage/pngsuite/basn0g08.png"))});
    PxMemFile f(data.data(), data.size());
    f.Seek(7, SEEK_SET);
    PxImage img;
    img.SetTransIndex(5);  // the caller's info block reaches the decoder that succeeds
    ASSERT_TRUE(img.Decode(&f, 0)) << img.GetLastError();
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_PNG);
    EXPECT_EQ(img.GetTransIndex(), 5);
    EXPECT_STREQ(img.GetLastError(), "");
    // A failed decode leaves the previous picture in place.
    const Bytes junk(64, 0x11);
    EXPECT_FALSE(DecodeBytes(img, junk));
    EXPECT_TRUE(img.IsValid());
    EXPECT_STREQ(img.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_FALSE(DecodeBytes(img, junk, 12));
    EXPECT_STREQ(img.GetLastError(), "Decode: Unknown or wrong format");
}

TEST(Loader, IOFileSizeKeepsPositionAndNeverClosesACallersStream) {
    const TempDir dir;
    TempDir::Write(dir / "size.bin", std::string(33, 1));
    FILE* fp = std::fopen((dir / "size.bin").c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    {
        PxIOFile f(fp);
        EXPECT_TRUE(f.Seek(5, SEEK_SET));
        EXPECT_EQ(f.Size(), 33);
        EXPECT_EQ(f.Tell(), 5);
        EXPECT_EQ(f.GetC(), 1);
        EXPECT_TRUE(f.Close());
    }
    EXPECT_EQ(std::fgetc(fp), 1) << "the stream is still open";
    std::fclose(fp);
    PxIOFile none;
    EXPECT_EQ(none.Size(), -1);
    EXPECT_TRUE(none.Eof());
    EXPECT_EQ(none.GetC(), -1);
}

// Fields past the bytes at hand read as zero and mark the reader short.
TEST(LeReader, ReportsShortReads) {
    const uint8_t b[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x80};
    PxLeReader r(b, sizeof(b));
    EXPECT_EQ(r.U16(0), 0x0201u);
    EXPECT_EQ(r.U32(1), 0x05040302u);
    EXPECT_EQ(r.I16(4), int16_t(0x8005));
    EXPECT_FALSE(r.Short());
    EXPECT_EQ(r.U32(3), 0u);
    EXPECT_TRUE(r.Short());
    PxLeReader e(b, 5);
    EXPECT_EQ(e.U8(5), 0u);
    EXPECT_EQ(e.U16(SIZE_MAX), 0u);
    EXPECT_TRUE(e.Short());
}

}  // namespace
