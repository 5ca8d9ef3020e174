#pragma once
#include "PxFile.h"
#include "PxImage.h"

class PxImagePCX : public PxImage {
public:
    PxImagePCX() : PxImage(PXIMAGE_FORMAT_PCX) {}
    bool Decode(PxFile* hFile);
};
