#include <tuple>

#include "AudioStream.h"
#include "EngineTestSupport.h"
#include "SysUtils.h"

using namespace enginetest;

TEST_F(EngineTest, ShippedDefinitionsAndInitialSettings) {
    fs::copy_file(fs::path(TIKORA_SOURCE_DIR) / "data/defs/Tikora.tkra", dir_ / "Tikora.tkra");
    TMetronomeGame& e = MakeEngine();
    EXPECT_EQ(e.Tempo, 120);
    EXPECT_EQ(e.TimeSignatureText, "4:4");
    EXPECT_EQ(e.Tool2Bars, 4);
    EXPECT_FLOAT_EQ(e.Tool3Duration, 1.0f);

    // Every favourite is a time signature the engine accepts.
    TStringList favourites;
    ASSERT_EQ(e.GetTimeSignatureList(&favourites), 9);
    for (int i = 0; i < favourites.Count(); ++i) {
        int num, den;
        std::vector<uint8_t> pattern;
        EXPECT_TRUE(TMetronomeGame::ParseTimeSignature(favourites[i], num, den, pattern)) << favourites[i];
    }
    EXPECT_EQ(favourites[5], "6:8 (3+3)");
    AnsiString memo;
    e.GetMemo(memo);
    EXPECT_EQ(memo.str(), "Welcome to Tikora!\r\nClick here to keep notes on your practice.");

    // The keys the windows read, with the type they read them as.
    TDVContext* root = e.GetContext();
    struct Key {
        const char* path;
        uint8_t type;
    };
    const Key keys[] = {
        {"Settings.Transpose", vtInteger},
        {"Settings.Memo", vtString},
        {"Settings.Alarm.Enabled", vtBool},
        {"Settings.Alarm.PlayWave", vtBool},
        {"Settings.Alarm.AutoStop", vtBool},
        {"Settings.Alarm.Hour", vtInteger},
        {"Settings.Alarm.Min", vtInteger},
        {"Settings.Alarm.Sec", vtInteger},
        {"Settings.Alarm.WaveFile", vtString},
        {"Settings.TimeSignature", vtString},
        {"SettingsDialog.MidiDriver", vtString},
        {"SettingsDialog.Latency", vtInteger},
        {"SettingsDialog.DisableAnimation", vtBool},
        {"SettingsDialog.ShowFlashingLight", vtBool},
        {"SettingsDialog.ShowFlyByHints", vtBool},
        {"SettingsDialog.TapTempoAutoStart", vtBool},
        {"SettingsDialog.AllwaysOnTop", vtBool},
        {"SettingsDialog.MClickCenter", vtBool},
        {"SettingsDialog.AutoResetTimer", vtBool},
        {"SettingsDialog.UseDefTempoWMidi", vtBool},
        {"SettingsDialog.MClickLatency", vtInteger},
        {"SettingsDialog.MicroMode", vtBool},
        {"SettingsDialog.FullScreenMode", vtBool},
        {"SettingsDialog.Preset", vtContext},
        {"Hints", vtString},
    };
    for (const Key& k : keys) {
        ASSERT_TRUE(root->TagExists(k.path)) << k.path;
        EXPECT_EQ(root->GetValType(k.path), k.type) << k.path;
    }
    EXPECT_EQ(root->GetIntegerIdx("SettingsDialog.Latency[#]", 3), -1);
    TStringList presets;
    root->EnumListIDs("SettingsDialog.Preset", &presets);
    EXPECT_EQ(presets.CommaText(), "default");
    for (const char* set : {"Bar", "Beat", "Sub"}) {
        AnsiString base = AnsiString("SettingsDialog.Preset[default].Set[") + set + "].";
        EXPECT_TRUE(root->GetBool(base + "UseMidi")) << set;
        EXPECT_GE(DrumIndexFromName(root->GetString(base + "MidiPatch")), 0) << set;
        EXPECT_GT(root->GetInteger(base + "Volume"), 0) << set;
    }

    // A hint for every control of the main and the small window.
    for (const char* name : {"TikoraPanel",
                             "ZelLogo",
                             "SaveButton",
                             "LoadButton",
                             "BpmUPButton",
                             "BpmDownButton",
                             "BpmSetButton",
                             "TimeSignatureButton",
                             "ResetTimerButton",
                             "SetAlarmButton",
                             "SettingsButton",
                             "HelpButton",
                             "AboutButton",
                             "PlayButton",
                             "StopButton",
                             "PauseButton",
                             "SpeakerButton",
                             "QSTS1Button",
                             "QSTS2Button",
                             "QSTS3Button",
                             "QSTS4Button",
                             "QS72BpmButton",
                             "QS88BpmButton",
                             "QS120BpmButton",
                             "QS176BpmButton",
                             "TapTempoButton",
                             "CheckBox1",
                             "CheckBox2",
                             "CheckBox3",
                             "CheckBox4",
                             "CheckBox5",
                             "TempoCalculatorButton",
                             "DrumBeatButton",
                             "MidiFileButton",
                             "MinimizeButton",
                             "TimerLab",
                             "TempoLab",
                             "SetTempo",
                             "TimeSignatureList",
                             "DrumBeatList",
                             "MidiFileList",
                             "Memo",
                             "MemoLab",
                             "MVolume",
                             "Tool1_Play",
                             "Tool1_Rest",
                             "Tool2_BPM_delta",
                             "Tool2_Bars",
                             "Tool5_Transp",
                             "CenterImage",
                             "MaximizeButton",
                             "CloseButton",
                             "View",
                             "Latency",
                             "MIDIOutDriver",
                             "BarPatch",
                             "SubWaveFile",
                             "aAlarmEnabled",
                             "NumberOfBarVal"}) {
        EXPECT_FALSE(root->GetValueAsStringIdx("Hints[#]", name).IsEmpty()) << name;
    }
    EXPECT_TRUE(root->GetValueAsStringIdx("Hints[#]", "NoSuchControl").IsEmpty());
    EXPECT_NE(root->GetValueAsStringIdx("Hints[#]", "CheckBox2").Pos("|"), 0);

    // Until the settings window takes over, the click sounds come from the preset "default".
    e.SetHost(nullptr);
    e.ReadNoteSets();
    ASSERT_EQ(e.NoteSets.size(), 3u);
    EXPECT_EQ(std::make_tuple(e.NoteSets[0].Patch, e.NoteSets[1].Patch, e.NoteSets[2].Patch, e.NoteSets[0].Volume),
              std::make_tuple(75, 37, 42, 127));
    // The shipped latency is the sound path's own: 30 ms of scheduling on the null sink, which
    // has no device buffer; a user's value stands; an external port adds nothing it knows of.
    ASSERT_TRUE(tikora::audio::UsingNullSink());
    EXPECT_EQ(e.Latency, 30);
    EXPECT_EQ(LatencyForDevice(-1, 0), 30);
    EXPECT_EQ(LatencyForDevice(-1, 2), 0);
    EXPECT_EQ(LatencyForDevice(0, 0), 0);
    EXPECT_EQ(LatencyForDevice(60, 1), 60);
}

TEST_F(EngineTest, SettingsRoundTripThroughFiles) {
    const auto tools = std::make_tuple(true, 3, 5, true, -4, 6, true, 90, 12, 2.5f);
    {
        TMetronomeGame& e = MakeEngine();
        e.SetTempo(133);
        ASSERT_TRUE(e.SetTimeSignature("7:8 (2+2+3)"));
        ASSERT_FALSE(e.SetTimeSignature("7:8 (2+2"));  // a refused text is never stored
        std::tie(e.Tool1Enabled, e.Tool1PlayBeats, e.Tool1RestBeats, e.Tool2Enabled, e.Tool2BPMDelta, e.Tool2Bars,
                 e.Tool3Enabled, e.Tool3Tempo, e.Tool3Bars, e.Tool3Duration) = tools;
        e.Tool4Enabled = true;
        e.Tool4MidiFile = "/music/Drums/Funk";
        e.Tool5MidiFile = "C:\\tunes\\My \"best\" song";
        e.SetMemo("He said \"4:4\", twice\r\nthen\nLF\rCR");
        e.GetSettingsDialogTag()->SetInteger("MClickLatency", 42);
        e.SaveSettings();
    }
    const std::string tkra = ReadFile("Tikora.tkra"), ini = ReadFile("Tikora.ini");
    EXPECT_EQ(tkra.rfind("Settings {", 0), 0u);
    EXPECT_EQ(tkra.find("SettingsDialog"), std::string::npos);
    EXPECT_EQ(ini.rfind("SettingsDialog {", 0), 0u);
    EXPECT_EQ(ini.find("DefTempo="), std::string::npos);
    EXPECT_NE(tkra.find("\tMemo=\"He said \"\"4:4\"\", twice||then||LF||CR\""), std::string::npos) << tkra;

    TMetronomeGame& e = MakeEngine();
    EXPECT_EQ(e.Tempo, 133);
    EXPECT_EQ(e.TimeSignatureText, "7:8 (2+2+3)");
    EXPECT_EQ(e.Numerator, 7);
    EXPECT_EQ(std::tie(e.Tool1Enabled, e.Tool1PlayBeats, e.Tool1RestBeats, e.Tool2Enabled, e.Tool2BPMDelta, e.Tool2Bars,
                       e.Tool3Enabled, e.Tool3Tempo, e.Tool3Bars, e.Tool3Duration),
              tools);
    EXPECT_TRUE(e.Tool4Enabled);
    EXPECT_EQ(e.Tool4MidiFile, "/music/Drums/Funk");
    EXPECT_FALSE(e.Tool5Enabled);
    EXPECT_EQ(e.Tool5MidiFile, "C:\\tunes\\My \"best\" song");
    AnsiString memo;
    e.GetMemo(memo);
    EXPECT_EQ(memo.str(), "He said \"4:4\", twice\r\nthen\r\nLF\r\nCR");
    EXPECT_EQ(e.GetSettingsDialogTag()->GetInteger("MClickLatency"), 42);
}

TEST_F(EngineTest, StoredValuesAreMadeUsable) {
    struct Case {
        const char* stored;
        int tempo;
        const char* text;     // TimeSignatureText after reading
        const char* written;  // DefTimeSignature written back
        int tool2Bars;
    };
    const Case cases[] = {
        {"Settings.Tool2.Bars=0", 120, "4:4", "\"4:4\"", 1},
        {"Settings.DefTempo=1000", 500, "4:4", "\"4:4\"", 4},
        {"Settings.DefTempo=-5", 40, "4:4", "\"4:4\"", 4},
        // Refused at start: the program would have no beats; "4:4" is applied and stored.
        {"Settings.DefTimeSignature=\"5:4 (2+2)\"", 120, "4:4", "\"4:4\"", 4},
        {"Settings.DefTimeSignature=\"99:4\"", 120, "4:4", "\"4:4\"", 4},
    };
    for (const Case& c : cases) {
        WriteFile("Tikora.tkra", std::string(c.stored) + "\n");
        TMetronomeGame& e = MakeEngine();
        EXPECT_EQ(e.Tempo, c.tempo) << c.stored;
        EXPECT_EQ(e.TimeSignatureText.str(), c.text) << c.stored;
        EXPECT_FALSE(e.AccentPattern.empty()) << c.stored;
        EXPECT_EQ(e.Tool2Bars, c.tool2Bars) << c.stored;
        e.SaveSettings();
        EXPECT_NE(ReadFile("Tikora.tkra").find(std::string("DefTimeSignature=") + c.written), std::string::npos)
            << c.stored;
    }
}

TEST_F(EngineTest, PresetsLoadAsideAndKeepTheDialogSettings) {
    TMetronomeGame& e = MakeEngine();
    e.SetTempo(77);
    ASSERT_TRUE(e.SetTimeSignature("3:4"));
    e.Tool1Enabled = true;
    e.SavePreset("slow.tkra");
    EXPECT_EQ(ReadFile("slow.tkra").find("SettingsDialog"), std::string::npos);

    e.SetTempo(180);
    ASSERT_TRUE(e.SetTimeSignature("5:4"));
    e.Tool1Enabled = false;
    e.GetSettingsDialogTag()->SetInteger("MClickLatency", 55);  // unsaved settings-window change

    e.LoadPreset("slow.tkra");
    EXPECT_EQ(e.Tempo, 77);
    EXPECT_EQ(e.TimeSignatureText, "3:4");
    EXPECT_TRUE(e.Tool1Enabled);
    EXPECT_EQ(e.GetSettingsDialogTag()->GetInteger("MClickLatency"), 55);
    EXPECT_EQ(e.GetContext()->GetInteger("SettingsDialog.MClickLatency"), 55);

    // A broken file leaves everything as it was.
    WriteFile("broken.tkra", "Settings {\n\tDefTempo=99\n\tNoSuchKey=1\n}\n");
    EXPECT_THROW(e.LoadPreset("broken.tkra"), Exception);
    EXPECT_EQ(e.Tempo, 77);
    EXPECT_EQ(e.GetSettingsTag()->GetInteger("DefTempo"), 77);
    EXPECT_EQ(e.GetSettingsDialogTag()->GetInteger("MClickLatency"), 55);

    // A file that does not exist resets the user's settings to the definitions.
    e.LoadPreset("nothing-here.tkra");
    EXPECT_EQ(e.Tempo, 120);
    EXPECT_EQ(e.TimeSignatureText, "4:4");
    EXPECT_FALSE(e.Tool1Enabled);
    EXPECT_EQ(e.GetSettingsDialogTag()->GetInteger("MClickLatency"), 55);

    fs::remove(dir_ / "Tikora.def");
    EXPECT_THROW(e.LoadPreset("slow.tkra"), Exception);
    EXPECT_EQ(e.Tempo, 120);
    EXPECT_THROW(std::make_unique<TMetronomeGame>(player.get()), Exception);
}
