// The small window: its layout at full and half size, its shape, the stay-on-top timer, and its
// move by the case under a window manager.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>

#include "SettingsTestSupport.h"
#include "Tminimizedform.h"
#include "Tsettingsform.h"
#include "WinGdi.h"

using namespace apptest;

namespace {

class MinimizedWindowTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        folder = std::make_unique<ScratchFolder>(::testing::UnitTest::GetInstance()->current_test_info()->name());
        if (!fs::exists(folder->Path() / "pics" / "MetronomeSmall.bmp")) GTEST_SKIP() << "the skin has not been drawn";
    }
    void TearDown() override {
        if (small) small->BeforeDestruction();
        small.reset();
        SettingsForm = nullptr;
        settings.reset();
        folder.reset();
        AppTest::TearDown();
    }
    void Make(bool micro) {
        if (small) small->BeforeDestruction();
        small.reset(new TMinimized(nullptr, micro));
        small->AfterConstruction();
    }
    std::unique_ptr<ScratchFolder> folder;
    std::unique_ptr<TMinimized> small;
    std::unique_ptr<TSettingsForm> settings;
};

struct Bounds {
    int left, top, width, height;
    bool operator==(const Bounds&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Bounds& b) {
    return os << "(" << b.left << ", " << b.top << ", " << b.width << " x " << b.height << ")";
}
Bounds Of(TControl* c) { return {c->Left(), c->Top(), c->Width(), c->Height()}; }

TEST_F(MinimizedWindowTest, LayoutAtFullAndHalfSize) {
    struct Case {
        bool micro;
        int offset;
        Bounds client;
        std::vector<Bounds> controls;  // view, control area, play, stop, pause, speaker, maximize, close, volume
        int slideSpace;
    };
    const Case cases[] = {
        {false,
         133,
         {0, 0, 566, 490},
         {{0, 0, 566, 350},
          {133, 350, 300, 140},
          {165, 352, 82, 73},
          {246, 352, 73, 73},
          {319, 352, 82, 73},
          {330, 434, 59, 41},
          {390, 471, 14, 14},
          {406, 471, 14, 14},
          {212, 444, 109, 22}},
         100},
        // Half of every scaled size, truncated; the fixed places take their own small values.
        {true,
         66,
         {0, 0, 282, 245},
         {{0, 0, 282, 175},
          {66, 175, 150, 70},
          {82, 176, 41, 36},
          {122, 176, 36, 36},
          {160, 176, 40, 36},
          {138, 215, 29, 20},
          {175, 227, 14, 14},
          {191, 227, 14, 14},
          {80, 220, 54, 11}},
         50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.micro ? "micro" : "full");
        Make(c.micro);
        EXPECT_EQ(small->Scale(), c.micro ? 0.5f : 1.0f);
        EXPECT_EQ(small->Suffix(), c.micro ? "05" : "");
        EXPECT_EQ(small->XOffset(), c.offset);
        EXPECT_EQ((Bounds{0, 0, small->ClientWidth(), small->ClientHeight()}), c.client);
        std::vector<Bounds> controls;
        for (TControl* control : std::initializer_list<TControl*>{
                 small->View, small->ControlPanel, small->PlayButton, small->StopButton, small->PauseButton,
                 small->SpeakerButton, small->MaximizeButton, small->CloseButton, small->MVolume})
            controls.push_back(Of(control));
        EXPECT_EQ(controls, c.controls);
        EXPECT_EQ(small->View->Picture()->Bitmap()->Width(), c.controls[0].width);
        EXPECT_EQ(small->View->Picture()->Bitmap()->PixelFormat(), pf32bit);
        EXPECT_EQ(small->MVolume->SlideSpaceSize(), c.slideSpace);
        EXPECT_EQ(small->MVolume->MaxPosition(), 65535);
        EXPECT_EQ(small->Background()->Height(), c.controls[0].height);
        const AnsiString pics = AnsiString("pics\\") + (c.micro ? "05" : "");
        EXPECT_EQ(small->PlayButton->PicOnIdle(), pics + "PlayInitial.png");
        EXPECT_EQ(small->PauseButton->PicOnChecked(), pics + "PausePressed.png");
        EXPECT_EQ(small->CloseButton->PicOnMouseDown(), "pics\\ClosePressed.png");
        EXPECT_EQ(small->MVolume->PicSliderIdle(), pics + "VolumeSlider.png");
    }
}

TEST_F(MinimizedWindowTest, ShapeFollowsThePictures) {
    for (bool micro : {false, true}) {
        SCOPED_TRACE(micro);
        Make(micro);
        HRGN base = small->BaseRegion();
        ASSERT_NE(base, nullptr);
        RECT box{};
        GetRgnBox(base, &box);
        // Nothing of the shape lies in the margins left and right of the pictures.
        EXPECT_GE(box.left, small->XOffset());
        EXPECT_LE(box.right, small->XOffset() + small->Background()->Width());
        EXPECT_LE(box.bottom, small->ClientHeight());
        const int cx = small->XOffset() + small->ControlPanel->Width() / 2;
        const int cy = small->ControlPanel->Top() + small->ControlPanel->Height() / 2;
        EXPECT_TRUE(PtInRegion(base, cx, cy));
        EXPECT_FALSE(PtInRegion(base, small->XOffset() / 2, cy));
    }
}

TEST_F(MinimizedWindowTest, StayOnTopTimerFollowsTheSetting) {
    Make(false);
    EXPECT_EQ(small->FormStyle(), fsStayOnTop);
    EXPECT_EQ(small->BorderStyle(), bsNone);
    EXPECT_TRUE(small->KeyPreview());
    // Only the settings window's controls are needed, not its settings.
    settings = std::make_unique<TSettingsForm>(nullptr);
    SettingsForm = settings.get();
    for (bool onTop : {false, true, false}) {
        SCOPED_TRACE(onTop);
        settings->AllwaysOnTop->SetChecked(onTop);
        small->FormShow(small.get());
        EXPECT_EQ(small->Timer1->Enabled(), onTop);
        EXPECT_EQ(small->Timer1->Interval(), 1000u);
        small->FormHide(small.get());
        EXPECT_FALSE(small->Timer1->Enabled());
    }
}

// A press on the case moves the window while the button stays down, and only then: a press and a
// release with no time between (a touchpad's tap) leave it where it was as the pointer goes on.
// Real input through the X server (xdotool) on Xvfb with openbox; this binary runs again there.
TEST_F(MinimizedWindowTest, CaseMovesTheWindowOnlyWhileHeld) {
    for (const char* tool : {"xvfb-run", "openbox", "xdotool", "xprop", "xwininfo"})
        if (!getenv("TIKORA_UNDER_XVFB") && std::system((std::string("command -v ") + tool + ">/dev/null").c_str()))
            GTEST_SKIP() << tool << " missing";
    if (!getenv("TIKORA_UNDER_XVFB")) {
        const std::string run = "openbox --sm-disable >/dev/null 2>&1 & env TIKORA_UNDER_XVFB=1 QT_QPA_PLATFORM=xcb " +
                                fs::read_symlink("/proc/self/exe").string() + " --gtest_filter=*OnlyWhileHeld";
        EXPECT_EQ(std::system(("xvfb-run -a -s '-screen 0 1280x1024x24' sh -c '" + run + "'").c_str()), 0);
        return;
    }
    // The window manager drops what it is asked while it starts, a window's map among them; once it
    // has answered a request, it takes the window's. Asking again is the wait's own step.
    const char* answered = "xdotool set_num_desktops 1 && xprop -root _NET_NUMBER_OF_DESKTOPS | grep -q '= 1$'";
    ASSERT_TRUE(formstest::WaitUntil([&] { return std::system(answered) == 0; }, 20000));
    auto xdo = [](const std::string& args) { EXPECT_EQ(std::system(("xdotool " + args).c_str()), 0) << args; };
    // Where the program last saw the pointer, and how many presses and releases.
    struct Watch : QObject {
        QPoint at;
        int buttons = 0;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (auto* m = dynamic_cast<QMouseEvent*>(e); m && o->isWidgetType())
                at = m->globalPosition().toPoint(), buttons += m->button() != 0;
            return false;
        }
    } watch;
    qApp->installEventFilter(&watch);
    // Where the X server shows the window, as the window manager put it. Until the manager has
    // mapped it, nowhere: the pointer moved there would land on the root window, and the window
    // appear under it with an enter but no motion.
    auto where = [&] {
        QPoint at;
        char state[16] = "";
        FILE* info = popen(("xwininfo -id " + std::to_string(small->Widget()->winId())).c_str(), "r");
        for (char line[256]; info && fgets(line, sizeof line, info);)
            std::sscanf(line, " Absolute upper-left X: %d", &at.rx()),
                std::sscanf(line, " Absolute upper-left Y: %d", &at.ry()), std::sscanf(line, " Map State: %15s", state);
        if (info) pclose(info);
        return std::string(state) == "IsViewable" ? at : QPoint(-1, -1);
    };
    Make(false);
    small->SetBounds(100, 100, small->Width(), small->Height());
    small->Show();
    ASSERT_TRUE(formstest::WaitUntil([&] { return where() == QPoint(100, 100); }, 20000));
    const struct {
        const char* press;
        int buttons;
        int movingSteps;  // of five steps from the case's right side and a sixth back with the button up
        QPoint step;      // held, each far out of the window's shape; free, down inside it
    } cases[] = {{"mousedown 1", 1, 5, {100, 20}}, {"mousedown 1 mouseup 1", 2, 0, {5, 20}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.press);
        const QPoint from = where(), start = from + QPoint(340, 300), step = c.step;
        xdo("mousemove " + std::to_string(start.x()) + " " + std::to_string(start.y()));
        ASSERT_TRUE(formstest::WaitUntil([&] { return watch.at == start; }, 20000));
        const int buttons = watch.buttons;
        xdo(c.press);
        ASSERT_TRUE(formstest::WaitUntil([&] { return watch.buttons == buttons + c.buttons; }, 20000));
        QPoint pointer = start;
        for (int n = 1; n <= 6; ++n) {
            if (n == 6 && c.movingSteps) xdo("mouseup 1");
            ASSERT_TRUE(formstest::WaitUntil([&] { return watch.buttons == buttons + 2 || n < 6; }, 20000));
            // The sixth step comes back, into the window's shape.
            const QPoint was = where(), by = n < 6 ? step : -step;
            pointer += by;
            xdo("mousemove_relative -- " + std::to_string(by.x()) + " " + std::to_string(by.y()));
            // The window moved, or stayed as the program saw the pointer go on.
            const QPoint moved = std::min(n, c.movingSteps) * step;
            EXPECT_TRUE(formstest::WaitUntil(
                [&] { return where() != was || (watch.at == pointer && where() - from == moved); }, 20000));
            EXPECT_EQ(where() - from, moved) << "step " << n;
        }
    }
    qApp->removeEventFilter(&watch);
}

}  // namespace
