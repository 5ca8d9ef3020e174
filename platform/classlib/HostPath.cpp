#include "HostPath.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

static bool Exists(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

static bool EqualsIgnoreCase(const std::string& a, const char* b) {
    size_t n = a.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (y == 0) return false;
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return b[n] == 0;
}

// The first directory entry (in byte order, so the choice is stable) that matches ignoring case.
static bool FindIgnoreCase(const std::string& dir, const std::string& name, std::string& found) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return false;
    std::vector<std::string> matches;
    while (dirent* e = ::readdir(d))
        if (EqualsIgnoreCase(name, e->d_name)) matches.emplace_back(e->d_name);
    ::closedir(d);
    if (matches.empty()) return false;
    found = *std::min_element(matches.begin(), matches.end());
    return true;
}

namespace {
tikora::HostPathRedirect g_redirect;
}  // namespace

namespace tikora {
void SetHostPathRedirect(const HostPathRedirect& redirect) { g_redirect = redirect; }
const HostPathRedirect& CurrentHostPathRedirect() { return g_redirect; }
bool IsPermissionError(int err) { return err == EACCES || err == EPERM || err == EROFS; }
}  // namespace tikora

static std::string ResolveHostPath(const AnsiString& path) {
    std::string p = path.str();
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.empty() || Exists(p)) return p;

    std::string out;
    size_t i = 0;
    if (p[0] == '/') {
        out.assign(1, '/');
        i = 1;
    }
    bool resolving = true;
    while (i <= p.size()) {
        size_t slash = p.find('/', i);
        if (slash == std::string::npos) slash = p.size();
        std::string comp = p.substr(i, slash - i);
        i = slash + 1;
        if (comp.empty()) continue;
        std::string base = out.empty() ? std::string() : out;
        std::string candidate = base.empty() ? comp : (base.back() == '/' ? base + comp : base + "/" + comp);
        if (resolving && comp != "." && comp != ".." && !Exists(candidate)) {
            std::string found;
            if (FindIgnoreCase(base, comp, found))
                candidate = base.empty() ? found : (base.back() == '/' ? base + found : base + "/" + found);
            else
                resolving = false;
        }
        out = candidate;
    }
    if (!p.empty() && p.back() == '/' && !out.empty() && out.back() != '/') out += '/';
    return out;
}

std::string HostPath(const AnsiString& path) {
    std::string resolved = ResolveHostPath(path);
    return g_redirect.read && !resolved.empty() ? g_redirect.read(resolved) : resolved;
}
