// The program's entry: one copy at a time, the windows in their order, the message loop.
#include <malloc.h>

#include "FileFunctions.h"
#include "Forms.h"
#include "Mutex.h"
#include "Programforms.h"

// Every thread would get a malloc arena of its own, up to 64 MB of address space each; the sound
// and timer threads start before main, so the limit is set before any constructor runs. Two
// arenas keep the program well inside a limit on its address space (ulimit -v).
__attribute__((constructor(101))) static void FewMallocArenas() { mallopt(M_ARENA_MAX, 2); }

int main() {
    if (OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "TIKORA_ALLREADY_RUN")) return 0;
    // Never closed: the mutex lives as long as this process.
    CreateMutexA(nullptr, TRUE, "TIKORA_ALLREADY_RUN");
    // Every relative path of the program is relative to its own folder.
    SetCurrentDir(ExtractFilePath(tikora::ExecutablePath()));
    try {
        Application->Initialize();
        CreateProgramForms();
        Application->Run();
    } catch (Exception& e) {
        Application->ShowException(&e);
    }
    return 0;
}
