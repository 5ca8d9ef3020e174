#pragma once
// Permissions bind root only through another effective user, so a test of what a user may not do
// acts, when it runs as root, as the unprivileged user "nobody" for a while (AsOtherUser). That
// user must reach the test's files, and the build tree may lie where no one else may enter (a home
// folder, a folder made by mktemp -d): OtherUserDir makes a folder of its own under the system's
// temporary folder, where every folder on the way is open to others, and removes it afterwards.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace othertest {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 65534;

// While alive, the process acts as the other user when it runs as root, and as itself otherwise.
class AsOtherUser {
public:
    AsOtherUser() : switched_(::geteuid() == 0 && ::seteuid(kOtherUser) == 0), ok_(switched_ || ::geteuid() != 0) {}
    ~AsOtherUser() {
        if (switched_ && ::seteuid(0) != 0) std::abort();  // every later test would run as the other user
    }
    AsOtherUser(const AsOtherUser&) = delete;
    AsOtherUser& operator=(const AsOtherUser&) = delete;
    bool Ok() const { return ok_; }

private:
    const bool switched_, ok_;
};

class OtherUserDir {
public:
    OtherUserDir() {
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);  // $TMPDIR, or /tmp
        std::string name = ((ec ? fs::path("/tmp") : base) / "tikora-test-XXXXXX").string();
        if (::mkdtemp(name.data())) {
            path_ = name;
            fs::permissions(path_, fs::perms::owner_all | kOthersEnter, ec);
            AsOtherUser as;
            if (as.Ok() && ::faccessat(AT_FDCWD, name.c_str(), R_OK | X_OK, AT_EACCESS) == 0) return;
        }
        why_ = "user " + std::to_string(kOtherUser) + " can reach no folder made in " + name +
               "; the test needs one to act as that user";
    }
    ~OtherUserDir() {
        if (path_.empty()) return;
        Open(path_, fs::perms::owner_all);
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    OtherUserDir(const OtherUserDir&) = delete;
    OtherUserDir& operator=(const OtherUserDir&) = delete;

    const fs::path& Path() const { return path_; }
    // Why there is no such folder; "" when there is one.
    const std::string& Why() const { return why_; }
    // A copy of `from` (a file or a whole folder) at `to`, which the other user may read.
    static void CopyIn(const fs::path& from, const fs::path& to) {
        fs::copy(from, to, fs::copy_options::recursive);
        Open(to, fs::perms::owner_all | kOthersEnter);
    }

private:
    static constexpr fs::perms kOthersEnter =
        fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    // Adds `perms` to `path` and to everything below it (execution only to folders), each folder
    // before it is entered.
    static void Open(const fs::path& path, fs::perms perms) {
        const fs::perms files = perms & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
        std::error_code ec, each;
        fs::permissions(path, fs::is_directory(path, each) ? perms : files, fs::perm_options::add, each);
        if (!fs::is_directory(path, each)) return;
        for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            if (!it->is_symlink(each))  // what a link leads to lies outside
                fs::permissions(it->path(), it->is_directory(each) ? perms : files, fs::perm_options::add, each);
    }
    fs::path path_;
    std::string why_;
};

}  // namespace othertest
