#pragma once
// The objects behind GDI handles. A handle is a pointer to one of these; every call validates it
// against the registry of live objects first, so a stale or foreign handle fails cleanly instead
// of being dereferenced.
//
// The font kind is declared here so that HFONT converts to HGDIOBJ everywhere; the text part
// (platform/gdi/text/) derives its concrete font from GdiFont and registers it with RegisterObject.
#include <cstdint>
#include <memory>
#include <vector>

#include "GdiTypes.h"

namespace tikora::gdi {

// Values equal the OBJ_* constants that GetObjectType returns.
enum class ObjectKind : uint32_t {
    Pen = 1,
    Brush = 2,
    DC = 3,
    Palette = 5,
    Font = 6,
    Bitmap = 7,
    Region = 8,
    MemDC = 10,
};

class GdiObject {
public:
    explicit GdiObject(ObjectKind kind) : kind_(kind) {}
    virtual ~GdiObject() = default;
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    ObjectKind Kind() const { return kind_; }
    // Stock objects live for the whole program; DeleteObject on them succeeds and does nothing.
    bool IsStock() const { return stock_; }
    void MarkStock() { stock_ = true; }

    // GetObjectA for this kind: with out == nullptr the size needed, else the bytes written
    // (0 when cb is too small for any form this kind knows).
    virtual int GetObjectData(int cb, void* out) const;

    // How many device contexts have this object selected. A selected bitmap cannot be deleted;
    // a selected pen, brush or font is deleted when its last DC lets go of it.
    int selectCount = 0;
    bool deletePending = false;

private:
    ObjectKind kind_;
    bool stock_ = false;
};

class GdiBitmap;
class GdiBrush;
class GdiPen;
class GdiRegion;
class GdiDC;
class GdiPalette;

// The text part's font derives from this; the base only gives the kind.
class GdiFont : public GdiObject {
public:
    GdiFont() : GdiObject(ObjectKind::Font) {}
};

// Adds an object to the registry of live handles and hands back its handle (the registry owns
// it from now on; DeleteObject frees it). The text part creates its fonts through this.
GdiObject* RegisterObject(std::unique_ptr<GdiObject> object);

// The object behind a handle when the handle is live, else nullptr.
GdiObject* Lookup(const void* handle);

// Live handles that are not stock objects: bitmaps, brushes, pens, regions, fonts and DCs.
// Tests compare it before and after to find leaks.
int64_t LiveObjectCount();

// Makes a registered object a stock object for GetStockObject(index); the text part registers
// SYSTEM_FONT, DEFAULT_GUI_FONT and friends. Returns false when the index is taken or invalid.
bool RegisterStockObject(int index, GdiObject* object);

// ---- The kinds this library implements. Their members belong to the implementation; other
// layers use the functions of WinGdi.h.

// A set of pixels as y-x bands of half-open rectangles, the way GDI stores regions: bands are
// sorted, do not overlap, never touch with equal spans, and each holds sorted disjoint spans.
// A band never changes once made: copies of a region, and the regions combined from it, share
// the bands they have alike.
struct RegionData {
    struct Band {
        LONG top;
        LONG bottom;
        std::vector<LONG> spans;  // left0, right0, left1, right1, ...
    };
    std::vector<std::shared_ptr<const Band>> bands;

    static RegionData FromRect(const RECT& r);
    // The union of many rectangles (each normalised, empty ones left out), sorted and merged at
    // once: about n log n for n rectangles, where ORing them in one at a time costs n squared.
    static RegionData FromRects(const RECT* rects, size_t count);
    bool Empty() const { return bands.empty(); }
    RECT Bounds() const;
    int Complexity() const;  // NULLREGION, SIMPLEREGION or COMPLEXREGION
    bool Contains(LONG x, LONG y) const;
    void Offset(LONG dx, LONG dy);
    std::vector<RECT> Rects() const;
    std::vector<RECT> RectsWithin(const RECT& area) const;  // those meeting the area, cut to it
    static RegionData Combine(const RegionData& a, const RegionData& b, int mode);
    bool operator==(const RegionData& o) const;
};

// The pixels of a bitmap. Rows may be stored bottom-up (a bottom-up DIB section); Row(y)
// always counts from the top.
struct Surface {
    BYTE* bits = nullptr;
    LONG width = 0;
    LONG height = 0;
    LONG stride = 0;  // bytes per stored row
    WORD bitCount = 0;
    bool topDown = true;
    bool bitfields = false;
    DWORD masks[3] = {0, 0, 0};  // red, green, blue for 16 and 32 bits
    std::vector<RGBQUAD> palette;
    // A window surface: whatever is written, its 4th byte stays 0.
    bool clearFourthByte = false;

    BYTE* Row(LONG y) const { return bits + static_cast<int64_t>(topDown ? y : height - 1 - y) * stride; }
};

class GdiBitmap : public GdiObject {
public:
    GdiBitmap() : GdiObject(ObjectKind::Bitmap) {}
    int GetObjectData(int cb, void* out) const override;

    Surface surface;
    std::unique_ptr<BYTE[]> storage;  // null when the pixels belong to someone else
    bool isDIBSection = false;
    // A 1-bit bitmap that is not a DIB section: blits map its bits through the DCs' text and
    // background colours instead of a palette.
    bool isMonoDDB = false;
    BITMAPINFOHEADER dibHeader{};
    GdiDC* selectedInto = nullptr;
};

class GdiBrush : public GdiObject {
public:
    GdiBrush() : GdiObject(ObjectKind::Brush) {}
    int GetObjectData(int cb, void* out) const override;
    UINT style = BS_SOLID;
    COLORREF color = 0;
};

class GdiPen : public GdiObject {
public:
    GdiPen() : GdiObject(ObjectKind::Pen) {}
    int GetObjectData(int cb, void* out) const override;
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
};

class GdiRegion : public GdiObject {
public:
    GdiRegion() : GdiObject(ObjectKind::Region) {}
    RegionData data;
};

struct DCState {
    GdiBitmap* bitmap = nullptr;
    GdiBrush* brush = nullptr;
    GdiPen* pen = nullptr;
    GdiFont* font = nullptr;
    // The clip region in device coordinates, null for none. Never changed in place: saved states
    // share it until one of them selects another.
    std::shared_ptr<const RegionData> clip;
    COLORREF textColor = 0;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    int stretchMode = BLACKONWHITE;
    int polyFillMode = ALTERNATE;
    int rop2 = R2_COPYPEN;
    int arcDirection = AD_COUNTERCLOCKWISE;
    UINT textAlign = 0;
    POINT viewportOrg{0, 0};
    POINT windowOrg{0, 0};
    POINT pos{0, 0};
};

class GdiDC : public GdiObject {
public:
    explicit GdiDC(bool memory) : GdiObject(memory ? ObjectKind::MemDC : ObjectKind::DC), memory(memory) {}
    ~GdiDC() override;

    bool memory;
    DCState state;
    std::vector<DCState> saved;
    // A surface DC draws into this bitmap; it is not a handle anyone can select or delete.
    std::unique_ptr<GdiBitmap> ownSurface;
    // Width and height a DC without pixels reports (the screen's DC).
    LONG nominalWidth = 0;
    LONG nominalHeight = 0;
    bool hasSystemClip = false;
    RegionData systemClip;  // device coordinates
    // The visible region as last worked out, with the clip and bounds it came from.
    struct Visible {
        std::shared_ptr<const RegionData> region, clip;
        RECT bounds{};
    };
    mutable Visible visible;
};

}  // namespace tikora::gdi
