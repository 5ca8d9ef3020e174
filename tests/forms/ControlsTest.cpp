// The standard controls' properties and events, driven as the program and the user drive them.
#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QListWidget>
#include <QPalette>
#include <QPlainTextEdit>

#include "ExtCtrls.h"
#include "FormsTestSupport.h"

using namespace tikora::forms;
using namespace formstest;

namespace {

using ControlsFixture = FormTest;

std::vector<std::string> Lines(TStrings* s) {
    std::vector<std::string> v;
    for (int i = 0; i < s->Count(); ++i) v.push_back(s->Strings(i).str());
    return v;
}

TEST_F(ControlsFixture, MemoLinesAndText) {
    struct Case {
        const char* name;
        std::function<void(TMemo*)> act;
        const char* text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"text with CR LF", [](TMemo* m) { m->SetText("one\r\ntwo"); }, "one\r\ntwo", {"one", "two"}},
        {"line added in code",
         [](TMemo* m) { m->SetText("one\r\ntwo"), m->Lines()->Add("three"); },
         "one\r\ntwo\r\nthree",
         {"one", "two", "three"}},
        {"lines copied from another list",
         [](TMemo* m) {
             TStringList l;
             l.Add("a"), l.Add("b"), m->Lines()->Assign(l);
         },
         "a\r\nb",
         {"a", "b"}},
        {"line deleted",
         [](TMemo* m) {
             m->SetText("a\r\nb\r\nc");
             m->Lines()->Delete(1);
         },
         "a\r\nc",
         {"a", "c"}},
        {"line replaced",
         [](TMemo* m) {
             m->SetText("a\r\nb");
             m->Lines()->SetStrings(0, "x");
         },
         "x\r\nb",
         {"x", "b"}},
        {"cleared",
         [](TMemo* m) {
             m->SetText("a\r\nb");
             m->Lines()->Clear();
         },
         "",
         {}},
        {"typed by the user",
         [](TMemo* m) { static_cast<QPlainTextEdit*>(m->Widget())->setPlainText("p\nq"); },
         "p\r\nq",
         {"p", "q"}},
    };
    for (const Case& c : cases) {
        auto* memo = Make<TMemo>();
        TStrings* held = memo->Lines();
        c.act(memo);
        EXPECT_EQ(std::tuple(memo->Text(), Lines(memo->Lines())), std::tuple(c.text, c.lines)) << c.name;
        EXPECT_EQ(Lines(held), c.lines) << c.name << ": a Lines pointer kept earlier sees the memo as it is now";
        // Another memo copies the lines, with OnChange.
        auto* copy = Make<TMemo>();
        int changes = 0;
        copy->OnChange = [&](TObject*) { ++changes; };
        copy->Lines()->Assign(*memo->Lines());
        EXPECT_EQ(std::tuple(copy->Text(), changes > 0), std::tuple(memo->Text(), !c.lines.empty())) << c.name;
        delete memo;
        delete copy;
    }
}

TEST_F(ControlsFixture, WrappedWidgetsTakeTheFontAndItsColourEvenWhenDisabled) {
    auto* memo = Make<TMemo>();
    memo->Font()->SetColor(clRed), memo->Font()->SetHeight(-20), memo->Font()->SetStyle(TFontStyles{fsBold});
    memo->SetEnabled(false);
    QWidget* w = memo->Widget();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Disabled})
        EXPECT_EQ(w->palette().color(g, QPalette::Text), QColor(255, 0, 0)) << g;
    EXPECT_EQ(w->font().pixelSize(), 20);
    EXPECT_TRUE(w->font().bold());
}

TEST_F(ControlsFixture, ListBoxSelectionFollowsItems) {
    struct Case {
        const char* name;
        std::function<void(TStrings*)> edit;
        int index;
    };  // "c" (2) selected before
    const Case cases[] = {
        {"added at the end", [](TStrings* s) { s->Add("e"); }, 2},
        {"inserted before", [](TStrings* s) { s->Insert(0, "z"); }, 3},
        {"inserted after", [](TStrings* s) { s->Insert(3, "z"); }, 2},
        {"deleted before", [](TStrings* s) { s->Delete(0); }, 1},
        {"deleted after", [](TStrings* s) { s->Delete(3); }, 2},
        {"selected one deleted", [](TStrings* s) { s->Delete(2); }, -1},
        {"text replaced", [](TStrings* s) { s->SetStrings(2, "C"); }, 2},
        {"exchanged", [](TStrings* s) { static_cast<TStringList*>(s)->Exchange(2, 3); }, 2},
        {"cleared", [](TStrings* s) { s->Clear(); }, -1},
    };
    for (const Case& c : cases) {
        auto* list = Make<TListBox>(10, 10, 100, 120);
        for (const char* s : {"a", "b", "c", "d"}) list->Items()->Add(s);
        list->SetItemIndex(2);
        ASSERT_EQ(list->ItemIndex(), 2);
        c.edit(list->Items());
        EXPECT_EQ(std::tuple(list->ItemIndex(), list->Count()), std::tuple(c.index, list->Items()->Count())) << c.name;
        delete list;
    }
}

TEST_F(ControlsFixture, ListBoxUserClickSelectsAndClicks) {
    auto* list = Make<TListBox>(10, 10, 100, 120);
    for (const char* s : {"3:4", "4:4", "6:8 (3+3)"}) list->Items()->Add(s);
    EXPECT_EQ(list->ItemIndex(), -1);
    std::vector<int> seen;
    list->OnClick = [&](TObject*) { seen.push_back(list->ItemIndex()); };
    list->SetItemIndex(0);
    EXPECT_TRUE(seen.empty()) << "ItemIndex set in code does not click";
    auto* lw = static_cast<QListWidget*>(list->Widget());
    QPoint p = lw->visualItemRect(lw->item(2)).center();
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) Mouse(lw->viewport(), type, p);
    EXPECT_EQ(std::tuple(seen, list->Items()->Strings(list->ItemIndex())),
              std::tuple(std::vector<int>{2}, "6:8 (3+3)"));
    list->SetItemIndex(7);
    EXPECT_EQ(list->ItemIndex(), -1);
}

TEST_F(ControlsFixture, ComboBoxChangeOnlyOnUserChoice) {
    for (TComboBoxStyle style : {csDropDown, csDropDownList}) {
        auto* combo = Make<TComboBox>();
        combo->SetStyle(style);
        int changes = 0;
        combo->OnChange = [&](TObject*) { ++changes; };
        for (const char* s : {"Snare", "Kick", "Hi-hat"}) combo->Items()->Add(s);
        combo->SetItemIndex(1);
        EXPECT_EQ(combo->Text(), "Kick") << style;
        combo->Items()->Add("Cowbell");
        EXPECT_EQ(std::pair(combo->ItemIndex(), combo->Text()), std::pair(1, AnsiString("Kick")))
            << style << ": adding items keeps the selection";
        combo->SetText("Hi-hat");
        if (style == csDropDownList) {
            EXPECT_EQ(combo->ItemIndex(), 2);
        }
        combo->SetItemIndex(1);
        EXPECT_EQ(changes, 0) << style << ": nothing done in code raises OnChange";

        // The user picks the next entry with the keyboard.
        Key(combo, Qt::Key_Down);
        EXPECT_EQ(std::tuple(changes, combo->ItemIndex(), combo->Text()), std::tuple(1, 2, AnsiString("Hi-hat")))
            << style;
        combo->Items()->Clear();
        EXPECT_EQ(std::pair(combo->ItemIndex(), changes), std::pair(-1, 1)) << style;
        delete combo;
    }
}

TEST_F(ControlsFixture, TrackBarRangeAndChange) {
    auto* bar = Make<TTrackBar>();
    std::vector<int> changes;
    bar->OnChange = [&](TObject*) { changes.push_back(bar->Position()); };
    EXPECT_EQ(std::pair(bar->Min(), bar->Max()), std::pair(0, 10));
    bar->SetMax(500), bar->SetMin(40);
    EXPECT_EQ(bar->Position(), 40) << "the position stays inside the range";
    struct Case {
        int set;
        int position;
    };
    for (Case c : {Case{120, 120}, Case{120, 120}, Case{900, 500}, Case{3, 40}}) {
        bar->SetPosition(c.set);
        EXPECT_EQ(bar->Position(), c.position) << c.set;
    }
    EXPECT_EQ(changes, (std::vector<int>{40, 120, 500, 40}))
        << "OnChange for each change of position, none for the same";
    changes.clear();
    Key(bar, Qt::Key_Right);
    EXPECT_EQ(changes, std::vector<int>{41}) << "the user's move";
}

TEST_F(ControlsFixture, SpinEditValueRange) {
    struct Case {
        const char* name;
        int minValue, maxValue;
        int set;
        int value;
    };
    const Case cases[] = {
        {"no range when both limits are equal", 0, 0, 1500, 1500},
        {"negative without range", 0, 0, -7, -7},
        {"above the maximum", 40, 500, 600, 500},
        {"below the minimum", 40, 500, 10, 40},
        {"inside", 0, 59, 30, 30},
        {"at the maximum", 0, 999, 999, 999},
    };
    for (const Case& c : cases) {
        auto* spin = Make<TCSpinEdit>();
        // The order a form's layout uses: the limits, then the value.
        spin->SetMaxValue(c.maxValue), spin->SetMinValue(c.minValue), spin->SetValue(c.set);
        EXPECT_EQ(std::tuple(spin->Value(), spin->Text().str(), spin->MinValue(), spin->MaxValue()),
                  std::tuple(c.value, std::to_string(c.value), c.minValue, c.maxValue))
            << c.name;
        delete spin;
    }
    auto* spin = Make<TCSpinEdit>();
    EXPECT_EQ(std::pair(spin->MinValue(), spin->MaxValue()), std::pair(0, 0));
    // A value given before its limits is not cut by the control's default range.
    spin->SetValue(120), spin->SetMaxValue(500), spin->SetMinValue(40);
    EXPECT_EQ(spin->Value(), 120);
    int changes = 0;
    spin->OnChange = [&](TObject*) { ++changes; };
    spin->SetIncrement(5);
    struct Step {
        const char* name;
        std::function<void()> act;
        int value, changes;
    };
    const Step steps[] = {
        {"a new value", [&] { spin->SetValue(121); }, 121, 1},
        {"the same again", [&] { spin->SetValue(121); }, 121, 1},
        {"as text", [&] { spin->SetText("130"); }, 130, 2},
        {"the user's step", [&] { Key(spin, Qt::Key_Up); }, 135, 3},
        {"the user's step stops at the maximum", [&] { spin->SetValue(499), Key(spin, Qt::Key_Up); }, 500, 5},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(std::tuple(spin->Value(), changes), std::tuple(s.value, s.changes)) << s.name;
    }
}

TEST_F(ControlsFixture, SpeedButtonPressAndClick) {
    auto* panel = Plain(200, 100, clBtnFace);
    auto* button = Add<TSpeedButton>(panel, 20, 20, 30, 24);
    button->SetCaption("...");
    button->OnClick = [&](TObject*) { log.push_back("click"); };
    button->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { log.push_back("up"); };
    HDC dc = panel->SurfaceDC();
    auto corner = [&] {
        panel->Repaint();
        return GetPixel(dc, 20, 20) & 0xFFFFFF;
    };
    EXPECT_EQ(corner(), GetSysColor(COLOR_BTNHIGHLIGHT)) << "raised";
    Mouse(button, QEvent::MouseButtonPress, 5, 5);
    EXPECT_EQ(corner(), GetSysColor(COLOR_BTNSHADOW)) << "pressed";
    Mouse(button, QEvent::MouseButtonRelease, 5, 5);
    EXPECT_EQ(corner(), GetSysColor(COLOR_BTNHIGHLIGHT));
    Mouse(button, QEvent::MouseButtonPress, 5, 5);
    Mouse(button, QEvent::MouseButtonRelease, 100, 5);
    EXPECT_EQ(Take(), "click up up") << "a click; released outside, none";
    button->SetFlat(true);
    panel->SetColor(clBlue);
    EXPECT_EQ(corner(), GetSysColor(COLOR_BTNFACE)) << "a flat button has no frame";
}

TEST_F(ControlsFixture, RadioGroupItemsAndIndex) {
    auto* group = Make<TRadioGroup>(10, 10, 120, 120);
    group->SetCaption(" Denominator ");
    int clicks = 0;
    group->OnClick = [&](TObject*) { ++clicks; };
    for (const char* s : {"2", "4", "8", "16"}) group->Items()->Add(s);
    EXPECT_EQ(group->ItemIndex(), -1);
    auto buttons = [&] {
        std::vector<TRadioButton*> v;
        for (int i = 0; i < group->ControlCount(); ++i) v.push_back(dynamic_cast<TRadioButton*>(group->Controls(i)));
        return v;
    };
    // The buttons' captions, the checked one in brackets.
    auto shown = [&] {
        std::string s;
        for (TRadioButton* b : buttons())
            s += b->Checked() ? "[" + b->Caption().str() + "]" : " " + b->Caption().str() + " ";
        return s;
    };
    struct Case {
        int set;
        int index;
        const char* shown;
    };
    for (Case c : {Case{1, 1, " 2 [4] 8  16 "}, Case{3, 3, " 2  4  8 [16]"}, Case{9, 3, " 2  4  8 [16]"},
                   Case{-1, -1, " 2  4  8  16 "}, Case{-5, -1, " 2  4  8  16 "}, Case{0, 0, "[2] 4  8  16 "}}) {
        group->SetItemIndex(c.set);
        EXPECT_EQ(std::pair(group->ItemIndex(), shown()), std::pair(c.index, std::string(c.shown))) << c.set;
    }
    // The user's choice.
    static_cast<QAbstractButton*>(buttons()[2]->Widget())->click();
    EXPECT_EQ(std::tuple(group->ItemIndex(), clicks, shown()), std::tuple(2, 1, std::string(" 2  4 [8] 16 ")));
    group->Items()->Add("32");
    EXPECT_EQ(std::pair(group->ItemIndex(), shown()), std::pair(2, std::string(" 2  4 [8] 16  32 "))) << "kept";
    // The buttons are laid out inside the group, one under the other.
    auto b = buttons();
    for (size_t i = 1; i < b.size(); ++i) EXPECT_GT(b[i]->Top(), b[i - 1]->Top());
    for (auto* r : b) EXPECT_LE(r->Top() + r->Height(), group->Height());
}

TEST_F(ControlsFixture, GroupBoxFrameAndCaption) {
    auto* box = Make<TGroupBox>(10, 10, 120, 80);
    box->SetColor(clWhite), box->Font()->SetColor(clBlack), box->SetCaption("Actions");
    box->Repaint();
    HDC dc = box->SurfaceDC();
    EXPECT_GT(CountPixels(8, 0, 50, 12, [&](int x, int y) { return Rgb(dc, x, y) != 0xFFFFFF; }), 10) << "the caption";
    uint32_t shadow = GetSysColor(COLOR_BTNSHADOW) & 0xFFFFFF;
    EXPECT_EQ(GetPixel(dc, 0, 40) & 0xFFFFFF, shadow) << "the frame's left side";
    EXPECT_EQ(GetPixel(dc, 60, 79) & 0xFFFFFF, shadow) << "the frame's bottom side";
    EXPECT_EQ(Rgb(dc, 60, 40), 0xFFFFFFu) << "inside";
}

TEST_F(ControlsFixture, LabelAutoSizeAndTransparency) {
    auto* panel = Plain(300, 100, clBlue);
    auto* label = Add<TLabel>(panel);
    label->SetLeft(10);
    label->SetTop(10);
    label->SetCaption("W");
    int narrow = label->Width();
    label->SetCaption("WWWWWWWW");
    EXPECT_GT(label->Width(), 4 * narrow) << "AutoSize follows the caption";
    EXPECT_GT(label->Height(), 5);
    label->Font()->SetColor(clRed);
    label->Font()->SetSize(14);
    label->SetCaption("WWWW");
    EXPECT_GT(label->Height(), 14);

    struct Case {
        bool transparent;
        TColor fill;
    };
    for (Case c : {Case{false, clYellow}, Case{true, clYellow}}) {
        label->SetColor(c.fill), label->SetTransparent(c.transparent);
        panel->Repaint();
        HDC dc = panel->SurfaceDC();
        auto count = [&](uint32_t rgb) {
            auto is = [&](int x, int y) { return Rgb(dc, x, y) == rgb; };
            return CountPixels(10, 10, 10 + label->Width(), 10 + label->Height(), is);
        };
        int red = count(0xFF0000), yellow = count(0xFFFF00), blue = count(0x0000FF);
        EXPECT_GT(red, 10) << c.transparent << ": the text in the font's colour";
        EXPECT_EQ(yellow > 10, !c.transparent) << c.transparent << ": the label's own colour";
        EXPECT_EQ(blue > 10, c.transparent) << c.transparent << ": the parent shows through";
        EXPECT_TRUE(yellow == 0 || blue == 0) << c.transparent;
    }
}

TEST_F(ControlsFixture, ImageDrawsPictureTransparently) {
    auto* image = Add<TImage>(Plain(200, 100, clBlue), 10, 10, 8, 8);
    TWinControl* panel = image->Parent();
    TBitmap* b = image->Picture()->Bitmap();
    b->SetPixelFormat(pf24bit);
    b->SetSize(4, 4);  // white: the bottom-left pixel gives the transparent colour
    b->Canvas()->Brush()->SetColor(clRed);
    b->Canvas()->FillRect(RECT{1, 1, 3, 3});

    struct Case {
        const char* name;
        bool transparent, stretch;
        std::vector<std::pair<POINT, uint32_t>> expect;
    };  // pixel, colour
    const Case cases[] = {
        {"opaque", false, false, {{{10, 10}, 0xFFFFFF}, {{11, 11}, 0xFF0000}, {{14, 14}, 0x0000FF}}},
        {"transparent", true, false, {{{10, 10}, 0x0000FF}, {{12, 12}, 0xFF0000}, {{13, 13}, 0x0000FF}}},
        {"opaque stretched",
         false,
         true,
         {{{10, 10}, 0xFFFFFF}, {{12, 12}, 0xFF0000}, {{15, 15}, 0xFF0000}, {{17, 17}, 0xFFFFFF}}},
        {"transparent stretched",
         true,
         true,
         {{{10, 10}, 0x0000FF},
          {{11, 16}, 0x0000FF},
          {{12, 12}, 0xFF0000},
          {{15, 15}, 0xFF0000},
          {{16, 16}, 0x0000FF}}},
    };
    for (const Case& c : cases) {
        image->SetTransparent(c.transparent), image->SetStretch(c.stretch);
        panel->Repaint();
        for (auto& [p, rgb] : c.expect)
            EXPECT_EQ(Rgb(panel->SurfaceDC(), p.x, p.y), rgb) << c.name << " at " << p.x << "," << p.y;
    }
    EXPECT_FALSE(b->Transparent()) << "the image's own setting does not stick to the picture";
}

TEST_F(ControlsFixture, TimerRestartsOnlyOnNewInterval) {
    auto* timer = new TTimer(form);
    int ticks = 0;
    timer->SetEnabled(false), timer->SetInterval(100000);
    timer->SetOnTimer([&](TObject*) { ++ticks; });
    EXPECT_EQ(timer->StartCount(), 0u) << "a disabled timer does not run";
    struct Step {
        const char* name;
        std::function<void()> act;
        unsigned starts;
    };
    const Step steps[] = {
        {"enabled", [&] { timer->SetEnabled(true); }, 1},
        {"enabled again while running", [&] { timer->SetEnabled(true); }, 1},
        {"same interval", [&] { timer->SetInterval(100000); }, 1},
        {"new interval", [&] { timer->SetInterval(90000); }, 2},
        {"disabled", [&] { timer->SetEnabled(false); }, 2},
        {"new interval while disabled", [&] { timer->SetInterval(80000); }, 2},
        {"enabled", [&] { timer->SetEnabled(true); }, 3},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(timer->StartCount(), s.starts) << s.name;
    }
    timer->Fire();
    EXPECT_EQ(ticks, 1);
    // A running timer goes on after an exception in its handler, which is shown.
    timer->SetInterval(1);
    timer->SetOnTimer([&](TObject*) {
        if (++ticks == 2) throw Exception("tick");
    });
    ASSERT_TRUE(WaitUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(DialogLog().at(0).text, "tick.");
}

TEST_F(ControlsFixture, CheckAndRadioButtonsClickOncePerChange) {
    auto* check = Make<TCheckBox>();
    auto *r1 = Make<TRadioButton>(), *r2 = Make<TRadioButton>();
    int clicks = 0, radioClicks = 0;
    check->OnClick = [&](TObject*) { ++clicks; };
    r2->OnClick = [&](TObject*) { ++radioClicks; };
    check->SetChecked(true);
    check->SetChecked(true);
    EXPECT_EQ(clicks, 1) << "setting Checked in code clicks once per change";
    r1->SetChecked(true);
    r2->SetChecked(true);
    EXPECT_FALSE(r1->Checked()) << "checking one unchecks its siblings";
    EXPECT_EQ(radioClicks, 1);
}

}  // namespace
