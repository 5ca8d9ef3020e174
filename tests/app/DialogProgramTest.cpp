// The dialogs beside the real main window: what they read from it and from its engine.
#include "DialogTestSupport.h"
#include "FileFunctions.h"
#include "Talarmsetup.h"
#include "Tmetronomgame.h"
#include "Ttempocalculator.h"
#include "Ttslistedit.h"
#include "Ttslistitemeditor.h"

namespace fs = std::filesystem;

namespace {

class ProgramEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    folder = dialogtest::UseProgramFolder("dialogs");
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
  dialogtest::WhileModal([](TForm*) {
    AlarmSetup->aAlarmEnabled->SetChecked(true);
    AlarmSetup->Sec->SetValue(7);
    AlarmSetup->Button2Click(AlarmSetup->Button2);
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
  TTempoCalculator* calc = TempoCalculator;
  struct Case {
    TRadioButton* computed;
    const char* timeSignature;
    bool ramp;
    const char* step;
    const char* every;
    int bars, tempo;
    int min, sec;
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
  };
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
  }
  calc->Duration->SetChecked(true);
  calc->Hide();
  MainForm->Engine()->SetTimeSignature("4:4");
  MainForm->CheckBox2->SetChecked(false);
}

}  // namespace
