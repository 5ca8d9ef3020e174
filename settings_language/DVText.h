#pragma once
// Text helpers of the settings language, shared with the engine's time-signature parser.
#include "AnsiString.h"

// Cuts the leading token off `line`. With invert false the token ends at the first character that
// is in `delimiters`; with invert true at the first one that is not. The stop character is removed
// from the line and returned; 0 when the line ran out (the line is then empty).
char ExtractToken(AnsiString& line, AnsiString& token, const AnsiString& delimiters, bool invert);

// The normal form of a statement or path: TABs become blanks, a ';' outside double quotes starts a
// comment, no blank stays next to one of " ,.-[]()={}" outside quotes, runs of blanks shrink to one,
// and leading and trailing blanks and control characters are gone.
AnsiString NormalizeLine(const AnsiString& line);
