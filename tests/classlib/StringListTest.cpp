#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Classes.h"
#include "SysUtils.h"
#include "TempDir.h"

namespace {
std::vector<std::string> Lines(const TStrings& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list[i].str());
    return out;
}

using V = std::vector<std::string>;

// Files in a folder other than the expected ones: leftovers of a failed save.
V Entries(const std::filesystem::path& dir) {
    V out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}
}  // namespace

TEST(StringList, SortedListIsCaseInsensitiveAndIgnoresDuplicates) {
    TStringList list;
    list.SetSorted(true);
    for (const char* s : {"beta", "Alpha", "alpha", "Gamma", "ALPHA", "_x", "b"}) list.Add(s);
    EXPECT_EQ(Lines(list), (V{"Alpha", "b", "beta", "Gamma", "_x"}));
    EXPECT_EQ(list.Add("GAMMA"), 3);  // a duplicate answers with the index of the entry kept
    EXPECT_EQ(list.Count(), 5);
    EXPECT_EQ(list.IndexOf("BETA"), 2);
    EXPECT_EQ(list.IndexOf("delta"), -1);
    int at = -1;
    EXPECT_FALSE(list.Find("c", at));
    EXPECT_EQ(at, 3);
    EXPECT_THROW(list.Insert(0, "x"), EListError);
    EXPECT_THROW(list.SetStrings(0, "x"), EListError);

    list.SetDuplicates(dupError);
    EXPECT_THROW(list.Add("alpha"), EListError);
    list.SetDuplicates(dupAccept);
    list.Add("alpha");
    EXPECT_EQ(list.Count(), 6);
    EXPECT_EQ(CompareText(list[0], list[1]), 0);

    TStringList plain;
    for (const char* s : {"b", "a", "b"}) plain.Add(s);
    EXPECT_EQ(Lines(plain), (V{"b", "a", "b"}));
    EXPECT_EQ(plain.IndexOf("B"), 0);
    EXPECT_THROW(plain[3], EListError);
    EXPECT_THROW(plain.Delete(-1), EListError);
    EXPECT_THROW(plain.Insert(4, "x"), EListError);
    plain.Insert(3, "c");
    plain.Delete(0);
    EXPECT_EQ(Lines(plain), (V{"a", "b", "c"}));
}

TEST(StringList, OnChangeWaitsForTheOutermostEndUpdate) {
    TStringList list;
    int changes = 0, changing = 0;
    list.OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, &list);
        ++changes;
    };
    list.OnChanging = [&](TObject*) { ++changing; };

    list.Add("a");
    EXPECT_EQ(changes, 1);
    list.BeginUpdate();
    list.BeginUpdate();
    list.Add("b");
    list.Delete(0);
    list.SetText("x\ny");
    list.EndUpdate();
    EXPECT_EQ(changes, 1);
    list.EndUpdate();
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(changing, 2);
    list.EndUpdate();  // unbalanced: ignored
    EXPECT_EQ(changes, 2);

    list.Clear();
    EXPECT_EQ(changes, 3);
    list.Clear();  // nothing to clear: no change
    EXPECT_EQ(changes, 3);

    TStringList source;
    source.Add("p");
    source.Add("q");
    list.Assign(source);  // one change for the whole copy
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(Lines(list), (V{"p", "q"}));
}

TEST(StringList, TextSplitsAtEveryLineEndAndJoinsWithCrLf) {
    struct Case { const char* text; V lines; };
    for (const Case& c : {Case{"a\r\nb\r\n", {"a", "b"}}, Case{"a\nb", {"a", "b"}}, Case{"a\rb\r", {"a", "b"}},
                          Case{"a\r\n\r\nb", {"a", "", "b"}}, Case{"", {}}, Case{"\r\n", {""}},
                          Case{"a\n\rb", {"a", "", "b"}}, Case{"a\r\r\nb", {"a", "", "b"}},
                          Case{"a\n\n", {"a", ""}}, Case{" x \t", {" x \t"}}}) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        TStringList list;
        list.SetText(c.text);
        EXPECT_EQ(Lines(list), c.lines);
    }
    TStringList list;
    EXPECT_EQ(list.Text(), "");
    list.Add("a");
    list.Add("");
    EXPECT_EQ(list.Text(), "a\r\n\r\n");
}

TEST(StringList, LoadAndSaveFiles) {
    TempDir dir;
    TempDir::Write(dir / "lf.txt", "one\ntwo\n");
    std::filesystem::create_directory(dir.Path() / "Sub");

    TStringList list;
    list.Add("stale");
    list.LoadFromFile((dir / "LF.TXT").c_str());  // names resolve case-insensitively
    EXPECT_EQ(Lines(list), (V{"one", "two"}));

    list.Add("three");
    list.SaveToFile((dir.Path().string() + "\\sub\\Out.ini").c_str());
    EXPECT_EQ(TempDir::Read(dir / "Sub/Out.ini"), "one\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(Entries(dir.Path() / "Sub"), (V{"Out.ini"}));

    try {
        list.LoadFromFile((dir / "missing.txt").c_str());
        ADD_FAILURE() << "no EFOpenError";
    } catch (const EFOpenError& e) {
        EXPECT_NE(e.Message.Pos("missing.txt"), 0) << e.Message;
    }
    EXPECT_EQ(Lines(list), (V{"one", "two", "three"}));  // a failed load leaves the list alone
}

TEST(StringList, FailedSaveLeavesTheOldFileWhole) {
    TempDir dir;
    const std::string target = dir / "Tikora.ini";
    const std::string old = "old line 1\r\nold line 2\r\n";
    TStringList list;
    for (int i = 0; i < 200; ++i) list.Add("a new line that makes the file longer than the old one");

    // A write that stops half way (the file size limit holds for root too).
    TempDir::Write(target, old);
    {
        struct rlimit saved;
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 1000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        EXPECT_THROW(list.SaveToFile(target.c_str()), EFCreateError);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    }
    EXPECT_EQ(TempDir::Read(target), old);
    EXPECT_EQ(Entries(dir.Path()), (V{"Tikora.ini"}));

    // The target's folder is a file: nothing can be created there.
    TempDir::Write(dir / "blocker", "x");
    EXPECT_THROW(list.SaveToFile((dir / "blocker/Tikora.ini").c_str()), EFCreateError);
    EXPECT_EQ(TempDir::Read(dir / "blocker"), "x");

    // A read-only folder stops everyone but root.
    if (::geteuid() != 0) {
        std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_THROW(list.SaveToFile(target.c_str()), EFCreateError);
        std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
        EXPECT_EQ(TempDir::Read(target), old);
    }
    EXPECT_EQ(Entries(dir.Path()), (V{"Tikora.ini", "blocker"}));
}

TEST(QueueAndStack, OrderAndEmptyPops) {
    int a = 1, b = 2, c = 3;
    TQueue<> queue;
    TStack<> stack;
    for (int* p : {&a, &b, &c}) {
        queue.Push(p);
        stack.Push(p);
    }
    EXPECT_EQ(queue.Count(), 3);
    EXPECT_TRUE(stack.AtLeast(3));
    EXPECT_EQ(queue.Peek(), &a);
    EXPECT_EQ(stack.Peek(), &c);
    for (int* p : {&a, &b, &c}) EXPECT_EQ(queue.Pop(), p);
    for (int* p : {&c, &b, &a}) EXPECT_EQ(stack.Pop(), p);
    EXPECT_EQ(queue.Pop(), nullptr);
    EXPECT_EQ(stack.Peek(), nullptr);
}
