#include <climits>
#include <functional>

#include "PictureFiles.h"
#include "PxImageEXIF.h"

namespace {

using Reader = PxImageJPG::PxExifInfo;

const Bytes kSoi = {0xFF, 0xD8};
const Bytes kScan = Segment(0xDA, {1, 1, 0, 0, 63, 0});

Bytes Stream(std::initializer_list<Bytes> parts) {
    Bytes b = kSoi;
    for (const Bytes& p : parts) Append(b, p);
    return b;
}

Bytes App1(const Bytes& block) { return Segment(0xE1, block); }

struct Scan {
    bool ok;
    std::string printed;
};

Scan ReadAll(Reader& reader, const Bytes& data, int32_t mode = Reader::READ_EXIF) {
    PxMemFile f(data.data(), data.size());
    testing::internal::CaptureStdout();
    bool ok = reader.ReadSections(&f, mode);
    return {ok, testing::internal::GetCapturedStdout()};
}

// Reads a JPEG head whose only APP1 section holds the block.
void ReadBlock(Reader& reader, const Bytes& block) { ReadAll(reader, Stream({App1(block), kScan})); }

}  // namespace

// Values spread over the EXIF sub-directory, the interoperability directory and the thumbnail's
// directory; precedence and derived values need them together.
TEST(ExifReader, LinkedDirectories) {
    std::vector<ExifDir> dirs(4);
    dirs[0].entries = {Text(0x010F, "Tikora Cam"), Rational(0x011A, 300, 1), Short(0x0128, 2), SubDir(0x8769, 1)};
    dirs[0].next = 2;
    Bytes comment = {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'H', 'e', 'l', 'l', 'o', ' ', ' ', ' '};
    dirs[1].entries = {Rational(0x829A, 1, 250),
                       Rational(0x829D, 28, 10),
                       Short(0x8827, 2),
                       Text(0x9000, "0220", 7),
                       Rational(0x9201, 7, 1, 10),
                       Rational(0x9202, 4, 1),
                       Rational(0x9203, 0xFFFFFFFF, 2, 10),
                       Short(0x9209, 0x19),
                       ExifEntry{0x9286, 7, 16, comment},
                       Long(0xA002, 2000),
                       Long(0xA003, 1500),
                       SubDir(0xA005, 3),
                       Rational(0xA20E, 4000, 1),
                       Short(0xA210, 2)};
    dirs[2].entries = {Long(0x0201, 8), Long(0x0202, 10)};

    Reader reader(nullptr);
    ReadBlock(reader, MakeExifBlock(dirs, true));
    const PXEXIFDATA& r = *reader.GetExifData();
    EXPECT_TRUE(r.IsExif) << reader.GetLastError();
    EXPECT_STREQ(reader.GetLastError(), "");
    EXPECT_STREQ(r.Make, "Tikora Cam");
    EXPECT_FLOAT_EQ(r.XResolution, 300);
    EXPECT_FLOAT_EQ(r.ExposureTime, 1.0f / 250);  // ShutterSpeedValue does not override it
    EXPECT_FLOAT_EQ(r.FNumber, 2.8f);             // nor ApertureValue the f-number
    EXPECT_EQ(r.IsoSpeed, 400);
    EXPECT_STREQ(r.ExifVersion, "0220");
    EXPECT_FLOAT_EQ(r.Brightness, -0.5f);
    EXPECT_EQ(r.FlashUsed, 1);
    EXPECT_STREQ(r.Comment, "Hello");
    EXPECT_FLOAT_EQ(r.CcdWidth, 0.5f);
    ASSERT_NE(r.ThumbnailPointer, nullptr);
    EXPECT_EQ(r.ThumbnailSize, 10u);
    EXPECT_EQ(r.ThumbnailPointer[1], 4);  // the first directory's entry count, high byte first
}

TEST(ExifReader, NumbersAndDerivedValues) {
    using R = const PXEXIFDATA&;
    struct Case {
        const char* name;
        std::vector<ExifEntry> entries;
        std::function<void(R)> check;
        const char* error = "";
    };
    const Case cases[] = {
        {"shutter speed alone", {Rational(0x9201, 7, 1, 10)}, [](R r) { EXPECT_FLOAT_EQ(r.ExposureTime, 1.0f / 128); }},
        {"aperture without f-number", {Rational(0x9202, 4, 1)}, [](R r) { EXPECT_FLOAT_EQ(r.FNumber, 4); }},
        {"maximum aperture", {Rational(0x9205, 2, 1)}, [](R r) { EXPECT_FLOAT_EQ(r.FNumber, 2); }},
        {"iso 50 stays", {Short(0x8827, 50)}, [](R r) { EXPECT_EQ(r.IsoSpeed, 50); }},
        {"most negative iso saturates", {Long(0x8827, 0x80000000u, 9)}, [](R r) { EXPECT_EQ(r.IsoSpeed, INT32_MIN); }},
        {"rational past 2^31", {Rational(0x011A, 3000000000u, 1)}, [](R r) { EXPECT_FLOAT_EQ(r.XResolution, 3e9f); }},
        {"float", {Long(0x920A, 0x420E0000u, 11)}, [](R r) { EXPECT_FLOAT_EQ(r.FocalLength, 35.5f); }},
        {"double",
         {ExifEntry{0x920A, 12, 1, Le32s({0, 0x3FF40000})}},
         [](R r) { EXPECT_FLOAT_EQ(r.FocalLength, 1.25f); }},
        {"signed short", {ExifEntry{0x8822, 8, 1, {0xFD, 0xFF}}}, [](R r) { EXPECT_EQ(r.ExposureProgram, -3); }},
        {"signed byte", {ExifEntry{0x9207, 6, 1, {0xFE}}}, [](R r) { EXPECT_EQ(r.MeteringMode, -2); }},
        {"value without components", {ExifEntry{0x011A, 5, 0, {}}}, [](R r) { EXPECT_EQ(r.XResolution, 0); }},
        {"orientation 8", {Short(0x0112, 8)}, [](R r) { EXPECT_EQ(r.Orientation, 8); }},
        {"orientation 9",
         {Short(0x0112, 9), Text(0x0110, "Still read")},
         [](R r) {
             EXPECT_EQ(r.Orientation, 0);
             EXPECT_STREQ(r.Model, "Still read");
         },
         "Undefined rotation value"},
        {"long make is cut",
         {Text(0x010F, std::string(50, 'm'))},
         [](R r) { EXPECT_EQ(r.Make, std::string(31, 'm')); }},
        {"plain user comment", {Text(0x9286, "Plain words  ", 7)}, [](R r) { EXPECT_STREQ(r.Comment, "Plain words"); }},
        {"blank ASCII user comment", {Text(0x9286, "ASCII     ", 7)}, [](R r) { EXPECT_STREQ(r.Comment, ""); }},
        {"centimetres", {Short(0x0128, 3)}, [](R r) { EXPECT_FLOAT_EQ(r.ResolutionUnit, 0.3937f); }},
        {"millimetres", {Short(0xA210, 4)}, [](R r) { EXPECT_FLOAT_EQ(r.FocalPlaneUnit, 0.03937f); }},
        {"flash not fired", {Short(0x9209, 0x10)}, [](R r) { EXPECT_EQ(r.FlashUsed, 0); }},
    };
    for (const Case& c : cases) {
        for (bool bigEndian : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (bigEndian ? " MM" : " II"));
            Reader reader(nullptr);
            ReadBlock(reader, MakeExifBlock({ExifDir{c.entries}}, bigEndian));
            EXPECT_TRUE(reader.GetExifData()->IsExif);
            EXPECT_STREQ(reader.GetLastError(), c.error);
            c.check(*reader.GetExifData());
        }
    }
}

TEST(ExifReader, DamagedBlocks) {
    auto block = [](std::vector<ExifDir> dirs) { return MakeExifBlock(std::move(dirs), false); };
    Bytes badAlign = block({ExifDir{}});
    badAlign[6] = badAlign[7] = 'X';
    Bytes longCount = block({ExifDir{{Short(0x0112, 1)}}});
    longCount[14] = 0xFF;  // the first directory claims 255 entries
    Bytes firstOffsetBeyond = block({ExifDir{}});
    firstOffsetBeyond[10] = 0xF0;
    std::vector<ExifDir> selfLinked(2);
    selfLinked[0].entries = {SubDir(0x8769, 1), Short(0x0112, 3)};
    selfLinked[0].next = 0;
    selfLinked[1].entries = {SubDir(0x8769, 1)};
    selfLinked[1].next = 1;
    std::vector<ExifDir> subBad(2);
    subBad[0].entries = {SubDir(0x8769, 1), Text(0x010F, "Kept")};
    subBad[1].entries = {ExifEntry{0x829A, 13, 1, {1, 0, 0, 0}}};
    std::vector<ExifDir> thumbBeyond(1);
    thumbBeyond[0].entries = {Long(0x0201, 8), Long(0x0202, 4000)};
    ExifDir linkBeyond;
    linkBeyond.nextOverride = 0x7000;
    ExifDir subBeyond{{Long(0x8769, 0x7000)}};

    struct Case {
        const char* name;
        Bytes block;
        bool exif;
        const char* error;
    };
    const Case cases[] = {
        {"start 0x2B", MakeExifBlock({ExifDir{}}, false, 0x2B), false, "Invalid Exif start (1)"},
        {"alignment", badAlign, false, "Invalid Exif alignment marker."},
        {"header", {'E', 'x', 'i', 'f', 1, 0, 'I', 'I'}, false, "Incorrect Exif header"},
        {"header only", {'E', 'x', 'i', 'f', 0, 0}, false, "Invalid Exif alignment marker."},
        {"no directory", {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0}, false, "Illegally sized directory"},
        {"entries beyond the block", longCount, false, "Illegally sized directory"},
        {"format 13", block({ExifDir{{ExifEntry{0x010F, 13, 1, {'a', 0, 0, 0}}}}}), false,
         "Illegal format code in EXIF dir"},
        {"format 13 in the sub-directory", block(subBad), true, "Illegal format code in EXIF dir"},
        {"value beyond the block", block({ExifDir{{ExifEntry{0x010F, 2, 1000, {}}}}}), false,
         "Illegal pointer offset value in EXIF."},
        {"byte count beyond 32 bits", block({ExifDir{{ExifEntry{0x011A, 5, 0x40000000u, {}}}}}), false,
         "Illegal pointer offset value in EXIF."},
        {"sub-directory beyond the block", block({subBeyond}), false, "Illegal subdirectory link"},
        {"next directory beyond the block", block({linkBeyond}), false, "Illegal subdirectory link"},
        {"empty directory", block({ExifDir{}}), true, ""},
        {"first offset beyond the block", firstOffsetBeyond, true, ""},
        {"directory linked to itself", block(selfLinked), true, ""},
        {"thumbnail beyond the block", block(thumbBeyond), true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reader reader(nullptr);
        ReadBlock(reader, c.block);
        const PXEXIFDATA& r = *reader.GetExifData();
        EXPECT_EQ(r.IsExif, c.exif);
        EXPECT_STREQ(reader.GetLastError(), c.error);
        EXPECT_EQ(r.ThumbnailPointer, nullptr);
    }
    Reader reader(nullptr);
    ReadBlock(reader, block(subBad));
    EXPECT_STREQ(reader.GetExifData()->Make, "Kept");
    ReadBlock(reader, block(selfLinked));
    EXPECT_EQ(reader.GetExifData()->Orientation, 3);
}

TEST(ExifReader, SectionScan) {
    Bytes manySections = kSoi;
    for (int i = 0; i < 21; i++) Append(manySections, Segment(0xDB, {0}));
    // The scan segment brings the last 0xFF before its code.
    Bytes padded6 = Stream({{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, kScan});
    Bytes padded7 = Stream({{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, kScan});
    Bytes withRest = Stream({kScan, {1, 2, 3, 4, 5}});
    Bytes comments =
        Stream({Segment(0xFE, {'a', '\r', '\n', 'b', 1}), Segment(0xFE, {'x'}), Segment(0xE0, {'J'}), kScan});

    struct Case {
        const char* name;
        Bytes data;
        int32_t mode;
        bool ok;
        const char* error;
        const char* printed;
        int32_t sections;
    };
    const Case cases[] = {
        {"png", {0x89, 'P', 'N', 'G', 0xFF, 0xD8}, 1, false, "", "", 0},
        {"twenty-one sections", manySections, 1, false, "Too many sections in jpg file", "", 20},
        {"six padding bytes", padded6, 1, true, "", "", 1},
        {"seven padding bytes", padded7, 1, false, "", "too many padding bytes\n", 0},
        {"length below 2", Stream({{0xFF, 0xDB, 0, 1}}), 1, false, "invalid marker", "", 0},
        {"end of stream", kSoi, 1, false, "invalid marker", "", 0},
        {"short section", Stream({{0xFF, 0xDB, 0, 100, 1, 2}}), 1, false, "Premature end of file?", "", 0},
        {"end of image", Stream({{0xFF, 0xD9, 0, 2}}), 1, false, "", "No image in jpeg!\n", 1},
        {"comments", comments, 1, true, "", "", 2},
        {"frame header too short", Stream({Segment(0xC0, {8, 0}), kScan}), 1, true, "", "", 2},
        {"image data kept", withRest, 3, true, "", "", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reader reader(nullptr);
        PxMemFile f(c.data.data(), c.data.size());
        testing::internal::CaptureStdout();
        EXPECT_EQ(reader.ReadSections(&f, c.mode), c.ok);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_STREQ(reader.GetLastError(), c.error);
        EXPECT_EQ(reader.GetSectionCount(), c.sections);
        if (std::string(c.name) == "png") {
            EXPECT_EQ(f.Tell(), 1);
        }
    }

    Reader commented(nullptr);
    ReadAll(commented, comments);
    EXPECT_STREQ(commented.GetExifData()->Comment, "a\nb?");

    Reader rest(nullptr);
    ReadAll(rest, withRest, Reader::READ_EXIF | Reader::READ_IMAGE);
    EXPECT_EQ(rest.GetSectionType(1), Reader::M_IMAGE_DATA);
    EXPECT_EQ(rest.GetSectionSize(1), 5u);

    for (int components : {1, 3}) {
        JpegShape shape{.width = 33, .height = 17, .components = components, .progressive = true};
        if (components == 1) shape.quadrants = {{{0}, {0}, {0}, {0}}};
        Reader frame(nullptr);
        EXPECT_TRUE(ReadAll(frame, MakeJpeg(shape)).ok);
        const PXEXIFDATA& r = *frame.GetExifData();
        EXPECT_EQ(r.Width, 33);
        EXPECT_EQ(r.Height, 17);
        EXPECT_EQ(r.IsColor, components == 3 ? 1 : 0);
        EXPECT_EQ(r.Process, 0xC2);
    }
}
