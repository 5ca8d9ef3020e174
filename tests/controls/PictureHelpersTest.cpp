#include "ControlsTestUtil.h"
#include "Createregion.h"
#include "Picutils.h"

using namespace ctest;

namespace {

// A 24-bit bitmap from rows of characters: '.' is white, 'b' pure blue, 'n' almost white
// (255, 255, 254), 'f' the button-face system colour, anything else black.
void Fill(TBitmap& b, const std::vector<std::string>& rows) {
    b.SetPixelFormat(pf24bit);
    b.SetSize(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x) {
            char c = rows[y][x];
            COLORREF col = c == '.'   ? RGB(255, 255, 255)
                           : c == 'b' ? RGB(0, 0, 255)
                           : c == 'n' ? RGB(255, 255, 254)
                           : c == 'f' ? GetSysColor(COLOR_BTNFACE)
                                      : RGB(0, 0, 0);
            SetPixel(b.Canvas()->Handle(), static_cast<int>(x), static_cast<int>(y), col);
        }
}

}  // namespace

TEST(CreateRegion, ShapeFromKeyColour) {
    // The region read back as rows of characters, '#' inside; empty: no region at all.
    struct Case {
        const char* name;
        std::vector<std::string> picture;
        TColor key;
        int offset;
        std::string region;
    };
    const std::vector<Case> cases = {
        {"only key pixels", {"...", "..."}, clWhite, 0, ""},
        {"no key pixel, shifted", {"xx", "xx"}, clWhite, 2, "..##/..##"},
        {"runs, last column included", {".x.x", "xx..", "...x"}, clWhite, 0, ".#.#/##../...#"},
        {"almost white is shape", {".n."}, clWhite, 0, ".#."},
        {"blue key matches pure blue only", {"bxb."}, clBlue, 0, ".#.#"},
        {"system colour key", {"ffx."}, clBtnFace, 1, "...##"},
    };
    for (const Case& c : cases) {
        TBitmap b;
        Fill(b, c.picture);
        b.SetPixelFormat(pf32bit);
        HRGN rgn = CreateRegion(&b, c.key, c.offset);
        EXPECT_EQ(b.PixelFormat(), pf24bit) << c.name;
        if (c.region.empty()) {
            EXPECT_EQ(rgn, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(rgn, nullptr) << c.name;
        const int w = static_cast<int>(c.picture[0].size()) + c.offset, h = static_cast<int>(c.picture.size());
        EXPECT_EQ(formstest::PixelText(w, h, [&](int x, int y) { return PtInRegion(rgn, x, y) ? '#' : '.'; }), c.region)
            << c.name;
        RECT box;
        GetRgnBox(rgn, &box);
        EXPECT_LE(box.bottom, h) << c.name;
        DeleteObject(rgn);
    }
}

TEST(PictureLoaders, LoadsAndReports) {
    TempDir dir;
    const std::string png = dir / "alpha.png", bmp8 = dir / "pal.bmp", junk = dir / "junk.png";
    WritePng(
        png, 3, 2, [](int x, int) -> Rgb { return x == 0 ? 0xFF0000 : 0x00FF00; },
        [](int x, int) -> uint8_t { return x == 2 ? 0 : 255; });
    WriteBmp(bmp8, 4, 2, 8, [](int x, int) -> Rgb { return x % 3; }, {0x000000, 0x336699, 0xFFFFFF});
    std::ofstream(junk, std::ios::binary) << "not a picture at all";

    // A missing file, or one no decoder takes, is reported as missing: the message names the file, the
    // unit and the routine, and the bitmap stays as it was.
    for (const std::string& name : {dir / "missing.png", junk}) {
        TBitmap b;
        b.SetSize(2, 2);
        HBITMAP before = b.Handle();
        EXPECT_EQ(ErrorOf([&] { LoadImageToBitmap(&b, name.c_str()); }),
                  "File not found:" + name + " src=PicUtils:LoadImageToBitmap:179");
        EXPECT_EQ(b.Handle(), before) << name;
    }
    TPicture none;
    EXPECT_EQ(ErrorOf([&] { LoadImageToPicture(&none, ""); }), "File not found: src=PicUtils:LoadImageToPicture:192");
    {  // PNG with alpha: the colours at 24 bits, the alpha dropped; the old bitmap is freed.
        TBitmap b;
        b.SetSize(5, 5);
        HBITMAP old = b.Handle();
        LoadImageToBitmap(&b, png.c_str());
        EXPECT_EQ(GetObjectType(old), 0u);
        EXPECT_EQ(std::tuple(b.Width(), b.Height(), b.PixelFormat()), std::tuple(3, 2, pf24bit));
        EXPECT_EQ(FromColorRef(GetPixel(b.Canvas()->Handle(), 0, 1)), 0xFF0000u);
        EXPECT_EQ(FromColorRef(GetPixel(b.Canvas()->Handle(), 2, 0)), 0x00FF00u);
    }
    {  // 8-bit BMP keeps its palette; a picture gets a bitmap; Windows-style separators work.
        TPicture p;
        std::string windowsStyle = bmp8;
        windowsStyle.replace(windowsStyle.rfind('/'), 1, "\\");
        LoadImageToPicture(&p, windowsStyle.c_str());
        ASSERT_NE(p.Graphic(), nullptr);
        EXPECT_EQ(p.Bitmap()->PixelFormat(), pf8bit);
        EXPECT_EQ(FromColorRef(GetPixel(p.Bitmap()->Canvas()->Handle(), 1, 0)), 0x336699u);
    }
}
