#pragma once
// Qt side of the forms layer, shared by its own units only.
#include <QMargins>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <vector>

#include "Forms.h"

namespace tikora::forms {

void EnsureApplication();
bool HeadlessPlatform();
// Key routing shared by our own widgets and the Qt widgets we wrap: true when swallowed.
bool RouteKeyEvent(TWinControl* target, QEvent* event);
TForm* ParentForm(TControl* c);
// The form that takes the input now, other than except: the newest modal one, else the window
// system's active one, else the main form, else a shown form (a stay-on-top one first); null when
// none is shown.
TForm* ActiveForm(TForm* except = nullptr);
// Shows the hint of the control under a help event's point (the window or a graphic child of
// it); true when the event was for the class library's hints.
bool ShowHintAt(TWinControl* window, QEvent* helpEvent);
// Moves a shown window's frame into the screen's available area, and makes the form's bounds
// follow its window (Left and Top the frame's), read again once its position has stood a while.
void KeepOnScreen(TWinControl* window, int retries = 40, bool settled = false);
// Before a hidden window is shown: waits until a window manager has let go of it, and puts its
// frame at the form's position.
void PlaceHiddenWindow(QWidget* window, int left, int top);
// The frame around a window's client area, as last seen on this screen.
QMargins FrameMargins(QWidget* window);

class PostedTarget : public MessageTarget {
public:
    explicit PostedTarget(TWinControl* c) : control(c) {}
    void HandlePostedMessage(const PostedMessage& m) override;
    TWinControl* control;
};

}  // namespace tikora::forms

struct WinControlImpl {
    explicit WinControlImpl(TWinControl* o) : owner(o), target(o) {}
    ~WinControlImpl();
    void EnsureSurface();
    void RunPaint();
    void DropSurface();

    TWinControl* owner;
    tikora::forms::PostedTarget target;
    QPointer<QWidget> widget;
    bool custom = false;  // our surface widget, as opposed to a wrapped Qt widget
    std::vector<uint32_t> pixels;
    int surfaceW = 0, surfaceH = 0;
    HDC dc = nullptr;
    bool invalid = true;
    bool painting = false;
    bool hasMask = false;
    QRegion mask;
    bool inside = false;
    bool trackHover = false, trackLeave = false;
    int hoverTime = 10;
    QPoint lastPos;
    QTimer* hoverTimer = nullptr;
    bool syncing = false;  // the bounds follow the window's own move or resize
    int placements = 0;    // window positions seen; a fit waits for the last one
};
