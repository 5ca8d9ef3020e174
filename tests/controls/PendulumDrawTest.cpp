#include "ControlsTestUtil.h"
#include "Player.h"
#include "Tmetronomgame.h"
#include "TmetronomgameDraw.h"

using namespace ctest;
namespace fs = std::filesystem;

namespace {

constexpr Rgb kBackground = 0x808080, kRod = 0x203040, kWeight = 0x000080;
constexpr int kW = 566, kH = 387;

// The rod is 10 x 300 with white (see-through) outer columns; the weight 36 x 48 with white
// corners; the lights 44 x 32.
void WriteSkin(const std::string& pics) {
    fs::create_directories(pics);
    WriteBmp24(pics + "/Pendulum.bmp", 10, 300, [](int x, int) -> Rgb { return x < 2 || x > 7 ? 0xFFFFFF : kRod; });
    WriteBmp24(pics + "/Weight.bmp", 36, 48,
               [](int x, int y) -> Rgb { return (x < 4 || x > 31) && (y < 4 || y > 43) ? 0xFFFFFF : kWeight; });
    WritePng(pics + "/MTopRed.png", 44, 32, Solid(0xFF0000));
    WritePng(pics + "/MTopGreen.png", 44, 32, Solid(0x00FF00));
    WritePng(pics + "/MTopGreenLight.png", 44, 32, Solid(0x80FF80));
}

struct PendulumDrawTest : ::testing::Test {
    void SetUp() override {
        oldDir = fs::current_path();
        fs::copy_file(fs::path(TIKORA_SOURCE_DIR) / "data/defs/Tikora.def", dir / "Tikora.def");
        fs::current_path(dir / "");
        WriteSkin(dir / "pics");
        player = std::make_unique<Player>();
        game = std::make_unique<TMetronomeGame>(player.get());
        draw = std::make_unique<TMetronomeGameDraw>(*game);
        draw->LoadBitmaps("pics\\");
        MakeBitmap32(background, kW, kH, Solid(kBackground));
        MakeBitmap32(target, kW, kH, Solid(0));
    }
    void TearDown() override {
        draw.reset();
        game.reset();
        player.reset();
        fs::current_path(oldDir);
    }
    TempDir dir;
    fs::path oldDir;
    std::unique_ptr<Player> player;
    std::unique_ptr<TMetronomeGame> game;
    std::unique_ptr<TMetronomeGameDraw> draw;
    TBitmap background, target;
};

std::vector<int> Flat(const TQuad& q) {
    std::vector<int> v;
    for (const TEnginePoint& p : q) v.insert(v.end(), {p.x, p.y});
    return v;
}

}  // namespace

TEST_F(PendulumDrawTest, CornersForAnglesAndWeightPositions) {
    EXPECT_EQ(std::pair(draw->PendulumBitmap->PixelFormat(), draw->WeightBitmap->PixelFormat()),
              std::pair(pf32bit, pf32bit));
    EXPECT_EQ(std::pair(game->PendulumHeight, game->WeightWidth), std::pair(300, 36));

    // Tempo 40 puts the weight at the top, 210 at the bottom of the scale, 500 below it.
    struct Case {
        double angle;
        int tempo;
        std::vector<int> rod, weight;
    };
    const std::vector<Case> cases = {
        {0, 40, {279, 107, 289, 107, 289, 407, 279, 407}, {266, 107, 302, 107, 302, 155, 266, 155}},
        {0.3, 40, {367, 118, 377, 121, 288, 408, 279, 405}, {355, 115, 389, 125, 375, 171, 341, 160}},
        {-0.5, 210, {135, 146, 144, 141, 288, 404, 279, 409}, {230, 347, 262, 329, 285, 372, 253, 389}},
        {0.2, 500, {338, 111, 348, 113, 288, 407, 279, 406}, {279, 336, 315, 343, 305, 390, 270, 383}},
    };
    for (const Case& c : cases) {
        game->SetPendulumTempo(c.tempo);
        game->Angle = c.angle;
        draw->Draw(&target, &background);
        EXPECT_EQ(std::tuple(Flat(game->PendulumQuad), Flat(game->WeightQuad)), std::tuple(c.rod, c.weight)) << c.angle;
    }

    // Upright: rod and weight in their colours, white see-through, shadows 15 px right and down.
    game->SetPendulumTempo(40);
    game->Angle = 0;
    draw->Draw(&target, &background);
    struct Pixel {
        const char* what;
        int x, y;
        Rgb colour;
    };
    for (Pixel p : {Pixel{"rod", 284, 250, kRod},
                    {"white rod column", 280, 250, kBackground},
                    {"weight", 284, 130, kWeight},
                    {"white weight corner", 267, 108, kBackground},
                    {"rod shadow", 284 + 15, 250 + 15, 0x404040},
                    {"no shadow under a see-through pixel", 280 + 15, 250 + 15, kBackground},
                    {"weight shadow", 300 + 15, 130 + 15, 0x404040},
                    {"background", 5, 5, kBackground}})
        EXPECT_EQ(At32(target, p.x, p.y), p.colour) << p.what;

    game->ShadowOffset = 0;
    draw->Draw(&target, &background);
    EXPECT_EQ(At32(target, 284 + 15, 250 + 15), kBackground) << "no shadow with offset 0";
}

TEST_F(PendulumDrawTest, DraggedWeightShowsTempoBoxes) {
    game->Angle = 0.4;  // ignored while dragging
    game->WeightDragged = true;
    ASSERT_TRUE(game->SetDragTempo(120));
    draw->Draw(&target, &background);
    EXPECT_EQ(Flat(game->WeightQuad), (std::vector<int>{266, 212, 302, 212, 302, 260, 266, 260}));
    EXPECT_EQ(game->PendulumQuad[0].x, 279);
    const TEngineRect& box = game->TempoBoxRect;
    EXPECT_EQ((std::vector<int>{box.left, box.top, box.right, box.bottom}), (std::vector<int>{303, 221, 343, 251}));
    const TEngineRect& name = game->TempoNameRect;
    EXPECT_EQ((std::vector<int>{name.left, name.top, name.bottom}), (std::vector<int>{263, 221, 251}));
    EXPECT_LT(name.right, 263 - 8) << "the name box lies left of x1";
    EXPECT_EQ(At32(target, 341, 223), FromColorRef(GetSysColor(COLOR_INFOBK)));
    EXPECT_EQ(At32(target, 303, 236), 0u) << "black frame";
    EXPECT_EQ(At32(target, 261, 224), FromColorRef(GetSysColor(COLOR_INFOBK)));
}

// The name box beside the dragged weight fits its tempo's name with 4 pixels on either side: its
// inside, between the one-pixel frame, is the name's width + 6. Each name holds up to its limit.
// The box's right frame stands on column 262, so column 261 runs down its inside.
TEST_F(PendulumDrawTest, DraggedWeightNamesItsTempoUpToEachLimit) {
    const Rgb infoBk = FromColorRef(GetSysColor(COLOR_INFOBK));
    // Each name from the tempo after the last one's limit up to its own.
    const struct {
        const char* name;
        int upTo;
    } names[] = {{"Largo", 58},    {"Larghetto", 66},    {"Adagio", 76},
                 {"Andante", 107}, {"Moderato", 116},    {"Allegro", 168},
                 {"Presto", 200},  {"Prestissimo", 230}, {"Blisteringly Fast", 500}};
    game->WeightDragged = true;
    int from = 40;
    for (const auto& n : names) {
        for (int tempo : {from, n.upTo}) {
            game->SetDragTempo(tempo);
            draw->Draw(&target, &background);
            int top = 0;
            while (top < kH && At32(target, 261, top) != infoBk) ++top;
            ASSERT_LT(top, kH) << tempo;
            int left = 261;
            while (left > 0 && At32(target, left - 1, top) == infoBk) --left;
            EXPECT_EQ(261 - left + 1, target.Canvas()->TextWidth(n.name) + 6) << tempo << " " << n.name;
        }
        from = n.upTo + 1;
    }
}

TEST_F(PendulumDrawTest, TopLight) {
    struct Case {
        int kind;
        Rgb colour;
    };
    for (Case c : {Case{0, 0xFF0000}, Case{1, 0x00FF00}, Case{2, 0x80FF80}, Case{3, 0}}) {
        MakeBitmap32(target, kW, kH, Solid(0));
        draw->DrawTopLight(&target, c.kind, 56);
        const int x = (kW - 44) / 2 + 2;
        EXPECT_EQ(At32(target, x, 56), c.colour) << c.kind;
        EXPECT_EQ(std::tuple(At32(target, x + 43, 56 + 31), At32(target, x - 1, 56), At32(target, x, 56 + 32)),
                  std::tuple(c.colour, 0u, 0u))
            << c.kind;
    }
}
