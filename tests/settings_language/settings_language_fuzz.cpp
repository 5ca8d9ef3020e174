// Arbitrary text read into a context that holds the program's kind of declarations, then written
// back and read once more.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "Tdevelopervariables.h"

namespace {

const char* const kDeclarations[] = {
    "context Settings",
    "  integer DefTempo=120",
    "  string DefTimeSignature=\"4:4\"",
    "  integer Transpose",
    "  string Memo",
    "  context Tool1",
    "    bool Enabled",
    "    integer PlayBeats=4",
    "    integer RestBeats=4",
    "  }",
    "  context Tool3",
    "    bool Enabled",
    "    integer Tempo=120",
    "    float Duration=1.5",
    "  }",
    "  string TimeSignature[*]",
    "  TimeSignature[1-3]=\"4:4\"",
    "  context Alarm",
    "    bool Enabled",
    "    integer Minutes[4]",
    "  }",
    "  context Pt[3]",
    "    integer x",
    "    float y",
    "    context Sub[2]",
    "      integer k=1",
    "    }",
    "  }",
    "  integer Ramp[8]=0,0,10,0,0,0,40,0",
    "  pointer Cur=&Settings.DefTempo",
    "}",
    "context SettingsDialog",
    "  string MidiDriver",
    "  integer Latency[*]=0",
    "  bool ShowFlashingLight=1",
    "  integer MClickLatency=50",
    "  context Preset[*]",
    "    context Set[*]",
    "      bool UseMidi=1",
    "      string WaveFile",
    "      string MidiPatch",
    "      integer Volume=100",
    "      integer Pan",
    "    }",
    "  }",
    "}",
    "string Hints[*]",
};

std::string g_scratch;

void Setup() {
    // Small bounds keep each input quick; the defaults are for real settings files.
    DVLimits.MaxArraySize = 4096;
    DVLimits.MaxListRange = 1024;
    DVLimits.MaxSteps = 20000;
    DVLimits.MaxBytes = 4 << 20;
    DVLimits.MaxContextDepth = 64;
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
    static bool ready = (Setup(), true);
    (void)ready;
    if (size > 16384) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    // Only the scratch folder may be read: no separators in an input that includes.
    if (text.find("include") != std::string::npos && text.find_first_of("/\\:") != std::string::npos) return 0;

    TDVContext root;
    root.SetBaseDir(g_scratch.empty() ? AnsiString("/nonexistent") : AnsiString(g_scratch));
    TStringList decls;
    for (const char* d : kDeclarations) decls.Add(d);
    root.LoadFromStrings(&decls, 0, -1);

    TStringList lines;
    lines.SetText(AnsiString(text));
    try {
        root.LoadFromStrings(&lines, 0, -1);
    } catch (const Exception&) {
    }
    TStringList written;
    try {
        root.SaveToStrings(&written);
    } catch (const Exception&) {
    }
    try {
        root.LoadFromStrings(&written, 0, -1);
    } catch (const Exception&) {
    }
    return 0;
}
