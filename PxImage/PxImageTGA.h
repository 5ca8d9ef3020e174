#pragma once
// Truevision Targa: colour-mapped, true-colour and grey pictures, uncompressed or run-length
// encoded, 8 to 32 bits per pixel; the fourth byte of 32-bit pixels becomes the alpha plane.
#include "PxFile.h"
#include "PxImage.h"

class PxImageTGA : public PxImage {
public:
    PxImageTGA() : PxImage(PXIMAGE_FORMAT_TGA) {}
    bool Decode(PxFile* hFile);

    struct TGAHEADER {
        uint8_t IdLength;
        uint8_t CmapType;
        uint8_t ImageType;
        uint16_t CmapIndex;
        uint16_t CmapLength;
        uint8_t CmapEntrySize;
        uint16_t X_Origin;
        uint16_t Y_Origin;
        uint16_t ImageWidth;
        uint16_t ImageHeight;
        uint8_t PixelDepth;
        uint8_t ImagDesc;
    };

protected:
    void ReadRawPixels(uint8_t* pDest, const TGAHEADER& ptgaHead, PxFile* hFile, int32_t pixels, int32_t y,
                       int32_t xoffset);
    uint8_t ReadRlePixels(uint8_t* pDest, const TGAHEADER& ptgaHead, PxFile* hFile, int32_t width, int32_t y,
                          uint8_t rleLeftover);
};
