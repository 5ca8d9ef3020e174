// The program's entry: one copy at a time, the windows in their order, the message loop.
#include "FileFunctions.h"
#include "Forms.h"
#include "Mutex.h"
#include "Talarmdialog.h"
#include "Talarmsetup.h"
#include "Tmainform.h"
#include "Tmemoform.h"
#include "Tsettempoform.h"
#include "Tsettingsform.h"
#include "Ttempocalculator.h"
#include "Ttslistedit.h"
#include "Ttslistitemeditor.h"

int main() {
  if (OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "TIKORA_ALLREADY_RUN")) return 0;
  // Never closed: the mutex lives as long as this process.
  CreateMutexA(nullptr, TRUE, "TIKORA_ALLREADY_RUN");
  // Every relative path of the program is relative to its own folder.
  SetCurrentDir(ExtractFilePath(tikora::ExecutablePath()));
  try {
    Application->Initialize();
    Application->SetTitle("Tikora");
    Application->SetHelpFile("TIKORA.HLP");
    Application->CreateForm(MainForm);
    Application->CreateForm(TSListEdit);
    Application->CreateForm(TSListItemEditor);
    Application->CreateForm(SettingsForm);
    Application->CreateForm(AlarmSetup);
    Application->CreateForm(AlarmDialog);
    Application->CreateForm(SetTempoForm);
    Application->CreateForm(MemoForm);
    Application->CreateForm(TempoCalculator);
    Application->Run();
  } catch (Exception& e) {
    Application->ShowException(&e);
  }
  return 0;
}
