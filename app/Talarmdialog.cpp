#include "Talarmdialog.h"

TAlarmDialog* AlarmDialog = nullptr;

TAlarmDialog::TAlarmDialog(TComponent* Owner) : TForm(Owner) {
    SetName("AlarmDialog");
    SetCaption("Alarm!");
    SetBorderStyle(bsDialog);
    SetBounds(320, 220, 276, 172);

    Result = new TRadioGroup(this);
    Result->SetName("Result");
    Result->SetParent(this);
    Result->SetBounds(8, 8, 260, 120);
    Result->SetCaption(" Actions ");
    for (const char* item :
         {"Stop", "Disable Alarm && Continue playing", "Reset Timer && Continue playing", "Open Alarm setup dialog"})
        Result->Items()->Add(item);
    Result->SetItemIndex(0);
    Result->SetTabOrder(0);

    Button1 = new TButton(this);
    Button1->SetName("Button1");
    Button1->SetParent(this);
    Button1->SetBounds(100, 138, 75, 25);
    Button1->SetCaption("Continue");
    Button1->SetDefault(true);
    Button1->SetTabOrder(1);
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
}

void TAlarmDialog::Button1Click(TObject*) { SetModalResult(mrOk); }
