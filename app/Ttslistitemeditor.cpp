#include "Ttslistitemeditor.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "SysUtils.h"
#include "Tmetronomgame.h"

TTSListItemEditor* TSListItemEditor = nullptr;

TTSListItemEditor::TTSListItemEditor(TComponent* Owner) : TForm(Owner) {
    SetName("TSListItemEditor");
    SetCaption("Time signature editor");
    SetBorderStyle(bsDialog);
    SetKeyPreview(true);
    SetBounds(300, 240, 250, 160);

    Label1 = new TLabel(this);
    Label1->SetName("Label1");
    Label1->SetParent(this);
    Label1->SetBounds(8, 10, 120, 13);
    Label1->SetCaption("Numerator or grouping:");

    Numerator = new TEdit(this);
    Numerator->SetName("Numerator");
    Numerator->SetParent(this);
    Numerator->SetBounds(8, 28, 120, 21);
    Numerator->SetTabOrder(0);
    Numerator->OnKeyPress = [this](TObject* s, char& k) { NumeratorKeyPress(s, k); };
    Numerator->OnExit = [this](TObject* s) { NumeratorExit(s); };

    Denominator = new TRadioGroup(this);
    Denominator->SetName("Denominator");
    Denominator->SetParent(this);
    Denominator->SetBounds(140, 4, 100, 112);
    Denominator->SetCaption(" Denominator ");
    for (const char* item : {"2", "4", "8", "16"}) Denominator->Items()->Add(item);
    Denominator->SetItemIndex(0);
    Denominator->SetTabOrder(1);

    Button2 = new TButton(this);
    Button2->SetName("Button2");
    Button2->SetParent(this);
    Button2->SetBounds(8, 126, 60, 25);
    Button2->SetCaption("OK");
    Button2->SetDefault(true);
    Button2->SetTabOrder(2);
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };

    Button1 = new TButton(this);
    Button1->SetName("Button1");
    Button1->SetParent(this);
    Button1->SetBounds(76, 126, 60, 25);
    Button1->SetCaption("Cancel");
    Button1->SetCancel(true);
    Button1->SetTabOrder(3);
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };

    OnShow = [this](TObject* s) { FormShow(s); };
    OnKeyPress = [this](TObject* s, char& k) { FormKeyPress(s, k); };
}

void TTSListItemEditor::FormShow(TObject*) {
    if (Numerator->CanFocus()) Numerator->SetFocus();
}

void TTSListItemEditor::FormKeyPress(TObject*, char& Key) {
    if (Key == 27) {
        Key = 0;
        Button1Click(Button1);
    }
}

void TTSListItemEditor::NumeratorKeyPress(TObject*, char& Key) {
    if ((Key >= '0' && Key <= '9') || Key == '+' || (Key >= 0 && Key < 31)) return;
    Key = 0;
    MessageBeep(0);
}

void TTSListItemEditor::NumeratorExit(TObject*) { Numerator->SetText(Numerator->Text().Trim()); }

void TTSListItemEditor::Button1Click(TObject*) { SetModalResult(mrCancel); }

void TTSListItemEditor::Button2Click(TObject*) {
    if (GetText().IsEmpty()) {
        MessageBeep(0);
        ShowMessage("Invalid numerator!");
        if (Numerator->CanFocus()) Numerator->SetFocus();
        return;
    }
    SetModalResult(mrOk);
}

void TTSListItemEditor::SetText(const AnsiString& text) {
    const int colon = text.Pos(":");
    if (colon == 0) return;
    const int open = text.Pos("(");
    int d = 0;
    if (open > colon) {
        d = StrToIntDef(text.SubString(colon + 1, open - colon - 1).Trim(), 0);
        if (d != 0) {
            const int close = text.Pos(")");
            const int end = close > open ? close : text.Length() + 1;
            Numerator->SetText(text.SubString(open + 1, end - open - 1).Trim());
        }
    } else {
        d = StrToIntDef(text.SubString(colon + 1, text.Length() - colon).Trim(), 0);
        if (d != 0) Numerator->SetText(text.SubString(1, colon - 1).Trim());
    }
    int index = 0;
    for (int v = d; v > 2; v /= 2) ++index;
    const int last = Denominator->Items()->Count() - 1;
    Denominator->SetItemIndex(index > last ? last : index);
}

AnsiString TTSListItemEditor::GetText() {
    const AnsiString field = Numerator->Text();
    // Summed wide: typed parts may each fit an int while their sum does not.
    int64_t sum = 0;
    AnsiString grouping;
    if (field.Pos("+") > 0) {
        AnsiString rest = field;
        while (true) {
            const int plus = rest.Pos("+");
            const AnsiString part = plus ? rest.SubString(1, plus - 1) : rest;
            const int v = StrToIntDef(part.Trim(), 0);
            if (v != 0) {
                sum += v;
                grouping += (grouping.IsEmpty() ? "" : "+") + IntToStr(v);
            }
            if (!plus) break;
            rest = rest.SubString(plus + 1, rest.Length() - plus);
        }
        if (!grouping.IsEmpty()) grouping = " (" + grouping + ")";
    } else {
        sum = StrToIntDef(field.Trim(), 0);
    }
    if (sum == 0) return "";
    const int index = Denominator->ItemIndex();
    const AnsiString denominator = index >= 0 ? Denominator->Items()->Strings(index) : AnsiString("4");
    const AnsiString text =
        IntToStr(static_cast<int>(sum > 0 ? std::min<int64_t>(sum, INT32_MAX) : std::max<int64_t>(sum, INT32_MIN))) +
        ":" + denominator + grouping;
    // An entry the metronome would refuse is no favourite: negative parts, or more beats than a
    // bar can hold, would be stored and then silently ignored when chosen.
    int n = 0, den = 0;
    std::vector<uint8_t> pattern;
    if (!TMetronomeGame::ParseTimeSignature(text, n, den, pattern)) return "";
    return text;
}
