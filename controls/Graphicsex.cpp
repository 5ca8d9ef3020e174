#include "Graphicsex.h"

#include <algorithm>
#include <vector>

namespace tikora::controls {

namespace {

// One quantity (destination x, source u or source v) along one edge of the shape, stepped one
// destination row at a time with an error accumulator, as a line is drawn without division.
struct EdgeStepper {
    int64_t value = 0;
    int64_t step = 0;
    int64_t denominator = 1;
    int64_t accumulator = 0;
    int64_t sign = 0;

    void Setup(int64_t qa, int64_t qb, int64_t dy) {
        value = qa;
        accumulator = 0;
        denominator = dy;
        int64_t d = qb - qa;
        if (d == 0 || dy <= 0) {
            step = 0;
            sign = 0;
            denominator = 1;
            value = qb;
        } else {
            sign = d > 0 ? 1 : -1;
            step = d > 0 ? d : -d;
        }
    }

    // The same as `rows` single steps; the quotient keeps a steep edge from looping per unit.
    void Advance(int64_t rows) {
        if (step == 0) return;
        uint64_t total = static_cast<uint64_t>(accumulator) + static_cast<uint64_t>(rows) * static_cast<uint64_t>(step);
        uint64_t den = static_cast<uint64_t>(denominator);
        value += sign * static_cast<int64_t>(total / den);
        accumulator = static_cast<int64_t>(total % den);
    }
};

// A source coordinate stepped along one span of n + 1 destination pixels.
struct SpanStepper {
    int64_t value = 0;
    int64_t sign = 0;
    int64_t whole = 0;  // units moved on every pixel
    int64_t rest = 0;   // and the remainder that the accumulator collects
    int64_t accumulator = 0;
    int64_t n = 1;

    // Positioned at pixel `first` of the span, as if every pixel before it had been stepped.
    SpanStepper(int64_t from, int64_t to, int64_t pixels, int64_t first) : n(pixels) {
        int64_t d = to - from;
        sign = d > 0 ? 1 : d < 0 ? -1 : 0;
        uint64_t du = static_cast<uint64_t>(d > 0 ? d : -d);
        whole = static_cast<int64_t>(du / static_cast<uint64_t>(n));
        rest = static_cast<int64_t>(du % static_cast<uint64_t>(n));
        uint64_t before = static_cast<uint64_t>(first) * du;
        value = from + sign * static_cast<int64_t>(before / static_cast<uint64_t>(n));
        accumulator = static_cast<int64_t>(before % static_cast<uint64_t>(n));
    }

    void Next() {
        value += sign * whole;
        accumulator += rest;
        if (accumulator >= n) {
            value += sign;
            accumulator -= n;
        }
    }
};

struct Side {
    EdgeStepper x, u, v;
    void Advance(int64_t rows) {
        x.Advance(rows);
        u.Advance(rows);
        v.Advance(rows);
    }
};

inline uint8_t ShadeByte(uint8_t b, int16_t shift) {
    int v = b + shift;
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

void WalkQuad(const QuadPixels& dest, const int corners[8], const QuadPixels& source, bool shading, int16_t shift,
              uint32_t key, const RECT* sourceRect) {
    if (!dest.Scan0 || !source.Scan0 || !corners || dest.Width <= 0 || dest.Height <= 0 || source.Width <= 0 ||
        source.Height <= 0)
        return;

    int64_t left = 0, top = 0, right = source.Width - 1, bottom = source.Height - 1;
    if (sourceRect) {
        left = sourceRect->left;
        top = sourceRect->top;
        right = static_cast<int64_t>(sourceRect->right) - 1;
        bottom = static_cast<int64_t>(sourceRect->bottom) - 1;
    }
    const int64_t cu[4] = {left, right, right, left};
    const int64_t cv[4] = {top, top, bottom, bottom};
    int64_t cx[4], cy[4];
    for (int i = 0; i < 4; ++i) {
        cx[i] = corners[2 * i];
        cy[i] = corners[2 * i + 1];
    }

    std::vector<const uint32_t*> sourceRows(static_cast<size_t>(source.Height));
    for (int32_t row = 0; row < source.Height; ++row)
        sourceRows[static_cast<size_t>(row)] = reinterpret_cast<const uint32_t*>(source.Scan0 + row * source.Pitch);

    int s = 0;
    for (int i = 1; i < 4; ++i)
        if (cy[i] < cy[s]) s = i;

    int64_t y = cy[s];
    int l = s, r = s;
    bool leftFlag = true, rightFlag = true, running = true;
    Side ls, rs;
    auto setup = [&](Side& side, int a, int b) {
        int64_t dy = cy[b] - cy[a];
        side.x.Setup(cx[a], cx[b], dy);
        side.u.Setup(cu[a], cu[b], dy);
        side.v.Setup(cv[a], cv[b], dy);
    };

    const int64_t width = dest.Width;
    while (running) {
        bool moved = false;
        while (cy[l] <= y) {
            if (l == r) {
                if (leftFlag) {
                    leftFlag = false;
                } else {
                    running = false;
                    break;
                }
            }
            l = (l + 3) % 4;
            moved = true;
        }
        if (!running) break;
        if (moved) setup(ls, (l + 1) % 4, l);

        moved = false;
        while (cy[r] <= y) {
            if (r == l) {
                if (rightFlag) {
                    rightFlag = false;
                } else {
                    running = false;
                    break;
                }
            }
            r = (r + 1) % 4;
            moved = true;
        }
        if (!running) break;
        if (moved) setup(rs, (r + 3) % 4, r);

        if (y >= dest.Height) break;

        if (y < 0) {
            // Rows above the destination only step the edges; up to the next corner that is one jump.
            int64_t rows = std::min<int64_t>({0, cy[l], cy[r]}) - y;
            ls.Advance(rows);
            rs.Advance(rows);
            y += rows;
            continue;
        }

        int64_t xl = ls.x.value, xr = rs.x.value;
        int64_t n = xr > xl ? xr - xl : xl - xr;
        if (n != 0) {
            int64_t dir = xr > xl ? 1 : -1;
            int64_t first, last;
            if (dir > 0) {
                first = std::max<int64_t>(0, -xl);
                last = std::min<int64_t>(n, width - 1 - xl);
            } else {
                first = std::max<int64_t>(0, xl - (width - 1));
                last = std::min<int64_t>(n, xl);
            }
            if (first <= last) {
                auto* row = reinterpret_cast<uint32_t*>(dest.Scan0 + y * dest.Pitch);
                SpanStepper u(ls.u.value, rs.u.value, n, first), v(ls.v.value, rs.v.value, n, first);
                int64_t x = xl + dir * first;
                for (int64_t i = first; i <= last; ++i, x += dir) {
                    if (u.value >= 0 && u.value < source.Width && v.value >= 0 && v.value < source.Height) {
                        uint32_t pixel = sourceRows[static_cast<size_t>(v.value)][u.value];
                        if (pixel != key) {
                            if (shading) {
                                auto* b = reinterpret_cast<uint8_t*>(row + x);
                                b[0] = ShadeByte(b[0], shift);
                                b[1] = ShadeByte(b[1], shift);
                                b[2] = ShadeByte(b[2], shift);
                            } else {
                                row[x] = pixel;
                            }
                        }
                    }
                    u.Next();
                    v.Next();
                }
            }
        }
        ls.Advance(1);
        rs.Advance(1);
        ++y;
    }
}

}  // namespace tikora::controls

namespace {

bool PixelsOf(TBitmap* bitmap, tikora::controls::QuadPixels& out) {
    if (!bitmap || !bitmap->Handle()) return false;
    tikora::gdi::SurfaceView view;
    if (!tikora::gdi::GetBitmapSurface(bitmap->Handle(), &view) || view.bitCount != 32) return false;
    out.Scan0 = view.scan0;
    out.Width = view.width;
    out.Height = view.height;
    out.Pitch = view.pitch;
    return true;
}

void Walk(TBitmap* dest, const int corners[8], TBitmap* source, bool shading, int16_t shift, uint32_t key,
          const RECT* sourceRect) {
    tikora::controls::QuadPixels d, s;
    if (!PixelsOf(dest, d) || !PixelsOf(source, s)) return;
    tikora::controls::WalkQuad(d, corners, s, shading, shift, key, sourceRect);
}

}  // namespace

void DrawBitmapToQuad(TBitmap* Dest, const int Corners[8], TBitmap* Source, uint32_t KeyColor, const RECT* SourceRect) {
    Walk(Dest, Corners, Source, false, 0, KeyColor, SourceRect);
}

void ShadeBitmapToQuad(TBitmap* Dest, const int Corners[8], TBitmap* Source, int16_t Shift, uint32_t KeyColor,
                       const RECT* SourceRect) {
    Walk(Dest, Corners, Source, true, Shift, KeyColor, SourceRect);
}
