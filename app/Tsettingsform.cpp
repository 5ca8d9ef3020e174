#include "Tsettingsform.h"

#include <algorithm>
#include <cctype>

#include "Dsoundplay.h"
#include "FileFunctions.h"
#include "MMSystem.h"
#include "SysUtils.h"
#include "Tdevelopervariables.h"
#include "Tmainform.h"
#include "Tmetronomgame.h"
#include "Tmidicontent.h"

TSettingsForm* SettingsForm = nullptr;
std::unique_ptr<DSPlay> WavePlayer;

namespace {

// The latency shown for a device: what is stored, or the sound path's own where that is automatic.
int StoredLatency(TDVContext* tag, int device) {
    return LatencyForDevice(tag->GetIntegerIdx("Latency[#]", device + 1), device);
}

const char* const kSetNames[3] = {"Bar", "Beat", "Sub"};

// The engine's view of the window: it reads the controls as they stand at that moment.
class TSettingsHost : public TEngineHost {
public:
    explicit TSettingsHost(TSettingsForm& form) : form_(form) {}
    bool ClickUseMidi(int kind) override { return form_.Sound(kind).UseMidi->Checked(); }
    AnsiString ClickWaveFile(int kind) override { return form_.Sound(kind).WaveFile->Text(); }
    int ClickVolume(int kind) override { return form_.Sound(kind).Volume->Value(); }
    int ClickPan(int kind) override { return form_.Sound(kind).Pan->Value(); }
    int ClickPatchIndex(int kind) override { return std::max(0, form_.Sound(kind).Patch->ItemIndex()); }
    int Latency() override { return form_.Latency->Value(); }
    bool MClickBorder() override { return form_.MClickBorder->Checked(); }
    int MClickLatency() override { return form_.MClickLatency->Value(); }
    void MessageBeep(UINT type) override { ::MessageBeep(type); }
    void ShowMessage(const AnsiString& text) override { ::ShowMessage(text); }

private:
    TSettingsForm& form_;
};

template <typename T>
T* Make(TSettingsForm* form, TWinControl* parent, const char* name, int left, int top, int width, int height) {
    T* c = new T(form);
    c->SetName(name);
    c->SetParent(parent);
    c->SetBounds(left, top, width, height);
    return c;
}

TLabel* MakeLabel(TSettingsForm* form, TWinControl* parent, const char* name, int left, int top, const char* caption) {
    TLabel* l = Make<TLabel>(form, parent, name, left, top, 0, 0);
    l->SetCaption(caption);
    return l;
}

TCSpinEdit* MakeSpin(TSettingsForm* form, TWinControl* parent, const char* name, int left, int top, int width,
                     int minValue, int maxValue, int value) {
    TCSpinEdit* s = Make<TCSpinEdit>(form, parent, name, left, top, width, 24);
    s->SetMinValue(minValue);
    s->SetMaxValue(maxValue);
    s->SetValue(value);
    s->OnKeyDown = [form](TObject* sender, WORD& key, TShiftState shift) { form->LatencyKeyDown(sender, key, shift); };
    return s;
}

TCheckBox* MakeCheck(TSettingsForm* form, TWinControl* parent, const char* name, int top, const char* caption) {
    TCheckBox* c = Make<TCheckBox>(form, parent, name, 12, top, 400, 20);
    c->SetCaption(caption);
    return c;
}

// Sets the loading flag for as long as the waves load, whatever leaves the loop.
struct TFlagScope {
    explicit TFlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~TFlagScope() { flag_ = false; }
    bool& flag_;
};

}  // namespace

TSettingsForm::TSettingsForm(TComponent* Owner) : TForm(Owner), host_(std::make_unique<TSettingsHost>(*this)) {
    CreateComponents();
}

TSettingsForm::~TSettingsForm() {
    // Only an engine handed in explicitly is known to outlive this call; the main window's engine
    // may be gone already when the application frees its forms.
    if (game_ && game_->GetHost() == host_.get()) game_->SetHost(nullptr);
}

void TSettingsForm::CreateComponents() {
    SetName("SettingsForm");
    SetCaption("Settings");
    SetBorderStyle(bsDialog);
    SetKeyPreview(true);
    SetClientWidth(844);
    SetClientHeight(480);

    // ---- MIDI output ----
    MidiGroup = Make<TGroupBox>(this, this, "MidiGroup", 8, 8, 520, 104);
    MidiGroup->SetCaption("MIDI output");
    MIDIOutLab = MakeLabel(this, MidiGroup, "MIDIOutLab", 12, 22, "MIDI Out driver:");
    MIDIOutDriver = Make<TComboBox>(this, MidiGroup, "MIDIOutDriver", 120, 18, 388, 24);
    MIDIOutDriver->SetStyle(csDropDownList);
    MIDIOutDriver->OnChange = [this](TObject* s) { MIDIOutDriverChange(s); };
    LatencyLab = MakeLabel(this, MidiGroup, "LatencyLab", 12, 66, "Latency:");
    Latency = MakeSpin(this, MidiGroup, "Latency", 120, 62, 70, 0, 1000, 0);
    LatencyMsLab = MakeLabel(this, MidiGroup, "LatencyMsLab", 196, 66, "ms");
    Button2 = Make<TButton>(this, MidiGroup, "Button2", 300, 60, 96, 28);
    Button2->SetCaption("Hardware");
    Button2->SetTag(0);
    Button3 = Make<TButton>(this, MidiGroup, "Button3", 402, 60, 106, 28);
    Button3->SetCaption("GS Wavetable");
    Button3->SetTag(60);
    Button2->OnClick = [this](TObject* s) { Button3Click(s); };
    Button3->OnClick = [this](TObject* s) { Button3Click(s); };

    // ---- options ----
    OptionsGroup = Make<TGroupBox>(this, this, "OptionsGroup", 8, 120, 520, 312);
    OptionsGroup->SetCaption("Options");
    DisableAnimation = MakeCheck(this, OptionsGroup, "DisableAnimation", 22, "Disable metronome animation");
    ShowFlashingLight = MakeCheck(this, OptionsGroup, "ShowFlashingLight", 46, "Show flashing lights");
    ShowFlyByHints = MakeCheck(this, OptionsGroup, "ShowFlyByHints", 70, "Show fly-by hints");
    TapTempoAutoStart = MakeCheck(this, OptionsGroup, "TapTempoAutoStart", 94, "Tap Tempo starts metronome");
    // The two click positions get a parent of their own, so they exclude only each other.
    MClickPanel = Make<TPanel>(this, OptionsGroup, "MClickPanel", 8, 118, 504, 56);
    MClickPanel->SetBevelOuter(bvNone);
    MClickCenter = Make<TRadioButton>(this, MClickPanel, "MClickCenter", 4, 2, 400, 20);
    MClickCenter->SetCaption("Metronome clicks in the center");
    MClickBorder = Make<TRadioButton>(this, MClickPanel, "MClickBorder", 4, 28, 140, 20);
    MClickBorder->SetCaption("Metronome clicks ");
    MClickBorder->SetChecked(true);
    MClickLatency = MakeSpin(this, MClickPanel, "MClickLatency", 146, 26, 64, 0, 1000, 0);
    MClickLatencyLab =
        MakeLabel(this, MClickPanel, "MClickLatencyLab", 216, 30, "ms before the end of the pendulum swing");
    AllwaysOnTop = MakeCheck(this, OptionsGroup, "AllwaysOnTop", 184, "Skin mode is allways on top");
    AutoResetTimer = MakeCheck(this, OptionsGroup, "AutoResetTimer", 212,
                               "Automatically reset timer every time the metronome is started");
    UseDefTempoWMidi = MakeCheck(this, OptionsGroup, "UseDefTempoWMidi", 240,
                                 "Use default tempo settings for Drum Beats and MIDI Files");
    MicroMode = MakeCheck(this, OptionsGroup, "MicroMode", 268, "For skin mode, use mini-metronome");
    for (TCheckBox* c : {DisableAnimation, ShowFlashingLight, ShowFlyByHints, TapTempoAutoStart, AllwaysOnTop,
                         AutoResetTimer, UseDefTempoWMidi, MicroMode})
        c->SetWidth(496);

    // ---- click sounds and presets ----
    SoundsGroup = Make<TGroupBox>(this, this, "SoundsGroup", 536, 8, 300, 424);
    SoundsGroup->SetCaption("Click sounds");
    PresetLab = MakeLabel(this, SoundsGroup, "PresetLab", 12, 24, "Preset:");
    PresetCombo = Make<TComboBox>(this, SoundsGroup, "PresetCombo", 70, 20, 218, 24);
    PresetCombo->SetStyle(csDropDownList);
    PresetCombo->OnChange = [this](TObject* s) { PresetComboChange(s); };
    Button6 = Make<TButton>(this, SoundsGroup, "Button6", 12, 50, 64, 28);
    Button6->SetCaption("Save");
    Button6->OnClick = [this](TObject* s) { Button6Click(s); };
    Button4 = Make<TButton>(this, SoundsGroup, "Button4", 80, 50, 100, 28);
    Button4->SetCaption("New preset");
    Button4->OnClick = [this](TObject* s) { Button4Click(s); };
    Button5 = Make<TButton>(this, SoundsGroup, "Button5", 184, 50, 104, 28);
    Button5->SetCaption("Delete preset");
    Button5->OnClick = [this](TObject* s) { Button5Click(s); };
    BarGroup = MakeSoundGroup("Bar", "Bar", 84, 0);
    BeatsGroup = MakeSoundGroup("Beats", "Beats", 196, 1);
    SubGroup = MakeSoundGroup("Sub", "Sub-beats", 308, 2);
    SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };
    SpeedButton2->OnClick = [this](TObject* s) { SpeedButton2Click(s); };
    SpeedButton3->OnClick = [this](TObject* s) { SpeedButton3Click(s); };

    Button1 = Make<TButton>(this, this, "Button1", 660, 442, 84, 30);
    Button1->SetCaption("OK");
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    CancelButton = Make<TButton>(this, this, "CancelButton", 752, 442, 84, 30);
    CancelButton->SetCaption("Cancel");
    CancelButton->OnClick = [this](TObject* s) { CancelButtonClick(s); };

    OpenD = new TOpenDialog(this);
    OpenD->SetName("OpenD");
    OpenD->SetFilter("Wav files|*.wav|Windows media files|*.wma");
    OpenD->SetDefaultExt("*.wav");

    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    OnKeyPress = [this](TObject* s, char& k) { FormKeyPress(s, k); };
}

TGroupBox* TSettingsForm::MakeSoundGroup(const char* prefix, const char* caption, int top, int kind) {
    const AnsiString p = prefix;
    auto name = [&](const char* what) { return p + what; };
    TGroupBox* g = Make<TGroupBox>(this, SoundsGroup, name("Group").c_str(), 8, top, 284, 108);
    g->SetCaption(caption);
    auto* useMidi = Make<TRadioButton>(this, g, name("UseMidi").c_str(), 10, 20, 62, 20);
    useMidi->SetCaption("MIDI");
    useMidi->SetChecked(true);
    auto* useWave = Make<TRadioButton>(this, g, name("UseWave").c_str(), 10, 48, 62, 20);
    useWave->SetCaption("Wave");
    auto* patch = Make<TComboBox>(this, g, name("Patch").c_str(), 76, 18, 198, 24);
    patch->SetStyle(csDropDownList);
    auto* waveFile = Make<TEdit>(this, g, name("WaveFile").c_str(), 76, 46, 170, 24);
    auto* browse = Make<TSpeedButton>(this, g, ("SpeedButton" + IntToStr(kind + 1)).c_str(), 250, 46, 24, 24);
    browse->SetCaption("...");
    MakeLabel(this, g, name("VolumeLab").c_str(), 10, 80, "Volume");
    auto* volume = MakeSpin(this, g, name("Volume").c_str(), 76, 76, 64, 0, 127, 100);
    MakeLabel(this, g, name("PanLab").c_str(), 160, 80, "Pan");
    auto* pan = MakeSpin(this, g, name("Pan").c_str(), 194, 76, 64, -63, 63, 0);
    for (TRadioButton* r : {useMidi, useWave}) r->OnClick = [this](TObject* s) { BarUseMidiClick(s); };

    switch (kind) {
        case 0:
            BarUseMidi = useMidi, BarUseWave = useWave, BarPatch = patch, BarWaveFile = waveFile;
            SpeedButton1 = browse, BarVolume = volume, BarPan = pan;
            break;
        case 1:
            BeatsUseMidi = useMidi, BeatsUseWave = useWave, BeatsPatch = patch, BeatsWaveFile = waveFile;
            SpeedButton2 = browse, BeatsVolume = volume, BeatsPan = pan;
            break;
        default:
            SubUseMidi = useMidi, SubUseWave = useWave, SubPatch = patch, SubWaveFile = waveFile;
            SpeedButton3 = browse, SubVolume = volume, SubPan = pan;
            break;
    }
    return g;
}

TSettingsForm::TSoundControls TSettingsForm::Sound(int kind) const {
    switch (std::clamp(kind, 0, 2)) {
        case 0:
            return {BarUseMidi, BarUseWave, BarPatch, BarVolume, BarPan, BarWaveFile, SpeedButton1};
        case 1:
            return {BeatsUseMidi, BeatsUseWave, BeatsPatch, BeatsVolume, BeatsPan, BeatsWaveFile, SpeedButton2};
        default:
            return {SubUseMidi, SubUseWave, SubPatch, SubVolume, SubPan, SubWaveFile, SpeedButton3};
    }
}

TMetronomeGame* TSettingsForm::Game() const {
    if (game_) return game_;
    return MainForm ? MainForm->Engine() : nullptr;
}

TDVContext* TSettingsForm::DialogTag() const {
    // Looked up every time: loading a settings file gives the engine a new context.
    TMetronomeGame* game = Game();
    return game ? game->GetSettingsDialogTag() : nullptr;
}

Player* TSettingsForm::Sequencer() const {
    TMetronomeGame* game = Game();
    return game && game->GetPlayer() ? game->GetPlayer() : &player;
}

AnsiString TSettingsForm::WavsFolder() { return IncludeTrailingPathDelimiter(GetCurrentDir()) + "wavs\\"; }

bool TSettingsForm::ValidPresetName(const AnsiString& name) {
    // The name becomes a list ID inside a settings statement: "," and "-" would make several IDs or
    // a range, brackets and braces would end the statement early.
    if (name.IsEmpty()) return false;
    for (int i = 1; i <= name.Length(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (!std::isalnum(c) && c != '_') return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Creation, showing, closing

void TSettingsForm::FormCreate(TObject*) {
    for (TComboBox* list : {BarPatch, BeatsPatch, SubPatch}) {
        list->Items()->Clear();
        for (const char* drum : DrumNames) list->Items()->Add(drum);
        list->SetItemIndex(0);
    }

    MIDIOutDriver->Items()->Clear();
    const UINT devices = midiOutGetNumDevs();
    for (UINT i = 0; i < devices; ++i) {
        AnsiString name;
        // A device whose name cannot be read keeps its row, so rows stay device indexes.
        Sequencer()->GetOutDeviceName(static_cast<int>(i), name);
        MIDIOutDriver->Items()->Add(name);
    }
    MIDIOutDriver->SetItemIndex(devices > 0 ? 0 : -1);

    ReadSettings();

    WavePlayer.reset();
    try {
        WavePlayer = std::make_unique<DSPlay>(Handle());
    } catch (const Exception& e) {
        // Without a sound device the program still clicks through MIDI; wave clicks stay silent.
        ShowMessage(e.Message);
    }
    LoadWaves();

    if (TMetronomeGame* game = Game()) game->SetHost(host_.get());
}

void TSettingsForm::FormShow(TObject*) {
    wavesChanged_ = false;
    restored_ = false;
    BarUseMidiClick(this);
}

void TSettingsForm::FormClose(TObject*, TCloseAction&) {
    // Closed by the title bar or the dialog service rather than by a button: as Cancel, the controls
    // must not keep edits that were never stored, since the engine reads them live.
    if (ModalResult() != mrOk && !restored_) ReadSettings();
    restored_ = false;
}

void TSettingsForm::FormKeyPress(TObject*, char& Key) {
    if (Key == 13) {
        Key = 0;
    } else if (Key == 27) {
        Key = 0;
        CancelButtonClick(CancelButton);
    }
}

void TSettingsForm::LatencyKeyDown(TObject*, WORD& Key, TShiftState) {
    if (Key == VK_RETURN) Key = 0;
}

void TSettingsForm::Button1Click(TObject*) {
    WriteSettings();
    bool reload = wavesChanged_;
    // A preset chosen in the dialog may name other waves than those loaded, without any browsing.
    for (int kind = 0; kind < 3; ++kind)
        if (Sound(kind).WaveFile->Text() != loadedWaves_[static_cast<size_t>(kind)]) reload = true;
    if (reload) LoadWaves();
    SetModalResult(mrOk);
}

void TSettingsForm::CancelButtonClick(TObject*) {
    ReadSettings();
    restored_ = true;
    SetModalResult(mrCancel);
}

// ---------------------------------------------------------------------------------------------
// Reading and writing the settings

void TSettingsForm::ApplyHintPause() { Application->SetHintPause(ShowFlyByHints->Checked() ? 400 : 65000); }

void TSettingsForm::OpenSelectedDevice() {
    Player* p = Sequencer();
    if (p->OpenOutDevice(MIDIOutDriver->ItemIndex())) return;
    const int open = p->OutDevice;
    const int shown = open >= 0 && open < MIDIOutDriver->Items()->Count() ? open : -1;
    if (shown == MIDIOutDriver->ItemIndex()) return;
    MIDIOutDriver->SetItemIndex(shown);
    // The latency shown belonged to the device that failed; stored with the fallback device it
    // would overwrite that device's own value.
    if (TDVContext* tag = DialogTag(); tag && shown >= 0) Latency->SetValue(StoredLatency(tag, shown));
}

void TSettingsForm::ReadSettings() {
    TDVContext* tag = DialogTag();
    if (!tag) return;
    PresetCombo->Items()->Clear();
    tag->EnumListIDs("Preset", PresetCombo->Items());
    PresetCombo->SetItemIndex(PresetCombo->Items()->IndexOf("default"));
    ReadPreset();

    int device = MIDIOutDriver->Items()->IndexOf(tag->GetString("MidiDriver"));
    if (device < 0 && MIDIOutDriver->Items()->Count() > 0) device = 0;
    MIDIOutDriver->SetItemIndex(device);
    if (device >= 0) Latency->SetValue(StoredLatency(tag, device));

    DisableAnimation->SetChecked(tag->GetBool("DisableAnimation"));
    ShowFlashingLight->SetChecked(tag->GetBool("ShowFlashingLight"));
    ShowFlyByHints->SetChecked(tag->GetBool("ShowFlyByHints"));
    TapTempoAutoStart->SetChecked(tag->GetBool("TapTempoAutoStart"));
    AllwaysOnTop->SetChecked(tag->GetBool("AllwaysOnTop"));
    (tag->GetBool("MClickCenter") ? MClickCenter : MClickBorder)->SetChecked(true);
    AutoResetTimer->SetChecked(tag->GetBool("AutoResetTimer"));
    UseDefTempoWMidi->SetChecked(tag->GetBool("UseDefTempoWMidi"));
    MClickLatency->SetValue(tag->GetInteger("MClickLatency"));
    if (tag->TagExists("MicroMode")) MicroMode->SetChecked(tag->GetBool("MicroMode"));

    OpenSelectedDevice();
    ApplyHintPause();
}

void TSettingsForm::WriteSettings() {
    TDVContext* tag = DialogTag();
    if (!tag) return;
    WritePreset("default");
    tag->SetString("MidiDriver", MIDIOutDriver->Text());
    // Without a device there is no element to store the latency in.
    // The sound path's own latency stays "automatic" (-1) until the user sets another value, so
    // that it follows the output device.
    if (const int device = MIDIOutDriver->ItemIndex(); device >= 0) {
        const bool automatic =
            tag->GetIntegerIdx("Latency[#]", device + 1) < 0 && Latency->Value() == StoredLatency(tag, device);
        tag->SetIntegerIdx("Latency[#]", automatic ? -1 : Latency->Value(), device + 1);
    }

    tag->SetBool("DisableAnimation", DisableAnimation->Checked());
    tag->SetBool("ShowFlashingLight", ShowFlashingLight->Checked());
    tag->SetBool("ShowFlyByHints", ShowFlyByHints->Checked());
    tag->SetBool("TapTempoAutoStart", TapTempoAutoStart->Checked());
    tag->SetBool("AllwaysOnTop", AllwaysOnTop->Checked());
    tag->SetBool("MClickCenter", MClickCenter->Checked());
    tag->SetBool("AutoResetTimer", AutoResetTimer->Checked());
    tag->SetBool("UseDefTempoWMidi", UseDefTempoWMidi->Checked());
    tag->SetInteger("MClickLatency", MClickLatency->Value());
    if (tag->TagExists("MicroMode")) tag->SetBool("MicroMode", MicroMode->Checked());

    OpenSelectedDevice();
    ApplyHintPause();
}

void TSettingsForm::ReadPreset() {
    TDVContext* tag = DialogTag();
    if (!tag) return;
    const int selected = PresetCombo->ItemIndex();
    const AnsiString name = selected >= 0 ? PresetCombo->Items()->Strings(selected) : AnsiString("default");
    for (int kind = 0; kind < 3; ++kind) {
        const AnsiString path = "Preset[" + name + "].Set[" + kSetNames[kind] + "].";
        const TSoundControls s = Sound(kind);
        (tag->GetBool(path + "UseMidi") ? s.UseMidi : s.UseWave)->SetChecked(true);
        s.WaveFile->SetText(tag->GetString(path + "WaveFile"));
        const int row = s.Patch->Items()->IndexOf(tag->GetString(path + "MidiPatch"));
        s.Patch->SetItemIndex(row < 0 ? 0 : row);
        s.Volume->SetValue(tag->GetInteger(path + "Volume"));
        s.Pan->SetValue(tag->GetInteger(path + "Pan"));
    }
}

void TSettingsForm::WritePreset(const AnsiString& name) {
    TDVContext* tag = DialogTag();
    if (!tag) return;
    const AnsiString block = name.IsEmpty() ? AnsiString("Preset") : "Preset[" + name + "]";
    for (int kind = 0; kind < 3; ++kind) {
        const AnsiString path = block + ".Set[" + kSetNames[kind] + "].";
        const TSoundControls s = Sound(kind);
        tag->SetBool(path + "UseMidi", s.UseMidi->Checked());
        tag->SetString(path + "WaveFile", s.WaveFile->Text());
        tag->SetString(path + "MidiPatch", s.Patch->Text());
        tag->SetInteger(path + "Volume", s.Volume->Value());
        tag->SetInteger(path + "Pan", s.Pan->Value());
    }
}

// ---------------------------------------------------------------------------------------------
// Device, sound and preset controls

void TSettingsForm::MIDIOutDriverChange(TObject*) {
    const int device = MIDIOutDriver->ItemIndex();
    TDVContext* tag = DialogTag();
    if (device >= 0 && tag) Latency->SetValue(StoredLatency(tag, device));
}

void TSettingsForm::Button3Click(TObject* Sender) {
    if (auto* c = dynamic_cast<TComponent*>(Sender)) Latency->SetValue(c->Tag());
}

void TSettingsForm::BarUseMidiClick(TObject*) {
    for (int kind = 0; kind < 3; ++kind) {
        const TSoundControls s = Sound(kind);
        const bool midi = s.UseMidi->Checked();
        s.Patch->SetEnabled(midi);
        s.WaveFile->SetEnabled(!midi);
        s.Browse->SetEnabled(!midi);
    }
}

void TSettingsForm::PresetComboChange(TObject*) { ReadPreset(); }

void TSettingsForm::Button6Click(TObject*) {
    // With no preset selected there is nothing to save to; writing the list template instead would
    // change what every new preset starts from.
    const int selected = PresetCombo->ItemIndex();
    if (selected < 0) return;
    WritePreset(PresetCombo->Items()->Strings(selected));
}

void TSettingsForm::Button4Click(TObject*) {
    TDVContext* tag = DialogTag();
    if (!tag) return;
    AnsiString name = "unnamed";
    if (!InputQuery("New preset", "Enter new preset name:", name)) return;
    name = Trim(name);
    if (!ValidPresetName(name)) {
        MessageBeep(0);
        ShowMessage("Invalid name!");
        return;
    }
    if (PresetCombo->Items()->IndexOf(name) >= 0) {
        MessageBeep(0);
        ShowMessage("This preset allready exists!");
        return;
    }
    const int selected = PresetCombo->ItemIndex();
    const AnsiString source = selected >= 0 ? PresetCombo->Items()->Strings(selected) : AnsiString("default");
    TStringList lines;
    lines.Add("Preset[" + name + "]{");
    lines.Add("}");
    tag->LoadFromStrings(&lines, 0, -1);
    tag->GetContext("Preset[" + name + "]")->Assign(tag->GetContext("Preset[" + source + "]"));
    PresetCombo->SetItemIndex(PresetCombo->Items()->Add(name));
}

void TSettingsForm::Button5Click(TObject*) {
    TDVContext* tag = DialogTag();
    const int selected = PresetCombo->ItemIndex();
    if (!tag || selected < 0) return;
    const AnsiString name = PresetCombo->Items()->Strings(selected);
    if (name == "default") {
        MessageBeep(0);
        ShowMessage("This preset can not be deleted!");
        return;
    }
    if (MessageBoxA(Handle(), "Press Yes to delete selected preset, press No to cancel", "Delete preset",
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    tag->RemoveTag("Preset[" + name + "]");
    PresetCombo->Items()->Delete(selected);
}

// ---------------------------------------------------------------------------------------------
// Wave click sounds

void TSettingsForm::BrowseWave(int kind) {
    OpenD->SetInitialDir(WavsFolder());
    if (!OpenD->Execute()) return;
    CopyWave(Sound(kind).WaveFile, OpenD->FileName());
    wavesChanged_ = true;
}

void TSettingsForm::SpeedButton1Click(TObject*) { BrowseWave(0); }
void TSettingsForm::SpeedButton2Click(TObject*) { BrowseWave(1); }
void TSettingsForm::SpeedButton3Click(TObject*) { BrowseWave(2); }

void TSettingsForm::CopyWave(TEdit* edit, const AnsiString& fileName) {
    const AnsiString wavs = WavsFolder();
    AnsiString name = ExtractFileName(fileName);
    if (!tikora::SameHostPath(ExcludeTrailingPathDelimiter(ExtractFilePath(fileName)),
                              ExcludeTrailingPathDelimiter(wavs))) {
        // Split the name, not the whole path: a dot in a folder name is no extension.
        const int dot = name.LastDelimiter(".");
        const AnsiString base = dot > 0 ? name.SubString(1, dot - 1) : name;
        const AnsiString ext = dot > 0 ? name.SubString(dot, name.Length() - dot + 1) : AnsiString();
        AnsiString target = base + ext;
        for (int n = 1; FileExists(wavs + target); ++n) target = base + "(" + IntToStr(n) + ")" + ext;
        if (name.IsEmpty() || !CopyFileA(fileName.c_str(), (wavs + target).c_str(), FALSE)) {
            MessageBeep(0);
            ShowMessage("Unable copy selected file to wavs directory!");
            return;
        }
        name = target;
    }
    edit->SetText(name);
}

void TSettingsForm::LoadWaves() {
    if (!WavePlayer) return;
    TFlagScope loading(loading_);
    WavePlayer->RemoveAllSounds();
    loadedWaves_ = {};
    const AnsiString wavs = WavsFolder();
    for (int kind = 0; kind < 3; ++kind) {
        const AnsiString name = Sound(kind).WaveFile->Text();
        if (name.IsEmpty()) continue;
        loadedWaves_[static_cast<size_t>(kind)] = name;
        try {
            // Global focus: the clicks play while the main window, not this one, has the focus.
            WavePlayer->LoadSound(wavs + name, name, true);
        } catch (const Exception& e) {
            ShowMessage(e.Message);
        }
    }
}

void TSettingsForm::PlayWave(const AnsiString& name, int volume, int pan) {
    if (loading_ || !WavePlayer) return;
    WavePlayer->Play(name);
    WavePlayer->SetVolume(name, volume);
    WavePlayer->SetPan(name, pan);
}

void TSettingsForm::StopAll() {
    if (WavePlayer) WavePlayer->StopAll();
}
