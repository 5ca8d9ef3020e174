// The main window as the program makes it, in a scratch copy of the program folder: start-up,
// the dialogs beside it, the Player's notifications, the animation, keys and tap tempo, the tool panel and
// its lists, the practice timer and the display modes.
#include <sys/stat.h>

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QScreen>
#include <QMouseEvent>
#include <QTest>
#include <QToolTip>

#include <fstream>
#include <map>

#include "../audio/MidiTestSupport.h"
#include "../dsound/TestWaves.h"
#include "Clock.h"
#include "DSound.h"
#include "DialogTestSupport.h"
#include "Dsoundplay.h"
#include "FileFunctions.h"
#include "Messages.h"
#include "Mixer.h"
#include "OtherUser.h"
#include "Programforms.h"
#include "Shell.h"
#include "SysUtils.h"
#include "Talarmdialog.h"
#include "Talarmsetup.h"
#include "Tmemoform.h"
#include "Tmetronomgame.h"
#include "Tmidicontent.h"
#include "Tminimizedform.h"
#include "Tsettingsform.h"
#include "Ttempocalculator.h"
#include "Ttslistedit.h"
#include "UserStore.h"

namespace fs = std::filesystem;
using namespace dialogtest;
using formstest::Click;
using tikora::forms::DialogKind;

namespace {

struct StartFailed {
    int code;
};

class ProgramEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        folder = UseProgramFolder("mainwindow");
        config = ScratchFolder("mainwindow-config");
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        tikora::app::StartFailureExit() = [](int code) { throw StartFailed{code}; };
        Application->Initialize();
        CreateProgramForms();
    }
    static inline fs::path folder, config;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

struct MainWindowTest : DialogFixture {
    void SetUp() override {
        DialogFixture::SetUp();
        SetCurrentDir(AnsiString(ProgramEnvironment::folder.string().c_str()));
        form = MainForm;
        engine = form->Engine();
    }
    void TearDown() override {
        formstest::Click(form->StopButton, 4, 4);
        tikora::DispatchPostedMessages();
        DialogFixture::TearDown();
    }
    // A key pressed on the keyboard: Qt's key event at the window's focused widget, translated by
    // the class library into the window's key handling.
    static void Press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier, TForm* window = MainForm) {
        QWidget* focused = QApplication::focusWidget();
        QTest::keyClick(focused && focused->window() == window->Widget() ? focused : window->Widget(), key, mods);
    }
    static TMessage Controller(uint8_t status, int controller, int value) {
        const uint32_t packed = status | uint32_t(controller) << 8 | uint32_t(value) << 16;
        return TMessage{WM_PLAYER_EVENT, 0, static_cast<LPARAM>(packed), 0};
    }
    TMainForm* form = nullptr;
    TMetronomeGame* engine = nullptr;
};

// ---- Start-up

TEST_F(MainWindowTest, StartUpShowsTheEngineAndTheSkin) {
    EXPECT_EQ(form->TempoLab->Caption(), "= " + IntToStr(engine->GetPendulumTempo()));
    EXPECT_EQ(form->TimeSignatureButton->Text(), IntToStr(engine->Numerator) + "\n" + IntToStr(engine->Denominator));
    EXPECT_FALSE(form->DenominatorImage->Picture()->Bitmap()->Empty());
    EXPECT_FALSE(form->CenterImage->Picture()->Bitmap()->Empty());
    EXPECT_EQ(form->DrawTarget(), form->CenterImage);
    EXPECT_TRUE(form->BigMode());
    ASSERT_NE(form->Minimized(), nullptr);
    EXPECT_FALSE(form->Minimized()->Visible());
    EXPECT_EQ(player.EventWindow, form->Handle());
    EXPECT_EQ(player.EndWindow, form->Handle());
    EXPECT_EQ(form->Memo->Color(), form->LeftImage->Canvas()->Pixels(120, 446));
}

TEST_F(MainWindowTest, BrokenInstallationEndsWithTheGeneralErrorAndSavesNothing) {
    // A picture that no decoder takes is reported as a missing one.
    const std::string area =
        "General error: \nFile not found:pics/MetronomeArea.png src=PicUtils:LoadImageToBitmap:179";
    const std::string alarm = "General error: \nFile not found : pics/AlarmInitial.png";
    struct Case {
        const char* picture;  // nullptr: no skin; otherwise the skin without this picture
        bool undecodable;     // or with it, but no decoder takes it
        std::string message;
    } cases[] = {
        {nullptr, false, "General error: \nSoftware not properly installed or corrupted.\nPlease reinstall Tikora."},
        {"MetronomeArea.png", true, area},
        {"MetronomeArea.png", false, area},
        {"AlarmInitial.png", true, alarm},
        {"AlarmInitial.png", false, alarm},
    };
    for (const Case& c : cases) {
        tikora::forms::ClearDialogLog();
        fs::path broken = ScratchFolder("mainwindow-broken");
        fs::copy(ProgramEnvironment::folder / "Tikora.def", broken / "Tikora.def");
        if (c.picture) {
            fs::copy(ProgramEnvironment::folder / "pics", broken / "pics");
            fs::remove(broken / "pics" / c.picture);
            if (c.undecodable) std::ofstream(broken / "pics" / c.picture) << "not a picture";
        }
        AnsiString saved = tikora::app::ProgramFolderOverride();
        tikora::app::ProgramFolderOverride() = AnsiString(broken.string().c_str());
        auto* window = new TMainForm(nullptr);
        int code = -1;
        try {
            window->AfterConstruction();
        } catch (const StartFailed& failure) {
            code = failure.code;
        }
        delete window;
        tikora::app::ProgramFolderOverride() = saved;
        EXPECT_EQ(code, 0);
        EXPECT_EQ(Messages(), std::vector<std::string>{c.message}) << (c.picture ? c.picture : "no skin");
        EXPECT_FALSE(fs::exists(broken / "Tikora.tkra"));
        EXPECT_FALSE(fs::exists(broken / "Tikora.ini"));
    }
    // The Player still reports to the program's window.
    EXPECT_EQ(player.EventWindow, form->Handle());
}

TEST_F(MainWindowTest, DenominatorWithoutAPictureShowsNone) {
    int saved = engine->Denominator;
    const fs::path undecodable = ProgramEnvironment::folder / "pics" / "1-5.png";
    for (bool there : {false, true}) {  // missing, or there but no decoder takes it
        if (there) std::ofstream(undecodable) << "not a picture";
        engine->Denominator = 5;
        EXPECT_NO_THROW(form->ShowTimeSignature());
        EXPECT_TRUE(form->DenominatorImage->Picture()->Bitmap()->Empty());
        EXPECT_EQ(form->TimeSignatureButton->Text(), IntToStr(engine->Numerator) + "\n5");
        engine->Denominator = saved;
        form->ShowTimeSignature();
        EXPECT_FALSE(form->DenominatorImage->Picture()->Bitmap()->Empty());
    }
    fs::remove(undecodable);
}

TEST_F(MainWindowTest, ResizingKeepsTheSkinWholeAndCentred) {
    struct Case {
        int width, height, expectLeft, expectTop;
    } cases[] = {{1016, 710, 0, 0}, {1216, 910, 100, 100}, {1017, 711, 0, 0}, {1300, 720, 142, 5}};
    for (const Case& c : cases) {
        form->SetClientWidth(c.width);
        form->SetClientHeight(c.height);
        form->FormResize(form);
        EXPECT_EQ(form->GlobalPanel->Left(), c.expectLeft) << c.width;
        EXPECT_EQ(form->GlobalPanel->Top(), c.expectTop) << c.height;
    }
    int w = 300, h = 200;
    bool resize = true;
    form->FormCanResize(form, w, h, resize);
    EXPECT_EQ(w, 1016 + form->Width() - form->ClientWidth());
    EXPECT_EQ(h, 710 + form->Height() - form->ClientHeight());
}

// ---- The dialogs beside the window: what they read from it and from its engine

TEST_F(MainWindowTest, ListEditorTakesTheMainWindowsListFont) {
    ASSERT_NE(MainForm->ListFont(), nullptr);
    EXPECT_EQ(TSListEdit->List->Font()->Name(), MainForm->ListFont()->Name());
    EXPECT_EQ(TSListEdit->List->Font()->Size(), MainForm->ListFont()->Size());
}

TEST_F(MainWindowTest, CalculatorCountsWithTheTimeSignatureAndTheRamp) {
    TTempoCalculator* calc = TempoCalculator;
    struct Case {
        TRadioButton* computed;
        const char* timeSignature;
        bool ramp;
        const char* step;
        const char* every;
        int bars, tempo;
        int min, sec;
        bool less40 = false;  // the mark of a tempo computed below 40, which stays until it is computed again
    };
    // Chosen so that the exact result is a whole number: 48 beats at 40 bpm take 72 s; 4:36 at
    // 55 bpm holds 253 beats; a ramp of step 0 leaves 30 bars of 2 s in a minute.
    const Case cases[] = {
        {calc->Duration, "4:4", false, "5", "2", 15, 120, 0, 30},
        {calc->Duration, "3:4", false, "5", "2", 40, 60, 2, 0},
        {calc->Duration, "4:4", true, "5", "2", 4, 100, 0, 9},
        // Labels that are no numbers count as 1, as the practice panel reads them.
        {calc->Duration, "2:4", true, "x", "", 4, 60, 0, 7},
        {calc->Duration, "1:4", false, "5", "2", 48, 40, 1, 12},
        {calc->NumberOfBars, "1:4", false, "5", "2", 253, 55, 4, 36},
        {calc->NumberOfBars, "4:4", true, "0", "1", 30, 120, 1, 0},
        {calc->Tempo, "1:4", false, "5", "2", 253, 55, 4, 36},
        {calc->Tempo, "4:4", false, "5", "2", 1, 40, 1, 0, true},
        {calc->Duration, "4:4", false, "5", "2", 999, 40, 99, 54, true},
    };
    // Until the first show the fields change without any computing.
    calc->SetTag(0);
    calc->Duration->SetChecked(true);
    calc->DurationMin->SetValue(9);
    calc->Timer1->Fire();
    EXPECT_EQ(calc->DurationMin->Value(), 9);
    calc->Show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timeSignature);
        ASSERT_TRUE(MainForm->Engine()->SetTimeSignature(c.timeSignature));
        MainForm->CheckBox2->SetChecked(c.ramp);
        MainForm->Tool2_BPM_delta->SetCaption(c.step);
        MainForm->Tool2_Bars->SetCaption(c.every);
        c.computed->SetChecked(true);
        // The two given quantities are typed; the computed one starts wrong on purpose.
        calc->NumberOfBarVal->SetValue(c.computed == calc->NumberOfBars ? 1 : c.bars);
        calc->TempoVal->SetValue(c.computed == calc->Tempo ? 41 : c.tempo);
        calc->DurationMin->SetValue(c.computed == calc->Duration ? 9 : c.min);
        calc->DurationSec->SetValue(c.computed == calc->Duration ? 9 : c.sec);
        calc->Timer1->Fire();
        EXPECT_EQ(calc->NumberOfBarVal->Value(), c.bars);
        EXPECT_EQ(calc->TempoVal->Value(), c.tempo);
        EXPECT_EQ(calc->DurationMin->Value(), c.min);
        EXPECT_EQ(calc->DurationSec->Value(), c.sec);
        EXPECT_EQ(calc->Less40->Visible(), c.less40);
        // The quantity computed cannot be typed into.
        EXPECT_EQ(
            std::tuple(calc->NumberOfBarVal->Enabled(), calc->DurationMin->Enabled(), calc->TempoVal->Enabled()),
            std::tuple(c.computed != calc->NumberOfBars, c.computed != calc->Duration, c.computed != calc->Tempo));
    }
    // A tempo from no duration only beeps.
    const int beeps = tikora::forms::MessageBeepCount();
    calc->Tempo->SetChecked(true);
    calc->DurationMin->SetValue(0), calc->DurationSec->SetValue(0), calc->TempoVal->SetValue(77);
    calc->Timer1->Fire();
    EXPECT_EQ(std::pair(calc->TempoVal->Value(), tikora::forms::MessageBeepCount()), std::pair(77, beeps + 1));
    calc->Duration->SetChecked(true);
    calc->Hide();
    MainForm->Engine()->SetTimeSignature("4:4");
    MainForm->CheckBox2->SetChecked(false);
}

// ---- Notifications from the Player

TEST_F(MainWindowTest, OnlyChannelTenControllersAreMarkers) {
    struct Case {
        uint8_t status;
        int controller, value;
        int expectPendulumTempo;  // 0: unchanged
        int expectPan;            // -1: unchanged
    } cases[] = {
        {0xB9, 101, 20, 120, -1},                                                   // tempo 120
        {0xB9, 100, 72, 72, -1},  {0xB9, 105, 0, 500, -1}, {0xB8, 101, 40, 0, -1},  // channel 9: not a marker
        {0x99, 101, 40, 0, -1},                                                     // a note on channel 10
        {0xB9, 97, 70, 0, 70},                                                      // pan of the next click
        {0xB9, 99, 100, 0, -1},  // a wave click past the sounds: ignored
    };
    for (const Case& c : cases) {
        engine->SetPendulumTempo(90);
        player.SetPan(9, 0);
        TMessage m = Controller(c.status, c.controller, c.value);
        form->Dispatch(m);
        EXPECT_EQ(engine->GetPendulumTempo(), c.expectPendulumTempo ? c.expectPendulumTempo : 90) << c.controller;
        EXPECT_EQ(player.ChannelPan[9], c.expectPan < 0 ? 64 : c.expectPan) << c.controller;
        if (c.expectPendulumTempo) {
            EXPECT_EQ(form->TempoLab->Caption(), "= " + IntToStr(c.expectPendulumTempo));
        }
    }
}

// A wave click sounds at the volume and pan of its click sound as set in the settings window:
// volume 127 is full, pan 63 all to the right; DirectSound lowers the far side by pan / 100 dB.
// The wave is one constant level of 0.5; the sides are read from the mixed output.
TEST_F(MainWindowTest, WaveClickSoundsAtItsVolumeAndPan) {
    tikora::TestClock clock(60'000'000'000);
    auto mixer = std::make_shared<tikora::audio::WaveMixer>(std::make_unique<testwaves::ManualTimeline>());
    tikora::dsound::SetDirectSoundFactory([mixer](LPDIRECTSOUND* ds) {
        *ds = tikora::dsound::CreateDirectSoundOn(mixer);
        return DS_OK;
    });
    WavePlayer = std::make_unique<DSPlay>(SettingsForm->Handle());
    const fs::path wave = ProgramEnvironment::folder / "wavs" / "Level.wav";
    const auto bytes = testwaves::Wave(1, 48000, 16, testwaves::Pcm16(std::vector<int16_t>(4800, 16384)));
    std::ofstream(wave, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    TSettingsForm* s = SettingsForm;
    const bool usedMidi = s->BarUseMidi->Checked();
    const AnsiString usedWave = s->BarWaveFile->Text();
    const int usedVolume = s->BarVolume->Value(), usedPan = s->BarPan->Value();
    auto setBar = [&](bool midi, const AnsiString& file, int volume, int pan) {
        WhileModal([&](TForm*) {
            (midi ? s->BarUseMidi : s->BarUseWave)->SetChecked(true);
            s->BarWaveFile->SetText(file);
            s->BarVolume->SetValue(volume);
            s->BarPan->SetValue(pan);
            formstest::Click(s->Button1, 4, 4);
        });
        Press(Qt::Key_F6);
    };
    const struct {
        int volume, pan;
        float left, right;
    } cases[] = {
        {127, 0, 0.5f, 0.5f},
        {127, 21, 0.0107763f, 0.5f},      // pan 3333: -33.33 dB on the left
        {127, -42, 0.5f, 2.3226e-4f},     // pan -6666: -66.66 dB on the right
        {127, 63, 0.0f, 0.5f},            // pan 10000: the left is silent
        {64, 0, 0.0016557f, 0.0016557f},  // volume -4960: -49.60 dB
        {64, -21, 0.0016557f, 3.5684e-5f},
    };
    for (const auto& c : cases) {
        setBar(false, "Level.wav", c.volume, c.pan);
        clock.AdvanceMs(1000);
        TMessage m = Controller(0xB9, 99, 0);
        form->Dispatch(m);
        const int64_t onset = clock.NowNs() * 48 / 1'000'000 + testwaves::ManualTimeline::kLatencyFrames;
        const std::vector<float> out = testwaves::Render(*mixer, onset - 10, 100);
        EXPECT_EQ(out[2 * 9], 0.0f);
        EXPECT_NEAR(out[2 * 10], c.left, c.left * 1e-3 + 1e-9) << c.volume << " " << c.pan;
        EXPECT_NEAR(out[2 * 10 + 1], c.right, c.right * 1e-3 + 1e-9) << c.volume << " " << c.pan;
        testwaves::Render(*mixer, onset + 100, 4800);
    }
    setBar(usedMidi, usedWave, usedVolume, usedPan);
    tikora::dsound::SetDirectSoundFactory(nullptr);
    WavePlayer = std::make_unique<DSPlay>(SettingsForm->Handle());
    SettingsForm->LoadWaves();
    fs::remove(wave);
}

// Turning the volume in the desktop's mixer moves both volume sliders with it (the window closes
// its mixer when it closes, further on); a raw setting of
// 0..255 maps onto the sliders' 0..65535 in steps of 257.
TEST_F(MainWindowTest, VolumeSlidersFollowTheDesktopMixer) {
    class Element : public tikora::winmm::VolumeElement {
    public:
        void Range(int64_t& min, int64_t& max) override { min = 0, max = 255; }
        int64_t Read() override { return raw; }
        void Write(int64_t value) override { raw = value; }
        bool Poll() override { return true; }
        std::atomic<int64_t> raw{255};
    };
    auto owned = std::make_unique<Element>();
    Element* element = owned.get();
    tikora::winmm::SetMixerElementForTests(std::move(owned));
    tikora::winmm::PollMixerChanges();
    tikora::DispatchPostedMessages();
    const struct {
        int64_t raw;
        int position;
    } cases[] = {{51, 13107}, {0, 0}, {255, 65535}, {128, 32896}};
    for (const auto& c : cases) {
        element->raw = c.raw;  // another program turns the volume
        tikora::winmm::PollMixerChanges();
        tikora::DispatchPostedMessages();
        EXPECT_EQ(form->MVolume->Position(), c.position) << c.raw;
        EXPECT_EQ(form->Minimized()->MVolume->Position(), c.position) << c.raw;
    }
    tikora::winmm::SetMixerElementForTests(nullptr);
    tikora::DispatchPostedMessages();
}

TEST_F(MainWindowTest, BeatMarkerFlashesAfterTheLatency) {
    tikora::TestClock clock(10'000'000'000);
    SettingsForm->ShowFlashingLight->SetChecked(true);
    struct Case {
        int latency, at, expect;
    } cases[] = {{0, 0, 1}, {0, 249, 1}, {0, 250, 0}, {100, 99, 0}, {100, 100, 1}, {100, 349, 1}, {100, 350, 0}};
    for (const Case& c : cases) {
        SettingsForm->Latency->SetValue(c.latency);
        TMessage m = Controller(0xB9, 98, 0);
        form->Dispatch(m);
        EXPECT_EQ(form->FlashAccent(), engine->AccentPattern[0]);
        clock.AdvanceMs(c.at);
        EXPECT_EQ(form->FlashShowing(), c.expect == 1) << c.latency << " ms latency, " << c.at << " ms on";
        clock.AdvanceMs(1000);
    }
    SettingsForm->Latency->SetValue(0);
}

TEST_F(MainWindowTest, BeatMarkerStopsWhenTheToolSaysSo) {
    SettingsForm->ShowFlashingLight->SetChecked(false);
    formstest::Click(form->PlayButton, 4, 4);
    ASSERT_EQ(engine->State, psPlaying);
    engine->Tool3Enabled = true;
    engine->Tool3Bars = 0;
    engine->BarsPlayed = 5;
    TMessage m = Controller(0xB9, 98, 0);
    form->Dispatch(m);
    EXPECT_EQ(engine->State, psStopped);
    engine->Tool3Enabled = false;
    form->CheckBox5->SetChecked(false);
}

TEST_F(MainWindowTest, EndOfSongRestartsOnlyWhilePlaying) {
    TMessage end{WM_PLAYER_END, 0, 0, 0};
    engine->CurrentBeat = 7;
    form->Dispatch(end);
    EXPECT_EQ(engine->CurrentBeat, 7);
    formstest::Click(form->PlayButton, 4, 4);
    engine->CurrentBeat = 7;
    form->Dispatch(end);
    EXPECT_EQ(engine->CurrentBeat, 0);
}

// ---- Animation

TEST_F(MainWindowTest, StoppedPendulumSwingsOutThenTheTimerStops) {
    formstest::Click(form->StopButton, 4, 4);
    engine->Angle = 0.5;
    form->Timer1->SetEnabled(true);
    form->Timer1->Fire();
    EXPECT_NEAR(engine->Angle, 0.5 * 0.93, 1e-12);
    int ticks = 1;
    while (form->Timer1->Enabled() && ticks < 1000) {
        form->Timer1->Fire();
        ++ticks;
    }
    // 0.5 × 0.93^n drops below 0.001 at n = 86, and one more tick switches the timer off.
    EXPECT_EQ(ticks, 87);
    EXPECT_EQ(engine->Angle, 0.0);
}

TEST_F(MainWindowTest, PlayWhilePlayingChangesNothing) {
    formstest::Click(form->PlayButton, 4, 4);
    engine->CurrentBeat = 3;
    formstest::Click(form->PlayButton, 4, 4);
    EXPECT_EQ(engine->CurrentBeat, 3);
    formstest::Click(form->PauseButton, 4, 4);
    EXPECT_EQ(engine->State, psPaused);
    EXPECT_TRUE(form->PauseButton->Checked());
    EXPECT_TRUE(form->Minimized()->PauseButton->Checked());
    Press(Qt::Key_Space);  // space while paused stops
    EXPECT_EQ(engine->State, psStopped);
    EXPECT_FALSE(form->PauseButton->Checked());
}

// Play with the stop-after-bars tool on clicks at the tool's tempo; the practice timer starts again
// from 00:00 only when the settings ask for it.
TEST_F(MainWindowTest, PlayTakesTheStopToolsTempoAndResetsTheTimerWhenAsked) {
    auto device = std::make_shared<tikora::winmm::RecordingMidiOut>();
    auto devices = std::make_unique<tikora::winmm::ScopedMidiOutDevices>(tikora::winmm::MidiOutDeviceList{device});
    ASSERT_TRUE(player.CloseOutDevice(player.OutDevice));
    ASSERT_TRUE(player.OpenOutDevice(0));
    tikora::winmm::VirtualTimer timer(80'000'000'000);
    TempoCalculator->TempoVal->SetValue(240);
    TempoCalculator->NumberOfBarVal->SetValue(50);
    const struct {
        bool stopTool, autoReset, tapStarts;
        const char* tempo;
        int clicks;  // in 900 ms: every 250 ms at 240, every 600 ms at 100
        const char* time;
    } cases[] = {{true, false, false, "= 240", 4, "00:30"},
                 {false, true, false, "= 100", 2, "00:00"},
                 {false, false, true, "= 100", 2, "00:30"}};
    for (const auto& c : cases) {
        formstest::Click(form->StopButton, 4, 4);
        form->ChangeTempo(100);
        if (form->CheckBox5->Checked() != c.stopTool) formstest::Click(form->CheckBox5, 4, 4);
        SettingsForm->AutoResetTimer->SetChecked(c.autoReset);
        SettingsForm->TapTempoAutoStart->SetChecked(c.tapStarts);
        engine->PracticeTime = 30;
        device->Clear();
        formstest::Click(form->PlayButton, 4, 4);
        form->Timer2->Fire();
        timer.RunForMs(900);
        tikora::DispatchPostedMessages();
        int clicks = 0;
        for (DWORD m : device->Messages()) clicks += (m & 0xFF) == 0x99 && (m >> 16 & 0x7F) > 0;
        EXPECT_EQ(std::tuple(form->TempoLab->Caption(), clicks, form->TimerLab->Caption()),
                  std::tuple(AnsiString(c.tempo), c.clicks, AnsiString(c.time)))
            << c.stopTool << c.autoReset << c.tapStarts;
    }
    formstest::Click(form->StopButton, 4, 4);
    SettingsForm->AutoResetTimer->SetChecked(false);
    SettingsForm->TapTempoAutoStart->SetChecked(false);
    player.CloseOutDevice(0);
    devices.reset();
    player.OpenOutDevice(0);
    form->ChangeTempo(100);
}

// ---- Keys and tempo

TEST_F(MainWindowTest, EveryKeyOfTheWindowDoesWhatItSays) {
    const Qt::KeyboardModifiers none = Qt::NoModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        bool playing;  // before the key; the tempo is 100 and the metre 4:4
        int tempo;     // afterwards
        const char* metre;
        PlayState state;
        DialogKind dialog = DialogKind::MessageBox;  // MessageBox: none
        TForm* form = nullptr;
    } cases[] = {
        {Qt::Key_1, none, false, 100, "1:4", psPlaying},
        {Qt::Key_2, none, false, 100, "2:4", psPlaying},
        {Qt::Key_3, none, false, 100, "3:4", psPlaying},
        {Qt::Key_4, none, false, 100, "4:4", psPlaying},
        {Qt::Key_5, none, false, 100, "5:4", psPlaying},
        {Qt::Key_6, none, false, 100, "6:4 (3+3)", psPlaying},
        {Qt::Key_7, none, false, 72, "4:4", psPlaying},
        {Qt::Key_8, none, false, 88, "4:4", psPlaying},
        {Qt::Key_9, none, true, 120, "4:4", psPlaying},
        {Qt::Key_0, none, false, 176, "4:4", psPlaying},
        {Qt::Key_BracketRight, none, false, 105, "4:4", psStopped},
        {Qt::Key_BracketRight, shift, false, 101, "4:4", psStopped},
        {Qt::Key_BracketRight, alt, false, 110, "4:4", psStopped},
        {Qt::Key_BracketRight, shift | alt, false, 150, "4:4", psStopped},
        {Qt::Key_BracketRight, Qt::ControlModifier, false, 105, "4:4", psStopped},
        {Qt::Key_BracketLeft, none, true, 95, "4:4", psPlaying},
        {Qt::Key_BracketLeft, alt, false, 90, "4:4", psStopped},
        {Qt::Key_BracketLeft, shift | alt, false, 50, "4:4", psStopped},
        {Qt::Key_Space, none, false, 100, "4:4", psPlaying},
        {Qt::Key_Space, none, true, 100, "4:4", psStopped},
        {Qt::Key_F2, none, true, 100, "4:4", psStopped},
        {Qt::Key_F3, none, true, 100, "4:4", psPaused},
        {Qt::Key_F4, none, false, 100, "4:4", psPlaying},
        {Qt::Key_F5, none, false, 100, "4:4", psStopped, DialogKind::Modal, TSListEdit},
        {Qt::Key_F6, none, false, 100, "4:4", psStopped, DialogKind::Modal, SettingsForm},
        {Qt::Key_F7, none, false, 100, "4:4", psStopped, DialogKind::Modal, MemoForm},
        {Qt::Key_A, alt, false, 100, "4:4", psStopped, DialogKind::Modal, AlarmSetup},
        {Qt::Key_O, Qt::ControlModifier, true, 100, "4:4", psStopped, DialogKind::OpenFile},
        {Qt::Key_S, Qt::ControlModifier, true, 100, "4:4", psStopped, DialogKind::SaveFile},
        {Qt::Key_A, none, false, 100, "4:4", psStopped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QTest::toString(QKeySequence(c.key | c.mods)));
        formstest::Click(form->StopButton, 4, 4);
        ASSERT_TRUE(engine->SetTimeSignature("4:4"));
        form->ChangeTempo(100);
        if (c.playing) formstest::Click(form->PlayButton, 4, 4);
        tikora::forms::ClearDialogLog();
        Press(c.key, c.mods);
        EXPECT_EQ(engine->Tempo, c.tempo);
        EXPECT_EQ(form->TempoLab->Caption(), "= " + IntToStr(c.tempo));
        EXPECT_EQ(engine->TimeSignatureText, c.metre);
        EXPECT_EQ(engine->State, c.state);
        const auto& log = tikora::forms::DialogLog();
        ASSERT_EQ(log.size(), c.dialog == DialogKind::MessageBox ? 0u : 1u);
        if (!log.empty()) {
            EXPECT_EQ(log[0].kind, c.dialog);
            EXPECT_EQ(log[0].form, c.form);
        }
    }
    form->ChangeTempo(1e300);  // a huge typed tempo is clamped, not overflowed
    EXPECT_EQ(engine->Tempo, 500);
    // The timer resets with Alt+R; the volume keys of the numeric keypad stay within range.
    engine->PracticeTime = 75;
    Press(Qt::Key_R, alt);
    EXPECT_EQ(form->TimerLab->Caption(), "00:00");
    form->MVolume->SetPosition(65535);
    Press(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(form->MVolume->Position(), 65535);
    Press(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(form->MVolume->Position(), 65535 - 3276);
    EXPECT_TRUE(form->VolTimer->Enabled());
    form->VolTimer->Fire();
    EXPECT_FALSE(form->VolTimer->Enabled());
}

// The arrows beside the tempo step by 1 with the left button and by 5 with the right one.
TEST_F(MainWindowTest, TempoArrowsStepByOneOrByFive) {
    struct Case {
        TZelPanel* arrow;
        Qt::MouseButton button;
        int from, tempo;
    } cases[] = {{form->BpmUPButton, Qt::LeftButton, 100, 101},  {form->BpmUPButton, Qt::RightButton, 100, 105},
                 {form->BpmDownButton, Qt::LeftButton, 100, 99}, {form->BpmDownButton, Qt::RightButton, 100, 95},
                 {form->BpmUPButton, Qt::RightButton, 498, 500}, {form->BpmDownButton, Qt::RightButton, 42, 40}};
    for (const Case& c : cases) {
        form->ChangeTempo(c.from);
        formstest::Mouse(c.arrow, QEvent::MouseButtonPress, 10, 10, c.button);
        formstest::Mouse(c.arrow, QEvent::MouseButtonRelease, 10, 10, c.button);
        EXPECT_EQ(engine->Tempo, c.tempo) << c.arrow->Name().c_str() << " " << c.button << " from " << c.from;
        EXPECT_EQ(form->TempoLab->Caption(), "= " + IntToStr(c.tempo));
    }
}

TEST_F(MainWindowTest, TranspositionKeysStayWithinAnOctave) {
    struct Case {
        const char* from;
        Qt::Key key;
        const char* expect;
    } cases[] = {
        {"0", Qt::Key_Up, "1"}, {"12", Qt::Key_Up, "12"}, {"-12", Qt::Key_Down, "-12"}, {"x", Qt::Key_Down, "-1"}};
    for (const Case& c : cases) {
        form->Tool5_Transp->SetCaption(c.from);
        Press(c.key);
        EXPECT_EQ(form->Tool5_Transp->Caption(), c.expect) << c.from;
    }
    form->Tool5_Transp->SetCaption("0");
}

// A transposition set while the MIDI-file tool was off is the one its notes sound at once the tool
// is switched on and Play pressed: the notes reaching the output device are moved by it.
TEST_F(MainWindowTest, PlayTransposesTheMidiFile) {
    const fs::path file = ProgramEnvironment::folder / "Midi" / "0 Transposed.mid";
    const miditest::Bytes song =
        miditest::WriteSmf(120, {{miditest::Note(0, 0x90, 60, 100), miditest::Note(60, 0x80, 60, 0),
                                  miditest::Note(120, 0x90, 64, 100), miditest::Note(180, 0x80, 64, 0)}});
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(song.data()), std::streamsize(song.size()));
    auto device = std::make_shared<tikora::winmm::RecordingMidiOut>();
    auto devices = std::make_unique<tikora::winmm::ScopedMidiOutDevices>(tikora::winmm::MidiOutDeviceList{device});
    ASSERT_TRUE(player.CloseOutDevice(player.OutDevice));
    ASSERT_TRUE(player.OpenOutDevice(0));
    tikora::winmm::VirtualTimer timer(40'000'000'000);
    formstest::Click(form->StopButton, 4, 4);
    form->ChangeTempo(120);  // a beat of 500 ms, two notes in 700 ms
    form->CheckBox3->SetChecked(false);
    form->CheckBox4->SetChecked(false);
    formstest::Click(form->MidiFileButton, 4, 4);
    TZelList* list = form->MidiFileList;
    const int row = list->Items()->IndexOf("0 Transposed");
    ASSERT_GE(row, 0);
    formstest::Click(list, 4, row * list->CellHeight() + list->CellHeight() / 2);
    form->ListHideTimer->Fire();
    const struct {
        Qt::Key key;
        int presses;
        std::vector<int> keys;  // of the note-ons on channel 1
    } cases[] = {{Qt::Key_Up, 3, {63, 67}}, {Qt::Key_Down, 2, {58, 62}}, {Qt::Key_Up, 0, {60, 64}}};
    for (const auto& c : cases) {
        form->Tool5_Transp->SetCaption("0");
        for (int i = 0; i < c.presses; ++i) Press(c.key);
        formstest::Click(form->CheckBox4, 4, 4);
        ASSERT_TRUE(form->CheckBox4->Checked());
        device->Clear();
        formstest::Click(form->PlayButton, 4, 4);
        timer.RunForMs(700);
        tikora::DispatchPostedMessages();
        std::vector<int> keys;
        for (DWORD m : device->Messages())
            if ((m & 0xFF) == 0x90 && (m >> 16 & 0x7F) > 0) keys.push_back(int(m >> 8 & 0x7F));
        EXPECT_EQ(keys, c.keys) << c.presses << " presses";
        formstest::Click(form->StopButton, 4, 4);
        formstest::Click(form->CheckBox4, 4, 4);
    }
    player.CloseOutDevice(0);
    devices.reset();
    player.OpenOutDevice(0);
    form->Tool5_Transp->SetCaption("0");
    form->MidiFileButton->SetText("");
    form->MidiFileButton->SetCaption("");
    fs::remove(file);
}

TEST_F(MainWindowTest, TapTempoAveragesFourTaps) {
    tikora::TestClock clock(20'000'000'000);
    formstest::Click(form->StopButton, 4, 4);
    auto tap = [&](int gapMs, Qt::Key key = Qt::Key_Minus) {
        clock.AdvanceMs(gapMs);
        Press(key);
    };
    form->ChangeTempo(60);
    tap(5000);
    tap(500);
    tap(0);  // a bouncing key taps twice in the same millisecond: the second tap is not one
    tap(500);
    EXPECT_EQ(engine->Tempo, 60);
    tap(500);
    EXPECT_EQ(engine->Tempo, 120);
    for (int i = 0; i < 3; ++i) tap(400);
    EXPECT_EQ(engine->Tempo, 120);
    tap(400);  // later updates average four intervals
    EXPECT_EQ(engine->Tempo, 150);
    EXPECT_FALSE(form->DelayedStartTimer->Enabled());  // "-" never starts

    // A gap of 1499 ms still counts; one of 1500 ms starts a new series.
    form->ChangeTempo(60);
    tap(5000);
    for (int i = 0; i < 3; ++i) tap(1499);
    EXPECT_EQ(engine->Tempo, 40);
    tap(5000);
    tap(1000);
    tap(1000);
    tap(1500);
    EXPECT_EQ(engine->Tempo, 40);
    for (int i = 0; i < 3; ++i) tap(1000);
    EXPECT_EQ(engine->Tempo, 60);

    form->ChangeTempo(100);
    tap(5000, Qt::Key_Equal);
    tap(500, Qt::Key_Return);  // Enter taps too
    tap(500, Qt::Key_Equal);
    tap(500, Qt::Key_Equal);
    EXPECT_EQ(engine->Tempo, 120);
    EXPECT_TRUE(form->DelayedStartTimer->Enabled());
    EXPECT_EQ(form->DelayedStartTimer->Interval(), 500u);
    form->DelayedStartTimer->Fire();
    EXPECT_EQ(engine->State, psPlaying);
}

// A tap key that bounces presses twice within a beat of the fastest tempo (120 ms at 500 bpm),
// even when the two presses are 0.3 ms apart across a millisecond: the second press is no tap,
// and the series goes on from the first. A gap of 120 ms is a tap at 500.
TEST_F(MainWindowTest, TapTempoIgnoresABouncingKey) {
    tikora::TestClock clock(30'000'000'000);
    formstest::Click(form->StopButton, 4, 4);
    const struct {
        const char* what;
        std::vector<double> gaps;  // ms after the previous press; the series starts 0.8 ms into a tick
        int tempo;
    } cases[] = {
        {"0.3 ms, across a tick", {0.3, 499.7, 500, 500}, 120},
        {"1 ms", {1, 499, 500, 500}, 120},
        {"119 ms", {119, 381, 500, 500}, 120},
        {"bounces on every tap", {0.3, 499.7, 119, 381, 1, 499, 500}, 120},
        {"120 ms counts", {120, 120, 120}, 500},
    };
    for (const auto& c : cases) {
        form->ChangeTempo(60);
        clock.Advance(5'000'000'000 - clock.NowNs() % 1'000'000 + 800'000);
        Press(Qt::Key_Minus);
        for (double gap : c.gaps) {
            clock.AdvanceMs(gap);
            Press(Qt::Key_Minus);
        }
        EXPECT_EQ(engine->Tempo, c.tempo) << c.what;
    }
}

// The mouse on the metronome's face: the weight follows the pointer from where it was grabbed, and
// its top edge comes to rest on the mark where the button is let go. At 120 the top edge is drawn
// on row 212 and the weight is 48 rows high; the 40 mark is on row 107, the 72 mark on row 149, the
// 160 mark on row 264 and the 208 mark on row 327. At 210 the top edge stands on row 329 (3 margins
// and the weight above the pivot, 2 margins under the 387 rows); each row under it is the next step
// faster, 500 from the ninth. Above the 40 mark the drag lets go.
TEST_F(MainWindowTest, DraggingTheWeightSetsTheTempoOnRelease) {
    TImage* target = form->CenterImage;
    QWidget* w = target->Parent()->Widget();
    const int x = target->Width() / 2;
    auto mouse = [&](QEvent::Type type, int y, Qt::MouseButtons buttons, int dx = 0) {
        const QPoint at(target->Left() + x + dx, target->Top() + y);
        QMouseEvent e(type, at, w->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    };
    form->Timer1->SetEnabled(false);
    engine->ResetPhase(0);  // at rest, upright
    engine->AdvanceTime(0);
    const struct {
        const char* what;
        int press, release, tempo, top;
    } cases[] = {
        {"top edge, not moved", 212, 212, 120, 212},          {"middle, not moved", 236, 236, 120, 212},
        {"lower rim, not moved", 259, 259, 120, 212},         {"top edge to the 72 mark", 212, 149, 72, 149},
        {"middle, top edge to 72", 236, 173, 72, 149},        {"scale above, at the 72 mark", 149, 149, 72, 149},
        {"scale below, at the 160 mark", 264, 264, 160, 264}, {"top edge to the 40 mark", 212, 107, 40, 107},
        {"middle, top edge to 208", 236, 351, 208, 327},      {"a row under 210", 212, 330, 220, 330},
        {"nine rows under 210", 212, 338, 500, 339},          {"above the 40 mark", 212, 100, 120, 212}};
    for (const auto& c : cases) {
        form->ChangeTempo(120);
        mouse(QEvent::MouseButtonPress, c.press, Qt::LeftButton);
        EXPECT_TRUE(engine->WeightDragged) << c.what;
        EXPECT_EQ(target->Cursor(), crHandPoint) << c.what;
        for (int y = c.press; y != c.release; y += c.release > c.press ? 1 : -1)
            mouse(QEvent::MouseMove, y, Qt::LeftButton);
        mouse(QEvent::MouseMove, c.release, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, c.release, Qt::NoButton);
        EXPECT_FALSE(engine->WeightDragged) << c.what;
        EXPECT_EQ(engine->Tempo, c.tempo) << c.what;
        EXPECT_NEAR(std::min(engine->WeightQuad[0].y, engine->WeightQuad[3].y), c.top, 1) << c.what;
    }

    // Leaving the band while the button is held drops the drag: the release changes nothing.
    form->ChangeTempo(70);
    mouse(QEvent::MouseButtonPress, 212, Qt::LeftButton);
    mouse(QEvent::MouseMove, 180, Qt::LeftButton, 40);
    EXPECT_FALSE(engine->WeightDragged);
    EXPECT_EQ(target->Cursor(), crArrow);
    mouse(QEvent::MouseButtonRelease, 180, Qt::NoButton, 40);
    EXPECT_EQ(engine->Tempo, 70);
}

// The mouse resting on a control shows its hint: Qt asks the widget under the pointer, as it
// does for a real rest. The notes lie under a disabled memo window, which passes the request on.
TEST_F(MainWindowTest, HintsShowWhereTheMouseRests) {
    form->Show();
    Application->SetHintHidePause(60000);
    const struct {
        TControl* control;
        const char* shown;
    } cases[] = {
        {form->MemoLab, "Click to edit your notes (F7)"},
        {form->CenterImage, "Drag the weight up or down to set the tempo:\nhigher is slower, lower is faster."},
        {form->PlayButton, "Start the metronome (F4 or Space)"},
        {form->TapTempoButton,
         "Tap four times in the tempo you want.\nTapping on, every fourth tap sets it again from the last four "
         "intervals.\nKeys: - taps, = taps and starts, Enter taps like this button."}};
    for (const auto& c : cases) {
        const POINT p = c.control->ClientToScreen(POINT{20, 20});
        const QPoint global(p.x, p.y);
        QWidget* under = form->Widget()->childAt(form->Widget()->mapFromGlobal(global));
        ASSERT_NE(under, nullptr);
        QHelpEvent help(QEvent::ToolTip, under->mapFromGlobal(global), global);
        QCoreApplication::sendEvent(under, &help);
        EXPECT_EQ(QToolTip::text().toStdString(), c.shown) << c.control->Name().c_str();
        QToolTip::hideText();
    }
}

// The chosen file's name on its tool button stands out from the button's picture as the
// accessibility guidelines ask (4.5:1), idle, under the mouse and pressed: each pixel the name
// changes, against the same pixel without the name; the glyphs' cores give the text's colour.
TEST_F(MainWindowTest, FileNameOnAToolButtonIsReadable) {
    form->Show();
    TZelPanel* button = form->DrumBeatButton;
    QWidget* w = button->Widget();
    const AnsiString saved = button->Text();
    auto luminance = [](QRgb c) {
        auto channel = [](int v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
    };
    auto shot = [&](const char* text) {
        button->SetText(text);
        button->Repaint();
        return w->grab().toImage();
    };
    for (const char* state : {"idle", "under the mouse", "pressed"}) {
        if (state[0] == 'u') Mouse(w, QEvent::MouseMove, QPoint(5, 5));
        if (state[0] == 'p') Mouse(w, QEvent::MouseButtonPress, QPoint(5, 5));
        const QImage plain = shot(""), named = shot("Funk");
        // The text's own colour is the commonest among the pixels the name changes (its glyphs'
        // cores); the worst of them against the picture beneath is what the eye gets.
        const int n = named.width() * named.height();
        auto px = [](const QImage& image, int i) { return image.pixel(i % image.width(), i / image.width()); };
        std::map<QRgb, int> changed;
        for (int i = 0; i < n; ++i)
            if (px(named, i) != px(plain, i)) ++changed[px(named, i)];
        ASSERT_FALSE(changed.empty()) << state;
        const QRgb text = std::ranges::max_element(changed, {}, [](auto& e) { return e.second; })->first;
        double worst = 100;
        for (int i = 0; i < n; ++i)
            if (px(named, i) == text && px(plain, i) != text) {
                const double a = luminance(text), b = luminance(px(plain, i));
                worst = std::min(worst, (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05));
            }
        EXPECT_GE(worst, 4.5) << state;
    }
    Mouse(w, QEvent::MouseButtonRelease, QPoint(-50, -50));
    button->SetText(saved);
}

TEST_F(MainWindowTest, TempoBarHidesAfterItsCountdown) {
    formstest::Click(form->BpmSetButton, 4, 4);
    ASSERT_TRUE(form->SetTempo->Visible());
    form->SetTempo->SetPosition(222);
    EXPECT_EQ(engine->Tempo, 222);
    for (int i = 0; i < 3; ++i) form->TempoHideTimer->Fire();
    EXPECT_TRUE(form->SetTempo->Visible());
    form->TempoHideTimer->Fire();
    EXPECT_FALSE(form->SetTempo->Visible());
    EXPECT_FALSE(form->TempoHideTimer->Enabled());
}

// ---- Tool panel, lists and files

TEST_F(MainWindowTest, ListPagesShowNineOrEightNamesWithTurningRows) {
    struct Case {
        int names, page;
        std::vector<std::string> expect;
    } cases[] = {
        {3, 0, {"n0", "n1", "n2"}},
        {10, 0, {"n0", "n1", "n2", "n3", "n4", "n5", "n6", "n7", "n8", "n9"}},
        {17, 0, {"n0", "n1", "n2", "n3", "n4", "n5", "n6", "n7", "n8", ">>> Next page"}},
        {17, 1, {"<<< Previous page", "n9", "n10", "n11", "n12", "n13", "n14", "n15", "n16", ""}},
        {18, 1, {"<<< Previous page", "n9", "n10", "n11", "n12", "n13", "n14", "n15", "n16", ">>> Next page"}},
        {18, 2, {"<<< Previous page", "n17", "", "", "", "", "", "", "", ""}},
    };
    for (const Case& c : cases) {
        TStringList names, rows;
        for (int i = 0; i < c.names; ++i) names.Add(("n" + std::to_string(i)).c_str());
        form->ShowListPage(&rows, &names, c.page);
        std::vector<std::string> got;
        for (int i = 0; i < rows.Count(); ++i) got.push_back(rows.Strings(i).c_str());
        EXPECT_EQ(got, c.expect) << c.names << " names, page " << c.page;
    }
}

TEST_F(MainWindowTest, FileListKeepsBrowseRowsLastOnEveryPage) {
    fs::path drums = ProgramEnvironment::folder / "Drums";
    for (int i = 0; i < 17; ++i) std::ofstream(drums / ("zz" + std::to_string(i) + ".mid")) << "x";
    formstest::Click(form->DrumBeatButton, 4, 4);
    TStringList* rows = form->DrumBeatList->Items();
    ASSERT_EQ(rows->Count(), 12);
    EXPECT_EQ(rows->Strings(rows->Count() - 2), "Browse...");
    EXPECT_EQ(rows->Strings(9), ">>> Next page");
    form->DrumBeatList->SetItemIndex(9);
    form->DrumBeatListClick(form->DrumBeatList);
    EXPECT_EQ(form->DrumBeatList->Tag(), 1);
    EXPECT_EQ(form->ListHideTimer->Tag(), 1);
    EXPECT_EQ(rows->Strings(0), "<<< Previous page");
    EXPECT_EQ(rows->Strings(rows->Count() - 1), "Browse and add...");
    form->ListHideTimer->Fire();  // the page rows leave the list open
    EXPECT_TRUE(form->DrumBeatList->Visible());
    // Choosing a name puts the folder and the name into the button.
    form->DrumBeatList->SetItemIndex(1);
    AnsiString chosen = rows->Strings(1);
    form->DrumBeatListClick(form->DrumBeatList);
    EXPECT_EQ(form->DrumBeatButton->Text(), chosen);
    EXPECT_TRUE(form->DrumBeatButton->Caption().Pos("Drums") > 0);
    form->ListHideTimer->Fire();
    EXPECT_FALSE(form->DrumBeatList->Visible());
    for (int i = 0; i < 17; ++i) fs::remove(drums / ("zz" + std::to_string(i) + ".mid"));
    form->DrumBeatButton->SetText("");
    form->DrumBeatButton->SetCaption("");
}

// The last two rows of a file list browse: "Browse..." takes the file where it lies, "Browse and
// add..." copies it into the tool's folder first; cancelling the file dialog changes nothing.
TEST_F(MainWindowTest, BrowseRowsTakeAFileFromAnywhere) {
    const fs::path elsewhere = ScratchFolder("mainwindow-elsewhere");
    std::ofstream(elsewhere / "Found.mid") << "x";
    const fs::path drums = ProgramEnvironment::folder / "Drums";
    const std::string away = (elsewhere / "Found.mid").string();
    const struct {
        const char* row;
        int answer;
        const char* text;
        std::string caption;
        bool copied;
    } cases[] = {{"Browse...", IDCANCEL, "Rock", "Drums\\", false},
                 {"Browse...", IDOK, "Found", elsewhere.string() + "/", false},
                 {"Browse and add...", IDCANCEL, "Rock", "Drums\\", false},
                 {"Browse and add...", IDOK, "Found", ProgramEnvironment::folder.string() + "\\Drums\\", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.row) + (c.answer == IDOK ? " OK" : " cancelled"));
        form->DrumBeatButton->SetCaption("Drums\\");
        form->DrumBeatButton->SetText("Rock");
        formstest::Click(form->DrumBeatButton, 4, 4);
        TZelList* list = form->DrumBeatList;
        const int row = list->Items()->IndexOf(c.row);
        ASSERT_GE(row, list->Items()->Count() - 2);
        tikora::forms::ScriptDialog(c.answer, AnsiString(away.c_str()));
        formstest::Click(list, 4, row * list->CellHeight() + list->CellHeight() / 2);
        form->ListHideTimer->Fire();
        EXPECT_EQ(tikora::forms::PendingDialogScripts(), 0);
        EXPECT_EQ(form->DrumBeatButton->Text(), c.text);
        EXPECT_EQ(form->DrumBeatButton->Caption(), AnsiString(c.caption.c_str()));
        EXPECT_EQ(fs::exists(drums / "Found.mid"), c.copied);
        EXPECT_TRUE(fs::exists(away));
    }
    fs::remove(drums / "Found.mid");
    form->DrumBeatButton->SetText("");
    form->DrumBeatButton->SetCaption("");
}

TEST_F(MainWindowTest, CopyIntoFolderFindsAFreeName) {
    fs::path source = ScratchFolder("mainwindow-source");
    std::ofstream(source / "song.mid") << "new";
    fs::path target = ScratchFolder("mainwindow-target");
    std::ofstream(target / "song.mid") << "a";
    std::ofstream(target / "song(1).mid") << "b";
    AnsiString path = (source / "song.mid").string().c_str();
    form->CopyIntoFolder(AnsiString(target.string().c_str()) + "\\", path);
    EXPECT_TRUE(fs::exists(target / "song(2).mid"));
    EXPECT_TRUE(path.Pos("song(2).mid") > 0);
    AnsiString inPlace = (target / "song.mid").string().c_str();
    AnsiString before = inPlace;
    form->CopyIntoFolder(AnsiString(target.string().c_str()) + "\\", inPlace);
    EXPECT_EQ(inPlace, before);
    EXPECT_FALSE(fs::exists(target / "song(3).mid"));
}

TEST_F(MainWindowTest, AccompanimentToolsExcludeEachOther) {
    form->CheckBox3->SetChecked(false);
    form->CheckBox4->SetChecked(false);
    form->DrumBeatButton->SetCaption("Drums\\");
    form->DrumBeatButton->SetText("Rock");
    form->CheckBox1Click(form->CheckBox3);
    EXPECT_TRUE(form->CheckBox3->Checked());
    form->CheckBox1Click(form->CheckBox4);
    EXPECT_TRUE(form->CheckBox4->Checked());
    EXPECT_FALSE(form->CheckBox3->Checked());
    // A switched-on tool without a file is switched off quietly when applied.
    form->ApplyToolSettings();
    EXPECT_FALSE(form->CheckBox4->Checked());
    EXPECT_FALSE(engine->Tool5Enabled);
    EXPECT_TRUE(Messages().empty());
    // With a file that has gone, the user is told and the button emptied.
    form->MidiFileButton->SetCaption("Midi\\");
    form->MidiFileButton->SetText("gone");
    form->CheckBox4->SetChecked(true);
    form->ApplyToolSettings();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], "File not found: Midi/gone.mid");
    EXPECT_TRUE(form->MidiFileButton->Text().IsEmpty());
    EXPECT_EQ(engine->Tool4MidiFile, "Drums\\Rock");
    form->DrumBeatButton->SetText("");
    form->DrumBeatButton->SetCaption("");
}

// A picture named like the chosen drum beat, beside it in the program's own Drums folder, takes the
// memo's place when the beat is chosen and the tool switched on; a beat without one leaves the memo.
TEST_F(MainWindowTest, PictureBesideTheChosenDrumBeatTakesTheMemosPlace) {
    form->Show();
    form->CheckBox4->SetChecked(false);
    const fs::path picture = ProgramEnvironment::folder / "Drums" / "Rock.png";
    const QRgb colours[] = {qRgb(250, 0, 0), qRgb(0, 250, 0), qRgb(0, 0, 250), qRgb(250, 250, 0)};
    QImage png(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < png.height(); ++y)
        for (int x = 0; x < png.width(); ++x) png.setPixel(x, y, colours[(y >= 15) * 2 + (x >= 20)]);
    ASSERT_TRUE(png.save(QString::fromStdString(picture.string()), "PNG"));
    // The window as drawn, at points of the memo's place: one in each quarter of the picture.
    auto memoPlace = [&] {
        const QImage window = form->Widget()->grab().toImage();
        std::vector<QRgb> out;
        for (QPoint p : {QPoint(10, 7), QPoint(30, 7), QPoint(10, 22), QPoint(30, 22)}) {
            const QPoint at =
                form->LeftPanel->Widget()->mapTo(form->Widget(), QPoint(form->Memo->Left(), form->Memo->Top()) + p);
            out.push_back(window.pixel(at) & 0xFFFFFF);
        }
        return out;
    };
    const std::vector<QRgb> memo = memoPlace();
    auto choose = [&](const char* beat) {
        formstest::Click(form->DrumBeatButton, 4, 4);
        TZelList* list = form->DrumBeatList;
        const int row = list->Items()->IndexOf(beat);
        ASSERT_GE(row, 0) << beat;
        formstest::Click(list, 4, row * list->CellHeight() + list->CellHeight() / 2);
        form->ListHideTimer->Fire();
        ASSERT_EQ(form->DrumBeatButton->Text(), beat);
    };
    choose("Rock");
    formstest::Click(form->CheckBox3, 4, 4);
    ASSERT_TRUE(form->CheckBox3->Checked());
    EXPECT_EQ(memoPlace(), (std::vector<QRgb>{colours[0] & 0xFFFFFF, colours[1] & 0xFFFFFF, colours[2] & 0xFFFFFF,
                                              colours[3] & 0xFFFFFF}));
    EXPECT_FALSE(form->Memo->Visible());
    choose("Funk");
    EXPECT_TRUE(form->Memo->Visible());
    EXPECT_EQ(memoPlace(), memo);
    EXPECT_TRUE(Messages().empty()) << formstest::Join(Messages());
    formstest::Click(form->CheckBox3, 4, 4);
    fs::remove(picture);
    form->DrumBeatButton->SetText("");
    form->DrumBeatButton->SetCaption("");
}

TEST_F(MainWindowTest, ToolLabelsTakeCountsOfAtLeastOneAndStepsWithTheirSign) {
    struct Case {
        TLabel* label;
        const char* typed;
        int answer;
        const char* expect;
    } cases[] = {{form->Tool1_Play, "7", IDOK, "7"},       {form->Tool1_Play, "0", IDOK, "1"},
                 {form->Tool1_Play, "abc", IDOK, "1"},     {form->Tool2_Bars, "-3", IDOK, "1"},
                 {form->Tool2_Bars, "9", IDCANCEL, "1"},   {form->Tool2_BPM_delta, "-5", IDOK, "-5"},
                 {form->Tool2_BPM_delta, "0", IDOK, "1"},  {form->Tool2_BPM_delta, "x", IDOK, "1"},
                 {form->Tool2_BPM_delta, "12", IDOK, "12"}};
    for (TLabel* label : {form->Tool1_Play, form->Tool2_Bars, form->Tool2_BPM_delta}) label->SetCaption("1");
    for (const Case& c : cases) {
        tikora::forms::ScriptDialog(c.answer, c.typed);
        c.label->Click();
        EXPECT_EQ(c.label->Caption(), c.expect) << c.typed;
    }
    form->CheckBox2->SetChecked(false);
    form->Tool2_BPM_delta->SetCaption("-5");
    form->ApplyToolSettings();
    EXPECT_EQ(engine->Tool2BPMDelta, -5);
    tikora::forms::ScriptDialog(IDOK, "40");
    formstest::Click(form->Tool5_Transp, 4, 4);
    EXPECT_EQ(form->Tool5_Transp->Caption(), "12");
    form->Tool5_Transp->SetCaption("0");
}

TEST_F(MainWindowTest, CancelledListEditorStillRewritesTheFavourites) {
    form->FillTimeSignatureList();
    int rows = form->TimeSignatureList->Items()->Count();
    ASSERT_GT(rows, 1);
    WhileModal(
        [](TForm*) {
            TSListEdit->List->Items()->Clear();
            TSListEdit->List->Items()->Add("7:8");
            TSListEdit->List->Items()->Add("9:8 (2+2+2+3)");
        },
        IDCANCEL);
    Press(Qt::Key_F5);
    TStringList* items = form->TimeSignatureList->Items();
    ASSERT_EQ(items->Count(), 3);
    EXPECT_EQ(items->Strings(0), "7:8");
    EXPECT_EQ(items->Strings(1), "9:8 (2+2+2+3)");
    EXPECT_EQ(items->Strings(2), "Edit list...");
    TStringList stored;
    EXPECT_EQ(engine->GetTimeSignatureList(&stored), 2);
}

// The time-signature list opens from its button holding the mouse: letting the button go on a row
// chooses that row, anywhere else nothing; either way the list closes.
TEST_F(MainWindowTest, TimeSignatureListClosesWhereverTheButtonIsLetGo) {
    form->Show();
    form->FillTimeSignatureList();
    TZelList* list = form->TimeSignatureList;
    ASSERT_GT(list->Items()->Count(), 2);
    const AnsiString first = list->Items()->Strings(0), second = list->Items()->Strings(1);
    const struct {
        const char* where;
        TControl* at;
        int x, y;
        AnsiString metre;
    } cases[] = {{"on the second row", list, 4, list->CellHeight() * 3 / 2, second},
                 {"on the pendulum", form->CenterImage, 200, 200, second},
                 {"on the first row", list, 4, list->CellHeight() / 2, first},
                 {"on the tempo", form->TempoLab, 4, 4, first}};
    ASSERT_TRUE(engine->SetTimeSignature(first));
    for (const auto& c : cases) {
        formstest::Click(form->TimeSignatureButton, 4, 4);
        ASSERT_TRUE(list->Visible()) << c.where;
        formstest::Click(c.at, c.x, c.y);
        EXPECT_FALSE(list->Visible()) << c.where;
        EXPECT_FALSE(list->MouseCapture()) << c.where;
        EXPECT_EQ(engine->TimeSignatureText, c.metre) << c.where;
    }
}

// ---- Practice timer and alarm

TEST_F(MainWindowTest, PracticeTimeShowsMinutesThenHours) {
    struct Case {
        double seconds;
        const char* expect;
    } cases[] = {{0, "00:00"}, {59.9, "00:59"}, {3599, "59:59"}, {3600, "01:00"}, {7322, "02:02"}, {-1, "00:00"}};
    for (const Case& c : cases) EXPECT_EQ(tikora::app::PracticeTimeText(c.seconds), c.expect) << c.seconds;
}

// The timer shows the time played, whether the window's animation ticks come every 10 ms or, on a
// busy machine, every 30 ms, and whatever part of a tick the beat markers arrive in (a beat every
// 200 ms at 300).
TEST_F(MainWindowTest, PracticeTimerCountsEveryMillisecondPlayed) {
    tikora::winmm::VirtualTimer timer(70'000'000'000);
    formstest::Click(form->StopButton, 4, 4);
    form->ChangeTempo(300);
    for (int uiPeriodMs : {10, 30}) {
        Press(Qt::Key_R, Qt::AltModifier);
        formstest::Click(form->PlayButton, 4, 4);
        const int64_t start = timer.NowNs();
        for (int ms = 1; ms <= 10'200; ++ms) {
            timer.RunUntil(start + ms * int64_t{1'000'000});
            if (ms % uiPeriodMs != 0) continue;
            tikora::DispatchPostedMessages();
            form->Timer1->Fire();
        }
        form->Timer2->Fire();
        EXPECT_EQ(form->TimerLab->Caption(), "00:10") << uiPeriodMs << " ms";
        EXPECT_NEAR(engine->PracticeTime, 10.2, 1e-6) << uiPeriodMs << " ms";
        formstest::Click(form->StopButton, 4, 4);
        tikora::DispatchPostedMessages();
    }
    form->ChangeTempo(100);
}

TEST_F(MainWindowTest, AlarmStopsOrAsks) {
    SettingsForm->AutoResetTimer->SetChecked(false);
    AlarmSetup->AlarmEnabled = true;
    AlarmSetup->AlarmTime = 0;
    AlarmSetup->DialogMode = false;
    AlarmSetup->WavePath = "";
    formstest::Click(form->PlayButton, 4, 4);
    form->Timer2->Fire();
    EXPECT_EQ(engine->State, psStopped);
    EXPECT_TRUE(form->SetAlarmButton->Checked());

    AlarmSetup->DialogMode = true;
    formstest::Click(form->PlayButton, 4, 4);
    WhileModal([](TForm*) { AlarmDialog->Result->SetItemIndex(TAlarmDialog::aDisableAlarm); });
    engine->PracticeTime = 30;
    form->Timer2->Fire();
    EXPECT_EQ(engine->State, psPlaying);
    EXPECT_FALSE(AlarmSetup->AlarmEnabled);
    EXPECT_EQ(form->TimerLab->Caption(), "00:30");
    form->Timer2->Fire();
    EXPECT_FALSE(form->SetAlarmButton->Checked());

    // Reset and go on: the timer shows 00:00 and the alarm keeps quiet until its time comes again.
    AlarmSetup->AlarmEnabled = true;
    AlarmSetup->AlarmTime = 20;
    WhileModal([](TForm*) {
        Click(AlarmDialog->Result->Controls(TAlarmDialog::aResetTimer), 8, 8);
        Click(AlarmDialog->Button1, 4, 4);
    });
    form->Timer2->Fire();
    form->Timer2->Fire();
    EXPECT_EQ(std::tuple(engine->State, form->TimerLab->Caption()), std::tuple(psPlaying, AnsiString("00:00")));
    AlarmSetup->AlarmEnabled = false;
    engine->PracticeTime = 30;
    form->ResetTimerButtonMouseDown(form->ResetTimerButton, mbLeft, {}, 0, 0);
    EXPECT_EQ(form->TimerLab->Caption(), "00:00");
}

// ---- Display modes and close

TEST_F(MainWindowTest, SmallWindowAndBackRedrawAtOnce) {
    TDVContext* dialog = engine->GetSettingsDialogTag();
    form->Show();
    Press(Qt::Key_F8);
    EXPECT_FALSE(form->BigMode());
    EXPECT_TRUE(form->Minimized()->Visible());
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(form->DrawTarget(), form->Minimized()->View);
    EXPECT_FALSE(dialog->GetBool("FullScreenMode"));
    // The micro choice changed through F6 in the small window: rebuilt on screen for the other
    // size, it shows its pendulum, the rod's middle not the bare case's pixel.
    for (bool micro : {true, false}) {
        WhileModal([](TForm*) {
            formstest::Click(SettingsForm->MicroMode, 4, 4);
            formstest::Click(SettingsForm->Button1, 4, 4);
        });
        Press(Qt::Key_F6, Qt::NoModifier, form->Minimized());
        ASSERT_EQ(form->Minimized()->Scale() < 1.0f, micro);
        const TQuad& rod = engine->PendulumQuad;
        const int x = (rod[0].x + rod[1].x + rod[2].x + rod[3].x) / 4,
                  y = (rod[0].y + rod[1].y + rod[2].y + rod[3].y) / 4;
        EXPECT_NE(form->Minimized()->View->Picture()->Bitmap()->Canvas()->Pixels(x, y),
                  form->Minimized()->Background()->Canvas()->Pixels(x, y))
            << micro;
    }
    Press(Qt::Key_F8, Qt::NoModifier, form->Minimized());
    EXPECT_TRUE(form->BigMode());
    EXPECT_FALSE(form->Minimized()->Visible());
    EXPECT_TRUE(form->Visible());
    EXPECT_TRUE(dialog->GetBool("FullScreenMode"));

    // Changing the micro choice rebuilds the small window; keeping it does not.
    TMinimized* before = form->Minimized();
    form->ApplySkinMode();
    EXPECT_EQ(form->Minimized(), before);
    dialog->SetBool("MicroMode", true);
    form->ApplySkinMode();
    EXPECT_LT(form->Minimized()->Scale(), 1.0f);
    dialog->SetBool("MicroMode", false);
    form->ApplySkinMode();
    EXPECT_EQ(form->Minimized()->Scale(), 1.0f);
}

// The small window's pendulum: a press within 16 pixels of the axis (column 283 of the 566 wide
// view) grabs the weight, one further out drags the window. Its shape keeps the swinging weight
// in sight where it leaves the picture: at tempo 40 the weight's middle is 276 rows above the
// pivot (2 margins under the 350 rows, on column 284), so at 0.8 radians its points 12 columns
// either side of the rod lie at (473.6, 169.1) and (490.4, 186.3), right of the 300 columns of
// the picture; 30 columns from the rod, at (502.9, 199.2), lies outside the window.
TEST_F(MainWindowTest, SmallWindowGrabsTheWeightNearItsAxisAndShowsItSwinging) {
    form->Show();
    Press(Qt::Key_F8);
    TMinimized* small = form->Minimized();
    ASSERT_TRUE(small->Visible());
    const int tempo = engine->Tempo;
    const struct {
        int x;
        bool grabbed;
    } presses[] = {{283, true}, {283 + 15, true}, {283 - 15, true}, {283 + 16, false}, {283 - 16, false}};
    for (const auto& p : presses) {
        form->ChangeTempo(100);
        formstest::Mouse(small->View, QEvent::MouseButtonPress, p.x, 250);
        EXPECT_EQ(engine->WeightDragged, p.grabbed) << p.x;
        formstest::Mouse(small->View, QEvent::MouseButtonRelease, p.x, 250);
        EXPECT_EQ(engine->Tempo != 100, p.grabbed) << p.x;
    }
    form->ChangeTempo(40);
    engine->Angle = 0.8 / 0.93;  // the stopped pendulum's next tick swings it to 0.8
    form->Timer1->SetEnabled(true);
    form->Timer1->Fire();
    const QRegion shape = small->Widget()->mask();
    for (QPoint weight : {QPoint(474, 169), QPoint(490, 186)}) EXPECT_TRUE(shape.contains(weight)) << weight.x();
    EXPECT_FALSE(shape.contains(QPoint(503, 199))) << "beside the weight";
    Press(Qt::Key_F8, Qt::NoModifier, small);
    form->ChangeTempo(tempo);
}

TEST_F(MainWindowTest, LoadedSettingsBringTheirMemoAlarmAndDuration) {
    WhileModal([](TForm*) { MemoForm->Memo->SetText("first line\r\nsecond line"); }, IDOK);
    Press(Qt::Key_F7);
    AnsiString memo;
    engine->GetMemo(memo);
    EXPECT_EQ(memo, "first line\r\nsecond line");
    EXPECT_EQ(form->Memo->Lines()->Count(), 2);

    AnsiString file = (ProgramEnvironment::folder / "saved.tkra").string().c_str();
    auto setAlarm = [](bool enabled, int min, int sec) {
        WhileModal([=](TForm*) {
            AlarmSetup->aAlarmEnabled->SetChecked(enabled);
            AlarmSetup->Min->SetValue(min);
            AlarmSetup->Sec->SetValue(sec);
            formstest::Click(AlarmSetup->Button2, 4, 4);
        });
        Press(Qt::Key_A, Qt::AltModifier);
    };
    setAlarm(true, 20, 0);
    // Durations stored in minutes come back to the second, saved and loaded again and again.
    TempoCalculator->DurationMin->SetValue(0);
    TempoCalculator->DurationSec->SetValue(29);
    for (int round = 0; round < 3; ++round) {
        tikora::forms::ScriptDialog(IDOK, file);
        Press(Qt::Key_S, Qt::ControlModifier);
        engine->SetMemo("changed");
        form->Memo->SetText("changed");
        setAlarm(false, 5, 7);
        TempoCalculator->DurationSec->SetValue(31);
        tikora::forms::ScriptDialog(IDOK, file);
        Press(Qt::Key_O, Qt::ControlModifier);
        EXPECT_EQ(form->Memo->Lines()->Count(), 2);
        EXPECT_EQ(form->Caption(), "Tikora - " + file);
        EXPECT_EQ(TempoCalculator->DurationMin->Value(), 0);
        EXPECT_EQ(TempoCalculator->DurationSec->Value(), 29);
        // The loaded alarm is the one in force, and the one its dialog shows and stores on OK.
        EXPECT_TRUE(AlarmSetup->AlarmEnabled);
        EXPECT_EQ(AlarmSetup->AlarmTime, 20 * 60);
        EXPECT_EQ(AlarmSetup->Min->Value(), 20);
        EXPECT_TRUE(AlarmSetup->aAlarmEnabled->Checked());
    }
    AlarmSetup->aAlarmEnabled->SetChecked(false);
    AlarmSetup->WriteAlarm();
}

// The program as another user finds it, for the tests that act as that user: a copy of its folder
// and a configuration folder, in a tree that user can reach (the build tree may be closed to
// others). The window works there until the end of the test.
struct ProgramWhereOthersReach {
    explicit ProgramWhereOthersReach(const othertest::OtherUserDir& tree)
        : folder(tree.Path() / "program"), config(tree.Path() / "config") {
        othertest::OtherUserDir::CopyIn(ProgramEnvironment::folder, folder);
        fs::create_directory(config);
        for (TOpenDialog* d : dialogs) {
            names.push_back(d->FileName());
            if (tikora::SameHostPath(ExtractFileDir(d->FileName()), ProgramEnvironment::folder.c_str()))
                d->SetFileName((folder / ExtractFileName(d->FileName()).c_str()).c_str());
        }
        Use(folder, config);
    }
    ~ProgramWhereOthersReach() {
        Use(ProgramEnvironment::folder, ProgramEnvironment::config);
        for (size_t i = 0; i < names.size(); ++i) dialogs[i]->SetFileName(names[i]);
    }
    static void Use(const fs::path& program, const fs::path& config) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        tikora::app::ProgramFolderOverride() = program.c_str();
        SetCurrentDir(program.c_str());
        tikora::UseUserStore(program.c_str(), {"Tikora.tkra", "Tikora.ini"});
    }
    const fs::path folder, config;
    TOpenDialog* const dialogs[2] = {MainForm->OpenD, MainForm->SaveD};
    std::vector<AnsiString> names;
};

TEST_F(MainWindowTest, CloseWritesBothSettingsFilesWhereverTheUserMay) {
    othertest::OtherUserDir tree;
    if (!tree.Why().empty()) GTEST_SKIP() << tree.Why();
    const ProgramWhereOthersReach program(tree);
    const fs::path& folder = program.folder;
    const fs::path store = program.config / "tikora";
    fs::remove(folder / "Tikora.ini");
    TCloseAction action = caHide;
    form->FormClose(form, action);
    EXPECT_TRUE(fs::exists(folder / "Tikora.ini"));
    EXPECT_TRUE(fs::exists(folder / "Tikora.tkra"));
    EXPECT_FALSE(form->Timer2->Enabled());
    EXPECT_FALSE(fs::exists(store));

    // A program folder owned by someone else: the settings go to the per-user store, which is read
    // first from then on.
    auto asUser = [&](const std::function<void()>& work) {
        othertest::AsOtherUser user;
        ASSERT_TRUE(user.Ok());
        work();
    };
    chmod(folder.c_str(), 0555);
    chmod(program.config.c_str(), 0777);
    form->ChangeTempo(123);
    asUser([&] { form->FormClose(form, action); });
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(fs::exists(store / "Tikora.tkra"));
    EXPECT_TRUE(fs::exists(store / "Tikora.ini"));
    EXPECT_EQ(TMetronomeGame().Tempo, 123);
    // When the store cannot be written either, one message names the file and the reason; the
    // window closes all the same.
    fs::remove_all(store);
    chmod(program.config.c_str(), 0555);
    asUser([&] { EXPECT_NO_THROW(form->FormClose(form, action)); });
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], "Cannot create file \"Tikora.tkra\" (nor \"" + (store / "Tikora.tkra").string() +
                                 "\"). Permission denied");
    chmod(folder.c_str(), 0755);
    chmod(program.config.c_str(), 0755);
    form->FormClose(form, action);
    EXPECT_EQ(TMetronomeGame().Tempo, 123);
}

// An installation the user may not write: Ctrl+S offers the per-user folder, the file is written
// there and the title says so; a restarted window's Ctrl+O lists it there and loads it. A file named
// in the program's folder is refused with the message of a failed write and written nowhere.
TEST_F(MainWindowTest, ReadOnlyInstallKeepsTheUsersFilesInTheirOwnFolder) {
    othertest::OtherUserDir tree;
    if (!tree.Why().empty()) GTEST_SKIP() << tree.Why();
    const ProgramWhereOthersReach program(tree);
    const fs::path& folder = program.folder;
    const fs::path store = program.config / "tikora";
    auto asUser = [&](const std::function<void()>& work) {
        othertest::AsOtherUser user;
        ASSERT_TRUE(user.Ok());
        work();
    };
    chmod(folder.c_str(), 0555);
    chmod(program.config.c_str(), 0777);
    // The file dialog as the user works it: in the folder it offers (its own folder when it names a
    // file, the working folder when it names none), the listed settings files, then a choice.
    std::string offered;
    std::vector<std::string> listed;
    auto dialog = [&](DialogKind kind, std::function<std::string(const std::string&)> choose) {
        tikora::forms::ScriptDialog([&, kind, choose](const tikora::forms::DialogRequest& r) {
            EXPECT_EQ(r.kind, kind);
            fs::path at = r.value.IsEmpty() ? fs::current_path() : fs::path(r.value.c_str());
            offered = (fs::is_directory(at) ? at : at.parent_path()).string();
            listed.clear();
            for (const auto& e : fs::directory_iterator(offered))
                if (e.path().extension() == ".tkra") listed.push_back(e.path().filename().string());
            return tikora::forms::DialogAnswer{IDOK, choose(offered).c_str()};
        });
    };
    const AnsiString before = form->Caption();
    dialog(DialogKind::SaveFile, [](const std::string& at) { return at + "/mine.tkra"; });
    form->ChangeTempo(137);
    asUser([&] { Press(Qt::Key_S, Qt::ControlModifier); });
    EXPECT_TRUE(Messages().empty()) << formstest::Join(Messages());
    EXPECT_EQ(offered, store.string());
    EXPECT_TRUE(fs::exists(store / "mine.tkra"));
    EXPECT_FALSE(fs::exists(folder / "mine.tkra"));
    EXPECT_EQ(form->Caption(), AnsiString(("Tikora - " + (store / "mine.tkra").string()).c_str()));

    // A file named in the program's folder.
    dialog(DialogKind::SaveFile, [&](const std::string&) { return (folder / "named.tkra").string(); });
    form->SetCaption(before);
    asUser([&] { Press(Qt::Key_S, Qt::ControlModifier); });
    EXPECT_EQ(Messages(), std::vector<std::string>{"Cannot create file \"" + (folder / "named.tkra").string() +
                                                   "\". Permission denied."});
    EXPECT_FALSE(fs::exists(folder / "named.tkra") || fs::exists(store / "named.tkra"));
    EXPECT_EQ(form->Caption(), before);

    asUser([&] {
        TMainForm restarted(nullptr);
        restarted.AfterConstruction();
        ASSERT_NE(restarted.Engine()->Tempo, 137);
        dialog(DialogKind::OpenFile, [&](const std::string& at) {
            return std::ranges::count(listed, "mine.tkra") ? at + "/mine.tkra" : at + "/not listed.tkra";
        });
        Press(Qt::Key_O, Qt::ControlModifier, &restarted);
        EXPECT_EQ(offered, store.string());
        EXPECT_EQ(restarted.Engine()->Tempo, 137);
        EXPECT_EQ(restarted.Caption(), AnsiString(("Tikora - " + (store / "mine.tkra").string()).c_str()));
    });
    EXPECT_EQ(Messages().size(), 1u) << formstest::Join(Messages());
    // The Player reports to the program's window again.
    player.SetEndNotify(85, 127, form->Handle(), WM_PLAYER_END);
    player.SetEventNotify(form->Handle(), WM_PLAYER_EVENT);
    chmod(folder.c_str(), 0755);
    chmod(program.config.c_str(), 0755);
}

// ---- The tempo scale, the manual and the mixer

// Read from the weight's top edge, the face shows the tempo the engine placed the weight for: the
// numbered marks (the ticks long enough to reach a column left of the weight) lie where the
// weight's top edge stands for their tempo, in the main window and both sizes of the small window.
TEST_F(MainWindowTest, WeightTopEdgePointsAtItsTempoOnTheScale) {
    const std::vector<int> full = {40, 50, 60, 72, 84, 96, 108, 120, 132, 144, 160, 176, 192, 208};
    const struct {
        bool big, micro;
        std::vector<int> numbered;
        int column;  // left of the axis
    } faces[] = {
        {true, false, full, 30}, {false, false, full, 30}, {false, true, {40, 60, 80, 104, 126, 152, 176, 208}, 15}};
    form->Show();
    const int tempo = engine->Tempo;
    engine->ResetPhase(0);  // at rest, upright
    engine->AdvanceTime(0);
    for (const auto& f : faces) {
        SCOPED_TRACE(f.micro ? "micro" : f.big ? "main" : "small");
        engine->GetSettingsDialogTag()->SetBool("MicroMode", f.micro);
        form->SetFullScreenMode(f.big, false);
        TBitmap* view = form->DrawTarget()->Picture()->Bitmap();
        const int x = view->Width() / 2 + 1 - f.column;
        std::vector<int> ink;
        for (int y = 0; y < view->Height(); ++y) {
            TColor c = view->Canvas()->Pixels(x, y);
            ink.push_back(255 - (GetRValue(c) + GetGValue(c) + GetBValue(c)) / 3);
        }
        // On the plate only: from its first light row to its last.
        const auto light = [](int v) { return v < 60; };
        const int top = int(std::find_if(ink.begin(), ink.end(), light) - ink.begin());
        const int bottom = int(ink.rend() - std::find_if(ink.rbegin(), ink.rend(), light));
        std::vector<double> marks;  // centres of the dark runs, weighted by darkness
        double sum = 0, weighted = 0;
        for (int y = top; y < bottom; ++y) {
            if (ink[y] > 100) {
                sum += ink[y];
                weighted += ink[y] * y;
            } else if (sum > 0) {
                marks.push_back(weighted / sum);
                sum = weighted = 0;
            }
        }
        ASSERT_EQ(marks.size(), f.numbered.size());
        for (size_t i = 0; i < marks.size(); ++i) {
            form->ChangeTempo(f.numbered[i]);
            ASSERT_EQ(engine->GetPendulumTempo(), f.numbered[i]);
            const TQuad& weight = engine->WeightQuad;
            EXPECT_EQ(weight[0].y, weight[1].y) << "the weight stands level while stopped";
            EXPECT_NEAR(std::min(weight[0].y, weight[3].y), marks[i], 1.0) << f.numbered[i];
        }
    }
    engine->GetSettingsDialogTag()->SetBool("MicroMode", false);
    form->SetFullScreenMode(true, false);
    form->ChangeTempo(tempo);
}

// F1 and the Help button open the manual beside the program with the desktop's opener; the
// speaker button starts the first mixer installed, here a stand-in on PATH.
TEST_F(MainWindowTest, HelpOpensTheManualAndTheSpeakerButtonTheMixer) {
    const fs::path manual = ProgramEnvironment::folder / "help" / "index.html";
    fs::create_directories(manual.parent_path());
    std::ofstream(manual) << "<html></html>";
    const fs::path bin = ProgramEnvironment::folder / "bin";
    fs::create_directories(bin);
    std::ofstream(bin / "kmix") << "#!/bin/sh\n";
    fs::permissions(bin / "kmix", fs::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", bin.c_str(), 1);
    // No mixer window on a display is found (a test of its own finds one on a display of its own).
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    std::vector<std::string> opened;
    std::vector<std::vector<std::string>> started;
    tikora::ShellHooks hooks;
    hooks.openDocument = [&](const std::string& file) {
        opened.push_back(file);
        return true;
    };
    hooks.startProcess = [&](const std::vector<std::string>& argv) -> int64_t {
        started.push_back(argv);
        return 4242;
    };
    {
        tikora::ScopedShellHooks scope(hooks);
        form->Show();
        Press(Qt::Key_F1, Qt::NoModifier, form);
        for (TWinControl* button :
             {static_cast<TWinControl*>(form->HelpButton), static_cast<TWinControl*>(form->SpeakerButton)}) {
            Click(button, button->Width() / 2, button->Height() / 2);
        }
        // A help file of the old kind beside the program comes first.
        const fs::path chm = Application->ExeName().str() + ".chm";
        std::ofstream(chm) << "help";
        Press(Qt::Key_F1, Qt::NoModifier, form);
        fs::remove(chm);
        EXPECT_EQ(opened.back(), chm.string());
        opened.pop_back();
    }
    setenv("PATH", path.c_str(), 1);
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    EXPECT_EQ(opened, std::vector<std::string>(2, manual.string()));
    EXPECT_EQ(started, std::vector<std::vector<std::string>>{{"kmix"}});
}

// A program closed in the small window starts there again; after F8 and a change of tempo the
// Load button on screen looks as it does in a start in the main window.
TEST_F(MainWindowTest, StartInTheSmallWindowKeepsTheTopPanelsButtonsOnScreen) {
    auto loadButtonAfterTempoUp = [](TMainForm* window) {
        Press(Qt::Key_BracketRight, Qt::NoModifier, window);
        formstest::Pump();
        QWidget* w = window->LoadButton->Widget();
        const QPoint at = w->mapTo(w->window(), QPoint(0, 0));
        QScreen* screen = QGuiApplication::primaryScreen();
        return screen->grabWindow(w->window()->winId(), at.x(), at.y(), w->width(), w->height()).toImage();
    };
    const int tempo = engine->Tempo;
    form->Show();
    formstest::Pump();
    const QImage expected = loadButtonAfterTempoUp(form);
    TCloseAction action = caHide;
    Press(Qt::Key_F8);
    form->FormClose(form, action);  // closed in the small window
    Press(Qt::Key_F8, Qt::NoModifier, form->Minimized());
    {
        TMainForm restarted(nullptr);
        MainForm = &restarted;
        restarted.AfterConstruction();
        restarted.Show();
        EXPECT_TRUE(formstest::WaitUntil([&] { return restarted.Minimized()->Visible(); }));
        Press(Qt::Key_F8, Qt::NoModifier, restarted.Minimized());
        EXPECT_TRUE(formstest::WaitUntil([&] { return restarted.Widget()->windowHandle()->isExposed(); }));
        const QImage shown = loadButtonAfterTempoUp(&restarted);
        int differing = 0;
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x) differing += shown.pixel(x, y) != expected.pixel(x, y);
        EXPECT_EQ(differing, 0) << "of " << expected.width() * expected.height() << " pixels";
        MainForm = form;
    }
    player.SetEndNotify(85, 127, form->Handle(), WM_PLAYER_END);
    player.SetEventNotify(form->Handle(), WM_PLAYER_EVENT);
    form->ChangeTempo(tempo);
    form->FormClose(form, action);
}

}  // namespace
