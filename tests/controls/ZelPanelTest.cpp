#include <cstring>

#include "ControlsTestUtil.h"
#include "Zelpanel.h"

using namespace ctest;

namespace {

constexpr Rgb kIdle = 0xFF0000, kMove = 0x00FF00, kDown = 0x0000FF, kChecked = 0xFFFF00, kDisabled = 0x808080;

// A panel that records the messages it gets.
class LogPanel : public TZelPanel {
public:
    using TZelPanel::TZelPanel;
    std::vector<UINT> messages;
    void Dispatch(TMessage& m) override { messages.push_back(m.Msg), TZelPanel::Dispatch(m); }
};

struct ZelPanelTest : SkinTest {
    void SetUp() override {
        SkinTest::SetUp();
        Pictures(40, 20,
                 {{"idle", kIdle}, {"move", kMove}, {"down", kDown}, {"checked", kChecked}, {"disabled", kDisabled}});
    }
    LogPanel* MakePanel(bool loaded = true) {
        auto* p = Make<LogPanel>(10, 10, 40, 20);
        if (loaded) p->Loaded();
        return p;
    }
    Rgb Shown(TZelPanel* p) {
        p->Repaint();
        return SurfaceAt(p, 20, 2);
    }
};

// How many pixels of a control differ from a fill with the text drawn see-through in a font,
// where at(text width, text height) says.
int DiffersFromText(TWinControl* c, Rgb fill, const TFont& font, const AnsiString& text,
                    const std::function<POINT(int, int)>& at) {
    TBitmap ref;
    MakeBitmap32(ref, c->Width(), c->Height(), Solid(fill));
    TCanvas* rc = ref.Canvas();
    rc->Font()->Assign(font);
    POINT p = at(rc->TextWidth(text), rc->TextHeight(text));
    SetBkMode(rc->Handle(), TRANSPARENT);
    rc->TextOut(p.x, p.y, text);
    return Differences(c, ref);
}

}  // namespace

TEST_F(ZelPanelTest, PictureOfEachStateAndEvent) {
    struct Step {
        const char* what;
        std::function<void(TZelPanel*)> act;
        Rgb shown;
        int state;
    };
    auto button = [&](TZelPanel* p) {
        p->SetPicOnIdle(Pic("idle")), p->SetPicOnMouseMove(Pic("move")), p->SetPicOnMouseDown(Pic("down"));
    };
    const std::vector<Step> steps = {
        {"idle", button, kIdle, 0},
        {"hover report", [](TZelPanel* p) { p->Perform(WM_MOUSEHOVER, 0, 0); }, kMove, 1},
        {"press", [](TZelPanel* p) { p->Perform(WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5)); }, kDown, 2},
        {"move while held keeps pressed", [](TZelPanel* p) { p->Perform(WM_MOUSEMOVE, MK_LBUTTON, At(6, 5)); }, kDown,
         2},
        {"release keeps pressed", [](TZelPanel* p) { p->Perform(WM_LBUTTONUP, 0, At(6, 5)); }, kDown, 2},
        {"move", [](TZelPanel* p) { p->Perform(WM_MOUSEMOVE, 0, At(7, 5)); }, kMove, 1},
        {"leave report", [](TZelPanel* p) { p->Perform(WM_MOUSELEAVE, 0, 0); }, kIdle, 0},
        {"checked without a checked picture looks idle", [](TZelPanel* p) { p->SetChecked(true); }, kIdle, 3},
        {"checked picture", [&](TZelPanel* p) { p->SetPicOnChecked(Pic("checked")); }, kChecked, 3},
        {"checked while hovering", [](TZelPanel* p) { p->Perform(WM_MOUSEHOVER, 0, 0); }, kChecked, 1},
        {"checked while pressed", [](TZelPanel* p) { p->Perform(WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5)); }, kChecked, 2},
        {"unchecked", [](TZelPanel* p) { p->SetChecked(false); }, kIdle, 0},
        {"disabled without a disabled picture: plain panel",
         [](TZelPanel* p) { p->SetBkColor(0x00336699), p->SetEnabled(false); }, 0x996633, 0},
        {"disabled picture", [&](TZelPanel* p) { p->SetPicOnDisabled(Pic("disabled")); }, kDisabled, 0},
        {"disabled ignores the mouse", [](TZelPanel* p) { p->Perform(WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5)); },
         kDisabled, 0},
        {"enabled again", [](TZelPanel* p) { p->SetEnabled(true); }, kIdle, 0},
    };
    TZelPanel* p = MakePanel();
    for (const Step& s : steps) {
        s.act(p);
        EXPECT_EQ(std::tuple(Shown(p), p->State()), std::tuple(s.shown, s.state)) << s.what;
    }
    p->Perform(WM_LBUTTONUP, 0, At(5, 5));

    // Before Loaded the state is -1 and the disabled picture shows.
    TZelPanel* fresh = MakePanel(false);
    fresh->SetPicOnDisabled(Pic("disabled"));
    EXPECT_EQ(std::pair(fresh->State(), Shown(fresh)), std::pair(-1, kDisabled));
}

TEST_F(ZelPanelTest, PicturePropertiesAndMessages) {
    TZelPanel* p = MakePanel();
    p->SetPicOnIdle(Pic("idle"));
    // The same name again does not reload: the file changed on disk does not show.
    WriteBmp24(dir / "idle.bmp", 40, 20, Solid(kMove));
    p->SetPicOnIdle(Pic("idle"));
    EXPECT_EQ(Shown(p), kIdle);
    WriteBmp24(dir / "idle.bmp", 40, 20, Solid(kIdle));

    struct Case {
        const char* what;
        AnsiString name;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"missing file", Pic("nothing"), "File not found : " + (dir / "nothing.bmp")},
        {"empty name", AnsiString(), "File not found : "},
    };
    for (const Case& c : cases) {
        p->SetPicOnIdle(Pic("idle"));
        EXPECT_EQ(ErrorOf([&] { p->SetPicOnIdle(c.name); }), c.message) << c.what;
        EXPECT_TRUE(p->PicOnIdle().IsEmpty()) << c.what;
        EXPECT_EQ(Shown(p), kIdle) << "the old picture stays: " << c.what;
    }

    // A load that raises is reported as a missing file: the name is emptied, no follow-up.
    AnsiString stored = "old";
    bool followed = false;
    auto load = [&] {
        tikora::controls::SetPictureProperty(
            stored, Pic("idle"), [] { throw Exception("decoder gave up"); }, [&] { followed = true; });
    };
    EXPECT_EQ(ErrorOf(load), "File not found : " + (dir / "idle.bmp"));
    EXPECT_TRUE(stored.IsEmpty() && !followed);

    // Checked with the idle picture's own file still loads it as the checked picture.
    p->SetPicOnIdle(Pic("idle")), p->SetPicOnChecked(Pic("idle"));
    EXPECT_TRUE(p->SlotHolds(TZelPanel::StateChecked));
}

TEST_F(ZelPanelTest, LoadedArmsTrackingAndAntialiasesAfterSetup) {
    // A form's set-up moves the state before Loaded; Loaded must still do its work once.
    LogPanel* p = MakePanel(false);
    TFont big;
    big.SetHeight(-20), big.SetName("DejaVu Sans");
    p->FontOnIdle()->Assign(big), p->SetPicOnIdle(Pic("idle")), p->SetChecked(true), p->Loaded();
    Application->ProcessMessages();
    // The pointer is elsewhere, so the armed tracking answers with a leave report at once.
    EXPECT_NE(std::find(p->messages.begin(), p->messages.end(), WM_MOUSELEAVE), p->messages.end());
    EXPECT_EQ(p->State(), 0) << "the leave report shows the idle look";
    LOGFONTA lf{};
    ASSERT_EQ(GetObjectA(p->FontOnIdle()->Handle(), sizeof(lf), &lf), static_cast<int>(sizeof(lf)));
    EXPECT_EQ(std::tuple(lf.lfQuality, lf.lfHeight, std::string(lf.lfFaceName)),
              std::tuple(ANTIALIASED_QUALITY, -20, std::string("DejaVu Sans")));

    // A font given later is antialiased at once, nothing else of it changed; FontOnIdle reaches all five.
    TFont later;
    later.SetName("DejaVu Serif"), later.SetHeight(-9), later.SetStyle(TFontStyles{fsBold, fsItalic});
    LOGFONTA want{};
    GetObjectA(later.Handle(), sizeof(want), &want);
    want.lfQuality = ANTIALIASED_QUALITY;
    p->SetFontOnIdle(&later);
    for (TFont* f :
         {p->FontOnIdle(), p->FontOnDisabled(), p->FontOnMouseMove(), p->FontOnMouseDown(), p->FontOnChecked()}) {
        ASSERT_EQ(GetObjectA(f->Handle(), sizeof(lf), &lf), static_cast<int>(sizeof(lf)));
        EXPECT_EQ(std::memcmp(&lf, &want, sizeof(lf)), 0)
            << lf.lfFaceName << " " << lf.lfHeight << " " << +lf.lfQuality;
    }
}

// Text placement, compared pixel for pixel with the text drawn where it belongs.
TEST_F(ZelPanelTest, TextPlacement) {
    // The picture shows between and inside the glyphs, pixel for pixel: no box behind the text.
    const Rgb kSkin = 0x305070;
    WriteBmp24(dir / "white.bmp", 120, 30, Solid(kSkin));
    // Where the text goes, from the text's width and height on the panel's canvas.
    struct Case {
        const char* what;
        TAlignment align;
        bool marginOn;
        int marginX, marginY;
        bool pressed;
        std::function<POINT(int, int)> expected;
    };
    const int W = 120, H = 30;
    const std::vector<Case> cases = {
        {"centred", taCenter, false, 0, 0, false,
         [&](int tw, int th) {
             return POINT{(W - tw) / 2, (H - th) / 2};
         }},
        {"left, shifted by the margins", taLeftJustify, false, 4, 3, false,
         [&](int, int th) {
             return POINT{2 + 4, (H - th) / 2 + 3};
         }},
        {"right", taRightJustify, false, 0, 0, false,
         [&](int tw, int th) {
             return POINT{W - tw - 2, (H - th) / 2};
         }},
        {"margins from the left edge", taCenter, true, 7, -2, false,
         [&](int, int th) {
             return POINT{7, (H - th) / 2 - 2};
         }},
        {"pressed moves the text", taCenter, false, 0, 0, true,
         [&](int tw, int th) {
             return POINT{(W - tw) / 2 + 3, (H - th) / 2 + 2};
         }},
    };
    const AnsiString text = "Play";
    for (const Case& c : cases) {
        TZelPanel* p = MakePanel();
        p->SetBounds(10, 10, W, H);
        p->SetPicOnIdle(AnsiString(dir / "white.bmp")), p->SetPicOnMouseDown(AnsiString(dir / "white.bmp"));
        p->SetAlignment(c.align), p->SetTextMarginOn(c.marginOn);
        p->SetTextMarginX(c.marginX), p->SetTextMarginY(c.marginY), p->SetTextMoveX(3), p->SetTextMoveY(2);
        p->SetText(text);
        if (c.pressed) p->Perform(WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
        p->Repaint();
        EXPECT_EQ(DiffersFromText(p, kSkin, c.pressed ? *p->FontOnMouseDown() : *p->FontOnIdle(), text, c.expected), 0)
            << c.what;
        if (c.pressed) p->Perform(WM_LBUTTONUP, 0, At(5, 5));
        delete p;
    }
}

TEST_F(ZelPanelTest, LongTextIsCutAndLinesWrap) {
    WriteBmp24(dir / "white.bmp", 60, 40, Solid(0xFFFFFF));
    auto inkBox = [](TWinControl* c) {  // right -1: no ink
        RECT box{c->Width(), c->Height(), -1, -1};
        for (int y = 0; y < c->Height(); ++y)
            for (int x = 0; x < c->Width(); ++x)
                if (SurfaceAt(c, x, y) != 0xFFFFFF)
                    box = RECT{std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x),
                               std::max<LONG>(box.bottom, y)};
        return box;
    };
    TZelPanel* p = MakePanel();
    p->SetBounds(10, 10, 60, 40);
    p->SetPicOnIdle(AnsiString(dir / "white.bmp")), p->SetAlignment(taLeftJustify), p->SetText("A rather long caption");
    p->Repaint();
    EXPECT_LE(inkBox(p).right, 60 - 3) << "the cut text fits";
    // The cut text ends in "..": it equals some prefix followed by "..", drawn at x = 2.
    AnsiString text = "A rather long caption";
    bool matched = false;
    for (int n = 1; n < text.Length() && !matched; ++n) {
        auto at = [](int, int th) { return POINT{2, (40 - th) / 2}; };
        matched = DiffersFromText(p, 0xFFFFFF, *p->FontOnIdle(), text.SubString(1, n) + "..", at) == 0;
    }
    EXPECT_TRUE(matched);

    // One character is never cut, however narrow the panel.
    p->SetBounds(10, 10, 4, 40);
    p->SetText("W");
    p->Repaint();
    EXPECT_NE(inkBox(p).right, -1);

    // Two lines: drawn centred, one above the other.
    p->SetBounds(10, 10, 60, 40);
    p->SetText("One\nTwo");
    p->Repaint();
    RECT two = inkBox(p);
    p->SetText("One");
    p->Repaint();
    RECT one = inkBox(p);
    EXPECT_GT(two.bottom - two.top, 2 * (one.bottom - one.top));
}

TEST_F(ZelPanelTest, AlphaPicturesOverTheBackgroundImage) {
    // The background image lies under the panel; the panel copies its part of it first.
    auto* image = Make<TImage>(0, 0, 100, 100);
    MakeBitmap32(*image->Picture()->Bitmap(), 100, 100, [](int, int y) -> Rgb { return y < 15 ? 0x00FF00 : 0x0000FF; });
    WritePng(dir / "half.png", 40, 20, Solid(kIdle), [](int x, int) -> uint8_t { return x < 20 ? 255 : 0; });

    TZelPanel* p = MakePanel();
    p->SetBackgroundImage(image), p->SetUseAlpha(true), p->SetPicOnIdle(AnsiString(dir / "half.png"));
    EXPECT_EQ(p->SlotKind(TZelPanel::StateIdle), TZelPanel::KindPxImage);
    p->Repaint();
    EXPECT_EQ(SurfaceAt(p, 5, 10), kIdle);
    EXPECT_EQ(SurfaceAt(p, 30, 10), 0x0000FFu) << "transparent part shows the image under the panel";
    EXPECT_EQ(SurfaceAt(p, 30, 2), 0x00FF00u) << "at the panel's own place in the image";

    // No picture for the state and no disabled picture: the plain panel covers the background.
    TZelPanel* plain = MakePanel();
    plain->SetBackgroundImage(image), plain->SetBkColor(clRed), plain->Repaint();
    EXPECT_EQ(SurfaceAt(plain, 30, 10), 0xFF0000u);
}
