#pragma once
// Text and number conversions of the runtime library. All of them ignore the user's locale:
// the decimal separator is always ".".
#include <cstdint>
#include "AnsiString.h"

extern char DecimalSeparator;  // stays '.'; kept because callers set it

AnsiString IntToStr(int value);
AnsiString IntToStr(int64_t value);
AnsiString IntToHex(int value, int digits);
int StrToInt(const AnsiString& s);  // decimal or "$"/"0x" hex; raises EConvertError
int StrToIntDef(const AnsiString& s, int def);
bool TryStrToInt(const AnsiString& s, int& value);
int64_t StrToInt64(const AnsiString& s);
double StrToFloat(const AnsiString& s);  // raises EConvertError; refuses INF and NAN
double StrToFloatDef(const AnsiString& s, double def);
bool TryStrToFloat(const AnsiString& s, double& value);

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber };
AnsiString FloatToStr(double value);  // general format, 15 significant digits
// General format: at most `precision` significant digits, no trailing zeros; scientific notation
// when the magnitude is below 0.00001 or has more integer digits than `precision`.
AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits);

AnsiString UpperCase(const AnsiString& s);
AnsiString LowerCase(const AnsiString& s);
AnsiString Trim(const AnsiString& s);
AnsiString TrimLeft(const AnsiString& s);
AnsiString TrimRight(const AnsiString& s);
int CompareText(const AnsiString& a, const AnsiString& b);  // ASCII case-insensitive
int CompareStr(const AnsiString& a, const AnsiString& b);
bool SameText(const AnsiString& a, const AnsiString& b);
AnsiString StringReplaceAll(const AnsiString& s, const AnsiString& from, const AnsiString& to);
AnsiString Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));  // printf-style, "C" numerics
