// The metafile player's drawing state, shared by both formats: mapping to the picture, shapes
// and outlines, paths, text, GDI objects, saved states and clipping.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "PxImageWMFPlayer.h"

namespace tikora::metafile {

// ---- text encodings ---------------------------------------------------------------------------

// Windows-1252, the code page of 8-bit metafile text, into UTF-16.
char16_t FromCp1252(uint8_t c) {
    static const char16_t k80[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                     0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    return c >= 0x80 && c < 0xA0 ? k80[c - 0x80] : static_cast<char16_t>(c);
}

std::string Utf8(const std::u16string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// ---- the player ----------------------------------------------------------------------------------

// Returns the work spent.
int64_t Player::Play() {
    baseLevel_ = SaveDC(dc_);
    SelectObject(dc_, GetStockObject(NULL_PEN));
    if (mf_.enhanced)
        PlayEnhanced();
    else
        PlayWindows();
    RestoreDC(dc_, baseLevel_);
    return spent_;
}

double Player::Clamp(double v) const {
    if (!std::isfinite(v)) return 0;
    return std::clamp(v, -limit_, limit_);
}

void Player::ToTarget(double lx, double ly, double& tx, double& ty) const {
    if (!mf_.enhanced) {
        // The metafile's window fills the picture.
        const double ex = st_.winExtX == 0 ? 1 : st_.winExtX;
        const double ey = st_.winExtY == 0 ? 1 : st_.winExtY;
        tx = (lx - st_.winOrgX) * width_ / ex;
        ty = (ly - st_.winOrgY) * height_ / ey;
        return;
    }
    const double wx = st_.world.m11 * lx + st_.world.m21 * ly + st_.world.dx;
    const double wy = st_.world.m12 * lx + st_.world.m22 * ly + st_.world.dy;
    double dx, dy;
    if (st_.mapMode == kMmText) {
        dx = wx - st_.winOrgX + st_.vpOrgX;
        dy = wy - st_.winOrgY + st_.vpOrgY;
    } else if (st_.mapMode >= 2 && st_.mapMode <= 6) {
        // Metric and English modes: fixed units, y upwards.
        static const double kMmPerUnit[7] = {0, 0, 0.1, 0.01, 0.254, 0.0254, 25.4 / 1440};
        const double ppmX = RefPixelsPerMm(true), ppmY = RefPixelsPerMm(false);
        dx = (wx - st_.winOrgX) * kMmPerUnit[st_.mapMode] * ppmX + st_.vpOrgX;
        dy = -(wy - st_.winOrgY) * kMmPerUnit[st_.mapMode] * ppmY + st_.vpOrgY;
    } else {
        const double ex = st_.winExtX == 0 ? 1 : st_.winExtX;
        const double ey = st_.winExtY == 0 ? 1 : st_.winExtY;
        double sx = st_.vpExtX / ex, sy = st_.vpExtY / ey;
        if (st_.mapMode == kMmIsotropic) {
            // The same scale both ways: the smaller one.
            const double s = std::min(std::fabs(sx), std::fabs(sy));
            sx = std::copysign(s, sx);
            sy = std::copysign(s, sy);
        }
        dx = (wx - st_.winOrgX) * sx + st_.vpOrgX;
        dy = (wy - st_.winOrgY) * sy + st_.vpOrgY;
    }
    RefToTarget(dx, dy, tx, ty);
}

// The reference device's picture frame fills the picture.
void Player::RefToTarget(double dx, double dy, double& tx, double& ty) const {
    double left, top, w, h;
    FrameInRefPixels(left, top, w, h);
    tx = (dx - left) * width_ / w;
    ty = (dy - top) * height_ / h;
}

double Player::RefPixelsPerMm(bool horizontal) const {
    const auto& hd = mf_.header;
    const int32_t px = horizontal ? hd.device.cx : hd.device.cy;
    const int32_t mm = horizontal ? hd.millimeters.cx : hd.millimeters.cy;
    return px > 0 && mm > 0 ? static_cast<double>(px) / mm : 96 / 25.4;
}

void Player::FrameInRefPixels(double& left, double& top, double& w, double& h) const {
    const auto& hd = mf_.header;
    const double fx = RefPixelsPerMm(true) / 100, fy = RefPixelsPerMm(false) / 100;
    left = hd.frame.left * fx;
    top = hd.frame.top * fy;
    w = (static_cast<double>(hd.frame.right) - hd.frame.left) * fx;
    h = (static_cast<double>(hd.frame.bottom) - hd.frame.top) * fy;
    if (!(w > 0) || !(h > 0)) {
        left = hd.bounds.left;
        top = hd.bounds.top;
        w = std::max(1.0, static_cast<double>(hd.bounds.right) - hd.bounds.left);
        h = std::max(1.0, static_cast<double>(hd.bounds.bottom) - hd.bounds.top);
    }
}

PointF Player::MapF(double lx, double ly) const {
    double tx, ty;
    ToTarget(lx, ly, tx, ty);
    return PointF{Clamp(tx), Clamp(ty)};
}

POINT Player::Map(double lx, double ly) const {
    const PointF p = MapF(lx, ly);
    return POINT{static_cast<LONG>(std::lround(p.x)), static_cast<LONG>(std::lround(p.y))};
}

// Device length of a logical step along x or y.
double Player::Scale(bool horizontal) const {
    double x0, y0, x1, y1;
    ToTarget(0, 0, x0, y0);
    ToTarget(horizontal ? 1 : 0, horizontal ? 0 : 1, x1, y1);
    const double s = std::hypot(x1 - x0, y1 - y0);
    return std::isfinite(s) ? std::min(s, limit_) : 0;
}

// Whether logical coordinates come out mirrored on the picture (a y axis pointing up).
bool Player::Mirrored() const {
    double x0, y0, x1, y1, x2, y2;
    ToTarget(0, 0, x0, y0);
    ToTarget(1, 0, x1, y1);
    ToTarget(0, 1, x2, y2);
    return (x1 - x0) * (y2 - y0) - (y1 - y0) * (x2 - x0) < 0;
}

// The pen's width on the picture, to the nearest pixel (a width a hair under a whole number
// of pixels, as mapping often makes it, keeps that number).
int32_t Player::PenPixels() const {
    if (st_.pen.width <= 0) return 1;
    const double w = st_.pen.width * Scale(true);
    if (!std::isfinite(w) || w < 1) return 1;
    return static_cast<int32_t>(std::lround(std::min(w, 256.0)));
}

COLORREF Player::Resolve(COLORREF c) const {
    if ((c >> 24) == 1) {  // an index into the selected palette
        const size_t i = c & 0xFFFF;
        return st_.palette && i < st_.palette->size() ? (*st_.palette)[i] : 0;
    }
    return c & 0xFFFFFF;
}

// The rectangle's corners as a region; exact for any rotation of the world.
HRGN Player::LogicalRectRgn(double l, double t, double r, double b) {
    const std::vector<POINT> pts = {Map(l, t), Map(r, t), Map(r, b), Map(l, b)};
    if (!AffordScan(pts)) return CreateRectRgn(0, 0, 0, 0);
    return CreatePolygonRgn(pts.data(), 4, WINDING);
}

// A Windows-metafile region's rectangles as one region, made at once. That mapping neither
// rotates nor shears, so each rectangle stays one.
HRGN Player::LogicalRectsRgn(const std::vector<RECT>& rects) const {
    std::vector<RECT> device;
    device.reserve(rects.size());
    for (const RECT& r : rects) {
        const POINT a = Map(r.left, r.top), b = Map(r.right, r.bottom);
        device.push_back(RECT{a.x, a.y, b.x, b.y});
    }
    return tikora::gdi::CreateRectsRgn(device.data(), device.size());
}

// Takes work out of the playback's budget before it is done. Past the budget the work is not
// done and the playing ends after this record, keeping what was drawn.
bool Player::Afford(int64_t units) {
    if (exhausted_ || units > budget_ - spent_) {
        exhausted_ = true;
        return false;
    }
    spent_ += units;
    return true;
}

// What combining the clip region with another region (none: reading the clip out) walks.
int64_t Player::ClipWork(HRGN other) const {
    const tikora::gdi::RegionSize a = tikora::gdi::GetClipRegionSize(dc_), b = tikora::gdi::GetRegionSize(other);
    return kClipBandCost * static_cast<int64_t>(a.bands + b.bands) +
           kClipRectCost * static_cast<int64_t>(a.rects + b.rects);
}

bool Player::AffordClip(HRGN other) { return Afford(ClipWork(other)); }

// The part of the picture that drawing can reach: inside the clip region's box.
RECT Player::ClipBox() {
    if (!clipKnown_) {
        RECT r{};
        if (GetClipBox(dc_, &r) == NULLREGION || r.left >= r.right || r.top >= r.bottom) r = RECT{0, 0, 0, 0};
        clipBox_ = RECT{std::max<LONG>(r.left, 0), std::max<LONG>(r.top, 0), std::min<LONG>(r.right, width_),
                        std::min<LONG>(r.bottom, height_)};
        clipKnown_ = true;
    }
    return clipBox_;
}

// The pixels of a device box (right and bottom left out) that drawing can reach.
int64_t Player::VisibleArea(RECT box) {
    const RECT c = ClipBox();
    const int64_t w = int64_t{std::min(box.right, c.right)} - std::max(box.left, c.left);
    const int64_t h = int64_t{std::min(box.bottom, c.bottom)} - std::max(box.top, c.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// The rows that a polygon's edges cross, from each edge's upper end to its lower end: what
// making its scan lines costs, in work.
template <class Point>
int64_t Player::EdgeRows(const std::vector<Point>& pts) const {
    int64_t rows = 0;
    for (size_t i = 0; i < pts.size(); i++) {
        const double y0 = std::ceil(static_cast<double>(pts[i].y));
        const double y1 = std::ceil(static_cast<double>(pts[(i + 1) % pts.size()].y));
        rows += static_cast<int64_t>(std::min(std::fabs(y1 - y0), 4 * limit_)) + kEdgeSetup;
    }
    return kEdgeCost * rows;
}

// The box around points: the pixels that a fill of them may paint.
template <class Point>
RECT Player::BoxOf(const std::vector<Point>& pts) const {
    if (pts.empty()) return RECT{0, 0, 0, 0};
    double l = pts[0].x, t = pts[0].y, r = l, b = t;
    for (const Point& p : pts) {
        l = std::min<double>(l, p.x), t = std::min<double>(t, p.y);
        r = std::max<double>(r, p.x), b = std::max<double>(b, p.y);
    }
    return RECT{static_cast<LONG>(std::floor(l)), static_cast<LONG>(std::floor(t)), static_cast<LONG>(std::ceil(r)),
                static_cast<LONG>(std::ceil(b))};
}

// A region made from a polygon: its scan lines.
template <class Point>
bool Player::AffordScan(const std::vector<Point>& pts) {
    return Afford(EdgeRows(pts));
}

// A polygon filled: its scan lines and the pixels of its box.
bool Player::AffordFill(const std::vector<POINT>& pts) { return Afford(EdgeRows(pts) + VisibleArea(BoxOf(pts))); }

// Lines of a one-pixel pen, stepped pixel by pixel over their whole length. Segments that miss
// the picture draw nothing and are left out: each line becomes the runs of segments that remain.
bool Player::AffordLines(std::vector<std::vector<POINT>>& lines) {
    std::vector<std::vector<POINT>> runs;
    int64_t steps = 0;
    for (const std::vector<POINT>& line : lines) {
        std::vector<POINT> run;
        for (size_t i = 0; i + 1 < line.size(); i++) {
            const POINT a = line[i], b = line[i + 1];
            if (std::max(a.x, b.x) < 0 || std::min(a.x, b.x) >= width_ || std::max(a.y, b.y) < 0 ||
                std::min(a.y, b.y) >= height_) {
                if (run.size() >= 2) runs.push_back(std::move(run));
                run.clear();
                continue;
            }
            if (run.empty()) run.push_back(a);
            run.push_back(b);
            steps += std::max(std::abs(int64_t{b.x} - a.x), std::abs(int64_t{b.y} - a.y)) + 1;
        }
        if (run.size() >= 2) runs.push_back(std::move(run));
    }
    lines = std::move(runs);
    return Afford(kLineCost * steps);
}

// A run of text drawn: the box of the whole run, rotated, and each glyph's own square of the
// cell's height, on the picture.
int64_t Player::GlyphWork(size_t glyphs, double advance, double height, double angle) const {
    const double along = std::fabs(advance) + height, c = std::fabs(std::cos(angle)), s = std::fabs(std::sin(angle));
    const double w = std::min(along * c + height * s, double(width_)),
                 h = std::min(along * s + height * c, double(height_));
    const double glyph = std::min(height, double(width_)) * std::min(height, double(height_));
    return static_cast<int64_t>(w * h + static_cast<double>(glyphs) * glyph);
}

void Player::FillPolygon(const std::vector<POINT>& pts, COLORREF color, int32_t mode) {
    if (pts.size() < 3 || !AffordFill(pts)) return;
    HBRUSH brush = CreateSolidBrush(Resolve(color));
    HGDIOBJ old = SelectObject(dc_, brush);
    SetPolyFillMode(dc_, mode);
    SetROP2(dc_, st_.rop2);
    Polygon(dc_, pts.data(), static_cast<int>(pts.size()));
    SelectObject(dc_, old);
    DeleteObject(brush);
}

// Several polygons as one: each joined to the one before it through their first points, and
// those bridges walked back at the end. Every bridge is walked there and back, so it adds
// nothing in either fill mode, and it costs the fill only the rows between neighbours.
template <class Point>
std::vector<Point> Player::Joined(const std::vector<std::vector<Point>>& polys) {
    std::vector<Point> all, starts;
    for (const auto& p : polys) {
        if (p.size() < 3) continue;
        all.insert(all.end(), p.begin(), p.end());
        all.push_back(p.front());
        starts.push_back(p.front());
    }
    for (size_t i = starts.size(); i-- > 1;) all.push_back(starts[i - 1]);
    return all;
}

void Player::FillWith(const std::vector<POINT>& pts, const BrushDesc& brush, int32_t mode) {
    if (brush.null() || pts.size() < 3) return;
    if (brush.style == BrushDesc::Solid) {
        FillPolygon(pts, brush.color, mode);
        return;
    }
    if (!AffordScan(pts)) return;
    HRGN rgn = CreatePolygonRgn(pts.data(), static_cast<int>(pts.size()), mode);
    PaintTiles(rgn, brush);
    DeleteObject(rgn);
}

void Player::Fill(const std::vector<POINT>& pts) { FillWith(pts, st_.brush, st_.polyFill); }

// A region (device units) painted with a brush.
void Player::FillRegion(HRGN rgn, const BrushDesc& brush) {
    if (brush.null()) return;
    if (brush.style != BrushDesc::Solid) {
        PaintTiles(rgn, brush);
        return;
    }
    RECT box;
    if (GetRgnBox(rgn, &box) == NULLREGION || !Afford(VisibleArea(box) + ClipWork(rgn))) return;
    HBRUSH b = CreateSolidBrush(Resolve(brush.color));
    FillRgn(dc_, rgn, b);
    DeleteObject(b);
}

bool Player::HatchBit(int32_t style, int32_t x, int32_t y) {
    switch (style) {
        case HS_HORIZONTAL:
            return y == 7;
        case HS_VERTICAL:
            return x == 7;
        case HS_FDIAGONAL:
            return x == y;
        case HS_BDIAGONAL:
            return x + y == 7;
        case HS_CROSS:
            return x == 7 || y == 7;
        default:
            return x == y || x + y == 7;
    }
}

// Tiles a hatch or bitmap brush over a region, the tiles aligned on the picture's origin.
// Rows go out in strips; a hatch over a transparent background touches only its lines.
void Player::PaintTiles(HRGN rgn, const BrushDesc& b) {
    RECT box;
    if (GetRgnBox(rgn, &box) == NULLREGION) return;
    const RECT clip = ClipBox();
    box.left = std::max(box.left, clip.left);
    box.top = std::max(box.top, clip.top);
    box.right = std::min(box.right, clip.right);
    box.bottom = std::min(box.bottom, clip.bottom);
    if (box.left >= box.right || box.top >= box.bottom) return;
    const bool hatch = b.style == BrushDesc::Hatch;
    if (!hatch && (!b.pattern || b.pattern->width <= 0 || b.pattern->height <= 0)) return;
    if (!Afford(kTileCost * VisibleArea(box) + ClipWork(rgn))) return;
    const int32_t tw = hatch ? 8 : b.pattern->width, th = hatch ? 8 : b.pattern->height;
    const uint32_t fore = Rgb(Resolve(hatch ? b.color : st_.textColor)), back = Rgb(Resolve(st_.bkColor));
    const bool transparent = hatch && st_.bkMode == TRANSPARENT;
    auto tile = [&](int32_t x, int32_t y, bool& set) -> uint32_t {
        if (hatch) {
            set = HatchBit(b.hatch, x, y);
            return set ? fore : back;
        }
        set = true;
        const uint32_t v = b.pattern->px[static_cast<size_t>(y) * tw + x];
        return b.pattern->mono ? (v ? back : fore) : v;
    };
    const int32_t w = box.right - box.left, rows = 64;
    std::vector<uint32_t> strip(static_cast<size_t>(w) * rows), mask(transparent ? strip.size() : 0);
    BITMAPINFO bmi{};
    bmi.bmiHeader = BITMAPINFOHEADER{40, w, -rows, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    SaveDC(dc_);
    ExtSelectClipRgn(dc_, rgn, RGN_AND);
    for (int32_t y0 = box.top; y0 < box.bottom; y0 += rows) {
        for (int32_t r = 0; r < rows; r++)
            for (int32_t x = 0; x < w; x++) {
                bool set;
                const uint32_t v = tile((box.left + x) % tw, (y0 + r) % th, set);
                const size_t i = static_cast<size_t>(r) * w + x;
                strip[i] = transparent && !set ? 0 : v;
                if (transparent) mask[i] = set ? 0 : 0xFFFFFF;
            }
        if (transparent)
            StretchDIBits(dc_, box.left, y0, w, rows, 0, 0, w, rows, mask.data(), &bmi, DIB_RGB_COLORS, SRCAND);
        StretchDIBits(dc_, box.left, y0, w, rows, 0, 0, w, rows, strip.data(), &bmi, DIB_RGB_COLORS,
                      transparent ? SRCPAINT : SRCCOPY);
    }
    RestoreDC(dc_, -1);
}

uint32_t Player::Rgb(COLORREF c) {
    return (uint32_t{GetRValue(c)} << 16) | (uint32_t{GetGValue(c)} << 8) | GetBValue(c);
}

// The dash pattern of the pen in device pixels (on, off, ...), empty for a solid line.
// Pens made by CreatePen draw solid when wider than a pixel; geometric ones keep their style.
std::vector<double> Player::DashPattern(int32_t width) const {
    const uint32_t kind = st_.pen.style & 0x0F;
    if (kind == PS_SOLID || kind == PS_INSIDEFRAME || kind == PS_NULL) return {};
    if (!st_.pen.geometric && width > 1) return {};
    std::vector<double> d;
    if (kind == kPsUserStyle) {
        for (double v : st_.pen.dashes) d.push_back(v * Scale(true));
    } else {
        static const std::vector<double> kCosmetic[5] = {{}, {18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
        static const std::vector<double> kGeometric[5] = {{}, {3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
        if (kind > 4) return {};
        for (double v : (width > 1 ? kGeometric : kCosmetic)[kind]) d.push_back(v * (width > 1 ? width : 1));
    }
    if (d.size() % 2) d.insert(d.end(), d.begin(), d.end());
    double sum = 0;
    for (double& v : d) sum += v = std::isfinite(v) ? std::clamp(v, 0.0, limit_) : 0;
    if (d.size() < 2 || sum < 2) return {};
    return d;
}

// A line cut into its dashes; the pattern starts again with every line.
std::vector<std::vector<POINT>> Player::Dashed(const std::vector<POINT>& pts, const std::vector<double>& pattern) {
    std::vector<std::vector<POINT>> out;
    std::vector<POINT> cur;
    size_t k = 0;
    double left = pattern[0];
    bool on = true;
    cur.push_back(pts[0]);
    for (size_t i = 0; i + 1 < pts.size(); i++) {
        const POINT a = pts[i], b = pts[i + 1];
        const double dx = double(b.x) - a.x, dy = double(b.y) - a.y, len = std::hypot(dx, dy);
        double t = 0;
        while (len - t > left) {
            if (out.size() > kMaxDashes) return {pts};
            t += left;
            const POINT at{static_cast<LONG>(std::lround(a.x + dx * t / len)),
                           static_cast<LONG>(std::lround(a.y + dy * t / len))};
            if (on) {
                cur.push_back(at);
                out.push_back(std::move(cur));
                cur.clear();
            } else {
                cur.assign(1, at);
            }
            on = !on;
            k = (k + 1) % pattern.size();
            left = pattern[k];
        }
        left -= len - t;
        if (on) cur.push_back(b);
    }
    if (on && cur.size() >= 2) out.push_back(std::move(cur));
    return out;
}

// A polygon turned so that it runs the same way as every other piece of a stroke; their
// union is then what the winding rule fills.
void Player::AddPiece(std::vector<std::vector<PointF>>& pieces, std::vector<PointF> poly) {
    double area = 0;
    for (size_t i = 0; i < poly.size(); i++) {
        const PointF& a = poly[i];
        const PointF& b = poly[(i + 1) % poly.size()];
        area += a.x * b.y - b.x * a.y;
    }
    if (area < 0) std::reverse(poly.begin(), poly.end());
    if (area != 0) pieces.push_back(std::move(poly));
}

// The pieces of a wide line: a band along each segment, the joins and the end caps.
void Player::WideLine(const std::vector<POINT>& points, bool closed, double half,
                      std::vector<std::vector<PointF>>& pieces) const {
    // Points repeated in a row (and a closed line's last point on its first) make no turn.
    std::vector<POINT> pts;
    for (const POINT& p : points)
        if (pts.empty() || p.x != pts.back().x || p.y != pts.back().y) pts.push_back(p);
    while (closed && pts.size() > 1 && pts.back().x == pts.front().x && pts.back().y == pts.front().y) pts.pop_back();
    if (pts.size() == 1) pts.push_back(pts[0]);
    const uint32_t cap = st_.pen.style & 0x0F00, join = st_.pen.style & 0xF000;
    const size_t n = pts.size();
    // Corners keep their places between pixels: a band w wide covers the pixels within w / 2
    // of its line whatever its slope (w rows of a level line, from w / 2 above it).
    auto at = [](double x, double y) { return PointF{x, y}; };
    // Round joins and ends cost a polygon each: fewer sides on long lines.
    const int32_t sides = n * 48 < (size_t(1) << 20) ? 48 : 8;
    auto disc = [&](POINT c) {
        const int32_t k = static_cast<int32_t>(std::clamp(half * 2, 8.0, double(sides)));
        std::vector<PointF> d;
        for (int32_t i = 0; i < k; i++)
            d.push_back(at(c.x + half * std::cos(2 * kPi * i / k), c.y + half * std::sin(2 * kPi * i / k)));
        AddPiece(pieces, std::move(d));
    };
    struct Seg {
        double ux, uy;  // direction, unit
    };
    auto dir = [&](POINT a, POINT b, Seg& s) {
        const double dx = double(b.x) - a.x, dy = double(b.y) - a.y, len = std::hypot(dx, dy);
        if (!(len > 0)) return false;
        s = Seg{dx / len, dy / len};
        return true;
    };
    const size_t segments = closed ? n : n - 1;
    for (size_t i = 0; i < segments; i++) {
        POINT a = pts[i], b = pts[(i + 1) % n];
        Seg s;
        if (!dir(a, b, s)) continue;
        double ax = a.x, ay = a.y, bx = b.x, by = b.y;
        if (!closed && cap == kEndCapSquare) {
            if (i == 0) ax -= s.ux * half, ay -= s.uy * half;
            if (i + 1 == segments) bx += s.ux * half, by += s.uy * half;
        }
        const double nx = -s.uy * half, ny = s.ux * half;
        AddPiece(pieces, {at(ax + nx, ay + ny), at(bx + nx, by + ny), at(bx - nx, by - ny), at(ax - nx, ay - ny)});
    }
    // Joins at the inner points (all of them on a closed line).
    for (size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); i++) {
        const POINT v = pts[i], prev = pts[(i + n - 1) % n], next = pts[(i + 1) % n];
        Seg s1, s2;
        if (!dir(prev, v, s1) || !dir(v, next, s2)) continue;
        if (join != kJoinBevel && join != kJoinMiter) {
            disc(v);
            continue;
        }
        // The outer side of the turn.
        const double n1x = -s1.uy * half, n1y = s1.ux * half, n2x = -s2.uy * half, n2y = s2.ux * half;
        const double side = n1x * s2.ux + n1y * s2.uy < 0 ? 1 : -1;
        const PointF c = at(v.x, v.y), o1 = at(v.x + side * n1x, v.y + side * n1y),
                     o2 = at(v.x + side * n2x, v.y + side * n2y);
        const double mx = n1x + n2x, my = n1y + n2y, ml = std::hypot(mx, my);
        const double cosHalf = ml / (2 * half);
        if (join == kJoinMiter && cosHalf > 0.1) {
            const double len = half / cosHalf;
            AddPiece(pieces, {c, o1, at(v.x + side * mx / ml * len, v.y + side * my / ml * len), o2});
        } else {
            AddPiece(pieces, {c, o1, o2});
        }
    }
    if (!closed && cap != kEndCapFlat && cap != kEndCapSquare) {
        disc(pts.front());
        disc(pts.back());
    }
}

void Player::Stroke(const std::vector<POINT>& pts, bool closed) {
    if (st_.pen.null || pts.empty()) return;
    const COLORREF color = Resolve(st_.pen.color);
    const int32_t w = PenPixels();
    std::vector<std::vector<POINT>> lines;
    const std::vector<double> pattern = DashPattern(w);
    if (!pattern.empty() && pts.size() >= 2) {
        std::vector<POINT> line = pts;
        if (closed) line.push_back(pts.front());
        lines = Dashed(line, pattern);
        closed = false;
    } else {
        lines.push_back(pts);
    }
    if (w <= 1) {
        for (std::vector<POINT>& line : lines) {
            if (closed) line.push_back(line.front());
            if (line.size() == 1) line.push_back(POINT{line[0].x + 1, line[0].y});
        }
        if (!AffordLines(lines)) return;
        HPEN pen = CreatePen(PS_SOLID, 1, color);
        HGDIOBJ old = SelectObject(dc_, pen);
        SetROP2(dc_, st_.rop2);
        for (const std::vector<POINT>& line : lines) Polyline(dc_, line.data(), static_cast<int>(line.size()));
        SelectObject(dc_, old);
        DeleteObject(pen);
        return;
    }
    // A stroke of very many points goes out in parts that share their ends, so that the pieces
    // of one part stay small in memory.
    size_t total = 0;
    for (const std::vector<POINT>& line : lines) total += line.size();
    if (total <= kStrokePart) return WideStroke(lines, closed, w, color);
    if (closed) lines[0].push_back(lines[0].front());
    std::vector<std::vector<POINT>> part;
    size_t points = 0;
    for (const std::vector<POINT>& line : lines)
        for (size_t i = 0; i == 0 || i + 1 < line.size(); i += kStrokePart) {
            const size_t end = std::min(line.size(), i + kStrokePart + 1);
            part.emplace_back(line.begin() + static_cast<std::ptrdiff_t>(i),
                              line.begin() + static_cast<std::ptrdiff_t>(end));
            points += end - i;
            if (points >= kStrokePart) {
                WideStroke(part, false, w, color);
                part.clear();
                points = 0;
                if (exhausted_) return;
            }
        }
    if (!part.empty()) WideStroke(part, false, w, color);
}

// Lines of a pen w pixels wide, filled as one region so that no pixel is painted twice.
void Player::WideStroke(const std::vector<std::vector<POINT>>& lines, bool closed, int32_t w, COLORREF color) {
    // Charged before its pieces are made, which may take much memory: its pixels (its box, or
    // its length times its width where that is less) and the rows its bands' sides cross; the
    // rows of its joins and ends after.
    double cover = double(w) * w;
    int64_t rows = 0;
    std::vector<POINT> corners;
    auto segment = [&](POINT a, POINT b) {
        cover += (std::hypot(double(b.x) - a.x, double(b.y) - a.y) + w) * w;
        rows += 2 * std::abs(int64_t{b.y} - a.y);
    };
    for (const std::vector<POINT>& line : lines) {
        for (size_t i = 0; i + 1 < line.size(); i++) segment(line[i], line[i + 1]);
        for (const POINT& p : line) {
            corners.push_back(POINT{p.x - w, p.y - w});
            corners.push_back(POINT{p.x + w, p.y + w});
        }
    }
    if (closed && lines.size() == 1 && lines[0].size() > 1) segment(lines[0].back(), lines[0][0]);
    const int64_t area = static_cast<int64_t>(std::min<double>(VisibleArea(BoxOf(corners)), cover));
    if (!Afford(kEdgeCost * rows + area)) return;
    std::vector<std::vector<PointF>> pieces;
    for (const std::vector<POINT>& line : lines) {
        if (line.size() == 1) {
            WideLine({line[0], line[0]}, false, w / 2.0, pieces);
            const double l = line[0].x - w / 2, t = line[0].y - w / 2;
            AddPiece(pieces, {{l, t}, {l + w, t}, {l + w, t + w}, {l, t + w}});
        } else {
            WideLine(line, closed, w / 2.0, pieces);
        }
    }
    const std::vector<PointF> all = Joined(pieces);
    if (all.size() < 3 || !Afford(std::max<int64_t>(EdgeRows(all) - kEdgeCost * rows, 0))) return;
    HBRUSH brush = CreateSolidBrush(color);
    HGDIOBJ old = SelectObject(dc_, brush);
    SetPolyFillMode(dc_, WINDING);
    SetROP2(dc_, st_.rop2);
    tikora::gdi::FillPolygonF(dc_, all.data(), static_cast<int>(all.size()));
    SelectObject(dc_, old);
    DeleteObject(brush);
}

// A closed or open shape: drawn, or added to the path being recorded.
void Player::Shape(std::vector<POINT> pts, bool closed, bool filled) {
    if (inPath_) {
        AddFigure(std::move(pts), closed);
        return;
    }
    if (filled) Fill(pts);
    Stroke(pts, closed);
}

// A line on from the current position through the points (device), which end at (x, y).
void Player::LineOn(const std::vector<POINT>& pts, double x, double y) {
    if (inPath_) {
        ExtendFigure(pts);
    } else {
        std::vector<POINT> line{Map(st_.curX, st_.curY)};
        line.insert(line.end(), pts.begin(), pts.end());
        Stroke(line, false);
    }
    st_.curX = x;
    st_.curY = y;
}

std::vector<POINT> Player::EllipsePoints(double l, double t, double r, double b) const {
    return ArcPts(l, t, r, b, r, (t + b) / 2, r, (t + b) / 2, false);
}

// An arc of the box in logical units, flattened finely enough for its size on the picture;
// the direction is the one seen on the picture.
std::vector<POINT> Player::ArcPts(double l, double t, double r, double b, double xs, double ys, double xe, double ye,
                                  bool clockwise) const {
    const double size = std::fabs(r - l) * Scale(true) + std::fabs(b - t) * Scale(false);
    const int32_t segments = static_cast<int32_t>(std::clamp(size * 1.6, 16.0, 2048.0));
    std::vector<POINT> pts;
    for (const PointF& p : tikora::gdi::ArcPoints(l, t, r, b, xs, ys, xe, ye, clockwise != Mirrored(), segments)) {
        const PointF m = MapF(p.x, p.y);
        pts.push_back(POINT{static_cast<LONG>(std::lround(m.x)), static_cast<LONG>(std::lround(m.y))});
    }
    return pts;
}

void Player::Arc(ArcKind kind, double l, double t, double r, double b, double xs, double ys, double xe, double ye) {
    std::vector<POINT> pts = ArcPts(l, t, r, b, xs, ys, xe, ye, st_.clockwise);
    if (kind == ArcKind::To) {
        // The arc's end on the ellipse becomes the current position.
        const double cx = (l + r) / 2, cy = (t + b) / 2, rx = std::fabs(r - l) / 2, ry = std::fabs(b - t) / 2;
        const double a = std::atan2(-(ye - cy) * rx, (xe - cx) * ry);
        LineOn(pts, cx + rx * std::cos(a), cy - ry * std::sin(a));
        return;
    }
    if (kind == ArcKind::Pie) pts.insert(pts.begin(), Map((l + r) / 2, (t + b) / 2));
    Shape(std::move(pts), kind != ArcKind::Open, kind != ArcKind::Open);
}

void Player::AngleArc(double x, double y, double radius, double start, double sweep) {
    if (!std::isfinite(start) || !std::isfinite(sweep)) return;
    sweep = std::clamp(sweep, -3600.0, 3600.0);
    const double size = radius * (Scale(true) + Scale(false));
    const int32_t n = static_cast<int32_t>(std::clamp(size * 1.6 * std::fabs(sweep) / 360, 2.0, 8192.0));
    // Angles turn counterclockwise on the picture.
    const double sign = Mirrored() ? 1 : -1;
    std::vector<POINT> pts;
    double ex = x, ey = y;
    for (int32_t i = 0; i <= n; i++) {
        const double a = (start + sweep * i / n) * kPi / 180;
        ex = x + radius * std::cos(a);
        ey = y + sign * radius * std::sin(a);
        pts.push_back(Map(ex, ey));
    }
    LineOn(pts, ex, ey);
}

std::vector<POINT> Player::RoundRectPoints(double l, double t, double r, double b, double cw, double ch) const {
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    const double rx = std::min(std::fabs(cw) / 2, (r - l) / 2), ry = std::min(std::fabs(ch) / 2, (b - t) / 2);
    constexpr int32_t kSteps = 8;
    std::vector<POINT> pts;
    const double cxs[4] = {r - rx, l + rx, l + rx, r - rx};
    const double cys[4] = {t + ry, t + ry, b - ry, b - ry};
    for (int32_t q = 0; q < 4; q++)
        for (int32_t i = 0; i <= kSteps; i++) {
            const double a = kPi / 2 * (q + static_cast<double>(i) / kSteps);
            pts.push_back(Map(cxs[q] + rx * std::cos(a), cys[q] - ry * std::sin(a)));
        }
    return pts;
}

void Player::Rect(double l, double t, double r, double b) {
    Shape({Map(l, t), Map(r, t), Map(r, b), Map(l, b)}, true, true);
}

void Player::Ellipse(double l, double t, double r, double b) { Shape(EllipsePoints(l, t, r, b), true, true); }

void Player::RoundRect(double l, double t, double r, double b, double cw, double ch) {
    Shape(RoundRectPoints(l, t, r, b, cw, ch), true, true);
}

void Player::PolyPolygon(const std::vector<std::vector<POINT>>& polys) {
    if (inPath_) {
        for (const auto& p : polys) AddFigure(p, true);
        return;
    }
    Fill(Joined(polys));
    for (const auto& p : polys) Stroke(p, true);
}

void Player::SetPixelAt(double x, double y, COLORREF color) {
    if (!Afford(1)) return;
    const POINT p = Map(x, y);
    ::SetPixel(dc_, p.x, p.y, Resolve(color));
}

// A rectangle filled by a raster operation that takes no source.
void Player::PatternBlt(double x, double y, double w, double h, uint32_t rop) {
    const std::vector<POINT> pts = {Map(x, y), Map(x + w, y), Map(x + w, y + h), Map(x, y + h)};
    if (rop == PATCOPY) {
        FillWith(pts, st_.brush, WINDING);
    } else if (rop == BLACKNESS || rop == WHITENESS) {
        FillPolygon(pts, rop == BLACKNESS ? 0 : RGB(255, 255, 255), WINDING);
    } else {
        const POINT a = pts[0], b = pts[2];
        const RECT box{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
        if (!Afford(VisibleArea(box))) return;
        WithSolidBrush([&] { ::PatBlt(dc_, a.x, a.y, b.x - a.x, b.y - a.y, rop); });
    }
}

void Player::AddFigure(std::vector<POINT> pts, bool closed) {
    figureOpen_ = false;
    if (pts.empty() || pathPoints_ + pts.size() > kMaxPathPoints) return;
    pathPoints_ += pts.size();
    path_.push_back(Figure{std::move(pts), closed});
}

void Player::ExtendFigure(const std::vector<POINT>& pts) {
    if (pathPoints_ + pts.size() + 1 > kMaxPathPoints) return;
    if (!figureOpen_ || path_.empty()) {
        path_.push_back(Figure{{Map(st_.curX, st_.curY)}, false});
        pathPoints_++;
        figureOpen_ = true;
    }
    path_.back().pts.insert(path_.back().pts.end(), pts.begin(), pts.end());
    pathPoints_ += pts.size();
}

void Player::ClearPath() {
    path_.clear();
    pathPoints_ = 0;
    figureOpen_ = false;
}

std::vector<std::vector<POINT>> Player::PathPolygons() const {
    std::vector<std::vector<POINT>> polys;
    for (const Figure& f : path_) polys.push_back(f.pts);
    return polys;
}

void Player::DrawPath(bool fill, bool stroke) {
    inPath_ = false;
    if (fill) Fill(Joined(PathPolygons()));
    if (stroke)
        for (const Figure& f : path_) Stroke(f.pts, f.closed);
    ClearPath();
}

void Player::ClipToPath(int32_t mode) {
    inPath_ = false;
    const std::vector<POINT> all = Joined(PathPolygons());
    if (!AffordScan(all)) return ClearPath();
    HRGN rgn = CreatePolygonRgn(all.data(), static_cast<int>(all.size()), st_.polyFill);
    if (rgn && AffordClip(rgn)) ExtSelectClipRgn(dc_, rgn, std::clamp(mode, RGN_AND, RGN_COPY));
    DeleteObject(rgn);
    ClearPath();
}

// One line of text at a logical reference point, with optional advances (logical units) and
// ExtTextOut's options and rectangle.
void Player::Text(double x, double y, const std::u16string& text, const std::vector<double>& dx, uint32_t options,
                  const double* rect) {
    const bool clipped = rect && (options & ETO_CLIPPED);
    if (rect && (options & ETO_OPAQUE))
        FillPolygon({Map(rect[0], rect[1]), Map(rect[2], rect[1]), Map(rect[2], rect[3]), Map(rect[0], rect[3])},
                    st_.bkColor, WINDING);
    tikora::gdi::TextRunRenderer render = tikora::gdi::GetTextRunRenderer();
    const bool updateCp = st_.textAlign & TA_UPDATECP;
    if (updateCp) {
        x = st_.curX;
        y = st_.curY;
    }
    if (text.empty() || !render) return;

    const double sx = Scale(true), sy = Scale(false);
    std::vector<int> advances;
    if (!dx.empty()) {
        // Rounded where they add up, so that long lines do not drift.
        double sum = 0;
        int32_t prev = 0;
        for (size_t i = 0; i < text.size(); i++) {
            sum += (i < dx.size() ? dx[i] : 0) * sx;
            const int32_t at = static_cast<int32_t>(std::lround(Clamp(sum)));
            advances.push_back(at - prev);
            prev = at;
        }
    }
    const std::string face = st_.font.face;
    tikora::gdi::TextRun run;
    run.text = text.data();
    run.length = static_cast<int>(text.size());
    run.advances = advances.empty() ? nullptr : advances.data();
    run.charExtra = advances.empty() ? static_cast<int>(std::lround(Clamp(st_.charExtra * sx))) : 0;
    run.height = static_cast<int>(std::lround(std::clamp(st_.font.height * sy, -4000.0, 4000.0)));
    run.width = static_cast<int>(std::lround(std::clamp(std::fabs(st_.font.width) * sx, 0.0, 4000.0)));
    run.weight = st_.font.weight;
    run.italic = st_.font.italic;
    run.underline = st_.font.underline;
    run.strikeOut = st_.font.strikeOut;
    run.face = face.c_str();
    run.color = Resolve(st_.textColor);
    // Escapement turns counterclockwise on the picture; a rotating world turns it further.
    double angle = st_.font.escapement / 10;
    if (mf_.enhanced) {
        const double ux = st_.world.m11, uy = st_.world.m12;
        if (ux != 0 || uy != 0) angle += std::atan2(-uy, ux) * 180 / kPi;
    }
    run.angle = std::isfinite(angle) ? std::fmod(angle, 360.0) : 0;
    tikora::gdi::TextRunMetrics m;
    if (!render(dc_, run, 0, 0, false, &m)) return;
    if (!Afford(GlyphWork(text.size(), m.advance, m.ascent + m.descent, run.angle * kPi / 180))) return;

    // The cell's top-left corner from the reference point and the alignment.
    const double a = run.angle * kPi / 180, ux = std::cos(a), uy = -std::sin(a);  // along the baseline
    const double vx = -uy, vy = ux;                                               // down the cell
    const uint32_t h = st_.textAlign & (TA_LEFT | TA_RIGHT | TA_CENTER), v = st_.textAlign & (TA_BASELINE | TA_BOTTOM);
    const double along = h == TA_CENTER ? -m.advance / 2.0 : h == TA_RIGHT ? -m.advance : 0;
    const double down = v == TA_BASELINE ? -m.ascent : v == TA_BOTTOM ? -(m.ascent + m.descent) : 0;
    const PointF ref = MapF(x, y);
    const double ox = ref.x + ux * along + vx * down, oy = ref.y + uy * along + vy * down;

    if (clipped) {
        SaveDC(dc_);
        HRGN rgn = LogicalRectRgn(rect[0], rect[1], rect[2], rect[3]);
        if (AffordClip(rgn)) ExtSelectClipRgn(dc_, rgn, RGN_AND);
        DeleteObject(rgn);
        clipKnown_ = false;
        if (exhausted_) {
            RestoreDC(dc_, -1);
            return;
        }
    }
    if (st_.bkMode == OPAQUE) {
        const double w = m.advance, hgt = m.ascent + m.descent;
        auto pt = [&](double s, double t) {
            return POINT{static_cast<LONG>(std::lround(Clamp(ox + ux * s + vx * t))),
                         static_cast<LONG>(std::lround(Clamp(oy + uy * s + vy * t)))};
        };
        FillPolygon({pt(0, 0), pt(w, 0), pt(w, hgt), pt(0, hgt)}, st_.bkColor, WINDING);
    }
    render(dc_, run, static_cast<int>(std::lround(Clamp(ox))), static_cast<int>(std::lround(Clamp(oy))), true, nullptr);
    if (clipped) {
        RestoreDC(dc_, -1);
        clipKnown_ = false;
    }
    if (updateCp) {
        // The advance goes back into logical units along the x axis.
        const double adv = sx > 0 ? m.advance / sx : 0;
        const double dir = h == TA_RIGHT ? -1 : h == TA_CENTER ? 0 : 1;
        st_.curX += dir * adv;
    }
}

std::u16string Player::Narrow(const Params& p, size_t off, size_t n) {
    std::u16string s;
    for (size_t i = 0; i < n && p.Has(off + i, 1); i++) s += FromCp1252(p.U8(off + i));
    return s;
}

void Player::Select(const GdiObjectDesc& obj) {
    switch (obj.kind) {
        case GdiObjectDesc::Pen:
            st_.pen = obj.pen;
            break;
        case GdiObjectDesc::Brush:
            st_.brush = obj.brush;
            break;
        case GdiObjectDesc::Font:
            st_.font = obj.font;
            break;
        case GdiObjectDesc::Region:
            SelectRegion(obj);
            break;
        default:
            break;
    }
}

void Player::SelectRegion(const GdiObjectDesc& obj) {
    if (!Afford(kRegionRectCost * static_cast<int64_t>(obj.rects.size()))) return;
    HRGN all = LogicalRectsRgn(obj.rects);
    if (AffordClip(all)) SelectClipRgn(dc_, all);
    DeleteObject(all);
}

void Player::SelectStock(uint32_t index) {
    switch (index) {
        case WHITE_BRUSH:
            st_.brush = BrushDesc::Of(RGB(255, 255, 255));
            break;
        case LTGRAY_BRUSH:
            st_.brush = BrushDesc::Of(RGB(192, 192, 192));
            break;
        case GRAY_BRUSH:
            st_.brush = BrushDesc::Of(RGB(128, 128, 128));
            break;
        case DKGRAY_BRUSH:
            st_.brush = BrushDesc::Of(RGB(64, 64, 64));
            break;
        case BLACK_BRUSH:
            st_.brush = BrushDesc::Of(RGB(0, 0, 0));
            break;
        case NULL_BRUSH:
            st_.brush = BrushDesc::None();
            break;
        case WHITE_PEN:
            st_.pen = SolidPen(RGB(255, 255, 255));
            break;
        case BLACK_PEN:
            st_.pen = SolidPen(0);
            break;
        case NULL_PEN:
            st_.pen = NullPen();
            break;
        case DEFAULT_PALETTE:
            st_.palette = nullptr;
            break;
        default:
            if (index >= OEM_FIXED_FONT && index <= DEFAULT_GUI_FONT && index != DEFAULT_PALETTE) st_.font = FontDesc{};
            break;
    }
}

PenDesc Player::SolidPen(COLORREF color) { return MakePen(PS_SOLID, 0, color); }

PenDesc Player::NullPen() { return MakePen(PS_NULL, 0, 0); }

PenDesc Player::MakePen(uint32_t style, double width, COLORREF color) {
    PenDesc pen;
    pen.null = (style & 0x0F) == PS_NULL;
    pen.color = color & 0x01FFFFFF;
    pen.width = std::fabs(width);
    pen.style = style;
    pen.geometric = style & kPsGeometric;
    return pen;
}

BrushDesc Player::MakeBrush(uint32_t style, COLORREF color, uint32_t hatch) {
    if (style == BS_NULL) return BrushDesc::None();
    BrushDesc b = BrushDesc::Of(color & 0x01FFFFFF);
    if (style == BS_HATCHED) {
        b.style = BrushDesc::Hatch;
        b.hatch = static_cast<int32_t>(std::min<uint32_t>(hatch, HS_DIAGCROSS));
    }
    return b;
}

GdiObjectDesc Player::PaletteObject(const Params& p, size_t countAt, size_t entriesAt) {
    GdiObjectDesc obj;
    obj.kind = GdiObjectDesc::Palette;
    auto entries = std::make_shared<std::vector<COLORREF>>();
    const size_t n = std::min<size_t>(p.U16(countAt), p.Size() / 4);
    for (size_t i = 0; i < n && p.Has(entriesAt + 4 * i, 4); i++)
        entries->push_back(RGB(p.U8(entriesAt + 4 * i), p.U8(entriesAt + 4 * i + 1), p.U8(entriesAt + 4 * i + 2)));
    obj.palette = std::move(entries);
    return obj;
}

void Player::SetPaletteEntries(GdiObjectDesc& obj, const Params& p, uint32_t start, uint32_t count, size_t entriesAt) {
    if (obj.kind != GdiObjectDesc::Palette || !obj.palette) return;
    auto entries = std::make_shared<std::vector<COLORREF>>(*obj.palette);
    for (uint32_t i = 0; i < count && start + static_cast<uint64_t>(i) < entries->size() &&
                         p.Has(entriesAt + 4 * static_cast<size_t>(i), 4);
         i++) {
        const size_t at = entriesAt + 4 * static_cast<size_t>(i);
        (*entries)[start + i] = RGB(p.U8(at), p.U8(at + 1), p.U8(at + 2));
    }
    obj.palette = std::move(entries);
}

void Player::Save() {
    if (saved_.size() >= kMaxSavedStates) return;
    saved_.push_back(st_);
    SaveDC(dc_);
}

void Player::Restore(int32_t which) {
    // Negative: that many levels back; positive: that saved level.
    if (saved_.empty()) return;
    size_t keep;
    if (which < 0) {
        const size_t back = static_cast<size_t>(-static_cast<int64_t>(which));
        if (back > saved_.size()) return;
        keep = saved_.size() - back;
    } else {
        if (which == 0 || static_cast<size_t>(which) > saved_.size()) return;
        keep = static_cast<size_t>(which) - 1;
    }
    st_ = saved_[keep];
    saved_.resize(keep);
    RestoreDC(dc_, baseLevel_ + 1 + static_cast<int>(keep));
}

void Player::ClipRect(double l, double t, double r, double b, int mode) {
    HRGN rgn = LogicalRectRgn(l, t, r, b);
    if (AffordClip(rgn)) ExtSelectClipRgn(dc_, rgn, mode);
    DeleteObject(rgn);
}

void Player::OffsetClip(double dx, double dy) {
    const POINT o = Map(0, 0), d = Map(dx, dy);
    if (!AffordClip(nullptr)) return;  // every band is moved
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    if (GetClipRgn(dc_, rgn) == 1) {
        OffsetRgn(rgn, d.x - o.x, d.y - o.y);
        SelectClipRgn(dc_, rgn);
    }
    DeleteObject(rgn);
}

}  // namespace tikora::metafile
