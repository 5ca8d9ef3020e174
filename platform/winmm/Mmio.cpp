#include "Mmio.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "AnsiString.h"
#include "HostPath.h"

namespace {

constexpr int64_t kMaxOffset = std::numeric_limits<LONG>::max();

struct MmioFile {
    FILE* file = nullptr;
    std::vector<char> buffer;
    int64_t bufOffset = 0;  // file offset of buffer[0]
    size_t next = 0;        // index of the next byte in buffer
    size_t filled = 0;      // valid bytes in buffer
    bool readError = false;

    ~MmioFile() {
        if (file) std::fclose(file);
    }
    int64_t Position() const { return bufOffset + static_cast<int64_t>(next); }

    bool Refill() {
        bufOffset = Position();
        next = 0;
        filled = 0;
        if (::fseeko(file, static_cast<off_t>(bufOffset), SEEK_SET) != 0) {
            readError = true;
            return false;
        }
        filled = std::fread(buffer.data(), 1, buffer.size(), file);
        if (std::ferror(file)) {
            readError = true;
            std::clearerr(file);
            return false;
        }
        return true;
    }

    int64_t Read(char* out, int64_t count) {
        int64_t done = 0;
        while (done < count) {
            if (next == filled) {
                if (!Refill()) return -1;
                if (filled == 0) break;
            }
            size_t n = std::min(filled - next, static_cast<size_t>(count - done));
            std::memcpy(out + done, buffer.data() + next, n);
            next += n;
            done += static_cast<int64_t>(n);
        }
        return done;
    }

    int64_t Size() {
        if (::fseeko(file, 0, SEEK_END) != 0) return -1;
        return static_cast<int64_t>(::ftello(file));
    }

    bool SeekTo(int64_t pos) {
        if (pos < 0 || pos > kMaxOffset) return false;
        if (pos >= bufOffset && pos <= bufOffset + static_cast<int64_t>(filled)) {
            next = static_cast<size_t>(pos - bufOffset);
        } else {
            bufOffset = pos;
            next = filled = 0;
        }
        return true;
    }

    void FillInfo(MMIOINFO& info, HMMIO h) {
        info.dwFlags = MMIO_ALLOCBUF;
        info.wErrorRet = 0;
        info.cchBuffer = static_cast<LONG>(buffer.size());
        info.pchBuffer = buffer.data();
        info.pchNext = buffer.data() + next;
        info.pchEndRead = buffer.data() + filled;
        info.pchEndWrite = info.pchBuffer + buffer.size();
        info.lBufOffset = static_cast<LONG>(bufOffset);
        info.lDiskOffset = static_cast<LONG>(bufOffset + static_cast<int64_t>(filled));
        info.hmmio = h;
    }

    // Takes over the read position of a caller that walked the buffer directly.
    bool TakeNext(const MMIOINFO& info) {
        if (info.pchBuffer != buffer.data() || info.pchNext < buffer.data() || info.pchNext > buffer.data() + filled)
            return false;
        next = static_cast<size_t>(info.pchNext - buffer.data());
        return true;
    }
};

// Handles are validated against the open files, so a stale or foreign handle is an error, not a crash.
struct Registry {
    std::mutex mutex;
    std::map<HMMIO, std::unique_ptr<MmioFile>> files;
    uintptr_t nextHandle = 0x1000;
};

Registry& R() {
    static Registry r;
    return r;
}

MmioFile* Find(HMMIO h) {
    Registry& r = R();
    std::lock_guard lock(r.mutex);
    auto it = r.files.find(h);
    return it == r.files.end() ? nullptr : it->second.get();
}

DWORD Le32(const char* p) {
    return static_cast<DWORD>(static_cast<BYTE>(p[0])) | (static_cast<DWORD>(static_cast<BYTE>(p[1])) << 8) |
           (static_cast<DWORD>(static_cast<BYTE>(p[2])) << 16) | (static_cast<DWORD>(static_cast<BYTE>(p[3])) << 24);
}

}  // namespace

HMMIO mmioOpen(LPCSTR fileName, LPMMIOINFO info, DWORD flags) {
    auto fail = [info](UINT err) -> HMMIO {
        if (info) info->wErrorRet = err;
        return nullptr;
    };
    if (!fileName) return fail(MMSYSERR_INVALPARAM);
    if (flags & (MMIO_WRITE | MMIO_READWRITE)) return fail(MMIOERR_CANNOTWRITE);
    auto f = std::make_unique<MmioFile>();
    f->file = std::fopen(HostPath(AnsiString(fileName)).c_str(), "rb");
    if (!f->file) return fail(MMIOERR_FILENOTFOUND);
    size_t size = MMIO_DEFAULTBUFFER;
    if (info && info->cchBuffer > 0) size = static_cast<size_t>(info->cchBuffer);
    f->buffer.resize(size);
    Registry& r = R();
    std::lock_guard lock(r.mutex);
    HMMIO h = reinterpret_cast<HMMIO>(r.nextHandle);
    r.nextHandle += 8;
    r.files[h] = std::move(f);
    if (info) info->wErrorRet = 0;
    return h;
}

MMRESULT mmioClose(HMMIO h, UINT) {
    Registry& r = R();
    std::unique_ptr<MmioFile> f;
    {
        std::lock_guard lock(r.mutex);
        auto it = r.files.find(h);
        if (it == r.files.end()) return MMSYSERR_INVALHANDLE;
        f = std::move(it->second);
        r.files.erase(it);
    }
    return MMSYSERR_NOERROR;
}

LONG mmioRead(HMMIO h, char* buffer, LONG count) {
    MmioFile* f = Find(h);
    if (!f || count < 0 || (count > 0 && !buffer)) return -1;
    return static_cast<LONG>(f->Read(buffer, count));
}

LONG mmioSeek(HMMIO h, LONG offset, int origin) {
    MmioFile* f = Find(h);
    if (!f) return -1;
    int64_t base = 0;
    if (origin == SEEK_CUR) {
        base = f->Position();
    } else if (origin == SEEK_END) {
        base = f->Size();
        if (base < 0) return -1;
    } else if (origin != SEEK_SET) {
        return -1;
    }
    int64_t pos = base + offset;
    if (!f->SeekTo(pos)) return -1;
    return static_cast<LONG>(pos);
}

MMRESULT mmioDescend(HMMIO h, LPMMCKINFO ck, const MMCKINFO* parent, UINT flags) {
    MmioFile* f = Find(h);
    if (!f) return MMSYSERR_INVALHANDLE;
    if (!ck) return MMSYSERR_INVALPARAM;
    int64_t end = std::numeric_limits<int64_t>::max();
    if (parent) end = static_cast<int64_t>(parent->dwDataOffset) + parent->cksize;
    int64_t pos = f->Position();
    for (;;) {
        if (pos + 8 > end || pos + 8 > kMaxOffset || !f->SeekTo(pos)) return MMIOERR_CHUNKNOTFOUND;
        char header[12];
        if (f->Read(header, 8) != 8) return MMIOERR_CHUNKNOTFOUND;
        FOURCC id = Le32(header);
        DWORD size = Le32(header + 4);
        bool isForm = id == FOURCC_RIFF || id == FOURCC_LIST;
        FOURCC type = 0;
        if (isForm) {
            if (f->Read(header + 8, 4) != 4) return MMIOERR_CHUNKNOTFOUND;
            type = Le32(header + 8);
        }
        bool match = true;
        if (flags & MMIO_FINDCHUNK)
            match = id == ck->ckid;
        else if (flags & MMIO_FINDRIFF)
            match = id == FOURCC_RIFF && type == ck->fccType;
        else if (flags & MMIO_FINDLIST)
            match = id == FOURCC_LIST && type == ck->fccType;
        if (match) {
            ck->ckid = id;
            ck->cksize = size;
            ck->fccType = type;
            ck->dwDataOffset = static_cast<DWORD>(pos + 8);
            ck->dwFlags = 0;
            return MMSYSERR_NOERROR;  // positioned after the header (and the form type)
        }
        pos += 8 + static_cast<int64_t>(size) + (size & 1);
    }
}

MMRESULT mmioAscend(HMMIO h, LPMMCKINFO ck, UINT) {
    MmioFile* f = Find(h);
    if (!f) return MMSYSERR_INVALHANDLE;
    if (!ck) return MMSYSERR_INVALPARAM;
    int64_t end = static_cast<int64_t>(ck->dwDataOffset) + ck->cksize + (ck->cksize & 1);
    return f->SeekTo(end) ? MMSYSERR_NOERROR : MMIOERR_CANNOTSEEK;
}

MMRESULT mmioGetInfo(HMMIO h, LPMMIOINFO info, UINT) {
    MmioFile* f = Find(h);
    if (!f) return MMSYSERR_INVALHANDLE;
    if (!info) return MMSYSERR_INVALPARAM;
    f->FillInfo(*info, h);
    return MMSYSERR_NOERROR;
}

MMRESULT mmioSetInfo(HMMIO h, const MMIOINFO* info, UINT) {
    MmioFile* f = Find(h);
    if (!f) return MMSYSERR_INVALHANDLE;
    if (!info || !f->TakeNext(*info)) return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

MMRESULT mmioAdvance(HMMIO h, LPMMIOINFO info, UINT flags) {
    MmioFile* f = Find(h);
    if (!f) return MMSYSERR_INVALHANDLE;
    if (flags & (MMIO_WRITE | MMIO_READWRITE)) return MMIOERR_CANNOTWRITE;
    if (info && !f->TakeNext(*info)) return MMSYSERR_INVALPARAM;
    f->next = f->filled;  // the whole buffer counts as consumed: advance to the next window
    bool ok = f->Refill();
    if (info) f->FillInfo(*info, h);
    return ok ? MMSYSERR_NOERROR : MMIOERR_CANNOTREAD;
}
