#include <array>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "GdiInternal.h"

namespace tikora::gdi {
namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<const void*, std::unique_ptr<GdiObject>> objects;
    int64_t live = 0;
    std::array<GdiObject*, 20> stock{};
    std::array<GdiBrush*, 31> sysBrushes{};
    GdiBitmap* defaultBitmap = nullptr;
};

Registry& Reg() {
    // Never destroyed: handles may be released from static destructors of other layers.
    static Registry* r = new Registry;
    return *r;
}

GdiObject* AddStockLocked(Registry& r, std::unique_ptr<GdiObject> o) {
    o->MarkStock();
    GdiObject* raw = o.get();
    r.objects.emplace(raw, std::move(o));
    return raw;
}

std::unique_ptr<GdiBrush> MakeBrush(UINT style, COLORREF color) {
    auto b = std::make_unique<GdiBrush>();
    b->style = style;
    b->color = color & 0xFFFFFF;
    return b;
}

std::unique_ptr<GdiPen> MakePen(int style, int width, COLORREF color) {
    auto p = std::make_unique<GdiPen>();
    p->style = style;
    p->width = width < 1 ? 1 : width;
    p->color = color & 0xFFFFFF;
    return p;
}

void EnsureStockLocked(Registry& r) {
    if (r.defaultBitmap) return;
    r.stock[WHITE_BRUSH] = AddStockLocked(r, MakeBrush(BS_SOLID, RGB(255, 255, 255)));
    r.stock[LTGRAY_BRUSH] = AddStockLocked(r, MakeBrush(BS_SOLID, RGB(192, 192, 192)));
    r.stock[GRAY_BRUSH] = AddStockLocked(r, MakeBrush(BS_SOLID, RGB(128, 128, 128)));
    r.stock[DKGRAY_BRUSH] = AddStockLocked(r, MakeBrush(BS_SOLID, RGB(64, 64, 64)));
    r.stock[BLACK_BRUSH] = AddStockLocked(r, MakeBrush(BS_SOLID, RGB(0, 0, 0)));
    r.stock[NULL_BRUSH] = AddStockLocked(r, MakeBrush(BS_NULL, 0));
    r.stock[WHITE_PEN] = AddStockLocked(r, MakePen(PS_SOLID, 1, RGB(255, 255, 255)));
    r.stock[BLACK_PEN] = AddStockLocked(r, MakePen(PS_SOLID, 1, RGB(0, 0, 0)));
    r.stock[NULL_PEN] = AddStockLocked(r, MakePen(PS_NULL, 1, 0));
    // DC_BRUSH and DC_PEN behave as their default colours (no SetDCBrushColor here).
    r.stock[DC_BRUSH] = AddStockLocked(r, MakeBrush(BS_SOLID, RGB(255, 255, 255)));
    r.stock[DC_PEN] = AddStockLocked(r, MakePen(PS_SOLID, 1, RGB(0, 0, 0)));

    // Every memory DC starts with this 1x1 monochrome bitmap selected.
    auto bm = std::make_unique<GdiBitmap>();
    bm->storage = std::make_unique<BYTE[]>(2);
    std::memset(bm->storage.get(), 0, 2);
    bm->surface.bits = bm->storage.get();
    bm->surface.width = 1;
    bm->surface.height = 1;
    bm->surface.stride = 2;
    bm->surface.bitCount = 1;
    bm->surface.palette = DefaultPalette(1);
    bm->isMonoDDB = true;
    r.defaultBitmap = static_cast<GdiBitmap*>(AddStockLocked(r, std::move(bm)));
}

void CopyOut(void* out, const void* in, size_t n) { std::memcpy(out, in, n); }

}  // namespace

int GdiObject::GetObjectData(int, void*) const { return 0; }

int GdiBitmap::GetObjectData(int cb, void* out) const {
    BITMAP bm{};
    bm.bmType = 0;
    bm.bmWidth = surface.width;
    bm.bmHeight = surface.height;
    bm.bmWidthBytes = surface.stride;
    bm.bmPlanes = 1;
    bm.bmBitsPixel = surface.bitCount;
    bm.bmBits = isDIBSection ? surface.bits : nullptr;
    if (isDIBSection && (out == nullptr || cb >= static_cast<int>(sizeof(DIBSECTION)))) {
        if (!out) return sizeof(DIBSECTION);
        DIBSECTION ds{};
        ds.dsBm = bm;
        ds.dsBmih = dibHeader;
        ds.dsBitfields[0] = surface.masks[0];
        ds.dsBitfields[1] = surface.masks[1];
        ds.dsBitfields[2] = surface.masks[2];
        ds.dshSection = nullptr;
        ds.dsOffset = 0;
        CopyOut(out, &ds, sizeof ds);
        return sizeof(DIBSECTION);
    }
    if (!out) return sizeof(BITMAP);
    if (cb < static_cast<int>(sizeof(BITMAP))) return 0;
    CopyOut(out, &bm, sizeof bm);
    return sizeof(BITMAP);
}

int GdiBrush::GetObjectData(int cb, void* out) const {
    if (!out) return sizeof(LOGBRUSH);
    if (cb < static_cast<int>(sizeof(LOGBRUSH))) return 0;
    LOGBRUSH lb{style, color, 0};
    CopyOut(out, &lb, sizeof lb);
    return sizeof(LOGBRUSH);
}

int GdiPen::GetObjectData(int cb, void* out) const {
    if (!out) return sizeof(LOGPEN);
    if (cb < static_cast<int>(sizeof(LOGPEN))) return 0;
    LOGPEN lp{static_cast<UINT>(style), POINT{width, 0}, color};
    CopyOut(out, &lp, sizeof lp);
    return sizeof(LOGPEN);
}

GdiObject* RegisterObject(std::unique_ptr<GdiObject> object) {
    if (!object) return nullptr;
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    GdiObject* raw = object.get();
    r.objects.emplace(raw, std::move(object));
    ++r.live;
    return raw;
}

GdiObject* Lookup(const void* handle) {
    if (!handle) return nullptr;
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    auto it = r.objects.find(handle);
    return it == r.objects.end() ? nullptr : it->second.get();
}

int64_t LiveObjectCount() {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    return r.live;
}

bool RegisterStockObject(int index, GdiObject* object) {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    EnsureStockLocked(r);
    if (index < 0 || index >= static_cast<int>(r.stock.size()) || r.stock[index]) return false;
    auto it = r.objects.find(object);
    if (it == r.objects.end()) return false;
    if (!object->IsStock()) {
        object->MarkStock();
        --r.live;
    }
    r.stock[index] = object;
    return true;
}

GdiDC* AsDC(const void* handle) {
    GdiObject* o = Lookup(handle);
    return (o && (o->Kind() == ObjectKind::DC || o->Kind() == ObjectKind::MemDC)) ? static_cast<GdiDC*>(o) : nullptr;
}

GdiBitmap* DefaultBitmap() {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    EnsureStockLocked(r);
    return r.defaultBitmap;
}

namespace {
// Removes and frees a registered object.
void Destroy(GdiObject* o) {
    std::unique_ptr<GdiObject> owned;
    {
        Registry& r = Reg();
        std::lock_guard lock(r.mutex);
        auto it = r.objects.find(o);
        if (it == r.objects.end()) return;
        owned = std::move(it->second);
        r.objects.erase(it);
        if (!owned->IsStock()) --r.live;
    }
    // Freed outside the lock: a DC's destructor releases the objects it holds.
}
}  // namespace

void Retain(GdiObject* o) {
    if (o) ++o->selectCount;
}

void Release(GdiObject* o) {
    if (!o || o->selectCount <= 0) return;
    if (--o->selectCount == 0) {
        if (o->Kind() == ObjectKind::Bitmap) static_cast<GdiBitmap*>(o)->selectedInto = nullptr;
        if (o->deletePending) Destroy(o);
    }
}

GdiDC::~GdiDC() {
    auto drop = [](DCState& s) {
        Release(s.bitmap);
        Release(s.brush);
        Release(s.pen);
        Release(s.font);
    };
    drop(state);
    for (DCState& s : saved) drop(s);
    // The own surface is no registered object; nothing to release for it beyond the above.
}

void DestroyObject(GdiObject* o) { Destroy(o); }

}  // namespace tikora::gdi

using namespace tikora::gdi;

HGDIOBJ GetStockObject(int index) {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    EnsureStockLocked(r);
    if (index < 0 || index >= static_cast<int>(r.stock.size())) return nullptr;
    return r.stock[index];
}

BOOL DeleteObject(HGDIOBJ h) {
    GdiObject* o = Lookup(h);
    if (!o) return FALSE;
    if (o->IsStock()) return TRUE;
    if (o->Kind() == ObjectKind::DC || o->Kind() == ObjectKind::MemDC) return FALSE;
    if (o->selectCount > 0) {
        if (o->Kind() == ObjectKind::Bitmap) return FALSE;
        o->deletePending = true;
        return TRUE;
    }
    Destroy(o);
    return TRUE;
}

int GetObjectA(HGDIOBJ h, int cb, LPVOID pv) {
    GdiObject* o = Lookup(h);
    if (!o || cb < 0) return 0;
    return o->GetObjectData(cb, pv);
}

DWORD GetObjectType(HGDIOBJ h) {
    GdiObject* o = Lookup(h);
    return o ? static_cast<DWORD>(o->Kind()) : 0;
}

HBRUSH CreateSolidBrush(COLORREF color) { return static_cast<HBRUSH>(RegisterObject(MakeBrush(BS_SOLID, color))); }

HBRUSH CreateBrushIndirect(const LOGBRUSH* lb) {
    if (!lb || (lb->lbStyle != BS_SOLID && lb->lbStyle != BS_NULL)) return nullptr;
    return static_cast<HBRUSH>(RegisterObject(MakeBrush(lb->lbStyle, lb->lbColor)));
}

HPEN CreatePen(int style, int width, COLORREF color) {
    if (style < PS_SOLID || style > PS_INSIDEFRAME) return nullptr;
    return static_cast<HPEN>(RegisterObject(MakePen(style, width, color)));
}

HPEN CreatePenIndirect(const LOGPEN* lp) {
    if (!lp) return nullptr;
    return CreatePen(static_cast<int>(lp->lopnStyle), lp->lopnWidth.x, lp->lopnColor);
}

namespace {
// The light theme of a current desktop, fixed so that the program looks the same everywhere.
constexpr COLORREF kSysColors[31] = {
    RGB(200, 200, 200),  // COLOR_SCROLLBAR
    RGB(0, 0, 0),        // COLOR_BACKGROUND
    RGB(153, 180, 209),  // COLOR_ACTIVECAPTION
    RGB(191, 205, 219),  // COLOR_INACTIVECAPTION
    RGB(240, 240, 240),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(100, 100, 100),  // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(0, 0, 0),        // COLOR_CAPTIONTEXT
    RGB(180, 180, 180),  // COLOR_ACTIVEBORDER
    RGB(244, 247, 252),  // COLOR_INACTIVEBORDER
    RGB(171, 171, 171),  // COLOR_APPWORKSPACE
    RGB(0, 120, 215),    // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(240, 240, 240),  // COLOR_BTNFACE
    RGB(160, 160, 160),  // COLOR_BTNSHADOW
    RGB(109, 109, 109),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(0, 0, 0),        // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(105, 105, 105),  // COLOR_3DDKSHADOW
    RGB(227, 227, 227),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(0, 0, 0),        // (unused)
    RGB(0, 102, 204),    // COLOR_HOTLIGHT
    RGB(185, 209, 234),  // COLOR_GRADIENTACTIVECAPTION
    RGB(215, 228, 242),  // COLOR_GRADIENTINACTIVECAPTION
    RGB(51, 153, 255),   // COLOR_MENUHILIGHT
    RGB(240, 240, 240),  // COLOR_MENUBAR
};
}  // namespace

DWORD GetSysColor(int index) {
    if (index < 0 || index >= 31) return 0;
    return kSysColors[index];
}

HBRUSH GetSysColorBrush(int index) {
    if (index < 0 || index >= 31) return nullptr;
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    if (!r.sysBrushes[index])
        r.sysBrushes[index] = static_cast<GdiBrush*>(AddStockLocked(r, MakeBrush(BS_SOLID, kSysColors[index])));
    return r.sysBrushes[index];
}

// ---- Rectangle helpers

BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom) {
    if (!rect) return FALSE;
    *rect = RECT{left, top, right, bottom};
    return TRUE;
}
BOOL SetRectEmpty(LPRECT rect) { return SetRect(rect, 0, 0, 0, 0); }
BOOL IsRectEmpty(const RECT* rect) { return !rect || Empty(*rect); }
BOOL IntersectRect(LPRECT dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    *dst = Intersect(*a, *b);
    return !Empty(*dst);
}
BOOL UnionRect(LPRECT dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    if (Empty(*a)) {
        *dst = Empty(*b) ? RECT{0, 0, 0, 0} : *b;
    } else if (Empty(*b)) {
        *dst = *a;
    } else {
        *dst = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                    std::max(a->bottom, b->bottom)};
    }
    return !Empty(*dst);
}
BOOL OffsetRect(LPRECT rect, int dx, int dy) {
    if (!rect) return FALSE;
    rect->left += dx;
    rect->right += dx;
    rect->top += dy;
    rect->bottom += dy;
    return TRUE;
}
BOOL InflateRect(LPRECT rect, int dx, int dy) {
    if (!rect) return FALSE;
    rect->left -= dx;
    rect->right += dx;
    rect->top -= dy;
    rect->bottom += dy;
    return TRUE;
}
BOOL PtInRect(const RECT* rect, POINT pt) {
    return rect && pt.x >= rect->left && pt.x < rect->right && pt.y >= rect->top && pt.y < rect->bottom;
}
BOOL EqualRect(const RECT* a, const RECT* b) {
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
BOOL CopyRect(LPRECT dst, const RECT* src) {
    if (!dst || !src) return FALSE;
    *dst = *src;
    return TRUE;
}
