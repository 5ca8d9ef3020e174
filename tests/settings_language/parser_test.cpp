#include <gtest/gtest.h>

#include "DVTestUtil.h"

TEST(Statements, BlocksOnSeveralElementsAndListsBehindPointers) {
    TDVContext root;
    LoadLines(root, {"context Pt[3]", "integer x", "}", "context Sound", "integer Volume", "}"});
    TDVContextHive hive(&root);
    EXPECT_EQ(hive.ParseLine("Pt[1-2]{"), 1);  // two elements: one replay, the last one on top
    EXPECT_EQ(hive.StackCount() == 2 && hive.Current() == root.FindTag("Pt")->Context(1), true);
    for (const char* statement : {"}", "}", "Sound.Volume=3"}) EXPECT_EQ(hive.ParseLine(statement), 0);
    EXPECT_EQ(hive.Current(), &root);
    // List elements reached through a pointer are made beside their template.
    LoadLines(root, {"context S", "integer L[*]", "}", "context Other2", "pointer P=&S.L", "}", "Other2.P[k]=5"});
    EXPECT_EQ(root.GetInteger("S.L[k]"), 5);
    EXPECT_EQ(root.GetContext("Other2")->FindTag("L[k]"), nullptr);
}

// Leftover arguments of an earlier "#" call must not steer the directive.
TEST(Statements, MorphIgnoresLeftoverArguments) {
    GlobalIndxQueue.Clear();
    GlobalIndxQueue.PushInteger(7);
    TDVContext root;
    LoadLines(root, {"integer R[3]=3,0,9", "auto_morph(R[#])"});
    EXPECT_EQ(root.GetValueAsString("R"), "3,6,9");
}

TEST(Text, ExtractTokenCutsAtDelimitersOrTheInvertedSet) {
    struct Case {
        const char *line, *delims;
        bool invert;
        std::string cut;  // token, stop character ('0' for none), rest
    } cases[] = {
        {"", ".[", false, "|0|"},
        {"a.b[2]", ".[", false, "a|.|b[2]"},
        {"b[2]", ".[", false, "b|[|2]"},
        {"12+3)", "1234567890", true, "12|+|3)"},
        {"abc", ".", false, "abc|0|"},
        {".x", ".", false, "|.|x"},
        {"\xE4\xF6.x", ".", false, "\xE4\xF6|.|x"},
    };
    for (const Case& c : cases) {
        AnsiString line = c.line, token = "junk";
        char stop = ExtractToken(line, token, c.delims, c.invert);
        EXPECT_EQ(token.str() + "|" + (stop ? stop : '0') + "|" + line.str(), c.cut) << c.line;
    }
}

TEST(Text, NormalizeLineRemovesBlanksAndCommentsAndKeepsQuotedText) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"integer  Volume [ 3 ] = 1 , 2 ;  volume", "integer Volume[3]=1,2"},
        {"x = 5 ; five", "x=5"},
        {"   \t  ", ""},
        {"; only a comment", ""},
        {"\tTool1 {", "Tool1{"},
        {"integer\tVolume", "integer Volume"},
        {"s = \"a ; b , c\" ; note", "s=\"a ; b , c\""},
        {"a   b", "a b"},
        {"Memo=\"x\"\"y ; z\"", "Memo=\"x\"\"y ; z\""},
        {"m ( a [#] , 1 , 8 )", "m(a[#],1,8)"},
        {"  x=\xE9\xE8  ", "x=\xE9\xE8"},
        {"a\x01", "a"},
    };
    for (const Case& c : cases) EXPECT_EQ(NormalizeLine(c.in), c.out) << c.in;
}
