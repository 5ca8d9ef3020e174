// Hints from the settings: looked up by control name, "|" as line break, the whole tree covered.
#include <gtest/gtest.h>

#include "ExtCtrls.h"
#include "Hintsfromcontext.h"
#include "SettingsTestSupport.h"
#include "StdCtrls.h"
#include "Tdevelopervariables.h"

using namespace apptest;

namespace {

using HintsTest = AppTest;

TEST_F(HintsTest, EveryControlOfTheTreeGetsItsEntry) {
    TDVContext context;
    LoadLines(&context, {"string Hints[*]=\"\"", "Hints[Outer]=\"Outer panel\"", "Hints[Play]=\"Start|the metronome\"",
                         "Hints[Deep]=\"a|b|c\"", "Hints[Mute]=\"\""});
    auto form = std::make_unique<TForm>(nullptr);
    form->SetName("Form");
    auto make = [&]<typename T>(T* c, TWinControl* parent, const char* name) {
        c->SetName(name);
        c->SetParent(parent);
        // A stale hint that the walk must replace.
        c->SetHint("stale");
        c->SetShowHint(true);
        return c;
    };
    TPanel* outer = make(new TPanel(form.get()), form.get(), "Outer");
    TPanel* inner = make(new TPanel(form.get()), outer, "Inner");
    struct Case {
        TControl* control;
        const char* hint;
    };
    const Case cases[] = {
        {form.get(), ""},
        {outer, "Outer panel"},
        {make(new TButton(form.get()), outer, "Play"), "Start\nthe metronome"},
        {make(new TButton(form.get()), outer, "Mute"), ""},
        {inner, ""},
        {make(new TLabel(form.get()), inner, "Deep"), "a\nb\nc"},
        {make(new TLabel(form.get()), inner, ""), ""},
        {make(new TCheckBox(form.get()), inner, "NotInTheList"), ""},
    };
    HintsFromContext(form.get(), &context);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control->Name().str());
        EXPECT_EQ(c.control->Hint(), c.hint);
        // An empty hint switches the hint off, even below a parent that shows one.
        EXPECT_EQ(c.control->ShowHint(), *c.hint != 0);
    }
    // A failing lookup passes to the caller.
    TDVContext empty;
    EXPECT_THROW(HintsFromContext(outer, &empty), Exception);
}

}  // namespace
