#pragma once
// The class library's basic classes: TObject, notify events, string lists, streams, queue and stack.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AnsiString.h"
#include "Exception.h"

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

enum TDuplicates { dupIgnore, dupAccept, dupError };

// A list of texts, each with an optional object pointer (not owned).
class TStrings : public TObject {
public:
    virtual int Count() const = 0;
    virtual const AnsiString& Strings(int index) const = 0;
    virtual void SetStrings(int index, const AnsiString& s) = 0;
    virtual TObject* Objects(int index) const = 0;
    virtual void SetObjects(int index, TObject* obj) = 0;
    virtual int AddObject(const AnsiString& s, TObject* obj) = 0;
    virtual void Insert(int index, const AnsiString& s) = 0;
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;
    virtual int IndexOf(const AnsiString& s) const;
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}

    const AnsiString& operator[](int index) const { return Strings(index); }
    int Add(const AnsiString& s) { return AddObject(s, nullptr); }
    void AddStrings(const TStrings& other);
    virtual void Assign(const TStrings& source);
    // Every line followed by CR LF.
    AnsiString Text() const;
    // Splits at CR LF, LF or CR; a final line break adds no empty line.
    void SetText(const AnsiString& text);
    AnsiString CommaText() const;
    void LoadFromFile(const AnsiString& fileName);
    // Written whole to a temporary file beside the target and renamed into place.
    void SaveToFile(const AnsiString& fileName) const;
};

class TStringList : public TStrings {
public:
    TStringList() = default;
    int Count() const override { return static_cast<int>(items_.size()); }
    const AnsiString& Strings(int index) const override;
    void SetStrings(int index, const AnsiString& s) override;
    TObject* Objects(int index) const override;
    void SetObjects(int index, TObject* obj) override;
    int AddObject(const AnsiString& s, TObject* obj) override;
    void Insert(int index, const AnsiString& s) override;
    void Delete(int index) override;
    void Clear() override;
    int IndexOf(const AnsiString& s) const override;
    void BeginUpdate() override {
        if (updateCount_++ == 0 && OnChanging) OnChanging(this);
    }
    void EndUpdate() override;
    void Assign(const TStrings& source) override;

    // Sorted lists keep case-insensitive order (unless CaseSensitive) and follow Duplicates.
    bool Sorted() const { return sorted_; }
    void SetSorted(bool value);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates d) { duplicates_ = d; }
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool value);
    void Sort();
    void Exchange(int a, int b);
    // Binary search of a sorted list: true when found; index is where it is or would be.
    bool Find(const AnsiString& s, int& index) const;

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

private:
    struct Item {
        AnsiString text;
        TObject* object = nullptr;
    };
    int CompareStrings(const AnsiString& a, const AnsiString& b) const;
    void CheckIndex(int index) const;
    void Changing();
    void Changed();

    std::vector<Item> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    TDuplicates duplicates_ = dupIgnore;
    int updateCount_ = 0;
};

// Streams.
enum TSeekOrigin { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class TStream : public TObject {
public:
    virtual int Read(void* buffer, int count) = 0;
    virtual int Write(const void* buffer, int count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    int64_t Position() { return Seek(0, soFromCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, soFromBeginning); }
    virtual int64_t Size();
    virtual void SetSize(int64_t size) = 0;
    void ReadBuffer(void* buffer, int count);          // raises EReadError when short
    void WriteBuffer(const void* buffer, int count);   // raises EWriteError when short
    int64_t CopyFrom(TStream& source, int64_t count);  // count 0 copies the whole source
};

enum : uint16_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareDenyNone = 0x0040,
    fmShareDenyWrite = 0x0020,
    fmCreate = 0xFFFF,
};

class TFileStream : public TStream {
public:
    // Raises EFOpenError (or EFCreateError for fmCreate) naming the file.
    TFileStream(const AnsiString& fileName, uint16_t mode);
    ~TFileStream() override;
    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;
    const AnsiString& FileName() const { return fileName_; }

private:
    AnsiString fileName_;
    int fd_ = -1;
};

class TMemoryStream : public TStream {
public:
    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    void* Memory() { return data_.data(); }
    const void* Memory() const { return data_.data(); }
    void Clear() {
        data_.clear();
        pos_ = 0;
    }
    void LoadFromStream(TStream& s);
    void LoadFromFile(const AnsiString& fileName);
    void SaveToStream(TStream& s) const;
    void SaveToFile(const AnsiString& fileName) const;

private:
    std::vector<uint8_t> data_;
    int64_t pos_ = 0;
};

// Writes bytes to fileName atomically: a temporary file beside it, flushed, then renamed over it.
// Raises EFCreateError naming the file when any step fails; the old file is then left whole.
void WriteFileAtomically(const AnsiString& fileName, const std::string& bytes);

// The class library's pointer queue (first in, first out) and stack (last in, first out).
template <typename T = void*>
class TOrderedList : public TObject {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    bool AtLeast(int count) const { return Count() >= count; }
    T Push(T item) {
        PushItem(item);
        return item;
    }
    T Pop() {
        if (items_.empty()) return T();
        return PopItem();
    }
    T Peek() const {
        if (items_.empty()) return T();
        return PeekItem();
    }

protected:
    virtual void PushItem(T item) = 0;
    virtual T PopItem() = 0;
    virtual T PeekItem() const = 0;
    std::deque<T> items_;
};

template <typename T = void*>
class TQueue : public TOrderedList<T> {
protected:
    void PushItem(T item) override { this->items_.push_back(item); }
    T PopItem() override {
        T v = this->items_.front();
        this->items_.pop_front();
        return v;
    }
    T PeekItem() const override { return this->items_.front(); }
};

template <typename T = void*>
class TStack : public TOrderedList<T> {
protected:
    void PushItem(T item) override { this->items_.push_back(item); }
    T PopItem() override {
        T v = this->items_.back();
        this->items_.pop_back();
        return v;
    }
    T PeekItem() const override { return this->items_.back(); }
};
