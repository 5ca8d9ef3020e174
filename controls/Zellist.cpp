#include "Zellist.h"

#include <algorithm>

#include "Picutils.h"

using tikora::controls::HoldsGraphic;
using tikora::controls::SetPictureProperty;

TZelList::TZelList(TComponent* AOwner)
    : TPanel(AOwner),
      mouseMove_(std::make_unique<TPicture>()),
      mouseDown_(std::make_unique<TPicture>()),
      idle_(std::make_unique<TPicture>()),
      selected_(std::make_unique<TPicture>()),
      disabled_(std::make_unique<TPicture>()),
      fontOnIdle_(std::make_unique<TFont>()),
      fontOnDisabled_(std::make_unique<TFont>()),
      fontOnMouseMove_(std::make_unique<TFont>()),
      fontOnMouseDown_(std::make_unique<TFont>()),
      fontOnSelected_(std::make_unique<TFont>()),
      items_(std::make_unique<TStringList>()) {
    SetColor(clNone);
    SetBevelOuter(bvNone);
    SetCaption(AnsiString());
    items_->OnChange = [this](TObject* sender) { OnItemsChange(sender); };
}

TZelList::~TZelList() { items_->OnChange = nullptr; }

void TZelList::Dispatch(TMessage& Message) {
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

void TZelList::Loaded() {
    TPanel::Loaded();
    tracker_.Arm(Handle());
    for (TFont* f : {fontOnIdle_.get(), fontOnDisabled_.get(), fontOnMouseMove_.get(), fontOnMouseDown_.get(),
                     fontOnSelected_.get()})
        AntialiasFont(f);
    Invalidate();
}

void TZelList::Changed() {
    if (OnChange) OnChange(this);
}

// ---- Pictures

void TZelList::MeasureCellOnIdle() {
    cellWidth_ = idle_->Width();
    cellHeight_ = idle_->Height();
    SetSize();
}

void TZelList::SetPicture(AnsiString& storedName, TPicture* picture, const AnsiString& fileName, bool repaint) {
    SetPictureProperty(
        storedName, fileName, [&] { LoadImageToPicture(picture, fileName); },
        [&] {
            if (cellWidth_ == 0) MeasureCellOnIdle();
            if (repaint) Invalidate();
        });
}

void TZelList::SetPicOnDisabled(const AnsiString& fileName) {
    SetPicture(picOnDisabled_, disabled_.get(), fileName, false);
}
void TZelList::SetPicOnSelected(const AnsiString& fileName) {
    SetPicture(picOnSelected_, selected_.get(), fileName, true);
}
void TZelList::SetPicOnMouseMove(const AnsiString& fileName) {
    SetPicture(picOnMouseMove_, mouseMove_.get(), fileName, false);
}
void TZelList::SetPicOnMouseDown(const AnsiString& fileName) {
    SetPicture(picOnMouseDown_, mouseDown_.get(), fileName, false);
}

void TZelList::SetPicOnIdle(const AnsiString& fileName) {
    SetPictureProperty(
        picOnIdle_, fileName, [&] { LoadImageToPicture(idle_.get(), fileName); },
        [&] {
            MeasureCellOnIdle();
            Invalidate();
        });
}

// ---- Plain properties

void TZelList::SetTextMarginX(int value) {
    if (value == marginX_) return;
    marginX_ = value;
    if (marginOn_) Invalidate();
}

void TZelList::SetTextMoveX(int value) {
    if (value == moveX_) return;
    moveX_ = value;
    if (marginOn_) Invalidate();
}

void TZelList::SetTextMoveY(int value) {
    if (value == moveY_) return;
    moveY_ = value;
    Invalidate();
}

void TZelList::SetTextMarginY(int value) {
    if (value == marginY_) return;
    marginY_ = value;
    Invalidate();
}

void TZelList::SetTextMarginOn(bool value) {
    if (value == marginOn_) return;
    marginOn_ = value;
    Invalidate();
}

void TZelList::SetMinAutoWidth(int value) {
    if (value == minAutoWidth_) return;
    minAutoWidth_ = value;
    SetSize();
    Invalidate();
}

void TZelList::SetAutoWidth(bool value) {
    if (value == autoWidth_) return;
    autoWidth_ = value;
    Invalidate();
}

void TZelList::SetHorizontal(bool value) {
    if (value == horizontal_) return;
    horizontal_ = value;
    SetSize();
    Invalidate();
}

void TZelList::SetFontInto(TFont* own, const TFont* font) {
    if (!font) return;
    own->Assign(*font);
    AntialiasFont(own);
}

void TZelList::SetFontOnDisabled(const TFont* font) { SetFontInto(fontOnDisabled_.get(), font); }
void TZelList::SetFontOnSelected(const TFont* font) {
    SetFontInto(fontOnSelected_.get(), font);
    Invalidate();
}
void TZelList::SetFontOnMouseMove(const TFont* font) { SetFontInto(fontOnMouseMove_.get(), font); }
void TZelList::SetFontOnMouseDown(const TFont* font) { SetFontInto(fontOnMouseDown_.get(), font); }

void TZelList::SetFontOnIdle(const TFont* font) {
    if (!font) return;
    for (TFont* f : {fontOnIdle_.get(), fontOnDisabled_.get(), fontOnMouseMove_.get(), fontOnMouseDown_.get(),
                     fontOnSelected_.get()})
        SetFontInto(f, font);
    Invalidate();
}

void TZelList::SetItems(const TStrings* items) {
    if (!items) return;
    items_->Assign(*items);
    Invalidate();
}

void TZelList::SetItemIndex(int value) {
    if (value == itemIndex_) return;
    itemIndex_ = value;
    Invalidate();
}

void TZelList::OnItemsChange(TObject*) {
    if (itemIndex_ >= items_->Count()) {
        itemIndex_ = -1;
        Changed();
    }
    SetSize();
    Invalidate();
}

// ---- Layout

void TZelList::SetSize() {
    if (!offscreen_) {
        offscreen_ = std::make_unique<TBitmap>();
        offscreen_->SetHandleType(bmDDB);
    }
    const int count = items_->Count();
    if (count > 0 && cellWidth_ != 0 && cellHeight_ != 0) {
        if (autoWidth_) {
            Canvas()->Font()->Assign(*fontOnIdle_);
            int longest = 0;
            for (int i = 1; i < count; ++i)
                if (items_->Strings(i).Length() > items_->Strings(longest).Length()) longest = i;
            autoWidthValue_ = Canvas()->TextWidth(items_->Strings(longest) + "HH") + moveX_;
            if (autoWidthValue_ < 6) autoWidthValue_ = 6;
            if (autoWidthValue_ < minAutoWidth_) autoWidthValue_ = minAutoWidth_;
        }
        int width, height;
        if (horizontal_) {
            width = count * (autoWidth_ ? autoWidthValue_ : cellWidth_);
            height = cellHeight_;
        } else {
            width = autoWidth_ ? autoWidthValue_ : cellWidth_;
            height = count * cellHeight_;
        }
        if (!autoWidth_) autoWidthValue_ = 0;
        SetBounds(Left(), Top(), width, height);
        offscreen_->SetSize(Width(), Height());
    }
    if (autoWidthValue_ != 0) {
        FitPicture(idle_.get(), picOnIdle_, autoWidthValue_);
        FitPicture(mouseDown_.get(), picOnMouseDown_, autoWidthValue_);
        FitPicture(mouseMove_.get(), picOnMouseMove_, autoWidthValue_);
        FitPicture(disabled_.get(), picOnDisabled_, autoWidthValue_);
        FitPicture(selected_.get(), picOnSelected_, autoWidthValue_);
        cellWidth_ = autoWidthValue_;
    }
}

void TZelList::FitPicture(TPicture* picture, const AnsiString& fileName, int width) {
    if (fileName.IsEmpty()) return;
    LoadImageToPicture(picture, fileName);
    TBitmap* bitmap = picture->Bitmap();
    const int w = bitmap->Width(), h = bitmap->Height();
    if (bitmap->Empty() || w == width) return;

    // The picture at natural size, to copy from while the bitmap changes width.
    TBitmap natural;
    natural.Assign(*bitmap);
    HDC from = natural.Canvas()->Handle();
    if (w < width) {
        // The right fifth moves to the new right edge; the column where it began fills the gap.
        const int fifth = w / 5;
        bitmap->SetWidth(width);
        HDC to = bitmap->Canvas()->Handle();
        if (fifth > 0) {
            BitBlt(to, width - fifth, 0, fifth, h, from, w - fifth, 0, SRCCOPY);
            for (int x = w - fifth; x < width - fifth; ++x) BitBlt(to, x, 0, 1, h, from, w - fifth, 0, SRCCOPY);
        }
    } else {
        // The first width - 10 columns, then the last 10.
        const int tail = std::min(10, w);
        bitmap->SetWidth(width);
        HDC to = bitmap->Canvas()->Handle();
        const int skip = std::max(0, tail - width);
        BitBlt(to, width - tail + skip, 0, tail - skip, h, from, w - tail + skip, 0, SRCCOPY);
    }
}

// ---- Painting

void TZelList::Draw(TMessage&) {
    if (!offscreen_) {
        offscreen_ = std::make_unique<TBitmap>();
        offscreen_->SetHandleType(bmDDB);
        offscreen_->SetSize(Width(), Height());
    }
    TCanvas* off = offscreen_->Canvas();
    if (HDC dc = off->Handle()) SetBkMode(dc, TRANSPARENT);

    const int count = items_->Count();
    if (count == 0 || picOnIdle_.IsEmpty()) TCustomPanel::Paint();

    if (autoWidth_) {
        // Only pictures with a name are fitted; one whose load failed keeps its old width and
        // must not make every paint lay the strip out again.
        const std::pair<TPicture*, const AnsiString*> pictures[] = {{idle_.get(), &picOnIdle_},
                                                                    {mouseMove_.get(), &picOnMouseMove_},
                                                                    {mouseDown_.get(), &picOnMouseDown_},
                                                                    {disabled_.get(), &picOnDisabled_},
                                                                    {selected_.get(), &picOnSelected_}};
        for (const auto& [picture, name] : pictures) {
            if (!name->IsEmpty() && HoldsGraphic(picture) && picture->Width() != autoWidthValue_) {
                SetSize();
                break;
            }
        }
    }

    for (int i = 0; i < count; ++i) {
        int x = 0, y = 0;
        TPicture* picture;
        TFont* font;
        if (Enabled() || !HoldsGraphic(disabled_.get())) {
            picture = idle_.get();
            font = fontOnIdle_.get();
            if (i == hotItem_) {
                picture = mouseMove_.get();
                font = fontOnMouseMove_.get();
            }
            if (i == itemIndex_) {
                picture = selected_.get();
                font = fontOnSelected_.get();
            }
            if (i == pressedItem_) {
                picture = mouseDown_.get();
                font = fontOnMouseDown_.get();
                x += moveX_;
                y += moveY_;
            }
        } else {
            picture = disabled_.get();
            font = fontOnDisabled_.get();
        }
        // A state without a picture of its own (the time-signature list has no selected picture)
        // shows the idle one rather than what the off-screen bitmap last held there.
        if (!HoldsGraphic(picture)) picture = idle_.get();
        off->Font()->Assign(*font);

        const int th = off->TextHeight("H");
        y += (cellHeight_ - th) / 2;
        const AnsiString& item = items_->Strings(i);
        if (!marginOn_) {
            const int tw = off->TextWidth(item);
            switch (Alignment()) {
                case taLeftJustify:
                    x += 2;
                    break;
                case taRightJustify:
                    x += cellWidth_ - tw - 2;
                    break;
                case taCenter:
                    x += (cellWidth_ - tw) / 2;
                    break;
            }
        }
        x += marginX_;
        y += marginY_;
        const int cellX = horizontal_ ? i * cellWidth_ : 0;
        const int cellY = horizontal_ ? 0 : i * cellHeight_;
        if (HoldsGraphic(picture)) off->Draw(cellX, cellY, picture->Graphic());
        off->TextOut(cellX + x, cellY + y, item);
    }

    if (count > 0) {
        RECT strip =
            horizontal_ ? RECT{0, 0, count * cellWidth_, cellHeight_} : RECT{0, 0, cellWidth_, count * cellHeight_};
        Canvas()->CopyRect(strip, off, strip);
    }
    PAINTSTRUCT ps;
    BeginPaint(Handle(), &ps);
    EndPaint(Handle(), &ps);
}

void TZelList::MEraseBackground(TMessage& Message) {
    if (items_->Count() > 0 && !picOnIdle_.IsEmpty()) {
        Message.Result = 1;
        return;
    }
    TPanel::Dispatch(Message);
}

// ---- Mouse

int TZelList::ItemAt(int X, int Y) const {
    const int cell = horizontal_ ? cellWidth_ : cellHeight_;
    if (cell == 0) return -1;
    return (horizontal_ ? X : Y) / cell;
}

void TZelList::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft && HoldsGraphic(mouseDown_.get()) && items_->Count() > 0 && X >= 1 && X < ClientWidth() &&
        Y >= 1 && Y < ClientHeight()) {
        // Only a press on a cell presses an item: the control can be larger than its strip.
        int item = ItemAt(X, Y);
        if (item >= 0 && item < items_->Count()) {
            pressedItem_ = item;
            Invalidate();
        }
    }
    TPanel::MouseDown(Button, Shift, X, Y);
}

void TZelList::MouseMove(TShiftState Shift, int X, int Y) {
    if (HoldsGraphic(mouseMove_.get()) && X >= 1 && X < ClientWidth() && Y >= 1 && Y < ClientHeight() &&
        !Shift.Contains(ssLeft)) {
        int item = ItemAt(X, Y);
        if (items_->Count() > 0 && item >= 0) {
            if (item == pressedItem_) item = -1;
            if (item != hotItem_) {
                hotItem_ = item;
                Invalidate();
            }
        }
        tracker_.ArmLeave();
    }
    TPanel::MouseMove(Shift, X, Y);
}

void TZelList::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) { TPanel::MouseUp(Button, Shift, X, Y); }

void TZelList::Click() {
    itemIndex_ = pressedItem_;
    pressedItem_ = -1;
    Changed();
    if (items_->Count() > 0) Invalidate();
    TPanel::Click();
}

void TZelList::MEnter(TMessage&) { tracker_.ArmLeave(); }

void TZelList::MLeave(TMessage&) {
    hotItem_ = -1;
    Invalidate();
    tracker_.ArmHover();
}
