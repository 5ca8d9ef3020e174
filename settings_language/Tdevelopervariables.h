#pragma once
// The settings language: typed tags in nested contexts, read from and written to text.
//
// A context holds tags in insertion order. A tag's name takes one of three forms: plain ("Tempo"),
// a definition ("A::m", the member m shared by every element of the context array A, standing in
// the context above A), or a list element ("Hints[Play]", standing beside its list template
// "Hints", a tag of ArraySize -1).
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "AnsiString.h"
#include "Classes.h"
#include "DVText.h"
#include "Exception.h"
#include "Tindxqueue.h"

enum : uint8_t {
    vtContext = 0,
    vtInteger = 1,
    vtFloat = 2,
    vtBool = 3,
    vtString = 4,
    vtEndContext = 5,  // the block-closing word; also what ValTypeFromKeyword answers for any non-type word
    vtPointer = 6,
};

// "context" ... "pointer" (position = ValType), then the directives "morph", "auto_morph", "include".
extern const char* const DVKeywords[10];
uint8_t ValTypeFromKeyword(const AnsiString& word);  // 5 when the word is no type word
int DirectiveIndex(const AnsiString& word);          // 0..2, or -1

// Bounds that keep a hostile or broken file from exhausting memory or time. The defaults are far
// beyond what any settings file needs; the fuzz target lowers them.
struct TDVLimits {
    int32_t MaxArraySize = 1000000;  // declared element count
    int32_t MaxListRange = 65536;    // list IDs of one "a-b" range, the span of morph and auto_morph
    int32_t MaxPointerHops = 32;     // a longer chain is taken as a cycle
    int32_t MaxContextDepth = 256;   // nesting of contexts below the root
    // The budget of one load, which its includes and replayed blocks share. A step is a statement
    // read (a replayed one again), an element a statement reaches, an index or a value it lists.
    int64_t MaxSteps = 1000000;
    // The memory the tags, values and contexts a load makes would take, estimated from their sizes.
    int64_t MaxBytes = int64_t(64) << 20;
};
extern TDVLimits DVLimits;

class TDVContext;

class TDVVarTag {
public:
    // A negative size makes a list template (ArraySize -1).
    TDVVarTag(const AnsiString& name, uint8_t valType, int32_t arraySize, TDVContext* parent);
    ~TDVVarTag();
    TDVVarTag(const TDVVarTag&) = delete;
    TDVVarTag& operator=(const TDVVarTag&) = delete;

    // Element accessors, 0-based; they refuse an index outside Count and a mismatching ValType.
    int32_t& Integer(int index);
    float& Float(int index);
    bool& Bool(int index);
    AnsiString& String(int index);  // string and pointer tags
    TDVContext* Context(int index);

    bool IsList() const { return ArraySize == -1; }
    int Count() const { return ArraySize > 0 ? ArraySize : 1; }

    void CopyTagValue(TDVVarTag* source);
    // Value text of one element, or of all elements (index < 0) joined by ",".
    AnsiString AsText(int index);
    // Stores texts[0..] into the elements from `start` on; returns the number of texts.
    int SetValuesFromText(TStrings* texts, int start);

    // The element context `index` when it has been made; a context element nobody touched is empty.
    TDVContext* ContextIfMade(int index) const;

    // Fields, fixed at construction (Parent changes only when Assign moves a copy into place).
    AnsiString Name;
    TDVContext* Parent;
    uint8_t ValType;
    int32_t ArraySize;

private:
    [[noreturn]] void Refuse(const char* accessor) const;
    std::vector<int32_t> ints_;
    std::vector<float> floats_;
    std::unique_ptr<bool[]> bools_;
    std::vector<AnsiString> strings_;
    // Element contexts are made on first use: an untouched one is indistinguishable from an empty one.
    mutable std::vector<std::unique_ptr<TDVContext>> contexts_;
};

class TDVContextHive;

class TDVContext {
public:
    explicit TDVContext(TDVVarTag* owner = nullptr);
    ~TDVContext();
    TDVContext(const TDVContext&) = delete;
    TDVContext& operator=(const TDVContext&) = delete;

    // ---- data model ----
    void Clear();
    AnsiString GetName() const;     // the owner's name, "$ROOT$" for a root
    TDVContext* GetParent() const;  // the owner's Parent
    TDVContext* GetRoot();
    const std::vector<std::unique_ptr<TDVVarTag>>& Tags() const { return tags_; }
    TDVVarTag* FindTag(const AnsiString& name) const;
    TDVVarTag* AddTag(const AnsiString& name, uint8_t valType, int32_t arraySize);
    TDVVarTag* AddContextDef(const AnsiString& name, uint8_t valType, int32_t arraySize);
    TDVVarTag* FindContextDef(const AnsiString& name);
    TDVVarTag* CopyTagFrom(TDVVarTag* source);
    TDVVarTag* GetListTagByID(TDVVarTag* listTemplate, const AnsiString& id);
    int CollectListIDs(TDVVarTag* listTemplate, TStrings* ids = nullptr) const;
    TDVVarTag* AddTagCopy(TDVVarTag* source);
    void Assign(TDVContext* source);

    // ---- paths ----
    // The tag named by `path` read from this context, and in `index` its element (0-based, -1 for
    // a whole array). Without create, missing members answer with their definition and missing
    // list elements with their template; with create they are made from it.
    TDVVarTag* ResolvePath(const AnsiString& path, int& index, bool createIfMissing, bool throwIfMissing);

    // ---- typed access ----
    AnsiString GetString(const AnsiString& path);
    AnsiString GetValueAsString(const AnsiString& path);
    int32_t GetInteger(const AnsiString& path);
    bool GetBool(const AnsiString& path);
    float GetFloat(const AnsiString& path);
    TDVContext* GetContext(const AnsiString& path);
    AnsiString SetString(const AnsiString& path, const AnsiString& value);
    int32_t SetInteger(const AnsiString& path, int32_t value);
    bool SetBool(const AnsiString& path, bool value);
    float SetFloat(const AnsiString& path, float value);

    int32_t GetIntegerIdx(const AnsiString& path, int32_t i1, int32_t i2 = 0, int32_t i3 = 0);
    float GetFloatIdx(const AnsiString& path, int32_t i1, int32_t i2 = 0, int32_t i3 = 0);
    int32_t SetIntegerIdx(const AnsiString& path, int32_t value, int32_t i1, int32_t i2 = 0, int32_t i3 = 0);
    float SetFloatIdx(const AnsiString& path, float value, int32_t i1, int32_t i2 = 0, int32_t i3 = 0);
    AnsiString GetValueAsStringIdx(const AnsiString& path, const AnsiString& s1, const AnsiString& s2 = "",
                                   const AnsiString& s3 = "");
    AnsiString GetStringIdx(const AnsiString& path, const AnsiString& s1, const AnsiString& s2 = "",
                            const AnsiString& s3 = "");

    int EnumListIDs(const AnsiString& path, TStrings* ids);
    bool TagExists(const AnsiString& path);
    void RemoveTag(const AnsiString& path);
    uint8_t GetValType(const AnsiString& path);
    void GetTagNames(TStrings* names, bool all);

    // ---- writer ----
    void SaveToStrings(TStrings* lines);
    void WriteTag(TDVVarTag* tag, TStrings* lines);
    void SaveTagToStrings(const AnsiString& path, TStrings* lines);

    // ---- reader ----
    void LoadFromFile(const AnsiString& fileName, bool mustExist);
    // first and last are 0-based line indexes; last -1 reads to the end.
    void LoadFromStrings(TStrings* lines, int first, int last);
    void SetBaseDir(const AnsiString& dir);
    AnsiString ResolveFileName(const AnsiString& name);

    // ---- directives ----
    void ExecuteDirective(int directive, TStrings* args);
    void Morph(const AnsiString& path, int32_t from, int32_t to);
    void AutoMorph(const AnsiString& path);
    void FindDefExtensions(TStrings* names);

    TDVVarTag* Owner;
    AnsiString BaseDir;
    bool BaseDirSet;

private:
    friend class TDVVarTag;
    friend class TDVContextHive;
    TDVVarTag* Append(std::unique_ptr<TDVVarTag> tag);
    void Reindex();
    void AssignInto(TDVContext* source);
    // Resolves the path and follows pointer tags from the root, at most DVLimits.MaxPointerHops times.
    TDVVarTag* ResolveFollowing(const AnsiString& path, int& index, bool create);
    TDVVarTag* ResolveForAccess(const AnsiString& path, int& index, bool create, bool followPointers);
    void LoadLines(TStrings* lines, int first, int last, TDVContext* pointerBase);
    int Depth() const;

    std::vector<std::unique_ptr<TDVVarTag>> tags_;
    std::unordered_map<std::string, TDVVarTag*> index_;  // first tag of each name
};

// The written form of a group of list IDs joined by ",": non-numeric IDs first, then the numeric
// ones ascending with consecutive runs as "a-b".
AnsiString CompressListIDs(const AnsiString& ids);

// The reader's stack of open contexts during one LoadFromStrings call.
class TDVContextHive {
public:
    // pointerBase: where "&" targets are resolved from; the bottom context when none is given.
    explicit TDVContextHive(TDVContext* bottom, TDVContext* pointerBase = nullptr);
    void Push(TDVContext* context);
    void Pop();
    void UpdateCurrent();
    void SetCurrent(TDVContext* context);
    int StackCount() const { return static_cast<int>(stack_.size()); }
    TDVContext* Current() const { return current_; }
    TDVContext* Outermost() const { return outermost_; }
    TDVContext* PointerBase() const { return pointerBase_; }

    // Carries out one normalised statement. Returns n - 1 after a block opened on n >= 2 elements
    // (their contexts are pushed, the last selected on top), else 0.
    int ParseLine(AnsiString statement);

private:
    std::vector<TDVContext*> stack_;
    TDVContext* current_;
    TDVContext* outermost_;
    TDVContext* pointerBase_;
};

// Expands an index text ("1,3-5", "*", "a,b") into single indexes or list IDs appended to `list`.
int ParseIndexList(TDVContext* context, const AnsiString& text, TStrings* list, TDVVarTag* tag);
