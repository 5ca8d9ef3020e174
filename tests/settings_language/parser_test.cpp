#include <gtest/gtest.h>

#include "DVTestUtil.h"

namespace {

const Lines kDeclared = {
    "integer a",
    "integer b[3]",
    "string s",
    "context Pt[3]",
    "  integer x",
    "  context sub",
    "    integer k",
    "  }",
    "}",
    "string Hints[*]",
    "context Sound",
    "  integer Volume",
    "endcontext",
    "integer Other",
    "pointer Cur=&Sound.Volume",
    "context Preset[*]",
    "  integer Volume=1",
    "}",
    "pointer PP=&Cur",
    "integer L[*]",
};

}  // namespace

TEST(Statements, RefusalsOfOneStatement) {
    struct Case {
        const char* statement;
        const char* message;
    } cases[] = {
        {"integer a", " Ident 'a': allready defined; Line='integer a'"},
        {"zz=1", " Unknown ident 'zz' not allowed there"},
        {"integer", " end of line? structure not ended"},
        {"integer q r", " symbol ' ' not allowed there"},
        {"}", " '}' without context or '{'"},
        {"endcontext", " endcontext without context"},
        {"context c{", " symbol '{' not allowed there"},
        {"integer q[0]", " Error in array size"},
        {"integer q[2-3]", " Error in array size"},
        {"integer q[1,2]", " Error in array size"},
        {"integer q[1000001]", " Error in array size"},
        {"integer q[x]", " Arraydef syntax error; ']' ???"},
        {"a[1]=5", " symbol '[' not allowed there"},
        {"b[0]=1", " Invalid index: 0"},
        {"b[0-2]=1", "Error in array. Zero index or invalid use of '-' operator."},
        {"Pt.x=5", " 'Pt' - array, [...] - required"},
        {"Pt{", " 'Pt' - array, [...] - required"},
        {"Hints[a*b]=x", "TDVContext::GetListTagByID Invalid use symbol '*' in list ID"},
        {"include extra.def", " symbol ' ' not allowed there"},
        {"morph(a[#],1,8", " expected ')'"},
        {"morph(", " expected ')'"},
        {"s=\"abc", " expected '\"'"},
        {"b[1][2]=5", " symbol '[' not allowed there"},
        {"integer morph", " end of line? structure not ended"},
        {"integer endcontext", " endcontext not allowed there"},
        {"integer bool", " bool not allowed there"},
        {"a a", " symbol ' ' not allowed there"},
        {"a,", " symbol ',' not allowed there"},
        {"integer q:r", " symbol ':' not allowed there"},
        {"Pt::x=1", " symbol ':' not allowed there"},
        {"b=1,2,3,4", "TDVVarTag::Integer: index out of range or ValType is invalid"},
        {"a=x", "'x' is not a valid integer value"},
        {"Pt[1-2].sub{", " symbol '{' not allowed there; Line='sub{'"},  // quotes the rest it failed in
        {"Pt[1].sub{", "<none>"},
        {"Cur[2]=5", " symbol '[' not allowed there"},
    };
    for (const Case& c : cases) {
        TDVContext root;
        LoadLines(root, kDeclared);
        TDVContextHive hive(&root);
        std::string e = ErrorOf([&] { hive.ParseLine(c.statement); }), want = c.message;
        // The parser's own refusals quote the statement.
        if (want[0] == ' ' && want.find("; Line=") == std::string::npos)
            want += "; Line='" + std::string(c.statement) + "'";
        EXPECT_EQ(e.rfind(want, 0), 0u) << c.statement << " -> " << e;
    }
}

TEST(Statements, AssignmentsListsBlocksAndPointers) {
    RunScripts(
        {
            {{"b=5"}, "<none>", "b=5,0,0"},
            {{"b=1,2,3"}, "<none>", "b=1,2,3"},
            {{"b[]=4"}, "<none>", "b=4,4,4"},
            {{"b[*]=4"}, "<none>", "b=4,4,4"},
            {{"b[2-]=7"}, "<none>", "b=0,7,7"},
            {{"b[-2]=7"}, "<none>", "b=7,7,0"},
            {{"b[1,3]=9"}, "<none>", "b=9,0,9"},
            // Each index takes the whole list: 2<-7, 3<-8, then 3<-7 (4<-8 refused).
            {{"b[2-3]=7,8"}, "TDVVarTag::Integer: index out of range", "b=0,7,7"},
            {{"b[2-2000000000]=1"}, "TDVVarTag::Integer: index out of range or ValType is invalid; Line=0", "b=0,1,1"},
            {{"Pt[2].x=5"}, "<none>", "Pt[2].x=5"},
            {{"Pt[2-3].x=6"}, "<none>", "Pt[3].x=6|Pt[1].x=0"},
            {{"Hints[Play]=Go"}, "<none>", "Hints[Play]=Go"},
            {{"Hints=Idle"}, "<none>", "Hints=Idle"},
            {{"Hints[Play]=Go", "Hints[Stop]=Halt", "Hints[*]=Same"},
             "<none>",
             "Hints[Play]=Same|Hints[Stop]=Same|Hints="},
            {{"L[1-65537]=1"}, "Error in array. Range of more than 65536 IDs.; Line=0", ""},
            {{"L[1-65536]=1"}, "<none>", "L[65536]=1|L[1]=1"},
            {{"s=\"a, b ; (c)\""}, "<none>", "s=a, b ; (c)"},
            {{"s=\"say \"\"hi\"\"\""}, "<none>", "s=say \"hi\""},
            {{"s=\"\""}, "<none>", "s="},
            {{"s=abc"}, "<none>", "s=abc"},
            {{"a=3 "}, "<none>", "a=3"},
            {{"Cur=90"}, "<none>", "Sound.Volume=90"},
            {{"Cur=&Other"}, "<none>", "Cur=&Other"},
            {{"PP=91"}, "<none>", "Sound.Volume=91"},
            {{"Sound.Volume=100"}, "<none>", "Sound.Volume=100"},
            {{"Preset[Rock].Volume=5"}, "<none>", "Preset[Rock].Volume=5"},
            {{"Preset.Volume=3"}, "<none>", "Preset.Volume=3"},
            // A block on a list element of a context list: members come from the template.
            {{"Preset[Rock]{", "Volume=5", "}"}, "<none>", "Preset[Rock].Volume=5|Preset.Volume=1"},
            {{"pointer P[2]=&a,&Other", "P[2]=4"}, "<none>", "Other=4|P=&a,&Other"},
            // A single dotted selection may open a block.
            {{"context Deep", "context Inner", "integer v", "}", "}", "Deep.Inner{", "v=8", "}"},
             "<none>",
             "Deep.Inner.v=8"},
            // A pointer to a pointer reads the second path from the tag the first hop reached.
            {{"integer T", "integer W", "pointer B=&T", "context Sub", "pointer B=&W", "pointer A=&B", "}", "Sub.A=6"},
             "<none>",
             "T=6|W=0"},
            {{"pointer P=&Q", "pointer Q=&P", "P=1"}, " pointer chain too long or circular at '", ""},
            // Pointer targets in a replayed block resolve from the context being loaded.
            {{"integer T", "context Q[2]", "pointer p", "}", "Q[*] {", "p=&T", "}", "Q[*] {", "p=4", "}"},
             "<none>",
             "Q[1].p=&T|Q[2].p=&T|T=4"},
            // Declarations in a context array define the member for every element.
            {{"context D[2]", "integer x=3", "context Sub[2]", "integer k=4", "}", "}", "D[2].Sub[1].k=9"},
             "<none>",
             "D[2].Sub[1].k=9|D[2].Sub[2].k=4|D[1].Sub[1].k=4|D[1].x=3"},
        },
        kDeclared);

    TDVContext root;
    LoadLines(root, kDeclared);
    TDVContextHive hive(&root);
    EXPECT_EQ(hive.ParseLine("Pt[1-2]{"), 1);  // two elements: one replay, the last one on top
    EXPECT_EQ(hive.StackCount() == 2 && hive.Current() == root.FindTag("Pt")->Context(1), true);
    for (const char* statement : {"}", "}", "Sound.Volume=3"}) EXPECT_EQ(hive.ParseLine(statement), 0);
    EXPECT_EQ(hive.Current(), &root);
    // List elements reached through a pointer are made beside their template.
    LoadLines(root, {"context S", "integer L[*]", "}", "context Other2", "pointer P=&S.L", "}", "Other2.P[k]=5"});
    EXPECT_EQ(root.GetInteger("S.L[k]"), 5);
    EXPECT_EQ(root.GetContext("Other2")->FindTag("L[k]"), nullptr);
}

TEST(Statements, MorphAndAutoMorph) {
    const std::string morph = "invalid parametrs in calling morph: ";
    const std::string autoMorph = "invalid parametrs in calling auto_morph: ";
    const std::string order = morph + "'from' can not be same as 'to' or greater.; Line=1";
    const std::string range = "TDVVarTag::Integer: index out of range or ValType is invalid; Line=1";
    RunScripts({
        {{"float A[5]=10,0,0,0,30", "morph(A[#],1,5)", "integer B[4]=0,0,0,10", "morph(B[#],1,4)",
          "integer C[4]=0,5,0,10", "morph(C[#],2,3)", "string D[3]", "morph(D[#],1,3)", "bool E[3]=1,0,1",
          "morph(E[#],1,3)"},
         "<none>",
         "A=10,15,20,25,30|B=0,3,6,10|C=0,5,0,10|D=\"\",\"\",\"\"|E=1,0,1"},
        {{"integer A[5]=100,0,0,130,0", "auto_morph(A[#])", "integer B[3]=0,0,40", "auto_morph(B[#])",
          "integer C[3]=5,6,7", "auto_morph(C[#])", "integer D[3]=5,0,0", "auto_morph(D[#])", "float E[4]=1,0,0,2.5",
          "auto_morph(E[#])"},
         "<none>",
         "A=100,110,120,130,0|B=0,20,40|C=5,6,7|D=5,0,0|E=1,1.5,2,2.5"},
        // Contexts and lists are morphed member by member.
        {{"context Pt[4]", "integer x", "float y", "string s", "}", "Pt[1].x=10", "Pt[4].x=40", "Pt[1].y=1",
          "Pt[4].y=4", "morph(Pt[#],1,4)"},
         "<none>",
         "Pt[2].x=20|Pt[3].x=30|Pt[3].y=3"},
        {{"context Q[3]", "integer v", "}", "Q[1].v=2", "Q[3].v=6", "auto_morph(Q[#].v)"}, "<none>", "Q[2].v=4"},
        {{"integer L[*]", "L[3]=0", "L[4]=0", "L[5]=9", "auto_morph(L[#])"}, "<none>", "L[3]=3|L[4]=6"},
        {{"integer N[*]", "N[a]=1", "N[b]=0", "N[c]=5", "auto_morph(N[#])"}, "<none>", "N[b]=0"},
        {{"integer R[8]", "morph(R[#],3,3)"}, order, "R=0,0,0,0,0,0,0,0"},
        {{"integer R[8]", "morph(R[#],5,2)"}, order, ""},
        {{"integer R[8]", "morph(R,1,4)"}, morph + "Morphing: Invalid format in R; Line=1", ""},
        {{"integer R[8]", "morph(R[#],1)"}, morph + "count?; Line=1", ""},
        {{"integer R[8]", "morph(R[#],1,x)"}, morph, ""},
        {{"integer R[3]", "morph(R[#],1,9)"}, morph + range, ""},
        {{"integer W[*]", "morph(W[#],1,65537)"}, morph + "Morphing: span of more than 65536 in W[#]; Line=1", ""},
        {{"integer R[8]", "auto_morph(R[#],1)"}, autoMorph + "count?; Line=1", ""},
        {{"integer R[8]", "auto_morph(R)"}, autoMorph + "Morphing: Invalid format in R; Line=1", ""},
        {{"integer W[*]", "W[1]=1", "W[70000]=2", "auto_morph(W[#])"},
         autoMorph + "Morphing: IDs span more than 65536 in W[#]; Line=3",
         ""},
        {{"include()"},
         "invalid parametrs in calling include: TDVContext::LoadFromFile: file not found ''; Line=0",
         ""},
    });
    // Leftover arguments of an earlier "#" call must not steer the directive.
    GlobalIndxQueue.Clear();
    GlobalIndxQueue.PushInteger(7);
    TDVContext root;
    LoadLines(root, {"integer R[3]=3,0,9", "auto_morph(R[#])"});
    EXPECT_EQ(root.GetValueAsString("R"), "3,6,9");
}

TEST(Text, ExtractTokenCutsAtDelimitersOrTheInvertedSet) {
    struct Case {
        const char *line, *delims;
        bool invert;
        std::string cut;  // token, stop character ('0' for none), rest
    } cases[] = {
        {"", ".[", false, "|0|"},
        {"a.b[2]", ".[", false, "a|.|b[2]"},
        {"b[2]", ".[", false, "b|[|2]"},
        {"12+3)", "1234567890", true, "12|+|3)"},
        {"abc", ".", false, "abc|0|"},
        {".x", ".", false, "|.|x"},
        {"\xE4\xF6.x", ".", false, "\xE4\xF6|.|x"},
    };
    for (const Case& c : cases) {
        AnsiString line = c.line, token = "junk";
        char stop = ExtractToken(line, token, c.delims, c.invert);
        EXPECT_EQ(token.str() + "|" + (stop ? stop : '0') + "|" + line.str(), c.cut) << c.line;
    }
}

TEST(Text, NormalizeLineRemovesBlanksAndCommentsAndKeepsQuotedText) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"integer  Volume [ 3 ] = 1 , 2 ;  volume", "integer Volume[3]=1,2"},
        {"x = 5 ; five", "x=5"},
        {"   \t  ", ""},
        {"; only a comment", ""},
        {"\tTool1 {", "Tool1{"},
        {"integer\tVolume", "integer Volume"},
        {"s = \"a ; b , c\" ; note", "s=\"a ; b , c\""},
        {"a   b", "a b"},
        {"Memo=\"x\"\"y ; z\"", "Memo=\"x\"\"y ; z\""},
        {"m ( a [#] , 1 , 8 )", "m(a[#],1,8)"},
        {"  x=\xE9\xE8  ", "x=\xE9\xE8"},
        {"a\x01", "a"},
    };
    for (const Case& c : cases) EXPECT_EQ(NormalizeLine(c.in), c.out) << c.in;
}
