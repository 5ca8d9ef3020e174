#include <gtest/gtest.h>

#include "DVTestUtil.h"

namespace {

void Declare(TDVContext& root) {
    LoadLines(root, {
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
    });
}

std::string ParseOne(TDVContext& root, const char* statement) {
    TDVContextHive hive(&root);
    return ErrorOf([&] { hive.ParseLine(statement); });
}

}  // namespace

TEST(Parser, Refusals) {
    struct Case {
        const char* statement;
        const char* message;
    } cases[] = {
        {"integer a", " Ident 'a': allready defined; Line='integer a'"},
        {"zz=1", " Unknown ident 'zz' not allowed there; Line='zz=1'"},
        {"integer", " end of line? structure not ended; Line='integer'"},
        {"integer q r", " symbol ' ' not allowed there; Line='integer q r'"},
        {"}", " '}' without context or '{'; Line='}'"},
        {"endcontext", " endcontext without context; Line='endcontext'"},
        {"context c{", " symbol '{' not allowed there; Line='context c{'"},
        {"integer q[0]", " Error in array size; Line='integer q[0]'"},
        {"integer q[2-3]", " Error in array size; Line='integer q[2-3]'"},
        {"integer q[1,2]", " Error in array size; Line='integer q[1,2]'"},
        {"integer q[1000001]", " Error in array size; Line='integer q[1000001]'"},
        {"integer q[x]", " Arraydef syntax error; ']' ???; Line='integer q[x]'"},
        {"a[1]=5", " symbol '[' not allowed there; Line='a[1]=5'"},
        {"b[0]=1", " Invalid index: 0; Line='b[0]=1'"},
        {"b[0-2]=1", "Error in array. Zero index or invalid use of '-' operator."},
        {"Pt.x=5", " 'Pt' - array, [...] - required; Line='Pt.x=5'"},
        {"Pt{", " 'Pt' - array, [...] - required; Line='Pt{'"},
        {"Hints[a*b]=x", "TDVContext::GetListTagByID Invalid use symbol '*' in list ID"},
        {"include extra.def", " symbol ' ' not allowed there; Line='include extra.def'"},
        {"morph(a[#],1,8", " expected ')'; Line='morph(a[#],1,8'"},
        {"morph(", " expected ')'; Line='morph('"},
        {"s=\"abc", " expected '\"'; Line='s=\"abc'"},
        {"b[1][2]=5", " symbol '[' not allowed there; Line='b[1][2]=5'"},
        {"integer morph", " end of line? structure not ended; Line='integer morph'"},
        {"integer endcontext", " endcontext not allowed there; Line='integer endcontext'"},
        {"integer bool", " bool not allowed there; Line='integer bool'"},
        {"a a", " symbol ' ' not allowed there; Line='a a'"},
        {"a,", " symbol ',' not allowed there; Line='a,'"},
        {"integer q:r", " symbol ':' not allowed there; Line='integer q:r'"},
        {"Pt::x=1", " symbol ':' not allowed there; Line='Pt::x=1'"},
        {"b=1,2,3,4", "TDVVarTag::Integer: index out of range or ValType is invalid"},
        {"a=x", "'x' is not a valid integer value"},
        {"Pt[1-2].sub{", " symbol '{' not allowed there; Line='sub{'"},
        {"Pt[1].sub{", "<none>"},
        {"Cur[2]=5", " symbol '[' not allowed there; Line='Cur[2]=5'"},
    };
    for (const Case& c : cases) {
        TDVContext root;
        Declare(root);
        std::string e = ParseOne(root, c.statement);
        if (std::string(c.message) == "<none>" || c.message[0] == ' ' || std::string(c.message).find("; Line") != std::string::npos)
            EXPECT_EQ(e, c.message) << c.statement;
        else
            EXPECT_EQ(e.rfind(c.message, 0), 0u) << c.statement << " -> " << e;
    }
}

TEST(Parser, AssignmentsSelectTheElements) {
    struct Case {
        const char* statement;
        const char* path;
        const char* value;
    } cases[] = {
        {"b=5", "b", "5,0,0"},
        {"b=1,2,3", "b", "1,2,3"},
        {"b[]=4", "b", "4,4,4"},
        {"b[*]=4", "b", "4,4,4"},
        {"b[2-]=7", "b", "0,7,7"},
        {"b[-2]=7", "b", "7,7,0"},
        {"b[1,3]=9", "b", "9,0,9"},
        {"b[2-3]=7,8", "b", "0,7,7"},  // each index takes the whole list: 2<-7, 3<-8, then 3<-7 (4<-8 refused)
        {"Pt[2].x=5", "Pt[2].x", "5"},
        {"Pt[2-3].x=6", "Pt[3].x", "6"},
        {"Hints[Play]=Go", "Hints[Play]", "Go"},
        {"Hints=Idle", "Hints", "Idle"},
        {"s=\"a, b ; (c)\"", "s", "a, b ; (c)"},
        {"s=\"say \"\"hi\"\"\"", "s", "say \"hi\""},
        {"s=\"\"", "s", ""},
        {"s=abc", "s", "abc"},
        {"Cur=90", "Sound.Volume", "90"},
        {"Cur=&Other", "Cur", "&Other"},
        {"PP=91", "Sound.Volume", "91"},
        {"Sound.Volume=100", "Sound.Volume", "100"},
        {"Preset[Rock].Volume=5", "Preset[Rock].Volume", "5"},
        {"Preset.Volume=3", "Preset.Volume", "3"},
        {"a=3 ", "a", "3"},
    };
    for (const Case& c : cases) {
        TDVContext root;
        Declare(root);
        std::string e = ParseOne(root, c.statement);
        if (std::string(c.statement) == "b[2-3]=7,8") {
            EXPECT_EQ(e, "TDVVarTag::Integer: index out of range or ValType is invalid");
        } else {
            EXPECT_EQ(e, "<none>") << c.statement;
        }
        int idx;
        TDVVarTag* t = root.ResolvePath(c.path, idx, false, true);
        AnsiString v = t->ValType == vtPointer ? t->AsText(-1) : root.GetValueAsString(c.path);
        if (t->ValType == vtString && t->Count() == 1) v = t->String(0);
        EXPECT_EQ(v, c.value) << c.statement;
    }
}

TEST(Parser, ListsBlocksAndPointers) {
    TDVContext root;
    Declare(root);
    LoadLines(root, {"Hints[Play]=Go", "Hints[Stop]=Halt", "Hints[*]=Same"});
    EXPECT_EQ(root.GetString("Hints[Play]"), "Same");
    EXPECT_EQ(root.GetString("Hints[Stop]"), "Same");
    EXPECT_EQ(root.GetString("Hints"), "");

    TDVContextHive hive(&root);
    EXPECT_EQ(hive.ParseLine("Pt[1-2]{"), 1);
    EXPECT_EQ(hive.StackCount(), 2);
    EXPECT_EQ(hive.Current(), root.FindTag("Pt")->Context(1));
    EXPECT_EQ(hive.ParseLine("}"), 0);
    EXPECT_EQ(hive.ParseLine("}"), 0);
    EXPECT_EQ(hive.Current(), &root);
    EXPECT_EQ(hive.ParseLine("Sound.Volume=3"), 0);
    EXPECT_EQ(hive.Current(), &root);

    // A single dotted selection may open a block.
    LoadLines(root, {"context Deep", "context Inner", "integer v", "}", "}", "Deep.Inner{", "v=8", "}"});
    EXPECT_EQ(root.GetInteger("Deep.Inner.v"), 8);

    // A block on a list element of a context list: members come from the template.
    LoadLines(root, {"Preset[Rock]{", "Volume=5", "}"});
    EXPECT_EQ(root.GetInteger("Preset[Rock].Volume"), 5);
    EXPECT_EQ(root.GetInteger("Preset.Volume"), 1);

    LoadLines(root, {"pointer P[2]=&a,&Other", "P[2]=4"});
    EXPECT_EQ(root.GetValueAsString("Other"), "4");
    EXPECT_EQ(root.GetString("P[1]"), "a");

    // A pointer to a pointer reads the second path from the tag the first hop reached.
    TDVContext r2;
    LoadLines(r2, {"integer T", "integer W", "pointer B=&T", "context Sub", "pointer B=&W", "pointer A=&B", "}",
                   "Sub.A=6"});
    EXPECT_EQ(r2.GetInteger("T"), 6);
    EXPECT_EQ(r2.GetInteger("W"), 0);

    // Pointer cycles end with a message naming the path.
    TDVContext r3;
    std::string e = LoadError(r3, {"pointer P=&Q", "pointer Q=&P", "P=1"});
    EXPECT_NE(e.find("pointer chain too long or circular at '"), std::string::npos) << e;

    // List elements reached through a pointer are made beside their template.
    TDVContext r4;
    LoadLines(r4, {"context S", "integer L[*]", "}", "context Other", "pointer P=&S.L", "}", "Other.P[k]=5"});
    EXPECT_EQ(r4.GetInteger("S.L[k]"), 5);
    EXPECT_EQ(r4.GetContext("Other")->FindTag("L[k]"), nullptr);
}

TEST(Parser, DeclarationsInContextArraysBecomeDefinitions) {
    TDVContext root;
    LoadLines(root, {"context Pt[2]", "integer x=3", "context Sub[2]", "integer k=4", "}", "}"});
    EXPECT_NE(root.FindTag("Pt::x"), nullptr);
    EXPECT_NE(root.FindTag("Pt::Sub"), nullptr);
    EXPECT_NE(root.FindTag("Pt")->Context(0)->FindTag("Pt::Sub::k"), nullptr);
    EXPECT_EQ(root.GetInteger("Pt[2].Sub[2].k"), 4);
    LoadLines(root, {"Pt[2].Sub[1].k=9"});
    EXPECT_EQ(root.GetInteger("Pt[2].Sub[1].k"), 9);
    EXPECT_EQ(root.GetInteger("Pt[2].Sub[2].k"), 4);
    EXPECT_EQ(root.GetInteger("Pt[1].Sub[1].k"), 4);
}

TEST(Parser, RangesAreBounded) {
    TDVContext root;
    LoadLines(root, {"integer b[3]", "integer L[*]"});
    EXPECT_EQ(LoadError(root, {"b[2-2000000000]=1"}),
              "TDVVarTag::Integer: index out of range or ValType is invalid; Line=0");
    EXPECT_EQ(root.GetValueAsString("b"), "0,1,1");
    EXPECT_EQ(LoadError(root, {"L[1-65537]=1"}), "Error in array. Range of more than 65536 IDs.; Line=0");
    EXPECT_EQ(LoadError(root, {"L[1-65536]=1"}), "<none>");
    TStringList ids;
    EXPECT_EQ(root.EnumListIDs("L", &ids), 65536);
}
