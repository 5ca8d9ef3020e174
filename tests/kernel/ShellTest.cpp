#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Messages.h"
#include "Shell.h"
#include "TempDir.h"

using tikora::ScopedShellHooks;
using tikora::ShellHooks;

namespace {
intptr_t Code(HINSTANCE h) { return reinterpret_cast<intptr_t>(h); }
}  // namespace

TEST(Shell, OpenGoesToTheDocumentOpener) {
    TempDir dir;
    TempDir::Write(dir / "Tikora.chm", "help");
    std::vector<std::string> opened;
    bool succeed = true;
    ShellHooks hooks;
    hooks.openDocument = [&](const std::string& host) {
        opened.push_back(host);
        return succeed;
    };
    ScopedShellHooks scope(hooks);
    std::string win = dir.Path().string() + "\\TIKORA.CHM";

    EXPECT_GT(Code(ShellExecuteA(nullptr, "open", win.c_str(), nullptr, nullptr, SW_SHOW)), 32);
    EXPECT_GT(Code(ShellExecuteA(nullptr, nullptr, "tikora.chm", nullptr, dir.Path().c_str(), SW_SHOW)), 32);
    EXPECT_EQ(Code(ShellExecuteA(nullptr, "open", (dir / "none.chm").c_str(), nullptr, nullptr, SW_SHOW)), SE_ERR_FNF);
    EXPECT_EQ(Code(ShellExecuteA(nullptr, "print", win.c_str(), nullptr, nullptr, SW_SHOW)), SE_ERR_NOASSOC);
    succeed = false;
    EXPECT_EQ(Code(ShellExecuteA(nullptr, "open", win.c_str(), nullptr, nullptr, SW_SHOW)), SE_ERR_NOASSOC);
    EXPECT_EQ(opened, (std::vector<std::string>(3, dir / "Tikora.chm")));
}

TEST(Shell, ProgramsStartDetachedThroughTheProcessHook) {
    TempDir dir;
    TempDir::Write(dir / "Tikora.chm", "help");
    std::vector<std::vector<std::string>> started;
    ShellHooks hooks;
    hooks.startProcess = [&](const std::vector<std::string>& argv) -> int64_t {
        started.push_back(argv);
        return argv[0] == "SndVol.exe" ? -1 : 4242;
    };
    {
        ScopedShellHooks scope(hooks);
        EXPECT_EQ(spawnlp(P_NOWAIT, "SndVol.exe", "SndVol.exe", nullptr), -1);
        EXPECT_EQ(spawnlp(P_NOWAIT, "SndVol32.exe", "SndVol32.exe", "-f", nullptr), 4242);
        EXPECT_EQ(spawnlp(P_WAIT, "SndVol32.exe", "SndVol32.exe", nullptr), -1);
        // Without a document opener, opening runs xdg-open through the same hook.
        EXPECT_GT(Code(ShellExecuteA(nullptr, "open", (dir / "tikora.CHM").c_str(), nullptr, nullptr, SW_SHOW)), 32);
    }
    using A = std::vector<std::string>;
    EXPECT_EQ(started, (std::vector<A>{A{"SndVol.exe"}, A{"SndVol32.exe", "-f"}, A{"xdg-open", dir / "Tikora.chm"}}));

    // The real start: a missing program fails at once; an existing one gives its process id.
    EXPECT_EQ(spawnlp(P_NOWAIT, "tikora-no-such-program.exe", "x", nullptr), -1);
    EXPECT_GT(spawnlp(P_NOWAIT, "true", "true", nullptr), 0);
}

TEST(Shell, WindowCallsFindNoForeignWindowsAndUseTheHooks) {
    tikora::RecordingWindow own;
    EXPECT_EQ(FindWindowA("Volume Control", nullptr), nullptr);
    EXPECT_TRUE(SetForegroundWindow(own.Handle()));
    EXPECT_FALSE(SetForegroundWindow(nullptr));

    std::vector<int> shown;
    ShellHooks hooks;
    hooks.findWindow = [&](const AnsiString& cls, const AnsiString&) { return cls == "Volume Control" ? own.Handle() : nullptr; };
    hooks.showWindow = [&](HWND, INT cmd) {
        shown.push_back(cmd);
        return TRUE;
    };
    {
        ScopedShellHooks scope(hooks);
        HWND found = FindWindowA("Volume Control", nullptr);
        EXPECT_EQ(found, own.Handle());
        EXPECT_TRUE(ShowWindow(found, SW_RESTORE));
        {
            ShellHooks onlyFind;
            onlyFind.findWindow = [](const AnsiString&, const AnsiString&) { return HWND{}; };
            ScopedShellHooks inner(onlyFind);  // replaces one hook and keeps the others
            EXPECT_EQ(FindWindowA("Volume Control", nullptr), nullptr);
            EXPECT_TRUE(ShowWindow(own.Handle(), SW_SHOW));
        }
        EXPECT_EQ(FindWindowA("Volume Control", nullptr), own.Handle());
    }
    EXPECT_EQ(FindWindowA("Volume Control", nullptr), nullptr);
    EXPECT_EQ(shown, (std::vector<int>{SW_RESTORE, SW_SHOW}));
}
