// The main window's life: its components, start-up, the skin layout, the display modes and close.
#include "Tmainform.h"

#include <cstdlib>

#include "FileFunctions.h"
#include "Hintsfromcontext.h"
#include "Picutils.h"
#include "SysUtils.h"
#include "Tmetronomgame.h"
#include "TmetronomgameDraw.h"
#include "Tmidicontent.h"
#include "Tminimizedform.h"
#include "Shell.h"
#include "UserStore.h"
#include "Zelcomponentutils.h"

TMainForm* MainForm = nullptr;

namespace tikora::app {

std::function<void(int)>& StartFailureExit() {
    static std::function<void(int)> exitProcess = [](int code) { std::exit(code); };
    return exitProcess;
}

AnsiString& ProgramFolderOverride() {
    static AnsiString folder;
    return folder;
}

}  // namespace tikora::app

namespace {

constexpr TColor kIvory = 0xCCE3ED;  // #EDE3CC
constexpr TColor kAmber = 0x30A0F0;  // #F0A030
// The chosen file's name on its tool button: a lighter amber that reads at 5:1 on the button's
// picture, and lighter still on the brighter picture under the mouse.
constexpr TColor kFileName = 0x50B9FF;       // #FFB950
constexpr TColor kFileNameHover = 0x8CDCFF;  // #FFDC8C

TLabel* MakeLabel(TMainForm* form, TWinControl* parent, const char* name, int left, int top, int width, int height) {
    auto* label = new TLabel(form);
    label->SetName(name);
    label->SetParent(parent);
    label->SetAutoSize(false);
    label->SetTransparent(true);
    label->SetBounds(left, top, width, height);
    label->Font()->SetColor(kIvory);
    return label;
}

TTimer* MakeTimer(TMainForm* form, const char* name, UINT interval, TNotifyEvent handler) {
    auto* timer = new TTimer(form);
    timer->SetName(name);
    timer->SetEnabled(false);
    timer->SetInterval(interval);
    timer->SetOnTimer(std::move(handler));
    return timer;
}

TPanel* MakePanel(TMainForm* form, TWinControl* parent, const char* name) {
    auto* panel = new TPanel(form);
    panel->SetName(name);
    panel->SetParent(parent);
    panel->SetBevelOuter(bvNone);
    panel->SetColor(clBlack);
    return panel;
}

TImage* MakeImage(TMainForm* form, TWinControl* parent, const char* name) {
    auto* image = new TImage(form);
    image->SetName(name);
    image->SetParent(parent);
    return image;
}

}  // namespace

TMainForm::TMainForm(TComponent* Owner) : TForm(Owner) {
    SetName("MainForm");
    SetCaption("Tikora");
    SetKeyPreview(true);
    SetColor(clBlack);
    SetBounds(0, 0, 1024, 740);
    Application->SetHintHidePause(10000);
    Application->SetHintPause(200);
    Application->SetHintShortPause(300);
    CreateComponents();

    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    OnPaint = [this](TObject* s) { FormPaint(s); };
    OnActivate = [this](TObject* s) { FormActivate(s); };
    OnCanResize = [this](TObject* s, int& w, int& h, bool& r) { FormCanResize(s, w, h, r); };
    OnResize = [this](TObject* s) { FormResize(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { FormKeyDown(s, k, sh); };
}

TMainForm::~TMainForm() {
    // The Player outlives every window: it must stop posting to this one.
    player.Stop();
    if (player.EventWindow == Handle()) player.SetEventNotify(nullptr, 0);
    if (player.EndWindow == Handle()) player.SetEndNotify(85, 127, nullptr, 0);
    if (minimized_) {
        minimized_->BeforeDestruction();
        minimized_.reset();
    }
    engineDraw_.reset();
    engine_.reset();
    folderScan_.reset();
    pendulumBitmap_.reset();
    if (mixer_) {
        mixerClose(mixer_);
        mixer_ = nullptr;
    }
    if (MainForm == this) MainForm = nullptr;
}

TZelPanel* TMainForm::MakeButton(TWinControl* parent, const char* name, int left, int top, int width, int height,
                                 const char* base) {
    auto* button = new TZelPanel(this);
    button->SetName(name);
    button->SetParent(parent);
    button->SetBounds(left, top, width, height);
    button->SetBevelOuter(bvNone);
    button->SetCaption("");
    if (base) button->SetHint(base);  // the picture base name until LoadSkin, then the hint
    return button;
}

void TMainForm::CreateComponents() {
    GlobalPanel = MakePanel(this, this, "GlobalPanel");
    GlobalPanel->SetBounds(0, 0, 1016, 710);
    TopPanel = MakePanel(this, GlobalPanel, "TopPanel");
    TopPanel->SetBounds(0, 0, 1016, 110);
    LeftPanel = MakePanel(this, GlobalPanel, "LeftPanel");
    LeftPanel->SetBounds(0, 110, 225, 600);
    CenterPanel = MakePanel(this, GlobalPanel, "CenterPanel");
    CenterPanel->SetBounds(225, 110, 566, 387);
    BottomPanel = MakePanel(this, GlobalPanel, "BottomPanel");
    BottomPanel->SetBounds(225, 497, 566, 213);
    RightPanel = MakePanel(this, GlobalPanel, "RightPanel");
    RightPanel->SetBounds(791, 110, 225, 600);

    TopImage = MakeImage(this, TopPanel, "TopImage");
    TopImage->SetBounds(0, 0, 1016, 110);
    LeftImage = MakeImage(this, LeftPanel, "LeftImage");
    LeftImage->SetBounds(0, 0, 225, 600);
    CenterImage = MakeImage(this, CenterPanel, "CenterImage");
    CenterImage->SetBounds(0, 0, 566, 387);
    CenterImage->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
        CenterImageMouseDown(s, b, sh, x, y);
    };
    CenterImage->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { CenterImageMouseMove(s, sh, x, y); };
    CenterImage->OnMouseUp = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
        CenterImageMouseUp(s, b, sh, x, y);
    };
    BottomImage = MakeImage(this, BottomPanel, "BottomImage");
    BottomImage->SetBounds(0, 0, 566, 213);
    RightImage = MakeImage(this, RightPanel, "RightImage");
    RightImage->SetBounds(0, 0, 225, 600);
    RightImage->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { RightImageMouseMove(s, sh, x, y); };
    DenominatorImage = MakeImage(this, TopPanel, "DenominatorImage");
    DenominatorImage->SetBounds(278, 20, 43, 70);

    auto click = [this](void (TMainForm::*handler)(TObject*)) {
        return [this, handler](TObject* s) { (this->*handler)(s); };
    };
    auto mouseDown = [this](void (TMainForm::*handler)(TObject*, TMouseButton, TShiftState, int, int)) {
        return [this, handler](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
            (this->*handler)(s, b, sh, x, y);
        };
    };

    // Top panel.
    TikoraPanel = MakeButton(TopPanel, "TikoraPanel", 8, 34, 198, 39, "Tikora");
    TikoraPanel->OnClick = click(&TMainForm::ZelLogoClick);
    ZelLogo = MakeButton(TopPanel, "ZelLogo", 878, 29, 129, 54, "ZelLogo");
    ZelLogo->OnClick = click(&TMainForm::ZelLogoClick);
    SaveButton = MakeButton(TopPanel, "SaveButton", 215, 55, 55, 35, "Save");
    SaveButton->OnClick = click(&TMainForm::SaveButtonClick);
    LoadButton = MakeButton(TopPanel, "LoadButton", 215, 20, 55, 35, "Load");
    LoadButton->OnClick = click(&TMainForm::LoadButtonClick);
    BpmUPButton = MakeButton(TopPanel, "BpmUPButton", 428, 20, 23, 35, "ArrowUp");
    BpmUPButton->SetTag(1);
    BpmUPButton->OnMouseDown = mouseDown(&TMainForm::BpmDownButtonMouseDown);
    BpmDownButton = MakeButton(TopPanel, "BpmDownButton", 428, 55, 23, 35, "ArrowDown");
    BpmDownButton->SetTag(-1);
    BpmDownButton->OnMouseDown = mouseDown(&TMainForm::BpmDownButtonMouseDown);
    BpmSetButton = MakeButton(TopPanel, "BpmSetButton", 451, 20, 23, 70, "ArrowDown2");
    BpmSetButton->OnClick = click(&TMainForm::BpmSetButtonClick);
    TimeSignatureButton = MakeButton(TopPanel, "TimeSignatureButton", 482, 20, 55, 70, "TimeSignature");
    TimeSignatureButton->OnClick = click(&TMainForm::TimeSignatureButtonClick);
    {
        TFont font;
        font.SetName("DejaVu Sans");
        font.SetHeight(-26);
        font.SetStyle({fsBold});
        font.SetColor(clWhite);
        TimeSignatureButton->SetFontOnIdle(&font);
    }
    ResetTimerButton = MakeButton(TopPanel, "ResetTimerButton", 668, 20, 73, 35, "Reset");
    ResetTimerButton->OnMouseDown = mouseDown(&TMainForm::ResetTimerButtonMouseDown);
    SetAlarmButton = MakeButton(TopPanel, "SetAlarmButton", 668, 55, 73, 35, "Alarm");
    SetAlarmButton->OnClick = click(&TMainForm::SetAlarmButtonClick);
    SettingsButton = MakeButton(TopPanel, "SettingsButton", 749, 20, 119, 35, "Settings");
    SettingsButton->OnClick = click(&TMainForm::SettingsButtonClick);
    HelpButton = MakeButton(TopPanel, "HelpButton", 749, 55, 56, 35, "Help");
    HelpButton->OnClick = click(&TMainForm::HelpButtonClick);
    AboutButton = MakeButton(TopPanel, "AboutButton", 805, 55, 63, 35, "About");
    AboutButton->OnClick = click(&TMainForm::ZelLogoClick);

    TFont readout;
    readout.SetName("DejaVu Sans");
    readout.SetHeight(-30);
    readout.SetStyle({fsBold});
    readout.SetColor(kAmber);
    TempoLab = MakeLabel(this, TopPanel, "TempoLab", 324, 37, 101, 36);
    TempoLab->SetFont(&readout);
    TempoLab->SetAlignment(taCenter);
    TempoLab->SetCursor(crHandPoint);
    TempoLab->OnClick = click(&TMainForm::TempoLabClick);
    TimerLab = MakeLabel(this, TopPanel, "TimerLab", 540, 37, 125, 36);
    TimerLab->SetFont(&readout);
    TimerLab->SetAlignment(taCenter);
    TimerLab->SetCaption("00:00");

    SetTempo = new TTrackBar(this);
    SetTempo->SetName("SetTempo");
    SetTempo->SetParent(TopPanel);
    SetTempo->SetBounds(451, 84, 300, 24);
    SetTempo->SetVisible(false);
    SetTempo->SetMin(40);
    SetTempo->SetMax(500);
    SetTempo->OnChange = click(&TMainForm::SetTempoChange);
    SetTempo->OnExit = click(&TMainForm::SetTempoExit);

    // Bottom panel: transport and volume.
    PlayButton = MakeButton(BottomPanel, "PlayButton", 164, 21, 82, 73, "Play");
    PlayButton->OnClick = click(&TMainForm::PlayButtonClick);
    StopButton = MakeButton(BottomPanel, "StopButton", 246, 21, 73, 73, "Stop");
    StopButton->OnClick = click(&TMainForm::StopButtonClick);
    PauseButton = MakeButton(BottomPanel, "PauseButton", 319, 21, 82, 73, "Pause");
    PauseButton->OnClick = click(&TMainForm::PauseButtonClick);
    SpeakerButton = MakeButton(BottomPanel, "SpeakerButton", 336, 102, 59, 41, "Speaker");
    SpeakerButton->OnClick = click(&TMainForm::SpeakerButtonClick);
    MinimizeButton = MakeButton(BottomPanel, "MinimizeButton", 405, 140, 14, 14, "Minimize");
    MinimizeButton->OnClick = click(&TMainForm::MinimizeButtonClick);
    MVolume = new TZelSlider(this);
    MVolume->SetName("MVolume");
    MVolume->SetParent(BottomPanel);
    MVolume->SetBounds(211, 113, 109, 22);
    MVolume->SetBevelOuter(bvNone);
    MVolume->SetHorizontal(true);
    MVolume->SetMaxPosition(65535);
    MVolume->SetSlideSize(100);
    MVolume->OnChange = click(&TMainForm::MVolumeChange);

    // Left panel: quick start and memo.
    QSTS1Button = MakeButton(LeftPanel, "QSTS1Button", 36, 70, 33, 55, "2-4");
    QSTS2Button = MakeButton(LeftPanel, "QSTS2Button", 72, 70, 33, 55, "3-4");
    QSTS3Button = MakeButton(LeftPanel, "QSTS3Button", 108, 70, 33, 55, "4-4");
    QSTS4Button = MakeButton(LeftPanel, "QSTS4Button", 144, 70, 33, 55, "6-8");
    const char* signatures[] = {"2:4", "3:4", "4:4", "6:8 (3+3)"};
    TZelPanel* tsButtons[] = {QSTS1Button, QSTS2Button, QSTS3Button, QSTS4Button};
    for (int i = 0; i < 4; ++i) {
        tsButtons[i]->SetCaption(signatures[i]);
        tsButtons[i]->OnClick = click(&TMainForm::QSTS1ButtonClick);
    }
    QS72BpmButton = MakeButton(LeftPanel, "QS72BpmButton", 36, 128, 141, 28, "72-Adagio");
    QS88BpmButton = MakeButton(LeftPanel, "QS88BpmButton", 36, 159, 141, 28, "88-Andante");
    QS120BpmButton = MakeButton(LeftPanel, "QS120BpmButton", 36, 190, 141, 28, "120-Allegro");
    QS176BpmButton = MakeButton(LeftPanel, "QS176BpmButton", 36, 221, 141, 28, "176-Presto");
    const char* tempi[] = {"72", "88", "120", "176"};
    TZelPanel* tempoButtons[] = {QS72BpmButton, QS88BpmButton, QS120BpmButton, QS176BpmButton};
    for (int i = 0; i < 4; ++i) {
        tempoButtons[i]->SetCaption(tempi[i]);
        tempoButtons[i]->OnClick = click(&TMainForm::QS72BpmButtonClick);
    }
    TapTempoButton = MakeButton(LeftPanel, "TapTempoButton", 15, 281, 182, 53, "TapTempo");
    TapTempoButton->OnMouseDown = mouseDown(&TMainForm::TapTempoButtonMouseDown);
    QuickstartLab = MakeLabel(this, LeftPanel, "QuickstartLab", 24, 8, 225 - 2 * 24, 28);
    Memo = new TMemo(this);
    Memo->SetName("Memo");
    Memo->SetParent(LeftPanel);
    Memo->SetBounds(25, 355, 187, 216);
    Memo->SetReadOnly(true);
    Memo->Font()->SetColor(clBlack);
    MemoLab = MakeLabel(this, LeftPanel, "MemoLab", 25, 355, 187, 216);
    MemoLab->SetCursor(crHandPoint);
    MemoLab->OnClick = click(&TMainForm::MemoLabClick);
    // A window of its own would take the clicks meant for the label that lies over it; disabled, it
    // lets them through to the panel.
    Memo->SetEnabled(false);
    MemoImage = MakeImage(this, LeftPanel, "MemoImage");
    MemoImage->SetBounds(25, 355, 187, 216);
    MemoImage->SetVisible(false);
    MemoImage->OnClick = click(&TMainForm::MemoLabClick);

    // Right panel: practice tools.
    CheckBox1 = MakeButton(RightPanel, "CheckBox1", 40, 70, 21, 21, nullptr);
    CheckBox2 = MakeButton(RightPanel, "CheckBox2", 40, 146, 21, 21, nullptr);
    CheckBox5 = MakeButton(RightPanel, "CheckBox5", 40, 227, 21, 21, nullptr);
    CheckBox3 = MakeButton(RightPanel, "CheckBox3", 40, 267, 21, 21, nullptr);
    CheckBox4 = MakeButton(RightPanel, "CheckBox4", 40, 335, 21, 21, nullptr);
    for (TZelPanel* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5})
        box->OnClick = click(&TMainForm::CheckBox1Click);
    TempoCalculatorButton = MakeButton(RightPanel, "TempoCalculatorButton", 68, 224, 127, 28, "TempoCalculator");
    TempoCalculatorButton->OnClick = click(&TMainForm::TempoCalculatorButtonClick);
    DrumBeatButton = MakeButton(RightPanel, "DrumBeatButton", 68, 293, 127, 28, "UseDrumBeat");
    DrumBeatButton->OnClick = click(&TMainForm::DrumBeatButtonClick);
    MidiFileButton = MakeButton(RightPanel, "MidiFileButton", 68, 362, 127, 28, "UseMidiFile");
    MidiFileButton->OnClick = click(&TMainForm::MidiFileButtonClick);
    for (TZelPanel* b : {DrumBeatButton, MidiFileButton}) {
        TFont font;
        font.SetName("DejaVu Sans");
        font.SetHeight(-12);
        font.SetColor(kFileName);
        b->SetFontOnIdle(&font);
        font.SetColor(kFileNameHover);
        b->SetFontOnMouseMove(&font);
    }
    TFont toolFont;
    toolFont.SetName("DejaVu Sans");
    toolFont.SetHeight(-12);
    toolFont.SetStyle({fsBold});
    toolFont.SetColor(kAmber);
    struct ToolLabel {
        TLabel** label;
        const char* name;
        int left, top;
    };
    for (const ToolLabel& t :
         {ToolLabel{&Tool1_Play, "Tool1_Play", 92, 94}, ToolLabel{&Tool1_Rest, "Tool1_Rest", 134, 116},
          ToolLabel{&Tool2_BPM_delta, "Tool2_BPM_delta", 69, 172}, ToolLabel{&Tool2_Bars, "Tool2_Bars", 69, 192},
          ToolLabel{&Tool5_Transp, "Tool5_Transp", 147, 403}}) {
        TLabel* label = MakeLabel(this, RightPanel, t.name, t.left, t.top, 22, 13);
        label->SetFont(&toolFont);
        label->SetAlignment(taCenter);
        label->SetCursor(crHandPoint);
        label->SetCaption("1");
        *t.label = label;
    }
    Tool5_Transp->SetCaption("0");
    for (TLabel* label : {Tool1_Play, Tool1_Rest, Tool2_BPM_delta, Tool2_Bars})
        label->OnClick = click(&TMainForm::Tool2_BarsClick);
    Tool5_Transp->OnClick = click(&TMainForm::Tool5_TranspClick);

    // The pop-up lists lie above the panels.
    TimeSignatureList = new TZelList(this);
    TimeSignatureList->SetName("TimeSignatureList");
    TimeSignatureList->SetParent(GlobalPanel);
    TimeSignatureList->OnClick = click(&TMainForm::TimeSignatureListClick);
    TimeSignatureList->OnMouseUp = mouseDown(&TMainForm::TimeSignatureListMouseUp);
    DrumBeatList = new TZelList(this);
    DrumBeatList->SetName("DrumBeatList");
    DrumBeatList->SetParent(this);
    DrumBeatList->OnClick = click(&TMainForm::DrumBeatListClick);
    DrumBeatList->OnMouseUp = mouseDown(&TMainForm::DrumBeatListMouseUp);
    MidiFileList = new TZelList(this);
    MidiFileList->SetName("MidiFileList");
    MidiFileList->SetParent(this);
    MidiFileList->OnClick = click(&TMainForm::MidiFileListClick);
    MidiFileList->OnMouseUp = mouseDown(&TMainForm::MidiFileListMouseUp);
    TFont listFont;
    listFont.SetName("DejaVu Sans");
    listFont.SetHeight(-13);
    listFont.SetColor(kIvory);
    for (TZelList* list : {TimeSignatureList, DrumBeatList, MidiFileList}) {
        list->SetVisible(false);
        list->SetWidth(127);
        list->SetFontOnIdle(&listFont);
        list->SetTextMarginX(8);
    }
    TimeSignatureList->SetAutoWidth(true);
    TimeSignatureList->SetMinAutoWidth(55);

    Timer1 = MakeTimer(this, "Timer1", 10, click(&TMainForm::Timer1Timer));
    Timer2 = MakeTimer(this, "Timer2", 500, click(&TMainForm::Timer2Timer));
    VolTimer = MakeTimer(this, "VolTimer", 100, click(&TMainForm::VolTimerTimer));
    TempoHideTimer = MakeTimer(this, "TempoHideTimer", 1000, click(&TMainForm::TempoHideTimerTimer));
    ListHideTimer = MakeTimer(this, "ListHideTimer", 50, click(&TMainForm::ListHideTimerTimer));
    DelayedStartTimer = MakeTimer(this, "DelayedStartTimer", 1000, click(&TMainForm::DelayedStartTimerTimer));

    ApplicationEvents1 = new TApplicationEvents(this);
    ApplicationEvents1->SetName("ApplicationEvents1");
    ApplicationEvents1->OnMessage = [this](tagMSG& m, bool& handled) { ApplicationEvents1Message(m, handled); };
    OpenD = new TOpenDialog(this);
    OpenD->SetName("OpenD");
    OpenD->SetFilter("Tikora files|*.tkra");
    OpenD->SetDefaultExt("tkra");
    SaveD = new TSaveDialog(this);
    SaveD->SetName("SaveD");
    SaveD->SetFilter("Tikora files|*.tkra");
    SaveD->SetDefaultExt("tkra");
    MidiOpen = new TOpenDialog(this);
    MidiOpen->SetName("MidiOpen");
    MidiOpen->SetFilter("Midi files|*.mid");
    MidiOpen->SetDefaultExt("mid");
}

// ---- Start-up

void TMainForm::OpenMixer() {
    if (mixerOpen(&mixer_, 0, reinterpret_cast<DWORD_PTR>(Handle()), 0, CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
        mixer_ = nullptr;
        return;
    }
    MIXERLINEA line;
    line.cbStruct = sizeof(line);
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    if (mixerGetLineInfoA(mixer_, &line, MIXER_GETLINEINFOF_COMPONENTTYPE) != MMSYSERR_NOERROR) {
        mixerClose(mixer_);
        mixer_ = nullptr;
        return;
    }
    MIXERCONTROLA control;
    control.cbStruct = sizeof(control);
    MIXERLINECONTROLSA controls;
    controls.cbStruct = sizeof(controls);
    controls.dwLineID = line.dwLineID;
    controls.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof(control);
    controls.pamxctrl = &control;
    if (mixerGetLineControlsA(mixer_, &controls, MIXER_GETLINECONTROLSF_ONEBYTYPE) == MMSYSERR_NOERROR)
        volumeControlId_ = control.dwControlID;
    else
        volumeControlId_ = 1;
}

void TMainForm::FormCreate(TObject*) {
    try {
        OpenMixer();
        DrumBeatList->SetControlStyle(DrumBeatList->ControlStyle() >> csDoubleClicks);
        MidiFileList->SetControlStyle(MidiFileList->ControlStyle() >> csDoubleClicks);
        for (TWinControl* c : {static_cast<TWinControl*>(DrumBeatList), static_cast<TWinControl*>(MidiFileList),
                               static_cast<TWinControl*>(this), static_cast<TWinControl*>(GlobalPanel),
                               static_cast<TWinControl*>(RightPanel), static_cast<TWinControl*>(LeftPanel),
                               static_cast<TWinControl*>(CenterPanel), static_cast<TWinControl*>(TopPanel)})
            c->SetDoubleBuffered(true);
        AnsiString& folder = tikora::app::ProgramFolderOverride();
        SetCurrentDir(folder.IsEmpty() ? ExtractFilePath(Application->ExeName()) : folder);
        // Only the settings files the program writes itself move to the user's folder when the
        // program's folder refuses them; files the user names are written where named or not at all.
        tikora::UseUserStore(GetCurrentDir(), {"Tikora.tkra", "Tikora.ini"});
        ForceDirectories("Wavs");
        if (!FileExists("pics\\Images.dir"))
            throw Exception("Software not properly installed or corrupted.\nPlease reinstall Tikora.");
        LoadSkin();
        // Only a window that has started takes the Player's notifications.
        player.SetEndNotify(85, 127, Handle(), WM_PLAYER_END);
        player.SetEventNotify(Handle(), WM_PLAYER_EVENT);
        for (uint8_t channel = 0; channel <= 9; ++channel) player.AddNotifyChannel(channel);
        engineDraw_.reset();
        engine_ = std::make_unique<TMetronomeGame>();
        engineDraw_ = std::make_unique<TMetronomeGameDraw>(*engine_);
        CenterImage->Picture()->Bitmap()->SetPixelFormat(pf32bit);
        AnsiString memo;
        engine_->GetMemo(memo);
        Memo->SetText(memo);
        SetFullScreenMode(true, true);
        ShowTimeSignature();
        ShowTempo(true);
    } catch (Exception& e) {
        ShowMessage("General error: \n" + e.Message);
        tikora::app::StartFailureExit()(0);
        throw;
    } catch (std::exception& e) {
        ShowMessage("General error: \n" + AnsiString(e.what()));
        tikora::app::StartFailureExit()(0);
        throw;
    }
    try {
        HintsFromContext(GlobalPanel, engine_->GetContext());
    } catch (Exception& e) {
        ShowMessage("Error loading hints!\n" + e.Message);
    }
}

void TMainForm::FormShow(TObject*) { Timer1->SetEnabled(true); }

void TMainForm::FormPaint(TObject*) {
    if (!firstPaint_) return;
    firstPaint_ = false;
    if (!engine_) return;
    bool big = engine_->GetSettingsDialogTag()->GetBool("FullScreenMode");
    SetFullScreenMode(big, false);
    Timer2->SetEnabled(true);
    FormResize(this);
}

void TMainForm::FormActivate(TObject*) {
    if (!firstActivate_) return;
    firstActivate_ = false;
    SetWindowState(wsMaximized);
    ShowToolSettings();
}

void TMainForm::FormCanResize(TObject*, int& NewWidth, int& NewHeight, bool&) {
    int frameWidth = Width() - ClientWidth();
    int frameHeight = Height() - ClientHeight();
    if (NewWidth < GlobalPanel->Width() + frameWidth) NewWidth = GlobalPanel->Width() + frameWidth;
    if (NewHeight < GlobalPanel->Height() + frameHeight) NewHeight = GlobalPanel->Height() + frameHeight;
}

void TMainForm::FormResize(TObject*) {
    if (!GlobalPanel) return;
    GlobalPanel->SetBounds(ClientWidth() / 2 - GlobalPanel->Width() / 2, ClientHeight() / 2 - GlobalPanel->Height() / 2,
                           GlobalPanel->Width(), GlobalPanel->Height());
}

void TMainForm::FormClose(TObject*, TCloseAction&) {
    if (!engine_) return;  // start-up failed: nothing to save
    ApplyToolSettings();
    StopButtonClick(this);
    Timer1->SetEnabled(false);
    Timer2->SetEnabled(false);
    VolTimer->SetEnabled(false);
    TempoHideTimer->SetEnabled(false);
    // Closing never traps the user: settings that cannot be written anywhere (the per-user store
    // included) are reported once, and the window closes all the same.
    try {
        engine_->SaveSettings();
    } catch (Exception& e) {
        ShowMessage(e.Message);
    }
    if (mixer_) {
        mixerClose(mixer_);
        mixer_ = nullptr;
    }
}

// ---- Skin layout

void TMainForm::LoadSkin() {
    auto antialiased = [](TFont* source) {
        auto font = std::make_unique<TFont>();
        font->Assign(*source);
        AntialiasFont(font.get());
        source->Assign(*font);
        return font;
    };
    listFont_ = antialiased(TimeSignatureList->FontOnIdle());
    tempoFont_ = antialiased(TempoLab->Font());
    timeSignatureFont_ = antialiased(TimeSignatureButton->FontOnIdle());
    TimeSignatureButton->SetFontOnIdle(timeSignatureFont_.get());

    pendulumBitmap_ = std::make_unique<TBitmap>();
    LoadImageToBitmap(pendulumBitmap_.get(), "pics\\MetronomeArea.png");

    LoadImageToPicture(TopImage->Picture(), "pics\\ControllsArea.png");
    LoadImageToPicture(LeftImage->Picture(), "pics\\QuickStartArea.png");
    LoadImageToPicture(BottomImage->Picture(), "pics\\MetronomeCtrlArea.png");
    LoadImageToPicture(CenterImage->Picture(), "pics\\MetronomeArea.png");
    LoadImageToPicture(RightImage->Picture(), "pics\\PracticeToolsArea.png");
    DenominatorImage->SetBounds(278, 20, 43, 70);

    auto skin = [](TZelPanel* button, const AnsiString& base, bool pressed = true) {
        button->SetPicOnIdle("pics\\" + base + "Initial.png");
        button->SetPicOnMouseMove("pics\\" + base + "Mouse.png");
        if (pressed) button->SetPicOnMouseDown("pics\\" + base + "Pressed.png");
    };
    skin(TikoraPanel, "Tikora", false);
    skin(ZelLogo, "ZelLogo", false);
    for (TZelPanel* button :
         {SaveButton,          LoadButton,       BpmUPButton,    BpmDownButton,  BpmSetButton,
          TimeSignatureButton, ResetTimerButton, SetAlarmButton, SettingsButton, HelpButton,
          AboutButton,         PlayButton,       StopButton,     PauseButton,    SpeakerButton,
          QSTS1Button,         QSTS2Button,      QSTS3Button,    QSTS4Button,    QS72BpmButton,
          QS88BpmButton,       QS120BpmButton,   QS176BpmButton, TapTempoButton, TempoCalculatorButton,
          DrumBeatButton,      MidiFileButton,   MinimizeButton})
        skin(button, button->Hint());
    SetAlarmButton->SetPicOnChecked("pics\\AlarmPressed.png");
    PauseButton->SetPicOnChecked("pics\\PausePressed.png");
    TimeSignatureButton->SetFontOnMouseMove(TimeSignatureButton->FontOnIdle());
    TimeSignatureButton->SetFontOnMouseDown(TimeSignatureButton->FontOnIdle());
    TZelPanel* boxes[] = {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5};
    for (int n = 1; n <= 5; ++n) {
        TZelPanel* box = boxes[n - 1];
        AnsiString base = "pics\\CheckBox" + IntToStr(n);
        box->SetPicOnIdle(base + "1Initial.png");
        box->SetPicOnMouseMove(base + "1Mouse.png");
        box->SetPicOnMouseDown(base + "2Initial.png");
        box->SetPicOnChecked(base + "2Initial.png");
    }

    TimerLab->SetFont(tempoFont_.get());
    TimerLab->SetBounds(TimeSignatureButton->Left() + TimeSignatureButton->Width() + 3,
                        TimeSignatureButton->Top() + (TimeSignatureButton->Height() - TimerLab->Height()) / 2,
                        ResetTimerButton->Left() - 3 - (TimeSignatureButton->Left() + TimeSignatureButton->Width() + 3),
                        TimerLab->Height());
    TempoLab->SetFont(tempoFont_.get());
    int tempoLeft = DenominatorImage->Left() + DenominatorImage->Width() + 3;
    TempoLab->SetBounds(tempoLeft, DenominatorImage->Top() + (DenominatorImage->Height() - TempoLab->Height()) / 2,
                        BpmUPButton->Left() - 3 - tempoLeft, TempoLab->Height());
    SetTempo->SetBounds(BpmSetButton->Left(), TopImage->Height() - SetTempo->Height() - 2, SetTempo->Width(),
                        SetTempo->Height());

    TimeSignatureList->SetBounds(TimeSignatureButton->Left(),
                                 TimeSignatureButton->Top() + TimeSignatureButton->Height() + 3,
                                 TimeSignatureList->Width(), 22);
    TimeSignatureList->SetPicOnIdle("pics\\UseDrumBeatListInitial.png");
    TimeSignatureList->SetPicOnMouseMove("pics\\UseDrumBeatListMouse.png");
    TimeSignatureList->SetPicOnMouseDown("pics\\UseDrumBeatListPressed.png");
    for (auto set : {&TZelList::SetFontOnMouseMove, &TZelList::SetFontOnDisabled, &TZelList::SetFontOnSelected,
                     &TZelList::SetFontOnMouseDown})
        (TimeSignatureList->*set)(listFont_.get());
    DrumBeatList->SetBounds(GlobalPanel->Left() + RightPanel->Left() + DrumBeatButton->Left(),
                            GlobalPanel->Top() + RightPanel->Top() + DrumBeatButton->Top() + DrumBeatButton->Height(),
                            DrumBeatList->Width(), 22);
    DrumBeatList->SetPicOnIdle("pics\\UseDrumBeatListInitial.png");
    DrumBeatList->SetPicOnMouseMove("pics\\UseDrumBeatListMouse.png");
    DrumBeatList->SetPicOnSelected("pics\\UseDrumBeatListPressed.png");
    DrumBeatList->SetPicOnMouseDown("pics\\UseDrumBeatListPressed.png");
    MidiFileList->SetBounds(GlobalPanel->Left() + RightPanel->Left() + MidiFileButton->Left(),
                            GlobalPanel->Top() + RightPanel->Top() + MidiFileButton->Top() + MidiFileButton->Height(),
                            MidiFileList->Width(), 22);
    MidiFileList->SetPicOnIdle("pics\\UseMidiFileListInitial.png");
    MidiFileList->SetPicOnMouseMove("pics\\UseMidiFileListMouse.png");
    MidiFileList->SetPicOnSelected("pics\\UseMidiFileListPressed.png");
    MidiFileList->SetPicOnMouseDown("pics\\UseMidiFileListPressed.png");

    Memo->SetBounds(25, 355, 187, 216);
    if (LeftImage->Picture()->Width() > 120 && LeftImage->Picture()->Height() > 446)
        Memo->SetColor(LeftImage->Canvas()->Pixels(120, 446));
    MemoLab->SetBounds(Memo->Left(), Memo->Top(), Memo->Width(), Memo->Height());
    MemoImage->SetBounds(MemoImage->Left(), Memo->Top(), Memo->Width(), Memo->Height());
    MemoImage->Picture()->Bitmap()->SetSize(Memo->Width(), Memo->Height());
    MemoImage->SetVisible(false);
    QuickstartLab->SetBounds(24, 8, LeftPanel->Width() - 2 * 24, 28);

    MVolume->SetPicBackgroundIdle("pics\\VolumeBack.png");
    MVolume->SetPicBackgroundMouseMove("pics\\VolumeBack.png");
    MVolume->SetPicSliderIdle("pics\\VolumeSlider.png");
    MVolume->SetPicSliderMouseDown("pics\\VolumeSlider.png");
    MVolume->SetBounds(211, 113, 109, 22);
    MVolume->SetPosition(static_cast<int>(GetMixerVolume()));

    Tool1_Play->SetBounds(92, 94, 22, 13);
    Tool1_Rest->SetBounds(134, 116, 22, 13);
    Tool2_BPM_delta->SetBounds(69, 172, 22, 13);
    Tool2_Bars->SetBounds(69, 192, 22, 13);
    Tool5_Transp->SetBounds(147, 403, 22, 13);

    // The hint of a button held its picture name until now.
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* button = dynamic_cast<TZelPanel*>(Components(i))) button->SetHint("");
    for (TZelList* list : {TimeSignatureList, DrumBeatList, MidiFileList}) list->BringToFront();
}

void TMainForm::ApplySkinMode() {
    TDVContext* dialog = engine_->GetSettingsDialogTag();
    bool micro = dialog->TagExists("MicroMode") && dialog->GetBool("MicroMode");
    bool rebuiltOnScreen = false;
    if (!minimized_ || (minimized_->Scale() < 1.0f) != micro) {
        auto small = std::unique_ptr<TMinimized>(new TMinimized(nullptr, micro));
        small->AfterConstruction();
        bool wasShowing = minimized_ && minimized_->Visible();
        if (minimized_) minimized_->BeforeDestruction();
        minimized_ = std::move(small);
        if (!bigMode_) {
            drawTarget_ = minimized_->View;
            pendulumBackground_ = minimized_->Background();
            // Rebuilt while it was the window on screen: the new one takes its place there.
            if (wasShowing) minimized_->Show();
            rebuiltOnScreen = wasShowing;
        }
    }
    AnsiString prefix;
    if (micro && !bigMode_) {
        prefix = "pics\\05";
        minimized_->View->Canvas()->Font()->SetSize(12);
        engine_->ShadowOffset = 7;
        engine_->Margin = 5;
    } else {
        prefix = "pics\\";
        minimized_->View->Canvas()->Font()->SetSize(14);
        engine_->ShadowOffset = 15;
        engine_->Margin = 10;
    }
    CenterImage->Canvas()->Font()->SetSize(14);
    engineDraw_->LoadBitmaps(prefix);
    // A small window rebuilt on screen (the micro choice changed in the settings) shows its
    // pendulum at once, not at the next beat.
    if (rebuiltOnScreen) RedrawPendulum(true);
}

void TMainForm::SetFullScreenMode(bool big, bool initial) {
    bigMode_ = big;
    ApplySkinMode();
    if (big) {
        drawTarget_ = CenterImage;
        pendulumBackground_ = pendulumBitmap_.get();
        if (!initial) {
            minimized_->Hide();
            Show();
            SetForegroundWindow(Handle());
        }
    } else {
        drawTarget_ = minimized_->View;
        pendulumBackground_ = minimized_->Background();
        if (!initial) {
            minimized_->Show();
            Hide();
            SetForegroundWindow(minimized_->Handle());
            Application->RestoreTopMosts();
        }
    }
    if (!initial) {
        engine_->GetSettingsDialogTag()->SetBool("FullScreenMode", big);
        RedrawPendulum(true);
    }
}

void TMainForm::MinimizeButtonClick(TObject*) { SetFullScreenMode(false, false); }
