#include <cstring>

#include "GdiInternal.h"

namespace tikora::gdi {
namespace {

// Keeps far-off coordinates far off without overflowing later arithmetic.
LONG Clamp(int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, -(int64_t(1) << 29), int64_t(1) << 29)); }

bool UsesSource(DWORD rop) { return ((rop >> 2) & 0x330000) != (rop & 0x330000); }
bool UsesPattern(DWORD rop) { return ((rop >> 4) & 0x0F0000) != (rop & 0x0F0000); }
bool UsesDest(DWORD rop) { return ((rop >> 1) & 0x550000) != (rop & 0x550000); }

// A ternary raster operation: bit k of the operation's index gives the result for pattern bit
// (k >> 2), source bit ((k >> 1) & 1) and destination bit (k & 1).
Px Ternary(DWORD rop, Px p, Px s, Px d) {
    const unsigned idx = (rop >> 16) & 0xFF;
    switch (idx) {
        case 0xCC:
            return s;
        case 0xEE:
            return s | d;
        case 0x88:
            return s & d;
        case 0x66:
            return s ^ d;
        case 0x33:
            return ~s;
        case 0xF0:
            return p;
        case 0x5A:
            return p ^ d;
        case 0x55:
            return ~d;
        case 0x00:
            return 0;
        case 0xFF:
            return 0xFFFFFFFF;
        default:
            break;
    }
    Px r = 0;
    for (unsigned k = 0; k < 8; ++k) {
        if (!((idx >> k) & 1)) continue;
        r |= ((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d);
    }
    return r;
}

// How a source's pixels change colour on the way (GDI's monochrome bitmap rules).
enum class MonoMap {
    None,
    FromMono,  // monochrome source into colour: black -> text colour, white -> background colour
    ToMono,    // colour source into monochrome: background colour -> white, the rest black
};

struct Blit {
    GdiDC* dc = nullptr;
    RECT dst{};  // device coordinates, normalised
    const Surface* src = nullptr;
    RECT srcRect{};  // in the source's rows-from-top coordinates, normalised
    bool flipX = false;
    bool flipY = false;
    DWORD rop = SRCCOPY;
    MonoMap mono = MonoMap::None;
    Px monoA = 0;  // FromMono: text colour; ToMono: the source's background colour
    Px monoB = 0;  // FromMono: background colour
    Px pattern = 0;
};

// A copy of rows of a surface, for blits whose source and destination are the same pixels.
struct Snapshot {
    std::unique_ptr<BYTE[]> storage;
    Surface surface;
    LONG rowOffset = 0;
};

void TakeSnapshot(const Surface& s, LONG top, LONG bottom, Snapshot& out) {
    top = std::max<LONG>(top, 0);
    bottom = std::min(bottom, s.height);
    out.surface = s;
    out.surface.clearFourthByte = false;
    out.rowOffset = top;
    const LONG rows = std::max<LONG>(bottom - top, 0);
    out.storage.reset(new BYTE[static_cast<size_t>(int64_t(s.stride) * std::max<LONG>(rows, 1))]);
    out.surface.bits = out.storage.get();
    out.surface.height = rows;
    out.surface.topDown = true;
    for (LONG y = 0; y < rows; ++y) std::memcpy(out.surface.Row(y), s.Row(top + y), static_cast<size_t>(s.stride));
}

void MapMono(const Blit& b, Px* row, LONG n) {
    if (b.mono == MonoMap::FromMono) {
        for (LONG i = 0; i < n; ++i) row[i] = (row[i] & 0xFFFFFF) ? b.monoB : b.monoA;
    } else if (b.mono == MonoMap::ToMono) {
        for (LONG i = 0; i < n; ++i) row[i] = ((row[i] & 0xFFFFFF) == b.monoA) ? 0xFFFFFF : 0;
    }
}

void Combine(const Blit& b, Surface& t, LONG y, LONG x0, LONG n, Px* srcRow, std::vector<Px>& dstBuf) {
    if (b.rop == SRCCOPY) {
        WriteRow(t, y, x0, n, srcRow);
        return;
    }
    dstBuf.resize(static_cast<size_t>(n));
    if (UsesDest(b.rop)) ReadRow(t, y, x0, n, dstBuf.data());
    for (LONG i = 0; i < n; ++i) dstBuf[i] = Ternary(b.rop, b.pattern, srcRow ? srcRow[i] : 0, dstBuf[i]) & 0xFFFFFF;
    WriteRow(t, y, x0, n, dstBuf.data());
}

bool Plain32(const Surface& s) { return s.bitCount == 32 && !s.bitfields; }

void CopyRowFast(const Surface& s, LONG sy, LONG sx, Surface& t, LONG y, LONG x, LONG n) {
    const uint32_t* in = reinterpret_cast<const uint32_t*>(s.Row(sy)) + sx;
    uint32_t* out = reinterpret_cast<uint32_t*>(t.Row(y)) + x;
    if (t.clearFourthByte) {
        for (LONG i = 0; i < n; ++i) out[i] = in[i] & 0xFFFFFF;
    } else {
        std::memmove(out, in, static_cast<size_t>(n) * 4);
    }
}

void Run(Blit b) {
    Surface* t = Target(b.dc);
    if (!t || Empty(b.dst)) return;
    std::vector<RECT> clips = ClipRects(b.dc, b.dst);
    std::vector<Px> srcBuf, dstBuf;

    if (!b.src) {
        for (const RECT& c : clips) {
            RECT r = Intersect(b.dst, c);
            if (Empty(r)) continue;
            for (LONG y = r.top; y < r.bottom; ++y) Combine(b, *t, y, r.left, r.right - r.left, nullptr, dstBuf);
        }
        return;
    }

    Snapshot snap;
    if (b.src == t || b.src->bits == t->bits) {
        TakeSnapshot(*b.src, b.srcRect.top, b.srcRect.bottom, snap);
        b.srcRect.top -= snap.rowOffset;
        b.srcRect.bottom -= snap.rowOffset;
        b.src = &snap.surface;
    }
    const Surface& s = *b.src;
    const LONG dw = b.dst.right - b.dst.left, dh = b.dst.bottom - b.dst.top;
    const LONG sw = b.srcRect.right - b.srcRect.left, sh = b.srcRect.bottom - b.srcRect.top;
    if (sw <= 0 || sh <= 0) return;
    const bool stretched = dw != sw || dh != sh || b.flipX || b.flipY;

    if (!stretched) {
        // Only where the source has pixels.
        const int64_t ox = int64_t(b.srcRect.left) - b.dst.left, oy = int64_t(b.srcRect.top) - b.dst.top;
        const RECT inside = Intersect(b.dst, RECT{Clamp(-ox), Clamp(-oy), Clamp(s.width - ox), Clamp(s.height - oy)});
        const bool fast = b.rop == SRCCOPY && b.mono == MonoMap::None && Plain32(s) && Plain32(*t);
        for (const RECT& c : clips) {
            RECT r = Intersect(inside, c);
            if (Empty(r)) continue;
            const LONG n = r.right - r.left;
            const LONG sx = static_cast<LONG>(r.left + ox);
            srcBuf.resize(static_cast<size_t>(n));
            for (LONG y = r.top; y < r.bottom; ++y) {
                const LONG sy = static_cast<LONG>(y + oy);
                if (fast) {
                    CopyRowFast(s, sy, sx, *t, y, r.left, n);
                    continue;
                }
                ReadRow(s, sy, sx, n, srcBuf.data());
                MapMono(b, srcBuf.data(), n);
                Combine(b, *t, y, r.left, n, srcBuf.data(), dstBuf);
            }
        }
        return;
    }

    // Nearest neighbour: destination pixel i of dw samples source pixel ((2i + 1) * sw) / (2 * dw).
    auto mapAxis = [](int64_t i, LONG d, LONG sLen, bool flip) {
        LONG u = static_cast<LONG>(((2 * i + 1) * sLen) / (2 * int64_t(d)));
        return flip ? sLen - 1 - u : u;
    };
    // Columns only for the part of the destination that has pixels.
    const RECT reach = Intersect(b.dst, DeviceBounds(b.dc));
    if (Empty(reach)) return;
    std::vector<LONG> colMap(static_cast<size_t>(reach.right - reach.left));
    for (LONG x = reach.left; x < reach.right; ++x)
        colMap[x - reach.left] = b.srcRect.left + mapAxis(int64_t(x) - b.dst.left, dw, sw, b.flipX);
    auto inSource = [&](LONG x) { return colMap[x - reach.left] >= 0 && colMap[x - reach.left] < s.width; };
    std::vector<Px> srcRow(static_cast<size_t>(s.width));
    LONG cachedRow = -1;
    for (const RECT& c : clips) {
        RECT r = Intersect(reach, c);
        if (Empty(r)) continue;
        for (LONG y = r.top; y < r.bottom; ++y) {
            const LONG sy = b.srcRect.top + mapAxis(int64_t(y) - b.dst.top, dh, sh, b.flipY);
            if (sy < 0 || sy >= s.height) continue;
            if (sy != cachedRow) {
                ReadRow(s, sy, 0, s.width, srcRow.data());
                MapMono(b, srcRow.data(), s.width);
                cachedRow = sy;
            }
            // Runs of columns that fall inside the source.
            LONG x = r.left;
            while (x < r.right) {
                while (x < r.right && !inSource(x)) ++x;
                LONG x0 = x;
                srcBuf.clear();
                while (x < r.right && inSource(x)) {
                    srcBuf.push_back(srcRow[colMap[x - reach.left]]);
                    ++x;
                }
                if (x > x0) Combine(b, *t, y, x0, x - x0, srcBuf.data(), dstBuf);
            }
        }
    }
}

// Fills in the colour mapping between two DCs' bitmaps.
void SetMono(Blit& b, GdiDC* dst, GdiDC* src) {
    const bool srcMono = src->state.bitmap && src->state.bitmap->isMonoDDB;
    const bool dstMono = dst->state.bitmap && dst->state.bitmap->isMonoDDB;
    if (srcMono && !dstMono) {
        b.mono = MonoMap::FromMono;
        b.monoA = PxFromColorref(dst->state.textColor);
        b.monoB = PxFromColorref(dst->state.bkColor);
    } else if (!srcMono && dstMono) {
        b.mono = MonoMap::ToMono;
        b.monoA = PxFromColorref(src->state.bkColor);
    }
}

bool PatternOf(GdiDC* dc, Px& p) {
    GdiBrush* br = dc->state.brush;
    if (!br || br->style == BS_NULL) return false;
    p = PxFromColorref(br->color);
    return true;
}

RECT DeviceRect(GdiDC* dc, LONG x, LONG y, LONG w, LONG h) {
    POINT a = ToDevice(dc, x, y);
    return RECT{a.x, a.y, Clamp(int64_t(a.x) + w), Clamp(int64_t(a.y) + h)};
}

}  // namespace
}  // namespace tikora::gdi

using namespace tikora::gdi;

BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop) {
    return StretchBlt(dst, x, y, cx, cy, src, x1, y1, cx, cy, rop);
}

BOOL StretchBlt(HDC hdcDst, int xDst, int yDst, int wDst, int hDst, HDC hdcSrc, int xSrc, int ySrc, int wSrc, int hSrc,
                DWORD rop) {
    GdiDC* dst = AsDC(hdcDst);
    if (!dst) return FALSE;
    Blit b;
    b.dc = dst;
    b.rop = rop;
    if (UsesPattern(rop) && !PatternOf(dst, b.pattern)) return TRUE;
    if (!UsesSource(rop)) {
        b.dst = Normalized(DeviceRect(dst, xDst, yDst, wDst, hDst));
        Run(b);
        return TRUE;
    }
    GdiDC* src = AsDC(hdcSrc);
    if (!src) return FALSE;
    Surface* s = Target(src);
    if (!s) return FALSE;
    if (wDst == 0 || hDst == 0 || wSrc == 0 || hSrc == 0) return TRUE;
    RECT d = DeviceRect(dst, xDst, yDst, wDst, hDst);
    RECT sr = DeviceRect(src, xSrc, ySrc, wSrc, hSrc);
    b.flipX = (wDst < 0) != (wSrc < 0);
    b.flipY = (hDst < 0) != (hSrc < 0);
    b.dst = Normalized(d);
    b.srcRect = Normalized(sr);
    b.src = s;
    SetMono(b, dst, src);
    Run(b);
    return TRUE;
}

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || UsesSource(rop)) return FALSE;
    Blit b;
    b.dc = dc;
    b.rop = rop;
    if (UsesPattern(rop) && !PatternOf(dc, b.pattern)) return TRUE;
    b.dst = Normalized(DeviceRect(dc, x, y, w, h));
    Run(b);
    return TRUE;
}

int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT startScan, UINT lines,
                      const void* bits, const BITMAPINFO* bmi, UINT usage) {
    GdiDC* dc = AsDC(hdc);
    Surface view;
    if (!dc || !DibView(bmi, usage, bits, view) || w > INT32_MAX || h > INT32_MAX) return 0;
    const int64_t fullHeight = view.height;
    if (startScan >= fullHeight) return 0;
    const LONG n = static_cast<LONG>(std::min<int64_t>(lines, fullHeight - startScan));
    if (n <= 0) return 0;
    // The buffer holds scan lines startScan .. startScan + n - 1 only; find where the source
    // rectangle falls in it. Bottom-up DIBs count ySrc and scan lines from their bottom row.
    view.height = n;
    int64_t top;
    if (view.topDown) {
        top = int64_t(ySrc) - startScan;
    } else {
        top = (fullHeight - ySrc - int64_t(h)) - (fullHeight - startScan - n);
    }
    Blit b;
    b.dc = dc;
    b.src = &view;
    b.dst = DeviceRect(dc, xDest, yDest, static_cast<LONG>(w), static_cast<LONG>(h));
    b.srcRect = RECT{Clamp(xSrc), Clamp(top), Clamp(int64_t(xSrc) + w), Clamp(top + h)};
    Run(b);
    return n;
}

int StretchDIBits(HDC hdc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* bmi, UINT usage, DWORD rop) {
    GdiDC* dc = AsDC(hdc);
    Surface view;
    if (!dc || !DibView(bmi, usage, bits, view)) return 0;
    if (destWidth == 0 || destHeight == 0 || srcWidth == 0 || srcHeight == 0) return 0;
    Blit b;
    b.dc = dc;
    b.rop = rop;
    if (UsesPattern(rop) && !PatternOf(dc, b.pattern)) return view.height;
    RECT s =
        Normalized(RECT{Clamp(xSrc), Clamp(ySrc), Clamp(int64_t(xSrc) + srcWidth), Clamp(int64_t(ySrc) + srcHeight)});
    // Bottom-up DIBs measure ySrc from their bottom row, and their rows run upwards.
    bool srcFlip = srcHeight < 0;
    if (!view.topDown) {
        const LONG top = view.height - s.bottom;
        s.bottom = view.height - s.top;
        s.top = top;
    }
    b.src = UsesSource(rop) ? &view : nullptr;
    b.srcRect = s;
    b.flipX = (destWidth < 0) != (srcWidth < 0);
    b.flipY = (destHeight < 0) != srcFlip;
    b.dst = Normalized(DeviceRect(dc, xDest, yDest, destWidth, destHeight));
    Run(b);
    return view.height;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return CLR_INVALID;
    Surface* s = Target(dc);
    POINT p = ToDevice(dc, x, y);
    if (!s || !PtVisible(hdc, x, y)) return CLR_INVALID;
    return ColorrefFromPx(ReadPx(*s, p.x, p.y)) & 0xFFFFFF;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return CLR_INVALID;
    Surface* s = Target(dc);
    POINT p = ToDevice(dc, x, y);
    if (!s || !PtVisible(hdc, x, y)) return CLR_INVALID;
    Px v = PxFromColorref(color);
    WritePx(*s, p.x, p.y, v);
    return ColorrefFromPx(Representable(*s, v));
}
