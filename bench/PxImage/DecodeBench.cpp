// Decoding a skin-sized picture (1016 x 710) from a file: PNG as RGB and RGBA through the image
// library and through libpng's simplified API alone, and a 24-bit BMP. Then the worst metafile
// for the polygon fill: self-crossing polygons and thin full-height shapes over 4000 x 4000 pixels.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "PxImage.h"
#include "PxImageWMF.h"

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

// An enhanced metafile of 4000 x 4000 pixels: header, a red brush selected with the null pen,
// the given records, end of file.
std::string WriteEmf(const char* name, const std::vector<uint32_t>& records) {
    constexpr uint32_t kSide = 4000;
    // Header: bounds, no frame, signature, version, size and record count (set below), 3 handles,
    // no description or palette, a reference device of 1024 x 768 pixels, 320 x 240 mm.
    std::vector<uint32_t> words = {1, 108, 0, 0, kSide, kSide, 0,   0,   0, 0, 0x464D4520, 0x10000, 0,     0,
                                   3, 0,   0, 0, 1024,  768,   320, 240, 0, 0, 0,          320000,  240000};
    words.insert(words.end(), {39, 24, 1, 0, 0x0000FF, 0, 37, 12, 1, 37, 12, 0x80000008u});
    words.insert(words.end(), records.begin(), records.end());
    words.insert(words.end(), {14, 20, 0, 16, 20});
    words[12] = static_cast<uint32_t>(words.size() * 4);
    words[13] = 5;
    const std::string path = TempPath(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    for (uint32_t w : words) Put(f, w, 4);
    std::fclose(f);
    return path;
}

// One Polygon16 of n random points all over the picture: every row is crossed by a third of its
// edges.
std::string WriteCrossingEmf(const char* name, uint32_t n) {
    std::vector<uint32_t> records = {86, 28 + 4 * n, 0, 0, 4000, 4000, n};
    uint32_t seed = 2024;
    for (uint32_t i = 0; i < n; i++) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t x = (seed >> 8) % 4000;
        seed = seed * 1103515245u + 12345u;
        records.push_back(x | (((seed >> 8) % 4000) << 16));
    }
    return WriteEmf(name, records);
}

// n rectangles of 2 x 4000 pixels side by side: every row of each is crossed twice.
std::string WriteStripesEmf(const char* name, uint32_t n) {
    std::vector<uint32_t> records;
    for (uint32_t i = 0; i < n; i++) records.insert(records.end(), {43, 24, i % 2000 * 2, 0, i % 2000 * 2 + 3, 4001});
    return WriteEmf(name, records);
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
// Metafiles report the rows their fills crossed: the work that playing bounds.
void DecodeMetafile(benchmark::State& s, const std::string& path) {
    DecodeWithPxImage(s, path);
    s.counters["scan_rows"] = static_cast<double>(PxImageWMF::LastScanRows());
}
void BM_PxImage_EmfCrossingPolygon(benchmark::State& s) {
    const uint32_t n = static_cast<uint32_t>(s.range(0));
    DecodeMetafile(s, WriteCrossingEmf(("crossing" + std::to_string(n) + ".emf").c_str(), n));
}
void BM_PxImage_EmfStripes(benchmark::State& s) {
    const uint32_t n = static_cast<uint32_t>(s.range(0));
    DecodeMetafile(s, WriteStripesEmf(("stripes" + std::to_string(n) + ".emf").c_str(), n));
}

BENCHMARK(BM_PxImage_PngRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libpng_PngRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PxImage_PngRgba)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libpng_PngRgba)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PxImage_Bmp24)->Unit(benchmark::kMillisecond);
// 200,000 points ask for 2^28 rows, far past the bound; 12,000 points stay just inside it.
BENCHMARK(BM_PxImage_EmfCrossingPolygon)->Arg(200000)->Arg(12000)->Unit(benchmark::kMillisecond);
// Thin shapes cost the most for their rows: the playback's worst case, stopped at the bound.
BENCHMARK(BM_PxImage_EmfStripes)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
