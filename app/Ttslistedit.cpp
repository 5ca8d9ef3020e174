#include "Ttslistedit.h"

#include "SysUtils.h"
#include "Ttslistitemeditor.h"
#include "Tmainform.h"

TTSListEdit* TSListEdit = nullptr;

namespace {
int EntryNumerator(const AnsiString& entry) {
    const int colon = entry.Pos(":");
    return StrToIntDef((colon ? entry.SubString(1, colon - 1) : entry).Trim(), 0);
}
}  // namespace

TTSListEdit::TTSListEdit(TComponent* Owner) : TForm(Owner) {
    SetName("TSListEdit");
    SetCaption("List editor");
    SetBorderStyle(bsDialog);
    SetKeyPreview(true);
    SetBounds(280, 200, 256, 224);

    List = new TListBox(this);
    List->SetName("List");
    List->SetParent(this);
    List->SetBounds(8, 8, 150, 208);
    List->SetTabOrder(0);
    List->OnDblClick = [this](TObject* s) { ListDblClick(s); };

    struct ButtonDef {
        TButton** field;
        const char* name;
        const char* caption;
        int top;
        void (TTSListEdit::*handler)(TObject*);
    };
    const ButtonDef buttons[] = {
        {&Button5, "Button5", "&Select", 8, &TTSListEdit::Button5Click},
        {&Button1, "Button1", "&Edit", 44, &TTSListEdit::Button1Click},
        {&Button3, "Button3", "&Add", 76, &TTSListEdit::Button3Click},
        {&Button2, "Button2", "&Delete", 108, &TTSListEdit::Button2Click},
        {&Button4, "Button4", "Close", 191, &TTSListEdit::Button4Click},
    };
    int order = 1;
    for (const ButtonDef& b : buttons) {
        auto* button = new TButton(this);
        button->SetName(b.name);
        button->SetParent(this);
        button->SetBounds(166, b.top, 82, 25);
        button->SetCaption(b.caption);
        button->SetTabOrder(order++);
        button->OnClick = [this, h = b.handler](TObject* s) { (this->*h)(s); };
        *b.field = button;
    }
    Button5->SetDefault(true);
    Button4->SetCancel(true);

    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { FormKeyDown(s, k, sh); };
}

void TTSListEdit::FormCreate(TObject*) {
    if (MainForm) List->SetFont(MainForm->ListFont());
    // The list font's light colour is for the skin's dark lists; this list is a white box.
    List->Font()->SetColor(clWindowText);
}

void TTSListEdit::FormKeyDown(TObject*, WORD& Key, TShiftState) {
    if (Key == VK_ESCAPE) {
        Key = 0;
        Button4Click(Button4);
    }
}

void TTSListEdit::Button1Click(TObject*) {
    const int index = List->ItemIndex();
    if (index < 0 || !TSListItemEditor) return;
    TSListItemEditor->SetText(List->Items()->Strings(index));
    if (TSListItemEditor->ShowModal() != mrOk) return;
    const AnsiString entry = TSListItemEditor->GetText();
    // The editor refuses to close with OK on an empty entry, but its fields may be changed later.
    if (entry.IsEmpty()) return;
    List->Items()->SetStrings(index, entry);
    List->SetItemIndex(index);
    SortList();
}

void TTSListEdit::Button2Click(TObject*) {
    const int index = List->ItemIndex();
    if (index >= 0) List->Items()->Delete(index);
}

void TTSListEdit::Button3Click(TObject*) {
    if (!TSListItemEditor) return;
    TSListItemEditor->Numerator->SetText("");
    TSListItemEditor->Denominator->SetItemIndex(TSListItemEditor->Denominator->Items()->IndexOf("4"));
    if (TSListItemEditor->ShowModal() != mrOk) return;
    const AnsiString entry = TSListItemEditor->GetText();
    if (entry.IsEmpty()) return;
    const int existing = List->Items()->IndexOf(entry);
    if (existing >= 0) {
        List->SetItemIndex(existing);
        return;
    }
    List->SetItemIndex(List->Items()->Add(entry));
    SortList();
}

void TTSListEdit::Button4Click(TObject*) { SetModalResult(mrCancel); }

void TTSListEdit::Button5Click(TObject*) {
    if (List->ItemIndex() < 0) {
        MessageBeep(0);
        return;
    }
    SetModalResult(mrOk);
}

void TTSListEdit::ListDblClick(TObject* Sender) { Button5Click(Sender); }

void TTSListEdit::SortList() {
    TStrings* items = List->Items();
    const int count = items->Count();
    int selected = List->ItemIndex();
    for (int pass = 0; pass < count; ++pass) {
        bool swapped = false;
        for (int i = 0; i + 1 < count; ++i) {
            if (EntryNumerator(items->Strings(i + 1)) >= EntryNumerator(items->Strings(i))) continue;
            const AnsiString first = items->Strings(i);
            items->SetStrings(i, items->Strings(i + 1));
            items->SetStrings(i + 1, first);
            if (selected == i)
                selected = i + 1;
            else if (selected == i + 1)
                selected = i;
            swapped = true;
        }
        if (!swapped) break;
    }
    List->SetItemIndex(selected);
}
