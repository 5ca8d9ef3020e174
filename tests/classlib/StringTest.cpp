#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "AnsiString.h"
#include "Exception.h"
#include "SysUtils.h"
#include "TempDir.h"

TEST(AnsiString, OneBasedAccessRaisesOutsideTheText) {
    AnsiString s = "abc";
    const AnsiString& cs = s;
    for (int i : {-1, 0, 4}) {
        EXPECT_THROW(cs[i], ERangeError) << i;
        EXPECT_THROW(s[i] = 'x', ERangeError) << i;
    }
    EXPECT_THROW(AnsiString()[1], ERangeError);
    EXPECT_EQ(std::string{cs[1]} + cs[3], "ac");
    AnsiString copy = s;
    s[2] = 'X';
    EXPECT_EQ(s + copy, "aXcabc");  // value semantics: the copy is not shared
}

// Every operation that gives a string, at the edges of its arguments.
TEST(AnsiString, StringValuedOperations) {
    const AnsiString h = "hello";
    auto del = [&](int i, int n) { return AnsiString(h).Delete(i, n); };
    auto ins = [&](int i) { return AnsiString(h).Insert("XY", i); };
    const std::string withNul("a\0b", 3);
    const std::pair<AnsiString, AnsiString> cases[] = {
        {h.SubString(1, 2), "he"},
        {h.SubString(2, 100), "ello"},
        {h.SubString(0, 3), "hel"},
        {h.SubString(5, 1), "o"},
        {h.SubString(6, 1), ""},
        {h.SubString(3, -1), ""},
        {del(1, 1), "ello"},
        {del(5, 10), "hell"},
        {del(0, 2), h},
        {del(6, 1), h},
        {del(2, -1), h},
        {ins(3), "heXYllo"},
        {ins(6), "helloXY"},
        {ins(100), "helloXY"},
        {ins(0), "XYhello"},
        // Case mapping touches ASCII letters only.
        {AnsiString("az\xE9\xC9Z").UpperCase(), "AZ\xE9\xC9Z"},
        {AnsiString("AZ\xE9\xC9z").LowerCase(), "az\xE9\xC9z"},
        {AnsiString(-42), "-42"},
        {AnsiString(4000000000u), "4000000000"},
        {AnsiString(0.25), "0.25"},
        {AnsiString(int64_t{-9000000000}), "-9000000000"},
        {AnsiString(AnsiString(withNul).str()), AnsiString(withNul)},
        {AnsiString(IntToStr(AnsiString(withNul).Length())), "3"},
        {AnsiString("ab", 1), "a"},
        {AnsiString(static_cast<const char*>(nullptr)), ""},
        {"x" + AnsiString("y") + 'z' + "w", "xyzw"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
    // Trimming takes controls and blanks, never bytes above 127: each text trimmed, left, right.
    const char* const trims[][4] = {
        {" \t\r\nabc \x01", "abc", "abc \x01", " \t\r\nabc"},
        {" \t ", "", "", ""},
        {"\xA0-\xA0", "\xA0-\xA0", "\xA0-\xA0", "\xA0-\xA0"},
        {" \xFF x \xFF ", "\xFF x \xFF", "\xFF x \xFF ", " \xFF x \xFF"},
        {"", "", "", ""},
    };
    for (const auto& t : trims) {
        const AnsiString s = t[0];
        EXPECT_EQ(s.Trim() + "|" + s.TrimLeft() + "|" + s.TrimRight(), AnsiString(t[1]) + "|" + t[2] + "|" + t[3]);
    }
}

TEST(AnsiString, SearchOrderAndNumbers) {
    const std::tuple<const char*, const char*, int> positions[] = {
        {"hello", "l", 3}, {"hello", "lo", 4},     {"hello", "", 0},     {"hello", "x", 0},
        {"", "a", 0},      {"hello", "hello!", 0}, {"a\x80-", "\x80", 2}};
    for (auto [text, sub, want] : positions) EXPECT_EQ(AnsiString(text).Pos(sub), want) << text << " " << sub;
    // Order by unsigned bytes, case-sensitive; CompareText folds ASCII letters to upper case only.
    // Each pair with the sign of its comparison, then of its comparison ignoring case.
    const std::tuple<const char*, const char*, int, int> orders[] = {
        {"\x80", "a", 1, 1}, {"\xFF", "\x7F", 1, 1},    {"a", "ab", -1, -1},    {"", "a", -1, -1},   {"ab", "ab", 0, 0},
        {"B", "a", -1, 1},   {"Alpha", "aLPHA", -1, 0}, {"\xE9", "\xC9", 1, 1}, {"aB", "a_", -1, -1}};
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (auto [a, b, order, orderIgnoringCase] : orders) {
        EXPECT_EQ(sign(AnsiString(a).Compare(b)), order) << a << " " << b;
        EXPECT_EQ(AnsiString(a) < AnsiString(b), order < 0) << a << " " << b;
        EXPECT_EQ(sign(CompareText(a, b)), orderIgnoringCase) << a << " " << b;
    }
    EXPECT_EQ(AnsiString(" 17 ").ToInt() + AnsiString("x").ToIntDef(-3), 14);
    EXPECT_DOUBLE_EQ(AnsiString("2.5").ToDouble(), 2.5);
    EXPECT_THROW(AnsiString("2,5").ToDouble(), EConvertError);
}

// Number conversions must read and write "." whatever the locale the process runs in: the GUI
// sets the user's locale, and a decimal-comma locale must not change a settings file.
namespace {

void CheckNumbers() {
    const std::pair<const char*, int> ints[] = {{"0", 0},
                                                {"-0", 0},
                                                {"+5", 5},
                                                {"  42", 42},
                                                {"2147483647", INT32_MAX},
                                                {"-2147483648", INT32_MIN},
                                                {"$FF", 255},
                                                {"0x10", 16},
                                                {"$FFFFFFFF", -1}};
    for (auto [text, value] : ints) {
        EXPECT_EQ(StrToIntDef(text, 7), value) << text;
        EXPECT_EQ(StrToInt(text), value) << text;
    }
    for (const char* text :
         {"2147483648", "-2147483649", "$100000000", "", " ", "1.5", "12a", "2-3", "1,2", "-", "$", "1 2"}) {
        EXPECT_EQ(StrToIntDef(text, 7), 7) << text;
        ExpectNamedError<EConvertError>([&] { StrToInt(text); }, std::string("'") + text + "'");
    }
    const std::pair<const char*, double> floats[] = {{"0.5", 0.5},      {" 2.25 ", 2.25}, {"1e-5", 1e-5},
                                                     {"-1.5E3", -1500}, {".5", 0.5},      {"+3", 3}};
    for (auto [text, value] : floats) EXPECT_DOUBLE_EQ(StrToFloat(text), value) << text;
    for (const char* text : {"1,5", "INF", "nan", "+-5", "", "0x1p3", "1e999"})
        EXPECT_THROW(StrToFloat(text), EConvertError) << text;
    // Each value and its text in the general format of 7 digits.
    const std::pair<double, const char*> general[] = {{0.5, "0.5"},
                                                      {1e-5, "0.00001"},
                                                      {1e-4, "0.0001"},
                                                      {1.5e-6, "1.5E-6"},
                                                      {12345678, "1.234568E7"},
                                                      {1234567, "1234567"},
                                                      {9999999.5, "1E7"},
                                                      {123.456789, "123.4568"},
                                                      {-0.0, "0"},
                                                      {0, "0"},
                                                      {100, "100"},
                                                      {120.0, "120"},
                                                      {-2.5, "-2.5"},
                                                      {0.1, "0.1"},
                                                      {1.0 / 3, "0.3333333"},
                                                      {-1.25e-7, "-1.25E-7"}};
    for (auto [value, want] : general) {
        AnsiString text = FloatToStrF(value, ffGeneral, 7, 10);
        EXPECT_EQ(text, want);
        // What is written reads back to the value at the written precision.
        EXPECT_NEAR(StrToFloat(text), value, std::fabs(value) * 1e-6 + 1e-300) << want;
    }
    const std::pair<AnsiString, const char*> written[] = {{FloatToStr(0.1), "0.1"},
                                                          {FloatToStr(1.0 / 3), "0.333333333333333"},
                                                          {FloatToStr(1e20), "1E20"},
                                                          {FloatToStrF(2.5, ffFixed, 7, 2), "2.50"},
                                                          {Format("%.2f|%g", 1.5, 0.25), "1.50|0.25"},
                                                          {IntToStr(-2147483647 - 1), "-2147483648"},
                                                          {IntToStr(int64_t{1} << 40), "1099511627776"}};
    for (const auto& [got, want] : written) EXPECT_EQ(got, want);
    EXPECT_EQ(DecimalSeparator, '.');
}

// A locale whose decimal separator is ",": an installed one, else one compiled with localedef from
// the system's locale sources into the test folder; null when neither is possible.
locale_t DecimalCommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"})
        if (locale_t l = newlocale(LC_ALL_MASK, name, nullptr)) return l;
    if (!std::filesystem::exists("/usr/share/i18n/locales/de_DE")) return locale_t{};
    const char* base = std::getenv("TIKORA_TEST_TMP");
    std::filesystem::path dir = std::filesystem::path(base && *base ? base : "/tmp") / "locales";
    std::filesystem::create_directories(dir);
    if (!std::filesystem::exists(dir / "de_DE.UTF-8" / "LC_NUMERIC"))
        (void)std::system(
            ("localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1").c_str());
    setenv("LOCPATH", dir.c_str(), 1);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();  // glibc keeps the parsed LOCPATH of newlocale without a reference
#endif
    locale_t l = newlocale(LC_ALL_MASK, "de_DE.UTF-8", nullptr);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
    unsetenv("LOCPATH");
    return l;
}

}  // namespace

TEST(Conversions, IntegersAndFloatsInTheCLocaleAndUnderADecimalCommaLocale) {
    CheckNumbers();
    locale_t loc = DecimalCommaLocale();
    if (!loc) GTEST_SKIP() << "no decimal-comma locale installed and no locale sources to build one";
    locale_t previous = uselocale(loc);
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5") << "the locale is not in effect";
    CheckNumbers();
    uselocale(previous);
    freelocale(loc);
}
