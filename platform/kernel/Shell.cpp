#include "Shell.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "ForeignWindows.h"
#include "HostPath.h"
#include "Messages.h"

extern char** environ;

namespace tikora {

namespace {
std::mutex g_hooksMutex;
ShellHooks g_hooks;

template <typename F>
F Hook(F ShellHooks::*member) {
    std::lock_guard lock(g_hooksMutex);
    return g_hooks.*member;
}

template <typename F>
void Override(F& target, const F& source) {
    if (source) target = source;
}
}  // namespace

ShellHooks InstallShellHooks(const ShellHooks& hooks) {
    std::lock_guard lock(g_hooksMutex);
    ShellHooks previous = g_hooks;
    Override(g_hooks.openDocument, hooks.openDocument);
    Override(g_hooks.startProcess, hooks.startProcess);
    Override(g_hooks.findWindow, hooks.findWindow);
    Override(g_hooks.showWindow, hooks.showWindow);
    Override(g_hooks.setForegroundWindow, hooks.setForegroundWindow);
    Override(g_hooks.setActiveWindow, hooks.setActiveWindow);
    return previous;
}

void RestoreShellHooks(const ShellHooks& hooks) {
    std::lock_guard lock(g_hooksMutex);
    g_hooks = hooks;
}

namespace {
bool OnPath(const std::string& searchPath, const std::string& name) {
    size_t from = 0;
    while (from <= searchPath.size()) {
        size_t to = searchPath.find(':', from);
        if (to == std::string::npos) to = searchPath.size();
        // An empty entry is the current folder, as the shell reads it.
        std::string dir = to > from ? searchPath.substr(from, to - from) : ".";
        std::string file = dir + "/" + name;
        struct stat st;
        if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0) return true;
        from = to + 1;
    }
    return false;
}
}  // namespace

DesktopMixer DesktopMixerFor(const std::string& searchPath) {
    static const DesktopMixer mixers[] = {
        {{"pavucontrol"}, "pavucontrol", ""},
        {{"pavucontrol-qt"}, "pavucontrol-qt", ""},
        {{"gnome-control-center", "sound"}, "gnome-control-center", ""},
        {{"kmix"}, "kmix", ""},
    };
    for (const DesktopMixer& mixer : mixers)
        if (OnPath(searchPath, mixer.command[0])) return mixer;
    // Every x-terminal-emulator takes -T for its title; the terminal's class depends on which it is.
    if (OnPath(searchPath, "alsamixer") && OnPath(searchPath, "x-terminal-emulator"))
        return {{"x-terminal-emulator", "-T", "Volume Control", "-e", "alsamixer"}, "", "Volume Control"};
    return {};
}

std::vector<std::string> DesktopMixerCommand(const std::string& searchPath) {
    return DesktopMixerFor(searchPath).command;
}

namespace {
// The handle of another program's window: it takes no messages.
class ForeignWindow : public MessageTarget {
public:
    explicit ForeignWindow(uint32_t id) : id(id), hwnd(RegisterWindow(this)) {}
    void HandlePostedMessage(const PostedMessage&) override {}
    const uint32_t id;
    const HWND hwnd;
};

struct ForeignHandles {
    std::mutex mutex;
    std::vector<std::unique_ptr<ForeignWindow>> windows;
};
// Kept for the program's life: handles stay valid while static objects are destroyed.
ForeignHandles& Foreign() {
    static auto* handles = new ForeignHandles;
    return *handles;
}
}  // namespace

HWND ForeignWindowHandle(uint32_t id) {
    ForeignHandles& f = Foreign();
    std::lock_guard lock(f.mutex);
    for (const auto& w : f.windows)
        if (w->id == id) return w->hwnd;
    f.windows.push_back(std::make_unique<ForeignWindow>(id));
    return f.windows.back()->hwnd;
}

uint32_t ForeignWindowId(HWND hwnd) {
    if (!hwnd) return 0;
    ForeignHandles& f = Foreign();
    std::lock_guard lock(f.mutex);
    for (const auto& w : f.windows)
        if (w->hwnd == hwnd) return w->id;
    return 0;
}

int64_t StartDetachedProcess(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty()) return -1;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    int rc = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return -1;
    std::thread([pid] {
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return pid;
}

}  // namespace tikora

HINSTANCE ShellExecuteA(HWND, LPCSTR operation, LPCSTR file, LPCSTR, LPCSTR directory, INT) {
    auto result = [](intptr_t v) { return reinterpret_cast<HINSTANCE>(v); };
    if (operation && *operation && AnsiString(operation).LowerCase() != "open") return result(SE_ERR_NOASSOC);
    if (!file || !*file) return result(SE_ERR_FNF);
    AnsiString name(file);
    bool absolute = name[1] == '/' || name[1] == '\\';
    if (!absolute && directory && *directory) name = AnsiString(directory) + "\\" + name;
    std::string host = HostPath(name);
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) return result(SE_ERR_FNF);

    auto open = tikora::Hook(&tikora::ShellHooks::openDocument);
    bool started;
    if (open) {
        started = open(host);
    } else {
        auto start = tikora::Hook(&tikora::ShellHooks::startProcess);
        std::vector<std::string> argv{"xdg-open", host};
        started = (start ? start(argv) : tikora::StartDetachedProcess(argv)) > 0;
    }
    return result(started ? 42 : SE_ERR_NOASSOC);
}

int spawnlp(int mode, const char* file, const char* arg0, ...) {
    std::vector<std::string> argv;
    if (arg0) {
        argv.emplace_back(arg0);
        va_list ap;
        va_start(ap, arg0);
        while (const char* a = va_arg(ap, const char*)) argv.emplace_back(a);
        va_end(ap);
    }
    if (mode != P_NOWAIT || !file || !*file) {
        errno = EINVAL;
        return -1;
    }
    // The program is looked up by `file`; the arguments start with arg0 as the C runtime's do.
    if (argv.empty()) argv.emplace_back(file);
    std::vector<std::string> run = argv;
    run[0] = file;
    AnsiString lower = AnsiString(file).LowerCase();
    if (lower == "sndvol.exe" || lower == "sndvol32.exe") {
        const char* path = std::getenv("PATH");
        run = tikora::DesktopMixerCommand(path ? path : "");
        if (run.empty()) {
            errno = ENOENT;
            return -1;
        }
    }
    auto start = tikora::Hook(&tikora::ShellHooks::startProcess);
    int64_t pid = start ? start(run) : tikora::StartDetachedProcess(run);
    if (pid <= 0) {
        errno = ENOENT;
        return -1;
    }
    return static_cast<int>(pid);
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
    const std::string cls = className ? className : "", title = windowName ? windowName : "";
    if (auto find = tikora::Hook(&tikora::ShellHooks::findWindow))
        if (HWND own = find(AnsiString(cls.c_str()), AnsiString(title.c_str()))) return own;
    tikora::WindowQuery query{cls, title};
    if (AnsiString(cls.c_str()).LowerCase() == "volume control") {
        const char* path = std::getenv("PATH");
        tikora::DesktopMixer mixer = tikora::DesktopMixerFor(path ? path : "");
        if (!mixer.command.empty()) query = {mixer.windowClass, title.empty() ? mixer.windowTitle : title};
    }
    uint32_t id = tikora::FindForeignWindow(query);
    return id ? tikora::ForeignWindowHandle(id) : nullptr;
}

namespace {
// ShowWindow on another program's window: the window manager does what the command asks for.
BOOL ShowForeignWindow(uint32_t id, INT cmdShow) {
    tikora::ForeignWindowState was = tikora::ReadForeignWindowState(id);
    if (!was.exists) return FALSE;
    switch (cmdShow) {
        case SW_HIDE:  // not this program's to hide
            break;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
        case SW_SHOWMINNOACTIVE:
            tikora::MinimizeForeignWindow(id);
            break;
        case SW_MAXIMIZE:
            tikora::SetForeignWindowMaximized(id, true);
            tikora::ActivateForeignWindow(id);
            break;
        case SW_RESTORE:
        case SW_SHOWNORMAL:
            // A minimised window comes back as it was; a maximised one goes back to its own size.
            if (!was.minimized && was.maximized) tikora::SetForeignWindowMaximized(id, false);
            tikora::ActivateForeignWindow(id);
            break;
        default:
            tikora::ActivateForeignWindow(id);
            break;
    }
    return TRUE;  // it was shown: a minimised window counts as shown, as it does on Windows
}
}  // namespace

BOOL ShowWindow(HWND hwnd, INT cmdShow) {
    if (uint32_t id = tikora::ForeignWindowId(hwnd)) return ShowForeignWindow(id, cmdShow);
    auto show = tikora::Hook(&tikora::ShellHooks::showWindow);
    return show ? show(hwnd, cmdShow) : FALSE;
}

BOOL SetForegroundWindow(HWND hwnd) {
    if (uint32_t id = tikora::ForeignWindowId(hwnd)) return tikora::ActivateForeignWindow(id) ? TRUE : FALSE;
    auto fore = tikora::Hook(&tikora::ShellHooks::setForegroundWindow);
    return fore ? fore(hwnd) : IsWindow(hwnd);
}

HWND SetActiveWindow(HWND hwnd) {
    if (tikora::ForeignWindowId(hwnd)) return nullptr;
    auto active = tikora::Hook(&tikora::ShellHooks::setActiveWindow);
    return active ? active(hwnd) : nullptr;
}
