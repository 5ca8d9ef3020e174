#include <algorithm>

#include "DVInternal.h"
#include "SysUtils.h"
#include "Tdevelopervariables.h"

namespace {

// What may come next in a statement.
enum : uint32_t {
    pType = 1u << 0,     // a type word or "endcontext"
    pIndex = 1u << 1,    // "["
    pAssign = 1u << 2,   // "="
    pNewName = 1u << 3,  // an undeclared name
    pStart = 1u << 4,    // the statement's first word
    pBlank = 1u << 5,    // " " after a type word
    pEnd = 1u << 6,      // "}" or the end of the statement
    pMember = 1u << 7,   // "."
    pOpen = 1u << 8,     // "{"
    pArgs = 1u << 9,     // "(" after a directive word
};

const AnsiString kTokenDelimiters(" ,.=;&{}[]()\"'?");
const AnsiString kListIdStops(".[]+`!%^&();:\"'\\/{}?");
const AnsiString kIndexChars(",-1234567890*");

// The element text of a pointer tag reached by an earlier hop; indexText is 1-based or empty.
AnsiString PointerText(TDVVarTag* tag, const AnsiString& indexText) {
    if (indexText.IsEmpty()) return tag->String(0);
    int n = StrToIntDef(indexText, 0);
    if (n <= 0) throw Exception(" Array index error: must be > 0");
    return tag->String(n - 1);
}

// One statement, or the remainder of a dotted one carried out in each selected element. It reads
// words and the delimiters after them, checks each against what may come next, and at the end
// declares, assigns or runs the directive it has gathered.
class StatementParser {
public:
    // dotted: the remainder of a dotted statement; multiple: that statement selected several elements.
    StatementParser(TDVContextHive& hive, const std::string& text, size_t from, bool dotted, bool multiple)
        : hive_(hive),
          text_(text),
          from_(from),
          in_(text, from),
          dotted_(dotted),
          multiple_(multiple),
          startContext_(hive.Current()) {}

    // n - 1 after a block opened on n >= 2 elements, else 0.
    int Run();

private:
    [[noreturn]] void Fail(const AnsiString& what) const {
        throw Exception(" " + what + "; Line='" + AnsiString(text_.substr(from_)) + "'");
    }
    [[noreturn]] void FailSymbol(char c) const { Fail(AnsiString("symbol '") + c + "' not allowed there"); }

    void Word(const AnsiString& token);
    void Name(const AnsiString& token);
    void FollowPointers(char delim);
    void Delimiter(char delim);
    void Index();
    void Member();
    void Open();
    void ReadValues(bool directiveMode);
    void Declare();
    void StoreValues();

    void PermitFound(TDVVarTag* t);
    // A list element lives beside its template, wherever the statement reached the template from.
    TDVContext* HomeOf(TDVVarTag* t) const { return t->Parent ? t->Parent : hive_.Current(); }
    std::vector<TDVContext*> Select(bool forOpen);

    TDVContextHive& hive_;
    const std::string& text_;
    const size_t from_;
    TTokenReader in_;
    const bool dotted_;
    const bool multiple_;
    TDVContext* const startContext_;

    AnsiString name_, indexText_;
    uint8_t declType_ = vtEndContext;  // vtEndContext: no declaration
    TDVVarTag* tag_ = nullptr;
    int directive_ = -1;
    bool declared_ = false;
    TStringList values_;
    int result_ = 0;
    uint32_t perm_ = pType | pStart | pEnd;
    bool listFact_ = false;  // the tag before a "[" is a list: its index is a list ID
    int hops_ = 0;
};

int StatementParser::Run() {
    if (in_.AtEnd()) return 0;
    DVCountSteps(1);
    AnsiString token;
    while (!in_.AtEnd()) {
        char delim = in_.Next(token, kTokenDelimiters, false);
        if (!token.IsEmpty()) Word(token);
        FollowPointers(delim);
        Delimiter(delim);
    }
    if (directive_ >= 0) {
        hive_.Current()->ExecuteDirective(directive_, &values_);
        hive_.UpdateCurrent();
        return result_;
    }
    if (declType_ != vtEndContext) Declare();
    if (tag_ && values_.Count() > 0) StoreValues();
    hive_.UpdateCurrent();
    return result_;
}

void StatementParser::Word(const AnsiString& token) {
    uint8_t vt = ValTypeFromKeyword(token);
    int dir = DirectiveIndex(token);
    if (vt != vtEndContext) {
        if (!(perm_ & pType)) Fail(token + " not allowed there");
        declType_ = vt;
        perm_ = pBlank;
        listFact_ = false;
    } else if (token == "endcontext") {
        if (!(perm_ & pType)) Fail("endcontext not allowed there");
        if (hive_.StackCount() == 0) Fail("endcontext without context");
        hive_.Pop();
        perm_ = pEnd;
        listFact_ = false;
    } else if (dir >= 0) {
        directive_ = dir;
        perm_ = pArgs;
        listFact_ = false;
    } else {
        Name(token);
    }
}

void StatementParser::Name(const AnsiString& token) {
    // Names with ':' are how definitions are stored; the writer leaves such tags out.
    if (token.Pos(":") > 0) FailSymbol(':');
    TDVContext* current = hive_.Current();
    name_ = token;
    tag_ = current->FindTag(token);
    if (!tag_ && (perm_ & pStart)) {
        if (TDVVarTag* def = current->FindContextDef(token)) tag_ = current->CopyTagFrom(def);
    }
    if (!tag_) {
        if (!(perm_ & pNewName)) Fail("Unknown ident '" + token + "' not allowed there");
        perm_ = pIndex | pAssign | pEnd;
        listFact_ = false;
    } else if (!(perm_ & pStart)) {
        if (declType_ == vtEndContext) Fail(token + " not allowed there");
        Fail("Ident '" + token + "': allready defined");
    } else {
        PermitFound(tag_);
    }
}

void StatementParser::PermitFound(TDVVarTag* t) {
    perm_ = pAssign | pEnd;
    if (t->ValType == vtContext) perm_ |= pMember | pOpen;
    if (t->Count() >= 2 || t->IsList()) perm_ |= pIndex;
    listFact_ = t->IsList();
}

// A pointer tag stands for its target wherever the statement goes on into it: a member, a block,
// a value that is no "&" path, or an index the pointer itself does not take.
void StatementParser::FollowPointers(char delim) {
    auto goesInto = [&] {
        return delim == '.' || delim == '{' || (delim == '=' && !in_.AtEnd() && text_[in_.Pos()] != '&') ||
               (delim == '[' && !(perm_ & pIndex));
    };
    while (tag_ && tag_->ValType == vtPointer && goesInto()) {
        AnsiString path;
        if (hops_ == 0)
            path = hive_.Current()->GetStringIdx(indexText_.IsEmpty() ? name_ : name_ + "[#]", indexText_);
        else
            path = PointerText(tag_, indexText_);
        if (++hops_ > DVLimits.MaxPointerHops) Fail("pointer chain too long or circular at '" + path + "'");
        int e = 0;
        TDVVarTag* target = hive_.PointerBase()->ResolvePath(path, e, true, true);
        if (!target) Fail("Unknown identifier in pointer: " + path);
        indexText_ = (e == -1 || target->IsList()) ? AnsiString() : IntToStr(e + 1);
        declType_ = vtEndContext;
        name_ = target->Name;
        tag_ = target;
        PermitFound(target);
    }
}

void StatementParser::Delimiter(char delim) {
    switch (delim) {
        case ' ':
            if (!(perm_ & pBlank)) FailSymbol(delim);
            perm_ = pNewName;
            break;
        case '[':
            if (!(perm_ & pIndex)) FailSymbol(delim);
            Index();
            return;  // keeps its own permissions
        case '.':
            if (!(perm_ & pMember)) FailSymbol(delim);
            Member();
            perm_ = pEnd;
            break;
        case '{':
            if (!(perm_ & pOpen)) FailSymbol(delim);
            Open();
            perm_ = pEnd;
            break;
        case '}':
            if (!(perm_ & pEnd)) FailSymbol(delim);
            if (hive_.StackCount() == 0) Fail("'}' without context or '{'");
            hive_.Pop();
            perm_ = pEnd;
            break;
        case '(':
            if (!(perm_ & pArgs)) FailSymbol(delim);
            ReadValues(true);
            perm_ = pEnd;
            break;
        case '=':
            if (!(perm_ & pAssign)) FailSymbol(delim);
            ReadValues(directive_ >= 0);
            perm_ = pEnd;
            break;
        case 0:
            if (!(perm_ & pEnd)) Fail("end of line? structure not ended");
            return;
        default:
            FailSymbol(delim);
    }
    listFact_ = false;
}

void StatementParser::Index() {
    char stop = listFact_ ? in_.Next(indexText_, kListIdStops, false) : in_.Next(indexText_, kIndexChars, true);
    if (stop != ']') Fail("Arraydef syntax error; ']' ???");
    if (indexText_.IsEmpty()) indexText_ = "*";
    perm_ = 0;
    if (declType_ != vtContext) perm_ |= pAssign;
    if (!tag_) perm_ |= pEnd;
    if (tag_ && tag_->ValType == vtContext) perm_ |= pMember | pOpen;
    listFact_ = false;
}

// The rest of the statement is carried out in every selected element.
void StatementParser::Member() {
    std::vector<TDVContext*> contexts = Select(false);
    bool several = multiple_ || contexts.size() > 1;
    size_t rest = in_.Pos();
    for (TDVContext* c : contexts) {
        hive_.SetCurrent(c);
        StatementParser(hive_, text_, rest, true, several).Run();
    }
    in_.SkipToEnd();
}

// The selected elements are pushed, the last on top; the reader replays the block for the others.
void StatementParser::Open() {
    std::vector<TDVContext*> contexts = Select(true);
    // Inside a dotted statement nothing would replay the block for the other elements.
    if (dotted_ && (multiple_ || contexts.size() > 1)) FailSymbol('{');
    if (contexts.empty()) contexts.push_back(tag_->Context(0));
    for (TDVContext* c : contexts) hive_.Push(c);
    result_ = static_cast<int>(contexts.size()) - 1;
}

std::vector<TDVContext*> StatementParser::Select(bool forOpen) {
    std::vector<TDVContext*> out;
    if (indexText_.IsEmpty() && !tag_->IsList()) {
        if (tag_->Count() >= 2) Fail("'" + name_ + "' - array, [...] - required");
        indexText_ = "1";
    }
    TStringList entries;
    TDVContext* home = tag_->IsList() ? HomeOf(tag_) : startContext_;
    ParseIndexList(home, indexText_, &entries, tag_);
    if (!tag_->IsList()) {
        for (int i = 0; i < entries.Count(); ++i) {
            int n = StrToIntDef(entries[i], 0);
            if (n <= 0) Fail(forOpen ? AnsiString("Error in array size") : "Invalid index: " + entries[i]);
            out.push_back(tag_->Context(n - 1));
        }
    } else {
        for (int i = 0; i < entries.Count(); ++i) out.push_back(home->GetListTagByID(tag_, entries[i])->Context(0));
        if (!forOpen && out.empty()) out.push_back(tag_->Context(0));
    }
    return out;
}

// Values separated by ","; a directive's list ends with ")". Quoted values may hold any character.
void StatementParser::ReadValues(bool directiveMode) {
    if (in_.AtEnd()) {
        if (directiveMode) Fail("expected ')'");
        return;
    }
    const bool stripAmp = declType_ == vtPointer || (tag_ && tag_->ValType == vtPointer);
    const AnsiString stops(directiveMode ? ",)" : ",");
    char last = 0;
    AnsiString v;
    while (!in_.AtEnd()) {
        DVCountSteps(1);
        if (text_[in_.Pos()] == '"') {
            if (!in_.Quoted(v)) Fail("expected '\"'");
            if (directiveMode && in_.Skip(')')) last = ')';
            if (in_.Skip(',')) last = ',';
        } else {
            last = in_.Next(v, stops, false);
        }
        if (stripAmp && !v.IsEmpty() && v[1] == '&') v.Delete(1, 1);
        values_.Add(v);
    }
    if (directiveMode && last != ')') Fail("expected ')'");
}

// A declaration in an element of a context array defines the member for every element.
void StatementParser::Declare() {
    int32_t size = 1;
    if (indexText_ == "*") {
        size = -1;
    } else if (!indexText_.IsEmpty()) {
        size = StrToIntDef(indexText_, 0);
        if (size == 0 || size > DVLimits.MaxArraySize) Fail("Error in array size");
    }
    TDVContext* cur = hive_.Current();
    TDVVarTag* t = (!cur->GetParent() || cur->Owner->Count() == 1) ? cur->AddTag(name_, declType_, size)
                                                                   : cur->AddContextDef(name_, declType_, size);
    if (!t) Fail("Internal: Can't add tag to context");
    declared_ = true;
    if (declType_ == vtContext) {
        hive_.Push(t->Context(0));
        tag_ = nullptr;
    } else {
        tag_ = t;
    }
}

// Every selected element takes the whole value list from its own position on.
void StatementParser::StoreValues() {
    if (indexText_.IsEmpty() && !tag_->IsList()) {
        if (tag_->ValType == vtContext && tag_->Count() >= 2) Fail("'" + name_ + "' - array, [...] - required");
        indexText_ = "1";
    }
    TStringList entries;
    TDVContext* home = tag_->IsList() ? HomeOf(tag_) : hive_.Current();
    int n = ParseIndexList(home, indexText_, &entries, tag_);
    if (!tag_->IsList()) {
        for (int i = 0; i < entries.Count(); ++i) {
            int num = StrToIntDef(entries[i], 0);
            if (num <= 0) Fail("Invalid index: " + entries[i]);
            tag_->SetValuesFromText(&values_, declared_ ? 0 : num - 1);
        }
    } else if (n == 0) {
        tag_->SetValuesFromText(&values_, 0);
    } else {
        for (int i = 0; i < entries.Count(); ++i)
            home->GetListTagByID(tag_, entries[i])->SetValuesFromText(&values_, 0);
    }
}

}  // namespace

int ParseIndexList(TDVContext* context, const AnsiString& text, TStrings* list, TDVVarTag* tag) {
    TTokenReader in(text.str());
    AnsiString piece;
    int count = 0;
    while (!in.AtEnd()) {
        char d = in.Next(piece, ",-", false);
        if (d == '-') {
            int64_t low = piece.IsEmpty() ? 1 : StrToIntDef(piece, 0);
            in.Next(piece, "0123456789", true);
            int64_t high = piece.IsEmpty() ? tag->Count() : StrToIntDef(piece, 0);
            if (low == 0 || high == 0) throw Exception("Error in array. Zero index or invalid use of '-' operator.");
            if (!tag->IsList()) {
                // The first number beyond the array still goes through, so its accessor refuses it.
                high = std::min<int64_t>(high, std::max<int64_t>(low, int64_t(tag->Count()) + 1));
            } else if (high - low + 1 > DVLimits.MaxListRange) {
                throw Exception("Error in array. Range of more than " + IntToStr(DVLimits.MaxListRange) + " IDs.");
            }
            if (high >= low) DVCountSteps(high - low + 1);
            for (int64_t v = low; v <= high; ++v) {
                list->Add(IntToStr(v));
                ++count;
            }
        } else if (piece != "*") {
            DVCountSteps(1);
            list->Add(piece);
            ++count;
        } else if (tag->IsList()) {
            int n = context->CollectListIDs(tag, list);
            DVCountSteps(n);
            count += n;
        } else {
            DVCountSteps(tag->Count());
            for (int v = 1; v <= tag->Count(); ++v) list->Add(IntToStr(v));
            count += tag->Count();
        }
    }
    return count;
}

int TDVContextHive::ParseLine(AnsiString statement) {
    return StatementParser(*this, statement.str(), 0, false, false).Run();
}
