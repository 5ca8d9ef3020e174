#pragma once
#include <functional>
#include <initializer_list>
#include <string>

#include "Classes.h"
#include "Tdevelopervariables.h"

inline void LoadLines(TDVContext& c, std::initializer_list<const char*> lines) {
    TStringList l;
    for (const char* s : lines) l.Add(s);
    c.LoadFromStrings(&l, 0, -1);
}

// The message of the Exception that `f` raises, or "<none>".
inline std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message.str();
    }
    return "<none>";
}

inline std::string LoadError(TDVContext& c, std::initializer_list<const char*> lines) {
    return ErrorOf([&] { LoadLines(c, lines); });
}

inline std::string Joined(const TStrings& l) {
    std::string s;
    for (int i = 0; i < l.Count(); ++i) s += l[i].str() + "\n";
    return s;
}
