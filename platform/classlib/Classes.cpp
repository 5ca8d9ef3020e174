#include "Classes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "HostPath.h"
#include "SysUtils.h"

// ---- TStrings ----

int TStrings::IndexOf(const AnsiString& s) const {
    for (int i = 0; i < Count(); ++i)
        if (CompareText(Strings(i), s) == 0) return i;
    return -1;
}

void TStrings::AddStrings(const TStrings& other) {
    BeginUpdate();
    for (int i = 0; i < other.Count(); ++i) AddObject(other.Strings(i), other.Objects(i));
    EndUpdate();
}

void TStrings::Assign(const TStrings& source) {
    if (&source == this) return;
    BeginUpdate();
    Clear();
    AddStrings(source);
    EndUpdate();
}

AnsiString TStrings::Text() const {
    std::string out;
    for (int i = 0; i < Count(); ++i) {
        out += Strings(i).str();
        out += "\r\n";
    }
    return AnsiString(std::move(out));
}

void TStrings::SetText(const AnsiString& text) {
    BeginUpdate();
    Clear();
    const std::string& s = text.str();
    size_t i = 0;
    while (i < s.size()) {
        size_t j = i;
        while (j < s.size() && s[j] != '\r' && s[j] != '\n') ++j;
        Add(AnsiString(s.substr(i, j - i)));
        if (j < s.size() && s[j] == '\r') {
            ++j;
            if (j < s.size() && s[j] == '\n') ++j;
        } else if (j < s.size()) {
            ++j;
        }
        i = j;
    }
    EndUpdate();
}

AnsiString TStrings::CommaText() const {
    AnsiString out;
    for (int i = 0; i < Count(); ++i) {
        if (i) out += ",";
        const AnsiString& s = Strings(i);
        bool quote = s.IsEmpty();
        for (char c : s.str())
            if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"') quote = true;
        if (quote)
            out += "\"" + StringReplaceAll(s, "\"", "\"\"") + "\"";
        else
            out += s;
    }
    return out;
}

void TStrings::LoadFromFile(const AnsiString& fileName) {
    TFileStream fs(fileName, fmOpenRead | fmShareDenyWrite);
    std::string bytes;
    char buf[65536];
    for (;;) {
        int n = fs.Read(buf, sizeof buf);
        if (n <= 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    SetText(AnsiString(std::move(bytes)));
}

void TStrings::SaveToFile(const AnsiString& fileName) const { WriteFileAtomically(fileName, Text().str()); }

// ---- TStringList ----

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

int TStringList::CompareStrings(const AnsiString& a, const AnsiString& b) const {
    return caseSensitive_ ? a.Compare(b) : CompareText(a, b);
}

void TStringList::Changing() {
    if (updateCount_ == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
    if (updateCount_ == 0 && OnChange) OnChange(this);
}

void TStringList::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) Changed();
}

const AnsiString& TStringList::Strings(int index) const {
    CheckIndex(index);
    return items_[static_cast<size_t>(index)].text;
}

void TStringList::SetStrings(int index, const AnsiString& s) {
    if (sorted_) throw EListError("Operation not allowed on sorted list");
    CheckIndex(index);
    Changing();
    items_[static_cast<size_t>(index)].text = s;
    Changed();
}

TObject* TStringList::Objects(int index) const {
    CheckIndex(index);
    return items_[static_cast<size_t>(index)].object;
}

void TStringList::SetObjects(int index, TObject* obj) {
    CheckIndex(index);
    Changing();
    items_[static_cast<size_t>(index)].object = obj;
    Changed();
}

bool TStringList::Find(const AnsiString& s, int& index) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = CompareStrings(items_[static_cast<size_t>(mid)].text, s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (duplicates_ != dupAccept) lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

int TStringList::AddObject(const AnsiString& s, TObject* obj) {
    int index = Count();
    if (sorted_) {
        if (Find(s, index)) {
            if (duplicates_ == dupIgnore) return index;
            if (duplicates_ == dupError) throw EListError("String list does not allow duplicates");
        }
    }
    Changing();
    items_.insert(items_.begin() + index, Item{s, obj});
    Changed();
    return index;
}

void TStringList::Insert(int index, const AnsiString& s) {
    if (sorted_) throw EListError("Operation not allowed on sorted list");
    if (index < 0 || index > Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    Changing();
    items_.insert(items_.begin() + index, Item{s, nullptr});
    Changed();
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    Changing();
    items_.erase(items_.begin() + index);
    Changed();
}

void TStringList::Clear() {
    if (items_.empty()) return;
    Changing();
    items_.clear();
    Changed();
}

int TStringList::IndexOf(const AnsiString& s) const {
    if (!sorted_) {
        for (int i = 0; i < Count(); ++i)
            if (CompareStrings(items_[static_cast<size_t>(i)].text, s) == 0) return i;
        return -1;
    }
    int index;
    return Find(s, index) ? index : -1;
}

void TStringList::Assign(const TStrings& source) {
    if (&source == this) return;
    BeginUpdate();
    Clear();
    for (int i = 0; i < source.Count(); ++i) AddObject(source.Strings(i), source.Objects(i));
    EndUpdate();
}

void TStringList::Sort() {
    Changing();
    std::stable_sort(items_.begin(), items_.end(),
                     [this](const Item& a, const Item& b) { return CompareStrings(a.text, b.text) < 0; });
    Changed();
}

void TStringList::SetSorted(bool value) {
    if (value == sorted_) return;
    if (value) {
        Sort();
        if (duplicates_ == dupIgnore) {
            auto last = std::unique(items_.begin(), items_.end(), [this](const Item& a, const Item& b) {
                return CompareStrings(a.text, b.text) == 0;
            });
            items_.erase(last, items_.end());
        }
    }
    sorted_ = value;
}

void TStringList::SetCaseSensitive(bool value) {
    if (value == caseSensitive_) return;
    caseSensitive_ = value;
    if (sorted_) Sort();
}

void TStringList::Exchange(int a, int b) {
    CheckIndex(a);
    CheckIndex(b);
    Changing();
    std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
    Changed();
}

// ---- TStream ----

int64_t TStream::Size() {
    int64_t pos = Seek(0, soFromCurrent);
    int64_t end = Seek(0, soFromEnd);
    Seek(pos, soFromBeginning);
    return end;
}

void TStream::ReadBuffer(void* buffer, int count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    int64_t total = count;
    char buf[65536];
    while (count > 0) {
        int n = static_cast<int>(std::min<int64_t>(count, sizeof buf));
        source.ReadBuffer(buf, n);
        WriteBuffer(buf, n);
        count -= n;
    }
    return total;
}

// ---- TFileStream ----

// A refusal names the file as this system writes it: the host path that was tried.
TFileStream::TFileStream(const AnsiString& fileName, uint16_t mode) : fileName_(fileName) {
    std::string path = HostPath(fileName);
    if (mode == fmCreate) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0) throw EFCreateError("Cannot create file \"" + AnsiString(path) + "\". " + std::strerror(errno));
        return;
    }
    int flags = O_RDONLY;
    if ((mode & 3) == fmOpenWrite) flags = O_WRONLY;
    if ((mode & 3) == fmOpenReadWrite) flags = O_RDWR;
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd_ >= 0) {
        struct stat st;
        if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            errno = EISDIR;
        }
    }
    if (fd_ < 0) throw EFOpenError("Cannot open file \"" + AnsiString(path) + "\". " + std::strerror(errno));
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

int TFileStream::Read(void* buffer, int count) {
    if (count <= 0) return 0;
    int total = 0;
    while (total < count) {
        ssize_t n = ::read(fd_, static_cast<char*>(buffer) + total, static_cast<size_t>(count - total));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        total += static_cast<int>(n);
    }
    return total;
}

int TFileStream::Write(const void* buffer, int count) {
    if (count <= 0) return 0;
    int total = 0;
    while (total < count) {
        ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + total, static_cast<size_t>(count - total));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        total += static_cast<int>(n);
    }
    return total;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int whence = origin == soFromBeginning ? SEEK_SET : origin == soFromCurrent ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

void TFileStream::SetSize(int64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) throw EWriteError("Stream write error");
}

// ---- TMemoryStream ----

int TMemoryStream::Read(void* buffer, int count) {
    if (count <= 0 || pos_ >= static_cast<int64_t>(data_.size())) return 0;
    int64_t n = std::min<int64_t>(count, static_cast<int64_t>(data_.size()) - pos_);
    std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return static_cast<int>(n);
}

int TMemoryStream::Write(const void* buffer, int count) {
    if (count <= 0) return 0;
    if (pos_ + count > static_cast<int64_t>(data_.size())) data_.resize(static_cast<size_t>(pos_ + count));
    std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
    pos_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == soFromBeginning ? 0 : origin == soFromCurrent ? pos_ : static_cast<int64_t>(data_.size());
    int64_t p = base + offset;
    if (p < 0) p = 0;
    pos_ = p;
    return pos_;
}

void TMemoryStream::SetSize(int64_t size) {
    data_.resize(size > 0 ? static_cast<size_t>(size) : 0);
    if (pos_ > size) pos_ = size;
}

void TMemoryStream::LoadFromStream(TStream& s) {
    s.SetPosition(0);
    int64_t n = s.Size();
    data_.resize(static_cast<size_t>(n));
    if (n) s.ReadBuffer(data_.data(), static_cast<int>(n));
    pos_ = 0;
}

void TMemoryStream::LoadFromFile(const AnsiString& fileName) {
    TFileStream fs(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(fs);
}

void TMemoryStream::SaveToStream(TStream& s) const {
    if (!data_.empty()) s.WriteBuffer(data_.data(), static_cast<int>(data_.size()));
}

void TMemoryStream::SaveToFile(const AnsiString& fileName) const {
    WriteFileAtomically(fileName, std::string(data_.begin(), data_.end()));
}

namespace {

// Writes through a temporary file beside the target; 0, or the errno of the step that failed.
int WriteThroughTemporary(const std::string& path, const std::string& bytes) {
    static std::atomic<unsigned> serial{0};
    std::string tmp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    auto fail = [&](int err) {
        ::unlink(tmp.c_str());
        return err;
    };
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int err = n < 0 ? errno : ENOSPC;
            ::close(fd);
            return fail(err);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 && errno != EINVAL) {
        int err = errno;
        ::close(fd);
        return fail(err);
    }
    if (::close(fd) != 0) return fail(errno);
    if (::rename(tmp.c_str(), path.c_str()) != 0) return fail(errno);
    return 0;
}

}  // namespace

// A refusal names the files as this system writes them: the host paths that were tried.
void WriteFileAtomically(const AnsiString& fileName, const std::string& bytes) {
    std::string path = HostPath(fileName);
    int err = WriteThroughTemporary(path, bytes);
    if (err == 0) return;
    // Where the user may not write (a folder owned by another user), the per-user store may.
    const auto& redirect = tikora::CurrentHostPathRedirect();
    std::string elsewhere =
        tikora::IsPermissionError(err) && redirect.write ? redirect.write(path, err) : std::string();
    if (elsewhere.empty())
        throw EFCreateError("Cannot create file \"" + AnsiString(path) + "\". " + std::strerror(err));
    if (err == 0) err = WriteThroughTemporary(elsewhere, bytes);
    if (err != 0)
        throw EFCreateError("Cannot create file \"" + AnsiString(path) + "\" (nor \"" + AnsiString(elsewhere) +
                            "\"). " + std::strerror(err));
}
