#pragma once
// Typing a tempo.
#include "Dialogs.h"
#include "Forms.h"
#include "StdCtrls.h"

class TSetTempoForm : public TForm {
public:
    explicit TSetTempoForm(TComponent* Owner);

    TLabel* Label1;
    TEdit* Tempo;
    TButton* Button1;  // OK
    TButton* Button2;  // Cancel

    void FormShow(TObject* Sender);
    void FormKeyPress(TObject* Sender, char& Key);
    void TempoKeyPress(TObject* Sender, char& Key);
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);

    // The field read as a number, 0 when it is none: what OK checked and what the caller applies.
    double TempoValue() const;
};

extern TSetTempoForm* SetTempoForm;
