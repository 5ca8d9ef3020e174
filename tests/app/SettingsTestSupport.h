#pragma once
// Shared by the tests of the settings window, the small window and the hints: a scratch program
// folder with the shipped definitions (and the skin, where the build drew it), a fake MIDI device
// list, and small PCM wave files.
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "../dsound/TestWaves.h"
#include "DialogTestSupport.h"
#include "FileFunctions.h"
#include "Tdevelopervariables.h"

namespace apptest {

namespace fs = std::filesystem;

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
        dir_ = dialogtest::ScratchFolder("app-" + name);
        fs::create_directory(dir_ / "wavs");
        // The shipped click sounds, which the definitions' default preset names.
        if (fs::exists(ProgramFolder() / "wavs"))
            for (const auto& wave : fs::directory_iterator(ProgramFolder() / "wavs"))
                fs::copy(wave.path(), dir_ / "wavs");
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

// Lines of the settings language loaded into a context.
inline void LoadLines(TDVContext* context, const std::vector<std::string>& lines) {
    TStringList list;
    for (const std::string& line : lines) list.Add(line.c_str());
    context->LoadFromStrings(&list, 0, -1);
}

// A short mono 16-bit PCM wave.
inline std::string PcmWave(int frames = 64) {
    std::vector<int16_t> samples(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) samples[static_cast<size_t>(i)] = static_cast<int16_t>(i * 300);
    const std::vector<uint8_t> bytes = testwaves::Wave(1, 22050, 16, testwaves::Pcm16(samples));
    return std::string(bytes.begin(), bytes.end());
}

using dialogtest::DialogFixture;
// Texts of the message boxes shown since the log was last cleared.
inline std::vector<std::string> Messages() { return DialogFixture::Messages(); }

// Quiet sound, and a fresh dialog script for every test that must all be used.
struct AppTest : DialogFixture {
    static void SetUpTestSuite() { setenv("TIKORA_AUDIO_SINK", "null", 1); }
};

}  // namespace apptest
