#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Classes.h"
#include "HostPath.h"
#include "SysUtils.h"
#include "TempDir.h"

namespace {
using V = std::vector<std::string>;
using F = std::function<void()>;
V Lines(const TStrings& list) {
    V out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list[i].str());
    return out;
}
std::string Bytes(TMemoryStream& m) {
    return std::string(static_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}
}  // namespace

TEST(StringList, SortedListIsCaseInsensitiveAndIgnoresDuplicates) {
    TStringList list, plain;
    list.SetSorted(true);
    for (const char* s : {"beta", "Alpha", "alpha", "Gamma", "ALPHA", "_x", "b"}) list.Add(s);
    EXPECT_EQ(Lines(list), (V{"Alpha", "b", "beta", "Gamma", "_x"}));
    int at = -1;
    // Each call's answer, in order; a duplicate answers with the index of the entry kept.
    const std::pair<int, int> answers[] = {{list.Add("GAMMA"), 3},      {list.Count(), 5},
                                           {list.IndexOf("BETA"), 2},   {list.IndexOf("delta"), -1},
                                           {list.Find("c", at), false}, {at, 3}};
    for (const auto& [got, want] : answers) EXPECT_EQ(got, want);
    for (const char* s : {"b", "a", "b"}) plain.Add(s);
    EXPECT_EQ(Lines(plain), (V{"b", "a", "b"}));
    EXPECT_EQ(plain.IndexOf("B"), 0);
    for (const std::function<void()>& misuse :
         {F([&] { list.Insert(0, "x"); }), F([&] { list.SetStrings(0, "x"); }), F([&] { plain[3]; }),
          F([&] { plain.Delete(-1); }), F([&] { plain.Insert(4, "x"); })})
        EXPECT_THROW(misuse(), EListError);
    list.SetDuplicates(dupError);
    EXPECT_THROW(list.Add("alpha"), EListError);
    list.SetDuplicates(dupAccept);
    list.Add("alpha");
    EXPECT_EQ(list.Count(), 6);
    EXPECT_EQ(CompareText(list[0], list[1]), 0);
    plain.Insert(3, "c");
    plain.Delete(0);
    EXPECT_EQ(Lines(plain), (V{"a", "b", "c"}));
}

TEST(StringList, OnChangeWaitsForTheOutermostEndUpdate) {
    TStringList list, source;
    source.SetText("p\nq");
    int changes = 0, changing = 0;
    list.OnChange = [&](TObject* sender) { changes += sender == &list ? 1 : 100; };
    list.OnChanging = [&](TObject*) { ++changing; };
    // Each step and the number of changes reported after it.
    const std::pair<F, int> steps[] = {
        {[&] { list.Add("a"); }, 1},       {[&] { list.BeginUpdate(); }, 1}, {[&] { list.BeginUpdate(); }, 1},
        {[&] { list.Add("b"); }, 1},       {[&] { list.Delete(0); }, 1},     {[&] { list.SetText("x\ny"); }, 1},
        {[&] { list.EndUpdate(); }, 1},    {[&] { list.EndUpdate(); }, 2},   {[&] { list.EndUpdate(); }, 2},
        {[&] { list.Clear(); }, 3},        {[&] { list.Clear(); }, 3},  // nothing to clear: no change
        {[&] { list.Assign(source); }, 4},                       // one change for the whole copy
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].first();
        EXPECT_EQ(changes, steps[i].second) << "step " << i;
    }
    EXPECT_EQ(changing, changes);  // each change announced before it is made
    EXPECT_EQ(Lines(list), (V{"p", "q"}));
}

TEST(StringList, TextSplitsAtEveryLineEndAndJoinsWithCrLf) {
    struct Case {
        const char* text;
        V lines;
    };
    for (const Case& c :
         {Case{"a\r\nb\r\n", {"a", "b"}}, Case{"a\nb", {"a", "b"}}, Case{"a\rb\r", {"a", "b"}},
          Case{"a\r\n\r\nb", {"a", "", "b"}}, Case{"", {}}, Case{"\r\n", {""}}, Case{"a\n\rb", {"a", "", "b"}},
          Case{"a\r\r\nb", {"a", "", "b"}}, Case{"a\n\n", {"a", ""}}, Case{" x \t", {" x \t"}}}) {
        TStringList list;
        list.SetText(c.text);
        EXPECT_EQ(Lines(list), c.lines) << testing::PrintToString(std::string(c.text));
        std::string joined;
        for (const std::string& line : c.lines) joined += line + "\r\n";
        EXPECT_EQ(list.Text(), joined);
    }
}

TEST(StringList, LoadAndSaveWholeFilesOrNothing) {
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
    EXPECT_EQ(TempDir::Entries(dir.Path() / "Sub"), (V{"Out.ini"}));
    ExpectNamedError<EFOpenError>([&] { list.LoadFromFile((dir / "missing.txt").c_str()); }, "missing.txt");
    EXPECT_EQ(Lines(list), (V{"one", "two", "three"}));  // a failed load leaves the list alone

    // A failed save leaves the old file whole.
    std::filesystem::remove_all(dir.Path() / "Sub");
    std::filesystem::remove(dir / "lf.txt");
    const std::string target = dir / "Tikora.ini", old = "old line 1\r\nold line 2\r\n";
    for (int i = 0; i < 200; ++i) list.Add("a new line that makes the file longer than the old one");

    // A write that stops half way (the file size limit holds for root too).
    TempDir::Write(target, old);
    struct rlimit saved, small;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    small = {1000, saved.rlim_max};
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(list.SaveToFile(target.c_str()), EFCreateError);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(TempDir::Read(target), old);
    EXPECT_EQ(TempDir::Entries(dir.Path()), (V{"Tikora.ini"}));

    // The target's folder is a file: nothing can be created there.
    TempDir::Write(dir / "blocker", "x");
    EXPECT_THROW(list.SaveToFile((dir / "blocker/Tikora.ini").c_str()), EFCreateError);
    EXPECT_EQ(TempDir::Read(dir / "blocker"), "x");
    EXPECT_EQ(TempDir::Entries(dir.Path()), (V{"Tikora.ini", "blocker"}));
}

TEST(QueueAndStack, OrderAndEmptyPops) {
    int v[3] = {1, 2, 3};
    TQueue<> queue;
    TStack<> stack;
    for (int& x : v) queue.Push(&x), stack.Push(&x);
    EXPECT_TRUE(queue.Count() == 3 && stack.AtLeast(3) && queue.Peek() == &v[0] && stack.Peek() == &v[2]);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(queue.Pop() == &v[i] && stack.Pop() == &v[2 - i]) << i;
    EXPECT_TRUE(queue.Pop() == nullptr && stack.Peek() == nullptr);
}

TEST(Streams, MemoryAndFileStreamsReadWriteAndSeek) {
    TMemoryStream m, copy;
    char buf[8] = {};
    m.WriteBuffer("abcdef", 6);
    const int atEnd = m.Read(buf, 4), position = (m.SetPosition(2), m.Read(buf, 10));
    EXPECT_EQ(std::string(buf, 4) + "|" + IntToStr(atEnd) + "|" + IntToStr(position), "cdef|0|4");
    m.Seek(-2, soFromEnd);
    m.WriteBuffer("XYZ", 3);  // overwrites two bytes and grows by one
    EXPECT_EQ(Bytes(m), "abcdXYZ");
    m.SetSize(3);
    EXPECT_EQ(m.Position(), 3);
    m.SetPosition(1);
    EXPECT_THROW(m.ReadBuffer(buf, 3), EReadError);
    EXPECT_EQ(copy.CopyFrom(m, 0), 3);  // 0 copies the whole source
    EXPECT_EQ(Bytes(copy), "abc");

    // File streams create, open and name the file on failure.
    TempDir dir;
    const std::string name = dir / "Data.bin";
    TFileStream(name.c_str(), fmCreate).WriteBuffer("0123456789", 10);
    {
        TFileStream in((dir / "data.BIN").c_str(), fmOpenRead | fmShareDenyWrite);
        EXPECT_EQ(in.Size(), 10);
        in.Seek(4, soFromBeginning);
        char buf[4];
        in.ReadBuffer(buf, 3);
        EXPECT_EQ(std::string(buf, 3), "456");
        EXPECT_EQ(in.Write("x", 1), 0);  // read-only
    }
    {
        TFileStream rw(name.c_str(), fmOpenReadWrite);
        rw.Seek(0, soFromEnd);
        rw.WriteBuffer("AB", 2);
        rw.SetSize(11);
    }
    EXPECT_EQ(TempDir::Read(name), "0123456789A");
    for (const std::string& bad : {dir / "none.bin", dir.Path().string()})
        ExpectNamedError<EFOpenError>([&] { TFileStream f(bad.c_str(), fmOpenRead); }, bad);
    EXPECT_THROW(TFileStream((dir / "no/such/folder.bin").c_str(), fmCreate), EFCreateError);
    m.LoadFromFile(name.c_str());
    EXPECT_EQ(Bytes(m), "0123456789A");
}

TEST(HostPath, ResolvesEachComponentIgnoringCaseAndAcceptsBothSeparators) {
    TempDir dir;
    for (const char* f : {"Wavs/Click.WAV", "pics/Images.dir", "Both/A.txt", "Both/a.TXT"}) {
        std::filesystem::create_directories((dir.Path() / f).parent_path());
        TempDir::Write(dir / f, "");
    }
    const std::string r = dir.Path().string();
    const std::string back = dir.WinPath();
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());  // relative names resolve against the working directory
    const std::pair<std::string, std::string> paths[] = {
        {r + "/Wavs/Click.WAV", r + "/Wavs/Click.WAV"},
        {r + "\\wavs\\click.wav", r + "/Wavs/Click.WAV"},
        {r + "/WAVS\\CLICK.wav", r + "/Wavs/Click.WAV"},
        {back + "\\pics\\IMAGES.DIR", r + "/pics/Images.dir"},
        {r + "\\wavs\\new.wav", r + "/Wavs/new.wav"},     // a file still to be created
        {r + "\\Missing\\Sub\\x", r + "/Missing/Sub/x"},  // kept as written after a miss
        {r + "\\wavs\\..\\PICS\\images.dir", r + "/Wavs/../pics/Images.dir"},
        {r + "\\wavs\\", r + "/Wavs/"},
        {r + "\\both\\a.txt", r + "/Both/A.txt"},        // two candidates: byte order picks
        {r + "\\both\\a.TXT", r + "/Both/a.TXT"},        // the exact name wins
        {r + "\\wavs\\CLICK", r + "/Wavs/CLICK"},        // a name is not a prefix
        {r + "\\wav\\click.wav", r + "/wav/click.wav"},  // of a longer one
        {"wavs\\click.WAV", "Wavs/Click.WAV"},
        {".\\WAVS/click.wav", "./Wavs/Click.WAV"},
        {"Tikora.ini", "Tikora.ini"},
        {"", ""},
    };
    for (const auto& [in, out] : paths) EXPECT_EQ(HostPath(in.c_str()), out) << in;
    std::filesystem::current_path(saved);
}
