#pragma once
// The dialogs as the program makes them, once per test run, and ways to work them while modal.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "Dialogs.h"
#include "FormsTestSupport.h"
#include "Forms.h"
#include "Tmainform.h"

namespace dialogtest {

// Creates the form into its global the way the main routine does, the first time only.
template <typename T>
T* Ensure(T*& global) {
    Application->Initialize();
    if (!global) Application->CreateForm(global);
    return global;
}

// An empty folder of this test run.
inline std::filesystem::path ScratchFolder(const std::string& name) {
    const char* tmp = std::getenv("TIKORA_TEST_TMP");
    std::filesystem::path dir = std::filesystem::path(tmp ? tmp : "/tmp") / (name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// A scratch copy of what the build ships beside the executable, which the program then takes for
// its own folder.
inline std::filesystem::path UseProgramFolder(const std::string& name) {
    std::filesystem::path dir = ScratchFolder(name);
    for (const char* entry : {"pics", "Drums", "Midi", "wavs", "Tikora.def", "Tikora.tkra"})
        std::filesystem::copy(std::filesystem::path(TIKORA_BINARY_DIR) / "Tikora" / entry, dir / entry,
                              std::filesystem::copy_options::recursive);
    tikora::app::ProgramFolderOverride() = AnsiString(dir.string().c_str());
    return dir;
}

// Keys and the mouse as the user works them.
using formstest::Key;
using formstest::Mouse;

// The next modal form runs `work` while it is shown; its own ModalResult then stands, or, for a
// form closed by its frame, `answer`.
inline void WhileModal(std::function<void(TForm*)> work, int answer = 0) {
    tikora::forms::ScriptDialog([work, answer](const tikora::forms::DialogRequest& r) {
        if (r.form) work(r.form);
        return tikora::forms::DialogAnswer{answer, ""};
    });
}

struct DialogFixture : ::testing::Test {
    void SetUp() override {
        Application->Initialize();
        tikora::forms::ClearDialogScript();
        tikora::forms::ClearDialogLog();
    }
    void TearDown() override {
        EXPECT_EQ(tikora::forms::PendingDialogScripts(), 0);
        tikora::forms::ClearDialogScript();
    }
    // The texts of the message boxes shown since the test began.
    static std::vector<std::string> Messages() {
        std::vector<std::string> out;
        for (const auto& r : tikora::forms::DialogLog())
            if (r.kind == tikora::forms::DialogKind::MessageBox) out.push_back(r.text.c_str());
        return out;
    }
};

}  // namespace dialogtest
