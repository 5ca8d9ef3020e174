#include <gtest/gtest.h>

#include "DVText.h"

TEST(ExtractToken, CutsAtDelimitersOrInvertedSet) {
    struct Case {
        const char* line;
        const char* delims;
        bool invert;
        const char* token;
        char result;
        const char* rest;
    } cases[] = {
        {"", ".[", false, "", 0, ""},
        {"a.b[2]", ".[", false, "a", '.', "b[2]"},
        {"b[2]", ".[", false, "b", '[', "2]"},
        {"12+3)", "1234567890", true, "12", '+', "3)"},
        {"abc", ".", false, "abc", 0, ""},
        {".x", ".", false, "", '.', "x"},
        {"\xE4\xF6.x", ".", false, "\xE4\xF6", '.', "x"},
    };
    for (const Case& c : cases) {
        AnsiString line = c.line, token = "junk";
        char r = ExtractToken(line, token, c.delims, c.invert);
        EXPECT_EQ(token, c.token) << c.line;
        EXPECT_EQ(r, c.result) << c.line;
        EXPECT_EQ(line, c.rest) << c.line;
    }
}

TEST(NormalizeLine, RemovesBlanksCommentsAndKeepsQuotedText) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"integer  Volume [ 3 ] = 1 , 2 ;  volume", "integer Volume[3]=1,2"},
        {"x = 5 ; five", "x=5"},
        {"   \t  ", ""},
        {"; only a comment", ""},
        {"\tTool1 {", "Tool1{"},
        {"s = \"a ; b , c\" ; note", "s=\"a ; b , c\""},
        {"a   b", "a b"},
        {"Memo=\"x\"\"y ; z\"", "Memo=\"x\"\"y ; z\""},
        {"m ( a [#] , 1 , 8 )", "m(a[#],1,8)"},
        {"  x=\xE9\xE8  ", "x=\xE9\xE8"},
        {"a\x01", "a"},
    };
    for (const Case& c : cases) EXPECT_EQ(NormalizeLine(c.in), c.out) << c.in;
}
