#pragma once
// Editing the memo kept with the user's settings.
#include "Dialogs.h"
#include "Forms.h"
#include "StdCtrls.h"

class TMemoForm : public TForm {
public:
    explicit TMemoForm(TComponent* Owner);

    TMemo* Memo;
    TButton* Button1;  // OK
    TButton* Button2;  // Cancel

    void FormShow(TObject* Sender);
    void FormKeyPress(TObject* Sender, char& Key);
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
};

extern TMemoForm* MemoForm;
