#pragma once
// The shell and process services the program calls: opening a document with the desktop's
// handler (xdg-open), starting a program without waiting for it, and the top-level window calls.
// Each service is a replaceable hook: tests install their own, and the forms layer installs the
// window calls for its real windows.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "AnsiString.h"
#include "WinTypes.h"

constexpr INT SW_HIDE = 0;
constexpr INT SW_SHOWNORMAL = 1;
constexpr INT SW_NORMAL = 1;
constexpr INT SW_SHOWMINIMIZED = 2;
constexpr INT SW_SHOWMAXIMIZED = 3;
constexpr INT SW_MAXIMIZE = 3;
constexpr INT SW_SHOWNOACTIVATE = 4;
constexpr INT SW_SHOW = 5;
constexpr INT SW_MINIMIZE = 6;
constexpr INT SW_SHOWMINNOACTIVE = 7;
constexpr INT SW_SHOWNA = 8;
constexpr INT SW_RESTORE = 9;
constexpr INT SW_SHOWDEFAULT = 10;

// ShellExecuteA's results at or below 32 are errors.
constexpr intptr_t SE_ERR_FNF = 2;
constexpr intptr_t SE_ERR_PNF = 3;
constexpr intptr_t SE_ERR_ACCESSDENIED = 5;
constexpr intptr_t SE_ERR_NOASSOC = 31;

// spawn modes of the C runtime
constexpr int P_WAIT = 0;
constexpr int P_NOWAIT = 1;

// Only the verb "open" (or none) is known: the file, resolved like every path and made relative to
// `directory` when one is given, goes to the document opener. Returns a value above 32 when the
// opener started, SE_ERR_FNF for a missing file, SE_ERR_NOASSOC when no opener could start.
HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory, INT showCmd);

// Starts `file` (looked up in PATH) with the arguments arg0, ... up to a null pointer, in a
// session of its own, without waiting. Returns the process id, or -1 when it could not start.
// Only P_NOWAIT is supported; other modes give -1. The volume control's names ("SndVol.exe",
// "SndVol32.exe", in any case) start the desktop's own mixer instead (see DesktopMixerCommand),
// and give -1 when there is none.
int spawnlp(int mode, const char* file, const char* arg0, ...);

// FindWindowA asks the findWindow hook first (the program's own windows), then looks among the
// top-level windows of other programs on the X display: the class name matches their WM_CLASS
// (instance or class, in any case) and the window name their title, exactly; a null or empty one
// matches any. The volume control's class, "Volume Control", stands for the window of the desktop
// mixer that spawnlp would start (see DesktopMixerFor). Another program's window found so gets a
// handle of its own, the same each time; ShowWindow and SetForegroundWindow act on it through the
// window manager (restore, minimise, maximise; raise and focus), SetActiveWindow leaves it alone
// as it does every window of another program. Handles of the program's own windows go to the hooks.
HWND FindWindowA(LPCSTR className, LPCSTR windowName);
BOOL ShowWindow(HWND hwnd, INT cmdShow);
BOOL SetForegroundWindow(HWND hwnd);
HWND SetActiveWindow(HWND hwnd);

namespace tikora {

struct ShellHooks {
    // Opens a document (a host path) with the desktop's handler; true when the handler started.
    std::function<bool(const std::string& hostPath)> openDocument;
    // Starts argv[0] found in PATH with argv, detached; the process id or -1.
    std::function<int64_t(const std::vector<std::string>& argv)> startProcess;
    std::function<HWND(const AnsiString& className, const AnsiString& windowName)> findWindow;
    std::function<BOOL(HWND hwnd, INT cmdShow)> showWindow;
    std::function<BOOL(HWND hwnd)> setForegroundWindow;
    std::function<HWND(HWND hwnd)> setActiveWindow;
};

// Installs the non-empty members of `hooks` over the current ones; returns the previous set.
ShellHooks InstallShellHooks(const ShellHooks& hooks);
// Puts a whole set back, empty members meaning the built-in behaviour.
void RestoreShellHooks(const ShellHooks& hooks);

// Installs hooks for its lifetime (tests).
class ScopedShellHooks {
public:
    explicit ScopedShellHooks(const ShellHooks& hooks) : previous_(InstallShellHooks(hooks)) {}
    ~ScopedShellHooks() { RestoreShellHooks(previous_); }
    ScopedShellHooks(const ScopedShellHooks&) = delete;
    ScopedShellHooks& operator=(const ScopedShellHooks&) = delete;

private:
    ShellHooks previous_;
};

// The desktop's mixer: the first of pavucontrol, pavucontrol-qt, gnome-control-center (its sound
// page), kmix, or alsamixer in x-terminal-emulator (titled "Volume Control"), found as an
// executable file in the folders of `searchPath` (PATH's form), with the window it opens.
struct DesktopMixer {
    std::vector<std::string> command;  // empty when none is there
    std::string windowClass;           // WM_CLASS of its window; empty: any
    std::string windowTitle;           // title of its window; empty: any
};
DesktopMixer DesktopMixerFor(const std::string& searchPath);
std::vector<std::string> DesktopMixerCommand(const std::string& searchPath);

// The handle that stands for another program's top-level window (its X window id), the same for
// the same id; and back, 0 for every other handle.
HWND ForeignWindowHandle(uint32_t id);
uint32_t ForeignWindowId(HWND hwnd);

// The built-in process start: posix_spawnp in a new session with standard input from /dev/null;
// a background thread reaps the child so no zombie is left.
int64_t StartDetachedProcess(const std::vector<std::string>& argv);

}  // namespace tikora
