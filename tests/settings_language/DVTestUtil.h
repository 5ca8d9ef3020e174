#pragma once
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Classes.h"
#include "DVText.h"
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

// Each call raises an Exception whose message begins with its text ("<none>": it raises nothing).
struct Refusal {
    std::function<void()> call;
    std::string error;
};

inline void ExpectRefusals(const std::vector<Refusal>& refusals) {
    for (const Refusal& r : refusals) EXPECT_THAT(ErrorOf(r.call), testing::StartsWith(r.error));
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
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/sub");
    return dir;
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Each "path=value" of `checks` (separated by "|") holds in `root`: a pointer shows its own text,
// everything else its value text.
inline void ExpectValues(TDVContext& root, const std::string& checks, const std::string& what = "") {
    for (size_t at = 0; at < checks.size();) {
        size_t bar = std::min(checks.find('|', at), checks.size()), eq = checks.find('=', at);
        AnsiString path = checks.substr(at, eq - at);
        std::string got;
        try {
            int idx;
            TDVVarTag* t = root.ResolvePath(NormalizeLine(path), idx, false, true);
            got = (t->ValType == vtPointer ? t->AsText(-1) : root.GetValueAsString(path)).str();
        } catch (const Exception& e) {
            got = "error: " + e.Message.str();
        }
        EXPECT_EQ(got, checks.substr(eq + 1, bar - eq - 1)) << what << " -> " << path.str();
        at = bar + 1;
    }
}
