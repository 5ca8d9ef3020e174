#pragma once
#include "PxFile.h"
#include "PxImage.h"

class PxImageICO : public PxImage {
public:
    PxImageICO() : PxImage(PXIMAGE_FORMAT_ICO) {}
    bool Decode(PxFile* hFile);
};
