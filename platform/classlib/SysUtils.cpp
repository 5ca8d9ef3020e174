#include "SysUtils.h"

#include <locale.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Exception.h"

char DecimalSeparator = '.';

AnsiString IntToStr(int value) { return AnsiString(std::to_string(value)); }
AnsiString IntToStr(int64_t value) { return AnsiString(std::to_string(value)); }

AnsiString IntToHex(int value, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*X", digits < 0 ? 0 : digits, static_cast<unsigned>(value));
    return AnsiString(buf);
}

static bool ParseInt64(const AnsiString& text, int64_t& out) {
    std::string s = text.Trim().str();
    if (s.empty()) return false;
    size_t i = 0;
    bool neg = false;
    if (s[i] == '+' || s[i] == '-') {
        neg = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    uint64_t v = 0;
    auto [p, ec] = std::from_chars(s.data() + i, s.data() + s.size(), v, base);
    if (ec != std::errc() || p != s.data() + s.size()) return false;
    if (v > (neg ? 9223372036854775808ull : 9223372036854775807ull)) return false;
    out = neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
    return true;
}

bool TryStrToInt(const AnsiString& s, int& value) {
    int64_t v;
    if (!ParseInt64(s, v)) return false;
    // Hexadecimal text names a 32-bit pattern: "$FFFFFFFF" is -1, as in the class library.
    std::string t = s.Trim().str();
    bool hex = t.find_first_of("$xX") != std::string::npos;
    if (hex && v > INT32_MAX && v <= static_cast<int64_t>(UINT32_MAX)) v -= int64_t{1} << 32;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

int StrToInt(const AnsiString& s) {
    int v;
    if (!TryStrToInt(s, v)) throw EConvertError("'" + s + "' is not a valid integer value");
    return v;
}

int StrToIntDef(const AnsiString& s, int def) {
    int v;
    return TryStrToInt(s, v) ? v : def;
}

int64_t StrToInt64(const AnsiString& s) {
    int64_t v;
    if (!ParseInt64(s, v)) throw EConvertError("'" + s + "' is not a valid integer value");
    return v;
}

bool TryStrToFloat(const AnsiString& text, double& value) {
    std::string s = text.Trim().str();
    if (s.empty()) return false;
    const char* b = s.data();
    const char* e = b + s.size();
    if (*b == '+') {
        ++b;
        if (b != e && *b == '-') return false;  // from_chars would take "+-5" as -5
    }
    if (b == e) return false;
    // Only decimal digits, one '.', and an exponent are numbers here: no INF, NAN or hex floats.
    for (const char* p = b; p != e; ++p) {
        char c = *p;
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+')) return false;
    }
    double v = 0;
    auto [p, ec] = std::from_chars(b, e, v, std::chars_format::general);
    if (ec != std::errc() || p != e || !std::isfinite(v)) return false;
    value = v;
    return true;
}

double StrToFloat(const AnsiString& s) {
    double v;
    if (!TryStrToFloat(s, v)) throw EConvertError("'" + s + "' is not a valid floating point value");
    return v;
}

double StrToFloatDef(const AnsiString& s, double def) {
    double v;
    return TryStrToFloat(s, v) ? v : def;
}

// "1.5e-07" -> "1.5E-7" (general format: no "+" for positive exponents) or "1.5E-7" / "1.5E+7"
// (exponent format, sign always written): the class library's way of writing exponents.
static std::string StripExponentZeros(const std::string& s, bool alwaysSign = true) {
    size_t e = s.find_first_of("eE");
    if (e == std::string::npos) return s;
    std::string mant = s.substr(0, e);
    std::string ex = s.substr(e + 1);
    char sign = '+';
    if (!ex.empty() && (ex[0] == '+' || ex[0] == '-')) {
        sign = ex[0];
        ex.erase(0, 1);
    }
    while (ex.size() > 1 && ex[0] == '0') ex.erase(0, 1);
    if (sign == '+' && !alwaysSign) return mant + "E" + ex;
    return mant + "E" + sign + ex;
}

AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (precision < 1) precision = 1;
    if (precision > 18) precision = 18;
    char buf[512];
    switch (format) {
        case ffFixed:
        case ffNumber: {
            auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, digits < 0 ? 0 : digits);
            return AnsiString(std::string(buf, r.ptr));
        }
        case ffExponent: {
            auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision - 1);
            return AnsiString(StripExponentZeros(std::string(buf, r.ptr)));
        }
        case ffGeneral:
        default: {
            if (value == 0) return "0";
            // Round to `precision` significant digits first, then decide the notation.
            auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision - 1);
            std::string sci(buf, r.ptr);
            size_t e = sci.find('e');
            int exp10 = std::atoi(sci.c_str() + e + 1);
            if (exp10 < -5 || exp10 >= precision) {
                std::string mant = sci.substr(0, e);
                if (mant.find('.') != std::string::npos) {
                    while (mant.back() == '0') mant.pop_back();
                    if (mant.back() == '.') mant.pop_back();
                }
                return AnsiString(StripExponentZeros(mant + sci.substr(e), false));
            }
            // from_chars, not strtod: strtod would stop at the "." under a decimal-comma locale.
            double rounded = 0;
            std::from_chars(sci.data(), sci.data() + sci.size(), rounded);
            int decimals = precision - 1 - exp10;
            if (decimals < 0) decimals = 0;
            auto f = std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, decimals);
            std::string out(buf, f.ptr);
            if (out.find('.') != std::string::npos) {
                while (out.back() == '0') out.pop_back();
                if (out.back() == '.') out.pop_back();
            }
            if (out == "-0") out = "0";
            return AnsiString(out);
        }
    }
}

AnsiString FloatToStr(double value) { return FloatToStrF(value, ffGeneral, 15, 0); }

AnsiString UpperCase(const AnsiString& s) { return s.UpperCase(); }
AnsiString LowerCase(const AnsiString& s) { return s.LowerCase(); }
AnsiString Trim(const AnsiString& s) { return s.Trim(); }
AnsiString TrimLeft(const AnsiString& s) { return s.TrimLeft(); }
AnsiString TrimRight(const AnsiString& s) { return s.TrimRight(); }

int CompareText(const AnsiString& a, const AnsiString& b) { return a.UpperCase().Compare(b.UpperCase()); }

int CompareStr(const AnsiString& a, const AnsiString& b) { return a.Compare(b); }
bool SameText(const AnsiString& a, const AnsiString& b) { return CompareText(a, b) == 0; }

AnsiString StringReplaceAll(const AnsiString& s, const AnsiString& from, const AnsiString& to) {
    if (from.IsEmpty()) return s;
    std::string r;
    const std::string& src = s.str();
    size_t pos = 0;
    for (;;) {
        size_t f = src.find(from.str(), pos);
        if (f == std::string::npos) break;
        r.append(src, pos, f - pos);
        r += to.str();
        pos = f + from.str().size();
    }
    r.append(src, pos, std::string::npos);
    return AnsiString(std::move(r));
}

AnsiString Format(const char* fmt, ...) {
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    locale_t old = uselocale(cLocale);
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, ap2);
    va_end(ap2);
    uselocale(old);
    return AnsiString(std::move(out));
}
