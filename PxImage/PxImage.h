#pragma once
// A decoded picture: one packed device-independent bitmap (header, palette, bottom-up rows padded
// to 32 bits) with optional 8-bit alpha and selection planes, and an info block that carries the
// format code, transparency, the last error text and per-format options.
#include <cstdint>
#include <cstdio>
#include "GdiTypes.h"

// Format codes: the type field, the codec-option index and the format argument of the loader.
enum : uint32_t {
    PXIMAGE_FORMAT_UNKNOWN = 0,
    PXIMAGE_FORMAT_BMP = 1,
    PXIMAGE_FORMAT_GIF = 2,
    PXIMAGE_FORMAT_JPG = 3,
    PXIMAGE_FORMAT_PNG = 4,
    PXIMAGE_FORMAT_ICO = 5,
    PXIMAGE_FORMAT_TIF = 6,
    PXIMAGE_FORMAT_TGA = 7,
    PXIMAGE_FORMAT_PCX = 8,
    PXIMAGE_FORMAT_WMF = 9,
    PXIMAGE_FORMATS = 10
};

// Interpolation methods of PxImage::InterpolatedPixelColor.
enum : uint8_t {
    PXIMAGE_IM_NEAREST_NEIGHBOUR = 1,
    PXIMAGE_IM_BILINEAR = 2,
    PXIMAGE_IM_BSPLINE = 3,
    PXIMAGE_IM_CUBIC = 4,
    PXIMAGE_IM_GENERAL_CUBIC = 5,
    PXIMAGE_IM_LANCZOS = 6,
    PXIMAGE_IM_BOX = 7,
    PXIMAGE_IM_HERMITE = 8,
    PXIMAGE_IM_DAMPED_HERMITE = 9,
    PXIMAGE_IM_SINC = 10,
    PXIMAGE_IM_BLACKMAN = 11,
    PXIMAGE_IM_BESSEL = 12,
    PXIMAGE_IM_GAUSSIAN = 13,
    PXIMAGE_IM_QUADRATIC = 14,
    PXIMAGE_IM_MITCHELL = 15,
    PXIMAGE_IM_CATMULL_ROM = 16
};

// What a position outside the image yields.
enum : uint8_t {
    PXIMAGE_OM_COLOR = 1,
    PXIMAGE_OM_BACKGROUND = 2,
    PXIMAGE_OM_TRANSPARENT = 3,
    PXIMAGE_OM_WRAP = 4,
    PXIMAGE_OM_REPEAT = 5,
    PXIMAGE_OM_MIRROR = 6
};

class PxImage;
class PxFile;

struct PXIMAGEINFO {
    uint32_t dwEffWidth;
    uint8_t* pImage;
    PxImage* pGhost;
    PxImage* pParent;
    uint32_t dwType;
    char szLastError[256];
    int32_t nProgress;
    int32_t nEscape;
    int32_t nBkgndIndex;
    RGBQUAD nBkgndColor;
    uint8_t nQuality;
    uint8_t nJpegScale;
    int32_t nFrame;
    int32_t nNumFrames;
    uint32_t dwFrameDelay;
    int32_t xDPI;
    int32_t yDPI;
    RECT rSelectionBox;
    uint8_t nAlphaMax;
    bool bAlphaPaletteEnabled;
    bool bEnabled;
    int32_t xOffset;
    int32_t yOffset;
    uint32_t dwCodecOpt[PXIMAGE_FORMATS];
    RGBQUAD last_c;
    uint8_t last_c_index;
    bool last_c_isvalid;
    int32_t nNumLayers;
    uint32_t dwFlags;
};

class PxImage {
public:
    explicit PxImage(uint32_t imagetype = 0);
    PxImage(uint32_t width, uint32_t height, uint32_t bpp, uint32_t imagetype = 0);
    PxImage(const PxImage& src, bool copypixels = true, bool copyselection = true, bool copyalpha = true);
    PxImage(const char* filename, uint32_t imagetype);
    virtual ~PxImage();
    PxImage& operator=(const PxImage&) = delete;

    bool Destroy();
    void* Create(uint32_t width, uint32_t height, uint32_t bpp, uint32_t imagetype = 0);
    void Copy(const PxImage& src, bool copypixels = true, bool copyselection = true, bool copyalpha = true);
    void CopyInfo(const PxImage& src);
    bool Transfer(PxImage& from);

    // Loading (byte streams and format detection).
    bool Load(const char* filename, uint32_t imagetype = 0);
    bool Decode(FILE* hFile, uint32_t imagetype);
    bool Decode(PxFile* hFile, uint32_t imagetype);
    void CopyLastError(const PxImage& from);

    // Pixel memory.
    uint8_t* GetBits(uint32_t row = 0);
    uint32_t GetSize() const;
    uint32_t GetPaletteSize() const;
    bool IsInside(int32_t x, int32_t y) const;
    void Clear(uint8_t bval = 0);

    uint32_t GetWidth() const { return static_cast<uint32_t>(head.biWidth); }
    uint32_t GetHeight() const { return static_cast<uint32_t>(head.biHeight); }
    uint32_t GetBpp() const { return head.biBitCount; }
    uint32_t GetEffWidth() const { return info.dwEffWidth; }
    uint32_t GetType() const { return info.dwType; }
    uint8_t GetJpegScale() const { return info.nJpegScale; }
    const char* GetLastError() const { return info.szLastError; }
    bool IsValid() const { return pDib != nullptr; }
    bool IsIndexed() const { return head.biClrUsed != 0; }
    int32_t GetTransIndex() const { return info.nBkgndIndex; }
    void SetTransIndex(int32_t idx) { info.nBkgndIndex = idx; }
    const BITMAPINFOHEADER& GetHeader() const { return head; }
    void* GetDIB() const { return pDib; }

    uint32_t GetCodecOption(uint32_t imagetype = 0) const;
    bool SetCodecOption(uint32_t opt, uint32_t imagetype = 0);
    void SetXDPI(int32_t dpi);
    void SetYDPI(int32_t dpi);
    int32_t GetXDPI() const { return info.xDPI; }
    int32_t GetYDPI() const { return info.yDPI; }
    uint8_t GetAlphaMax() const { return info.nAlphaMax; }
    void SetAlphaMax(uint8_t v) { info.nAlphaMax = v; }
    bool AlphaPaletteIsEnabled() const { return info.bAlphaPaletteEnabled; }
    void AlphaPaletteEnable(bool enable = true) { info.bAlphaPaletteEnabled = enable; }
    bool IsEnabled() const { return info.bEnabled; }
    void Enable(bool enable = true) { info.bEnabled = enable; }
    int32_t GetEscape() const { return info.nEscape; }
    void SetEscape(int32_t v) { info.nEscape = v; }
    const PXIMAGEINFO& GetInfo() const { return info; }

    // Palette.
    RGBQUAD* GetPalette() const;
    RGBQUAD GetPaletteColor(uint8_t idx) const;
    void SetPaletteColor(uint8_t idx, uint8_t r, uint8_t g, uint8_t b, uint8_t alpha = 0);
    void SetPalette(const RGBQUAD* pPal, uint32_t nColors = 256);
    void SetPalette(uint32_t n, const uint8_t* r, const uint8_t* g = nullptr, const uint8_t* b = nullptr);
    void SetPalette(const uint8_t* rgbTriples, uint32_t nColors);
    void SetGrayPalette();
    bool IsGrayScale() const;
    uint8_t GetNearestIndex(RGBQUAD c);

    // Pixels: x from the left, y from the bottom row.
    uint8_t GetPixelIndex(int32_t x, int32_t y) const;
    uint8_t BlindGetPixelIndex(int32_t x, int32_t y) const;
    void SetPixelIndex(int32_t x, int32_t y, uint8_t i);
    RGBQUAD GetPixelColor(int32_t x, int32_t y, bool bGetAlpha = true) const;
    RGBQUAD BlindGetPixelColor(int32_t x, int32_t y) const;
    void SetPixelColor(int32_t x, int32_t y, RGBQUAD c, bool bSetAlpha = false);
    void SetPixelColor(int32_t x, int32_t y, COLORREF cr);
    uint8_t* GetPixelPointer(int32_t x, int32_t y);
    void RGBtoBGR(uint8_t* buffer, int32_t length);
    static RGBQUAD RGBtoRGBQUAD(COLORREF cr);
    RGBQUAD GetTransColor() const;
    void SetTransColor(RGBQUAD rgb);

    // Alpha and selection planes.
    bool AlphaIsValid() const { return pAlpha != nullptr; }
    bool AlphaCreate();
    void AlphaDelete();
    void AlphaSet(int32_t x, int32_t y, uint8_t a);
    uint8_t AlphaGet(int32_t x, int32_t y) const;
    uint8_t* AlphaGetPointer(int32_t x = 0, int32_t y = 0);
    uint8_t BlindAlphaGet(int32_t x, int32_t y) const;
    bool AlphaFlip();
    bool AlphaMirror();
    bool SelectionIsValid() const { return pSelection != nullptr; }
    bool SelectionCreate();
    void SelectionDelete();
    bool SelectionIsInside(int32_t x, int32_t y) const;

    // Whole-image operations.
    bool Flip();
    bool Mirror();
    bool RotateLeft(PxImage* iDst = nullptr);
    bool RotateRight(PxImage* iDst = nullptr);
    bool Negative();

    // Colours at fractional positions and beyond the edges (PxImageInterpolate.cpp); the method
    // codes are the PXIMAGE_IM_* and PXIMAGE_OM_* values.
    RGBQUAD InterpolatedPixelColor(float x, float y, uint8_t inMethod = 2, uint8_t ofMethod = 0,
                                   RGBQUAD* rplColor = nullptr);
    RGBQUAD PixelColorWithOverflow(int32_t x, int32_t y, uint8_t ofMethod = 0, RGBQUAD* rplColor = nullptr);
    void FoldCoordinates(int32_t* x, int32_t* y, uint8_t ofMethod) const;
    void FoldCoordinates(float* x, float* y, uint8_t ofMethod) const;
    static float FilterBSpline(float x);
    static float FilterCubic(float x);
    static float FilterGeneralCubic(float x, float a = -0.5f);
    static float FilterLanczos(float x, float radius);
    static float FilterBox(float x);
    static float FilterHermite(float x);
    static float FilterDampedHermite(float x);
    static float FilterSinc(float x);
    static float FilterBlackman(float x);
    static float FilterBessel(float x);
    static float FilterGaussian(float x);
    static float FilterQuadratic(float x);
    static float FilterMitchell(float x);
    static float FilterCatmullRom(float x);
    static double BesselOrderOne(double x);
    static double BesselJ1Ratio(double p);
    static double BesselP1(double p);
    static double BesselQ1(double p);

    // Conversion to GDI and drawing.
    HBITMAP MakeBitmap(HDC hdc = nullptr);
    int32_t Draw(HDC hdc, int32_t x = 0, int32_t y = 0, int32_t cx = -1, int32_t cy = -1, RECT* pClipRect = nullptr,
                 bool bSmooth = false);

protected:
    void Startup(uint32_t imagetype);
    // Keeps at most 255 characters, the last error field's capacity.
    void SetLastError(const char* text);
    uint64_t PlaneSize() const;

    void* pDib;
    BITMAPINFOHEADER head;
    PXIMAGEINFO info;
    uint8_t* pSelection;
    uint8_t* pAlpha;
    PxImage** ppLayers;

    friend class CImageIterator;
};

// Row cursor with which decoders fill an image.
class CImageIterator {
public:
    explicit CImageIterator(PxImage* image);
    bool SetY(int32_t y);
    uint8_t* GetRow(int32_t n);
    uint8_t* GetRow() { return RowPtr(); }
    void ToTopRow();
    bool PrevRow();
    bool NextRow();
    bool RowIsInside() const;
    void SetRow(const uint8_t* buf, int32_t n);
    void GetRow(uint8_t* buf, int32_t n);
    int32_t GetY() const { return Iy; }

private:
    // Row operations act only while 0 <= y < height; the bits pointer is read from the image
    // every time, so a re-created image never leaves the cursor on freed memory.
    uint8_t* RowPtr() const;

    int32_t Itx = 0, Ity = 0;
    int32_t Stepx = 0, Stepy = 0;
    int32_t Ix = 0, Iy = 0;
    PxImage* ima;
};
