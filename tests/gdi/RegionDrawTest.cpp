// Regions, clipping and the drawing calls.
#include <functional>
#include <string>
#include <utility>

#include "GdiTestUtil.h"

using namespace gditest;

namespace {

class Regions : public GdiTest {};
class Drawing : public GdiTest {};

std::vector<std::vector<LONG>> RectList(HRGN rgn) {
  std::vector<std::vector<LONG>> out;
  for (const RECT& r : tikora::gdi::GetRegionRects(rgn)) out.push_back({r.left, r.top, r.right, r.bottom});
  return out;
}

TEST_F(Regions, CombineGivesBandedRectangles) {
  using Rects = std::vector<std::vector<LONG>>;
  struct Case {
    RECT a, b;
    int mode;
    int complexity;
    Rects rects;
  } cases[] = {
      {{0, 0, 10, 10}, {5, 5, 15, 15}, RGN_AND, SIMPLEREGION, {{5, 5, 10, 10}}},
      {{0, 0, 10, 10}, {5, 5, 15, 15}, RGN_OR, COMPLEXREGION, {{0, 0, 10, 5}, {0, 5, 15, 10}, {5, 10, 15, 15}}},
      {{0, 0, 10, 10},
       {5, 5, 15, 15},
       RGN_XOR,
       COMPLEXREGION,
       {{0, 0, 10, 5}, {0, 5, 5, 10}, {10, 5, 15, 10}, {5, 10, 15, 15}}},
      {{0, 0, 10, 10}, {5, 5, 15, 15}, RGN_DIFF, COMPLEXREGION, {{0, 0, 10, 5}, {0, 5, 5, 10}}},
      {{0, 0, 10, 10}, {20, 0, 30, 10}, RGN_AND, NULLREGION, {}},
      {{0, 0, 5, 5}, {5, 0, 10, 5}, RGN_OR, SIMPLEREGION, {{0, 0, 10, 5}}},
      {{0, 0, 5, 5}, {0, 5, 5, 9}, RGN_OR, SIMPLEREGION, {{0, 0, 5, 9}}},
      {{0, 0, 10, 10}, {0, 0, 10, 10}, RGN_DIFF, NULLREGION, {}},
      {{0, 0, 10, 10}, {2, 2, 4, 4}, RGN_COPY, SIMPLEREGION, {{0, 0, 10, 10}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode);
    HRGN a = CreateRectRgnIndirect(&c.a), b = CreateRectRgnIndirect(&c.b), d = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(d, a, b, c.mode), c.complexity);
    EXPECT_EQ(RectList(d), c.rects);
    DeleteObject(a);
    DeleteObject(b);
    DeleteObject(d);
  }
}

TEST_F(Regions, PointsBoxesOffsetsAndEquality) {
  HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(20, 20, 30, 25);
  CombineRgn(a, a, b, RGN_OR);
  EXPECT_TRUE(PtInRegion(a, 0, 0));
  EXPECT_TRUE(PtInRegion(a, 9, 9));
  EXPECT_FALSE(PtInRegion(a, 10, 9)) << "right and bottom edges are outside";
  EXPECT_FALSE(PtInRegion(a, 15, 15));
  EXPECT_TRUE(PtInRegion(a, 29, 24));
  RECT box;
  EXPECT_EQ(GetRgnBox(a, &box), COMPLEXREGION);
  EXPECT_TRUE(EqualRect(&box, std::data({RECT{0, 0, 30, 25}})));
  EXPECT_EQ(OffsetRgn(a, 5, -5), COMPLEXREGION);
  EXPECT_TRUE(PtInRegion(a, 5, -5));
  EXPECT_FALSE(PtInRegion(a, 0, 0));

  HRGN c = CreateRectRgn(5, -5, 15, 5), d = CreateRectRgn(25, 15, 35, 20);
  CombineRgn(c, c, d, RGN_OR);
  EXPECT_TRUE(EqualRgn(a, c));
  OffsetRgn(c, 1, 0);
  EXPECT_FALSE(EqualRgn(a, c));
  for (HRGN r : {a, b, c, d}) DeleteObject(r);
}

TEST_F(Regions, PolygonFillModesDifferInsideAStar) {
  const POINT star[5] = {{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
  HRGN winding = CreatePolygonRgn(star, 5, WINDING);
  HRGN alternate = CreatePolygonRgn(star, 5, ALTERNATE);
  EXPECT_TRUE(PtInRegion(winding, 50, 50));
  EXPECT_FALSE(PtInRegion(alternate, 50, 50)) << "the pentagon in the middle is crossed twice";
  for (HRGN r : {winding, alternate}) {
    EXPECT_TRUE(PtInRegion(r, 50, 10)) << "a tip";
    EXPECT_FALSE(PtInRegion(r, 5, 80)) << "outside";
  }
  HRGN both = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(both, alternate, winding, RGN_DIFF), NULLREGION) << "alternate lies within winding";

  // A rectangle as a polygon covers the same pixels as the rectangle region.
  const POINT square[4] = {{2, 3}, {12, 3}, {12, 9}, {2, 9}};
  HRGN poly = CreatePolygonRgn(square, 4, ALTERNATE), rect = CreateRectRgn(2, 3, 12, 9);
  EXPECT_TRUE(EqualRgn(poly, rect));
  // A triangle: each row from the left edge up to the diagonal, which is outside.
  const POINT tri[3] = {{0, 0}, {4, 4}, {0, 4}};
  HRGN t = CreatePolygonRgn(tri, 3, WINDING);
  EXPECT_EQ(RectList(t), (std::vector<std::vector<LONG>>{{0, 1, 1, 2}, {0, 2, 2, 3}, {0, 3, 3, 4}}));
  for (HRGN r : {winding, alternate, both, poly, rect, t}) DeleteObject(r);
}

TEST_F(Regions, RunsOredOneByOneCoverExactlyTheirPixels) {
  // The way a window outline is built from a picture: one rectangle per run, ORed in.
  const char* rows[] = {"..XXXX..", ".XX..XX.", "XX....XX", "XXXXXXXX", ".X.X.X.X"};
  HRGN result = nullptr;
  int pixels = 0;
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 8;) {
      if (rows[y][x] != 'X') {
        ++x;
        continue;
      }
      int start = x;
      while (x < 8 && rows[y][x] == 'X') ++x;
      pixels += x - start;
      HRGN run = CreateRectRgn(start, y, x, y + 1);
      if (!result) {
        result = run;
      } else {
        CombineRgn(result, result, run, RGN_OR);
        DeleteObject(run);
      }
    }
  }
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(PtInRegion(result, x, y) != 0, rows[y][x] == 'X') << x << "," << y;
  int area = 0;
  for (const RECT& r : tikora::gdi::GetRegionRects(result)) area += (r.right - r.left) * (r.bottom - r.top);
  EXPECT_EQ(area, pixels);
  DeleteObject(result);
}

TEST_F(Regions, ClipIntersectAndRestoreAroundADrawing) {
  // Narrowing the clip to a rectangle, drawing, then ORing the remembered clip box back.
  Canvas canvas(8, 6);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0)), blue = CreateSolidBrush(RGB(0, 0, 255));
  RECT saved;
  EXPECT_EQ(GetClipBox(canvas.dc, &saved), SIMPLEREGION);
  EXPECT_TRUE(EqualRect(&saved, std::data({RECT{0, 0, 8, 6}})));

  RECT narrow{2, 1, 5, 4};
  HRGN r = CreateRectRgnIndirect(&narrow);
  EXPECT_EQ(ExtSelectClipRgn(canvas.dc, r, RGN_AND), SIMPLEREGION);
  DeleteObject(r);
  RECT box;
  GetClipBox(canvas.dc, &box);
  EXPECT_TRUE(EqualRect(&box, &narrow));
  RECT all{0, 0, 8, 6};
  FillRect(canvas.dc, &all, red);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x)
      ASSERT_EQ(canvas.at(x, y), (x >= 2 && x < 5 && y >= 1 && y < 4) ? Px(255, 0, 0) : 0u) << x << "," << y;

  r = CreateRectRgnIndirect(&saved);
  EXPECT_EQ(ExtSelectClipRgn(canvas.dc, r, RGN_OR), SIMPLEREGION);
  DeleteObject(r);
  GetClipBox(canvas.dc, &box);
  EXPECT_TRUE(EqualRect(&box, &saved));
  FillRect(canvas.dc, &all, blue);
  for (uint32_t p : canvas.pixels) ASSERT_EQ(p, Px(0, 0, 255));

  // SaveDC keeps the clip; a NULL region with RGN_COPY removes it; other modes need a region.
  int level = SaveDC(canvas.dc);
  IntersectClipRect(canvas.dc, 0, 0, 1, 1);
  GetClipBox(canvas.dc, &box);
  EXPECT_EQ(box.right, 1);
  RestoreDC(canvas.dc, level);
  GetClipBox(canvas.dc, &box);
  EXPECT_EQ(box.right, 8);
  ExcludeClipRect(canvas.dc, 0, 0, 8, 3);
  GetClipBox(canvas.dc, &box);
  EXPECT_EQ(box.top, 3);
  EXPECT_EQ(ExtSelectClipRgn(canvas.dc, nullptr, RGN_AND), ERROR);
  EXPECT_EQ(ExtSelectClipRgn(canvas.dc, nullptr, RGN_COPY), SIMPLEREGION);
  GetClipBox(canvas.dc, &box);
  EXPECT_EQ(box.top, 0);

  // The clip region is in device units; the clip box comes back in logical ones.
  SetWindowOrgEx(canvas.dc, 2, 1, nullptr);
  GetClipBox(canvas.dc, &box);
  EXPECT_TRUE(EqualRect(&box, std::data({RECT{2, 1, 10, 7}})));
  DeleteObject(red);
  DeleteObject(blue);
}

TEST_F(Regions, SystemClipBoundsTheProgramsClip) {
  Canvas canvas(6, 1);
  HRGN update = CreateRectRgn(1, 0, 4, 1);
  tikora::gdi::SetSystemClipRegion(canvas.dc, update);
  HRGN wide = CreateRectRgn(0, 0, 6, 1);
  ExtSelectClipRgn(canvas.dc, wide, RGN_OR);
  tikora::gdi::FillSolidRect(canvas.dc, RECT{0, 0, 6, 1}, RGB(0, 0, 9));
  EXPECT_EQ(canvas.pixels, (std::vector<uint32_t>{0, 9, 9, 9, 0, 0}));
  tikora::gdi::SetSystemClipRegion(canvas.dc, nullptr);
  DeleteObject(update);
  DeleteObject(wide);
}

// The canvas as text, one character per pixel, from a legend of colours.
std::vector<std::string> Picture(Canvas& c, const std::vector<std::pair<uint32_t, char>>& legend) {
  std::vector<std::string> out;
  for (int y = 0; y < c.height; ++y) {
    std::string row;
    for (int x = 0; x < c.width; ++x) {
      char ch = '?';
      for (auto& [px, sym] : legend)
        if (c.at(x, y) == px) ch = sym;
      row += ch;
    }
    out.push_back(row);
  }
  return out;
}

TEST_F(Drawing, ShapesPenAndBrushPixels) {
  const uint32_t P = Px(200, 0, 0), B = Px(0, 0, 200);
  const std::vector<std::pair<uint32_t, char>> legend{{0, '.'}, {P, 'P'}, {B, 'B'}};
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(200, 0, 0));
  HPEN pen2 = CreatePen(PS_SOLID, 2, RGB(200, 0, 0));
  HBRUSH brush = CreateSolidBrush(RGB(0, 0, 200));
  struct Case {
    const char* name;
    std::function<void(HDC)> draw;
    std::vector<std::string> want;
  } cases[] = {
      {"rectangle",
       [&](HDC dc) { Rectangle(dc, 1, 1, 6, 5); },
       {"......", ".PPPPP", ".PBBBP", ".PBBBP", ".PPPPP", "......"}},
      {"rectangle without pen",
       [&](HDC dc) {
         SelectObject(dc, GetStockObject(NULL_PEN));
         Rectangle(dc, 1, 1, 6, 5);
       },
       {"......", ".BBBB.", ".BBBB.", ".BBBB.", "......", "......"}},
      {"rectangle without brush",
       [&](HDC dc) {
         SelectObject(dc, GetStockObject(NULL_BRUSH));
         Rectangle(dc, 0, 0, 4, 3);
       },
       {"PPPP..", "P..P..", "PPPP..", "......", "......", "......"}},
      {"lines leave out the end point",
       [&](HDC dc) {
         MoveToEx(dc, 0, 0, nullptr);
         LineTo(dc, 5, 0);
         LineTo(dc, 5, 3);
         MoveToEx(dc, 0, 5, nullptr);
         LineTo(dc, 3, 2);
       },
       {"PPPPPP", ".....P", ".....P", "..P...", ".P....", "P....."}},
      {"wide pen",
       [&](HDC dc) {
         SelectObject(dc, pen2);
         MoveToEx(dc, 1, 2, nullptr);
         LineTo(dc, 5, 2);
       },
       {"......", "PPPPP.", "PPPPP.", "......", "......", "......"}},
      {"polygon",
       [&](HDC dc) {
         const POINT tri[3] = {{0, 0}, {5, 0}, {0, 5}};
         Polygon(dc, tri, 3);
       },
       {"PPPPPP", "PBBBP.", "PBBP..", "PBP...", "PP....", "P....."}},
      {"fill and frame",
       [&](HDC dc) {
         RECT r{1, 1, 5, 4};
         FillRect(dc, &r, brush);
         RECT f{0, 0, 6, 6};
         FrameRect(dc, &f, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
       },
       {"WWWWWW", "WBBBBW", "WBBBBW", "WBBBBW", "W....W", "WWWWWW"}},
  };
  std::vector<std::pair<uint32_t, char>> legendW = legend;
  legendW.push_back({Px(255, 255, 255), 'W'});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Canvas canvas(6, 6);
    SaveDC(canvas.dc);
    SelectObject(canvas.dc, pen);
    SelectObject(canvas.dc, brush);
    c.draw(canvas.dc);
    RestoreDC(canvas.dc, -1);
    EXPECT_EQ(Picture(canvas, legendW), c.want);
  }
  DeleteObject(pen);
  DeleteObject(pen2);
  DeleteObject(brush);
}

TEST_F(Drawing, EllipseIsSymmetric) {
  Canvas canvas(11, 9);
  SelectObject(canvas.dc, GetStockObject(BLACK_BRUSH));
  SelectObject(canvas.dc, GetStockObject(WHITE_PEN));
  Ellipse(canvas.dc, 0, 0, 11, 9);
  int filled = 0;
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 11; ++x) {
      EXPECT_EQ(canvas.at(x, y), canvas.at(10 - x, y));
      EXPECT_EQ(canvas.at(x, y), canvas.at(x, 8 - y));
      filled += canvas.at(x, y) == Px(255, 255, 255);
    }
  EXPECT_EQ(canvas.at(0, 0), 0u);
  EXPECT_EQ(canvas.at(5, 0), Px(255, 255, 255));
  EXPECT_EQ(canvas.at(5, 4), 0u) << "the inside is the black brush";
  EXPECT_GT(filled, 20);
}

TEST_F(Drawing, SystemColourBrushesPixelsAndCoverage) {
  Canvas canvas(4, 2, 0x00808080);
  RECT r{0, 0, 2, 1};
  EXPECT_TRUE(FillRect(canvas.dc, &r, reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_BTNFACE + 1))));
  EXPECT_EQ(canvas.at(0, 0), Px(240, 240, 240));
  EXPECT_EQ(GetPixel(canvas.dc, 1, 0), RGB(240, 240, 240));
  EXPECT_EQ(GetPixel(canvas.dc, 4, 0), CLR_INVALID);
  EXPECT_EQ(SetPixel(canvas.dc, 3, 1, RGB(1, 2, 3)), RGB(1, 2, 3));
  EXPECT_EQ(canvas.at(3, 1), Px(1, 2, 3));

  // Glyph coverage: 0 leaves the pixel, 255 sets the colour, between blends; 4th byte stays 0.
  canvas.at(2, 0) = 0x00000000;
  const BYTE cov[3] = {0, 128, 255};
  tikora::gdi::BlendCoverage(canvas.dc, 1, 0, 3, 1, cov, 3, RGB(255, 255, 255));
  EXPECT_EQ(canvas.at(1, 0), Px(240, 240, 240));
  EXPECT_EQ(canvas.at(2, 0), Px(128, 128, 128));
  EXPECT_EQ(canvas.at(3, 0), Px(255, 255, 255));
  for (uint32_t p : canvas.pixels) EXPECT_EQ(p >> 24, 0u);
}

}  // namespace
