#pragma once
// Settings beside the program when the user may not write there (an installation owned by another
// user): as the system the program was written for does for such programs, a write into the
// program's folder that is refused for lack of permission goes to the same name in a per-user
// folder instead, and from then on that copy is the one read (and written) first. The per-user
// folder is $XDG_CONFIG_HOME/tikora/, or ~/.config/tikora/ without that variable.
#include "AnsiString.h"

namespace tikora {
// Keeps the per-user copies of files inside `programFolder` (and its sub-folders), from now on.
void UseUserStore(const AnsiString& programFolder);
// The per-user folder in use ("" before UseUserStore).
AnsiString UserStoreFolder();
}  // namespace tikora
