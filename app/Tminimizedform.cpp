#include "Tminimizedform.h"

#include <cstdlib>

#include "Createregion.h"
#include "Hintsfromcontext.h"
#include "Picutils.h"
#include "Tmainform.h"
#include "Tmetronomgame.h"
#include "Tsettingsform.h"
#include "WinGdi.h"

namespace {

// Moves the window as a drag of its caption would.
constexpr WPARAM kMoveByCaption = 0xF012;

HRGN QuadRegion(const TQuad& quad) {
    POINT points[4];
    for (size_t i = 0; i < 4; ++i) points[i] = POINT{quad[i].x, quad[i].y};
    return CreatePolygonRgn(points, 4, WINDING);
}

HRGN RectRegion(const TEngineRect& r) { return CreateRectRgn(r.left, r.top, r.right, r.bottom); }

}  // namespace

TMinimized::TMinimized(TComponent* Owner, bool micro)
    : TForm(Owner),
      scale_(micro ? 0.5f : 1.0f),
      suffix_(micro ? "05" : ""),
      xOffset_(static_cast<int32_t>(133.0f * scale_)) {
    CreateComponents();
}

TMinimized::~TMinimized() {
    if (baseRegion_) DeleteObject(baseRegion_);
}

void TMinimized::CreateComponents() {
    SetName("Minimized");
    SetCaption("Tikora");
    SetBorderStyle(bsNone);
    SetFormStyle(fsStayOnTop);
    SetKeyPreview(true);

    View = new TImage(this);
    View->SetName("View");
    View->SetParent(this);
    ControlPanel = new TImage(this);
    ControlPanel->SetName("ControlPanel");
    ControlPanel->SetParent(this);
    auto mouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
        ViewMouseDown(s, b, sh, x, y);
    };
    View->OnMouseDown = mouseDown;
    ControlPanel->OnMouseDown = mouseDown;
    View->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { ViewMouseMove(s, sh, x, y); };
    View->OnMouseUp = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { ViewMouseUp(s, b, sh, x, y); };

    MVolume = new TZelSlider(this);
    MVolume->SetName("MVolume");
    MVolume->SetParent(this);
    MVolume->SetBevelOuter(bvNone);
    MVolume->SetHorizontal(true);
    MVolume->SetMaxPosition(65535);
    MVolume->OnChange = [this](TObject* s) { MVolumeChange(s); };

    Timer1 = new TTimer(this);
    Timer1->SetName("Timer1");
    Timer1->SetEnabled(false);
    Timer1->SetOnTimer([this](TObject* s) { Timer1Timer(s); });

    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    OnHide = [this](TObject* s) { FormHide(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    OnDestroy = [this](TObject* s) { FormDestroy(s); };
    OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { FormKeyDown(s, k, sh); };
}

TZelPanel* TMinimized::MakeButton(const char* name, const AnsiString& pictures, int left, int top, int width,
                                  int height) {
    auto* button = new TZelPanel(this);
    button->SetName(name);
    button->SetParent(this);
    button->SetBevelOuter(bvNone);
    button->SetCaption("");
    button->SetBounds(left, top, width, height);
    button->SetPicOnIdle(pictures + "Initial.png");
    button->SetPicOnMouseMove(pictures + "Mouse.png");
    button->SetPicOnMouseDown(pictures + "Pressed.png");
    return button;
}

void TMinimized::FormCreate(TObject*) {
    SetDoubleBuffered(true);
    auto composed = std::make_unique<TBitmap>();
    background_ = std::make_unique<TBitmap>();

    const AnsiString pics = "pics\\" + suffix_;
    LoadImageToBitmap(background_.get(), pics + "MetronomeSmall.bmp");
    LoadImageToPicture(ControlPanel->Picture(), pics + "MetronomeSmallCtrlArea.bmp");
    TBitmap* controlArea = ControlPanel->Picture()->Bitmap();

    composed->SetPixelFormat(pf24bit);
    composed->SetSize(background_->Width(), background_->Height() + controlArea->Height());
    composed->Canvas()->Draw(0, 0, background_.get());
    composed->Canvas()->Draw(0, background_->Height(), controlArea);

    baseRegion_ = CreateRegion(composed.get(), static_cast<TColor>(0xFFFFFF), xOffset_);
    if (baseRegion_) {
        HRGN window = CreateRectRgn(0, 0, 0, 0);
        CombineRgn(window, baseRegion_, nullptr, RGN_COPY);
        SetWindowRgn(Handle(), window, FALSE);
    }

    const int clientWidth = composed->Width() + 2 * xOffset_;
    SetClientWidth(clientWidth);
    SetClientHeight(composed->Height());
    View->SetBounds(0, 0, clientWidth, background_->Height());
    TBitmap* viewBitmap = View->Picture()->Bitmap();
    viewBitmap->SetSize(clientWidth, background_->Height());
    viewBitmap->SetPixelFormat(pf32bit);
    ControlPanel->SetBounds(xOffset_, background_->Height(), controlArea->Width(), controlArea->Height());

    const bool big = scale_ >= 1.0f;
    const int x = xOffset_;
    MaximizeButton = MakeButton("MaximizeButton", "pics\\Maximize", (big ? 257 : 109) + x, big ? 471 : 227, 14, 14);
    CloseButton = MakeButton("CloseButton", "pics\\Close", (big ? 273 : 125) + x, big ? 471 : 227, 14, 14);
    PlayButton = MakeButton("PlayButton", pics + "Play", Scaled(32) + x, Scaled(352), Scaled(82), Scaled(73));
    StopButton = MakeButton("StopButton", pics + "Stop", Scaled(113) + x, Scaled(352), Scaled(73), Scaled(73));
    PauseButton = MakeButton("PauseButton", pics + "Pause", Scaled(186) + x + (big ? 0 : 1), Scaled(352),
                             Scaled(82) - (big ? 0 : 1), Scaled(73));
    PauseButton->SetPicOnChecked(pics + "PausePressed.png");
    SpeakerButton =
        MakeButton("SpeakerButton", pics + "Speaker2", (big ? 197 : 72) + x, big ? 434 : 215, Scaled(59), Scaled(41));

    MaximizeButton->OnClick = [this](TObject* s) { MaximizeButtonClick(s); };
    CloseButton->OnClick = [this](TObject* s) { CloseButtonClick(s); };
    PlayButton->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int px, int py) {
        PlayButtonMouseDown(s, b, sh, px, py);
    };
    StopButton->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int px, int py) {
        StopButtonMouseDown(s, b, sh, px, py);
    };
    PauseButton->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int px, int py) {
        PauseButtonMouseDown(s, b, sh, px, py);
    };
    SpeakerButton->OnClick = [this](TObject* s) { SpeakerButtonClick(s); };

    MVolume->SetPicBackgroundIdle(pics + "VolumeBack.png");
    MVolume->SetPicBackgroundMouseMove(pics + "VolumeBack.png");
    MVolume->SetPicSliderIdle(pics + "VolumeSlider.png");
    MVolume->SetPicSliderMouseDown(pics + "VolumeSlider.png");
    MVolume->SetBounds(big ? 212 : 80, big ? 444 : 220, Scaled(109), Scaled(22));
    // The track keeps its proportion to the half-size slider; at full length the thumb would run
    // past the control's right edge.
    MVolume->SetSlideSize(Scaled(100));

    if (MainForm && MainForm->Engine()) HintsFromContext(this, MainForm->Engine()->GetContext());
}

void TMinimized::FormShow(TObject*) {
    if (MainForm && MainForm->MVolume) MVolume->SetPosition(MainForm->MVolume->Position());
    View->Canvas()->Draw(xOffset_, 0, background_.get());
    Timer1->SetEnabled(SettingsForm && SettingsForm->AllwaysOnTop->Checked());
}

void TMinimized::FormHide(TObject*) { Timer1->SetEnabled(false); }

void TMinimized::FormClose(TObject*, TCloseAction&) {
    if (MainForm) MainForm->Close();
}

void TMinimized::FormDestroy(TObject*) {
    if (baseRegion_) DeleteObject(baseRegion_);
    baseRegion_ = nullptr;
}

void TMinimized::Timer1Timer(TObject*) { Application->RestoreTopMosts(); }

void TMinimized::UpdateRegion() {
    if (!MainForm || !MainForm->Engine()) return;
    TMetronomeGame* game = MainForm->Engine();
    HRGN region = QuadRegion(game->PendulumQuad);
    HRGN weight = QuadRegion(game->WeightQuad);
    CombineRgn(region, region, weight, RGN_OR);
    DeleteObject(weight);
    if (baseRegion_) CombineRgn(region, region, baseRegion_, RGN_OR);
    if (game->WeightDragged) {
        for (const TEngineRect& r : {game->TempoBoxRect, game->TempoNameRect}) {
            HRGN box = RectRegion(r);
            CombineRgn(region, region, box, RGN_OR);
            DeleteObject(box);
        }
    }
    SetWindowRgn(Handle(), region, TRUE);
}

void TMinimized::ViewMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
    // The control area reports its own coordinates; the pendulum's axis and the weight are in
    // View's, which start at the window's corner.
    if (Sender == ControlPanel) {
        X += ControlPanel->Left();
        Y += ControlPanel->Top();
    }
    TImage* target = MainForm ? MainForm->DrawTarget() : View;
    const int width = target ? target->Width() : View->Width();
    if (std::abs(width / 2 - X) < 16) {
        if (MainForm) MainForm->CenterImageMouseDown(View, Button, Shift, X, Y);
    } else if (Button == mbLeft) {
        ReleaseCapture();
        SendMessageA(Handle(), WM_SYSCOMMAND, kMoveByCaption, 0);
    }
}

void TMinimized::ViewMouseMove(TObject* Sender, TShiftState Shift, int X, int Y) {
    if (MainForm) MainForm->CenterImageMouseMove(Sender, Shift, X, Y);
}

void TMinimized::ViewMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (MainForm) MainForm->CenterImageMouseUp(Sender, Button, Shift, X, Y);
}

void TMinimized::PlayButtonMouseDown(TObject*, TMouseButton, TShiftState, int, int) {
    if (MainForm) MainForm->PlayButtonClick(MainForm->PlayButton);
}

void TMinimized::StopButtonMouseDown(TObject*, TMouseButton, TShiftState, int, int) {
    if (MainForm) MainForm->StopButtonClick(MainForm->StopButton);
}

void TMinimized::PauseButtonMouseDown(TObject*, TMouseButton, TShiftState, int, int) {
    if (MainForm) MainForm->PauseButtonClick(MainForm->PauseButton);
}

void TMinimized::SpeakerButtonClick(TObject*) {
    if (MainForm) MainForm->SpeakerButtonClick(MainForm->SpeakerButton);
}

void TMinimized::CloseButtonClick(TObject*) { Close(); }

void TMinimized::MaximizeButtonClick(TObject*) {
    if (MainForm) MainForm->SetFullScreenMode(true, false);
}

void TMinimized::FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift) {
    if (MainForm) MainForm->FormKeyDown(Sender, Key, Shift);
}

void TMinimized::MVolumeChange(TObject*) {
    if (!MainForm || !MainForm->MVolume) return;
    // The main window copies its position here when the mixer moves; echoing an equal position
    // back would write the mixer again for nothing.
    if (MainForm->MVolume->Position() == MVolume->Position()) return;
    // The main slider raises its own change handler, which writes the mixer.
    MainForm->MVolume->SetPosition(MVolume->Position());
}
