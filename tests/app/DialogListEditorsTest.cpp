// The favourite time signatures' list editor and item editor.
#include <string>
#include <vector>

#include "DialogTestSupport.h"
#include "Ttslistedit.h"
#include "Ttslistitemeditor.h"

using namespace dialogtest;

namespace {

struct ListEditors : DialogFixture {
    void SetUp() override {
        DialogFixture::SetUp();
        item = Ensure(TSListItemEditor);
        list = Ensure(TSListEdit);
    }
    void SetList(const std::vector<std::string>& entries, int selected) {
        list->List->Items()->Clear();
        for (const auto& e : entries) list->List->Items()->Add(e.c_str());
        list->List->SetItemIndex(selected);
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> out;
        for (int i = 0; i < list->List->Items()->Count(); ++i) out.push_back(list->List->Items()->Strings(i).c_str());
        return out;
    }
    // The list as the user sees it: its entries and the selected one.
    using State = std::pair<std::vector<std::string>, int>;
    State Shown() const { return {Entries(), list->List->ItemIndex()}; }
    // The item editor, shown by the list editor, gets these fields and answers with OK.
    void AnswerItem(const char* numerator, const char* denominator) {
        WhileModal([this, numerator, denominator](TForm*) {
            item->Numerator->SetText(numerator);
            item->Denominator->SetItemIndex(item->Denominator->Items()->IndexOf(denominator));
            formstest::Click(item->Button2, 4, 4);
        });
    }
    TTSListItemEditor* item = nullptr;
    TTSListEdit* list = nullptr;
};

TEST_F(ListEditors, EntryTextSplitsIntoFieldsAndComesBack) {
    struct Case {
        const char* entry;
        const char* numerator;    // the field after SetText ("9" was there before)
        const char* denominator;  // the chosen item after SetText ("4" was chosen before)
        const char* back;         // GetText of those fields
    };
    const Case cases[] = {
        {"12:8 (3+3+3+3)", "3+3+3+3", "8", "12:8 (3+3+3+3)"},
        {"6:8 (3+3)", "3+3", "8", "6:8 (3+3)"},
        {"5:32", "5", "16", "5:16"},
        {"7:8", "7", "8", "7:8"},
        {"3:2", "3", "2", "3:2"},
        {"5:4 (3+2)", "3+2", "4", "5:4 (3+2)"},
        {" 9 : 16 ", "9", "16", "9:16"},
        // No colon: nothing is touched.
        {"waltz", "9", "4", "9:4"},
        // A denominator that is no number leaves the numerator; the choice falls to the first item.
        {"4:x", "9", "2", "9:2"},
        // A numerator that is no number is taken as it stands, and refused on the way back.
        {"x:4", "x", "4", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        item->Numerator->SetText("9");
        item->Denominator->SetItemIndex(1);
        item->SetText(c.entry);
        EXPECT_EQ(std::string(item->Numerator->Text().c_str()), c.numerator);
        EXPECT_EQ(std::string(item->Denominator->Items()->Strings(item->Denominator->ItemIndex()).c_str()),
                  c.denominator);
        EXPECT_EQ(std::string(item->GetText().c_str()), c.back);
    }
}

TEST_F(ListEditors, FieldsMakeAnEntryOrNone) {
    struct Case {
        const char* numerator;
        const char* denominator;
        const char* text;
    };
    const Case cases[] = {
        {"3+3", "8", "6:8 (3+3)"},
        {"3+0+2", "4", "5:4 (3+2)"},
        {"7", "8", "7:8"},
        {"+3+", "4", "3:4 (3)"},
        {"", "4", ""},
        {"0", "4", ""},
        {"0+0", "4", ""},
        // More beats than the metronome plays in a bar would be stored and then ignored when chosen.
        {"65", "4", ""},
        {"64", "4", "64:4"},
        {"2147483647+2147483647", "4", ""},
        {"3+-1", "4", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.numerator);
        item->Numerator->SetText(c.numerator);
        item->Denominator->SetItemIndex(item->Denominator->Items()->IndexOf(c.denominator));
        EXPECT_EQ(std::string(item->GetText().c_str()), c.text);
    }
}

TEST_F(ListEditors, ItemEditorRefusesAnInvalidNumeratorAndStaysOpen) {
    const int beeps = tikora::forms::MessageBeepCount();
    WhileModal([this](TForm*) {
        item->Numerator->SetText("0+0");
        formstest::Click(item->Button2, 4, 4);
        EXPECT_EQ(item->ModalResult(), mrNone);
        item->Numerator->SetText("3+3");
        formstest::Click(item->Button2, 4, 4);
    });
    EXPECT_EQ(item->ShowModal(), mrOk);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Invalid numerator!"});
    EXPECT_EQ(tikora::forms::MessageBeepCount(), beeps + 1);
}

TEST_F(ListEditors, SortIsStableByNumeratorAndTheSelectionFollows) {
    struct Case {
        std::vector<std::string> entries;
        int selected;
        std::vector<std::string> sorted;
        int selectedAfter;
    };
    const Case cases[] = {
        {{"4:4", "3:4", "2:4"}, 0, {"2:4", "3:4", "4:4"}, 2},
        {{"3:4", "4:4", "2:4"}, 2, {"2:4", "3:4", "4:4"}, 0},
        {{"4:4", "3:8", "4:8", "3:4"}, 2, {"3:8", "3:4", "4:4", "4:8"}, 3},
        {{"12:8 (3+3+3+3)", "9:8 (3+3+3)", "2:4"}, 1, {"2:4", "9:8 (3+3+3)", "12:8 (3+3+3+3)"}, 1},
        {{"2:4", "odd", "1:4"}, -1, {"odd", "1:4", "2:4"}, -1},
        {{}, -1, {}, -1},
    };
    for (const Case& c : cases) {
        SetList(c.entries, c.selected);
        list->SortList();
        EXPECT_EQ(Shown(), State(c.sorted, c.selectedAfter));
    }
}

// Add, Edit and Delete as the user works them, each step with the item editor's answer (none:
// Cancel) and what it showed when it opened ("" when it did not open).
TEST_F(ListEditors, AddEditAndDeleteKeepTheListSorted) {
    const std::vector<std::string> three = {"2:4", "3:4", "5:4 (3+2)"}, edited = {"2:4", "3:4", "7:8"};
    struct Step {
        const char* what;
        int select;
        TButton* TTSListEdit::*button;
        const char* numerator;  // typed into the item editor, nullptr: Cancel
        const char* denominator;
        std::string shown;
        State after;
    };
    const Step steps[] = {
        {"adding starts empty in four", 1, &TTSListEdit::Button3, "2", "4", ":4", {three, 0}},
        {"an entry already listed is selected, not added twice", 0, &TTSListEdit::Button3, "3", "4", ":4", {three, 1}},
        {"cancel adds nothing", 2, &TTSListEdit::Button3, nullptr, nullptr, ":4", {three, 2}},
        {"editing replaces the selected entry and sorts", 2, &TTSListEdit::Button1, "7", "8", "3+2:4", {edited, 2}},
        {"editing without a selection opens nothing", -1, &TTSListEdit::Button1, nullptr, nullptr, "", {edited, -1}},
        {"deleting without a selection deletes nothing", -1, &TTSListEdit::Button2, nullptr, nullptr, "", {edited, -1}},
        {"deleting the selected entry", 1, &TTSListEdit::Button2, nullptr, nullptr, "", {{"2:4", "7:8"}, -1}},
    };
    SetList({"3:4", "5:4 (3+2)"}, -1);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        list->List->SetItemIndex(s.select);
        std::string shown;
        if (!s.shown.empty())
            WhileModal([&](TForm*) {
                shown = item->Numerator->Text().str() + ":" +
                        item->Denominator->Items()->Strings(item->Denominator->ItemIndex()).str();
                if (!s.numerator) return formstest::Click(item->Button1, 4, 4);
                item->Numerator->SetText(s.numerator);
                item->Denominator->SetItemIndex(item->Denominator->Items()->IndexOf(s.denominator));
                formstest::Click(item->Button2, 4, 4);
            });
        const size_t opened = tikora::forms::DialogLog().size();
        (list->*s.button)->Click();
        EXPECT_EQ(std::tuple(shown, tikora::forms::DialogLog().size() - opened, Shown()),
                  std::tuple(s.shown, s.shown.empty() ? 0u : 1u, s.after));
    }
}

TEST_F(ListEditors, DeleteAndSelectNeedASelection) {
    SetList({"2:4", "3:4"}, -1);
    const int beeps = tikora::forms::MessageBeepCount();
    WhileModal([this](TForm*) {
        formstest::Click(list->Button5, 4, 4);
        EXPECT_EQ(list->ModalResult(), mrNone);
        list->List->SetItemIndex(0);
        formstest::Click(list->Button2, 4, 4);
        EXPECT_EQ(Entries(), std::vector<std::string>{"3:4"});
        list->List->SetItemIndex(0);
        list->ListDblClick(list->List);
    });
    EXPECT_EQ(list->ShowModal(), mrOk);
    EXPECT_EQ(tikora::forms::MessageBeepCount(), beeps + 1);
}

}  // namespace
