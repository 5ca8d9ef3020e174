#include "Zelslider.h"

#include <algorithm>

#include "Picutils.h"

using tikora::controls::HoldsGraphic;
using tikora::controls::SetPictureProperty;

namespace {
HDC DCOf(TPicture* picture) { return picture->Bitmap()->Canvas()->Handle(); }
}  // namespace

TZelSlider::TZelSlider(TComponent* AOwner)
    : TPanel(AOwner),
      left_(std::make_unique<TPicture>()),
      right_(std::make_unique<TPicture>()),
      backgroundIdle_(std::make_unique<TPicture>()),
      backgroundMouseMove_(std::make_unique<TPicture>()),
      sliderIdle_(std::make_unique<TPicture>()),
      sliderHolded_(std::make_unique<TPicture>()),
      composed_(std::make_unique<TPicture>()),
      offscreen_(std::make_unique<TPicture>()) {
    SetBevelOuter(bvNone);
    SetCaption(AnsiString());
    SetDoubleBuffered(true);
}

TZelSlider::~TZelSlider() = default;

void TZelSlider::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_PAINT:
            Draw(Message);
            return;
        case WM_MOUSEHOVER:
            MEnter(Message);
            return;
        case WM_MOUSELEAVE:
            MLeave(Message);
            return;
        default:
            TPanel::Dispatch(Message);
    }
}

void TZelSlider::Loaded() {
    TPanel::Loaded();
    currentMiddle_ = backgroundIdle_.get();
    currentThumb_ = sliderIdle_.get();
    tracker_.Arm(Handle());
    SetCaption(AnsiString());
    Resize();
    Invalidate();
}

// ---- Pictures

void TZelSlider::SetPicture(AnsiString& storedName, TPicture* picture, const AnsiString& fileName,
                            const std::function<void()>& followUp) {
    SetPictureProperty(
        storedName, fileName, [&] { LoadImageToPicture(picture, fileName); }, followUp);
}

void TZelSlider::SetPicBackgroundLeft(const AnsiString& fileName) {
    SetPicture(picBackgroundLeft_, left_.get(), fileName, [this] {
        Resize();
        Invalidate();
    });
}

void TZelSlider::SetPicBackgroundRight(const AnsiString& fileName) {
    SetPicture(picBackgroundRight_, right_.get(), fileName, [this] {
        Resize();
        Invalidate();
    });
}

void TZelSlider::SetPicBackgroundIdle(const AnsiString& fileName) {
    SetPicture(picBackgroundIdle_, backgroundIdle_.get(), fileName, [this] {
        SetSlideSpace(horizontal_ ? backgroundIdle_->Width() - thumbWidth_ : backgroundIdle_->Height() - thumbHeight_);
        Resize();
        Invalidate();
    });
}

void TZelSlider::SetPicSliderIdle(const AnsiString& fileName) {
    SetPicture(picSliderIdle_, sliderIdle_.get(), fileName, [this] {
        thumbWidth_ = sliderIdle_->Width();
        thumbHeight_ = sliderIdle_->Height();
        SetSlideSpace(horizontal_ ? backgroundIdle_->Width() - thumbWidth_ : backgroundIdle_->Height() - thumbHeight_);
        Invalidate();
    });
}

void TZelSlider::SetPicBackgroundMouseMove(const AnsiString& fileName) {
    SetPicture(picBackgroundMouseMove_, backgroundMouseMove_.get(), fileName, [this] { Invalidate(); });
}

void TZelSlider::SetPicSliderMouseDown(const AnsiString& fileName) {
    SetPicture(picSliderHolded_, sliderHolded_.get(), fileName, [this] { Invalidate(); });
}

// ---- Position

void TZelSlider::Changed() {
    if (OnChange) OnChange(this);
}

void TZelSlider::UpdateThumbOffset() {
    // A track no longer than the thumb has no room to move: the thumb stays at its start.
    if (slideSpaceSize_ <= 0) {
        thumbOffset_ = 0;
        return;
    }
    int64_t span = static_cast<int64_t>(maxPosition_) - minPosition_;
    thumbOffset_ = static_cast<int>((static_cast<int64_t>(position_) - minPosition_) * slideSpaceSize_ / span);
}

void TZelSlider::SetSlideSpace(int value) {
    if (value == slideSpaceSize_) return;
    slideSpaceSize_ = value;
    UpdateThumbOffset();
}

void TZelSlider::SetPosition(int value) {
    if (value == position_) return;
    position_ = std::clamp(value, minPosition_, maxPosition_);
    UpdateThumbOffset();
    Changed();
    Invalidate();
}

void TZelSlider::SetMinPosition(int value) {
    if (value >= maxPosition_) return;
    minPosition_ = value;
    if (position_ < minPosition_) position_ = minPosition_;
    UpdateThumbOffset();
    Invalidate();
}

void TZelSlider::SetMaxPosition(int value) {
    if (value <= minPosition_) return;
    maxPosition_ = value;
    if (position_ > maxPosition_) position_ = maxPosition_;
    UpdateThumbOffset();
    Invalidate();
}

void TZelSlider::SetSlideSize(int value) {
    if (value < 2) return;
    slideSpaceSize_ = value;
    UpdateThumbOffset();
    Invalidate();
}

// ---- Background and painting

void TZelSlider::Resize() {
    const int width = Width(), height = Height();
    TBitmap* composed = composed_->Bitmap();
    if (composed->Width() != width || composed->Height() != height) {
        offscreen_->Bitmap()->SetSize(width, height);
        composed->SetSize(width, height);
    }
    if (composed->Empty()) return;
    HDC dst = composed->Canvas()->Handle();

    if (currentMiddle_ && currentMiddle_->Width() != 0 && currentMiddle_->Height() != 0) {
        HDC middle = DCOf(currentMiddle_);
        if (horizontal_) {
            const int l = left_->Width(), r = right_->Width(), m = width - l - r;
            if (l != 0) BitBlt(dst, 0, 0, l, height, DCOf(left_.get()), 0, 0, SRCCOPY);
            const int t = currentMiddle_->Width();
            for (int k = 0; m > 0 && k < m; k += t) BitBlt(dst, l + k, 0, t, height, middle, 0, 0, SRCCOPY);
            if (r != 0) BitBlt(dst, width - r, 0, r, height, DCOf(right_.get()), 0, 0, SRCCOPY);
            SetSlideSpace(width - thumbWidth_);
        } else {
            const int top = left_->Height(), bottom = right_->Height(), m = height - top - bottom;
            if (top != 0) BitBlt(dst, 0, 0, width, top, DCOf(left_.get()), 0, 0, SRCCOPY);
            const int h = currentMiddle_->Height();
            for (int k = 0; m > 0 && k < m; k += h) BitBlt(dst, 0, top + k, width, h, middle, 0, 0, SRCCOPY);
            if (bottom != 0) BitBlt(dst, 0, height - bottom, width, bottom, DCOf(right_.get()), 0, 0, SRCCOPY);
            SetSlideSpace(height - thumbHeight_);
        }
    } else {
        SetColor(currentColor_);
        TCanvas* c = composed->Canvas();
        c->Brush()->SetColor(currentColor_);
        c->FillRect(ClientRect());
    }
}

void TZelSlider::Draw(TMessage&) {
    PAINTSTRUCT ps;
    BeginPaint(Handle(), &ps);
    TBitmap* off = offscreen_->Bitmap();
    TBitmap* composed = composed_->Bitmap();
    if (!off->Empty() && !composed->Empty()) {
        HDC dst = off->Canvas()->Handle();
        BitBlt(dst, 0, 0, Width(), Height(), composed->Canvas()->Handle(), 0, 0, SRCCOPY);
        if (currentThumb_ && HoldsGraphic(currentThumb_)) {
            int x = marginX_, y = marginY_;
            (horizontal_ ? x : y) += thumbOffset_;
            BitBlt(dst, x, y, currentThumb_->Width(), currentThumb_->Height(), DCOf(currentThumb_), 0, 0, SRCCOPY);
        }
        Canvas()->Draw(0, 0, off);
    }
    EndPaint(Handle(), &ps);
}

// ---- Mouse

void TZelSlider::MouseMove(TShiftState Shift, int X, int Y) {
    if (Shift.Contains(ssLeft)) {
        currentThumb_ = sliderHolded_.get();
        if (slideSpaceSize_ > 0) {
            int offset = horizontal_ ? X - marginX_ - thumbWidth_ / 2 : Y - marginY_ - thumbHeight_ / 2;
            thumbOffset_ = std::clamp(offset, 0, slideSpaceSize_);
            position_ = static_cast<int>(minPosition_ + (static_cast<int64_t>(maxPosition_) - minPosition_) *
                                                            thumbOffset_ / slideSpaceSize_);
        } else {
            // No track to move along: the thumb sits at the start and Position keeps its value.
            thumbOffset_ = 0;
        }
        Changed();
        Invalidate();
    }
    if (currentMiddle_ != backgroundMouseMove_.get()) {
        if (HoldsGraphic(backgroundMouseMove_.get())) currentMiddle_ = backgroundMouseMove_.get();
        currentColor_ = bkMouseMoveColor_;
        Invalidate();
        tracker_.ArmLeave();
    }
}

void TZelSlider::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) MouseMove(Shift << ssLeft, X, Y);
    TPanel::MouseDown(Button, Shift, X, Y);
}

void TZelSlider::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) {
        currentThumb_ = sliderIdle_.get();
        Invalidate();
    }
    TPanel::MouseUp(Button, Shift, X, Y);
}

void TZelSlider::MEnter(TMessage&) {
    if (HoldsGraphic(backgroundMouseMove_.get())) currentMiddle_ = backgroundMouseMove_.get();
    currentColor_ = bkMouseMoveColor_;
    Invalidate();
    tracker_.ArmLeave();
}

void TZelSlider::MLeave(TMessage&) {
    if (HoldsGraphic(backgroundIdle_.get())) currentMiddle_ = backgroundIdle_.get();
    currentColor_ = bkIdleColor_;
    Invalidate();
    tracker_.ArmHover();
}
