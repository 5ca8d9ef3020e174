// The running heart of the main window: transport buttons, the Player's notifications, the
// animation of the pendulum and the light, the tempo and time-signature displays, the volume.
#include <cmath>

#include "FileFunctions.h"
#include "Picutils.h"
#include "PlaySound.h"
#include "Shell.h"
#include "SysUtils.h"
#include "Tmainform.h"
#include "Tmetronomgame.h"
#include "TmetronomgameDraw.h"
#include "Tmidicontent.h"
#include "Tminimizedform.h"
#include "Tsettingsform.h"

namespace {

bool Ticked(TCheckBox* TSettingsForm::*box) {
    return SettingsForm && (SettingsForm->*box) && (SettingsForm->*box)->Checked();
}

}  // namespace

bool TMainForm::SettingsChecked(int which) const {
    switch (which) {
        case 0:
            return Ticked(&TSettingsForm::ShowFlashingLight);
        case 1:
            return Ticked(&TSettingsForm::DisableAnimation);
        case 2:
            return Ticked(&TSettingsForm::TapTempoAutoStart);
        case 3:
            return Ticked(&TSettingsForm::AutoResetTimer);
        case 4:
            return Ticked(&TSettingsForm::UseDefTempoWMidi);
        default:
            return false;
    }
}

void TMainForm::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case MM_MIXM_CONTROL_CHANGE:
            OnMixerControlChange(Message);
            break;
        case WM_PLAYER_EVENT:
            OnPlayerController(Message);
            break;
        case WM_PLAYER_END:
            OnPlayerNotify(Message);
            break;
        default:
            TForm::Dispatch(Message);
    }
}

// ---- Transport

void TMainForm::PlayButtonClick(TObject*) {
    if (engine_->State != psPlaying) {
        player.SetTranspose(CheckBox4->Checked() ? StrToIntDef(Tool5_Transp->Caption(), 0) : 0);
        Timer1->SetEnabled(true);
        PauseButton->SetChecked(false);
        if (minimized_) minimized_->PauseButton->SetChecked(false);
        ApplyToolSettings();
        engine_->PrepareTools();
        if (engine_->Tool3Enabled) ChangeTempo(engine_->Tool3Tempo);
        if (SettingsChecked(3)) {
            engine_->ResetTimer();
            Timer2Timer(this);
        }
        engine_->Play();
        ShowTimeSignature();
        ShowTempo(true);
    }
    lastAnimationTick_ = GetTickCount();
}

void TMainForm::StopButtonClick(TObject*) {
    Timer1->SetEnabled(true);
    engine_->Stop();
    PauseButton->SetChecked(false);
    if (minimized_) minimized_->PauseButton->SetChecked(false);
    PlaySoundA(nullptr, nullptr, SND_PURGE);
    if (SettingsForm) SettingsForm->StopAll();
    player.Stop();
    player.ResetChannelVolumes();
    ApplyToolSettings();
    ShowTempo(true);
}

void TMainForm::PauseButtonClick(TObject*) {
    Timer1->SetEnabled(!Timer1->Enabled());
    PauseButton->SetChecked(!Timer1->Enabled());
    if (minimized_) minimized_->PauseButton->SetChecked(PauseButton->Checked());
    engine_->Pause();
    player.Pause();
    PlaySoundA(nullptr, nullptr, SND_PURGE);
    if (SettingsForm) SettingsForm->StopAll();
    lastAnimationTick_ = GetTickCount();
}

// ---- The Player's notifications

void TMainForm::OnPlayerNotify(TMessage&) {
    if (engine_ && engine_->State == psPlaying) engine_->Restart();
}

void TMainForm::OnPlayerController(TMessage& Message) {
    if (!engine_) return;
    uint32_t msg = static_cast<uint32_t>(Message.LParam);
    if ((msg & 0xFF) != 0xB9) return;
    int controller = static_cast<int>((msg >> 8) & 0x7F);
    int value = static_cast<int>(msg >> 16);
    if (controller == PanMarker) {
        player.SetPan(9, value - 64);
    } else if (controller == BeatMarker) {
        // The tick count is the marker's own time. The animation is brought up to it before the
        // beat sets the pendulum's phase, so a marker handled late (a busy window) starts the
        // swing where the click sounds, not where the last animation tick happened to fall.
        const DWORD at = GetTickCount();
        if (engine_->State == psPlaying) {
            engine_->AdvanceTime(static_cast<double>(static_cast<int32_t>(at - lastAnimationTick_)));
            lastAnimationTick_ = at;
        }
        if (SettingsChecked(0)) {
            int latency = SettingsForm->Latency ? SettingsForm->Latency->Value() : 0;
            flashStart_ = at + static_cast<DWORD>(latency);
            flashEnd_ = flashStart_ + 250;
            const std::vector<uint8_t>& pattern = engine_->AccentPattern;
            // An empty pattern has no accent to show: a kind that draws nothing.
            flashAccent_ = pattern.empty() ? 255 : pattern[static_cast<size_t>(value) % pattern.size()];
        }
        bool rebuild = engine_->RebuildPending;
        if (!engine_->OnBeat(value)) StopButtonClick(this);
        if (rebuild) ShowTempo(true);
    } else if (controller == WaveMarker) {
        if (value >= 0 && static_cast<size_t>(value) < engine_->NoteSets.size()) {
            const TMetronomeGame::TNoteSet& s = engine_->NoteSets[static_cast<size_t>(value)];
            int volume = static_cast<int>(s.Volume * 10000.0 / 127.0 - 10000.0);
            int pan = static_cast<int>(s.Pan * 10000.0 / 63.0);
            if (SettingsForm) SettingsForm->PlayWave(s.WaveFile, volume, pan);
        }
    } else if (controller >= TempoMarker && controller <= TempoMarker + 5) {
        engine_->SetPendulumTempo((controller - TempoMarker) * 100 + value);
        engine_->UpdateAngularSpeed();
        ShowTempo(true);
    }
}

// ---- Animation

void TMainForm::Timer1Timer(TObject*) {
    DWORD now = GetTickCount();
    if (engine_->State == psPlaying) {
        engine_->AdvanceTime(static_cast<double>(now - lastAnimationTick_));
    } else if (engine_->State == psStopped && std::fabs(engine_->Angle) >= 0.001) {
        engine_->Angle *= 0.93;
        if (std::fabs(engine_->Angle) < 0.001) engine_->Angle = 0;
    } else {
        Timer1->SetEnabled(false);
        engine_->Phase = 0;
        engine_->AnimationClock = 0;
        engine_->AdvanceTime(0);
        ShowTempo(true);
    }
    RedrawPendulum(false);
    lastAnimationTick_ = now;
}

bool TMainForm::FlashShowing() const {
    // Unsigned differences keep the window right across the tick count's wrap.
    return GetTickCount() - flashStart_ < flashEnd_ - flashStart_;
}

void TMainForm::RedrawPendulum(bool force) {
    if (!engine_ || !drawTarget_) return;
    bool drawn = false;
    TBitmap* target = drawTarget_->Picture()->Bitmap();
    if (force || !SettingsChecked(1)) {
        if (target->PixelFormat() != pf32bit) target->SetPixelFormat(pf32bit);
        engineDraw_->Draw(target, pendulumBackground_);
        drawn = true;
    }
    if (!drawn && !SettingsChecked(0)) return;
    if (FlashShowing()) {
        engineDraw_->DrawTopLight(target, flashAccent_, bigMode_ ? 56 : 0);
        drawn = true;
    }
    if (drawn) {
        if (!bigMode_ && minimized_) minimized_->UpdateRegion();
        drawTarget_->Repaint();
    }
}

// ---- Displays

void TMainForm::ShowTempo(bool pendulumTempo) {
    int tempo = pendulumTempo ? engine_->GetPendulumTempo() : engine_->Tempo;
    TempoLab->SetCaption("= " + IntToStr(tempo));
    engine_->AdvanceTime(0);
    RedrawPendulum(true);
}

void TMainForm::ChangeTempo(double tempo) {
    // Clamped before the conversion so that no typed or computed value overflows it; the engine's
    // own clamp to 40..500 then decides.
    if (!(tempo > -1e6)) tempo = -1e6;
    if (tempo > 1e6) tempo = 1e6;
    if (engine_->SetTempo(static_cast<int>(tempo))) ShowTempo(false);
}

void TMainForm::ShowTimeSignature() {
    TimeSignatureButton->SetText(IntToStr(engine_->Numerator) + "\n" + IntToStr(engine_->Denominator));
    AnsiString picture = "pics\\1-" + IntToStr(engine_->Denominator) + ".png";
    // The skin has pictures for the usual denominators only; a settings file with another one must
    // not keep the program from starting. A picture that can't be read is treated as missing.
    try {
        LoadImageToPicture(DenominatorImage->Picture(), picture);
    } catch (const Exception&) {
        DenominatorImage->Picture()->SetGraphic(nullptr);
    }
    DenominatorImage->Invalidate();
}

// ---- Volume

void TMainForm::MVolumeChange(TObject*) { VolTimer->SetEnabled(true); }

void TMainForm::VolTimerTimer(TObject*) {
    VolTimer->SetEnabled(false);
    SetTag(1);
    SetMixerVolume(static_cast<uint32_t>(MVolume->Position()));
    SetTag(0);
}

void TMainForm::SetMixerVolume(uint32_t value) {
    if (!mixer_) return;
    MIXERCONTROLDETAILS_UNSIGNED detail;
    detail.dwValue = value;
    MIXERCONTROLDETAILS details;
    details.cbStruct = sizeof(details);
    details.dwControlID = volumeControlId_;
    details.cChannels = 1;
    details.cbDetails = sizeof(detail);
    details.paDetails = &detail;
    mixerSetControlDetails(mixer_, &details, MIXER_SETCONTROLDETAILSF_VALUE);
}

uint32_t TMainForm::GetMixerVolume() {
    if (!mixer_) return 0;
    MIXERCONTROLDETAILS_UNSIGNED detail;
    MIXERCONTROLDETAILS details;
    details.cbStruct = sizeof(details);
    details.dwControlID = volumeControlId_;
    details.cChannels = 1;
    details.cbDetails = sizeof(detail);
    details.paDetails = &detail;
    if (mixerGetControlDetailsA(mixer_, &details, MIXER_GETCONTROLDETAILSF_VALUE) != MMSYSERR_NOERROR) return 0;
    return detail.dwValue;
}

void TMainForm::OnMixerControlChange(TMessage&) {
    if (Tag() != 0) return;
    MVolume->SetPosition(static_cast<int>(GetMixerVolume()));
    if (minimized_) minimized_->MVolume->SetPosition(MVolume->Position());
}

void TMainForm::SpeakerButtonClick(TObject*) {
    if (HWND window = FindWindowA("Volume Control", nullptr)) {
        ShowWindow(window, SW_RESTORE);
        SetActiveWindow(window);
        SetForegroundWindow(window);
        return;
    }
    if (spawnlp(P_NOWAIT, "SndVol.exe", "SndVol.exe", nullptr) < 0)
        spawnlp(P_NOWAIT, "SndVol32.exe", "SndVol32.exe", nullptr);
}
