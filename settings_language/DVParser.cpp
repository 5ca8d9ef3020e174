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

}  // namespace

int ParseIndexList(TDVContext* context, const AnsiString& text, TStrings* list, TDVVarTag* tag) {
    AnsiString rest = text;
    AnsiString piece;
    int count = 0;
    while (!rest.IsEmpty()) {
        char d = ExtractToken(rest, piece, ",-", false);
        if (d == '-') {
            int64_t low = piece.IsEmpty() ? 1 : StrToIntDef(piece, 0);
            ExtractToken(rest, piece, "0123456789", true);
            int64_t high = piece.IsEmpty() ? tag->Count() : StrToIntDef(piece, 0);
            if (low == 0 || high == 0) throw Exception("Error in array. Zero index or invalid use of '-' operator.");
            if (!tag->IsList()) {
                // The first number beyond the array still goes through, so its accessor refuses it.
                high = std::min<int64_t>(high, std::max<int64_t>(low, int64_t(tag->Count()) + 1));
            } else if (high - low + 1 > DVLimits.MaxListRange) {
                throw Exception("Error in array. Range of more than " + IntToStr(DVLimits.MaxListRange) + " IDs.");
            }
            for (int64_t v = low; v <= high; ++v) {
                list->Add(IntToStr(v));
                ++count;
            }
        } else if (piece != "*") {
            list->Add(piece);
            ++count;
        } else if (tag->IsList()) {
            count += context->CollectListIDs(tag, list);
        } else {
            for (int v = 1; v <= tag->Count(); ++v) list->Add(IntToStr(v));
            count += tag->Count();
        }
    }
    return count;
}

int TDVContextHive::ParseLine(AnsiString statement) {
    if (statement.IsEmpty()) return 0;
    DVCountStatement();
    return Parse(std::move(statement), false, false);
}

// dotted: the remainder of a dotted statement; multiple: that statement selected several elements.
int TDVContextHive::Parse(AnsiString statement, bool dotted, bool multiple) {
    if (statement.IsEmpty()) return 0;
    const AnsiString stmt = statement;
    auto fail = [&](const AnsiString& text) { throw Exception(" " + text + "; Line='" + stmt + "'"); };
    auto failSymbol = [&](char c) { fail(AnsiString("symbol '") + c + "' not allowed there"); };

    TDVContext* const startContext = current_;
    AnsiString rest = statement;
    AnsiString token, name, indexText;
    uint8_t declType = vtEndContext;
    TDVVarTag* tag = nullptr;
    int directive = -1;
    bool declared = false;
    TStringList values;
    int result = 0;
    uint32_t perm = pType | pStart | pEnd;
    bool listFact = false;
    int hops = 0;

    auto permitFound = [&](TDVVarTag* t) {
        perm = pAssign | pEnd;
        if (t->ValType == vtContext) perm |= pMember | pOpen;
        if (t->Count() >= 2 || t->IsList()) perm |= pIndex;
        listFact = t->IsList();
    };

    // A list element lives beside its template, wherever the statement reached the template from.
    auto homeOf = [&](TDVVarTag* t) { return t->Parent ? t->Parent : current_; };

    auto select = [&](bool forOpen) {
        std::vector<TDVContext*> out;
        if (indexText.IsEmpty() && !tag->IsList()) {
            if (tag->Count() >= 2) fail("'" + name + "' - array, [...] - required");
            indexText = "1";
        }
        TStringList entries;
        TDVContext* home = tag->IsList() ? homeOf(tag) : startContext;
        ParseIndexList(home, indexText, &entries, tag);
        if (!tag->IsList()) {
            for (int i = 0; i < entries.Count(); ++i) {
                int n = StrToIntDef(entries[i], 0);
                if (n <= 0) fail(forOpen ? AnsiString("Error in array size") : "Invalid index: " + entries[i]);
                out.push_back(tag->Context(n - 1));
            }
        } else {
            for (int i = 0; i < entries.Count(); ++i) out.push_back(home->GetListTagByID(tag, entries[i])->Context(0));
            if (!forOpen && out.empty()) out.push_back(tag->Context(0));
        }
        return out;
    };

    auto readValues = [&](bool directiveMode) {
        if (rest.IsEmpty()) {
            if (directiveMode) fail("expected ')'");
            return;
        }
        bool stripAmp = declType == vtPointer || (tag && tag->ValType == vtPointer);
        char last = 0;
        while (!rest.IsEmpty()) {
            AnsiString v;
            if (rest[1] == '"') {
                // Inside quotes a doubled '"' stands for one; an opening quote closed at once is the empty text.
                const std::string& r = rest.str();
                std::string text;
                size_t i = 1;
                bool closed = false;
                while (i < r.size()) {
                    if (r[i] == '"') {
                        if (i + 1 < r.size() && r[i + 1] == '"') {
                            text += '"';
                            i += 2;
                            continue;
                        }
                        closed = true;
                        ++i;
                        break;
                    }
                    text += r[i++];
                }
                if (!closed) fail("expected '\"'");
                rest = AnsiString(r.substr(i));
                if (directiveMode && !rest.IsEmpty() && rest[1] == ')') {
                    rest.Delete(1, 1);
                    last = ')';
                }
                if (!rest.IsEmpty() && rest[1] == ',') {
                    rest.Delete(1, 1);
                    last = ',';
                }
                v = AnsiString(std::move(text));
            } else {
                last = ExtractToken(rest, v, directiveMode ? ",)" : ",", false);
            }
            if (stripAmp && !v.IsEmpty() && v[1] == '&') v.Delete(1, 1);
            values.Add(v);
        }
        if (directiveMode && last != ')') fail("expected ')'");
    };

    while (!rest.IsEmpty()) {
        char delim = ExtractToken(rest, token, kTokenDelimiters, false);
        if (!token.IsEmpty()) {
            uint8_t vt = ValTypeFromKeyword(token);
            int dir = DirectiveIndex(token);
            if (vt != vtEndContext) {
                if (!(perm & pType)) fail(token + " not allowed there");
                declType = vt;
                perm = pBlank;
                listFact = false;
            } else if (token == "endcontext") {
                if (!(perm & pType)) fail("endcontext not allowed there");
                if (stack_.empty()) fail("endcontext without context");
                Pop();
                perm = pEnd;
                listFact = false;
            } else if (dir >= 0) {
                directive = dir;
                perm = pArgs;
                listFact = false;
            } else {
                // Names with ':' are how definitions are stored; the writer leaves such tags out.
                if (token.Pos(":") > 0) failSymbol(':');
                name = token;
                tag = current_->FindTag(token);
                if (!tag && (perm & pStart)) {
                    if (TDVVarTag* def = current_->FindContextDef(token)) tag = current_->CopyTagFrom(def);
                }
                if (!tag) {
                    if (!(perm & pNewName)) fail("Unknown ident '" + token + "' not allowed there");
                    perm = pIndex | pAssign | pEnd;
                    listFact = false;
                } else if (!(perm & pStart)) {
                    if (declType == vtEndContext) fail(token + " not allowed there");
                    fail("Ident '" + token + "': allready defined");
                } else {
                    permitFound(tag);
                }
            }
        }

        while (tag && tag->ValType == vtPointer &&
               (delim == '.' || delim == '{' || (delim == '=' && !rest.IsEmpty() && rest[1] != '&') ||
                (delim == '[' && !(perm & pIndex)))) {
            AnsiString path;
            if (hops == 0)
                path = current_->GetStringIdx(indexText.IsEmpty() ? name : name + "[#]", indexText);
            else
                path = PointerText(tag, indexText);
            if (++hops > DVLimits.MaxPointerHops) fail("pointer chain too long or circular at '" + path + "'");
            int e = 0;
            TDVVarTag* target = pointerBase_->ResolvePath(path, e, true, true);
            if (!target) fail("Unknown identifier in pointer: " + path);
            indexText = (e == -1 || target->IsList()) ? AnsiString() : IntToStr(e + 1);
            declType = vtEndContext;
            name = target->Name;
            tag = target;
            permitFound(target);
        }

        switch (delim) {
            case ' ':
                if (!(perm & pBlank)) failSymbol(delim);
                perm = pNewName;
                listFact = false;
                break;
            case '[': {
                if (!(perm & pIndex)) failSymbol(delim);
                char stop = listFact ? ExtractToken(rest, indexText, kListIdStops, false)
                                     : ExtractToken(rest, indexText, kIndexChars, true);
                if (stop != ']') fail("Arraydef syntax error; ']' ???");
                if (indexText.IsEmpty()) indexText = "*";
                perm = 0;
                if (declType != vtContext) perm |= pAssign;
                if (!tag) perm |= pEnd;
                if (tag && tag->ValType == vtContext) perm |= pMember | pOpen;
                listFact = false;
                break;
            }
            case '.': {
                if (!(perm & pMember)) failSymbol(delim);
                std::vector<TDVContext*> contexts = select(false);
                bool several = multiple || contexts.size() > 1;
                for (TDVContext* c : contexts) {
                    SetCurrent(c);
                    Parse(rest, true, several);
                }
                rest = AnsiString();
                perm = pEnd;
                listFact = false;
                break;
            }
            case '{': {
                if (!(perm & pOpen)) failSymbol(delim);
                std::vector<TDVContext*> contexts = select(true);
                // Inside a dotted statement nothing would replay the block for the other elements.
                if (dotted && (multiple || contexts.size() > 1)) failSymbol('{');
                if (contexts.empty()) contexts.push_back(tag->Context(0));
                for (TDVContext* c : contexts) Push(c);
                result = static_cast<int>(contexts.size()) - 1;
                perm = pEnd;
                listFact = false;
                break;
            }
            case '}':
                if (!(perm & pEnd)) failSymbol(delim);
                if (stack_.empty()) fail("'}' without context or '{'");
                Pop();
                perm = pEnd;
                listFact = false;
                break;
            case '(':
                if (!(perm & pArgs)) failSymbol(delim);
                readValues(true);
                perm = pEnd;
                listFact = false;
                break;
            case '=':
                if (!(perm & pAssign)) failSymbol(delim);
                readValues(directive >= 0);
                perm = pEnd;
                listFact = false;
                break;
            case 0:
                if (!(perm & pEnd)) fail("end of line? structure not ended");
                break;
            default:
                failSymbol(delim);
        }
    }

    if (directive >= 0) {
        current_->ExecuteDirective(directive, &values);
        UpdateCurrent();
        return result;
    }
    if (declType != vtEndContext) {
        int32_t size = 1;
        if (indexText == "*") {
            size = -1;
        } else if (!indexText.IsEmpty()) {
            size = StrToIntDef(indexText, 0);
            if (size == 0 || size > DVLimits.MaxArraySize) fail("Error in array size");
        }
        TDVContext* cur = current_;
        TDVVarTag* t = (!cur->GetParent() || cur->Owner->Count() == 1) ? cur->AddTag(name, declType, size)
                                                                        : cur->AddContextDef(name, declType, size);
        if (!t) fail("Internal: Can't add tag to context");
        declared = true;
        if (declType == vtContext) {
            Push(t->Context(0));
            tag = nullptr;
        } else {
            tag = t;
        }
    }
    if (tag && values.Count() > 0) {
        if (indexText.IsEmpty() && !tag->IsList()) {
            if (tag->ValType == vtContext && tag->Count() >= 2) fail("'" + name + "' - array, [...] - required");
            indexText = "1";
        }
        TStringList entries;
        TDVContext* home = tag->IsList() ? homeOf(tag) : current_;
        int n = ParseIndexList(home, indexText, &entries, tag);
        if (!tag->IsList()) {
            for (int i = 0; i < entries.Count(); ++i) {
                int num = StrToIntDef(entries[i], 0);
                if (num <= 0) fail("Invalid index: " + entries[i]);
                tag->SetValuesFromText(&values, declared ? 0 : num - 1);
            }
        } else if (n == 0) {
            tag->SetValuesFromText(&values, 0);
        } else {
            for (int i = 0; i < entries.Count(); ++i) home->GetListTagByID(tag, entries[i])->SetValuesFromText(&values, 0);
        }
    }
    UpdateCurrent();
    return result;
}
