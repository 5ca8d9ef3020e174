#include "Picutils.h"

#include "FileFunctions.h"
#include "HostPath.h"
#include "PxImage.h"

namespace {

[[noreturn]] void RaiseNotFound(const AnsiString& fileName, const char* operation, int line) {
    throw Exception("File not found:" + fileName + " src=" + "PicUtils" + ":" + operation + ":" + AnsiString(line));
}

// A picture that exists but no decoder takes is as unusable as a missing one, and the user is told
// the same; the bitmap keeps what it held.
void LoadInto(TBitmap* bitmap, const AnsiString& fileName, const char* operation, int line) {
    if (!FileExists(fileName)) RaiseNotFound(fileName, operation, line);
    // The image library opens host paths; the program names its pictures the Windows way.
    PxImage image(HostPath(fileName).c_str(), PXIMAGE_FORMAT_UNKNOWN);
    if (!image.IsValid()) RaiseNotFound(fileName, operation, line);
    HBITMAP fresh = image.MakeBitmap(nullptr);
    if (bitmap->Handle()) DeleteObject(bitmap->ReleaseHandle());
    bitmap->SetHandle(fresh);
    image.Destroy();
}

}  // namespace

void LoadImageToBitmap(TBitmap* Bitmap, AnsiString FileName) { LoadInto(Bitmap, FileName, "LoadImageToBitmap", 179); }

void LoadImageToPicture(TPicture* Picture, AnsiString FileName) {
    LoadInto(Picture->Bitmap(), FileName, "LoadImageToPicture", 192);
}
