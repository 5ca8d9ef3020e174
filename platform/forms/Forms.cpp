#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QFont>
#include <QColor>
#include <QPainter>
#include <QWindow>
#include <QHelpEvent>
#include <QProxyStyle>
#include <QScreen>
#include <QToolTip>

#include <algorithm>
#include <cstdlib>
#include <unistd.h>
#include <unordered_map>

#include "Clock.h"
#include "Dialogs.h"
#include "FileFunctions.h"
#include "ForeignWindows.h"
#include "FormsPrivate.h"
#include "Shell.h"
#include "StdCtrls.h"

using namespace tikora::forms;

TApplication* Application = new TApplication();

extern "C" void tikora_create_gui_application() {
    if (QCoreApplication::instance()) return;
    // Layouts are pixel-exact: one device pixel per logical pixel.
    setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 0);
    setenv("QT_SCALE_FACTOR", "1", 0);
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "Tikora";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    // Hints wait the application's HintPause before they show.
    struct HintTimingStyle : QProxyStyle {
        int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                      QStyleHintReturn* data) const override {
            if (hint == SH_ToolTip_WakeUpDelay && Application) return Application->HintPause();
            return QProxyStyle::styleHint(hint, option, widget, data);
        }
    };
    QApplication::setStyle(new HintTimingStyle);
}

namespace {
std::unordered_map<HWND, TWinControl*>& Windows() {
    static std::unordered_map<HWND, TWinControl*> map;
    return map;
}
TControl* g_capture = nullptr;
bool g_altDown = false;
// The window that follows the pointer after a press asked for a move by its caption (SC_MOVE), the
// pointer's place in it, and where the last press was.
QPointer<QWidget> g_moving;
QPoint g_moveGrip, g_pressAt;
// Set while a key goes to a widget after our own key handling has run for it.
bool g_bypassKeys = false;
// How many of our widgets' paint events are running (one inside another while Qt draws a window).
int g_paintEvents = 0;

// Lets the widget itself handle a key that has been through our key handling, and keeps the key
// from going on to the parent windows: Qt passes a key a widget ignores to its parent, which
// would run the form's key events a second time.
void FinishKey(QEvent* e, const std::function<void()>& widgetHandling) {
    bool was = g_bypassKeys;
    g_bypassKeys = true;
    try {
        widgetHandling();
    } catch (...) {
        g_bypassKeys = was;
        throw;
    }
    g_bypassKeys = was;
    e->accept();
}

LPARAM PointParam(int x, int y) {
    return static_cast<LPARAM>(
        MAKELONG(static_cast<WORD>(static_cast<int16_t>(x)), static_cast<WORD>(static_cast<int16_t>(y))));
}
int ParamX(LPARAM l) { return static_cast<int16_t>(LOWORD(static_cast<DWORD_PTR>(l))); }
int ParamY(LPARAM l) { return static_cast<int16_t>(HIWORD(static_cast<DWORD_PTR>(l))); }

TShiftState KeysToShift(WPARAM keys) {
    TShiftState s;
    if (keys & MK_SHIFT) s <<= ssShift;
    if (keys & MK_CONTROL) s <<= ssCtrl;
    if (keys & MK_LBUTTON) s <<= ssLeft;
    if (keys & MK_RBUTTON) s <<= ssRight;
    if (keys & MK_MBUTTON) s <<= ssMiddle;
    if (g_altDown) s <<= ssAlt;
    return s;
}

WPARAM QtToKeys(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
    WPARAM w = 0;
    if (buttons & Qt::LeftButton) w |= MK_LBUTTON;
    if (buttons & Qt::RightButton) w |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton) w |= MK_MBUTTON;
    if (mods & Qt::ShiftModifier) w |= MK_SHIFT;
    if (mods & Qt::ControlModifier) w |= MK_CONTROL;
    return w;
}

void DispatchGuarded(TControl* c, TMessage& m) {
    GuardedCall(c, [&] { c->Dispatch(m); });
}

// Sends a mouse message to the control that should get it: the capture, else the graphic child
// under the point, else the window itself.
void RouteMouse(TWinControl* w, UINT msg, int x, int y, WPARAM keys) {
    TControl* target = w;
    POINT p{x, y};
    if (g_capture && g_capture != w) {
        POINT s = w->ClientToScreen(p);
        p = g_capture->ScreenToClient(s);
        target = g_capture;
    } else if (!g_capture) {
        for (int i = w->ControlCount() - 1; i >= 0; --i) {
            TControl* c = w->Controls(i);
            if (dynamic_cast<TWinControl*>(c) || !c->Visible() || !c->Enabled()) continue;
            if (x >= c->Left() && x < c->Left() + c->Width() && y >= c->Top() && y < c->Top() + c->Height()) {
                target = c;
                p = POINT{x - c->Left(), y - c->Top()};
                break;
            }
        }
    }
    TMessage m{msg, keys, PointParam(p.x, p.y), 0};
    DispatchGuarded(target, m);
}

class SurfaceWidget : public QWidget {
public:
    SurfaceWidget(WinControlImpl* impl, QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags), impl_(impl) {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    WinControlImpl* impl_;

protected:
    bool event(QEvent* e) override {
        TWinControl* owner = impl_ ? impl_->owner : nullptr;
        if (!owner) return QWidget::event(e);
        switch (e->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove: {
                auto* me = static_cast<QMouseEvent*>(e);
                g_altDown = me->modifiers() & Qt::AltModifier;
                QPoint pos = me->position().toPoint();
                UINT msg = WM_MOUSEMOVE;
                bool down = e->type() != QEvent::MouseButtonRelease;
                Qt::MouseButton b = me->button();
                Qt::MouseButtons buttons = me->buttons();
                if (g_moving) {
                    // A move lasts while the left button is down, and takes the pointer's input.
                    if (e->type() == QEvent::MouseMove && (buttons & Qt::LeftButton)) {
                        g_moving->move(me->globalPosition().toPoint() - g_moveGrip);
                        return true;
                    }
                    if (QWidget::mouseGrabber() == g_moving) g_moving->releaseMouse();
                    g_moving = nullptr;
                    if (!down && b == Qt::LeftButton) return true;
                }
                if (e->type() == QEvent::MouseButtonPress) g_pressAt = me->globalPosition().toPoint();
                if (e->type() == QEvent::MouseMove) {
                    impl_->inside = rect().contains(pos) || impl_->inside;
                    impl_->lastPos = pos;
                    if (impl_->trackHover && impl_->hoverTimer) impl_->hoverTimer->start(impl_->hoverTime);
                } else {
                    bool dbl =
                        e->type() == QEvent::MouseButtonDblClick && owner->ControlStyle().Contains(csDoubleClicks);
                    if (b == Qt::LeftButton)
                        msg = !down ? WM_LBUTTONUP : dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
                    else if (b == Qt::RightButton)
                        msg = !down ? WM_RBUTTONUP : dbl ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN;
                    else if (b == Qt::MiddleButton)
                        msg = !down ? WM_MBUTTONUP : dbl ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN;
                    else
                        return true;
                    if (down && owner->CanFocus() && focusPolicy() != Qt::NoFocus) setFocus(Qt::MouseFocusReason);
                }
                RouteMouse(owner, msg, pos.x(), pos.y(), QtToKeys(me->modifiers(), buttons));
                return true;
            }
            case QEvent::Enter:
                impl_->inside = true;
                if (impl_->trackHover && impl_->hoverTimer) impl_->hoverTimer->start(impl_->hoverTime);
                return true;
            case QEvent::Leave:
                impl_->inside = false;
                if (impl_->hoverTimer) impl_->hoverTimer->stop();
                if (impl_->trackLeave) {
                    impl_->trackLeave = impl_->trackHover = false;
                    PostMessageA(owner->Handle(), WM_MOUSELEAVE, 0, 0);
                }
                return true;
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
                if (g_bypassKeys) return QWidget::event(e);
                if (RouteKeyEvent(owner, e)) return true;
                FinishKey(e, [&] { QWidget::event(e); });
                return true;
            case QEvent::Resize: {
                QSize s = static_cast<QResizeEvent*>(e)->size();
                if (s.width() != owner->Width() || s.height() != owner->Height()) {
                    impl_->syncing = isWindow();
                    owner->SetBounds(owner->Left(), owner->Top(), s.width(), s.height());
                    impl_->syncing = false;
                }
                if (isWindow()) KeepOnScreen(owner);
                return true;
            }
            case QEvent::Move:
                if (isWindow()) KeepOnScreen(owner);
                return true;
            case QEvent::Show:
                // The frame is known once the window system has the window.
                if (isWindow())
                    QMetaObject::invokeMethod(
                        this, [owner] { KeepOnScreen(owner); }, Qt::QueuedConnection);
                return QWidget::event(e);
            case QEvent::ToolTip:
                ShowHintAt(owner, e);
                return true;
            case QEvent::Close: {
                e->ignore();
                if (auto* f = dynamic_cast<TForm*>(owner)) GuardedCall(f, [f] { f->Close(); });
                return true;
            }
            case QEvent::WindowActivate:
            case QEvent::WindowDeactivate:
                if (auto* f = dynamic_cast<TForm*>(owner)) {
                    bool a = e->type() == QEvent::WindowActivate;
                    GuardedCall(f, [f, a] {
                        TMessage m{0x0006 /* WM_ACTIVATE */, a ? 1u : 0u, 0, 0};
                        f->Dispatch(m);
                    });
                }
                return QWidget::event(e);
            case QEvent::FocusIn:
                GuardedCall(owner, [owner] {
                    TMessage m{WM_SETFOCUS, 0, 0, 0};
                    owner->Dispatch(m);
                });
                return true;
            case QEvent::FocusOut:
                GuardedCall(owner, [owner] {
                    TMessage m{WM_KILLFOCUS, 0, 0, 0};
                    owner->Dispatch(m);
                });
                return true;
            default:
                return QWidget::event(e);
        }
    }

    void paintEvent(QPaintEvent*) override {
        if (!impl_) return;
        ++g_paintEvents;
        struct Done {
            ~Done() { --g_paintEvents; }
        } done;
        if (impl_->invalid) impl_->RunPaint();
        if (impl_->pixels.empty()) return;
        QImage img(reinterpret_cast<const uchar*>(impl_->pixels.data()), impl_->surfaceW, impl_->surfaceH,
                   impl_->surfaceW * 4, QImage::Format_RGB32);
        QPainter p(this);
        p.drawImage(0, 0, img);
    }
};

// Key and focus events of the Qt widgets we wrap.
class KeyFilter : public QObject {
public:
    explicit KeyFilter(TWinControl* c) : QObject(nullptr), control_(c) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        switch (e->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
                if (g_bypassKeys || o != control_->Widget()) return false;
                if (RouteKeyEvent(control_, e)) return true;
                FinishKey(e, [&] { QCoreApplication::sendEvent(o, e); });
                return true;
            case QEvent::FocusIn:
                GuardedCall(control_, [this] {
                    TMessage m{WM_SETFOCUS, 0, 0, 0};
                    control_->Dispatch(m);
                });
                return false;
            case QEvent::FocusOut:
                GuardedCall(control_, [this] {
                    TMessage m{WM_KILLFOCUS, 0, 0, 0};
                    control_->Dispatch(m);
                });
                return false;
            case QEvent::ToolTip:
                return o == control_->Widget() && ShowHintAt(control_, e);
            default:
                return false;
        }
    }
    TWinControl* control_;
};

}  // namespace

namespace tikora::forms {

void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    tikora_create_gui_application();
    SetPostedMessageWakeup([] {
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [] { tikora::DispatchPostedMessages(); }, Qt::QueuedConnection);
    });
    tikora::gdi::SetWindowDCProvider(
        [](HWND h) -> HDC {
            TWinControl* c = FindControl(h);
            return c ? c->SurfaceDC() : nullptr;
        },
        [](HWND, HDC) { return 1; });
}

bool HeadlessPlatform() {
    EnsureApplication();
    QString p = QGuiApplication::platformName();
    return p == "offscreen" || p == "minimal";
}

TWinControl* FindControl(HWND hwnd) {
    auto it = Windows().find(hwnd);
    return it == Windows().end() ? nullptr : it->second;
}

TForm* ParentForm(TControl* c) {
    while (c && !dynamic_cast<TForm*>(c)) c = c->Parent();
    return static_cast<TForm*>(c);
}

bool ShowHintAt(TWinControl* window, QEvent* event) {
    auto* help = static_cast<QHelpEvent*>(event);
    // A disabled window is passed over as the mouse passes over it: the request goes on to its
    // parent, which shows the hint of what lies beneath at that point.
    if (!window->Enabled() && window->Parent()) {
        event->ignore();
        return true;
    }
    // The graphic child under the point has no window of its own: its parent finds it.
    TControl* control = window;
    for (int i = window->ControlCount() - 1; i >= 0; --i) {
        TControl* c = window->Controls(i);
        if (dynamic_cast<TWinControl*>(c) || !c->Visible()) continue;
        if (help->x() >= c->Left() && help->x() < c->Left() + c->Width() && help->y() >= c->Top() &&
            help->y() < c->Top() + c->Height()) {
            control = c;
            break;
        }
    }
    // An empty hint is taken from the parents; the part before "|" is the short hint shown.
    AnsiString hint;
    for (TControl* c = control; c && hint.IsEmpty(); c = c->Parent()) hint = c->Hint();
    if (int bar = hint.Pos("|")) hint = hint.SubString(1, bar - 1);
    // A control with its hints switched off shows none: the request ends here rather than going
    // on to a parent whose hint would show in its place.
    if (!control->ShowHint() || hint.IsEmpty()) {
        QToolTip::hideText();
        event->accept();
        return true;
    }
    QRect area = control == window ? window->Widget()->rect()
                                   : QRect(control->Left(), control->Top(), control->Width(), control->Height());
    QToolTip::showText(help->globalPos(), QString::fromLatin1(hint.c_str()), window->Widget(), area,
                       Application->HintHidePause());
    event->accept();
    return true;
}

namespace {
QMargins g_lastFrame;

bool Frameless(QWidget* w) { return w->windowFlags().testFlag(Qt::FramelessWindowHint); }

QRect Available(QWidget* w) {
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

// The frame's top-left and the client size that keep a frame of the given margins inside the
// available area.
void FitFrame(const QRect& avail, const QMargins& m, int& x, int& y, int& w, int& h) {
    int fw = w + m.left() + m.right(), fh = h + m.top() + m.bottom();
    if (fw > avail.width()) w = std::max(1, w - (fw - avail.width())), fw = avail.width();
    if (fh > avail.height()) h = std::max(1, h - (fh - avail.height())), fh = avail.height();
    x = std::clamp(x, avail.left(), avail.left() + avail.width() - fw);
    y = std::clamp(y, avail.top(), avail.top() + avail.height() - fh);
}

// Syncs the bounds with the window without pushing them back to it; true when they changed.
bool FollowWindow(TWinControl* c, int x, int y, int w, int h) {
    if (x == c->Left() && y == c->Top() && w == c->Width() && h == c->Height()) return false;
    c->Impl()->syncing = true;
    c->SetBounds(x, y, w, h);
    c->Impl()->syncing = false;
    return true;
}
}  // namespace

QMargins FrameMargins(QWidget* w) {
    if (Frameless(w)) return QMargins();
    QWindow* window = w->isVisible() ? w->windowHandle() : nullptr;
    QMargins m = window ? window->frameMargins() : QMargins();
    if (!m.isNull()) g_lastFrame = m;
    return m.isNull() ? g_lastFrame : m;
}

// How long a window's position stands before an off-screen window is brought back.
constexpr int kPlacementSettleMs = 150;
// How many times a settled window's position is read again while it still changes.
constexpr int kSettleChecks = 8;

// Longest wait for a window manager to let go of a hidden window; only one that has stopped
// answering takes that long.
constexpr int kWithdrawalWaitMs = 5000;

void PlaceHiddenWindow(QWidget* w, int left, int top) {
    if (!w->isWindow() || w->isVisible()) return;
    // Qt maps a hidden window again without waiting for the window manager to have taken in its
    // hiding; a window manager that still has a notice of the unmapping to read takes the new map
    // for undone (openbox does), and the window never shows.
    if (w->internalWinId() && QGuiApplication::platformName() == QLatin1String("xcb"))
        tikora::WaitUntilWithdrawn(static_cast<uint32_t>(w->internalWinId()), kWithdrawalWaitMs);
    // Qt may hold a position the window system gave the window while it was hidden.
    w->move(left, top);
}

void KeepOnScreen(TWinControl* c, int retries, bool settled) {
    QWidget* w = c->Widget();
    if (!w || !w->isWindow()) return;
    // A hidden window stays where its form says: a window manager letting go of a window puts it
    // where its frame was, which is not the user's move.
    if (!w->isVisible()) return;
    if (w->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) return;
    QWindow* window = w->windowHandle();
    if (!window) return;
    // A window manager adds its frame some time after the window is shown: look again until then.
    if (!settled && window->frameMargins().isNull() && !Frameless(w) && retries > 0) {
        QPointer<QWidget> guard(w);
        QTimer::singleShot(50, w, [c, guard, retries] {
            if (guard) KeepOnScreen(c, retries - 1);
        });
    }
    QMargins m = FrameMargins(w);
    QRect client = window->geometry();
    QRect avail = Available(w);
    int x = client.x() - m.left(), y = client.y() - m.top(), cw = client.width(), ch = client.height();
    if (!avail.isEmpty()) FitFrame(avail, m, x, y, cw, ch);
    const int placement = ++c->Impl()->placements;
    const bool off =
        x != client.x() - m.left() || y != client.y() - m.top() || cw != client.width() || ch != client.height();
    if (off && settled) {
        w->setGeometry(x + m.left(), y + m.top(), cw, ch);
    } else if (off) {
        // While a window manager places a window, Qt can see it for a moment where it is not (in a
        // frame not yet moved): the window is brought back onto the screen only where it still lies
        // off it once no other position came for a while.
        x = client.x() - m.left(), y = client.y() - m.top(), cw = client.width(), ch = client.height();
    }
    // A form's Left and Top are its frame's position.
    const bool changed = FollowWindow(c, x, y, cw, ch);
    // Qt tells the widget of its window's moves late, and not at all of a move back to where the
    // widget already stands: a form that followed such a moment would keep it. Once no other
    // position came for a while, the window's position is read again, until it stands in its frame.
    const bool unframed = window->frameMargins().isNull() && !Frameless(w);
    if (!settled || ((off || changed || unframed) && retries > 1)) {
        QPointer<QWidget> guard(w);
        const int checks = settled ? retries - 1 : kSettleChecks;
        QTimer::singleShot(kPlacementSettleMs, w, [c, guard, placement, checks] {
            if (guard && c->Impl()->placements == placement) KeepOnScreen(c, checks, true);
        });
    }
}

void PostedTarget::HandlePostedMessage(const PostedMessage& pm) {
    TMessage m{pm.message, pm.wParam, pm.lParam, 0};
    DispatchGuarded(control, m);
}

WORD VirtualKeyFromQt(int key, uint32_t mods) {
    bool keypad = mods & Qt::KeypadModifier;
    if (keypad) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<WORD>(VK_NUMPAD0 + (key - Qt::Key_0));
        switch (key) {
            case Qt::Key_Plus:
                return VK_ADD;
            case Qt::Key_Minus:
                return VK_SUBTRACT;
            case Qt::Key_Asterisk:
                return VK_MULTIPLY;
            case Qt::Key_Slash:
                return VK_DIVIDE;
            case Qt::Key_Period:
            case Qt::Key_Comma:
                return VK_DECIMAL;
            case Qt::Key_Enter:
                return VK_RETURN;
            default:
                break;
        }
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<WORD>('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<WORD>('0' + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return static_cast<WORD>(VK_F1 + (key - Qt::Key_F1));
    switch (key) {
        case Qt::Key_Backspace:
            return VK_BACK;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return VK_TAB;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VK_RETURN;
        case Qt::Key_Shift:
            return VK_SHIFT;
        case Qt::Key_Control:
            return VK_CONTROL;
        case Qt::Key_Alt:
            return VK_MENU;
        case Qt::Key_Pause:
            return VK_PAUSE;
        case Qt::Key_Escape:
            return VK_ESCAPE;
        case Qt::Key_Space:
            return VK_SPACE;
        case Qt::Key_PageUp:
            return VK_PRIOR;
        case Qt::Key_PageDown:
            return VK_NEXT;
        case Qt::Key_End:
            return VK_END;
        case Qt::Key_Home:
            return VK_HOME;
        case Qt::Key_Left:
            return VK_LEFT;
        case Qt::Key_Up:
            return VK_UP;
        case Qt::Key_Right:
            return VK_RIGHT;
        case Qt::Key_Down:
            return VK_DOWN;
        case Qt::Key_Insert:
            return VK_INSERT;
        case Qt::Key_Delete:
            return VK_DELETE;
        // Shifted symbols keep the code of their key (a US layout).
        case Qt::Key_Exclam:
            return '1';
        case Qt::Key_At:
            return '2';
        case Qt::Key_NumberSign:
            return '3';
        case Qt::Key_Dollar:
            return '4';
        case Qt::Key_Percent:
            return '5';
        case Qt::Key_AsciiCircum:
            return '6';
        case Qt::Key_Ampersand:
            return '7';
        case Qt::Key_Asterisk:
            return '8';
        case Qt::Key_ParenLeft:
            return '9';
        case Qt::Key_ParenRight:
            return '0';
        case Qt::Key_Semicolon:
        case Qt::Key_Colon:
            return VK_OEM_1;
        case Qt::Key_Equal:
        case Qt::Key_Plus:
            return VK_OEM_PLUS;
        case Qt::Key_Comma:
        case Qt::Key_Less:
            return VK_OEM_COMMA;
        case Qt::Key_Minus:
        case Qt::Key_Underscore:
            return VK_OEM_MINUS;
        case Qt::Key_Period:
        case Qt::Key_Greater:
            return VK_OEM_PERIOD;
        case Qt::Key_Slash:
        case Qt::Key_Question:
            return VK_OEM_2;
        case Qt::Key_QuoteLeft:
        case Qt::Key_AsciiTilde:
            return VK_OEM_3;
        case Qt::Key_BracketLeft:
        case Qt::Key_BraceLeft:
            return VK_OEM_4;
        case Qt::Key_Backslash:
        case Qt::Key_Bar:
            return VK_OEM_5;
        case Qt::Key_BracketRight:
        case Qt::Key_BraceRight:
            return VK_OEM_6;
        case Qt::Key_Apostrophe:
        case Qt::Key_QuoteDbl:
            return VK_OEM_7;
        default:
            return 0;
    }
}

TShiftState ShiftStateFromQt(uint32_t mods, uint32_t buttons) {
    TShiftState s;
    if (mods & Qt::ShiftModifier) s <<= ssShift;
    if (mods & Qt::AltModifier) s <<= ssAlt;
    if (mods & Qt::ControlModifier) s <<= ssCtrl;
    if (buttons & Qt::LeftButton) s <<= ssLeft;
    if (buttons & Qt::RightButton) s <<= ssRight;
    if (buttons & Qt::MiddleButton) s <<= ssMiddle;
    return s;
}

bool RouteKeyEvent(TWinControl* target, QEvent* event) {
    if (g_bypassKeys) return false;
    auto* ke = static_cast<QKeyEvent*>(event);
    bool press = event->type() == QEvent::KeyPress;
    uint32_t mods = ke->modifiers().toInt();
    TShiftState shift = ShiftStateFromQt(mods, 0);
    WORD vk = VirtualKeyFromQt(ke->key(), mods);
    bool alt = shift.Contains(ssAlt) && !shift.Contains(ssCtrl);
    bool swallowed = false;
    // A handler may free the control the key went to (the small window, rebuilt when the settings
    // opened from it change its size): the key then ends there.
    QPointer<QWidget> alive(target->Widget());
    GuardedCall(target, [&] {
        tagMSG msg;
        msg.hwnd = target->Handle();
        msg.message = press ? (alt || vk == VK_F1 + 9 ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
        msg.wParam = vk;
        msg.time = timeGetTime();
        if (Application->OfferMessage(msg)) {
            swallowed = true;
            return;
        }
        WORD key = static_cast<WORD>(msg.wParam);
        TForm* form = ParentForm(target);
        bool preview = form && form != target && form->KeyPreview();
        if (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) {
            bool down = msg.message == WM_KEYDOWN;
            if (key && preview) {
                if (down)
                    form->KeyDown(key, shift);
                else
                    form->KeyUp(key, shift);
                if (!alive) {
                    swallowed = true;
                    return;
                }
            }
            if (key) {
                if (down)
                    target->KeyDown(key, shift);
                else
                    target->KeyUp(key, shift);
                if (!alive) {
                    swallowed = true;
                    return;
                }
            }
            if (down && form && (key == VK_RETURN || key == VK_ESCAPE) && !shift.Contains(ssCtrl) &&
                form->DialogKey(target, key)) {
                swallowed = true;
                return;
            }
            if (!key) {
                swallowed = true;
                return;
            }
        }
        if (!press || msg.message == WM_SYSKEYDOWN) return;
        QString text = ke->text();
        char ch = 0;
        if (ke->key() == Qt::Key_Escape)
            ch = 27;
        else if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter)
            ch = 13;
        else if (ke->key() == Qt::Key_Backspace)
            ch = 8;
        else if (ke->key() == Qt::Key_Tab)
            ch = 9;
        else if (text.size() == 1 && text[0].unicode() < 256)
            ch = static_cast<char>(text[0].unicode());
        if (!ch) return;
        char original = ch;
        if (preview) form->KeyPress(ch);
        if (ch && alive) target->KeyPress(ch);
        if (!ch || !alive) {
            swallowed = true;
        } else if (ch != original && target->Widget()) {
            // The handler changed the character: the widget gets the new one instead.
            QKeyEvent changed(QEvent::KeyPress, 0, ke->modifiers(), QString(QChar::fromLatin1(ch)));
            g_bypassKeys = true;
            QCoreApplication::sendEvent(target->Widget(), &changed);
            g_bypassKeys = false;
            swallowed = true;
        }
    });
    return swallowed;
}

}  // namespace tikora::forms

// ---- Window functions

BOOL TrackMouseEvent(TRACKMOUSEEVENT* t) {
    if (!t) return FALSE;
    TWinControl* c = FindControl(t->hwndTrack);
    if (!c) return FALSE;
    WinControlImpl* impl = c->Impl();
    if (t->dwFlags & TME_CANCEL) {
        if (t->dwFlags & TME_HOVER) impl->trackHover = false;
        if (t->dwFlags & TME_LEAVE) impl->trackLeave = false;
        return TRUE;
    }
    if (t->dwFlags & TME_LEAVE) {
        if (!impl->inside) {
            // Not over the window: the leave report comes at once and nothing more is tracked.
            impl->trackHover = impl->trackLeave = false;
            PostMessageA(c->Handle(), WM_MOUSELEAVE, 0, 0);
            return TRUE;
        }
        impl->trackLeave = true;
    }
    if (t->dwFlags & TME_HOVER) {
        impl->trackHover = true;
        impl->hoverTime = t->dwHoverTime == HOVER_DEFAULT ? 400 : static_cast<int>(t->dwHoverTime);
        if (!impl->hoverTimer) {
            impl->hoverTimer = new QTimer();
            impl->hoverTimer->setSingleShot(true);
            QObject::connect(impl->hoverTimer, &QTimer::timeout, [impl] {
                if (!impl->trackHover || !impl->inside) return;
                impl->trackHover = false;
                PostMessageA(impl->owner->Handle(), WM_MOUSEHOVER, 0, PointParam(impl->lastPos.x(), impl->lastPos.y()));
            });
        }
        if (impl->inside) impl->hoverTimer->start(impl->hoverTime);
    }
    return TRUE;
}

HWND SetCapture(HWND hwnd) {
    HWND old = GetCapture();
    TWinControl* c = FindControl(hwnd);
    if (!c) return old;
    if (g_capture == c) return old;
    ReleaseCapture();
    g_capture = c;
    if (c->Widget() && c->Widget()->isVisible() && !HeadlessPlatform()) c->Widget()->grabMouse();
    return old;
}

BOOL ReleaseCapture() {
    TControl* old = g_capture;
    if (!old) return TRUE;
    g_capture = nullptr;
    auto* w = dynamic_cast<TWinControl*>(old);
    if (!w) w = old->Parent();
    if (w && w->Widget() && QWidget::mouseGrabber() == w->Widget()) w->Widget()->releaseMouse();
    TMessage m{WM_CAPTURECHANGED, 0, 0, 0};
    DispatchGuarded(old, m);
    return TRUE;
}

HWND GetCapture() {
    if (!g_capture) return nullptr;
    auto* w = dynamic_cast<TWinControl*>(g_capture);
    if (!w) w = g_capture->Parent();
    return w ? w->Handle() : nullptr;
}

int SetWindowRgn(HWND hwnd, HRGN region, BOOL) {
    TWinControl* c = FindControl(hwnd);
    if (!c) {
        if (region) DeleteObject(region);
        return 0;
    }
    WinControlImpl* impl = c->Impl();
    if (!region) {
        if (impl->hasMask && impl->widget) impl->widget->clearMask();
        impl->hasMask = false;
        impl->mask = QRegion();
        return 1;
    }
    QRegion r;
    for (const RECT& rc : tikora::gdi::GetRegionRects(region))
        r += QRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    DeleteObject(region);
    // Setting a mask is costly for the window system; only a different shape is passed on.
    if (!impl->hasMask || r != impl->mask) {
        impl->mask = r;
        impl->hasMask = true;
        if (impl->widget) impl->widget->setMask(r);
    }
    return 1;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    TWinControl* c = FindControl(hwnd);
    if (!c || !ps) return nullptr;
    ps->hdc = c->SurfaceDC();
    ps->fErase = FALSE;
    ps->rcPaint = c->ClientRect();
    return ps->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*) { return TRUE; }

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TWinControl* c = FindControl(hwnd);
    return c ? c->Perform(msg, wParam, lParam) : 0;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL) {
    TWinControl* c = FindControl(hwnd);
    if (!c) return FALSE;
    c->Invalidate();
    return TRUE;
}

void GuardedCall(TObject* sender, const std::function<void()>& f) {
    try {
        f();
    } catch (EAbort&) {
    } catch (...) {
        Application->HandleException(sender);
    }
}

// ---- TComponent

TComponent::TComponent(TComponent* AOwner) : owner_(AOwner) {
    if (owner_) owner_->components_.emplace_back(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (owner_) {
        auto& list = owner_->components_;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->get() == this) {
                it->release();
                list.erase(it);
                break;
            }
        }
    }
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        std::unique_ptr<TComponent> last = std::move(components_.back());
        components_.pop_back();
        last->owner_ = nullptr;
        last->BeforeDestruction();
        last.reset();
    }
}

// ---- TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
    EnsureApplication();
    font_.OnChange = [this](TObject*) { Invalidate(); };
}

TControl::~TControl() {
    if (g_capture == this) g_capture = nullptr;
    if (parent_) parent_->Remove(this);
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
    TMessage m{Msg, WParam, LParam, 0};
    Dispatch(m);
    return m.Result;
}

void TControl::MouseButtonDown(TMessage& m, TMouseButton button, bool doubleClick) {
    TShiftState shift = KeysToShift(m.WParam);
    if (doubleClick) shift <<= ssDouble;
    if (button == mbLeft) {
        if (controlStyle_.Contains(csCaptureMouse)) SetMouseCapture(true);
        if (controlStyle_.Contains(csClickEvents)) {
            if (doubleClick)
                DblClick();
            else
                clicked_ = true;
        }
    }
    MouseDown(button, shift, ParamX(m.LParam), ParamY(m.LParam));
}

void TControl::MouseButtonUp(TMessage& m, TMouseButton button) {
    int x = ParamX(m.LParam), y = ParamY(m.LParam);
    if (button == mbLeft) {
        if (controlStyle_.Contains(csCaptureMouse)) SetMouseCapture(false);
        if (clicked_) {
            clicked_ = false;
            if (x >= 0 && y >= 0 && x < ClientWidth() && y < ClientHeight()) Click();
        }
    }
    MouseUp(button, KeysToShift(m.WParam), x, y);
}

void TControl::Dispatch(TMessage& m) {
    if (!enabled_ && m.Msg >= WM_MOUSEMOVE && m.Msg <= WM_MBUTTONDBLCLK) return;
    switch (m.Msg) {
        case WM_LBUTTONDOWN:
            MouseButtonDown(m, mbLeft, false);
            break;
        case WM_LBUTTONDBLCLK:
            MouseButtonDown(m, mbLeft, true);
            break;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
            MouseButtonDown(m, mbRight, false);
            break;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
            MouseButtonDown(m, mbMiddle, false);
            break;
        case WM_LBUTTONUP:
            MouseButtonUp(m, mbLeft);
            break;
        case WM_RBUTTONUP:
            MouseButtonUp(m, mbRight);
            break;
        case WM_MBUTTONUP:
            MouseButtonUp(m, mbMiddle);
            break;
        case WM_MOUSEMOVE:
            MouseMove(KeysToShift(m.WParam), ParamX(m.LParam), ParamY(m.LParam));
            break;
        default:
            break;
    }
}

void TControl::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
    if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}
void TControl::MouseMove(TShiftState s, int x, int y) {
    if (OnMouseMove) OnMouseMove(this, s, x, y);
}
void TControl::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
    if (OnMouseUp) OnMouseUp(this, b, s, x, y);
}
void TControl::Click() {
    if (OnClick) OnClick(this);
}
void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}
void TControl::Resize() {
    if (OnResize) OnResize(this);
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == parent_) return;
    if (parent_) {
        parent_->Invalidate();
        parent_->Remove(this);
    }
    parent_ = parent;
    if (parent_) {
        parent_->Insert(this);
        parent_->Invalidate();
    }
}

void TControl::SetBounds(int left, int top, int width, int height) {
    width = std::max(0, width);
    height = std::max(0, height);
    bool sized = width != width_ || height != height_;
    if (!sized && left == left_ && top == top_) return;
    if (parent_) parent_->Invalidate();
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (parent_) parent_->Invalidate();
    if (sized) Resize();
}

POINT TControl::ClientToScreen(POINT p) const {
    const TControl* c = this;
    while (c) {
        if (auto* w = dynamic_cast<const TWinControl*>(c); w && w->Widget() && w->Widget()->isWindow()) {
            QPoint g = w->Widget()->mapToGlobal(QPoint(p.x, p.y));
            return POINT{g.x(), g.y()};
        }
        p.x += c->left_;
        p.y += c->top_;
        c = c->parent_;
    }
    return p;
}

POINT TControl::ScreenToClient(POINT p) const {
    POINT origin = ClientToScreen(POINT{0, 0});
    return POINT{p.x - origin.x, p.y - origin.y};
}

bool TControl::Showing() const {
    for (const TControl* c = this; c; c = c->parent_) {
        if (!c->visible_) return false;
    }
    return true;
}

void TControl::SetVisible(bool value) {
    if (value == visible_) return;
    visible_ = value;
    if (!value && g_capture) {
        for (TControl* c = g_capture; c; c = c->parent_) {
            if (c == this) {
                ReleaseCapture();
                break;
            }
        }
    }
    if (parent_) parent_->Invalidate();
    VisibleChanged();
}

void TControl::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    Invalidate();
}

void TControl::SetColor(TColor color) {
    if (color == color_) return;
    color_ = color;
    Invalidate();
}

void TControl::SetControlText(const AnsiString& text) {
    if (text == caption_) return;
    caption_ = text;
    TextChanged();
}

// Hints show through ShowHintAt, for windowed and graphic controls alike.
void TControl::SetHint(const AnsiString& hint) { hint_ = hint; }

void TControl::SetShowHint(bool value) { showHint_ = value; }

void TControl::SetCursor(TCursor cursor) {
    cursor_ = cursor;
    if (auto* w = dynamic_cast<TWinControl*>(this); w && w->Widget()) {
        Qt::CursorShape shape = cursor == crHandPoint ? Qt::PointingHandCursor
                                : cursor == crIBeam   ? Qt::IBeamCursor
                                : cursor == crCross   ? Qt::CrossCursor
                                : cursor == crSizeAll ? Qt::SizeAllCursor
                                                      : Qt::ArrowCursor;
        w->Widget()->setCursor(shape);
    }
}

bool TControl::MouseCapture() const { return g_capture == this; }

void TControl::SetMouseCapture(bool value) {
    if (value == MouseCapture()) return;
    if (!value) {
        ReleaseCapture();
        return;
    }
    if (auto* w = dynamic_cast<TWinControl*>(this)) {
        SetCapture(w->Handle());
    } else if (parent_) {
        SetCapture(parent_->Handle());
        g_capture = this;
    }
}

void TControl::Invalidate() {
    if (parent_) parent_->Invalidate();
}

void TControl::Repaint() {
    if (parent_) parent_->Repaint();
}

void TControl::BringToFront() {
    if (auto* w = dynamic_cast<TWinControl*>(this); w && w->Widget() && !HeadlessPlatform()) w->Widget()->raise();
    if (parent_) {
        auto& list = parent_->controls_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        list.push_back(this);
        parent_->Invalidate();
    }
}

// ---- TWinControl

WinControlImpl::~WinControlImpl() {
    delete hoverTimer;
    DropSurface();
}

void WinControlImpl::DropSurface() {
    if (auto* cc = dynamic_cast<TCustomControl*>(owner)) cc->Canvas()->SetHandle(nullptr);
    if (dc) DeleteDC(dc);
    dc = nullptr;
}

void WinControlImpl::EnsureSurface() {
    if (!custom) return;
    int w = owner->Width(), h = owner->Height();
    if (w == surfaceW && h == surfaceH && (dc || w <= 0 || h <= 0)) return;
    // The surface persists: a new size keeps the pixels of the common part.
    std::vector<uint32_t> fresh(static_cast<size_t>(std::max(0, w)) * static_cast<size_t>(std::max(0, h)), 0);
    for (int y = 0; y < std::min(h, surfaceH); ++y)
        std::copy_n(pixels.begin() + static_cast<ptrdiff_t>(y) * surfaceW, std::min(w, surfaceW),
                    fresh.begin() + static_cast<ptrdiff_t>(y) * w);
    DropSurface();
    pixels.swap(fresh);
    surfaceW = w;
    surfaceH = h;
    if (w > 0 && h > 0) dc = tikora::gdi::CreateSurfaceDC(pixels.data(), w, h, w * 4);
    invalid = true;
}

void WinControlImpl::RunPaint() {
    EnsureSurface();
    invalid = false;
    if (!dc || painting) return;
    painting = true;
    GuardedCall(owner, [this] {
        TMessage erase{WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0, 0};
        owner->Dispatch(erase);
        TMessage paint{WM_PAINT, 0, 0, 0};
        owner->Dispatch(paint);
    });
    painting = false;
}

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner), impl_(std::make_unique<WinControlImpl>(this)) {
    hwnd_ = tikora::RegisterWindow(&impl_->target);
    Windows()[hwnd_] = this;
}

TWinControl::~TWinControl() {
    DestroyComponents();
    while (!controls_.empty()) {
        TControl* c = controls_.back();
        delete c;
        if (!controls_.empty() && controls_.back() == c) controls_.pop_back();
    }
    if (g_capture == this) g_capture = nullptr;
    tikora::UnregisterWindow(hwnd_);
    Windows().erase(hwnd_);
    if (impl_->widget) {
        if (auto* sw = dynamic_cast<SurfaceWidget*>(impl_->widget.data())) sw->impl_ = nullptr;
        delete impl_->widget.data();
    }
    impl_.reset();
}

QWidget* TWinControl::Widget() const {
    if (!impl_->widget) {
        // Our own surface widget is made on first need, as a top-level window for forms.
        auto* self = const_cast<TWinControl*>(this);
        bool top = dynamic_cast<const TForm*>(this) != nullptr;
        QWidget* parentWidget = Parent() ? Parent()->Widget() : nullptr;
        auto* w = new SurfaceWidget(self->impl_.get(), top ? nullptr : parentWidget, top ? Qt::Window : Qt::Widget);
        self->impl_->widget = w;
        self->impl_->custom = true;
        if (top) {
            w->resize(Width(), Height());
            w->move(Left(), Top());
        } else {
            w->setGeometry(Left(), Top(), Width(), Height());
        }
        w->setFocusPolicy(top ? Qt::StrongFocus : Qt::NoFocus);
        if (!top) w->setVisible(Visible());
    }
    return impl_->widget;
}

HDC TWinControl::SurfaceDC() const {
    Widget();
    impl_->EnsureSurface();
    return impl_->dc;
}

// A wrapped Qt widget draws its own text: it takes the control's font and font colour, also when
// disabled (Qt would grey the text out, unreadable on the skin's light panels).
static void ApplyFontToWidget(QWidget* widget, TFont& font) {
    QFont f = widget->font();
    if (!font.Name().IsEmpty()) f.setFamily(QString::fromLatin1(font.Name().c_str()));
    if (font.Height() != 0) f.setPixelSize(std::abs(font.Height()));
    TFontStyles style = font.Style();
    f.setBold(style.Contains(fsBold));
    f.setItalic(style.Contains(fsItalic));
    f.setUnderline(style.Contains(fsUnderline));
    f.setStrikeOut(style.Contains(fsStrikeOut));
    widget->setFont(f);
    COLORREF c = ColorToRGB(font.Color());
    QColor color(GetRValue(c), GetGValue(c), GetBValue(c));
    QPalette pal = widget->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(g, QPalette::Text, color);
        pal.setColor(g, QPalette::WindowText, color);
        pal.setColor(g, QPalette::ButtonText, color);
    }
    widget->setPalette(pal);
}

void TWinControl::AdoptWidget(QWidget* widget) {
    impl_->widget = widget;
    impl_->custom = false;
    widget->installEventFilter(new KeyFilter(this));
    widget->setGeometry(Left(), Top(), Width(), Height());
    ApplyFontToWidget(widget, font_);
    font_.OnChange = [this](TObject*) {
        if (impl_ && impl_->widget) ApplyFontToWidget(impl_->widget, font_);
        Invalidate();
    };
}

void TWinControl::Insert(TControl* c) {
    controls_.push_back(c);
    if (auto* w = dynamic_cast<TWinControl*>(c)) {
        QWidget* child = w->Widget();
        child->setParent(Widget());
        child->setGeometry(w->Left(), w->Top(), w->Width(), w->Height());
        child->setVisible(w->Visible());
    }
}

void TWinControl::Remove(TControl* c) {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end());
    if (auto* w = dynamic_cast<TWinControl*>(c); w && w->impl_ && w->impl_->widget)
        w->impl_->widget->setParent(nullptr);
}

TControl* TWinControl::ControlAtPos(POINT p) const {
    for (int pass = 0; pass < 2; ++pass) {
        for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
            TControl* c = *it;
            bool windowed = dynamic_cast<TWinControl*>(c) != nullptr;
            if (windowed != (pass == 0) || !c->Visible()) continue;
            if (p.x >= c->Left() && p.x < c->Left() + c->Width() && p.y >= c->Top() && p.y < c->Top() + c->Height())
                return c;
        }
    }
    return nullptr;
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
    bool sized = width != Width() || height != Height();
    bool moved = left != Left() || top != Top();
    if (!sized && !moved) return;
    TControl::SetBounds(left, top, width, height);
    if (QWidget* w = impl_->widget) {
        if (w->isWindow()) {
            // A window's position is its frame's; its size that of the client area. While the bounds
            // follow the window's own change, only a size the form corrected goes back to it.
            if (!impl_->syncing || w->size() != QSize(Width(), Height())) w->resize(Width(), Height());
            if (!impl_->syncing) w->move(Left(), Top());
        } else if (!impl_->syncing) {
            w->setGeometry(Left(), Top(), Width(), Height());
        }
    }
    if (sized) {
        impl_->EnsureSurface();
        Invalidate();
    }
}

void TWinControl::SetParent(TWinControl* parent) { TControl::SetParent(parent); }

void TWinControl::VisibleChanged() {
    QWidget* w = Widget();
    if (Visible()) {
        Invalidate();
        PlaceHiddenWindow(w, Left(), Top());
    } else if (g_paintEvents > 0 && w->isVisible()) {
        // Hidden by a paint handler (the main window's first paint hides it when the program starts
        // in the small window). Qt goes on drawing the widgets it has listed, and notes for each
        // panel which of its children cover it from those visible at that moment: hidden now, the
        // window's panels would keep a note of no children, and each later repaint of a panel alone
        // would cover its buttons, never drawing them again. The window hides once the drawing ends.
        QPointer<QWidget> guard(w);
        QMetaObject::invokeMethod(
            w,
            [this, guard] {
                if (guard && !Visible()) guard->setVisible(false);
            },
            Qt::QueuedConnection);
        return;
    }
    w->setVisible(Visible());
}

void TWinControl::SetEnabled(bool value) {
    TControl::SetEnabled(value);
    if (impl_->widget && !impl_->custom) impl_->widget->setEnabled(value);
}

void TWinControl::SetColor(TColor color) { TControl::SetColor(color); }

void TWinControl::Invalidate() {
    impl_->invalid = true;
    if (impl_->widget) impl_->widget->update();
}

void TWinControl::Repaint() {
    if (!impl_->custom && impl_->widget) {
        impl_->widget->repaint();
        return;
    }
    Widget();
    impl_->RunPaint();
    if (impl_->widget) impl_->widget->update();
}

bool TWinControl::CanFocus() const {
    for (const TControl* c = this; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled()) return false;
    return true;
}

bool TWinControl::Focused() const { return impl_->widget && impl_->widget->hasFocus(); }

void TWinControl::SetFocus() {
    if (TForm* f = ParentForm(this); f && f != this) f->SetActiveControl(this);
    if (Widget()) Widget()->setFocus(Qt::OtherFocusReason);
}

void TWinControl::KeyDown(WORD& Key, TShiftState Shift) {
    if (OnKeyDown) OnKeyDown(this, Key, Shift);
}
void TWinControl::KeyUp(WORD& Key, TShiftState Shift) {
    if (OnKeyUp) OnKeyUp(this, Key, Shift);
}
void TWinControl::KeyPress(char& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::Dispatch(TMessage& m) {
    switch (m.Msg) {
        case WM_ERASEBKGND: {
            if (Color() != clNone) {
                HDC dc = reinterpret_cast<HDC>(m.WParam);
                HBRUSH b = CreateSolidBrush(ColorToRGB(Color()));
                RECT r = ClientRect();
                FillRect(dc, &r, b);
                DeleteObject(b);
            }
            m.Result = 1;
            return;
        }
        case WM_PAINT:
            PaintControls();
            return;
        case WM_SETFOCUS:
            DoEnter();
            return;
        case WM_KILLFOCUS:
            DoExit();
            return;
        default:
            TControl::Dispatch(m);
    }
}

void TWinControl::PaintControls() {
    HDC dc = impl_->dc;
    if (!dc) return;
    for (TControl* c : controls_) {
        auto* g = dynamic_cast<TGraphicControl*>(c);
        if (!g || !g->Visible() || g->Width() <= 0 || g->Height() <= 0) continue;
        int saved = SaveDC(dc);
        SetViewportOrgEx(dc, g->Left(), g->Top(), nullptr);
        IntersectClipRect(dc, 0, 0, g->Width(), g->Height());
        g->canvas_->SetHandle(dc);
        TMessage paint{WM_PAINT, 0, 0, 0};
        DispatchGuarded(g, paint);
        g->canvas_->SetHandle(nullptr);
        RestoreDC(dc, saved);
    }
}

// ---- TCustomControl, TGraphicControl

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner), canvas_(std::make_unique<TCanvas>()) {
    canvas_->OnRequireHandle = [this] { return SurfaceDC(); };
}

TCustomControl::~TCustomControl() { canvas_->SetHandle(nullptr); }

void TCustomControl::Dispatch(TMessage& m) {
    if (m.Msg != WM_PAINT) {
        TWinControl::Dispatch(m);
        return;
    }
    PAINTSTRUCT ps;
    BeginPaint(Handle(), &ps);
    // Each paint starts from a fresh DC state, as a window's paint DC does.
    Canvas()->SetHandle(nullptr);
    Canvas()->Font()->Assign(*Font());
    Canvas()->Brush()->SetColor(Color());
    Paint();
    PaintControls();
    EndPaint(Handle(), &ps);
}

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner), canvas_(std::make_unique<TCanvas>()) {
    // Outside painting the canvas measures on a scratch DC.
    canvas_->OnRequireHandle = [] {
        static HDC scratch = CreateCompatibleDC(nullptr);
        return scratch;
    };
}

TGraphicControl::~TGraphicControl() { canvas_->SetHandle(nullptr); }

void TGraphicControl::Dispatch(TMessage& m) {
    if (m.Msg == WM_PAINT) {
        canvas_->Font()->Assign(*Font());
        canvas_->Brush()->SetColor(Color());
        Paint();
        return;
    }
    TControl::Dispatch(m);
}

// ---- TForm

TForm::TForm(TComponent* AOwner) : TCustomControl(AOwner) {
    SetVisible(false);
    SetBounds(0, 0, 320, 240);
}

TForm::~TForm() {
    BeforeDestruction();
    DestroyComponents();
    if (Application && Application->mainForm_ == this) Application->mainForm_ = nullptr;
}

void TForm::BeforeDestruction() {
    if (destroying_) return;
    destroying_ = true;
    if (OnDestroy) GuardedCall(this, [this] { OnDestroy(this); });
}

void TForm::AfterConstruction() {
    std::function<void(TComponent*)> load = [&](TComponent* c) {
        for (int i = 0; i < c->ComponentCount(); ++i) {
            TComponent* child = c->Components(i);
            load(child);
            if (!child->IsLoaded()) child->Loaded();
        }
    };
    load(this);
    if (!IsLoaded()) Loaded();
    if (OnCreate) OnCreate(this);
}

void TForm::Dispatch(TMessage& m) {
    switch (m.Msg) {
        case 0x0006:  // WM_ACTIVATE
            Activated(m.WParam != 0);
            return;
        case WM_SYSCOMMAND:
            // The window follows the pointer from the press that asked for the move until its
            // release, in the order the program sees them. A window manager's move would start only
            // once it had the request, after a quick tap's release, and then follow the pointer with
            // no button held.
            if ((m.WParam & 0xFFF0) == SC_MOVE && (QGuiApplication::mouseButtons() & Qt::LeftButton) &&
                !HeadlessPlatform()) {
                g_moving = Widget();
                g_moveGrip = g_pressAt - Widget()->pos();
                // The pointer can leave the window's shape before the window has caught up.
                g_moving->grabMouse();
            }
            return;
        case WM_CLOSE:
            Close();
            return;
        default:
            TCustomControl::Dispatch(m);
    }
}

void TForm::Activated(bool active) {
    if (active == active_) return;
    active_ = active;
    if (active && OnActivate) OnActivate(this);
    if (!active && OnDeactivate) OnDeactivate(this);
}

void TForm::Show() {
    SetVisible(true);
    // Headless window systems neither raise nor activate windows; the show counts as activation.
    if (HeadlessPlatform()) {
        Activated(true);
    } else if (Widget()) {
        Widget()->raise();
        Widget()->activateWindow();
    }
}

void TForm::PlaceOnShow() {
    QWidget* w = Widget();
    QRect avail = Available(w);
    if (windowState_ != wsNormal || avail.isEmpty()) return;
    QMargins m = FrameMargins(w);
    int x = Left(), y = Top(), cw = Width(), ch = Height();
    int fw = cw + m.left() + m.right(), fh = ch + m.top() + m.bottom();
    QRect around;
    if (position_ == poScreenCenter || position_ == poDesktopCenter) around = avail;
    if (position_ == poMainFormCenter || position_ == poOwnerFormCenter) {
        TForm* main = Application->MainForm();
        around = main && main != this && main->Visible() ? main->Widget()->frameGeometry() : avail;
    }
    if (!around.isEmpty()) {
        x = around.x() + (around.width() - fw) / 2;
        y = around.y() + (around.height() - fh) / 2;
    }
    FitFrame(avail, m, x, y, cw, ch);
    SetBounds(x, y, cw, ch);
}

void TForm::VisibleChanged() {
    if (Visible() && OnShow) OnShow(this);
    if (Visible()) PlaceOnShow();
    TWinControl::VisibleChanged();
    if (Visible() && windowState_ == wsMaximized) Widget()->showMaximized();
    if (!Visible()) {
        Activated(false);
        if (OnHide) OnHide(this);
    }
}

void TForm::TextChanged() { Widget()->setWindowTitle(QString::fromLatin1(Caption().c_str())); }

void TForm::Close() {
    if (inModal_) {
        SetModalResult(mrCancel);
        return;
    }
    TCloseAction action = caHide;
    if (OnClose) OnClose(this, action);
    if (action == caNone) return;
    if (Application->MainForm() == this) {
        Application->Terminate();
        return;
    }
    if (action == caHide || action == caMinimize)
        Hide();
    else if (action == caFree) {
        Hide();
        // Freed once the handlers now running are done, unless something freed it before.
        HWND h = Handle();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [h] {
                if (auto* f = dynamic_cast<TForm*>(FindControl(h))) {
                    f->BeforeDestruction();
                    delete f;
                }
            },
            Qt::QueuedConnection);
    }
}

namespace {
// The forms in their modal loops, the newest last.
std::vector<TForm*>& ModalForms() {
    static std::vector<TForm*> forms;
    return forms;
}
}  // namespace

namespace tikora::forms {
TForm* ActiveForm(TForm* except) {
    auto usable = [except](TForm* f) { return f && f != except && f->Visible(); };
    const std::vector<TForm*>& modal = ModalForms();
    for (auto it = modal.rbegin(); it != modal.rend(); ++it)
        if (usable(*it)) return *it;
    if (auto* w = dynamic_cast<SurfaceWidget*>(QApplication::activeWindow()); w && w->impl_)
        if (auto* f = dynamic_cast<TForm*>(w->impl_->owner); usable(f)) return f;
    TForm* main = Application->MainForm();
    if (usable(main)) return main;
    // The user works in another program and the main window is hidden: a shown form, one that
    // stays on top first (a dialog belonging to nothing would open beneath it).
    TForm* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* sw = dynamic_cast<SurfaceWidget*>(w); sw && sw->impl_)
            if (auto* f = dynamic_cast<TForm*>(sw->impl_->owner);
                usable(f) && (!shown || f->FormStyle() == fsStayOnTop))
                shown = f;
    return shown;
}
}  // namespace tikora::forms

// The form is modal as the window system understands it: a dialog that belongs to the form that
// was active (the window manager keeps it above that one, stay-on-top or not), and until it closes
// no other form of the program takes a click or a key. A modal form opening another hands that on
// to the newer one.
int TForm::ShowModal() {
    if (Visible() || inModal_) throw EInvalidOperation("Cannot make a visible window modal");
    modalResult_ = mrNone;
    TForm* opener = ActiveForm(this);
    const HWND openerHandle = opener ? opener->Handle() : nullptr;
    QWidget* w = Widget();
    inModal_ = true;
    ApplyWindowFlags();
    w->setWindowModality(Qt::ApplicationModal);
    if (opener) {
        w->winId();  // the window, to tell the window system whose it is
        if (QWindow* mine = w->windowHandle()) mine->setTransientParent(opener->Widget()->windowHandle());
    }
    ModalForms().push_back(this);
    auto leave = [this, w, openerHandle] {
        inModal_ = false;
        auto& modal = ModalForms();
        modal.erase(std::remove(modal.begin(), modal.end(), this), modal.end());
        Hide();
        w->setWindowModality(Qt::NonModal);
        if (QWindow* mine = w->windowHandle()) mine->setTransientParent(nullptr);
        ApplyWindowFlags();
        // The window that opened it takes the input again.
        auto* back = dynamic_cast<TForm*>(FindControl(openerHandle));
        if (back && back->Visible() && !HeadlessPlatform()) back->Widget()->activateWindow();
    };
    try {
        Show();
        tikora::forms::DialogRequest r;
        r.kind = tikora::forms::DialogKind::Modal;
        r.caption = Caption();
        r.form = this;
        while (true) {
            if (modalResult_ == mrNone) {
                tikora::forms::DialogAnswer a = tikora::forms::RunDialog(r);
                if (modalResult_ == mrNone) modalResult_ = a.result ? a.result : mrCancel;
            }
            TCloseAction action = caHide;
            if (OnClose) OnClose(this, action);
            if (action != caNone || HeadlessPlatform()) break;
            modalResult_ = mrNone;
        }
    } catch (...) {
        leave();
        throw;
    }
    leave();
    return modalResult_;
}

void TForm::SetBorderStyle(TFormBorderStyle s) {
    borderStyle_ = s;
    ApplyWindowFlags();
}

void TForm::SetFormStyle(TFormStyle s) {
    formStyle_ = s;
    ApplyWindowFlags();
}

// The window's kind and decoration from the border style, the form style and whether it is shown
// modally. A modal form is a dialog to the window system: Qt tells the window manager whose window
// it is (the transient hint) only for dialogs, and without that a dialog of a stay-on-top window
// opens beneath it. A modal form has no minimise button: minimised, it would leave the forms it
// blocks with nothing on the screen to take the input.
void TForm::ApplyWindowFlags() {
    QWidget* w = Widget();
    Qt::WindowFlags f = w->windowFlags();
    const Qt::WindowType type = borderStyle_ == bsToolWindow || borderStyle_ == bsSizeToolWin ? Qt::Tool
                                : inModal_                                                    ? Qt::Dialog
                                                                                              : Qt::Window;
    f = (f & ~Qt::WindowType_Mask) | type;
    f.setFlag(Qt::FramelessWindowHint, borderStyle_ == bsNone);
    f.setFlag(Qt::WindowStaysOnTopHint, formStyle_ == fsStayOnTop);
    f.setFlag(Qt::WindowMinimizeButtonHint, type == Qt::Window);
    if (f == w->windowFlags()) return;
    // Qt hides the window to change its kind.
    bool vis = w->isVisible();
    w->setWindowFlags(f);
    if (!vis) return;
    PlaceHiddenWindow(w, Left(), Top());
    w->show();
}

void TForm::SetWindowState(TWindowState s) {
    windowState_ = s;
    if (!Visible()) {
        // Qt applies the state when the window is shown.
        Widget()->setWindowState(s == wsMaximized   ? Qt::WindowMaximized
                                 : s == wsMinimized ? Qt::WindowMinimized
                                                    : Qt::WindowNoState);
        return;
    }
    if (s == wsMaximized)
        Widget()->showMaximized();
    else if (s == wsMinimized)
        Widget()->showMinimized();
    else
        Widget()->showNormal();
}

void TForm::SetActiveControl(TWinControl* c) { activeControl_ = c; }

namespace {
// The first button in the form (depth first, in creation order) that can be used and that the
// predicate picks.
TButton* FindButton(TWinControl* parent, bool (TButton::*flag)() const) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Controls(i);
        if (!c->Visible() || !c->Enabled()) continue;
        if (auto* b = dynamic_cast<TButton*>(c); b && (b->*flag)()) return b;
        if (auto* w = dynamic_cast<TWinControl*>(c))
            if (TButton* b = FindButton(w, flag)) return b;
    }
    return nullptr;
}
}  // namespace

bool TForm::DialogKey(TWinControl* focused, WORD key) {
    if (key == VK_RETURN) {
        // A multi-line memo takes Enter as a line break.
        if (dynamic_cast<TMemo*>(focused)) return false;
        auto* button = dynamic_cast<TButton*>(focused);
        if (!button || !button->CanFocus()) button = FindButton(this, &TButton::Default);
        if (!button) return false;
        button->Click();
        return true;
    }
    if (key != VK_ESCAPE) return false;
    if (TButton* button = FindButton(this, &TButton::Cancel)) {
        button->Click();
        return true;
    }
    if (!inModal_) return false;
    SetModalResult(mrCancel);
    return true;
}

bool TForm::CanResize(int& w, int& h) {
    bool resize = true;
    if (OnCanResize) OnCanResize(this, w, h, resize);
    return resize;
}

void TForm::SetBounds(int left, int top, int width, int height) {
    if ((width != Width() || height != Height()) && IsLoaded() && !CanResize(width, height)) {
        width = Width();
        height = Height();
    }
    TWinControl::SetBounds(left, top, width, height);
}

// ---- TApplication

TApplication::TApplication() : TComponent(nullptr) {}
TApplication::~TApplication() = default;

void TApplication::Initialize() {
    EnsureApplication();
    initialized_ = true;
}

void TApplication::Run() {
    Initialize();
    if (mainForm_ && showMainForm_) GuardedCall(mainForm_, [this] { mainForm_->Show(); });
    if (!terminated_) QApplication::exec();
    DestroyComponents();
}

void TApplication::Terminate() {
    terminated_ = true;
    if (QCoreApplication::instance()) QCoreApplication::quit();
}

void TApplication::ProcessMessages() {
    EnsureApplication();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    tikora::DispatchPostedMessages();
}

AnsiString TApplication::ExeName() const {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    return n > 0 ? AnsiString(buf, static_cast<int>(n)) : AnsiString();
}

// The help file is a document the desktop opens (an HTML manual in the browser): the contents and
// every topic open it whole; closing help has nothing to close. A relative name is taken from the
// current folder, the program's own once it runs, and handed on as a full path.
bool TApplication::HelpCommand(int command, int) {
    if (helpFile_.IsEmpty()) return false;
    if (command == HELP_QUIT) return true;
    const AnsiString folder = GetCurrentDir();
    return reinterpret_cast<intptr_t>(
               ShellExecuteA(nullptr, "open", helpFile_.c_str(), nullptr, folder.c_str(), SW_SHOW)) > 32;
}

void TApplication::RestoreTopMosts() {
    if (!QCoreApplication::instance()) return;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && (w->windowFlags() & Qt::WindowStaysOnTopHint)) w->raise();
}

void TApplication::ShowException(Exception* E) {
    AnsiString msg = E ? E->Message : AnsiString("Unknown exception");
    if (!msg.IsEmpty() && msg[msg.Length()] > '.') msg += ".";
    MessageBox(msg.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException(TObject* Sender) {
    try {
        throw;
    } catch (EAbort&) {
    } catch (Exception& e) {
        Report(Sender, e);
    } catch (std::exception& e) {
        Exception ex(e.what());
        Report(Sender, ex);
    } catch (...) {
        Exception ex("Unknown exception");
        Report(Sender, ex);
    }
}

void TApplication::Report(TObject* Sender, Exception& e) {
    for (TApplicationEvents* ev : events_)
        if (ev->OnException) {
            ev->OnException(Sender, &e);
            return;
        }
    if (OnException)
        OnException(Sender, &e);
    else
        ShowException(&e);
}

int TApplication::MessageBox(const char* Text, const char* Caption, int Flags) {
    return MessageBoxA(nullptr, Text, Caption, static_cast<UINT>(Flags));
}

bool TApplication::OfferMessage(tagMSG& msg) {
    bool handled = false;
    for (TApplicationEvents* ev : std::vector<TApplicationEvents*>(events_)) {
        if (ev->OnMessage) ev->OnMessage(msg, handled);
        if (handled) break;
    }
    return handled;
}

TApplicationEvents::TApplicationEvents(TComponent* AOwner) : TComponent(AOwner) {
    Application->events_.push_back(this);
}

TApplicationEvents::~TApplicationEvents() {
    auto& v = Application->events_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}
