#include <algorithm>
#include <unordered_map>

#include "DVInternal.h"
#include "SysUtils.h"
#include "Tdevelopervariables.h"

namespace {

const int kBlockThreshold = 3;
const int kRunThreshold = 50;
const char* const kIndent = "\t";

AnsiString ElementText(TDVVarTag* tag, int index) {
    if (tag->ValType == vtString) return DVQuote(tag->String(index));
    return tag->AsText(index);
}

void WriteContextLines(const AnsiString& header, TDVContext* context, TStrings* lines) {
    if (!context) return;
    TStringList scratch;
    context->SaveToStrings(&scratch);
    if (scratch.Count() >= kBlockThreshold) {
        lines->Add(header + " {");
        for (int i = 0; i < scratch.Count(); ++i) lines->Add(kIndent + scratch[i]);
        lines->Add(AnsiString(kIndent) + "}");
    } else {
        for (int i = 0; i < scratch.Count(); ++i) lines->Add(header + "." + scratch[i]);
    }
}

}  // namespace

AnsiString CompressListIDs(const AnsiString& ids) {
    std::string result;
    std::vector<int64_t> numbers;
    AnsiString rest = ids;
    AnsiString id;
    for (;;) {
        char d = ExtractToken(rest, id, ",", false);
        int v = StrToIntDef(id, 0);
        // Only the canonical decimal form may be rewritten: "007" or "+7" would come back as "7".
        if (v > 0 && IntToStr(v) == id) {
            numbers.push_back(v);
        } else {
            if (!result.empty()) result += ',';
            result += id.str();
        }
        if (d == 0) break;
    }
    std::sort(numbers.begin(), numbers.end());
    for (size_t i = 0; i < numbers.size();) {
        size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        if (!result.empty()) result += ',';
        result += std::to_string(numbers[i]);
        if (j > i) result += "-" + std::to_string(numbers[j]);
        i = j + 1;
    }
    return AnsiString(std::move(result));
}

void TDVContext::SaveToStrings(TStrings* lines) {
    for (size_t i = 0; i < tags_.size(); ++i) {
        TDVVarTag* t = tags_[i].get();
        if (t->Name.str().find_first_of(":[") != std::string::npos) continue;
        WriteTag(t, lines);
    }
}

void TDVContext::WriteTag(TDVVarTag* tag, TStrings* lines) {
    const AnsiString& n = tag->Name;
    if (tag->ValType != vtContext && !tag->IsList()) {
        AnsiString all = tag->AsText(-1);
        if (tag->Count() <= 1 || all.Length() <= kRunThreshold) {
            lines->Add(n + "=" + all);
            return;
        }
        for (int a = 0; a < tag->Count();) {
            AnsiString text = ElementText(tag, a);
            int b = a;
            while (b + 1 < tag->Count() && ElementText(tag, b + 1) == text) ++b;
            if (b > a)
                lines->Add(n + "[" + IntToStr(a + 1) + "-" + IntToStr(b + 1) + "]=" + text);
            else
                lines->Add(n + "[" + IntToStr(a + 1) + "]=" + text);
            a = b + 1;
        }
        return;
    }

    TStringList ids;
    CollectListIDs(tag, &ids);
    if (tag->ValType != vtContext) {
        // One line per distinct value, in the order the values first occur.
        std::vector<std::pair<AnsiString, std::string>> groups;
        std::unordered_map<std::string, size_t> groupOf;
        for (int i = 0; i < ids.Count(); ++i) {
            TDVVarTag* e = FindTag(n + "[" + ids[i] + "]");
            if (!e) continue;
            AnsiString v = ElementText(e, 0);
            auto [it, fresh] = groupOf.emplace(v.str(), groups.size());
            if (fresh)
                groups.emplace_back(v, ids[i].str());
            else
                groups[it->second].second += "," + ids[i].str();
        }
        for (auto& [v, group] : groups) lines->Add(n + "[" + CompressListIDs(AnsiString(group)) + "]=" + v);
        return;
    }
    if (tag->IsList()) {
        if (ids.Count() == 0) {
            WriteContextLines(n, tag->ContextIfMade(0), lines);
            return;
        }
        for (int i = 0; i < ids.Count(); ++i) {
            AnsiString header = n + "[" + ids[i] + "]";
            if (TDVVarTag* e = FindTag(header)) WriteContextLines(header, e->ContextIfMade(0), lines);
        }
        return;
    }
    for (int i = 0; i < tag->Count(); ++i) {
        AnsiString header = tag->Count() > 1 ? n + "[" + IntToStr(i + 1) + "]" : n;
        WriteContextLines(header, tag->ContextIfMade(i), lines);
    }
}

void TDVContext::SaveTagToStrings(const AnsiString& path, TStrings* lines) {
    int idx;
    TDVVarTag* t = ResolvePath(NormalizeLine(path), idx, false, true);
    WriteTag(t, lines);
}
