#include "Picutils.h"

#include "FileFunctions.h"
#include "HostPath.h"
#include "PxImage.h"

namespace {

[[noreturn]] void RaiseNotFound(const AnsiString& fileName, const char* operation, int line) {
  throw Exception("File not found:" + fileName + " src=" + "PicUtils" + ":" + operation + ":" +
                  AnsiString(line));
}

void LoadInto(TBitmap* bitmap, const AnsiString& fileName) {
  // The image library opens host paths; the program names its pictures the Windows way.
  PxImage image(HostPath(fileName).c_str(), PXIMAGE_FORMAT_UNKNOWN);
  HBITMAP fresh = image.MakeBitmap(nullptr);
  if (bitmap->Handle()) DeleteObject(bitmap->ReleaseHandle());
  bitmap->SetHandle(fresh);
  image.Destroy();
}

}  // namespace

void LoadImageToBitmap(TBitmap* Bitmap, AnsiString FileName) {
  if (!FileExists(FileName)) RaiseNotFound(FileName, "LoadImageToBitmap", 179);
  LoadInto(Bitmap, FileName);
}

void LoadImageToPicture(TPicture* Picture, AnsiString FileName) {
  if (!FileExists(FileName)) RaiseNotFound(FileName, "LoadImageToPicture", 192);
  LoadInto(Picture->Bitmap(), FileName);
}
