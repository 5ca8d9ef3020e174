#include "AnsiString.h"

#include <algorithm>
#include <cstring>
#include <ostream>

#include "Exception.h"
#include "SysUtils.h"

AnsiString::AnsiString(int v) : s_(std::to_string(v)) {}
AnsiString::AnsiString(unsigned v) : s_(std::to_string(v)) {}
AnsiString::AnsiString(int64_t v) : s_(std::to_string(v)) {}
AnsiString::AnsiString(double v) : s_(FloatToStr(v).str()) {}

static void RangeCheck(int index, int length) {
    if (index < 1 || index > length)
        throw ERangeError("Range check error: index " + std::to_string(index) + " outside 1.." +
                          std::to_string(length));
}

char& AnsiString::operator[](int index) {
    RangeCheck(index, Length());
    return s_[static_cast<size_t>(index - 1)];
}

char AnsiString::operator[](int index) const {
    RangeCheck(index, Length());
    return s_[static_cast<size_t>(index - 1)];
}

AnsiString AnsiString::SubString(int start, int count) const {
    // As the runtime's Copy: a start before the first character counts from the first one.
    if (start < 1) start = 1;
    if (count <= 0 || start > Length()) return AnsiString();
    return AnsiString(s_.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count)));
}

int AnsiString::Pos(const AnsiString& sub) const {
    if (sub.IsEmpty()) return 0;
    size_t p = s_.find(sub.s_);
    return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

AnsiString& AnsiString::Delete(int index, int count) {
    if (index < 1 || index > Length() || count <= 0) return *this;
    s_.erase(static_cast<size_t>(index - 1), static_cast<size_t>(count));
    return *this;
}

AnsiString& AnsiString::Insert(const AnsiString& str, int index) {
    if (index < 1) index = 1;
    if (index > Length() + 1) index = Length() + 1;
    s_.insert(static_cast<size_t>(index - 1), str.s_);
    return *this;
}

AnsiString& AnsiString::SetLength(int newLength) {
    s_.resize(newLength > 0 ? static_cast<size_t>(newLength) : 0);
    return *this;
}

static bool IsBlankOrBelow(char c) { return static_cast<unsigned char>(c) <= ' '; }

AnsiString AnsiString::Trim() const { return TrimLeft().TrimRight(); }

AnsiString AnsiString::TrimLeft() const {
    size_t i = 0;
    while (i < s_.size() && IsBlankOrBelow(s_[i])) ++i;
    return AnsiString(s_.substr(i));
}

AnsiString AnsiString::TrimRight() const {
    size_t n = s_.size();
    while (n > 0 && IsBlankOrBelow(s_[n - 1])) --n;
    return AnsiString(s_.substr(0, n));
}

AnsiString AnsiString::UpperCase() const {
    std::string r = s_;
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return AnsiString(std::move(r));
}

AnsiString AnsiString::LowerCase() const {
    std::string r = s_;
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return AnsiString(std::move(r));
}

int AnsiString::ToInt() const { return StrToInt(*this); }
int AnsiString::ToIntDef(int def) const { return StrToIntDef(*this, def); }
double AnsiString::ToDouble() const { return StrToFloat(*this); }

int AnsiString::Compare(const AnsiString& other) const {
    size_t n = std::min(s_.size(), other.s_.size());
    int c = n ? std::memcmp(s_.data(), other.s_.data(), n) : 0;  // memcmp compares unsigned bytes
    if (c != 0) return c < 0 ? -1 : 1;
    if (s_.size() == other.s_.size()) return 0;
    return s_.size() < other.s_.size() ? -1 : 1;
}

int AnsiString::AnsiCompareIC(const AnsiString& other) const { return CompareText(*this, other); }

bool AnsiString::IsDelimiter(const AnsiString& delimiters, int index) const {
    if (index < 1 || index > Length()) return false;
    return delimiters.s_.find(s_[static_cast<size_t>(index - 1)]) != std::string::npos;
}

int AnsiString::LastDelimiter(const AnsiString& delimiters) const {
    size_t p = s_.find_last_of(delimiters.s_);
    return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

AnsiString AnsiString::StringOfChar(char c, int count) {
    return AnsiString(std::string(count > 0 ? static_cast<size_t>(count) : 0, c));
}

std::ostream& operator<<(std::ostream& os, const AnsiString& s) { return os << s.str(); }
