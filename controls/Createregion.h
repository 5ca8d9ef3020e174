#pragma once
// Builds a window region from a bitmap: every pixel whose colour is not the key colour, so a
// window can take the outline of its skin picture.
#include "Graphics.h"

// The region of all pixels that differ from Key in red, green or blue, shifted right by XOffset;
// 0 when there is none. The caller owns the region. The bitmap is left at 24 bits per pixel.
HRGN CreateRegion(TBitmap* Bitmap, TColor Key, int XOffset);
