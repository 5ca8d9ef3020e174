// The small window: its layout at full and half size, its shape, and the stay-on-top timer.
#include <gtest/gtest.h>

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

}  // namespace
