#include <gtest/gtest.h>

#include <clocale>

#include "DVTestUtil.h"

namespace {

const std::string kRefused = ": index out of range or ValType is invalid";

class Access : public ::testing::Test {
protected:
    void SetUp() override {
        LoadLines(root, {"context Settings", "integer Transpose=2", "integer Beats[3]=1,2,3", "float F=0.5",
                         "float G=120", "string Names[3]=\"a\",\"b\",\"c\"", "string One=\"abc\"", "bool B",
                         "string Hints[*]=\"none\"", "Hints[Play]=\"Go\"", "context Pt[3]", "integer x=7", "}",
                         "pointer Cur=&Settings.Transpose", "}", "integer Latency[*]=40"});
    }
    TDVContext root;
};

}  // namespace

TEST_F(Access, ResolvePathFormsAndFailures) {
    const char* const syntax = " Arraydef syntax error; ']' ???";
    struct Case {
        const char *path, *found;  // the tag's name and the element index, or the error
    } cases[] = {
        {"Settings.Transpose", "Transpose 0"},
        {"Settings.Beats", "Beats -1"},
        {"Settings.Beats[2]", "Beats 1"},
        {"Settings.Hints", "Hints 0"},
        {"Settings.Hints[]", "Hints 0"},
        {"Settings.Hints[Play]", "Hints[Play] 0"},
        {"Settings.Hints[Stop]", "Hints 0"},  // missing element reads as the template
        {"Settings.Pt.x", "Pt::x 0"},         // no brackets on a context array: its first element
        {"Settings.Pt[2].x", "Pt::x 0"},      // never set: the definition answers
        {"", " Ident expected"},
        {"Settings.", " Ident expected"},
        {".Settings", " Ident expected"},
        {"Nope", " Unknown ident 'Nope' in '$ROOT$'"},
        {"Settings.Nope", " Unknown ident 'Nope' in 'Settings'"},
        {"Settings.Beats[2", syntax},
        {"Settings.Hints[*]", syntax},
        {"Settings.Hints[a*b]", syntax},
        {"Settings.Beats[0]", " Array index error: must be > 0"},
        {"Settings.Beats[#]", " Array index error: must be > 0"},
        {"Settings.Transpose.x", " Symbol '.' not permited 'Transpose' != context"},
        {"Settings.Beats[1]x", " error encoding idents"},
    };
    for (const Case& c : cases) {
        GlobalIndxQueue.Clear();
        int idx = 99;
        TDVVarTag* t = root.ResolvePath(c.path, idx, false, false);  // nullptr where it would raise
        std::string found = t ? t->Name.str() + " " + std::to_string(idx)
                              : ErrorOf([&] { root.ResolvePath(c.path, idx, false, true); });
        EXPECT_EQ(found, c.found) << c.path;
    }
}

TEST_F(Access, TypedGettersSettersAndValueText) {
    setlocale(LC_NUMERIC, "de_DE.UTF-8");  // the decimal point must not follow the locale
    ExpectValues(root,
                 "Settings.One=abc|Settings.Names=\"a\",\"b\",\"c\"|Settings.F=0.5|Settings.G=120|"
                 "Settings.Beats=1,2,3|Settings.Beats[3]=3|Settings.B=0|Settings.Hints[Stop]=none|"
                 "Settings . Hints [ Play ] ; comment=Go");
    EXPECT_EQ(root.GetValueAsString("Settings.Cur"), "2");
    setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(root.GetInteger("Settings.Beats"), 1);
    EXPECT_EQ(root.GetString("Settings.Cur"), "Settings.Transpose");
    EXPECT_EQ(root.GetString("Settings.Names"), "a");
    EXPECT_EQ(root.GetInteger("Settings.Cur"), 2);
    EXPECT_FLOAT_EQ(root.GetFloat("Settings.F"), 0.5f);
    EXPECT_EQ(root.GetValType("Settings.Cur"), vtPointer);
    EXPECT_EQ(root.GetStringIdx("Settings.Hints[#]", "Rec"), "none");
    EXPECT_FALSE(root.GetContext("Settings")->FindTag("Hints[Rec]"));  // reading made nothing
    EXPECT_EQ(root.GetIntegerIdx("Settings.Beats[#]", 3), 3);

    root.SetString("Settings.Names[2]", "z");
    root.SetInteger("Settings.Pt[2].x", 9);  // made from the definition
    root.SetInteger("Settings.Cur", 11);     // through the pointer
    root.SetString("Settings.Hints[Rec]", "Record");
    EXPECT_EQ(root.SetIntegerIdx("Latency[#]", 60, 3), 60);
    ExpectValues(root,
                 "Settings.Names=\"a\",\"z\",\"c\"|Settings.Pt[2].x=9|Settings.Pt[3].x=7|Settings.Transpose=11|"
                 "Latency[1]=40");
    EXPECT_NE(root.GetContext("Settings.Pt[2]")->FindTag("x"), nullptr);
    EXPECT_EQ(root.GetContext("Settings.Pt[3]")->FindTag("x"), nullptr);
    EXPECT_EQ(root.GetStringIdx("Settings.Hints[#]", "Rec"), "Record");
    EXPECT_EQ(root.GetIntegerIdx("Latency[#]", 3), 60);

    LoadLines(root, {"pointer P=&Q", "pointer Q=&P"});
    ExpectRefusals({
        {[&] { root.GetInteger("Settings.F"); }, "TDVVarTag::Integer" + kRefused},
        {[&] { root.GetInteger("Settings"); }, " Can't convert context"},
        {[&] { root.GetValueAsString("Settings.Pt"); }, " Can't convert context"},
        {[&] { root.GetContext("Settings.F"); }, " context not found"},
        {[&] { root.SetString("Settings.Names", "z"); }, "TDVVarTag::String" + kRefused},
        {[&] { root.GetIntegerIdx("Settings.Beats[#]", 0); }, " Array index error: must be > 0"},
        {[&] { root.GetIntegerIdx("Settings.Beats[#]", 4); }, "TDVVarTag::Integer" + kRefused},
        {[&] { root.GetInteger("P"); }, "TDVContext: pointer chain too long or circular: 'P' reaches '"},
        {[&] { root.SetInteger("P", 1); }, "TDVContext: pointer chain too long or circular: 'P' reaches '"},
    });
    // Text arguments: the chain ends at the first that is not above "0".
    struct Arg {
        const char *a1, *a2;
        int pushed;
    } args[] = {{"Play", "x", 2}, {"0", "x", 0}, {"", "x", 0}, {" a", "x", 0},
                {"-1", "x", 0},   {"a", "!", 1}, {"1", "", 1}};
    for (const Arg& c : args) {
        root.GetValueAsStringIdx("Settings.One", c.a1, c.a2);  // no "#" consumes anything
        EXPECT_EQ(GlobalIndxQueue.Count(), c.pushed) << "'" << c.a1 << "'";
    }
    GlobalIndxQueue.Clear();
    GlobalIndxQueue.PushInteger(12);
    GlobalIndxQueue.PushString("t");
    for (const char* popped : {"12", "t", ""}) EXPECT_EQ(GlobalIndxQueue.PopString(), popped);
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
    s->RemoveTag("Hints[Never]");    // no such element: the template stays
    root.RemoveTag("Settings.One");  // not in the root's own tags: left alone
    s->RemoveTag("Hints[Stop]");
    TStringList names;
    s->GetTagNames(&names, false);
    EXPECT_EQ(Joined(names), "Transpose\nBeats\nF\nG\nNames\nOne\nB\nHints\nPt\nCur\n");
    s->RemoveTag("One");
    names.Clear();
    s->GetTagNames(&names, true);
    EXPECT_EQ(Joined(names), "Transpose\nBeats\nF\nG\nNames\nB\nHints\nHints[Play]\nPt\nPt::x\nCur\n");
}

TEST(Model, TagsRefuseWhatTheyCannotHold) {
    TDVContext root;
    TDVVarTag* one = root.AddTag("One", vtInteger, 1);
    TDVVarTag* arr = root.AddTag("A", vtFloat, 3);
    TDVVarTag* list = root.AddTag("L", vtString, -5);
    EXPECT_EQ(list->ArraySize * 10 + list->Count(), -9);  // a list template of one element
    EXPECT_EQ(arr->Float(2), 0.0f);
    TDVContext* pt = root.AddTag("Pt", vtContext, 3)->Context(0);
    TDVVarTag* def = pt->AddContextDef("x", vtInteger, 1);
    const std::string reserved = "TDVContext::AddTag: Ident name invalid. Word (";
    ExpectRefusals({
        {[&] { root.AddTag("Z", vtInteger, 0); }, "Can not create zero length tag"},
        {[&] { root.AddTag("Z", 5, 1); }, " Unknown ValType"},
        {[&] { arr->Float(3); }, "TDVVarTag::Float" + kRefused},
        {[&] { arr->Float(-1); }, "TDVVarTag::Float" + kRefused},
        {[&] { one->Bool(0); }, "TDVVarTag::Bool" + kRefused},
        {[&] { one->String(0); }, "TDVVarTag::String" + kRefused},
        {[&] { one->Context(0); }, "TDVVarTag::Context" + kRefused},
        {[&] { arr->Integer(0); }, "TDVVarTag::Integer" + kRefused},
        {[&] { root.AddTag("include", vtInteger, 1); }, reserved + "include) reserved."},
        {[&] { root.AddTag("context", vtInteger, 1); }, reserved + "context) reserved."},
        {[&] { root.AddTag("endcontext", vtInteger, 1); }, reserved + "endcontext) reserved."},
        {[&] { root.AddTag("morph", vtInteger, 1); }, reserved + "morph) reserved."},
        {[&] { root.AddTag("Include", vtInteger, 1); }, "<none>"},
        {[&] { root.AddTag("Include", vtBool, 1); }, " Ident name allready used"},
        {[&] { root.AddContextDef("x", vtInteger, 1); }, " ROOT context. can not add defs!"},
        {[&] { pt->AddContextDef("x", vtInteger, 1); }, " Ident name allready used"},
        {[&] { pt->AddContextDef("morph", vtInteger, 1); },
         "TDVContext::AddContextDef: Ident name invalid. Word (morph) reserved."},
        // The same name in another context.
        {[&] { root.AddTag("Other", vtContext, 1)->Context(0)->AddTag("Include", vtInteger, 1); }, "<none>"},
    });
    EXPECT_EQ(root.FindTag("Z"), nullptr);  // refusals leave the context unchanged
    EXPECT_EQ(root.Tags().size(), 7u);      // One A L Pt Pt::x Include Other
    EXPECT_TRUE(def->Name == "Pt::x" && def->Parent == pt && root.FindTag("Pt::x") == def);
    EXPECT_EQ(root.FindTag("Pt")->Context(2)->FindContextDef("x"), def);
}

TEST(Model, CopyTagValueNeedsTheSameShape) {
    TDVContext root;
    TDVVarTag* o = root.AddTag("O", vtInteger, 1);
    TDVVarTag* l = root.AddTag("L", vtInteger, -1);
    l->Integer(0) = 7;
    o->CopyTagValue(l);  // a template and a one-element tag both hold one element
    EXPECT_EQ(o->Integer(0), 7);
    EXPECT_EQ(ErrorOf([&] { root.AddTag("A3", vtInteger, 3)->CopyTagValue(o); }),
              "TDVVarTag::CopyTagValue: Type or ArraySize different!");
    EXPECT_NO_THROW(root.AddTag("C1", vtContext, 1)->CopyTagValue(root.AddTag("C2", vtContext, 1)));
}

TEST(Model, AssignCopiesDeeplyAndSurvivesOverlap) {
    TDVContext root;
    LoadLines(root, {"context S", "integer a=1", "context Preset[*]", "integer Volume=3", "string Name", "}",
                     "Preset[Rock].Volume=9", "}"});
    TDVContext* presetRock = root.GetContext("S.Preset[Rock]");

    TDVContext copy;
    copy.Assign(root.GetContext("S"));
    copy.SetInteger("a", 5);
    ExpectValues(copy, "a=5|Preset[Rock].Volume=9");
    ExpectValues(root, "S.a=1");
    // Into a new preset, as the settings window does: the element context of another element.
    root.SetInteger("S.Preset[Jazz].Volume", 1);
    root.GetContext("S.Preset[Jazz]")->Assign(presetRock);
    EXPECT_EQ(root.GetInteger("S.Preset[Jazz].Volume"), 9);
    // Self, source inside the destination, destination inside the source.
    TDVContext* s = root.GetContext("S");
    s->Assign(s);
    EXPECT_EQ(root.GetInteger("S.a"), 1);
    s->Assign(root.GetContext("S.Preset[Rock]"));
    EXPECT_EQ(root.GetInteger("S.Volume"), 9);
    EXPECT_FALSE(root.TagExists("S.a"));

    TDVContext outer;
    LoadLines(outer, {"context In", "integer v=2", "}", "integer w=3"});
    outer.GetContext("In")->Assign(&outer);
    ExpectValues(outer, "In.w=3|In.In.v=2");
    // Walking up, names the copy already holds are skipped.
    TDVContext r2, copy2;
    LoadLines(r2, {"context A[2]", "context m", "integer k=1", "}", "}", "A[1].m.k=5"});
    EXPECT_NO_THROW(copy2.Assign(r2.FindTag("A")->Context(0)));
    EXPECT_EQ(copy2.GetInteger("m.k"), 5);
}
