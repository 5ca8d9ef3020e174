#pragma once
// Windows-style paths on this system: "\" and "/" both separate components, and each component is
// matched case-insensitively when the exact name does not exist. Components that match nothing
// are kept as written, so a path for a new file resolves to where it will be created.
#include <string>
#include "AnsiString.h"

std::string HostPath(const AnsiString& path);

namespace tikora {
// A second home for files the program may not write where it names them. `read` turns a resolved
// host path into the one to use instead (or gives it back); `write` gives, after a write there was
// refused for lack of permission, the host path to write instead ("" when there is none). The
// kernel's per-user store (UserStore.h) sets them; without it paths are used as they are.
struct HostPathRedirect {
    std::string (*read)(const std::string& hostPath) = nullptr;
    std::string (*write)(const std::string& hostPath, int& err) = nullptr;
};
void SetHostPathRedirect(const HostPathRedirect& redirect);
const HostPathRedirect& CurrentHostPathRedirect();
// The errors that mean "not allowed here" rather than "not possible at all".
bool IsPermissionError(int err);
}  // namespace tikora
