// The settings window: what it reads from and writes to tag "SettingsDialog", the device list and
// its latencies, presets, wave files, and the engine's live reads of its controls.
#include <gtest/gtest.h>

#include "Dsoundplay.h"
#include "MidiOutDevices.h"
#include "Player.h"
#include "SettingsTestSupport.h"
#include "Tdevelopervariables.h"
#include "Tmetronomgame.h"
#include "Tsettingsform.h"

using namespace apptest;
using tikora::winmm::MidiOutDeviceList;
using tikora::winmm::RecordingMidiOut;
using tikora::winmm::ScopedMidiOutDevices;

namespace {

class SettingsWindowTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        folder = std::make_unique<ScratchFolder>(::testing::UnitTest::GetInstance()->current_test_info()->name());
        sequencer = std::make_unique<Player>();
        engine = std::make_unique<TMetronomeGame>(sequencer.get());
    }
    void TearDown() override {
        form.reset();
        WavePlayer.reset();
        engine.reset();
        sequencer.reset();
        folder.reset();
        AppTest::TearDown();
    }
    TDVContext* Tag() { return engine->GetSettingsDialogTag(); }
    void Open() {
        form.reset(new TSettingsForm(nullptr));
        form->SetGame(engine.get());
        form->AfterConstruction();
    }
    void AddPreset(const std::string& name, int volume, const char* patch, const char* wave = "") {
        std::vector<std::string> lines = {"Preset[" + name + "]{"};
        for (const char* set : {"Bar", "Beat", "Sub"})
            lines.insert(lines.end(),
                         {std::string("Set[") + set + "]{", "UseMidi=0", "Volume=" + std::to_string(volume),
                          std::string("MidiPatch=\"") + patch + "\"", std::string("WaveFile=\"") + wave + "\"", "}"});
        lines.push_back("}");
        LoadLines(Tag(), lines);
    }
    std::vector<std::string> Presets() {
        std::vector<std::string> out;
        for (int i = 0; i < form->PresetCombo->Items()->Count(); ++i)
            out.push_back(form->PresetCombo->Items()->Strings(i).str());
        return out;
    }

    std::shared_ptr<RecordingMidiOut> synth = std::make_shared<RecordingMidiOut>("Synth A");
    std::shared_ptr<RecordingMidiOut> port = std::make_shared<RecordingMidiOut>("Port B");
    ScopedMidiOutDevices devices{MidiOutDeviceList{synth, port}};
    std::unique_ptr<ScratchFolder> folder;
    std::unique_ptr<Player> sequencer;
    std::unique_ptr<TMetronomeGame> engine;
    std::unique_ptr<TSettingsForm> form;
};

using CheckMember = TCheckBox* TSettingsForm::*;
const std::vector<std::pair<const char*, CheckMember>> kBoolOptions = {
    {"DisableAnimation", &TSettingsForm::DisableAnimation}, {"ShowFlashingLight", &TSettingsForm::ShowFlashingLight},
    {"ShowFlyByHints", &TSettingsForm::ShowFlyByHints},     {"TapTempoAutoStart", &TSettingsForm::TapTempoAutoStart},
    {"AllwaysOnTop", &TSettingsForm::AllwaysOnTop},         {"AutoResetTimer", &TSettingsForm::AutoResetTimer},
    {"UseDefTempoWMidi", &TSettingsForm::UseDefTempoWMidi}, {"MicroMode", &TSettingsForm::MicroMode},
};

TEST_F(SettingsWindowTest, OptionsTravelBetweenSettingsAndControls) {
    // Two alternating patterns, so that every option is seen both ways.
    for (int pattern = 0; pattern < 2; ++pattern) {
        SCOPED_TRACE(pattern);
        for (size_t i = 0; i < kBoolOptions.size(); ++i) Tag()->SetBool(kBoolOptions[i].first, (i + pattern) % 2 == 0);
        Tag()->SetBool("MClickCenter", pattern == 0);
        Tag()->SetInteger("MClickLatency", 30 + pattern);
        Open();
        for (size_t i = 0; i < kBoolOptions.size(); ++i)
            EXPECT_EQ((form.get()->*kBoolOptions[i].second)->Checked(), (i + pattern) % 2 == 0)
                << kBoolOptions[i].first;
        EXPECT_EQ(form->MClickCenter->Checked(), pattern == 0);
        EXPECT_EQ(form->MClickBorder->Checked(), pattern != 0);
        EXPECT_EQ(form->MClickLatency->Value(), 30 + pattern);

        // Flip everything in the window; OK stores it.
        for (const auto& [key, member] : kBoolOptions)
            (form.get()->*member)->SetChecked(!(form.get()->*member)->Checked());
        (pattern == 0 ? form->MClickBorder : form->MClickCenter)->SetChecked(true);
        form->MClickLatency->SetValue(77);
        formstest::Click(form->Button1, 4, 4);
        EXPECT_EQ(form->ModalResult(), mrOk);
        for (size_t i = 0; i < kBoolOptions.size(); ++i)
            EXPECT_EQ(Tag()->GetBool(kBoolOptions[i].first), (i + pattern) % 2 != 0) << kBoolOptions[i].first;
        EXPECT_EQ(Tag()->GetBool("MClickCenter"), pattern != 0);
        EXPECT_EQ(Tag()->GetInteger("MClickLatency"), 77);
    }
}

TEST_F(SettingsWindowTest, DeviceIsChosenByNameWithItsOwnLatency) {
    struct Case {
        const char* stored;
        bool portFails;
        int index;
        int latency;
        int openDevice;
    };
    const Case cases[] = {
        {"Port B", false, 1, 45, 1},
        {"port b", false, 1, 45, 1},
        {"Unplugged Synth", false, 0, 5, 0},
        // The device that fails to open gives way to the one the player has open, with that
        // device's latency rather than the failed one's.
        {"Port B", true, 0, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored + std::string(c.portFails ? " failing" : ""));
        port->failOpen = c.portFails;
        Tag()->SetString("MidiDriver", c.stored);
        Tag()->SetIntegerIdx("Latency[#]", 5, 1);
        Tag()->SetIntegerIdx("Latency[#]", 45, 2);
        Open();
        ASSERT_EQ(form->MIDIOutDriver->Items()->Count(), 2);
        EXPECT_EQ(form->MIDIOutDriver->Items()->Strings(0), "Synth A");
        EXPECT_EQ(form->MIDIOutDriver->ItemIndex(), c.index);
        EXPECT_EQ(form->Latency->Value(), c.latency);
        EXPECT_EQ(sequencer->OutDevice, c.openDevice);
        sequencer->OpenOutDevice(0);
    }
}

TEST_F(SettingsWindowTest, LatencyFollowsTheDeviceAndTheButtons) {
    // As shipped, the synthesizer's latency is automatic: the sound path's own, on the null sink
    // its 30 ms of scheduling. OK keeps it automatic until another value is chosen.
    Tag()->SetIntegerIdx("Latency[#]", -1, 1);
    Tag()->SetIntegerIdx("Latency[#]", 34, 2);
    Open();
    EXPECT_EQ(form->Latency->Value(), 30);
    formstest::Click(form->Button1, 4, 4);
    EXPECT_EQ(Tag()->GetIntegerIdx("Latency[#]", 1), -1);
    form->Latency->SetValue(12);
    formstest::Click(form->Button1, 4, 4);
    EXPECT_EQ(Tag()->GetIntegerIdx("Latency[#]", 1), 12);
    form->MIDIOutDriver->SetItemIndex(1);
    form->MIDIOutDriverChange(form->MIDIOutDriver);
    EXPECT_EQ(form->Latency->Value(), 34);
    formstest::Click(form->Button3, 4, 4);
    EXPECT_EQ(form->Latency->Value(), 60);
    form->Button3Click(form->Button2);
    EXPECT_EQ(form->Latency->Value(), 0);
    form->Latency->SetValue(21);
    formstest::Click(form->Button1, 4, 4);
    EXPECT_EQ(Tag()->GetString("MidiDriver"), "Port B");
    EXPECT_EQ(Tag()->GetIntegerIdx("Latency[#]", 2), 21);
    EXPECT_EQ(Tag()->GetIntegerIdx("Latency[#]", 1), 12);
    EXPECT_EQ(sequencer->OutDevice, 1);
}

TEST_F(SettingsWindowTest, NoDeviceLeavesTheListEmptyAndStoresNoLatency) {
    ScopedMidiOutDevices none{MidiOutDeviceList{}};
    Tag()->SetIntegerIdx("Latency[#]", 8, 1);
    Open();
    EXPECT_EQ(form->MIDIOutDriver->Items()->Count(), 0);
    EXPECT_EQ(form->MIDIOutDriver->ItemIndex(), -1);
    form->Latency->SetValue(99);
    formstest::Click(form->Button1, 4, 4);
    EXPECT_EQ(Tag()->GetIntegerIdx("Latency[#]", 1), 8);
}

TEST_F(SettingsWindowTest, PresetChoiceIsUndoneByCancelAndOkStoresDefault) {
    AddPreset("loud", 120, "Cowbell");
    Open();
    EXPECT_EQ(Presets(), (std::vector<std::string>{"default", "loud"}));
    const int defaultVolume = form->BarVolume->Value();
    const AnsiString defaultPatch = form->BarPatch->Text();

    form->PresetCombo->SetItemIndex(1);
    form->PresetComboChange(form->PresetCombo);
    EXPECT_EQ(form->BarVolume->Value(), 120);
    EXPECT_EQ(form->SubPatch->Text(), "Cowbell");
    EXPECT_TRUE(form->BeatsUseWave->Checked());
    formstest::Click(form->CancelButton, 4, 4);
    EXPECT_EQ(form->ModalResult(), mrCancel);
    EXPECT_EQ(form->PresetCombo->Text(), "default");
    EXPECT_EQ(form->BarVolume->Value(), defaultVolume);
    EXPECT_EQ(form->BarPatch->Text(), defaultPatch);

    // OK with "loud" selected stores what is shown as "default", and leaves "loud" alone.
    form->PresetCombo->SetItemIndex(1);
    form->PresetComboChange(form->PresetCombo);
    form->BarVolume->SetValue(101);
    formstest::Click(form->Button1, 4, 4);
    EXPECT_EQ(Tag()->GetInteger("Preset[default].Set[Bar].Volume"), 101);
    EXPECT_EQ(Tag()->GetString("Preset[default].Set[Sub].MidiPatch"), "Cowbell");
    EXPECT_FALSE(Tag()->GetBool("Preset[default].Set[Beat].UseMidi"));
    EXPECT_EQ(Tag()->GetInteger("Preset[loud].Set[Bar].Volume"), 120);
}

TEST_F(SettingsWindowTest, NewPresetNames) {
    struct Case {
        int answer;
        const char* typed;
        const char* message;  // "" when the preset is made
        const char* made;
    };
    const Case cases[] = {
        {IDOK, "  fast  ", "", "fast"},
        {IDOK, "   ", "Invalid name!", ""},
        {IDOK, "default", "This preset allready exists!", ""},
        {IDOK, "DEFAULT", "This preset allready exists!", ""},
        // Characters that the settings language reads as several IDs, a range or a block.
        {IDOK, "a,b", "Invalid name!", ""},
        {IDOK, "1-40", "Invalid name!", ""},
        {IDOK, "x]{", "Invalid name!", ""},
        {IDCANCEL, "never", "", ""},
    };
    AddPreset("loud", 120, "Cowbell");
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        tikora::forms::ClearDialogLog();
        const int beeps = tikora::forms::MessageBeepCount();
        const auto before = Presets();
        form->PresetCombo->SetItemIndex(1);  // "loud" is the one copied
        tikora::forms::ScriptDialog(c.answer, c.typed);
        formstest::Click(form->Button4, 4, 4);
        const auto shown = Messages();
        if (*c.message) {
            EXPECT_EQ(shown, std::vector<std::string>{c.message});
            EXPECT_EQ(tikora::forms::MessageBeepCount(), beeps + 1);
        } else {
            EXPECT_TRUE(shown.empty());
        }
        if (*c.made) {
            EXPECT_EQ(form->PresetCombo->Text(), c.made);
            EXPECT_EQ(Tag()->GetInteger(AnsiString("Preset[") + c.made + "].Set[Sub].Volume"), 120);
            EXPECT_EQ(Tag()->GetString(AnsiString("Preset[") + c.made + "].Set[Bar].MidiPatch"), "Cowbell");
            TStringList list;
            Tag()->EnumListIDs("Preset", &list);
            EXPECT_EQ(list.Count(), static_cast<int>(before.size()) + 1);
        } else {
            EXPECT_EQ(Presets(), before);
        }
    }
}

TEST_F(SettingsWindowTest, DeletingPresets) {
    struct Case {
        const char* name;
        int answer;
        const char* message;
        bool gone;
    };
    const Case cases[] = {
        {"default", IDYES, "This preset can not be deleted!", false},
        {"loud", IDNO, "", false},
        {"loud", IDYES, "", true},
    };
    AddPreset("loud", 120, "Cowbell");
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.answer));
        tikora::forms::ClearDialogLog();
        form->PresetCombo->SetItemIndex(form->PresetCombo->Items()->IndexOf(c.name));
        tikora::forms::ScriptDialog(c.answer);
        formstest::Click(form->Button5, 4, 4);
        if (*c.message) {
            EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
            tikora::forms::ClearDialogScript();
        } else {
            ASSERT_EQ(tikora::forms::DialogLog().size(), 1u);
            EXPECT_EQ(tikora::forms::DialogLog()[0].caption, "Delete preset");
            EXPECT_EQ(tikora::forms::DialogLog()[0].text, "Press Yes to delete selected preset, press No to cancel");
        }
        EXPECT_EQ(form->PresetCombo->Items()->IndexOf(c.name) < 0, c.gone);
        TStringList ids;
        Tag()->EnumListIDs("Preset", &ids);
        EXPECT_EQ(ids.IndexOf(c.name) < 0, c.gone);
    }
    // Nothing is selected now: saving must not write into the list's template.
    form->BarVolume->SetValue(3);
    formstest::Click(form->Button6, 4, 4);
    TStringList ids;
    Tag()->EnumListIDs("Preset", &ids);
    EXPECT_EQ(ids.Count(), 1);
    EXPECT_NE(Tag()->GetInteger("Preset[brandnew].Set[Bar].Volume"), 3);
}

TEST_F(SettingsWindowTest, CopyingWavesIntoTheWavsFolder) {
    Open();
    folder->Write("outside/Click.wav", "new");
    folder->Write("outside/Tock", "plain");
    folder->Write("outside.v2/Bell", "dotted folder");
    folder->Write("wavs/Click.wav", "old");
    folder->Write("wavs/Click(1).wav", "older");
    folder->Write("wavs/Inside.wav", "here");
    const std::string root = folder->Path().string() + "/";
    struct Case {
        std::string path;
        const char* edit;    // what the edit shows afterwards ("keep" = unchanged)
        const char* copied;  // the file made in wavs, or ""
        bool failure;
    };
    const Case cases[] = {
        {root + "outside/Click.wav", "Click(2).wav", "Click(2).wav", false},
        {root + "outside/Tock", "Tock", "Tock", false},
        {root + "outside.v2/Bell", "Bell", "Bell", false},
        {root + "wavs/Inside.wav", "Inside.wav", "", false},
        {root + "WAVS\\Inside.wav", "Inside.wav", "", false},
        {root + "outside/Missing.wav", "keep", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        tikora::forms::ClearDialogLog();
        form->BarWaveFile->SetText("before.wav");
        const auto filesBefore = std::distance(fs::directory_iterator(folder->Path() / "wavs"), {});
        form->CopyWave(form->BarWaveFile, c.path.c_str());
        EXPECT_EQ(form->BarWaveFile->Text(), std::string(c.edit) == "keep" ? "before.wav" : c.edit);
        const auto filesAfter = std::distance(fs::directory_iterator(folder->Path() / "wavs"), {});
        EXPECT_EQ(filesAfter - filesBefore, *c.copied ? 1 : 0);
        if (*c.copied) {
            EXPECT_TRUE(fs::exists(folder->Path() / "wavs" / c.copied));
        }
        EXPECT_EQ(Messages(), c.failure ? std::vector<std::string>{"Unable copy selected file to wavs directory!"}
                                        : std::vector<std::string>{});
    }
    EXPECT_EQ(folder->Read("wavs/Click.wav"), "old");
    EXPECT_EQ(folder->Read("wavs/Click(2).wav"), "new");
}

TEST_F(SettingsWindowTest, BrowsingMarksTheWavesChanged) {
    Open();
    folder->Write("elsewhere/Snap.wav", PcmWave());
    form->FormShow(form.get());
    EXPECT_FALSE(form->WavesChanged());
    tikora::forms::ScriptDialog(IDCANCEL);
    form->SpeedButton2Click(form->SpeedButton2);
    EXPECT_FALSE(form->WavesChanged());
    tikora::forms::ScriptDialog(IDOK, (folder->Path() / "elsewhere" / "Snap.wav").string().c_str());
    form->SpeedButton2Click(form->SpeedButton2);
    EXPECT_TRUE(form->WavesChanged());
    EXPECT_EQ(form->BeatsWaveFile->Text(), "Snap.wav");
    const auto& log = tikora::forms::DialogLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().kind, tikora::forms::DialogKind::OpenFile);
    EXPECT_EQ(form->OpenD->InitialDir(), TSettingsForm::WavsFolder());
    formstest::Click(form->Button1, 4, 4);
    ASSERT_TRUE(WavePlayer);
    EXPECT_TRUE(WavePlayer->HasSound("Snap.wav"));
    form->FormShow(form.get());
    EXPECT_FALSE(form->WavesChanged());
}

TEST_F(SettingsWindowTest, WavesLoadOneByOne) {
    folder->Write("wavs/Good.wav", PcmWave());
    folder->Write("wavs/Broken.wav", "RIFF junk");
    folder->Write("wavs/Other.wav", PcmWave(32));
    AddPreset("waves", 100, "Claves", "Good.wav");
    LoadLines(Tag(), {"Preset[default].Set[Bar].WaveFile=\"Good.wav\"",
                      "Preset[default].Set[Beat].WaveFile=\"Broken.wav\"", "Preset[default].Set[Sub].WaveFile=\"\""});
    Open();
    ASSERT_TRUE(WavePlayer);
    EXPECT_TRUE(WavePlayer->HasSound("Good.wav"));
    EXPECT_FALSE(WavePlayer->HasSound("Broken.wav"));
    EXPECT_EQ(Messages().size(), 1u);  // the broken one's message, and the loading went on
    EXPECT_FALSE(form->LoadingWaves());
    form->PlayWave("Good.wav", -600, 2000);
    form->PlayWave("Unknown.wav", 0, 0);
    form->StopAll();

    // A preset with other waves, chosen and confirmed without browsing, loads them too.
    form->FormShow(form.get());
    LoadLines(Tag(), {"Preset[waves].Set[Sub].WaveFile=\"Other.wav\""});
    form->PresetCombo->SetItemIndex(form->PresetCombo->Items()->IndexOf("waves"));
    form->PresetComboChange(form->PresetCombo);
    formstest::Click(form->Button1, 4, 4);
    EXPECT_TRUE(WavePlayer->HasSound("Other.wav"));
    EXPECT_TRUE(WavePlayer->HasSound("Good.wav"));
}

TEST_F(SettingsWindowTest, EngineReadsTheControlsLive) {
    Open();
    EXPECT_EQ(engine->GetHost(), form->EngineHost());
    form->BarPatch->SetItemIndex(21);  // Claves
    form->BarVolume->SetValue(111);
    form->BarPan->SetValue(-7);
    form->BeatsUseWave->SetChecked(true);
    form->BeatsWaveFile->SetText("Tock.wav");
    form->SubPatch->SetItemIndex(24);  // M. Bell
    form->SubPan->SetValue(90);        // beyond the range: the spin edit keeps it inside
    form->Latency->SetValue(42);
    form->MClickCenter->SetChecked(true);
    form->MClickLatency->SetValue(17);
    EXPECT_EQ(engine->ReadNoteSets(), 42);
    ASSERT_EQ(engine->NoteSets.size(), 3u);
    EXPECT_EQ(engine->NoteSets[0].Patch, 75);
    EXPECT_EQ(engine->NoteSets[0].Volume, 111);
    EXPECT_EQ(engine->NoteSets[0].Pan, -7);
    EXPECT_EQ(engine->NoteSets[0].UseMidi, 1);
    EXPECT_EQ(engine->NoteSets[1].UseMidi, 0);
    EXPECT_EQ(engine->NoteSets[1].WaveFile, "Tock.wav");
    EXPECT_EQ(engine->NoteSets[2].Patch, 34);
    EXPECT_EQ(engine->NoteSets[2].Pan, 63);
    EXPECT_FALSE(form->EngineHost()->MClickBorder());
    EXPECT_EQ(form->EngineHost()->MClickLatency(), 17);
    form.reset();
    EXPECT_NE(engine->GetHost(), nullptr);
    EXPECT_EQ(engine->ReadNoteSets(), engine->GetHost()->Latency());
}

TEST_F(SettingsWindowTest, FlyByHintsSetTheHintPause) {
    for (bool on : {false, true, false}) {
        Tag()->SetBool("ShowFlyByHints", on);
        Open();
        EXPECT_EQ(Application->HintPause(), on ? 400 : 65000);
        form->ShowFlyByHints->SetChecked(!on);
        formstest::Click(form->Button1, 4, 4);
        EXPECT_EQ(Application->HintPause(), on ? 65000 : 400);
    }
}

TEST_F(SettingsWindowTest, KeysAndClosingWithoutOkRestore) {
    Open();
    const int stored = form->BarVolume->Value();
    // Enter closes nothing, in the latency field or elsewhere; Escape cancels.
    form->SetModalResult(mrNone);
    dialogtest::Key(form->Latency, Qt::Key_Return);
    dialogtest::Key(form->BarVolume, Qt::Key_Enter);
    EXPECT_EQ(form->ModalResult(), mrNone);
    form->BarVolume->SetValue(stored - 10);
    dialogtest::Key(form->BarVolume, Qt::Key_Escape);
    EXPECT_EQ(form->ModalResult(), mrCancel);
    EXPECT_EQ(form->BarVolume->Value(), stored);

    // Shown modally and closed by the window's frame, not by a button.
    dialogtest::WhileModal([&](TForm*) { form->BarVolume->SetValue(stored - 20); });
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_EQ(form->BarVolume->Value(), stored);

    dialogtest::WhileModal([&](TForm*) {
        form->BarVolume->SetValue(stored - 30);
        form->Button1->Click();
    });
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_EQ(form->BarVolume->Value(), stored - 30);
    EXPECT_EQ(Tag()->GetInteger("Preset[default].Set[Bar].Volume"), stored - 30);
}

}  // namespace
