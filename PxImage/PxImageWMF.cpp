#include "PxImageWMF.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "PxImageWMFPlayer.h"

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr int32_t kMaxSide = 4000;

using tikora::metafile::kMmAnisotropic;
using tikora::metafile::Player;

}  // namespace

void PxMetafileDeleter::operator()(PxMetafile* mf) const { delete mf; }

namespace {

thread_local int64_t lastWork = 0;

int32_t ScreenCaps(int index) {
    HDC screen = GetDC(nullptr);
    const int32_t v = GetDeviceCaps(screen, index);
    ReleaseDC(nullptr, screen);
    return v;
}

}  // namespace

int64_t PxImageWMF::LastWork() { return lastWork; }

int64_t PxImageWMF::WorkBudget(int32_t width, int32_t height) { return tikora::metafile::WorkBudget(width, height); }

bool PxImageWMF::IsPlaceable(const METAFILEHEADER& h) {
    const uint16_t words[10] = {static_cast<uint16_t>(h.key),
                                static_cast<uint16_t>(h.key >> 16),
                                h.hmf,
                                static_cast<uint16_t>(h.left),
                                static_cast<uint16_t>(h.top),
                                static_cast<uint16_t>(h.right),
                                static_cast<uint16_t>(h.bottom),
                                h.inch,
                                static_cast<uint16_t>(h.reserved),
                                static_cast<uint16_t>(h.reserved >> 16)};
    uint16_t sum = 0;
    for (uint16_t w : words) sum ^= w;
    return h.key == kPlaceableKey && h.checksum == sum && h.inch >= 1 && h.inch <= 2540;
}

void PxImageWMF::LimitSize(int32_t& width, int32_t& height) {
    if (width > kMaxSide) {
        height = static_cast<int32_t>(static_cast<int64_t>(height) * kMaxSide / width);
        width = kMaxSide;
    }
    if (height > kMaxSide) {
        width = static_cast<int32_t>(static_cast<int64_t>(width) * kMaxSide / height);
        height = kMaxSide;
    }
    // A very thin picture must not shrink to nothing.
    width = std::max(width, 1);
    height = std::max(height, 1);
}

PxMetafileHandle PxImageWMF::WmfToEmf(PxFile* file, METAFILEHEADER& header) {
    const int32_t streamSize = file->Size();
    uint8_t raw[22];
    const PxLeReader b = PxLeReader::FromFile(file, raw, sizeof(raw));
    if (!b.Has(0, sizeof(raw))) return nullptr;
    header.key = b.U32(0);
    header.hmf = b.U16(4);
    header.left = static_cast<int16_t>(b.U16(6));
    header.top = static_cast<int16_t>(b.U16(8));
    header.right = static_cast<int16_t>(b.U16(10));
    header.bottom = static_cast<int16_t>(b.U16(12));
    header.inch = b.U16(14);
    header.reserved = b.U32(16);
    header.checksum = b.U16(20);
    if (!IsPlaceable(header)) return nullptr;

    uint8_t rawRecord[18];
    const PxLeReader m = PxLeReader::FromFile(file, rawRecord, sizeof(rawRecord));
    if (!m.Has(0, sizeof(rawRecord))) return nullptr;
    const uint16_t type = m.U16(0);
    const uint64_t bytes = static_cast<uint64_t>(m.U32(6)) * 2;
    if ((type != 1 && type != 2) || streamSize < 0 || bytes > static_cast<uint64_t>(streamSize)) return nullptr;
    PxMetafileHandle mf(new (std::nothrow) PxMetafile);
    if (!mf) return nullptr;
    try {
        mf->bytes.resize(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (!file->Seek(22, SEEK_SET) || file->Read(mf->bytes.data(), 1, mf->bytes.size()) != mf->bytes.size())
        return nullptr;
    // Too short for its own header: not a metafile at all.
    if (mf->bytes.size() < 18) return nullptr;

    HDC screen = GetDC(nullptr);
    const int32_t dpiX = GetDeviceCaps(screen, LOGPIXELSX), dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    int32_t xExt = (header.right - header.left) * dpiX / header.inch;
    int32_t yExt = (header.bottom - header.top) * dpiY / header.inch;
    // Only positive extents grow: a zero or negative one would never reach the bound.
    while (xExt > 0 && yExt > 0 && xExt < 0x199A && yExt < 0x199A) {
        xExt *= 10;
        yExt *= 10;
    }
    mf->enhanced = false;
    mf->mapMode = kMmAnisotropic;
    mf->xExt = xExt;
    mf->yExt = yExt;
    mf->boxLeft = header.left;
    mf->boxTop = header.top;
    mf->boxWidth = header.right - header.left;
    mf->boxHeight = header.bottom - header.top;
    return mf;
}

PxMetafileHandle PxImageWMF::ReadEmf(PxFile* file, ENHMETAHEADER& header) {
    const int32_t size = file->Size();
    if (size < 88) return nullptr;
    PxMetafileHandle mf(new (std::nothrow) PxMetafile);
    if (!mf) return nullptr;
    try {
        mf->bytes.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (file->Read(mf->bytes.data(), 1, mf->bytes.size()) != mf->bytes.size()) return nullptr;
    const PxLeReader b(mf->bytes.data(), mf->bytes.size());
    const uint32_t recordSize = b.U32(4);
    if (b.U32(0) != 1 || b.U32(40) != kEmfSignature || recordSize < 88 || recordSize > mf->bytes.size()) return nullptr;
    auto rect = [&](size_t o) { return RECT{b.I32(o), b.I32(o + 4), b.I32(o + 8), b.I32(o + 12)}; };
    header.bounds = rect(8);
    header.frame = rect(24);
    header.handles = b.U16(56);
    header.palEntries = b.U32(68);
    header.device = SIZE{b.I32(72), b.I32(76)};
    header.millimeters = SIZE{b.I32(80), b.I32(84)};
    mf->enhanced = true;
    mf->header = header;
    return mf;
}

bool PxImageWMF::Decode(PxFile* hFile, int32_t nForceWidth, int32_t nForceHeight) {
    if (!hFile) return false;
    const int32_t pos = hFile->Tell();

    int64_t width = 0, height = 0;
    METAFILEHEADER placeable;
    PxMetafileHandle mf = WmfToEmf(hFile, placeable);
    if (mf) {
        width = static_cast<int64_t>(placeable.right - placeable.left) * ScreenCaps(LOGPIXELSX) / placeable.inch;
        height = static_cast<int64_t>(placeable.bottom - placeable.top) * ScreenCaps(LOGPIXELSY) / placeable.inch;
    } else {
        hFile->Seek(pos, SEEK_SET);
        ENHMETAHEADER emh;
        mf = ReadEmf(hFile, emh);
        if (!mf) {
            SetLastError("corrupted WMF");
            return false;
        }
        width = static_cast<int64_t>(emh.bounds.right) - emh.bounds.left;
        height = static_cast<int64_t>(emh.bounds.bottom) - emh.bounds.top;
    }

    if (info.nEscape) {
        SetLastError("Cancelled");
        return false;
    }
    // A box with its corners swapped has no area to draw either.
    if (width <= 0 || height <= 0) {
        SetLastError("empty WMF");
        return false;
    }
    int32_t w = static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX));
    int32_t h = static_cast<int32_t>(std::min<int64_t>(height, INT32_MAX));
    if (nForceWidth > 0) w = nForceWidth;
    if (nForceHeight > 0) h = nForceHeight;
    LimitSize(w, h);

    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HDC memDC = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (!memDC) {
        if (bitmap) DeleteObject(bitmap);
        return false;
    }
    if (!bitmap) {
        DeleteDC(memDC);
        return false;
    }

    const int32_t depth = GetDeviceCaps(memDC, BITSPIXEL);
    HGDIOBJ oldBitmap = SelectObject(memDC, bitmap);
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const COLORREF oldBk = SetBkColor(memDC, window);
    tikora::gdi::FillSolidRect(memDC, RECT{0, 0, w, h}, window);
    SetBkColor(memDC, oldBk);

    // The software GDI's surfaces are true colour: a metafile's palette has nothing to realise.
    lastWork = Player(memDC, *mf, w, h).Play();
    SelectObject(memDC, oldBitmap);
    mf.reset();

    if (info.nEscape) {
        DeleteObject(bitmap);
        DeleteDC(memDC);
        SetLastError("Cancelled");
        return false;
    }
    if (!Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), static_cast<uint32_t>(std::max(depth, 1)),
                PXIMAGE_FORMAT_WMF)) {
        DeleteObject(bitmap);
        DeleteDC(memDC);
        return false;
    }
    const int lines =
        GetDIBits(memDC, bitmap, 0, static_cast<UINT>(h), GetBits(0), static_cast<BITMAPINFO*>(pDib), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memDC);
    return lines != 0;
}
