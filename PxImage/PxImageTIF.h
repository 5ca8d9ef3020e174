#pragma once
#include "PxFile.h"
#include "PxImage.h"

class PxImageTIF : public PxImage {
public:
    PxImageTIF() : PxImage(PXIMAGE_FORMAT_TIF) {}
    bool Decode(PxFile* hFile);
};
