#pragma once
// Maps a bitmap, or a rectangle of it, onto any four-cornered shape of another bitmap, in
// integers only: the shape's rows are walked from top to bottom and the source in step along
// each row, one source pixel per destination pixel, no filtering. The pendulum's rod and weight
// are drawn this way at its angle, and their shadows with the shading variant.
//
// Corners: x0, y0, x1, y1, x2, y2, x3, y3 in destination pixels; p0 takes the source's top-left,
// p1 its top-right, p2 its bottom-right and p3 its bottom-left pixel. Both bitmaps must be
// 32 bits per pixel; anything else draws nothing.
#include <cstddef>
#include <cstdint>

#include "Graphics.h"

// Copies every source pixel that differs from the key (all 32 bits compared).
void DrawBitmapToQuad(TBitmap* Dest, const int Corners[8], TBitmap* Source, uint32_t KeyColor,
                      const RECT* SourceRect = nullptr);

// Where the source pixel differs from the key, adds Shift to the destination's blue, green and
// red bytes, each clamped to 0..255; the 4th byte stays.
void ShadeBitmapToQuad(TBitmap* Dest, const int Corners[8], TBitmap* Source, int16_t Shift, uint32_t KeyColor,
                       const RECT* SourceRect = nullptr);

namespace tikora::controls {

// 32-bit pixels in memory: rows top-down, Pitch bytes from one row to the next below it.
struct QuadPixels {
    uint8_t* Scan0 = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    ptrdiff_t Pitch = 0;
};

// The walk itself, over raw pixels; Shading false copies, true shades by Shift.
void WalkQuad(const QuadPixels& dest, const int corners[8], const QuadPixels& source, bool shading, int16_t shift,
              uint32_t key, const RECT* sourceRect);

}  // namespace tikora::controls
