#pragma once
// Windows-style paths on this system: "\" and "/" both separate components, and each component is
// matched case-insensitively when the exact name does not exist. Components that match nothing
// are kept as written, so a path for a new file resolves to where it will be created.
#include <string>
#include "AnsiString.h"

std::string HostPath(const AnsiString& path);
