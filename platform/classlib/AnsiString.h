#pragma once
// The 8-bit text type of the whole program: a byte string with value semantics, character
// positions counted from 1. Comparison is in unsigned byte order.
#include <compare>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

class AnsiString {
public:
    AnsiString() = default;
    AnsiString(const char* s) : s_(s ? s : "") {}
    AnsiString(const char* s, int len)
        : s_(s ? std::string(s, len > 0 ? static_cast<size_t>(len) : 0) : std::string()) {}
    AnsiString(const std::string& s) : s_(s) {}
    AnsiString(std::string&& s) : s_(std::move(s)) {}
    AnsiString(std::string_view s) : s_(s) {}
    explicit AnsiString(char c) : s_(1, c) {}
    explicit AnsiString(int v);
    explicit AnsiString(unsigned v);
    explicit AnsiString(int64_t v);
    explicit AnsiString(double v);  // general format, 15 significant digits, "." separator

    const char* c_str() const { return s_.c_str(); }
    const std::string& str() const { return s_; }
    std::string& str() { return s_; }
    operator std::string_view() const { return s_; }
    int Length() const { return static_cast<int>(s_.size()); }
    bool IsEmpty() const { return s_.empty(); }

    // 1-based access; raises ERangeError outside 1..Length().
    char& operator[](int index);
    char operator[](int index) const;

    AnsiString SubString(int start, int count) const;  // start < 1 reads from 1; never raises
    int Pos(const AnsiString& sub) const;              // 1-based, 0 when absent
    AnsiString& Delete(int index, int count);
    AnsiString& Insert(const AnsiString& str, int index);
    AnsiString& SetLength(int newLength);
    AnsiString Trim() const;
    AnsiString TrimLeft() const;
    AnsiString TrimRight() const;
    AnsiString UpperCase() const;
    AnsiString LowerCase() const;
    int ToInt() const;  // raises EConvertError
    int ToIntDef(int def) const;
    double ToDouble() const;                           // raises EConvertError
    int AnsiCompareIC(const AnsiString& other) const;  // ASCII case-insensitive, unsigned bytes
    bool IsDelimiter(const AnsiString& delimiters, int index) const;
    int LastDelimiter(const AnsiString& delimiters) const;
    static AnsiString StringOfChar(char c, int count);

    AnsiString& operator+=(const AnsiString& rhs) {
        s_ += rhs.s_;
        return *this;
    }
    AnsiString& operator+=(const char* rhs) {
        s_ += rhs ? rhs : "";
        return *this;
    }
    AnsiString& operator+=(char c) {
        s_ += c;
        return *this;
    }

    friend AnsiString operator+(const AnsiString& a, const AnsiString& b) { return AnsiString(a.s_ + b.s_); }
    friend AnsiString operator+(const AnsiString& a, const char* b) { return AnsiString(a.s_ + (b ? b : "")); }
    friend AnsiString operator+(const char* a, const AnsiString& b) { return AnsiString((a ? a : "") + b.s_); }
    friend AnsiString operator+(const AnsiString& a, char c) { return AnsiString(a.s_ + c); }

    friend bool operator==(const AnsiString& a, const AnsiString& b) { return a.s_ == b.s_; }
    friend bool operator==(const AnsiString& a, const char* b) { return a.s_ == (b ? b : ""); }
    friend std::strong_ordering operator<=>(const AnsiString& a, const AnsiString& b) {
        int c = a.Compare(b);
        return c < 0 ? std::strong_ordering::less : c > 0 ? std::strong_ordering::greater : std::strong_ordering::equal;
    }
    int Compare(const AnsiString& other) const;  // unsigned byte order

private:
    std::string s_;
};

std::ostream& operator<<(std::ostream& os, const AnsiString& s);

struct AnsiStringHash {
    size_t operator()(const AnsiString& s) const { return std::hash<std::string>()(s.str()); }
};
