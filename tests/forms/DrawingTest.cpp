// The drawing classes, checked pixel by pixel: canvas operations, bitmaps loaded from BMP files.
#include "FormsTestSupport.h"
#include "GdiObject.h"
#include "TempDir.h"

using namespace formstest;

namespace {

// A 32-bit bitmap filled white.
std::unique_ptr<TBitmap> White(int w, int h) {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf32bit);
    b->SetSize(w, h);
    return b;
}

uint32_t At(TBitmap* b, int x, int y) { return Rgb(b->Canvas()->Handle(), x, y); }

// The pixels of a bitmap as text, "/" between rows: '.' white, 'r' red, 'g' green, 'b' blue, 'k' black, '?' else.
std::string Picture(TBitmap* b) {
    return PixelText(b->Width(), b->Height(), [b](int x, int y) {
        uint32_t p = At(b, x, y);
        return p == 0xFFFFFF   ? '.'
               : p == 0xFF0000 ? 'r'
               : p == 0x00FF00 ? 'g'
               : p == 0x0000FF ? 'b'
               : p == 0        ? 'k'
                               : '?';
    });
}

TEST(Canvas, ShapesCopiesAndDrawsPixelByPixel) {
    auto source = White(4, 4);  // red top left, blue bottom right
    source->Canvas()->Brush()->SetColor(clRed);
    source->Canvas()->FillRect(RECT{0, 0, 2, 2});
    source->Canvas()->Brush()->SetColor(clBlue);
    source->Canvas()->FillRect(RECT{2, 2, 4, 4});
    const POINT triangle[] = {{0, 0}, {4, 0}, {0, 4}}, square[] = {{1, 1}, {5, 1}, {5, 4}, {1, 4}};
    struct Case {
        const char* name;
        std::function<void(TCanvas*)> draw;
        const char* picture;
    };
    const Case cases[] = {
        {"FillRect leaves out the right and bottom edges",
         [](TCanvas* c) {
             c->Brush()->SetColor(clRed), c->FillRect(RECT{1, 1, 4, 3});
         },
         "....../.rrr../.rrr../....../......"},
        {"Rectangle: the pen's outline around the brush",
         [](TCanvas* c) { c->Brush()->SetColor(clRed), c->Pen()->SetColor(clBlue), c->Rectangle(0, 0, 5, 4); },
         "bbbbb./brrrb./brrrb./bbbbb./......"},
        {"Rectangle with a clear brush",
         [](TCanvas* c) {
             c->Brush()->SetStyle(bsClear), c->Pen()->SetColor(clBlack), c->Rectangle(RECT{1, 1, 5, 5});
         },
         "....../.kkkk./.k..k./.k..k./.kkkk."},
        {"Polygon: filled triangle with its outline",
         [&](TCanvas* c) { c->Brush()->SetColor(clRed), c->Pen()->SetColor(clBlue), c->Polygon(triangle, 3); },
         "bbbbb./brrb../brb.../bb..../b....."},
        {"Polygon with a clear pen",
         [&](TCanvas* c) { c->Brush()->SetColor(clRed), c->Pen()->SetStyle(psClear), c->Polygon(square, 4); },
         "....../.rrrr./.rrrr./.rrrr./......"},
        {"MoveTo and LineTo leave out the last point",
         [](TCanvas* c) { c->Pen()->SetColor(clBlue), c->MoveTo(0, 2), c->LineTo(5, 2), c->LineTo(5, 0); },
         "....../.....b/bbbbbb/....../......"},
        {"Pixels", [](TCanvas* c) { c->SetPixels(2, 3, clRed), c->SetPixels(0, 0, clBlue); },
         "b...../....../....../..r.../......"},
        {"CopyRect of a part",
         [&](TCanvas* c) {
             c->CopyRect(RECT{1, 0, 4, 3}, source->Canvas(), RECT{1, 1, 4, 4});
         },
         ".r..../..bb../..bb../....../......"},
        {"CopyRect stretched",
         [&](TCanvas* c) {
             c->CopyRect(RECT{0, 0, 4, 2}, source->Canvas(), RECT{0, 0, 4, 4});
         },
         "rr..../..bb../....../....../......"},
        {"Draw at a point", [&](TCanvas* c) { c->Draw(2, 1, source.get()); }, "....../..rr../..rr../....bb/....bb"},
        {"StretchDraw doubles",
         [&](TCanvas* c) {
             c->StretchDraw(RECT{0, 0, 6, 6}, source.get());
         },
         "rrr.../rrr.../rrr.../...bbb/...bbb"},
    };
    for (const Case& c : cases) {
        auto b = White(6, 5);
        c.draw(b->Canvas());
        EXPECT_EQ(Picture(b.get()), c.picture) << c.name;
    }
}

TEST(Canvas, TextBackgroundFollowsTheBrush) {
    auto b = White(60, 20);
    TCanvas* c = b->Canvas();
    c->Font()->SetColor(clBlack);
    auto count = [&](uint32_t rgb) {
        return CountPixels(0, 0, 60, 20, [&](int x, int y) { return At(b.get(), x, y) == rgb; });
    };
    struct Step {
        const char* name;
        std::function<void()> set;
        bool background;
    };
    const Step steps[] = {
        {"solid brush", [&] { c->Brush()->SetColor(clRed); }, true},
        {"clear brush", [&] { c->Brush()->SetStyle(bsClear); }, false},
        {"solid again",
         [&] {
             c->Brush()->SetStyle(bsSolid);
             c->Brush()->SetColor(clRed);
         },
         true},
        {"clear by colour", [&] { c->Brush()->SetColor(clNone); }, false},
        {"solid by colour", [&] { c->Brush()->SetColor(clRed); }, true},
        // A transparent mode set on the DC holds until the brush changes; a new font keeps it.
        {"transparent mode on the DC",
         [&] {
             SetBkMode(c->Handle(), TRANSPARENT);
             c->Font()->SetColor(clGray);
             c->Font()->SetColor(clBlack);
         },
         false},
        {"a changed brush brings its background",
         [&] {
             c->Brush()->SetColor(clLime);
             c->Brush()->SetColor(clRed);
         },
         true},
    };
    for (const Step& s : steps) {
        RECT all{0, 0, 60, 20};
        FillRect(c->Handle(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        s.set();
        c->TextOut(2, 2, "Hi");
        EXPECT_GT(count(0), 5) << s.name << ": the text";
        EXPECT_EQ(count(0xFF0000) > 20, s.background) << s.name << ": the text cell in the brush colour";
        EXPECT_TRUE(s.background || count(0xFF0000) == 0) << s.name;
    }
    SIZE e = c->TextExtent("Hi");
    EXPECT_EQ(std::pair(c->TextWidth("Hi"), c->TextHeight("Hi")), std::pair(e.cx, e.cy));
    EXPECT_GT(c->TextWidth("HiHi"), e.cx);
}

TEST(Bitmap, LoadFromBmpFile) {
    TempDir dir;
    const uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, W = 0xFFFFFF, K = 0x000000;
    using Rows = std::vector<std::vector<uint32_t>>;  // top row first: 0xRRGGBB, or a palette index
    struct Case {
        const char* name;
        int bits;
        bool topDown;
        std::vector<uint32_t> palette;
        Rows rows;
        TPixelFormat format;
        std::string picture;
    };
    const std::vector<Case> cases = {
        {"24-bit bottom-up with row padding", 24, false, {}, {{R, G, B}, {W, K, R}}, pf24bit, "rgb/.kr"},
        {"32-bit top-down", 32, true, {}, {{R, G}, {B, W}}, pf32bit, "rg/b."},
        {"8-bit with a palette", 8, false, {B, R, G}, {{0, 1, 2}, {2, 2, 0}}, pf8bit, "brg/ggb"},
        {"4-bit with a palette",
         4,
         false,
         {K, W, R, G, B, K, K, K, K, K, K, K, K, K, K, K},
         {{4, 2, 1}},
         pf4bit,
         "br."},
        {"1-bit", 1, false, {K, W}, {{1, 0, 1, 0, 0, 0, 0, 0, 1}}, pf1bit, ".k.kkkkk."},
    };
    int64_t before = tikora::gdi::LiveObjectCount();
    for (const Case& c : cases) {
        const int w = static_cast<int>(c.rows[0].size()), h = static_cast<int>(c.rows.size());
        std::string path = dir / (std::to_string(c.bits) + ".bmp");
        WriteBmp(
            path, w, h, c.bits, [&](int x, int y) { return c.rows[static_cast<size_t>(y)][static_cast<size_t>(x)]; },
            c.palette, c.topDown);
        TBitmap b;
        b.LoadFromFile(path.c_str());
        EXPECT_EQ(std::tuple(b.Width(), b.Height(), b.PixelFormat(), Picture(&b)),
                  std::tuple(w, h, c.format, c.picture))
            << c.name;
        const uint32_t t = static_cast<uint32_t>(b.TransparentColor()) & 0xFFFFFF;
        EXPECT_EQ(((t & 0xFF) << 16) | (t & 0xFF00) | (t >> 16), At(&b, 0, h - 1))
            << c.name << ": the bottom-left pixel";
        // Loaded bitmaps draw like any other.
        auto target = White(w, h);
        target->Canvas()->Draw(0, 0, &b);
        EXPECT_EQ(Picture(target.get()), c.picture) << c.name;
    }
    EXPECT_EQ(tikora::gdi::LiveObjectCount(), before);

    // Files that are not bitmaps leave the bitmap as it was.
    std::string bad = dir / "bad.bmp";
    std::ofstream(bad) << "PNG? not a bitmap at all, but long enough to have a header of fifty-four bytes";
    auto keep = White(2, 2);
    EXPECT_THROW(keep->LoadFromFile(bad.c_str()), EInvalidGraphic);
    EXPECT_EQ(keep->Width(), 2);
    EXPECT_ANY_THROW(keep->LoadFromFile((dir / "missing.bmp").c_str()));

    TPicture picture;
    std::string path = dir / "picture.bmp";
    WriteBmp(path, 2, 1, 24, [&](int x, int) { return x ? B : R; });
    picture.LoadFromFile(path.c_str());
    EXPECT_EQ(std::tuple(picture.Width(), At(picture.Bitmap(), 1, 0)), std::tuple(2, B));
}

TEST(Bitmap, PixelFormatConversionsKeepColours) {
    auto b = White(4, 2);
    b->Canvas()->Brush()->SetColor(clRed);
    b->Canvas()->FillRect(RECT{0, 0, 2, 2});
    for (TPixelFormat f : {pf24bit, pf32bit, pf24bit}) {
        b->SetPixelFormat(f);
        EXPECT_EQ(std::tuple(b->PixelFormat(), At(b.get(), 1, 1), At(b.get(), 3, 1)),
                  std::tuple(f, 0xFF0000u, 0xFFFFFFu));
    }
    b->SetSize(6, 3);
    EXPECT_EQ(At(b.get(), 1, 1), 0xFF0000u) << "a new size keeps the common part";
    EXPECT_EQ(At(b.get(), 5, 2), 0xFFFFFFu) << "and fills the rest white";
    TBitmap copy;
    copy.Assign(*b);
    EXPECT_EQ(Picture(&copy), Picture(b.get()));
    HBITMAP h = copy.ReleaseHandle();
    EXPECT_TRUE(copy.Empty());
    TBitmap other;
    other.SetHandle(h);
    EXPECT_EQ(std::pair(other.Width(), At(&other, 0, 0)), std::pair(6, 0xFF0000u));
}

}  // namespace
