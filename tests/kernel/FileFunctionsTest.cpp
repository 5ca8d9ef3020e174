#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Classes.h"
#include "FileFunctions.h"
#include "HostPath.h"
#include "OtherUser.h"
#include "TempDir.h"
#include "UserStore.h"

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
}  // namespace

TEST(FileNames, PartsOfAName) {
    struct Case {
        const char* name;
        const char* path;
        const char* dir;
        const char* file;
        const char* ext;
    };
    for (Case c : {Case{"pics\\Images.dir", "pics\\", "pics", "Images.dir", ".dir"},
                   Case{"/x/Drums/song.mid", "/x/Drums/", "/x/Drums", "song.mid", ".mid"},
                   Case{"a/b\\c.tar.gz", "a/b\\", "a/b", "c.tar.gz", ".gz"}, Case{"noext", "", "", "noext", ""},
                   Case{"dir.d\\file", "dir.d\\", "dir.d", "file", ""}, Case{"\\root", "\\", "\\", "root", ""},
                   Case{"trail\\", "trail\\", "trail", "", ""}, Case{"a\\\\b", "a\\\\", "a\\\\", "b", ""},
                   Case{"", "", "", "", ""}}) {
        const std::pair<AnsiString, const char*> parts[] = {{ExtractFilePath(c.name), c.path},
                                                            {ExtractFileDir(c.name), c.dir},
                                                            {ExtractFileName(c.name), c.file},
                                                            {ExtractFileExt(c.name), c.ext}};
        for (const auto& [got, want] : parts) EXPECT_EQ(got, want) << c.name;
    }
    const std::pair<AnsiString, const char*> changed[] = {{ChangeFileExt("/opt/Tikora.exe", ".chm"), "/opt/Tikora.chm"},
                                                          {ChangeFileExt("a.b\\c", ".x"), "a.b\\c.x"},
                                                          {ChangeFileExt("song", ".png"), "song.png"},
                                                          {ChangeFileExt("x.mid", ""), "x"},
                                                          {ChangeFileExt("a.b/c.d", ".e"), "a.b/c.e"},
                                                          {IncludeTrailingPathDelimiter("wavs"), "wavs\\"},
                                                          {IncludeTrailingPathDelimiter("wavs/"), "wavs/"},
                                                          {ExcludeTrailingPathDelimiter("wavs\\"), "wavs"},
                                                          {ExcludeTrailingPathDelimiter("/"), "/"}};
    for (const auto& [got, want] : changed) EXPECT_EQ(got, want);
}

TEST(FileFunctions, FoldersKeepTheirFirstSpelling) {
    TempDir dir;
    const std::string root = dir.WinPath();
    auto at = [&](const char* rel) { return AnsiString(root + rel); };
    ASSERT_TRUE(CreateDir(at("\\wavs")));
    TempDir::Write(dir / "blocker", "");
    TempDir::Write(dir / "wavs/click.wav", "RIFF");
    // Each call and its answer, in order.
    const std::pair<bool, bool> calls[] = {{CreateDir(at("\\WAVS")), false},  // exists in another case
                                           {ForceDirectories(at("\\Wavs")), true},
                                           {ForceDirectories(at("\\Wavs\\Sub\\Deeper")), true},
                                           {fs::is_directory(dir.Path() / "wavs/Sub/Deeper"), true},
                                           {FileExists(at("\\WAVS\\Click.Wav")), true},
                                           {DirectoryExists(at("\\WAVS\\Click.Wav")), false},
                                           {FileExists(at("/wavs/SUB")), false},
                                           {DirectoryExists(at("/wavs/SUB")), true},
                                           {FileExists(at("\\wavs\\none.wav")), false},
                                           {DirectoryExists(at("\\wavs\\none.wav")), false},
                                           {FileExists(""), false},
                                           {DirectoryExists(""), false},
                                           {ForceDirectories(at("\\blocker\\x")), false},
                                           {ForceDirectories(""), false},
                                           {RemoveDir(at("\\wavs\\sub")), false},  // not empty
                                           {RemoveDir(at("\\wavs\\sub\\deeper")), true},
                                           {DeleteFile(at("\\WAVS\\CLICK.WAV")), true},
                                           {DeleteFile(at("\\WAVS\\CLICK.WAV")), false}};
    for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i].first, calls[i].second) << "call " << i;
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(TempDir::Entries(dir.Path()), (V{"blocker", "wavs"}));
}

TEST(FileFunctions, RenameAndCopy) {
    TempDir dir;
    std::string root = dir.WinPath();
    fs::create_directory(dir.Path() / "wavs");
    TempDir::Write(dir / "src.wav", "source");
    TempDir::Write(dir / "wavs/taken.wav", "old");
    struct Case {
        const char* target;
        BOOL failIfExists;
        BOOL ok;
        DWORD error;
        const char* content;
    };
    for (Case c : {Case{"\\WAVS\\new.wav", TRUE, TRUE, ERROR_SUCCESS, "source"},
                   Case{"\\Wavs\\Taken.WAV", TRUE, FALSE, ERROR_FILE_EXISTS, "old"},
                   Case{"\\wavs\\taken.wav", FALSE, TRUE, ERROR_SUCCESS, "source"},
                   Case{"\\nowhere\\x.wav", FALSE, FALSE, ERROR_PATH_NOT_FOUND, ""}}) {
        std::string target = root + c.target;
        EXPECT_EQ(CopyFileA((root + "\\SRC.wav").c_str(), target.c_str(), c.failIfExists), c.ok) << c.target;
        EXPECT_EQ(GetLastError(), c.error) << c.target;
        EXPECT_EQ(TempDir::Read(HostPath(target.c_str())), c.content) << c.target;
    }
    EXPECT_FALSE(CopyFileA((root + "\\missing.wav").c_str(), (root + "\\x.wav").c_str(), FALSE));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(TempDir::Entries(dir.Path() / "wavs"), (V{"new.wav", "taken.wav"}));  // no temporary files left

    EXPECT_FALSE(RenameFile(root + "\\wavs\\NEW.wav", root + "\\wavs\\taken.wav"));
    EXPECT_EQ(TempDir::Read(dir / "wavs/taken.wav"), "source");
    EXPECT_TRUE(RenameFile(root + "\\wavs\\NEW.wav", root + "\\wavs\\renamed.wav"));
    EXPECT_EQ(TempDir::Entries(dir.Path() / "wavs"), (V{"renamed.wav", "taken.wav"}));
}

TEST(FileFunctions, FindFirstListsInCaseInsensitiveOrder) {
    TempDir dir;
    std::string root = dir.WinPath();
    fs::create_directories(dir.Path() / "Drums/Sub.mid");
    for (const char* name : {"b.mid", "A.mid", "c.MID", "a2.mid", "Zed.mid", "notes.txt", ".hidden.mid", "_x.mid"})
        TempDir::Write((dir.Path() / "Drums" / name).string(), name);

    struct Case {
        const char* pattern;
        int attr;
        V names;
    };
    for (const Case& c :
         {Case{"\\drums\\*.mid", 0, {"A.mid", "a2.mid", "b.mid", "c.MID", "Zed.mid", "_x.mid"}},
          Case{"/DRUMS/?.mid", 0, {"A.mid", "b.mid", "c.MID"}},
          Case{"\\Drums\\*.mid", faDirectory, {"A.mid", "a2.mid", "b.mid", "c.MID", "Sub.mid", "Zed.mid", "_x.mid"}},
          Case{"\\Drums\\*.mid",
               faAnyFile,
               {".hidden.mid", "A.mid", "a2.mid", "b.mid", "c.MID", "Sub.mid", "Zed.mid", "_x.mid"}},
          Case{"\\Drums\\*",
               faDirectory,
               {".", "..", "A.mid", "a2.mid", "b.mid", "c.MID", "notes.txt", "Sub.mid", "Zed.mid", "_x.mid"}},
          Case{"\\Drums\\*.*", 0, {"A.mid", "a2.mid", "b.mid", "c.MID", "notes.txt", "Zed.mid", "_x.mid"}},
          Case{"\\Drums\\NOTES.TXT", 0, {"notes.txt"}}, Case{"\\Drums\\*.wav", 0, {}},
          Case{"\\Nothing\\*.mid", faAnyFile, {}}})
        EXPECT_EQ(Find(root + c.pattern, c.attr), c.names) << c.pattern;
    TSearchRec f;
    ASSERT_EQ(FindFirst((root + "\\Drums\\b.mid").c_str(), 0, f), 0);
    EXPECT_TRUE(f.Size == 5 && (f.Attr & faDirectory) == 0 && f.Time != 0);
    EXPECT_EQ(FindNext(f), static_cast<int>(ERROR_NO_MORE_FILES));
    FindClose(f);
    EXPECT_EQ(FindFirst((root + "\\Nothing\\*").c_str(), 0, f), static_cast<int>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(FindFirst((root + "\\Drums\\*.wav").c_str(), 0, f), static_cast<int>(ERROR_FILE_NOT_FOUND));
}

TEST(FileFunctions, WorkingDirectoryOwnPathAndSameHostPath) {
    TempDir dir;
    fs::create_directories(dir.Path() / "pics");
    TempDir::Write(dir / "pics/Images.dir", "");
    AnsiString saved = GetCurrentDir();
    ASSERT_TRUE(SetCurrentDir(dir.WinPath().c_str()));
    EXPECT_EQ(GetCurrentDir(), fs::canonical(dir.Path()).string().c_str());
    EXPECT_TRUE(FileExists("PICS\\images.dir"));
    EXPECT_FALSE(SetCurrentDir("no such folder"));
    ASSERT_TRUE(SetCurrentDir(saved));

    AnsiString exe = ParamStr(0);
    EXPECT_EQ(exe, fs::read_symlink("/proc/self/exe").string().c_str());
    EXPECT_TRUE(FileExists(exe) && DirectoryExists(ExtractFilePath(exe)));
    EXPECT_EQ(ParamStr(ParamCount() + 1), "");

    const std::string r = dir.Path().string();
    EXPECT_TRUE(tikora::SameHostPath((r + "/pics/").c_str(), (dir.WinPath() + "\\PICS").c_str()));
    EXPECT_TRUE(tikora::SameHostPath((r + "/pics/new.dir").c_str(), (dir.WinPath() + "\\Pics\\new.dir").c_str()));
    EXPECT_FALSE(tikora::SameHostPath((r + "/pics").c_str(), r.c_str()));
}

TEST(UserStore, WritesRefusedBesideTheProgramGoToTheUserAndAreReadFirst) {
    othertest::OtherUserDir dir;
    if (!dir.Why().empty()) GTEST_SKIP() << dir.Why();
    auto Win = [](std::string s) { return std::replace(s.begin(), s.end(), '/', '\\'), s; };
    const fs::path program = dir.Path() / "program", config = dir.Path() / "config", store = config / "tikora";
    fs::create_directories(program / "sub");
    fs::create_directories(config);
    std::ofstream(program / "shipped.ini") << "shipped";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    tikora::UseUserStore(program.c_str(), {"shipped.ini", "sub\\New.ini"});
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                          fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    for (const fs::path& folder : {program / "sub", program, dir.Path()}) fs::permissions(folder, readOnly);
    fs::permissions(config, fs::perms::all);
    std::optional<othertest::AsOtherUser> user(std::in_place);
    ASSERT_TRUE(user->Ok());
    struct Case {
        fs::path written, lands;
    } cases[] = {
        {program / "shipped.ini", store / "shipped.ini"},
        {program / "sub" / "new.ini", store / "sub" / "new.ini"},
        {program / "sub" / "new.ini", store / "sub" / "new.ini"},  // the copy now comes first
    };
    for (const Case& c : cases) {
        TStringList lines;
        lines.Add(c.written.c_str());
        EXPECT_NO_THROW(lines.SaveToFile(Win(c.written.string()).c_str())) << c.written;
        EXPECT_EQ(HostPath(c.written.c_str()), c.lands.string());
        lines.LoadFromFile(c.written.c_str());
        EXPECT_EQ(lines.Strings(0), c.written.c_str());
    }
    EXPECT_FALSE(tikora::FolderWritable(program.c_str()));
    EXPECT_TRUE(tikora::FolderWritable(store.c_str()));
    // Any other file, in the program's folder or outside it, is not redirected, and a kept file is
    // refused when the store refuses it too: the refusal names the files as this system writes
    // them, and nothing is written anywhere.
    fs::remove(store / "shipped.ini");
    fs::permissions(store, readOnly);
    const std::pair<fs::path, std::string> refused[] = {
        {program / "other.ini", ""},
        {program / "sub" / "shipped.ini", ""},
        {dir.Path() / "elsewhere.ini", ""},
        {program / "shipped.ini", " (nor \"" + (store / "shipped.ini").string() + "\")"}};
    for (const auto& [file, nor] : refused)
        ExpectNamedError<EFCreateError>([&] { TStringList().SaveToFile(Win(file.string()).c_str()); },
                                        "\"" + file.string() + "\"" + nor + ". ");
    user.reset();
    std::vector<std::string> stored;
    for (const auto& e : fs::recursive_directory_iterator(store))
        if (e.is_regular_file()) stored.push_back(fs::relative(e.path(), store).string());
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, std::vector<std::string>{"sub/new.ini"});
    EXPECT_FALSE(fs::exists(program / "other.ini") || fs::exists(dir.Path() / "elsewhere.ini"));
    tikora::SetHostPathRedirect({});
}
