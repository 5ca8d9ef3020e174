#pragma once
// Puts a picture file of any format the image library reads into a class-library bitmap: the
// colours only, as an ordinary GDI bitmap of the picture's depth (the alpha plane is dropped).
#include "Graphics.h"

// A missing file raises Exception and leaves the bitmap as it was; a file that no decoder
// accepts gives an empty bitmap and raises nothing.
void LoadImageToBitmap(TBitmap* Bitmap, AnsiString FileName);
// The same on the picture's bitmap (the picture then holds a bitmap).
void LoadImageToPicture(TPicture* Picture, AnsiString FileName);
