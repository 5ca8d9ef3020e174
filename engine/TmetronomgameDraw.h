#pragma once
// Drawing the pendulum metronome: the rod and the weight at the engine's angle with their
// shadows, the tempo boxes while the weight is dragged, and the light on top. The pictures are
// class-library bitmaps, so this part lives beside the engine, which itself stays free of the
// window system.
#include <memory>

#include "Graphics.h"

class TMetronomeGame;

class TMetronomeGameDraw {
public:
    explicit TMetronomeGameDraw(TMetronomeGame& game);
    ~TMetronomeGameDraw();

    // Replaces the five pictures with prefix + "Weight.bmp", "Pendulum.bmp", "MTopRed.png",
    // "MTopGreen.png" and "MTopGreenLight.png"; rod and weight become 32 bits per pixel, and the
    // engine learns their sizes. A missing file raises the picture loader's exception.
    void LoadBitmaps(const AnsiString& prefix);
    // Background (centred, when given), both shadows, rod and weight; while the weight is dragged
    // also the tempo box and the tempo name. The target must be 32 bits per pixel. The engine's
    // PendulumQuad, WeightQuad, ShadowQuad, TempoBoxRect and TempoNameRect hold what was drawn.
    void Draw(TBitmap* target, TBitmap* background = nullptr);
    // Kind 0 the red light, 1 the green one, 2 the bright green one; any other kind nothing.
    void DrawTopLight(TBitmap* target, int kind, int y);

    std::unique_ptr<TBitmap> PendulumBitmap, WeightBitmap, TopRedBitmap, TopGreenBitmap, TopGreenLightBitmap;

private:
    TMetronomeGame& game_;
};
