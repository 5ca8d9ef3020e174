#pragma once
// The class library's drawing classes over the software GDI: colours, fonts, brushes, pens, the
// canvas of a device context, bitmaps and pictures.
#include <functional>
#include <memory>
#include <set>

#include "Classes.h"
#include "GdiText.h"
#include "WinGdi.h"

// A TColor is an RGB value (red in the low byte) or, with the high byte 0xFF, a system colour.
using TColor = int32_t;
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080, clNavy = 0x800000,
                 clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080, clSilver = 0xC0C0C0, clRed = 0x0000FF,
                 clLime = 0x00FF00, clYellow = 0x00FFFF, clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00,
                 clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clBtnShadow = clSystemColor | COLOR_BTNSHADOW;
constexpr TColor clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT;
constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
constexpr TColor clHighlightText = clSystemColor | COLOR_HIGHLIGHTTEXT;
constexpr TColor clGrayText = clSystemColor | COLOR_GRAYTEXT;
constexpr TColor clInfoBk = clSystemColor | COLOR_INFOBK;

// System colours through GetSysColor; clNone and clDefault give black.
COLORREF ColorToRGB(TColor color);

// A small set of enumeration values, as the class library's set types.
template <typename E>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> items) {
        for (E e : items) bits_ |= Bit(e);
    }
    constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
    constexpr TSet operator<<(E e) const {
        TSet s = *this;
        s.bits_ |= Bit(e);
        return s;
    }
    constexpr TSet operator>>(E e) const {
        TSet s = *this;
        s.bits_ &= ~Bit(e);
        return s;
    }
    TSet& operator<<=(E e) {
        bits_ |= Bit(e);
        return *this;
    }
    TSet& operator>>=(E e) {
        bits_ &= ~Bit(e);
        return *this;
    }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr uint32_t Bit(E e) { return 1u << static_cast<uint32_t>(e); }
    uint32_t bits_ = 0;
};

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
enum TBrushStyle { bsSolid, bsClear };
enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear };

class TGraphicsObject : public TObject {
public:
    TNotifyEvent OnChange;

protected:
    void Changed() {
        if (OnChange) OnChange(this);
    }
};

// A font: its description, and a GDI font handle made from it on demand. SetHandle gives the
// font a handle that it owns from then on, and takes its description from that handle.
class TFont : public TGraphicsObject {
public:
    TFont();
    ~TFont() override;
    void Assign(const TFont& source);

    HFONT Handle();
    void SetHandle(HFONT font);

    AnsiString Name() const { return AnsiString(lf_.lfFaceName); }
    void SetName(const AnsiString& name);
    int Size() const;  // points at 96 dpi
    void SetSize(int points);
    int Height() const { return lf_.lfHeight; }
    void SetHeight(int height);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TFontStyles Style() const;
    void SetStyle(TFontStyles style);
    BYTE Charset() const { return lf_.lfCharSet; }
    void SetCharset(BYTE charset);

private:
    void DescriptionChanged();
    LOGFONTA lf_{};
    TColor color_ = clWindowText;
    HFONT handle_ = nullptr;
};

class TBrush : public TGraphicsObject {
public:
    ~TBrush() override;
    void Assign(const TBrush& source);
    TColor Color() const { return color_; }
    void SetColor(TColor color);  // clNone makes the brush clear
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle style);
    HBRUSH Handle();

private:
    void Drop();
    TColor color_ = clWhite;
    TBrushStyle style_ = bsSolid;
    HBRUSH handle_ = nullptr;
};

class TPen : public TGraphicsObject {
public:
    ~TPen() override;
    void Assign(const TPen& source);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    int Width() const { return width_; }
    void SetWidth(int width);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle style);
    HPEN Handle();

private:
    void Drop();
    TColor color_ = clBlack;
    int width_ = 1;
    TPenStyle style_ = psSolid;
    HPEN handle_ = nullptr;
};

class TGraphic;

// Drawing on a device context. The DC comes from the canvas's owner (a bitmap, a control's
// surface); the canvas selects its font, brush and pen into it when they change: a new font
// brings its colour, a new brush its background (opaque in its colour, transparent when clear).
class TCanvas : public TObject {
public:
    TCanvas();
    ~TCanvas() override;

    // The DC with the canvas's objects selected.
    HDC Handle();
    void SetHandle(HDC dc);

    TFont* Font() { return &font_; }
    void SetFont(const TFont* font) {
        if (font) font_.Assign(*font);
    }
    TBrush* Brush() { return &brush_; }
    TPen* Pen() { return &pen_; }

    void Draw(int x, int y, TGraphic* graphic);
    void StretchDraw(const RECT& rect, TGraphic* graphic);
    void CopyRect(const RECT& dest, TCanvas* source, const RECT& sourceRect);
    void FillRect(const RECT& rect);
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const RECT& r) { Rectangle(r.left, r.top, r.right, r.bottom); }
    void Polygon(const POINT* points, int count);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void TextOut(int x, int y, const AnsiString& text);
    void TextRect(const RECT& rect, int x, int y, const AnsiString& text);
    SIZE TextExtent(const AnsiString& text);
    int TextWidth(const AnsiString& text) { return TextExtent(text).cx; }
    int TextHeight(const AnsiString& text) { return TextExtent(text).cy; }
    TColor Pixels(int x, int y);
    void SetPixels(int x, int y, TColor color);

    // Where the canvas gets its DC when it has none; the owner supplies it.
    std::function<HDC()> OnRequireHandle;
    // Called when the DC is taken away (SetHandle(nullptr)).
    std::function<void()> OnFreeHandle;

protected:
    void RequiredState();

private:
    void Deselect(HGDIOBJ& old);
    void DeselectAll();
    HDC dc_ = nullptr;
    HGDIOBJ oldFont_ = nullptr, oldBrush_ = nullptr, oldPen_ = nullptr;
    TFont font_;
    TBrush brush_;
    TPen pen_;
};

class TGraphic : public TObject {
public:
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const = 0;
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value) { transparent_ = value; }
    virtual void Draw(TCanvas* canvas, const RECT& rect) = 0;
    TNotifyEvent OnChange;

protected:
    bool transparent_ = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };
enum TBitmapHandleType { bmDIB, bmDDB };

// A bitmap over a GDI DIB section. Its canvas draws into the DIB through a memory DC.
class TBitmap : public TGraphic {
public:
    TBitmap();
    ~TBitmap() override;
    void Assign(const TBitmap& source);

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    bool Empty() const override { return handle_ == nullptr; }
    void SetWidth(int w) { SetSize(w, height_); }
    void SetHeight(int h) { SetSize(width_, h); }
    void SetSize(int w, int h);  // keeps the pixels of the common part, fills the rest white

    TPixelFormat PixelFormat() const { return format_; }
    void SetPixelFormat(TPixelFormat format);  // converts the pixels
    TBitmapHandleType HandleType() const { return handleType_; }
    void SetHandleType(TBitmapHandleType type) { handleType_ = type; }

    // Row y from the top, in the bitmap's own pixel format.
    void* ScanLine(int y);

    HBITMAP Handle() const { return handle_; }
    void SetHandle(HBITMAP bitmap);  // the bitmap owns it from now on
    HBITMAP ReleaseHandle();         // the caller owns it from now on; the bitmap becomes empty
    TCanvas* Canvas();

    TColor TransparentColor();                      // the bottom-left pixel
    void LoadFromFile(const AnsiString& fileName);  // BMP; raises EInvalidGraphic
    void Draw(TCanvas* canvas, const RECT& rect) override;

private:
    void Rebuild(int w, int h, TPixelFormat format, HBITMAP copyFrom);
    void DetachCanvas();
    HDC MemoryDC();
    void Changed();

    HBITMAP handle_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    TPixelFormat format_ = pfDevice;
    TBitmapHandleType handleType_ = bmDIB;
    HDC dc_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    std::unique_ptr<TCanvas> canvas_;
};

TIKORA_EXCEPTION_CLASS(EInvalidGraphic, Exception);

// Holds one graphic; here always a bitmap.
class TPicture : public TObject {
public:
    TPicture();
    ~TPicture() override;
    TBitmap* Bitmap();  // makes the picture hold a bitmap
    TGraphic* Graphic() const { return bitmap_.get(); }
    void SetGraphic(TGraphic* graphic);  // copies a bitmap; nullptr empties the picture
    void Assign(const TPicture& source);
    int Width() const { return bitmap_ ? bitmap_->Width() : 0; }
    int Height() const { return bitmap_ ? bitmap_->Height() : 0; }
    void LoadFromFile(const AnsiString& fileName);
    TNotifyEvent OnChange;

private:
    std::unique_ptr<TBitmap> bitmap_;
};
