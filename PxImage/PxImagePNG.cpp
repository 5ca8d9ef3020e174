#include "PxImagePNG.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace {

void ReadData(png_structp png_ptr, png_bytep data, png_size_t length) {
    auto* file = static_cast<PxFile*>(png_get_io_ptr(png_ptr));
    if (file->Read(data, 1, length) != length) png_error(png_ptr, "Read Error");
}

[[noreturn]] void ErrorExit(png_structp png_ptr, png_const_charp message) {
    auto* text = static_cast<char*>(png_get_error_ptr(png_ptr));
    if (text) {
        size_t n = std::min<size_t>(std::strlen(message), 255);
        std::memcpy(text, message, n);
        text[n] = 0;
    }
    png_longjmp(png_ptr, 1);
}

// libpng would print its warnings to standard error; the library stays quiet.
void IgnoreWarning(png_structp, png_const_charp) {}

int32_t ToDpi(png_uint_32 perMetre) {
    double dpi = std::floor(perMetre * 254.0 * 0.0001 + 0.5);
    return dpi > INT32_MAX ? INT32_MAX : static_cast<int32_t>(dpi);
}

}  // namespace

void PxImagePNG::ExpandTwoToFourBits(uint8_t* row, uint32_t width) {
    for (int64_t x = static_cast<int64_t>(width) - 1; x >= 0; x--) {
        uint8_t sample = static_cast<uint8_t>((row[x / 4] >> ((3 - x % 4) * 2)) & 3);
        uint8_t& dst = row[x / 2];
        if (x % 2 == 0)
            dst = static_cast<uint8_t>((dst & 0x0F) | (sample << 4));
        else
            dst = static_cast<uint8_t>((dst & 0xF0) | sample);
    }
}

// libpng reports errors by a long jump back here: between setjmp and every jump point this
// function holds no object with a destructor, and what the recovery needs is kept in volatiles.
bool PxImagePNG::Decode(PxFile* hFile) {
    if (!hFile) return false;

    png_structp png_ptr = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png_ptr) {
        SetLastError("Failed to create PNG structure");
        return false;
    }
    png_infop info_ptr = png_create_info_struct(png_ptr);
    if (!info_ptr) {
        png_destroy_read_struct(&png_ptr, nullptr, nullptr);
        SetLastError("Failed to initialize PNG info structure");
        return false;
    }

    uint8_t* volatile row_buffer = nullptr;
    if (setjmp(png_jmpbuf(png_ptr))) {
        std::free(row_buffer);
        png_destroy_read_struct(&png_ptr, &info_ptr, nullptr);
        return false;
    }

    png_set_read_fn(png_ptr, hFile, ReadData);
    png_set_error_fn(png_ptr, info.szLastError, ErrorExit, IgnoreWarning);
    png_read_info(png_ptr, info_ptr);

    const png_uint_32 width = png_get_image_width(png_ptr, info_ptr);
    const png_uint_32 height = png_get_image_height(png_ptr, info_ptr);
    const int bit_depth = png_get_bit_depth(png_ptr, info_ptr);
    const int color_type = png_get_color_type(png_ptr, info_ptr);
    const int channels = png_get_channels(png_ptr, info_ptr);
    const int pixel_depth = bit_depth * channels;

    png_color_16p file_background = nullptr;
    bool has_background = png_get_bKGD(png_ptr, info_ptr, &file_background) != 0 && file_background;
    if (pixel_depth != 32) {
        if (has_background) {
            png_set_background(png_ptr, file_background, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
        } else {
            png_color_16 default_background{0, 192, 192, 192, 0};
            png_set_background(png_ptr, &default_background, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
        }
    } else if (has_background) {
        info.nBkgndColor.rgbRed = static_cast<uint8_t>(file_background->red);
        info.nBkgndColor.rgbGreen = static_cast<uint8_t>(file_background->green);
        info.nBkgndColor.rgbBlue = static_cast<uint8_t>(file_background->blue);
        info.nBkgndColor.rgbReserved = 0;
    }

    if (bit_depth == 16) png_set_strip_16(png_ptr);

    int image_depth = pixel_depth > 16 ? 24 : pixel_depth == 16 ? 8 : pixel_depth;
    if (!Create(width, height, static_cast<uint32_t>(image_depth), PXIMAGE_FORMAT_PNG))
        png_longjmp(png_ptr, 1);  // keeps Create's text

    png_uint_32 res_x = 0, res_y = 0;
    int unit = 0;
    png_get_pHYs(png_ptr, info_ptr, &res_x, &res_y, &unit);
    if (unit == PNG_RESOLUTION_METER) {
        SetXDPI(ToDpi(res_x));
        SetYDPI(ToDpi(res_y));
    } else {
        SetXDPI(static_cast<int32_t>(std::min<png_uint_32>(res_x, INT32_MAX)));
        SetYDPI(static_cast<int32_t>(std::min<png_uint_32>(res_y, INT32_MAX)));
    }

    png_colorp file_palette = nullptr;
    int palette_entries = 0;
    if (png_get_PLTE(png_ptr, info_ptr, &file_palette, &palette_entries) && file_palette) {
        uint8_t triples[256 * 3];
        int n = std::clamp(palette_entries, 0, 256);
        for (int i = 0; i < n; i++) {
            triples[3 * i] = file_palette[i].red;
            triples[3 * i + 1] = file_palette[i].green;
            triples[3 * i + 2] = file_palette[i].blue;
        }
        SetPalette(triples, static_cast<uint32_t>(n));
    } else if (bit_depth == 2) {
        SetPaletteColor(0, 0, 0, 0);
        SetPaletteColor(1, 85, 85, 85);
        SetPaletteColor(2, 170, 170, 170);
        SetPaletteColor(3, 255, 255, 255);
    } else {
        SetGrayPalette();
    }

    // Only palette images carry per-entry alpha; libpng has no such table for grey or RGB.
    png_bytep trans_alpha = nullptr;
    int num_trans = 0;
    if (color_type == PNG_COLOR_TYPE_PALETTE && GetPalette() &&
        png_get_tRNS(png_ptr, info_ptr, &trans_alpha, &num_trans, nullptr) && trans_alpha && num_trans > 0) {
        RGBQUAD* pal = GetPalette();
        uint32_t n = std::min(head.biClrUsed, static_cast<uint32_t>(num_trans));
        for (uint32_t i = 0; i < n; i++) pal[i].rgbReserved = trans_alpha[i];
        if (num_trans == 1 && pal[0].rgbReserved == 0) {
            info.nBkgndIndex = 0;
        } else {
            info.bAlphaPaletteEnabled = true;
            for (uint32_t i = n; i < head.biClrUsed; i++) pal[i].rgbReserved = 255;
        }
        info.last_c_isvalid = false;
    }

    if (color_type == PNG_COLOR_TYPE_RGB_ALPHA || (color_type == PNG_COLOR_TYPE_GRAY_ALPHA && pixel_depth == 32)) {
        if (color_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
            png_set_gray_to_rgb(png_ptr);
            png_set_expand(png_ptr);
        }
        png_set_filler(png_ptr, 0xFF, PNG_FILLER_AFTER);
        if (!AlphaCreate()) png_error(png_ptr, "PxImage::Create can't allocate memory");
    }

    if (color_type & PNG_COLOR_MASK_COLOR) png_set_bgr(png_ptr);

    if (info.nEscape) png_longjmp(png_ptr, 1);

    const int passes = png_set_interlace_handling(png_ptr);
    SetCodecOption(passes > 1 ? 1 : 0, PXIMAGE_FORMAT_PNG);
    png_read_update_info(png_ptr, info_ptr);

    // libpng's own row size guards against a transformation that widens rows beyond the
    // file's pixel depth.
    const uint64_t stride = info.dwEffWidth;
    uint64_t buffer_size = static_cast<uint64_t>(width) * ((pixel_depth + 7) / 8) + 10;
    buffer_size = std::max<uint64_t>(buffer_size, png_get_rowbytes(png_ptr, info_ptr));
    buffer_size = std::max<uint64_t>(buffer_size, stride);
    if (pAlpha) buffer_size = std::max<uint64_t>(buffer_size, static_cast<uint64_t>(width) * 4);
    row_buffer = static_cast<uint8_t*>(std::calloc(buffer_size, 1));
    if (!row_buffer) png_error(png_ptr, "PxImage::Create can't allocate memory");
    uint8_t* const row = row_buffer;

    CImageIterator iter(this);
    for (int pass = 0; pass < passes; pass++) {
        iter.ToTopRow();
        for (png_uint_32 y = 0; y < height; y++) {
            if (info.nEscape) png_longjmp(png_ptr, 1);
            if (!pAlpha) {
                if (passes > 1 && pass > 0) iter.GetRow(row, static_cast<int32_t>(stride));
                png_read_row(png_ptr, row, nullptr);
                if (bit_depth == 2 && pass == passes - 1) ExpandTwoToFourBits(row, width);
                iter.SetRow(row, static_cast<int32_t>(stride));
                iter.PrevRow();
            } else {
                uint64_t ay = height - 1 - y;
                uint8_t* bits = info.pImage + ay * stride;
                uint8_t* alpha = pAlpha + ay * width;
                if (passes > 1 && pass > 0) {
                    for (int64_t x = static_cast<int64_t>(width) - 1; x >= 0; x--) {
                        row[4 * x] = bits[3 * x];
                        row[4 * x + 1] = bits[3 * x + 1];
                        row[4 * x + 2] = bits[3 * x + 2];
                        row[4 * x + 3] = alpha[x];
                    }
                }
                png_read_row(png_ptr, row, nullptr);
                for (png_uint_32 x = 0; x < width; x++) {
                    bits[3 * x] = row[4 * x];
                    bits[3 * x + 1] = row[4 * x + 1];
                    bits[3 * x + 2] = row[4 * x + 2];
                    alpha[x] = row[4 * x + 3];
                }
            }
        }
    }

    std::free(row_buffer);
    row_buffer = nullptr;
    png_read_end(png_ptr, nullptr);
    png_destroy_read_struct(&png_ptr, &info_ptr, nullptr);
    return true;
}
