#pragma once
// Named mutexes shared between processes. A name exists while some process holds a handle to it:
// each handle keeps a shared flock on a lock file named after the mutex, so the kernel drops it
// when the handle is closed or the process ends, however it ends. Whether a name exists is asked
// of the locks, never of the lock file's presence, so a file left behind means nothing.
// The lock files live in $XDG_RUNTIME_DIR, else in the temporary folder under the user's id.
#include <string>

#include "Handles.h"
#include "LastError.h"
#include "WinTypes.h"

struct SECURITY_ATTRIBUTES {
    DWORD nLength = 0;
    LPVOID lpSecurityDescriptor = nullptr;
    BOOL bInheritHandle = FALSE;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD MUTEX_MODIFY_STATE = 0x0001;
constexpr DWORD MUTEX_ALL_ACCESS = 0x001F0001;
constexpr DWORD ERROR_NOT_OWNER = 288;

// A handle to the mutex, created when the name does not exist yet. When it exists already, the
// handle is to that one, initialOwner is ignored and GetLastError is ERROR_ALREADY_EXISTS.
// A null name makes a mutex of this process alone.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
// A handle when the name exists; otherwise null with ERROR_FILE_NOT_FOUND.
HANDLE OpenMutexA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
// Gives up ownership taken at creation; false (ERROR_NOT_OWNER) when the caller does not own it.
BOOL ReleaseMutex(HANDLE mutex);

namespace tikora {
// The folder of the lock files, without a trailing "/".
std::string MutexLockFolder();
}  // namespace tikora
