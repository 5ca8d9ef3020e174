#include "PxImage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint64_t kMaxMemory = 256000000;

uint32_t StrideOf(uint64_t bpp, uint64_t width) { return static_cast<uint32_t>(((bpp * width + 31) / 32) * 4); }

uint32_t PackColor(RGBQUAD c) {
    return static_cast<uint32_t>(c.rgbBlue) | (static_cast<uint32_t>(c.rgbGreen) << 8) |
           (static_cast<uint32_t>(c.rgbRed) << 16) | (static_cast<uint32_t>(c.rgbReserved) << 24);
}

}  // namespace

PxImage::PxImage(uint32_t imagetype) { Startup(imagetype); }

PxImage::PxImage(uint32_t width, uint32_t height, uint32_t bpp, uint32_t imagetype) {
    Startup(imagetype);
    Create(width, height, bpp, imagetype);
}

PxImage::PxImage(const PxImage& src, bool copypixels, bool copyselection, bool copyalpha) {
    Startup(src.GetType());
    Copy(src, copypixels, copyselection, copyalpha);
}

PxImage::PxImage(const char* filename, uint32_t imagetype) {
    Startup(imagetype);
    Load(filename, imagetype);
}

PxImage::~PxImage() { Destroy(); }

void PxImage::Startup(uint32_t imagetype) {
    pDib = nullptr;
    pSelection = nullptr;
    pAlpha = nullptr;
    ppLayers = nullptr;
    std::memset(&head, 0, sizeof(head));
    std::memset(&info, 0, sizeof(info));
    info.dwType = imagetype;
    info.nQuality = 90;
    info.nAlphaMax = 255;
    info.nBkgndIndex = -1;
    info.bEnabled = true;
    SetXDPI(96);
    SetYDPI(96);
}

void PxImage::SetLastError(const char* text) {
    if (text == info.szLastError) return;
    size_t n = text ? std::min<size_t>(std::strlen(text), sizeof(info.szLastError) - 1) : 0;
    std::memmove(info.szLastError, text ? text : "", n);
    info.szLastError[n] = 0;
}

uint64_t PxImage::PlaneSize() const {
    if (head.biWidth <= 0 || head.biHeight <= 0) return 0;
    return static_cast<uint64_t>(head.biWidth) * static_cast<uint64_t>(head.biHeight);
}

bool PxImage::Destroy() {
    if (info.pGhost) return false;
    if (ppLayers) {
        for (int32_t n = 0; n < info.nNumLayers; n++) delete ppLayers[n];
        delete[] ppLayers;
        ppLayers = nullptr;
        info.nNumLayers = 0;
    }
    std::free(pSelection);
    pSelection = nullptr;
    std::free(pAlpha);
    pAlpha = nullptr;
    std::free(pDib);
    pDib = nullptr;
    // A copy of the info block must not carry a pointer into the freed block.
    info.pImage = nullptr;
    return true;
}

void* PxImage::Create(uint32_t width, uint32_t height, uint32_t bpp, uint32_t imagetype) {
    if (!Destroy()) return nullptr;

    // Sizes beyond INT32_MAX are negative numbers in the signed header fields.
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) {
        SetLastError("PxImage::Create : width and height must be greater than zero");
        return nullptr;
    }

    if (bpp <= 1)
        bpp = 1;
    else if (bpp <= 4)
        bpp = 4;
    else if (bpp <= 8)
        bpp = 8;
    else
        bpp = 24;

    uint64_t stride = StrideOf(bpp, width);
    uint64_t imageSize = stride * height;
    if (static_cast<uint64_t>(width) * height * bpp / 256 > kMaxMemory ||
        imageSize + sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) > INT32_MAX) {
        SetLastError("PXIMAGE_MAX_MEMORY exceeded");
        return nullptr;
    }

    switch (bpp) {
        case 1:
            head.biClrUsed = 2;
            break;
        case 4:
            head.biClrUsed = 16;
            break;
        case 8:
            head.biClrUsed = 256;
            break;
        default:
            head.biClrUsed = 0;
    }

    info.dwEffWidth = static_cast<uint32_t>(stride);
    info.dwType = imagetype;

    head.biSize = sizeof(BITMAPINFOHEADER);
    head.biWidth = static_cast<int32_t>(width);
    head.biHeight = static_cast<int32_t>(height);
    head.biPlanes = 1;
    head.biBitCount = static_cast<uint16_t>(bpp);
    head.biCompression = BI_RGB;
    head.biSizeImage = static_cast<uint32_t>(imageSize);
    head.biClrImportant = 0;
    SetXDPI(info.xDPI);
    SetYDPI(info.yDPI);

    // Zero-filled, so a decoder that stops early shows black rather than old heap contents.
    pDib = std::calloc(GetSize(), 1);
    if (!pDib) {
        SetLastError("PxImage::Create can't allocate memory");
        return nullptr;
    }

    SelectionDelete();
    AlphaDelete();
    std::memcpy(pDib, &head, sizeof(BITMAPINFOHEADER));
    info.pImage = GetBits(0);
    info.last_c_isvalid = false;
    return pDib;
}

void PxImage::Copy(const PxImage& src, bool copypixels, bool copyselection, bool copyalpha) {
    if (&src == this) return;
    // The ghost pointer of the source must not make this image a non-owner.
    PxImage* ghost = info.pGhost;
    std::memcpy(&info, &src.info, sizeof(PXIMAGEINFO));
    info.pGhost = ghost;
    info.pImage = nullptr;
    info.nNumLayers = 0;
    if (!src.pDib) return;
    if (!Create(src.GetWidth(), src.GetHeight(), src.GetBpp(), src.GetType())) return;
    if (copypixels)
        std::memcpy(pDib, src.pDib, GetSize());
    else
        SetPalette(src.GetPalette(), 256);
    // Create made a picture of at least one pixel, so the planes are never empty.
    uint64_t plane = PlaneSize();
    if (plane == 0) return;
    if (copyselection && src.pSelection) {
        std::free(pSelection);
        pSelection = static_cast<uint8_t*>(std::malloc(plane));
        if (pSelection) std::memcpy(pSelection, src.pSelection, plane);
    }
    if (copyalpha && src.pAlpha) {
        std::free(pAlpha);
        pAlpha = static_cast<uint8_t*>(std::malloc(plane));
        if (pAlpha) std::memcpy(pAlpha, src.pAlpha, plane);
    }
}

void PxImage::CopyInfo(const PxImage& src) {
    if (pDib) return;
    std::memcpy(&info, &src.info, sizeof(PXIMAGEINFO));
    // Pointers into the source's memory and its ownership links stay with the source.
    info.pImage = nullptr;
    info.pGhost = nullptr;
    info.nNumLayers = 0;
}

bool PxImage::Transfer(PxImage& from) {
    if (&from == this) return true;
    if (!Destroy()) return false;
    std::memcpy(&head, &from.head, sizeof(BITMAPINFOHEADER));
    std::memcpy(&info, &from.info, sizeof(PXIMAGEINFO));
    pDib = from.pDib;
    pSelection = from.pSelection;
    pAlpha = from.pAlpha;
    ppLayers = from.ppLayers;
    std::memset(&from.head, 0, sizeof(BITMAPINFOHEADER));
    std::memset(&from.info, 0, sizeof(PXIMAGEINFO));
    from.pDib = nullptr;
    from.pSelection = nullptr;
    from.pAlpha = nullptr;
    from.ppLayers = nullptr;
    return true;
}

uint8_t* PxImage::GetBits(uint32_t row) {
    if (!pDib) return nullptr;
    uint8_t* first = static_cast<uint8_t*>(pDib) + head.biSize + GetPaletteSize();
    if (row == 0) return first;
    if (row < GetHeight()) return first + static_cast<uint64_t>(row) * info.dwEffWidth;
    return nullptr;
}

uint32_t PxImage::GetSize() const { return head.biSize + head.biSizeImage + GetPaletteSize(); }

uint32_t PxImage::GetPaletteSize() const { return head.biClrUsed * static_cast<uint32_t>(sizeof(RGBQUAD)); }

bool PxImage::IsInside(int32_t x, int32_t y) const { return 0 <= y && y < head.biHeight && 0 <= x && x < head.biWidth; }

void PxImage::Clear(uint8_t bval) {
    if (!pDib) return;
    if (GetBpp() == 1) {
        if (bval > 0) bval = 255;
    } else if (GetBpp() == 4) {
        bval = static_cast<uint8_t>(17 * (bval & 0x0F));
    }
    std::memset(info.pImage, bval, head.biSizeImage);
}

uint32_t PxImage::GetCodecOption(uint32_t imagetype) const {
    if (imagetype >= PXIMAGE_FORMATS) return 0;
    if (imagetype == 0) imagetype = GetType();
    return imagetype < PXIMAGE_FORMATS ? info.dwCodecOpt[imagetype] : 0;
}

bool PxImage::SetCodecOption(uint32_t opt, uint32_t imagetype) {
    if (imagetype >= PXIMAGE_FORMATS) return false;
    if (imagetype == 0) imagetype = GetType();
    if (imagetype >= PXIMAGE_FORMATS) return false;
    info.dwCodecOpt[imagetype] = opt;
    return true;
}

void PxImage::SetXDPI(int32_t dpi) {
    if (dpi <= 0) dpi = 96;
    info.xDPI = dpi;
    head.biXPelsPerMeter = static_cast<int32_t>(std::min(std::floor(dpi * 10000.0 / 254.0 + 0.5), 2147483647.0));
    if (pDib) static_cast<BITMAPINFOHEADER*>(pDib)->biXPelsPerMeter = head.biXPelsPerMeter;
}

void PxImage::SetYDPI(int32_t dpi) {
    if (dpi <= 0) dpi = 96;
    info.yDPI = dpi;
    head.biYPelsPerMeter = static_cast<int32_t>(std::min(std::floor(dpi * 10000.0 / 254.0 + 0.5), 2147483647.0));
    if (pDib) static_cast<BITMAPINFOHEADER*>(pDib)->biYPelsPerMeter = head.biYPelsPerMeter;
}

// ---- palette -------------------------------------------------------------------------------

RGBQUAD* PxImage::GetPalette() const {
    if (pDib && head.biClrUsed)
        return reinterpret_cast<RGBQUAD*>(static_cast<uint8_t*>(pDib) + sizeof(BITMAPINFOHEADER));
    return nullptr;
}

RGBQUAD PxImage::GetPaletteColor(uint8_t idx) const {
    RGBQUAD rgb{0, 0, 0, 0};
    if (pDib && head.biClrUsed && idx < head.biClrUsed) rgb = GetPalette()[idx];
    return rgb;
}

void PxImage::SetPaletteColor(uint8_t idx, uint8_t r, uint8_t g, uint8_t b, uint8_t alpha) {
    if (pDib && head.biClrUsed && idx < head.biClrUsed) {
        RGBQUAD& e = GetPalette()[idx];
        e.rgbBlue = b;
        e.rgbGreen = g;
        e.rgbRed = r;
        e.rgbReserved = alpha;
        info.last_c_isvalid = false;
    }
}

void PxImage::SetPalette(const RGBQUAD* pPal, uint32_t nColors) {
    if (!pPal || !pDib || !head.biClrUsed) return;
    uint32_t n = std::min(head.biClrUsed, nColors);
    std::memcpy(GetPalette(), pPal, n * sizeof(RGBQUAD));
    info.last_c_isvalid = false;
}

void PxImage::SetPalette(uint32_t n, const uint8_t* r, const uint8_t* g, const uint8_t* b) {
    if (!r || !pDib || !head.biClrUsed) return;
    if (!g) g = r;
    if (!b) b = g;
    RGBQUAD* pal = GetPalette();
    uint32_t m = std::min(head.biClrUsed, n);
    for (uint32_t i = 0; i < m; i++) {
        pal[i].rgbRed = r[i];
        pal[i].rgbGreen = g[i];
        pal[i].rgbBlue = b[i];
    }
    info.last_c_isvalid = false;
}

void PxImage::SetPalette(const uint8_t* rgbTriples, uint32_t nColors) {
    if (!rgbTriples || !pDib || !head.biClrUsed) return;
    RGBQUAD* pal = GetPalette();
    uint32_t m = std::min(head.biClrUsed, nColors);
    for (uint32_t i = 0; i < m; i++) {
        pal[i].rgbRed = rgbTriples[3 * i];
        pal[i].rgbGreen = rgbTriples[3 * i + 1];
        pal[i].rgbBlue = rgbTriples[3 * i + 2];
    }
    info.last_c_isvalid = false;
}

void PxImage::SetGrayPalette() {
    if (!pDib || head.biClrUsed < 2) return;
    RGBQUAD* pal = GetPalette();
    uint32_t step = 255 / (head.biClrUsed - 1);
    for (uint32_t i = 0; i < head.biClrUsed; i++) {
        uint8_t v = static_cast<uint8_t>(step * i);
        pal[i].rgbBlue = pal[i].rgbGreen = pal[i].rgbRed = v;
    }
    info.last_c_isvalid = false;
}

bool PxImage::IsGrayScale() const {
    RGBQUAD* pal = GetPalette();
    if (!pal) return false;
    for (uint32_t i = 0; i < head.biClrUsed; i++) {
        if (pal[i].rgbBlue != i || pal[i].rgbGreen != i || pal[i].rgbRed != i) return false;
    }
    return true;
}

uint8_t PxImage::GetNearestIndex(RGBQUAD c) {
    RGBQUAD* pal = GetPalette();
    if (!pal) return 0;
    if (info.last_c_isvalid && PackColor(info.last_c) == PackColor(c)) return info.last_c_index;
    info.last_c = c;
    info.last_c_isvalid = true;

    uint32_t n = head.biClrImportant ? std::min(head.biClrImportant, head.biClrUsed) : head.biClrUsed;
    int32_t best = 200000;
    uint8_t j = 0;
    for (uint32_t i = 0; i < n; i++) {
        int32_t db = pal[i].rgbBlue - c.rgbBlue;
        int32_t dg = pal[i].rgbGreen - c.rgbGreen;
        int32_t dr = pal[i].rgbRed - c.rgbRed;
        int32_t k = db * db + dg * dg + dr * dr;
        if (k == 0) {
            j = static_cast<uint8_t>(i);
            break;
        }
        if (k < best) {
            best = k;
            j = static_cast<uint8_t>(i);
        }
    }
    info.last_c_index = j;
    return j;
}

// ---- pixels --------------------------------------------------------------------------------

uint8_t PxImage::BlindGetPixelIndex(int32_t x, int32_t y) const {
    const uint8_t* row = info.pImage + static_cast<uint64_t>(y) * info.dwEffWidth;
    switch (head.biBitCount) {
        case 8:
            return row[x];
        case 4: {
            uint8_t v = row[x >> 1];
            return (x & 1) ? (v & 0x0F) : (v >> 4);
        }
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        default:
            return 0;
    }
}

uint8_t PxImage::GetPixelIndex(int32_t x, int32_t y) const {
    if (!pDib || !head.biClrUsed) return 0;
    if (!IsInside(x, y)) {
        if (info.nBkgndIndex >= 0) return static_cast<uint8_t>(info.nBkgndIndex);
        return *info.pImage;
    }
    return BlindGetPixelIndex(x, y);
}

void PxImage::SetPixelIndex(int32_t x, int32_t y, uint8_t i) {
    if (!pDib || !head.biClrUsed || !IsInside(x, y)) return;
    uint8_t* row = info.pImage + static_cast<uint64_t>(y) * info.dwEffWidth;
    switch (head.biBitCount) {
        case 8:
            row[x] = i;
            break;
        case 4: {
            uint8_t& v = row[x >> 1];
            v = (x & 1) ? static_cast<uint8_t>((v & 0xF0) | (i & 0x0F))
                        : static_cast<uint8_t>((v & 0x0F) | ((i & 0x0F) << 4));
            break;
        }
        case 1: {
            uint8_t& v = row[x >> 3];
            uint8_t mask = static_cast<uint8_t>(1 << (7 - (x & 7)));
            v = (i & 1) ? static_cast<uint8_t>(v | mask) : static_cast<uint8_t>(v & ~mask);
            break;
        }
        default:
            break;
    }
}

RGBQUAD PxImage::BlindGetPixelColor(int32_t x, int32_t y) const {
    if (head.biClrUsed) return GetPaletteColor(BlindGetPixelIndex(x, y));
    const uint8_t* p = info.pImage + static_cast<uint64_t>(y) * info.dwEffWidth + 3 * static_cast<uint64_t>(x);
    RGBQUAD rgb{p[0], p[1], p[2], 0};
    if (pAlpha) rgb.rgbReserved = BlindAlphaGet(x, y);
    return rgb;
}

RGBQUAD PxImage::GetPixelColor(int32_t x, int32_t y, bool bGetAlpha) const {
    RGBQUAD rgb = info.nBkgndColor;
    if (!pDib) return rgb;
    if (!IsInside(x, y)) {
        if (info.nBkgndIndex >= 0) {
            if (head.biBitCount < 24) return GetPaletteColor(static_cast<uint8_t>(info.nBkgndIndex));
            return info.nBkgndColor;
        }
        // Only reached with a DIB, so (0, 0) exists.
        return GetPixelColor(0, 0, true);
    }
    if (head.biClrUsed) {
        rgb = GetPaletteColor(BlindGetPixelIndex(x, y));
    } else {
        const uint8_t* p = info.pImage + static_cast<uint64_t>(y) * info.dwEffWidth + 3 * static_cast<uint64_t>(x);
        rgb.rgbBlue = p[0];
        rgb.rgbGreen = p[1];
        rgb.rgbRed = p[2];
    }
    if (pAlpha && bGetAlpha) rgb.rgbReserved = BlindAlphaGet(x, y);
    return rgb;
}

void PxImage::SetPixelColor(int32_t x, int32_t y, RGBQUAD c, bool bSetAlpha) {
    if (!pDib || !IsInside(x, y)) return;
    if (head.biClrUsed) {
        SetPixelIndex(x, y, GetNearestIndex(c));
        return;
    }
    uint8_t* p = info.pImage + static_cast<uint64_t>(y) * info.dwEffWidth + 3 * static_cast<uint64_t>(x);
    p[0] = c.rgbBlue;
    p[1] = c.rgbGreen;
    p[2] = c.rgbRed;
    if (bSetAlpha) AlphaSet(x, y, c.rgbReserved);
}

void PxImage::SetPixelColor(int32_t x, int32_t y, COLORREF cr) { SetPixelColor(x, y, RGBtoRGBQUAD(cr), false); }

uint8_t* PxImage::GetPixelPointer(int32_t x, int32_t y) {
    if (head.biClrUsed || !pDib) return nullptr;
    return info.pImage + static_cast<int64_t>(y) * info.dwEffWidth + 3 * static_cast<int64_t>(x);
}

void PxImage::RGBtoBGR(uint8_t* buffer, int32_t length) {
    if (!buffer || head.biClrUsed || length <= 0) return;
    uint32_t n = std::min(info.dwEffWidth, static_cast<uint32_t>(length));
    for (uint32_t i = 0; i + 2 < n; i += 3) std::swap(buffer[i], buffer[i + 2]);
}

RGBQUAD PxImage::RGBtoRGBQUAD(COLORREF cr) {
    return RGBQUAD{static_cast<uint8_t>((cr >> 16) & 0xFF), static_cast<uint8_t>((cr >> 8) & 0xFF),
                   static_cast<uint8_t>(cr & 0xFF), 0};
}

RGBQUAD PxImage::GetTransColor() const {
    if (head.biBitCount < 24 && info.nBkgndIndex >= 0) return GetPaletteColor(static_cast<uint8_t>(info.nBkgndIndex));
    return info.nBkgndColor;
}

void PxImage::SetTransColor(RGBQUAD rgb) {
    rgb.rgbReserved = 0;
    info.nBkgndColor = rgb;
}

// ---- alpha and selection planes ------------------------------------------------------------

bool PxImage::AlphaCreate() {
    if (pAlpha) return true;
    uint64_t n = PlaneSize();
    if (n == 0) return false;
    pAlpha = static_cast<uint8_t*>(std::malloc(n));
    if (!pAlpha) return false;
    std::memset(pAlpha, 255, n);
    return true;
}

void PxImage::AlphaDelete() {
    std::free(pAlpha);
    pAlpha = nullptr;
}

void PxImage::AlphaSet(int32_t x, int32_t y, uint8_t a) {
    if (pAlpha && IsInside(x, y)) pAlpha[x + static_cast<int64_t>(y) * head.biWidth] = a;
}

uint8_t PxImage::AlphaGet(int32_t x, int32_t y) const {
    if (pAlpha && IsInside(x, y)) return pAlpha[x + static_cast<int64_t>(y) * head.biWidth];
    return 0;
}

uint8_t* PxImage::AlphaGetPointer(int32_t x, int32_t y) {
    if (pAlpha && IsInside(x, y)) return pAlpha + x + static_cast<int64_t>(y) * head.biWidth;
    return nullptr;
}

uint8_t PxImage::BlindAlphaGet(int32_t x, int32_t y) const {
    return pAlpha[x + static_cast<int64_t>(y) * head.biWidth];
}

bool PxImage::AlphaFlip() {
    if (!pAlpha) return false;
    uint64_t w = static_cast<uint64_t>(head.biWidth);
    uint32_t h = GetHeight();
    if (PlaneSize() == 0) return false;
    uint8_t* flipped = static_cast<uint8_t*>(std::malloc(PlaneSize()));
    if (!flipped) return false;
    for (uint32_t y = 0; y < h; y++) std::memcpy(flipped + (h - 1 - y) * w, pAlpha + y * w, w);
    std::free(pAlpha);
    pAlpha = flipped;
    return true;
}

bool PxImage::AlphaMirror() {
    if (!pAlpha) return false;
    uint64_t w = static_cast<uint64_t>(head.biWidth);
    for (uint32_t y = 0; y < GetHeight(); y++) std::reverse(pAlpha + y * w, pAlpha + (y + 1) * w);
    return true;
}

bool PxImage::SelectionCreate() {
    if (pSelection) return true;
    uint64_t n = PlaneSize();
    if (n == 0) return false;
    pSelection = static_cast<uint8_t*>(std::calloc(n, 1));
    return pSelection != nullptr;
}

void PxImage::SelectionDelete() {
    std::free(pSelection);
    pSelection = nullptr;
    info.rSelectionBox.left = head.biWidth;
    info.rSelectionBox.bottom = head.biHeight;
    info.rSelectionBox.top = 0;
    info.rSelectionBox.right = 0;
}

bool PxImage::SelectionIsInside(int32_t x, int32_t y) const {
    if (!IsInside(x, y)) return false;
    if (!pSelection) return true;
    return pSelection[x + static_cast<int64_t>(y) * head.biWidth] != 0;
}

// ---- whole-image operations ----------------------------------------------------------------

bool PxImage::Flip() {
    if (!pDib) return false;
    // Rows are swapped in place: the same result as flipping into a copy, without a second
    // picture's worth of memory.
    uint32_t h = GetHeight();
    uint32_t stride = info.dwEffWidth;
    std::unique_ptr<uint8_t[]> tmp(new (std::nothrow) uint8_t[stride]);
    if (!tmp) return false;
    for (uint32_t y = 0; y < h / 2; y++) {
        uint8_t* a = GetBits(y);
        uint8_t* b = GetBits(h - 1 - y);
        std::memcpy(tmp.get(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, tmp.get(), stride);
    }
    if (pAlpha) {
        uint64_t w = static_cast<uint64_t>(head.biWidth);
        for (uint32_t y = 0; y < h / 2; y++)
            std::swap_ranges(pAlpha + y * w, pAlpha + (y + 1) * w, pAlpha + (h - 1 - y) * w);
    }
    return true;
}

bool PxImage::Mirror() {
    if (!pDib) return false;
    auto copy = std::make_unique<PxImage>(*this, false, false, true);
    if (!copy->IsValid()) return false;
    int32_t w = head.biWidth;
    uint32_t h = GetHeight();
    if (head.biBitCount == 8) {
        for (uint32_t y = 0; y < h; y++) {
            const uint8_t* s = GetBits(y);
            uint8_t* d = copy->GetBits(y);
            for (int32_t x = 0; x < w; x++) d[w - 1 - x] = s[x];
        }
    } else if (head.biBitCount == 24) {
        for (uint32_t y = 0; y < h; y++) {
            const uint8_t* s = GetBits(y);
            uint8_t* d = copy->GetBits(y);
            for (int32_t x = 0; x < w; x++) std::memcpy(d + 3 * (w - 1 - x), s + 3 * x, 3);
        }
    } else {
        for (int32_t y = 0; y < static_cast<int32_t>(h); y++)
            for (int32_t x = 0; x < w; x++) copy->SetPixelIndex(w - 1 - x, y, BlindGetPixelIndex(x, y));
    }
    copy->AlphaMirror();
    return Transfer(*copy);
}

namespace {

// Old position of the pixel that lands at new (x, y).
struct RotateMap {
    bool left;
    int32_t newW, newH;
    void Source(int32_t x, int32_t y, int32_t& ox, int32_t& oy) const {
        if (left) {
            ox = y;
            oy = newW - 1 - x;
        } else {
            ox = newH - 1 - y;
            oy = x;
        }
    }
};

bool Rotate(PxImage& src, PxImage* iDst, bool left) {
    if (!src.IsValid()) return false;
    int32_t newW = static_cast<int32_t>(src.GetHeight());
    int32_t newH = static_cast<int32_t>(src.GetWidth());
    auto dst = std::make_unique<PxImage>(src.GetType());
    // The info block can only be taken over while the new image holds no pixels yet.
    dst->CopyInfo(src);
    if (!dst->Create(static_cast<uint32_t>(newW), static_cast<uint32_t>(newH), src.GetBpp(), src.GetType()))
        return false;
    dst->SetPalette(src.GetPalette(), 256);
    if (src.AlphaIsValid()) dst->AlphaCreate();
    RotateMap map{left, newW, newH};

    if (src.GetBpp() == 1) {
        // Bit by bit; the destination was zero-filled by Create.
        for (int32_t y = 0; y < newH; y++)
            for (int32_t x = 0; x < newW; x++) {
                int32_t ox, oy;
                map.Source(x, y, ox, oy);
                if (src.BlindGetPixelIndex(ox, oy)) dst->SetPixelIndex(x, y, 1);
            }
        if (src.AlphaIsValid())
            for (int32_t y = 0; y < newH; y++)
                for (int32_t x = 0; x < newW; x++) {
                    int32_t ox, oy;
                    map.Source(x, y, ox, oy);
                    dst->AlphaSet(x, y, src.BlindAlphaGet(ox, oy));
                }
    } else {
        constexpr int32_t kTile = 64;
        bool rgb = src.GetBpp() == 24;
        for (int32_t xs = 0; xs < newW; xs += kTile) {
            for (int32_t ys = 0; ys < newH; ys += kTile) {
                for (int32_t x = xs; x < std::min(newW, xs + kTile); x++) {
                    const_cast<PXIMAGEINFO&>(src.GetInfo()).nProgress = static_cast<int32_t>(100LL * x / newW);
                    for (int32_t y = ys; y < std::min(newH, ys + kTile); y++) {
                        int32_t ox, oy;
                        map.Source(x, y, ox, oy);
                        if (rgb)
                            std::memcpy(dst->GetPixelPointer(x, y), src.GetPixelPointer(ox, oy), 3);
                        else
                            dst->SetPixelIndex(x, y, src.BlindGetPixelIndex(ox, oy));
                        if (src.AlphaIsValid()) dst->AlphaSet(x, y, src.BlindAlphaGet(ox, oy));
                    }
                }
            }
        }
    }
    if (iDst) return iDst->Transfer(*dst);
    return src.Transfer(*dst);
}

}  // namespace

bool PxImage::RotateLeft(PxImage* iDst) { return Rotate(*this, iDst, true); }

bool PxImage::RotateRight(PxImage* iDst) { return Rotate(*this, iDst, false); }

bool PxImage::Negative() {
    if (!pDib) return false;
    if (head.biBitCount > 8) {
        if (pSelection) {
            const RECT& box = info.rSelectionBox;
            for (int32_t y = std::max(0, box.bottom); y < std::min(head.biHeight, box.top); y++)
                for (int32_t x = std::max(0, box.left); x < std::min(head.biWidth, box.right); x++)
                    if (SelectionIsInside(x, y)) {
                        uint8_t* p = GetPixelPointer(x, y);
                        p[0] = static_cast<uint8_t>(255 - p[0]);
                        p[1] = static_cast<uint8_t>(255 - p[1]);
                        p[2] = static_cast<uint8_t>(255 - p[2]);
                    }
        } else {
            uint8_t* p = info.pImage;
            for (uint32_t i = 0; i < head.biSizeImage; i++) p[i] = static_cast<uint8_t>(255 - p[i]);
        }
        info.nBkgndColor.rgbBlue = static_cast<uint8_t>(255 - info.nBkgndColor.rgbBlue);
        info.nBkgndColor.rgbGreen = static_cast<uint8_t>(255 - info.nBkgndColor.rgbGreen);
        info.nBkgndColor.rgbRed = static_cast<uint8_t>(255 - info.nBkgndColor.rgbRed);
    } else if (!IsGrayScale()) {
        RGBQUAD* pal = GetPalette();
        for (uint32_t i = 0; i < head.biClrUsed; i++) {
            pal[i].rgbBlue = static_cast<uint8_t>(255 - pal[i].rgbBlue);
            pal[i].rgbGreen = static_cast<uint8_t>(255 - pal[i].rgbGreen);
            pal[i].rgbRed = static_cast<uint8_t>(255 - pal[i].rgbRed);
        }
        info.last_c_isvalid = false;
    } else {
        int32_t x0 = 0, x1 = head.biWidth, y0 = 0, y1 = head.biHeight;
        if (pSelection) {
            const RECT& box = info.rSelectionBox;
            x0 = std::max(0, box.left);
            x1 = std::min(head.biWidth, box.right);
            y0 = std::max(0, box.bottom);
            y1 = std::min(head.biHeight, box.top);
        }
        for (int32_t y = y0; y < y1; y++)
            for (int32_t x = x0; x < x1; x++)
                if (SelectionIsInside(x, y)) SetPixelIndex(x, y, static_cast<uint8_t>(~BlindGetPixelIndex(x, y)));
    }
    return true;
}

// ---- row cursor ----------------------------------------------------------------------------

CImageIterator::CImageIterator(PxImage* image) : ima(image) {}

uint8_t* CImageIterator::RowPtr() const {
    if (!ima || !ima->info.pImage || Iy < 0 || Iy >= ima->head.biHeight) return nullptr;
    return ima->info.pImage + static_cast<uint64_t>(Iy) * ima->info.dwEffWidth;
}

bool CImageIterator::SetY(int32_t y) {
    if (!ima || y < 0 || y > ima->head.biHeight) return false;
    Iy = y;
    return true;
}

uint8_t* CImageIterator::GetRow(int32_t n) {
    SetY(n);
    return RowPtr();
}

void CImageIterator::ToTopRow() {
    Ix = 0;
    Iy = ima ? ima->head.biHeight - 1 : 0;
}

bool CImageIterator::PrevRow() {
    if (--Iy < 0) return false;
    return true;
}

bool CImageIterator::NextRow() {
    if (!ima || ++Iy >= ima->head.biHeight) return false;
    return true;
}

bool CImageIterator::RowIsInside() const { return ima && ima->IsInside(Ix, Iy); }

void CImageIterator::SetRow(const uint8_t* buf, int32_t n) {
    uint8_t* row = RowPtr();
    if (!row || !buf || n == 0) return;
    int32_t stride = static_cast<int32_t>(ima->info.dwEffWidth);
    if (n < 0 || n > stride) n = stride;
    std::memcpy(row, buf, static_cast<size_t>(n));
}

void CImageIterator::GetRow(uint8_t* buf, int32_t n) {
    uint8_t* row = RowPtr();
    if (!row || !buf || n < 1) return;
    n = std::min(n, static_cast<int32_t>(ima->info.dwEffWidth));
    std::memcpy(buf, row, static_cast<size_t>(n));
}
