#include <gtest/gtest.h>

#include "DVTestUtil.h"

namespace {

const Lines kSettingsDefs = {
    "context Settings",
    "  integer DefTempo=120",
    "  string DefTimeSignature=\"4:4\"",
    "  context Tool1",
    "    bool Enabled=0",
    "    integer PlayBeats=4",
    "    integer RestBeats=4",
    "  }",
    "  context Tool5",
    "    bool Enabled",
    "    string MidiFile",
    "  }",
    "  string TimeSignature[*]",
    "  integer Levels[24]",
    "}",
};

}  // namespace

TEST(Writer, WorkedExampleArraysListsAndContextForms) {
    RunScripts({{{"Settings.TimeSignature[1]=\"2:4\"", "Settings.TimeSignature[2]=\"3:4\"",
                  "Settings.TimeSignature[3-4]=\"4:4\"", "Settings.Levels[21-24]=100"},
                 "<none>",
                 "",
                 "Settings {\n\tDefTempo=120\n\tDefTimeSignature=\"4:4\"\n"  // one tag a line
                 "\tTool1 {\n\t\tEnabled=0\n\t\tPlayBeats=4\n\t\tRestBeats=4\n\t\t}\n"
                 "\tTool5.Enabled=0\n\tTool5.MidiFile=\"\"\n"
                 "\tTimeSignature[1]=\"2:4\"\n\tTimeSignature[2]=\"3:4\"\n\tTimeSignature[3-4]=\"4:4\"\n"
                 "\tLevels[1-20]=0\n\tLevels[21-24]=100\n\t}\n"}},
               kSettingsDefs);
    RunScripts({
        {{"integer N[20]"}, "<none>", "", "N=0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n"},
        {{"integer N[30]"}, "<none>", "", "N[1-30]=0\n"},
        {{"integer N[7]=1000000,2000000,3000000,4000000,5000000,6000000,7000000"},
         "<none>",
         "",
         "N[1]=1000000\nN[2]=2000000\nN[3]=3000000\nN[4]=4000000\nN[5]=5000000\nN[6]=6000000\nN[7]=7000000\n"},
        {{"string N[20]=\"\"\"\"", "N[2-20]=abc"}, "<none>", "", "N[1]=\"\"\"\"\nN[2-20]=\"abc\"\n"},
        {{"integer N[*]=5"}, "<none>", "", ""},
        {{"context N[*]", "integer a=1", "}"}, "<none>", "", "N.a=1\n"},
        {{"integer N[*]", "N[10]=1", "N[2]=1", "N[3]=1", "N[4]=1", "N[b]=1"}, "<none>", "", "N[b,2-4,10]=1\n"},
        {{"integer N[*]", "N[x]=1", "N[y]=2", "N[z]=1"}, "<none>", "", "N[x,z]=1\nN[y]=2\n"},
        {{"integer N[*]", "N[007]=1", "N[7]=1"}, "<none>", "", "N[007,7]=1\n"},
        {{"context N", "integer a", "integer b", "}"}, "<none>", "", "N.a=0\nN.b=0\n"},
        {{"context N", "integer a", "integer b", "integer c", "}"}, "<none>", "", "N {\n\ta=0\n\tb=0\n\tc=0\n\t}\n"},
        {{"context N[3]", "integer a", "}", "N[1].a=1", "N[3].a=3"}, "<none>", "", "N[1].a=1\nN[3].a=3\n"},
        {{"context N[*]", "integer a", "}", "N[p].a=1", "N[q]{", "a=2", "}"}, "<none>", "", "N[p].a=1\nN[q].a=2\n"},
        {{"context N", "context M", "integer c=1", "}", "}"}, "<none>", "", "N.M.c=1\n"},
        {{"pointer N[2]=&a,&b.c"}, "<none>", "", "N=&a,&b.c\n"},
        {{"float N=0.1"}, "<none>", "", "N=0.1\n"},
        {{"string N=\"say \"\"hi\"\" ; ok\""}, "<none>", "", "N=\"say \"\"hi\"\" ; ok\"\n"},
        // Line breaks never reach the file.
        {{"string N[2]", "N[1]=\"a\r\nb\"", "N[2]=\"q\"\"\"", "pointer P=&x\ny"},
         "<none>",
         "",
         "N=\"a  b\",\"q\"\"\"\nP=&x y\n"},
    });
}

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
