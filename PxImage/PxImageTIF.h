#pragma once
// TIFF pages through libtiff: RGB, YCbCr, CMYK and LogLuv pages as libtiff's RGBA rendering;
// bilevel, grey, palette, grey-with-alpha and CIE L*a*b* pages from raw strips or tiles.
#include <cstddef>
#include <cstdint>

#include "PxFile.h"
#include "PxImage.h"

struct tiff;

class PxImageTIF : public PxImage {
public:
    PxImageTIF() : PxImage(PXIMAGE_FORMAT_TIF) {}
    ~PxImageTIF() override;
    PxImageTIF(const PxImageTIF&) = delete;
    PxImageTIF& operator=(const PxImageTIF&) = delete;

    // Decodes the page named by the frame field; an escape of -1 asks for the size only.
    bool Decode(PxFile* hFile);

    static void CopyTileRows(uint8_t* dst, const uint8_t* src, uint32_t rows, size_t columns, size_t dstSkew,
                             size_t srcSkew);

protected:
    // A handle for writing; decoding opens one of its own.
    tiff* m_tif = nullptr;
    bool m_multipage = false;
    int32_t m_pages = 0;
};

// libtiff over one of our byte streams, which libtiff never closes.
tiff* TIFFOpenEx(PxFile* stream, const char* mode);
tiff* TiffOpenStream(PxFile* stream, const char* name, const char* mode);
