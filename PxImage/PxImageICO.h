#pragma once
// One image of a Windows icon or cursor file; the icon's AND mask becomes an alpha plane, a
// transparent palette index or a transparent colour. Failures are a false result only.
#include "PxFile.h"
#include "PxImage.h"

class PxImageICO : public PxImage {
public:
    PxImageICO() : PxImage(PXIMAGE_FORMAT_ICO) {}
    bool Decode(PxFile* hFile);
};
