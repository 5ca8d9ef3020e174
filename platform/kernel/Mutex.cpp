#include "Mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace {

class MutexObject : public tikora::KernelObject {
public:
    explicit MutexObject(int fd) : fd_(fd) {}
    ~MutexObject() override {
        if (fd_ >= 0) ::close(fd_);
    }
    std::thread::id owner;
    bool owned = false;

private:
    int fd_;  // holds the shared lock that makes the name exist
};

bool IsDirectory(const char* path) {
    struct stat st;
    return path && *path && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Names are case-sensitive and may hold any character; the file name keeps letters, digits and
// "-", "_", "." and writes every other byte as %XX, so distinct names never share a file.
std::string FileNameFor(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
            (c == '.' && !out.empty())) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string Prefix() {
    // In a shared temporary folder the user id keeps users apart; the runtime folder is per user.
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (IsDirectory(xdg)) return "tikora-";
    return "tikora-" + std::to_string(::getuid()) + "-";
}

int OpenLockFile(const std::string& path, bool create) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd;
}

// Serialises the test for existence and the taking of the shared lock among all processes, so
// two starts at the same moment cannot both find the name free.
class Guard {
public:
    Guard() {
        fd_ = OpenLockFile(tikora::MutexLockFolder() + "/" + Prefix() + "mutex.guard", true);
        if (fd_ >= 0)
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~Guard() {
        if (fd_ >= 0) ::close(fd_);
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    int fd_ = -1;
};

// True when some open handle, in this process or another, holds the lock file.
bool IsHeld(const std::string& path) {
    int probe = OpenLockFile(path, false);
    if (probe < 0) return false;
    bool held = ::flock(probe, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(probe);
    return held;
}

HANDLE NewHandle(const std::string& path, bool create) {
    int fd = OpenLockFile(path, create);
    if (fd < 0) {
        SetLastError(tikora::ErrorFromErrno(errno));
        return nullptr;
    }
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        SetLastError(tikora::ErrorFromErrno(err));
        return nullptr;
    }
    return tikora::AddHandle(std::make_unique<MutexObject>(fd));
}

}  // namespace

namespace tikora {

std::string MutexLockFolder() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (IsDirectory(xdg)) return std::string(xdg);
    const char* tmp = std::getenv("TMPDIR");
    if (IsDirectory(tmp)) return std::string(tmp);
    return "/tmp";
}

}  // namespace tikora

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    if (!name) {
        auto m = std::make_unique<MutexObject>(-1);
        m->owned = initialOwner != FALSE;
        m->owner = std::this_thread::get_id();
        SetLastError(ERROR_SUCCESS);
        return tikora::AddHandle(std::move(m));
    }
    std::string path = tikora::MutexLockFolder() + "/" + Prefix() + FileNameFor(name) + ".lock";
    Guard guard;
    bool existed = IsHeld(path);
    HANDLE h = NewHandle(path, true);
    if (!h) return nullptr;
    if (!existed && initialOwner) {
        auto* m = static_cast<MutexObject*>(tikora::LookupHandle(h));
        m->owned = true;
        m->owner = std::this_thread::get_id();
    }
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

HANDLE OpenMutexA(DWORD, BOOL, LPCSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string path = tikora::MutexLockFolder() + "/" + Prefix() + FileNameFor(name) + ".lock";
    Guard guard;
    if (!IsHeld(path)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    HANDLE h = NewHandle(path, false);
    if (h) SetLastError(ERROR_SUCCESS);
    return h;
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto* m = dynamic_cast<MutexObject*>(tikora::LookupHandle(mutex));
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!m->owned || m->owner != std::this_thread::get_id()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    m->owned = false;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
