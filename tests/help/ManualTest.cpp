// The manual the build assembles beside the program: every page it links and every picture it
// shows is there (anchors included), every picture the build took of the windows is shown, and
// each shows its window whole.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <unistd.h>

#include "FileFunctions.h"
#include "Forms.h"
#include "Programforms.h"
#include "Talarmdialog.h"
#include "Talarmsetup.h"
#include "Tmainform.h"
#include "Tmemoform.h"
#include "Tmetronomgame.h"
#include "Tminimizedform.h"
#include "Tsettempoform.h"
#include "Tsettingsform.h"
#include "Tsplashscreen.h"
#include "Ttempocalculator.h"
#include "Ttslistedit.h"
#include "Ttslistitemeditor.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Manual, LinksAndPicturesResolve) {
    const fs::path dir = fs::path(TIKORA_BINARY_DIR) / "Tikora" / "help";
    ASSERT_TRUE(fs::exists(dir / "index.html"));
    const std::regex reference(R"re((href|src)="([^"#:]*)(#([^"]*))?")re");
    std::set<std::string> shown;
    int pages = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".html") continue;
        ++pages;
        const std::string page = Read(entry.path());
        for (std::sregex_iterator it(page.begin(), page.end(), reference), end; it != end; ++it) {
            const fs::path target = (*it)[2].length() ? dir / (*it)[2].str() : entry.path();
            ASSERT_TRUE(fs::exists(target)) << entry.path().filename() << " names " << (*it)[2];
            if ((*it)[4].length()) {
                EXPECT_NE(Read(target).find("id=\"" + (*it)[4].str() + "\""), std::string::npos)
                    << entry.path().filename() << " names " << (*it)[0];
            }
            if ((*it)[1] == "src") shown.insert((*it)[2]);
        }
    }
    EXPECT_GE(pages, 6);
    int pictures = 0;
    for (const auto& entry : fs::directory_iterator(dir / "pictures")) {
        ++pictures;
        EXPECT_TRUE(shown.count("pictures/" + entry.path().filename().string()))
            << entry.path().filename() << " unused";
        EXPECT_EQ(Read(entry.path()).substr(1, 3), "PNG") << entry.path().filename();
    }
    EXPECT_GE(pictures, 10);
}

// The program's windows as it makes them at a start, in a scratch copy of the program folder with
// the shipped settings, as the pictures were taken.
void MakeProgramForms() {
    const char* tmp = std::getenv("TIKORA_TEST_TMP");
    const fs::path folder = fs::path(tmp ? tmp : "/tmp") / ("manual-windows-" + std::to_string(getpid()));
    const fs::path shipped = fs::path(TIKORA_BINARY_DIR) / "Tikora";
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const char* entry : {"pics", "Drums", "Midi", "wavs", "Tikora.def"})
        if (fs::exists(shipped / entry)) fs::copy(shipped / entry, folder / entry, fs::copy_options::recursive);
    fs::copy_file(fs::path(TIKORA_SOURCE_DIR) / "data" / "defs" / "Tikora.tkra", folder / "Tikora.tkra");
    tikora::app::ProgramFolderOverride() = AnsiString(folder.string().c_str());
    Application->Initialize();
    CreateProgramForms();
    if (!SplashScreen) Application->CreateForm(SplashScreen);
}

TEST(Manual, PicturesShowWholeWindows) {
    MakeProgramForms();
    ASSERT_NE(MainForm, nullptr);
    const auto smallWindow = [](bool micro) {
        MainForm->Engine()->GetSettingsDialogTag()->SetBool("MicroMode", micro);
        MainForm->SetFullScreenMode(false, false);
        return static_cast<TForm*>(MainForm->Minimized());
    };
    // Each picture with the window it shows; a part of a window lies inside it. The small windows'
    // pictures show the pendulum over the case picture named.
    const struct {
        const char* picture;
        std::function<TForm*()> window;
        bool whole;
        const char* bare = nullptr;
    } pictures[] = {
        {"main-window.png", [] { return MainForm; }, true},
        {"weight-dragged.png", [] { return MainForm; }, false},
        {"tempo-slider.png", [] { return MainForm; }, false},
        {"small-window.png", [&] { return smallWindow(false); }, true, "MetronomeSmall.bmp"},
        {"mini-window.png", [&] { return smallWindow(true); }, true, "05MetronomeSmall.bmp"},
        {"settings.png", [] { return SettingsForm; }, true},
        {"time-signature-list.png", [] { return TSListEdit; }, true},
        {"time-signature-editor.png", [] { return TSListItemEditor; }, true},
        {"tempo-entry.png", [] { return SetTempoForm; }, true},
        {"tempo-calculator.png", [] { return TempoCalculator; }, true},
        {"alarm-setup.png", [] { return AlarmSetup; }, true},
        {"alarm.png", [] { return AlarmDialog; }, true},
        {"memo.png", [] { return MemoForm; }, true},
        {"about.png", [] { return SplashScreen; }, true},
    };
    const fs::path dir = fs::path(TIKORA_BINARY_DIR) / "Tikora" / "help" / "pictures";
    std::set<std::string> checked;
    for (const auto& p : pictures) {
        checked.insert(p.picture);
        const QSize picture = QImageReader(QString::fromStdString((dir / p.picture).string())).size();
        TForm* form = p.window();
        ASSERT_NE(form, nullptr) << p.picture;
        const QSize window(form->ClientWidth(), form->ClientHeight());
        const auto text = [](QSize s) { return std::to_string(s.width()) + "x" + std::to_string(s.height()); };
        if (p.whole) {
            EXPECT_EQ(text(picture), text(window)) << p.picture;
        } else {
            EXPECT_TRUE(picture.isValid() && window.expandedTo(picture) == window)
                << p.picture << " is " << text(picture) << ", its window " << text(window);
        }
        if (p.bare) {
            // Up the rod and at the weight's middle, the picture has the window's pixels, not the case's.
            const QImage shown = form->Widget()->grab().toImage();
            const QImage taken(QString::fromStdString((dir / p.picture).string()));
            const QImage bare(QString::fromStdString((dir / ".." / ".." / "pics" / p.bare).string()));
            const TQuad &rod = MainForm->Engine()->PendulumQuad, &weight = MainForm->Engine()->WeightQuad;
            const QPoint rodTop((rod[0].x + rod[1].x) / 2, (rod[0].y + rod[1].y) / 2);
            const QPoint up = rodTop + (QPoint((rod[2].x + rod[3].x) / 2, (rod[2].y + rod[3].y) / 2) - rodTop) / 5;
            const QPoint middle((weight[0].x + weight[2].x) / 2, (weight[0].y + weight[2].y) / 2);
            for (QPoint at : {up, middle}) {
                EXPECT_EQ(taken.pixel(at) & 0xFFFFFF, shown.pixel(at) & 0xFFFFFF)
                    << p.picture << " at " << at.x() << "," << at.y();
                const int x = at.x() - static_cast<TMinimized*>(form)->XOffset();
                EXPECT_NE(shown.pixel(at) & 0xFFFFFF, bare.pixel(x, at.y()) & 0xFFFFFF) << p.picture;
            }
        }
    }
    smallWindow(false);
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_TRUE(checked.count(entry.path().filename().string())) << entry.path().filename() << " not checked";
}

}  // namespace
