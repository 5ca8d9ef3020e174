#include "ControlsTestUtil.h"
#include "Graphicsex.h"

using namespace ctest;
using tikora::controls::QuadPixels;
using tikora::controls::WalkQuad;

namespace {

constexpr Rgb kBack = 0x102030, kInk = 0xC00000, kGuard = 0xABCDEF;

// Raw 32-bit pixels with guard rows above and below and guard columns on both sides, so a walk
// that strays outside the destination (or reads outside the source) shows up.
struct GuardedPixels {
    static constexpr int kPad = 4;
    int w, h;
    std::vector<uint32_t> mem;
    GuardedPixels(int width, int height, const PixelFn& px = Solid(kBack))
        : w(width), h(height), mem(static_cast<size_t>((width + 2 * kPad) * (height + 2 * kPad)), kGuard) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) at(x, y) = px(x, y);
    }
    uint32_t& at(int x, int y) { return mem[static_cast<size_t>((y + kPad) * (w + 2 * kPad) + x + kPad)]; }
    QuadPixels View() {
        return QuadPixels{reinterpret_cast<uint8_t*>(&at(0, 0)), w, h, static_cast<ptrdiff_t>(w + 2 * kPad) * 4};
    }
    bool GuardsIntact() {
        return formstest::CountPixels(-kPad, -kPad, w + kPad, h + kPad, [&](int x, int y) {
                   return (x < 0 || y < 0 || x >= w || y >= h) && at(x, y) != kGuard;
               }) == 0;
    }
    // '#' where the pixel differs from the background.
    std::string Rows() {
        return formstest::PixelText(w, h, [&](int x, int y) { return at(x, y) == kBack ? '.' : '#'; });
    }
};

}  // namespace

// Shapes drawn with a uniform source: which destination pixels each row gets.
TEST(QuadDrawing, ShapesCoverTheExpectedSpans) {
    struct Case {
        const char* name;
        int corners[8];
        int w, h;
        std::string rows;
    };
    const std::string diamond =
        "........./...###.../..#####../.#######./#########/.#######./..#####../...###.../.........";
    const std::vector<Case> cases = {
        // The lowest corners' row is not drawn; each span covers n + 1 pixels.
        {"rectangle", {1, 1, 5, 1, 5, 4, 1, 4}, 7, 6, "......./.#####./.#####./.#####./......./......."},
        // The apex rows, where both sides meet in a point, draw nothing.
        {"diamond", {4, 0, 8, 4, 4, 8, 0, 4}, 9, 9, diamond},
        // Corners given anticlockwise draw the same diamond, spans walked right to left.
        {"mirrored diamond", {4, 0, 0, 4, 4, 8, 8, 4}, 9, 9, diamond},
        {"partly above and left", {-3, -3, 2, -3, 2, 2, -3, 2}, 4, 4, "###./###./..../...."},
        {"partly right and below", {2, 2, 7, 2, 7, 7, 2, 7}, 4, 4, "..../..../..##/..##"},
        {"top at the height", {0, 4, 3, 4, 3, 8, 0, 8}, 4, 4, "..../..../..../...."},
        {"top far below", {0, 90, 3, 90, 3, 99, 0, 99}, 4, 4, "..../..../..../...."},
        {"flat line", {0, 2, 3, 2, 3, 2, 0, 2}, 4, 4, "..../..../..../...."},
        // Corners beyond the 16-bit range cover the whole destination.
        {"huge", {-40000, -40000, 40000, -40000, 40000, 40000, -40000, 40000}, 5, 3, "#####/#####/#####"},
        // A span running right to left that starts past the width keeps its visible pixels.
        {"reversed span from past the width", {9, 0, 2, 0, 2, 3, 9, 3}, 6, 4, "..####/..####/..####/......"},
    };
    for (const Case& c : cases) {
        GuardedPixels dest(c.w, c.h);
        GuardedPixels src(4, 4, Solid(kInk));
        WalkQuad(dest.View(), c.corners, src.View(), false, 0, 0xFFFFFF, nullptr);
        EXPECT_EQ(dest.Rows(), c.rows) << c.name;
        EXPECT_TRUE(dest.GuardsIntact()) << c.name;
    }
}

// Which source pixel lands where: identity, mirror, key colour, source rectangles.
TEST(QuadDrawing, SourceMapping) {
    auto gradient = [](int x, int y) -> Rgb {
        return 0x010000u * static_cast<uint32_t>(y + 1) + static_cast<uint32_t>(x + 1);
    };

    const RECT big{0, 0, 8, 8}, part{2, 1, 5, 4};
    struct Case {
        const char* name;
        int w, h, sw, sh;
        PixelFn source;
        int corners[8];
        const RECT* rect;
        PixelFn expected;
    };
    const Case cases[] = {
        {"row i of the source to row i, column j to column j, all but the last row",
         6,
         5,
         6,
         5,
         gradient,
         {0, 0, 5, 0, 5, 4, 0, 4},
         nullptr,
         [&](int x, int y) { return y < 4 ? gradient(x, y) : kBack; }},
        {"p0 on the right mirrors the picture; the span starts past the width",
         6,
         3,
         10,
         3,
         gradient,
         {9, 0, 0, 0, 0, 2, 9, 2},
         nullptr,
         [&](int x, int y) { return y < 2 ? gradient(9 - x, y) : kBack; }},
        {"white is see-through; white with a 4th byte is not the key",
         3,
         3,
         3,
         3,
         [](int x, int) -> Rgb { return x == 0   ? 0xFFFFFF
                                        : x == 1 ? 0x01FFFFFF
                                                 : kInk; },
         {0, 0, 2, 0, 2, 2, 0, 2},
         nullptr,
         [](int x, int y) -> Rgb { return y == 2 || x == 0 ? kBack
                                          : x == 1         ? 0x01FFFFFF
                                                           : kInk; }},
        {"a source rectangle past the source draws only where there are source pixels",
         8,
         8,
         4,
         4,
         gradient,
         {0, 0, 7, 0, 7, 7, 0, 7},
         &big,
         [&](int x, int y) { return x < 4 && y < 4 ? gradient(x, y) : kBack; }},
        {"a rectangle of the source: its corners go to the shape's corners",
         3,
         3,
         6,
         6,
         gradient,
         {0, 0, 2, 0, 2, 2, 0, 2},
         &part,
         [&](int x, int y) { return y < 2 ? gradient(x + 2, y + 1) : kBack; }},
    };
    for (const Case& c : cases) {
        GuardedPixels dest(c.w, c.h);
        GuardedPixels src(c.sw, c.sh, c.source);
        WalkQuad(dest.View(), c.corners, src.View(), false, 0, 0xFFFFFF, c.rect);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                EXPECT_EQ(dest.at(x, y), c.expected(x, y)) << c.name << " at " << x << "," << y;
        EXPECT_TRUE(dest.GuardsIntact()) << c.name;
    }
}

TEST(QuadDrawing, ShadingAndPixelFormats) {
    // -64 on (10, 100, 200) gives (0, 36, 136); the 4th byte stays; key pixels leave it alone.
    GuardedPixels dest(3, 3, Solid(0x0A64C8));
    dest.at(1, 0) = 0x550A64C8;
    dest.at(1, 1) = 0xF0F0F0;
    GuardedPixels src(3, 3, [](int x, int) -> Rgb { return x == 2 ? 0xFFFFFF : 0; });
    int corners[8] = {0, 0, 2, 0, 2, 2, 0, 2};
    WalkQuad(dest.View(), corners, src.View(), true, -64, 0xFFFFFF, nullptr);
    EXPECT_EQ(std::tuple(dest.at(0, 0), dest.at(1, 0), dest.at(2, 0)), std::tuple(0x002488u, 0x55002488u, 0x0A64C8u));
    WalkQuad(dest.View(), corners, src.View(), true, 100, 0xFFFFFF, nullptr);
    EXPECT_EQ(dest.at(1, 1), 0xFFFFFFu) << "clamped at 255";

    // Through TBitmap: 32-bit bitmaps draw, anything else draws nothing.
    struct Case {
        TPixelFormat dest, source;
        bool draws;
    };
    for (Case c : {Case{pf32bit, pf32bit, true}, Case{pf24bit, pf32bit, false}, Case{pf32bit, pf24bit, false},
                   Case{pf8bit, pf8bit, false}}) {
        TBitmap d, s;
        d.SetPixelFormat(c.dest), d.SetSize(4, 4), s.SetPixelFormat(c.source), s.SetSize(4, 4);
        s.Canvas()->Brush()->SetColor(clRed);
        s.Canvas()->FillRect(RECT{0, 0, 4, 4});
        int corners[8] = {0, 0, 3, 0, 3, 3, 0, 3};
        DrawBitmapToQuad(&d, corners, &s, 0xFFFFFF, nullptr);
        EXPECT_EQ(FromColorRef(GetPixel(d.Canvas()->Handle(), 1, 1)), c.draws ? 0xFF0000u : 0xFFFFFFu)
            << c.dest << "/" << c.source;
        ShadeBitmapToQuad(&d, corners, &s, -64, 0xFFFFFF, nullptr);
        EXPECT_EQ(FromColorRef(GetPixel(d.Canvas()->Handle(), 2, 2)), c.draws ? 0xBF0000u : 0xFFFFFFu)
            << c.dest << "/" << c.source;
    }
}
