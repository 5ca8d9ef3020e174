#include "PxImageWMF.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "PxLeReader.h"
#include "WinGdi.h"

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr int32_t kMaxSide = 4000;
constexpr int32_t kMmText = 1;
constexpr int32_t kMmAnisotropic = 8;
constexpr size_t kMaxSavedStates = 1024;

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

struct PenDesc {
    bool null = false;
    COLORREF color = 0;
    double width = 0;  // logical units; 0 is one device pixel
};

struct BrushDesc {
    bool null = false;
    COLORREF color = RGB(255, 255, 255);
};

struct GdiObjectDesc {
    enum Kind { Free, Pen, Brush, Other } kind = Free;
    PenDesc pen;
    BrushDesc brush;
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
    int32_t polyFill = ALTERNATE;
    int32_t rop2 = R2_COPYPEN;
    double curX = 0, curY = 0;  // logical
};

// Plays metafile records onto a memory DC through the software GDI. All mapping is done here, so
// the DC keeps its identity mapping; outlines are drawn here too, so that a wide pen costs the
// same as a filled polygon.
class Player {
public:
    Player(HDC dc, const PxMetafile& mf, int32_t width, int32_t height)
        : dc_(dc), mf_(mf), width_(width), height_(height) {
        // Shapes far outside the picture are clamped to a margin: drawing cost stays bounded and
        // every coordinate handed to GDI stays far from overflow.
        limit_ = 4.0 * std::max(width, height) + 1024;
    }

    void Play() {
        const int32_t savedDC = SaveDC(dc_);
        SelectObject(dc_, GetStockObject(NULL_PEN));
        if (mf_.enhanced)
            PlayEnhanced();
        else
            PlayWindows();
        RestoreDC(dc_, savedDC);
    }

private:
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
            dx = (wx - st_.winOrgX) * st_.vpExtX / ex + st_.vpOrgX;
            dy = (wy - st_.winOrgY) * st_.vpExtY / ey + st_.vpOrgY;
        }
        // The reference device's picture frame fills the picture.
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

    POINT Map(double lx, double ly) const {
        double tx, ty;
        ToTarget(lx, ly, tx, ty);
        return POINT{static_cast<LONG>(std::lround(Clamp(tx))), static_cast<LONG>(std::lround(Clamp(ty)))};
    }

    int32_t PenPixels() const {
        if (st_.pen.width <= 0) return 1;
        double x0, y0, x1, y1;
        ToTarget(0, 0, x0, y0);
        ToTarget(st_.pen.width, 0, x1, y1);
        const double w = std::hypot(x1 - x0, y1 - y0);
        if (!std::isfinite(w) || w < 1) return 1;
        return static_cast<int32_t>(std::min(w, 256.0));
    }

    // ---- drawing -----------------------------------------------------------------------------

    void FillPolygon(const std::vector<POINT>& pts, COLORREF color, int32_t mode) {
        if (pts.size() < 3) return;
        HBRUSH brush = CreateSolidBrush(color);
        HGDIOBJ old = SelectObject(dc_, brush);
        SetPolyFillMode(dc_, mode);
        SetROP2(dc_, st_.rop2);
        Polygon(dc_, pts.data(), static_cast<int>(pts.size()));
        SelectObject(dc_, old);
        DeleteObject(brush);
    }

    void Fill(const std::vector<POINT>& pts) {
        if (!st_.brush.null) FillPolygon(pts, st_.brush.color, st_.polyFill);
    }

    void Stroke(const std::vector<POINT>& pts, bool closed) {
        if (st_.pen.null || pts.empty()) return;
        const int32_t w = PenPixels();
        if (w <= 1) {
            std::vector<POINT> line = pts;
            if (closed) line.push_back(pts.front());
            if (line.size() == 1) line.push_back(POINT{line[0].x + 1, line[0].y});
            HPEN pen = CreatePen(PS_SOLID, 1, st_.pen.color);
            HGDIOBJ old = SelectObject(dc_, pen);
            SetROP2(dc_, st_.rop2);
            Polyline(dc_, line.data(), static_cast<int>(line.size()));
            SelectObject(dc_, old);
            DeleteObject(pen);
            return;
        }
        const double half = w / 2.0;
        auto square = [&](POINT p) {
            const LONG l = static_cast<LONG>(p.x - half), t = static_cast<LONG>(p.y - half);
            FillPolygon({{l, t}, {l + w, t}, {l + w, t + w}, {l, t + w}}, st_.pen.color, WINDING);
        };
        const size_t n = pts.size();
        const size_t segments = closed ? n : n - 1;
        for (size_t i = 0; i < segments; i++) {
            const POINT a = pts[i], b = pts[(i + 1) % n];
            const double dx = static_cast<double>(b.x) - a.x, dy = static_cast<double>(b.y) - a.y;
            const double len = std::hypot(dx, dy);
            if (len > 0) {
                const LONG nx = std::lround(-dy / len * half), ny = std::lround(dx / len * half);
                FillPolygon({{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}},
                            st_.pen.color, WINDING);
            }
        }
        for (const POINT& p : pts) square(p);
    }

    std::vector<POINT> EllipsePoints(double l, double t, double r, double b) const {
        constexpr int32_t kSteps = 72;
        std::vector<POINT> pts;
        const double cx = (l + r) / 2, cy = (t + b) / 2, rx = (r - l) / 2, ry = (b - t) / 2;
        for (int32_t i = 0; i < kSteps; i++) {
            const double a = 2 * 3.14159265358979 * i / kSteps;
            pts.push_back(Map(cx + rx * std::cos(a), cy + ry * std::sin(a)));
        }
        return pts;
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
                const double a = 3.14159265358979 / 2 * (q + static_cast<double>(i) / kSteps);
                pts.push_back(Map(cxs[q] + rx * std::cos(a), cys[q] - ry * std::sin(a)));
            }
        return pts;
    }

    void Rect(double l, double t, double r, double b) {
        std::vector<POINT> pts = {Map(l, t), Map(r, t), Map(r, b), Map(l, b)};
        Fill(pts);
        Stroke(pts, true);
    }

    void Ellipse(double l, double t, double r, double b) {
        std::vector<POINT> pts = EllipsePoints(l, t, r, b);
        Fill(pts);
        Stroke(pts, true);
    }

    void RoundRect(double l, double t, double r, double b, double cw, double ch) {
        std::vector<POINT> pts = RoundRectPoints(l, t, r, b, cw, ch);
        Fill(pts);
        Stroke(pts, true);
    }

    // Several polygons filled as one, so that the alternate mode leaves holes where they overlap.
    void PolyPolygon(const std::vector<std::vector<POINT>>& polys) {
        if (!st_.brush.null) {
            HRGN all = CreateRectRgn(0, 0, 0, 0);
            for (const auto& p : polys) {
                if (p.size() < 3) continue;
                HRGN one = CreatePolygonRgn(p.data(), static_cast<int>(p.size()), st_.polyFill);
                CombineRgn(all, all, one, st_.polyFill == ALTERNATE ? RGN_XOR : RGN_OR);
                DeleteObject(one);
            }
            HBRUSH brush = CreateSolidBrush(st_.brush.color);
            SetROP2(dc_, st_.rop2);
            FillRgn(dc_, all, brush);
            DeleteObject(brush);
            DeleteObject(all);
        }
        for (const auto& p : polys) Stroke(p, true);
    }

    void SetPixelAt(double x, double y, COLORREF color) {
        const POINT p = Map(x, y);
        ::SetPixel(dc_, p.x, p.y, color);
    }

    // ---- objects and state -------------------------------------------------------------------

    void Select(const GdiObjectDesc& obj) {
        if (obj.kind == GdiObjectDesc::Pen)
            st_.pen = obj.pen;
        else if (obj.kind == GdiObjectDesc::Brush)
            st_.brush = obj.brush;
    }

    void SelectStock(uint32_t index) {
        switch (index) {
            case WHITE_BRUSH:
                st_.brush = BrushDesc{false, RGB(255, 255, 255)};
                break;
            case LTGRAY_BRUSH:
                st_.brush = BrushDesc{false, RGB(192, 192, 192)};
                break;
            case GRAY_BRUSH:
                st_.brush = BrushDesc{false, RGB(128, 128, 128)};
                break;
            case DKGRAY_BRUSH:
                st_.brush = BrushDesc{false, RGB(64, 64, 64)};
                break;
            case BLACK_BRUSH:
                st_.brush = BrushDesc{false, RGB(0, 0, 0)};
                break;
            case NULL_BRUSH:
                st_.brush = BrushDesc{true, 0};
                break;
            case WHITE_PEN:
                st_.pen = PenDesc{false, RGB(255, 255, 255), 0};
                break;
            case BLACK_PEN:
                st_.pen = PenDesc{false, RGB(0, 0, 0), 0};
                break;
            case NULL_PEN:
                st_.pen = PenDesc{true, 0, 0};
                break;
            default:
                break;
        }
    }

    static PenDesc MakePen(uint32_t style, double width, COLORREF color) {
        return PenDesc{(style & 0x0F) == PS_NULL, color & 0xFFFFFF, std::fabs(width)};
    }

    static BrushDesc MakeBrush(uint32_t style, COLORREF color) { return BrushDesc{style == BS_NULL, color & 0xFFFFFF}; }

    void Save() {
        if (saved_.size() < kMaxSavedStates) saved_.push_back(st_);
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
        st_.pen = PenDesc{false, 0, 0};
        st_.brush = BrushDesc{false, RGB(255, 255, 255)};
        size_t pos = std::max<size_t>(18, static_cast<size_t>(r.U16(2)) * 2);
        while (pos + 6 <= b.size()) {
            const uint64_t bytes = static_cast<uint64_t>(r.U32(pos)) * 2;
            const uint16_t function = r.U16(pos + 4);
            if (bytes < 6 || bytes > b.size() - pos || function == 0) break;
            WindowsRecord(function, Params(b.data() + pos + 6, static_cast<size_t>(bytes - 6)));
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

    void WindowsRecord(uint16_t function, const Params& p) {
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
                break;  // OffsetWindowOrg
            case 0x0214:
                st_.curX = p.I16(2);
                st_.curY = p.I16(0);
                break;      // MoveTo
            case 0x0213: {  // LineTo
                const double x = p.I16(2), y = p.I16(0);
                Stroke({Map(st_.curX, st_.curY), Map(x, y)}, false);
                st_.curX = x;
                st_.curY = y;
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
            case 0x041F:
                SetPixelAt(p.I16(6), p.I16(4), p.U32(0) & 0xFFFFFF);
                break;
            case 0x0324: {  // Polygon
                std::vector<POINT> pts = WindowsPoints(p, 2, p.U16(0));
                Fill(pts);
                Stroke(pts, true);
                break;
            }
            case 0x0325:
                Stroke(WindowsPoints(p, 2, p.U16(0)), false);
                break;      // Polyline
            case 0x0538: {  // PolyPolygon
                const uint32_t polys = p.U16(0);
                size_t off = 2 + 2 * static_cast<size_t>(polys);
                std::vector<std::vector<POINT>> all;
                for (uint32_t i = 0; i < polys && off < p.Size(); i++) {
                    const uint32_t n = p.U16(2 + 2 * static_cast<size_t>(i));
                    all.push_back(WindowsPoints(p, off, n));
                    off += 4 * static_cast<size_t>(n);
                }
                PolyPolygon(all);
                break;
            }
            case 0x061D: {  // PatBlt
                const uint32_t rop = p.U32(0);
                const double h = p.I16(4), w = p.I16(6), y = p.I16(8), x = p.I16(10);
                BrushDesc brush = st_.brush;
                if (rop == BLACKNESS)
                    brush = BrushDesc{false, 0};
                else if (rop == WHITENESS)
                    brush = BrushDesc{false, RGB(255, 255, 255)};
                else if (rop != PATCOPY)
                    break;
                if (!brush.null)
                    FillPolygon({Map(x, y), Map(x + w, y), Map(x + w, y + h), Map(x, y + h)}, brush.color, WINDING);
                break;
            }
            case 0x012D: {  // SelectObject
                const uint16_t i = p.U16(0);
                if (i < objects_.size()) Select(objects_[i]);
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
                obj.brush = MakeBrush(p.U16(0), p.U32(2));
                CreateWindowsObject(obj);
                break;
            }
            // Objects this player does not draw with still take their place in the table.
            case 0x00F7:
            case 0x01F9:
            case 0x0142:
            case 0x02FB:
            case 0x06FF: {
                GdiObjectDesc obj;
                obj.kind = GdiObjectDesc::Other;
                CreateWindowsObject(obj);
                break;
            }
            default:
                break;
        }
    }

    // ---- enhanced metafile records -----------------------------------------------------------

    void PlayEnhanced() {
        const std::vector<uint8_t>& b = mf_.bytes;
        const PxLeReader r(b.data(), b.size());
        objects_.assign(static_cast<size_t>(mf_.header.handles) + 1, GdiObjectDesc{});
        st_.pen = PenDesc{false, 0, 0};
        st_.brush = BrushDesc{false, RGB(255, 255, 255)};
        size_t pos = 0;
        while (pos + 8 <= b.size()) {
            const uint32_t type = r.U32(pos);
            const uint32_t size = r.U32(pos + 4);
            if (size < 8 || size > b.size() - pos || type == 14)  // 14: end of file
                break;
            EnhancedRecord(type, Params(b.data() + pos, size));
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
            for (const auto& pts : all) Stroke(pts, false);
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
        std::vector<POINT> pts{Map(xs[0], ys[0])};
        size_t i = 0;
        for (; i + 3 < xs.size(); i += 3)
            for (int32_t s = 1; s <= kSteps; s++) {
                const double t = static_cast<double>(s) / kSteps, u = 1 - t;
                const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
                pts.push_back(Map(a * xs[i] + b * xs[i + 1] + c * xs[i + 2] + d * xs[i + 3],
                                  a * ys[i] + b * ys[i + 1] + c * ys[i + 2] + d * ys[i + 3]));
            }
        Stroke(pts, false);
        if (fromCurrent) {
            st_.curX = xs[i];
            st_.curY = ys[i];
        }
    }

    template <bool Small>
    void PolylineTo(const Params& p) {
        std::vector<double> xs{st_.curX}, ys{st_.curY};
        LogicalPoints<Small>(p, 28, p.U32(24), xs, ys);
        std::vector<POINT> pts;
        for (size_t i = 0; i < xs.size(); i++) pts.push_back(Map(xs[i], ys[i]));
        Stroke(pts, false);
        st_.curX = xs.back();
        st_.curY = ys.back();
    }

    void CreateEnhancedObject(uint32_t index, const GdiObjectDesc& obj) {
        if (index > 0 && index < objects_.size()) objects_[index] = obj;
    }

    void EnhancedRecord(uint32_t type, const Params& p) {
        switch (type) {
            case 2:
                Bezier<false>(p, false);
                break;  // PolyBezier
            case 3:
            case 86: {  // Polygon, Polygon16
                std::vector<POINT> pts =
                    type == 3 ? EnhancedPoints<false>(p, 28, p.U32(24)) : EnhancedPoints<true>(p, 28, p.U32(24));
                Fill(pts);
                Stroke(pts, true);
                break;
            }
            case 4:
                Stroke(EnhancedPoints<false>(p, 28, p.U32(24)), false);
                break;  // Polyline
            case 87:
                Stroke(EnhancedPoints<true>(p, 28, p.U32(24)), false);
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
            case 15:
                SetPixelAt(p.I32(8), p.I32(12), p.U32(16) & 0xFFFFFF);
                break;
            case 17:
                st_.mapMode = p.I32(8);
                break;
            case 19:
                st_.polyFill = p.U32(8) == WINDING ? WINDING : ALTERNATE;
                break;
            case 20:
                st_.rop2 = std::clamp<int32_t>(p.I32(8), 1, 16);
                break;
            case 27:
                st_.curX = p.I32(8);
                st_.curY = p.I32(12);
                break;  // MoveToEx
            case 54: {  // LineTo
                const double x = p.I32(8), y = p.I32(12);
                Stroke({Map(st_.curX, st_.curY), Map(x, y)}, false);
                st_.curX = x;
                st_.curY = y;
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
                CreateEnhancedObject(p.U32(8), obj);
                break;
            }
            case 39: {  // CreateBrushIndirect
                GdiObjectDesc obj;
                obj.kind = GdiObjectDesc::Brush;
                obj.brush = MakeBrush(p.U32(12), p.U32(16));
                CreateEnhancedObject(p.U32(8), obj);
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
            default:
                break;
        }
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
    PlayState st_;
    std::vector<PlayState> saved_;
    std::vector<GdiObjectDesc> objects_;
};

int32_t ScreenCaps(int index) {
    HDC screen = GetDC(nullptr);
    const int32_t v = GetDeviceCaps(screen, index);
    ReleaseDC(nullptr, screen);
    return v;
}

}  // namespace

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
    Player(memDC, *mf, w, h).Play();
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
