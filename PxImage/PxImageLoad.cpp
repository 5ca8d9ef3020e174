// Loading by file name and by stream, and format detection.
#include <cstring>
#include <memory>

#include "PxFile.h"
#include "PxImage.h"
#include "PxImageBMP.h"
#include "PxImageGIF.h"
#include "PxImageICO.h"
#include "PxImageJPG.h"
#include "PxImagePCX.h"
#include "PxImagePNG.h"
#include "PxImageTGA.h"
#include "PxImageTIF.h"
#include "PxImageWMF.h"

namespace {

constexpr const char* kUnknownFormat = "Decode: Unknown or wrong format";

// One attempt: a fresh decoder that carries the caller's info block; the caller's image changes
// only when the decoder succeeds.
template <class Decoder, class... Args>
bool TryDecoder(PxImage& target, PxFile* file, bool keepError, Args... args) {
    auto decoder = std::make_unique<Decoder>();
    decoder->CopyInfo(target);
    if (decoder->Decode(file, args...)) return target.Transfer(*decoder);
    if (keepError) target.CopyLastError(*decoder);
    return false;
}

bool DecodeAs(PxImage& target, PxFile* file, uint32_t format, bool keepError) {
    switch (format) {
        case PXIMAGE_FORMAT_BMP:
            return TryDecoder<PxImageBMP>(target, file, keepError);
        case PXIMAGE_FORMAT_GIF:
            return TryDecoder<PxImageGIF>(target, file, keepError);
        case PXIMAGE_FORMAT_JPG:
            return TryDecoder<PxImageJPG>(target, file, keepError);
        case PXIMAGE_FORMAT_PNG:
            return TryDecoder<PxImagePNG>(target, file, keepError);
        case PXIMAGE_FORMAT_ICO:
            return TryDecoder<PxImageICO>(target, file, keepError);
        case PXIMAGE_FORMAT_TIF:
            return TryDecoder<PxImageTIF>(target, file, keepError);
        case PXIMAGE_FORMAT_TGA:
            return TryDecoder<PxImageTGA>(target, file, keepError);
        case PXIMAGE_FORMAT_PCX:
            return TryDecoder<PxImagePCX>(target, file, keepError);
        case PXIMAGE_FORMAT_WMF:
            return TryDecoder<PxImageWMF>(target, file, keepError, 0, 0);
        default:
            return false;
    }
}

}  // namespace

void PxImage::CopyLastError(const PxImage& from) { SetLastError(from.info.szLastError); }

bool PxImage::Load(const char* filename, uint32_t imagetype) {
    if (!filename) return false;
    if (imagetype > 0 && imagetype < PXIMAGE_FORMATS) {
        FILE* fp = std::fopen(filename, "rb");
        if (!fp) return false;
        bool ok = Decode(fp, imagetype);
        std::fclose(fp);
        if (ok) return true;
    }

    char given[sizeof(info.szLastError)];
    std::memcpy(given, info.szLastError, sizeof(given));

    FILE* fp = std::fopen(filename, "rb");
    if (!fp) return false;
    bool ok = Decode(fp, 0);
    std::fclose(fp);
    if (!ok && imagetype != 0) SetLastError(given);
    return ok;
}

bool PxImage::Decode(FILE* hFile, uint32_t imagetype) {
    PxIOFile file(hFile);
    return Decode(&file, imagetype);
}

bool PxImage::Decode(PxFile* hFile, uint32_t imagetype) {
    if (!hFile) {
        SetLastError(kUnknownFormat);
        return false;
    }
    if (imagetype == PXIMAGE_FORMAT_UNKNOWN) {
        static constexpr uint32_t kOrder[] = {PXIMAGE_FORMAT_BMP, PXIMAGE_FORMAT_JPG, PXIMAGE_FORMAT_ICO,
                                              PXIMAGE_FORMAT_GIF, PXIMAGE_FORMAT_PNG, PXIMAGE_FORMAT_TIF,
                                              PXIMAGE_FORMAT_TGA, PXIMAGE_FORMAT_PCX, PXIMAGE_FORMAT_WMF};
        int32_t pos = hFile->Tell();
        for (uint32_t format : kOrder) {
            if (DecodeAs(*this, hFile, format, false)) return true;
            hFile->Seek(pos, SEEK_SET);
        }
        SetLastError(kUnknownFormat);
        return false;
    }
    if (imagetype < PXIMAGE_FORMATS) return DecodeAs(*this, hFile, imagetype, true);
    SetLastError(kUnknownFormat);
    return false;
}
