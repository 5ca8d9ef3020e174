#pragma once
// PNG streams through libpng, read from a PxFile.
#include "PxFile.h"
#include "PxImage.h"

class PxImagePNG : public PxImage {
public:
    PxImagePNG() : PxImage(PXIMAGE_FORMAT_PNG) {}
    bool Decode(PxFile* hFile);

protected:
    void ExpandTwoToFourBits(uint8_t* row, uint32_t width);
};
