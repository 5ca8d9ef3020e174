#pragma once
// Hand-made picture files and small helpers for the controls' tests.
#include <png.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Forms.h"
#include "Graphics.h"

namespace ctest {

// 0xRRGGBB, as people write colours; GDI colours are 0xBBGGRR.
using Rgb = uint32_t;
using PixelFn = std::function<Rgb(int x, int y)>;

inline COLORREF ToColorRef(Rgb c) { return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }
inline Rgb FromColorRef(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

inline void Put16(std::string& b, uint32_t v) {
  b.push_back(static_cast<char>(v & 0xFF));
  b.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void Put32(std::string& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// A 24-bit BMP, bottom-up rows.
inline void WriteBmp24(const std::string& path, int w, int h, const PixelFn& px) {
  int stride = (w * 3 + 3) & ~3;
  std::string b = "BM";
  Put32(b, 54 + stride * h);
  Put32(b, 0);
  Put32(b, 54);
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(w));
  Put32(b, static_cast<uint32_t>(h));
  Put16(b, 1);
  Put16(b, 24);
  for (int i = 0; i < 6; ++i) Put32(b, 0);
  for (int y = h - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < w; ++x) {
      Rgb c = px(x, y);
      row.push_back(static_cast<char>(c & 0xFF));
      row.push_back(static_cast<char>((c >> 8) & 0xFF));
      row.push_back(static_cast<char>((c >> 16) & 0xFF));
    }
    row.resize(static_cast<size_t>(stride), '\0');
    b += row;
  }
  std::ofstream(path, std::ios::binary) << b;
}

// An 8-bit palette BMP: px gives the palette index.
inline void WriteBmp8(const std::string& path, int w, int h, const std::vector<Rgb>& palette,
                      const std::function<int(int, int)>& px) {
  int stride = (w + 3) & ~3;
  uint32_t off = 54 + 4 * static_cast<uint32_t>(palette.size());
  std::string b = "BM";
  Put32(b, off + static_cast<uint32_t>(stride * h));
  Put32(b, 0);
  Put32(b, off);
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(w));
  Put32(b, static_cast<uint32_t>(h));
  Put16(b, 1);
  Put16(b, 8);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, static_cast<uint32_t>(palette.size()));
  Put32(b, 0);
  for (Rgb c : palette) Put32(b, c & 0xFFFFFF);
  for (int y = h - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < w; ++x) row.push_back(static_cast<char>(px(x, y)));
    row.resize(static_cast<size_t>(stride), '\0');
    b += row;
  }
  std::ofstream(path, std::ios::binary) << b;
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
      row[static_cast<size_t>(x) * 4 + 0] = static_cast<png_byte>((c >> 16) & 0xFF);
      row[static_cast<size_t>(x) * 4 + 1] = static_cast<png_byte>((c >> 8) & 0xFF);
      row[static_cast<size_t>(x) * 4 + 2] = static_cast<png_byte>(c & 0xFF);
      row[static_cast<size_t>(x) * 4 + 3] = alpha ? alpha(x, y) : 255;
    }
    png_write_row(p, row.data());
  }
  png_write_end(p, nullptr);
  png_destroy_write_struct(&p, &info);
  std::fclose(f);
}

inline PixelFn Solid(Rgb c) {
  return [c](int, int) { return c; };
}

// A fresh folder under $TIKORA_TEST_TMP for one test.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TIKORA_TEST_TMP");
    std::filesystem::path root = base && *base ? base : std::filesystem::temp_directory_path();
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
    for (char& c : name)
      if (c == '/') c = '_';
    path_ = root / ("controls-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string operator/(const std::string& rel) const { return (path_ / rel).string(); }

 private:
  std::filesystem::path path_;
};

// A 32-bit bitmap filled by px.
inline void MakeBitmap32(TBitmap& b, int w, int h, const PixelFn& px) {
  b.SetPixelFormat(pf32bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    auto* row = static_cast<uint32_t*>(b.ScanLine(y));
    for (int x = 0; x < w; ++x) row[x] = px(x, y) & 0xFFFFFF;
  }
}

// The 0xRRGGBB at (x, y) of a 32-bit bitmap.
inline Rgb At32(TBitmap& b, int x, int y) { return static_cast<uint32_t*>(b.ScanLine(y))[x] & 0xFFFFFF; }

// The colour a control's surface shows at (x, y) (painting it first when it is invalid).
inline Rgb SurfaceAt(TWinControl* c, int x, int y) { return FromColorRef(GetPixel(c->SurfaceDC(), x, y)); }

// How many pixels of a control's surface have the colour.
inline int CountOf(TWinControl* c, Rgb colour) {
  int n = 0;
  for (int y = 0; y < c->Height(); ++y)
    for (int x = 0; x < c->Width(); ++x) n += SurfaceAt(c, x, y) == colour;
  return n;
}

}  // namespace ctest
