#pragma once
// The software GDI: device contexts, bitmaps, DIB sections, blits, regions, clipping, brushes,
// pens and simple shapes over pixel buffers in memory.
//
// Device surfaces are 32 bits per pixel, bytes B, G, R and a 4th byte kept at 0, rows top-down,
// stride = width * 4: the layout of a Qt RGB32 image, which can wrap the pixels without copying.
// Memory DCs draw into whatever bitmap is selected (1, 4, 8, 16, 24 or 32 bits, DIB or not).
//
// Everything runs on the UI thread; the handle registry alone is locked.
#include <functional>
#include <vector>

#include "GdiObject.h"
#include "GdiTypes.h"

// ---- Objects
HGDIOBJ GetStockObject(int index);
BOOL DeleteObject(HGDIOBJ h);
int GetObjectA(HGDIOBJ h, int cb, LPVOID pv);
inline int GetObject(HGDIOBJ h, int cb, LPVOID pv) { return GetObjectA(h, cb, pv); }
DWORD GetObjectType(HGDIOBJ h);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
HGDIOBJ GetCurrentObject(HDC hdc, UINT type);

// ---- Device contexts
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
int SaveDC(HDC hdc);
BOOL RestoreDC(HDC hdc, int savedDC);
int GetDeviceCaps(HDC hdc, int index);
// Window DCs come from the forms layer (see tikora::gdi::SetWindowDCProvider); GetDC(nullptr)
// gives a DC of the screen, which has the screen's size and depth but no pixels to draw on.
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);

COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF GetBkColor(HDC hdc);
COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF GetTextColor(HDC hdc);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);
UINT SetTextAlign(HDC hdc, UINT align);
UINT GetTextAlign(HDC hdc);
int SetStretchBltMode(HDC hdc, int mode);
int GetStretchBltMode(HDC hdc);
int SetPolyFillMode(HDC hdc, int mode);
int GetPolyFillMode(HDC hdc);
int SetROP2(HDC hdc, int rop2);
int GetROP2(HDC hdc);

BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT old);
BOOL GetViewportOrgEx(HDC hdc, LPPOINT org);
BOOL SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT old);
BOOL GetWindowOrgEx(HDC hdc, LPPOINT org);
BOOL OffsetViewportOrgEx(HDC hdc, int dx, int dy, LPPOINT old);
BOOL LPtoDP(HDC hdc, LPPOINT points, int count);
BOOL DPtoLP(HDC hdc, LPPOINT points, int count);

// ---- Bitmaps
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits);
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE section, DWORD offset);
HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* header, DWORD init, const void* bits, const BITMAPINFO* bmi,
                       UINT usage);
int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO bmi, UINT usage);
int SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT lines, const void* bits, const BITMAPINFO* bmi, UINT usage);

// ---- Blits
BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop);
BOOL StretchBlt(HDC dst, int xDst, int yDst, int wDst, int hDst, HDC src, int xSrc, int ySrc, int wSrc, int hSrc,
                DWORD rop);
BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);
int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT startScan, UINT lines,
                      const void* bits, const BITMAPINFO* bmi, UINT usage);
int StretchDIBits(HDC hdc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* bmi, UINT usage, DWORD rop);
COLORREF GetPixel(HDC hdc, int x, int y);
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color);

// ---- Regions and clipping
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* rect);
HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode);
HRGN CreateEllipticRgn(int left, int top, int right, int bottom);
int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode);
int OffsetRgn(HRGN hrgn, int dx, int dy);
BOOL PtInRegion(HRGN hrgn, int x, int y);
BOOL RectInRegion(HRGN hrgn, const RECT* rect);
int GetRgnBox(HRGN hrgn, LPRECT rect);
BOOL EqualRgn(HRGN a, HRGN b);
BOOL SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom);
BOOL FillRgn(HDC hdc, HRGN hrgn, HBRUSH brush);

int SelectClipRgn(HDC hdc, HRGN hrgn);
int ExtSelectClipRgn(HDC hdc, HRGN hrgn, int mode);
int GetClipBox(HDC hdc, LPRECT rect);
int GetClipRgn(HDC hdc, HRGN hrgn);
int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
BOOL PtVisible(HDC hdc, int x, int y);

// ---- Brushes, pens and drawing
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateBrushIndirect(const LOGBRUSH* lb);
HBRUSH GetSysColorBrush(int index);
HPEN CreatePen(int style, int width, COLORREF color);
HPEN CreatePenIndirect(const LOGPEN* lp);

// The brush may also be a system colour index + 1, as (HBRUSH)(COLOR_WINDOW + 1).
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush);
BOOL InvertRect(HDC hdc, const RECT* rect);
BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom);
BOOL Polygon(HDC hdc, const POINT* points, int count);
BOOL Polyline(HDC hdc, const POINT* points, int count);
BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT old);
BOOL LineTo(HDC hdc, int x, int y);
BOOL GetCurrentPositionEx(HDC hdc, LPPOINT pos);
// Arcs of the ellipse inscribed in a box, from where the ray from its centre through the start
// point meets it to where the ray through the end point does, in the DC's arc direction (the
// same ray twice: the whole ellipse). A pie adds the centre, a chord joins the ends; both are
// filled with the brush, and every outline is drawn with the pen.
BOOL Arc(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
BOOL Pie(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
BOOL Chord(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
// A line from the current position to the arc's start, then the arc; the arc's end becomes the
// current position.
BOOL ArcTo(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
// A line from the current position to the start of a circular arc given by centre, radius and
// angles in degrees (counterclockwise for positive angles, whatever the arc direction).
BOOL AngleArc(HDC hdc, int x, int y, DWORD radius, float startAngle, float sweepAngle);
int SetArcDirection(HDC hdc, int direction);
int GetArcDirection(HDC hdc);

// ---- System colours (a fixed light theme)
DWORD GetSysColor(int index);

// ---- Rectangle helpers
BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom);
BOOL SetRectEmpty(LPRECT rect);
BOOL IsRectEmpty(const RECT* rect);
BOOL IntersectRect(LPRECT dst, const RECT* a, const RECT* b);
BOOL UnionRect(LPRECT dst, const RECT* a, const RECT* b);
BOOL OffsetRect(LPRECT rect, int dx, int dy);
BOOL InflateRect(LPRECT rect, int dx, int dy);
BOOL PtInRect(const RECT* rect, POINT pt);
BOOL EqualRect(const RECT* a, const RECT* b);
BOOL CopyRect(LPRECT dst, const RECT* src);

// ---- What the forms and text layers need beyond the Windows calls
namespace tikora::gdi {

// A DC over 32-bit pixels that someone else owns (a control's persistent surface): B, G, R and
// the 4th byte at 0, rows top-down, strideBytes apart (at least width * 4). The DC never frees
// the pixels; delete it with DeleteDC before they go. Null for a bad size or a null pointer.
HDC CreateSurfaceDC(uint32_t* pixels, int width, int height, int strideBytes);

// The pixels a DC draws into (its surface, or the bitmap selected into a memory DC). scan0 is
// the top row; pitch is the signed distance from one row to the next below it (negative for a
// bottom-up DIB). False when the handle is not a live DC or the DC has no pixels.
struct SurfaceView {
    BYTE* scan0 = nullptr;
    LONG width = 0;
    LONG height = 0;
    LONG pitch = 0;
    WORD bitCount = 0;
};
bool GetDCSurface(HDC hdc, SurfaceView* view);
bool GetBitmapSurface(HBITMAP hbm, SurfaceView* view);

// A region's rectangles in y-x band order (empty for a null or dead handle).
std::vector<RECT> GetRegionRects(HRGN hrgn);
// The union of rectangles as one region, as ExtCreateRegion makes it from a rectangle list:
// each rectangle normalised, empty ones left out, all of them sorted and merged at once.
HRGN CreateRectsRgn(const RECT* rects, size_t count);
// How much there is of a region: combining it with another walks its bands and rectangles.
struct RegionSize {
    size_t bands = 0;
    size_t rects = 0;
};
RegionSize GetRegionSize(HRGN hrgn);    // nothing for a null or dead handle
RegionSize GetClipRegionSize(HDC hdc);  // the DC's clip region's; nothing without one

// The rectangles a DC may draw into, in device coordinates: its pixels' bounds, the system clip
// and the clip region intersected.
std::vector<RECT> GetClipRects(HDC hdc);

// The part of the clip that the window system sets (BeginPaint's update region), apart from the
// program's own clip region: ExtSelectClipRgn never widens past it. nullptr removes it.
// The region is copied, in device coordinates.
void SetSystemClipRegion(HDC hdc, HRGN hrgn);

// Fills a rectangle (logical coordinates) with one colour through the clip; the text part's
// opaque background.
void FillSolidRect(HDC hdc, const RECT& rect, COLORREF color);

// Paints a colour through a coverage mask (0 = untouched, 255 = the colour), mask pixel (0, 0)
// at device point (x, y), through the clip, whatever the target's format. On 32-bit targets
// the 4th byte of touched pixels becomes 0. The text part draws glyphs with it.
void BlendCoverage(HDC hdc, int x, int y, int width, int height, const BYTE* coverage, int coverageStride,
                   COLORREF color);

// The nearest colour the DC's target can show (its palette's for palette bitmaps).
COLORREF NearestColor(HDC hdc, COLORREF color);

// GetDC and ReleaseDC for real windows are the forms layer's; it registers them here.
void SetWindowDCProvider(std::function<HDC(HWND)> getDC, std::function<int(HWND, HDC)> releaseDC);

// The screen that HORZRES/VERTRES and the screen DC report (1920 x 1080 until set).
void SetScreenSize(int width, int height);

// The points along an elliptical arc, in any coordinates whose y axis points down: the ellipse
// inscribed in (left, top, right, bottom), from the ray through (xStart, yStart) to the ray
// through (xEnd, yEnd), counterclockwise as seen on the screen unless `clockwise` (equal rays
// give the whole ellipse). `segments` is the number of lines a whole ellipse would take. The
// metafile player flattens arcs with it in its own coordinates.
struct PointF {
    double x;
    double y;
};
std::vector<PointF> ArcPoints(double left, double top, double right, double bottom, double xStart, double yStart,
                              double xEnd, double yEnd, bool clockwise, int segments);

// Fills a polygon whose corners may lie between pixels (logical coordinates) with the DC's brush,
// fill mode and raster operation through the clip, without an outline: pixel (x, y) is filled
// when the point (x, y) is inside, or on a top or left edge. The metafile player fills its wide
// lines with it. FALSE for fewer than three points or a corner beyond +-2^30 or not finite.
BOOL FillPolygonF(HDC hdc, const PointF* points, int count);

// Text without fonts: this library has none; the text part (platform/gdi/text) installs a
// renderer when it is linked in. One run of text in a font described here, all in device pixels.
struct TextRun {
    const char16_t* text = nullptr;  // UTF-16
    int length = 0;
    // Advance from each character to the next (null: the font's own), plus charExtra each.
    const int* advances = nullptr;
    int charExtra = 0;
    // LOGFONT rules: negative is the character height, positive the cell height, 0 a default.
    int height = 0;
    int width = 0;  // average character width, 0 for the font's own
    int weight = 0;
    bool italic = false, underline = false, strikeOut = false;
    double angle = 0;       // degrees, counterclockwise, of the baseline
    const char* face = "";  // UTF-8
    COLORREF color = 0;
};
struct TextRunMetrics {
    int advance = 0;  // along the baseline
    int ascent = 0;
    int descent = 0;
};
// Measures the run and, when `draw`, paints its glyphs through the DC's clip with the top-left
// corner of the unrotated text cell at device point (x, y), turned by the run's angle about it.
using TextRunRenderer = bool (*)(HDC hdc, const TextRun& run, int x, int y, bool draw, TextRunMetrics* metrics);
void SetTextRunRenderer(TextRunRenderer renderer);
// Null until a text part has installed one.
TextRunRenderer GetTextRunRenderer();
}  // namespace tikora::gdi
