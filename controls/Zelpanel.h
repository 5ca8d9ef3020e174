#pragma once
// The skinned button: push button, two-state check box or plain picture panel. One picture per
// visual state (idle, mouse over, mouse down, checked, disabled), its own Text drawn over the
// picture in a font chosen by the state, and optional per-pixel alpha over a background taken
// from a TImage behind it.
#include <array>
#include <memory>

#include "ExtCtrls.h"
#include "Zelcomponentutils.h"

class PxImage;

class TZelPanel : public TPanel {
public:
    // Visual states; the same numbers index the picture slots.
    enum { StateIdle = 0, StateMouseMove = 1, StateMouseDown = 2, StateChecked = 3, StateDisabled = 4 };
    // What a picture slot holds.
    enum { KindPicture = 0, KindPxImage = 1 };

    explicit TZelPanel(TComponent* AOwner);
    ~TZelPanel() override;

    void Dispatch(TMessage& Message) override;
    void Loaded() override;

    TImage* BackgroundImage() const { return backgroundImage_; }
    void SetBackgroundImage(TImage* image) { backgroundImage_ = image; }
    TColor BkColor() const { return bkColor_; }
    void SetBkColor(TColor color);

    const AnsiString& PicOnDisabled() const { return picOnDisabled_; }
    void SetPicOnDisabled(const AnsiString& fileName);
    const AnsiString& PicOnChecked() const { return picOnChecked_; }
    void SetPicOnChecked(const AnsiString& fileName);
    const AnsiString& PicOnMouseMove() const { return picOnMouseMove_; }
    void SetPicOnMouseMove(const AnsiString& fileName);
    const AnsiString& PicOnMouseDown() const { return picOnMouseDown_; }
    void SetPicOnMouseDown(const AnsiString& fileName);
    const AnsiString& PicOnIdle() const { return picOnIdle_; }
    void SetPicOnIdle(const AnsiString& fileName);

    // The control draws Text itself; the inherited Caption shows only on the plain panel.
    AnsiString GetControlText() const override { return text_; }
    AnsiString GetText() const { return text_; }
    void SetControlText(const AnsiString& text) override;
    // The class library's SetCaption goes through SetText; the caption stays apart from Text here.
    void SetCaption(const AnsiString& caption) { TPanel::SetControlText(caption); }
    int TextMarginX() const { return textMarginX_; }
    void SetTextMarginX(int value);
    int TextMoveX() const { return textMoveX_; }
    void SetTextMoveX(int value);
    int TextMoveY() const { return textMoveY_; }
    void SetTextMoveY(int value);
    int TextMarginY() const { return textMarginY_; }
    void SetTextMarginY(int value);
    bool TextMarginOn() const { return textMarginOn_; }
    void SetTextMarginOn(bool value);

    // The fonts are the control's own; a window may also change them in place before Loaded.
    TFont* FontOnDisabled() const { return fontOnDisabled_.get(); }
    void SetFontOnDisabled(const TFont* font);
    TFont* FontOnChecked() const { return fontOnChecked_.get(); }
    void SetFontOnChecked(const TFont* font);
    TFont* FontOnMouseMove() const { return fontOnMouseMove_.get(); }
    void SetFontOnMouseMove(const TFont* font);
    TFont* FontOnMouseDown() const { return fontOnMouseDown_.get(); }
    void SetFontOnMouseDown(const TFont* font);
    TFont* FontOnIdle() const { return fontOnIdle_.get(); }
    // Given to all five fonts.
    void SetFontOnIdle(const TFont* font);

    bool Checked() const { return checked_; }
    void SetChecked(bool value);
    bool UseAlpha() const { return useAlpha_; }
    // Decides the kind of the pictures loaded afterwards; those already loaded stay.
    void SetUseAlpha(bool value) { useAlpha_ = value; }

    // -1 until Loaded, then one of the visual states 0..3.
    int State() const { return state_; }

    // Loads a slot: kind 0 a TPicture (opaque), kind 1 a PxImage (alpha); other kinds leave it empty.
    void SetImage(int kind, int index, const AnsiString& fileName);
    void FreeImage(int index);
    // Draws the slot at (0, 0) of the canvas at its natural size; false for an empty slot.
    bool ImageDraw(TCanvas* canvas, int index);
    bool SlotHolds(int index) const;
    int SlotKind(int index) const { return slots_.at(static_cast<size_t>(index)).kind; }

protected:
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void Click() override;

    void Draw(TMessage& Message);
    void MEraseBackground(TMessage& Message);
    void MEnter(TMessage& Message);
    void MLeave(TMessage& Message);

private:
    struct Slot {
        int kind = KindPicture;
        std::unique_ptr<TPicture> picture;
        std::unique_ptr<PxImage> image;
    };

    void SetPicture(AnsiString& storedName, const AnsiString& fileName, int index, bool repaint);
    void SetFontInto(TFont* own, const TFont* font);
    void PaintPlainPanel();
    void DrawText(int state);

    tikora::controls::HoverTracker tracker_;
    AnsiString picOnMouseMove_, picOnMouseDown_, picOnIdle_, picOnDisabled_, picOnChecked_;
    TColor bkColor_ = clBlack;
    AnsiString text_;
    int textMarginX_ = 0, textMoveX_ = 0, textMoveY_ = 0, textMarginY_ = 0;
    bool textMarginOn_ = false;
    std::unique_ptr<TFont> fontOnIdle_, fontOnDisabled_, fontOnMouseMove_, fontOnMouseDown_, fontOnChecked_;
    bool checked_ = false;
    bool useAlpha_ = false;
    std::array<Slot, 5> slots_;
    int state_ = -1;
    // Setters move the state away from -1 while a form is being set up, so Loaded keeps its own
    // record of having run.
    bool loaded_ = false;
    TImage* backgroundImage_ = nullptr;
};
