#include "Tmemoform.h"

TMemoForm* MemoForm = nullptr;

TMemoForm::TMemoForm(TComponent* Owner) : TForm(Owner) {
    SetName("MemoForm");
    SetCaption("Memo");
    SetBorderStyle(bsDialog);
    SetKeyPreview(true);
    SetBounds(300, 200, 300, 260);

    Memo = new TMemo(this);
    Memo->SetName("Memo");
    Memo->SetParent(this);
    Memo->SetBounds(8, 8, 284, 212);
    Memo->SetTabOrder(0);

    // Enter belongs to the memo's lines, so neither button is the default one.
    Button1 = new TButton(this);
    Button1->SetName("Button1");
    Button1->SetParent(this);
    Button1->SetBounds(136, 228, 75, 25);
    Button1->SetCaption("OK");
    Button1->SetTabOrder(1);
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };

    Button2 = new TButton(this);
    Button2->SetName("Button2");
    Button2->SetParent(this);
    Button2->SetBounds(217, 228, 75, 25);
    Button2->SetCaption("Cancel");
    Button2->SetCancel(true);
    Button2->SetTabOrder(2);
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };

    OnShow = [this](TObject* s) { FormShow(s); };
    OnKeyPress = [this](TObject* s, char& k) { FormKeyPress(s, k); };
}

void TMemoForm::FormShow(TObject*) {
    if (Memo->CanFocus()) Memo->SetFocus();
}

void TMemoForm::FormKeyPress(TObject*, char& Key) {
    if (Key == 27) {
        Key = 0;
        Button2Click(Button2);
    }
}

void TMemoForm::Button1Click(TObject*) { SetModalResult(mrOk); }

void TMemoForm::Button2Click(TObject*) { SetModalResult(mrCancel); }
