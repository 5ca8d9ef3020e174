#include "PictureFiles.h"
#include "PxImageWMF.h"

namespace {

uint32_t WindowRgb() {
    const COLORREF c = GetSysColor(COLOR_WINDOW);
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

using WmfDecoder = GdiTest;

// ---- records of the families beyond shapes ----------------------------------------------------

// Bytes as 16-bit words, padded with a zero byte.
std::vector<uint16_t> Words(Bytes b) {
    if (b.size() % 2) b.push_back(0);
    std::vector<uint16_t> w;
    for (size_t i = 0; i < b.size(); i += 2) w.push_back(static_cast<uint16_t>(b[i] | (b[i + 1] << 8)));
    return w;
}
std::vector<uint16_t> operator+(std::vector<uint16_t> a, const std::vector<uint16_t> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// Arc, pie or chord: box, then start and end points, stored backwards.
WmfRecord WmfArc(uint16_t function, int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
    return {function, {W(ye), W(xe), W(ys), W(xs), W(b), W(r), W(t), W(l)}};
}
// A packed DIB: 40-byte header, colours, rows from the top (turned bottom-up unless topDown).
Bytes PackedDib(uint16_t bits, int32_t w, const Rows &rows, const Palette &pal = {}, bool topDown = false) {
    const int32_t h = static_cast<int32_t>(rows.size());
    Bytes px = DibRows(bits, static_cast<uint32_t>(w), rows);
    if (topDown) {
        const size_t stride = px.size() / rows.size();
        Bytes flipped;
        for (size_t r = rows.size(); r-- > 0;)
            flipped.insert(flipped.end(), px.begin() + r * stride, px.begin() + (r + 1) * stride);
        px = flipped;
    }
    Bytes colours;
    for (uint32_t c : pal) Append(colours, Bgra(c, 0));
    return Cat({Le32s({40, uint32_t(w), uint32_t(topDown ? -h : h)}), Le16s({1, bits}),
                Le32s({0, 0, 0, 0, uint32_t(pal.size()), 0}), colours, px});
}
// An enhanced record of 32-bit words, with more bytes after them.
Bytes EmfRec(uint32_t type, std::initializer_list<uint32_t> words, const Bytes &more = {}) {
    Bytes body = Cat({Le32s(words), more});
    while (body.size() % 4) body.push_back(0);
    return Cat({Le32s({type, 8 + static_cast<uint32_t>(body.size())}), body});
}
Bytes EmfBrush(uint32_t index, uint32_t color) { return EmfRec(39, {index, 0, color, 0}); }
Bytes EmfSelect(uint32_t index) { return EmfRec(37, {index}); }
const uint32_t kNullPen = 0x80000008u;

// Rows x 2 of a 2 x 2 picture: red, green on top; blue, white below.
const Rows kQuad = {{0xFF0000, 0x00FF00}, {0x0000FF, 0xFFFFFF}};

// The box around pixels of a colour (within a tolerance); right and bottom exclusive.
struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
};
Box BoxOf(const PxImage &img, uint32_t colour, int tolerance = 0) {
    Box b;
    for (int y = 0; y < int(img.GetHeight()); y++)
        for (int x = 0; x < int(img.GetWidth()); x++)
            if (NearRgb(RgbAt(img, x, y), colour, tolerance)) {
                b.left = std::min(b.left, x), b.top = std::min(b.top, y);
                b.right = std::max(b.right, x + 1), b.bottom = std::max(b.bottom, y + 1), b.count++;
            }
    return b;
}

struct Probe {
    int x, y;
    uint32_t rgb;  // kWindow: the background left alone
};
constexpr uint32_t kWindow = 0x1000000;
// Or'ed to a colour: that colour at the point or one of its eight neighbours (thin outlines).
constexpr uint32_t kNear = 0x2000000;
void ExpectProbes(const PxImage &img, const std::vector<Probe> &probes, const std::string &name) {
    const COLORREF c = GetSysColor(COLOR_WINDOW);
    const uint32_t window = (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
    for (const Probe &p : probes) {
        const uint32_t want = p.rgb == kWindow ? window : p.rgb & 0xFFFFFF;
        bool found = RgbAt(img, p.x, p.y) == want;
        for (int dy = -1; dy <= 1 && (p.rgb & kNear); dy++)
            for (int dx = -1; dx <= 1; dx++) found = found || RgbAt(img, p.x + dx, p.y + dy) == want;
        EXPECT_TRUE(found) << name << " at " << p.x << "," << p.y << ": " << std::hex << RgbAt(img, p.x, p.y);
    }
}

struct Drawing {
    const char *name;
    Bytes file;
    std::vector<Probe> probes;
};
void ExpectDrawings(const std::vector<Drawing> &cases) {
    for (const Drawing &c : cases) {
        PxImageWMF img;
        ASSERT_TRUE(DecodeWith(img, c.file)) << c.name << ": " << img.GetLastError();
        ExpectProbes(img, c.probes, c.name);
    }
}

const WmfRecord kWmfNullPen = WmfPen(5, 0, 0);

TEST_F(WmfDecoder, ArcsPiesAndChords) {
    constexpr uint32_t R = 0xFF0000, K = 0x000000, X = kWindow;
    const Bytes red = Le32s({39, 24, 1, 0, RGB(255, 0, 0), 0});
    ExpectDrawings({
        // The wedge from east to north, counterclockwise: the top-right quarter.
        {"wmf pie",
         Wmf(100, 100,
             {WmfBrush(RGB(255, 0, 0)), WmfSelect(0), kWmfNullPen, WmfSelect(1),
              WmfArc(0x081A, 0, 0, 100, 100, 100, 50, 50, 0)}),
         {{75, 25, R}, {60, 45, R}, {25, 25, X}, {75, 75, X}, {25, 75, X}, {95, 5, X}}},
        // From 45 to 135 degrees: the cap above the line between them.
        {"wmf chord",
         Wmf(100, 100,
             {WmfBrush(RGB(255, 0, 0)), WmfSelect(0), kWmfNullPen, WmfSelect(1),
              WmfArc(0x0830, 0, 0, 100, 100, 100, 0, 0, 0)}),
         {{50, 5, R}, {50, 12, R}, {50, 20, X}, {50, 60, X}, {10, 10, X}}},
        // Only the outline, from east to north, with a black pen.
        {"wmf arc",
         Wmf(100, 100, {WmfArc(0x0817, 10, 10, 90, 90, 90, 50, 50, 10)}),
         {{90, 50, K | kNear}, {78, 22, K | kNear}, {50, 10, K | kNear}, {50, 50, X}, {21, 78, X}, {11, 50, X}}},
        // Clockwise, the same rays take the other three quarters.
        {"emf clockwise pie",
         Emf(100, 100,
             Cat({red, EmfSelect(1), EmfSelect(kNullPen), EmfRec(57, {2}),
                  EmfRec(47, {0, 0, 100, 100, 100, 50, 50, 0})}),
             4),
         {{25, 25, R}, {25, 75, R}, {75, 75, R}, {75, 25, X}}},
        {"emf chord and arc",
         Emf(100, 100,
             Cat({red, EmfSelect(1), EmfSelect(kNullPen), EmfRec(46, {0, 0, 100, 100, 100, 0, 0, 0}),
                  EmfSelect(0x80000007u), EmfRec(45, {10, 10, 90, 90, 90, 50, 50, 90})}),
             4),
         {{50, 5, R}, {50, 30, X}, {50, 90, K | kNear}, {21, 78, K | kNear}, {78, 78, X}}},
        // A line from the current position to the arc's start, then the arc.
        {"emf angle arc",
         Emf(100, 100, Cat({EmfRec(27, {0, 50}), EmfRec(41, {50, 50, 30, 0, 0x42B40000u /* 90.0f */})}), 4),
         {{10, 50, K}, {79, 50, K | kNear}, {71, 29, K | kNear}, {50, 20, K | kNear}, {50, 80, X}, {29, 29, X}}},
    });
}

TEST_F(WmfDecoder, WideAndDashedPens) {
    constexpr uint32_t B = 0x0000FF, X = kWindow;
    // Geometric pens: a user style of 10 on and 10 off, flat ends; a wide one with mitred joins.
    const Bytes dashed = EmfRec(95, {1, 0, 0, 0, 0, 0x10000 | 7 | 0x200, 4, 0, RGB(0, 0, 255), 0, 2, 10, 10});
    const Bytes mitred = EmfRec(95, {2, 0, 0, 0, 0, 0x10000 | 0x2000 | 0x200, 10, 0, RGB(0, 0, 255), 0, 0});
    ExpectDrawings({
        {"dashes",
         Emf(100, 100, Cat({dashed, EmfSelect(1), EmfRec(27, {0, 20}), EmfRec(54, {100, 20})}), 4),
         {{5, 20, B}, {5, 18, B}, {15, 20, X}, {25, 21, B}, {5, 23, X}}},
        {"mitre",
         Emf(100, 100, Cat({mitred, EmfSelect(2), EmfRec(4, {0, 0, 0, 0, 3, 20, 80, 50, 50, 80, 80})}), 4),
         {{50, 44, B}, {50, 50, B}, {50, 40, X}, {50, 61, X}, {18, 82, X}}},
    });

    // A window of 1001 x 1001 on the 100 x 100 picture, as drawing programs write them: ten units
    // make a hair under a pixel, and a pen of 10 w units is w pixels wide. A line of a w-pixel pen
    // covers w rows (or columns), from w / 2 before the line on; a 45-degree line, along a row,
    // the pixels within w / 2 of it, w times the square root of 2 wide. Flat ends.
    const WmfRecord window{0x020C, {W(1001), W(1001)}};
    auto line = [&](int16_t width, int x0, int y0, int x1, int y1) {
        return Wmf(100, 100,
                   {window,
                    WmfPen(0x200, width, RGB(0, 0, 255)),
                    WmfSelect(0),
                    {0x0214, {W(y0), W(x0)}},
                    {0x0213, {W(y1), W(x1)}}});
    };
    const struct {
        int16_t w;
        Box across, down;              // the line at y = 30 from x = 10 to 90; at x = 30 from y = 10 to 90
        int diagonalFrom, diagonalTo;  // row 50 of the line from (20, 20) to (80, 80)
    } widths[] = {
        {1, {10, 30, 90, 31}, {30, 10, 31, 90}, 50, 50}, {2, {10, 29, 90, 31}, {29, 10, 31, 90}, 49, 51},
        {3, {10, 29, 90, 32}, {29, 10, 32, 90}, 48, 52}, {4, {10, 28, 90, 32}, {28, 10, 32, 90}, 48, 52},
        {8, {10, 26, 90, 34}, {26, 10, 34, 90}, 45, 55}, {12, {10, 24, 90, 36}, {24, 10, 36, 90}, 42, 58},
    };
    for (const auto &c : widths) {
        const int16_t units = int16_t(10 * c.w);
        for (const auto &[file, want] : {std::pair{line(units, 100, 300, 900, 300), c.across},
                                         std::pair{line(units, 300, 100, 300, 900), c.down}}) {
            PxImageWMF img;
            ASSERT_TRUE(DecodeWith(img, file)) << img.GetLastError();
            const Box got = BoxOf(img, B);
            EXPECT_EQ(std::vector<int>({got.left, got.top, got.right, got.bottom, got.count}),
                      std::vector<int>({want.left, want.top, want.right, want.bottom,
                                        (want.right - want.left) * (want.bottom - want.top)}))
                << "pen " << c.w;
        }
        PxImageWMF img;
        ASSERT_TRUE(DecodeWith(img, line(units, 200, 200, 800, 800))) << img.GetLastError();
        for (int x = 30; x <= 70; x++)
            EXPECT_EQ(RgbAt(img, x, 50), x >= c.diagonalFrom && x <= c.diagonalTo ? B : WindowRgb())
                << "pen " << c.w << " diagonal at " << x;
    }

    // A filled polygon's 2-pixel outline is drawn over the fill: rows 19-20 on its top edge at
    // y = 20, 69-70 on its bottom one at y = 70, columns 19-20 and 79-80 on its sides.
    constexpr uint32_t G = 0x00FF00;
    ExpectDrawings({{"filled polygon, 2-pixel pen",
                     Wmf(100, 100,
                         {window,
                          WmfBrush(RGB(0, 255, 0)),
                          WmfSelect(0),
                          WmfPen(0, 20, RGB(0, 0, 255)),
                          WmfSelect(1),
                          {0x0324, {4, 200, 200, 800, 200, 800, 700, 200, 700}}}),
                     {{50, 18, X},
                      {50, 19, B},
                      {50, 20, B},
                      {50, 21, G},
                      {50, 68, G},
                      {50, 69, B},
                      {50, 70, B},
                      {50, 71, X},
                      {18, 45, X},
                      {19, 45, B},
                      {20, 45, B},
                      {21, 45, G},
                      {78, 45, G},
                      {79, 45, B},
                      {80, 45, B},
                      {81, 45, X}}}});
}

TEST_F(WmfDecoder, Bitmaps) {
    // The 2 x 2 picture stretched over (10, 10)-(30, 30) in every form a record carries it.
    const std::vector<Probe> quad = {{12, 12, 0xFF0000}, {27, 12, 0x00FF00}, {12, 27, 0x0000FF}, {27, 27, 0xFFFFFF},
                                     {9, 9, kWindow},    {30, 20, kWindow},  {20, 30, kWindow}};
    const Bytes dib24 = PackedDib(24, 2, kQuad);
    const Bytes dib8 = PackedDib(8, 2, {{1, 2}, {3, 4}}, {0, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    const Bytes dib32 = PackedDib(32, 2, kQuad, {}, true);
    const Bytes rows24 = DibRows(24, 2, kQuad), head24 = Head(dib24, 40);
    // Bitmap16: type, width, height, bytes a row, planes, bits; rows top down.
    const Bytes bitmap16 =
        Cat({Le16s({0, 2, 2, 6}), Bytes{1, 24}, Bytes{0, 0, 255, 0, 255, 0}, Bytes{255, 0, 0, 255, 255, 255}});
    // Run-length rows, the old 12-byte header, 16-bit masks, colours taken from a palette.
    auto header = [](uint16_t bits, uint32_t compression, uint32_t colours) {
        return Cat({Le32s({40, 2, 2}), Le16s({1, bits}), Le32s({compression, 0, 0, 0, colours, 0})});
    };
    const Palette pal = {0, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    Bytes colours, triples;
    for (uint32_t i = 0; i < 16; i++) {
        if (i < pal.size()) Append(colours, Bgra(pal[i], 0));
        Append(triples, Bgr(i < pal.size() ? pal[i] : 0));
    }
    const Bytes rle8 = Cat({header(8, BI_RLE8, 5), colours, Bytes{1, 3, 1, 4, 0, 0, 1, 1, 1, 2, 0, 1}});
    const Bytes rle4 = Cat({header(4, BI_RLE4, 5), colours, Bytes{2, 0x34, 0, 0, 2, 0x12, 0, 1}});
    const Bytes core = Cat({Le32s({12}), Le16s({2, 2, 1, 4}), triples, Bytes{0x34, 0, 0, 0, 0x12, 0, 0, 0}});
    const Bytes fields =
        Cat({header(16, BI_BITFIELDS, 0), Le32s({0xF800, 0x07E0, 0x001F}), Le16s({0x001F, 0xFFFF, 0xF800, 0x07E0})});
    const Bytes indexes = Cat({header(8, BI_RGB, 5), Le16s({0, 1, 2, 3, 4}), DibRows(8, 2, {{1, 2}, {3, 4}})});
    auto stretchDib = [](const Bytes &dib, uint16_t usage = DIB_RGB_COLORS) {
        return WmfRecord{0x0F43, Words(Cat({Le32s({SRCCOPY}), Le16s({usage, 2, 2, 0, 0, 20, 20, 10, 10}), dib}))};
    };
    const Bytes mask = Cat({header(1, BI_RGB, 2), Bgra(0, 0), Bgra(0xFFFFFF, 0), DibRows(1, 2, {{1, 0}, {0, 1}})});
    ExpectDrawings({
        {"rle8", Wmf(100, 100, {stretchDib(rle8)}), quad},
        {"rle4", Wmf(100, 100, {stretchDib(rle4)}), quad},
        {"core header", Wmf(100, 100, {stretchDib(core)}), quad},
        {"16-bit masks", Wmf(100, 100, {stretchDib(fields)}), quad},
        {"palette colours",
         Wmf(100, 100,
             {{0x00F7, Words(Cat({Le16s({0x300, 5}),
                                  Bytes{0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 255, 255, 255, 0}}))},
              {0x0234, {0}},
              {0x0035, {}},
              stretchDib(indexes, DIB_PAL_COLORS)}),
         quad},
        // The source where the mask is set, the green field elsewhere.
        {"emf MaskBlt",
         Emf(100, 100,
             Cat({EmfBrush(1, RGB(0, 255, 0)), EmfSelect(1), EmfSelect(kNullPen), EmfRec(43, {0, 0, 101, 101}),
                  EmfRec(78, {0, 0, 0, 0, 10,  10, 2,   2,  0xAACC0020u, 0, 0, 0x3F800000u, 0,  0,   0x3F800000u,
                              0, 0, 0, 0, 128, 40, 168, 16, 0,           0, 0, 184,         48, 232, 8},
                         Cat({head24, rows24, mask}))}),
             4),
         {{10, 10, 0xFF0000}, {11, 10, 0x00FF00}, {10, 11, 0x00FF00}, {11, 11, 0xFFFFFF}, {12, 12, 0x00FF00}}},
        // Premultiplied alpha: opaque red, and blue at half over white.
        {"emf AlphaBlend",
         Emf(100, 100,
             EmfRec(114, {0,           0, 0, 0, 10, 10,  20, 20,  0x01FF0000u, 0, 0, 0x3F800000u, 0, 0,
                          0x3F800000u, 0, 0, 0, 0,  108, 40, 148, 8,           2, 1},
                    Cat({Le32s({40, 2, 1}), Le16s({1, 32}), Le32s({0, 0, 0, 0, 0, 0}),
                         Bytes{0, 0, 255, 255, 128, 0, 0, 128}})),
             4),
         {{15, 20, 0xFF0000}, {25, 20, 0x7F7FFF}, {5, 5, kWindow}, {15, 31, kWindow}}},
        {"StretchDIB",
         Wmf(100, 100, {{0x0F43, Words(Cat({Le32s({SRCCOPY}), Le16s({0, 2, 2, 0, 0, 20, 20, 10, 10}), dib24}))}}),
         quad},
        {"DIBStretchBlt 8 bits",
         Wmf(100, 100, {{0x0B41, Words(Cat({Le32s({SRCCOPY}), Le16s({2, 2, 0, 0, 20, 20, 10, 10}), dib8}))}}), quad},
        {"DIBBitBlt top-down 32 bits",
         Wmf(100, 100,
             {{0x020C, {10, 10}}, {0x0940, Words(Cat({Le32s({SRCCOPY}), Le16s({0, 0, 2, 2, 1, 1}), dib32}))}}),
         quad},
        {"old StretchBlt",
         Wmf(100, 100, {{0x0B23, Words(Cat({Le32s({SRCCOPY}), Le16s({2, 2, 0, 0, 20, 20, 10, 10}), bitmap16}))}}),
         quad},
        {"SetDIBitsToDevice",
         Wmf(100, 100, {{0x020C, {10, 10}}, {0x0D33, Words(Cat({Le16s({0, 2, 0, 0, 0, 2, 2, 1, 1}), dib24}))}}), quad},
        {"emf StretchDIBits",
         Emf(100, 100,
             EmfRec(81, {0, 0, 0, 0, 10, 10, 0, 0, 2, 2, 80, 40, 120, uint32_t(rows24.size()), 0, SRCCOPY, 20, 20},
                    Cat({head24, rows24})),
             4),
         quad},
        {"emf StretchBlt",
         Emf(100, 100,
             EmfRec(77,
                    {0,
                     0,
                     0,
                     0,
                     10,
                     10,
                     20,
                     20,
                     SRCCOPY,
                     0,
                     0,
                     0x3F800000u,
                     0,
                     0,
                     0x3F800000u,
                     0,
                     0,
                     0,
                     0,
                     108,
                     40,
                     148,
                     uint32_t(rows24.size()),
                     2,
                     2},
                    Cat({head24, rows24})),
             4),
         quad},
        // Black where the source is white, through SRCAND onto a green field.
        {"emf BitBlt srcand",
         Emf(100, 100,
             Cat({EmfBrush(1, RGB(0, 255, 0)), EmfSelect(1), EmfSelect(kNullPen), EmfRec(43, {0, 0, 101, 101}),
                  EmfRec(76,
                         {0,
                          0,
                          0,
                          0,
                          10,
                          10,
                          2,
                          2,
                          SRCAND,
                          0,
                          0,
                          0x3F800000u,
                          0,
                          0,
                          0x3F800000u,
                          0,
                          0,
                          0,
                          0,
                          100,
                          40,
                          140,
                          uint32_t(rows24.size())},
                         Cat({head24, rows24}))}),
             4),
         {{10, 10, 0x000000}, {11, 10, 0x00FF00}, {10, 11, 0x000000}, {11, 11, 0x00FF00}, {12, 12, 0x00FF00}}},
    });
}

TEST_F(WmfDecoder, ClippingAndPatternBrushes) {
    constexpr uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, X = kWindow;
    const std::vector<WmfRecord> redBrush = {WmfBrush(RGB(255, 0, 0)), WmfSelect(0), kWmfNullPen, WmfSelect(1)};
    auto with = [&](std::vector<WmfRecord> more) {
        std::vector<WmfRecord> all = redBrush;
        all.insert(all.end(), more.begin(), more.end());
        return Wmf(100, 100, all);
    };
    // Region of one scan 20..40 holding x 10..30 and 60..80.
    const WmfRecord region = {0x06FF, {0, 6, 0, 0, 0, 1, 0, 10, 20, 80, 40, 4, 20, 40, 10, 30, 60, 80, 4}};
    const Bytes checker = PackedDib(24, 2, {{0xFF0000, 0x00FF00}, {0x00FF00, 0xFF0000}});
    ExpectDrawings({
        {"intersect",
         with({{0x0416, {60, 60, 20, 20}}, WmfRectangle(0, 0, 101, 101)}),
         {{30, 30, R}, {59, 59, R}, {10, 10, X}, {60, 60, X}, {70, 30, X}}},
        {"exclude",
         with({{0x0415, {60, 60, 20, 20}}, WmfRectangle(0, 0, 101, 101)}),
         {{30, 30, X}, {10, 10, R}, {70, 30, R}}},
        // Restoring the state brings back the whole picture.
        {"restored",
         with({{0x001E, {}}, {0x0416, {30, 30, 20, 20}}, {0x0127, {W(-1)}}, WmfRectangle(0, 0, 101, 101)}),
         {{10, 10, R}, {90, 90, R}}},
        {"region",
         with({region, {0x012C, {2}}, WmfRectangle(0, 0, 101, 101)}),
         {{15, 25, R}, {65, 35, R}, {45, 25, X}, {15, 50, X}, {15, 10, X}}},
        {"region offset",
         with({region, {0x012C, {2}}, {0x0220, {5, 0}}, WmfRectangle(0, 0, 101, 101)}),
         {{15, 42, R}, {15, 22, X}}},
        // Tiles aligned on the picture's origin.
        {"dib pattern",
         Wmf(100, 100,
             {{0x0142, Words(Cat({Le16s({5, 0}), checker}))},
              WmfSelect(0),
              kWmfNullPen,
              WmfSelect(1),
              WmfRectangle(0, 0, 101, 101)}),
         {{0, 0, R}, {1, 0, G}, {0, 1, G}, {1, 1, R}, {50, 51, G}, {51, 51, R}}},
        // Cross hatch on a transparent background: only its lines.
        {"hatch",
         Wmf(100, 100,
             {{0x0102, {1}},
              {0x02FC, {2, Lo(RGB(0, 0, 255)), Hi(RGB(0, 0, 255)), 4}},
              WmfSelect(0),
              kWmfNullPen,
              WmfSelect(1),
              WmfRectangle(0, 0, 101, 101)}),
         {{7, 3, B}, {3, 15, B}, {3, 3, X}, {12, 12, X}}},
        {"emf clip region",
         Emf(100, 100,
             Cat({EmfRec(75, {48, 5, 32, 1, 2, 32, 0, 0, 0, 0, 10, 10, 30, 30, 50, 50, 70, 70}),
                  EmfBrush(1, RGB(255, 0, 0)), EmfSelect(1), EmfSelect(kNullPen), EmfRec(43, {0, 0, 101, 101}),
                  EmfRec(29, {10, 10, 20, 20}), EmfBrush(2, RGB(0, 0, 255)), EmfSelect(2),
                  EmfRec(43, {0, 0, 101, 101})}),
             4),
         {{25, 25, B}, {15, 15, R}, {60, 60, B}, {40, 40, X}, {80, 80, X}}},
    });
}

// A monochrome brush as gnuplot writes its pattern fills: 16 x 8 bits, no colour table (usage
// DIB_PAL_INDICES). Its 0 bits take the text colour, its 1 bits the background colour.
TEST_F(WmfDecoder, MonochromeBrushWithoutColourTable) {
    constexpr uint32_t R = 0xFF0000, B = 0x0000FF;
    // Rows bottom-up: seven rows of 8 text pixels then 8 background ones, a top row of background.
    Bytes bits;
    for (int row = 0; row < 8; row++) Append(bits, {uint8_t(row == 7 ? 0xFF : 0x00), 0xFF, 0, 0});
    const Bytes header = Cat({Le32s({40, 16, 8}), Le16s({1, 1}), Le32s({0, 32, 0, 0, 0, 0})});
    const Bytes brush = EmfRec(93, {1, 2, 32, 40, 72, 32}, Cat({header, bits}));
    ExpectDrawings({
        {"mono brush",
         Emf(32, 16,
             Cat({EmfRec(24, {RGB(255, 0, 0)}), EmfRec(25, {RGB(0, 0, 255)}), brush, EmfSelect(1), EmfSelect(kNullPen),
                  EmfRec(43, {0, 0, 33, 17})}),
             4),
         {{2, 2, R}, {7, 7, R}, {10, 2, B}, {2, 0, B}, {2, 8, B}, {18, 3, R}, {26, 3, B}, {23, 15, R}}},
    });
}

// Drawing costs a step for every pixel it touches (two for a hatch) and eight for every row that
// a polygon's edge crosses, and eight more rows for each edge; one playback may spend 24 passes
// over the picture, and at least 2^26. The operation that would pass the budget is not done, and
// the playing ends there, keeping what was drawn.
TEST_F(WmfDecoder, ScanLineWorkIsBounded) {
    constexpr uint32_t R = 0xFF0000, B = 0x0000FF, X = kWindow;
    const Bytes red = Cat({EmfBrush(1, RGB(255, 0, 0)), EmfSelect(1), EmfSelect(kNullPen)});
    const Bytes blueSquare =
        Cat({EmfBrush(2, RGB(0, 0, 255)), EmfSelect(2), EmfSelect(kNullPen), EmfRec(43, {0, 0, 100, 100})});
    const Bytes redSquare = Cat({red, EmfRec(43, {200, 0, 300, 100})});
    // Over a picture of 2000 x 2000 (96,000,000 of work), a rectangle over it all crosses 4000
    // rows with 4 edges and covers 4,000,000 pixels; the square, 200 rows and 10,000 pixels.
    const int64_t fill = 8 * (4000 + 4 * 8) + 4000000, square = 8 * (200 + 4 * 8) + 10000;
    auto times = [](uint32_t n, const Bytes &record) {
        Bytes b;
        for (uint32_t i = 0; i < n; i++) Append(b, record);
        return b;
    };
    const Bytes all = EmfRec(43, {0, 0, 2000, 2000});
    // 40,000 points between the top and the bottom: 80,000,000 rows, asked for at once.
    Bytes zigzag = Le32s({86, 28 + 4 * 40000, 0, 0, 2000, 2000, 40000});
    for (uint32_t i = 0; i < 40000; i++) Append(zigzag, Le16s({i % 2000, i % 2 * 2000}));
    Bytes line = Le32s({87, 28 + 4 * 20000, 0, 0, 2000, 2000, 20000});  // corner to corner and back
    for (uint32_t i = 0; i < 20000; i++) Append(line, Le16s({i % 2 * 1999, i % 2 * 1999}));
    const Bytes hatch = Cat({EmfRec(39, {3, BS_HATCHED, RGB(255, 0, 0), HS_CROSS}), EmfSelect(3), EmfSelect(kNullPen)});
    // One green pixel stretched over the picture.
    const Bytes stretch = EmfRec(81, {0, 0, 2000, 2000, 0, 0, 0, 0, 1, 1, 80, 40, 120, 4, 0, SRCCOPY, 2000, 2000},
                                 Cat({Le32s({40, 1, 1}), Le16s({1, 32}), Le32s({0, 4, 0, 0, 0, 0, 0x00FF00})}));
    // A clip of 1000 squares in 100 bands, then rectangles left out of it, each combined with all
    // of it: 416 for its rows, 160 a band and 8 a rectangle of both, after 1024 a square to make it.
    Bytes squares = Le32s({32, 1, 1000, 16000, 0, 0, 0, 0});
    for (uint32_t i = 0; i < 1000; i++)
        Append(squares, Le32s({1000 + i % 10 * 20, 1000 + i / 10 * 4, 1002 + i % 10 * 20, 1002 + i / 10 * 4}));
    const Bytes clip =
        Cat({EmfRec(75, {32 + 16000, RGN_COPY}, squares), times(4000, EmfRec(29, {1990, 1990, 2000, 2000}))});
    // A region of two rectangles, made from its list each time it is painted.
    const WmfRecord twoRects = {0x06FF, {0, 6, 0, 0, 0, 1, 0, 10, 20, 80, 40, 4, 20, 40, 10, 30, 60, 80, 4}};
    std::vector<WmfRecord> paints = {WmfBrush(RGB(255, 0, 0)), WmfSelect(0), kWmfNullPen, WmfSelect(1), twoRects};
    paints.resize(paints.size() + 27000, {0x012B, {2}});
    paints.push_back(WmfRectangle(0, 0, 2001, 2001));
    const struct {
        Drawing drawing;
        int64_t work;
    } cases[] = {
        {{"triangle",
          Emf(100, 100, Cat({red, EmfRec(86, {0, 0, 100, 100, 3, 10 | 10 << 16, 90 | 10 << 16, 50 | 90 << 16})}), 4),
          {{50, 30, R}}},
         8 * (160 + 3 * 8) + 80 * 80},
        // 23 fills fit, and a small square after them, but not the fill that would cover it.
        {{"fills", Emf(2000, 2000, Cat({red, times(23, all), blueSquare, all}), 4), {{1000, 1000, R}, {50, 50, B}}},
         23 * fill + square},
        {{"hatch",
          Emf(2000, 2000, Cat({hatch, times(11, all), blueSquare, hatch, all}), 4),
          {{1007, 1007, R}, {50, 50, B}}},
         // and each the clip taken through its region, one rectangle; the last one's region is made
         11 * (fill + 4000000 + 160 + 8) + square + 8 * 4032},
        {{"stretches", Emf(2000, 2000, times(30, stretch), 4), {{1000, 1000, 0x00FF00}}}, 23 * 4000001},
        {{"zigzag", Emf(2000, 2000, Cat({blueSquare, red, zigzag, redSquare}), 4), {{50, 50, B}, {250, 50, X}}},
         square},
        {{"long line",
          Emf(2000, 2000, Cat({blueSquare, EmfSelect(0x80000007u), line, redSquare}), 4),
          {{50, 50, B}, {250, 50, X}, {1000, 1000, X}}},
         square},
        // The 3,862nd rectangle left out is made, not combined.
        {{"clip", Emf(2000, 2000, Cat({blueSquare, red, clip, all}), 4), {{50, 50, B}, {1000, 1000, X}}},
         square + 1000 * 1024 + 160 * 100 + 8 * 1000 + 3861 * (416 + 160 * 101 + 8 * 1001) + 416},
        {{"regions", Wmf(2000, 2000, paints), {{15, 25, R}, {45, 25, X}, {1000, 1000, X}}},
         26490 * (2 * 1024 + 70 * 20 + 160 + 2 * 8)},
    };
    for (const auto &c : cases) {
        ExpectDrawings({c.drawing});
        EXPECT_EQ(PxImageWMF::LastWork(), c.work) << c.drawing.name;
    }
    if (tikora::gdi::GetTextRunRenderer()) {  // 1000 glyphs 4000 pixels high, a glyph's box each
        Bytes glyphs;
        for (int i = 0; i < 1000; i++) Put16(glyphs, 'W');
        const Bytes font = EmfRec(82, {3, uint32_t(-4000), 0, 0, 0, 400, 0}, Bytes(68, 0));
        const Bytes text = EmfRec(84, {0, 0, 0, 0, 1, 0, 0, 0, 0, 1000, 76, 0, 0, 0, 0, 0, 0}, glyphs);
        ExpectDrawings({{"glyphs",
                         Emf(2000, 2000, Cat({blueSquare, font, EmfSelect(3), text, redSquare}), 4),
                         {{50, 50, B}, {250, 50, X}, {1000, 1000, X}}}});
        EXPECT_EQ(PxImageWMF::LastWork(), square);
    }
    EXPECT_EQ(PxImageWMF::WorkBudget(500, 500), 1 << 26);
    EXPECT_EQ(PxImageWMF::WorkBudget(4000, 4000), 24 * 4000 * 4000);
}

TEST_F(WmfDecoder, EnhancedPaths) {
    constexpr uint32_t R = 0xFF0000, K = 0x000000, X = kWindow;
    const Bytes brush = Cat({EmfBrush(1, RGB(255, 0, 0)), EmfSelect(1)});
    // A square with a square hole: two figures, alternate filling.
    const Bytes donut = Cat({EmfRec(59, {}), EmfRec(27, {10, 10}), EmfRec(54, {90, 10}), EmfRec(54, {90, 90}),
                             EmfRec(54, {10, 90}), EmfRec(61, {}), EmfRec(27, {30, 30}), EmfRec(54, {70, 30}),
                             EmfRec(54, {70, 70}), EmfRec(54, {30, 70}), EmfRec(61, {}), EmfRec(60, {})});
    ExpectDrawings({
        {"fill",
         Emf(100, 100, Cat({brush, EmfSelect(kNullPen), donut, EmfRec(62, {0, 0, 100, 100})}), 4),
         {{20, 20, R}, {50, 20, R}, {50, 50, X}, {5, 5, X}}},
        {"stroke",
         Emf(100, 100, Cat({brush, donut, EmfRec(64, {0, 0, 100, 100})}), 4),
         {{50, 10, K | kNear}, {10, 50, K | kNear}, {50, 30, K | kNear}, {20, 20, X}, {50, 50, X}}},
        // Béziers in a path, filled and outlined; a path cut short draws nothing.
        {"bezier stroke and fill",
         Emf(100, 100,
             Cat({brush, EmfRec(59, {}), EmfRec(27, {10, 50}), EmfRec(5, {0, 0, 0, 0, 3, 10, 0, 90, 0, 90, 50}),
                  EmfRec(54, {10, 50}), EmfRec(60, {}), EmfRec(63, {0, 0, 100, 100}), EmfRec(59, {}),
                  EmfRec(43, {0, 60, 100, 100})}),
             4),
         {{50, 30, R}, {10, 50, K | kNear}, {50, 13, K | kNear}, {50, 80, X}}},
        {"clip path",
         Emf(100, 100,
             Cat({brush, EmfSelect(kNullPen), EmfRec(59, {}), EmfRec(43, {20, 20, 60, 60}), EmfRec(60, {}),
                  EmfRec(67, {RGN_COPY}), EmfRec(43, {0, 0, 101, 101})}),
             4),
         {{30, 30, R}, {10, 10, X}, {70, 70, X}}},
    });
}

TEST_F(WmfDecoder, Text) {
    if (!tikora::gdi::GetTextRunRenderer()) GTEST_SKIP() << "no text part linked in";
    // A font 20 pixels high, red text on an opaque green rectangle.
    const std::vector<uint16_t> arial = Words(Bytes{'A', 'r', 'i', 'a', 'l', 0});
    const WmfRecord font = {0x02FB, std::vector<uint16_t>{W(-20), 0, 0, 0, 400, 0, 0, 0, 0} + arial};
    const std::vector<WmfRecord> opaque = {
        font,
        WmfSelect(0),
        {0x0209, {Lo(RGB(255, 0, 0)), 0}},
        {0x0201, {Lo(RGB(0, 255, 0)), Hi(RGB(0, 255, 0))}},
        {0x0102, {1}},
        {0x0A32, {30, 20, 4, ETO_OPAQUE, 10, 10, 190, 60, 'H' | ('H' << 8), 'H' | ('H' << 8)}}};
    PxImageWMF img;
    ASSERT_TRUE(DecodeWith(img, Wmf(200, 80, opaque))) << img.GetLastError();
    ExpectProbes(img, {{11, 11, 0x00FF00}, {188, 58, 0x00FF00}, {5, 5, kWindow}, {195, 70, kWindow}},
                 "opaque rectangle");
    const Box red = BoxOf(img, 0xFF0000, 60);
    EXPECT_GT(red.count, 40);
    EXPECT_GE(red.left, 19);  // from the reference point, top-aligned
    EXPECT_LE(red.left, 24);
    EXPECT_GE(red.top, 30);
    EXPECT_LE(red.bottom, 52);
    EXPECT_GE(red.right - red.left, 40);  // four letters of about 14 pixels
    EXPECT_LE(red.right - red.left, 70);

    // With TA_UPDATECP each line starts where the last one ended, whatever the record's point.
    const std::vector<WmfRecord> follow = {font,
                                           WmfSelect(0),
                                           {0x0209, {Lo(RGB(255, 0, 0)), 0}},
                                           {0x0102, {1}},
                                           {0x012E, {TA_UPDATECP}},
                                           {0x0214, {W(10), W(10)}},
                                           {0x0521, {2, 'H' | ('H' << 8), 0, 0}},
                                           {0x0521, {2, 'H' | ('H' << 8), 0, 0}}};
    PxImageWMF cp;
    ASSERT_TRUE(DecodeWith(cp, Wmf(200, 80, follow))) << cp.GetLastError();
    const Box line = BoxOf(cp, 0xFF0000, 60);
    EXPECT_GE(line.left, 9);
    EXPECT_GE(line.top, 10);
    EXPECT_GE(line.right - line.left, 45);

    // Wide text, centred on its baseline at (100, 50), with character spacing from the record.
    const std::u16string text = u"HÉH";
    Bytes chars;
    for (char16_t c : text) Put16(chars, c);
    const Bytes fontW = EmfRec(82, {1, uint32_t(-24), 0, 0, 0, 700, 0}, Bytes(68, 0));
    const Bytes emf = Emf(200, 80,
                          Cat({fontW, EmfSelect(1), EmfRec(24, {RGB(0, 0, 255)}), EmfRec(18, {TRANSPARENT}),
                               EmfRec(22, {TA_CENTER | TA_BASELINE}),
                               EmfRec(84, {0, 0, 0, 0, 1, 0, 0, 100, 50, 3, 76, 0, 0, 0, 0, 0, 84},
                                      Cat({chars, Bytes{0, 0}, Le32s({30, 30, 30})}))}),
                          4);
    PxImageWMF wide;
    ASSERT_TRUE(DecodeWith(wide, emf)) << wide.GetLastError();
    const Box blue = BoxOf(wide, 0x0000FF, 60);
    EXPECT_GT(blue.count, 40);
    EXPECT_NEAR((blue.left + blue.right) / 2.0, 100, 12);
    EXPECT_GE(blue.right - blue.left, 65);  // spaced 30 apart
    EXPECT_LE(blue.bottom, 51);
    EXPECT_GE(blue.top, 20);
}

TEST_F(WmfDecoder, HostileNewRecordsAreHarmless) {
    const Bytes dib = PackedDib(24, 2, kQuad);
    Bytes huge = dib;
    huge[4] = huge[5] = huge[6] = 0x7F;  // a width of millions, rows that are not there
    const std::vector<WmfRecord> wmf = {
        {0x0F43, Words(Cat({Le32s({SRCCOPY}), Le16s({0, 2, 2, 0, 0, 20, 20, 10, 10}), huge}))},
        {0x0F43, Words(Cat({Le32s({SRCCOPY}), Le16s({0, 2, 2, 0, 0, 20, 20, 10, 10}), Head(dib, 30)}))},
        {0x0142, Words(Cat({Le16s({5, 1}), Head(dib, 44)}))},
        {0x01F9, {0, 30000, 30000, 30000, 0x1801}},
        {0x06FF, {0, 6, 0, 0, 0, 30000, 0, 0, 0, 10, 10, 60000, 1, 2}},
        {0x0817, {W(-32768), W(32767), 0, 0, W(-32768), W(-32768), W(32767), W(32767)}},
        {0x0D33, Words(Cat({Le16s({1, 60000, 50000, 0, 0, 2, 2, 0, 0}), dib}))},
        {0x0234, {999}},
        {0x012C, {999}},
        {0x0B23, {0, 0, 2, 2, 0, 0, 2, 2, 0, 0, 0, 2, 2, 60000, 0x0101}},
        {0x0A32, {0, 0, 30000, 6, 0, 0, 1, 1}},  // text longer than its record ends the playing
    };
    PxImageWMF img;
    EXPECT_TRUE(DecodeWith(img, Wmf(64, 32, wmf))) << img.GetLastError();
    const Bytes emf =
        Emf(64, 32,
            Cat({EmfRec(81, {0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 80, 0xFFFFFFF0u, 80, 16, 0, SRCCOPY, 20, 20}),
                 EmfRec(84, {0, 0, 0, 0, 1, 0, 0, 0, 0, 0x7FFFFFFF, 76, 0, 0, 0, 0, 0, 0}),
                 EmfRec(75, {0xFFFF, 5, 32, 1, 0x10000000, 0}), EmfRec(94, {1, 0, 32, 40, 72, 0x7FFFFFFF}),
                 EmfRec(41, {0, 0, 0xFFFFFFFF, 0, 0x7F000000}), EmfRec(59, {}), EmfRec(62, {}), EmfRec(67, {9}),
                 EmfRec(97, {0, 0, 0, 0, 1, 0, 0, 0x40000000})}),
            4);
    PxImageWMF img2;
    EXPECT_TRUE(DecodeWith(img2, emf)) << img2.GetLastError();
}

TEST_F(WmfDecoder, PlaysShapesOntoTheWindowColour) {
    const std::vector<WmfRecord> shapes = {
        WmfBrush(RGB(255, 0, 0)), WmfSelect(0), WmfPen(5, 0, 0),           WmfSelect(1), WmfRectangle(0, 0, 50, 50),
        WmfBrush(RGB(0, 0, 255)), WmfSelect(2), WmfEllipse(60, 10, 90, 40)};
    PxImageWMF img;
    ASSERT_TRUE(DecodeWith(img, Wmf(100, 50, shapes))) << img.GetLastError();
    EXPECT_EQ(img.GetWidth(), 100u);
    EXPECT_EQ(img.GetHeight(), 50u);
    EXPECT_EQ(img.GetBpp(), 24u);  // the 32-bit screen's depth
    EXPECT_EQ(img.GetType(), PXIMAGE_FORMAT_WMF);
    EXPECT_EQ(RgbAt(img, 10, 10), 0xFF0000u);
    EXPECT_EQ(RgbAt(img, 75, 25), 0x0000FFu);
    EXPECT_EQ(RgbAt(img, 95, 2), WindowRgb());
    EXPECT_EQ(RgbAt(img, 61, 11), WindowRgb());  // outside the ellipse, inside its box
    EXPECT_EQ(RgbAt(img, 89, 25), 0x0000FFu);    // the box's right edge is left out
    EXPECT_EQ(RgbAt(img, 90, 25), WindowRgb());
}

TEST_F(WmfDecoder, WindowRecordsMapOntoThePicture) {
    // The window 1000..1200 x 1000..1100 fills a 100 x 50 picture; a wide pen keeps its colour.
    const std::vector<WmfRecord> records = {{0x020B, {W(1000), W(1000)}},
                                            {0x020C, {W(100), W(200)}},
                                            WmfBrush(RGB(0, 255, 0)),
                                            WmfSelect(0),
                                            WmfPen(0, 20, 0),
                                            WmfSelect(1),
                                            WmfRectangle(1020, 1020, 1100, 1080)};
    PxImageWMF img;
    ASSERT_TRUE(DecodeWith(img, Wmf(100, 50, records))) << img.GetLastError();
    EXPECT_EQ(RgbAt(img, 30, 25), 0x00FF00u);    // inside, away from the pen
    EXPECT_EQ(RgbAt(img, 10, 25), 0x000000u);    // on the left edge's 10-pixel pen
    EXPECT_EQ(RgbAt(img, 80, 25), WindowRgb());  // right of the rectangle
}

TEST_F(WmfDecoder, RefusedStreams) {
    auto placeable = [](int32_t l, int32_t t, int32_t r, int32_t b, uint16_t inch, uint16_t flip = 0) {
        return Cat({Placeable(l, t, r, b, inch, flip), Metafile({}, 1)});
    };
    const char *const kCorrupt = "corrupted WMF", *const kEmpty = "empty WMF";
    ExpectRefusals<PxImageWMF>({
        {"no placeable header", Metafile({WmfRectangle(0, 0, 5, 5)}, 1), kCorrupt},
        {"wrong checksum", placeable(0, 0, 10, 10, 96, 1), kCorrupt},
        {"0 units per inch", placeable(0, 0, 10, 10, 0), kCorrupt},
        {"2541 units per inch", placeable(0, 0, 10, 10, 2541), kCorrupt},
        {"shorter than it says", Head(Wmf(10, 10, {WmfRectangle(0, 0, 5, 5)}), 30), kCorrupt},
        {"unknown metafile type", Edited(Wmf(10, 10, {}), {{22, 3}}), kCorrupt},
        {"no height", placeable(0, 0, 10, 0, 96), kEmpty},
        {"corners swapped", placeable(10, 10, 0, 0, 96), kEmpty},
        // Both extents zero: sizing must not loop for ever.
        {"a point", placeable(5, 5, 5, 5, 96), kEmpty},
        {"empty stream", Bytes{}, kCorrupt},
        {"cancelled", Wmf(10, 10, {}), "Cancelled", 1},
    });
}

TEST_F(WmfDecoder, SizeLimit) {
    struct Case {
        int32_t w, h, limitedW, limitedH;
    };
    for (const Case &c : {Case{1000, 8000, 500, 4000}, Case{8000, 1000, 4000, 500}, Case{4000, 4000, 4000, 4000},
                          Case{10000, 10000, 4000, 4000}, Case{100000, 1, 4000, 1}, Case{3, 9000, 1, 4000}}) {
        int32_t w = c.w, h = c.h;
        PxImageWMF::LimitSize(w, h);
        EXPECT_EQ(w, c.limitedW) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.limitedH) << c.w << "x" << c.h;
    }
    PxImageWMF big;
    ASSERT_TRUE(DecodeWith(big, Wmf(1000, 8000, {})));
    EXPECT_EQ(big.GetWidth(), 500u);
    EXPECT_EQ(big.GetHeight(), 4000u);
}

TEST_F(WmfDecoder, HostileRecordsAreHarmless) {
    const std::vector<WmfRecord> records = {
        {0x0324, {30000, 1, 2, 3, 4}},  // polygon that claims 30000 points
        {0x0538, {60000, 3, 3}},        // poly-polygon with more polygons than bytes
        {0x0127, {W(-5)}},              // restore without save
        WmfSelect(999),                 // beyond the object table
        {0x01F0, {999}},
        {0x020C, {1, 1}},  // a 1 x 1 window: everything huge
        WmfPen(0, 30000, RGB(1, 2, 3)),
        WmfSelect(0),
        WmfRectangle(-32768, -32768, 32767, 32767),
        {0x0214, {W(-32768), W(-32768)}},
        {0x0213, {W(32767), W(32767)}},
        {0x061C, {W(-32768), W(32767), 5, 5, 0, 0}},  // round rectangle with odd corners
        {0x001E, {}},
        {0x001E, {}},
        {0x0127, {2}},
        {0x041F, {0, 0, 3, 3}},
        WmfBrush(0),
        WmfBrush(0),
        WmfBrush(0),
        WmfBrush(0),
        WmfBrush(0),  // more objects than the table holds
    };
    PxImageWMF img;
    EXPECT_TRUE(DecodeWith(img, Wmf(64, 32, records, 2))) << img.GetLastError();
    Bytes zeroSize = Wmf(10, 10, {});
    zeroSize[22 + 18] = 0;  // a first record of size 0 ends the playing
    PxImageWMF img2;
    EXPECT_TRUE(DecodeWith(img2, zeroSize));
}

TEST_F(WmfDecoder, EnhancedMetafile) {
    // Brush 1, select it and the null pen, a rectangle over the left half.
    const Bytes emf = Emf(
        40, 20, Le32s({39, 24, 1, 0, RGB(255, 128, 0), 0, 37, 12, 1, 37, 12, 0x80000008u, 43, 24, 0, 0, 20, 20}), 4);
    PxImageWMF img;
    ASSERT_TRUE(DecodeWith(img, emf)) << img.GetLastError();
    EXPECT_EQ(img.GetWidth(), 40u);
    EXPECT_EQ(img.GetHeight(), 20u);
    EXPECT_EQ(RgbAt(img, 5, 5), 0xFF8000u);
    EXPECT_EQ(RgbAt(img, 30, 5), WindowRgb());

    Bytes badSignature = emf, overlong = emf;
    badSignature[40] = 'X';
    ExpectRefusals<PxImageWMF>({{"emf signature", badSignature, "corrupted WMF"}});
    // Records that claim more than the file holds end the playing quietly.
    overlong[108 + 4] = overlong[108 + 5] = 0xFF;
    PxImageWMF quiet;
    EXPECT_TRUE(DecodeWith(quiet, overlong));
    EXPECT_EQ(RgbAt(quiet, 5, 5), WindowRgb());
}

}  // namespace
