#include <cmath>
#include <cstdlib>
#include <utility>

#include "GdiInternal.h"

namespace tikora::gdi {

void FillRegionData(GdiDC* dc, const RegionData& rgn, Px color, int rop2) {
    Surface* s = Target(dc);
    if (!s || rgn.Empty()) return;
    const RegionData vis = RegionData::Combine(rgn, *VisibleRegion(dc), RGN_AND);
    for (const auto& b : vis.bands)
        for (LONG y = b->top; y < b->bottom; ++y)
            for (size_t i = 0; i + 1 < b->spans.size(); i += 2)
                FillSpan(*s, y, b->spans[i], b->spans[i + 1], color, rop2);
}

namespace {

// A brush handle, or a system colour index + 1 in the handle's place.
bool BrushColor(HBRUSH brush, Px& color) {
    if (GdiBrush* b = As<GdiBrush>(brush, ObjectKind::Brush)) {
        if (b->style == BS_NULL) return false;
        color = PxFromColorref(b->color);
        return true;
    }
    const uintptr_t v = reinterpret_cast<uintptr_t>(brush);
    if (v >= 1 && v <= 31) {
        color = PxFromColorref(GetSysColor(static_cast<int>(v - 1)));
        return true;
    }
    return false;
}

bool CurrentBrush(GdiDC* dc, Px& color) {
    GdiBrush* b = dc->state.brush;
    if (!b || b->style == BS_NULL) return false;
    color = PxFromColorref(b->color);
    return true;
}

bool CurrentPen(GdiDC* dc, Px& color, int& width) {
    GdiPen* p = dc->state.pen;
    if (!p || p->style == PS_NULL) return false;
    color = PxFromColorref(p->color);
    width = p->width;
    return true;
}

RegionData RectData(LONG l, LONG t, LONG r, LONG b) {
    if (l >= r || t >= b) return RegionData{};
    return RegionData::FromRect(RECT{l, t, r, b});
}

// The pixels of a pen line from a to b in device coordinates, the end point left out.
void StrokeLine(GdiDC* dc, POINT a, POINT b, Px color, int width) {
    Surface* s = Target(dc);
    if (!s) return;
    LONG dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
    LONG sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
    LONG err = dx + dy;
    LONG x = a.x, y = a.y;
    const int rop2 = dc->state.rop2;
    if (width <= 1) {
        const std::shared_ptr<const RegionData> vis = VisibleRegion(dc);
        auto visible = [&](LONG px, LONG py) { return vis->Contains(px, py); };
        while (x != b.x || y != b.y) {
            if (visible(x, y)) FillSpan(*s, y, x, x + 1, color, rop2);
            LONG e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
            }
        }
        return;
    }
    // A wide pen: the union of width x width squares along the line, so no pixel is hit twice.
    RegionData stroke;
    const LONG h = width / 2;
    while (x != b.x || y != b.y) {
        stroke = RegionData::Combine(stroke, RectData(x - h, y - h, x - h + width, y - h + width), RGN_OR);
        LONG e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
    FillRegionData(dc, stroke, color, rop2);
}

void Outline(GdiDC* dc, const std::vector<POINT>& pts, bool closed) {
    Px color;
    int width;
    if (!CurrentPen(dc, color, width) || pts.size() < 2) return;
    for (size_t i = 0; i + 1 < pts.size(); ++i) StrokeLine(dc, pts[i], pts[i + 1], color, width);
    if (closed) StrokeLine(dc, pts.back(), pts.front(), color, width);
}

std::vector<POINT> DevicePoints(GdiDC* dc, const POINT* pts, int count) {
    std::vector<POINT> out(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) out[i] = ToDevice(dc, pts[i].x, pts[i].y);
    return out;
}

enum class ArcShape { Open, Chord, Pie };

// Device points of an arc of the box (logical coordinates); the pen runs through the centres of
// the box's first and last pixel columns and rows, as the ellipse's outline does.
std::vector<POINT> ArcOutline(GdiDC* dc, const RECT& box, POINT start, POINT end, bool clockwise) {
    const RECT d = ToDevice(dc, box);
    const POINT s = ToDevice(dc, start.x, start.y), e = ToDevice(dc, end.x, end.y);
    RECT n = Normalized(d);
    const double l = n.left, t = n.top, r = std::max<double>(n.left, n.right - 1.0),
                 b = std::max<double>(n.top, n.bottom - 1.0);
    const int segments = static_cast<int>(std::clamp((r - l + b - t) * 1.6, 12.0, 2048.0));
    std::vector<POINT> pts;
    for (const PointF& p : ArcPoints(l, t, r, b, s.x, s.y, e.x, e.y, clockwise, segments))
        pts.push_back(POINT{static_cast<LONG>(std::lround(p.x)), static_cast<LONG>(std::lround(p.y))});
    return pts;
}

BOOL DrawArc(HDC hdc, ArcShape shape, const RECT& box, POINT start, POINT end) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return FALSE;
    std::vector<POINT> pts = ArcOutline(dc, box, start, end, dc->state.arcDirection == AD_CLOCKWISE);
    if (shape == ArcShape::Pie) {
        const RECT n = Normalized(ToDevice(dc, box));
        pts.insert(pts.begin(), POINT{(n.left + n.right - 1) / 2, (n.top + n.bottom - 1) / 2});
    }
    Px brushColor;
    if (shape != ArcShape::Open && CurrentBrush(dc, brushColor) && pts.size() >= 3)
        FillRegionData(dc, PolygonRegionData(pts.data(), static_cast<int>(pts.size()), ALTERNATE), brushColor,
                       dc->state.rop2);
    Outline(dc, pts, shape != ArcShape::Open);
    return TRUE;
}

// A line from the current position to the first point, then through the rest; the last point
// becomes the current position (device points, converted back).
void LineThrough(GdiDC* dc, std::vector<POINT> pts) {
    if (pts.empty()) return;
    pts.insert(pts.begin(), ToDevice(dc, dc->state.pos.x, dc->state.pos.y));
    Outline(dc, pts, false);
    const POINT o = ToDevice(dc, 0, 0);
    dc->state.pos = POINT{pts.back().x - o.x, pts.back().y - o.y};
}

}  // namespace

std::vector<PointF> ArcPoints(double left, double top, double right, double bottom, double xStart, double yStart,
                              double xEnd, double yEnd, bool clockwise, int segments) {
    constexpr double kTwoPi = 6.283185307179586;
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double rx = std::fabs(right - left) / 2, ry = std::fabs(bottom - top) / 2;
    // The parameter t of the point (cx + rx cos t, cy - ry sin t) on the ray through (x, y).
    auto param = [&](double x, double y) { return std::atan2(-(y - cy) * rx, (x - cx) * ry); };
    const double t0 = param(xStart, yStart), t1 = param(xEnd, yEnd);
    double sweep = std::fmod(clockwise ? t0 - t1 : t1 - t0, kTwoPi);
    if (!std::isfinite(sweep)) sweep = 0;
    if (sweep <= 1e-12) sweep += kTwoPi;
    if (clockwise) sweep = -sweep;
    const int n = std::max(2, static_cast<int>(std::ceil(std::clamp(segments, 4, 4096) * std::fabs(sweep) / kTwoPi)));
    std::vector<PointF> pts;
    pts.reserve(static_cast<size_t>(n) + 1);
    for (int i = 0; i <= n; ++i) {
        const double t = t0 + sweep * i / n;
        pts.push_back(PointF{cx + rx * std::cos(t), cy - ry * std::sin(t)});
    }
    return pts;
}

void FillSolidRect(HDC hdc, const RECT& rect, COLORREF color) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return;
    RECT d = ToDevice(dc, rect);
    FillRegionData(dc, RectData(d.left, d.top, d.right, d.bottom), PxFromColorref(color), R2_COPYPEN);
}

BOOL FillPolygonF(HDC hdc, const PointF* points, int count) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || !points || count < 3) return FALSE;
    constexpr double kFar = 1 << 30;
    const POINT o = ToDevice(dc, 0, 0);
    std::vector<PointF> pts(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (!(std::fabs(points[i].x) <= kFar && std::fabs(points[i].y) <= kFar)) return FALSE;
        pts[i] = PointF{points[i].x + o.x, points[i].y + o.y};
    }
    Px color;
    if (CurrentBrush(dc, color))
        FillRegionData(dc, PolygonRegionData(pts.data(), count, dc->state.polyFillMode), color, dc->state.rop2);
    return TRUE;
}

void BlendCoverage(HDC hdc, int x, int y, int width, int height, const BYTE* coverage, int coverageStride,
                   COLORREF color) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || !coverage || width <= 0 || height <= 0) return;
    Surface* s = Target(dc);
    if (!s) return;
    const Px c = PxFromColorref(color);
    const RECT box{x, y, x + width, y + height};
    std::vector<Px> buf;
    for (const RECT& clip : ClipRects(dc, box)) {
        RECT r = Intersect(box, clip);
        if (Empty(r)) continue;
        for (LONG yy = r.top; yy < r.bottom; ++yy) {
            const BYTE* cov = coverage + int64_t(yy - y) * coverageStride - x;
            LONG xx = r.left;
            while (xx < r.right) {
                while (xx < r.right && cov[xx] == 0) ++xx;
                const LONG x0 = xx;
                while (xx < r.right && cov[xx] != 0) ++xx;
                const LONG n = xx - x0;
                if (n == 0) continue;
                buf.resize(static_cast<size_t>(n));
                ReadRow(*s, yy, x0, n, buf.data());
                for (LONG i = 0; i < n; ++i) {
                    const unsigned a = cov[x0 + i], ia = 255 - a;
                    const Px d = buf[i];
                    auto mix = [&](int shift) {
                        return ((((c >> shift) & 0xFF) * a + ((d >> shift) & 0xFF) * ia + 127) / 255) << shift;
                    };
                    buf[i] = mix(16) | mix(8) | mix(0);
                }
                WriteRow(*s, yy, x0, n, buf.data());
            }
        }
    }
}

}  // namespace tikora::gdi

using namespace tikora::gdi;

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    GdiDC* dc = AsDC(hdc);
    Px color;
    if (!dc || !rect || !BrushColor(brush, color)) return 0;
    RECT d = ToDevice(dc, *rect);
    FillRegionData(dc, RectData(d.left, d.top, d.right, d.bottom), color, R2_COPYPEN);
    return 1;
}

int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    GdiDC* dc = AsDC(hdc);
    Px color;
    if (!dc || !rect || !BrushColor(brush, color)) return 0;
    RECT d = ToDevice(dc, *rect);
    if (Empty(d)) return 1;
    RegionData frame = RegionData::Combine(RectData(d.left, d.top, d.right, d.bottom),
                                           RectData(d.left + 1, d.top + 1, d.right - 1, d.bottom - 1), RGN_DIFF);
    FillRegionData(dc, frame, color, R2_COPYPEN);
    return 1;
}

BOOL InvertRect(HDC hdc, const RECT* rect) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || !rect) return FALSE;
    RECT d = ToDevice(dc, *rect);
    FillRegionData(dc, RectData(d.left, d.top, d.right, d.bottom), 0, R2_NOT);
    return TRUE;
}

BOOL FillRgn(HDC hdc, HRGN hrgn, HBRUSH brush) {
    GdiDC* dc = AsDC(hdc);
    GdiRegion* r = As<GdiRegion>(hrgn, ObjectKind::Region);
    Px color;
    if (!dc || !r || !BrushColor(brush, color)) return FALSE;
    RegionData d = r->data;
    POINT o = ToDevice(dc, 0, 0);
    d.Offset(o.x, o.y);
    FillRegionData(dc, d, color, R2_COPYPEN);
    return TRUE;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return FALSE;
    RECT d = Normalized(ToDevice(dc, RECT{left, top, right, bottom}));
    Px penColor, brushColor;
    int w;
    const bool pen = CurrentPen(dc, penColor, w);
    const bool brush = CurrentBrush(dc, brushColor);
    if (!pen) {
        // Without a pen the filled area loses the right column and bottom row too.
        if (brush) FillRegionData(dc, RectData(d.left, d.top, d.right - 1, d.bottom - 1), brushColor, dc->state.rop2);
        return TRUE;
    }
    RECT outer, inner;
    if (dc->state.pen->style == PS_INSIDEFRAME) {
        outer = d;
        inner = RECT{d.left + w, d.top + w, d.right - w, d.bottom - w};
    } else {
        // The pen is centred on the outline through the first and last pixel columns and rows.
        const LONG h = w / 2;
        outer = RECT{d.left - h, d.top - h, d.right - 1 - h + w, d.bottom - 1 - h + w};
        inner = RECT{d.left - h + w, d.top - h + w, d.right - 1 - h, d.bottom - 1 - h};
    }
    RegionData innerData = RectData(inner.left, inner.top, inner.right, inner.bottom);
    if (brush) FillRegionData(dc, innerData, brushColor, dc->state.rop2);
    FillRegionData(dc,
                   RegionData::Combine(RectData(outer.left, outer.top, outer.right, outer.bottom), innerData, RGN_DIFF),
                   penColor, dc->state.rop2);
    return TRUE;
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return FALSE;
    RECT d = Normalized(ToDevice(dc, RECT{left, top, right, bottom}));
    Px penColor, brushColor;
    int w = 0;
    const bool pen = CurrentPen(dc, penColor, w);
    const bool brush = CurrentBrush(dc, brushColor);
    RegionData outer = EllipseRegionData(d);
    RegionData inner = pen ? EllipseRegionData(RECT{d.left + w, d.top + w, d.right - w, d.bottom - w}) : outer;
    if (brush) FillRegionData(dc, inner, brushColor, dc->state.rop2);
    if (pen) FillRegionData(dc, RegionData::Combine(outer, inner, RGN_DIFF), penColor, dc->state.rop2);
    return TRUE;
}

BOOL Polygon(HDC hdc, const POINT* points, int count) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || !points || count < 2) return FALSE;
    std::vector<POINT> pts = DevicePoints(dc, points, count);
    Px brushColor;
    if (CurrentBrush(dc, brushColor))
        FillRegionData(dc, PolygonRegionData(pts.data(), count, dc->state.polyFillMode), brushColor, dc->state.rop2);
    Outline(dc, pts, true);
    return TRUE;
}

BOOL Polyline(HDC hdc, const POINT* points, int count) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || !points || count < 2) return FALSE;
    Outline(dc, DevicePoints(dc, points, count), false);
    return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT old) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return FALSE;
    if (old) *old = dc->state.pos;
    dc->state.pos = POINT{x, y};
    return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return FALSE;
    Px color;
    int width;
    if (CurrentPen(dc, color, width))
        StrokeLine(dc, ToDevice(dc, dc->state.pos.x, dc->state.pos.y), ToDevice(dc, x, y), color, width);
    dc->state.pos = POINT{x, y};
    return TRUE;
}

BOOL GetCurrentPositionEx(HDC hdc, LPPOINT pos) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || !pos) return FALSE;
    *pos = dc->state.pos;
    return TRUE;
}

BOOL Arc(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd) {
    return DrawArc(hdc, ArcShape::Open, RECT{left, top, right, bottom}, POINT{xStart, yStart}, POINT{xEnd, yEnd});
}

BOOL Pie(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd) {
    return DrawArc(hdc, ArcShape::Pie, RECT{left, top, right, bottom}, POINT{xStart, yStart}, POINT{xEnd, yEnd});
}

BOOL Chord(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd) {
    return DrawArc(hdc, ArcShape::Chord, RECT{left, top, right, bottom}, POINT{xStart, yStart}, POINT{xEnd, yEnd});
}

BOOL ArcTo(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return FALSE;
    LineThrough(dc, ArcOutline(dc, RECT{left, top, right, bottom}, POINT{xStart, yStart}, POINT{xEnd, yEnd},
                               dc->state.arcDirection == AD_CLOCKWISE));
    return TRUE;
}

BOOL AngleArc(HDC hdc, int x, int y, DWORD radius, float startAngle, float sweepAngle) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || radius > (1u << 28) || !std::isfinite(startAngle) || !std::isfinite(sweepAngle)) return FALSE;
    const POINT c = ToDevice(dc, x, y);
    const double r = radius, a0 = startAngle * 3.141592653589793 / 180,
                 sweep = std::clamp<double>(sweepAngle, -3600, 3600) * 3.141592653589793 / 180;
    const int n = std::max(2, static_cast<int>(std::min(std::fabs(sweep) * r * 0.5 + 2, 16384.0)));
    std::vector<POINT> pts;
    for (int i = 0; i <= n; ++i) {
        const double a = a0 + sweep * i / n;
        pts.push_back(POINT{static_cast<LONG>(std::lround(c.x + r * std::cos(a))),
                            static_cast<LONG>(std::lround(c.y - r * std::sin(a)))});
    }
    LineThrough(dc, pts);
    return TRUE;
}

int SetArcDirection(HDC hdc, int direction) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || (direction != AD_COUNTERCLOCKWISE && direction != AD_CLOCKWISE)) return 0;
    return std::exchange(dc->state.arcDirection, direction);
}

int GetArcDirection(HDC hdc) {
    GdiDC* dc = AsDC(hdc);
    return dc ? dc->state.arcDirection : 0;
}

namespace {
tikora::gdi::TextRunRenderer g_textRunRenderer = nullptr;
}

namespace tikora::gdi {
void SetTextRunRenderer(TextRunRenderer renderer) { g_textRunRenderer = renderer; }
TextRunRenderer GetTextRunRenderer() { return g_textRunRenderer; }
}  // namespace tikora::gdi
