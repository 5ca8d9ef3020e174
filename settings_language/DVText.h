#pragma once
// Text helpers of the settings language, shared with the engine's time-signature parser.
#include <cstddef>
#include <string>

#include "AnsiString.h"

// Cuts the leading token off `line`. With invert false the token ends at the first character that
// is in `delimiters`; with invert true at the first one that is not. The stop character is removed
// from the line and returned; 0 when the line ran out (the line is then empty).
char ExtractToken(AnsiString& line, AnsiString& token, const AnsiString& delimiters, bool invert);

// Reads a text token by token as ExtractToken cuts it, but only a position moves on: what is left
// of the text is never copied, so a statement of a million values reads in linear time.
// The text must outlive the reader.
class TTokenReader {
public:
    explicit TTokenReader(const std::string& text, size_t pos = 0)
        : s_(text), pos_(pos < text.size() ? pos : text.size()) {}
    // The next token, as ExtractToken would cut it from the rest of the text.
    char Next(AnsiString& token, const AnsiString& delimiters, bool invert);
    // At a '"': the text up to the closing quote, a doubled '"' standing for one; false when the
    // quote is never closed.
    bool Quoted(AnsiString& text);
    bool AtEnd() const { return pos_ >= s_.size(); }
    bool Skip(char c);  // moves past `c` when it comes next
    void SkipToEnd() { pos_ = s_.size(); }
    size_t Pos() const { return pos_; }
    std::string Rest() const { return s_.substr(pos_); }

private:
    const std::string& s_;
    size_t pos_;
};

// The normal form of a statement or path: TABs become blanks, a ';' outside double quotes starts a
// comment, no blank stays next to one of " ,.-[]()={}" outside quotes, runs of blanks shrink to one,
// and leading and trailing blanks and control characters are gone.
AnsiString NormalizeLine(const AnsiString& line);
