// The manual the build assembles beside the program: every page it links and every picture it
// shows is there (anchors included), every picture the build took of the windows is shown, and
// each shows its window whole.
#include <gtest/gtest.h>

#include <QImageReader>
#include <QSize>
#include <QString>

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
        MainForm->ApplySkinMode();
        return static_cast<TForm*>(MainForm->Minimized());
    };
    // Each picture with the window it shows; a part of a window lies inside it.
    const struct {
        const char* picture;
        std::function<TForm*()> window;
        bool whole;
    } pictures[] = {
        {"main-window.png", [] { return MainForm; }, true},
        {"weight-dragged.png", [] { return MainForm; }, false},
        {"tempo-slider.png", [] { return MainForm; }, false},
        {"small-window.png", [&] { return smallWindow(false); }, true},
        {"mini-window.png", [&] { return smallWindow(true); }, true},
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
    }
    smallWindow(false);
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_TRUE(checked.count(entry.path().filename().string())) << entry.path().filename() << " not checked";
}

}  // namespace
