#include "Graphics.h"

#include <algorithm>
#include <cstring>
#include <vector>

COLORREF ColorToRGB(TColor color) {
    if (color == clNone || color == clDefault) return 0;
    if ((static_cast<uint32_t>(color) & 0xFF000000u) == 0xFF000000u) return GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color) & 0xFFFFFF;
}

// ---- TFont

TFont::TFont() {
    lf_.lfHeight = -11;
    lf_.lfWeight = FW_NORMAL;
    lf_.lfCharSet = DEFAULT_CHARSET;
    std::strcpy(lf_.lfFaceName, "MS Sans Serif");
}

TFont::~TFont() {
    if (handle_) DeleteObject(handle_);
}

void TFont::DescriptionChanged() {
    if (handle_) {
        DeleteObject(handle_);
        handle_ = nullptr;
    }
    Changed();
}

void TFont::Assign(const TFont& source) {
    if (&source == this) return;
    lf_ = source.lf_;
    color_ = source.color_;
    DescriptionChanged();
}

HFONT TFont::Handle() {
    if (!handle_) handle_ = CreateFontIndirectA(&lf_);
    return handle_;
}

void TFont::SetHandle(HFONT font) {
    if (font == handle_) return;
    LOGFONTA lf{};
    if (font && GetObjectA(font, sizeof(lf), &lf) == static_cast<int>(sizeof(lf))) lf_ = lf;
    if (handle_) DeleteObject(handle_);
    handle_ = font;
    Changed();
}

void TFont::SetName(const AnsiString& name) {
    std::memset(lf_.lfFaceName, 0, sizeof(lf_.lfFaceName));
    std::strncpy(lf_.lfFaceName, name.c_str(), LF_FACESIZE - 1);
    DescriptionChanged();
}

int TFont::Size() const {
    int h = lf_.lfHeight < 0 ? -lf_.lfHeight : lf_.lfHeight;
    return (h * 72 + 48) / 96;
}

void TFont::SetSize(int points) { SetHeight(-((points * 96 + 36) / 72)); }

void TFont::SetHeight(int height) {
    if (height == lf_.lfHeight) return;
    lf_.lfHeight = height;
    DescriptionChanged();
}

void TFont::SetColor(TColor color) {
    if (color == color_) return;
    color_ = color;
    Changed();
}

TFontStyles TFont::Style() const {
    TFontStyles s;
    if (lf_.lfWeight >= FW_BOLD) s <<= fsBold;
    if (lf_.lfItalic) s <<= fsItalic;
    if (lf_.lfUnderline) s <<= fsUnderline;
    if (lf_.lfStrikeOut) s <<= fsStrikeOut;
    return s;
}

void TFont::SetStyle(TFontStyles style) {
    lf_.lfWeight = style.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf_.lfItalic = style.Contains(fsItalic);
    lf_.lfUnderline = style.Contains(fsUnderline);
    lf_.lfStrikeOut = style.Contains(fsStrikeOut);
    DescriptionChanged();
}

void TFont::SetCharset(BYTE charset) {
    lf_.lfCharSet = charset;
    DescriptionChanged();
}

// ---- TBrush, TPen

TBrush::~TBrush() { Drop(); }
void TBrush::Drop() {
    if (handle_) DeleteObject(handle_);
    handle_ = nullptr;
}
void TBrush::Assign(const TBrush& source) {
    color_ = source.color_;
    style_ = source.style_;
    Drop();
    Changed();
}
void TBrush::SetColor(TColor color) {
    if (color == color_ && handle_) return;
    color_ = color;
    if (color == clNone)
        style_ = bsClear;
    else if (style_ == bsClear)
        style_ = bsSolid;
    Drop();
    Changed();
}
void TBrush::SetStyle(TBrushStyle style) {
    style_ = style;
    Drop();
    Changed();
}
HBRUSH TBrush::Handle() {
    if (!handle_) {
        LOGBRUSH lb{};
        lb.lbStyle = style_ == bsClear ? BS_NULL : BS_SOLID;
        lb.lbColor = ColorToRGB(color_);
        handle_ = CreateBrushIndirect(&lb);
    }
    return handle_;
}

TPen::~TPen() { Drop(); }
void TPen::Drop() {
    if (handle_) DeleteObject(handle_);
    handle_ = nullptr;
}
void TPen::Assign(const TPen& source) {
    color_ = source.color_;
    width_ = source.width_;
    style_ = source.style_;
    Drop();
    Changed();
}
void TPen::SetColor(TColor color) {
    color_ = color;
    Drop();
    Changed();
}
void TPen::SetWidth(int width) {
    width_ = width;
    Drop();
    Changed();
}
void TPen::SetStyle(TPenStyle style) {
    style_ = style;
    Drop();
    Changed();
}
HPEN TPen::Handle() {
    if (!handle_) {
        static const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL};
        handle_ = CreatePen(styles[style_], width_, ColorToRGB(color_));
    }
    return handle_;
}

// ---- TCanvas

TCanvas::TCanvas() {
    // A changed drawing object is selected again before the next operation; the others, and what
    // was set on the DC directly (a transparent background mode), stay as they are.
    font_.OnChange = [this](TObject*) { Deselect(oldFont_); };
    brush_.OnChange = [this](TObject*) { Deselect(oldBrush_); };
    pen_.OnChange = [this](TObject*) { Deselect(oldPen_); };
}

TCanvas::~TCanvas() { SetHandle(nullptr); }

HDC TCanvas::Handle() {
    // Whoever draws on the DC directly finds the canvas's objects in it, and what they set on
    // the DC then holds for the canvas's own operations.
    RequiredState();
    return dc_;
}

void TCanvas::Deselect(HGDIOBJ& old) {
    if (dc_ && old) SelectObject(dc_, old);
    old = nullptr;
}

void TCanvas::DeselectAll() {
    Deselect(oldFont_);
    Deselect(oldBrush_);
    Deselect(oldPen_);
}

void TCanvas::SetHandle(HDC dc) {
    if (dc == dc_) return;
    DeselectAll();
    bool had = dc_ != nullptr;
    dc_ = dc;
    if (had && !dc && OnFreeHandle) OnFreeHandle();
}

void TCanvas::RequiredState() {
    if (!dc_ && OnRequireHandle) SetHandle(OnRequireHandle());
    if (!dc_) return;
    if (!oldFont_) {
        oldFont_ = SelectObject(dc_, font_.Handle());
        SetTextColor(dc_, ColorToRGB(font_.Color()));
    }
    if (!oldBrush_) {
        oldBrush_ = SelectObject(dc_, brush_.Handle());
        // Text and hatch backgrounds follow the brush: its colour when solid, nothing when clear.
        if (brush_.Style() == bsClear) {
            SetBkMode(dc_, TRANSPARENT);
        } else {
            SetBkColor(dc_, ColorToRGB(brush_.Color()));
            SetBkMode(dc_, OPAQUE);
        }
    }
    if (!oldPen_) oldPen_ = SelectObject(dc_, pen_.Handle());
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
    if (!graphic || graphic->Empty()) return;
    RequiredState();
    graphic->Draw(this, RECT{x, y, x + graphic->Width(), y + graphic->Height()});
}

void TCanvas::StretchDraw(const RECT& rect, TGraphic* graphic) {
    if (!graphic || graphic->Empty()) return;
    RequiredState();
    graphic->Draw(this, rect);
}

void TCanvas::CopyRect(const RECT& dest, TCanvas* source, const RECT& sourceRect) {
    if (!source) return;
    RequiredState();
    source->RequiredState();
    int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    int sw = sourceRect.right - sourceRect.left, sh = sourceRect.bottom - sourceRect.top;
    if (dw == sw && dh == sh)
        BitBlt(dc_, dest.left, dest.top, dw, dh, source->Handle(), sourceRect.left, sourceRect.top, SRCCOPY);
    else
        StretchBlt(dc_, dest.left, dest.top, dw, dh, source->Handle(), sourceRect.left, sourceRect.top, sw, sh,
                   SRCCOPY);
}

void TCanvas::FillRect(const RECT& rect) {
    RequiredState();
    if (dc_ && brush_.Style() != bsClear) ::FillRect(dc_, &rect, brush_.Handle());
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    RequiredState();
    if (dc_) ::Rectangle(dc_, x1, y1, x2, y2);
}

void TCanvas::Polygon(const POINT* points, int count) {
    RequiredState();
    if (dc_) ::Polygon(dc_, points, count);
}

void TCanvas::MoveTo(int x, int y) {
    RequiredState();
    if (dc_) MoveToEx(dc_, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
    RequiredState();
    if (dc_) ::LineTo(dc_, x, y);
}

void TCanvas::TextOut(int x, int y, const AnsiString& text) {
    RequiredState();
    if (dc_) TextOutA(dc_, x, y, text.c_str(), text.Length());
}

void TCanvas::TextRect(const RECT& rect, int x, int y, const AnsiString& text) {
    RequiredState();
    if (!dc_) return;
    int saved = SaveDC(dc_);
    IntersectClipRect(dc_, rect.left, rect.top, rect.right, rect.bottom);
    TextOutA(dc_, x, y, text.c_str(), text.Length());
    RestoreDC(dc_, saved);
}

SIZE TCanvas::TextExtent(const AnsiString& text) {
    SIZE s{0, 0};
    RequiredState();
    if (dc_) GetTextExtentPoint32A(dc_, text.c_str(), text.Length(), &s);
    return s;
}

TColor TCanvas::Pixels(int x, int y) {
    RequiredState();
    return dc_ ? static_cast<TColor>(GetPixel(dc_, x, y)) : clBlack;
}

void TCanvas::SetPixels(int x, int y, TColor color) {
    RequiredState();
    if (dc_) SetPixel(dc_, x, y, ColorToRGB(color));
}

// ---- TBitmap

namespace {
int BitsOf(TPixelFormat f) {
    switch (f) {
        case pf1bit:
            return 1;
        case pf4bit:
            return 4;
        case pf8bit:
            return 8;
        case pf15bit:
        case pf16bit:
            return 16;
        case pf24bit:
            return 24;
        default:
            return 32;
    }
}

TPixelFormat FormatOf(int bits) {
    switch (bits) {
        case 1:
            return pf1bit;
        case 4:
            return pf4bit;
        case 8:
            return pf8bit;
        case 16:
            return pf16bit;
        case 24:
            return pf24bit;
        default:
            return pf32bit;
    }
}

HBITMAP MakeDIB(int w, int h, int bits) {
    std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
    bmi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi->bmiHeader.biWidth = w;
    bmi->bmiHeader.biHeight = -h;
    bmi->bmiHeader.biPlanes = 1;
    bmi->bmiHeader.biBitCount = static_cast<WORD>(bits);
    bmi->bmiHeader.biCompression = BI_RGB;
    if (bits <= 8) {
        int n = 1 << bits;
        RGBQUAD* pal = bmi->bmiColors;
        for (int i = 0; i < n; ++i) {
            BYTE v = static_cast<BYTE>(n == 2 ? i * 255 : (i * 255) / (n - 1));
            pal[i] = RGBQUAD{v, v, v, 0};
        }
        bmi->bmiHeader.biClrUsed = static_cast<DWORD>(n);
    }
    void* pixels = nullptr;
    return CreateDIBSection(nullptr, bmi, DIB_RGB_COLORS, &pixels, nullptr, 0);
}
}  // namespace

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
    DetachCanvas();
    if (handle_) DeleteObject(handle_);
}

void TBitmap::DetachCanvas() {
    if (canvas_) canvas_->SetHandle(nullptr);
    if (dc_) {
        SelectObject(dc_, oldBitmap_);
        DeleteDC(dc_);
        dc_ = nullptr;
        oldBitmap_ = nullptr;
    }
}

HDC TBitmap::MemoryDC() {
    if (!dc_ && handle_) {
        dc_ = CreateCompatibleDC(nullptr);
        oldBitmap_ = SelectObject(dc_, handle_);
    }
    return dc_;
}

void TBitmap::Changed() {
    if (OnChange) OnChange(this);
}

TCanvas* TBitmap::Canvas() {
    if (!canvas_) {
        canvas_ = std::make_unique<TCanvas>();
        canvas_->OnRequireHandle = [this] { return MemoryDC(); };
    }
    return canvas_.get();
}

void TBitmap::Rebuild(int w, int h, TPixelFormat format, HBITMAP copyFrom) {
    // A bitmap is selected into one DC at a time: the canvas lets go of the old one before it is
    // copied from.
    DetachCanvas();
    HBITMAP fresh = (w > 0 && h > 0) ? MakeDIB(w, h, BitsOf(format)) : nullptr;
    if (fresh) {
        HDC dst = CreateCompatibleDC(nullptr);
        HGDIOBJ oldDst = SelectObject(dst, fresh);
        RECT all{0, 0, w, h};
        HBRUSH white = CreateSolidBrush(0xFFFFFF);
        ::FillRect(dst, &all, white);
        DeleteObject(white);
        if (copyFrom) {
            HDC src = CreateCompatibleDC(nullptr);
            HGDIOBJ oldSrc = SelectObject(src, copyFrom);
            BitBlt(dst, 0, 0, std::min(w, width_), std::min(h, height_), src, 0, 0, SRCCOPY);
            SelectObject(src, oldSrc);
            DeleteDC(src);
        }
        SelectObject(dst, oldDst);
        DeleteDC(dst);
    }
    DetachCanvas();
    if (handle_) DeleteObject(handle_);
    handle_ = fresh;
    width_ = fresh ? w : 0;
    height_ = fresh ? h : 0;
    format_ = format;
    Changed();
}

void TBitmap::SetSize(int w, int h) {
    if (w == width_ && h == height_ && (handle_ || w <= 0 || h <= 0)) return;
    Rebuild(w, h, format_, handle_);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == format_) return;
    if (!handle_) {
        format_ = format;
        return;
    }
    Rebuild(width_, height_, format, handle_);
}

void* TBitmap::ScanLine(int y) {
    tikora::gdi::SurfaceView v;
    if (!handle_ || y < 0 || y >= height_ || !tikora::gdi::GetBitmapSurface(handle_, &v))
        throw EInvalidGraphic("Scan line index out of range");
    return v.scan0 + static_cast<int64_t>(y) * v.pitch;
}

void TBitmap::SetHandle(HBITMAP bitmap) {
    if (bitmap == handle_) return;
    DetachCanvas();
    if (handle_) DeleteObject(handle_);
    handle_ = bitmap;
    width_ = height_ = 0;
    tikora::gdi::SurfaceView v;
    if (bitmap && tikora::gdi::GetBitmapSurface(bitmap, &v)) {
        width_ = v.width;
        height_ = v.height;
        format_ = FormatOf(v.bitCount);
    }
    Changed();
}

HBITMAP TBitmap::ReleaseHandle() {
    DetachCanvas();
    HBITMAP h = handle_;
    handle_ = nullptr;
    width_ = height_ = 0;
    return h;
}

void TBitmap::Assign(const TBitmap& source) {
    if (&source == this) return;
    HBITMAP copy = nullptr;
    if (source.handle_) {
        copy = MakeDIB(source.width_, source.height_, BitsOf(source.format_));
        HDC dst = CreateCompatibleDC(nullptr), src = CreateCompatibleDC(nullptr);
        HGDIOBJ od = SelectObject(dst, copy);
        // The source may have its bitmap selected into its own DC already; blit from there then.
        HDC from = source.dc_ ? source.dc_ : src;
        HGDIOBJ os = source.dc_ ? nullptr : SelectObject(src, source.handle_);
        BitBlt(dst, 0, 0, source.width_, source.height_, from, 0, 0, SRCCOPY);
        if (os) SelectObject(src, os);
        SelectObject(dst, od);
        DeleteDC(src);
        DeleteDC(dst);
    }
    SetHandle(copy);
    format_ = source.format_;
    transparent_ = source.transparent_;
    handleType_ = source.handleType_;
}

TColor TBitmap::TransparentColor() {
    if (!handle_) return clWhite;
    return static_cast<TColor>(GetPixel(MemoryDC(), 0, height_ - 1));
}

void TBitmap::Draw(TCanvas* canvas, const RECT& rect) {
    HDC src = MemoryDC();
    HDC dst = canvas->Handle();
    if (!src || !dst) return;
    int w = rect.right - rect.left, h = rect.bottom - rect.top;
    SetStretchBltMode(dst, COLORONCOLOR);
    if (!transparent_) {
        if (w == width_ && h == height_)
            BitBlt(dst, rect.left, rect.top, w, h, src, 0, 0, SRCCOPY);
        else
            StretchBlt(dst, rect.left, rect.top, w, h, src, 0, 0, width_, height_, SRCCOPY);
        return;
    }
    // Transparent: every pixel but those of the transparent colour, through a region mask made in
    // the target's size (a stretched pixel takes the colour of its source pixel).
    if (w <= 0 || h <= 0) return;
    COLORREF key = static_cast<COLORREF>(TransparentColor()) & 0xFFFFFF;
    std::vector<int> sourceX(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x)
        sourceX[static_cast<size_t>(x)] = static_cast<int>(static_cast<int64_t>(x) * width_ / w);
    HRGN mask = CreateRectRgn(0, 0, 0, 0);
    for (int y = 0; y < h; ++y) {
        int sy = static_cast<int>(static_cast<int64_t>(y) * height_ / h);
        int run = -1;
        for (int x = 0; x <= w; ++x) {
            bool in = x < w && (GetPixel(src, sourceX[static_cast<size_t>(x)], sy) & 0xFFFFFF) != key;
            if (in && run < 0) run = x;
            if (!in && run >= 0) {
                HRGN r = CreateRectRgn(run, y, x, y + 1);
                CombineRgn(mask, mask, r, RGN_OR);
                DeleteObject(r);
                run = -1;
            }
        }
    }
    POINT org{rect.left, rect.top};
    LPtoDP(dst, &org, 1);
    OffsetRgn(mask, org.x, org.y);
    int saved = SaveDC(dst);
    ExtSelectClipRgn(dst, mask, RGN_AND);
    if (w == width_ && h == height_)
        BitBlt(dst, rect.left, rect.top, w, h, src, 0, 0, SRCCOPY);
    else
        StretchBlt(dst, rect.left, rect.top, w, h, src, 0, 0, width_, height_, SRCCOPY);
    RestoreDC(dst, saved);
    DeleteObject(mask);
}

void TBitmap::LoadFromFile(const AnsiString& fileName) {
    TMemoryStream s;
    s.LoadFromFile(fileName);
    const BYTE* p = static_cast<const BYTE*>(s.Memory());
    int64_t size = s.Size();
    auto u16 = [&](int64_t o) { return static_cast<uint32_t>(p[o] | (p[o + 1] << 8)); };
    auto u32 = [&](int64_t o) { return u16(o) | (u16(o + 2) << 16); };
    if (size < 54 || p[0] != 'B' || p[1] != 'M') throw EInvalidGraphic("Bitmap image is not valid");
    uint32_t offBits = u32(10);
    uint32_t hdrSize = u32(14);
    if (hdrSize < 40 || 14 + static_cast<int64_t>(hdrSize) > size) throw EInvalidGraphic("Bitmap image is not valid");
    int32_t w = static_cast<int32_t>(u32(18));
    int32_t h = static_cast<int32_t>(u32(22));
    uint32_t bits = u16(28);
    uint32_t compression = u32(30);
    uint32_t clrUsed = u32(46);
    if (w <= 0 || h == 0 || compression != BI_RGB || (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32))
        throw EInvalidGraphic("Bitmap image is not valid");
    int64_t absH = h < 0 ? -static_cast<int64_t>(h) : h;
    int64_t stride = ((static_cast<int64_t>(w) * bits + 31) / 32) * 4;
    if (static_cast<int64_t>(offBits) + stride * absH > size) throw EInvalidGraphic("Bitmap image is not valid");
    uint32_t colors = bits <= 8 ? (clrUsed ? std::min<uint32_t>(clrUsed, 1u << bits) : 1u << bits) : 0;
    if (14 + static_cast<int64_t>(hdrSize) + colors * 4 > size) throw EInvalidGraphic("Bitmap image is not valid");
    std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
    bmi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi->bmiHeader.biWidth = w;
    bmi->bmiHeader.biHeight = h;
    bmi->bmiHeader.biPlanes = 1;
    bmi->bmiHeader.biBitCount = static_cast<WORD>(bits);
    bmi->bmiHeader.biCompression = BI_RGB;
    bmi->bmiHeader.biClrUsed = colors;
    for (uint32_t i = 0; i < colors; ++i) {
        int64_t o = 14 + hdrSize + i * 4;
        bmi->bmiColors[i] = RGBQUAD{p[o], p[o + 1], p[o + 2], 0};
    }
    void* pixels = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, bmi, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!dib || !pixels) throw EInvalidGraphic("Bitmap image is not valid");
    std::memcpy(pixels, p + offBits, static_cast<size_t>(stride * absH));
    SetHandle(dib);
}

// ---- TPicture

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

TBitmap* TPicture::Bitmap() {
    if (!bitmap_) {
        bitmap_ = std::make_unique<TBitmap>();
        bitmap_->OnChange = [this](TObject*) {
            if (OnChange) OnChange(this);
        };
    }
    return bitmap_.get();
}

void TPicture::SetGraphic(TGraphic* graphic) {
    if (!graphic) {
        bitmap_.reset();
        if (OnChange) OnChange(this);
        return;
    }
    if (auto* b = dynamic_cast<TBitmap*>(graphic)) Bitmap()->Assign(*b);
}

void TPicture::Assign(const TPicture& source) {
    if (&source == this) return;
    SetGraphic(source.bitmap_.get());
}

void TPicture::LoadFromFile(const AnsiString& fileName) { Bitmap()->LoadFromFile(fileName); }
