#pragma once
// One image of a Windows icon or cursor file; the icon's AND mask becomes an alpha plane, a
// transparent palette index or a transparent colour. An image may also be a whole PNG stream.
// A failure is a false result with the reason as last error.
#include "PxFile.h"
#include "PxImage.h"

class PxImageICO : public PxImage {
public:
    PxImageICO() : PxImage(PXIMAGE_FORMAT_ICO) {}
    bool Decode(PxFile* hFile);

private:
    bool Fail(const char* text);
};
