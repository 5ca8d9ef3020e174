#include "Zelpanel.h"

#include "HostPath.h"
#include "Picutils.h"
#include "PxImage.h"

using tikora::controls::SetPictureProperty;

TZelPanel::TZelPanel(TComponent* AOwner)
    : TPanel(AOwner),
      fontOnIdle_(std::make_unique<TFont>()),
      fontOnDisabled_(std::make_unique<TFont>()),
      fontOnMouseMove_(std::make_unique<TFont>()),
      fontOnMouseDown_(std::make_unique<TFont>()),
      fontOnChecked_(std::make_unique<TFont>()) {
    // Alpha pictures blend over what lies behind, so the panel does not claim to be opaque.
    controlStyle_ = controlStyle_ >> csOpaque;
    SetColor(clNone);
    SetBevelOuter(bvNone);
    SetCaption(AnsiString());
}

TZelPanel::~TZelPanel() {
    for (int i = 0; i < static_cast<int>(slots_.size()); ++i) FreeImage(i);
}

void TZelPanel::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_PAINT:
            Draw(Message);
            return;
        case WM_ERASEBKGND:
            MEraseBackground(Message);
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

void TZelPanel::Loaded() {
    if (loaded_) return;
    loaded_ = true;
    TPanel::Loaded();
    // A Checked or PicOnIdle set before has already chosen the look; only a fresh panel starts idle.
    if (state_ < 0) state_ = StateIdle;
    tracker_.Arm(Handle());
    for (TFont* f : {fontOnIdle_.get(), fontOnDisabled_.get(), fontOnMouseMove_.get(), fontOnMouseDown_.get(),
                     fontOnChecked_.get()})
        AntialiasFont(f);
    Invalidate();
}

// ---- Properties

void TZelPanel::SetBkColor(TColor color) {
    if (color == bkColor_) return;
    bkColor_ = color;
    Invalidate();
}

void TZelPanel::SetPicture(AnsiString& storedName, const AnsiString& fileName, int index, bool repaint) {
    SetPictureProperty(
        storedName, fileName, [&] { SetImage(useAlpha_ ? KindPxImage : KindPicture, index, fileName); },
        [&] {
            if (repaint) Invalidate();
        });
}

void TZelPanel::SetPicOnDisabled(const AnsiString& fileName) {
    SetPicture(picOnDisabled_, fileName, StateDisabled, false);
}

void TZelPanel::SetPicOnChecked(const AnsiString& fileName) { SetPicture(picOnChecked_, fileName, StateChecked, true); }

void TZelPanel::SetPicOnMouseMove(const AnsiString& fileName) {
    SetPicture(picOnMouseMove_, fileName, StateMouseMove, false);
}

void TZelPanel::SetPicOnMouseDown(const AnsiString& fileName) {
    SetPicture(picOnMouseDown_, fileName, StateMouseDown, false);
}

void TZelPanel::SetPicOnIdle(const AnsiString& fileName) {
    SetPictureProperty(
        picOnIdle_, fileName, [&] { SetImage(useAlpha_ ? KindPxImage : KindPicture, StateIdle, fileName); },
        [&] {
            state_ = StateIdle;
            Invalidate();
        });
}

void TZelPanel::SetControlText(const AnsiString& text) {
    if (text == text_) return;
    text_ = text;
    Invalidate();
}

void TZelPanel::SetTextMarginX(int value) {
    if (value == textMarginX_) return;
    textMarginX_ = value;
    if (textMarginOn_) Invalidate();
}

void TZelPanel::SetTextMoveX(int value) {
    if (value == textMoveX_) return;
    textMoveX_ = value;
    Invalidate();
}

void TZelPanel::SetTextMoveY(int value) {
    if (value == textMoveY_) return;
    textMoveY_ = value;
    Invalidate();
}

void TZelPanel::SetTextMarginY(int value) {
    if (value == textMarginY_) return;
    textMarginY_ = value;
    if (textMarginOn_) Invalidate();
}

void TZelPanel::SetTextMarginOn(bool value) {
    if (value == textMarginOn_) return;
    textMarginOn_ = value;
    Invalidate();
}

void TZelPanel::SetFontInto(TFont* own, const TFont* font) {
    if (!font) return;
    own->Assign(*font);
    AntialiasFont(own);
}

void TZelPanel::SetFontOnDisabled(const TFont* font) { SetFontInto(fontOnDisabled_.get(), font); }

void TZelPanel::SetFontOnChecked(const TFont* font) {
    SetFontInto(fontOnChecked_.get(), font);
    state_ = checked_ ? StateChecked : StateIdle;
    Invalidate();
}

void TZelPanel::SetFontOnMouseMove(const TFont* font) { SetFontInto(fontOnMouseMove_.get(), font); }

void TZelPanel::SetFontOnMouseDown(const TFont* font) { SetFontInto(fontOnMouseDown_.get(), font); }

void TZelPanel::SetFontOnIdle(const TFont* font) {
    if (!font) return;
    for (TFont* f : {fontOnIdle_.get(), fontOnDisabled_.get(), fontOnMouseMove_.get(), fontOnMouseDown_.get(),
                     fontOnChecked_.get()})
        SetFontInto(f, font);
    Invalidate();
}

void TZelPanel::SetChecked(bool value) {
    if (value == checked_) return;
    checked_ = value;
    state_ = checked_ ? StateChecked : StateIdle;
    Invalidate();
}

// ---- Picture slots

void TZelPanel::SetImage(int kind, int index, const AnsiString& fileName) {
    FreeImage(index);
    Slot& slot = slots_.at(static_cast<size_t>(index));
    slot.kind = kind;
    try {
        if (kind == KindPxImage) {
            slot.image = std::make_unique<PxImage>(HostPath(fileName).c_str(), PXIMAGE_FORMAT_UNKNOWN);
            if (!slot.image->IsValid()) throw Exception("no decoder takes " + fileName);
        } else if (kind == KindPicture) {
            slot.picture = std::make_unique<TPicture>();
            LoadImageToPicture(slot.picture.get(), fileName);
        }
    } catch (...) {
        FreeImage(index);
        throw;
    }
}

void TZelPanel::FreeImage(int index) {
    Slot& slot = slots_.at(static_cast<size_t>(index));
    slot.picture.reset();
    slot.image.reset();
}

bool TZelPanel::SlotHolds(int index) const {
    if (index < 0 || index >= static_cast<int>(slots_.size())) return false;
    const Slot& slot = slots_[static_cast<size_t>(index)];
    return slot.picture || slot.image;
}

bool TZelPanel::ImageDraw(TCanvas* canvas, int index) {
    if (!SlotHolds(index)) return false;
    Slot& slot = slots_[static_cast<size_t>(index)];
    if (slot.picture) {
        canvas->Draw(0, 0, slot.picture->Graphic());
    } else {
        slot.image->Draw(canvas->Handle(), 0, 0, -1, -1, nullptr, false);
    }
    return true;
}

// ---- Painting

void TZelPanel::PaintPlainPanel() {
    if (Color() != bkColor_) SetColor(bkColor_);
    TCustomPanel::Paint();
}

void TZelPanel::Draw(TMessage&) {
    PAINTSTRUCT ps;
    BeginPaint(Handle(), &ps);
    TCanvas* canvas = Canvas();
    bool painted = false;

    if (backgroundImage_) {
        POINT screen = ClientToScreen(POINT{0, 0});
        POINT b = backgroundImage_->ScreenToClient(screen);
        BitBlt(canvas->Handle(), 0, 0, Width(), Height(), backgroundImage_->Canvas()->Handle(), b.x, b.y, SRCCOPY);
    } else if (useAlpha_) {
        PaintPlainPanel();
        painted = true;
    }

    // A checked panel without a checked picture looks idle rather than disabled.
    int shown = state_ == StateChecked && !SlotHolds(StateChecked) ? StateIdle : state_;
    if (shown >= 0 && SlotHolds(shown) && Enabled()) {
        if (checked_ && SlotHolds(StateChecked)) {
            ImageDraw(canvas, StateChecked);
            painted = true;
            canvas->Font()->Assign(*fontOnChecked_);
        } else {
            if (ImageDraw(canvas, shown)) painted = true;
            canvas->Font()->Assign(shown == StateMouseMove   ? *fontOnMouseMove_
                                   : shown == StateMouseDown ? *fontOnMouseDown_
                                                             : *fontOnIdle_);
        }
    } else {
        if (ImageDraw(canvas, StateDisabled)) painted = true;
        canvas->Font()->Assign(*fontOnDisabled_);
    }

    if (!painted) PaintPlainPanel();
    if (!text_.IsEmpty()) DrawText(state_);
    EndPaint(Handle(), &ps);
}

void TZelPanel::DrawText(int state) {
    TCanvas* canvas = Canvas();
    int th = canvas->TextHeight(text_);
    int tw = canvas->TextWidth(text_);
    const int width = Width(), height = Height();
    HDC dc = canvas->Handle();

    int firstFeed = text_.Pos("\n");
    if (firstFeed > 0) {
        int lines = 2;
        for (int i = firstFeed + 1; i <= text_.Length() - 1; ++i)
            if (text_[i] == '\n') ++lines;
        th *= lines;
        int x = textMarginX_, y = textMarginY_;
        if (state == StateMouseDown) {
            x += textMoveX_;
            y += textMoveY_;
        }
        RECT r{x, (height - th) / 2 + y - 1, x + width - 3, (height + th) / 2 + y + 1};
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, text_.c_str(), text_.Length(), &r, DT_CENTER | DT_WORDBREAK);
        return;
    }

    AnsiString s = text_, suffix;
    while (tw + textMarginX_ >= width - 3 && s.Length() > 1) {
        s.SetLength(s.Length() - 1);
        tw = canvas->TextWidth(s + "..");
        suffix = "..";
    }
    s += suffix;
    int y = (height - th) / 2;
    int x = 0;
    if (!textMarginOn_) {
        switch (Alignment()) {
            case taLeftJustify:
                x = 2;
                break;
            case taRightJustify:
                x = width - tw - 2;
                break;
            case taCenter:
                x = (width - tw) / 2;
                break;
        }
    }
    x += textMarginX_;
    y += textMarginY_;
    if (state == StateMouseDown) {
        x += textMoveX_;
        y += textMoveY_;
    }
    SetBkMode(dc, TRANSPARENT);
    canvas->TextOut(x, y, s);
}

void TZelPanel::MEraseBackground(TMessage& Message) {
    if (!(state_ >= 0 && SlotHolds(state_))) TCustomPanel::Paint();
    Message.Result = 1;
}

// ---- Mouse

void TZelPanel::MEnter(TMessage&) {
    if (SlotHolds(StateMouseMove)) state_ = StateMouseMove;
    Invalidate();
    tracker_.ArmLeave();
}

void TZelPanel::MLeave(TMessage&) {
    if (SlotHolds(StateIdle)) state_ = StateIdle;
    Invalidate();
    tracker_.ArmHover();
}

void TZelPanel::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (SlotHolds(StateMouseDown) && state_ != StateMouseDown) {
        state_ = StateMouseDown;
        Invalidate();
    }
    TPanel::MouseDown(Button, Shift, X, Y);
}

void TZelPanel::MouseMove(TShiftState Shift, int X, int Y) {
    if (SlotHolds(StateMouseMove) && !Shift.Contains(ssLeft) && state_ != StateMouseMove) {
        state_ = StateMouseMove;
        Invalidate();
        tracker_.ArmLeave();
    }
    TPanel::MouseMove(Shift, X, Y);
}

void TZelPanel::Click() { TPanel::Click(); }
