#pragma once
// Buffered RIFF file access with the mmio calls the program uses: open for reading, read, seek,
// descend into and ascend out of chunks, and direct access to the I/O buffer.
#include <cstdio>

#include "MMSystem.h"
#include "WinTypes.h"

using FOURCC = DWORD;
struct HMMIO__;
using HMMIO = HMMIO__*;

constexpr FOURCC mmioFOURCC(char a, char b, char c, char d) {
    return static_cast<FOURCC>(static_cast<BYTE>(a)) | (static_cast<FOURCC>(static_cast<BYTE>(b)) << 8) |
           (static_cast<FOURCC>(static_cast<BYTE>(c)) << 16) | (static_cast<FOURCC>(static_cast<BYTE>(d)) << 24);
}
constexpr FOURCC FOURCC_RIFF = mmioFOURCC('R', 'I', 'F', 'F');
constexpr FOURCC FOURCC_LIST = mmioFOURCC('L', 'I', 'S', 'T');

constexpr MMRESULT MMIOERR_FILENOTFOUND = 257;
constexpr MMRESULT MMIOERR_OUTOFMEMORY = 258;
constexpr MMRESULT MMIOERR_CANNOTOPEN = 259;
constexpr MMRESULT MMIOERR_CANNOTREAD = 261;
constexpr MMRESULT MMIOERR_CANNOTWRITE = 262;
constexpr MMRESULT MMIOERR_CANNOTSEEK = 263;
constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = 265;
constexpr MMRESULT MMIOERR_UNBUFFERED = 266;

constexpr DWORD MMIO_READ = 0x00000000;
constexpr DWORD MMIO_WRITE = 0x00000001;
constexpr DWORD MMIO_READWRITE = 0x00000002;
constexpr DWORD MMIO_ALLOCBUF = 0x00010000;
constexpr UINT MMIO_FINDCHUNK = 0x0010;
constexpr UINT MMIO_FINDRIFF = 0x0020;
constexpr UINT MMIO_FINDLIST = 0x0040;
constexpr DWORD MMIO_DEFAULTBUFFER = 8192;

struct MMIOINFO {
    DWORD dwFlags = 0;
    UINT wErrorRet = 0;
    LONG cchBuffer = 0;  // size of the I/O buffer
    char* pchBuffer = nullptr;
    char* pchNext = nullptr;     // next byte to read
    char* pchEndRead = nullptr;  // one past the last valid byte
    char* pchEndWrite = nullptr;
    LONG lBufOffset = 0;  // file offset of pchBuffer
    LONG lDiskOffset = 0;
    HMMIO hmmio = nullptr;
};
using LPMMIOINFO = MMIOINFO*;

struct MMCKINFO {
    FOURCC ckid = 0;
    DWORD cksize = 0;
    FOURCC fccType = 0;      // form or list type of a "RIFF" or "LIST" chunk
    DWORD dwDataOffset = 0;  // file offset of the chunk's data (of the form type for RIFF/LIST)
    DWORD dwFlags = 0;
};
using LPMMCKINFO = MMCKINFO*;

// Only reading is supported: a write mode fails with MMIOERR_CANNOTWRITE in info->wErrorRet.
HMMIO mmioOpen(LPCSTR fileName, LPMMIOINFO info, DWORD flags);
MMRESULT mmioClose(HMMIO h, UINT flags);
LONG mmioRead(HMMIO h, char* buffer, LONG count);
LONG mmioSeek(HMMIO h, LONG offset, int origin);
// Chunk searches stay inside `parent` when one is given; sizes in headers are never trusted
// beyond the bytes that are really there.
MMRESULT mmioDescend(HMMIO h, LPMMCKINFO ck, const MMCKINFO* parent, UINT flags);
MMRESULT mmioAscend(HMMIO h, LPMMCKINFO ck, UINT flags);
MMRESULT mmioGetInfo(HMMIO h, LPMMIOINFO info, UINT flags);
MMRESULT mmioSetInfo(HMMIO h, const MMIOINFO* info, UINT flags);
MMRESULT mmioAdvance(HMMIO h, LPMMIOINFO info, UINT flags);
