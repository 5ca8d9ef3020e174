#pragma once
// The standard controls. Edits, lists, check boxes and buttons are Qt's own widgets behind the
// class library's properties and events; labels and speed buttons are graphic controls.
#include <algorithm>

#include "Controls.h"

using TModalResult = int;

class TLabel : public TGraphicControl {
public:
    explicit TLabel(TComponent* AOwner);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v) {
        autoSize_ = v;
        AdjustSize();
    }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v) {
        transparent_ = v;
        Invalidate();
    }
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool v) {
        wordWrap_ = v;
        AdjustSize();
    }

protected:
    void Paint() override;
    void TextChanged() override;

private:
    void AdjustSize();
    bool autoSize_ = true, transparent_ = false, wordWrap_ = false;
};

// A control over a Qt widget that Qt draws; it keeps the class library's key events.
class TWidgetControl : public TWinControl {
public:
    using TWinControl::TWinControl;
    TNotifyEvent OnChange;

protected:
    // Raised for changes by the user, and for those made in code where the class library does.
    void Change() {
        if (OnChange) OnChange(this);
    }
};

class TEdit : public TWidgetControl {
public:
    explicit TEdit(TComponent* AOwner);
    AnsiString GetControlText() const override;
    void SetControlText(const AnsiString& text) override;
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int n);
    bool ReadOnly() const;
    void SetReadOnly(bool v);
    void SelectAll();

private:
    int maxLength_ = 0;
};

class TMemo : public TWidgetControl {
public:
    explicit TMemo(TComponent* AOwner);
    ~TMemo() override;
    AnsiString GetControlText() const override;
    void SetControlText(const AnsiString& text) override;
    TStrings* Lines();
    void SetColor(TColor color) override;
    bool ReadOnly() const;
    void SetReadOnly(bool v);

private:
    // A live view of the memo's text, line by line.
    std::unique_ptr<TStrings> lines_;
};

class TButton : public TWidgetControl {
public:
    explicit TButton(TComponent* AOwner);
    void Click() override;
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult r) { modalResult_ = r; }
    bool Default() const { return default_; }
    void SetDefault(bool v) { default_ = v; }
    bool Cancel() const { return cancel_; }
    void SetCancel(bool v) { cancel_ = v; }

protected:
    void TextChanged() override;

private:
    TModalResult modalResult_ = 0;
    bool default_ = false, cancel_ = false;
};

class TCheckBox : public TWidgetControl {
public:
    explicit TCheckBox(TComponent* AOwner);
    bool Checked() const { return checked_; }
    void SetChecked(bool v);  // raises OnClick when the state changes, as the user's click does

protected:
    void TextChanged() override;

private:
    bool checked_ = false;
};

class TRadioButton : public TWidgetControl {
public:
    explicit TRadioButton(TComponent* AOwner);
    bool Checked() const { return checked_; }
    // Checking unchecks the siblings in the same parent; OnClick when it becomes checked.
    void SetChecked(bool v);

protected:
    void TextChanged() override;

private:
    bool checked_ = false;
};

class TGroupBox : public TCustomControl {
public:
    explicit TGroupBox(TComponent* AOwner);

protected:
    void Paint() override;
};

class TListBox : public TWidgetControl {
public:
    explicit TListBox(TComponent* AOwner);
    ~TListBox() override;
    TStrings* Items() { return items_.get(); }
    int ItemIndex() const;
    void SetItemIndex(int i);
    int Count() const { return items_->Count(); }

private:
    void Refill();
    void ItemsEdited(int at, int delta);
    std::unique_ptr<TStringList> items_;
    // While the items change, the selection as it follows inserted and deleted items.
    bool editing_ = false;
    int selection_ = -1;
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };

class TComboBox : public TWidgetControl {
public:
    explicit TComboBox(TComponent* AOwner);
    ~TComboBox() override;
    TStrings* Items() { return items_.get(); }
    int ItemIndex() const;
    void SetItemIndex(int i);  // never raises OnChange: that is for the user's choice
    AnsiString GetControlText() const override;
    void SetControlText(const AnsiString& text) override;
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle s);

private:
    void Refill();
    void ItemsEdited(int at, int delta);
    std::unique_ptr<TStringList> items_;
    TComboBoxStyle style_ = csDropDown;
    bool editing_ = false;
    int selection_ = -1;
};

enum TTrackBarOrientation { trHorizontal, trVertical };

class TTrackBar : public TWidgetControl {
public:
    explicit TTrackBar(TComponent* AOwner);
    int Position() const;
    void SetPosition(int p);  // OnChange when the position changes
    int Min() const;
    void SetMin(int v);
    int Max() const;
    void SetMax(int v);
    TTrackBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TTrackBarOrientation o);

private:
    TTrackBarOrientation orientation_ = trHorizontal;
};

class TSpeedButton : public TGraphicControl {
public:
    explicit TSpeedButton(TComponent* AOwner);
    bool Flat() const { return flat_; }
    void SetFlat(bool v) {
        flat_ = v;
        Invalidate();
    }
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

protected:
    void Paint() override;

private:
    bool flat_ = false;
    bool down_ = false;
};

// The sample spin edit: an edit with up and down arrows over an integer range. Equal limits
// (0 and 0 at first) mean no range at all; changing a limit does not raise OnChange.
class TCSpinEdit : public TWidgetControl {
public:
    explicit TCSpinEdit(TComponent* AOwner);
    int Value() const;
    void SetValue(int v);  // OnChange when the value changes
    int MinValue() const;
    void SetMinValue(int v);
    int MaxValue() const;
    void SetMaxValue(int v);
    int Increment() const;
    void SetIncrement(int v);
    AnsiString GetControlText() const override;
    void SetControlText(const AnsiString& text) override;

private:
    int CheckValue(int v) const;
    void ApplyRange();
    int minValue_ = 0, maxValue_ = 0;
};
