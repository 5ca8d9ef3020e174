#include <gtest/gtest.h>

#include <clocale>

#include "DVTestUtil.h"

namespace {

class Access : public ::testing::Test {
protected:
    void SetUp() override {
        LoadLines(root, {
            "context Settings",
            "  integer Transpose=2",
            "  integer Beats[3]=1,2,3",
            "  float F=0.5",
            "  float G=120",
            "  string Names[3]=\"a\",\"b\",\"c\"",
            "  string One=\"abc\"",
            "  bool B",
            "  string Hints[*]=\"none\"",
            "  Hints[Play]=\"Go\"",
            "  context Pt[3]",
            "    integer x=7",
            "  }",
            "  pointer Cur=&Settings.Transpose",
            "}",
            "integer Latency[*]=40",
        });
    }
    TDVContext root;
};

}  // namespace

TEST_F(Access, ResolvePathForms) {
    struct Case {
        const char* path;
        const char* tagName;
        int index;
    } cases[] = {
        {"Settings.Transpose", "Transpose", 0},
        {"Settings.Beats", "Beats", -1},
        {"Settings.Beats[2]", "Beats", 1},
        {"Settings.Hints", "Hints", 0},
        {"Settings.Hints[]", "Hints", 0},
        {"Settings.Hints[Play]", "Hints[Play]", 0},
        {"Settings.Hints[Stop]", "Hints", 0},  // missing element reads as the template
        {"Settings.Pt.x", "Pt::x", 0},         // no brackets on a context array: its first element
        {"Settings.Pt[2].x", "Pt::x", 0},      // never set: the definition answers
    };
    for (const Case& c : cases) {
        int idx = 99;
        TDVVarTag* t = root.ResolvePath(c.path, idx, false, true);
        ASSERT_NE(t, nullptr) << c.path;
        EXPECT_EQ(t->Name, c.tagName) << c.path;
        EXPECT_EQ(idx, c.index) << c.path;
    }
}

TEST_F(Access, ResolvePathFailures) {
    struct Case {
        const char* path;
        const char* message;
    } cases[] = {
        {"", " Ident expected"},
        {"Settings.", " Ident expected"},
        {".Settings", " Ident expected"},
        {"Nope", " Unknown ident 'Nope' in '$ROOT$'"},
        {"Settings.Nope", " Unknown ident 'Nope' in 'Settings'"},
        {"Settings.Beats[2", " Arraydef syntax error; ']' ???"},
        {"Settings.Hints[a*b]", " Arraydef syntax error; ']' ???"},
        {"Settings.Hints[*]", " Arraydef syntax error; ']' ???"},
        {"Settings.Beats[0]", " Array index error: must be > 0"},
        {"Settings.Beats[#]", " Array index error: must be > 0"},
        {"Settings.Transpose.x", " Symbol '.' not permited 'Transpose' != context"},
        {"Settings.Beats[1]x", " error encoding idents"},
    };
    for (const Case& c : cases) {
        GlobalIndxQueue.Clear();
        int idx;
        EXPECT_EQ(ErrorOf([&] { root.ResolvePath(c.path, idx, false, true); }), c.message) << c.path;
        EXPECT_EQ(root.ResolvePath(c.path, idx, false, false), nullptr) << c.path;
    }
}

TEST_F(Access, TypedGettersAndValueText) {
    setlocale(LC_NUMERIC, "de_DE.UTF-8");  // the decimal point must not follow the locale
    struct Case {
        const char* path;
        const char* text;
    } cases[] = {
        {"Settings.One", "abc"},
        {"Settings.Names", "\"a\",\"b\",\"c\""},
        {"Settings.F", "0.5"},
        {"Settings.G", "120"},
        {"Settings.Beats", "1,2,3"},
        {"Settings.Beats[3]", "3"},
        {"Settings.B", "0"},
        {"Settings.Cur", "2"},
        {"Settings . Hints [ Play ] ; comment", "Go"},
        {"Settings.Hints[Stop]", "none"},
    };
    for (const Case& c : cases) EXPECT_EQ(root.GetValueAsString(c.path), c.text) << c.path;
    setlocale(LC_NUMERIC, "C");

    EXPECT_EQ(root.GetInteger("Settings.Beats"), 1);
    EXPECT_EQ(root.GetString("Settings.Cur"), "Settings.Transpose");
    EXPECT_EQ(root.GetString("Settings.Names"), "a");
    EXPECT_EQ(root.GetInteger("Settings.Cur"), 2);
    EXPECT_FLOAT_EQ(root.GetFloat("Settings.F"), 0.5f);
    EXPECT_EQ(root.GetValType("Settings.Cur"), vtPointer);
    EXPECT_EQ(root.GetContext("Settings")->GetName(), "Settings");
    EXPECT_EQ(ErrorOf([&] { root.GetInteger("Settings.F"); }),
              "TDVVarTag::Integer: index out of range or ValType is invalid");
    EXPECT_EQ(ErrorOf([&] { root.GetInteger("Settings"); }), " Can't convert context");
    EXPECT_EQ(ErrorOf([&] { root.GetValueAsString("Settings.Pt"); }), " Can't convert context");
    EXPECT_EQ(ErrorOf([&] { root.GetContext("Settings.F"); }), " context not found");
}

TEST_F(Access, SettersCreateFromDefinitionsAndTemplates) {
    EXPECT_EQ(ErrorOf([&] { root.SetString("Settings.Names", "z"); }),
              "TDVVarTag::String: index out of range or ValType is invalid");
    root.SetString("Settings.Names[2]", "z");
    EXPECT_EQ(root.GetValueAsString("Settings.Names"), "\"a\",\"z\",\"c\"");

    root.SetInteger("Settings.Pt[2].x", 9);
    EXPECT_EQ(root.GetInteger("Settings.Pt[2].x"), 9);
    EXPECT_EQ(root.GetInteger("Settings.Pt[3].x"), 7);
    EXPECT_NE(root.GetContext("Settings.Pt[2]")->FindTag("x"), nullptr);
    EXPECT_EQ(root.GetContext("Settings.Pt[3]")->FindTag("x"), nullptr);

    root.SetInteger("Settings.Cur", 11);  // through the pointer
    EXPECT_EQ(root.GetInteger("Settings.Transpose"), 11);

    EXPECT_EQ(root.GetStringIdx("Settings.Hints[#]", "Rec"), "none");
    EXPECT_FALSE(root.GetContext("Settings")->FindTag("Hints[Rec]"));
    root.SetString("Settings.Hints[Rec]", "Record");
    EXPECT_EQ(root.GetStringIdx("Settings.Hints[#]", "Rec"), "Record");

    EXPECT_EQ(root.SetIntegerIdx("Latency[#]", 60, 3), 60);
    EXPECT_EQ(root.GetIntegerIdx("Latency[#]", 3), 60);
    EXPECT_EQ(root.GetIntegerIdx("Latency[#]", 1), 40);
    EXPECT_EQ(root.GetIntegerIdx("Settings.Beats[#]", 3), 3);
    EXPECT_EQ(ErrorOf([&] { root.GetIntegerIdx("Settings.Beats[#]", 0); }), " Array index error: must be > 0");
    EXPECT_EQ(ErrorOf([&] { root.GetIntegerIdx("Settings.Beats[#]", 4); }),
              "TDVVarTag::Integer: index out of range or ValType is invalid");
}

TEST_F(Access, TextArgumentChainRules) {
    struct Case {
        const char* a1;
        const char* a2;
        int pushed;
    } cases[] = {
        {"Play", "x", 2}, {"0", "x", 0}, {"", "x", 0}, {" a", "x", 0}, {"-1", "x", 0}, {"a", "!", 1}, {"1", "", 1},
    };
    for (const Case& c : cases) {
        root.GetValueAsStringIdx("Settings.One", c.a1, c.a2);  // no "#" consumes anything
        EXPECT_EQ(GlobalIndxQueue.Count(), c.pushed) << "'" << c.a1 << "'";
    }
    GlobalIndxQueue.Clear();
    GlobalIndxQueue.PushInteger(12);
    GlobalIndxQueue.PushString("t");
    EXPECT_EQ(GlobalIndxQueue.PopString(), "12");
    EXPECT_EQ(GlobalIndxQueue.PopString(), "t");
    EXPECT_EQ(GlobalIndxQueue.PopString(), "");
}

TEST_F(Access, EnumExistsRemoveNames) {
    root.SetString("Settings.Hints[Stop]", "Halt");
    TStringList ids;
    EXPECT_EQ(root.EnumListIDs("Settings.Hints", &ids), 2);
    EXPECT_EQ(Joined(ids), "Play\nStop\n");
    EXPECT_EQ(ErrorOf([&] { root.EnumListIDs("Settings.One", &ids); }), "TDVContext::EnumListIDs: One not a list.");

    EXPECT_TRUE(root.TagExists("Settings.Hints[Never]"));
    EXPECT_TRUE(root.TagExists("Settings.Pt[2].x"));
    EXPECT_FALSE(root.TagExists("Settings.Nope"));
    EXPECT_FALSE(root.TagExists("Settings.One.x"));

    TDVContext* s = root.GetContext("Settings");
    s->RemoveTag("Hints[Never]");  // no such element: the template stays
    EXPECT_NE(s->FindTag("Hints"), nullptr);
    s->RemoveTag("Hints[Stop]");
    EXPECT_EQ(s->FindTag("Hints[Stop]"), nullptr);
    root.RemoveTag("Settings.One");  // not in the root's own tags: left alone
    EXPECT_NE(s->FindTag("One"), nullptr);
    s->RemoveTag("One");
    EXPECT_EQ(s->FindTag("One"), nullptr);
    EXPECT_EQ(ErrorOf([&] { s->GetString("One"); }), " Unknown ident 'One' in 'Settings'");

    TStringList names;
    s->GetTagNames(&names, false);
    EXPECT_EQ(Joined(names), "Transpose\nBeats\nF\nG\nNames\nB\nHints\nPt\nCur\n");
    names.Clear();
    s->GetTagNames(&names, true);
    EXPECT_EQ(names.IndexOf("Pt::x") >= 0 && names.IndexOf("Hints[Play]") >= 0, true);
}

TEST_F(Access, PointerCyclesAreBounded) {
    LoadLines(root, {"pointer P=&Q", "pointer Q=&P"});
    std::string e = ErrorOf([&] { root.GetInteger("P"); });
    EXPECT_NE(e.find("pointer chain too long or circular"), std::string::npos) << e;
    EXPECT_NE(e.find("'P'"), std::string::npos) << e;
    EXPECT_NE(ErrorOf([&] { root.SetInteger("P", 1); }).find("circular"), std::string::npos);
}

TEST(ValueText, ConversionsOfSetValuesFromText) {
    TDVContext root;
    TDVVarTag* b = root.AddTag("B", vtBool, 2);
    TDVVarTag* i = root.AddTag("I", vtInteger, 2);
    TDVVarTag* f = root.AddTag("F", vtFloat, 1);
    TDVVarTag* c = root.AddTag("C", vtContext, 1);
    TStringList t;
    t.Add("5");
    b->SetValuesFromText(&t, 0);
    EXPECT_TRUE(b->Bool(0));
    t.Add("7");
    t.Add("9");
    EXPECT_EQ(ErrorOf([&] { i->SetValuesFromText(&t, 0); }),
              "TDVVarTag::Integer: index out of range or ValType is invalid");
    EXPECT_EQ(i->Integer(1), 7);  // the elements before the refusal keep their values
    EXPECT_EQ(ErrorOf([&] { c->SetValuesFromText(&t, 0); }), " Invalid tag type");
    for (const char* bad : {"INF", "NAN", "-inf", "1e39", "x"}) {
        TStringList one;
        one.Add(bad);
        EXPECT_NE(ErrorOf([&] { f->SetValuesFromText(&one, 0); }), "<none>") << bad;
    }
    struct F {
        float v;
        const char* text;
    } floats[] = {{0.5f, "0.5"}, {120.0f, "120"}, {-1.25f, "-1.25"}, {1234567.0f, "1234567"}, {0.1f, "0.1"}};
    for (const F& x : floats) {
        f->Float(0) = x.v;
        EXPECT_EQ(f->AsText(-1), x.text);
    }
    EXPECT_EQ(c->AsText(-1), "Invalid tag type or Context");
}
