#include "UserStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "HostPath.h"

namespace fs = std::filesystem;

namespace {

std::mutex g_mutex;
std::string g_program;             // the program's folder, absolute and normal, without a trailing "/"
std::string g_store;               // the per-user folder, likewise
std::vector<std::string> g_files;  // the names kept there, relative to the program's folder

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string Normal(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::path(path).is_absolute() ? fs::path(path) : fs::current_path(ec) / path;
    std::string out = p.lexically_normal().string();
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

// The per-user path of one of the kept files; "" for any other file.
std::string InStore(const std::string& hostPath) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_program.empty()) return std::string();
    std::string path = Normal(hostPath);
    if (path.size() <= g_program.size() + 1 || path.compare(0, g_program.size(), g_program) != 0 ||
        path[g_program.size()] != '/')
        return std::string();
    const std::string name = path.substr(g_program.size() + 1);
    for (const std::string& kept : g_files)
        if (SameIgnoringCase(name, kept)) return g_store + "/" + name;
    return std::string();
}

std::string ReadCopyFirst(const std::string& hostPath) {
    std::string copy = InStore(hostPath);
    struct stat st;
    return !copy.empty() && ::stat(copy.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? copy : hostPath;
}

std::string WriteElsewhere(const std::string& hostPath, int& err) {
    std::string copy = InStore(hostPath);
    if (copy.empty() || copy == hostPath) return std::string();
    std::error_code ec;
    fs::create_directories(fs::path(copy).parent_path(), ec);
    err = ec.value();
    return copy;
}

}  // namespace

namespace tikora {

void UseUserStore(const AnsiString& programFolder, const std::vector<AnsiString>& files) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string base = config && config[0] == '/' ? config : std::string(home ? home : "") + "/.config";
    std::string program = Normal(HostPath(programFolder));
    std::vector<std::string> kept;
    for (const AnsiString& f : files) {
        std::string name = f.str();
        for (char& c : name)
            if (c == '\\') c = '/';
        kept.push_back(fs::path(name).lexically_normal().string());
    }
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_program = program;
        g_store = Normal(base + "/tikora");
        g_files = std::move(kept);
    }
    SetHostPathRedirect({&ReadCopyFirst, &WriteElsewhere});
}

AnsiString UserStoreFolder() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return AnsiString(g_store);
}

bool FolderWritable(const AnsiString& folder) {
    const std::string host = HostPath(folder);
    return ::faccessat(AT_FDCWD, host.empty() ? "." : host.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

}  // namespace tikora
