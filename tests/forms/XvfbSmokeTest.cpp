// Windows on a real X server (Xvfb): a shaped frameless window photographed with ImageMagick's
// import, and every window of the program, whose frame must lie on the screen under a window
// manager (openbox). Each re-runs this binary under xvfb-run and is skipped when the tools are
// missing. The program's lists and edit fields are also checked for readable text, offscreen.
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <unistd.h>

#include "ExtCtrls.h"
#include "FormsTestSupport.h"
#include "TempDir.h"
#ifdef TIKORA_WITH_PROGRAM
#include "Programforms.h"
#include "Talarmdialog.h"
#include "Talarmsetup.h"
#include "Tmainform.h"
#include "Tmetronomgame.h"
#include "Tminimizedform.h"
#include "Tsettingsform.h"
#include "Ttslistedit.h"
#include "Ttslistitemeditor.h"
#endif

namespace {

bool Have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs one test of this binary on a fresh X server, with openbox managing its windows if asked.
// True when this process is that run (the caller then does the work), once openbox has taken the
// screen: it starts beside this process, and a window shown before then is never activated.
bool UnderXvfb(const char* test, bool windowManager) {
    if (std::getenv("TIKORA_UNDER_XVFB")) {
        const char* managed = "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'";
        for (int tries = 0; windowManager && std::system(managed) != 0; ++tries) {
            if (tries == 400) {
                ADD_FAILURE() << "no window manager";
                break;
            }
            usleep(50000);
        }
        return true;
    }
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    EXPECT_GT(n, 0);
    self[n > 0 ? n : 0] = 0;
    std::string run = std::string("env TIKORA_UNDER_XVFB=1 QT_QPA_PLATFORM=xcb '") + self + "' --gtest_filter=" + test;
    if (windowManager) run = "openbox --sm-disable >/dev/null 2>&1 & " + run;
    std::string cmd = "xvfb-run -a -s '-screen 0 1280x1024x24' sh -c \"" + run + "\"";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return false;
}

#define SKIP_WITHOUT(...)                  \
    for (const char* tool : {__VA_ARGS__}) \
        if (!std::getenv("TIKORA_UNDER_XVFB") && !Have(tool)) GTEST_SKIP() << tool << " missing"

// Long enough for any window manager that answers at all.
constexpr int kSettle = 20000;

TEST(XvfbSmoke, ShapedWindowOnScreen) {
    SKIP_WITHOUT("xvfb-run", "import");
    if (!UnderXvfb("XvfbSmoke.ShapedWindowOnScreen", false)) return;
    Application->Initialize();
    auto* form = new TForm(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(100, 100, 200, 200);
    form->SetColor(clRed);
    POINT tri[3] = {{0, 0}, {200, 0}, {0, 200}};
    SetWindowRgn(form->Handle(), CreatePolygonRgn(tri, 3, WINDING), TRUE);
    form->Show();
    auto exposed = [&] { return form->Widget()->isVisible() && form->Widget()->windowHandle()->isExposed(); };
    ASSERT_TRUE(formstest::WaitUntil(exposed, kSettle));
    TempDir dir;
    std::string shot = dir / "xvfb-shot.png";
    QImage img;
    QPoint origin = form->Widget()->mapToGlobal(QPoint(0, 0));
    // The server shows the window once it has drawn it: photograph until the red shows.
    ASSERT_TRUE(formstest::WaitUntil(
        [&] {
            if (std::system(("import -window root '" + shot + "'").c_str()) != 0) return false;
            img = QImage(QString::fromStdString(shot));
            return !img.isNull() && qRed(img.pixel(origin + QPoint(20, 20))) == 255;
        },
        kSettle));
    QRgb inside = img.pixel(origin + QPoint(20, 20));
    QRgb outside = img.pixel(origin + QPoint(180, 180));
    EXPECT_EQ(qGreen(inside), 0);
    EXPECT_NE(outside & 0xFFFFFF, inside & 0xFFFFFF) << "outside the shape the screen shows through";
    delete form;
}

#ifdef TIKORA_WITH_PROGRAM
// The program's windows, made once per process in a scratch copy of the program folder.
std::vector<TForm*> ProgramForms() {
    static bool made = false;
    if (!made) {
        made = true;
        namespace fs = std::filesystem;
        static TempDir dir;  // the program's folder for the whole run
        for (const char* entry : {"pics", "Drums", "Midi", "wavs", "Tikora.def", "Tikora.tkra"})
            fs::copy(fs::path(TIKORA_BINARY_DIR) / "Tikora" / entry, dir.Path() / entry, fs::copy_options::recursive);
        setenv("TIKORA_AUDIO_SINK", "null", 1);
        tikora::app::ProgramFolderOverride() = AnsiString(dir.Path().string().c_str());
        Application->Initialize();
        CreateProgramForms();
    }
    std::vector<TForm*> forms;
    for (int i = 0; i < Application->ComponentCount(); ++i)
        if (auto* f = dynamic_cast<TForm*>(Application->Components(i))) forms.push_back(f);
    return forms;
}

void EachControl(TWinControl* parent, const std::function<void(TControl*)>& f) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
        f(parent->Controls(i));
        if (auto* w = dynamic_cast<TWinControl*>(parent->Controls(i))) EachControl(w, f);
    }
}

// Relative luminance and contrast ratio as the accessibility guidelines define them.
double Luminance(QRgb c) {
    auto channel = [](int v) {
        double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

// The text's contrast in a control's picture: its commonest colour is the background, the pixel
// farthest from it in luminance the text (away from the frame and from arrows on the right).
double TextContrast(QWidget* w) {
    QImage img = w->grab().toImage();
    std::map<QRgb, int> counts;
    QRect area(4, 3, std::max(1, img.width() * 6 / 10 - 4), std::max(1, img.height() - 6));
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) ++counts[img.pixel(x, y) & 0xFFFFFF];
    QRgb background =
        std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
    double lb = Luminance(background), best = 1;
    for (auto& [c, n] : counts) {
        double l = Luminance(c);
        best = std::max(best, (std::max(l, lb) + 0.05) / (std::min(l, lb) + 0.05));
    }
    return best;
}

TEST(ProgramWindows, ListsAndEditFieldsAreReadable) {
    int checked = 0;
    for (TForm* form : ProgramForms()) {
        form->Show();
        Application->ProcessMessages();
        EachControl(form, [&](TControl* c) {
            if (!c->Showing()) return;
            if (auto* list = dynamic_cast<TListBox*>(c)) {
                if (list->Count() == 0) list->Items()->Add("7:8 (2+2+3)");
            } else if (auto* combo = dynamic_cast<TComboBox*>(c)) {
                if (combo->Items()->Count() == 0) combo->Items()->Add("Woodblock");
                if (combo->ItemIndex() < 0) combo->SetItemIndex(0);
            } else if (auto* edit = dynamic_cast<TEdit*>(c)) {
                if (edit->Text().IsEmpty()) edit->SetText("120");
            } else if (auto* memo = dynamic_cast<TMemo*>(c)) {
                if (memo->Text().IsEmpty()) memo->SetText("Bars 9 to 16 slower");
            } else if (!dynamic_cast<TCSpinEdit*>(c)) {
                return;
            }
            auto* w = static_cast<TWinControl*>(c);
            ++checked;
            EXPECT_GE(TextContrast(w->Widget()), 4.5) << form->Name().c_str() << "." << c->Name().c_str();
        });
        form->Hide();
    }
    EXPECT_GT(checked, 5);
}

std::string Text(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

TEST(ProgramWindows, FramesOnTheScreen) {
    SKIP_WITHOUT("xvfb-run", "openbox");
    if (!UnderXvfb("ProgramWindows.FramesOnTheScreen", true)) return;
    std::vector<TForm*> forms = ProgramForms();
    QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // The frame as the window manager reports it.
    auto frameOf = [](TForm* f) { return f->Widget()->windowHandle()->frameGeometry(); };
    auto onScreen = [&](TForm* f) {
        QRect frame = frameOf(f);
        bool maximized = f->Widget()->isMaximized();
        return f->Widget()->isVisible() && !f->Widget()->windowHandle()->frameMargins().isNull() &&
               screen.contains(frame) && (maximized || (f->Left() == frame.left() && f->Top() == frame.top()));
    };
    auto settlesOnScreen = [&](TForm* f, const std::string& how) {
        EXPECT_TRUE(formstest::WaitUntil([&] { return onScreen(f); }, kSettle))
            << f->Name().c_str() << " " << how << ": frame " << Text(frameOf(f)) << " Left,Top " << f->Left() << ","
            << f->Top();
    };
    // The main window maximises itself when first activated, and is then restored.
    TForm* main = Application->MainForm();
    main->Show();
    settlesOnScreen(main, "shown");
    main->SetWindowState(wsMaximized);
    ASSERT_TRUE(formstest::WaitUntil([&] { return main->Widget()->isMaximized(); }, kSettle));
    main->SetWindowState(wsNormal);
    settlesOnScreen(main, "restored");
    EXPECT_FALSE(main->Widget()->isMaximized());
    // Every window as the program opens it, and put partly off the screen by code.
    for (TForm* f : forms) {
        for (QPoint at :
             {QPoint(f->Left(), f->Top()), QPoint(-80, -60), QPoint(screen.width() - 30, screen.height() - 10)}) {
            f->Hide();
            f->SetBounds(at.x(), at.y(), f->Width(), f->Height());
            f->Show();
            settlesOnScreen(f, "at " + std::to_string(at.x()) + "," + std::to_string(at.y()));
        }
        if (f != main) f->Hide();
    }
}

// Every event of the program, before its widget gets it.
class EventWatch : public QObject {
public:
    explicit EventWatch(std::function<void(QObject*, QEvent*)> f) : f_(std::move(f)) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        f_(o, e);
        return false;
    }

private:
    std::function<void(QObject*, QEvent*)> f_;
};

// The windows a property holds, as xprop prints it for a window (0: the root).
std::vector<WId> WindowsIn(const char* property, WId window = 0) {
    std::vector<WId> ids;
    std::string cmd = "xprop " + (window ? "-id " + std::to_string(window) : std::string("-root")) + " " + property;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return ids;
    char buf[8192];
    std::string text;
    while (size_t n = fread(buf, 1, sizeof(buf), p)) text.append(buf, n);
    pclose(p);
    for (size_t at = text.find("0x"); at != std::string::npos; at = text.find("0x", at + 2))
        ids.push_back(static_cast<WId>(std::stoul(text.substr(at), nullptr, 16)));
    return ids;
}

// The window that has the keyboard on the X server.
WId FocusedWindow() {
    FILE* p = popen("xdotool getwindowfocus", "r");
    unsigned long id = 0;
    if (p) {
        if (std::fscanf(p, "%lu", &id) != 1) id = 0;
        pclose(p);
    }
    return static_cast<WId>(id);
}

// The window manager's stacking order of the program's windows, bottom first.
std::vector<WId> Stacking() { return WindowsIn("_NET_CLIENT_LIST_STACKING"); }

// The window that the window manager is told a window belongs to.
WId TransientFor(QWidget* w) {
    std::vector<WId> ids = WindowsIn("WM_TRANSIENT_FOR", w->winId());
    return ids.empty() ? 0 : ids[0];
}

bool Above(WId top, WId below) {
    std::vector<WId> order = Stacking();
    auto t = std::find(order.begin(), order.end(), top), b = std::find(order.begin(), order.end(), below);
    return t != order.end() && b != order.end() && t > b;
}

void XdoTool(const std::string& args) { EXPECT_EQ(std::system(("xdotool " + args).c_str()), 0) << args; }

// A point of a control on the screen: its centre, or the given point of it.
QPoint OnScreen(TControl* c, QPoint at = QPoint(-1, -1)) {
    POINT p = c->ClientToScreen(at.x() < 0 ? POINT{c->Width() / 2, c->Height() / 2} : POINT{at.x(), at.y()});
    return QPoint(p.x, p.y);
}

// A real click, through the X server.
void ClickAt(QPoint p) { XdoTool("mousemove " + std::to_string(p.x()) + " " + std::to_string(p.y()) + " click 1"); }

// Where the X server has a window's client area, once the window manager has placed it.
QPoint ServerPosition(QWidget* w) {
    FILE* p = popen(("xwininfo -id " + std::to_string(w->winId())).c_str(), "r");
    QPoint at(-1, -1);
    if (!p) return at;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        std::sscanf(line, " Absolute upper-left X: %d", &at.rx());
        std::sscanf(line, " Absolute upper-left Y: %d", &at.ry());
    }
    pclose(p);
    return at;
}

// Moves a form so that a point of one of its controls comes to lie on the given screen point, once
// the window manager has placed it (again, where it first put it elsewhere).
void MoveOnto(TForm* form, TControl* c, QPoint at, QPoint screen) {
    QWidget* w = form->Widget();
    EXPECT_TRUE(formstest::WaitUntil(
        [&] {
            const QPoint server = ServerPosition(w);
            if (server != w->geometry().topLeft() || server != w->windowHandle()->geometry().topLeft()) return false;
            QPoint now = OnScreen(c, at);
            if (now == screen) return true;
            form->SetBounds(form->Left() + screen.x() - now.x(), form->Top() + screen.y() - now.y(), form->Width(),
                            form->Height());
            return false;
        },
        kSettle))
        << form->Name().c_str() << " does not move: " << Text(w->geometry()) << " on the server at "
        << ServerPosition(w).x() << "," << ServerPosition(w).y();
}

// Acts on a form each time it is shown modally, from a timer that fires within its modal loop.
// A form that the act leaves open is cancelled, so a failed check cannot hang the test.
class WhenModal : public QObject {
public:
    WhenModal(TForm* form, std::function<void(int opening)> act) : form_(form), act_(std::move(act)) {
        form->Widget()->installEventFilter(this);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start(20);
    }
    // Closed once the window manager has let go of its window, so that no frame of it is left to
    // catch a click.
    int Closed() const {
        std::vector<WId> listed = Stacking();
        bool gone = std::find(listed.begin(), listed.end(), form_->Widget()->winId()) == listed.end();
        return form_->Modal() || !gone ? openings_ - 1 : openings_;
    }
    bool eventFilter(QObject*, QEvent* e) override {
        // Shown by the program, not mapped again by the window manager.
        if (e->type() == QEvent::Show && !e->spontaneous() && form_->Modal()) shown_ = true;
        return false;
    }

private:
    void Tick() {
        if (!shown_ || !form_->Modal()) return;
        shown_ = false;
        act_(++openings_);
        if (form_->Modal() && form_->ModalResult() == mrNone) {
            ADD_FAILURE() << form_->Name().c_str() << " stayed open";
            form_->SetModalResult(mrCancel);
        }
    }
    TForm* form_;
    std::function<void(int)> act_;
    QTimer timer_;
    int openings_ = 0;
    bool shown_ = false;
};

// The settings window, opened with F6 on the maximised main window, is modal: a click on Play
// leaves the metronome stopped and the settings window on top, F6 reaches the settings window and
// raises no error, and closing it gives the main window the input back. Real input through the
// X server (xdotool), as the user's.
TEST(ProgramWindows, SettingsWindowIsModal) {
    SKIP_WITHOUT("xvfb-run", "openbox", "xdotool", "xprop");
    if (!UnderXvfb("ProgramWindows.SettingsWindowIsModal", true)) return;
    ProgramForms();
    std::vector<std::string> errors;
    Application->OnException = [&](TObject*, Exception* e) { errors.push_back(e->Message.c_str()); };
    QWidget* main = MainForm->Widget();
    QWidget* settings = SettingsForm->Widget();
    MainForm->Show();
    ASSERT_TRUE(
        formstest::WaitUntil([&] { return main->isMaximized() && QApplication::activeWindow() == main; }, kSettle));
    // Where input went: the window of the first press of a key since it was sent; where the pointer
    // last moved to, or entered a window.
    std::map<int, QWidget*> keyWindow;
    QPoint moved;
    EventWatch watch([&](QObject* o, QEvent* e) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && e->type() == QEvent::KeyPress) keyWindow.emplace(static_cast<QKeyEvent*>(e)->key(), w->window());
        if (e->type() == QEvent::MouseMove || e->type() == QEvent::Enter)
            moved = static_cast<QSinglePointEvent*>(e)->globalPosition().toPoint();
    });
    auto sentKey = [&](const char* name, int key) {
        keyWindow.erase(key);
        XdoTool(std::string("key ") + name);
        EXPECT_TRUE(formstest::WaitUntil([&] { return keyWindow.count(key) > 0; }, kSettle)) << name;
        return keyWindow[key];
    };
    int opened = 0;
    bool busy = false;
    QTimer whileOpen;
    QObject::connect(&whileOpen, &QTimer::timeout, [&] {
        if (busy || !SettingsForm->Modal() || SettingsForm->ModalResult() != mrNone) return;
        if (++opened > 1) return SettingsForm->SetModalResult(mrCancel);
        busy = true;
        EXPECT_TRUE(formstest::WaitUntil(
            [&] { return QApplication::activeWindow() == settings && Above(settings->winId(), main->winId()); },
            kSettle));
        // A click on Play, away from the settings window.
        POINT play = MainForm->PlayButton->ClientToScreen(
            POINT{MainForm->PlayButton->Width() / 2, MainForm->PlayButton->Height() / 2});
        EXPECT_FALSE(settings->frameGeometry().contains(QPoint(play.x, play.y)));
        XdoTool("mousemove " + std::to_string(play.x) + " " + std::to_string(play.y) + " click 1");
        // The pointer's next move, over the settings window, comes after the click.
        QPoint over = settings->geometry().center();
        XdoTool("mousemove " + std::to_string(over.x()) + " " + std::to_string(over.y()));
        EXPECT_TRUE(formstest::WaitUntil([&] { return moved == over; }, kSettle));
        EXPECT_EQ(static_cast<int>(MainForm->Engine()->State), static_cast<int>(psStopped)) << "Play did nothing";
        EXPECT_TRUE(Above(settings->winId(), main->winId())) << "the settings window stays on top";
        // The window manager may hand the keyboard to the clicked window first; it comes back.
        EXPECT_TRUE(formstest::WaitUntil([&] { return FocusedWindow() == settings->winId(); }, kSettle))
            << "the settings window keeps the keyboard";
        EXPECT_EQ(sentKey("F6", Qt::Key_F6), settings);
        EXPECT_EQ(formstest::Join(errors), "");
        EXPECT_EQ(sentKey("Escape", Qt::Key_Escape), settings);
        EXPECT_NE(SettingsForm->ModalResult(), mrNone) << "Escape closes the settings window";
        if (SettingsForm->ModalResult() == mrNone) SettingsForm->SetModalResult(mrCancel);
        busy = false;
    });
    whileOpen.start(20);
    XdoTool("key F6");
    EXPECT_TRUE(formstest::WaitUntil([&] { return opened == 1 && !settings->isVisible(); }, kSettle));
    // Qt may call the main window active before the X server gives it the keyboard; a key sent
    // before then goes to the closing settings window.
    EXPECT_TRUE(formstest::WaitUntil(
        [&] { return QApplication::activeWindow() == main && FocusedWindow() == main->winId(); }, kSettle))
        << "the main window takes the input again";
    XdoTool("key F6");
    EXPECT_TRUE(formstest::WaitUntil([&] { return opened == 2 && !settings->isVisible(); }, kSettle))
        << "and opens the settings window again";
    whileOpen.stop();
    Application->OnException = nullptr;
}

// The small window stays on top of every other window; the dialogs it opens belong to it, so the
// window manager keeps them above it even where it covers them, and they take real clicks there.
// Minimised, such a dialog takes the small window along, and both come back together.
TEST(ProgramWindows, DialogsOfTheSmallWindowShowAboveIt) {
    SKIP_WITHOUT("xvfb-run", "openbox", "xdotool", "xprop", "xwininfo", "xmessage");
    if (!UnderXvfb("ProgramWindows.DialogsOfTheSmallWindowShowAboveIt", true)) return;
    ProgramForms();
    SettingsForm->AllwaysOnTop->SetChecked(true);
    MainForm->Show();
    ASSERT_TRUE(formstest::WaitUntil(
        [&] { return MainForm->Widget()->isMaximized() && QApplication::activeWindow() == MainForm->Widget(); },
        kSettle));
    XdoTool("key F8");
    TMinimized* small = MainForm->Minimized();
    ASSERT_TRUE(small);
    QWidget* smallWidget = small->Widget();
    ASSERT_TRUE(formstest::WaitUntil([&] { return QApplication::activeWindow() == smallWidget; }, kSettle));
    // The small window's Stop button lies over what each dialog's test clicks.
    const QPoint spot(900, 600);
    MoveOnto(small, small->StopButton, QPoint(-1, -1), spot);
    auto belongsToTheSmallWindow = [&](TForm* dialog) {
        QWidget* w = dialog->Widget();
        EXPECT_TRUE(formstest::WaitUntil([&] { return QApplication::activeWindow() == w; }, kSettle));
        EXPECT_EQ(TransientFor(w), smallWidget->winId()) << dialog->Name().c_str();
        // As the small window's timer raises it.
        Application->RestoreTopMosts();
        EXPECT_TRUE(formstest::WaitUntil([&] { return Above(w->winId(), smallWidget->winId()); }, kSettle))
            << dialog->Name().c_str() << " is beneath the small window";
    };
    auto iconic = [](QWidget* w) {
        FILE* p = popen(("xprop -id " + std::to_string(w->winId()) + " WM_STATE").c_str(), "r");
        char buf[512] = {};
        size_t n = p ? fread(buf, 1, sizeof(buf) - 1, p) : 0;
        if (p) pclose(p);
        return std::string(buf, n).find("Iconic") != std::string::npos;
    };
    // Where the dialog was when it closed, and so where it shows again.
    QPoint leftAt;
    WhenModal settings(SettingsForm, [&](int opening) {
        belongsToTheSmallWindow(SettingsForm);
        QWidget* w = SettingsForm->Widget();
        if (opening == 1) {
            XdoTool("windowminimize " + std::to_string(w->winId()));
            EXPECT_TRUE(formstest::WaitUntil([&] { return iconic(w) && iconic(smallWidget); }, kSettle))
                << "the small window goes with its dialog";
            XdoTool("windowactivate " + std::to_string(smallWidget->winId()));
            EXPECT_TRUE(formstest::WaitUntil(
                [&] { return !iconic(w) && !iconic(smallWidget) && Above(w->winId(), smallWidget->winId()); }, kSettle))
                << "and both come back";
        }
        if (opening == 2) {
            // Once Qt and the window manager agree where it is.
            EXPECT_TRUE(formstest::WaitUntil(
                [&] {
                    const QPoint server = ServerPosition(w);
                    return server == w->geometry().topLeft() && server == w->windowHandle()->geometry().topLeft();
                },
                kSettle));
            EXPECT_TRUE(w->geometry().topLeft() == leftAt)
                << "shown again at " << Text(w->geometry()) << ", not where it was left: " << leftAt.x() << ","
                << leftAt.y();
        }
        TButton* button = opening == 1 ? SettingsForm->CancelButton : SettingsForm->Button1;
        MoveOnto(SettingsForm, button, QPoint(-1, -1), spot);
        leftAt = ServerPosition(w);
        ClickAt(spot);
        EXPECT_TRUE(formstest::WaitUntil([&] { return SettingsForm->ModalResult() != mrNone; }, kSettle))
            << button->Caption().c_str() << " takes the click";
    });
    for (int opening : {1, 2}) {
        XdoTool("key F6");
        EXPECT_TRUE(formstest::WaitUntil([&] { return settings.Closed() == opening; }, kSettle));
        EXPECT_EQ(SettingsForm->ModalResult(), opening == 1 ? mrCancel : mrOk);
        EXPECT_TRUE(formstest::WaitUntil([&] { return QApplication::activeWindow() == smallWidget; }, kSettle));
    }
    // The alarm comes while the metronome plays and the user works in another program; its Stop
    // item, picked with a click, stops the metronome.
    XdoTool("key F4");
    EXPECT_TRUE(formstest::WaitUntil([&] { return MainForm->Engine()->State == psPlaying; }, kSettle));
    std::system("xmessage -geometry 400x300+20+20 elsewhere >/dev/null 2>&1 &");
    EXPECT_TRUE(formstest::WaitUntil([&] { return QApplication::activeWindow() == nullptr; }, kSettle));
    AlarmSetup->AlarmEnabled = true;
    AlarmSetup->AlarmTime = 0;
    AlarmSetup->DialogMode = true;
    AlarmDialog->Result->SetItemIndex(1);
    WhenModal alarm(AlarmDialog, [&](int) {
        belongsToTheSmallWindow(AlarmDialog);
        TControl* stop = AlarmDialog->Result->Controls(0);
        EXPECT_EQ(stop->Caption(), "Stop");
        MoveOnto(AlarmDialog, stop, QPoint(8, stop->Height() / 2), spot);
        ClickAt(spot);
        EXPECT_TRUE(formstest::WaitUntil([&] { return AlarmDialog->Result->ItemIndex() == 0; }, kSettle))
            << "Stop takes the click";
        ClickAt(OnScreen(AlarmDialog->Button1));
        EXPECT_TRUE(formstest::WaitUntil([&] { return AlarmDialog->ModalResult() == mrOk; }, kSettle));
    });
    EXPECT_TRUE(formstest::WaitUntil([&] { return alarm.Closed() == 1; }, kSettle));
    EXPECT_EQ(static_cast<int>(MainForm->Engine()->State), static_cast<int>(psStopped));
    MainForm->StopButtonClick(MainForm->StopButton);
}

// A dialog opened from a dialog: after a click on the main window both stay above it, in order.
TEST(ProgramWindows, NestedDialogsStayAboveTheMainWindow) {
    SKIP_WITHOUT("xvfb-run", "openbox", "xdotool", "xprop");
    if (!UnderXvfb("ProgramWindows.NestedDialogsStayAboveTheMainWindow", true)) return;
    ProgramForms();
    QWidget* main = MainForm->Widget();
    QWidget* list = TSListEdit->Widget();
    QWidget* item = TSListItemEditor->Widget();
    MainForm->Show();
    ASSERT_TRUE(
        formstest::WaitUntil([&] { return main->isMaximized() && QApplication::activeWindow() == main; }, kSettle));
    QPoint moved;
    EventWatch watch([&](QObject*, QEvent* e) {
        if (e->type() == QEvent::MouseMove || e->type() == QEvent::Enter)
            moved = static_cast<QSinglePointEvent*>(e)->globalPosition().toPoint();
    });
    WhenModal itemEditor(TSListItemEditor, [&](int) {
        EXPECT_TRUE(formstest::WaitUntil([&] { return QApplication::activeWindow() == item; }, kSettle));
        EXPECT_EQ(TransientFor(item), list->winId());
        EXPECT_EQ(TransientFor(list), main->winId());
        // A click on the main window, away from both dialogs.
        QPoint away = main->geometry().bottomRight() - QPoint(40, 40);
        EXPECT_FALSE(list->frameGeometry().contains(away) || item->frameGeometry().contains(away));
        ClickAt(away);
        // The pointer's next move, over the item editor, comes after the click.
        QPoint over = OnScreen(TSListItemEditor->Numerator);
        XdoTool("mousemove " + std::to_string(over.x()) + " " + std::to_string(over.y()));
        EXPECT_TRUE(formstest::WaitUntil([&] { return moved == over; }, kSettle));
        EXPECT_TRUE(Above(item->winId(), list->winId()));
        EXPECT_TRUE(Above(list->winId(), main->winId())) << "the list editor stays above the main window";
        ClickAt(OnScreen(TSListItemEditor->Button1));
        EXPECT_TRUE(formstest::WaitUntil([&] { return TSListItemEditor->ModalResult() == mrCancel; }, kSettle));
    });
    WhenModal listEditor(TSListEdit, [&](int) {
        EXPECT_TRUE(formstest::WaitUntil([&] { return QApplication::activeWindow() == list; }, kSettle));
        ClickAt(OnScreen(TSListEdit->Button3));
        EXPECT_TRUE(formstest::WaitUntil([&] { return itemEditor.Closed() == 1; }, kSettle));
        EXPECT_TRUE(formstest::WaitUntil([&] { return QApplication::activeWindow() == list; }, kSettle));
        ClickAt(OnScreen(TSListEdit->Button4));
        EXPECT_TRUE(formstest::WaitUntil([&] { return TSListEdit->ModalResult() == mrCancel; }, kSettle));
    });
    XdoTool("key F5");
    EXPECT_TRUE(formstest::WaitUntil([&] { return listEditor.Closed() == 1; }, kSettle));
    EXPECT_TRUE(formstest::WaitUntil([&] { return QApplication::activeWindow() == main; }, kSettle));
}
#endif

}  // namespace
