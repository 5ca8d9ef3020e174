#include <gtest/gtest.h>

#include "DVTestUtil.h"

TEST(Writer, CompressListIDs) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"7,x,1,2,3,5", "x,1-3,5,7"},
        {"10,2,3,4,b", "b,2-4,10"},
        {"007,7", "007,7"},
        {"0,1", "0,1"},
        {"+3,3", "+3,3"},
        {"a", "a"},
        {"", ""},
        {"2147483647,2147483646", "2147483646-2147483647"},
    };
    for (const Case& c : cases) EXPECT_EQ(CompressListIDs(c.in), c.out) << c.in;
}

// The shipped files with values of every kind set, written as the program writes them and read
// back as after a restart.
TEST(Writer, RoundTripThroughTheReader) {
    TDVContext first;
    LoadShipped(first, "Tikora.def");
    LoadShipped(first, "Tikora.tkra");
    LoadLines(first, {
                         "Settings.DefTempo=133",
                         "Settings.DefTimeSignature=\"6:8 (3+3)\"",
                         "Settings.Tool1.Enabled=1",
                         "Settings.Tool5.MidiFile=\"Midi\\a \"\"b\"\";c.mid\"",
                         "Settings.TimeSignature[1-3]=\"7:8\"",
                         "Settings.TimeSignature[Odd]=\"5:4\"",
                         "Settings.Tool3.Duration=1E-7",
                         "Settings.Transpose=-3",
                         "SettingsDialog.Latency[1]=40",
                         "SettingsDialog.Latency[3]=60",
                         "SettingsDialog.MidiDriver=\"GM Synth, 1\"",
                         "SettingsDialog.Preset[Rock].Set[Bar].Volume=90",
                         "SettingsDialog.Preset[Rock].Set[Beat].WaveFile=\"click.wav\"",
                         "SettingsDialog.Preset[default].Set[Sub].UseMidi=0",
                         "Hints[PlayButton]=\"Start; or stop\"",
                     });
    TStringList written;
    for (const char* tag : {"Settings", "SettingsDialog", "Hints"}) first.SaveTagToStrings(tag, &written);
    EXPECT_EQ(ErrorOf([&] { first.SaveTagToStrings("Nope", &written); }), " Unknown ident 'Nope' in '$ROOT$'");

    TDVContext second;
    LoadShipped(second, "Tikora.def");
    ASSERT_EQ(ErrorOf([&] { second.LoadFromStrings(&written, 0, -1); }), "<none>") << Joined(written);
    TStringList again;
    for (const char* tag : {"Settings", "SettingsDialog", "Hints"}) second.SaveTagToStrings(tag, &again);
    EXPECT_EQ(Joined(again), Joined(written));
    for (const char* path :
         {"Settings.DefTempo", "Settings.DefTimeSignature", "Settings.Tool5.MidiFile", "Settings.TimeSignature[2]",
          "Settings.TimeSignature[9]", "Settings.TimeSignature[Odd]", "Settings.Tool3.Duration", "Settings.Transpose",
          "Settings.Memo", "SettingsDialog.Latency[3]", "SettingsDialog.MidiDriver",
          "SettingsDialog.Preset[Rock].Set[Bar].Volume", "SettingsDialog.Preset[Rock].Set[Beat].WaveFile",
          "SettingsDialog.Preset[default].Set[Sub].UseMidi", "Hints[PlayButton]"})
        EXPECT_EQ(second.GetValueAsString(path), first.GetValueAsString(path)) << path;
    EXPECT_EQ(second.GetString("Settings.Tool5.MidiFile"), "Midi\\a \"b\";c.mid");
    EXPECT_EQ(second.GetString("Settings.TimeSignature[9]"), "12:8 (3+3+3+3)");
}
