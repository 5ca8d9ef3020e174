#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Messages.h"
#include "Mutex.h"
#include "Shell.h"
#include "TempDir.h"

using tikora::ScopedShellHooks;
using tikora::ShellHooks;

namespace {
// A name of this test run alone, so a running program or a parallel test run is not disturbed.
std::string UniqueName(const char* what) { return "TIKORA_TEST_" + std::to_string(::getpid()) + "_" + what; }
HANDLE Open(const std::string& name) { return OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str()); }
// Creates an owned mutex; true when the handle came with `error` as the last error.
bool Create(const std::string& name, DWORD error, HANDLE* out = nullptr) {
    HANDLE h = CreateMutexA(nullptr, TRUE, name.c_str());
    if (out) *out = h;
    return h && GetLastError() == error;
}

// Runs `body` in a child process and returns its exit code.
int InChild(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Lock files stay behind by design; the tests remove their own so the folder does not fill up.
class NamedMutex : public testing::Test {
protected:
    void TearDown() override {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(tikora::MutexLockFolder(), ec))
            if (e.path().filename().string().find(UniqueName("")) != std::string::npos)
                std::filesystem::remove(e.path(), ec);
    }
};
}  // namespace

TEST_F(NamedMutex, ExistsWhileAHandleIsOpenInAnyProcessAndTracksItsOwner) {
    const std::string name = UniqueName("exists");
    EXPECT_EQ(Open(name), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    HANDLE first, second, again;
    ASSERT_TRUE(Create(name, ERROR_SUCCESS, &first));
    HANDLE opened = Open(name);  // closing fails when it is null
    EXPECT_TRUE(Create(name, ERROR_ALREADY_EXISTS, &second));
    EXPECT_FALSE(ReleaseMutex(second));  // asking to own one that exists does not make an owner
    EXPECT_EQ(InChild([&] { return Open(name) ? 1 : 0; }), 1);
    EXPECT_EQ(InChild([&] { return Create(name, ERROR_ALREADY_EXISTS) ? 0 : 1; }), 0);

    // The name lives until the last handle goes; the lock file left behind means nothing.
    EXPECT_TRUE(CloseHandle(first) && CloseHandle(opened));
    HANDLE third = Open(name);
    EXPECT_TRUE(CloseHandle(second) && CloseHandle(third));
    EXPECT_EQ(Open(name), nullptr);
    EXPECT_EQ(InChild([&] { return Open(name) ? 1 : 0; }), 0);
    EXPECT_TRUE(Create(name, ERROR_SUCCESS, &again) && CloseHandle(again));
    // A child creates the mutex and ends without closing it: the kernel releases it.
    const std::string other = UniqueName("process");
    EXPECT_EQ(InChild([&] { return Create(other, ERROR_SUCCESS) ? 0 : 1; }), 0);
    EXPECT_EQ(Open(other), nullptr);

    // Names are distinct and ownership is tracked.
    const std::string base = UniqueName("names");
    HANDLE slash = nullptr;
    ASSERT_TRUE(Create(base + "a/b", ERROR_SUCCESS, &slash));
    EXPECT_EQ(Open(base + "a_b"), nullptr);
    EXPECT_EQ(Open(base + "A/B"), nullptr);  // names are case-sensitive
    EXPECT_TRUE(ReleaseMutex(slash));
    EXPECT_FALSE(ReleaseMutex(slash));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    opened = Open(base + "a/b");
    EXPECT_FALSE(ReleaseMutex(opened));  // opening never makes an owner
    HANDLE local = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, nullptr), nullptr);
    for (HANDLE h : {slash, opened, local}) EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(slash));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Shell, DocumentsGoToTheOpenerAndProgramsStartDetachedThroughTheProcessHook) {
    TempDir dir;
    TempDir::Write(dir / "Tikora.chm", "help");
    const std::string win = dir.Path().string() + "\\TIKORA.CHM", host = dir / "Tikora.chm";
    using A = std::vector<std::string>;
    A opened;
    std::vector<A> started;
    bool succeed = true;
    ShellHooks hooks;
    hooks.openDocument = [&](const std::string& file) { return opened.push_back(file), succeed; };
    hooks.startProcess = [&](const A& argv) { return started.push_back(argv), argv[0] == "Tool.exe" ? -1 : 4242; };
    auto open = [](const char* verb, const std::string& file, const char* folder = nullptr) {
        return reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, verb, file.c_str(), nullptr, folder, SW_SHOW));
    };
    {
        ScopedShellHooks scope(hooks);
        EXPECT_GT(open("open", win), 32);
        EXPECT_GT(open(nullptr, "tikora.chm", dir.Path().c_str()), 32);
        EXPECT_EQ(open("open", dir / "none.chm"), SE_ERR_FNF);
        EXPECT_EQ(open("print", win), SE_ERR_NOASSOC);
        succeed = false;
        EXPECT_EQ(open("open", win), SE_ERR_NOASSOC);
        EXPECT_EQ(opened, A(3, host));

        EXPECT_EQ(spawnlp(P_NOWAIT, "Tool.exe", "Tool.exe", nullptr), -1);
        EXPECT_EQ(spawnlp(P_NOWAIT, "Tool32.exe", "Tool32.exe", "-f", nullptr), 4242);
        EXPECT_EQ(spawnlp(P_WAIT, "Tool32.exe", "Tool32.exe", nullptr), -1);
    }
    // Without a document opener, opening runs xdg-open through the process hook.
    hooks.openDocument = nullptr;
    {
        ScopedShellHooks scope(hooks);
        EXPECT_GT(open("open", dir / "tikora.CHM"), 32);
    }
    EXPECT_EQ(started, (std::vector<A>{A{"Tool.exe"}, A{"Tool32.exe", "-f"}, A{"xdg-open", host}}));
    // The real start: a missing program fails at once; an existing one gives its process id.
    EXPECT_EQ(spawnlp(P_NOWAIT, "tikora-no-such-program.exe", "x", nullptr), -1);
    EXPECT_GT(spawnlp(P_NOWAIT, "true", "true", nullptr), 0);
}

// The volume control's names start the first mixer installed: fake programs on PATH stand for them.
TEST(Shell, VolumeControlStartsTheDesktopsMixer) {
    using A = std::vector<std::string>;
    const struct {
        std::vector<std::string> installed;
        A expected;
    } cases[] = {
        {{"kmix", "pavucontrol-qt", "pavucontrol", "alsamixer", "x-terminal-emulator"}, {"pavucontrol"}},
        {{"kmix", "pavucontrol-qt", "gnome-control-center"}, {"pavucontrol-qt"}},
        {{"kmix", "gnome-control-center"}, {"gnome-control-center", "sound"}},
        {{"alsamixer", "kmix"}, {"kmix"}},
        {{"alsamixer", "x-terminal-emulator"}, {"x-terminal-emulator", "-T", "Volume Control", "-e", "alsamixer"}},
        {{"alsamixer"}, {}},        // no terminal to show it in
        {{"pavucontrol.txt"}, {}},  // there, but not executable
        {{}, {}},
    };
    const char* oldPath = std::getenv("PATH");
    const std::string restore = oldPath ? oldPath : "";
    for (const auto& c : cases) {
        TempDir dir;
        const std::string folders[2] = {dir / "a", dir / "b"};
        for (size_t i = 0; i < c.installed.size(); ++i) {
            // Spread over two folders of PATH; the name with an ending is put there without the x bit.
            std::string name = c.installed[i];
            bool plain = name.ends_with(".txt");
            std::filesystem::create_directories(folders[i % 2]);
            std::string file = folders[i % 2] + "/" + (plain ? name.substr(0, name.size() - 4) : name);
            TempDir::Write(file, "#!/bin/sh\n");
            if (!plain) std::filesystem::permissions(file, std::filesystem::perms::owner_all);
        }
        setenv("PATH", (folders[0] + ":" + folders[1]).c_str(), 1);
        std::vector<A> started;
        ShellHooks hooks;
        hooks.startProcess = [&](const A& argv) -> int64_t {
            started.push_back(argv);
            return 4242;
        };
        ScopedShellHooks scope(hooks);
        int pid = spawnlp(P_NOWAIT, "SndVol.exe", "SndVol.exe", nullptr);
        if (pid < 0) spawnlp(P_NOWAIT, "SNDVOL32.EXE", "SndVol32.exe", nullptr);
        setenv("PATH", restore.c_str(), 1);
        EXPECT_EQ(started, c.expected.empty() ? std::vector<A>{} : std::vector<A>{c.expected}) << c.installed.size();
        EXPECT_EQ(pid > 0, !c.expected.empty());
    }
}

// Without an X display no other program's window is reachable: only the hooks find windows.
TEST(Shell, WindowCallsFindNoForeignWindowsAndUseTheHooks) {
    const char* display = std::getenv("DISPLAY");
    const bool hadDisplay = display;
    const std::string restoreDisplay = display ? display : "";
    unsetenv("DISPLAY");
    tikora::RecordingWindow own;
    auto find = [] { return FindWindowA("Volume Control", nullptr); };
    EXPECT_EQ(find(), nullptr);
    EXPECT_TRUE(SetForegroundWindow(own.Handle()));
    EXPECT_FALSE(SetForegroundWindow(nullptr));
    std::vector<int> shown;
    ShellHooks hooks, onlyFind;
    hooks.findWindow = [&](const AnsiString& cls, const AnsiString&) {
        return cls == "Volume Control" ? own.Handle() : nullptr;
    };
    hooks.showWindow = [&](HWND, INT cmd) { return shown.push_back(cmd), TRUE; };
    onlyFind.findWindow = [](const AnsiString&, const AnsiString&) { return HWND{}; };
    {
        ScopedShellHooks scope(hooks);
        EXPECT_EQ(find(), own.Handle());
        EXPECT_TRUE(ShowWindow(find(), SW_RESTORE));
        {
            ScopedShellHooks inner(onlyFind);  // replaces one hook and keeps the others
            EXPECT_EQ(find(), nullptr);
            EXPECT_TRUE(ShowWindow(own.Handle(), SW_SHOW));
        }
        EXPECT_EQ(find(), own.Handle());
    }
    EXPECT_EQ(find(), nullptr);
    EXPECT_EQ(shown, (std::vector<int>{SW_RESTORE, SW_SHOW}));
    if (hadDisplay) setenv("DISPLAY", restoreDisplay.c_str(), 1);
}
