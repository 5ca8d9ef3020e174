#pragma once
// Helpers shared by the units of the settings language; not part of its interface.
#include <cstdint>

#include "AnsiString.h"

// A text value in its written form: enclosed in double quotes, an inner '"' doubled, and line
// breaks turned into blanks so that the value stays on its line.
AnsiString DVQuote(const AnsiString& text);
// A line break inside an unquoted value would split the statement.
AnsiString DVOneLine(const AnsiString& text);

// Count work and memory against the budget of the load in progress (DVLimits.MaxSteps and
// MaxBytes) and raise when it is spent; outside a load they count nothing.
void DVCountSteps(int64_t steps);
void DVCountBytes(int64_t bytes);
