#pragma once
// The time-signature editor: one favourite as a numerator (or beat grouping) and a denominator.
#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class TTSListItemEditor : public TForm {
public:
    explicit TTSListItemEditor(TComponent* Owner);

    TLabel* Label1;
    TEdit* Numerator;
    TRadioGroup* Denominator;
    TButton* Button1;  // Cancel
    TButton* Button2;  // OK

    void FormShow(TObject* Sender);
    void FormKeyPress(TObject* Sender, char& Key);
    void NumeratorKeyPress(TObject* Sender, char& Key);
    void NumeratorExit(TObject* Sender);
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);

    // Splits an entry such as "6:8 (3+3)" into the fields; text without ":" leaves them alone.
    void SetText(const AnsiString& text);
    // The entry the fields describe; empty when the numerator is not one the metronome can play.
    AnsiString GetText();
};

extern TTSListItemEditor* TSListItemEditor;
