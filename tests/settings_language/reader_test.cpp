#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "DVTestUtil.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
const bool kAddressSanitizer = true;
#elif defined(__has_feature)
const bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
const bool kAddressSanitizer = false;
#endif

// Loads `file` in a child process whose address space is capped at 512 MB (not under
// AddressSanitizer, whose shadow memory needs more) and CPU time at 20 s, into a context that
// already holds settings. Returns what the child reports: the load's error, then "whole" when the
// settings loaded before are unchanged and a later load works.
std::string LoadCapped(const std::string& file, bool budgetLifted) {
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        rlimit as{512ull << 20, 512ull << 20}, cpu{20, 20};
        if (!kAddressSanitizer) setrlimit(RLIMIT_AS, &as);
        setrlimit(RLIMIT_CPU, &cpu);
        if (budgetLifted) DVLimits.MaxSteps = DVLimits.MaxBytes = 0;
        TDVContext root;
        LoadLines(root, {"context Settings", "integer Tempo=120", "string Name=\"a;b\"", "}"});
        TStringList before, after;
        root.SaveTagToStrings("Settings", &before);
        std::string report = ErrorOf([&] { root.LoadFromFile(file, true); });  // anything else ends the child
        DVLimits = TDVLimits();
        root.SaveTagToStrings("Settings", &after);
        if (Joined(after) == Joined(before) && LoadError(root, {"Settings.Tempo=90"}) == "<none>") report += " whole";
        if (write(fds[1], report.data(), report.size()) < 0) _exit(2);
        _exit(0);
    }
    close(fds[1]);
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status)) got += " killed by signal " + std::to_string(WTERMSIG(status));
    return got;
}

}  // namespace

TEST(Reader, APartOfTheLines) {
    TStringList l;
    for (const char* s : {"integer a=1", "integer b=2", "integer c=3"}) l.Add(s);
    TDVContext part;
    part.LoadFromStrings(&l, 1, 1);
    EXPECT_EQ(part.TagExists("a") + 2 * part.TagExists("b") + 4 * part.TagExists("c"), 2);
    part.LoadFromStrings(&l, 7, -1);  // beyond the end: nothing
}

TEST(Reader, HostileFilesEndInAClearErrorWithinBoundedMemory) {
    std::string decl, open, close, values = "integer b[1000000]\nb=0";  // 30 levels; a million values
    for (int i = 1; i <= 30; ++i) {
        decl += "context L" + std::to_string(i) + "[2]\n";
        open += "L" + std::to_string(i) + "[*] {\n";
        close += "}\n";
    }
    const std::string doubling = decl + "integer x\n" + close + open + "x=1\n" + close;
    for (int i = 1; i < 1000000; ++i) values += "," + std::to_string(i % 1000);
    const std::string nested =
        "context A[100000]\ncontext B[100000]\ninteger x\ncontext C[100000]\ninteger y\n}\n}\n}\nA[*].B[1].x=1\n";
    const std::string tooLarge = " Load too large: ";
    struct Case {
        std::string text, error;
        bool lifted;
    } cases[] = {
        {nested, tooLarge + "its tags, values and contexts would take more than 64 MB; Line=8", false},
        {"integer L[*]\nmorph(L[#],1,100000000)\n",
         "invalid parametrs in calling morph: Morphing: span of more than 65536 in L[#]; Line=1", false},
        {"context L[*]\ninteger v\n}\nmorph(L[#],1,100000000)\n",
         "invalid parametrs in calling morph: Morphing: span of more than 65536 in L[#]; Line=3", false},
        {doubling, tooLarge + "its tags, values and contexts would take more than 64 MB; Line=", false},
        {values, tooLarge + "more than 1000000 steps (statements, replayed blocks, elements, indexes and values)",
         false},
        {nested, " Out of memory; Line=8", true},  // with no budget, running out of memory is reported too
    };
    std::string dir = TempDir("hostile");
    for (const Case& c : cases) {
        if (c.lifted && kAddressSanitizer) continue;
        WriteFile(dir + "/hostile.def", c.text);
        std::string got = LoadCapped(dir + "/hostile.def", c.lifted);
        EXPECT_THAT(got, testing::StartsWith(c.error));
        EXPECT_THAT(got, testing::EndsWith("; File=" + dir + "/hostile.def whole"));
    }
    // Nothing was written: the folder holds the file read and the empty "sub" only.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
}

TEST(Reader, FileNamesAgainstTheBaseDirectory) {
    struct Case {
        const char* base;
        const char* name;
        const char* resolved;
    } cases[] = {
        {"D:\\set\\sub", "..\\x.def", "D:\\set\\x.def"},
        {"D:\\set\\sub", ".\\x.def", "D:\\set\\sub\\x.def"},
        {"D:\\set\\sub", "x.def", "D:\\set\\sub\\x.def"},
        {"D:\\set\\sub", "inc\\x.def", "inc\\x.def"},
        {"D:\\set\\sub", " x.def ", "D:\\set\\sub\\x.def"},
        {"set", "..\\x.def", "x.def"},  // never up to the root
        {"set", "..\\..\\x.def", "..\\x.def"},
        {"a\\b", "..\\..\\..\\x.def", "..\\x.def"},
        {"\\abs", "..\\x.def", "\\x.def"},
        {"D:\\set", ".", "D:\\set\\."},
        {"D:\\set", "..", "D:\\set\\.."},
        {"D:\\set", ".\\.", "D:\\set\\"},
        {"", "..\\x.def", "..\\x.def"},
    };
    for (const Case& c : cases) {
        TDVContext ctx;
        ctx.SetBaseDir(c.base);
        EXPECT_EQ(ctx.ResolveFileName(c.name), c.resolved) << c.base << " + " << c.name;
    }
    TDVContext ctx;
    ctx.SetBaseDir("C:\\a\\\\");
    ctx.SetBaseDir("C:\\other");  // the first one stays
    EXPECT_EQ(ctx.BaseDir + (ctx.BaseDirSet ? " set" : ""), "C:\\a set");
}

TEST(Reader, LoadFromFileAndInclude) {
    std::string dir = TempDir("files");
    for (auto [name, text] : {std::pair{"main.def", "\xEF\xBB\xBFinteger a=1\r\ninclude(.\\sub\\one.def)\r\n"},
                              {"sub/one.def", "integer b=2\ninclude(two.def)\n"},
                              {"two.def", "integer c=3\n"},
                              {"bad.def", "integer a\ninteger a\n"},
                              {"loop.def", "integer l\ninclude(loop.def)\n"},
                              {"open.def", "context C\ninteger a\n"}})
        WriteFile(dir + "/" + name, text);

    TDVContext root;
    root.LoadFromFile(dir + "/main.def", true);
    EXPECT_EQ(root.BaseDir, AnsiString(dir));
    ExpectValues(root, "a=1|b=2|c=3");

    TDVContext r;
    r.LoadFromFile(dir + "/missing.def", false);
    EXPECT_TRUE(r.Tags().empty());
    EXPECT_EQ(ErrorOf([&] { r.LoadFromFile("missing.def", true); }),
              "TDVContext::LoadFromFile: file not found '" + dir + "\\missing.def'");
    EXPECT_EQ(ErrorOf([&] {
                  TDVContext x;
                  x.LoadFromFile(dir + "/bad.def", true);
              }),
              " Ident 'a': allready defined; Line='integer a'; Line=1; File=" + dir + "/bad.def");
    EXPECT_EQ(ErrorOf([&] {
                  TDVContext x;
                  x.LoadFromFile(dir, true);
              }),
              "TDVContext::LoadFromFile: file not found '" + dir + "'");

    std::string loop = ErrorOf([&] {
        TDVContext x;
        x.LoadFromFile(dir + "/loop.def", true);
    });
    EXPECT_EQ(loop, "invalid parametrs in calling include: TDVContext::LoadFromFile: recursive include of '" + dir +
                        "\\loop.def'; Line=1; File=" + dir + "/loop.def");

    TDVContext inc;
    inc.SetBaseDir(dir);
    EXPECT_EQ(LoadError(inc, {"integer z", "include(open.def)"}),
              "invalid parametrs in calling include:  '}' or endcontext expected; Line=2; File=" + dir +
                  "\\open.def; Line=1");
    EXPECT_EQ(LoadError(inc, {"include(nothing.def)"}),
              "invalid parametrs in calling include: TDVContext::LoadFromFile: file not found '" + dir +
                  "\\nothing.def'; Line=0");
}
