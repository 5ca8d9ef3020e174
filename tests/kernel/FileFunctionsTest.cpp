#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "FileFunctions.h"
#include "TempDir.h"

namespace fs = std::filesystem;
using V = std::vector<std::string>;

namespace {
V Find(const std::string& pattern, int attr) {
    V out;
    TSearchRec f;
    for (int rc = FindFirst(pattern.c_str(), attr, f); rc == 0; rc = FindNext(f)) out.push_back(f.Name.str());
    FindClose(f);
    return out;
}

// Windows-style spelling of a host path, as the program builds its names.
std::string Win(const std::string& host) {
    std::string s = host;
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}
}  // namespace

TEST(FileNames, PartsOfAName) {
    struct Case { const char* name; const char* path; const char* dir; const char* file; const char* ext; };
    for (Case c : {Case{"pics\\Images.dir", "pics\\", "pics", "Images.dir", ".dir"},
                   Case{"/x/Drums/song.mid", "/x/Drums/", "/x/Drums", "song.mid", ".mid"},
                   Case{"a/b\\c.tar.gz", "a/b\\", "a/b", "c.tar.gz", ".gz"}, Case{"noext", "", "", "noext", ""},
                   Case{"dir.d\\file", "dir.d\\", "dir.d", "file", ""}, Case{"\\root", "\\", "\\", "root", ""},
                   Case{"trail\\", "trail\\", "trail", "", ""}, Case{"a\\\\b", "a\\\\", "a\\\\", "b", ""},
                   Case{"", "", "", "", ""}}) {
        const std::pair<AnsiString, const char*> parts[] = {{ExtractFilePath(c.name), c.path},
            {ExtractFileDir(c.name), c.dir}, {ExtractFileName(c.name), c.file}, {ExtractFileExt(c.name), c.ext}};
        for (const auto& [got, want] : parts) EXPECT_EQ(got, want) << c.name;
    }
    const std::pair<AnsiString, const char*> changed[] = {
        {ChangeFileExt("/opt/Tikora.exe", ".chm"), "/opt/Tikora.chm"}, {ChangeFileExt("a.b\\c", ".x"), "a.b\\c.x"},
        {ChangeFileExt("song", ".png"), "song.png"}, {ChangeFileExt("x.mid", ""), "x"},
        {ChangeFileExt("a.b/c.d", ".e"), "a.b/c.e"}, {IncludeTrailingPathDelimiter("wavs"), "wavs\\"},
        {IncludeTrailingPathDelimiter("wavs/"), "wavs/"}, {ExcludeTrailingPathDelimiter("wavs\\"), "wavs"},
        {ExcludeTrailingPathDelimiter("/"), "/"}};
    for (const auto& [got, want] : changed) EXPECT_EQ(got, want);
}

TEST(FileFunctions, FoldersKeepTheirFirstSpelling) {
    TempDir dir;
    std::string root = Win(dir.Path().string());
    ASSERT_TRUE(CreateDir((root + "\\wavs").c_str()));
    EXPECT_FALSE(CreateDir((root + "\\WAVS").c_str()));  // exists in another case
    EXPECT_TRUE(ForceDirectories((root + "\\Wavs").c_str()));
    EXPECT_TRUE(ForceDirectories((root + "\\Wavs\\Sub\\Deeper").c_str()));
    EXPECT_EQ(TempDir::Entries(dir.Path()), (V{"wavs"}));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "wavs/Sub/Deeper"));

    TempDir::Write(dir / "wavs/click.wav", "RIFF");
    TempDir::Write(dir / "blocker", "");
    struct Case { std::string name; bool file, folder; };
    for (const Case& c : {Case{root + "\\WAVS\\Click.Wav", true, false}, Case{root + "/wavs/SUB", false, true},
                          Case{root + "\\wavs\\none.wav", false, false}, Case{"", false, false}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FileExists(c.name.c_str()), c.file);
        EXPECT_EQ(DirectoryExists(c.name.c_str()), c.folder);
    }
    EXPECT_FALSE(ForceDirectories((root + "\\blocker\\x").c_str()));
    EXPECT_FALSE(ForceDirectories(""));

    EXPECT_FALSE(RemoveDir((root + "\\wavs\\sub").c_str()));  // not empty
    EXPECT_TRUE(RemoveDir((root + "\\wavs\\sub\\deeper").c_str()));
    EXPECT_TRUE(DeleteFile((root + "\\WAVS\\CLICK.WAV").c_str()));
    EXPECT_FALSE(DeleteFile((root + "\\WAVS\\CLICK.WAV").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(FileFunctions, RenameAndCopy) {
    TempDir dir;
    std::string root = Win(dir.Path().string());
    fs::create_directory(dir.Path() / "wavs");
    TempDir::Write(dir / "src.wav", "source");
    TempDir::Write(dir / "wavs/taken.wav", "old");

    struct Case { const char* target; BOOL failIfExists; BOOL ok; DWORD error; const char* content; };
    for (Case c : {Case{"\\WAVS\\new.wav", TRUE, TRUE, ERROR_SUCCESS, "source"},
                   Case{"\\Wavs\\Taken.WAV", TRUE, FALSE, ERROR_FILE_EXISTS, "old"},
                   Case{"\\wavs\\taken.wav", FALSE, TRUE, ERROR_SUCCESS, "source"},
                   Case{"\\nowhere\\x.wav", FALSE, FALSE, ERROR_PATH_NOT_FOUND, nullptr}}) {
        SCOPED_TRACE(c.target);
        std::string target = root + c.target;
        EXPECT_EQ(CopyFileA((root + "\\SRC.wav").c_str(), target.c_str(), c.failIfExists), c.ok);
        EXPECT_EQ(GetLastError(), c.error);
        if (c.content) {
            TSearchRec f;
            ASSERT_EQ(FindFirst(target.c_str(), 0, f), 0);
            EXPECT_EQ(TempDir::Read((dir.Path() / "wavs" / f.Name.str()).string()), c.content);
        }
    }
    EXPECT_FALSE(CopyFileA((root + "\\missing.wav").c_str(), (root + "\\x.wav").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(TempDir::Entries(dir.Path() / "wavs"), (V{"new.wav", "taken.wav"}));  // no temporary files left

    EXPECT_FALSE(RenameFile((root + "\\wavs\\NEW.wav").c_str(), (root + "\\wavs\\taken.wav").c_str()));
    EXPECT_EQ(TempDir::Read(dir / "wavs/taken.wav"), "source");
    EXPECT_TRUE(RenameFile((root + "\\wavs\\NEW.wav").c_str(), (root + "\\wavs\\renamed.wav").c_str()));
    EXPECT_EQ(TempDir::Entries(dir.Path() / "wavs"), (V{"renamed.wav", "taken.wav"}));
}

TEST(FileFunctions, FindFirstListsInCaseInsensitiveOrder) {
    TempDir dir;
    std::string root = Win(dir.Path().string());
    fs::create_directories(dir.Path() / "Drums/Sub.mid");
    for (const char* name : {"b.mid", "A.mid", "c.MID", "a2.mid", "Zed.mid", "notes.txt", ".hidden.mid", "_x.mid"})
        TempDir::Write((dir.Path() / "Drums" / name).string(), name);

    struct Case { std::string pattern; int attr; V names; };
    for (const Case& c : {
             Case{root + "\\drums\\*.mid", 0, {"A.mid", "a2.mid", "b.mid", "c.MID", "Zed.mid", "_x.mid"}},
             Case{root + "/DRUMS/?.mid", 0, {"A.mid", "b.mid", "c.MID"}},
             Case{root + "\\Drums\\*.mid", faDirectory, {"A.mid", "a2.mid", "b.mid", "c.MID", "Sub.mid", "Zed.mid", "_x.mid"}},
             Case{root + "\\Drums\\*.mid", faAnyFile,
                  {".hidden.mid", "A.mid", "a2.mid", "b.mid", "c.MID", "Sub.mid", "Zed.mid", "_x.mid"}},
             Case{root + "\\Drums\\*", faDirectory, {".", "..", "A.mid", "a2.mid", "b.mid", "c.MID", "notes.txt", "Sub.mid", "Zed.mid", "_x.mid"}},
             Case{root + "\\Drums\\*.*", 0, {"A.mid", "a2.mid", "b.mid", "c.MID", "notes.txt", "Zed.mid", "_x.mid"}},
             Case{root + "\\Drums\\NOTES.TXT", 0, {"notes.txt"}},
             Case{root + "\\Drums\\*.wav", 0, {}},
             Case{root + "\\Nothing\\*.mid", faAnyFile, {}},
         }) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(Find(c.pattern, c.attr), c.names);
    }

    TSearchRec f;
    ASSERT_EQ(FindFirst((root + "\\Drums\\b.mid").c_str(), 0, f), 0);
    EXPECT_EQ(f.Size, 5);
    EXPECT_EQ(f.Attr & faDirectory, 0);
    EXPECT_NE(f.Time, 0);
    EXPECT_EQ(FindNext(f), static_cast<int>(ERROR_NO_MORE_FILES));
    FindClose(f);
    EXPECT_EQ(FindFirst((root + "\\Nothing\\*").c_str(), 0, f), static_cast<int>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(FindFirst((root + "\\Drums\\*.wav").c_str(), 0, f), static_cast<int>(ERROR_FILE_NOT_FOUND));
}

TEST(FileFunctions, WorkingDirectoryAndOwnPath) {
    TempDir dir;
    fs::create_directories(dir.Path() / "pics");
    TempDir::Write(dir / "pics/Images.dir", "");
    AnsiString saved = GetCurrentDir();
    ASSERT_TRUE(SetCurrentDir(Win(dir.Path().string()).c_str()));
    EXPECT_EQ(GetCurrentDir(), fs::canonical(dir.Path()).string().c_str());
    EXPECT_TRUE(FileExists("PICS\\images.dir"));
    TSearchRec f;
    EXPECT_EQ(FindFirst("pics\\*.dir", 0, f), 0);
    EXPECT_EQ(f.Name, "Images.dir");
    EXPECT_FALSE(SetCurrentDir("no such folder"));
    ASSERT_TRUE(SetCurrentDir(saved));

    AnsiString exe = ParamStr(0);
    EXPECT_EQ(exe, fs::read_symlink("/proc/self/exe").string().c_str());
    EXPECT_TRUE(FileExists(exe));
    EXPECT_TRUE(DirectoryExists(ExtractFilePath(exe)));
    EXPECT_EQ(ParamStr(ParamCount() + 1), "");
}

TEST(FileFunctions, SameHostPathIgnoresSpelling) {
    TempDir dir;
    fs::create_directories(dir.Path() / "Drums");
    std::string r = dir.Path().string();
    EXPECT_TRUE(tikora::SameHostPath((r + "/Drums/").c_str(), Win(r + "/drums").c_str()));
    EXPECT_TRUE(tikora::SameHostPath((r + "/Drums/new.mid").c_str(), Win(r + "/DRUMS/new.mid").c_str()));
    EXPECT_FALSE(tikora::SameHostPath((r + "/Drums").c_str(), r.c_str()));
}
