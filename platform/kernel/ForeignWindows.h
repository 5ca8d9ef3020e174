#pragma once
// Top-level windows of other programs on the X display ($DISPLAY), as the window manager lists
// them (_NET_CLIENT_LIST, or the root window's children where no window manager keeps that list).
// Each call opens its own short connection; without a display nothing is found and nothing is done.
// WaitUntilWithdrawn also serves the program's own windows.
// Changes of state go through the window manager, as a pager asks for them.
#include <cstdint>
#include <string>

namespace tikora {

struct WindowQuery {
    std::string windowClass;  // WM_CLASS, its instance or its class part, in any case; empty: any
    std::string title;        // _NET_WM_NAME or WM_NAME, exactly; empty: any
};

// The first client window that matches and belongs to another process (by _NET_WM_PID); 0 when none.
uint32_t FindForeignWindow(const WindowQuery& query);

struct ForeignWindowState {
    bool exists = false;
    bool minimized = false;  // iconic (WM_STATE) or hidden (_NET_WM_STATE)
    bool maximized = false;  // maximised both ways
};
ForeignWindowState ReadForeignWindowState(uint32_t window);

// Waits, up to timeoutMs, until the window manager has let go of a window that was unmapped (its
// WM_STATE gone or Withdrawn) and has read every notice of the unmapping; true once it has, or
// where no window manager ever took it. A window mapped again before then may never be shown
// (ICCCM 4.1.4).
bool WaitUntilWithdrawn(uint32_t window, int timeoutMs);

// Un-minimises the window where it is minimised, raises it and gives it the input focus.
bool ActivateForeignWindow(uint32_t window);
bool MinimizeForeignWindow(uint32_t window);
bool SetForeignWindowMaximized(uint32_t window, bool maximized);

}  // namespace tikora
