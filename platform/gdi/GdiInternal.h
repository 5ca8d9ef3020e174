#pragma once
// Shared by the implementation files only.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "WinGdi.h"

namespace tikora::gdi {

// A pixel value inside the library: 0xXXRRGGBB, the 32-bit word a B, G, R, X pixel holds.
using Px = uint32_t;

constexpr Px PxFromColorref(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
constexpr COLORREF ColorrefFromPx(Px p) { return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16); }

template <class T>
T* As(const void* handle, ObjectKind kind) {
    GdiObject* o = Lookup(handle);
    return (o && o->Kind() == kind) ? static_cast<T*>(o) : nullptr;
}
GdiDC* AsDC(const void* handle);

// Takes a selection reference on an object; Release gives it back and frees an object whose
// deletion waited for that.
void Retain(GdiObject* o);
void Release(GdiObject* o);
GdiBitmap* DefaultBitmap();
// Unregisters and frees at once (DeleteDC).
void DestroyObject(GdiObject* o);

// Rows of pixels as Px values, whatever the stored format.
void ReadRow(const Surface& s, LONG y, LONG x0, LONG n, Px* out);
void WriteRow(Surface& s, LONG y, LONG x0, LONG n, const Px* in);
Px ReadPx(const Surface& s, LONG x, LONG y);
void WritePx(Surface& s, LONG x, LONG y, Px p);
// The value the surface would store for p, read back (palette nearest, 16-bit rounding).
Px Representable(const Surface& s, Px p);
int NearestIndex(const std::vector<RGBQUAD>& palette, Px p);

int64_t DibStride(int64_t width, int bitCount);
// The palette a DIB of bitCount bits gets when none is given (black/white, VGA, 6x6x6 cube).
std::vector<RGBQUAD> DefaultPalette(int bitCount);

// Describes a DIB given by header and bits as a Surface (no copy).
// False for what this library does not draw (compressed rows, odd depths, bad sizes).
bool DibView(const BITMAPINFO* bmi, UINT usage, const void* bits, Surface& out);
// The same without pixels (bits stays null).
bool DibFormat(const BITMAPINFO* bmi, UINT usage, Surface& out);

// Coordinates and clip of a DC.
inline POINT ToDevice(const GdiDC* dc, LONG x, LONG y) {
    return POINT{x - dc->state.windowOrg.x + dc->state.viewportOrg.x,
                 y - dc->state.windowOrg.y + dc->state.viewportOrg.y};
}
inline RECT ToDevice(const GdiDC* dc, const RECT& r) {
    POINT a = ToDevice(dc, r.left, r.top);
    POINT b = ToDevice(dc, r.right, r.bottom);
    return RECT{a.x, a.y, b.x, b.y};
}
Surface* Target(GdiDC* dc);  // null when the DC has no pixels
RECT DeviceBounds(const GdiDC* dc);
// What a DC may draw into: its pixels' bounds, the system clip and the clip region intersected.
// Kept between calls; it is worked out again when one of them changed.
std::shared_ptr<const RegionData> VisibleRegion(const GdiDC* dc);
// The visible region's rectangles that meet `within`, cut to it: a drawing's cost follows its
// own rows, not the whole clip's.
std::vector<RECT> ClipRects(const GdiDC* dc, const RECT& within);

inline RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.left >= r.right || r.top >= r.bottom) return RECT{0, 0, 0, 0};
    return r;
}
inline bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }
inline RECT Normalized(RECT r) {
    if (r.left > r.right) std::swap(r.left, r.right);
    if (r.top > r.bottom) std::swap(r.top, r.bottom);
    return r;
}

RegionData PolygonRegionData(const POINT* pts, int count, int fillMode);
RegionData PolygonRegionData(const PointF* pts, int count, int fillMode);
RegionData EllipseRegionData(const RECT& r);

// Applies a binary raster operation (R2_*) of a pen or brush colour to a destination pixel.
Px ApplyRop2(int rop2, Px pen, Px dst);
// Fills device pixels [x0, x1) of row y with a colour under a binary raster operation.
void FillSpan(Surface& s, LONG y, LONG x0, LONG x1, Px color, int rop2);
// Fills every clip-visible pixel of a region (device coordinates) with a colour.
void FillRegionData(GdiDC* dc, const RegionData& rgn, Px color, int rop2);

}  // namespace tikora::gdi
