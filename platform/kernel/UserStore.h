#pragma once
// Settings beside the program when the user may not write there (an installation owned by another
// user): as the system the program was written for does for such programs, a write of one of the
// program's own settings files that the program's folder refuses for lack of permission goes to
// the same name in a per-user folder instead, and from then on that copy is the one read (and
// written) first. Any other file is read and written where it is named. The per-user folder is
// $XDG_CONFIG_HOME/tikora/, or ~/.config/tikora/ without that variable.
#include <vector>

#include "AnsiString.h"

namespace tikora {
// Keeps per-user copies of `files` (names inside `programFolder`, matched ignoring case), from now on.
void UseUserStore(const AnsiString& programFolder, const std::vector<AnsiString>& files);
// The per-user folder in use ("" before UseUserStore).
AnsiString UserStoreFolder();
// True when the user may create files in `folder` (checked with the rights the program runs with).
bool FolderWritable(const AnsiString& folder);
}  // namespace tikora
