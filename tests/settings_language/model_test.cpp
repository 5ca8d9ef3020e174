#include <gtest/gtest.h>

#include "DVTestUtil.h"
#include "SysUtils.h"

TEST(Model, CopyTagValueAndInstantiation) {
    TDVContext root;
    TDVVarTag* o = root.AddTag("O", vtInteger, 1);
    TDVVarTag* l = root.AddTag("L", vtInteger, -1);
    l->Integer(0) = 7;
    o->CopyTagValue(l);  // a template and a one-element tag both hold one element
    EXPECT_EQ(o->Integer(0), 7);
    EXPECT_EQ(ErrorOf([&] { root.AddTag("A3", vtInteger, 3)->CopyTagValue(o); }),
              "TDVVarTag::CopyTagValue: Type or ArraySize different!");
    EXPECT_NO_THROW(root.AddTag("C1", vtContext, 1)->CopyTagValue(root.AddTag("C2", vtContext, 1)));

    // A context array A with member definition A::m, itself an array with its own definition A::m::k.
    LoadLines(root, {"context A[2]", "context m[2]", "integer k=4", "}", "string s=\"d\"", "}"});
    EXPECT_NE(root.FindTag("A")->Context(0)->FindTag("A::m::k"), nullptr);
    TDVContext* a2 = root.FindTag("A")->Context(1);
    TDVVarTag* m = a2->CopyTagFrom(root.FindTag("A::m"));
    EXPECT_EQ(m->Name + "[" + IntToStr(m->Count()) + "]", "m[2]");
    ASSERT_NE(a2->FindTag("m::k"), nullptr);  // the extension came along
    EXPECT_EQ(m->Context(1)->FindContextDef("k"), a2->FindTag("m::k"));

    LoadLines(root, {"context Preset[*]", "integer Volume=3", "}"});
    TDVVarTag* preset = root.FindTag("Preset");
    TDVVarTag* rock = root.GetListTagByID(preset, "Rock");
    EXPECT_EQ(rock->Name, "Preset[Rock]");
    EXPECT_EQ(root.GetListTagByID(preset, "Rock"), rock);
    EXPECT_EQ(rock->Context(0)->FindContextDef("Volume"), preset->Context(0)->FindTag("Volume"));
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
