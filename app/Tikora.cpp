// The program's entry: one copy at a time, the windows in their order, the message loop.
#include "FileFunctions.h"
#include "Forms.h"
#include "Mutex.h"
#include "Programforms.h"

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
