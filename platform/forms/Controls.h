#pragma once
// Components and controls of the class library. Every windowed control is a Qt widget driven by
// our dispatcher: Qt's events become window messages handed to the control's virtual Dispatch,
// whose default handling raises MouseDown, Click, Paint and the rest in the class library's order.
// Controls that draw themselves keep a persistent 32-bit surface that their canvas draws into.
#include <memory>
#include <vector>

#include "Classes.h"
#include "Graphics.h"
#include "Messages.h"
#include "WinTypes.h"

class QWidget;
class TWinControl;

constexpr UINT WM_SIZE = 0x0005, WM_SETFOCUS = 0x0007, WM_KILLFOCUS = 0x0008, WM_PAINT = 0x000F, WM_CLOSE = 0x0010,
               WM_ERASEBKGND = 0x0014, WM_CANCELMODE = 0x001F, WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101, WM_CHAR = 0x0102,
               WM_SYSKEYDOWN = 0x0104, WM_SYSKEYUP = 0x0105, WM_SYSCHAR = 0x0106, WM_SYSCOMMAND = 0x0112,
               WM_TIMER = 0x0113, WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202,
               WM_LBUTTONDBLCLK = 0x0203, WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205, WM_RBUTTONDBLCLK = 0x0206,
               WM_MBUTTONDOWN = 0x0207, WM_MBUTTONUP = 0x0208, WM_MBUTTONDBLCLK = 0x0209, WM_CAPTURECHANGED = 0x0215,
               WM_MOUSEHOVER = 0x02A1, WM_MOUSELEAVE = 0x02A3;
constexpr WPARAM MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08, MK_MBUTTON = 0x10;
constexpr WPARAM SC_MOVE = 0xF010;

// Virtual-key codes.
constexpr WORD VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12,
               VK_PAUSE = 0x13, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23,
               VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D,
               VK_DELETE = 0x2E, VK_NUMPAD0 = 0x60, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SUBTRACT = 0x6D,
               VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F, VK_F1 = 0x70, VK_OEM_1 = 0xBA, VK_OEM_PLUS = 0xBB,
               VK_OEM_COMMA = 0xBC, VK_OEM_MINUS = 0xBD, VK_OEM_PERIOD = 0xBE, VK_OEM_2 = 0xBF, VK_OEM_3 = 0xC0,
               VK_OEM_4 = 0xDB, VK_OEM_5 = 0xDC, VK_OEM_6 = 0xDD, VK_OEM_7 = 0xDE;

struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

struct tagMSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;
    POINT pt{0, 0};
};
using MSG = tagMSG;

enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TControlStyleItem {
    csAcceptsControls,
    csCaptureMouse,
    csDesignInteractive,
    csClickEvents,
    csFramed,
    csSetCaption,
    csOpaque,
    csDoubleClicks
};
using TControlStyle = TSet<TControlStyleItem>;
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
using TCursor = int16_t;
constexpr TCursor crDefault = 0, crArrow = -2, crCross = -3, crIBeam = -4, crSizeAll = -22, crHourGlass = -11,
                  crHandPoint = -21;

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

// Tracking of hover and leave reports (posted as WM_MOUSEHOVER and WM_MOUSELEAVE).
constexpr DWORD TME_HOVER = 0x1, TME_LEAVE = 0x2, TME_CANCEL = 0x80000000u;
constexpr DWORD HOVER_DEFAULT = 0xFFFFFFFFu;
struct TRACKMOUSEEVENT {
    DWORD cbSize;
    DWORD dwFlags;
    HWND hwndTrack;
    DWORD dwHoverTime;
};
BOOL TrackMouseEvent(TRACKMOUSEEVENT* track);

HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
// The window takes over the region (and deletes it); nullptr removes the shape.
int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw);

struct PAINTSTRUCT {
    HDC hdc = nullptr;
    BOOL fErase = FALSE;
    RECT rcPaint{0, 0, 0, 0};
};
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent* Owner() const { return owner_; }
    const AnsiString& Name() const { return name_; }
    void SetName(const AnsiString& name) { name_ = name; }
    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)).get(); }
    // Runs once the component's stored properties are set (forms call it from AfterConstruction).
    virtual void Loaded() { loaded_ = true; }
    // Runs before any destructor when the owner frees the component (and for a form closed with
    // caFree), while the whole object is still there.
    virtual void BeforeDestruction() {}
    bool IsLoaded() const { return loaded_; }

protected:
    void DestroyComponents();

private:
    TComponent* owner_ = nullptr;
    std::vector<std::unique_ptr<TComponent>> components_;
    AnsiString name_;
    int tag_ = 0;
    bool loaded_ = false;
};

class TControl : public TComponent {
public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    // The message entry: the default handling runs the class library's reactions.
    virtual void Dispatch(TMessage& Message);
    LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);

    TWinControl* Parent() const { return parent_; }
    virtual void SetParent(TWinControl* parent);

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    virtual void SetBounds(int left, int top, int width, int height);
    RECT BoundsRect() const { return RECT{left_, top_, left_ + width_, top_ + height_}; }
    virtual int ClientWidth() const { return width_; }
    virtual int ClientHeight() const { return height_; }
    void SetClientWidth(int w) { SetBounds(left_, top_, w + width_ - ClientWidth(), height_); }
    void SetClientHeight(int h) { SetBounds(left_, top_, width_, h + height_ - ClientHeight()); }
    RECT ClientRect() const { return RECT{0, 0, ClientWidth(), ClientHeight()}; }
    POINT ClientToScreen(POINT p) const;
    POINT ScreenToClient(POINT p) const;

    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible, and every parent up to the form visible too.
    bool Showing() const;
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool value);
    TColor Color() const { return color_; }
    virtual void SetColor(TColor color);
    const AnsiString& Caption() const { return caption_; }
    void SetCaption(const AnsiString& caption) { SetText(caption); }
    // The control's text goes through GetControlText and SetControlText, so a derived class may
    // name its own methods Text and SetText without taking the caption's place.
    AnsiString Text() const { return GetControlText(); }
    void SetText(const AnsiString& text) { SetControlText(text); }
    virtual AnsiString GetControlText() const { return caption_; }
    virtual void SetControlText(const AnsiString& text);
    TFont* Font() { return &font_; }
    void SetFont(const TFont* font) {
        if (font) font_.Assign(*font);
    }
    const AnsiString& Hint() const { return hint_; }
    void SetHint(const AnsiString& hint);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool value);
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a) {
        alignment_ = a;
        Invalidate();
    }
    TControlStyle ControlStyle() const { return controlStyle_; }
    void SetControlStyle(TControlStyle style) { controlStyle_ = style; }

    bool MouseCapture() const;
    void SetMouseCapture(bool value);

    virtual void Invalidate();
    // Paints at once.
    virtual void Repaint();
    void Refresh() { Repaint(); }
    void BringToFront();

    // Dynamic operations and the events they raise.
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void Click();
    virtual void DblClick();
    virtual void Resize();

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnResize;

protected:
    virtual void VisibleChanged() {}
    virtual void TextChanged() { Invalidate(); }
    TControlStyle controlStyle_{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};

private:
    friend class TWinControl;
    void MouseButtonDown(TMessage& m, TMouseButton button, bool doubleClick);
    void MouseButtonUp(TMessage& m, TMouseButton button);

    TWinControl* parent_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
    bool clicked_ = false;
    TColor color_ = clBtnFace;
    AnsiString caption_;
    TFont font_;
    AnsiString hint_;
    bool showHint_ = false;
    TCursor cursor_ = crDefault;
    TAlignment alignment_ = taLeftJustify;
};

struct WinControlImpl;

class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;
    void Dispatch(TMessage& Message) override;

    HWND Handle() const { return hwnd_; }
    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }
    // The graphic or windowed child under a client point, windowed children first.
    TControl* ControlAtPos(POINT p) const;

    void SetBounds(int left, int top, int width, int height) override;
    void SetParent(TWinControl* parent) override;
    void SetEnabled(bool value) override;
    void SetColor(TColor color) override;
    void Invalidate() override;
    void Repaint() override;

    bool DoubleBuffered() const { return doubleBuffered_; }
    void SetDoubleBuffered(bool value) { doubleBuffered_ = value; }
    bool CanFocus() const;
    bool Focused() const;
    virtual void SetFocus();
    int TabOrder() const { return tabOrder_; }
    void SetTabOrder(int v) { tabOrder_ = v; }

    virtual void KeyDown(WORD& Key, TShiftState Shift);
    virtual void KeyUp(WORD& Key, TShiftState Shift);
    virtual void KeyPress(char& Key);

    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    QWidget* Widget() const;
    // The persistent surface's DC (nullptr for controls that Qt draws itself).
    HDC SurfaceDC() const;
    WinControlImpl* Impl() const { return impl_.get(); }

protected:
    // For controls that wrap a Qt widget of their own; called from the derived constructor.
    void AdoptWidget(QWidget* widget);
    // Paints the graphic children onto the surface (after the control's own painting).
    void PaintControls();
    virtual void DoEnter() {
        if (OnEnter) OnEnter(this);
    }
    virtual void DoExit() {
        if (OnExit) OnExit(this);
    }

private:
    friend class TControl;
    friend struct WinControlImpl;
    friend class TGraphicControl;
    friend class TApplication;

protected:
    void VisibleChanged() override;

private:
    void Insert(TControl* c);
    void Remove(TControl* c);

    std::unique_ptr<WinControlImpl> impl_;
    HWND hwnd_ = nullptr;
    std::vector<TControl*> controls_;
    bool doubleBuffered_ = false;
    int tabOrder_ = 0;
};

class TCustomControl : public TWinControl {
public:
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;
    void Dispatch(TMessage& Message) override;
    TCanvas* Canvas() { return canvas_.get(); }

protected:
    virtual void Paint() {}

private:
    std::unique_ptr<TCanvas> canvas_;
};

// A control without a window of its own: its parent paints it and routes the mouse to it.
class TGraphicControl : public TControl {
public:
    explicit TGraphicControl(TComponent* AOwner);
    ~TGraphicControl() override;
    void Dispatch(TMessage& Message) override;
    TCanvas* Canvas() { return canvas_.get(); }

protected:
    virtual void Paint() {}

private:
    friend class TWinControl;
    std::unique_ptr<TCanvas> canvas_;
    int savedDC_ = 0;
};

namespace tikora::forms {
// The control that owns a window handle, or nullptr.
TWinControl* FindControl(HWND hwnd);
// The Qt virtual-key translation: Qt key code and modifiers (as Qt::KeyboardModifiers bits).
WORD VirtualKeyFromQt(int qtKey, uint32_t qtModifiers);
TShiftState ShiftStateFromQt(uint32_t qtModifiers, uint32_t qtButtons);
}  // namespace tikora::forms
