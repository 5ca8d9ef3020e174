#include "FileFunctions.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "HostPath.h"
#include "SysUtils.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

int LastSeparator(const AnsiString& s) {
    for (int i = s.Length(); i >= 1; --i)
        if (IsSeparator(s[i])) return i;
    return 0;
}

bool Stat(const AnsiString& name, struct stat& st) {
    if (name.IsEmpty()) return false;
    return ::stat(HostPath(name).c_str(), &st) == 0;
}

bool Fail(int err) {
    SetLastError(tikora::ErrorFromErrno(err));
    return false;
}

BOOL FailWin(int err) {
    Fail(err);
    return FALSE;
}

bool Succeed() {
    SetLastError(ERROR_SUCCESS);
    return true;
}

// A name beside the target that no other writer picks: the process id and a serial number.
std::string TemporaryBeside(const std::string& hostPath) {
    static std::atomic<uint32_t> serial{0};
    return hostPath + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
}

int32_t DosDateTime(time_t t) {
    struct tm tm {};
    if (!::localtime_r(&t, &tm) || tm.tm_year < 80) return 0;
    uint32_t date = static_cast<uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    return static_cast<int32_t>((date << 16) | time);
}

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool Match(const char* n, const char* m) {
    // Iterative glob with one backtrack point: linear enough for directory listings.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*n) {
        if (*m == '*') {
            star = m++;
            resume = n;
        } else if (*m == '?' || (*m && Fold(*m) == Fold(*n))) {
            ++m;
            ++n;
        } else if (star) {
            m = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (*m == '*') ++m;
    return *m == 0;
}

void Fill(TSearchRec& f) {
    const TSearchRec::Match& m = f.FindData[f.FindIndex++];
    f.Name = m.Name;
    f.Attr = m.Attr;
    f.Size = m.Size;
    f.Time = m.Time;
}

std::string Canonical(const AnsiString& name) {
    std::string h = HostPath(name);
    while (h.size() > 1 && h.back() == '/') h.pop_back();
    if (char* r = ::realpath(h.c_str(), nullptr)) {
        std::string out(r);
        std::free(r);
        return out;
    }
    size_t slash = h.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : h.substr(0, slash);
    std::string base = slash == std::string::npos ? h : h.substr(slash + 1);
    if (char* r = ::realpath(dir.c_str(), nullptr)) {
        std::string out(r);
        std::free(r);
        return (out == "/" ? out : out + "/") + base;
    }
    return h;
}

}  // namespace

bool FileExists(const AnsiString& fileName) {
    struct stat st;
    return Stat(fileName, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const AnsiString& directory) {
    struct stat st;
    return Stat(directory, st) && S_ISDIR(st.st_mode);
}

bool CreateDir(const AnsiString& dir) {
    if (dir.IsEmpty()) return Fail(ENOENT);
    if (DirectoryExists(dir)) return Fail(EEXIST);
    return ::mkdir(HostPath(dir).c_str(), 0777) == 0 ? Succeed() : Fail(errno);
}

bool RemoveDir(const AnsiString& dir) {
    if (dir.IsEmpty()) return Fail(ENOENT);
    return ::rmdir(HostPath(dir).c_str()) == 0 ? Succeed() : Fail(errno);
}

bool ForceDirectories(const AnsiString& dir) {
    if (dir.Trim().IsEmpty()) return Fail(ENOENT);
    // HostPath resolves the existing levels in any case and keeps the missing ones as written.
    std::string host = HostPath(dir);
    struct stat st;
    if (::stat(host.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? Succeed() : Fail(ENOTDIR);
    size_t pos = host[0] == '/' ? 1 : 0;
    while (pos <= host.size()) {
        size_t slash = host.find('/', pos);
        if (slash == std::string::npos) slash = host.size();
        if (slash > pos) {
            std::string prefix = host.substr(0, slash);
            if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return Fail(errno);
            if (::stat(prefix.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Fail(ENOTDIR);
        }
        pos = slash + 1;
    }
    return Succeed();
}

bool DeleteFile(const AnsiString& fileName) {
    if (fileName.IsEmpty()) return Fail(ENOENT);
    return ::unlink(HostPath(fileName).c_str()) == 0 ? Succeed() : Fail(errno);
}

bool RenameFile(const AnsiString& oldName, const AnsiString& newName) {
    if (oldName.IsEmpty() || newName.IsEmpty()) return Fail(ENOENT);
    std::string from = HostPath(oldName);
    std::string to = HostPath(newName);
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return Succeed();
    if (errno != EINVAL && errno != ENOSYS) return Fail(errno);
    // A file system without RENAME_NOREPLACE: the check and the rename are then two steps.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0 && !tikora::SameHostPath(oldName, newName)) return Fail(EEXIST);
    return ::rename(from.c_str(), to.c_str()) == 0 ? Succeed() : Fail(errno);
}

BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists) {
    if (!existingFileName || !newFileName || !*existingFileName || !*newFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string src = HostPath(existingFileName);
    std::string dst = HostPath(newFileName);
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return FailWin(errno);
    struct stat st;
    if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(in);
        return FailWin(err);
    }
    struct stat existing;
    if (failIfExists && ::lstat(dst.c_str(), &existing) == 0) {
        ::close(in);
        SetLastError(ERROR_FILE_EXISTS);
        return FALSE;
    }
    std::string tmp = TemporaryBeside(dst);
    int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        int err = errno;
        ::close(in);
        if (err == ENOENT || err == ENOTDIR) {
            SetLastError(ERROR_PATH_NOT_FOUND);  // the source was found: the target's folder is missing
            return FALSE;
        }
        return FailWin(err);
    }
    auto abandon = [&](int err) {
        ::close(in);
        ::close(out);
        ::unlink(tmp.c_str());
        return FailWin(err);
    };
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return abandon(errno);
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return abandon(w < 0 ? errno : ENOSPC);
            done += w;
        }
    }
    // Windows keeps the source's last write time on a copy.
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
    ::close(in);
    if (::close(out) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        return FailWin(err);
    }
    // link() refuses an existing target, so a target created meanwhile is not overwritten.
    int rc = failIfExists ? ::link(tmp.c_str(), dst.c_str()) : ::rename(tmp.c_str(), dst.c_str());
    int err = errno;
    if (failIfExists) ::unlink(tmp.c_str());
    if (rc != 0) {
        if (!failIfExists) ::unlink(tmp.c_str());
        if (failIfExists && err == EEXIST) {
            SetLastError(ERROR_FILE_EXISTS);
            return FALSE;
        }
        return FailWin(err);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

AnsiString ExtractFilePath(const AnsiString& fileName) { return fileName.SubString(1, LastSeparator(fileName)); }

AnsiString ExtractFileDir(const AnsiString& fileName) {
    int i = LastSeparator(fileName);
    // The root keeps its separator; "a\\b" loses only the last one.
    if (i > 1 && !IsSeparator(fileName[i - 1])) --i;
    return fileName.SubString(1, i);
}

AnsiString ExtractFileName(const AnsiString& fileName) {
    return fileName.SubString(LastSeparator(fileName) + 1, INT_MAX);
}

AnsiString ExtractFileExt(const AnsiString& fileName) {
    int i = fileName.LastDelimiter(".\\/");
    if (i > 0 && fileName[i] == '.') return fileName.SubString(i, INT_MAX);
    return AnsiString();
}

AnsiString ChangeFileExt(const AnsiString& fileName, const AnsiString& extension) {
    int i = fileName.LastDelimiter(".\\/");
    if (i == 0 || fileName[i] != '.') return fileName + extension;
    return fileName.SubString(1, i - 1) + extension;
}

AnsiString IncludeTrailingPathDelimiter(const AnsiString& path) {
    if (!path.IsEmpty() && IsSeparator(path[path.Length()])) return path;
    return path + "\\";
}

AnsiString ExcludeTrailingPathDelimiter(const AnsiString& path) {
    if (path.Length() > 1 && IsSeparator(path[path.Length()])) return path.SubString(1, path.Length() - 1);
    return path;
}

AnsiString GetCurrentDir() {
    if (char* p = ::getcwd(nullptr, 0)) {
        AnsiString out(p);
        std::free(p);
        return out;
    }
    return AnsiString();
}

bool SetCurrentDir(const AnsiString& dir) {
    if (dir.IsEmpty()) return Fail(ENOENT);
    return ::chdir(HostPath(dir).c_str()) == 0 ? Succeed() : Fail(errno);
}

namespace {
std::vector<std::string> CommandLine() {
    std::vector<std::string> args;
    FILE* f = std::fopen("/proc/self/cmdline", "rb");
    if (!f) return args;
    std::string cur;
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == 0) {
            args.push_back(cur);
            cur.clear();
        } else {
            cur += static_cast<char>(c);
        }
    }
    if (!cur.empty()) args.push_back(cur);
    std::fclose(f);
    return args;
}
}  // namespace

AnsiString ParamStr(int index) {
    if (index == 0) return tikora::ExecutablePath();
    std::vector<std::string> args = CommandLine();
    if (index < 0 || static_cast<size_t>(index) >= args.size()) return AnsiString();
    return AnsiString(args[static_cast<size_t>(index)]);
}

int ParamCount() {
    size_t n = CommandLine().size();
    return n > 0 ? static_cast<int>(n - 1) : 0;
}

int FindFirst(const AnsiString& path, int attr, TSearchRec& f) {
    f = TSearchRec();
    f.ExcludeAttr = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
    AnsiString dir = ExtractFilePath(path);
    AnsiString mask = ExtractFileName(path);
    std::string hostDir = dir.IsEmpty() ? std::string(".") : HostPath(dir);
    DIR* d = ::opendir(hostDir.c_str());
    if (!d) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return static_cast<int>(ERROR_PATH_NOT_FOUND);
    }
    if (hostDir.back() != '/') hostDir += '/';
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (!tikora::MatchesMask(AnsiString(name), mask)) continue;
        struct stat st;
        std::string full = hostDir + name;
        if (::stat(full.c_str(), &st) != 0 && ::lstat(full.c_str(), &st) != 0) continue;
        int32_t a = 0;
        if (S_ISDIR(st.st_mode))
            a |= faDirectory;
        else if (S_ISREG(st.st_mode))
            a |= faArchive;
        else
            a |= faSysFile;
        if (name[0] == '.' && name != "." && name != "..") a |= faHidden;
        if (!(st.st_mode & S_IWUSR)) a |= faReadOnly;
        if (a & f.ExcludeAttr) continue;
        f.FindData.push_back({AnsiString(name), a, S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size),
                              DosDateTime(st.st_mtime)});
    }
    ::closedir(d);
    std::sort(f.FindData.begin(), f.FindData.end(), [](const TSearchRec::Match& x, const TSearchRec::Match& y) {
        int c = CompareText(x.Name, y.Name);
        return c != 0 ? c < 0 : x.Name.Compare(y.Name) < 0;
    });
    if (f.FindData.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return static_cast<int>(ERROR_FILE_NOT_FOUND);
    }
    Fill(f);
    SetLastError(ERROR_SUCCESS);
    return 0;
}

int FindNext(TSearchRec& f) {
    if (f.FindIndex >= f.FindData.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return static_cast<int>(ERROR_NO_MORE_FILES);
    }
    Fill(f);
    return 0;
}

void FindClose(TSearchRec& f) {
    f.FindData.clear();
    f.FindData.shrink_to_fit();
    f.FindIndex = 0;
}

namespace tikora {

AnsiString ExecutablePath() {
    std::string buf(256, '\0');
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return AnsiString();
        if (static_cast<size_t>(n) < buf.size()) return AnsiString(buf.substr(0, static_cast<size_t>(n)));
        buf.resize(buf.size() * 2);
    }
}

bool SameHostPath(const AnsiString& a, const AnsiString& b) {
    if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() && b.IsEmpty();
    return Canonical(a) == Canonical(b);
}

bool MatchesMask(const AnsiString& name, const AnsiString& mask) {
    if (mask.IsEmpty()) return false;
    if (mask == "*.*") return true;
    return Match(name.c_str(), mask.c_str());
}

}  // namespace tikora
