#include "Createregion.h"

HRGN CreateRegion(TBitmap* Bitmap, TColor Key, int XOffset) {
    if (!Bitmap) return nullptr;
    Bitmap->SetPixelFormat(pf24bit);
    // A system colour (clBtnFace and the like) keys on the colour it stands for.
    COLORREF key = ColorToRGB(Key);
    const uint8_t keyR = GetRValue(key), keyG = GetGValue(key), keyB = GetBValue(key);

    HRGN result = nullptr;
    auto closeRun = [&](int start, int end, int y) {
        HRGN run = CreateRectRgn(start + XOffset, y, end + XOffset, y + 1);
        if (!result) {
            result = run;
        } else {
            CombineRgn(result, result, run, RGN_OR);
            DeleteObject(run);
        }
    };

    const int width = Bitmap->Width(), height = Bitmap->Height();
    for (int y = 0; y < height; ++y) {
        const auto* p = static_cast<const uint8_t*>(Bitmap->ScanLine(y));
        int start = -1;
        for (int x = 0; x < width; ++x, p += 3) {
            bool shape = p[0] != keyB || p[1] != keyG || p[2] != keyR;
            if (shape) {
                if (start < 0) start = x;
            } else if (start >= 0) {
                closeRun(start, x, y);
                start = -1;
            }
        }
        if (start >= 0) closeRun(start, width, y);
    }
    return result;
}
