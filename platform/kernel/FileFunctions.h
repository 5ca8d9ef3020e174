#pragma once
// Files and folders named the Windows way. "\" and "/" both separate components, and a component
// whose exact spelling is missing matches an existing entry that differs only in ASCII case
// (HostPath.h). Names handed back to the program keep the spelling the program gave; only names
// read from the disk (FindFirst, GetCurrentDir, the executable's path) are spelled as on disk.
// Failures are false results (and GetLastError for the Win32-style calls), never exceptions.
#include <cstdint>
#include <vector>

#include "AnsiString.h"
#include "LastError.h"
#include "WinTypes.h"

bool FileExists(const AnsiString& fileName);  // an existing entry that is not a folder
bool DirectoryExists(const AnsiString& directory);
bool CreateDir(const AnsiString& dir);  // one level; false when it exists or fails
bool RemoveDir(const AnsiString& dir);
// Creates every missing level; components that exist in another case are reused, so a folder
// keeps the one spelling it was first created with. True when the folder exists afterwards.
bool ForceDirectories(const AnsiString& dir);
bool DeleteFile(const AnsiString& fileName);
// Refuses to replace an existing target, as the Windows call does.
bool RenameFile(const AnsiString& oldName, const AnsiString& newName);
// Copies through a temporary file beside the target, so the target is never seen half written.
// With failIfExists an existing target is left alone and the error is ERROR_FILE_EXISTS.
BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists);

// Path texts. Separators are "\" and "/"; there are no drive letters on this system, so ":" is an
// ordinary character.
AnsiString ExtractFilePath(const AnsiString& fileName);  // up to and including the last separator
AnsiString ExtractFileDir(const AnsiString& fileName);   // the same without that separator
AnsiString ExtractFileName(const AnsiString& fileName);
AnsiString ExtractFileExt(const AnsiString& fileName);  // from the last "." of the name, or ""
AnsiString ChangeFileExt(const AnsiString& fileName, const AnsiString& extension);
AnsiString IncludeTrailingPathDelimiter(const AnsiString& path);  // appends "\" when missing
AnsiString ExcludeTrailingPathDelimiter(const AnsiString& path);
inline AnsiString IncludeTrailingBackslash(const AnsiString& path) { return IncludeTrailingPathDelimiter(path); }
inline AnsiString ExcludeTrailingBackslash(const AnsiString& path) { return ExcludeTrailingPathDelimiter(path); }

AnsiString GetCurrentDir();
bool SetCurrentDir(const AnsiString& dir);

// The running program: ParamStr(0) is the executable's full path (from /proc/self/exe).
AnsiString ParamStr(int index);
int ParamCount();

// File search. Attributes as the class library numbers them. A search with attribute 0 finds
// plain files; folders, hidden entries (names beginning with ".") and system entries (anything
// neither a file nor a folder) are found only when their bit is asked for. Matches come in
// case-insensitive name order; "*" and "?" match case-insensitively, and "*.*" matches every name.
constexpr int32_t faReadOnly = 0x01;
constexpr int32_t faHidden = 0x02;
constexpr int32_t faSysFile = 0x04;
constexpr int32_t faVolumeID = 0x08;
constexpr int32_t faDirectory = 0x10;
constexpr int32_t faArchive = 0x20;
constexpr int32_t faAnyFile = 0x3F;

struct TSearchRec {
    int32_t Time = 0;  // last write time, DOS date and time in local time
    int64_t Size = 0;
    int32_t Attr = 0;
    AnsiString Name;
    int32_t ExcludeAttr = 0;

    struct Match {
        AnsiString Name;
        int32_t Attr = 0;
        int64_t Size = 0;
        int32_t Time = 0;
    };
    // The search's remaining state: every match, taken in order by FindNext.
    std::vector<Match> FindData;
    size_t FindIndex = 0;
};

// 0 when a first match was found; otherwise ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND.
int FindFirst(const AnsiString& path, int attr, TSearchRec& f);
// 0, or ERROR_NO_MORE_FILES after the last match.
int FindNext(TSearchRec& f);
void FindClose(TSearchRec& f);

namespace tikora {
// The running executable's full path, as the system spells it.
AnsiString ExecutablePath();
// True when both names lead to the same existing entry, whatever their separators and case;
// for names of entries that do not exist, compares their resolved spellings.
bool SameHostPath(const AnsiString& a, const AnsiString& b);
// Case-insensitive Windows-style wildcard match of one name ("*", "?"; "*.*" matches all).
bool MatchesMask(const AnsiString& name, const AnsiString& mask);
}  // namespace tikora
