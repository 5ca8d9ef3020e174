#include "ControlsTestUtil.h"
#include "Zelslider.h"

using namespace ctest;

namespace {

constexpr Rgb kTrack = 0x00FF00, kThumb = 0xFF0000, kHeld = 0x0000FF;

struct ZelSliderTest : SkinTest {
    void SetUp() override {
        SkinTest::SetUp();
        WriteBmp24(dir / "back.bmp", 109, 22, Solid(kTrack));
        Pictures(9, 22, {{"thumb", kThumb}, {"held", kHeld}});
    }
    // The volume slider of the main window: 109 x 22, a 9-pixel thumb, a 100-pixel track.
    TZelSlider* MakeVolume() {
        auto* s = Make<TZelSlider>(10, 10, 109, 22);
        s->SetHorizontal(true), s->SetPicBackgroundIdle(Pic("back")), s->SetPicBackgroundMouseMove(Pic("back"));
        s->SetPicSliderIdle(Pic("thumb")), s->SetPicSliderMouseDown(Pic("held")), s->SetPosition(0);
        s->OnChange = [this](TObject*) { ++changes; };
        s->Loaded();
        return s;
    }
    int changes = 0;
};

}  // namespace

TEST_F(ZelSliderTest, DragsGivePositions) {
    // The mouse as messages at an x; the position, thumb offset and OnChange count after them.
    struct Case {
        const char* what;
        int min, max;
        std::vector<std::pair<UINT, int>> mouse;
        int position, offset, n;
    };
    const std::vector<Case> cases = {
        {"press grabs the thumb at its centre", 0, 100, {{WM_LBUTTONDOWN, 54}}, 50, 50, 1},
        {"press at the start", 0, 100, {{WM_LBUTTONDOWN, 4}}, 0, 0, 1},
        {"every held move raises OnChange",
         0,
         100,
         {{WM_LBUTTONDOWN, 30}, {WM_MOUSEMOVE, 30}, {WM_MOUSEMOVE, 80}},
         76,
         76,
         3},
        {"past the right end", 0, 100, {{WM_LBUTTONDOWN, 50}, {WM_MOUSEMOVE, 400}}, 100, 100, 2},
        {"past the left end", 0, 100, {{WM_LBUTTONDOWN, 50}, {WM_MOUSEMOVE, -40}}, 0, 0, 2},
        {"wide range", 0, 65535, {{WM_LBUTTONDOWN, 37}}, 21626, 33, 1},
        {"offset range", -50, 50, {{WM_LBUTTONDOWN, 79}}, 25, 75, 1},
        {"moves without the button do nothing", 0, 100, {{WM_MOUSEMOVE, 70}}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        TZelSlider* s = MakeVolume();
        s->SetMaxPosition(c.max);
        s->SetMinPosition(c.min);
        s->SetPosition(c.min);
        EXPECT_EQ(s->SlideSpaceSize(), 100);
        changes = 0;
        for (auto [msg, x] : c.mouse)
            s->Perform(msg, msg == WM_MOUSEMOVE && c.mouse.size() == 1 ? 0 : MK_LBUTTON, At(x, 5));
        EXPECT_EQ(std::tuple(s->Position(), s->ThumbOffset(), changes), std::tuple(c.position, c.offset, c.n))
            << c.what;
        s->Perform(WM_LBUTTONUP, 0, At(0, 5));
        delete s;
    }
}

TEST_F(ZelSliderTest, PositionSettersAndThumbPicture) {
    TZelSlider* s = MakeVolume();
    s->SetPosition(40);
    EXPECT_EQ(changes, 1);
    s->SetPosition(40);
    EXPECT_EQ(changes, 1) << "the same value raises nothing";
    s->SetPosition(500);
    EXPECT_EQ(s->Position(), 100);
    s->SetMinPosition(100);
    EXPECT_EQ(s->MinPosition(), 0) << "not below MaxPosition: ignored";
    s->SetMaxPosition(65535);
    s->SetPosition(50);
    EXPECT_EQ(s->ThumbOffset(), 0) << "50 * 100 / 65535 truncates";
    s->SetMaxPosition(100);
    s->SetSlideSize(1);
    EXPECT_EQ(s->SlideSpaceSize(), 100) << "below 2: ignored";

    // The idle thumb at its offset over the track; the held thumb while dragging.
    s->SetPosition(20);
    s->Repaint();
    for (auto [x, colour] : {std::pair{20, kThumb}, {28, kThumb}, {19, kTrack}, {29, kTrack}})
        EXPECT_EQ(SurfaceAt(s, x, 5), colour) << x;
    for (auto [msg, colour] : {std::pair{WM_LBUTTONDOWN, kHeld}, {WM_LBUTTONUP, kThumb}}) {
        s->Perform(msg, msg == WM_LBUTTONDOWN ? MK_LBUTTON : 0, At(64, 5));
        s->Repaint();
        EXPECT_EQ(SurfaceAt(s, 64, 5), colour);
    }
}

TEST_F(ZelSliderTest, TrackLengthChanges) {
    // A resize changes the track: the thumb moves to where Position puts it, without OnChange.
    TZelSlider* s = MakeVolume();
    s->SetPosition(50);
    EXPECT_EQ(s->ThumbOffset(), 50);
    changes = 0;
    s->SetWidth(59);
    EXPECT_EQ(std::tuple(s->SlideSpaceSize(), s->ThumbOffset(), changes), std::tuple(50, 25, 0));

    // No room to move (thumb as wide as the track): a drag keeps Position and the thumb at 0.
    auto* flat = Make<TZelSlider>(10, 50, 9, 22);
    flat->SetHorizontal(true), flat->SetPosition(30);
    flat->OnChange = [this](TObject*) { ++changes; };
    flat->Loaded();
    changes = 0;
    flat->Perform(WM_LBUTTONDOWN, MK_LBUTTON, At(6, 5));
    flat->Perform(WM_MOUSEMOVE, MK_LBUTTON, At(8, 5));
    EXPECT_EQ(std::tuple(flat->Position(), flat->ThumbOffset(), changes), std::tuple(30, 0, 2));
    flat->Perform(WM_LBUTTONUP, 0, At(8, 5));
}

TEST_F(ZelSliderTest, ComposedBackground) {
    Pictures(3, 22, {{"left", 0xFF0000}, {"right", 0x0000FF}});
    Pictures(22, 3, {{"vleft", 0xFF0000}, {"vright", 0x0000FF}});
    WriteBmp24(dir / "tile.bmp", 4, 22, [](int x, int) -> Rgb { return x == 0 ? 0x00FF00 : 0x008000; });
    WriteBmp24(dir / "vtile.bmp", 22, 4, [](int, int y) -> Rgb { return y == 0 ? 0x00FF00 : 0x008000; });
    auto column = [](TZelSlider* s, bool horizontal) {
        TBitmap* b = s->ComposedBackground()->Bitmap();
        return formstest::PixelText(horizontal ? b->Width() : b->Height(), 1, [&](int i, int) {
            Rgb c = FromColorRef(GetPixel(b->Canvas()->Handle(), horizontal ? i : 1, horizontal ? 1 : i));
            return c == 0xFF0000 ? 'L' : c == 0x0000FF ? 'R' : c == 0x00FF00 ? 'T' : c == 0x008000 ? 't' : '?';
        });
    };
    struct Case {
        bool horizontal;
        int length;
        std::string expected;
    };
    for (Case c : {Case{true, 20, "LLLTtttTtttTtttTtRRR"}, Case{false, 12, "LLLTtttTtRRR"}, Case{true, 5, "LLRRR"}}) {
        auto* s = Make<TZelSlider>();
        s->SetHorizontal(c.horizontal);
        s->SetBounds(0, 0, c.horizontal ? c.length : 22, c.horizontal ? 22 : c.length);
        const std::string v = c.horizontal ? "" : "v";
        s->SetPicBackgroundLeft(Pic(v + "left")), s->SetPicBackgroundRight(Pic(v + "right")),
            s->SetPicBackgroundIdle(Pic(v + "tile"));
        s->Loaded();
        EXPECT_EQ(column(s, c.horizontal), c.expected) << c.horizontal << " " << c.length;
        delete s;
    }

    // Without a middle picture the background is a flat fill in the current colour.
    auto* plain = Make<TZelSlider>(0, 0, 30, 10);
    plain->SetBkIdleColor(clYellow);
    plain->Loaded();
    plain->Perform(WM_MOUSELEAVE, 0, 0);
    plain->Resize();
    plain->Repaint();
    EXPECT_EQ(SurfaceAt(plain, 15, 5), 0xFFFF00u);
}
