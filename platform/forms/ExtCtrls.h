#pragma once
// Panels, images, timers and radio groups.
#include "StdCtrls.h"

class TCustomPanel : public TCustomControl {
public:
    explicit TCustomPanel(TComponent* AOwner);
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut b) {
        bevelOuter_ = b;
        Invalidate();
    }
    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut b) {
        bevelInner_ = b;
        Invalidate();
    }

protected:
    // The plain panel: the colour, the bevels and the caption centred in the font.
    void Paint() override;

private:
    TBevelCut bevelOuter_ = bvRaised;
    TBevelCut bevelInner_ = bvNone;
};

class TPanel : public TCustomPanel {
public:
    explicit TPanel(TComponent* AOwner) : TCustomPanel(AOwner) {}
};

class TImage : public TGraphicControl {
public:
    explicit TImage(TComponent* AOwner);
    ~TImage() override;
    TPicture* Picture() { return picture_.get(); }
    void SetPicture(const TPicture* p) {
        if (p) picture_->Assign(*p);
    }
    // The canvas of the picture's bitmap; an empty picture gets a bitmap of the image's size.
    TCanvas* Canvas();
    bool Stretch() const { return stretch_; }
    void SetStretch(bool v) {
        stretch_ = v;
        Invalidate();
    }
    bool Center() const { return center_; }
    void SetCenter(bool v) {
        center_ = v;
        Invalidate();
    }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v) {
        transparent_ = v;
        Invalidate();
    }

protected:
    void Paint() override;

private:
    std::unique_ptr<TPicture> picture_;
    bool stretch_ = false, center_ = false, transparent_ = false;
};

struct TimerImpl;

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v);  // the same value leaves a running timer alone
    UINT Interval() const { return interval_; }
    void SetInterval(UINT ms);  // a new value starts the period again
    void SetOnTimer(TNotifyEvent handler);
    const TNotifyEvent& OnTimer() const { return onTimer_; }
    // Runs the handler as a tick would (tests use it to stand in for waiting).
    void Fire();
    // How many times a period has been started (tests see restarts with it).
    unsigned StartCount() const { return starts_; }

private:
    void Update();
    std::unique_ptr<TimerImpl> impl_;
    bool enabled_ = true;
    UINT interval_ = 1000;
    unsigned starts_ = 0;
    TNotifyEvent onTimer_;
};

class TRadioGroup : public TGroupBox {
public:
    explicit TRadioGroup(TComponent* AOwner);
    ~TRadioGroup() override;
    TStrings* Items() { return items_.get(); }
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int i);
    int Columns() const { return columns_; }
    void SetColumns(int c) {
        columns_ = std::max(1, c);
        Arrange();
    }

protected:
    void Resize() override;

private:
    void Rebuild();
    void Arrange();
    std::unique_ptr<TStringList> items_;
    std::vector<TRadioButton*> buttons_;
    int itemIndex_ = -1;
    int columns_ = 1;
    bool updating_ = false;
};
