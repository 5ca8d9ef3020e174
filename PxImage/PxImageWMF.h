#pragma once
// Windows metafiles: placeable WMF (with the 22-byte Aldus header) and enhanced metafiles (EMF),
// played into a bitmap of the screen's depth the size of the picture.
#include <cstdint>
#include <memory>

#include "PxFile.h"
#include "PxImage.h"

// A metafile ready for playing: the stand-in for an enhanced-metafile handle, which the software
// GDI does not have.
struct PxMetafile;
struct PxMetafileDeleter {
    void operator()(PxMetafile* mf) const;
};
using PxMetafileHandle = std::unique_ptr<PxMetafile, PxMetafileDeleter>;

class PxImageWMF : public PxImage {
public:
    // The placeable header, as read from its 22 bytes.
    struct METAFILEHEADER {
        uint32_t key = 0;
        uint16_t hmf = 0;
        int16_t left = 0, top = 0, right = 0, bottom = 0;
        uint16_t inch = 0;
        uint32_t reserved = 0;
        uint16_t checksum = 0;
    };

    // The parts of an enhanced metafile's header that sizing and playing need.
    struct ENHMETAHEADER {
        RECT bounds{};  // device units of the reference device, inclusive
        RECT frame{};   // 0.01 mm
        uint16_t handles = 0;
        uint32_t palEntries = 0;
        SIZE device{};       // reference device in pixels
        SIZE millimeters{};  // reference device in millimetres
    };

    PxImageWMF() : PxImage(PXIMAGE_FORMAT_WMF) {}

    // Forced sizes of 0 keep the picture's own size.
    bool Decode(PxFile* hFile, int32_t nForceWidth = 0, int32_t nForceHeight = 0);

    static bool IsPlaceable(const METAFILEHEADER& header);
    // The scan-line work of the last metafile played on this thread: the rows its polygon fills
    // crossed, summed over their edges. Playing ends before it would pass 2^24.
    static int64_t LastScanRows();
    static void LimitSize(int32_t& width, int32_t& height);

protected:
    PxMetafileHandle WmfToEmf(PxFile* file, METAFILEHEADER& header);
    PxMetafileHandle ReadEmf(PxFile* file, ENHMETAHEADER& header);
};
