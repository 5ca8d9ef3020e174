#include "Programforms.h"

#include "Forms.h"
#include "Talarmdialog.h"
#include "Talarmsetup.h"
#include "Tmainform.h"
#include "Tmemoform.h"
#include "Tsettempoform.h"
#include "Tsettingsform.h"
#include "Ttempocalculator.h"
#include "Ttslistedit.h"
#include "Ttslistitemeditor.h"

void CreateProgramForms() {
    Application->SetTitle("Tikora");
    Application->SetHelpFile("help\\index.html");
    Application->CreateForm(MainForm);
    Application->CreateForm(TSListEdit);
    Application->CreateForm(TSListItemEditor);
    Application->CreateForm(SettingsForm);
    Application->CreateForm(AlarmSetup);
    Application->CreateForm(AlarmDialog);
    Application->CreateForm(SetTempoForm);
    Application->CreateForm(MemoForm);
    Application->CreateForm(TempoCalculator);
}
