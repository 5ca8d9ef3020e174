#pragma once
#include "PxFile.h"
#include "PxImage.h"

class PxImageTGA : public PxImage {
public:
    PxImageTGA() : PxImage(PXIMAGE_FORMAT_TGA) {}
    bool Decode(PxFile* hFile);
};
