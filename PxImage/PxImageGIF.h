#pragma once
#include "PxFile.h"
#include "PxImage.h"

class PxImageGIF : public PxImage {
public:
    PxImageGIF() : PxImage(PXIMAGE_FORMAT_GIF) {}
    bool Decode(PxFile* hFile);
};
