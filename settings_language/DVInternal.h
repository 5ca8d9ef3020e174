#pragma once
// Helpers shared by the units of the settings language; not part of its interface.
#include "AnsiString.h"

// A text value in its written form: enclosed in double quotes, an inner '"' doubled, and line
// breaks turned into blanks so that the value stays on its line.
AnsiString DVQuote(const AnsiString& text);
// A line break inside an unquoted value would split the statement.
AnsiString DVOneLine(const AnsiString& text);

// Counts one statement against DVLimits.MaxStatements for the load in progress; raises when over.
void DVCountStatement();
