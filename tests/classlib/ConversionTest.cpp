// Number conversions must read and write "." whatever the locale the process runs in: the GUI
// sets the user's locale, and a decimal-comma locale must not change a settings file.
#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "Exception.h"
#include "SysUtils.h"

namespace {

void CheckIntegers() {
    struct Case { const char* text; bool ok; int value; };
    for (Case c : {Case{"0", true, 0}, Case{"-0", true, 0}, Case{"+5", true, 5}, Case{"  42", true, 42},
                   Case{"2147483647", true, 2147483647}, Case{"-2147483648", true, INT32_MIN},
                   Case{"$FF", true, 255}, Case{"0x10", true, 16}, Case{"$FFFFFFFF", true, -1},
                   Case{"2147483648", false, 0}, Case{"-2147483649", false, 0}, Case{"$100000000", false, 0},
                   Case{"", false, 0}, Case{" ", false, 0}, Case{"1.5", false, 0}, Case{"12a", false, 0},
                   Case{"2-3", false, 0}, Case{"1,2", false, 0}, Case{"-", false, 0}, Case{"$", false, 0},
                   Case{"1 2", false, 0}}) {
        SCOPED_TRACE(c.text);
        if (c.ok) {
            EXPECT_EQ(StrToInt(c.text), c.value);
            EXPECT_EQ(StrToIntDef(c.text, 7), c.value);
        } else {
            EXPECT_EQ(StrToIntDef(c.text, 7), 7);
            try {
                StrToInt(c.text);
                ADD_FAILURE() << "no EConvertError";
            } catch (const EConvertError& e) {
                EXPECT_NE(e.Message.Pos(AnsiString("'") + c.text + "'"), 0) << e.Message;
            }
        }
    }
    EXPECT_EQ(IntToStr(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(IntToStr(int64_t{1} << 40), "1099511627776");
}

void CheckFloats() {
    struct Parse { const char* text; bool ok; double value; };
    for (Parse c : {Parse{"0.5", true, 0.5}, Parse{" 2.25 ", true, 2.25}, Parse{"1e-5", true, 1e-5},
                    Parse{"-1.5E3", true, -1500}, Parse{".5", true, 0.5}, Parse{"+3", true, 3},
                    Parse{"1,5", false, 0}, Parse{"INF", false, 0}, Parse{"nan", false, 0}, Parse{"+-5", false, 0},
                    Parse{"", false, 0}, Parse{"0x1p3", false, 0}, Parse{"1e999", false, 0}}) {
        SCOPED_TRACE(c.text);
        if (c.ok)
            EXPECT_DOUBLE_EQ(StrToFloat(c.text), c.value);
        else
            EXPECT_THROW(StrToFloat(c.text), EConvertError);
    }

    struct Gen { double value; const char* text; };
    for (Gen c : {Gen{0.5, "0.5"}, Gen{1e-5, "0.00001"}, Gen{1e-4, "0.0001"}, Gen{1.5e-6, "1.5E-6"},
                  Gen{12345678, "1.234568E7"}, Gen{1234567, "1234567"}, Gen{9999999.5, "1E7"},
                  Gen{123.456789, "123.4568"}, Gen{-0.0, "0"}, Gen{0, "0"}, Gen{100, "100"}, Gen{120.0, "120"},
                  Gen{-2.5, "-2.5"}, Gen{0.1, "0.1"}, Gen{1.0 / 3, "0.3333333"}, Gen{-1.25e-7, "-1.25E-7"}}) {
        SCOPED_TRACE(c.text);
        AnsiString text = FloatToStrF(c.value, ffGeneral, 7, 10);
        EXPECT_EQ(text, c.text);
        // What is written reads back to the value at the written precision.
        double back = StrToFloat(text);
        EXPECT_NEAR(back, c.value, std::fabs(c.value) * 1e-6 + 1e-300);
    }
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FloatToStr(1e20), "1E20");
    EXPECT_EQ(FloatToStrF(2.5, ffFixed, 7, 2), "2.50");
    EXPECT_EQ(Format("%.2f|%g", 1.5, 0.25), "1.50|0.25");
    EXPECT_EQ(DecimalSeparator, '.');
}

// A locale whose decimal separator is ",". An installed one is used when present; otherwise one is
// compiled with localedef from the system's locale sources into the test folder. Null when
// neither is possible (a machine without locale sources).
locale_t DecimalCommaLocale() {
    static locale_t loc = [] {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"})
            if (locale_t l = newlocale(LC_ALL_MASK, name, nullptr)) return l;
        if (!std::filesystem::exists("/usr/share/i18n/locales/de_DE")) return locale_t{};
        const char* base = std::getenv("TIKORA_TEST_TMP");
        std::filesystem::path dir = std::filesystem::path(base && *base ? base : "/tmp") / "locales";
        std::filesystem::create_directories(dir);
        if (!std::filesystem::exists(dir / "de_DE.UTF-8" / "LC_NUMERIC")) {
            std::string cmd = "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
            (void)std::system(cmd.c_str());
        }
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
    }();
    return loc;
}

class LocaleScope {
public:
    explicit LocaleScope(locale_t loc) : previous_(uselocale(loc)) {}
    ~LocaleScope() { uselocale(previous_); }

private:
    locale_t previous_;
};

}  // namespace

TEST(Conversions, IntegersAndFloatsInTheCLocale) {
    CheckIntegers();
    CheckFloats();
}

TEST(Conversions, IntegersAndFloatsUnderADecimalCommaLocale) {
    locale_t loc = DecimalCommaLocale();
    if (!loc) GTEST_SKIP() << "no decimal-comma locale installed and no locale sources to build one";
    LocaleScope scope(loc);
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the locale is not in effect";
    CheckIntegers();
    CheckFloats();
}
