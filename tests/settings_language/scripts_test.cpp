// Runs the cases of statements.txt (its head describes the format): statements loaded into a fresh
// context, the error they raise, the values they leave and the text the context is written as.

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "DVTestUtil.h"

namespace {

// A text of the case file with its escapes \t \r \n \" \\ \xHH taken out.
std::string Unescaped(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        if (c == 'x') {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
        }
    }
    return out;
}

struct Case {
    int line = 0;  // in the case file
    std::string preamble, error = "<none>", values, written;
    std::vector<std::string> statements;
    bool checkWritten = false;
};

void RunCase(const Case& c, const std::map<std::string, std::vector<std::string>>& preambles) {
    const std::string where = "statements.txt:" + std::to_string(c.line);
    TDVContext root;
    TStringList lines;
    if (!c.preamble.empty()) {
        for (const std::string& s : preambles.at(c.preamble)) lines.Add(s);
        root.LoadFromStrings(&lines, 0, -1);
        lines.Clear();
    }
    for (const std::string& s : c.statements) lines.Add(s);
    const std::string e = ErrorOf([&] { root.LoadFromStrings(&lines, 0, -1); });
    EXPECT_EQ(e.rfind(c.error, 0), 0u) << where << ": " << e;
    ExpectValues(root, c.values, where);
    if (!c.checkWritten) return;
    TStringList out;
    root.SaveToStrings(&out);
    EXPECT_EQ(Joined(out), c.written) << where;
}

}  // namespace

TEST(Statements, CasesOfTheCaseFile) {
    std::ifstream in(TIKORA_SOURCE_DIR "/tests/settings_language/statements.txt");
    ASSERT_TRUE(in) << "statements.txt not found";
    std::map<std::string, std::vector<std::string>> preambles;
    std::vector<std::string>* target = nullptr;
    std::vector<Case> cases;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        const std::string head = line.substr(0, line.find(' '));
        const std::string rest = head.size() == 1 && head != "#" && line.size() > 2 ? Unescaped(line.substr(2)) : "";
        if (head == "preamble") {
            target = &preambles[line.substr(9)];
        } else if (head == "case") {
            cases.emplace_back();
            cases.back().line = n;
            cases.back().preamble = line.size() > 5 ? line.substr(5) : "";
            target = &cases.back().statements;
        } else if (head == "<") {
            target->push_back(rest);
        } else if (head == "!") {
            cases.back().error = rest;
        } else if (head == "=") {
            cases.back().values = rest;
        } else if (head == ">") {
            cases.back().written += line.size() > 1 ? rest + "\n" : "";
            cases.back().checkWritten = true;
        } else {
            ASSERT_TRUE(line.empty() || line[0] == '#') << "statements.txt:" << n << ": " << line;
        }
    }
    EXPECT_GT(cases.size(), 100u);
    for (const Case& c : cases) RunCase(c, preambles);
}
