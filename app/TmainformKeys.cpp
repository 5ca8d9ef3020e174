// Every way to set the tempo and drive the main window besides the transport buttons: keyboard
// shortcuts, tap tempo, dragging the weight, the tempo buttons and bar, and the tempo dialog.
#include <algorithm>
#include <cstdlib>

#include "FileFunctions.h"
#include "Shell.h"
#include "SysUtils.h"
#include "Tmainform.h"
#include "Tmetronomgame.h"
#include "Tmidicontent.h"
#include "Tminimizedform.h"
#include "Tsettempoform.h"
#include "Tsettingsform.h"

void TMainForm::ApplicationEvents1Message(tagMSG& Msg, bool&) {
    if (Msg.message == WM_SYSKEYDOWN) Msg.message = WM_KEYDOWN;
}

void TMainForm::SetTransposition(int value) {
    value = std::clamp(value, -12, 12);
    Tool5_Transp->SetCaption(IntToStr(value));
    if (CheckBox4->Checked()) player.SetTranspose(value);
}

void TMainForm::FormKeyDown(TObject*, WORD& Key, TShiftState Shift) {
    bool alt = Shift.Contains(ssAlt), ctrl = Shift.Contains(ssCtrl), shift = Shift.Contains(ssShift);
    auto tempoStep = [&] { return shift && alt ? 50 : alt ? 10 : shift ? 1 : 5; };
    static const char* const signatures[] = {"1:4", "2:4", "3:4", "4:4", "5:4", "6:4 (3+3)"};
    switch (Key) {
        case VK_RETURN:
            TapTempo(-1);
            break;
        case VK_OEM_PLUS:
            TapTempo(1);
            break;
        case VK_OEM_MINUS:
            TapTempo(0);
            break;
        case VK_SPACE:
            if (engine_->State == psStopped)
                PlayButtonClick(this);
            else
                StopButtonClick(this);
            break;
        case VK_UP:
        case VK_DOWN:
            SetTransposition(StrToIntDef(Tool5_Transp->Caption(), 0) + (Key == VK_UP ? 1 : -1));
            break;
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
            SelectTimeSignature(signatures[Key - '1']);
            break;
        case '7':
            QS72BpmButtonClick(QS72BpmButton);
            break;
        case '8':
            QS72BpmButtonClick(QS88BpmButton);
            break;
        case '9':
            QS72BpmButtonClick(QS120BpmButton);
            break;
        case '0':
            QS72BpmButtonClick(QS176BpmButton);
            break;
        case VK_OEM_4:
            ChangeTempo(engine_->Tempo - tempoStep());
            break;
        case VK_OEM_6:
            ChangeTempo(engine_->Tempo + tempoStep());
            break;
        case VK_ADD:
        case VK_SUBTRACT: {
            int step = MVolume->MaxPosition() * 5 / 100;
            int position = MVolume->Position() + (Key == VK_ADD ? step : -step);
            MVolume->SetPosition(std::clamp(position, MVolume->MinPosition(), MVolume->MaxPosition()));
            MVolumeChange(MVolume);
            break;
        }
        case 'O':
            if (ctrl) LoadButtonClick(LoadButton);
            break;
        case 'S':
            if (ctrl) SaveButtonClick(SaveButton);
            break;
        case 'R':
            if (alt) ResetTimerButtonMouseDown(ResetTimerButton, mbLeft, Shift, 0, 0);
            break;
        case 'A':
            if (alt) SetAlarmButtonClick(SetAlarmButton);
            break;
        case VK_F1:
            HelpButtonClick(HelpButton);
            break;
        case VK_F1 + 1:
            StopButtonClick(StopButton);
            break;
        case VK_F1 + 2:
            PauseButtonClick(PauseButton);
            break;
        case VK_F1 + 3:
            PlayButtonClick(PlayButton);
            break;
        case VK_F1 + 4:
            if (TimeSignatureList->Items()->Count() == 0) FillTimeSignatureList();
            TimeSignatureList->SetItemIndex(TimeSignatureList->Items()->Count() - 1);
            TimeSignatureListClick(TimeSignatureList);
            break;
        case VK_F1 + 5:
            SettingsButtonClick(SettingsButton);
            break;
        case VK_F1 + 6:
            MemoLabClick(MemoLab);
            break;
        case VK_F1 + 7:
            if (minimized_ && minimized_->Visible())
                minimized_->MaximizeButtonClick(minimized_.get());
            else
                MinimizeButtonClick(MinimizeButton);
            break;
        default:
            break;
    }
}

// ---- Tap tempo

void TMainForm::TapTempo(int autoStart) {
    DWORD now = GetTickCount();
    DWORD delta = now - lastTapTick_;
    if (autoStart == -1) autoStart = SettingsChecked(2) ? 1 : 0;
    // A tap closer to the last than a beat of the fastest tempo (500 bpm, 120 ms) is the key
    // bouncing, not a tempo: it is ignored, and the series goes on from the first press.
    if (tapped_ && delta < 60000 / 500) return;
    // The very first tap starts a series whatever the clock reads: there is no interval before it.
    if (!tapped_ || delta >= 1500) {
        tapped_ = true;
        tapCount_ = 1;
        tapSum_ = 0;
        tapIntervals_ = 0;
    } else {
        double ms = delta * 0.001;
        tapSum_ += static_cast<int32_t>(60.0 / ms);
        ++tapIntervals_;
        ++tapCount_;
        if (tapCount_ > 3) {
            int tempo = tapSum_ / tapIntervals_;
            ChangeTempo(tempo);
            if (autoStart == 1) {
                if (engine_->State != psPlaying) {
                    DelayedStartTimer->SetInterval(static_cast<UINT>(60.0 / engine_->Tempo * 1000));
                    DelayedStartTimer->SetEnabled(true);
                } else {
                    engine_->Restart();
                }
            }
            tapCount_ = 0;
            tapSum_ = 0;
            tapIntervals_ = 0;
        }
    }
    lastTapTick_ = now;
}

void TMainForm::TapTempoButtonMouseDown(TObject*, TMouseButton, TShiftState, int, int) { TapTempo(-1); }

void TMainForm::DelayedStartTimerTimer(TObject*) {
    DelayedStartTimer->SetEnabled(false);
    if (engine_->State != psPlaying) PlayButtonClick(this);
}

// ---- Dragging the weight

int TMainForm::TempoAtWeightTop(int row) const {
    return engine_->TempoFromWeightY(engine_->WeightYAtTop(drawTarget_->Height(), row));
}

void TMainForm::CenterImageMouseMove(TObject*, TShiftState Shift, int X, int Y) {
    if (!drawTarget_) return;
    const bool held = Shift.Contains(ssLeft) && weightGrab_;
    bool near = std::abs(drawTarget_->Width() / 2 - X) < 16;
    if (near) {
        // A held weight follows the pointer at the distance it was grabbed at, and keeps its tempo
        // until the pointer moves up or down; otherwise the pointer's row is the top edge. The
        // scale is read at the height of that top edge.
        int tempo = !held                 ? TempoAtWeightTop(Y)
                    : Y == weightGrab_->y ? weightGrab_->tempo
                                          : TempoAtWeightTop(Y - weightGrab_->offset);
        if (tempo >= 40 && tempo <= 500)
            engine_->SetDragTempo(tempo);
        else
            near = false;
    }
    drawTarget_->SetCursor(near ? crHandPoint : crArrow);
    if (!Shift.Contains(ssLeft)) return;
    if (!near && !engine_->WeightDragged) return;
    engine_->WeightDragged = near;
    if (Timer1->Enabled() && !SettingsChecked(1)) return;
    RedrawPendulum(true);
}

void TMainForm::CenterImageMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (!drawTarget_) return;
    if (Button == mbLeft) {
        Shift <<= ssLeft;
        // Pressed on the weight, it stays where it is; pressed on the scale above or below it, its
        // top edge goes to the pointer.
        const int top = engine_->WeightTopY(drawTarget_->Height());
        if (Y >= top && Y < top + engine_->WeightHeight)
            weightGrab_ = WeightGrab{Y, Y - top, engine_->GetPendulumTempo()};
        else
            weightGrab_ = WeightGrab{Y, 0, TempoAtWeightTop(Y)};
    }
    CenterImageMouseMove(Sender, Shift, X, Y);
}

void TMainForm::CenterImageMouseUp(TObject*, TMouseButton, TShiftState, int, int) {
    weightGrab_.reset();
    if (engine_->WeightDragged) ChangeTempo(engine_->DragTempo);
    engine_->WeightDragged = false;
    if (Timer1->Enabled() && !SettingsChecked(1)) return;
    RedrawPendulum(true);
}

void TMainForm::RightImageMouseMove(TObject*, TShiftState, int, int) {}

// ---- Tempo buttons and bar

void TMainForm::BpmDownButtonMouseDown(TObject* Sender, TMouseButton Button, TShiftState, int, int) {
    auto* control = dynamic_cast<TComponent*>(Sender);
    int direction = control ? control->Tag() : 0;
    ChangeTempo(engine_->Tempo + direction * (Button == mbRight ? 5 : 1));
}

void TMainForm::QS72BpmButtonClick(TObject* Sender) {
    auto* control = dynamic_cast<TControl*>(Sender);
    if (!control) return;
    ChangeTempo(StrToIntDef(control->Caption(), 0));
    if (engine_->State == psStopped) PlayButtonClick(this);
}

void TMainForm::QSTS1ButtonClick(TObject* Sender) {
    if (auto* control = dynamic_cast<TControl*>(Sender)) SelectTimeSignature(control->Caption());
}

void TMainForm::SelectTimeSignature(const AnsiString& text) {
    if (engine_->SetTimeSignature(text)) {
        engine_->Restart();
        engine_->PrepareTools();
        ShowTimeSignature();
    }
    if (engine_->State == psStopped) PlayButtonClick(this);
}

void TMainForm::BpmSetButtonClick(TObject*) {
    if (!SetTempo->Visible()) {
        TempoHideTimer->SetEnabled(true);
        TempoHideTimer->SetTag(3);
        SetTempo->SetMin(40);
        SetTempo->SetMax(500);
        SetTempo->SetPosition(engine_->Tempo);
        SetTempo->SetVisible(true);
        SetTempo->BringToFront();
        if (SetTempo->CanFocus()) SetTempo->SetFocus();
    } else {
        TempoHideTimer->SetEnabled(false);
        TempoHideTimer->SetTag(0);
        SetTempo->SetVisible(false);
        Timer1->SetEnabled(true);
    }
}

void TMainForm::SetTempoChange(TObject*) {
    TempoHideTimer->SetEnabled(true);
    TempoHideTimer->SetTag(3);
    ChangeTempo(SetTempo->Position());
}

void TMainForm::TempoHideTimerTimer(TObject*) {
    if (TempoHideTimer->Tag() > 0) {
        TempoHideTimer->SetTag(TempoHideTimer->Tag() - 1);
        return;
    }
    TempoHideTimer->SetEnabled(false);
    SetTempo->SetVisible(false);
    Timer1->SetEnabled(true);
}

void TMainForm::SetTempoExit(TObject*) {
    SetTempo->SetVisible(false);
    Timer1->SetEnabled(true);
}

// ---- Tempo entry and help

void TMainForm::TempoLabClick(TObject*) {
    SetTempoForm->Tempo->SetText(IntToStr(engine_->Tempo));
    if (SetTempoForm->ShowModal() == mrOk) ChangeTempo(SetTempoForm->TempoValue());
}

void TMainForm::HelpButtonClick(TObject*) {
    AnsiString path = Application->ExeName();
    int at = path.Pos(".exe");
    // An executable without the ending (as here) must not be taken for its own help file.
    if (at > 0)
        path = path.SubString(1, at - 1) + ".chm" + path.SubString(at + 4, path.Length());
    else
        path += ".chm";
    if (FileExists(path))
        ShellExecuteA(Handle(), "open", path.c_str(), nullptr, nullptr, SW_SHOW);
    else
        Application->HelpCommand(HELP_CONTENTS, 0);
}
