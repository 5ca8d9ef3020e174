// Decoding a skin-sized picture (1016 x 710) from a file: PNG as RGB and RGBA through the image
// library and through libpng's simplified API alone, and a 24-bit BMP.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "PxImage.h"

namespace {

constexpr int kWidth = 1016;
constexpr int kHeight = 710;

// Smooth shapes with some noise, so that the deflate stream is neither trivial nor random.
std::vector<uint8_t> Picture(int channels) {
    std::vector<uint8_t> px(static_cast<size_t>(kWidth) * kHeight * channels);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; y++)
        for (int x = 0; x < kWidth; x++) {
            seed = seed * 1103515245u + 12345u;
            uint8_t noise = static_cast<uint8_t>((seed >> 16) & 7);
            uint8_t* p = &px[(static_cast<size_t>(y) * kWidth + x) * channels];
            p[0] = static_cast<uint8_t>(x * 255 / kWidth + noise);
            p[1] = static_cast<uint8_t>(y * 255 / kHeight + noise);
            p[2] = static_cast<uint8_t>(((x - 500) * (x - 500) + (y - 350) * (y - 350)) / 600);
            if (channels == 4) p[3] = static_cast<uint8_t>((x / 8 + y / 8) % 2 ? 255 : x % 256);
        }
    return px;
}

std::string TempPath(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/tikora_bench_" + name;
}

std::string WritePng(const char* name, int channels) {
    std::string path = TempPath(name);
    std::vector<uint8_t> px = Picture(channels);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kHeight;
    image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, px.data(), 0, nullptr)) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), image.message);
        std::exit(1);
    }
    return path;
}

void Put(std::FILE* f, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
}

std::string WriteBmp() {
    std::string path = TempPath("skin.bmp");
    std::vector<uint8_t> px = Picture(3);
    uint32_t stride = (kWidth * 3 + 3) & ~3u;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    Put(f, 0x4D42, 2);
    Put(f, 54 + stride * kHeight, 4);
    Put(f, 0, 4);
    Put(f, 54, 4);
    Put(f, 40, 4);
    Put(f, kWidth, 4);
    Put(f, kHeight, 4);
    Put(f, 1, 2);
    Put(f, 24, 2);
    for (int i = 0; i < 6; i++) Put(f, 0, 4);
    std::vector<uint8_t> row(stride, 0);
    for (int y = kHeight - 1; y >= 0; y--) {
        for (int x = 0; x < kWidth; x++) {
            const uint8_t* p = &px[(static_cast<size_t>(y) * kWidth + x) * 3];
            row[x * 3] = p[2];
            row[x * 3 + 1] = p[1];
            row[x * 3 + 2] = p[0];
        }
        std::fwrite(row.data(), 1, stride, f);
    }
    std::fclose(f);
    return path;
}

const std::string& PngRgb() {
    static const std::string p = WritePng("skin_rgb.png", 3);
    return p;
}

const std::string& PngRgba() {
    static const std::string p = WritePng("skin_rgba.png", 4);
    return p;
}

const std::string& Bmp() {
    static const std::string p = WriteBmp();
    return p;
}

void DecodeWithPxImage(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        PxImage img(path.c_str(), 0);
        if (!img.IsValid()) state.SkipWithError(img.GetLastError());
        benchmark::DoNotOptimize(img.GetBits());
    }
}

void DecodeWithLibpng(benchmark::State& state, const std::string& path, bool alpha) {
    std::vector<uint8_t> buffer;
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, path.c_str())) {
            state.SkipWithError(image.message);
            break;
        }
        image.format = alpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
        buffer.resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) {
            state.SkipWithError(image.message);
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
}

void BM_PxImage_PngRgb(benchmark::State& s) { DecodeWithPxImage(s, PngRgb()); }
void BM_Libpng_PngRgb(benchmark::State& s) { DecodeWithLibpng(s, PngRgb(), false); }
void BM_PxImage_PngRgba(benchmark::State& s) { DecodeWithPxImage(s, PngRgba()); }
void BM_Libpng_PngRgba(benchmark::State& s) { DecodeWithLibpng(s, PngRgba(), true); }
void BM_PxImage_Bmp24(benchmark::State& s) { DecodeWithPxImage(s, Bmp()); }

BENCHMARK(BM_PxImage_PngRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libpng_PngRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PxImage_PngRgba)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libpng_PngRgba)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PxImage_Bmp24)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
