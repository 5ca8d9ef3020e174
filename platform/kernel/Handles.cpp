#include "Handles.h"

#include <mutex>
#include <unordered_map>

#include "LastError.h"

namespace tikora {

namespace {
struct Table {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::unique_ptr<KernelObject>> objects;
    // Apart from the window handles' range, so a handle of one kind never passes for the other.
    uintptr_t next = 0x40000000;
};

Table& T() {
    static Table t;
    return t;
}
}  // namespace

HANDLE AddHandle(std::unique_ptr<KernelObject> object) {
    Table& t = T();
    std::lock_guard lock(t.mutex);
    uintptr_t h = t.next;
    t.next += 4;
    t.objects.emplace(h, std::move(object));
    return reinterpret_cast<HANDLE>(h);
}

KernelObject* LookupHandle(HANDLE handle) {
    Table& t = T();
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second.get();
}

int OpenHandleCount() {
    Table& t = T();
    std::lock_guard lock(t.mutex);
    return static_cast<int>(t.objects.size());
}

}  // namespace tikora

BOOL CloseHandle(HANDLE handle) {
    using namespace tikora;
    std::unique_ptr<KernelObject> object;
    {
        Table& t = T();
        std::lock_guard lock(t.mutex);
        auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
        if (it == t.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(it->second);
        t.objects.erase(it);
    }
    // Destroyed outside the lock: a destructor may itself close handles.
    object.reset();
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
