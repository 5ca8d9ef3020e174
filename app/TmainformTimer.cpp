// The practice timer with its alarm, and the dialogs the main window opens.
#include <cstdio>

#include "FileFunctions.h"
#include "PlaySound.h"
#include "SysUtils.h"
#include "Talarmdialog.h"
#include "Talarmsetup.h"
#include "Tmainform.h"
#include "Tmemoform.h"
#include "Tmetronomgame.h"
#include "Tsettingsform.h"
#include "Tsplashscreen.h"
#include "Ttempocalculator.h"

namespace tikora::app {

AnsiString PracticeTimeText(double seconds) {
    if (!(seconds >= 0)) seconds = 0;
    int64_t whole = static_cast<int64_t>(seconds);
    char text[16];
    if (whole < 3600)
        std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(whole / 60), static_cast<int>(whole % 60));
    else
        std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(whole / 3600 % 24),
                      static_cast<int>(whole / 60 % 60));
    return AnsiString(text);
}

}  // namespace tikora::app

void TMainForm::Timer2Timer(TObject*) {
    if (timer2Busy_ || (AlarmSetup && AlarmSetup->Visible()) || !engine_) return;
    timer2Busy_ = true;
    try {
        double t = engine_->PracticeTime;
        TimerLab->SetCaption(tikora::app::PracticeTimeText(t));
        TimerLab->SetVisible(engine_->State == psPaused ? !TimerLab->Visible() : true);
        if (!AlarmSetup || !AlarmSetup->AlarmEnabled || AlarmSetup->AlarmTime > t) {
            SetAlarmButton->SetChecked(false);
        } else {
            SetAlarmButton->SetChecked(!SetAlarmButton->Checked());
            if (engine_->State == psPlaying) {
                auto playAlarm = [] {
                    const AnsiString& wave = AlarmSetup->WavePath;
                    if (!wave.IsEmpty() && FileExists(wave))
                        PlaySoundA(wave.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
                };
                if (!AlarmSetup->DialogMode) {
                    StopButtonClick(this);
                    playAlarm();
                } else {
                    playAlarm();
                    AlarmDialog->ShowModal();
                    switch (AlarmDialog->Result->ItemIndex()) {
                        case TAlarmDialog::aStop:
                            StopButtonClick(this);
                            break;
                        case TAlarmDialog::aResetTimer:
                            engine_->ResetTimer();
                            break;
                        case TAlarmDialog::aOpenSetup:
                            AlarmSetup->ShowModal();
                            break;
                        default:
                            AlarmSetup->AlarmEnabled = false;
                            AlarmSetup->aAlarmEnabled->SetChecked(false);
                            break;
                    }
                }
            }
        }
    } catch (...) {
        timer2Busy_ = false;
        throw;
    }
    timer2Busy_ = false;
}

void TMainForm::ResetTimerButtonMouseDown(TObject*, TMouseButton, TShiftState, int, int) {
    engine_->ResetTimer();
    Timer2Timer(this);
}

void TMainForm::SetAlarmButtonClick(TObject*) { AlarmSetup->ShowModal(); }

void TMainForm::SettingsButtonClick(TObject*) {
    if (SettingsForm->ShowModal() != mrOk) return;
    engine_->ReadNoteSets();
    ApplySkinMode();
}

void TMainForm::TempoCalculatorButtonClick(TObject*) {
    StopButtonClick(this);
    TempoCalculator->ShowModal();
}

void TMainForm::MemoLabClick(TObject*) {
    MemoForm->Memo->Lines()->Assign(*Memo->Lines());
    if (MemoForm->ShowModal() != mrOk) return;
    engine_->SetMemo(MemoForm->Memo->Text());
    Memo->Lines()->Assign(*MemoForm->Memo->Lines());
}

void TMainForm::ZelLogoClick(TObject*) {
    if (!SplashScreen) Application->CreateForm(SplashScreen);
    SplashScreen->ShowModal();
}
