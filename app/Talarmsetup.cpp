#include "Talarmsetup.h"

#include "FileFunctions.h"
#include "SysUtils.h"
#include "Tmainform.h"
#include "Tmetronomgame.h"
#include "Tsettingsform.h"

TAlarmSetup* AlarmSetup = nullptr;

namespace {
// The program makes its own folder the working directory before any window exists.
AnsiString WavsFolder() { return IncludeTrailingBackslash(GetCurrentDir()) + "wavs\\"; }
}  // namespace

TAlarmSetup::TAlarmSetup(TComponent* Owner) : TForm(Owner) {
    SetName("AlarmSetup");
    SetCaption("Alarm setup");
    SetBorderStyle(bsDialog);
    SetKeyPreview(true);
    SetBounds(300, 220, 300, 190);

    Label1 = new TLabel(this);
    Label1->SetName("Label1");
    Label1->SetParent(this);
    Label1->SetBounds(8, 8, 280, 13);
    Label1->SetCaption("Sound Alarm when elapsed time reaches:");

    auto spin = [this](TCSpinEdit*& field, const char* name, int left, int max) {
        field = new TCSpinEdit(this);
        field->SetName(name);
        field->SetParent(this);
        field->SetBounds(left, 28, 50, 22);
        field->SetMinValue(0);
        field->SetMaxValue(max);
        field->SetValue(0);
    };
    spin(Hour, "Hour", 8, 24);
    spin(Min, "Min", 74, 59);
    spin(Sec, "Sec", 140, 59);
    Hour->SetTabOrder(0);
    Min->SetTabOrder(1);
    Sec->SetTabOrder(2);
    Label2 = new TLabel(this);
    Label2->SetName("Label2");
    Label2->SetParent(this);
    Label2->SetBounds(62, 32, 8, 13);
    Label2->SetCaption(":");
    Label3 = new TLabel(this);
    Label3->SetName("Label3");
    Label3->SetParent(this);
    Label3->SetBounds(128, 32, 8, 13);
    Label3->SetCaption(":");

    aAlarmEnabled = new TCheckBox(this);
    aAlarmEnabled->SetName("aAlarmEnabled");
    aAlarmEnabled->SetParent(this);
    aAlarmEnabled->SetBounds(8, 60, 200, 17);
    aAlarmEnabled->SetCaption("Alarm Enabled");
    aAlarmEnabled->SetTabOrder(3);

    PlayWave = new TCheckBox(this);
    PlayWave->SetName("PlayWave");
    PlayWave->SetParent(this);
    PlayWave->SetBounds(8, 88, 80, 17);
    PlayWave->SetCaption("Play Wave:");
    PlayWave->SetTabOrder(4);

    AlarmFileName = new TEdit(this);
    AlarmFileName->SetName("AlarmFileName");
    AlarmFileName->SetParent(this);
    AlarmFileName->SetBounds(92, 86, 170, 21);
    AlarmFileName->SetTabOrder(5);

    SpeedButton1 = new TSpeedButton(this);
    SpeedButton1->SetName("SpeedButton1");
    SpeedButton1->SetParent(this);
    SpeedButton1->SetBounds(266, 86, 23, 22);
    SpeedButton1->SetCaption("...");
    SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };

    Dialog = new TRadioButton(this);
    Dialog->SetName("Dialog");
    Dialog->SetParent(this);
    Dialog->SetBounds(8, 118, 100, 17);
    Dialog->SetCaption("Dialog");
    Dialog->SetTabOrder(6);

    AutoStop = new TRadioButton(this);
    AutoStop->SetName("AutoStop");
    AutoStop->SetParent(this);
    AutoStop->SetBounds(120, 118, 100, 17);
    AutoStop->SetCaption("Auto-Stop");
    AutoStop->SetTabOrder(7);
    AutoStop->SetChecked(true);

    Button2 = new TButton(this);
    Button2->SetName("Button2");
    Button2->SetParent(this);
    Button2->SetBounds(132, 156, 75, 25);
    Button2->SetCaption("OK");
    Button2->SetDefault(true);
    Button2->SetTabOrder(8);
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };

    Button1 = new TButton(this);
    Button1->SetName("Button1");
    Button1->SetParent(this);
    Button1->SetBounds(214, 156, 75, 25);
    Button1->SetCaption("Cancel");
    Button1->SetCancel(true);
    Button1->SetTabOrder(9);
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };

    OpenD = new TOpenDialog(this);
    OpenD->SetName("OpenD");
    OpenD->SetFilter("Wav files|*.wav|Windows media files|*.wma");

    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnKeyPress = [this](TObject* s, char& k) { FormKeyPress(s, k); };
}

TDVContext* TAlarmSetup::SettingsTag() const {
    if (settings_) return settings_;
    return MainForm && MainForm->Engine() ? MainForm->Engine()->GetSettingsTag() : nullptr;
}

void TAlarmSetup::FormCreate(TObject*) {
    ReadAlarm();
    ApplyAlarm();
}

void TAlarmSetup::FormKeyPress(TObject*, char& Key) {
    if (Key == 27) {
        Key = 0;
        Button1Click(Button1);
    }
}

void TAlarmSetup::ReadAlarm() {
    TDVContext* tag = SettingsTag();
    if (!tag) return;
    aAlarmEnabled->SetChecked(tag->GetBool("Alarm.Enabled"));
    PlayWave->SetChecked(tag->GetBool("Alarm.PlayWave"));
    AutoStop->SetChecked(tag->GetBool("Alarm.AutoStop"));
    Hour->SetValue(tag->GetInteger("Alarm.Hour"));
    Min->SetValue(tag->GetInteger("Alarm.Min"));
    Sec->SetValue(tag->GetInteger("Alarm.Sec"));
    AlarmFileName->SetText(tag->GetString("Alarm.WaveFile"));
    if (!AutoStop->Checked()) Dialog->SetChecked(true);
}

void TAlarmSetup::WriteAlarm() {
    if (TDVContext* tag = SettingsTag()) {
        tag->SetBool("Alarm.Enabled", aAlarmEnabled->Checked());
        tag->SetBool("Alarm.PlayWave", PlayWave->Checked());
        tag->SetBool("Alarm.AutoStop", AutoStop->Checked());
        tag->SetInteger("Alarm.Hour", Hour->Value());
        tag->SetInteger("Alarm.Min", Min->Value());
        tag->SetInteger("Alarm.Sec", Sec->Value());
        tag->SetString("Alarm.WaveFile", AlarmFileName->Text());
    }
    ApplyAlarm();
}

void TAlarmSetup::ApplyAlarm() {
    AlarmTime = Hour->Value() * 3600 + Min->Value() * 60 + Sec->Value();
    AlarmEnabled = aAlarmEnabled->Checked();
    DialogMode = Dialog->Checked();
    // Without a name the path would be the folder itself: no sound, said plainly.
    const AnsiString name = AlarmFileName->Text().Trim();
    WavePath = PlayWave->Checked() && !name.IsEmpty() ? WavsFolder() + name : AnsiString();
}

void TAlarmSetup::Button1Click(TObject*) {
    ReadAlarm();
    SetModalResult(mrCancel);
}

void TAlarmSetup::Button2Click(TObject*) {
    WriteAlarm();
    SetModalResult(mrOk);
}

void TAlarmSetup::SpeedButton1Click(TObject*) {
    OpenD->SetInitialDir(WavsFolder());
    if (!OpenD->Execute()) return;
    if (SettingsForm) SettingsForm->CopyWave(AlarmFileName, OpenD->FileName());
}
