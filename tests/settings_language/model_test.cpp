#include <gtest/gtest.h>

#include "DVTestUtil.h"

TEST(Model, TagShapesAndAccessorRefusals) {
    TDVContext root;
    TDVVarTag* one = root.AddTag("One", vtInteger, 1);
    TDVVarTag* list = root.AddTag("L", vtString, -5);
    TDVVarTag* arr = root.AddTag("A", vtFloat, 3);
    EXPECT_EQ(one->Count(), 1);
    EXPECT_FALSE(one->IsList());
    EXPECT_EQ(list->ArraySize, -1);
    EXPECT_EQ(list->Count(), 1);
    EXPECT_TRUE(list->IsList());
    EXPECT_EQ(arr->Count(), 3);
    EXPECT_EQ(arr->Float(2), 0.0f);

    EXPECT_EQ(ErrorOf([&] { root.AddTag("Z", vtInteger, 0); }), "Can not create zero length tag");
    EXPECT_EQ(ErrorOf([&] { root.AddTag("Z", 5, 1); }), " Unknown ValType");
    EXPECT_EQ(ErrorOf([&] { arr->Float(3); }), "TDVVarTag::Float: index out of range or ValType is invalid");
    EXPECT_EQ(ErrorOf([&] { arr->Float(-1); }), "TDVVarTag::Float: index out of range or ValType is invalid");
    EXPECT_EQ(ErrorOf([&] { one->Bool(0); }), "TDVVarTag::Bool: index out of range or ValType is invalid");
    EXPECT_EQ(ErrorOf([&] { one->String(0); }), "TDVVarTag::String: index out of range or ValType is invalid");
    EXPECT_EQ(ErrorOf([&] { one->Context(0); }), "TDVVarTag::Context: index out of range or ValType is invalid");
    EXPECT_EQ(ErrorOf([&] { arr->Integer(0); }), "TDVVarTag::Integer: index out of range or ValType is invalid");
    EXPECT_EQ(root.FindTag("Z"), nullptr);  // refusals leave the context unchanged
    EXPECT_EQ(root.Tags().size(), 3u);
}

TEST(Model, AddTagAndAddContextDefRefusals) {
    TDVContext root;
    struct Case {
        const char* name;
        std::string message;
    } cases[] = {
        {"include", "TDVContext::AddTag: Ident name invalid. Word (include) reserved."},
        {"context", "TDVContext::AddTag: Ident name invalid. Word (context) reserved."},
        {"endcontext", "TDVContext::AddTag: Ident name invalid. Word (endcontext) reserved."},
        {"Include", "<none>"},
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorOf([&] { root.AddTag(c.name, vtInteger, 1); }), c.message) << c.name;
    EXPECT_EQ(ErrorOf([&] { root.AddTag("Include", vtBool, 1); }), " Ident name allready used");
    EXPECT_EQ(ErrorOf([&] { root.AddContextDef("morph", vtInteger, 1); }), " ROOT context. can not add defs!");

    TDVContext* pt = root.AddTag("Pt", vtContext, 3)->Context(0);
    TDVContext* other = root.AddTag("Other", vtContext, 1)->Context(0);
    EXPECT_NO_THROW(other->AddTag("Include", vtInteger, 1));  // same name, different context
    EXPECT_EQ(ErrorOf([&] { pt->AddContextDef("morph", vtInteger, 1); }),
              "TDVContext::AddContextDef: Ident name invalid. Word (morph) reserved.");
    TDVVarTag* def = pt->AddContextDef("x", vtInteger, 1);
    EXPECT_EQ(def->Name, "Pt::x");
    EXPECT_EQ(def->Parent, pt);
    EXPECT_EQ(root.FindTag("Pt::x"), def);
    EXPECT_EQ(ErrorOf([&] { pt->AddContextDef("x", vtInteger, 1); }), " Ident name allready used");
    EXPECT_EQ(root.FindTag("Pt")->Context(2)->FindContextDef("x"), def);
    EXPECT_EQ(root.GetName(), "$ROOT$");
    EXPECT_EQ(pt->GetName(), "Pt");
    EXPECT_EQ(pt->GetRoot(), &root);
}

TEST(Model, CopyTagValueAndInstantiation) {
    TDVContext root;
    TDVVarTag* l = root.AddTag("L", vtInteger, -1);
    TDVVarTag* o = root.AddTag("O", vtInteger, 1);
    l->Integer(0) = 7;
    o->CopyTagValue(l);  // a template and a one-element tag both hold one element
    EXPECT_EQ(o->Integer(0), 7);
    TDVVarTag* a3 = root.AddTag("A3", vtInteger, 3);
    EXPECT_EQ(ErrorOf([&] { a3->CopyTagValue(o); }), "TDVVarTag::CopyTagValue: Type or ArraySize different!");
    TDVVarTag* c1 = root.AddTag("C1", vtContext, 1);
    TDVVarTag* c2 = root.AddTag("C2", vtContext, 1);
    EXPECT_NO_THROW(c1->CopyTagValue(c2));

    // A context array A with member definition A::m, itself an array with its own definition A::m::k.
    LoadLines(root, {"context A[2]", "context m[2]", "integer k=4", "}", "string s=\"d\"", "}"});
    TDVVarTag* am = root.FindTag("A::m");
    ASSERT_NE(am, nullptr);
    TDVContext* a1 = root.FindTag("A")->Context(0);
    EXPECT_NE(a1->FindTag("A::m::k"), nullptr);
    TDVContext* a2 = root.FindTag("A")->Context(1);
    TDVVarTag* m = a2->CopyTagFrom(am);
    EXPECT_EQ(m->Name, "m");
    EXPECT_EQ(m->Count(), 2);
    ASSERT_NE(a2->FindTag("m::k"), nullptr);  // the extension came along
    EXPECT_EQ(m->Context(1)->FindContextDef("k"), a2->FindTag("m::k"));

    LoadLines(root, {"context Preset[*]", "integer Volume=3", "}"});
    TDVVarTag* preset = root.FindTag("Preset");
    TDVVarTag* rock = root.GetListTagByID(preset, "Rock");
    EXPECT_EQ(rock->Name, "Preset[Rock]");
    EXPECT_EQ(root.GetListTagByID(preset, "Rock"), rock);
    EXPECT_EQ(rock->Context(0)->FindContextDef("Volume"), preset->Context(0)->FindTag("Volume"));
    EXPECT_EQ(ErrorOf([&] { root.GetListTagByID(preset, "a*b"); }),
              "TDVContext::GetListTagByID Invalid use symbol '*' in list ID");
    root.GetListTagByID(preset, "Jazz");
    TStringList ids;
    EXPECT_EQ(root.CollectListIDs(preset, &ids), 2);
    EXPECT_EQ(Joined(ids), "Rock\nJazz\n");
}

TEST(Model, AssignCopiesDeeplyAndSurvivesOverlap) {
    TDVContext root;
    LoadLines(root, {"context S", "integer a=1", "context Preset[*]", "integer Volume=3", "string Name", "}",
                     "Preset[Rock].Volume=9", "}"});
    TDVContext* presetRock = root.GetContext("S.Preset[Rock]");

    TDVContext copy;
    copy.Assign(root.GetContext("S"));
    EXPECT_EQ(copy.GetInteger("a"), 1);
    EXPECT_EQ(copy.GetInteger("Preset[Rock].Volume"), 9);
    copy.SetInteger("a", 5);
    EXPECT_EQ(root.GetInteger("S.a"), 1);

    // Into a new preset, as the settings window does: the element context of another element.
    TDVContext* jazz = root.GetContext("S.Preset[Jazz]");
    (void)jazz;
    root.SetInteger("S.Preset[Jazz].Volume", 1);
    TDVContext* jazzCtx = root.GetContext("S.Preset[Jazz]");
    jazzCtx->Assign(presetRock);
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
    TDVContext* in = outer.GetContext("In");
    in->Assign(&outer);
    EXPECT_EQ(outer.GetInteger("In.w"), 3);
    EXPECT_EQ(outer.GetInteger("In.In.v"), 2);
}

TEST(Model, AssignWalkUpSkipsNamesAlreadyCopied) {
    TDVContext root;
    LoadLines(root, {"context A[2]", "context m", "integer k=1", "}", "}", "A[1].m.k=5"});
    TDVContext* a1 = root.FindTag("A")->Context(0);
    TDVContext copy;
    EXPECT_NO_THROW(copy.Assign(a1));
    EXPECT_EQ(copy.GetInteger("m.k"), 5);
}
