#include "Tsettempoform.h"

#include "SysUtils.h"

TSetTempoForm* SetTempoForm = nullptr;

TSetTempoForm::TSetTempoForm(TComponent* Owner) : TForm(Owner) {
    SetName("SetTempoForm");
    SetCaption("Tempo");
    SetBorderStyle(bsDialog);
    SetKeyPreview(true);
    SetBounds(320, 260, 200, 92);

    Label1 = new TLabel(this);
    Label1->SetName("Label1");
    Label1->SetParent(this);
    Label1->SetBounds(8, 12, 80, 13);
    Label1->SetCaption("Tempo (BPM):");

    Tempo = new TEdit(this);
    Tempo->SetName("Tempo");
    Tempo->SetParent(this);
    Tempo->SetBounds(96, 8, 96, 21);
    Tempo->SetTabOrder(0);
    Tempo->OnKeyPress = [this](TObject* s, char& k) { TempoKeyPress(s, k); };

    Button1 = new TButton(this);
    Button1->SetName("Button1");
    Button1->SetParent(this);
    Button1->SetBounds(36, 56, 75, 25);
    Button1->SetCaption("OK");
    Button1->SetDefault(true);
    Button1->SetTabOrder(1);
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };

    Button2 = new TButton(this);
    Button2->SetName("Button2");
    Button2->SetParent(this);
    Button2->SetBounds(117, 56, 75, 25);
    Button2->SetCaption("Cancel");
    Button2->SetCancel(true);
    Button2->SetTabOrder(2);
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };

    OnShow = [this](TObject* s) { FormShow(s); };
    OnKeyPress = [this](TObject* s, char& k) { FormKeyPress(s, k); };
}

void TSetTempoForm::FormShow(TObject*) {
    if (Tempo->CanFocus()) Tempo->SetFocus();
}

void TSetTempoForm::FormKeyPress(TObject*, char& Key) {
    if (Key == 27) {
        Key = 0;
        Button2Click(Button2);
    }
}

void TSetTempoForm::TempoKeyPress(TObject*, char& Key) {
    if (Key == ',') Key = '.';
    if ((Key >= '0' && Key <= '9') || Key == '.' || (Key >= 0 && Key < 31)) return;
    Key = 0;
    MessageBeep(0);
}

double TSetTempoForm::TempoValue() const {
    // Pasted text can bypass the key filter: the comma is read as the decimal point there too,
    // and only plain finite numbers count.
    AnsiString text = Tempo->Text();
    for (int i = 1; i <= text.Length(); ++i)
        if (text[i] == ',') text[i] = '.';
    return StrToFloatDef(text, 0);
}

void TSetTempoForm::Button1Click(TObject*) {
    const double tempo = TempoValue();
    if (tempo < 40 || tempo > 500) {
        MessageBeep(0);
        ShowMessage("Invalid tempo!\nEnter value between 40 and 500.");
        if (Tempo->CanFocus()) Tempo->SetFocus();
        return;
    }
    SetModalResult(mrOk);
}

void TSetTempoForm::Button2Click(TObject*) { SetModalResult(mrCancel); }
