#include <cmath>
#include <tuple>
#include <utility>

#include "GdiInternal.h"

namespace tikora::gdi {
namespace {

using Spans = std::vector<LONG>;

bool Keep(int mode, bool inA, bool inB) {
    switch (mode) {
        case RGN_AND:
            return inA && inB;
        case RGN_OR:
            return inA || inB;
        case RGN_XOR:
            return inA != inB;
        case RGN_DIFF:
            return inA && !inB;
        default:
            return inA;
    }
}

// Boolean operation of two sorted lists of disjoint half-open intervals.
void CombineSpans(const Spans& a, const Spans& b, int mode, Spans& out) {
    out.clear();
    size_t i = 0, j = 0;
    bool inA = false, inB = false, inOut = false;
    while (i < a.size() || j < b.size()) {
        LONG x;
        if (j >= b.size() || (i < a.size() && a[i] <= b[j])) {
            x = a[i];
        } else {
            x = b[j];
        }
        // Take every boundary at x from both lists before deciding, so touching spans merge.
        while (i < a.size() && a[i] == x) {
            inA = !inA;
            ++i;
        }
        while (j < b.size() && b[j] == x) {
            inB = !inB;
            ++j;
        }
        bool now = Keep(mode, inA, inB);
        if (now != inOut) {
            out.push_back(x);
            inOut = now;
        }
    }
}

using BandPtr = std::shared_ptr<const RegionData::Band>;

// Makes a region's bands in order, joining a band to the one before it when they touch with
// the same spans. A band that comes out whole as it was in another region is shared, not copied.
class BandWriter {
public:
    // Rows [top, bottom) with these spans; `from`, if given, is a band whose spans they are.
    void Add(LONG top, LONG bottom, const Spans& spans, const BandPtr* from = nullptr) {
        if (spans.empty() || top >= bottom) return;
        if (open_ && bottom_ == top && *spans_ == spans) {
            bottom_ = bottom;
            return;
        }
        Flush();
        open_ = true;
        top_ = top;
        bottom_ = bottom;
        if (from) {
            from_ = *from;
            spans_ = &from_->spans;
        } else {
            from_ = nullptr;
            own_ = spans;
            spans_ = &own_;
        }
    }
    // Whole bands of another region, in order.
    void AddRange(const BandPtr* first, const BandPtr* last) {
        if (first == last) return;
        Add((*first)->top, (*first)->bottom, (*first)->spans, first);
        if (last - first == 1) return;
        // The bands between touch neither each other nor the first with equal spans.
        Flush();
        bands_.insert(bands_.end(), first + 1, last - 1);
        Add(last[-1]->top, last[-1]->bottom, last[-1]->spans, last - 1);
    }
    bool Empty() const { return !open_ && bands_.empty(); }
    std::vector<BandPtr> Take() {
        Flush();
        return std::exchange(bands_, {});
    }

private:
    void Flush() {
        if (!open_) return;
        open_ = false;
        if (from_ && from_->top == top_ && from_->bottom == bottom_) {
            bands_.push_back(from_);
        } else {
            bands_.push_back(std::make_shared<const RegionData::Band>(RegionData::Band{top_, bottom_, *spans_}));
        }
        from_ = nullptr;
    }

    std::vector<BandPtr> bands_;
    bool open_ = false;
    LONG top_ = 0, bottom_ = 0;
    const Spans* spans_ = nullptr;  // own_ or from_'s
    Spans own_;
    BandPtr from_;
};

// The first band that reaches below row y (bands.size() when none does).
size_t FirstBandBelow(const std::vector<BandPtr>& bands, LONG y) {
    auto it = std::upper_bound(bands.begin(), bands.end(), y, [](LONG v, const BandPtr& b) { return v < b->bottom; });
    return static_cast<size_t>(it - bands.begin());
}

}  // namespace

RegionData RegionData::FromRect(const RECT& r0) {
    RegionData d;
    RECT r = Normalized(r0);
    if (!tikora::gdi::Empty(r))
        d.bands.push_back(std::make_shared<const Band>(Band{r.top, r.bottom, {r.left, r.right}}));
    return d;
}

RegionData RegionData::FromRects(const RECT* rects, size_t count) {
    std::vector<RECT> rs;
    rs.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const RECT r = Normalized(rects[i]);
        if (!tikora::gdi::Empty(r)) rs.push_back(r);
    }
    std::sort(rs.begin(), rs.end(), [](const RECT& a, const RECT& b) {
        return std::tie(a.top, a.bottom, a.left) < std::tie(b.top, b.bottom, b.left);
    });
    // Rectangles on the same rows make one band; bands that follow one another down the rows, as
    // a banded region's own rectangles do, make one part as they come. A band that overlaps rows
    // already taken starts another part.
    std::vector<RegionData> parts;
    BandWriter part;
    LONG partBottom = 0;
    Spans spans;
    for (size_t i = 0, j; i < rs.size(); i = j) {
        spans.clear();
        for (j = i; j < rs.size() && rs[j].top == rs[i].top && rs[j].bottom == rs[i].bottom; ++j) {
            if (!spans.empty() && rs[j].left <= spans.back()) {
                spans.back() = std::max(spans.back(), rs[j].right);
            } else {
                spans.push_back(rs[j].left);
                spans.push_back(rs[j].right);
            }
        }
        if (!part.Empty() && partBottom > rs[i].top) parts.push_back(RegionData{part.Take()});
        part.Add(rs[i].top, rs[i].bottom, spans);
        partBottom = rs[i].bottom;
    }
    if (!part.Empty()) parts.push_back(RegionData{part.Take()});
    // The parts merge in pairs of neighbours, round after round, so that each band takes part in
    // about log n merges of two.
    for (size_t n = parts.size(); n > 1; n = (n + 1) / 2) {
        for (size_t k = 0; k + 1 < n; k += 2) parts[k / 2] = Combine(parts[k], parts[k + 1], RGN_OR);
        if (n % 2) parts[n / 2] = std::move(parts[n - 1]);
    }
    return parts.empty() ? RegionData{} : std::move(parts[0]);
}

RECT RegionData::Bounds() const {
    if (bands.empty()) return RECT{0, 0, 0, 0};
    RECT r{bands.front()->spans.front(), bands.front()->top, bands.front()->spans.back(), bands.back()->bottom};
    for (const BandPtr& b : bands) {
        r.left = std::min(r.left, b->spans.front());
        r.right = std::max(r.right, b->spans.back());
    }
    return r;
}

int RegionData::Complexity() const {
    if (bands.empty()) return NULLREGION;
    return (bands.size() == 1 && bands[0]->spans.size() == 2) ? SIMPLEREGION : COMPLEXREGION;
}

bool RegionData::Contains(LONG x, LONG y) const {
    const size_t i = FirstBandBelow(bands, y);
    if (i == bands.size() || y < bands[i]->top) return false;
    const std::vector<LONG>& s = bands[i]->spans;
    return (std::upper_bound(s.begin(), s.end(), x) - s.begin()) % 2 == 1;
}

void RegionData::Offset(LONG dx, LONG dy) {
    if (dx == 0 && dy == 0) return;
    for (BandPtr& b : bands) {
        Band moved{b->top + dy, b->bottom + dy, b->spans};
        for (LONG& x : moved.spans) x += dx;
        b = std::make_shared<const Band>(std::move(moved));
    }
}

std::vector<RECT> RegionData::Rects() const {
    std::vector<RECT> out;
    for (const BandPtr& b : bands)
        for (size_t i = 0; i + 1 < b->spans.size(); i += 2)
            out.push_back(RECT{b->spans[i], b->top, b->spans[i + 1], b->bottom});
    return out;
}

std::vector<RECT> RegionData::RectsWithin(const RECT& area) const {
    std::vector<RECT> out;
    for (size_t k = FirstBandBelow(bands, area.top); k < bands.size() && bands[k]->top < area.bottom; ++k) {
        const Band& b = *bands[k];
        const std::vector<LONG>& s = b.spans;
        // From the span holding area.left, or the first right of it.
        size_t i = static_cast<size_t>(std::upper_bound(s.begin(), s.end(), area.left) - s.begin()) & ~size_t{1};
        for (; i + 1 < s.size() && s[i] < area.right; i += 2) {
            const RECT r = Intersect(RECT{s[i], b.top, s[i + 1], b.bottom}, area);
            if (!tikora::gdi::Empty(r)) out.push_back(r);
        }
    }
    return out;
}

bool RegionData::operator==(const RegionData& o) const {
    if (bands.size() != o.bands.size()) return false;
    for (size_t i = 0; i < bands.size(); ++i)
        if (bands[i] != o.bands[i] && (bands[i]->top != o.bands[i]->top || bands[i]->bottom != o.bands[i]->bottom ||
                                       bands[i]->spans != o.bands[i]->spans))
            return false;
    return true;
}

RegionData RegionData::Combine(const RegionData& a, const RegionData& b, int mode) {
    if (mode == RGN_COPY) return a;
    const size_t na = a.bands.size(), nb = b.bands.size();
    if (na == 0 && nb == 0) return RegionData{};
    // Walk the y boundaries of both band lists together; between two boundaries each side has one
    // fixed set of spans (possibly none).
    size_t ia = 0, ib = 0;
    LONG y = std::min(na ? a.bands[0]->top : INT32_MAX, nb ? b.bands[0]->top : INT32_MAX);
    if (mode == RGN_AND) {
        // Only the rows both have: a small region against a large one costs its own rows.
        if (na == 0 || nb == 0) return RegionData{};
        y = std::max(a.bands[0]->top, b.bands[0]->top);
        ia = FirstBandBelow(a.bands, y);
        ib = FirstBandBelow(b.bands, y);
    }
    // Rows where only one region has pixels keep them or not, whatever they are.
    const bool keepA = Keep(mode, true, false), keepB = Keep(mode, false, true);
    BandWriter out;
    Spans combined;
    // An intersection ends with either region, a difference with the first.
    auto more = [&] { return mode == RGN_AND ? ia < na && ib < nb : mode == RGN_DIFF ? ia < na : ia < na || ib < nb; };
    while (more()) {
        const BandPtr* A = ia < na ? &a.bands[ia] : nullptr;
        const BandPtr* B = ib < nb ? &b.bands[ib] : nullptr;
        // Bands of one region that end before the other's next band begins go out whole, at once.
        if (A && (*A)->top >= y && (!B || (*B)->top >= (*A)->bottom)) {
            const size_t end = B ? FirstBandBelow(a.bands, (*B)->top) : na;
            if (keepA) out.AddRange(A, a.bands.data() + end);
            y = a.bands[end - 1]->bottom;
            ia = end;
            continue;
        }
        if (B && (*B)->top >= y && (!A || (*A)->top >= (*B)->bottom)) {
            const size_t end = A ? FirstBandBelow(b.bands, (*A)->top) : nb;
            if (keepB) out.AddRange(B, b.bands.data() + end);
            y = b.bands[end - 1]->bottom;
            ib = end;
            continue;
        }
        const bool inA = A && (*A)->top <= y;
        const bool inB = B && (*B)->top <= y;
        LONG next = INT32_MAX;
        if (A) next = std::min(next, inA ? (*A)->bottom : (*A)->top);
        if (B) next = std::min(next, inB ? (*B)->bottom : (*B)->top);
        if (inA && inB) {
            CombineSpans((*A)->spans, (*B)->spans, mode, combined);
            out.Add(y, next, combined);
        } else if (inA && keepA) {
            out.Add(y, next, (*A)->spans, A);
        } else if (inB && keepB) {
            out.Add(y, next, (*B)->spans, B);
        }
        y = next;
        if (A && (*A)->bottom <= y) ++ia;
        if (B && (*B)->bottom <= y) ++ib;
    }
    return RegionData{out.Take()};
}

namespace {

// Where an edge crosses a row: the first pixel column at or right of it, and the edge's direction.
// Which pixels a row's spans take depends only on these columns, not on the exact crossings.
struct Crossing {
    LONG at;
    int dir;
};

// A row's crossings in column order. A few are sorted as they are; many are sorted by their
// columns' offset from the leftmost, a digit of 11 bits at a time, so that a row crossed by
// thousands of edges costs about as much as it has crossings.
void SortCrossings(std::vector<Crossing>& xs, std::vector<Crossing>& scratch) {
    auto byColumn = [](const Crossing& a, const Crossing& b) { return a.at < b.at; };
    if (xs.size() < 256) {
        std::sort(xs.begin(), xs.end(), byColumn);
        return;
    }
    LONG lo = xs[0].at, hi = xs[0].at;
    for (const Crossing& c : xs) lo = std::min(lo, c.at), hi = std::max(hi, c.at);
    const uint32_t range = static_cast<uint32_t>(int64_t{hi} - lo);
    constexpr int kBits = 11;
    constexpr uint32_t kMask = (1u << kBits) - 1;
    scratch.resize(xs.size());
    for (int shift = 0; shift < 32 && (range >> shift) != 0; shift += kBits) {
        uint32_t count[kMask + 2] = {};
        for (const Crossing& c : xs) count[((static_cast<uint32_t>(int64_t{c.at} - lo) >> shift) & kMask) + 1]++;
        for (uint32_t d = 1; d <= kMask + 1; ++d) count[d] += count[d - 1];
        for (const Crossing& c : xs) scratch[count[(static_cast<uint32_t>(int64_t{c.at} - lo) >> shift) & kMask]++] = c;
        xs.swap(scratch);
    }
}

// GDI puts pixel (x, y) at the integer point (x, y): a row is sampled at its y, and a span
// takes the pixels from the left crossing up to, not including, the right one. Top and left
// edges are thus inside, bottom and right edges outside, as for rectangles. Points may lie
// between pixels (PointF): the same rule samples them.
template <class Point>
RegionData PolygonData(const Point* pts, int count, int fillMode) {
    RegionData d;
    if (!pts || count < 3) return d;
    // The edges that are not horizontal, by their top row; each crosses rows [top, bottom), the
    // rows from its upper end's y (inclusive) to its lower end's (exclusive).
    struct Edge {
        LONG top, bottom;
        double x0, y0, x1, y1;  // upper end, lower end
        int dir;                // 1 when the polygon runs down it
    };
    std::vector<Edge> edges;
    for (int i = 0; i < count; ++i) {
        const Point& p0 = pts[i];
        const Point& p1 = pts[(i + 1) % count];
        if (p0.y == p1.y) continue;
        const bool down = p1.y > p0.y;
        const Point& a = down ? p0 : p1;
        const Point& b = down ? p1 : p0;
        const LONG top = static_cast<LONG>(std::ceil(static_cast<double>(a.y)));
        const LONG bottom = static_cast<LONG>(std::ceil(static_cast<double>(b.y)));
        if (top >= bottom) continue;
        edges.push_back(Edge{top, bottom, double(a.x), double(a.y), double(b.x), double(b.y), down ? 1 : -1});
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.top < b.top; });
    // The edges crossing the row, kept by value and dropped as the rows pass their lower ends.
    struct Active {
        LONG bottom;
        int dir;
        double x0, y0, dx, dy;
    };
    std::vector<Active> active;
    std::vector<Crossing> xs, scratch;
    Spans row;
    BandWriter rows;
    size_t next = 0;
    LONG y = edges.empty() ? 0 : edges.front().top;
    while (next < edges.size() || !active.empty()) {
        if (active.empty() && next < edges.size()) y = std::max(y, edges[next].top);
        for (; next < edges.size() && edges[next].top <= y; ++next) {
            const Edge& e = edges[next];
            active.push_back(Active{e.bottom, e.dir, e.x0, e.y0, e.x1 - e.x0, e.y1 - e.y0});
        }
        const double yc = y;
        xs.clear();
        size_t kept = 0;
        for (const Active& e : active) {
            if (e.bottom <= y) continue;
            active[kept++] = e;
            // Measured from the upper end, so that an edge walked both ways crosses at one x.
            const double x = e.x0 + (yc - e.y0) * e.dx / e.dy;
            xs.push_back(Crossing{static_cast<LONG>(std::clamp(std::ceil(x), -2147483648.0, 2147483647.0)), e.dir});
        }
        active.resize(kept);
        if (active.empty()) continue;
        SortCrossings(xs, scratch);
        row.clear();
        int winding = 0;
        for (size_t k = 0; k < xs.size(); ++k) {
            bool inside;
            if (fillMode == WINDING) {
                winding += xs[k].dir;
                inside = winding != 0;
            } else {
                inside = (k % 2) == 0;
            }
            if (!inside || k + 1 >= xs.size()) continue;
            const LONG a = xs[k].at, b = xs[k + 1].at;
            if (a >= b) continue;
            // Crossings come in order, so spans do too; one that touches the last joins it.
            if (!row.empty() && a <= row.back()) {
                row.back() = std::max(row.back(), b);
            } else {
                row.push_back(a);
                row.push_back(b);
            }
        }
        rows.Add(y, y + 1, row);
        ++y;
    }
    d.bands = rows.Take();
    return d;
}

}  // namespace

RegionData PolygonRegionData(const POINT* pts, int count, int fillMode) { return PolygonData(pts, count, fillMode); }
RegionData PolygonRegionData(const PointF* pts, int count, int fillMode) { return PolygonData(pts, count, fillMode); }

// Pixel centres inside the ellipse inscribed in the rectangle.
RegionData EllipseRegionData(const RECT& r0) {
    RegionData d;
    RECT r = Normalized(r0);
    if (Empty(r)) return d;
    BandWriter rows;
    double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
    double rx = (r.right - r.left) / 2.0, ry = (r.bottom - r.top) / 2.0;
    for (LONG y = r.top; y < r.bottom; ++y) {
        double t = (y + 0.5 - cy) / ry;
        double q = 1.0 - t * t;
        if (q <= 0) continue;
        double dx = rx * std::sqrt(q);
        LONG a = static_cast<LONG>(std::ceil(cx - dx - 0.5));
        LONG b = static_cast<LONG>(std::ceil(cx + dx - 0.5));
        if (a < b) rows.Add(y, y + 1, Spans{a, b});
    }
    d.bands = rows.Take();
    return d;
}

}  // namespace tikora::gdi

using namespace tikora::gdi;

namespace {
HRGN NewRegion(RegionData data) {
    auto r = std::make_unique<GdiRegion>();
    r->data = std::move(data);
    return static_cast<HRGN>(RegisterObject(std::move(r)));
}
GdiRegion* Rgn(HRGN h) { return As<GdiRegion>(h, ObjectKind::Region); }
}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    return NewRegion(RegionData::FromRect(RECT{left, top, right, bottom}));
}

HRGN CreateRectRgnIndirect(const RECT* rect) {
    if (!rect) return nullptr;
    return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode) {
    if (!points || count < 0 || (fillMode != WINDING && fillMode != ALTERNATE)) return nullptr;
    return NewRegion(PolygonRegionData(points, count, fillMode));
}

HRGN CreateEllipticRgn(int left, int top, int right, int bottom) {
    return NewRegion(EllipseRegionData(RECT{left, top, right, bottom}));
}

int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode) {
    GdiRegion* d = Rgn(dst);
    GdiRegion* a = Rgn(src1);
    if (!d || !a || mode < RGN_AND || mode > RGN_COPY) return ERROR;
    if (mode == RGN_COPY) {
        d->data = a->data;
    } else {
        GdiRegion* b = Rgn(src2);
        if (!b) return ERROR;
        d->data = RegionData::Combine(a->data, b->data, mode);
    }
    return d->data.Complexity();
}

int OffsetRgn(HRGN hrgn, int dx, int dy) {
    GdiRegion* r = Rgn(hrgn);
    if (!r) return ERROR;
    r->data.Offset(dx, dy);
    return r->data.Complexity();
}

BOOL PtInRegion(HRGN hrgn, int x, int y) {
    GdiRegion* r = Rgn(hrgn);
    return r && r->data.Contains(x, y);
}

BOOL RectInRegion(HRGN hrgn, const RECT* rect) {
    GdiRegion* r = Rgn(hrgn);
    if (!r || !rect) return FALSE;
    RegionData both = RegionData::Combine(r->data, RegionData::FromRect(*rect), RGN_AND);
    return !both.Empty();
}

int GetRgnBox(HRGN hrgn, LPRECT rect) {
    GdiRegion* r = Rgn(hrgn);
    if (!r || !rect) return ERROR;
    *rect = r->data.Bounds();
    return r->data.Complexity();
}

BOOL EqualRgn(HRGN a, HRGN b) {
    GdiRegion* ra = Rgn(a);
    GdiRegion* rb = Rgn(b);
    if (!ra || !rb) return ERROR;
    return ra->data == rb->data;
}

BOOL SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom) {
    GdiRegion* r = Rgn(hrgn);
    if (!r) return FALSE;
    r->data = RegionData::FromRect(RECT{left, top, right, bottom});
    return TRUE;
}

HRGN tikora::gdi::CreateRectsRgn(const RECT* rects, size_t count) {
    if (!rects && count > 0) return nullptr;
    return NewRegion(RegionData::FromRects(rects, count));
}

namespace {
RegionSize SizeOf(const RegionData& d) {
    RegionSize s{d.bands.size(), 0};
    for (const auto& b : d.bands) s.rects += b->spans.size() / 2;
    return s;
}
}  // namespace

RegionSize tikora::gdi::GetRegionSize(HRGN hrgn) {
    GdiRegion* r = Rgn(hrgn);
    return r ? SizeOf(r->data) : RegionSize{};
}

RegionSize tikora::gdi::GetClipRegionSize(HDC hdc) {
    GdiDC* dc = AsDC(hdc);
    return dc && dc->state.clip ? SizeOf(*dc->state.clip) : RegionSize{};
}

std::vector<RECT> tikora::gdi::GetRegionRects(HRGN hrgn) {
    GdiRegion* r = Rgn(hrgn);
    return r ? r->data.Rects() : std::vector<RECT>{};
}
