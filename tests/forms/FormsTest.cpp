// The mouse, keys, hints and posted messages on their way to the controls; dialogs; where forms
// are placed on the screen.
#include <QApplication>
#include <QHelpEvent>
#include <QScreen>
#include <QStyle>
#include <QToolTip>

#include "Clock.h"
#include "ExtCtrls.h"
#include "FormsTestSupport.h"

using namespace tikora::forms;
using namespace formstest;

namespace {

// A panel that logs its events into the test's log.
class LogPanel : public TPanel {
public:
    using TPanel::TPanel;
    std::vector<std::string> early;  // events before the test takes the log over
    std::vector<std::string>* log = &early;
    void Dispatch(TMessage& m) override {
        if (m.Msg == WM_MOUSEHOVER) log->push_back("hover");
        if (m.Msg == WM_MOUSELEAVE) log->push_back("leave");
        if (m.Msg == WM_USER + 1)
            log->push_back("user" + std::to_string(m.WParam) + "@" + std::to_string(GetMessageTime()));
        TPanel::Dispatch(m);
    }
    void Click() override {
        log->push_back("Click");
        TPanel::Click();
    }
    void DblClick() override {
        log->push_back("DblClick");
        TPanel::DblClick();
    }
    void MouseDown(TMouseButton, TShiftState s, int x, int y) override {
        log->push_back(std::string("Down") + (s.Contains(ssDouble) ? "2" : "") + "(" + std::to_string(x) + "," +
                       std::to_string(y) + ")");
    }
    void MouseUp(TMouseButton, TShiftState, int, int) override { log->push_back("Up"); }
    void Resize() override {
        log->push_back("Resize");
        TPanel::Resize();
    }
};

struct Fixture : FormTest {
    void SetUp() override {
        FormTest::SetUp();
        panel = Make<LogPanel>(10, 10, 100, 50);
        panel->log = &log;
        Pump();
        Take();
    }
    LogPanel* panel = nullptr;
};

TEST_F(Fixture, MouseEventOrder) {
    using P = std::vector<std::pair<QEvent::Type, QPoint>>;
    const auto press = QEvent::MouseButtonPress, release = QEvent::MouseButtonRelease,
               dbl = QEvent::MouseButtonDblClick;
    const P twice = {{press, {5, 5}}, {release, {5, 5}}, {dbl, {5, 5}}, {release, {5, 5}}};
    struct Case {
        const char* name;
        bool doubleClicks;
        P events;
        const char* expected;
    };
    const Case cases[] = {
        {"click inside", true, {{press, {5, 5}}, {release, {6, 6}}}, "Down(5,5) Click Up"},
        {"released outside", true, {{press, {5, 5}}, {release, {150, 6}}}, "Down(5,5) Up"},
        {"fast second press, no double-click style", false, twice, "Down(5,5) Click Up Down(5,5) Click Up"},
        {"double click", true, twice, "Down(5,5) Click Up DblClick Down2(5,5) Up"},
    };
    for (const Case& c : cases) {
        TControlStyle s = panel->ControlStyle();
        panel->SetControlStyle(c.doubleClicks ? s << csDoubleClicks : s >> csDoubleClicks);
        for (auto& [type, p] : c.events) Mouse(panel, type, p.x(), p.y());
        EXPECT_EQ(Take(), c.expected) << c.name;
        EXPECT_FALSE(panel->MouseCapture()) << c.name;
    }
}

TEST_F(Fixture, CaptureAndGraphicChildren) {
    auto* image = Make<TImage>(120, 10, 50, 50);
    image->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int x, int y) {
        log.push_back("img down " + std::to_string(x) + "," + std::to_string(y));
    };
    image->OnClick = [&](TObject*) { log.push_back("img click"); };
    Mouse(image, QEvent::MouseButtonPress, 3, 4);
    EXPECT_TRUE(image->MouseCapture()) << "a graphic control captures through its parent";
    Mouse(image, QEvent::MouseButtonRelease, 3, 4);
    EXPECT_EQ(Take(), "img down 3,4 img click");
    // Explicit capture sends the form's mouse to the panel, in the panel's coordinates.
    SetCapture(panel->Handle());
    EXPECT_EQ(GetCapture(), panel->Handle());
    Mouse(form, QEvent::MouseButtonPress, 150, 100);
    EXPECT_EQ(Take(), "Down(140,90)");
    ReleaseCapture();
    SetCapture(panel->Handle());
    panel->Hide();
    EXPECT_EQ(GetCapture(), nullptr) << "hiding the captured control releases the capture";
}

TEST_F(Fixture, HoverLeaveAndPostedMessages) {
    TRACKMOUSEEVENT t{16, TME_HOVER | TME_LEAVE, panel->Handle(), 10};
    // Outside: the leave report comes at once and the hover request is dropped.
    TrackMouseEvent(&t);
    Pump();
    EXPECT_EQ(Take(), "leave");
    // A hover request made outside waits for the pointer.
    t.dwFlags = TME_HOVER;
    TrackMouseEvent(&t);
    Pump();
    EXPECT_EQ(Take(), "");
    QEvent enter(QEvent::Enter), leave(QEvent::Leave);
    QCoreApplication::sendEvent(panel->Widget(), &enter);
    Mouse(panel, QEvent::MouseMove, 4, 4);
    ASSERT_TRUE(WaitUntil([&] { return !log.empty(); }));
    t.dwFlags = TME_LEAVE;
    TrackMouseEvent(&t);
    QCoreApplication::sendEvent(panel->Widget(), &leave);
    Pump();
    EXPECT_EQ(Take(), "hover leave");

    tikora::TestClock clock(5'000'000'000);
    PostMessageA(panel->Handle(), WM_USER + 1, 1, 0);
    clock.AdvanceMs(20);
    PostMessageA(panel->Handle(), WM_USER + 1, 2, 0);
    Pump();
    EXPECT_EQ(Take(), "user1@5000 user2@5020");
    panel->Hide();
    panel->SetWidth(70);
    EXPECT_EQ(Take(), "Resize") << "a hidden control resizes at once";
}

TEST_F(Fixture, ScriptedDialogsAndMessages) {
    ScriptDialog(IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Save?", "Tikora", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Save?", "Tikora", MB_YESNO | MB_DEFBUTTON2), IDNO) << "headless default";
    // Paths in messages show the host's separator.
    MessageBoxA(nullptr, "File not found: Midi\\gone.mid", "Tikora", MB_OK);
    EXPECT_EQ(DialogLog().back().text, "File not found: Midi/gone.mid");
    AnsiString value = "4";
    ScriptDialog(IDOK, "7");
    EXPECT_TRUE(InputQuery("Enter new value", "NOTE", value));
    EXPECT_FALSE(InputQuery("Enter new value", "NOTE", value));
    EXPECT_EQ(value, "7");
    TOpenDialog open(nullptr);
    open.SetFilter("Midi files|*.mid");
    ScriptDialog(IDOK, "/tmp/a.mid");
    EXPECT_TRUE(open.Execute() && open.FileName() == "/tmp/a.mid");
    EXPECT_FALSE(open.Execute()) << "unscripted file dialogs cancel headless";
    // The folder offered, written the program's way, reaches the dialog as the host names it.
    TOpenDialog browse(nullptr);
    browse.SetInitialDir("\\TMP\\");
    EXPECT_FALSE(browse.Execute());
    EXPECT_EQ(DialogLog().back().value, "/tmp/");
    // A name saved without an extension gets the default one.
    TSaveDialog save(nullptr);
    save.SetDefaultExt("tkra");
    struct Saved {
        const char* typed;
        const char* written;
    };
    for (Saved c : {Saved{"/tmp/mine", "/tmp/mine.tkra"}, Saved{"/tmp/a.b/mine", "/tmp/a.b/mine.tkra"},
                    Saved{"/tmp/song.tkra", "/tmp/song.tkra"}, Saved{"/tmp/old.bak", "/tmp/old.bak"}}) {
        ScriptDialog(IDOK, c.typed);
        EXPECT_TRUE(save.Execute());
        EXPECT_EQ(save.FileName(), c.written) << c.typed;
    }
}

TEST_F(Fixture, SurfacesMasksAndNoLeaks) {
    int64_t before = tikora::gdi::LiveObjectCount();
    {
        TBitmap b;
        b.SetPixelFormat(pf32bit), b.SetSize(40, 20);
        b.Canvas()->Brush()->SetColor(clRed), b.Canvas()->FillRect(RECT{0, 0, 40, 20});
        EXPECT_EQ(static_cast<uint32_t*>(b.ScanLine(5))[3], 0x00FF0000u) << "B, G, R and a 4th byte of 0";
        b.Canvas()->Font()->SetColor(clBlack);
        b.Canvas()->TextOut(2, 2, "Hg");
        auto px = [&](int x, int y) { return static_cast<uint32_t*>(b.ScanLine(y))[x]; };
        EXPECT_EQ(CountPixels(0, 0, 40, 20, [&](int x, int y) { return px(x, y) >> 24 != 0; }), 0);
        EXPECT_GT(CountPixels(0, 0, 40, 20, [&](int x, int y) { return (px(x, y) & 0xFFFFFF) != 0xFF0000; }), 5);
        EXPECT_GT(b.Canvas()->TextWidth("Hg"), 5);
        b.SetPixelFormat(pf24bit);
        EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(19))[3 * 39 + 2], 0xFF);
        TFont f;
        LOGFONTA lf;
        ASSERT_EQ(GetObjectA(f.Handle(), sizeof(lf), &lf), 60);
        lf.lfQuality = ANTIALIASED_QUALITY;
        f.SetHandle(CreateFontIndirectA(&lf));
        ASSERT_TRUE(tikora::gdi::GetLogFont(f.Handle(), &lf));
        EXPECT_EQ(lf.lfQuality, ANTIALIASED_QUALITY);
    }
    panel->SetColor(clBlue), panel->SetBevelOuter(bvNone), panel->Repaint();
    EXPECT_EQ(GetPixel(panel->SurfaceDC(), 50, 25) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(tikora::gdi::LiveObjectCount(), before);
    SetWindowRgn(form->Handle(), CreateRectRgn(0, 0, 50, 50), TRUE);
    EXPECT_EQ(form->Widget()->mask().boundingRect(), QRect(0, 0, 50, 50));
    SetWindowRgn(form->Handle(), nullptr, TRUE);
    EXPECT_TRUE(form->Widget()->mask().isEmpty());
}

// A tooltip request where the mouse rests: graphic and windowed controls show their own hint.
TEST_F(Fixture, HintsOfEveryControl) {
    auto* label = Make<TLabel>(120, 20, 60, 15);
    label->SetCaption("120 BPM");
    auto* edit = Make<TEdit>(120, 60, 60, 20);
    struct Case {
        const char* name;
        TControl* control;
        const char* hint;
        bool show;
        const char* shown;
    };  // or none
    const Case cases[] = {
        {"label", label, "Drag the weight to set the tempo", true, "Drag the weight to set the tempo"},
        {"edit", edit, "Beats per minute|Type a tempo", true, "Beats per minute"},
        {"label without ShowHint", label, "hidden", false, nullptr},
        {"panel's own hint", panel, "Panel", true, "Panel"},
        {"edit without a hint: its form's", edit, "", true, "The metronome"},
    };
    form->SetHint("The metronome");
    Application->SetHintHidePause(60000);
    for (const Case& c : cases) {
        c.control->SetHint(c.hint);
        c.control->SetShowHint(c.show);
        auto* w = dynamic_cast<TWinControl*>(c.control);
        QWidget* target = w ? w->Widget() : c.control->Parent()->Widget();
        QPoint at = w ? QPoint(5, 5) : QPoint(c.control->Left() + 5, c.control->Top() + 5);
        QHelpEvent help(QEvent::ToolTip, at, target->mapToGlobal(at));
        QCoreApplication::sendEvent(target, &help);
        if (c.shown)
            EXPECT_EQ(QToolTip::text().toStdString(), c.shown) << c.name;
        else
            EXPECT_NE(QToolTip::text().toStdString(), c.hint) << c.name;
    }
    QToolTip::hideText();
    // The application's pause before a hint is the one Qt waits.
    for (int pause : {400, 65000}) {
        Application->SetHintPause(pause);
        EXPECT_EQ(edit->Widget()->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, edit->Widget()), pause);
    }
}

// A control with its hints switched off shows none, also where the panel around it and the form
// have hints of their own: the request is not handed on to them.
TEST_F(Fixture, HintSwitchedOffShowsNothing) {
    auto* hinted = Make<TPanel>(150, 100, 220, 150);
    auto* button = Add<TButton>(hinted, 10, 10, 80, 25);  // a Qt widget
    auto* inner = Add<TPanel>(hinted, 10, 50, 80, 40);    // a window of our own
    auto* label = Add<TLabel>(hinted, 110, 10, 80, 20);   // no window of its own
    auto* image = Add<TImage>(hinted, 110, 50, 80, 40);
    form->SetHint("The metronome"), form->SetShowHint(true);
    hinted->SetHint("Practice tools"), hinted->SetShowHint(true);
    Application->SetHintHidePause(60000);
    for (TControl* c : std::initializer_list<TControl*>{button, inner, label, image}) {
        for (bool show : {false, true}) {
            c->SetHint("Own hint");
            c->SetShowHint(show);
            QToolTip::hideText();
            ASSERT_TRUE(WaitUntil([] { return !QToolTip::isVisible(); }));
            auto* w = dynamic_cast<TWinControl*>(c);
            QWidget* target = w ? w->Widget() : hinted->Widget();
            QPoint at = w ? QPoint(5, 5) : QPoint(c->Left() + 5, c->Top() + 5);
            QHelpEvent help(QEvent::ToolTip, at, target->mapToGlobal(at));
            QCoreApplication::sendEvent(target, &help);
            std::string what = std::string(w ? "windowed " : "graphic ") + std::to_string(c->Left()) + "," +
                               std::to_string(c->Top()) + (show ? " with" : " without") + " ShowHint";
            EXPECT_EQ(QToolTip::isVisible(), show) << what;
            if (show) {
                EXPECT_EQ(QToolTip::text().toStdString(), "Own hint") << what;
            }
        }
    }
    QToolTip::hideText();
}

// Where a form's frame goes when it is shown (the offscreen screen gives windows a thin frame).
TEST(FormPlacement, FrameOnTheScreen) {
    Application->Initialize();
    QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    TForm* main = nullptr;
    Application->CreateForm(main);
    main->SetBounds(40, 30, 300, 200);
    main->Show();
    // Bounds as Left, Top, Width, Height; where the frame's top-left lands and the client width, for a frame of 0.
    struct Case {
        const char* name;
        TPosition position;
        RECT bounds;
        QPoint frameAt;
        int width;
    };
    const int sw = screen.width(), sh = screen.height();
    const Case cases[] = {
        {"designed", poDesigned, {20, 10, 100, 50}, {20, 10}, 100},
        {"above and left of the screen", poDesigned, {-50, -30, 100, 50}, {0, 0}, 100},
        {"beyond the bottom right", poDesigned, {sw - 20, sh + 10, 100, 50}, {sw - 100, sh - 50}, 100},
        {"wider than the screen", poDesigned, {-5, 5, sw + 40, 50}, {0, 5}, sw},
        {"screen centre", poScreenCenter, {0, 0, 100, 50}, {(sw - 100) / 2, (sh - 50) / 2}, 100},
        {"main form centre", poMainFormCenter, {0, 0, 100, 50}, {40 + 100, 30 + 75}, 100},
    };
    for (const Case& c : cases) {
        auto* f = new TForm(nullptr);
        f->SetPosition(c.position);
        f->SetBounds(c.bounds.left, c.bounds.top, c.bounds.right, c.bounds.bottom);
        f->Show();
        Pump();
        QWidget* w = f->Widget();
        QRect frame = w->frameGeometry();
        int mw = frame.width() - w->width(), mh = frame.height() - w->height();
        // The frame's own size moves it further in at the right and bottom edges, and centres it.
        QPoint expected = c.frameAt;
        if (c.bounds.left > sw - 100 - mw) expected.rx() -= mw;
        if (c.bounds.top > sh - 50 - mh) expected.ry() -= mh;
        if (c.position == poScreenCenter) expected -= QPoint(mw / 2, mh / 2);
        EXPECT_EQ(frame.topLeft(), expected + screen.topLeft()) << c.name;
        EXPECT_EQ(w->width(), c.width - (c.width == sw ? mw : 0)) << c.name;
        EXPECT_EQ(QPoint(f->Left(), f->Top()), frame.topLeft()) << c.name << ": Left and Top are the frame's";
        EXPECT_TRUE(screen.contains(frame)) << c.name;
        delete f;
    }
    delete main;
}

}  // namespace
