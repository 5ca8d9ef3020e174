#include <gtest/gtest.h>

#include "DVTestUtil.h"

TEST(Directives, MorphAndAutoMorph) {
    struct Case {
        std::vector<const char*> lines;
        const char* path;
        const char* result;
        const char* error;
    } cases[] = {
        {{"float Ramp[5]=10,0,0,0,30", "morph(Ramp[#],1,5)"}, "Ramp", "10,15,20,25,30", "<none>"},
        {{"integer Ramp[4]=0,0,0,10", "morph(Ramp[#],1,4)"}, "Ramp", "0,3,6,10", "<none>"},
        {{"integer Ramp[4]=0,5,0,10", "morph(Ramp[#],2,3)"}, "Ramp", "0,5,0,10", "<none>"},
        {{"string Ramp[3]", "morph(Ramp[#],1,3)"}, "Ramp", "\"\",\"\",\"\"", "<none>"},
        {{"bool Ramp[3]=1,0,1", "morph(Ramp[#],1,3)"}, "Ramp", "1,0,1", "<none>"},
        {{"integer Ramp[5]=100,0,0,130,0", "auto_morph(Ramp[#])"}, "Ramp", "100,110,120,130,0", "<none>"},
        {{"integer Ramp[3]=0,0,40", "auto_morph(Ramp[#])"}, "Ramp", "0,20,40", "<none>"},
        {{"integer Ramp[3]=5,6,7", "auto_morph(Ramp[#])"}, "Ramp", "5,6,7", "<none>"},
        {{"integer Ramp[3]=5,0,0", "auto_morph(Ramp[#])"}, "Ramp", "5,0,0", "<none>"},
        {{"float Ramp[4]=1,0,0,2.5", "auto_morph(Ramp[#])"}, "Ramp", "1,1.5,2,2.5", "<none>"},
        {{"integer Ramp[8]", "morph(Ramp[#],3,3)"}, "Ramp", nullptr,
         "invalid parametrs in calling morph: 'from' can not be same as 'to' or greater.; Line=1"},
        {{"integer Ramp[8]", "morph(Ramp[#],5,2)"}, "Ramp", nullptr,
         "invalid parametrs in calling morph: 'from' can not be same as 'to' or greater.; Line=1"},
        {{"integer Ramp[8]", "morph(Ramp,1,4)"}, "Ramp", nullptr,
         "invalid parametrs in calling morph: Morphing: Invalid format in Ramp; Line=1"},
        {{"integer Ramp[8]", "morph(Ramp[#],1)"}, "Ramp", nullptr, "invalid parametrs in calling morph: count?; Line=1"},
        {{"integer Ramp[8]", "auto_morph(Ramp[#],1)"}, "Ramp", nullptr,
         "invalid parametrs in calling auto_morph: count?; Line=1"},
        {{"integer Ramp[8]", "auto_morph(Ramp)"}, "Ramp", nullptr,
         "invalid parametrs in calling auto_morph: Morphing: Invalid format in Ramp; Line=1"},
        {{"include()"}, nullptr, nullptr, "invalid parametrs in calling include: TDVContext::LoadFromFile: file not found ''; Line=0"},
        {{"integer Ramp[3]", "morph(Ramp[#],1,9)"}, "Ramp", nullptr,
         "invalid parametrs in calling morph: TDVVarTag::Integer: index out of range or ValType is invalid; Line=1"},
    };
    for (const Case& c : cases) {
        TDVContext root;
        TStringList l;
        for (const char* s : c.lines) l.Add(s);
        EXPECT_EQ(ErrorOf([&] { root.LoadFromStrings(&l, 0, -1); }), c.error) << c.lines.back();
        if (c.result) {
            EXPECT_EQ(root.GetValueAsString(c.path), c.result) << c.lines.back();
        }
    }
    TDVContext root;
    std::string e = LoadError(root, {"integer Ramp[8]", "morph(Ramp[#],1,x)"});
    EXPECT_EQ(e.rfind("invalid parametrs in calling morph: ", 0), 0u) << e;
}

TEST(Directives, ContextsAndListsAreMorphedMemberByMember) {
    TDVContext root;
    LoadLines(root, {"context Pt[4]", "integer x", "float y", "string s", "}", "Pt[1].x=10", "Pt[4].x=40",
                     "Pt[1].y=1", "Pt[4].y=4", "morph(Pt[#],1,4)"});
    EXPECT_EQ(root.GetInteger("Pt[2].x"), 20);
    EXPECT_EQ(root.GetInteger("Pt[3].x"), 30);
    EXPECT_FLOAT_EQ(root.GetFloat("Pt[3].y"), 3.0f);

    LoadLines(root, {"context Q[3]", "integer v", "}", "Q[1].v=2", "Q[3].v=6", "auto_morph(Q[#].v)"});
    EXPECT_EQ(root.GetInteger("Q[2].v"), 4);

    LoadLines(root, {"integer L[*]", "L[3]=0", "L[4]=0", "L[5]=9", "auto_morph(L[#])"});
    EXPECT_EQ(root.GetInteger("L[3]"), 3);
    EXPECT_EQ(root.GetInteger("L[4]"), 6);

    LoadLines(root, {"integer N[*]", "N[a]=1", "N[b]=0", "N[c]=5", "auto_morph(N[#])"});
    EXPECT_EQ(root.GetInteger("N[b]"), 0);

    EXPECT_EQ(LoadError(root, {"integer W[*]", "W[1]=1", "W[70000]=2", "auto_morph(W[#])"}),
              "invalid parametrs in calling auto_morph: Morphing: IDs span more than 65536 in W[#]; Line=3");

    // Leftover arguments of an earlier "#" call must not steer the directive.
    GlobalIndxQueue.Clear();
    GlobalIndxQueue.PushInteger(7);
    LoadLines(root, {"integer R[3]=3,0,9", "auto_morph(R[#])"});
    EXPECT_EQ(root.GetValueAsString("R"), "3,6,9");
}
