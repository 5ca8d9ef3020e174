#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "DVInternal.h"
#include "HostPath.h"
#include "SysUtils.h"
#include "Tdevelopervariables.h"

namespace {

// Loads nest through includes and replays; the budget covers the outermost one.
int g_loadDepth = 0;
int64_t g_steps = 0;
int64_t g_bytes = 0;

// Room kept aside while loading so that running out of memory can still be reported: it is
// released before the message is made.
std::unique_ptr<char[]> g_spare;
const size_t kSpareBytes = 256 * 1024;

struct LoadDepthGuard {
    LoadDepthGuard() {
        if (g_loadDepth++ > 0) return;
        g_steps = g_bytes = 0;
        if (!g_spare) g_spare.reset(new (std::nothrow) char[kSpareBytes]);
    }
    ~LoadDepthGuard() { --g_loadDepth; }
};

// What a standard exception (std::bad_alloc above all) says when it is turned into an Exception.
AnsiString StandardError(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e)) {
        g_spare.reset();
        return " Out of memory";
    }
    return AnsiString(" ") + e.what();
}

// The files being read right now, outermost first, by their canonical host names.
std::vector<std::string> g_includeChain;

struct IncludeGuard {
    explicit IncludeGuard(std::string name) { g_includeChain.push_back(std::move(name)); }
    ~IncludeGuard() { g_includeChain.pop_back(); }
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

int LastSeparator(const AnsiString& s, bool withColon) {
    for (int i = s.Length(); i >= 1; --i)
        if (IsSeparator(s[i]) || (withColon && s[i] == ':')) return i;
    return 0;
}

AnsiString JoinPath(const AnsiString& dir, const AnsiString& name) {
    if (dir.IsEmpty()) return name;
    if (IsSeparator(dir[dir.Length()])) return dir + name;
    return dir + "\\" + name;
}

// One level up from `dir`, never past the start of a relative directory nor above a root.
AnsiString ParentDir(const AnsiString& dir) {
    if (dir.IsEmpty()) return "..";
    int sep = LastSeparator(dir, false);
    AnsiString last = dir.SubString(sep + 1, dir.Length());
    if (last == "..") return dir + "\\..";
    if (sep == 0) return dir[dir.Length()] == ':' ? dir : AnsiString();
    if (sep == 1) return dir.SubString(1, 1);
    AnsiString up = dir.SubString(1, sep - 1);
    return up;
}

std::string CanonicalName(const AnsiString& name) {
    std::string host = HostPath(name);
    if (char* real = ::realpath(host.c_str(), nullptr)) {
        std::string r(real);
        std::free(real);
        return r;
    }
    return host;
}

}  // namespace

void DVCountSteps(int64_t steps) {
    if (g_loadDepth == 0 || DVLimits.MaxSteps <= 0) return;
    g_steps += steps;
    if (g_steps > DVLimits.MaxSteps)
        throw Exception(" Load too large: more than " + IntToStr(DVLimits.MaxSteps) +
                        " steps (statements, replayed blocks, elements, indexes and values)");
}

void DVCountBytes(int64_t bytes) {
    if (g_loadDepth == 0 || DVLimits.MaxBytes <= 0) return;
    g_bytes += bytes;
    if (g_bytes > DVLimits.MaxBytes)
        throw Exception(" Load too large: its tags, values and contexts would take more than " +
                        IntToStr(DVLimits.MaxBytes >> 20) + " MB");
}

// ---------------------------------------------------------------------------------------------
// TDVContextHive

TDVContextHive::TDVContextHive(TDVContext* bottom, TDVContext* pointerBase)
    : current_(bottom), outermost_(bottom), pointerBase_(pointerBase ? pointerBase : bottom) {}

void TDVContextHive::Push(TDVContext* context) {
    stack_.push_back(context);
    current_ = context;
}

void TDVContextHive::Pop() {
    if (!stack_.empty()) stack_.pop_back();
    UpdateCurrent();
}

void TDVContextHive::UpdateCurrent() { current_ = stack_.empty() ? outermost_ : stack_.back(); }

void TDVContextHive::SetCurrent(TDVContext* context) { current_ = context; }

// ---------------------------------------------------------------------------------------------
// Reading

void TDVContext::LoadFromStrings(TStrings* lines, int first, int last) { LoadLines(lines, first, last, nullptr); }

void TDVContext::LoadLines(TStrings* lines, int first, int last, TDVContext* pointerBase) {
    LoadDepthGuard depth;
    TDVContext standby;
    bool replay = last == -2;
    TDVContextHive hive(replay ? &standby : this, pointerBase ? pointerBase : this);
    if (replay) hive.Push(this);

    int count = lines->Count();
    int end = last + 1;
    if (end <= 0 || end > count) end = count;
    int start = first < 0 ? 0 : first > count ? count : first;

    std::string acc;
    for (int i = start; i < end; ++i) {
        try {
            const std::string& line = lines->Strings(i).str();
            size_t n = line.size();
            while (n > 0 && static_cast<unsigned char>(line[n - 1]) <= ' ') --n;
            acc.append(line, 0, n);
            if (!acc.empty() && acc.back() == '\\') {
                acc.pop_back();
                continue;
            }
            AnsiString statement = NormalizeLine(AnsiString(acc));
            acc.clear();
            int k = hive.ParseLine(statement);
            for (int r = 0; r < k; ++r) {
                hive.Current()->LoadLines(lines, i + 1, -2, hive.PointerBase());
                hive.Pop();
            }
        } catch (const Exception& e) {
            throw Exception(e.Message + "; Line=" + IntToStr(i));
        } catch (const std::exception& e) {
            throw Exception(StandardError(e) + "; Line=" + IntToStr(i));
        }
        if (hive.Current() == &standby) break;
    }
    if (hive.Current() != hive.Outermost()) throw Exception(" '}' or endcontext expected; Line=" + IntToStr(count));
}

void TDVContext::SetBaseDir(const AnsiString& dir) {
    if (BaseDirSet) return;
    BaseDirSet = true;
    AnsiString d = dir;
    while (!d.IsEmpty() && IsSeparator(d[d.Length()])) d.SetLength(d.Length() - 1);
    BaseDir = d;
}

AnsiString TDVContext::ResolveFileName(const AnsiString& name) {
    if (BaseDir.IsEmpty()) return name;
    AnsiString t = name.Trim();
    if (name.IsEmpty() || LastSeparator(name, true) == 0) return JoinPath(BaseDir, t);
    if (t.IsEmpty() || t[1] != '.') return name;
    AnsiString b = BaseDir;
    while (!t.IsEmpty() && t[1] == '.') {
        if (t.Length() >= 2 && t[2] == '.') {
            b = ParentDir(b);
            t.Delete(1, 3);
        } else {
            t.Delete(1, 2);
        }
    }
    return JoinPath(b, t);
}

void TDVContext::LoadFromFile(const AnsiString& fileName, bool mustExist) {
    int sep = LastSeparator(fileName, true);
    bool settingBase = !BaseDirSet;
    SetBaseDir(sep > 0 ? fileName.SubString(1, sep) : AnsiString());
    // The name that fixes the base directory is already relative to where the caller stands.
    AnsiString name = settingBase ? fileName : ResolveFileName(fileName);

    struct stat st;
    if (::stat(HostPath(name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        if (mustExist) throw Exception("TDVContext::LoadFromFile: file not found '" + name + "'");
        return;
    }
    std::string canonical = CanonicalName(name);
    for (const std::string& open : g_includeChain)
        if (open == canonical) throw Exception("TDVContext::LoadFromFile: recursive include of '" + name + "'");
    IncludeGuard chain(canonical);

    try {
        TStringList lines;
        lines.LoadFromFile(name);
        if (lines.Count() > 0) {
            const std::string& l0 = lines[0].str();
            if (l0.size() >= 3 && l0.compare(0, 3, "\xEF\xBB\xBF") == 0) lines.SetStrings(0, AnsiString(l0.substr(3)));
        }
        LoadFromStrings(&lines, 0, -1);
    } catch (const Exception& e) {
        throw Exception(e.Message + "; File=" + name);
    } catch (const std::exception& e) {
        throw Exception(StandardError(e) + "; File=" + name);
    }
}
