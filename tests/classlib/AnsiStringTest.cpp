#include <gtest/gtest.h>

#include "AnsiString.h"
#include "Exception.h"
#include "SysUtils.h"

TEST(AnsiString, OneBasedAccessRaisesOutsideTheText) {
    AnsiString s = "abc";
    struct Case { int index; char expected; };  // expected 0: raises
    for (Case c : {Case{-1, 0}, Case{0, 0}, Case{1, 'a'}, Case{3, 'c'}, Case{4, 0}}) {
        SCOPED_TRACE(c.index);
        const AnsiString& cs = s;
        if (c.expected) {
            EXPECT_EQ(cs[c.index], c.expected);
        } else {
            EXPECT_THROW(cs[c.index], ERangeError);
            EXPECT_THROW(s[c.index] = 'x', ERangeError);
        }
    }
    EXPECT_THROW(AnsiString()[1], ERangeError);

    AnsiString copy = s;
    s[2] = 'X';
    EXPECT_EQ(s, "aXc");
    EXPECT_EQ(copy, "abc");  // value semantics: the copy is not shared
}

TEST(AnsiString, SubStringPosDeleteInsertEdges) {
    struct Sub { const char* s; int start, count; const char* expected; };
    for (Sub c : {Sub{"hello", 1, 2, "he"}, Sub{"hello", 2, 100, "ello"}, Sub{"hello", 0, 3, "hel"},
                  Sub{"hello", -5, 2, "he"}, Sub{"hello", 5, 1, "o"}, Sub{"hello", 6, 1, ""},
                  Sub{"hello", 3, 0, ""}, Sub{"hello", 3, -1, ""}, Sub{"", 1, 1, ""}}) {
        SCOPED_TRACE(testing::Message() << c.s << " " << c.start << " " << c.count);
        EXPECT_EQ(AnsiString(c.s).SubString(c.start, c.count), c.expected);
    }

    struct PosCase { const char* s; const char* sub; int expected; };
    for (PosCase c : {PosCase{"hello", "l", 3}, PosCase{"hello", "lo", 4}, PosCase{"hello", "", 0},
                      PosCase{"hello", "x", 0}, PosCase{"", "a", 0}, PosCase{"hello", "hello!", 0},
                      PosCase{"a\x80" "b", "\x80", 2}}) {
        SCOPED_TRACE(c.s);
        EXPECT_EQ(AnsiString(c.s).Pos(c.sub), c.expected);
    }

    struct Del { int index, count; const char* expected; };
    for (Del c : {Del{1, 1, "ello"}, Del{5, 10, "hell"}, Del{2, 3, "ho"}, Del{0, 2, "hello"}, Del{6, 1, "hello"},
                  Del{2, 0, "hello"}, Del{2, -1, "hello"}}) {
        SCOPED_TRACE(testing::Message() << c.index << " " << c.count);
        AnsiString s = "hello";
        EXPECT_EQ(s.Delete(c.index, c.count), c.expected);
    }

    struct Ins { int index; const char* expected; };
    for (Ins c : {Ins{1, "XYhello"}, Ins{3, "heXYllo"}, Ins{6, "helloXY"}, Ins{100, "helloXY"}, Ins{0, "XYhello"}}) {
        SCOPED_TRACE(c.index);
        AnsiString s = "hello";
        EXPECT_EQ(s.Insert("XY", c.index), c.expected);
    }
}

TEST(AnsiString, TrimRemovesControlsAndBlanksButKeepsHighBytes) {
    struct Case { const char* s; const char* both; const char* left; const char* right; };
    for (Case c : {Case{" \t\r\nabc \x01", "abc", "abc \x01", " \t\r\nabc"},
                   Case{"\xA0" "abc\xA0", "\xA0" "abc\xA0", "\xA0" "abc\xA0", "\xA0" "abc\xA0"},
                   Case{" \xFF x \xFF ", "\xFF x \xFF", "\xFF x \xFF ", " \xFF x \xFF"},
                   Case{" \t ", "", "", ""}, Case{"", "", "", ""}}) {
        SCOPED_TRACE(c.s);
        AnsiString s = c.s;
        EXPECT_EQ(s.Trim(), c.both);
        EXPECT_EQ(s.TrimLeft(), c.left);
        EXPECT_EQ(s.TrimRight(), c.right);
    }
}

TEST(AnsiString, ComparisonAndCaseAreByUnsignedBytes) {
    EXPECT_GT(AnsiString("\x80"), AnsiString("a"));
    EXPECT_GT(AnsiString("\xFF"), AnsiString("\x7F"));
    EXPECT_LT(AnsiString("a"), AnsiString("ab"));
    EXPECT_LT(AnsiString(""), AnsiString("a"));
    EXPECT_EQ(AnsiString("ab").Compare("ab"), 0);
    EXPECT_LT(AnsiString("B"), AnsiString("a"));  // case-sensitive order

    // Case mapping and case-insensitive comparison touch ASCII letters only.
    EXPECT_EQ(AnsiString("az\xE9\xC9Z").UpperCase(), "AZ\xE9\xC9Z");
    EXPECT_EQ(AnsiString("AZ\xE9\xC9z").LowerCase(), "az\xE9\xC9z");
    EXPECT_EQ(CompareText("Alpha", "aLPHA"), 0);
    EXPECT_NE(CompareText("\xE9", "\xC9"), 0);
    EXPECT_LT(CompareText("aB", "a_"), 0);  // letters fold to upper case, which sorts before "_"
}

TEST(AnsiString, ConversionsFromAndToNumbersAndStdString) {
    EXPECT_EQ(AnsiString(-42), "-42");
    EXPECT_EQ(AnsiString(4000000000u), "4000000000");
    EXPECT_EQ(AnsiString(int64_t{-9000000000}), "-9000000000");
    EXPECT_EQ(AnsiString(0.25), "0.25");
    EXPECT_EQ(AnsiString(" 17 ").ToInt(), 17);
    EXPECT_EQ(AnsiString("x").ToIntDef(-3), -3);
    EXPECT_DOUBLE_EQ(AnsiString("2.5").ToDouble(), 2.5);
    EXPECT_THROW(AnsiString("2,5").ToDouble(), EConvertError);

    std::string withNul("a\0b", 3);
    AnsiString s(withNul);
    EXPECT_EQ(s.Length(), 3);
    EXPECT_EQ(s.str(), withNul);
    EXPECT_EQ(AnsiString("ab", 1), "a");
    EXPECT_EQ(AnsiString(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ("x" + AnsiString("y") + 'z' + "w", "xyzw");
}
