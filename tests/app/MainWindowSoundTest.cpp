// The whole road of a click: the Play button, the Player's real timer, the synthesizer and the
// audio stream, which writes what it plays to the WAV file named by TIKORA_AUDIO_FILE.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "FileFunctions.h"
#include "Talarmdialog.h"
#include "Talarmsetup.h"
#include "Programforms.h"
#include "Tmainform.h"
#include "Tmemoform.h"
#include "Tmetronomgame.h"
#include "Tsettempoform.h"
#include "Tsettingsform.h"
#include "Ttempocalculator.h"
#include "Ttslistedit.h"
#include "Ttslistitemeditor.h"

namespace fs = std::filesystem;

namespace {

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<size_t>(i)];
  return v;
}

// The left channel of a 16-bit stereo PCM WAV file, as far as its header says it is written.
std::vector<int16_t> LeftChannel(const std::string& path, int& rate) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples;
  rate = 0;
  if (bytes.size() < 12 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF") return samples;
  size_t at = 12;
  while (at + 8 <= bytes.size()) {
    std::string id(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4);
    size_t size = Le(bytes, at + 4, 4);
    if (id == "fmt " && at + 16 <= bytes.size()) rate = static_cast<int>(Le(bytes, at + 12, 4));
    if (id == "data") {
      size_t end = std::min(bytes.size(), at + 8 + size);
      for (size_t i = at + 8; i + 4 <= end; i += 4) samples.push_back(static_cast<int16_t>(Le(bytes, i, 2)));
      break;
    }
    at += 8 + size + (size & 1);
  }
  return samples;
}

TEST(MainWindowSoundTest, PlayLeavesClicksInTheAudio) {
  const char* wav = std::getenv("TIKORA_AUDIO_FILE");
  ASSERT_NE(wav, nullptr);
  const char* tmp = std::getenv("TIKORA_TEST_TMP");
  fs::path folder = fs::path(tmp ? tmp : "/tmp") / ("mainwindow-sound-" + std::to_string(getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  fs::path shipped = fs::path(TIKORA_BINARY_DIR) / "Tikora";
  for (const char* entry : {"pics", "Drums", "Midi", "wavs", "Tikora.def", "Tikora.tkra"})
    fs::copy(shipped / entry, folder / entry, fs::copy_options::recursive);
  tikora::app::ProgramFolderOverride() = AnsiString(folder.string().c_str());

  Application->Initialize();
  CreateProgramForms();
  TMetronomeGame* engine = MainForm->Engine();
  MainForm->ChangeTempo(120);

  MainForm->PlayButtonClick(MainForm->PlayButton);
  ASSERT_EQ(engine->State, psPlaying);
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
  while (std::chrono::steady_clock::now() < until) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // The beat markers came back through the message queue and moved the pendulum.
  EXPECT_GT(engine->PracticeTime, 2.0);
  MainForm->StopButtonClick(MainForm->StopButton);
  // The header's sizes are brought up to date once a second.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));

  int rate = 0;
  std::vector<int16_t> left = LeftChannel(wav, rate);
  ASSERT_GT(rate, 0);
  ASSERT_GT(left.size(), static_cast<size_t>(rate));
  // A click is a burst after at least 0.2 s below the threshold.
  int onsets = 0;
  bool loudBefore = false;
  size_t lastLoud = 0;
  for (size_t i = 0; i < left.size(); ++i) {
    if (std::abs(left[i]) <= 1500) continue;
    if (!loudBefore || i - lastLoud > static_cast<size_t>(rate / 5)) ++onsets;
    loudBefore = true;
    lastLoud = i;
  }
  std::printf("%d clicks in %zu samples at %d Hz\n", onsets, left.size(), rate);
  // Three seconds at 120 beats per minute: about six clicks.
  EXPECT_GE(onsets, 4);
  EXPECT_LE(onsets, 8);
}

}  // namespace
