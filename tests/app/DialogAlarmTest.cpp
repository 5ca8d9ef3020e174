// The alarm set-up: the stored block "Alarm", the controls, and the alarm applied to the timer.
#include <memory>
#include <string>
#include <tuple>

#include "DialogTestSupport.h"
#include "FileFunctions.h"
#include "Talarmsetup.h"
#include "Tdevelopervariables.h"

using namespace dialogtest;

namespace {

struct Alarm : DialogFixture {
    void SetUp() override {
        DialogFixture::SetUp();
        context = std::make_unique<TDVContext>();
        context->LoadFromFile(TIKORA_SOURCE_DIR "/data/defs/Tikora.def", true);
        settings = context->GetContext("Settings");
        ASSERT_NE(settings, nullptr);
        setup = Ensure(AlarmSetup);
        setup->UseSettings(settings);
    }
    void TearDown() override {
        setup->UseSettings(nullptr);
        DialogFixture::TearDown();
    }
    void Store(bool enabled, bool playWave, bool autoStop, int h, int m, int s, const char* wave) {
        settings->SetBool("Alarm.Enabled", enabled);
        settings->SetBool("Alarm.PlayWave", playWave);
        settings->SetBool("Alarm.AutoStop", autoStop);
        settings->SetInteger("Alarm.Hour", h);
        settings->SetInteger("Alarm.Min", m);
        settings->SetInteger("Alarm.Sec", s);
        settings->SetString("Alarm.WaveFile", wave);
    }
    // The seven stored keys, and what the dialog shows with the alarm it applies to the timer.
    using Block = std::tuple<bool, bool, bool, int, int, int, std::string>;
    using State = std::tuple<int, int, int, bool, bool, std::string, int32_t, bool, bool, std::string>;
    Block Stored() const {
        return {settings->GetBool("Alarm.Enabled"),
                settings->GetBool("Alarm.PlayWave"),
                settings->GetBool("Alarm.AutoStop"),
                settings->GetInteger("Alarm.Hour"),
                settings->GetInteger("Alarm.Min"),
                settings->GetInteger("Alarm.Sec"),
                settings->GetString("Alarm.WaveFile").c_str()};
    }
    State Shown() const {
        return {setup->Hour->Value(),       setup->Min->Value(),      setup->Sec->Value(),
                setup->AutoStop->Checked(), setup->Dialog->Checked(), setup->AlarmFileName->Text().c_str(),
                setup->AlarmTime,           setup->AlarmEnabled,      setup->DialogMode,
                setup->WavePath.c_str()};
    }
    static std::string WavePathOf(const char* name) {
        return (IncludeTrailingBackslash(GetCurrentDir()) + "wavs\\" + name).c_str();
    }
    std::unique_ptr<TDVContext> context;
    TDVContext* settings = nullptr;
    TAlarmSetup* setup = nullptr;
};

TEST_F(Alarm, StoredBlockBecomesTheAppliedAlarm) {
    struct Case {
        bool enabled, playWave, autoStop;
        int h, m, s;
        const char* wave;
        int32_t time;
        bool dialogMode;
        std::string path;
        int hour, min, sec;  // as the spin edits hold them
    };
    const Case cases[] = {
        {true, true, false, 1, 2, 3, "Bell.wav", 3723, true, WavePathOf("Bell.wav"), 1, 2, 3},
        {false, false, true, 0, 30, 0, "Bell.wav", 1800, false, "", 0, 30, 0},
        {true, true, true, 0, 0, 0, "Alarm.wav", 0, false, WavePathOf("Alarm.wav"), 0, 0, 0},
        // Without a file name there is nothing to play.
        {true, true, true, 0, 0, 5, "  ", 5, false, "", 0, 0, 5},
        // A hand-edited file cannot push the alarm past the fields' ranges.
        {true, false, false, 99, -5, 75, "x.wav", 24 * 3600 + 59, true, "", 24, 0, 59},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        Store(c.enabled, c.playWave, c.autoStop, c.h, c.m, c.s, c.wave);
        setup->FormCreate(setup);
        EXPECT_EQ(Shown(), State(c.hour, c.min, c.sec, c.autoStop, !c.autoStop, c.wave, c.time, c.enabled, c.dialogMode,
                                 c.path));
    }
}

TEST_F(Alarm, OkStoresAndAppliesCancelAndEscapeRestore) {
    Store(false, true, true, 0, 30, 0, "Alarm.wav");
    setup->FormCreate(setup);

    auto edit = [this] {
        setup->aAlarmEnabled->SetChecked(true);
        setup->Hour->SetValue(2);
        setup->Min->SetValue(0);
        setup->Sec->SetValue(1);
        setup->Dialog->SetChecked(true);
        setup->PlayWave->SetChecked(false);
        setup->AlarmFileName->SetText("Other.wav");
    };

    // Cancel: the controls come back from the block, and nothing applied or stored changes.
    WhileModal([&](TForm*) {
        edit();
        formstest::Click(setup->Button1, 4, 4);
    });
    const State before(0, 30, 0, true, false, "Alarm.wav", 1800, false, false, WavePathOf("Alarm.wav"));
    const Block stored(false, true, true, 0, 30, 0, "Alarm.wav");
    EXPECT_EQ(setup->ShowModal(), mrCancel);
    EXPECT_EQ(std::tuple(Shown(), Stored()), std::tuple(before, stored));

    // Escape from a field is the same Cancel.
    TModalResult seen = -1;
    WhileModal([&](TForm* f) {
        edit();
        Key(setup->AlarmFileName, Qt::Key_Escape);
        seen = f->ModalResult();
    });
    setup->ShowModal();
    EXPECT_EQ(std::tuple(seen, Shown(), Stored()), std::tuple(mrCancel, before, stored));

    // OK: the seven keys are stored and the alarm applied.
    WhileModal([&](TForm*) {
        edit();
        formstest::Click(setup->Button2, 4, 4);
    });
    EXPECT_EQ(setup->ShowModal(), mrOk);
    EXPECT_EQ(Stored(), Block(true, false, false, 2, 0, 1, "Other.wav"));
    EXPECT_EQ(Shown(), State(2, 0, 1, false, true, "Other.wav", 7201, true, true, ""));
}

TEST_F(Alarm, BrowsingStartsInTheWavesFolderAndCancelKeepsTheName) {
    Store(false, true, true, 0, 30, 0, "Alarm.wav");
    setup->ReadAlarm();
    tikora::forms::ScriptDialog(IDCANCEL);
    formstest::Click(setup->SpeedButton1, 4, 4);
    EXPECT_EQ(std::string(setup->OpenD->InitialDir().c_str()), WavePathOf(""));
    EXPECT_EQ(std::string(setup->OpenD->Filter().c_str()), "Wav files|*.wav|Windows media files|*.wma");
    EXPECT_EQ(std::string(setup->AlarmFileName->Text().c_str()), "Alarm.wav");
}

}  // namespace
