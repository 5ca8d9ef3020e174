#include "PxImageWMF.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "PxLeReader.h"
#include "WinGdi.h"

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr int32_t kMaxSide = 4000;
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
// Rows that the polygon fills of one playback may cross, summed over their edges: a fill costs
// about that much, and a self-crossing polygon of a few thousand points can ask for billions.
constexpr int64_t kMaxScanRows = int64_t(1) << 24;
constexpr double kPi = 3.14159265358979;
// A bitmap whose colours are indexes into the selected palette, with no table of its own.
constexpr uint32_t kDibPalIndices = 2;

// Parameters of one record: a short record reads zeros, never past its end.
using Params = PxLeReader;

}  // namespace

struct PxMetafile {
    bool enhanced = false;
    std::vector<uint8_t> bytes;
    // Windows metafiles: the placeable bounding box is the window until the records set one.
    int32_t boxLeft = 0, boxTop = 0, boxWidth = 1, boxHeight = 1;
    int32_t mapMode = kMmAnisotropic;
    int32_t xExt = 0, yExt = 0;
    PxImageWMF::ENHMETAHEADER header;
};

void PxMetafileDeleter::operator()(PxMetafile* mf) const { delete mf; }

namespace {

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

// ---- bitmaps inside records ---------------------------------------------------------------------

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

int64_t Stride(int64_t width, int64_t bits) { return ((width * bits + 31) / 32) * 4; }

// Unpacks run-length rows (8 or 4 bits a pixel) into 8-bit rows, bottom row first.
void UnpackRle(const uint8_t* in, size_t n, bool four, int32_t w, int32_t h, std::vector<uint8_t>& out) {
    const size_t stride = static_cast<size_t>(Stride(w, 8));
    out.assign(stride * static_cast<size_t>(h), 0);
    int32_t x = 0, y = 0;
    auto put = [&](uint8_t v) {
        if (x < w && y < h) out[static_cast<size_t>(y) * stride + static_cast<size_t>(x)] = v;
        x = std::min(x + 1, w);
    };
    size_t i = 0;
    while (i + 1 < n && y < h) {
        const uint8_t count = in[i], value = in[i + 1];
        i += 2;
        if (count > 0) {
            for (uint32_t k = 0; k < count; k++) put(four ? (k & 1 ? value & 15 : value >> 4) : value);
        } else if (value == 0) {  // end of line
            x = 0;
            y++;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // move by a delta
            if (i + 1 >= n) break;
            x = std::min(x + in[i], w);
            y = std::min(y + in[i + 1], h);
            i += 2;
        } else {  // `value` pixels as they stand, padded to a word
            const size_t bytes = four ? (value + 1u) / 2 : value;
            for (uint32_t k = 0; k < value && i + (four ? k / 2 : k) < n; k++) {
                const uint8_t b = in[i + (four ? k / 2 : k)];
                put(four ? (k & 1 ? b & 15 : b >> 4) : b);
            }
            i += (bytes + 1) & ~size_t(1);
        }
    }
}

}  // namespace

namespace {

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

    // Returns the rows its polygon fills crossed.
    int64_t Play() {
        baseLevel_ = SaveDC(dc_);
        SelectObject(dc_, GetStockObject(NULL_PEN));
        if (mf_.enhanced)
            PlayEnhanced();
        else
            PlayWindows();
        RestoreDC(dc_, baseLevel_);
        return scanRows_;
    }

private:
    struct Figure {
        std::vector<POINT> pts;
        bool closed = false;
    };

    // ---- mapping -----------------------------------------------------------------------------

    double Clamp(double v) const {
        if (!std::isfinite(v)) return 0;
        return std::clamp(v, -limit_, limit_);
    }

    void ToTarget(double lx, double ly, double& tx, double& ty) const {
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
    void RefToTarget(double dx, double dy, double& tx, double& ty) const {
        double left, top, w, h;
        FrameInRefPixels(left, top, w, h);
        tx = (dx - left) * width_ / w;
        ty = (dy - top) * height_ / h;
    }

    double RefPixelsPerMm(bool horizontal) const {
        const auto& hd = mf_.header;
        const int32_t px = horizontal ? hd.device.cx : hd.device.cy;
        const int32_t mm = horizontal ? hd.millimeters.cx : hd.millimeters.cy;
        return px > 0 && mm > 0 ? static_cast<double>(px) / mm : 96 / 25.4;
    }

    void FrameInRefPixels(double& left, double& top, double& w, double& h) const {
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

    PointF MapF(double lx, double ly) const {
        double tx, ty;
        ToTarget(lx, ly, tx, ty);
        return PointF{Clamp(tx), Clamp(ty)};
    }

    POINT Map(double lx, double ly) const {
        const PointF p = MapF(lx, ly);
        return POINT{static_cast<LONG>(std::lround(p.x)), static_cast<LONG>(std::lround(p.y))};
    }

    // Device length of a logical step along x or y.
    double Scale(bool horizontal) const {
        double x0, y0, x1, y1;
        ToTarget(0, 0, x0, y0);
        ToTarget(horizontal ? 1 : 0, horizontal ? 0 : 1, x1, y1);
        const double s = std::hypot(x1 - x0, y1 - y0);
        return std::isfinite(s) ? std::min(s, limit_) : 0;
    }

    // Whether logical coordinates come out mirrored on the picture (a y axis pointing up).
    bool Mirrored() const {
        double x0, y0, x1, y1, x2, y2;
        ToTarget(0, 0, x0, y0);
        ToTarget(1, 0, x1, y1);
        ToTarget(0, 1, x2, y2);
        return (x1 - x0) * (y2 - y0) - (y1 - y0) * (x2 - x0) < 0;
    }

    // The pen's width on the picture, to the nearest pixel (a width a hair under a whole number
    // of pixels, as mapping often makes it, keeps that number).
    int32_t PenPixels() const {
        if (st_.pen.width <= 0) return 1;
        const double w = st_.pen.width * Scale(true);
        if (!std::isfinite(w) || w < 1) return 1;
        return static_cast<int32_t>(std::lround(std::min(w, 256.0)));
    }

    COLORREF Resolve(COLORREF c) const {
        if ((c >> 24) == 1) {  // an index into the selected palette
            const size_t i = c & 0xFFFF;
            return st_.palette && i < st_.palette->size() ? (*st_.palette)[i] : 0;
        }
        return c & 0xFFFFFF;
    }

    // The rectangle's corners as a region; exact for any rotation of the world.
    HRGN LogicalRectRgn(double l, double t, double r, double b) {
        const std::vector<POINT> pts = {Map(l, t), Map(r, t), Map(r, b), Map(l, b)};
        if (!AffordScan(pts)) return CreateRectRgn(0, 0, 0, 0);
        return CreatePolygonRgn(pts.data(), 4, WINDING);
    }

    // Takes a polygon fill's scan-line work (each edge crosses the rows from its upper end's to
    // its lower end's) out of the playback's budget. Past the budget the fill is not made and
    // the playing ends after this record, keeping what was drawn.
    template <class Point>
    bool AffordScan(const std::vector<Point>& pts) {
        int64_t rows = 0;
        for (size_t i = 0; i < pts.size(); i++) {
            const double y0 = std::ceil(static_cast<double>(pts[i].y));
            const double y1 = std::ceil(static_cast<double>(pts[(i + 1) % pts.size()].y));
            const double d = std::fabs(y1 - y0);
            rows += d <= kMaxScanRows ? static_cast<int64_t>(d) : kMaxScanRows + 1;
            if (scanRows_ + rows > kMaxScanRows) {
                exhausted_ = true;
                return false;
            }
        }
        scanRows_ += rows;
        return true;
    }

    // ---- drawing -----------------------------------------------------------------------------

    void FillPolygon(const std::vector<POINT>& pts, COLORREF color, int32_t mode) {
        if (pts.size() < 3 || !AffordScan(pts)) return;
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
    static std::vector<Point> Joined(const std::vector<std::vector<Point>>& polys) {
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

    void FillWith(const std::vector<POINT>& pts, const BrushDesc& brush, int32_t mode) {
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

    void Fill(const std::vector<POINT>& pts) { FillWith(pts, st_.brush, st_.polyFill); }

    // A region (device units) painted with a brush.
    void FillRegion(HRGN rgn, const BrushDesc& brush) {
        if (brush.null()) return;
        if (brush.style != BrushDesc::Solid) {
            PaintTiles(rgn, brush);
            return;
        }
        HBRUSH b = CreateSolidBrush(Resolve(brush.color));
        FillRgn(dc_, rgn, b);
        DeleteObject(b);
    }

    static bool HatchBit(int32_t style, int32_t x, int32_t y) {
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
    void PaintTiles(HRGN rgn, const BrushDesc& b) {
        RECT box;
        if (GetRgnBox(rgn, &box) == NULLREGION) return;
        box.left = std::max<LONG>(box.left, 0);
        box.top = std::max<LONG>(box.top, 0);
        box.right = std::min<LONG>(box.right, width_);
        box.bottom = std::min<LONG>(box.bottom, height_);
        if (box.left >= box.right || box.top >= box.bottom) return;
        const bool hatch = b.style == BrushDesc::Hatch;
        if (!hatch && (!b.pattern || b.pattern->width <= 0 || b.pattern->height <= 0)) return;
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

    static uint32_t Rgb(COLORREF c) {
        return (uint32_t{GetRValue(c)} << 16) | (uint32_t{GetGValue(c)} << 8) | GetBValue(c);
    }

    // The dash pattern of the pen in device pixels (on, off, ...), empty for a solid line.
    // Pens made by CreatePen draw solid when wider than a pixel; geometric ones keep their style.
    std::vector<double> DashPattern(int32_t width) const {
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
    static std::vector<std::vector<POINT>> Dashed(const std::vector<POINT>& pts, const std::vector<double>& pattern) {
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
    static void AddPiece(std::vector<std::vector<PointF>>& pieces, std::vector<PointF> poly) {
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
    void WideLine(const std::vector<POINT>& points, bool closed, double half,
                  std::vector<std::vector<PointF>>& pieces) const {
        // Points repeated in a row (and a closed line's last point on its first) make no turn.
        std::vector<POINT> pts;
        for (const POINT& p : points)
            if (pts.empty() || p.x != pts.back().x || p.y != pts.back().y) pts.push_back(p);
        while (closed && pts.size() > 1 && pts.back().x == pts.front().x && pts.back().y == pts.front().y)
            pts.pop_back();
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

    void Stroke(const std::vector<POINT>& pts, bool closed) {
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
            HPEN pen = CreatePen(PS_SOLID, 1, color);
            HGDIOBJ old = SelectObject(dc_, pen);
            SetROP2(dc_, st_.rop2);
            for (std::vector<POINT>& line : lines) {
                if (closed) line.push_back(line.front());
                if (line.size() == 1) line.push_back(POINT{line[0].x + 1, line[0].y});
                Polyline(dc_, line.data(), static_cast<int>(line.size()));
            }
            SelectObject(dc_, old);
            DeleteObject(pen);
            return;
        }
        // The whole stroke as one region, so that no pixel is painted twice.
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
        if (all.size() < 3 || !AffordScan(all)) return;
        HBRUSH brush = CreateSolidBrush(color);
        HGDIOBJ old = SelectObject(dc_, brush);
        SetPolyFillMode(dc_, WINDING);
        SetROP2(dc_, st_.rop2);
        tikora::gdi::FillPolygonF(dc_, all.data(), static_cast<int>(all.size()));
        SelectObject(dc_, old);
        DeleteObject(brush);
    }

    // A closed or open shape: drawn, or added to the path being recorded.
    void Shape(std::vector<POINT> pts, bool closed, bool filled) {
        if (inPath_) {
            AddFigure(std::move(pts), closed);
            return;
        }
        if (filled) Fill(pts);
        Stroke(pts, closed);
    }

    // A line on from the current position through the points (device), which end at (x, y).
    void LineOn(const std::vector<POINT>& pts, double x, double y) {
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

    std::vector<POINT> EllipsePoints(double l, double t, double r, double b) const {
        return ArcPts(l, t, r, b, r, (t + b) / 2, r, (t + b) / 2, false);
    }

    // An arc of the box in logical units, flattened finely enough for its size on the picture;
    // the direction is the one seen on the picture.
    std::vector<POINT> ArcPts(double l, double t, double r, double b, double xs, double ys, double xe, double ye,
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

    enum class ArcKind { Open, Chord, Pie, To };
    void Arc(ArcKind kind, double l, double t, double r, double b, double xs, double ys, double xe, double ye) {
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

    void AngleArc(double x, double y, double radius, double start, double sweep) {
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

    std::vector<POINT> RoundRectPoints(double l, double t, double r, double b, double cw, double ch) const {
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

    void Rect(double l, double t, double r, double b) {
        Shape({Map(l, t), Map(r, t), Map(r, b), Map(l, b)}, true, true);
    }

    void Ellipse(double l, double t, double r, double b) { Shape(EllipsePoints(l, t, r, b), true, true); }

    void RoundRect(double l, double t, double r, double b, double cw, double ch) {
        Shape(RoundRectPoints(l, t, r, b, cw, ch), true, true);
    }

    void PolyPolygon(const std::vector<std::vector<POINT>>& polys) {
        if (inPath_) {
            for (const auto& p : polys) AddFigure(p, true);
            return;
        }
        Fill(Joined(polys));
        for (const auto& p : polys) Stroke(p, true);
    }

    void SetPixelAt(double x, double y, COLORREF color) {
        const POINT p = Map(x, y);
        ::SetPixel(dc_, p.x, p.y, Resolve(color));
    }

    // A rectangle filled by a raster operation that takes no source.
    void PatternBlt(double x, double y, double w, double h, uint32_t rop) {
        const std::vector<POINT> pts = {Map(x, y), Map(x + w, y), Map(x + w, y + h), Map(x, y + h)};
        if (rop == PATCOPY) {
            FillWith(pts, st_.brush, WINDING);
        } else if (rop == BLACKNESS || rop == WHITENESS) {
            FillPolygon(pts, rop == BLACKNESS ? 0 : RGB(255, 255, 255), WINDING);
        } else {
            const POINT a = pts[0], b = pts[2];
            WithSolidBrush([&] { ::PatBlt(dc_, a.x, a.y, b.x - a.x, b.y - a.y, rop); });
        }
    }

    // Runs a raster operation with the current brush's colour as the DC's pattern.
    template <class F>
    void WithSolidBrush(F f) {
        HBRUSH brush = st_.brush.null() ? nullptr : CreateSolidBrush(Resolve(st_.brush.color));
        HGDIOBJ old = SelectObject(dc_, brush ? static_cast<HGDIOBJ>(brush) : GetStockObject(NULL_BRUSH));
        f();
        SelectObject(dc_, old);
        if (brush) DeleteObject(brush);
    }

    // ---- paths ---------------------------------------------------------------------------------

    void AddFigure(std::vector<POINT> pts, bool closed) {
        figureOpen_ = false;
        if (pts.empty() || pathPoints_ + pts.size() > kMaxPathPoints) return;
        pathPoints_ += pts.size();
        path_.push_back(Figure{std::move(pts), closed});
    }

    void ExtendFigure(const std::vector<POINT>& pts) {
        if (pathPoints_ + pts.size() + 1 > kMaxPathPoints) return;
        if (!figureOpen_ || path_.empty()) {
            path_.push_back(Figure{{Map(st_.curX, st_.curY)}, false});
            pathPoints_++;
            figureOpen_ = true;
        }
        path_.back().pts.insert(path_.back().pts.end(), pts.begin(), pts.end());
        pathPoints_ += pts.size();
    }

    void ClearPath() {
        path_.clear();
        pathPoints_ = 0;
        figureOpen_ = false;
    }

    std::vector<std::vector<POINT>> PathPolygons() const {
        std::vector<std::vector<POINT>> polys;
        for (const Figure& f : path_) polys.push_back(f.pts);
        return polys;
    }

    void DrawPath(bool fill, bool stroke) {
        inPath_ = false;
        if (fill) Fill(Joined(PathPolygons()));
        if (stroke)
            for (const Figure& f : path_) Stroke(f.pts, f.closed);
        ClearPath();
    }

    void ClipToPath(int32_t mode) {
        inPath_ = false;
        const std::vector<POINT> all = Joined(PathPolygons());
        if (!AffordScan(all)) return ClearPath();
        HRGN rgn = CreatePolygonRgn(all.data(), static_cast<int>(all.size()), st_.polyFill);
        if (rgn) ExtSelectClipRgn(dc_, rgn, std::clamp(mode, RGN_AND, RGN_COPY));
        DeleteObject(rgn);
        ClearPath();
    }

    // ---- text ----------------------------------------------------------------------------------

    // One line of text at a logical reference point, with optional advances (logical units) and
    // ExtTextOut's options and rectangle.
    void Text(double x, double y, const std::u16string& text, const std::vector<double>& dx, uint32_t options,
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

        // The cell's top-left corner from the reference point and the alignment.
        const double a = run.angle * kPi / 180, ux = std::cos(a), uy = -std::sin(a);  // along the baseline
        const double vx = -uy, vy = ux;                                               // down the cell
        const uint32_t h = st_.textAlign & (TA_LEFT | TA_RIGHT | TA_CENTER),
                       v = st_.textAlign & (TA_BASELINE | TA_BOTTOM);
        const double along = h == TA_CENTER ? -m.advance / 2.0 : h == TA_RIGHT ? -m.advance : 0;
        const double down = v == TA_BASELINE ? -m.ascent : v == TA_BOTTOM ? -(m.ascent + m.descent) : 0;
        const PointF ref = MapF(x, y);
        const double ox = ref.x + ux * along + vx * down, oy = ref.y + uy * along + vy * down;

        if (clipped) {
            SaveDC(dc_);
            HRGN rgn = LogicalRectRgn(rect[0], rect[1], rect[2], rect[3]);
            ExtSelectClipRgn(dc_, rgn, RGN_AND);
            DeleteObject(rgn);
        }
        if (st_.bkMode == OPAQUE) {
            const double w = m.advance, hgt = m.ascent + m.descent;
            auto pt = [&](double s, double t) {
                return POINT{static_cast<LONG>(std::lround(Clamp(ox + ux * s + vx * t))),
                             static_cast<LONG>(std::lround(Clamp(oy + uy * s + vy * t)))};
            };
            FillPolygon({pt(0, 0), pt(w, 0), pt(w, hgt), pt(0, hgt)}, st_.bkColor, WINDING);
        }
        render(dc_, run, static_cast<int>(std::lround(Clamp(ox))), static_cast<int>(std::lround(Clamp(oy))), true,
               nullptr);
        if (clipped) RestoreDC(dc_, -1);
        if (updateCp) {
            // The advance goes back into logical units along the x axis.
            const double adv = sx > 0 ? m.advance / sx : 0;
            const double dir = h == TA_RIGHT ? -1 : h == TA_CENTER ? 0 : 1;
            st_.curX += dir * adv;
        }
    }

    static std::u16string Narrow(const Params& p, size_t off, size_t n) {
        std::u16string s;
        for (size_t i = 0; i < n && p.Has(off + i, 1); i++) s += FromCp1252(p.U8(off + i));
        return s;
    }

    // ---- bitmaps -------------------------------------------------------------------------------

    // The bytes [off, off + n) of the record being played, or null when they are not all in it.
    const uint8_t* RecordBytes(size_t off, size_t n) const {
        return off <= recSize_ && n <= recSize_ - off ? recData_ + off : nullptr;
    }

    // Reads a DIB whose header (and colour table) are `size` bytes at `data`; its rows are at
    // `bits` (`bitsSize` bytes), or follow the colour table when `bits` is null. `lines`, when
    // not 0, is how many rows the record holds.
    bool ReadDib(const uint8_t* data, size_t size, const uint8_t* bits, size_t bitsSize, uint32_t usage, Dib& dib,
                 uint32_t lines = 0) {
        if (!data) return false;
        const PxLeReader r(data, size);
        const uint32_t headerSize = r.U32(0);
        int64_t width, height;
        uint32_t bpp, compression = BI_RGB, clrUsed = 0;
        size_t entry = usage == DIB_PAL_COLORS ? 2 : usage == kDibPalIndices ? 0 : 4;
        if (headerSize == 12) {
            width = r.U16(4);
            height = r.I16(6);
            bpp = r.U16(10);
            if (usage != DIB_PAL_COLORS && usage != kDibPalIndices) entry = 3;
        } else if (headerSize >= 40) {
            width = r.I32(4);
            height = r.I32(8);
            bpp = r.U16(14);
            compression = r.U32(16);
            clrUsed = r.U32(32);
        } else {
            return false;
        }
        if (r.Short() || headerSize > size) return false;
        if (lines != 0 && lines < (height < 0 ? -height : height)) height = height < 0 ? -int64_t(lines) : lines;
        const int64_t rows = height < 0 ? -height : height;
        const bool rle = (compression == BI_RLE8 && bpp == 8) || (compression == BI_RLE4 && bpp == 4);
        const bool fields = compression == BI_BITFIELDS && (bpp == 16 || bpp == 32);
        if (compression != BI_RGB && !rle && !fields) return false;
        if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
        if (width <= 0 || rows == 0 || (rle && height < 0)) return false;
        if (width * rows > (rle ? kMaxRlePixels : kMaxDibPixels)) return false;

        const uint64_t tableAt = headerSize + (fields && headerSize == 40 ? 12 : 0);
        const uint64_t colours = bpp <= 8 ? (clrUsed && clrUsed < (1u << bpp) ? clrUsed : 1u << bpp) : clrUsed;
        const uint64_t tableEnd = tableAt + colours * entry;
        if ((bpp <= 8 || fields) && tableEnd > size) return false;
        dib.info.assign(10 + 256, 0);
        const BITMAPINFOHEADER h{40,
                                 static_cast<LONG>(width),
                                 static_cast<LONG>(height),
                                 1,
                                 static_cast<WORD>(rle ? 8 : bpp),
                                 fields ? BI_BITFIELDS : BI_RGB,
                                 0,
                                 0,
                                 0,
                                 bpp <= 8 ? static_cast<DWORD>(colours) : 0,
                                 0};
        std::memcpy(dib.info.data(), &h, sizeof(h));
        if (fields) {
            for (size_t i = 0; i < 3; i++) dib.info[10 + i] = r.U32(40 + 4 * i);
        } else if (bpp <= 8) {
            for (size_t i = 0; i < colours; i++) {
                const size_t at = static_cast<size_t>(tableAt + i * entry);
                COLORREF c;
                if (usage == kDibPalIndices)
                    c = Resolve(0x01000000u | static_cast<uint32_t>(i));
                else if (usage == DIB_PAL_COLORS)
                    c = Resolve(0x01000000u | r.U16(at));
                else
                    c = RGB(r.U8(at + 2), r.U8(at + 1), r.U8(at));
                dib.info[10 + i] = Rgb(c);
            }
        }
        if (!bits) {
            if (tableEnd > size) return false;
            bits = data + tableEnd;
            bitsSize = size - static_cast<size_t>(tableEnd);
        }
        dib.width = static_cast<int32_t>(width);
        dib.height = static_cast<int32_t>(height);
        if (rle) {
            // Unpacking costs the bitmap's whole size however short its data: a budget for all.
            if (width * rows > unpackBudget_) return false;
            unpackBudget_ -= width * rows;
            UnpackRle(bits, bitsSize, bpp == 4, dib.width, dib.height, dib.unpacked);
            dib.bits = dib.unpacked.data();
            return true;
        }
        if (static_cast<uint64_t>(Stride(width, bpp) * rows) > bitsSize) return false;
        dib.bits = bits;
        return true;
    }

    // A packed DIB (header, colours, rows) from `off` to the record's end.
    bool PackedDib(size_t off, uint32_t usage, Dib& dib) {
        const uint8_t* at = RecordBytes(off, 0);
        return at && ReadDib(at, recSize_ - off, nullptr, 0, usage, dib);
    }

    // An old-style bitmap (type, width, height, bytes a row, planes, bits a pixel, rows top down)
    // as a DIB; a monochrome one takes the text and background colours.
    bool Bitmap16(size_t off, Dib& dib) {
        const uint8_t* at = RecordBytes(off, 10);
        if (!at) return false;
        const PxLeReader r(at, 10);
        if (r.U8(8) != 1 || !Bitmap16At(r.I16(2), r.I16(4), r.I16(6), r.U8(9), off + 10, dib)) return false;
        if (dib.Info()->bmiHeader.biBitCount == 1) {
            dib.info[10] = Rgb(Resolve(st_.textColor));
            dib.info[11] = Rgb(Resolve(st_.bkColor));
        }
        return true;
    }

    // The rows of an old-style bitmap at `rowsAt`, repacked as a top-down DIB (monochrome: black
    // and white).
    bool Bitmap16At(int32_t w, int32_t h, int32_t rowBytes, int32_t bpp, size_t rowsAt, Dib& dib) {
        if (w <= 0 || h <= 0 || (bpp != 1 && bpp != 24 && bpp != 32)) return false;
        if (rowBytes < (w * bpp + 7) / 8) return false;
        const uint8_t* rows = RecordBytes(rowsAt, static_cast<size_t>(rowBytes) * h);
        if (!rows) return false;
        const size_t stride = static_cast<size_t>(Stride(w, bpp));
        dib.unpacked.assign(stride * h, 0);
        for (int32_t y = 0; y < h; y++)
            std::memcpy(&dib.unpacked[y * stride], rows + static_cast<size_t>(y) * rowBytes,
                        std::min<size_t>(stride, static_cast<size_t>(rowBytes)));
        dib.info.assign(10 + 2, 0);
        const BITMAPINFOHEADER hdr{40, w, -h, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0, bpp == 1 ? 2u : 0u, 0};
        std::memcpy(dib.info.data(), &hdr, sizeof(hdr));
        dib.info[11] = 0xFFFFFF;
        dib.bits = dib.unpacked.data();
        dib.width = w;
        dib.height = -h;
        return true;
    }

    // The top row of a source rectangle given as StretchDIBits takes it: from the bottom of a
    // bottom-up DIB.
    static int32_t TopRow(const Dib& dib, int64_t y, int64_t h) {
        const int64_t top = dib.height > 0 ? int64_t{dib.Rows()} - y - h : y;
        return static_cast<int32_t>(std::clamp<int64_t>(top, INT32_MIN / 2, INT32_MAX / 2));
    }

    // Draws source rectangle (sx, sy, sw, sh) of a DIB, counted from its top row, into the
    // logical rectangle (x, y, w, h).
    void DrawDib(const Dib& dib, double x, double y, double w, double h, int32_t sx, int32_t sy, int32_t sw, int32_t sh,
                 uint32_t rop) {
        const POINT a = Map(x, y), b = Map(x + w, y + h);
        if (a.x == b.x || a.y == b.y || sw == 0 || sh == 0) return;
        // StretchDIBits counts a bottom-up DIB's rows from its bottom.
        const int64_t fromBottom = dib.height > 0 ? int64_t(dib.height) - sy - sh : sy;
        const int32_t syDib = static_cast<int32_t>(std::clamp<int64_t>(fromBottom, INT32_MIN / 2, INT32_MAX / 2));
        WithSolidBrush([&] {
            StretchDIBits(dc_, a.x, a.y, b.x - a.x, b.y - a.y, sx, syDib, sw, sh, dib.bits, dib.Info(), DIB_RGB_COLORS,
                          rop);
        });
    }

    // A DIB drawn where a mask's set bits are, the destination kept elsewhere:
    // D ^ S, then cleared where the mask is set, then ^ S again.
    void DrawMasked(const Dib& dib, Dib mask, double x, double y, double w, double h, int32_t sx, int32_t sy,
                    int32_t mx, int32_t my) {
        if (mask.Info()->bmiHeader.biBitCount != 1)
            return DrawDib(dib, x, y, w, h, sx, sy, dib.width, dib.Rows(), SRCCOPY);
        const int32_t sw = static_cast<int32_t>(w), sh = static_cast<int32_t>(h);
        DrawDib(dib, x, y, w, h, sx, sy, sw, sh, SRCINVERT);
        mask.info[10] = 0xFFFFFF;
        mask.info[11] = 0;
        DrawDib(mask, x, y, w, h, mx, my, sw, sh, SRCAND);
        DrawDib(dib, x, y, w, h, sx, sy, sw, sh, SRCINVERT);
    }

    // A DIB's pixels as 0xAARRGGBB, top row first: colours through a 32-bit DIB section, alpha
    // from a 32-bit source's fourth byte (opaque for others).
    bool Pixels32(const Dib& dib, std::vector<uint32_t>& out) {
        const int32_t w = dib.width, h = dib.Rows();
        if (int64_t(w) * h > kMaxRlePixels) return false;
        BITMAPINFO bmi{};
        bmi.bmiHeader = BITMAPINFOHEADER{40, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP section = CreateDIBSection(dc_, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!section) return false;
        const bool ok = SetDIBits(dc_, section, 0, static_cast<UINT>(h), dib.bits, dib.Info(), DIB_RGB_COLORS) > 0;
        if (ok) out.assign(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + size_t(w) * h);
        DeleteObject(section);
        if (!ok) return false;
        const BITMAPINFOHEADER& hd = dib.Info()->bmiHeader;
        const bool alpha = hd.biBitCount == 32 && hd.biCompression == BI_RGB;
        const size_t stride = static_cast<size_t>(w) * 4;
        for (int32_t y = 0; y < h; y++) {
            const uint8_t* row = dib.bits + stride * static_cast<size_t>(dib.height > 0 ? h - 1 - y : y);
            for (int32_t x = 0; x < w; x++) {
                uint32_t& v = out[static_cast<size_t>(y) * w + x];
                v = (v & 0xFFFFFF) | (uint32_t{alpha ? row[4 * x + 3] : uint8_t{255}} << 24);
            }
        }
        return true;
    }

    // Source rectangle (sx, sy, sw, sh) of a DIB, from its top, blended over the logical
    // rectangle: with a constant alpha, and with the source's own (premultiplied) alpha.
    void AlphaBlend(const Dib& dib, double x, double y, double w, double h, int32_t sx, int32_t sy, int32_t sw,
                    int32_t sh, uint32_t constant, bool perPixel) {
        tikora::gdi::SurfaceView view;
        std::vector<uint32_t> src;
        if (!tikora::gdi::GetDCSurface(dc_, &view) || view.bitCount != 32 || sw <= 0 || sh <= 0 || !Pixels32(dib, src))
            return;
        POINT a = Map(x, y), b = Map(x + w, y + h);
        const bool flipX = a.x > b.x, flipY = a.y > b.y;
        if (flipX) std::swap(a.x, b.x);
        if (flipY) std::swap(a.y, b.y);
        const int64_t dw = int64_t(b.x) - a.x, dh = int64_t(b.y) - a.y;
        if (dw <= 0 || dh <= 0) return;
        for (const RECT& c : tikora::gdi::GetClipRects(dc_)) {
            const LONG l = std::max(c.left, a.x), t = std::max(c.top, a.y), r = std::min(c.right, b.x),
                       btm = std::min(c.bottom, b.y);
            for (LONG py = t; py < btm; py++) {
                const int64_t v = (2 * int64_t{py - a.y} + 1) * sh / (2 * dh);
                const int64_t srcY = sy + (flipY ? sh - 1 - v : v);
                if (srcY < 0 || srcY >= dib.Rows()) continue;
                uint32_t* row = reinterpret_cast<uint32_t*>(view.scan0 + int64_t(py) * view.pitch);
                for (LONG px = l; px < r; px++) {
                    const int64_t u = (2 * int64_t{px - a.x} + 1) * sw / (2 * dw);
                    const int64_t srcX = sx + (flipX ? sw - 1 - u : u);
                    if (srcX < 0 || srcX >= dib.width) continue;
                    const uint32_t s = src[static_cast<size_t>(srcY) * dib.width + static_cast<size_t>(srcX)];
                    const uint32_t d = row[px];
                    const uint32_t sa = perPixel ? (s >> 24) * constant / 255 : constant;
                    uint32_t outPx = 0;
                    for (int shift = 0; shift < 24; shift += 8) {
                        const uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
                        // A premultiplied source adds its colour scaled by the constant alpha only.
                        const uint32_t v2 = perPixel
                                                ? std::min<uint32_t>(255, sc * constant / 255 + dc * (255 - sa) / 255)
                                                : (sc * sa + dc * (255 - sa)) / 255;
                        outPx |= v2 << shift;
                    }
                    row[px] = outPx;
                }
            }
        }
    }

    // A brush's tile from a DIB, through a 32-bit DIB section.
    std::shared_ptr<const Pattern> TileOf(const Dib& dib, bool mono) {
        const int32_t w = dib.width, h = dib.Rows();
        if (int64_t(w) * h > kMaxPatternPixels) return nullptr;
        Dib src = dib;
        if (mono && src.Info()->bmiHeader.biBitCount == 1) {
            src.info[10] = 0;
            src.info[11] = 0xFFFFFF;
        }
        BITMAPINFO bmi{};
        bmi.bmiHeader = BITMAPINFOHEADER{40, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP section = CreateDIBSection(dc_, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!section) return nullptr;
        auto tile = std::make_shared<Pattern>();
        tile->width = w;
        tile->height = h;
        tile->mono = mono;
        if (SetDIBits(dc_, section, 0, static_cast<UINT>(h), src.bits, src.Info(), DIB_RGB_COLORS) > 0) {
            const uint32_t* px = static_cast<const uint32_t*>(bits);
            tile->px.assign(px, px + static_cast<size_t>(w) * h);
            for (uint32_t& v : tile->px) v = mono ? ((v & 0xFFFFFF) ? 1 : 0) : (v & 0xFFFFFF);
        }
        DeleteObject(section);
        if (tile->px.empty()) return nullptr;
        return tile;
    }

    BrushDesc TileBrush(const Dib& dib, bool mono) {
        BrushDesc b;
        b.style = BrushDesc::Tile;
        b.pattern = TileOf(dib, mono);
        if (!b.pattern) b = BrushDesc::Of(RGB(128, 128, 128));
        return b;
    }

    // ---- objects and state -------------------------------------------------------------------

    void Select(const GdiObjectDesc& obj) {
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

    void SelectRegion(const GdiObjectDesc& obj) {
        HRGN all = CreateRectRgn(0, 0, 0, 0);
        for (const RECT& r : obj.rects) {
            HRGN one = LogicalRectRgn(r.left, r.top, r.right, r.bottom);
            CombineRgn(all, all, one, RGN_OR);
            DeleteObject(one);
        }
        SelectClipRgn(dc_, all);
        DeleteObject(all);
    }

    void SelectStock(uint32_t index) {
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
                if (index >= OEM_FIXED_FONT && index <= DEFAULT_GUI_FONT && index != DEFAULT_PALETTE)
                    st_.font = FontDesc{};
                break;
        }
    }

    static PenDesc SolidPen(COLORREF color) { return MakePen(PS_SOLID, 0, color); }
    static PenDesc NullPen() { return MakePen(PS_NULL, 0, 0); }

    static PenDesc MakePen(uint32_t style, double width, COLORREF color) {
        PenDesc pen;
        pen.null = (style & 0x0F) == PS_NULL;
        pen.color = color & 0x01FFFFFF;
        pen.width = std::fabs(width);
        pen.style = style;
        pen.geometric = style & kPsGeometric;
        return pen;
    }

    static BrushDesc MakeBrush(uint32_t style, COLORREF color, uint32_t hatch) {
        if (style == BS_NULL) return BrushDesc::None();
        BrushDesc b = BrushDesc::Of(color & 0x01FFFFFF);
        if (style == BS_HATCHED) {
            b.style = BrushDesc::Hatch;
            b.hatch = static_cast<int32_t>(std::min<uint32_t>(hatch, HS_DIAGCROSS));
        }
        return b;
    }

    static GdiObjectDesc PaletteObject(const Params& p, size_t countAt, size_t entriesAt) {
        GdiObjectDesc obj;
        obj.kind = GdiObjectDesc::Palette;
        auto entries = std::make_shared<std::vector<COLORREF>>();
        const size_t n = std::min<size_t>(p.U16(countAt), p.Size() / 4);
        for (size_t i = 0; i < n && p.Has(entriesAt + 4 * i, 4); i++)
            entries->push_back(RGB(p.U8(entriesAt + 4 * i), p.U8(entriesAt + 4 * i + 1), p.U8(entriesAt + 4 * i + 2)));
        obj.palette = std::move(entries);
        return obj;
    }

    static void SetPaletteEntries(GdiObjectDesc& obj, const Params& p, uint32_t start, uint32_t count,
                                  size_t entriesAt) {
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

    void Save() {
        if (saved_.size() >= kMaxSavedStates) return;
        saved_.push_back(st_);
        SaveDC(dc_);
    }

    void Restore(int32_t which) {
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

    void ClipRect(double l, double t, double r, double b, int mode) {
        HRGN rgn = LogicalRectRgn(l, t, r, b);
        ExtSelectClipRgn(dc_, rgn, mode);
        DeleteObject(rgn);
    }

    void OffsetClip(double dx, double dy) {
        const POINT o = Map(0, 0), d = Map(dx, dy);
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        if (GetClipRgn(dc_, rgn) == 1) {
            OffsetRgn(rgn, d.x - o.x, d.y - o.y);
            SelectClipRgn(dc_, rgn);
        }
        DeleteObject(rgn);
    }

    // ---- Windows metafile records ------------------------------------------------------------

    void PlayWindows() {
        const std::vector<uint8_t>& b = mf_.bytes;
        const PxLeReader r(b.data(), b.size());
        if (b.size() < 18) return;
        objects_.assign(r.U16(10), GdiObjectDesc{});
        st_.winOrgX = mf_.boxLeft;
        st_.winOrgY = mf_.boxTop;
        st_.winExtX = mf_.boxWidth;
        st_.winExtY = mf_.boxHeight;
        st_.pen = SolidPen(0);
        st_.brush = BrushDesc::Of(RGB(255, 255, 255));
        size_t pos = std::max<size_t>(18, static_cast<size_t>(r.U16(2)) * 2);
        while (pos + 6 <= b.size()) {
            const uint64_t bytes = static_cast<uint64_t>(r.U32(pos)) * 2;
            const uint16_t function = r.U16(pos + 4);
            if (bytes < 6 || bytes > b.size() - pos || function == 0) break;
            recData_ = b.data() + pos + 6;
            recSize_ = static_cast<size_t>(bytes - 6);
            if (!WindowsRecord(function, Params(recData_, recSize_)) || exhausted_) break;
            pos += static_cast<size_t>(bytes);
        }
    }

    void CreateWindowsObject(const GdiObjectDesc& obj) {
        for (GdiObjectDesc& slot : objects_)
            if (slot.kind == GdiObjectDesc::Free) {
                slot = obj;
                return;
            }
    }

    std::vector<POINT> WindowsPoints(const Params& p, size_t off, uint32_t count) const {
        std::vector<POINT> pts;
        count = static_cast<uint32_t>(std::min<size_t>(count, (p.Size() > off ? p.Size() - off : 0) / 4));
        pts.reserve(count);
        for (uint32_t i = 0; i < count; i++) pts.push_back(Map(p.I16(off + 4 * i), p.I16(off + 4 * i + 2)));
        return pts;
    }

    void WindowsText(const Params& p, double x, double y, size_t textAt, size_t length, uint32_t options,
                     const double* rect, size_t dxAt) {
        if (!p.Has(textAt, length)) return;
        const std::u16string text = Narrow(p, textAt, length);
        std::vector<double> dx;
        for (size_t i = 0; i < length && dxAt && p.Has(dxAt + 2 * i, 2); i++) dx.push_back(p.I16(dxAt + 2 * i));
        if (dx.size() < length) dx.clear();
        Text(x, y, text, dx, options, rect);
    }

    FontDesc WindowsFont(const Params& p) const {
        FontDesc f;
        f.height = p.I16(0);
        f.width = p.I16(2);
        f.escapement = p.I16(4);
        f.weight = p.I16(8);
        f.italic = p.U8(10) != 0;
        f.underline = p.U8(11) != 0;
        f.strikeOut = p.U8(12) != 0;
        std::u16string face;
        for (size_t i = 18; i < 18 + 32 && p.Has(i, 1) && p.U8(i) != 0; i++) face += FromCp1252(p.U8(i));
        f.face = Utf8(face);
        return f;
    }

    // False ends the playing: the record is malformed.
    bool WindowsRecord(uint16_t function, const Params& p) {
        const size_t size = p.Size();
        switch (function) {
            case 0x001E:
                Save();
                break;  // SaveDC
            case 0x0127:
                Restore(p.I16(0));
                break;  // RestoreDC
            case 0x0104:
                st_.rop2 = std::clamp<int32_t>(p.U16(0), 1, 16);
                break;  // SetROP2
            case 0x0106:
                st_.polyFill = p.U16(0) == WINDING ? WINDING : ALTERNATE;
                break;
            case 0x0201:
                st_.bkColor = p.U32(0) & 0x01FFFFFF;
                break;
            case 0x0209:
                st_.textColor = p.U32(0) & 0x01FFFFFF;
                break;
            case 0x0102:
                st_.bkMode = p.U16(0) == TRANSPARENT ? TRANSPARENT : OPAQUE;
                break;
            case 0x012E:
                st_.textAlign = p.U16(0);
                break;
            case 0x0108:
                st_.charExtra = p.I16(0);
                break;
            case 0x020B:
                st_.winOrgX = p.I16(2);
                st_.winOrgY = p.I16(0);
                break;  // SetWindowOrg
            case 0x020C:
                st_.winExtX = p.I16(2);
                st_.winExtY = p.I16(0);
                break;  // SetWindowExt
            case 0x020F:
                st_.winOrgX += p.I16(2);
                st_.winOrgY += p.I16(0);
                break;    // OffsetWindowOrg
            case 0x0410:  // ScaleWindowExt
                if (p.I16(4) != 0 && p.I16(0) != 0) {
                    st_.winExtX = st_.winExtX * p.I16(6) / p.I16(4);
                    st_.winExtY = st_.winExtY * p.I16(2) / p.I16(0);
                }
                break;
            case 0x0214:
                st_.curX = p.I16(2);
                st_.curY = p.I16(0);
                break;      // MoveTo
            case 0x0213: {  // LineTo
                const double x = p.I16(2), y = p.I16(0);
                LineOn({Map(x, y)}, x, y);
                break;
            }
            case 0x041B:
                Rect(p.I16(6), p.I16(4), p.I16(2), p.I16(0));
                break;
            case 0x0418:
                Ellipse(p.I16(6), p.I16(4), p.I16(2), p.I16(0));
                break;
            case 0x061C:
                RoundRect(p.I16(10), p.I16(8), p.I16(6), p.I16(4), p.I16(2), p.I16(0));
                break;
            case 0x0817:  // Arc
            case 0x081A:  // Pie
            case 0x0830:  // Chord
                Arc(function == 0x0817   ? ArcKind::Open
                    : function == 0x081A ? ArcKind::Pie
                                         : ArcKind::Chord,
                    p.I16(14), p.I16(12), p.I16(10), p.I16(8), p.I16(6), p.I16(4), p.I16(2), p.I16(0));
                break;
            case 0x041F:
                SetPixelAt(p.I16(6), p.I16(4), p.U32(0) & 0x01FFFFFF);
                break;
            case 0x0324: {  // Polygon
                if (p.U16(0) > size / 4) return false;
                Shape(WindowsPoints(p, 2, p.U16(0)), true, true);
                break;
            }
            case 0x0325:
                if (p.U16(0) > size / 4) return false;
                Shape(WindowsPoints(p, 2, p.U16(0)), false, false);
                break;      // Polyline
            case 0x0538: {  // PolyPolygon
                const uint32_t polys = p.U16(0);
                if (polys > size / 2) return false;
                size_t off = 2 + 2 * static_cast<size_t>(polys);
                std::vector<std::vector<POINT>> all;
                for (uint32_t i = 0; i < polys && off < size; i++) {
                    const uint32_t n = p.U16(2 + 2 * static_cast<size_t>(i));
                    all.push_back(WindowsPoints(p, off, n));
                    off += 4 * static_cast<size_t>(n);
                }
                PolyPolygon(all);
                break;
            }
            case 0x061D:  // PatBlt
                PatternBlt(p.I16(10), p.I16(8), p.I16(6), p.I16(4), p.U32(0));
                break;
            case 0x0521: {  // TextOut
                const size_t n = p.U16(0), padded = (n + 1) & ~size_t(1);
                if (n > size) return false;
                WindowsText(p, p.I16(4 + padded), p.I16(2 + padded), 2, n, 0, nullptr, 0);
                break;
            }
            case 0x0A32: {  // ExtTextOut
                const size_t n = p.U16(4);
                const uint32_t options = p.U16(6);
                const bool hasRect = options & (ETO_OPAQUE | ETO_CLIPPED);
                const double rect[4] = {static_cast<double>(p.I16(8)), static_cast<double>(p.I16(10)),
                                        static_cast<double>(p.I16(12)), static_cast<double>(p.I16(14))};
                const size_t textAt = hasRect ? 16 : 8, padded = (n + 1) & ~size_t(1);
                if (n > size) return false;
                WindowsText(p, p.I16(2), p.I16(0), textAt, n, options, hasRect ? rect : nullptr, textAt + padded);
                break;
            }
            case 0x0940:    // DIBBitBlt
            case 0x0B41: {  // DIBStretchBlt
                const bool stretch = function == 0x0B41;
                const size_t plain = stretch ? 22 : 18;  // the form without a bitmap
                const uint32_t rop = p.U32(0);
                if (size <= plain) {
                    PatternBlt(p.I16(plain - 2), p.I16(plain - 4), p.I16(plain - 6), p.I16(plain - 8), rop);
                    break;
                }
                Dib dib;
                const size_t at = stretch ? 20 : 16;
                if (!PackedDib(at, DIB_RGB_COLORS, dib)) break;
                if (stretch)
                    DrawDib(dib, p.I16(18), p.I16(16), p.I16(14), p.I16(12), p.I16(10), p.I16(8), p.I16(6), p.I16(4),
                            rop);
                else
                    DrawDib(dib, p.I16(14), p.I16(12), p.I16(10), p.I16(8), p.I16(6), p.I16(4), p.I16(10), p.I16(8),
                            rop);
                break;
            }
            case 0x0922:    // BitBlt
            case 0x0B23: {  // StretchBlt
                const bool stretch = function == 0x0B23;
                const size_t plain = stretch ? 22 : 18;
                const uint32_t rop = p.U32(0);
                if (size <= plain) {
                    PatternBlt(p.I16(plain - 2), p.I16(plain - 4), p.I16(plain - 6), p.I16(plain - 8), rop);
                    break;
                }
                Dib dib;
                if (!Bitmap16(stretch ? 20 : 16, dib)) break;
                if (stretch)
                    DrawDib(dib, p.I16(18), p.I16(16), p.I16(14), p.I16(12), p.I16(10), p.I16(8), p.I16(6), p.I16(4),
                            rop);
                else
                    DrawDib(dib, p.I16(14), p.I16(12), p.I16(10), p.I16(8), p.I16(6), p.I16(4), p.I16(10), p.I16(8),
                            rop);
                break;
            }
            case 0x0F43: {  // StretchDIB
                Dib dib;
                if (!PackedDib(22, p.U16(4), dib)) break;
                // Its source rectangle counts a bottom-up bitmap's rows from the bottom.
                const int32_t sh = p.I16(6), sy = p.I16(10);
                DrawDib(dib, p.I16(20), p.I16(18), p.I16(16), p.I16(14), p.I16(12), TopRow(dib, sy, sh), p.I16(8), sh,
                        p.U32(0));
                break;
            }
            case 0x0D33: {  // SetDIBitsToDevice
                Dib dib;
                const uint8_t* at = RecordBytes(18, 0);
                if (!at || !ReadDib(at, size - 18, nullptr, 0, p.U16(0), dib, p.U16(2))) break;
                const int32_t w = p.I16(12), h = p.I16(10);
                const int64_t sy = int64_t{p.I16(6)} - p.U16(4);
                DrawDib(dib, p.I16(16), p.I16(14), w, h, p.I16(8), TopRow(dib, sy, h), w, h, SRCCOPY);
                break;
            }
            case 0x012D: {  // SelectObject
                const uint16_t i = p.U16(0);
                if (i < objects_.size()) Select(objects_[i]);
                break;
            }
            case 0x012C: {  // SelectClipRegion
                const uint16_t i = p.U16(0);
                if (i < objects_.size() && objects_[i].kind == GdiObjectDesc::Region)
                    SelectRegion(objects_[i]);
                else
                    SelectClipRgn(dc_, nullptr);
                break;
            }
            case 0x0234: {  // SelectPalette
                const uint16_t i = p.U16(0);
                if (i < objects_.size() && objects_[i].kind == GdiObjectDesc::Palette)
                    st_.palette = objects_[i].palette;
                break;
            }
            case 0x0416:
            case 0x0415:  // IntersectClipRect, ExcludeClipRect
                ClipRect(p.I16(6), p.I16(4), p.I16(2), p.I16(0), function == 0x0416 ? RGN_AND : RGN_DIFF);
                break;
            case 0x0220:
                OffsetClip(p.I16(2), p.I16(0));
                break;
            case 0x0228:    // FillRegion
            case 0x012B: {  // PaintRegion
                const uint16_t ri = p.U16(0), bi = p.U16(2);
                if (ri >= objects_.size() || objects_[ri].kind != GdiObjectDesc::Region) break;
                BrushDesc brush = st_.brush;
                if (function == 0x0228) {
                    if (bi >= objects_.size() || objects_[bi].kind != GdiObjectDesc::Brush) break;
                    brush = objects_[bi].brush;
                }
                HRGN all = CreateRectRgn(0, 0, 0, 0);
                for (const RECT& r : objects_[ri].rects) {
                    HRGN one = LogicalRectRgn(r.left, r.top, r.right, r.bottom);
                    CombineRgn(all, all, one, RGN_OR);
                    DeleteObject(one);
                }
                FillRegion(all, brush);
                DeleteObject(all);
                break;
            }
            case 0x01F0: {  // DeleteObject
                const uint16_t i = p.U16(0);
                if (i < objects_.size()) objects_[i] = GdiObjectDesc{};
                break;
            }
            case 0x02FA: {  // CreatePenIndirect
                GdiObjectDesc obj;
                obj.kind = GdiObjectDesc::Pen;
                obj.pen = MakePen(p.U16(0), p.I16(2), p.U32(6));
                CreateWindowsObject(obj);
                break;
            }
            case 0x02FC: {  // CreateBrushIndirect
                GdiObjectDesc obj;
                obj.kind = GdiObjectDesc::Brush;
                obj.brush = MakeBrush(p.U16(0), p.U32(2), p.U16(6));
                CreateWindowsObject(obj);
                break;
            }
            case 0x0142:    // DIBCreatePatternBrush
            case 0x01F9: {  // CreatePatternBrush
                GdiObjectDesc obj;
                obj.kind = GdiObjectDesc::Brush;
                Dib dib;
                bool ok;
                if (function == 0x0142) {
                    ok = PackedDib(4, p.U16(0) == BS_PATTERN ? DIB_RGB_COLORS : p.U16(2), dib);
                } else {
                    // The bitmap's header with a pointer's room, 18 reserved bytes, then its rows.
                    ok = p.U8(8) == 1 && Bitmap16At(p.I16(2), p.I16(4), p.I16(6), p.U8(9), 32, dib);
                }
                obj.brush = ok ? TileBrush(dib, function == 0x01F9 && dib.Info()->bmiHeader.biBitCount == 1)
                               : BrushDesc::Of(RGB(128, 128, 128));
                CreateWindowsObject(obj);
                break;
            }
            case 0x02FB: {  // CreateFontIndirect
                GdiObjectDesc obj;
                obj.kind = GdiObjectDesc::Font;
                obj.font = WindowsFont(p);
                CreateWindowsObject(obj);
                break;
            }
            case 0x00F7:  // CreatePalette
                CreateWindowsObject(PaletteObject(p, 2, 4));
                break;
            case 0x06FF: {  // CreateRegion
                GdiObjectDesc obj;
                obj.kind = GdiObjectDesc::Region;
                const int32_t scans = p.I16(10);
                size_t off = 22;
                for (int32_t s = 0; s < scans && p.Has(off, 6); s++) {
                    const size_t count = p.U16(off);
                    const LONG top = p.I16(off + 2), bottom = p.I16(off + 4);
                    for (size_t j = 0; j + 1 < count && p.Has(off + 6 + 2 * j, 4); j += 2)
                        obj.rects.push_back(RECT{p.I16(off + 6 + 2 * j), top, p.I16(off + 8 + 2 * j), bottom});
                    off += 6 + 2 * count + 2;
                }
                if (scans <= 0) obj.rects.push_back(RECT{p.I16(14), p.I16(16), p.I16(18), p.I16(20)});
                CreateWindowsObject(obj);
                break;
            }
            default:
                break;
        }
        return true;
    }

    // ---- enhanced metafile records -----------------------------------------------------------

    void PlayEnhanced() {
        const std::vector<uint8_t>& b = mf_.bytes;
        const PxLeReader r(b.data(), b.size());
        objects_.assign(static_cast<size_t>(mf_.header.handles) + 1, GdiObjectDesc{});
        st_.pen = SolidPen(0);
        st_.brush = BrushDesc::Of(RGB(255, 255, 255));
        size_t pos = 0;
        while (pos + 8 <= b.size()) {
            const uint32_t type = r.U32(pos);
            const uint32_t size = r.U32(pos + 4);
            if (size < 8 || size > b.size() - pos || type == 14)  // 14: end of file
                break;
            recData_ = b.data() + pos;
            recSize_ = size;
            if (!EnhancedRecord(type, Params(recData_, recSize_)) || exhausted_) break;
            pos += size;
        }
    }

    template <bool Small>
    std::vector<POINT> EnhancedPoints(const Params& p, size_t off, uint32_t count) const {
        const size_t each = Small ? 4 : 8;
        std::vector<POINT> pts;
        count = static_cast<uint32_t>(std::min<size_t>(count, (p.Size() > off ? p.Size() - off : 0) / each));
        pts.reserve(count);
        for (uint32_t i = 0; i < count; i++) {
            const size_t o = off + each * i;
            if (Small)
                pts.push_back(Map(p.I16(o), p.I16(o + 2)));
            else
                pts.push_back(Map(p.I32(o), p.I32(o + 4)));
        }
        return pts;
    }

    template <bool Small>
    void LogicalPoints(const Params& p, size_t off, uint32_t count, std::vector<double>& xs,
                       std::vector<double>& ys) const {
        const size_t each = Small ? 4 : 8;
        count = static_cast<uint32_t>(std::min<size_t>(count, (p.Size() > off ? p.Size() - off : 0) / each));
        for (uint32_t i = 0; i < count; i++) {
            const size_t o = off + each * i;
            xs.push_back(Small ? p.I16(o) : p.I32(o));
            ys.push_back(Small ? p.I16(o + 2) : p.I32(o + 4));
        }
    }

    template <bool Small>
    void PolyPoly(const Params& p, bool polygon) {
        const uint32_t polys = p.U32(24);
        if (polys > p.Size() / 4) return;
        size_t off = 32 + 4 * static_cast<size_t>(polys);
        std::vector<std::vector<POINT>> all;
        for (uint32_t i = 0; i < polys && off < p.Size(); i++) {
            const uint32_t n = p.U32(32 + 4 * static_cast<size_t>(i));
            all.push_back(EnhancedPoints<Small>(p, off, n));
            off += (Small ? 4 : 8) * static_cast<size_t>(std::min<uint32_t>(n, static_cast<uint32_t>(p.Size())));
        }
        if (polygon) {
            PolyPolygon(all);
        } else {
            for (auto& pts : all) Shape(std::move(pts), false, false);
        }
    }

    // Cubic Bézier segments flattened into a line; `fromCurrent` starts at the current position.
    template <bool Small>
    void Bezier(const Params& p, bool fromCurrent) {
        std::vector<double> xs, ys;
        if (fromCurrent) {
            xs.push_back(st_.curX);
            ys.push_back(st_.curY);
        }
        LogicalPoints<Small>(p, 28, p.U32(24), xs, ys);
        if (xs.size() < 4) return;
        constexpr int32_t kSteps = 16;
        std::vector<POINT> pts;
        size_t i = 0;
        for (; i + 3 < xs.size(); i += 3)
            for (int32_t s = 1; s <= kSteps; s++) {
                const double t = static_cast<double>(s) / kSteps, u = 1 - t;
                const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
                pts.push_back(Map(a * xs[i] + b * xs[i + 1] + c * xs[i + 2] + d * xs[i + 3],
                                  a * ys[i] + b * ys[i + 1] + c * ys[i + 2] + d * ys[i + 3]));
            }
        if (fromCurrent) {
            LineOn(pts, xs[i], ys[i]);
        } else {
            pts.insert(pts.begin(), Map(xs[0], ys[0]));
            Shape(std::move(pts), false, false);
        }
    }

    template <bool Small>
    void PolylineTo(const Params& p) {
        std::vector<double> xs, ys;
        LogicalPoints<Small>(p, 28, p.U32(24), xs, ys);
        if (xs.empty()) return;
        std::vector<POINT> pts;
        for (size_t i = 0; i < xs.size(); i++) pts.push_back(Map(xs[i], ys[i]));
        LineOn(pts, xs.back(), ys.back());
    }

    void CreateEnhancedObject(uint32_t index, const GdiObjectDesc& obj) {
        if (index > 0 && index < objects_.size()) objects_[index] = obj;
    }

    // A DIB given by offsets and sizes of its header and rows, at `at` in the record.
    bool EnhancedDib(const Params& p, size_t at, uint32_t usage, Dib& dib, uint32_t lines = 0) {
        const uint32_t offBmi = p.U32(at), cbBmi = p.U32(at + 4), offBits = p.U32(at + 8), cbBits = p.U32(at + 12);
        if (cbBmi == 0) return false;
        const uint8_t* bmi = RecordBytes(offBmi, cbBmi);
        const uint8_t* bits = RecordBytes(offBits, cbBits);
        return bmi && bits && ReadDib(bmi, cbBmi, bits, cbBits, usage, dib, lines);
    }

    // A region's rectangles (RGNDATA, reference-device units) as a region on the picture.
    HRGN EnhancedRegion(const Params& p, size_t at, uint32_t bytes) const {
        HRGN all = CreateRectRgn(0, 0, 0, 0);
        const uint32_t count = p.U32(at + 8);
        if (bytes < 32 || count > bytes / 16) return all;
        for (uint32_t i = 0; i < count && p.Has(at + 32 + 16 * static_cast<size_t>(i), 16); i++) {
            const size_t o = at + 32 + 16 * static_cast<size_t>(i);
            double l, t, r, b;
            RefToTarget(p.I32(o), p.I32(o + 4), l, t);
            RefToTarget(p.I32(o + 8), p.I32(o + 12), r, b);
            HRGN one = CreateRectRgn(static_cast<int>(std::lround(Clamp(l))), static_cast<int>(std::lround(Clamp(t))),
                                     static_cast<int>(std::lround(Clamp(r))), static_cast<int>(std::lround(Clamp(b))));
            CombineRgn(all, all, one, RGN_OR);
            DeleteObject(one);
        }
        return all;
    }

    void EnhancedText(const Params& p, size_t at, bool wide) {
        const double x = p.I32(at), y = p.I32(at + 4);
        const uint32_t n = p.U32(at + 8), offString = p.U32(at + 12), options = p.U32(at + 16), offDx = p.U32(at + 36);
        const double rect[4] = {static_cast<double>(p.I32(at + 20)), static_cast<double>(p.I32(at + 24)),
                                static_cast<double>(p.I32(at + 28)), static_cast<double>(p.I32(at + 32))};
        if (n > p.Size() || !p.Has(offString, static_cast<size_t>(n) * (wide ? 2 : 1))) return;
        std::u16string text;
        // Glyph numbers of a font that is not here would draw the wrong letters: none at all.
        for (uint32_t i = 0; i < n && !(options & ETO_GLYPH_INDEX); i++)
            text += wide ? static_cast<char16_t>(p.U16(offString + 2 * static_cast<size_t>(i)))
                         : FromCp1252(p.U8(offString + i));
        std::vector<double> dx;
        const size_t step = options & ETO_PDY ? 8 : 4;
        if (offDx && p.Has(offDx, n * step))
            for (uint32_t i = 0; i < n; i++) dx.push_back(p.I32(offDx + step * i));
        Text(x, y, text, dx, options, rect);
    }

    BrushDesc BrushAt(uint32_t index) const {
        if (index & 0x80000000u) {
            switch (index & 0x7FFFFFFFu) {
                case WHITE_BRUSH:
                    return BrushDesc::Of(RGB(255, 255, 255));
                case LTGRAY_BRUSH:
                    return BrushDesc::Of(RGB(192, 192, 192));
                case GRAY_BRUSH:
                    return BrushDesc::Of(RGB(128, 128, 128));
                case DKGRAY_BRUSH:
                    return BrushDesc::Of(RGB(64, 64, 64));
                case BLACK_BRUSH:
                    return BrushDesc::Of(0);
                default:
                    return BrushDesc::None();
            }
        }
        if (index < objects_.size() && objects_[index].kind == GdiObjectDesc::Brush) return objects_[index].brush;
        return BrushDesc::None();
    }

    // False ends the playing: the record is malformed.
    bool EnhancedRecord(uint32_t type, const Params& p) {
        switch (type) {
            case 2:
                Bezier<false>(p, false);
                break;  // PolyBezier
            case 3:
            case 86: {  // Polygon, Polygon16
                std::vector<POINT> pts =
                    type == 3 ? EnhancedPoints<false>(p, 28, p.U32(24)) : EnhancedPoints<true>(p, 28, p.U32(24));
                Shape(std::move(pts), true, true);
                break;
            }
            case 4:
                Shape(EnhancedPoints<false>(p, 28, p.U32(24)), false, false);
                break;  // Polyline
            case 87:
                Shape(EnhancedPoints<true>(p, 28, p.U32(24)), false, false);
                break;  // Polyline16
            case 5:
                Bezier<false>(p, true);
                break;  // PolyBezierTo
            case 85:
                Bezier<true>(p, false);
                break;  // PolyBezier16
            case 88:
                Bezier<true>(p, true);
                break;  // PolyBezierTo16
            case 6:
                PolylineTo<false>(p);
                break;
            case 89:
                PolylineTo<true>(p);
                break;
            case 7:
                PolyPoly<false>(p, false);
                break;  // PolyPolyline
            case 8:
                PolyPoly<false>(p, true);
                break;  // PolyPolygon
            case 90:
                PolyPoly<true>(p, false);
                break;
            case 91:
                PolyPoly<true>(p, true);
                break;
            case 9:
                st_.winExtX = p.I32(8);
                st_.winExtY = p.I32(12);
                break;
            case 10:
                st_.winOrgX = p.I32(8);
                st_.winOrgY = p.I32(12);
                break;
            case 11:
                st_.vpExtX = p.I32(8);
                st_.vpExtY = p.I32(12);
                break;
            case 12:
                st_.vpOrgX = p.I32(8);
                st_.vpOrgY = p.I32(12);
                break;
            case 31:    // ScaleViewportExtEx
            case 32: {  // ScaleWindowExtEx
                const int32_t xNum = p.I32(8), xDenom = p.I32(12), yNum = p.I32(16), yDenom = p.I32(20);
                if (xDenom == 0 || yDenom == 0) break;
                double& ex = type == 31 ? st_.vpExtX : st_.winExtX;
                double& ey = type == 31 ? st_.vpExtY : st_.winExtY;
                ex = ex * xNum / xDenom;
                ey = ey * yNum / yDenom;
                break;
            }
            case 15:
                SetPixelAt(p.I32(8), p.I32(12), p.U32(16) & 0x01FFFFFF);
                break;
            case 17:
                st_.mapMode = p.I32(8);
                break;
            case 18:
                st_.bkMode = p.U32(8) == TRANSPARENT ? TRANSPARENT : OPAQUE;
                break;
            case 19:
                st_.polyFill = p.U32(8) == WINDING ? WINDING : ALTERNATE;
                break;
            case 20:
                st_.rop2 = std::clamp<int32_t>(p.I32(8), 1, 16);
                break;
            case 22:
                st_.textAlign = p.U32(8);
                break;
            case 24:
                st_.textColor = p.U32(8) & 0x01FFFFFF;
                break;
            case 25:
                st_.bkColor = p.U32(8) & 0x01FFFFFF;
                break;
            case 26:
                OffsetClip(p.I32(8), p.I32(12));
                break;
            case 27:
                st_.curX = p.I32(8);
                st_.curY = p.I32(12);
                figureOpen_ = false;
                break;  // MoveToEx
            case 29:
            case 30:  // ExcludeClipRect, IntersectClipRect
                ClipRect(p.I32(8), p.I32(12), p.I32(16), p.I32(20), type == 30 ? RGN_AND : RGN_DIFF);
                break;
            case 54: {  // LineTo
                const double x = p.I32(8), y = p.I32(12);
                LineOn({Map(x, y)}, x, y);
                break;
            }
            case 33:
                Save();
                break;
            case 34:
                Restore(p.I32(8));
                break;
            case 35:
                st_.world = XformAt(p, 8);
                break;  // SetWorldTransform
            case 36: {  // ModifyWorldTransform
                const Xform x = XformAt(p, 8);
                switch (p.U32(32)) {
                    case 1:
                        st_.world = Xform{};
                        break;
                    case 2:
                        st_.world = x.Then(st_.world);
                        break;
                    case 3:
                        st_.world = st_.world.Then(x);
                        break;
                    case 4:
                        st_.world = x;
                        break;
                    default:
                        break;
                }
                break;
            }
            case 37: {  // SelectObject
                const uint32_t i = p.U32(8);
                if (i & 0x80000000u)
                    SelectStock(i & 0x7FFFFFFFu);
                else if (i < objects_.size())
                    Select(objects_[i]);
                break;
            }
            case 38: {  // CreatePen
                GdiObjectDesc obj;
                obj.kind = GdiObjectDesc::Pen;
                obj.pen = MakePen(p.U32(12), p.I32(16), p.U32(24));
                CreateEnhancedObject(p.U32(8), obj);
                break;
            }
            case 95: {  // ExtCreatePen
                GdiObjectDesc obj;
                obj.kind = GdiObjectDesc::Pen;
                obj.pen = MakePen(p.U32(28), p.U32(32), p.U32(40));
                if (p.U32(36) == BS_NULL) obj.pen.null = true;
                if ((p.U32(28) & 0x0F) == kPsUserStyle)
                    for (uint32_t i = 0, n = p.U32(48); i < n && i < 64 && p.Has(52 + 4 * i, 4); i++)
                        obj.pen.dashes.push_back(p.U32(52 + 4 * i));
                CreateEnhancedObject(p.U32(8), obj);
                break;
            }
            case 39: {  // CreateBrushIndirect
                GdiObjectDesc obj;
                obj.kind = GdiObjectDesc::Brush;
                obj.brush = MakeBrush(p.U32(12), p.U32(16), p.U32(20));
                CreateEnhancedObject(p.U32(8), obj);
                break;
            }
            case 93:    // CreateMonoBrush
            case 94: {  // CreateDIBPatternBrushPt
                GdiObjectDesc obj;
                obj.kind = GdiObjectDesc::Brush;
                Dib dib;
                // A monochrome brush takes its colours from the text and background colours: it
                // needs no colour table, and gnuplot writes none.
                obj.brush = EnhancedDib(p, 16, type == 93 ? kDibPalIndices : p.U32(12), dib)
                                ? TileBrush(dib, type == 93)
                                : BrushDesc::Of(RGB(128, 128, 128));
                CreateEnhancedObject(p.U32(8), obj);
                break;
            }
            case 82: {  // ExtCreateFontIndirectW
                GdiObjectDesc obj;
                obj.kind = GdiObjectDesc::Font;
                FontDesc& f = obj.font;
                f.height = p.I32(12);
                f.width = p.I32(16);
                f.escapement = p.I32(20);
                f.weight = p.I32(28);
                f.italic = p.U8(32) != 0;
                f.underline = p.U8(33) != 0;
                f.strikeOut = p.U8(34) != 0;
                std::u16string face;
                for (size_t i = 0; i < 32 && p.Has(40 + 2 * i, 2) && p.U16(40 + 2 * i) != 0; i++)
                    face += static_cast<char16_t>(p.U16(40 + 2 * i));
                f.face = Utf8(face);
                CreateEnhancedObject(p.U32(8), obj);
                break;
            }
            case 49: {  // CreatePalette
                CreateEnhancedObject(p.U32(8), PaletteObject(p, 14, 16));
                break;
            }
            case 48: {  // SelectPalette
                const uint32_t i = p.U32(8);
                if (i & 0x80000000u)
                    SelectStock(i & 0x7FFFFFFFu);
                else if (i < objects_.size() && objects_[i].kind == GdiObjectDesc::Palette)
                    st_.palette = objects_[i].palette;
                break;
            }
            case 50: {  // SetPaletteEntries
                const uint32_t i = p.U32(8);
                if (i < objects_.size()) SetPaletteEntries(objects_[i], p, p.U32(12), p.U32(16), 20);
                break;
            }
            case 40: {  // DeleteObject
                const uint32_t i = p.U32(8);
                if (i > 0 && i < objects_.size()) objects_[i] = GdiObjectDesc{};
                break;
            }
            case 42:
                Ellipse(p.I32(8), p.I32(12), p.I32(16), p.I32(20));
                break;
            case 43:
                Rect(p.I32(8), p.I32(12), p.I32(16), p.I32(20));
                break;
            case 44:
                RoundRect(p.I32(8), p.I32(12), p.I32(16), p.I32(20), p.I32(24), p.I32(28));
                break;
            case 45:  // Arc
            case 46:  // Chord
            case 47:  // Pie
            case 55:  // ArcTo
                Arc(type == 45   ? ArcKind::Open
                    : type == 46 ? ArcKind::Chord
                    : type == 47 ? ArcKind::Pie
                                 : ArcKind::To,
                    p.I32(8), p.I32(12), p.I32(16), p.I32(20), p.I32(24), p.I32(28), p.I32(32), p.I32(36));
                break;
            case 41:  // AngleArc
                AngleArc(p.I32(8), p.I32(12), p.U32(16), p.F32(20), p.F32(24));
                break;
            case 57:
                st_.clockwise = p.U32(8) == AD_CLOCKWISE;
                break;
            case 59:  // BeginPath
                ClearPath();
                inPath_ = true;
                break;
            case 60:
                inPath_ = false;
                break;  // EndPath
            case 61:    // CloseFigure
                if (figureOpen_ && !path_.empty()) path_.back().closed = true;
                figureOpen_ = false;
                break;
            case 62:
                DrawPath(true, false);
                break;  // FillPath
            case 63:
                DrawPath(true, true);
                break;  // StrokeAndFillPath
            case 64:
                DrawPath(false, true);
                break;  // StrokePath
            case 67:
                ClipToPath(p.I32(8));
                break;  // SelectClipPath
            case 68:
                inPath_ = false;
                ClearPath();
                break;  // AbortPath
            case 75: {  // ExtSelectClipRgn
                const uint32_t bytes = p.U32(8);
                const int32_t mode = p.I32(12);
                if (mode < RGN_AND || mode > RGN_COPY) break;
                if (bytes == 0) {
                    if (mode == RGN_COPY) SelectClipRgn(dc_, nullptr);
                    break;
                }
                HRGN rgn = EnhancedRegion(p, 16, bytes);
                ExtSelectClipRgn(dc_, rgn, mode);
                DeleteObject(rgn);
                break;
            }
            case 71:    // FillRgn
            case 74: {  // PaintRgn
                HRGN rgn = EnhancedRegion(p, type == 71 ? 32 : 28, p.U32(24));
                FillRegion(rgn, type == 71 ? BrushAt(p.U32(28)) : st_.brush);
                DeleteObject(rgn);
                break;
            }
            case 76:    // BitBlt
            case 77: {  // StretchBlt
                const double x = p.I32(8 + 16), y = p.I32(28), w = p.I32(32), h = p.I32(36);
                const uint32_t rop = p.U32(40);
                Dib dib;
                if (p.U32(88) == 0) {  // no source bitmap
                    PatternBlt(x, y, w, h, rop);
                    break;
                }
                if (!EnhancedDib(p, 84, p.U32(80), dib)) break;
                const int32_t sw = type == 77 ? p.I32(100) : static_cast<int32_t>(w);
                const int32_t sh = type == 77 ? p.I32(104) : static_cast<int32_t>(h);
                DrawDib(dib, x, y, w, h, p.I32(44), p.I32(48), sw, sh, rop);
                break;
            }
            case 78: {  // MaskBlt
                const double x = p.I32(24), y = p.I32(28), w = p.I32(32), h = p.I32(36);
                const uint32_t rop = p.U32(40);
                Dib dib, mask;
                if (!EnhancedDib(p, 84, p.U32(80), dib)) break;
                // A set mask bit takes the foreground operation; only "source where the mask is
                // set, destination elsewhere" uses the mask, others draw the source whole.
                const bool masked = ((rop >> 24) & 0xFF) == 0xAA && (rop & 0xFF0000) == 0xCC0000 &&
                                    EnhancedDib(p, 112, p.U32(108), mask);
                if (masked)
                    DrawMasked(dib, mask, x, y, w, h, p.I32(44), p.I32(48), p.I32(100), p.I32(104));
                else
                    DrawDib(dib, x, y, w, h, p.I32(44), p.I32(48), static_cast<int32_t>(w), static_cast<int32_t>(h),
                            (rop & 0xFFFFFF) ? (rop & 0xFFFFFF) : SRCCOPY);
                break;
            }
            case 114: {  // AlphaBlend
                Dib dib;
                if (!EnhancedDib(p, 84, p.U32(80), dib)) break;
                AlphaBlend(dib, p.I32(24), p.I32(28), p.I32(32), p.I32(36), p.I32(44), p.I32(48), p.I32(100),
                           p.I32(104), p.U8(42), p.U8(43) & 1);
                break;
            }
            case 80: {  // SetDIBitsToDevice
                Dib dib;
                if (!EnhancedDib(p, 48, p.U32(64), dib, p.U32(72))) break;
                const int32_t w = p.I32(40), h = p.I32(44);
                const int64_t sy = int64_t{p.I32(36)} - p.U32(68);
                DrawDib(dib, p.I32(24), p.I32(28), w, h, p.I32(32), TopRow(dib, sy, h), w, h, SRCCOPY);
                break;
            }
            case 81: {  // StretchDIBits
                Dib dib;
                const uint32_t rop = p.U32(68);
                const double x = p.I32(24), y = p.I32(28), w = p.I32(72), h = p.I32(76);
                if (p.U32(52) == 0) {
                    PatternBlt(x, y, w, h, rop);
                    break;
                }
                if (!EnhancedDib(p, 48, p.U32(64), dib)) break;
                const int32_t sh = p.I32(44), sy = p.I32(36);
                DrawDib(dib, x, y, w, h, p.I32(32), TopRow(dib, sy, sh), p.I32(40), sh, rop);
                break;
            }
            case 83:  // ExtTextOutA
            case 84:  // ExtTextOutW
                EnhancedText(p, 36, type == 84);
                break;
            case 96:    // PolyTextOutA
            case 97: {  // PolyTextOutW
                const uint32_t n = p.U32(36);
                if (n > p.Size() / 40) return false;
                for (uint32_t i = 0; i < n; i++) EnhancedText(p, 40 + 40 * static_cast<size_t>(i), type == 97);
                break;
            }
            default:
                break;
        }
        return true;
    }

    static Xform XformAt(const Params& p, size_t off) {
        Xform x;
        x.m11 = p.F32(off);
        x.m12 = p.F32(off + 4);
        x.m21 = p.F32(off + 8);
        x.m22 = p.F32(off + 12);
        x.dx = p.F32(off + 16);
        x.dy = p.F32(off + 20);
        return x;
    }

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
    int64_t scanRows_ = 0;
    bool exhausted_ = false;
    bool inPath_ = false, figureOpen_ = false;
};

thread_local int64_t lastScanRows = 0;

int32_t ScreenCaps(int index) {
    HDC screen = GetDC(nullptr);
    const int32_t v = GetDeviceCaps(screen, index);
    ReleaseDC(nullptr, screen);
    return v;
}

}  // namespace

int64_t PxImageWMF::LastScanRows() { return lastScanRows; }

bool PxImageWMF::IsPlaceable(const METAFILEHEADER& h) {
    const uint16_t words[10] = {static_cast<uint16_t>(h.key),
                                static_cast<uint16_t>(h.key >> 16),
                                h.hmf,
                                static_cast<uint16_t>(h.left),
                                static_cast<uint16_t>(h.top),
                                static_cast<uint16_t>(h.right),
                                static_cast<uint16_t>(h.bottom),
                                h.inch,
                                static_cast<uint16_t>(h.reserved),
                                static_cast<uint16_t>(h.reserved >> 16)};
    uint16_t sum = 0;
    for (uint16_t w : words) sum ^= w;
    return h.key == kPlaceableKey && h.checksum == sum && h.inch >= 1 && h.inch <= 2540;
}

void PxImageWMF::LimitSize(int32_t& width, int32_t& height) {
    if (width > kMaxSide) {
        height = static_cast<int32_t>(static_cast<int64_t>(height) * kMaxSide / width);
        width = kMaxSide;
    }
    if (height > kMaxSide) {
        width = static_cast<int32_t>(static_cast<int64_t>(width) * kMaxSide / height);
        height = kMaxSide;
    }
    // A very thin picture must not shrink to nothing.
    width = std::max(width, 1);
    height = std::max(height, 1);
}

PxMetafileHandle PxImageWMF::WmfToEmf(PxFile* file, METAFILEHEADER& header) {
    const int32_t streamSize = file->Size();
    uint8_t raw[22];
    const PxLeReader b = PxLeReader::FromFile(file, raw, sizeof(raw));
    if (!b.Has(0, sizeof(raw))) return nullptr;
    header.key = b.U32(0);
    header.hmf = b.U16(4);
    header.left = static_cast<int16_t>(b.U16(6));
    header.top = static_cast<int16_t>(b.U16(8));
    header.right = static_cast<int16_t>(b.U16(10));
    header.bottom = static_cast<int16_t>(b.U16(12));
    header.inch = b.U16(14);
    header.reserved = b.U32(16);
    header.checksum = b.U16(20);
    if (!IsPlaceable(header)) return nullptr;

    uint8_t rawRecord[18];
    const PxLeReader m = PxLeReader::FromFile(file, rawRecord, sizeof(rawRecord));
    if (!m.Has(0, sizeof(rawRecord))) return nullptr;
    const uint16_t type = m.U16(0);
    const uint64_t bytes = static_cast<uint64_t>(m.U32(6)) * 2;
    if ((type != 1 && type != 2) || streamSize < 0 || bytes > static_cast<uint64_t>(streamSize)) return nullptr;
    PxMetafileHandle mf(new (std::nothrow) PxMetafile);
    if (!mf) return nullptr;
    try {
        mf->bytes.resize(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (!file->Seek(22, SEEK_SET) || file->Read(mf->bytes.data(), 1, mf->bytes.size()) != mf->bytes.size())
        return nullptr;
    // Too short for its own header: not a metafile at all.
    if (mf->bytes.size() < 18) return nullptr;

    HDC screen = GetDC(nullptr);
    const int32_t dpiX = GetDeviceCaps(screen, LOGPIXELSX), dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    int32_t xExt = (header.right - header.left) * dpiX / header.inch;
    int32_t yExt = (header.bottom - header.top) * dpiY / header.inch;
    // Only positive extents grow: a zero or negative one would never reach the bound.
    while (xExt > 0 && yExt > 0 && xExt < 0x199A && yExt < 0x199A) {
        xExt *= 10;
        yExt *= 10;
    }
    mf->enhanced = false;
    mf->mapMode = kMmAnisotropic;
    mf->xExt = xExt;
    mf->yExt = yExt;
    mf->boxLeft = header.left;
    mf->boxTop = header.top;
    mf->boxWidth = header.right - header.left;
    mf->boxHeight = header.bottom - header.top;
    return mf;
}

PxMetafileHandle PxImageWMF::ReadEmf(PxFile* file, ENHMETAHEADER& header) {
    const int32_t size = file->Size();
    if (size < 88) return nullptr;
    PxMetafileHandle mf(new (std::nothrow) PxMetafile);
    if (!mf) return nullptr;
    try {
        mf->bytes.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (file->Read(mf->bytes.data(), 1, mf->bytes.size()) != mf->bytes.size()) return nullptr;
    const PxLeReader b(mf->bytes.data(), mf->bytes.size());
    const uint32_t recordSize = b.U32(4);
    if (b.U32(0) != 1 || b.U32(40) != kEmfSignature || recordSize < 88 || recordSize > mf->bytes.size()) return nullptr;
    auto rect = [&](size_t o) { return RECT{b.I32(o), b.I32(o + 4), b.I32(o + 8), b.I32(o + 12)}; };
    header.bounds = rect(8);
    header.frame = rect(24);
    header.handles = b.U16(56);
    header.palEntries = b.U32(68);
    header.device = SIZE{b.I32(72), b.I32(76)};
    header.millimeters = SIZE{b.I32(80), b.I32(84)};
    mf->enhanced = true;
    mf->header = header;
    return mf;
}

bool PxImageWMF::Decode(PxFile* hFile, int32_t nForceWidth, int32_t nForceHeight) {
    if (!hFile) return false;
    const int32_t pos = hFile->Tell();

    int64_t width = 0, height = 0;
    METAFILEHEADER placeable;
    PxMetafileHandle mf = WmfToEmf(hFile, placeable);
    if (mf) {
        width = static_cast<int64_t>(placeable.right - placeable.left) * ScreenCaps(LOGPIXELSX) / placeable.inch;
        height = static_cast<int64_t>(placeable.bottom - placeable.top) * ScreenCaps(LOGPIXELSY) / placeable.inch;
    } else {
        hFile->Seek(pos, SEEK_SET);
        ENHMETAHEADER emh;
        mf = ReadEmf(hFile, emh);
        if (!mf) {
            SetLastError("corrupted WMF");
            return false;
        }
        width = static_cast<int64_t>(emh.bounds.right) - emh.bounds.left;
        height = static_cast<int64_t>(emh.bounds.bottom) - emh.bounds.top;
    }

    if (info.nEscape) {
        SetLastError("Cancelled");
        return false;
    }
    // A box with its corners swapped has no area to draw either.
    if (width <= 0 || height <= 0) {
        SetLastError("empty WMF");
        return false;
    }
    int32_t w = static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX));
    int32_t h = static_cast<int32_t>(std::min<int64_t>(height, INT32_MAX));
    if (nForceWidth > 0) w = nForceWidth;
    if (nForceHeight > 0) h = nForceHeight;
    LimitSize(w, h);

    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HDC memDC = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (!memDC) {
        if (bitmap) DeleteObject(bitmap);
        return false;
    }
    if (!bitmap) {
        DeleteDC(memDC);
        return false;
    }

    const int32_t depth = GetDeviceCaps(memDC, BITSPIXEL);
    HGDIOBJ oldBitmap = SelectObject(memDC, bitmap);
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const COLORREF oldBk = SetBkColor(memDC, window);
    tikora::gdi::FillSolidRect(memDC, RECT{0, 0, w, h}, window);
    SetBkColor(memDC, oldBk);

    // The software GDI's surfaces are true colour: a metafile's palette has nothing to realise.
    lastScanRows = Player(memDC, *mf, w, h).Play();
    SelectObject(memDC, oldBitmap);
    mf.reset();

    if (info.nEscape) {
        DeleteObject(bitmap);
        DeleteDC(memDC);
        SetLastError("Cancelled");
        return false;
    }
    if (!Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), static_cast<uint32_t>(std::max(depth, 1)),
                PXIMAGE_FORMAT_WMF)) {
        DeleteObject(bitmap);
        DeleteDC(memDC);
        return false;
    }
    const int lines =
        GetDIBits(memDC, bitmap, 0, static_cast<UINT>(h), GetBits(0), static_cast<BITMAPINFO*>(pDib), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memDC);
    return lines != 0;
}
