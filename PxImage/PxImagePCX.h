#pragma once
// ZSoft PCX, run-length encoded: 1, 2, 4 and 8 bits per pixel in one plane, 1 bit in up to four
// planes, and 8 bits in three or four planes (true colour, the fourth plane as alpha).
#include "PxFile.h"
#include "PxImage.h"

class PxImagePCX : public PxImage {
public:
    PxImagePCX() : PxImage(PXIMAGE_FORMAT_PCX) {}
    bool Decode(PxFile* hFile);

protected:
    void UnpackRow(uint8_t* pixels, const uint8_t* bitplanes, int32_t bytesperline, int32_t planes,
                   int32_t bitsperpixel);
    void MergePlanes(uint8_t* pixels, const uint8_t* bitplanes, int32_t bytesperline, int32_t planes,
                     int32_t bitsperpixel);
};
