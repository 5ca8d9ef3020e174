#pragma once
// Shared by the tests of the settings window, the small window and the hints: a scratch program
// folder with the shipped definitions (and the skin, where the build drew it), a fake MIDI device
// list, and small PCM wave files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "FileFunctions.h"
#include "Forms.h"

namespace apptest {

namespace fs = std::filesystem;

inline fs::path TestTmpRoot() {
  const char* env = std::getenv("TIKORA_TEST_TMP");
  return env ? fs::path(env) : fs::temp_directory_path();
}

// The shipped program folder the build assembles; the definitions fall back to the sources.
inline fs::path ProgramFolder() { return fs::path(TIKORA_BINARY_DIR) / "Tikora"; }
inline fs::path DefinitionsFile() {
  fs::path built = ProgramFolder() / "Tikora.def";
  return fs::exists(built) ? built : fs::path(TIKORA_SOURCE_DIR) / "data" / "defs" / "Tikora.def";
}

// A program folder of its own for one test, made the working directory while it lives.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name) {
    dir_ = TestTmpRoot() / ("app-" + name + "-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "wavs");
    // The shipped click sounds, which the definitions' default preset names.
    if (fs::exists(ProgramFolder() / "wavs"))
      for (const auto& wave : fs::directory_iterator(ProgramFolder() / "wavs")) fs::copy(wave.path(), dir_ / "wavs");
    fs::copy_file(DefinitionsFile(), dir_ / "Tikora.def");
    if (fs::exists(ProgramFolder() / "pics")) fs::create_directory_symlink(ProgramFolder() / "pics", dir_ / "pics");
    old_ = GetCurrentDir();
    SetCurrentDir(dir_.string().c_str());
  }
  ~ScratchFolder() {
    SetCurrentDir(old_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  const fs::path& Path() const { return dir_; }
  void Write(const std::string& relative, const std::string& text) const {
    fs::create_directories((dir_ / relative).parent_path());
    std::ofstream(dir_ / relative, std::ios::binary) << text;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(dir_ / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  fs::path dir_;
  AnsiString old_;
};

// A short mono 16-bit PCM wave.
inline std::string PcmWave(int frames = 64) {
  std::string b;
  auto put16 = [&](uint32_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>((v >> 8) & 0xFF));
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  const uint32_t data = static_cast<uint32_t>(frames) * 2;
  b += "RIFF";
  put32(36 + data);
  b += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(1);
  put32(22050);
  put32(44100);
  put16(2);
  put16(16);
  b += "data";
  put32(data);
  for (int i = 0; i < frames; ++i) put16(static_cast<uint32_t>(i * 300) & 0xFFFF);
  return b;
}

// Texts of the message boxes shown since the log was last cleared.
inline std::vector<std::string> Messages() {
  std::vector<std::string> out;
  for (const auto& r : tikora::forms::DialogLog())
    if (r.kind == tikora::forms::DialogKind::MessageBox) out.push_back(r.text.str());
  return out;
}

// Quiet sound and a fresh dialog script for every test.
class AppTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("TIKORA_AUDIO_SINK", "null", 1);
    Application->Initialize();
  }
  void SetUp() override {
    tikora::forms::ClearDialogScript();
    tikora::forms::ClearDialogLog();
  }
  void TearDown() override { tikora::forms::ClearDialogScript(); }
};

}  // namespace apptest
