#pragma once
// Setting up the practice timer's alarm: when it goes off, what it does, which wave it plays.
#include <cstdint>

#include "Dialogs.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "Tdevelopervariables.h"

class TAlarmSetup : public TForm {
public:
    explicit TAlarmSetup(TComponent* Owner);

    TLabel* Label1;
    TLabel* Label2;
    TLabel* Label3;
    TCSpinEdit* Hour;
    TCSpinEdit* Min;
    TCSpinEdit* Sec;
    TCheckBox* aAlarmEnabled;
    TCheckBox* PlayWave;
    TEdit* AlarmFileName;
    TSpeedButton* SpeedButton1;
    TRadioButton* Dialog;
    TRadioButton* AutoStop;
    TButton* Button1;  // Cancel
    TButton* Button2;  // OK
    TOpenDialog* OpenD;

    void FormCreate(TObject* Sender);
    void FormKeyPress(TObject* Sender, char& Key);
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
    void SpeedButton1Click(TObject* Sender);

    // The stored block "Alarm" into the controls.
    void ReadAlarm();
    // The controls into the stored block, then applied.
    void WriteAlarm();
    // The controls into the applied alarm below.
    void ApplyAlarm();

    // The block is read from and written to the main window's engine's tag "Settings" unless
    // another is given here (a context whose tag "Settings" is meant; nullptr goes back).
    void UseSettings(TDVContext* settingsTag) { settings_ = settingsTag; }

    // The applied alarm, read by the main window's practice timer.
    int32_t AlarmTime = 0;  // seconds of practice time
    bool AlarmEnabled = false;
    bool DialogMode = false;  // false: stop on its own
    AnsiString WavePath;      // empty: no sound

private:
    TDVContext* SettingsTag() const;
    TDVContext* settings_ = nullptr;
};

extern TAlarmSetup* AlarmSetup;
