#include <cstdlib>
#include <filesystem>
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
        return argv[0] == "Tool.exe" ? -1 : 4242;
    };
    {
        ScopedShellHooks scope(hooks);
        EXPECT_EQ(spawnlp(P_NOWAIT, "Tool.exe", "Tool.exe", nullptr), -1);
        EXPECT_EQ(spawnlp(P_NOWAIT, "Tool32.exe", "Tool32.exe", "-f", nullptr), 4242);
        EXPECT_EQ(spawnlp(P_WAIT, "Tool32.exe", "Tool32.exe", nullptr), -1);
        // Without a document opener, opening runs xdg-open through the same hook.
        EXPECT_GT(Code(ShellExecuteA(nullptr, "open", (dir / "tikora.CHM").c_str(), nullptr, nullptr, SW_SHOW)), 32);
    }
    using A = std::vector<std::string>;
    EXPECT_EQ(started, (std::vector<A>{A{"Tool.exe"}, A{"Tool32.exe", "-f"}, A{"xdg-open", dir / "Tikora.chm"}}));

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
        {{"alsamixer", "x-terminal-emulator"}, {"x-terminal-emulator", "-e", "alsamixer"}},
        {{"alsamixer"}, {}},  // no terminal to show it in
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
