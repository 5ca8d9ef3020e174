#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include <climits>

#include "ExtCtrls.h"
#include "FormsPrivate.h"

namespace {
QString Q(const AnsiString& s) { return QString::fromLatin1(s.c_str()); }
AnsiString A(const QString& s) { return AnsiString(s.toLatin1().toStdString()); }
template <typename T>
T* W(const TWinControl* c) {
    return static_cast<T*>(c->Widget());
}

// The items of a list control: tells the control where items come and go before each change, so
// that the selection can follow its item as a list box's selection does.
class ListItems : public TStringList {
public:
    // at: the index; delta: +1 inserted, -1 deleted, 0 all removed.
    std::function<void(int at, int delta)> OnEdit;

    int AddObject(const AnsiString& s, TObject* obj) override {
        int at = Count();
        bool inserts = true;
        if (Sorted() && Find(s, at) && Duplicates() != dupAccept) inserts = false;
        if (inserts) Edit(at, 1);
        return TStringList::AddObject(s, obj);
    }
    void Insert(int index, const AnsiString& s) override {
        if (!Sorted() && index >= 0 && index <= Count()) Edit(index, 1);
        TStringList::Insert(index, s);
    }
    void Delete(int index) override {
        if (index >= 0 && index < Count()) Edit(index, -1);
        TStringList::Delete(index);
    }
    void Clear() override {
        if (Count() > 0) Edit(0, 0);
        TStringList::Clear();
    }

private:
    void Edit(int at, int delta) {
        if (OnEdit) OnEdit(at, delta);
    }
};

// The selection after an item is inserted or deleted (or all are removed).
int FollowSelection(int selection, int at, int delta) {
    if (delta == 0 || selection < 0) return -1;
    if (delta > 0) return at <= selection ? selection + 1 : selection;
    if (at == selection) return -1;
    return at < selection ? selection - 1 : selection;
}

// The memo's lines, read from and written to the memo's text each time.
class MemoLines : public TStrings {
public:
    explicit MemoLines(TMemo* memo) : memo_(memo) {}
    int Count() const override { return static_cast<int>(Read().size()); }
    const AnsiString& Strings(int index) const override {
        Read();
        if (index < 0 || index >= static_cast<int>(cache_.size()))
            throw EListError("List index out of bounds (" + std::to_string(index) + ")");
        return cache_[static_cast<size_t>(index)];
    }
    void SetStrings(int index, const AnsiString& s) override {
        std::vector<AnsiString> v = Checked(index, false);
        v[static_cast<size_t>(index)] = s;
        Write(v);
    }
    TObject* Objects(int) const override { return nullptr; }
    void SetObjects(int, TObject*) override {}
    int AddObject(const AnsiString& s, TObject*) override {
        std::vector<AnsiString> v = Read();
        v.push_back(s);
        Write(v);
        return static_cast<int>(v.size()) - 1;
    }
    void Insert(int index, const AnsiString& s) override {
        std::vector<AnsiString> v = Checked(index, true);
        v.insert(v.begin() + index, s);
        Write(v);
    }
    void Delete(int index) override {
        std::vector<AnsiString> v = Checked(index, false);
        v.erase(v.begin() + index);
        Write(v);
    }
    void Clear() override { Write({}); }
    void Assign(const TStrings& source) override {
        if (&source == this) return;
        std::vector<AnsiString> v;
        for (int i = 0; i < source.Count(); ++i) v.push_back(source.Strings(i));
        Write(v);
    }

private:
    // The lines of the text; a line break at the very end starts no further line.
    const std::vector<AnsiString>& Read() const {
        QString t = static_cast<QPlainTextEdit*>(memo_->Widget())->toPlainText();
        if (t != cacheText_ || !cacheValid_) {
            cacheText_ = t;
            cacheValid_ = true;
            cache_.clear();
            if (t.endsWith('\n')) t.chop(1);
            if (!cacheText_.isEmpty())
                for (const QString& line : t.split('\n')) cache_.push_back(A(line));
        }
        return cache_;
    }
    std::vector<AnsiString> Checked(int index, bool end) const {
        std::vector<AnsiString> v = Read();
        if (index < 0 || index > static_cast<int>(v.size()) || (!end && index == static_cast<int>(v.size())))
            throw EListError("List index out of bounds (" + std::to_string(index) + ")");
        return v;
    }
    void Write(const std::vector<AnsiString>& lines) {
        std::string text;
        for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i].str();
        memo_->SetText(AnsiString(text));
    }
    TMemo* memo_;
    mutable QString cacheText_;
    mutable bool cacheValid_ = false;
    mutable std::vector<AnsiString> cache_;
};
}  // namespace

// ---- TLabel

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) { SetBounds(0, 0, 65, 13); }

void TLabel::TextChanged() {
    AdjustSize();
    Invalidate();
}

void TLabel::AdjustSize() {
    if (!autoSize_ || wordWrap_) return;
    SIZE s = Canvas()->TextExtent(Caption());
    Canvas()->Font()->Assign(*Font());
    s = Canvas()->TextExtent(Caption().IsEmpty() ? AnsiString(" ") : Caption());
    SetBounds(Left(), Top(), s.cx, s.cy);
}

void TLabel::Paint() {
    TCanvas* c = Canvas();
    RECT r = ClientRect();
    if (!transparent_ && Color() != clNone) c->FillRect(r);
    // The text goes over whatever is there; under a clear brush FillRect draws nothing but puts
    // the label's font and colour into the DC.
    c->Brush()->SetStyle(bsClear);
    c->FillRect(r);
    HDC dc = c->Handle();
    SetBkMode(dc, TRANSPARENT);
    UINT fmt = (Alignment() == taCenter         ? DT_CENTER
                : Alignment() == taRightJustify ? DT_RIGHT
                                                : DT_LEFT) |
               (wordWrap_ ? DT_WORDBREAK : 0);
    if (!Enabled()) SetTextColor(dc, ColorToRGB(clGrayText));
    DrawTextA(dc, Caption().c_str(), Caption().Length(), &r, fmt);
}

// ---- TEdit

TEdit::TEdit(TComponent* AOwner) : TWidgetControl(AOwner) {
    auto* e = new QLineEdit();
    AdoptWidget(e);
    SetBounds(0, 0, 121, 21);
    QObject::connect(e, &QLineEdit::textChanged, [this](const QString&) { GuardedCall(this, [this] { Change(); }); });
}
AnsiString TEdit::GetControlText() const { return A(W<QLineEdit>(this)->text()); }
void TEdit::SetControlText(const AnsiString& text) {
    if (text == Text()) return;
    W<QLineEdit>(this)->setText(Q(text));  // the edit's OnChange follows, as for typing
}
void TEdit::SetMaxLength(int n) {
    maxLength_ = n;
    W<QLineEdit>(this)->setMaxLength(n > 0 ? n : 32767);
}
bool TEdit::ReadOnly() const { return W<QLineEdit>(this)->isReadOnly(); }
void TEdit::SetReadOnly(bool v) { W<QLineEdit>(this)->setReadOnly(v); }
void TEdit::SelectAll() { W<QLineEdit>(this)->selectAll(); }

// ---- TMemo

TMemo::TMemo(TComponent* AOwner) : TWidgetControl(AOwner), lines_(std::make_unique<MemoLines>(this)) {
    auto* e = new QPlainTextEdit();
    AdoptWidget(e);
    SetBounds(0, 0, 185, 89);
    QObject::connect(e, &QPlainTextEdit::textChanged, [this] { GuardedCall(this, [this] { Change(); }); });
}
TMemo::~TMemo() = default;
AnsiString TMemo::GetControlText() const {
    // Lines end in CR LF, as the class library's memo gives them.
    QString t = W<QPlainTextEdit>(this)->toPlainText();
    t.replace("\n", "\r\n");
    return A(t);
}
void TMemo::SetControlText(const AnsiString& text) {
    QString t = Q(text);
    t.replace("\r\n", "\n");
    if (t == W<QPlainTextEdit>(this)->toPlainText()) return;
    W<QPlainTextEdit>(this)->setPlainText(t);
}
TStrings* TMemo::Lines() { return lines_.get(); }
void TMemo::SetColor(TColor color) {
    TWidgetControl::SetColor(color);
    COLORREF c = ColorToRGB(color);
    W<QPlainTextEdit>(this)->setStyleSheet(
        QString("QPlainTextEdit { background-color: #%1; }")
            .arg(QString::number(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF), 16).rightJustified(6, '0')));
}
bool TMemo::ReadOnly() const { return W<QPlainTextEdit>(this)->isReadOnly(); }
void TMemo::SetReadOnly(bool v) { W<QPlainTextEdit>(this)->setReadOnly(v); }

// ---- TButton

TButton::TButton(TComponent* AOwner) : TWidgetControl(AOwner) {
    auto* b = new QPushButton();
    AdoptWidget(b);
    SetBounds(0, 0, 75, 25);
    QObject::connect(b, &QPushButton::clicked, [this] { GuardedCall(this, [this] { Click(); }); });
}
void TButton::TextChanged() { W<QPushButton>(this)->setText(Q(Caption())); }
void TButton::Click() {
    if (modalResult_ != 0)
        if (TForm* f = tikora::forms::ParentForm(this)) f->SetModalResult(modalResult_);
    TWidgetControl::Click();
}

// ---- TCheckBox, TRadioButton

TCheckBox::TCheckBox(TComponent* AOwner) : TWidgetControl(AOwner) {
    auto* b = new QCheckBox();
    AdoptWidget(b);
    SetBounds(0, 0, 97, 17);
    QObject::connect(b, &QCheckBox::clicked, [this](bool on) { GuardedCall(this, [this, on] { SetChecked(on); }); });
}
void TCheckBox::TextChanged() { W<QCheckBox>(this)->setText(Q(Caption())); }
void TCheckBox::SetChecked(bool v) {
    if (v == checked_) return;
    checked_ = v;
    {
        QSignalBlocker block(Widget());
        W<QCheckBox>(this)->setChecked(v);
    }
    Click();
}

TRadioButton::TRadioButton(TComponent* AOwner) : TWidgetControl(AOwner) {
    auto* b = new QRadioButton();
    b->setAutoExclusive(false);  // the siblings are unchecked by SetChecked
    AdoptWidget(b);
    SetBounds(0, 0, 113, 17);
    QObject::connect(b, &QRadioButton::clicked, [this](bool) { GuardedCall(this, [this] { SetChecked(true); }); });
}
void TRadioButton::TextChanged() { W<QRadioButton>(this)->setText(Q(Caption())); }
void TRadioButton::SetChecked(bool v) {
    {
        QSignalBlocker block(Widget());
        W<QRadioButton>(this)->setChecked(v);
    }
    if (v == checked_) return;
    checked_ = v;
    if (!v) return;
    if (TWinControl* p = Parent()) {
        for (int i = 0; i < p->ControlCount(); ++i)
            if (auto* r = dynamic_cast<TRadioButton*>(p->Controls(i)); r && r != this) r->SetChecked(false);
    }
    Click();
}

// ---- TGroupBox

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) { SetBounds(0, 0, 185, 105); }

void TGroupBox::Paint() {
    TCanvas* c = Canvas();
    int th = c->TextHeight("0");
    c->Pen()->SetColor(clBtnShadow);
    c->Brush()->SetStyle(bsClear);
    c->Rectangle(0, th / 2, Width(), Height());
    if (!Caption().IsEmpty()) {
        c->Brush()->SetColor(Color());
        c->TextOut(8, 0, Caption());
    }
}

// ---- TListBox

TListBox::TListBox(TComponent* AOwner) : TWidgetControl(AOwner), items_(std::make_unique<ListItems>()) {
    auto* l = new QListWidget();
    AdoptWidget(l);
    SetBounds(0, 0, 121, 97);
    static_cast<ListItems*>(items_.get())->OnEdit = [this](int at, int delta) { ItemsEdited(at, delta); };
    items_->OnChange = [this](TObject*) { Refill(); };
    QObject::connect(l, &QListWidget::itemClicked,
                     [this](QListWidgetItem*) { GuardedCall(this, [this] { Click(); }); });
    QObject::connect(l, &QListWidget::itemDoubleClicked,
                     [this](QListWidgetItem*) { GuardedCall(this, [this] { DblClick(); }); });
}
TListBox::~TListBox() { items_->OnChange = nullptr; }
void TListBox::ItemsEdited(int at, int delta) {
    if (!editing_) selection_ = ItemIndex();
    editing_ = true;
    selection_ = FollowSelection(selection_, at, delta);
}
void TListBox::Refill() {
    auto* l = W<QListWidget>(this);
    int keep = editing_ ? selection_ : ItemIndex();
    editing_ = false;
    {
        QSignalBlocker block(l);
        l->clear();
        for (int i = 0; i < items_->Count(); ++i) l->addItem(Q(items_->Strings(i)));
    }
    SetItemIndex(keep);
}
int TListBox::ItemIndex() const {
    auto* l = W<QListWidget>(this);
    return l->currentItem() && l->currentItem()->isSelected() ? l->currentRow() : -1;
}
void TListBox::SetItemIndex(int i) {
    auto* l = W<QListWidget>(this);
    QSignalBlocker block(l);
    if (i < 0 || i >= l->count()) {
        l->setCurrentRow(-1);
        l->clearSelection();
    } else {
        l->setCurrentRow(i);
    }
}

// ---- TComboBox

TComboBox::TComboBox(TComponent* AOwner) : TWidgetControl(AOwner), items_(std::make_unique<ListItems>()) {
    auto* c = new QComboBox();
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    AdoptWidget(c);
    SetBounds(0, 0, 145, 21);
    static_cast<ListItems*>(items_.get())->OnEdit = [this](int at, int delta) { ItemsEdited(at, delta); };
    items_->OnChange = [this](TObject*) { Refill(); };
    // Only the user's choice raises OnChange; setting ItemIndex in code does not.
    QObject::connect(c, QOverload<int>::of(&QComboBox::activated),
                     [this](int) { GuardedCall(this, [this] { Change(); }); });
}
TComboBox::~TComboBox() { items_->OnChange = nullptr; }
void TComboBox::ItemsEdited(int at, int delta) {
    if (!editing_) selection_ = ItemIndex();
    editing_ = true;
    selection_ = FollowSelection(selection_, at, delta);
}
void TComboBox::Refill() {
    auto* c = W<QComboBox>(this);
    QSignalBlocker block(c);
    int keep = editing_ ? selection_ : ItemIndex();
    editing_ = false;
    QString text = c->currentText();
    c->clear();
    for (int i = 0; i < items_->Count(); ++i) c->addItem(Q(items_->Strings(i)));
    c->setCurrentIndex(keep >= 0 && keep < c->count() ? keep : -1);
    // Without a selection an edit keeps the text typed in it.
    if (c->currentIndex() < 0 && style_ != csDropDownList) c->setEditText(text);
}
int TComboBox::ItemIndex() const { return W<QComboBox>(this)->currentIndex(); }
void TComboBox::SetItemIndex(int i) {
    auto* c = W<QComboBox>(this);
    QSignalBlocker block(c);
    c->setCurrentIndex(i >= 0 && i < c->count() ? i : -1);
    if (i < 0 && style_ != csDropDownList) c->setEditText(QString());
}
AnsiString TComboBox::GetControlText() const { return A(W<QComboBox>(this)->currentText()); }
void TComboBox::SetControlText(const AnsiString& text) {
    auto* c = W<QComboBox>(this);
    QSignalBlocker block(c);
    int i = c->findText(Q(text));
    if (style_ == csDropDownList)
        c->setCurrentIndex(i);
    else
        c->setEditText(Q(text));
}
void TComboBox::SetStyle(TComboBoxStyle s) {
    style_ = s;
    W<QComboBox>(this)->setEditable(s != csDropDownList);
}

// ---- TTrackBar

TTrackBar::TTrackBar(TComponent* AOwner) : TWidgetControl(AOwner) {
    auto* s = new QSlider(Qt::Horizontal);
    s->setRange(0, 10);
    AdoptWidget(s);
    SetBounds(0, 0, 150, 45);
    QObject::connect(s, &QSlider::valueChanged, [this](int) { GuardedCall(this, [this] { Change(); }); });
}
int TTrackBar::Position() const { return W<QSlider>(this)->value(); }
void TTrackBar::SetPosition(int p) { W<QSlider>(this)->setValue(p); }
int TTrackBar::Min() const { return W<QSlider>(this)->minimum(); }
void TTrackBar::SetMin(int v) { W<QSlider>(this)->setMinimum(v); }
int TTrackBar::Max() const { return W<QSlider>(this)->maximum(); }
void TTrackBar::SetMax(int v) { W<QSlider>(this)->setMaximum(v); }
void TTrackBar::SetOrientation(TTrackBarOrientation o) {
    orientation_ = o;
    W<QSlider>(this)->setOrientation(o == trHorizontal ? Qt::Horizontal : Qt::Vertical);
}

// ---- TSpeedButton

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner) { SetBounds(0, 0, 23, 22); }

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) {
        down_ = true;
        Invalidate();
    }
    TGraphicControl::MouseDown(Button, Shift, X, Y);
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == mbLeft) {
        down_ = false;
        Invalidate();
    }
    TGraphicControl::MouseUp(Button, Shift, X, Y);
}

void TSpeedButton::Paint() {
    TCanvas* c = Canvas();
    RECT r = ClientRect();
    c->Brush()->SetColor(clBtnFace);
    c->FillRect(r);
    if (!flat_ || down_) {
        c->Pen()->SetColor(down_ ? clBtnShadow : clBtnHighlight);
        c->MoveTo(0, Height() - 1);
        c->LineTo(0, 0);
        c->LineTo(Width() - 1, 0);
        c->Pen()->SetColor(down_ ? clBtnHighlight : clBtnShadow);
        c->LineTo(Width() - 1, Height() - 1);
        c->LineTo(0, Height() - 1);
    }
    HDC dc = c->Handle();
    SetBkMode(dc, TRANSPARENT);
    if (down_) OffsetRect(&r, 1, 1);
    DrawTextA(dc, Caption().c_str(), Caption().Length(), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// ---- TCSpinEdit

TCSpinEdit::TCSpinEdit(TComponent* AOwner) : TWidgetControl(AOwner) {
    auto* s = new QSpinBox();
    s->setRange(INT_MIN, INT_MAX);
    AdoptWidget(s);
    SetBounds(0, 0, 121, 22);
    QObject::connect(s, QOverload<int>::of(&QSpinBox::valueChanged),
                     [this](int) { GuardedCall(this, [this] { Change(); }); });
}
int TCSpinEdit::CheckValue(int v) const {
    if (minValue_ == maxValue_) return v;
    if (v < minValue_) return minValue_;
    if (v > maxValue_) return maxValue_;
    return v;
}
void TCSpinEdit::ApplyRange() {
    auto* s = W<QSpinBox>(this);
    QSignalBlocker block(s);
    if (minValue_ == maxValue_)
        s->setRange(INT_MIN, INT_MAX);
    else
        s->setRange(std::min(minValue_, maxValue_), std::max(minValue_, maxValue_));
}
int TCSpinEdit::Value() const { return CheckValue(W<QSpinBox>(this)->value()); }
void TCSpinEdit::SetValue(int v) { W<QSpinBox>(this)->setValue(CheckValue(v)); }
int TCSpinEdit::MinValue() const { return minValue_; }
void TCSpinEdit::SetMinValue(int v) {
    minValue_ = v;
    ApplyRange();
}
int TCSpinEdit::MaxValue() const { return maxValue_; }
void TCSpinEdit::SetMaxValue(int v) {
    maxValue_ = v;
    ApplyRange();
}
int TCSpinEdit::Increment() const { return W<QSpinBox>(this)->singleStep(); }
void TCSpinEdit::SetIncrement(int v) { W<QSpinBox>(this)->setSingleStep(v); }
AnsiString TCSpinEdit::GetControlText() const { return AnsiString(Value()); }
void TCSpinEdit::SetControlText(const AnsiString& text) { SetValue(text.ToIntDef(Value())); }

// ---- TCustomPanel

TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
    controlStyle_ =
        TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csOpaque, csDoubleClicks};
    SetBounds(0, 0, 185, 41);
    SetAlignment(taCenter);
}

void TCustomPanel::Paint() {
    TCanvas* c = Canvas();
    RECT r = ClientRect();
    c->Brush()->SetColor(Color());
    c->FillRect(r);
    auto bevel = [&](TBevelCut cut) {
        if (cut == bvNone) return;
        TColor tl = cut == bvLowered ? clBtnShadow : clBtnHighlight;
        TColor br = cut == bvLowered ? clBtnHighlight : clBtnShadow;
        c->Pen()->SetColor(tl);
        c->MoveTo(r.left, r.bottom - 1);
        c->LineTo(r.left, r.top);
        c->LineTo(r.right - 1, r.top);
        c->Pen()->SetColor(br);
        c->LineTo(r.right - 1, r.bottom - 1);
        c->LineTo(r.left, r.bottom - 1);
        InflateRect(&r, -1, -1);
    };
    bevel(bevelOuter_);
    bevel(bevelInner_);
    if (!Caption().IsEmpty()) {
        HDC dc = c->Handle();
        SetBkMode(dc, TRANSPARENT);
        UINT fmt = DT_VCENTER | DT_SINGLELINE |
                   (Alignment() == taCenter         ? DT_CENTER
                    : Alignment() == taRightJustify ? DT_RIGHT
                                                    : DT_LEFT);
        DrawTextA(dc, Caption().c_str(), Caption().Length(), &r, fmt);
    }
}

// ---- TImage

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), picture_(std::make_unique<TPicture>()) {
    SetBounds(0, 0, 105, 105);
    picture_->OnChange = [this](TObject*) { Invalidate(); };
}
TImage::~TImage() { picture_->OnChange = nullptr; }

TCanvas* TImage::Canvas() {
    TBitmap* b = picture_->Bitmap();
    if (b->Empty()) {
        b->SetPixelFormat(pf32bit);
        b->SetSize(Width(), Height());
    }
    return b->Canvas();
}

void TImage::Paint() {
    TGraphic* g = picture_->Graphic();
    if (!g || g->Empty()) return;
    TCanvas* c = TGraphicControl::Canvas();
    bool wasTransparent = g->Transparent();
    g->SetTransparent(transparent_);
    if (stretch_)
        c->StretchDraw(ClientRect(), g);
    else if (center_)
        c->Draw((Width() - g->Width()) / 2, (Height() - g->Height()) / 2, g);
    else
        c->Draw(0, 0, g);
    g->SetTransparent(wasTransparent);
}

// ---- TTimer

struct TimerImpl {
    QTimer timer;
};

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner), impl_(std::make_unique<TimerImpl>()) {
    tikora::forms::EnsureApplication();
    QObject::connect(&impl_->timer, &QTimer::timeout, [this] { Fire(); });
}
TTimer::~TTimer() = default;

void TTimer::Fire() {
    if (onTimer_) GuardedCall(this, [this] { onTimer_(this); });
}

void TTimer::Update() {
    impl_->timer.stop();
    if (enabled_ && interval_ > 0 && onTimer_) {
        impl_->timer.start(static_cast<int>(interval_));
        ++starts_;
    }
}

void TTimer::SetEnabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    Update();
}

void TTimer::SetInterval(UINT ms) {
    if (ms == interval_) return;
    interval_ = ms;
    Update();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
    onTimer_ = std::move(handler);
    Update();
}

// ---- TRadioGroup

TRadioGroup::TRadioGroup(TComponent* AOwner) : TGroupBox(AOwner), items_(std::make_unique<TStringList>()) {
    items_->OnChange = [this](TObject*) { Rebuild(); };
}
TRadioGroup::~TRadioGroup() { items_->OnChange = nullptr; }

void TRadioGroup::Rebuild() {
    for (TRadioButton* b : buttons_) delete b;
    buttons_.clear();
    for (int i = 0; i < items_->Count(); ++i) {
        auto* b = new TRadioButton(nullptr);
        b->SetCaption(items_->Strings(i));
        b->SetParent(this);
        b->OnClick = [this, i](TObject*) {
            if (updating_) return;
            itemIndex_ = i;
            Click();
        };
        buttons_.push_back(b);
    }
    if (itemIndex_ >= items_->Count()) itemIndex_ = -1;
    SetItemIndex(itemIndex_);
    Arrange();
}

void TRadioGroup::Arrange() {
    if (buttons_.empty()) return;
    int rows = (static_cast<int>(buttons_.size()) + columns_ - 1) / columns_;
    int top = 16, h = std::max(1, (Height() - top - 4) / std::max(1, rows));
    int w = (Width() - 16) / columns_;
    for (size_t i = 0; i < buttons_.size(); ++i) {
        int col = static_cast<int>(i) / rows, row = static_cast<int>(i) % rows;
        buttons_[i]->SetBounds(8 + col * w, top + row * h, w, std::min(h, 17));
    }
}

void TRadioGroup::Resize() {
    Arrange();
    TGroupBox::Resize();
}

void TRadioGroup::SetItemIndex(int i) {
    // An index past the last item selects the last one.
    itemIndex_ = std::clamp(i, -1, static_cast<int>(buttons_.size()) - 1);
    updating_ = true;
    for (size_t k = 0; k < buttons_.size(); ++k) buttons_[k]->SetChecked(static_cast<int>(k) == itemIndex_);
    updating_ = false;
}
