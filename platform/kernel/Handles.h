#pragma once
// Kernel object handles: CloseHandle works on every handle that a kernel stand-in hands out.
#include <memory>

#include "WinTypes.h"

namespace tikora {

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// Takes ownership and returns a new handle (never null, never reused while the program runs).
HANDLE AddHandle(std::unique_ptr<KernelObject> object);
// The object behind a handle, or nullptr. The caller must not close the handle meanwhile.
KernelObject* LookupHandle(HANDLE handle);
int OpenHandleCount();

}  // namespace tikora

// Destroys the object behind the handle; false (ERROR_INVALID_HANDLE) for an unknown handle.
BOOL CloseHandle(HANDLE handle);
