#pragma once
// The skinned slider: a track composed of a left cap, a repeated middle tile and a right cap,
// and a thumb picture dragged along it. The thumb's offset maps linearly onto an integer
// Position between MinPosition and MaxPosition; every change of Position raises OnChange.
#include <memory>

#include "ExtCtrls.h"
#include "Zelcomponentutils.h"

class TZelSlider : public TPanel {
public:
    explicit TZelSlider(TComponent* AOwner);
    ~TZelSlider() override;

    void Dispatch(TMessage& Message) override;
    void Loaded() override;
    // Composes the track background at the control's size.
    void Resize() override;

    const AnsiString& PicBackgroundLeft() const { return picBackgroundLeft_; }
    void SetPicBackgroundLeft(const AnsiString& fileName);
    const AnsiString& PicBackgroundRight() const { return picBackgroundRight_; }
    void SetPicBackgroundRight(const AnsiString& fileName);
    const AnsiString& PicBackgroundIdle() const { return picBackgroundIdle_; }
    void SetPicBackgroundIdle(const AnsiString& fileName);
    const AnsiString& PicSliderIdle() const { return picSliderIdle_; }
    void SetPicSliderIdle(const AnsiString& fileName);
    const AnsiString& PicBackgroundMouseMove() const { return picBackgroundMouseMove_; }
    void SetPicBackgroundMouseMove(const AnsiString& fileName);
    // The held thumb (property PicSliderHolded).
    const AnsiString& GetPicSliderMouseDown() const { return picSliderHolded_; }
    void SetPicSliderMouseDown(const AnsiString& fileName);

    TColor BkIdleColor() const { return bkIdleColor_; }
    void SetBkIdleColor(TColor color) { bkIdleColor_ = color; }
    TColor BkMouseMoveColor() const { return bkMouseMoveColor_; }
    void SetBkMouseMoveColor(TColor color) { bkMouseMoveColor_ = color; }

    int Position() const { return position_; }
    void SetPosition(int value);
    int MinPosition() const { return minPosition_; }
    void SetMinPosition(int value);
    int MaxPosition() const { return maxPosition_; }
    void SetMaxPosition(int value);
    bool Horizontal() const { return horizontal_; }
    void SetHorizontal(bool value) { horizontal_ = value; }
    int MarginX() const { return marginX_; }
    void SetMarginX(int value) { marginX_ = value; }
    int MarginY() const { return marginY_; }
    void SetMarginY(int value) { marginY_ = value; }
    // The track length in pixels, the largest thumb offset.
    int SlideSpaceSize() const { return slideSpaceSize_; }
    void SetSlideSize(int value);

    // Pixels from the start of the track to the thumb.
    int ThumbOffset() const { return thumbOffset_; }
    TPicture* CurrentThumb() const { return currentThumb_; }
    TPicture* CurrentMiddle() const { return currentMiddle_; }
    TPicture* ComposedBackground() const { return composed_.get(); }

    TNotifyEvent OnChange;

protected:
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

    void Draw(TMessage& Message);
    void MEnter(TMessage& Message);
    void MLeave(TMessage& Message);

private:
    void SetPicture(AnsiString& storedName, TPicture* picture, const AnsiString& fileName,
                    const std::function<void()>& followUp);
    // Track length changes move the thumb to where Position puts it.
    void SetSlideSpace(int value);
    void UpdateThumbOffset();
    void Changed();

    tikora::controls::HoverTracker tracker_;
    int thumbOffset_ = 0;
    int thumbWidth_ = 1, thumbHeight_ = 1;
    int slideSpaceSize_ = 0;
    int position_ = 1, minPosition_ = 0, maxPosition_ = 100;
    bool horizontal_ = false;
    AnsiString picBackgroundIdle_, picBackgroundLeft_, picBackgroundRight_, picSliderIdle_, picBackgroundMouseMove_,
        picSliderHolded_;
    std::unique_ptr<TPicture> left_, right_, backgroundIdle_, backgroundMouseMove_, sliderIdle_, sliderHolded_;
    std::unique_ptr<TPicture> composed_;
    TPicture* currentThumb_ = nullptr;
    TPicture* currentMiddle_ = nullptr;
    std::unique_ptr<TPicture> offscreen_;
    TColor currentColor_ = 0;
    TColor bkIdleColor_ = 0, bkMouseMoveColor_ = 0;
    int marginX_ = 0, marginY_ = 0;
};
