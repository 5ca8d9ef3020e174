#include "GdiInternal.h"

namespace tikora::gdi {
namespace {

struct Screen {
    int width = 1920;
    int height = 1080;
    std::function<HDC(HWND)> getDC;
    std::function<int(HWND, HDC)> releaseDC;
};
Screen& TheScreen() {
    static Screen s;
    return s;
}

void InitDefaults(GdiDC* dc) {
    dc->state.brush = static_cast<GdiBrush*>(GetStockObject(WHITE_BRUSH));
    dc->state.pen = static_cast<GdiPen*>(GetStockObject(BLACK_PEN));
    GdiObject* font = GetStockObject(SYSTEM_FONT);
    dc->state.font = (font && font->Kind() == ObjectKind::Font) ? static_cast<GdiFont*>(font) : nullptr;
    Retain(dc->state.brush);
    Retain(dc->state.pen);
    Retain(dc->state.font);
}

void RetainState(DCState& s) {
    Retain(s.bitmap);
    Retain(s.brush);
    Retain(s.pen);
    Retain(s.font);
}

void ReleaseState(DCState& s) {
    Release(s.bitmap);
    Release(s.brush);
    Release(s.pen);
    Release(s.font);
}

template <class T>
void Swap(T*& slot, T* next) {
    if (slot == next) return;
    Retain(next);
    T* old = slot;
    slot = next;
    Release(old);
}

LONG LogicalDx(const GdiDC* dc) { return dc->state.viewportOrg.x - dc->state.windowOrg.x; }
LONG LogicalDy(const GdiDC* dc) { return dc->state.viewportOrg.y - dc->state.windowOrg.y; }

int CombineClip(GdiDC* dc, const RegionData& rgn, int mode) {
    if (mode == RGN_COPY) {
        dc->state.clip = std::make_shared<const RegionData>(rgn);
    } else if (dc->state.clip) {
        dc->state.clip = std::make_shared<const RegionData>(RegionData::Combine(*dc->state.clip, rgn, mode));
    } else {
        dc->state.clip =
            std::make_shared<const RegionData>(RegionData::Combine(RegionData::FromRect(DeviceBounds(dc)), rgn, mode));
    }
    return VisibleRegion(dc)->Complexity();
}

}  // namespace

Surface* Target(GdiDC* dc) { return dc->state.bitmap ? &dc->state.bitmap->surface : nullptr; }

RECT DeviceBounds(const GdiDC* dc) {
    if (dc->state.bitmap) return RECT{0, 0, dc->state.bitmap->surface.width, dc->state.bitmap->surface.height};
    return RECT{0, 0, dc->nominalWidth, dc->nominalHeight};
}

std::shared_ptr<const RegionData> VisibleRegion(const GdiDC* dc) {
    // Worked out again only when the clip, the pixels' bounds or the system clip changed since.
    const RECT bounds = DeviceBounds(dc);
    GdiDC::Visible& v = dc->visible;
    if (v.region && v.clip == dc->state.clip && EqualRect(&v.bounds, &bounds)) return v.region;
    RegionData r = RegionData::FromRect(bounds);
    if (dc->hasSystemClip) r = RegionData::Combine(r, dc->systemClip, RGN_AND);
    if (!dc->state.clip) {
        v.region = std::make_shared<const RegionData>(std::move(r));
    } else if (const RECT box = dc->state.clip->Bounds(), in = Intersect(box, bounds);
               !dc->hasSystemClip && EqualRect(&box, &in)) {
        v.region = dc->state.clip;  // inside the pixels: the clip itself, not a copy
    } else {
        v.region = std::make_shared<const RegionData>(RegionData::Combine(r, *dc->state.clip, RGN_AND));
    }
    v.clip = dc->state.clip;
    v.bounds = bounds;
    return v.region;
}

std::vector<RECT> ClipRects(const GdiDC* dc, const RECT& within) { return VisibleRegion(dc)->RectsWithin(within); }

HDC CreateSurfaceDC(uint32_t* pixels, int width, int height, int strideBytes) {
    if (!pixels || width <= 0 || height <= 0 || strideBytes % 4 != 0 || int64_t(strideBytes) < int64_t(width) * 4)
        return nullptr;
    auto dc = std::make_unique<GdiDC>(false);
    dc->ownSurface = std::make_unique<GdiBitmap>();
    Surface& s = dc->ownSurface->surface;
    s.bits = reinterpret_cast<BYTE*>(pixels);
    s.width = width;
    s.height = height;
    s.stride = strideBytes;
    s.bitCount = 32;
    s.topDown = true;
    s.clearFourthByte = true;
    dc->state.bitmap = dc->ownSurface.get();
    InitDefaults(dc.get());
    return static_cast<HDC>(RegisterObject(std::move(dc)));
}

namespace {
void ViewOf(const Surface& s, SurfaceView* view) {
    view->scan0 = s.Row(0);
    view->width = s.width;
    view->height = s.height;
    view->pitch = s.topDown ? s.stride : -s.stride;
    view->bitCount = s.bitCount;
}
}  // namespace

bool GetDCSurface(HDC hdc, SurfaceView* view) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || !view || !dc->state.bitmap) return false;
    ViewOf(dc->state.bitmap->surface, view);
    return true;
}

bool GetBitmapSurface(HBITMAP hbm, SurfaceView* view) {
    GdiBitmap* bm = As<GdiBitmap>(hbm, ObjectKind::Bitmap);
    if (!bm || !view) return false;
    ViewOf(bm->surface, view);
    return true;
}

std::vector<RECT> GetClipRects(HDC hdc) {
    GdiDC* dc = AsDC(hdc);
    return dc ? VisibleRegion(dc)->Rects() : std::vector<RECT>{};
}

void SetSystemClipRegion(HDC hdc, HRGN hrgn) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return;
    GdiRegion* r = As<GdiRegion>(hrgn, ObjectKind::Region);
    dc->hasSystemClip = r != nullptr;
    dc->systemClip = r ? r->data : RegionData{};
    dc->visible = {};
}

COLORREF NearestColor(HDC hdc, COLORREF color) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return CLR_INVALID;
    Surface* s = Target(dc);
    return s ? ColorrefFromPx(Representable(*s, PxFromColorref(color))) : (color & 0xFFFFFF);
}

void SetWindowDCProvider(std::function<HDC(HWND)> getDC, std::function<int(HWND, HDC)> releaseDC) {
    TheScreen().getDC = std::move(getDC);
    TheScreen().releaseDC = std::move(releaseDC);
}

void SetScreenSize(int width, int height) {
    if (width > 0 && height > 0) {
        TheScreen().width = width;
        TheScreen().height = height;
    }
}

}  // namespace tikora::gdi

using namespace tikora::gdi;

HDC CreateCompatibleDC(HDC hdc) {
    if (hdc && !AsDC(hdc)) return nullptr;
    auto dc = std::make_unique<GdiDC>(true);
    dc->state.bitmap = DefaultBitmap();
    Retain(dc->state.bitmap);
    InitDefaults(dc.get());
    return static_cast<HDC>(RegisterObject(std::move(dc)));
}

BOOL DeleteDC(HDC hdc) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return FALSE;
    DestroyObject(dc);
    return TRUE;
}

HDC GetDC(HWND hwnd) {
    Screen& scr = TheScreen();
    if (hwnd && scr.getDC) return scr.getDC(hwnd);
    if (hwnd) return nullptr;
    auto dc = std::make_unique<GdiDC>(false);
    dc->nominalWidth = scr.width;
    dc->nominalHeight = scr.height;
    InitDefaults(dc.get());
    return static_cast<HDC>(RegisterObject(std::move(dc)));
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    Screen& scr = TheScreen();
    if (hwnd && scr.releaseDC) return scr.releaseDC(hwnd, hdc);
    GdiDC* dc = AsDC(hdc);
    if (!dc || dc->memory || dc->state.bitmap) return 0;
    DestroyObject(dc);
    return 1;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
    GdiDC* dc = AsDC(hdc);
    GdiObject* o = Lookup(h);
    if (!dc || !o) return nullptr;
    DCState& s = dc->state;
    switch (o->Kind()) {
        case ObjectKind::Bitmap: {
            auto* bm = static_cast<GdiBitmap*>(o);
            if (!dc->memory) return nullptr;
            if (!bm->IsStock() && bm->selectedInto && bm->selectedInto != dc) return nullptr;
            GdiBitmap* old = s.bitmap;
            if (!bm->IsStock()) bm->selectedInto = dc;
            Swap(s.bitmap, bm);
            return old;
        }
        case ObjectKind::Brush: {
            GdiBrush* old = s.brush;
            Swap(s.brush, static_cast<GdiBrush*>(o));
            return old;
        }
        case ObjectKind::Pen: {
            GdiPen* old = s.pen;
            Swap(s.pen, static_cast<GdiPen*>(o));
            return old;
        }
        case ObjectKind::Font: {
            GdiFont* old = s.font;
            Swap(s.font, static_cast<GdiFont*>(o));
            return old;
        }
        case ObjectKind::Region:
            // Windows hands back the clip's complexity in the handle.
            return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(SelectClipRgn(hdc, static_cast<HRGN>(o))));
        default:
            return nullptr;
    }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return nullptr;
    switch (type) {
        case OBJ_BITMAP:
            return dc->state.bitmap == dc->ownSurface.get() ? nullptr : dc->state.bitmap;
        case OBJ_BRUSH:
            return dc->state.brush;
        case OBJ_PEN:
            return dc->state.pen;
        case OBJ_FONT:
            return dc->state.font;
        default:
            return nullptr;
    }
}

int SaveDC(HDC hdc) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return 0;
    dc->saved.push_back(dc->state);
    RetainState(dc->saved.back());
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int savedDC) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || savedDC == 0) return FALSE;
    const int depth = static_cast<int>(dc->saved.size());
    const int level = savedDC < 0 ? depth + savedDC + 1 : savedDC;
    if (level < 1 || level > depth) return FALSE;
    DCState restored = std::move(dc->saved[static_cast<size_t>(level - 1)]);
    for (size_t i = static_cast<size_t>(level); i < dc->saved.size(); ++i) ReleaseState(dc->saved[i]);
    dc->saved.resize(static_cast<size_t>(level - 1));
    ReleaseState(dc->state);
    dc->state = std::move(restored);
    if (dc->state.bitmap && !dc->state.bitmap->IsStock() && dc->state.bitmap != dc->ownSurface.get())
        dc->state.bitmap->selectedInto = dc;
    return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
    if (!AsDC(hdc)) return 0;
    const Screen& scr = TheScreen();
    switch (index) {
        case DRIVERVERSION:
            return 0x4000;
        case TECHNOLOGY:
            return DT_RASDISPLAY;
        case HORZSIZE:
            return scr.width * 254 / 960;
        case VERTSIZE:
            return scr.height * 254 / 960;
        case HORZRES:
            return scr.width;
        case VERTRES:
            return scr.height;
        case BITSPIXEL:
            return 32;
        case PLANES:
            return 1;
        case NUMCOLORS:
            return -1;
        case RASTERCAPS:
            return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
        case LOGPIXELSX:
        case LOGPIXELSY:
            return 96;
        case SIZEPALETTE:
        case NUMRESERVED:
            return 0;
        case COLORRES:
            return 24;
        default:
            return 0;
    }
}

#define TIKORA_DC_STATE(Type, Setter, Getter, field, bad) \
    Type Setter(HDC hdc, Type value) {                    \
        GdiDC* dc = AsDC(hdc);                            \
        if (!dc) return bad;                              \
        Type old = dc->state.field;                       \
        dc->state.field = value;                          \
        return old;                                       \
    }                                                     \
    Type Getter(HDC hdc) {                                \
        GdiDC* dc = AsDC(hdc);                            \
        return dc ? dc->state.field : bad;                \
    }

TIKORA_DC_STATE(COLORREF, SetBkColor, GetBkColor, bkColor, CLR_INVALID)
TIKORA_DC_STATE(COLORREF, SetTextColor, GetTextColor, textColor, CLR_INVALID)
TIKORA_DC_STATE(UINT, SetTextAlign, GetTextAlign, textAlign, GDI_ERROR)
#undef TIKORA_DC_STATE

namespace {
int SetMode(HDC hdc, int value, int lo, int hi, int DCState::*field) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || value < lo || value > hi) return 0;
    int old = dc->state.*field;
    dc->state.*field = value;
    return old;
}
int GetMode(HDC hdc, int DCState::*field) {
    GdiDC* dc = AsDC(hdc);
    return dc ? dc->state.*field : 0;
}
}  // namespace

int SetBkMode(HDC hdc, int mode) { return SetMode(hdc, mode, TRANSPARENT, OPAQUE, &DCState::bkMode); }
int GetBkMode(HDC hdc) { return GetMode(hdc, &DCState::bkMode); }
int SetStretchBltMode(HDC hdc, int mode) { return SetMode(hdc, mode, BLACKONWHITE, HALFTONE, &DCState::stretchMode); }
int GetStretchBltMode(HDC hdc) { return GetMode(hdc, &DCState::stretchMode); }
int SetPolyFillMode(HDC hdc, int mode) { return SetMode(hdc, mode, ALTERNATE, WINDING, &DCState::polyFillMode); }
int GetPolyFillMode(HDC hdc) { return GetMode(hdc, &DCState::polyFillMode); }
int SetROP2(HDC hdc, int rop2) { return SetMode(hdc, rop2, R2_BLACK, R2_WHITE, &DCState::rop2); }
int GetROP2(HDC hdc) { return GetMode(hdc, &DCState::rop2); }

namespace {
BOOL SetOrg(HDC hdc, POINT DCState::*field, LONG x, LONG y, bool relative, LPPOINT old) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return FALSE;
    POINT& org = dc->state.*field;
    if (old) *old = org;
    org = relative ? POINT{org.x + x, org.y + y} : POINT{x, y};
    return TRUE;
}
BOOL GetOrg(HDC hdc, POINT DCState::*field, LPPOINT org) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || !org) return FALSE;
    *org = dc->state.*field;
    return TRUE;
}
}  // namespace

BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT old) {
    return SetOrg(hdc, &DCState::viewportOrg, x, y, false, old);
}
BOOL GetViewportOrgEx(HDC hdc, LPPOINT org) { return GetOrg(hdc, &DCState::viewportOrg, org); }
BOOL SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT old) { return SetOrg(hdc, &DCState::windowOrg, x, y, false, old); }
BOOL GetWindowOrgEx(HDC hdc, LPPOINT org) { return GetOrg(hdc, &DCState::windowOrg, org); }
BOOL OffsetViewportOrgEx(HDC hdc, int dx, int dy, LPPOINT old) {
    return SetOrg(hdc, &DCState::viewportOrg, dx, dy, true, old);
}

BOOL LPtoDP(HDC hdc, LPPOINT points, int count) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || (!points && count > 0)) return FALSE;
    for (int i = 0; i < count; ++i) points[i] = ToDevice(dc, points[i].x, points[i].y);
    return TRUE;
}

BOOL DPtoLP(HDC hdc, LPPOINT points, int count) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || (!points && count > 0)) return FALSE;
    for (int i = 0; i < count; ++i) points[i] = POINT{points[i].x - LogicalDx(dc), points[i].y - LogicalDy(dc)};
    return TRUE;
}

// ---- Clipping

int ExtSelectClipRgn(HDC hdc, HRGN hrgn, int mode) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || mode < RGN_AND || mode > RGN_COPY) return ERROR;
    if (!hrgn) {
        if (mode != RGN_COPY) return ERROR;
        dc->state.clip = nullptr;
        return VisibleRegion(dc)->Complexity();
    }
    GdiRegion* r = As<GdiRegion>(hrgn, ObjectKind::Region);
    if (!r) return ERROR;
    return CombineClip(dc, r->data, mode);
}

int SelectClipRgn(HDC hdc, HRGN hrgn) { return ExtSelectClipRgn(hdc, hrgn, RGN_COPY); }

int GetClipBox(HDC hdc, LPRECT rect) {
    GdiDC* dc = AsDC(hdc);
    if (!dc || !rect) return ERROR;
    const std::shared_ptr<const RegionData> visible = VisibleRegion(dc);
    const RegionData& vis = *visible;
    *rect = vis.Bounds();
    if (!vis.Empty()) OffsetRect(rect, -LogicalDx(dc), -LogicalDy(dc));
    return vis.Complexity();
}

int GetClipRgn(HDC hdc, HRGN hrgn) {
    GdiDC* dc = AsDC(hdc);
    GdiRegion* r = As<GdiRegion>(hrgn, ObjectKind::Region);
    if (!dc || !r) return -1;
    if (!dc->state.clip) return 0;
    r->data = *dc->state.clip;
    return 1;
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return ERROR;
    return CombineClip(dc, RegionData::FromRect(ToDevice(dc, RECT{left, top, right, bottom})), RGN_AND);
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return ERROR;
    return CombineClip(dc, RegionData::FromRect(ToDevice(dc, RECT{left, top, right, bottom})), RGN_DIFF);
}

BOOL PtVisible(HDC hdc, int x, int y) {
    GdiDC* dc = AsDC(hdc);
    if (!dc) return FALSE;
    POINT p = ToDevice(dc, x, y);
    return VisibleRegion(dc)->Contains(p.x, p.y);
}
