#pragma once
// JPEG streams through libjpeg, read from a PxFile, with the camera information of an EXIF block.
#include <cstdint>

#include "PxFile.h"
#include "PxImage.h"

// Camera information of a JPEG picture; zero-filled before use.
struct PXEXIFDATA {
    char ExifVersion[5];
    char Make[32];
    char Model[40];
    char DateTimeOriginal[20];
    int32_t Height;
    int32_t Width;
    int32_t Orientation;
    int32_t IsColor;
    int32_t Process;
    int32_t FlashUsed;
    float FocalLength;
    float ExposureTime;
    float FNumber;
    float SubjectDistance;
    float CcdWidth;
    float ExposureBias;
    int32_t LightSource;
    int32_t MeteringMode;
    int32_t ExposureProgram;
    int32_t IsoSpeed;
    int32_t CompressedBitsPerPixel;
    float FocalPlaneXResolution;
    float FocalPlaneYResolution;
    float FocalPlaneUnit;  // inches per unit
    float XResolution;
    float YResolution;
    float ResolutionUnit;  // inches per unit
    float Brightness;
    char Comment[1000];
    uint8_t* ThumbnailPointer;  // into a section kept by the EXIF reader; valid while it lives
    uint32_t ThumbnailSize;
    bool IsExif;
};

class PxImageJPG : public PxImage {
public:
    class PxExifInfo;  // PxImageEXIF.h
    class PxFileJpg;   // libjpeg's source and destination over a PxFile

    PxImageJPG();
    ~PxImageJPG() override;
    PxImageJPG(const PxImageJPG&) = delete;
    PxImageJPG& operator=(const PxImageJPG&) = delete;

    bool Decode(PxFile* hFile);
    bool ReadExif(PxFile* hFile);

    const PXEXIFDATA& GetExifData() const { return m_exifinfo; }
    const PxExifInfo* GetExifReader() const { return m_exif; }
    void SetDitherMode(uint8_t mode) { m_nDither = mode; }

protected:
    PxExifInfo* m_exif;
    PXEXIFDATA m_exifinfo;
    uint8_t m_nDither;
};
