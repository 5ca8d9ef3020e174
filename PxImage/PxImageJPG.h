#pragma once
#include "PxFile.h"
#include "PxImage.h"

class PxImageJPG : public PxImage {
public:
    PxImageJPG() : PxImage(PXIMAGE_FORMAT_JPG) {}
    bool Decode(PxFile* hFile);
};
