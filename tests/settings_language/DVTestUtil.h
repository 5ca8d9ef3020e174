#pragma once
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Classes.h"
#include "Tdevelopervariables.h"

using Lines = std::vector<const char*>;

inline void LoadLines(TDVContext& c, const Lines& lines) {
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

inline std::string LoadError(TDVContext& c, const Lines& lines) {
    return ErrorOf([&] { LoadLines(c, lines); });
}

inline std::string Joined(const TStrings& l) {
    std::string s;
    for (int i = 0; i < l.Count(); ++i) s += l[i].str() + "\n";
    return s;
}

// The settings files the program ships, read as it reads them.
inline void LoadShipped(TDVContext& c, const char* name) {
    c.LoadFromFile(std::string(TIKORA_SOURCE_DIR "/data/defs/") + name, true);
}

// A fresh folder (with an empty "sub" folder) under the tests' scratch directory.
inline std::string TempDir(const char* name) {
    const char* base = std::getenv("TIKORA_TEST_TMP");
    std::string dir = std::string(base ? base : "/tmp") + "/settings_language_" + name;
    std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "/sub'";
    return std::system(cmd.c_str()) == 0 ? dir : std::string();
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
