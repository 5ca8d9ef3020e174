#pragma once
#include "PxFile.h"
#include "PxImage.h"

class PxImageWMF : public PxImage {
public:
    PxImageWMF() : PxImage(PXIMAGE_FORMAT_WMF) {}
    bool Decode(PxFile* hFile, int32_t nForceWidth = 0, int32_t nForceHeight = 0);
};
