// Takes the manual's pictures of the real windows: the program's forms are made as at a start, in
// a scratch copy of the program folder with the shipped settings, shown on Qt's offscreen platform
// and grabbed to PNG files.
//   capture_windows <program folder> <shipped Tikora.tkra> <scratch folder> <pictures folder>
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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
#include "WinGdi.h"

namespace fs = std::filesystem;

namespace {

fs::path g_out;
int g_failures = 0;

void Settle() {
    for (int i = 0; i < 3; ++i) Application->ProcessMessages();
}

void Save(const QImage& image, const char* name) {
    const fs::path file = g_out / name;
    if (image.isNull() || !image.save(QString::fromStdString(file.string()), "PNG")) {
        std::fprintf(stderr, "capture_windows: could not take %s\n", name);
        ++g_failures;
    }
}

// Shown with its events handled, at the size the program made it: the main window, which maximizes
// itself when first activated, is pictured at its own size.
void Show(TForm* form) {
    const int width = form->ClientWidth(), height = form->ClientHeight();
    form->Show();
    Settle();
    if (form->WindowState() == wsMaximized) form->SetWindowState(wsNormal);
    form->Widget()->resize(width, height);
    Settle();
}

// The picture of a window shows all of it: a picture of another size fails the capture.
void SaveWhole(TForm* form, const QImage& image, const char* name) {
    if (image.width() != form->ClientWidth() || image.height() != form->ClientHeight()) {
        std::fprintf(stderr, "capture_windows: %s is %dx%d, its window %dx%d\n", name, image.width(), image.height(),
                     form->ClientWidth(), form->ClientHeight());
        ++g_failures;
    }
    Save(image, name);
}

// A form as it shows on the screen, grabbed whole.
void Take(TForm* form, const char* name) {
    Show(form);
    SaveWhole(form, form->Widget()->grab().toImage(), name);
    form->Hide();
    Settle();
}

// The small window as its shape cuts it out: what lies outside is transparent.
void TakeShaped(TMinimized* small, const char* name) {
    Show(small);
    QImage image = small->Widget()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!PtInRegion(small->BaseRegion(), x, y)) image.setPixel(x, y, 0);
    SaveWhole(small, image, name);
    small->Hide();
    Settle();
}

// A part of a window: `part` in the coordinates of one of its controls.
void TakePart(TForm* form, TControl* control, QRect part, const char* name) {
    for (TControl* c = control; c && c != form; c = c->Parent()) part.translate(c->Left(), c->Top());
    Settle();
    Save(form->Widget()->grab().toImage().copy(part), name);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: capture_windows <program folder> <Tikora.tkra> <scratch> <pictures>\n");
        return 2;
    }
    const fs::path shipped = argv[1], settings = argv[2], scratch = argv[3];
    g_out = argv[4];
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    fs::create_directories(g_out);
    for (const char* entry : {"pics", "Drums", "Midi", "wavs", "Tikora.def"})
        if (fs::exists(shipped / entry)) fs::copy(shipped / entry, scratch / entry, fs::copy_options::recursive);
    fs::copy_file(settings, scratch / "Tikora.tkra");
    setenv("TIKORA_AUDIO_SINK", "null", 1);
    // Qt's offscreen screen is 800 pixels wide by default, and a window is kept inside the screen, its
    // frame included: the settings window would lose its right side. On a screen of a desktop's size
    // every window is whole.
    const fs::path screen = scratch / "screen.json";
    std::ofstream(screen) << R"({"screens": [{"name": "manual", "width": 1920, "height": 1200}]})";
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screen.string()).c_str(), 1);

    tikora::app::ProgramFolderOverride() = AnsiString(scratch.string().c_str());
    tikora::app::StartFailureExit() = [](int code) { std::exit(code); };
    Application->Initialize();
    CreateProgramForms();
    TMainForm* form = MainForm;

    Take(form, "main-window.png");
    Show(form);
    // The weight held by the mouse shows the tempo and its name; the pendulum stands upright.
    TMetronomeGame* engine = form->Engine();
    engine->ResetPhase(0);
    engine->AdvanceTime(0);
    TImage* view = form->CenterImage;
    const int x = view->Width() / 2;
    int y = 0;
    while (y < view->Height() && engine->TempoFromWeightY(engine->WeightYAtTop(view->Height(), y)) < 100) ++y;
    form->Timer1->SetEnabled(false);  // no animation: the drag draws at once
    form->CenterImageMouseDown(view, mbLeft, {}, x, y);
    TakePart(form, view, QRect(x - 150, 40, 300, view->Height() - 40), "weight-dragged.png");
    form->CenterImageMouseUp(view, mbLeft, {}, x, y);
    form->ChangeTempo(120);
    form->Timer1->SetEnabled(true);
    form->BpmSetButtonClick(form->BpmSetButton);
    // The top bar's tempo to practice time, with the slider below them; the bar is centred in the window.
    TakePart(form, form->TopPanel, QRect(206, 0, 560, 125), "tempo-slider.png");
    form->BpmSetButtonClick(form->BpmSetButton);

    // Each small window is reached as the user reaches it, from the main window once the size is
    // chosen: the switch draws the pendulum into it. A window only rebuilt for the new size would
    // show the bare case until the pendulum next moves.
    form->SetFullScreenMode(false, false);
    TakeShaped(form->Minimized(), "small-window.png");
    engine->GetSettingsDialogTag()->SetBool("MicroMode", true);
    form->SetFullScreenMode(false, false);
    TakeShaped(form->Minimized(), "mini-window.png");
    engine->GetSettingsDialogTag()->SetBool("MicroMode", false);
    form->SetFullScreenMode(true, false);

    Take(SettingsForm, "settings.png");
    engine->GetTimeSignatureList(TSListEdit->List->Items());
    TSListEdit->List->SetItemIndex(2);
    Take(TSListEdit, "time-signature-list.png");
    TSListItemEditor->SetText("7:8 (2+2+3)");
    Take(TSListItemEditor, "time-signature-editor.png");
    SetTempoForm->Tempo->SetText("132");
    Take(SetTempoForm, "tempo-entry.png");
    Take(TempoCalculator, "tempo-calculator.png");
    Take(AlarmSetup, "alarm-setup.png");
    Take(AlarmDialog, "alarm.png");
    MemoForm->Memo->SetText("Scales in thirds, then the etude.");
    Take(MemoForm, "memo.png");
    if (!SplashScreen) Application->CreateForm(SplashScreen);
    Take(SplashScreen, "about.png");

    Application->Terminate();
    std::fflush(stdout);
    // The windows' own closing would write the scratch folder's settings; nothing of it is needed.
    std::_Exit(g_failures == 0 ? 0 : 1);
}
