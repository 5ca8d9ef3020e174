#include "DVText.h"

#include <string>

char TTokenReader::Next(AnsiString& token, const AnsiString& delimiters, bool invert) {
    const std::string& d = delimiters.str();
    size_t i = pos_;
    while (i < s_.size() && (d.find(s_[i]) != std::string::npos) == invert) ++i;
    token = AnsiString(s_.substr(pos_, i - pos_));
    if (i >= s_.size()) {
        pos_ = s_.size();
        return 0;
    }
    pos_ = i + 1;
    return s_[i];
}

bool TTokenReader::Quoted(AnsiString& text) {
    std::string out;
    size_t i = pos_ + 1;
    while (i < s_.size()) {
        if (s_[i] == '"') {
            if (i + 1 < s_.size() && s_[i + 1] == '"') {
                out += '"';
                i += 2;
                continue;
            }
            pos_ = i + 1;
            text = AnsiString(std::move(out));
            return true;
        }
        out += s_[i++];
    }
    return false;
}

bool TTokenReader::Skip(char c) {
    if (AtEnd() || s_[pos_] != c) return false;
    ++pos_;
    return true;
}

char ExtractToken(AnsiString& line, AnsiString& token, const AnsiString& delimiters, bool invert) {
    TTokenReader in(line.str());
    char stop = in.Next(token, delimiters, invert);
    line = AnsiString(in.Rest());
    return stop;
}

static bool IsNormDelimiter(char c) {
    switch (c) {
        case ' ':
        case ',':
        case '.':
        case '-':
        case '[':
        case ']':
        case '(':
        case ')':
        case '=':
        case '{':
        case '}':
            return true;
        default:
            return false;
    }
}

AnsiString NormalizeLine(const AnsiString& line) {
    const std::string& in = line.str();
    std::string out;
    out.reserve(in.size());
    bool inQuotes = false;
    for (char c : in) {
        if (c == '\t') c = ' ';
        if (c == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes) {
            if (c == ';') break;
            // The previous output character is never a quoted one here: the closing '"' stands between.
            if (IsNormDelimiter(c) && !out.empty() && IsNormDelimiter(out.back())) {
                if (c == ' ') continue;
                if (out.back() == ' ') out.pop_back();
            }
        }
        out += c;
    }
    size_t b = 0, e = out.size();
    while (b < e && static_cast<unsigned char>(out[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(out[e - 1]) <= ' ') --e;
    return AnsiString(out.substr(b, e - b));
}
