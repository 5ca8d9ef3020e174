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
#include "Tmainform.h"
#include "Tmetronomgame.h"
#include "Tsettingsform.h"
#endif

namespace {

bool Have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs one test of this binary on a fresh X server, with openbox managing its windows if asked.
// True when this process is that run (the caller then does the work).
bool UnderXvfb(const char* test, bool windowManager) {
    if (std::getenv("TIKORA_UNDER_XVFB")) return true;
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

// The window manager's stacking order of the program's windows, bottom first.
std::vector<WId> Stacking() {
    std::vector<WId> ids;
    FILE* p = popen("xprop -root _NET_CLIENT_LIST_STACKING", "r");
    if (!p) return ids;
    char buf[8192];
    std::string text;
    while (size_t n = fread(buf, 1, sizeof(buf), p)) text.append(buf, n);
    pclose(p);
    for (size_t at = text.find("0x"); at != std::string::npos; at = text.find("0x", at + 2))
        ids.push_back(static_cast<WId>(std::stoul(text.substr(at), nullptr, 16)));
    return ids;
}

bool Above(WId top, WId below) {
    std::vector<WId> order = Stacking();
    auto t = std::find(order.begin(), order.end(), top), b = std::find(order.begin(), order.end(), below);
    return t != order.end() && b != order.end() && t > b;
}

void XdoTool(const std::string& args) { EXPECT_EQ(std::system(("xdotool " + args).c_str()), 0) << args; }

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
    EXPECT_TRUE(formstest::WaitUntil([&] { return QApplication::activeWindow() == main; }, kSettle))
        << "the main window takes the input again";
    XdoTool("key F6");
    EXPECT_TRUE(formstest::WaitUntil([&] { return opened == 2 && !settings->isVisible(); }, kSettle))
        << "and opens the settings window again";
    whileOpen.stop();
    Application->OnException = nullptr;
}
#endif

}  // namespace
