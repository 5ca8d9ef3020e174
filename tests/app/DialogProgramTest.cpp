// The dialogs beside the real main window: what they read from it and from its engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Dialogs.h"
#include "FileFunctions.h"
#include "Talarmsetup.h"
#include "Tmainform.h"
#include "Tmetronomgame.h"
#include "Ttempocalculator.h"
#include "Ttslistedit.h"
#include "Ttslistitemeditor.h"

namespace fs = std::filesystem;

namespace {

class ProgramEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* tmp = std::getenv("TIKORA_TEST_TMP");
    folder = fs::path(tmp ? tmp : "/tmp") / ("dialogs-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path shipped = fs::path(TIKORA_BINARY_DIR) / "Tikora";
    for (const char* entry : {"pics", "Drums", "Midi", "wavs", "Tikora.def", "Tikora.tkra"})
      fs::copy(shipped / entry, folder / entry, fs::copy_options::recursive);
    tikora::app::ProgramFolderOverride() = AnsiString(folder.string().c_str());
    Application->Initialize();
    Application->SetTitle("Tikora");
    Application->CreateForm(MainForm);
    Application->CreateForm(TSListEdit);
    Application->CreateForm(TSListItemEditor);
    Application->CreateForm(AlarmSetup);
    Application->CreateForm(TempoCalculator);
  }
  void TearDown() override { fs::remove_all(folder); }
  static inline fs::path folder;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

TEST(DialogsInTheProgram, AlarmComesFromTheUsersSettings) {
  TDVContext* settings = MainForm->Engine()->GetSettingsTag();
  EXPECT_EQ(AlarmSetup->AlarmTime, settings->GetInteger("Alarm.Hour") * 3600 +
                                       settings->GetInteger("Alarm.Min") * 60 + settings->GetInteger("Alarm.Sec"));
  EXPECT_EQ(AlarmSetup->AlarmEnabled, settings->GetBool("Alarm.Enabled"));
  EXPECT_EQ(AlarmSetup->DialogMode, !settings->GetBool("Alarm.AutoStop"));

  // OK stores into the engine's settings, which the program writes to its settings file at exit.
  tikora::forms::ScriptDialog([](const tikora::forms::DialogRequest&) {
    AlarmSetup->aAlarmEnabled->SetChecked(true);
    AlarmSetup->Sec->SetValue(7);
    AlarmSetup->Button2Click(AlarmSetup->Button2);
    return tikora::forms::DialogAnswer{0, ""};
  });
  EXPECT_EQ(AlarmSetup->ShowModal(), mrOk);
  EXPECT_TRUE(settings->GetBool("Alarm.Enabled"));
  EXPECT_EQ(settings->GetInteger("Alarm.Sec"), 7);
}

TEST(DialogsInTheProgram, ListEditorTakesTheMainWindowsListFont) {
  ASSERT_NE(MainForm->ListFont(), nullptr);
  EXPECT_EQ(TSListEdit->List->Font()->Name(), MainForm->ListFont()->Name());
  EXPECT_EQ(TSListEdit->List->Font()->Size(), MainForm->ListFont()->Size());
}

TEST(DialogsInTheProgram, CalculatorCountsWithTheTimeSignatureAndTheRamp) {
  struct Case {
    const char* timeSignature;
    bool ramp;
    const char* step;
    const char* every;
    int bars, tempo;
    int min, sec;
  };
  const Case cases[] = {
      {"4:4", false, "5", "2", 15, 120, 0, 30},
      {"3:4", false, "5", "2", 40, 60, 2, 0},
      {"4:4", true, "5", "2", 4, 100, 0, 9},
      // Labels that are no numbers count as 1, as the practice panel reads them.
      {"2:4", true, "x", "", 4, 60, 0, 7},
  };
  TTempoCalculator* calc = TempoCalculator;
  calc->Show();
  calc->Duration->SetChecked(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.timeSignature);
    ASSERT_TRUE(MainForm->Engine()->SetTimeSignature(c.timeSignature));
    MainForm->CheckBox2->SetChecked(c.ramp);
    MainForm->Tool2_BPM_delta->SetCaption(c.step);
    MainForm->Tool2_Bars->SetCaption(c.every);
    calc->NumberOfBarVal->SetValue(c.bars);
    calc->TempoVal->SetValue(c.tempo);
    calc->Timer1->Fire();
    EXPECT_EQ(calc->DurationMin->Value(), c.min);
    EXPECT_EQ(calc->DurationSec->Value(), c.sec);
  }
  calc->Hide();
  MainForm->Engine()->SetTimeSignature("4:4");
  MainForm->CheckBox2->SetChecked(false);
}

}  // namespace
