#pragma once
// Hand-made picture files, a scratch folder and pixel reads for the controls' tests.
#include <png.h>

#include "FormsTestSupport.h"
#include "TempDir.h"
#include "Graphics.h"

namespace ctest {

using formstest::WriteBmp;
// 0xRRGGBB, as people write colours; GDI colours are 0xBBGGRR.
using Rgb = uint32_t;
using PixelFn = std::function<Rgb(int x, int y)>;

inline Rgb FromColorRef(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
inline void WriteBmp24(const std::string& path, int w, int h, const PixelFn& px) { WriteBmp(path, w, h, 24, px); }
inline PixelFn Solid(Rgb c) {
    return [c](int, int) { return c; };
}

// An RGBA PNG; alpha gives each pixel's alpha.
inline void WritePng(const std::string& path, int w, int h, const PixelFn& px,
                     const std::function<uint8_t(int, int)>& alpha = nullptr) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(p);
    png_init_io(p, f);
    png_set_IHDR(p, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(p, info);
    std::vector<png_byte> row(static_cast<size_t>(w) * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            Rgb c = px(x, y);
            png_byte* o = &row[static_cast<size_t>(x) * 4];
            o[0] = static_cast<png_byte>(c >> 16), o[1] = static_cast<png_byte>(c >> 8),
            o[2] = static_cast<png_byte>(c);
            o[3] = alpha ? alpha(x, y) : 255;
        }
        png_write_row(p, row.data());
    }
    png_write_end(p, nullptr);
    png_destroy_write_struct(&p, &info);
    std::fclose(f);
}

// A 32-bit bitmap filled by px, and the 0xRRGGBB at (x, y) of one.
inline void MakeBitmap32(TBitmap& b, int w, int h, const PixelFn& px) {
    b.SetPixelFormat(pf32bit);
    b.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) static_cast<uint32_t*>(b.ScanLine(y))[x] = px(x, y) & 0xFFFFFF;
}
inline Rgb At32(TBitmap& b, int x, int y) { return static_cast<uint32_t*>(b.ScanLine(y))[x] & 0xFFFFFF; }

// The colour a control's surface shows at (x, y) (painting it first when it is invalid), and how
// many of its pixels have a colour.
inline Rgb SurfaceAt(TWinControl* c, int x, int y) { return FromColorRef(GetPixel(c->SurfaceDC(), x, y)); }
inline int CountOf(TWinControl* c, Rgb colour) {
    auto is = [&](int x, int y) { return SurfaceAt(c, x, y) == colour; };
    return formstest::CountPixels(0, 0, c->Width(), c->Height(), is);
}

// How many pixels of a control's surface differ from a bitmap's.
inline int Differences(TWinControl* c, TBitmap& b) {
    return formstest::CountPixels(0, 0, c->Width(), c->Height(), [&](int x, int y) {
        return SurfaceAt(c, x, y) != FromColorRef(GetPixel(b.Canvas()->Handle(), x, y));
    });
}

// The message of the exception f raises, or "no exception".
inline std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message.str();
    }
    return "no exception";
}

// A form (not shown) for skinned controls, and pictures in a scratch folder.
struct SkinTest : formstest::FormTest {
    SkinTest() : FormTest(false) {}
    // One-coloured BMP pictures of a size, named by their state.
    void Pictures(int w, int h, std::initializer_list<std::pair<const char*, Rgb>> pictures) {
        for (auto [name, colour] : pictures) WriteBmp24(dir / (std::string(name) + ".bmp"), w, h, Solid(colour));
    }
    AnsiString Pic(const std::string& name) const { return AnsiString(dir / (name + ".bmp")); }
    TempDir dir;
};

// lParam of a mouse message at (x, y).
inline LPARAM At(int x, int y) {
    return static_cast<LPARAM>((static_cast<uint32_t>(y) << 16) | (static_cast<uint32_t>(x) & 0xFFFF));
}

}  // namespace ctest
