#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "PxImage.h"
#include "TestBytes.h"

namespace {

Bytes ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes TinyBmp()
{
    Bytes b;
    Put16(b, 0x4D42);
    Put32(b, 14 + 40 + 4);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, 1);
    Put32(b, 1);
    Put16(b, 1);
    Put16(b, 24);
    for (int i = 0; i < 6; i++)
        Put32(b, 0);
    Append(b, {1, 2, 3, 0});
    return b;
}

std::string TempFile(const std::string& name, const Bytes& data)
{
    const char* dir = std::getenv("TIKORA_TEST_TMP");
    std::string path = std::string(dir ? dir : "/tmp") + "/pximage_" + name;
    std::string mk = "mkdir -p '" + std::string(dir ? dir : "/tmp") + "'";
    (void)!std::system(mk.c_str());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                static_cast<std::streamsize>(data.size()));
    return path;
}

TEST(Loader, DetectionAndErrorTexts)
{
    const std::string png = SourcePath("tests/PxImage/pngsuite/basn2c08.png");
    const std::string bmp = TempFile("tiny.bmp", TinyBmp());
    const std::string junk = TempFile("junk.bin", Bytes(100, 0x42));
    struct Case {
        std::string path;
        uint32_t format;
        bool ok;
        uint32_t type;
        std::string error;
    };
    const Case cases[] = {
        {png, 0, true, PXIMAGE_FORMAT_PNG, ""},
        {png, PXIMAGE_FORMAT_PNG, true, PXIMAGE_FORMAT_PNG, ""},
        {bmp, PXIMAGE_FORMAT_PNG, true, PXIMAGE_FORMAT_BMP, ""},     // the PNG decoder fails, detection finds BMP
        {png, PXIMAGE_FORMAT_JPG, true, PXIMAGE_FORMAT_PNG, ""},
        {junk, 0, false, 0, "Decode: Unknown or wrong format"},
        {junk, PXIMAGE_FORMAT_PNG, false, 0, "Not a PNG file"},        // the given format's own text
        {"/nonexistent/x.png", 0, false, 0, ""},
    };
    for (const Case& c : cases) {
        PxImage img;
        EXPECT_EQ(img.Load(c.path.c_str(), c.format), c.ok) << c.path << " " << c.format;
        EXPECT_EQ(img.IsValid(), c.ok);
        if (c.ok)
            EXPECT_EQ(img.GetType(), c.type);
        else
            EXPECT_EQ(std::string(img.GetLastError()), c.error) << c.path << " " << c.format;
    }
    PxImage byCtor(png.c_str(), 0);
    EXPECT_TRUE(byCtor.IsValid());
}

TEST(Loader, DetectionSeeksBackToTheStartingPositionAndLeavesNoTrace)
{
    Bytes data(7, 0xEE);
    Append(data, ReadAll(SourcePath("tests/PxImage/pngsuite/basn0g08.png")));
    PxMemFile f(data.data(), data.size());
    f.Seek(7, SEEK_SET);
    PxImage img;
    img.SetTransIndex(5);  // the caller's info block reaches the decoder that succeeds
    ASSERT_TRUE(img.Decode(&f, 0)) << img.GetLastError();
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_PNG);
    EXPECT_EQ(img.GetTransIndex(), 5);
    EXPECT_STREQ(img.GetLastError(), "");

    // A failed decode leaves the previous picture in place.
    Bytes junk(64, 0x11);
    EXPECT_FALSE(DecodeBytes(img, junk));
    EXPECT_TRUE(img.IsValid());
    EXPECT_STREQ(img.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_FALSE(DecodeBytes(img, junk, 12));
    EXPECT_STREQ(img.GetLastError(), "Decode: Unknown or wrong format");
}

TEST(Loader, IOFileSizeKeepsPositionAndNeverClosesACallersStream)
{
    std::string path = TempFile("size.bin", Bytes(33, 1));
    FILE* fp = std::fopen(path.c_str(), "rb");
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

}  // namespace
