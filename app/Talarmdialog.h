#pragma once
// Asks what to do when the practice time reaches the alarm.
#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class TAlarmDialog : public TForm {
public:
    explicit TAlarmDialog(TComponent* Owner);

    // The items of `Result`, in order.
    enum TAction { aStop = 0, aDisableAlarm = 1, aResetTimer = 2, aOpenSetup = 3 };

    TRadioGroup* Result;
    TButton* Button1;  // Continue

    void Button1Click(TObject* Sender);
};

extern TAlarmDialog* AlarmDialog;
