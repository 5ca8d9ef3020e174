// Decoding a skin-sized picture (1016 x 710) from a file: PNG as RGB and RGBA through the image
// library and through libpng's simplified API alone, and a 24-bit BMP. Then the worst metafiles
// for the player, small files that ask for much drawing over 4000 x 4000 pixels: self-crossing
// polygons, thin full-height shapes, and one operation repeated over the whole picture. Each
// reports its time, the process's peak memory while it ran and the work playing spent.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "PxImage.h"
#include "PxImageWMF.h"

namespace {

// Metafile text is drawn through Qt, headless.
[[maybe_unused]] const int kOffscreen = setenv("QT_QPA_PLATFORM", "offscreen", 0);

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

// Records of an enhanced metafile as 32-bit words: a record is its type, its size and its words.
struct EmfRecords {
    std::vector<uint32_t> w;
    EmfRecords& Rec(uint32_t type, const std::vector<uint32_t>& words) {
        w.push_back(type);
        w.push_back(static_cast<uint32_t>(8 + 4 * words.size()));
        w.insert(w.end(), words.begin(), words.end());
        return *this;
    }
    // The same record n times over.
    EmfRecords& Times(uint32_t n, uint32_t type, const std::vector<uint32_t>& words) {
        for (uint32_t i = 0; i < n; i++) Rec(type, words);
        return *this;
    }
};

constexpr uint32_t kSide = 4000;
// A 40-byte header of a bitmap of one 32-bit pixel, and the pixel: opaque green.
const std::vector<uint32_t> kOnePixel = {40, 1, 1, 1 | 32 << 16, 0, 4, 0, 0, 0, 0, 0xFF00FF00u};
// A region (RGNDATA) of the rectangles given as left, top, right, bottom.
std::vector<uint32_t> Region(const std::vector<uint32_t>& rects) {
    const uint32_t n = static_cast<uint32_t>(rects.size() / 4);
    std::vector<uint32_t> r = {32, 1, n, 16 * n, 0, 0, kSide, kSide};
    r.insert(r.end(), rects.begin(), rects.end());
    return r;
}
// n squares of 2 x 2 pixels, 4 pixels apart, a thousand to a row.
std::vector<uint32_t> Squares(uint32_t n) {
    std::vector<uint32_t> rects;
    for (uint32_t i = 0; i < n; i++)
        rects.insert(rects.end(), {i % 1000 * 4, i / 1000 * 4, i % 1000 * 4 + 2, i / 1000 * 4 + 2});
    return rects;
}
std::vector<uint32_t> Join(std::vector<uint32_t> a, const std::vector<uint32_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The crafted metafiles, each one operation asked for again and again over the whole picture.
std::vector<uint32_t> Crafted(int which) {
    EmfRecords e;
    const uint32_t hatch = 2, cross = 4, black = 0;
    switch (which) {
        case 0: {  // one line of 1,000 glyphs 4000 pixels high, every advance 0
            std::vector<uint32_t> font = {2, uint32_t(-4000), 0, 0, 0, 400, 0, 0, 0};
            font.resize(1 + 23, 0);  // LOGFONTW with an empty face name
            std::vector<uint32_t> text = {0, 0, kSide, kSide, 1, 0, 0, 0, 0, 1000, 76, 0, 0, 0, kSide, kSide, 2076};
            for (int i = 0; i < 500; i++) text.push_back('W' | 'W' << 16);
            text.resize(text.size() + 1000, 0);
            e.Rec(82, font).Rec(37, {2}).Rec(24, {black}).Rec(18, {1}).Rec(84, text);
            break;
        }
        case 1:  // 2,100 solid ellipses over the picture
            e.Times(2100, 42, {0, 0, kSide, kSide});
            break;
        case 2:  // 2,000 rectangles of a hatch brush
            e.Rec(39, {2, hatch, 0xFF0000, cross}).Rec(37, {2}).Times(2000, 43, {0, 0, kSide, kSide});
            break;
        case 3:  // 2,000 regions painted with a hatch brush
            e.Rec(39, {2, hatch, 0xFF0000, cross});
            e.Times(2000, 71, Join({0, 0, kSide, kSide, 48, 2}, Region({0, 0, kSide, kSide})));
            break;
        case 4:  // 500 blends of one pixel over the picture, half opaque
            e.Times(500, 114,
                    Join({0, 0,          kSide, kSide, 0, 0, kSide, kSide, 128 << 16, 0, 0, 0x3F800000, 0,
                          0, 0x3F800000, 0,     0,     0, 0, 108,   40,    148,       4, 1, 1},
                         kOnePixel));
            break;
        case 5:  // 5,000 stretches of one pixel over the picture
            e.Times(
                5000, 81,
                Join({0, 0, kSide, kSide, 0, 0, 0, 0, 1, 1, 80, 40, 120, 4, 0, 0x00CC0020, kSide, kSide}, kOnePixel));
            break;
        case 6:  // 2,000 inversions of the picture
            e.Times(2000, 76, {0, 0, kSide,      kSide, 0, 0, kSide, kSide, 0x00550009, 0, 0, 0x3F800000,
                               0, 0, 0x3F800000, 0,     0, 0, 0,     0,     0,          0, 0});
            break;
        case 7: {  // one line of 400,000 segments from corner to corner, with the black pen
            std::vector<uint32_t> line = {0, 0, kSide, kSide, 400000};
            for (uint32_t i = 0; i < 400000; i++) line.push_back(i % 2 ? (kSide - 1) | (kSide - 1) << 16 : 0);
            e.Rec(37, {0x80000007u}).Rec(87, line);
            break;
        }
        case 10: {  // the same glyphs, one to a record
            std::vector<uint32_t> font = {2, uint32_t(-4000), 0, 0, 0, 400, 0, 0, 0};
            font.resize(1 + 23, 0);
            e.Rec(82, font).Rec(37, {2}).Rec(24, {black}).Rec(18, {1});
            e.Times(1000, 84, {0, 0, kSide, kSide, 1, 0, 0, 0, 0, 1, 76, 0, 0, 0, kSide, kSide, 80, 'W', 0});
            break;
        }
        case 11: {  // the same segments, 4,000 to a line
            std::vector<uint32_t> line = {0, 0, kSide, kSide, 4000};
            for (uint32_t i = 0; i < 4000; i++) line.push_back(i % 2 ? (kSide - 1) | (kSide - 1) << 16 : 0);
            e.Rec(37, {0x80000007u}).Times(100, 87, line);
            break;
        }
        case 12: {  // one line of 400,000 short segments with a pen 10 pixels wide
            std::vector<uint32_t> line = {0, 0, kSide, kSide, 400000};
            for (uint32_t i = 0; i < 400000; i++) line.push_back(i % kSide | (100 + i % 2 * 5) << 16);
            e.Rec(95, {2, 0, 0, 0, 0, 0x10000, 10, 0, 0xFF0000, 0, 0}).Rec(37, {2}).Rec(87, line);
            break;
        }
        case 8: {  // a clip region of 100,000 rectangles, then a rectangle through it
            const std::vector<uint32_t> region = Region(Squares(100000));
            e.Rec(75, Join({static_cast<uint32_t>(4 * region.size()), 5}, region)).Rec(43, {0, 0, kSide, kSide});
            break;
        }
        case 13: {  // a clip region of 66,000 rectangles, then 100,000 strips left out of every band of it
            const std::vector<uint32_t> region = Region(Squares(66000));
            e.Rec(75, Join({static_cast<uint32_t>(4 * region.size()), 5}, region));
            e.Times(100000, 29, {3998, 0, 4000, kSide}).Rec(43, {0, 0, kSide, kSide});
            break;
        }
        default: {  // a clip region of 66,000 rectangles, then 1,100 saved states
            const std::vector<uint32_t> region = Region(Squares(66000));
            e.Rec(75, Join({static_cast<uint32_t>(4 * region.size()), 5}, region)).Times(1100, 33, {});
            break;
        }
    }
    return e.w;
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
// The process's peak resident memory in bytes since the last reset.
double PeakRss() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) * 1024;
    return 0;
}
void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Metafiles report the work playing spent and the peak memory.
void DecodeMetafile(benchmark::State& s, const std::string& path) {
    ResetPeakRss();
    DecodeWithPxImage(s, path);
    s.counters["work"] = static_cast<double>(PxImageWMF::LastWork());
    s.counters["peak_rss"] = benchmark::Counter(PeakRss(), benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
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
// 200,000 points ask for 2^28 rows, far past the budget; 12,000 points stay inside it.
BENCHMARK(BM_PxImage_EmfCrossingPolygon)->Arg(200000)->Arg(12000)->Unit(benchmark::kMillisecond);
// Thin shapes cost the most for their rows.
BENCHMARK(BM_PxImage_EmfStripes)->Arg(4000)->Unit(benchmark::kMillisecond);
// The crafted metafiles, by the number Crafted takes.
void BM_PxImage_EmfCrafted(benchmark::State& s) {
    static const char* const kNames[] = {"glyphs",     "ellipses",    "hatch_rects", "hatch_regions", "alpha_blend",
                                         "stretches",  "inverts",     "long_line",   "clip_100k",     "clip_saves",
                                         "glyph_runs", "line_pieces", "wide_zigzag", "clip_excludes"};
    const int which = static_cast<int>(s.range(0));
    s.SetLabel(kNames[which]);
    DecodeMetafile(s, WriteEmf((std::string("crafted_") + kNames[which] + ".emf").c_str(), Crafted(which)));
}
BENCHMARK(BM_PxImage_EmfCrafted)->DenseRange(0, 13)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
