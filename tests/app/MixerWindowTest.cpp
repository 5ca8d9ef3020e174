// The speaker button on a real X server (Xvfb) under a window manager (openbox): the first press
// starts the desktop's mixer, a stand-in on PATH; later presses find its window and bring it back,
// restored and on top, and start no other. Clicks are real input through the X server (xdotool);
// what the window manager did is read back with xprop. The test re-runs this binary under
// xvfb-run and is skipped when the tools are missing.
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "DialogTestSupport.h"
#include "Programforms.h"
#include "Shell.h"
#include "Tmainform.h"

namespace fs = std::filesystem;

namespace {
bool Have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs one test of this binary on a fresh X server with openbox. True when this process is that run.
bool UnderXvfb(const char* test) {
    if (std::getenv("TIKORA_UNDER_XVFB")) return true;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    EXPECT_GT(n, 0);
    self[n > 0 ? n : 0] = 0;
    std::string run =
        std::string("openbox --sm-disable >/dev/null 2>&1 & env TIKORA_UNDER_XVFB=1 QT_QPA_PLATFORM=xcb '") + self +
        "' --gtest_filter=" + test;
    std::string cmd = "xvfb-run -a -s '-screen 0 1280x1024x24' sh -c \"" + run + "\"";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return false;
}

// Long enough for any window manager that answers at all.
constexpr int kSettle = 20000;

std::string Output(const std::string& command) {
    std::string text;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        while (size_t n = fread(buf, 1, sizeof(buf), p)) text.append(buf, n);
        pclose(p);
    }
    return text;
}

// The X window ids in a tool's output, in order.
std::vector<unsigned long> Ids(const std::string& text) {
    std::vector<unsigned long> ids;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        if (word.starts_with("0x") || std::isdigit(static_cast<unsigned char>(word[0])))
            ids.push_back(std::stoul(word, nullptr, 0));
    return ids;
}

std::vector<unsigned long> MixerWindows() { return Ids(Output("xdotool search --classname '^pavucontrol$'")); }

std::string Prop(unsigned long window, const char* property) {
    return Output("xprop -id " + std::to_string(window) + " " + property);
}

struct Seen {
    bool active, onTop, minimized, maximized;
};

// What the window manager shows of the mixer window, with the main window as the other one.
Seen Look(unsigned long mixer, unsigned long main) {
    std::vector<unsigned long> active = Ids(Output("xprop -root _NET_ACTIVE_WINDOW | sed 's/.*#//'"));
    std::vector<unsigned long> order = Ids(Output("xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*#//; s/,/ /g'"));
    auto at = [&](unsigned long w) { return std::find(order.begin(), order.end(), w); };
    std::string state = Prop(mixer, "_NET_WM_STATE");
    return {active == std::vector<unsigned long>{mixer}, at(mixer) != order.end() && at(mixer) > at(main),
            Prop(mixer, "WM_STATE").find("Iconic") != std::string::npos,
            state.find("MAXIMIZED_VERT") != std::string::npos && state.find("MAXIMIZED_HORZ") != std::string::npos};
}

// The window manager's frame around a window: its ancestor that the root window holds.
unsigned long Frame(unsigned long window) {
    for (;;) {
        const std::string tree = Output("xwininfo -tree -id " + std::to_string(window));
        auto id = [&](const std::string& label) {
            const size_t at = tree.find(label);
            return at == std::string::npos ? 0 : std::stoul(tree.substr(at + label.size()), nullptr, 0);
        };
        const unsigned long parent = id("Parent window id: ");
        if (!parent || parent == id("Root window id: ")) return window;
        window = parent;
    }
}

void XdoTool(const std::string& args) { EXPECT_EQ(std::system(("xdotool " + args).c_str()), 0) << args; }

// The main window with the speaker button, on an X server of its own under openbox, and the mixers
// it starts: stand-ins linked into a folder at the head of PATH under the names given.
class SpeakerButton {
public:
    // False when this process is not the run under Xvfb, or a tool is missing.
    bool Start(const char* test, std::initializer_list<const char*> names) {
        for (const char* tool : {"xvfb-run", "openbox", "xdotool", "xprop"})
            if (!std::getenv("TIKORA_UNDER_XVFB") && !Have(tool)) {
                skipped = tool;
                return false;
            }
        if (!UnderXvfb(test)) return false;
        const fs::path folder = dialogtest::UseProgramFolder("mixer");
        bin = folder / "bin";
        fs::create_directories(bin);
        for (const char* name : names) fs::create_symlink(TIKORA_STANDIN_MIXER, bin / name);
        setenv("PATH", (bin.string() + ":" + std::getenv("PATH")).c_str(), 1);
        setenv("TIKORA_AUDIO_SINK", "null", 1);
        Application->Initialize();
        CreateProgramForms();
        // Every start goes on to the real one; the list shows what was asked for.
        tikora::ShellHooks hooks;
        hooks.startProcess = [this](const std::vector<std::string>& argv) {
            starts.push_back(argv);
            pids.push_back(tikora::StartDetachedProcess(argv));
            return pids.back();
        };
        scope.emplace(hooks);
        QWidget* mainWidget = MainForm->Widget();
        // The window manager, started beside this run, manages the windows from their start.
        EXPECT_TRUE(formstest::WaitUntil(
            [] { return Output("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; },
            kSettle));
        MainForm->Show();
        // It maximises itself when first activated, and lays itself out again at the new size.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_TRUE(formstest::WaitUntil(
            [&] {
                return mainWidget->isMaximized() && QApplication::activeWindow() == mainWidget &&
                       mainWidget->width() == screen.width() && MainForm->Width() == mainWidget->width();
            },
            kSettle));
        main = mainWidget->winId();
        return true;
    }

    // Presses alternate between two points of the button far enough apart for no two to make a
    // double click. The click comes once the main window is what lies under the pointer: a window
    // that the window manager still takes away (openbox shows a minimised one shrinking for a
    // while after it says it is minimised) would take it.
    void Press() {
        TControl* speaker = MainForm->SpeakerButton;
        const int x = speaker->Width() * (1 + ++presses % 2) / 3;
        POINT p = speaker->ClientToScreen(POINT{x, speaker->Height() / 2});
        const std::string at = "mousemove " + std::to_string(p.x) + " " + std::to_string(p.y);
        EXPECT_TRUE(formstest::WaitUntil(
            [&] {
                return Ids(Output("xdotool " + at + " getmouselocation --shell | sed -n 's/^WINDOW=//p'")) ==
                       std::vector<unsigned long>{Frame(main)};
            },
            kSettle))
            << "the speaker button is covered";
        XdoTool("click 1");
    }

    // Qt keeps a window active for a while after it lost the focus, waiting for a focus-in that may
    // follow, so its word alone does not say the main window is back in front. The window manager's
    // does: until it has raised the main window above a maximised mixer, a click at the speaker
    // button lands on the mixer.
    void ActivateMain(unsigned long other) {
        XdoTool("windowactivate " + std::to_string(main));
        EXPECT_TRUE(formstest::WaitUntil(
            [&] {
                Seen s = Look(other, main);
                return !s.active && !s.onTop && QApplication::activeWindow() == MainForm->Widget();
            },
            kSettle));
    }

    std::vector<std::vector<std::string>> starts;
    std::vector<int64_t> pids;
    unsigned long main = 0;
    fs::path bin;
    const char* skipped = nullptr;

private:
    std::optional<tikora::ScopedShellHooks> scope;
    int presses = 0;
};

TEST(MixerWindow, SpeakerButtonBringsBackTheOpenMixerAndStartsNoOther) {
    SpeakerButton run;
    if (!run.Start("MixerWindow.SpeakerButtonBringsBackTheOpenMixerAndStartsNoOther", {"pavucontrol"})) {
        if (run.skipped) GTEST_SKIP() << run.skipped << " missing";
        return;
    }
    if (HasFailure()) return;
    const unsigned long main = run.main;
    auto& starts = run.starts;
    unsigned long mixer = 0;
    auto activateMain = [&] { run.ActivateMain(mixer); };
    // The press starts a mixer: its one window shows, active, in the state asked for.
    auto pressStarts = [&](size_t count, bool maximized) {
        run.Press();
        ASSERT_TRUE(formstest::WaitUntil([&] { return starts.size() == count; }, kSettle));
        EXPECT_EQ(starts.back(), std::vector<std::string>{"pavucontrol"});
        ASSERT_TRUE(formstest::WaitUntil(
            [&] {
                std::vector<unsigned long> w = MixerWindows();
                if (w.size() != 1) return false;
                mixer = w[0];
                Seen s = Look(mixer, main);
                return s.active && !s.minimized && s.maximized == maximized;
            },
            kSettle));
    };
    // The press finds the open mixer: it comes back as `maximized` says, and nothing is started.
    auto pressFinds = [&](const char* how, bool maximized) {
        SCOPED_TRACE(how);
        const size_t before = starts.size();
        run.Press();
        EXPECT_TRUE(formstest::WaitUntil(
            [&] {
                Seen s = Look(mixer, main);
                return s.active && s.onTop && !s.minimized && s.maximized == maximized;
            },
            kSettle))
            << "active " << Look(mixer, main).active << ", on top " << Look(mixer, main).onTop << ", minimised "
            << Look(mixer, main).minimized << ", maximised " << Look(mixer, main).maximized;
        EXPECT_EQ(starts.size(), before);
        EXPECT_EQ(MixerWindows(), std::vector<unsigned long>{mixer});
    };

    auto minimizeMixer = [&] {
        XdoTool("windowminimize " + std::to_string(mixer));
        ASSERT_TRUE(formstest::WaitUntil([&] { return Look(mixer, main).minimized; }, kSettle));
    };

    pressStarts(1, false);
    if (HasFatalFailure()) return;
    minimizeMixer();
    if (HasFatalFailure()) return;
    pressFinds("minimised: restored", false);
    activateMain();
    pressFinds("behind the main window: raised", false);

    // Once it is closed, the next press starts another; a maximised one is un-minimised as it
    // was, and restored to its own size when it was not minimised.
    ::kill(static_cast<pid_t>(run.pids.back()), SIGTERM);
    ASSERT_TRUE(formstest::WaitUntil([&] { return MixerWindows().empty(); }, kSettle));
    setenv("TIKORA_MIXER_MAXIMIZED", "1", 1);
    activateMain();
    pressStarts(2, true);
    if (HasFatalFailure()) return;
    minimizeMixer();
    if (HasFatalFailure()) return;
    pressFinds("minimised while maximised: maximised again", true);
    activateMain();
    pressFinds("maximised behind the main window: restored to its size", false);

    ::kill(static_cast<pid_t>(run.pids.back()), SIGTERM);
}

// A mixer that only a terminal shows (alsamixer) is found by its window's title: the press starts
// it where another program's window of another title is open, and the next brings it back.
TEST(MixerWindow, SpeakerButtonFindsATerminalMixerByItsTitle) {
    SpeakerButton run;
    if (!run.Start("MixerWindow.SpeakerButtonFindsATerminalMixerByItsTitle",
                   {"alsamixer", "x-terminal-emulator", "notes"})) {
        if (run.skipped) GTEST_SKIP() << run.skipped << " missing";
        return;
    }
    if (HasFailure()) return;
    if (tikora::DesktopMixerFor(std::getenv("PATH")).windowTitle.empty())
        GTEST_SKIP() << "a desktop mixer is installed";
    auto titled = [](const std::string& title) { return Ids(Output("xdotool search --name '^" + title + "$'")); };
    auto shows = [&](const std::string& title, unsigned long& window) {
        return formstest::WaitUntil(
            [&] {
                std::vector<unsigned long> w = titled(title);
                window = w.size() == 1 ? w[0] : 0;
                return window && Look(window, run.main).active;
            },
            kSettle);
    };
    unsigned long other = 0, mixer = 0;
    run.pids.push_back(tikora::StartDetachedProcess({(run.bin / "notes").string(), "-T", "Notes"}));
    ASSERT_TRUE(shows("Notes", other));
    run.ActivateMain(other);
    run.Press();
    ASSERT_TRUE(formstest::WaitUntil([&] { return run.starts.size() == 1; }, kSettle)) << "no mixer started";
    EXPECT_EQ(run.starts[0],
              (std::vector<std::string>{"x-terminal-emulator", "-T", "Volume Control", "-e", "alsamixer"}));
    ASSERT_TRUE(shows("Volume Control", mixer));
    run.ActivateMain(mixer);
    run.Press();
    EXPECT_TRUE(shows("Volume Control", mixer)) << "the open mixer is not brought back";
    EXPECT_EQ(run.starts.size(), 1u);
    EXPECT_FALSE(Look(other, run.main).active);
    for (int64_t pid : run.pids) ::kill(static_cast<pid_t>(pid), SIGTERM);
}

}  // namespace
