#pragma once
// The metafile player that PxImageWMF.cpp runs, in parts: the drawing state both formats share
// (mapping, drawing, paths, text, objects and clipping) in PxImageWMFState.cpp, the records of
// Windows metafiles in PxImageWMFWindows.cpp, those of enhanced metafiles in
// PxImageWMFEnhanced.cpp, and the bitmaps inside records in PxImageWMFBitmaps.cpp.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PxImageWMF.h"
#include "PxLeReader.h"
#include "WinGdi.h"

namespace tikora::metafile {

constexpr int32_t kMmText = 1;
constexpr int32_t kMmIsotropic = 7;
constexpr int32_t kMmAnisotropic = 8;
constexpr size_t kMaxSavedStates = 1024;
// A bitmap inside a record brings its own pixels, so the file's size bounds it; one in run-length
// form does not, and gets a smaller bound. Brush patterns are small tiles.
constexpr int64_t kMaxDibPixels = int64_t(1) << 26;
constexpr int64_t kMaxRlePixels = int64_t(1) << 24;
constexpr int64_t kMaxPatternPixels = int64_t(1) << 20;
// Points that one path may gather before further figures are dropped.
constexpr size_t kMaxPathPoints = size_t(1) << 20;
// The work that one playback may do, counted in pixels touched and in rows that polygon edges
// cross (a self-crossing polygon of a few thousand points can ask for billions of those): this
// many passes over the picture, and never less than the floor. Every drawing operation is
// charged before it is done; the one that would pass the budget is not done, and the playing
// ends there, keeping what was drawn.
constexpr int64_t kWorkPasses = 24;
constexpr int64_t kMinWork = int64_t(1) << 26;
// What a pixel costs beyond a solid fill's: a brush's tile worked out for it, a blend, a step
// of a one-pixel line (each checked against the clip on its own); and a row that an edge
// crosses, whose crossings are sorted along the row.
constexpr int64_t kTileCost = 2, kBlendCost = 4, kLineCost = 4, kEdgeCost = 8;
// Rows' worth of work that an edge costs before it crosses any: it is set up and sorted.
constexpr int64_t kEdgeSetup = 8;
// Combining the clip region with another region walks the bands and rectangles of both, and a
// band remade costs about as much as 160 pixels filled; a rectangle in a list that a region is
// made from, as much as 1024 (sorted in and merged about log n times over).
constexpr int64_t kClipBandCost = 160, kClipRectCost = 8, kRegionRectCost = 1024;
inline int64_t WorkBudget(int32_t width, int32_t height) {
    return std::max(kMinWork, kWorkPasses * std::max(width, 1) * std::max(height, 1));
}
constexpr double kPi = 3.14159265358979;
// A bitmap whose colours are indexes into the selected palette, with no table of its own.
constexpr uint32_t kDibPalIndices = 2;

// Parameters of one record: a short record reads zeros, never past its end.
using Params = PxLeReader;

}  // namespace tikora::metafile

// A metafile ready for playing.
struct PxMetafile {
    bool enhanced = false;
    std::vector<uint8_t> bytes;
    // Windows metafiles: the placeable bounding box is the window until the records set one.
    int32_t boxLeft = 0, boxTop = 0, boxWidth = 1, boxHeight = 1;
    int32_t mapMode = tikora::metafile::kMmAnisotropic;
    int32_t xExt = 0, yExt = 0;
    PxImageWMF::ENHMETAHEADER header;
};

namespace tikora::metafile {

using tikora::gdi::PointF;

struct PenDesc {
    bool null = false;
    COLORREF color = 0;
    double width = 0;    // logical units; 0 is one device pixel
    uint32_t style = 0;  // PS_* with end cap and join bits
    bool geometric = false;
    std::vector<double> dashes;  // a user style's lengths, logical units
};

constexpr uint32_t kPsGeometric = 0x10000, kPsUserStyle = 7;
constexpr uint32_t kEndCapSquare = 0x100, kEndCapFlat = 0x200, kJoinBevel = 0x1000, kJoinMiter = 0x2000;
// Dash pieces one stroke may be cut into before it is drawn whole.
constexpr size_t kMaxDashes = 100000;
// Points of a wide stroke filled at once; a longer one is filled in parts.
constexpr size_t kStrokePart = size_t(1) << 10;

// A brush's tile: colours 0xRRGGBB, or for a monochrome one 0 (text colour) and 1 (background).
struct Pattern {
    int32_t width = 0, height = 0;
    bool mono = false;
    std::vector<uint32_t> px;
};

struct BrushDesc {
    enum Style { Solid, Null, Hatch, Tile } style = Solid;
    COLORREF color = RGB(255, 255, 255);
    int32_t hatch = 0;
    std::shared_ptr<const Pattern> pattern;

    static BrushDesc Of(COLORREF c) {
        BrushDesc b;
        b.color = c;
        return b;
    }
    static BrushDesc None() {
        BrushDesc b;
        b.style = Null;
        return b;
    }
    bool null() const { return style == Null; }
};

struct FontDesc {
    double height = 0, width = 0;  // logical units, LOGFONT sign rules
    double escapement = 0;         // tenths of a degree
    int32_t weight = 0;
    bool italic = false, underline = false, strikeOut = false;
    std::string face;  // UTF-8
};

using PaletteDesc = std::shared_ptr<const std::vector<COLORREF>>;

struct GdiObjectDesc {
    enum Kind { Free, Pen, Brush, Font, Palette, Region, Other } kind = Free;
    PenDesc pen;
    BrushDesc brush;
    FontDesc font;
    PaletteDesc palette;
    std::vector<RECT> rects;  // a region's rectangles, logical units
};

struct Xform {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
    Xform Then(const Xform& b) const {
        Xform r;
        r.m11 = m11 * b.m11 + m12 * b.m21;
        r.m12 = m11 * b.m12 + m12 * b.m22;
        r.m21 = m21 * b.m11 + m22 * b.m21;
        r.m22 = m21 * b.m12 + m22 * b.m22;
        r.dx = dx * b.m11 + dy * b.m21 + b.dx;
        r.dy = dx * b.m12 + dy * b.m22 + b.dy;
        return r;
    }
};

struct PlayState {
    int32_t mapMode = kMmText;
    double winOrgX = 0, winOrgY = 0, winExtX = 1, winExtY = 1;
    double vpOrgX = 0, vpOrgY = 0, vpExtX = 1, vpExtY = 1;
    Xform world;
    PenDesc pen;
    BrushDesc brush;
    FontDesc font;
    PaletteDesc palette;
    int32_t polyFill = ALTERNATE;
    int32_t rop2 = R2_COPYPEN;
    COLORREF textColor = 0, bkColor = RGB(255, 255, 255);
    int32_t bkMode = OPAQUE;
    uint32_t textAlign = TA_LEFT | TA_TOP;
    double charExtra = 0;  // logical units
    bool clockwise = false;
    double curX = 0, curY = 0;  // logical
};

// Windows-1252, the code page of 8-bit metafile text, into UTF-16; UTF-16 into UTF-8.
char16_t FromCp1252(uint8_t c);
std::string Utf8(const std::u16string& s);

// A bitmap made ready for StretchDIBits: a 40-byte header with its colours resolved to RGB (or
// its masks), and rows that lie inside the record or were unpacked from run-length form.
struct Dib {
    std::vector<uint32_t> info;
    const uint8_t* bits = nullptr;
    std::vector<uint8_t> unpacked;
    int32_t width = 0, height = 0;  // height as stored: negative for top-down rows
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(info.data()); }
    int32_t Rows() const { return height < 0 ? -height : height; }
};

// Plays metafile records onto a memory DC through the software GDI. All mapping is done here, so
// the DC keeps its identity mapping; outlines are drawn here too, so that a wide pen costs the
// same as a filled polygon. The DC's own save stack follows the metafile's, so that the clip
// region is saved and restored with the rest of the state.
class Player {
public:
    Player(HDC dc, const PxMetafile& mf, int32_t width, int32_t height)
        : dc_(dc), mf_(mf), width_(width), height_(height) {
        // Shapes far outside the picture are clamped to a margin: drawing cost stays bounded and
        // every coordinate handed to GDI stays far from overflow.
        limit_ = 4.0 * std::max(width, height) + 1024;
    }
    // Plays the records; returns the work spent (see WorkBudget).
    int64_t Play();

private:
    struct Figure {
        std::vector<POINT> pts;
        bool closed = false;
    };

    // ---- mapping (PxImageWMFState.cpp) ----------------------------------------------------------
    double Clamp(double v) const;
    void ToTarget(double lx, double ly, double& tx, double& ty) const;
    void RefToTarget(double dx, double dy, double& tx, double& ty) const;
    double RefPixelsPerMm(bool horizontal) const;
    void FrameInRefPixels(double& left, double& top, double& w, double& h) const;
    PointF MapF(double lx, double ly) const;
    POINT Map(double lx, double ly) const;
    double Scale(bool horizontal) const;
    bool Mirrored() const;
    int32_t PenPixels() const;
    COLORREF Resolve(COLORREF c) const;
    HRGN LogicalRectRgn(double l, double t, double r, double b);
    HRGN LogicalRectsRgn(const std::vector<RECT>& rects) const;
    bool Afford(int64_t units);
    int64_t ClipWork(HRGN other) const;
    bool AffordClip(HRGN other);
    RECT ClipBox();
    int64_t VisibleArea(RECT box);
    template <class Point>
    int64_t EdgeRows(const std::vector<Point>& pts) const;
    template <class Point>
    RECT BoxOf(const std::vector<Point>& pts) const;
    template <class Point>
    bool AffordScan(const std::vector<Point>& pts);
    bool AffordFill(const std::vector<POINT>& pts);
    bool AffordLines(std::vector<std::vector<POINT>>& lines);
    int64_t GlyphWork(size_t glyphs, double advance, double height, double angle) const;

    // ---- drawing (PxImageWMFState.cpp) ----------------------------------------------------------
    void FillPolygon(const std::vector<POINT>& pts, COLORREF color, int32_t mode);
    template <class Point>
    static std::vector<Point> Joined(const std::vector<std::vector<Point>>& polys);
    void FillWith(const std::vector<POINT>& pts, const BrushDesc& brush, int32_t mode);
    void Fill(const std::vector<POINT>& pts);
    void FillRegion(HRGN rgn, const BrushDesc& brush);
    static bool HatchBit(int32_t style, int32_t x, int32_t y);
    void PaintTiles(HRGN rgn, const BrushDesc& b);
    static uint32_t Rgb(COLORREF c);
    std::vector<double> DashPattern(int32_t width) const;
    static std::vector<std::vector<POINT>> Dashed(const std::vector<POINT>& pts, const std::vector<double>& pattern);
    static void AddPiece(std::vector<std::vector<PointF>>& pieces, std::vector<PointF> poly);
    void WideLine(const std::vector<POINT>& points, bool closed, double half,
                  std::vector<std::vector<PointF>>& pieces) const;
    void Stroke(const std::vector<POINT>& pts, bool closed);
    void WideStroke(const std::vector<std::vector<POINT>>& lines, bool closed, int32_t w, COLORREF color);
    void Shape(std::vector<POINT> pts, bool closed, bool filled);
    void LineOn(const std::vector<POINT>& pts, double x, double y);
    std::vector<POINT> EllipsePoints(double l, double t, double r, double b) const;
    std::vector<POINT> ArcPts(double l, double t, double r, double b, double xs, double ys, double xe, double ye,
                              bool clockwise) const;

    enum class ArcKind { Open, Chord, Pie, To };
    void Arc(ArcKind kind, double l, double t, double r, double b, double xs, double ys, double xe, double ye);
    void AngleArc(double x, double y, double radius, double start, double sweep);
    std::vector<POINT> RoundRectPoints(double l, double t, double r, double b, double cw, double ch) const;
    void Rect(double l, double t, double r, double b);
    void Ellipse(double l, double t, double r, double b);
    void RoundRect(double l, double t, double r, double b, double cw, double ch);
    void PolyPolygon(const std::vector<std::vector<POINT>>& polys);
    void SetPixelAt(double x, double y, COLORREF color);
    void PatternBlt(double x, double y, double w, double h, uint32_t rop);

    // Runs a raster operation with the current brush's colour as the DC's pattern.
    template <class F>
    void WithSolidBrush(F f) {
        HBRUSH brush = st_.brush.null() ? nullptr : CreateSolidBrush(Resolve(st_.brush.color));
        HGDIOBJ old = SelectObject(dc_, brush ? static_cast<HGDIOBJ>(brush) : GetStockObject(NULL_BRUSH));
        f();
        SelectObject(dc_, old);
        if (brush) DeleteObject(brush);
    }

    // ---- paths (PxImageWMFState.cpp) ------------------------------------------------------------
    void AddFigure(std::vector<POINT> pts, bool closed);
    void ExtendFigure(const std::vector<POINT>& pts);
    void ClearPath();
    std::vector<std::vector<POINT>> PathPolygons() const;
    void DrawPath(bool fill, bool stroke);
    void ClipToPath(int32_t mode);

    // ---- text (PxImageWMFState.cpp) -------------------------------------------------------------
    void Text(double x, double y, const std::u16string& text, const std::vector<double>& dx, uint32_t options,
              const double* rect);
    static std::u16string Narrow(const Params& p, size_t off, size_t n);

    // ---- bitmaps (PxImageWMFBitmaps.cpp) --------------------------------------------------------
    const uint8_t* RecordBytes(size_t off, size_t n) const;
    bool ReadDib(const uint8_t* data, size_t size, const uint8_t* bits, size_t bitsSize, uint32_t usage, Dib& dib,
                 uint32_t lines = 0);
    bool PackedDib(size_t off, uint32_t usage, Dib& dib);
    bool Bitmap16(size_t off, Dib& dib);
    bool Bitmap16At(int32_t w, int32_t h, int32_t rowBytes, int32_t bpp, size_t rowsAt, Dib& dib);
    static int32_t TopRow(const Dib& dib, int64_t y, int64_t h);
    void DrawDib(const Dib& dib, double x, double y, double w, double h, int32_t sx, int32_t sy, int32_t sw, int32_t sh,
                 uint32_t rop);
    void DrawMasked(const Dib& dib, Dib mask, double x, double y, double w, double h, int32_t sx, int32_t sy,
                    int32_t mx, int32_t my);
    bool Pixels32(const Dib& dib, std::vector<uint32_t>& out);
    void AlphaBlend(const Dib& dib, double x, double y, double w, double h, int32_t sx, int32_t sy, int32_t sw,
                    int32_t sh, uint32_t constant, bool perPixel);
    std::shared_ptr<const Pattern> TileOf(const Dib& dib, bool mono);
    BrushDesc TileBrush(const Dib& dib, bool mono);

    // ---- objects and state (PxImageWMFState.cpp) ------------------------------------------------
    void Select(const GdiObjectDesc& obj);
    void SelectRegion(const GdiObjectDesc& obj);
    void SelectStock(uint32_t index);
    static PenDesc SolidPen(COLORREF color);
    static PenDesc NullPen();
    static PenDesc MakePen(uint32_t style, double width, COLORREF color);
    static BrushDesc MakeBrush(uint32_t style, COLORREF color, uint32_t hatch);
    static GdiObjectDesc PaletteObject(const Params& p, size_t countAt, size_t entriesAt);
    static void SetPaletteEntries(GdiObjectDesc& obj, const Params& p, uint32_t start, uint32_t count,
                                  size_t entriesAt);
    void Save();
    void Restore(int32_t which);
    void ClipRect(double l, double t, double r, double b, int mode);
    void OffsetClip(double dx, double dy);

    // ---- Windows metafile records (PxImageWMFWindows.cpp) ---------------------------------------
    void PlayWindows();
    void CreateWindowsObject(const GdiObjectDesc& obj);
    std::vector<POINT> WindowsPoints(const Params& p, size_t off, uint32_t count) const;
    void WindowsText(const Params& p, double x, double y, size_t textAt, size_t length, uint32_t options,
                     const double* rect, size_t dxAt);
    FontDesc WindowsFont(const Params& p) const;
    bool WindowsRecord(uint16_t function, const Params& p);

    // ---- enhanced metafile records (PxImageWMFEnhanced.cpp) -------------------------------------
    void PlayEnhanced();
    template <bool Small>
    std::vector<POINT> EnhancedPoints(const Params& p, size_t off, uint32_t count) const;
    template <bool Small>
    void LogicalPoints(const Params& p, size_t off, uint32_t count, std::vector<double>& xs,
                       std::vector<double>& ys) const;
    template <bool Small>
    void PolyPoly(const Params& p, bool polygon);
    template <bool Small>
    void Bezier(const Params& p, bool fromCurrent);
    template <bool Small>
    void PolylineTo(const Params& p);
    void CreateEnhancedObject(uint32_t index, const GdiObjectDesc& obj);
    bool EnhancedDib(const Params& p, size_t at, uint32_t usage, Dib& dib, uint32_t lines = 0);
    HRGN EnhancedRegion(const Params& p, size_t at, uint32_t bytes);
    void EnhancedText(const Params& p, size_t at, bool wide);
    BrushDesc BrushAt(uint32_t index) const;
    bool EnhancedRecord(uint32_t type, const Params& p);
    static Xform XformAt(const Params& p, size_t off);

    // ---- the playing -------------------------------------------------------------------------
    HDC dc_;
    const PxMetafile& mf_;
    int32_t width_, height_;
    double limit_;
    int baseLevel_ = 0;
    PlayState st_;
    std::vector<PlayState> saved_;
    std::vector<GdiObjectDesc> objects_;
    const uint8_t* recData_ = nullptr;
    size_t recSize_ = 0;
    std::vector<Figure> path_;
    size_t pathPoints_ = 0;
    int64_t unpackBudget_ = 4 * kMaxRlePixels;
    int64_t budget_ = WorkBudget(width_, height_);
    int64_t spent_ = 0;
    // The picture's part inside the clip region, known until a record may change the clip.
    RECT clipBox_{};
    bool clipKnown_ = false;
    bool exhausted_ = false;
    bool inPath_ = false, figureOpen_ = false;
};

}  // namespace tikora::metafile
