// One full redraw of the pendulum at the main window's size: background, two shadows, rod,
// weight and the top light, as every 10 ms animation tick does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "Player.h"
#include "Tmetronomgame.h"
#include "TmetronomgameDraw.h"

namespace fs = std::filesystem;

namespace {

void Put(std::string& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A 24-bit BMP; the image library detects the format from the content, whatever the file's name.
void WriteBmp(const fs::path& path, int w, int h, const std::function<uint32_t(int, int)>& px) {
    int stride = (w * 3 + 3) & ~3;
    std::string b = "BM";
    Put(b, static_cast<uint32_t>(54 + stride * h), 4);
    Put(b, 0, 4);
    Put(b, 54, 4);
    Put(b, 40, 4);
    Put(b, static_cast<uint32_t>(w), 4);
    Put(b, static_cast<uint32_t>(h), 4);
    Put(b, 1, 2);
    Put(b, 24, 2);
    for (int i = 0; i < 6; ++i) Put(b, 0, 4);
    for (int y = h - 1; y >= 0; --y) {
        std::string row;
        for (int x = 0; x < w; ++x) Put(row, px(x, y), 3);
        row.resize(static_cast<size_t>(stride), '\0');
        b += row;
    }
    std::ofstream(path, std::ios::binary) << b;
}

void BM_FullPendulumRedraw(benchmark::State& state) {
    fs::path dir = fs::temp_directory_path() / ("tikora-pendulum-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir / "pics");
    fs::copy_file(fs::path(TIKORA_SOURCE_DIR) / "data/defs/Tikora.def", dir / "Tikora.def",
                  fs::copy_options::overwrite_existing);
    fs::path old = fs::current_path();
    fs::current_path(dir);
    WriteBmp(dir / "pics/Pendulum.bmp", 10, 300, [](int x, int) { return x < 2 || x > 7 ? 0xFFFFFFu : 0x303030u; });
    WriteBmp(dir / "pics/Weight.bmp", 36, 48, [](int x, int y) { return (x + y) % 7 ? 0x202020u : 0xFFFFFFu; });
    for (const char* light : {"MTopRed.png", "MTopGreen.png", "MTopGreenLight.png"})
        WriteBmp(dir / "pics" / light, 44, 32, [](int x, int y) { return static_cast<uint32_t>(x * 5 + y * 1000); });
    {
        Player player;
        TMetronomeGame game(&player);
        TMetronomeGameDraw draw(game);
        draw.LoadBitmaps("pics\\");
        TBitmap background, target;
        for (TBitmap* b : {&background, &target}) {
            b->SetPixelFormat(pf32bit);
            b->SetSize(566, 387);
        }
        for (int y = 0; y < 387; ++y) {
            auto* row = static_cast<uint32_t*>(background.ScanLine(y));
            for (int x = 0; x < 566; ++x) row[x] = static_cast<uint32_t>(x * 0x010101 + y * 0x000100) & 0xFFFFFF;
        }
        game.SetPendulumTempo(120);
        int tick = 0;
        for (auto _ : state) {
            game.Angle = 0.3 * std::sin(tick++ * 0.05);
            draw.Draw(&target, &background);
            draw.DrawTopLight(&target, tick % 3, 56);
            benchmark::DoNotOptimize(target.ScanLine(200));
        }
    }
    fs::current_path(old);
    fs::remove_all(dir);
}
BENCHMARK(BM_FullPendulumRedraw)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
