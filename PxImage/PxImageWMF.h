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
    // The work that playing a metafile onto a picture of this size may do: pixels touched by its
    // drawing and rows crossed by its polygons' edges. Playing ends before it would pass it.
    static int64_t WorkBudget(int32_t width, int32_t height);
    // The work spent by the last metafile played on this thread.
    static int64_t LastWork();
    static void LimitSize(int32_t& width, int32_t& height);

protected:
    PxMetafileHandle WmfToEmf(PxFile* file, METAFILEHEADER& header);
    PxMetafileHandle ReadEmf(PxFile* file, ENHMETAHEADER& header);
};
