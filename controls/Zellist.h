#pragma once
// The skinned choice strip: one equal cell per text item, drawn from the idle, mouse-over,
// selected, pressed or disabled picture with the item's text in the matching font. The strip
// sizes itself to its items (a vertical strip grows downwards, a horizontal one to the right);
// with AutoWidth the cell width follows the longest item and the cell pictures are widened or
// narrowed to match. A click makes the cell under the pointer ItemIndex.
#include <memory>

#include "ExtCtrls.h"
#include "Zelcomponentutils.h"

class TZelList : public TPanel {
public:
    explicit TZelList(TComponent* AOwner);
    ~TZelList() override;

    void Dispatch(TMessage& Message) override;
    void Loaded() override;

    const AnsiString& PicOnDisabled() const { return picOnDisabled_; }
    void SetPicOnDisabled(const AnsiString& fileName);
    const AnsiString& PicOnSelected() const { return picOnSelected_; }
    void SetPicOnSelected(const AnsiString& fileName);
    const AnsiString& PicOnMouseMove() const { return picOnMouseMove_; }
    void SetPicOnMouseMove(const AnsiString& fileName);
    const AnsiString& PicOnMouseDown() const { return picOnMouseDown_; }
    void SetPicOnMouseDown(const AnsiString& fileName);
    const AnsiString& PicOnIdle() const { return picOnIdle_; }
    void SetPicOnIdle(const AnsiString& fileName);

    // Properties MarginX, MoveX, MoveY, MarginY and MarginOn.
    int GetTextMarginX() const { return marginX_; }
    void SetTextMarginX(int value);
    int GetTextMoveX() const { return moveX_; }
    void SetTextMoveX(int value);
    int GetTextMoveY() const { return moveY_; }
    void SetTextMoveY(int value);
    int GetTextMarginY() const { return marginY_; }
    void SetTextMarginY(int value);
    bool GetTextMarginOn() const { return marginOn_; }
    void SetTextMarginOn(bool value);

    int MinAutoWidth() const { return minAutoWidth_; }
    void SetMinAutoWidth(int value);
    bool AutoWidth() const { return autoWidth_; }
    void SetAutoWidth(bool value);
    bool Horizontal() const { return horizontal_; }
    void SetHorizontal(bool value);

    TFont* FontOnDisabled() const { return fontOnDisabled_.get(); }
    void SetFontOnDisabled(const TFont* font);
    TFont* FontOnSelected() const { return fontOnSelected_.get(); }
    void SetFontOnSelected(const TFont* font);
    TFont* FontOnMouseMove() const { return fontOnMouseMove_.get(); }
    void SetFontOnMouseMove(const TFont* font);
    TFont* FontOnMouseDown() const { return fontOnMouseDown_.get(); }
    void SetFontOnMouseDown(const TFont* font);
    TFont* FontOnIdle() const { return fontOnIdle_.get(); }
    // Given to all five fonts.
    void SetFontOnIdle(const TFont* font);

    // The windows fill the list in place; every change lays the strip out again.
    TStringList* Items() const { return items_.get(); }
    TStringList* GetItems() const { return items_.get(); }
    void SetItems(const TStrings* items);
    int ItemIndex() const { return itemIndex_; }
    // Any value is taken; one that names no item matches no cell.
    void SetItemIndex(int value);

    // The layout: the strip's size from the items and the cell size, and the auto-width fitting.
    void SetSize();
    void OnItemsChange(TObject* Sender);

    int CellWidth() const { return cellWidth_; }
    int CellHeight() const { return cellHeight_; }
    // 0 when AutoWidth did not apply at the last layout.
    int AutoWidthValue() const { return autoWidthValue_; }
    int PressedItem() const { return pressedItem_; }
    int HotItem() const { return hotItem_; }
    TPicture* PictureOnIdle() const { return idle_.get(); }
    TPicture* PictureOnSelected() const { return selected_.get(); }
    TPicture* PictureOnMouseMove() const { return mouseMove_.get(); }
    TPicture* PictureOnMouseDown() const { return mouseDown_.get(); }
    TPicture* PictureOnDisabled() const { return disabled_.get(); }

    TNotifyEvent OnChange;

protected:
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void Click() override;

    void Draw(TMessage& Message);
    void MEraseBackground(TMessage& Message);
    void MEnter(TMessage& Message);
    void MLeave(TMessage& Message);

private:
    void SetPicture(AnsiString& storedName, TPicture* picture, const AnsiString& fileName, bool repaint);
    void SetFontInto(TFont* own, const TFont* font);
    void MeasureCellOnIdle();
    void FitPicture(TPicture* picture, const AnsiString& fileName, int width);
    // The item under a point of the strip, or -1 while there are no cells to measure by.
    int ItemAt(int X, int Y) const;
    void Changed();

    tikora::controls::HoverTracker tracker_;
    AnsiString picOnMouseMove_, picOnMouseDown_, picOnIdle_, picOnDisabled_, picOnSelected_;
    bool autoWidth_ = false;
    int autoWidthValue_ = 0;
    std::unique_ptr<TPicture> mouseMove_, mouseDown_, idle_, selected_, disabled_;
    int marginX_ = 0, moveX_ = 0, minAutoWidth_ = 10, moveY_ = 0, marginY_ = 0;
    bool marginOn_ = false, horizontal_ = false;
    std::unique_ptr<TFont> fontOnIdle_, fontOnDisabled_, fontOnMouseMove_, fontOnMouseDown_, fontOnSelected_;
    std::unique_ptr<TStringList> items_;
    std::unique_ptr<TBitmap> offscreen_;
    int itemIndex_ = -1, pressedItem_ = -1, hotItem_ = -1;
    int cellWidth_ = 0, cellHeight_ = 0;
};
