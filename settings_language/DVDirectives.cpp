#include <cfloat>
#include <climits>
#include <cmath>

#include "DVInternal.h"
#include "SysUtils.h"
#include "Tdevelopervariables.h"

namespace {

// Interpolated values stay representable: no infinity in a float tag, no undefined conversion.
float Finite(float x) {
    if (std::isnan(x)) return 0.0f;
    if (x > FLT_MAX) return FLT_MAX;
    if (x < -FLT_MAX) return -FLT_MAX;
    return x;
}

int32_t TruncateToInt(float x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483648.0f) return INT32_MAX;
    if (x <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(x);
}

}  // namespace

void TDVContext::ExecuteDirective(int directive, TStrings* args) {
    if (directive < 0 || directive > 2) return;
    const char* word = DVKeywords[7 + directive];
    try {
        switch (directive) {
            case 0: {
                if (args->Count() != 3) throw Exception("count?");
                int32_t to = StrToInt(args->Strings(2));
                int32_t from = StrToInt(args->Strings(1));
                Morph(args->Strings(0), from, to);
                break;
            }
            case 1:
                if (args->Count() != 1) throw Exception("count?");
                AutoMorph(args->Strings(0));
                break;
            case 2:
                if (args->Count() < 1) throw Exception("include err: no file(s) specified");
                for (int i = 0; i < args->Count(); ++i) LoadFromFile(args->Strings(i), true);
                break;
        }
    } catch (const Exception& e) {
        throw Exception(AnsiString("invalid parametrs in calling ") + word + ": " + e.Message);
    }
}

void TDVContext::Morph(const AnsiString& path, int32_t from, int32_t to) {
    if (from >= to) throw Exception("'from' can not be same as 'to' or greater.");
    if (path.Pos("[#]") == 0) throw Exception("Morphing: Invalid format in " + path);
    if (int64_t(to) - from + 1 > DVLimits.MaxListRange)
        throw Exception("Morphing: span of more than " + IntToStr(DVLimits.MaxListRange) + " in " + path);
    GlobalIndxQueue.Clear();
    GlobalIndxQueue.PushInteger(1);
    uint8_t t = GetValType(path);
    if (t == vtInteger || t == vtFloat) {
        bool isInt = t == vtInteger;
        float a = isInt ? static_cast<float>(GetIntegerIdx(path, from)) : GetFloatIdx(path, from);
        float b = isInt ? static_cast<float>(GetIntegerIdx(path, to)) : GetFloatIdx(path, to);
        float step = (b - a) / static_cast<float>(static_cast<int64_t>(to) - from);
        float x = a;
        for (int64_t i = int64_t(from) + 1; i < to; ++i) {
            DVCountSteps(1);
            x = x + step;
            if (isInt)
                SetIntegerIdx(path, TruncateToInt(x), static_cast<int32_t>(i));
            else
                SetFloatIdx(path, Finite(x), static_cast<int32_t>(i));
        }
        return;
    }
    if (t != vtContext) return;
    GlobalIndxQueue.Clear();
    GlobalIndxQueue.PushInteger(from);
    int idx = 0;
    TDVVarTag* tag = ResolvePath(NormalizeLine(path), idx, true, true);
    TDVContext* e = tag->Context(idx >= 0 ? idx : 0);
    TStringList names;
    names.SetSorted(true);
    e->FindDefExtensions(&names);
    e->GetTagNames(&names, true);
    for (int i = 0; i < names.Count(); ++i) Morph(path + "." + names[i], from, to);
}

void TDVContext::AutoMorph(const AnsiString& path) {
    int hash = path.Pos("[#]");
    if (hash == 0) throw Exception("Morphing: Invalid format in " + path);
    int idx = 0;
    TDVVarTag* base = ResolvePath(NormalizeLine(path.SubString(1, hash - 1)), idx, true, true);
    GlobalIndxQueue.Clear();
    GlobalIndxQueue.PushInteger(1);
    uint8_t t = GetValType(path);
    if (t == vtInteger || t == vtFloat) {
        bool isInt = t == vtInteger;
        int64_t lo = 1, hi = base->Count();
        if (base->IsList()) {
            TStringList ids;
            (base->Parent ? base->Parent : this)->CollectListIDs(base, &ids);
            bool any = false;
            for (int i = 0; i < ids.Count(); ++i) {
                int v = StrToIntDef(ids[i], 0);
                if (v < 1) continue;
                if (!any || v < lo) lo = v;
                if (!any || v > hi) hi = v;
                any = true;
            }
            if (!any) return;
            if (hi - lo + 1 > DVLimits.MaxListRange)
                throw Exception("Morphing: IDs span more than " + IntToStr(DVLimits.MaxListRange) + " in " + path);
        }
        auto get = [&](int64_t i) {
            return isInt ? static_cast<float>(GetIntegerIdx(path, static_cast<int32_t>(i)))
                         : GetFloatIdx(path, static_cast<int32_t>(i));
        };
        float prev = get(lo);
        bool inRun = false;
        int64_t start = 0;
        for (int64_t i = lo; i <= hi; ++i) {
            DVCountSteps(1);
            float v = get(i);
            if (v == 0.0f) {
                if (!inRun) {
                    start = i >= 2 ? i - 1 : i;
                    inRun = true;
                }
            } else if (inRun) {
                float x = prev;
                float step = (v - prev) / static_cast<float>(i - start);
                for (int64_t j = start + 1; j < i; ++j) {
                    x = x + step;
                    if (isInt)
                        SetIntegerIdx(path, TruncateToInt(x), static_cast<int32_t>(j));
                    else
                        SetFloatIdx(path, Finite(x), static_cast<int32_t>(j));
                }
                prev = v;
                inRun = false;
            } else {
                prev = v;
            }
        }
        return;
    }
    if (t != vtContext) return;
    GlobalIndxQueue.Clear();
    GlobalIndxQueue.PushInteger(1);
    TDVVarTag* tag = ResolvePath(NormalizeLine(path), idx, true, true);
    TDVContext* e = tag->Context(0);
    TStringList names;
    names.SetSorted(true);
    e->FindDefExtensions(&names);
    e->GetTagNames(&names, true);
    for (int i = 0; i < names.Count(); ++i) AutoMorph(path + "." + names[i]);
}

void TDVContext::FindDefExtensions(TStrings* names) {
    TDVContext* p = GetParent();
    if (!p) return;
    AnsiString n = GetName();
    int br = n.Pos("[");
    if (br > 0) {
        TDVVarTag* tmpl = p->FindTag(n.SubString(1, br - 1));
        if (tmpl && tmpl->ValType == vtContext) tmpl->Context(0)->GetTagNames(names, false);
        return;
    }
    for (auto& t : p->Tags()) {
        const std::string& tn = t->Name.str();
        size_t last = tn.rfind(':');
        if (last == std::string::npos || last < 1 || tn[last - 1] != ':') continue;
        if (tn.compare(0, last - 1, n.str()) == 0 && last - 1 == n.str().size())
            names->Add(AnsiString(tn.substr(last + 1)));
    }
}
