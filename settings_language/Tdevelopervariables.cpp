#include "Tdevelopervariables.h"

#include <algorithm>

#include "DVInternal.h"
#include "SysUtils.h"

const char* const DVKeywords[10] = {"context",    "integer", "float", "bool",       "string",
                                    "endcontext", "pointer", "morph", "auto_morph", "include"};

TDVLimits DVLimits;

uint8_t ValTypeFromKeyword(const AnsiString& word) {
    for (uint8_t i = 0; i < 7; ++i)
        if (word == DVKeywords[i]) return i;
    return vtEndContext;
}

int DirectiveIndex(const AnsiString& word) {
    for (int i = 7; i < 10; ++i)
        if (word == DVKeywords[i]) return i - 7;
    return -1;
}

namespace {

// What a tag, a context and an element take beyond their own object: the name index's node, the
// slot in the tag list, the allocator's bookkeeping.
const int64_t kTagBytes = sizeof(TDVVarTag) + 96;
const int64_t kContextBytes = sizeof(TDVContext) + 32;

int64_t ElementBytes(uint8_t valType) {
    switch (valType) {
        case vtInteger:
            return sizeof(int32_t);
        case vtFloat:
            return sizeof(float);
        case vtBool:
            return sizeof(bool);
        case vtString:
        case vtPointer:
            return sizeof(AnsiString);
        default:
            return sizeof(std::unique_ptr<TDVContext>);
    }
}

// A context's tags are scanned by name in a few places; one step per this many tags.
const size_t kTagsPerStep = 64;

int64_t TextBytes(const std::vector<AnsiString>& texts) {
    int64_t n = 0;
    for (const AnsiString& t : texts) n += t.Length();
    return n;
}

}  // namespace

static const char* ReservedWord(const AnsiString& name) {
    for (const char* k : DVKeywords)
        if (name == k) return k;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// TDVVarTag

TDVVarTag::TDVVarTag(const AnsiString& name, uint8_t valType, int32_t arraySize, TDVContext* parent)
    : Name(name), Parent(parent), ValType(valType), ArraySize(arraySize < 0 ? -1 : arraySize) {
    if (arraySize == 0) throw Exception("Can not create zero length tag");
    size_t n = static_cast<size_t>(Count());
    DVCountBytes(kTagBytes + 2 * name.Length() + static_cast<int64_t>(n) * ElementBytes(valType));
    switch (valType) {
        case vtInteger:
            ints_.assign(n, 0);
            break;
        case vtFloat:
            floats_.assign(n, 0.0f);
            break;
        case vtBool:
            bools_.reset(new bool[n]());
            break;
        case vtString:
        case vtPointer:
            strings_.resize(n);
            break;
        case vtContext:
            if (parent && parent->Depth() >= DVLimits.MaxContextDepth) throw Exception(" Context nesting too deep");
            contexts_.resize(n);
            break;
        default:
            throw Exception(" Unknown ValType");
    }
}

TDVVarTag::~TDVVarTag() = default;

void TDVVarTag::Refuse(const char* accessor) const {
    throw Exception(AnsiString("TDVVarTag::") + accessor + ": index out of range or ValType is invalid");
}

int32_t& TDVVarTag::Integer(int index) {
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(Count()) || ValType != vtInteger) Refuse("Integer");
    return ints_[static_cast<size_t>(index)];
}

float& TDVVarTag::Float(int index) {
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(Count()) || ValType != vtFloat) Refuse("Float");
    return floats_[static_cast<size_t>(index)];
}

bool& TDVVarTag::Bool(int index) {
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(Count()) || ValType != vtBool) Refuse("Bool");
    return bools_[static_cast<size_t>(index)];
}

AnsiString& TDVVarTag::String(int index) {
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(Count()) || (ValType != vtString && ValType != vtPointer))
        Refuse("String");
    return strings_[static_cast<size_t>(index)];
}

TDVContext* TDVVarTag::Context(int index) {
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(Count()) || ValType != vtContext) Refuse("Context");
    auto& slot = contexts_[static_cast<size_t>(index)];
    if (!slot) {
        DVCountBytes(kContextBytes);
        slot = std::make_unique<TDVContext>(this);
    }
    return slot.get();
}

TDVContext* TDVVarTag::ContextIfMade(int index) const {
    if (ValType != vtContext || static_cast<unsigned>(index) >= static_cast<unsigned>(Count())) return nullptr;
    return contexts_[static_cast<size_t>(index)].get();
}

void TDVVarTag::CopyTagValue(TDVVarTag* source) {
    if (!source || source->ValType != ValType || source->Count() != Count())
        throw Exception("TDVVarTag::CopyTagValue: Type or ArraySize different!");
    switch (ValType) {
        case vtInteger:
            ints_ = source->ints_;
            break;
        case vtFloat:
            floats_ = source->floats_;
            break;
        case vtBool:
            for (int i = 0; i < Count(); ++i) bools_[i] = source->bools_[i];
            break;
        case vtString:
        case vtPointer:
            DVCountBytes(TextBytes(source->strings_));
            strings_ = source->strings_;
            break;
        case vtContext:
            break;
        default:
            throw Exception(" Unknown ValType");
    }
}

// ---------------------------------------------------------------------------------------------
// TDVContext: data model

TDVContext::TDVContext(TDVVarTag* owner) : Owner(owner), BaseDirSet(false) { DecimalSeparator = '.'; }

TDVContext::~TDVContext() { Clear(); }

void TDVContext::Clear() {
    // First to last, as the tags were made.
    for (auto& t : tags_) t.reset();
    tags_.clear();
    index_.clear();
}

AnsiString TDVContext::GetName() const { return Owner ? Owner->Name : AnsiString("$ROOT$"); }

TDVContext* TDVContext::GetParent() const { return Owner ? Owner->Parent : nullptr; }

TDVContext* TDVContext::GetRoot() {
    TDVContext* c = this;
    while (TDVContext* p = c->GetParent()) c = p;
    return c;
}

int TDVContext::Depth() const {
    int d = 0;
    for (const TDVContext* c = this; c->GetParent(); c = c->GetParent()) ++d;
    return d;
}

TDVVarTag* TDVContext::FindTag(const AnsiString& name) const {
    auto it = index_.find(name.str());
    return it == index_.end() ? nullptr : it->second;
}

TDVVarTag* TDVContext::Append(std::unique_ptr<TDVVarTag> tag) {
    // Room first, so that once the index holds the tag nothing can fail: a failing load leaves
    // every context with its tags and its index alike.
    if (tags_.size() == tags_.capacity()) tags_.reserve(std::max<size_t>(8, 2 * tags_.capacity()));
    TDVVarTag* t = tag.get();
    index_.emplace(t->Name.str(), t);  // keeps the first tag of a name
    tags_.push_back(std::move(tag));
    return t;
}

void TDVContext::Reindex() {
    index_.clear();
    for (auto& t : tags_) index_.emplace(t->Name.str(), t.get());
}

TDVVarTag* TDVContext::AddTag(const AnsiString& name, uint8_t valType, int32_t arraySize) {
    if (const char* k = ReservedWord(name))
        throw Exception(AnsiString("TDVContext::AddTag: Ident name invalid. Word (") + k + ") reserved.");
    if (FindTag(name)) throw Exception(" Ident name allready used");
    return Append(std::make_unique<TDVVarTag>(name, valType, arraySize, this));
}

TDVVarTag* TDVContext::AddContextDef(const AnsiString& name, uint8_t valType, int32_t arraySize) {
    TDVContext* parent = GetParent();
    if (!parent) throw Exception(" ROOT context. can not add defs!");
    if (const char* k = ReservedWord(name))
        throw Exception(AnsiString("TDVContext::AddContextDef: Ident name invalid. Word (") + k + ") reserved.");
    AnsiString defName = GetName() + "::" + name;
    if (parent->FindTag(defName)) throw Exception(" Ident name allready used");
    return parent->Append(std::make_unique<TDVVarTag>(defName, valType, arraySize, this));
}

TDVVarTag* TDVContext::FindContextDef(const AnsiString& name) {
    int br = name.Pos("[");
    if (br > 0) return FindTag(name.SubString(1, br - 1));
    TDVContext* parent = GetParent();
    if (!parent) return nullptr;
    AnsiString own = GetName();
    int ownBr = own.Pos("[");
    if (ownBr > 0) {
        TDVVarTag* tmpl = parent->FindTag(own.SubString(1, ownBr - 1));
        if (!tmpl || tmpl->ValType != vtContext) return nullptr;
        return tmpl->Context(0)->FindTag(name);
    }
    return parent->FindTag(own + "::" + name);
}

TDVVarTag* TDVContext::CopyTagFrom(TDVVarTag* source) {
    if (!source) return nullptr;
    AnsiString name = source->Name;
    int colon = name.Pos(":");
    if (colon > 0) name = name.SubString(colon + 2, name.Length());
    TDVVarTag* t = AddTag(name, source->ValType, source->IsList() ? -1 : source->Count());
    t->CopyTagValue(source);
    if (t->ValType != vtContext) return t;
    if (source->IsList() || source->Count() == 1) {
        if (TDVContext* from = source->ContextIfMade(0)) {
            // Snapshot: instantiating may append to contexts the source tree shares.
            std::vector<TDVVarTag*> members;
            for (auto& m : from->tags_) members.push_back(m.get());
            TDVContext* into = t->Context(0);
            for (TDVVarTag* m : members) into->CopyTagFrom(m);
        }
    }
    if (TDVContext* p = source->Parent) {
        DVCountSteps(static_cast<int64_t>(p->tags_.size() / kTagsPerStep));
        const AnsiString& full = source->Name;
        std::vector<TDVVarTag*> extensions;
        for (auto& e : p->tags_) {
            const std::string& en = e->Name.str();
            if (en.find(':') == std::string::npos) continue;
            size_t last = en.rfind("::");
            if (last != std::string::npos && en.compare(0, last, full.str()) == 0 && last == full.str().size())
                extensions.push_back(e.get());
        }
        for (TDVVarTag* e : extensions) CopyTagFrom(e);
    }
    return t;
}

TDVVarTag* TDVContext::GetListTagByID(TDVVarTag* listTemplate, const AnsiString& id) {
    if (id.Pos("*") > 0) throw Exception("TDVContext::GetListTagByID Invalid use symbol '*' in list ID");
    AnsiString elementName = listTemplate->Name + "[" + id + "]";
    if (TDVVarTag* t = FindTag(elementName)) return t;
    TDVVarTag* t = AddTag(elementName, listTemplate->ValType, 1);
    if (!FindTag(listTemplate->Name)) CopyTagFrom(listTemplate);
    if (!t) throw Exception("TDVContext::GetListTagByID Internal: Can't add tag to context");
    return t;
}

int TDVContext::CollectListIDs(TDVVarTag* listTemplate, TStrings* ids) const {
    DVCountSteps(static_cast<int64_t>(tags_.size() / kTagsPerStep));
    int n = 0;
    const std::string& ln = listTemplate->Name.str();
    for (auto& t : tags_) {
        const std::string& tn = t->Name.str();
        size_t br = tn.find('[');
        if (br == std::string::npos || br != ln.size() || tn.compare(0, br, ln) != 0) continue;
        ++n;
        if (ids) {
            size_t close = tn.find(']');
            size_t len = close == std::string::npos || close < br ? std::string::npos : close - br - 1;
            ids->Add(AnsiString(tn.substr(br + 1, len)));
        }
    }
    return n;
}

TDVVarTag* TDVContext::AddTagCopy(TDVVarTag* source) {
    auto t = std::make_unique<TDVVarTag>(source->Name, source->ValType, source->ArraySize, this);
    t->CopyTagValue(source);
    return Append(std::move(t));
}

void TDVContext::AssignInto(TDVContext* s) {
    BaseDir = s->BaseDir;
    BaseDirSet = s->BaseDirSet;
    for (auto& src : s->tags_) {
        TDVVarTag* t = AddTagCopy(src.get());
        if (t->ValType == vtContext)
            for (int i = 0; i < t->Count(); ++i)
                if (TDVContext* from = src->ContextIfMade(i)) t->Context(i)->AssignInto(from);
    }
    AnsiString prefix = s->GetName() + "::";
    const std::string& pre = prefix.str();
    for (TDVContext* p = s->GetParent(); p; p = s->GetParent()) {
        BaseDir = p->BaseDir;
        BaseDirSet = p->BaseDirSet;
        std::vector<TDVVarTag*> defs;
        for (auto& e : p->tags_) {
            const std::string& en = e->Name.str();
            size_t at = en.find(pre);
            while (at != std::string::npos && at != 0 && en[at - 1] != ':') at = en.find(pre, at + 1);
            if (at != std::string::npos) defs.push_back(e.get());
        }
        for (TDVVarTag* e : defs) {
            // A definition the copy already holds (copied, or brought along as an extension) is skipped.
            const AnsiString& en = e->Name;
            int colon = en.Pos(":");
            AnsiString instName = colon > 0 ? en.SubString(colon + 2, en.Length()) : en;
            if (FindTag(instName)) continue;
            CopyTagFrom(e);
        }
        prefix = p->GetName() + "::" + prefix;
        s = p;
    }
}

void TDVContext::Assign(TDVContext* source) {
    if (!source || source == this) return;
    // The copy is made aside first: the source may lie inside this context's subtree (clearing
    // would free it) or this context inside the source's (the copy would copy itself).
    TDVContext temp;
    try {
        temp.AssignInto(source);
    } catch (const Exception& e) {
        Clear();
        tags_ = std::move(temp.tags_);
        for (auto& t : tags_)
            if (t->Parent == &temp) t->Parent = this;
        Reindex();
        temp.tags_.clear();
        temp.index_.clear();
        throw Exception("TDVContext::Assign: " + e.Message);
    }
    Clear();
    tags_ = std::move(temp.tags_);
    temp.tags_.clear();
    temp.index_.clear();
    for (auto& t : tags_)
        if (t->Parent == &temp) t->Parent = this;
    Reindex();
    BaseDir = temp.BaseDir;
    BaseDirSet = temp.BaseDirSet;
}

// ---------------------------------------------------------------------------------------------
// Paths

static bool IsListIdStop(char c) {
    switch (c) {
        case ',':
        case '-':
        case '*':
        case '.':
        case '[':
        case ']':
        case '+':
        case '`':
        case '!':
        case '%':
        case '^':
        case '&':
        case '(':
        case ')':
        case ';':
        case ':':
        case '"':
        case '\'':
        case '\\':
        case '/':
        case '{':
        case '}':
        case '?':
            return true;
        default:
            return false;
    }
}

TDVVarTag* TDVContext::ResolvePath(const AnsiString& path, int& index, bool create, bool throwIfMissing) {
    try {
        const std::string& p = path.str();
        size_t i = 0;
        while (i < p.size() && p[i] != '.' && p[i] != '[') ++i;
        AnsiString name(p.substr(0, i));
        char sep = i < p.size() ? p[i] : 0;
        if (i < p.size()) ++i;
        if (name.IsEmpty()) throw Exception(" Ident expected");

        TDVVarTag* tag = FindTag(name);
        if (!tag) {
            TDVVarTag* def = FindContextDef(name);
            if (!def) throw Exception(" Unknown ident '" + name + "' in '" + GetName() + "'");
            tag = create ? CopyTagFrom(def) : def;
        }

        bool bracketed = false;
        AnsiString id;
        int idx = 0;
        if (sep == '[') {
            bracketed = true;
            size_t b = i;
            if (tag->IsList())
                while (i < p.size() && !IsListIdStop(p[i])) ++i;
            else
                while (i < p.size() && ((p[i] >= '0' && p[i] <= '9') || p[i] == '#')) ++i;
            if (i >= p.size() || p[i] != ']') throw Exception(" Arraydef syntax error; ']' ???");
            bool placeholder = i - b == 1 && p[b] == '#';
            AnsiString sel = placeholder ? GlobalIndxQueue.PopString() : AnsiString(p.substr(b, i - b));
            ++i;
            if (placeholder) {
                // An argument must not smuggle in what a written path could not hold.
                if (tag->IsList())
                    for (char c : sel.str())
                        if (IsListIdStop(c) || c == '\r' || c == '\n')
                            throw Exception(" Arraydef syntax error; ']' ???");
            }
            if (tag->IsList()) {
                id = sel;
            } else {
                int n = StrToIntDef(sel, 0);
                if (n <= 0) throw Exception(" Array index error: must be > 0");
                idx = n - 1;
            }
            if (i >= p.size())
                sep = 0;
            else if (p[i] == '.') {
                sep = '.';
                ++i;
            } else
                sep = '?';
        }

        // A list element stands beside its template; without create a missing one reads as the template.
        auto element = [&]() -> TDVVarTag* {
            TDVContext* home = tag->Parent ? tag->Parent : this;
            AnsiString en = tag->Name + "[" + id + "]";
            if (TDVVarTag* e = home->FindTag(en)) return e;
            if (!create) return tag;
            TDVVarTag* e = home->AddTag(en, tag->ValType, 1);
            if (e->ValType != vtContext) e->CopyTagValue(tag);
            return e;
        };

        if (sep == '.') {
            if (tag->ValType != vtContext) throw Exception(" Symbol '.' not permited '" + name + "' != context");
            if (tag->IsList() && !id.IsEmpty()) {
                tag = element();
                idx = 0;
            } else if (!bracketed) {
                idx = 0;
            }
            AnsiString rest(p.substr(i));
            return tag->Context(idx)->ResolvePath(rest, index, create, true);
        }
        if (sep == 0) {
            if (!bracketed)
                idx = tag->Count() == 1 ? 0 : -1;
            else if (tag->IsList()) {
                if (!id.IsEmpty()) tag = element();
                idx = 0;
            }
            index = idx;
            return tag;
        }
        throw Exception(" error encoding idents");
    } catch (const Exception& e) {
        if (throwIfMissing) throw Exception(e.Message);
        return nullptr;
    }
}
