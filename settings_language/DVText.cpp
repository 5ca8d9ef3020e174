#include "DVText.h"

#include <string>

char ExtractToken(AnsiString& line, AnsiString& token, const AnsiString& delimiters, bool invert) {
    const std::string& s = line.str();
    const std::string& d = delimiters.str();
    size_t i = 0;
    while (i < s.size() && (d.find(s[i]) != std::string::npos) == invert) ++i;
    if (i == s.size()) {
        token = line;
        line = AnsiString();
        return 0;
    }
    char stop = s[i];
    token = AnsiString(s.substr(0, i));
    line = AnsiString(s.substr(i + 1));
    return stop;
}

static bool IsNormDelimiter(char c) {
    switch (c) {
        case ' ': case ',': case '.': case '-': case '[': case ']':
        case '(': case ')': case '=': case '{': case '}':
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
