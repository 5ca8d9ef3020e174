// Arbitrary text read into a context that holds the program's own declarations (the shipped
// Tikora.def), then written back and read once more. The seeds declare what else they use.
#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "Tdevelopervariables.h"

namespace {

TDVContext g_declared;  // copied for each input: quicker than reading the declarations again
std::string g_scratch;

void Setup() {
    // Small bounds keep each input quick; the defaults are for real settings files.
    DVLimits.MaxArraySize = 4096;
    DVLimits.MaxListRange = 1024;
    DVLimits.MaxSteps = 20000;
    DVLimits.MaxBytes = 4 << 20;
    DVLimits.MaxContextDepth = 64;
    g_declared.LoadFromFile(TIKORA_SOURCE_DIR "/data/defs/Tikora.def", true);
    // include() reads from an empty scratch folder with two files that include each other.
    char tmpl[] = "/tmp/tikora-settings-fuzz-XXXXXX";
    if (char* dir = mkdtemp(tmpl)) {
        g_scratch = dir;
        std::ofstream(g_scratch + "/a.def") << "integer IncA=1\ninclude(b.def)\n";
        std::ofstream(g_scratch + "/b.def") << "integer IncB=2\ninclude(a.def)\n";
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    [[maybe_unused]] static bool ready = (Setup(), true);
    if (size > 16384) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    // Only the scratch folder may be read: no separators in an input that includes.
    if (text.find("include") != std::string::npos && text.find_first_of("/\\:") != std::string::npos) return 0;

    TDVContext root;
    root.Assign(&g_declared);
    root.BaseDir = g_scratch.empty() ? AnsiString("/nonexistent") : AnsiString(g_scratch);
    // A refusal is an answer; only a crash, a leak or a hang is a finding.
    auto quietly = [](auto&& step) {
        try {
            step();
        } catch (const Exception&) {
        }
    };
    TStringList lines, written;
    lines.SetText(AnsiString(text));
    quietly([&] { root.LoadFromStrings(&lines, 0, -1); });
    quietly([&] { root.SaveToStrings(&written); });
    quietly([&] { root.LoadFromStrings(&written, 0, -1); });
    return 0;
}
