#pragma once
// Windows bitmap streams: with or without the file header; info, OS/2 core and OS/2 2.x headers;
// 1 to 32 bits per pixel, uncompressed, RLE8, RLE4 or with bit-field masks.
#include "PxFile.h"
#include "PxImage.h"

class PxImageBMP : public PxImage {
public:
    PxImageBMP() : PxImage(PXIMAGE_FORMAT_BMP) {}
    bool Decode(PxFile* hFile);

protected:
    bool ReadBitmapInfo(PxFile* fh, BITMAPINFOHEADER* pdib);
    void BitfieldToRGB(uint8_t* src, uint32_t redmask, uint32_t greenmask, uint32_t bluemask, uint8_t bpp);

private:
    void DecodeRle8(PxFile* f);
    void DecodeRle4(PxFile* f);
};
