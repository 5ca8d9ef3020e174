// Hints from the settings: looked up by control name, "|" as line break, the whole tree covered.
#include <gtest/gtest.h>

#include "ExtCtrls.h"
#include "Hintsfromcontext.h"
#include "SettingsTestSupport.h"
#include "StdCtrls.h"
#include "Tdevelopervariables.h"

using namespace apptest;

namespace {

class HintsTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    TStringList lines;
    for (const char* line : {"string Hints[*]=\"\"", "Hints[Outer]=\"Outer panel\"", "Hints[Play]=\"Start|the metronome\"",
                             "Hints[Deep]=\"a|b|c\"", "Hints[Mute]=\"\""})
      lines.Add(line);
    context.LoadFromStrings(&lines, 0, -1);

    form = std::make_unique<TForm>(nullptr);
    form->SetName("Form");
    outer = Make<TPanel>(form.get(), "Outer");
    play = Make<TButton>(outer, "Play");
    mute = Make<TButton>(outer, "Mute");
    inner = Make<TPanel>(outer, "Inner");
    deep = Make<TLabel>(inner, "Deep");
    nameless = Make<TLabel>(inner, "");
    unknown = Make<TCheckBox>(inner, "NotInTheList");
  }
  template <typename T>
  T* Make(TWinControl* parent, const char* name) {
    T* c = new T(form.get());
    c->SetName(name);
    c->SetParent(parent);
    // A stale hint that the walk must replace.
    c->SetHint("stale");
    c->SetShowHint(true);
    return c;
  }

  TDVContext context;
  std::unique_ptr<TForm> form;
  TPanel* outer = nullptr;
  TPanel* inner = nullptr;
  TButton* play = nullptr;
  TButton* mute = nullptr;
  TLabel* deep = nullptr;
  TLabel* nameless = nullptr;
  TCheckBox* unknown = nullptr;
};

TEST_F(HintsTest, EveryControlOfTheTreeGetsItsEntry) {
  HintsFromContext(form.get(), &context);
  struct Case {
    TControl* control;
    const char* hint;
  };
  const Case cases[] = {
      {form.get(), ""},   {outer, "Outer panel"}, {play, "Start\nthe metronome"}, {mute, ""},
      {inner, ""},        {deep, "a\nb\nc"},      {nameless, ""},                 {unknown, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control->Name().str());
    EXPECT_EQ(c.control->Hint(), c.hint);
    // An empty hint switches the hint off, even below a parent that shows one.
    EXPECT_EQ(c.control->ShowHint(), *c.hint != 0);
  }
}

TEST_F(HintsTest, LookupFailurePassesToTheCaller) {
  TDVContext empty;
  EXPECT_THROW(HintsFromContext(outer, &empty), Exception);
}

}  // namespace
