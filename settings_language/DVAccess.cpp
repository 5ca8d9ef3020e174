#include <algorithm>
#include <cfloat>
#include <cmath>

#include "DVInternal.h"
#include "SysUtils.h"
#include "Tdevelopervariables.h"

AnsiString DVOneLine(const AnsiString& text) {
    std::string s = text.str();
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return AnsiString(std::move(s));
}

AnsiString DVQuote(const AnsiString& text) {
    std::string out = "\"";
    for (char c : text.str()) {
        if (c == '"') out += '"';
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    out += '"';
    return AnsiString(std::move(out));
}

// ---------------------------------------------------------------------------------------------
// Value text

AnsiString TDVVarTag::AsText(int index) {
    bool all = index < 0;
    int from = all ? 0 : index;
    int to = all ? Count() : index + 1;
    std::string r;
    for (int i = from; i < to; ++i) {
        AnsiString e;
        switch (ValType) {
            case vtInteger:
                e = IntToStr(Integer(i));
                break;
            case vtFloat:
                e = FloatToStrF(Float(i), ffGeneral, 7, 10);
                break;
            case vtBool:
                e = Bool(i) ? "1" : "0";
                break;
            case vtString:
                e = all ? DVQuote(String(i)) : String(i);
                break;
            case vtPointer:
                e = "&" + DVOneLine(String(i));
                break;
            default:
                return "Invalid tag type or Context";
        }
        if (!r.empty()) r += ',';
        r += e.str();
    }
    return AnsiString(std::move(r));
}

int TDVVarTag::SetValuesFromText(TStrings* texts, int start) {
    int n = texts->Count();
    for (int i = 0; i < n; ++i) {
        const AnsiString& t = texts->Strings(i);
        int e = start + i;
        switch (ValType) {
            case vtInteger: {
                int32_t v = StrToInt(t);
                Integer(e) = v;
                break;
            }
            case vtFloat: {
                double d = StrToFloat(t);
                // A float tag cannot hold it, and the infinity it would become cannot be written back.
                if (std::fabs(d) > FLT_MAX) throw EConvertError("'" + t + "' is not a valid floating point value");
                Float(e) = static_cast<float>(d);
                break;
            }
            case vtBool: {
                bool v = StrToInt(t) != 0;
                Bool(e) = v;
                break;
            }
            case vtString:
            case vtPointer:
                DVCountBytes(t.Length());
                String(e) = t;
                break;
            default:
                throw Exception(" Invalid tag type");
        }
    }
    return n;
}

// ---------------------------------------------------------------------------------------------
// Typed access

TDVVarTag* TDVContext::ResolveForAccess(const AnsiString& path, int& index, bool create, bool followPointers) {
    AnsiString p = NormalizeLine(path);
    TDVContext* from = this;
    for (int hops = 0;; ++hops) {
        TDVVarTag* t = from->ResolvePath(p, index, create, true);
        if (!followPointers || t->ValType != vtPointer) return t;
        if (hops >= DVLimits.MaxPointerHops)
            throw Exception("TDVContext: pointer chain too long or circular: '" + NormalizeLine(path) + "' reaches '" +
                            p + "'");
        p = NormalizeLine(t->String(index));
        from = GetRoot();
    }
}

TDVVarTag* TDVContext::ResolveFollowing(const AnsiString& path, int& index, bool create) {
    TDVVarTag* t = ResolveForAccess(path, index, create, true);
    if (t->ValType == vtContext) throw Exception(" Can't convert context");
    return t;
}

AnsiString TDVContext::GetString(const AnsiString& path) {
    int idx;
    TDVVarTag* t = ResolveForAccess(path, idx, false, false);
    if (t->ValType == vtContext) throw Exception(" Can't convert context");
    return t->String(std::max(idx, 0));
}

AnsiString TDVContext::GetValueAsString(const AnsiString& path) {
    int idx;
    return ResolveFollowing(path, idx, false)->AsText(idx);
}

int32_t TDVContext::GetInteger(const AnsiString& path) {
    int idx;
    return ResolveFollowing(path, idx, false)->Integer(std::max(idx, 0));
}

bool TDVContext::GetBool(const AnsiString& path) {
    int idx;
    return ResolveFollowing(path, idx, false)->Bool(std::max(idx, 0));
}

float TDVContext::GetFloat(const AnsiString& path) {
    int idx;
    return ResolveFollowing(path, idx, false)->Float(std::max(idx, 0));
}

TDVContext* TDVContext::GetContext(const AnsiString& path) {
    int idx;
    TDVVarTag* t = ResolveForAccess(path, idx, false, true);
    if (t->ValType != vtContext) throw Exception(" context not found");
    return t->Context(std::max(idx, 0));
}

AnsiString TDVContext::SetString(const AnsiString& path, const AnsiString& value) {
    int idx;
    ResolveFollowing(path, idx, true)->String(idx) = value;
    return value;
}

int32_t TDVContext::SetInteger(const AnsiString& path, int32_t value) {
    int idx;
    ResolveFollowing(path, idx, true)->Integer(std::max(idx, 0)) = value;
    return value;
}

bool TDVContext::SetBool(const AnsiString& path, bool value) {
    int idx;
    ResolveFollowing(path, idx, true)->Bool(std::max(idx, 0)) = value;
    return value;
}

float TDVContext::SetFloat(const AnsiString& path, float value) {
    int idx;
    ResolveFollowing(path, idx, true)->Float(std::max(idx, 0)) = value;
    return value;
}

// 0 means "no argument"; the chain ends at the first absent one.
static void PushIntegers(int32_t i1, int32_t i2, int32_t i3) {
    GlobalIndxQueue.Clear();
    if (i1 <= 0) return;
    GlobalIndxQueue.PushInteger(i1);
    if (i2 <= 0) return;
    GlobalIndxQueue.PushInteger(i2);
    if (i3 <= 0) return;
    GlobalIndxQueue.PushInteger(i3);
}

static void PushTexts(const AnsiString& s1, const AnsiString& s2, const AnsiString& s3) {
    static const AnsiString zero("0");
    GlobalIndxQueue.Clear();
    if (!(s1 > zero)) return;
    GlobalIndxQueue.PushString(s1);
    if (!(s2 > zero)) return;
    GlobalIndxQueue.PushString(s2);
    if (!(s3 > zero)) return;
    GlobalIndxQueue.PushString(s3);
}

int32_t TDVContext::GetIntegerIdx(const AnsiString& path, int32_t i1, int32_t i2, int32_t i3) {
    PushIntegers(i1, i2, i3);
    return GetInteger(path);
}

float TDVContext::GetFloatIdx(const AnsiString& path, int32_t i1, int32_t i2, int32_t i3) {
    PushIntegers(i1, i2, i3);
    return GetFloat(path);
}

int32_t TDVContext::SetIntegerIdx(const AnsiString& path, int32_t value, int32_t i1, int32_t i2, int32_t i3) {
    PushIntegers(i1, i2, i3);
    return SetInteger(path, value);
}

float TDVContext::SetFloatIdx(const AnsiString& path, float value, int32_t i1, int32_t i2, int32_t i3) {
    PushIntegers(i1, i2, i3);
    return SetFloat(path, value);
}

AnsiString TDVContext::GetValueAsStringIdx(const AnsiString& path, const AnsiString& s1, const AnsiString& s2,
                                           const AnsiString& s3) {
    PushTexts(s1, s2, s3);
    return GetValueAsString(path);
}

AnsiString TDVContext::GetStringIdx(const AnsiString& path, const AnsiString& s1, const AnsiString& s2,
                                    const AnsiString& s3) {
    PushTexts(s1, s2, s3);
    return GetString(path);
}

int TDVContext::EnumListIDs(const AnsiString& path, TStrings* ids) {
    int idx;
    TDVVarTag* t = ResolveForAccess(path, idx, false, false);
    if (!t->IsList()) throw Exception("TDVContext::EnumListIDs: " + t->Name + " not a list.");
    return (t->Parent ? t->Parent : this)->CollectListIDs(t, ids);
}

bool TDVContext::TagExists(const AnsiString& path) {
    int idx;
    return ResolvePath(path, idx, false, false) != nullptr;
}

void TDVContext::RemoveTag(const AnsiString& path) {
    AnsiString p = NormalizeLine(path);
    int idx;
    TDVVarTag* t = ResolvePath(p, idx, false, true);
    if (t->IsList() && p.Length() >= 2 && p[p.Length()] == ']' && p[p.Length() - 1] != '[')
        return;  // an element that does not exist resolves to its template, which must stay
    for (size_t i = 0; i < tags_.size(); ++i) {
        if (tags_[i].get() != t) continue;
        tags_.erase(tags_.begin() + static_cast<std::ptrdiff_t>(i));
        Reindex();
        return;
    }
}

uint8_t TDVContext::GetValType(const AnsiString& path) {
    int idx;
    return ResolveForAccess(path, idx, false, false)->ValType;
}

void TDVContext::GetTagNames(TStrings* names, bool all) {
    for (auto& t : tags_) {
        const std::string& n = t->Name.str();
        if (!all && n.find_first_of(":[") != std::string::npos) continue;
        names->Add(t->Name);
    }
}
