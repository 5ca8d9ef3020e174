// The main window as the program makes it, in a scratch copy of the program folder: start-up,
// the Player's notifications, the animation, keys and tap tempo, the tool panel and its lists,
// the practice timer and the display modes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "Clock.h"
#include "Dialogs.h"
#include "FileFunctions.h"
#include "Messages.h"
#include "SysUtils.h"
#include "Talarmdialog.h"
#include "Talarmsetup.h"
#include "Tdevelopervariables.h"
#include "Programforms.h"
#include "Tmainform.h"
#include "Tmemoform.h"
#include "Tmetronomgame.h"
#include "Tmidicontent.h"
#include "Tminimizedform.h"
#include "Tsettempoform.h"
#include "Tsettingsform.h"
#include "Ttempocalculator.h"
#include "Ttslistedit.h"
#include "Ttslistitemeditor.h"

namespace fs = std::filesystem;
using tikora::forms::DialogKind;

namespace {

struct StartFailed {
  int code;
};

fs::path ScratchFolder(const std::string& name) {
  const char* tmp = std::getenv("TIKORA_TEST_TMP");
  fs::path dir = fs::path(tmp ? tmp : "/tmp") / (name + "-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// A program folder with what the build ships beside the executable.
fs::path MakeProgramFolder(const std::string& name) {
  fs::path dir = ScratchFolder(name);
  fs::path shipped = fs::path(TIKORA_BINARY_DIR) / "Tikora";
  for (const char* entry : {"pics", "Drums", "Midi", "wavs", "Tikora.def", "Tikora.tkra"})
    fs::copy(shipped / entry, dir / entry, fs::copy_options::recursive);
  return dir;
}

class ProgramEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    folder = MakeProgramFolder("mainwindow");
    tikora::app::ProgramFolderOverride() = AnsiString(folder.string().c_str());
    tikora::app::StartFailureExit() = [](int code) { throw StartFailed{code}; };
    Application->Initialize();
    CreateProgramForms();
  }
  static inline fs::path folder;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

struct MainWindowTest : ::testing::Test {
  void SetUp() override {
    tikora::forms::ClearDialogScript();
    tikora::forms::ClearDialogLog();
    SetCurrentDir(AnsiString(ProgramEnvironment::folder.string().c_str()));
    form = MainForm;
    engine = form->Engine();
  }
  void TearDown() override {
    form->StopButtonClick(form);
    tikora::DispatchPostedMessages();
    EXPECT_EQ(tikora::forms::PendingDialogScripts(), 0);
    tikora::forms::ClearDialogScript();
  }
  static std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (const auto& r : tikora::forms::DialogLog())
      if (r.kind == DialogKind::MessageBox) out.push_back(r.text.c_str());
    return out;
  }
  void Key(WORD key, TShiftState shift = {}) { form->FormKeyDown(form, key, shift); }
  static TMessage Controller(uint8_t status, int controller, int value) {
    return TMessage{WM_PLAYER_EVENT, 0,
                    static_cast<LPARAM>(status | static_cast<uint32_t>(controller) << 8 |
                                        static_cast<uint32_t>(value) << 16),
                    0};
  }
  TMainForm* form = nullptr;
  TMetronomeGame* engine = nullptr;
};

// ---- Start-up

TEST_F(MainWindowTest, StartUpShowsTheEngineAndTheSkin) {
  EXPECT_TRUE(fs::is_directory(ProgramEnvironment::folder / "Wavs") ||
              fs::is_directory(ProgramEnvironment::folder / "wavs"));
  EXPECT_EQ(form->TempoLab->Caption(), "= " + IntToStr(engine->GetPendulumTempo()));
  EXPECT_EQ(form->TimeSignatureButton->Text(),
            IntToStr(engine->Numerator) + "\n" + IntToStr(engine->Denominator));
  EXPECT_FALSE(form->DenominatorImage->Picture()->Bitmap()->Empty());
  EXPECT_FALSE(form->CenterImage->Picture()->Bitmap()->Empty());
  EXPECT_EQ(form->DrawTarget(), form->CenterImage);
  EXPECT_TRUE(form->BigMode());
  ASSERT_NE(form->Minimized(), nullptr);
  EXPECT_FALSE(form->Minimized()->Visible());
  // Hints come from the settings, through the panels to the buttons inside them.
  EXPECT_TRUE(form->PlayButton->ShowHint());
  EXPECT_FALSE(form->PlayButton->Hint().IsEmpty());
  EXPECT_EQ(player.EventWindow, form->Handle());
  EXPECT_EQ(player.EndWindow, form->Handle());
  EXPECT_EQ(form->Memo->Color(), form->LeftImage->Canvas()->Pixels(120, 446));
}

TEST_F(MainWindowTest, MissingInstallationEndsWithTheGeneralErrorAndSavesNothing) {
  fs::path empty = ScratchFolder("mainwindow-broken");
  fs::copy(ProgramEnvironment::folder / "Tikora.def", empty / "Tikora.def");
  AnsiString saved = tikora::app::ProgramFolderOverride();
  tikora::app::ProgramFolderOverride() = AnsiString(empty.string().c_str());
  auto* broken = new TMainForm(nullptr);
  int code = -1;
  try {
    broken->AfterConstruction();
  } catch (const StartFailed& failure) {
    code = failure.code;
  }
  delete broken;
  tikora::app::ProgramFolderOverride() = saved;
  EXPECT_EQ(code, 0);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0],
            "General error: \nSoftware not properly installed or corrupted.\nPlease reinstall Tikora.");
  EXPECT_FALSE(fs::exists(empty / "Tikora.tkra"));
  EXPECT_FALSE(fs::exists(empty / "Tikora.ini"));
  // The Player still reports to the program's window.
  EXPECT_EQ(player.EventWindow, form->Handle());
}

TEST_F(MainWindowTest, DenominatorWithoutAPictureShowsNone) {
  int saved = engine->Denominator;
  engine->Denominator = 5;
  EXPECT_NO_THROW(form->ShowTimeSignature());
  EXPECT_TRUE(form->DenominatorImage->Picture()->Bitmap()->Empty());
  EXPECT_EQ(form->TimeSignatureButton->Text(), IntToStr(engine->Numerator) + "\n5");
  engine->Denominator = saved;
  form->ShowTimeSignature();
  EXPECT_FALSE(form->DenominatorImage->Picture()->Bitmap()->Empty());
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

// ---- Notifications from the Player

TEST_F(MainWindowTest, OnlyChannelTenControllersAreMarkers) {
  struct Case {
    uint8_t status;
    int controller, value;
    int expectPendulumTempo;  // 0: unchanged
    int expectPan;            // -1: unchanged
  } cases[] = {
      {0xB9, 101, 20, 120, -1},  // tempo 120
      {0xB9, 100, 72, 72, -1},
      {0xB9, 105, 0, 500, -1},
      {0xB8, 101, 40, 0, -1},  // channel 9: not a marker
      {0x99, 101, 40, 0, -1},  // a note on channel 10
      {0xB9, 97, 70, 0, 70},   // pan of the next click
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
  form->PlayButtonClick(form);
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
  form->PlayButtonClick(form);
  engine->CurrentBeat = 7;
  form->Dispatch(end);
  EXPECT_EQ(engine->CurrentBeat, 0);
}

// ---- Animation

TEST_F(MainWindowTest, StoppedPendulumSwingsOutThenTheTimerStops) {
  form->StopButtonClick(form);
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
  form->PlayButtonClick(form);
  engine->CurrentBeat = 3;
  form->PlayButtonClick(form);
  EXPECT_EQ(engine->CurrentBeat, 3);
  form->PauseButtonClick(form);
  EXPECT_EQ(engine->State, psPaused);
  EXPECT_TRUE(form->PauseButton->Checked());
  EXPECT_TRUE(form->Minimized()->PauseButton->Checked());
  Key(VK_SPACE);  // space while paused stops
  EXPECT_EQ(engine->State, psStopped);
  EXPECT_FALSE(form->PauseButton->Checked());
}

// ---- Keys and tempo

TEST_F(MainWindowTest, TempoKeysStepByTheModifiers) {
  struct Case {
    int from;
    WORD key;
    TShiftState shift;
    int expect;
  } cases[] = {
      {100, VK_OEM_6, {}, 105},          {100, VK_OEM_6, {ssShift}, 101}, {100, VK_OEM_6, {ssAlt}, 110},
      {100, VK_OEM_6, {ssShift, ssAlt}, 150}, {100, VK_OEM_6, {ssCtrl}, 105}, {100, VK_OEM_4, {ssAlt}, 90},
      {480, VK_OEM_6, {ssShift, ssAlt}, 500}, {42, VK_OEM_4, {}, 40},
  };
  for (const Case& c : cases) {
    form->ChangeTempo(c.from);
    Key(c.key, c.shift);
    EXPECT_EQ(engine->Tempo, c.expect) << c.from;
    EXPECT_EQ(form->TempoLab->Caption(), "= " + IntToStr(c.expect));
  }
  form->ChangeTempo(1e300);  // a huge typed tempo is clamped, not overflowed
  EXPECT_EQ(engine->Tempo, 500);
}

TEST_F(MainWindowTest, TranspositionKeysStayWithinAnOctave) {
  struct Case {
    const char* from;
    WORD key;
    const char* expect;
  } cases[] = {{"0", VK_UP, "1"}, {"12", VK_UP, "12"}, {"-12", VK_DOWN, "-12"}, {"x", VK_DOWN, "-1"}};
  for (const Case& c : cases) {
    form->Tool5_Transp->SetCaption(c.from);
    Key(c.key);
    EXPECT_EQ(form->Tool5_Transp->Caption(), c.expect) << c.from;
  }
  form->Tool5_Transp->SetCaption("0");
}

TEST_F(MainWindowTest, DigitKeysChooseMetresAndVolumeKeysStayInRange) {
  Key('4');
  EXPECT_EQ(engine->Numerator, 4);
  EXPECT_EQ(engine->State, psPlaying);  // choosing a metre starts a stopped metronome
  Key('6');
  EXPECT_EQ(engine->TimeSignatureText, "6:4 (3+3)");
  form->StopButtonClick(form);
  Key('9');
  EXPECT_EQ(engine->Tempo, 120);
  form->StopButtonClick(form);
  form->MVolume->SetPosition(65535);
  Key(VK_ADD);
  EXPECT_EQ(form->MVolume->Position(), 65535);
  Key(VK_SUBTRACT);
  EXPECT_EQ(form->MVolume->Position(), 65535 - 3276);
  EXPECT_TRUE(form->VolTimer->Enabled());
  form->VolTimer->Fire();
  EXPECT_FALSE(form->VolTimer->Enabled());
  Key('3');
  EXPECT_EQ(engine->Numerator, 3);
}

TEST_F(MainWindowTest, TapTempoAveragesFourTaps) {
  tikora::TestClock clock(20'000'000'000);
  form->StopButtonClick(form);
  auto tap = [&](int gapMs, WORD key = VK_OEM_MINUS) {
    clock.AdvanceMs(gapMs);
    Key(key);
  };
  form->ChangeTempo(60);
  tap(5000);
  tap(500);
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
  tap(5000, VK_OEM_PLUS);
  tap(500, VK_OEM_PLUS);
  tap(500, VK_OEM_PLUS);
  tap(500, VK_OEM_PLUS);
  EXPECT_EQ(engine->Tempo, 120);
  EXPECT_TRUE(form->DelayedStartTimer->Enabled());
  EXPECT_EQ(form->DelayedStartTimer->Interval(), 500u);
  form->DelayedStartTimer->Fire();
  EXPECT_EQ(engine->State, psPlaying);
}

TEST_F(MainWindowTest, DraggingTheWeightSetsTheTempoOnRelease) {
  TImage* target = form->CenterImage;
  int x = target->Width() / 2;
  int y = -1;
  for (int candidate = 0; candidate < target->Height(); ++candidate)
    if (std::abs(engine->TempoFromWeightY(target->Height() - candidate) - 100) <= 2) {
      y = candidate;
      break;
    }
  ASSERT_GE(y, 0);
  form->ChangeTempo(60);
  form->Timer1->SetEnabled(false);
  form->CenterImageMouseDown(target, mbLeft, {}, x, y);
  EXPECT_TRUE(engine->WeightDragged);
  EXPECT_EQ(target->Cursor(), crHandPoint);
  int dragged = engine->DragTempo;
  EXPECT_NEAR(dragged, 100, 10);
  form->CenterImageMouseUp(target, mbLeft, {}, x, y);
  EXPECT_EQ(engine->Tempo, dragged);
  EXPECT_FALSE(engine->WeightDragged);

  // Leaving the band while the button is held drops the drag: the release changes nothing.
  form->CenterImageMouseDown(target, mbLeft, {}, x, y);
  form->CenterImageMouseMove(target, {ssLeft}, x + 40, y);
  EXPECT_FALSE(engine->WeightDragged);
  EXPECT_EQ(target->Cursor(), crArrow);
  form->ChangeTempo(70);
  form->CenterImageMouseUp(target, mbLeft, {}, x + 40, y);
  EXPECT_EQ(engine->Tempo, 70);
}

TEST_F(MainWindowTest, TempoBarHidesAfterItsCountdown) {
  form->BpmSetButtonClick(form->BpmSetButton);
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
  form->DrumBeatButtonClick(form->DrumBeatButton);
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

TEST_F(MainWindowTest, ToolLabelsTakeCountsOfAtLeastOne) {
  struct Case {
    const char* typed;
    int answer;
    const char* expect;
  } cases[] = {{"7", IDOK, "7"}, {"0", IDOK, "1"}, {"abc", IDOK, "1"}, {"-3", IDOK, "1"}, {"9", IDCANCEL, "1"}};
  form->Tool1_Play->SetCaption("1");
  for (const Case& c : cases) {
    tikora::forms::ScriptDialog(c.answer, c.typed);
    form->Tool2_BarsClick(form->Tool1_Play);
    EXPECT_EQ(form->Tool1_Play->Caption(), c.expect) << c.typed;
  }
  tikora::forms::ScriptDialog(IDOK, "40");
  form->Tool5_TranspClick(form->Tool5_Transp);
  EXPECT_EQ(form->Tool5_Transp->Caption(), "12");
  form->Tool5_Transp->SetCaption("0");
}

TEST_F(MainWindowTest, CancelledListEditorStillRewritesTheFavourites) {
  form->FillTimeSignatureList();
  int rows = form->TimeSignatureList->Items()->Count();
  ASSERT_GT(rows, 1);
  tikora::forms::ScriptDialog([](const tikora::forms::DialogRequest& r) {
    if (r.form == TSListEdit) {
      TSListEdit->List->Items()->Clear();
      TSListEdit->List->Items()->Add("7:8");
      TSListEdit->List->Items()->Add("9:8 (2+2+2+3)");
    }
    return tikora::forms::DialogAnswer{IDCANCEL, ""};
  });
  Key(VK_F1 + 4);
  TStringList* items = form->TimeSignatureList->Items();
  ASSERT_EQ(items->Count(), 3);
  EXPECT_EQ(items->Strings(0), "7:8");
  EXPECT_EQ(items->Strings(1), "9:8 (2+2+2+3)");
  EXPECT_EQ(items->Strings(2), "Edit list...");
  TStringList stored;
  EXPECT_EQ(engine->GetTimeSignatureList(&stored), 2);
}

// ---- Practice timer and alarm

TEST_F(MainWindowTest, PracticeTimeShowsMinutesThenHours) {
  struct Case {
    double seconds;
    const char* expect;
  } cases[] = {{0, "00:00"}, {59.9, "00:59"}, {3599, "59:59"}, {3600, "01:00"}, {7322, "02:02"}, {-1, "00:00"}};
  for (const Case& c : cases) EXPECT_EQ(tikora::app::PracticeTimeText(c.seconds), c.expect) << c.seconds;
}

TEST_F(MainWindowTest, AlarmStopsOrAsks) {
  SettingsForm->AutoResetTimer->SetChecked(false);
  AlarmSetup->AlarmEnabled = true;
  AlarmSetup->AlarmTime = 0;
  AlarmSetup->DialogMode = false;
  AlarmSetup->WavePath = "";
  form->PlayButtonClick(form);
  form->Timer2->Fire();
  EXPECT_EQ(engine->State, psStopped);
  EXPECT_TRUE(form->SetAlarmButton->Checked());

  AlarmSetup->DialogMode = true;
  form->PlayButtonClick(form);
  tikora::forms::ScriptDialog([](const tikora::forms::DialogRequest& r) {
    if (r.form == AlarmDialog) AlarmDialog->Result->SetItemIndex(TAlarmDialog::aDisableAlarm);
    return tikora::forms::DialogAnswer{0, ""};
  });
  engine->PracticeTime = 30;
  form->Timer2->Fire();
  EXPECT_EQ(engine->State, psPlaying);
  EXPECT_FALSE(AlarmSetup->AlarmEnabled);
  EXPECT_EQ(form->TimerLab->Caption(), "00:30");
  form->Timer2->Fire();
  EXPECT_FALSE(form->SetAlarmButton->Checked());
  form->ResetTimerButtonMouseDown(form->ResetTimerButton, mbLeft, {}, 0, 0);
  EXPECT_EQ(form->TimerLab->Caption(), "00:00");
}

// ---- Display modes and close

TEST_F(MainWindowTest, SmallWindowAndBackRedrawAtOnce) {
  TDVContext* dialog = engine->GetSettingsDialogTag();
  form->Show();
  Key(VK_F1 + 7);
  EXPECT_FALSE(form->BigMode());
  EXPECT_TRUE(form->Minimized()->Visible());
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(form->DrawTarget(), form->Minimized()->View);
  EXPECT_FALSE(dialog->GetBool("FullScreenMode"));
  Key(VK_F1 + 7);
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

TEST_F(MainWindowTest, MemoDialogAndLoadedSettingsKeepTheMemoInStep) {
  tikora::forms::ScriptDialog([](const tikora::forms::DialogRequest& r) {
    if (r.form == MemoForm) MemoForm->Memo->SetText("first line\r\nsecond line");
    return tikora::forms::DialogAnswer{IDOK, ""};
  });
  form->MemoLabClick(form->MemoLab);
  AnsiString memo;
  engine->GetMemo(memo);
  EXPECT_EQ(memo, "first line\r\nsecond line");
  EXPECT_EQ(form->Memo->Lines()->Count(), 2);

  AnsiString file = (ProgramEnvironment::folder / "saved.tkra").string().c_str();
  tikora::forms::ScriptDialog(IDOK, file);
  form->SaveButtonClick(form->SaveButton);
  engine->SetMemo("changed");
  form->Memo->SetText("changed");
  tikora::forms::ScriptDialog(IDOK, file);
  form->LoadButtonClick(form->LoadButton);
  EXPECT_EQ(form->Memo->Lines()->Count(), 2);
  EXPECT_EQ(form->Caption(), "Tikora - " + file);
}

TEST_F(MainWindowTest, CloseWritesBothSettingsFiles) {
  fs::remove(ProgramEnvironment::folder / "Tikora.ini");
  TCloseAction action = caHide;
  form->FormClose(form, action);
  EXPECT_TRUE(fs::exists(ProgramEnvironment::folder / "Tikora.ini"));
  EXPECT_TRUE(fs::exists(ProgramEnvironment::folder / "Tikora.tkra"));
  EXPECT_FALSE(form->Timer2->Enabled());
}

}  // namespace
