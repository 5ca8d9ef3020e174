#include "TmetronomgameDraw.h"

#include "Graphicsex.h"
#include "Picutils.h"
#include "SysUtils.h"
#include "Tmetronomgame.h"

namespace {

constexpr uint32_t kSeeThrough = 0xFFFFFF;
constexpr int16_t kShadowShade = -64;

void ToCorners(const TQuad& quad, int corners[8]) {
    for (int i = 0; i < 4; ++i) {
        corners[2 * i] = quad[static_cast<size_t>(i)].x;
        corners[2 * i + 1] = quad[static_cast<size_t>(i)].y;
    }
}

std::unique_ptr<TBitmap> Load(const AnsiString& fileName, bool to32) {
    auto bitmap = std::make_unique<TBitmap>();
    LoadImageToBitmap(bitmap.get(), fileName);
    if (to32) bitmap->SetPixelFormat(pf32bit);
    return bitmap;
}

void Box(TCanvas* canvas, const RECT& frame, const RECT& textRect, const AnsiString& text) {
    canvas->Rectangle(frame);
    RECT r = textRect;
    SetBkMode(canvas->Handle(), TRANSPARENT);
    DrawTextA(canvas->Handle(), text.c_str(), text.Length(), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

}  // namespace

TMetronomeGameDraw::TMetronomeGameDraw(TMetronomeGame& game) : game_(game) {}

TMetronomeGameDraw::~TMetronomeGameDraw() = default;

void TMetronomeGameDraw::LoadBitmaps(const AnsiString& prefix) {
    WeightBitmap = Load(prefix + "Weight.bmp", true);
    PendulumBitmap = Load(prefix + "Pendulum.bmp", true);
    TopRedBitmap = Load(prefix + "MTopRed.png", false);
    TopGreenBitmap = Load(prefix + "MTopGreen.png", false);
    TopGreenLightBitmap = Load(prefix + "MTopGreenLight.png", false);
    game_.SetPictureSizes(PendulumBitmap->Width(), PendulumBitmap->Height(), WeightBitmap->Width(),
                          WeightBitmap->Height());
}

void TMetronomeGameDraw::Draw(TBitmap* target, TBitmap* background) {
    if (!target || target->Empty()) return;
    const int width = target->Width(), height = target->Height();
    TCanvas* canvas = target->Canvas();
    if (background && !background->Empty())
        BitBlt(canvas->Handle(), (width - background->Width()) / 2, (height - background->Height()) / 2,
               background->Width(), background->Height(), background->Canvas()->Handle(), 0, 0, SRCCOPY);
    if (!PendulumBitmap || !WeightBitmap) return;

    game_.ComputePendulumQuads(width, height);
    int corners[8];
    if (game_.ShadowOffset != 0) {
        const TQuad* shapes[2] = {&game_.PendulumQuad, &game_.WeightQuad};
        TBitmap* pictures[2] = {PendulumBitmap.get(), WeightBitmap.get()};
        for (int s = 0; s < 2; ++s) {
            for (int i = 0; i < 4; ++i)
                game_.ShadowQuad[static_cast<size_t>(i)] =
                    TEnginePoint{(*shapes[s])[static_cast<size_t>(i)].x + game_.ShadowOffset,
                                 (*shapes[s])[static_cast<size_t>(i)].y + game_.ShadowOffset};
            ToCorners(game_.ShadowQuad, corners);
            ShadeBitmapToQuad(target, corners, pictures[s], kShadowShade, kSeeThrough);
        }
    }
    ToCorners(game_.PendulumQuad, corners);
    DrawBitmapToQuad(target, corners, PendulumBitmap.get(), kSeeThrough);
    ToCorners(game_.WeightQuad, corners);
    DrawBitmapToQuad(target, corners, WeightBitmap.get(), kSeeThrough);

    if (!game_.WeightDragged) return;
    const int m = game_.Margin;
    const int cx = width / 2 + 1;
    const int mid = (game_.WeightQuad[1].y + game_.WeightQuad[2].y) / 2;
    const int x0 = cx + WeightBitmap->Width() + 3;
    canvas->Brush()->SetColor(clInfoBk);
    canvas->Pen()->SetColor(clBlack);
    canvas->Font()->SetColor(clBlack);

    const RECT tempoBox{x0 - 2 * m, mid - 15, x0 + 20, mid + 15};
    Box(canvas, tempoBox, RECT{x0 - 2 * m, mid - 12, x0 + 20, mid + 12}, IntToStr(game_.DragTempo));
    game_.TempoBoxRect = TEngineRect{tempoBox.left, tempoBox.top, tempoBox.right, tempoBox.bottom};

    const AnsiString name = TempoNames[static_cast<size_t>(TempoNameIndex(game_.DragTempo))];
    const int w = canvas->TextWidth(name) + 8;
    const int x1 = static_cast<int>(x0 - 1.5 * WeightBitmap->Width() - 6);
    const RECT nameBox{x1 - w, mid - 15, x1, mid + 15};
    Box(canvas, nameBox, nameBox, name);
    // Left and right as the small window has always read them: the box's right edge first.
    game_.TempoNameRect = TEngineRect{x1, mid - 15, x1 - w, mid + 15};
}

void TMetronomeGameDraw::DrawTopLight(TBitmap* target, int kind, int y) {
    TBitmap* light = kind == 0   ? TopRedBitmap.get()
                     : kind == 1 ? TopGreenBitmap.get()
                     : kind == 2 ? TopGreenLightBitmap.get()
                                 : nullptr;
    if (!target || !light || light->Empty() || !TopGreenBitmap) return;
    const int x = (target->Width() - TopGreenBitmap->Width()) / 2 + 2;
    BitBlt(target->Canvas()->Handle(), x, y, light->Width(), light->Height(), light->Canvas()->Handle(), 0, 0, SRCCOPY);
}
