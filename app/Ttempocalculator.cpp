#include "Ttempocalculator.h"

#include <algorithm>
#include <cmath>

#include "SysUtils.h"
#include "Tmainform.h"
#include "Tmetronomgame.h"

TTempoCalculator* TempoCalculator = nullptr;

namespace {
constexpr int kMinTempo = 40;
constexpr int kMaxTempo = 500;

// The metronome keeps a ramped tempo within its range, so the calculator counts with the tempo
// that is really played; an unbounded falling ramp would also reach 0 bpm and never end a bar.
double NextStep(double tempo, int step) {
    return std::clamp(tempo + step, static_cast<double>(kMinTempo), static_cast<double>(kMaxTempo));
}

// The fields hold whole numbers, and a result that is exact in decimals (1.2 minutes, 253 bars)
// comes out of binary arithmetic a hair below or above it: a value within the tolerance of a whole
// number is that number; anything else is truncated.
constexpr double kTolerance = 1e-6;

int Trunc(double v) {
    v = std::clamp(v, -1e9, 1e9);
    const double nearest = std::round(v);
    return static_cast<int>(std::abs(v - nearest) < kTolerance ? nearest : v);
}
}  // namespace

int TTempoRun::Bars(double minutes, int tempo) const {
    const int n = std::max(BeatsPerBar, 1);
    double t = std::clamp(tempo, kMinTempo, kMaxTempo);
    if (!Ramp) return Trunc(t * minutes / n);
    const int k = std::max(RampBars, 1);
    int bars = 0;
    // Counts the bars that end within the minutes, as without a ramp. Every bar takes at least
    // n / 500 minutes, so the loop ends.
    for (double d = minutes - n / t; d > -kTolerance; d -= n / t) {
        ++bars;
        if (bars % k == 0) t = NextStep(t, RampStep);
    }
    return bars;
}

double TTempoRun::Minutes(int bars, int tempo) const {
    const int n = std::max(BeatsPerBar, 1);
    double t = std::clamp(tempo, kMinTempo, kMaxTempo);
    if (!Ramp) return static_cast<double>(bars) * n / t;
    const int k = std::max(RampBars, 1);
    double d = 0;
    for (int i = 1; i <= bars; ++i) {
        d += n / t;
        if (i % k == 0) t = NextStep(t, RampStep);
    }
    return d;
}

double TTempoRun::Tempo(int bars, double minutes) const {
    const int n = std::max(BeatsPerBar, 1);
    const double plain = static_cast<double>(bars) * n / minutes;
    if (!Ramp) return plain;
    const int k = std::max(RampBars, 1);
    const int steps = (bars * n) / (n * k);
    // Fewer bars than one step: the ramp never starts.
    if (steps <= 0) return plain;
    const double stepSum = static_cast<double>(steps) * (steps - 1) / 2;
    return plain - RampStep * stepSum / steps;
}

TTempoCalculator::TTempoCalculator(TComponent* Owner) : TForm(Owner) {
    SetName("TempoCalculator");
    SetCaption("Tempo calculator");
    SetBorderStyle(bsDialog);
    SetKeyPreview(true);
    SetBounds(300, 220, 290, 150);

    auto radio = [this](TRadioButton*& field, const char* name, const char* caption, int top,
                        void (TTempoCalculator::*handler)(TObject*)) {
        field = new TRadioButton(this);
        field->SetName(name);
        field->SetParent(this);
        field->SetBounds(8, top, 130, 17);
        field->SetCaption(caption);
        return [this, field, handler] { field->OnClick = [this, handler](TObject* s) { (this->*handler)(s); }; };
    };
    auto spin = [this](TCSpinEdit*& field, const char* name, int left, int top, int width, int min, int max,
                       int value) {
        field = new TCSpinEdit(this);
        field->SetName(name);
        field->SetParent(this);
        field->SetBounds(left, top, width, 22);
        field->SetMinValue(min);
        field->SetMaxValue(max);
        field->SetValue(value);
    };

    spin(NumberOfBarVal, "NumberOfBarVal", 146, 8, 64, 0, 999, 10);
    spin(DurationMin, "DurationMin", 146, 40, 56, 0, 999, 0);
    spin(DurationSec, "DurationSec", 216, 40, 56, 0, 59, 0);
    spin(TempoVal, "TempoVal", 146, 72, 64, kMinTempo, kMaxTempo, kMinTempo);
    auto bindBars = radio(NumberOfBars, "NumberOfBars", "Number of bars", 10, &TTempoCalculator::NumberOfBarsClick);
    auto bindDuration = radio(Duration, "Duration", "Duration (min:sec)", 42, &TTempoCalculator::DurationClick);
    auto bindTempo = radio(Tempo, "Tempo", "Tempo", 74, &TTempoCalculator::TempoClick);
    // The layout's checked button is a state, not a user's click: nothing is computed yet.
    Duration->SetChecked(true);
    bindBars();
    bindDuration();
    bindTempo();
    for (TCSpinEdit* field : {NumberOfBarVal, DurationMin, DurationSec, TempoVal})
        field->OnChange = [this](TObject* s) { NumberOfBarValChange(s); };

    Label1 = new TLabel(this);
    Label1->SetName("Label1");
    Label1->SetParent(this);
    Label1->SetBounds(206, 44, 8, 13);
    Label1->SetCaption(":");

    Less40 = new TLabel(this);
    Less40->SetName("Less40");
    Less40->SetParent(this);
    Less40->SetBounds(216, 76, 50, 13);
    Less40->SetCaption(" < 40");
    Less40->SetVisible(false);

    Button1 = new TButton(this);
    Button1->SetName("Button1");
    Button1->SetParent(this);
    Button1->SetBounds(122, 116, 75, 25);
    Button1->SetCaption("OK");
    Button1->SetDefault(true);
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };

    Button2 = new TButton(this);
    Button2->SetName("Button2");
    Button2->SetParent(this);
    Button2->SetBounds(205, 116, 75, 25);
    Button2->SetCaption("Cancel");
    Button2->SetCancel(true);
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };

    Timer1 = new TTimer(this);
    Timer1->SetName("Timer1");
    Timer1->SetEnabled(false);
    Timer1->SetInterval(200);
    Timer1->SetOnTimer([this](TObject* s) { Timer1Timer(s); });

    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    OnKeyPress = [this](TObject* s, char& k) { FormKeyPress(s, k); };
}

void TTempoCalculator::FormCreate(TObject*) {
    Less40->SetCaption(" < " + IntToStr(kMinTempo));
    Less40->SetVisible(false);
}

void TTempoCalculator::FormShow(TObject*) {
    SetTag(1);
    Timer1Timer(Timer1);
    EnableFields();
}

void TTempoCalculator::FormKeyPress(TObject*, char& Key) {
    if (Key == 27) {
        Key = 0;
        Button2Click(Button2);
    }
}

void TTempoCalculator::Button1Click(TObject*) { SetModalResult(mrOk); }

void TTempoCalculator::Button2Click(TObject*) { SetModalResult(mrCancel); }

void TTempoCalculator::NumberOfBarsClick(TObject*) {
    EnableFields();
    ComputeBars();
}

void TTempoCalculator::DurationClick(TObject*) {
    EnableFields();
    ComputeDuration();
}

void TTempoCalculator::TempoClick(TObject*) {
    EnableFields();
    ComputeTempo();
}

void TTempoCalculator::NumberOfBarValChange(TObject*) { Timer1->SetEnabled(true); }

void TTempoCalculator::Timer1Timer(TObject*) {
    Timer1->SetEnabled(false);
    if (Tag() != 1) return;
    if (NumberOfBars->Checked())
        ComputeBars();
    else if (Duration->Checked())
        ComputeDuration();
    else if (Tempo->Checked())
        ComputeTempo();
}

TTempoRun TTempoCalculator::CurrentRun() const {
    TTempoRun run;
    if (!MainForm) return run;
    if (TMetronomeGame* engine = MainForm->Engine()) run.BeatsPerBar = std::max(engine->Numerator, 1);
    if (MainForm->CheckBox2 && MainForm->Tool2_Bars && MainForm->Tool2_BPM_delta) {
        run.Ramp = MainForm->CheckBox2->Checked();
        run.RampBars = std::max(StrToIntDef(MainForm->Tool2_Bars->Caption().Trim(), 1), 1);
        run.RampStep = StrToIntDef(MainForm->Tool2_BPM_delta->Caption().Trim(), 1);
    }
    return run;
}

void TTempoCalculator::ComputeBars() {
    const double minutes = DurationMin->Value() + DurationSec->Value() / 60.0;
    NumberOfBarVal->SetValue(CurrentRun().Bars(minutes, TempoVal->Value()));
}

void TTempoCalculator::ComputeDuration() {
    const int seconds = Trunc(CurrentRun().Minutes(NumberOfBarVal->Value(), TempoVal->Value()) * 60);
    DurationMin->SetValue(seconds / 60);
    DurationSec->SetValue(seconds % 60);
}

void TTempoCalculator::ComputeTempo() {
    const double minutes = DurationMin->Value() + DurationSec->Value() / 60.0;
    if (minutes == 0) {
        MessageBeep(0);
        return;
    }
    const int tempo = Trunc(CurrentRun().Tempo(NumberOfBarVal->Value(), minutes));
    Less40->SetVisible(tempo < kMinTempo);
    TempoVal->SetValue(tempo);
}

void TTempoCalculator::EnableFields() {
    DurationMin->SetEnabled(!Duration->Checked());
    DurationSec->SetEnabled(!Duration->Checked());
    NumberOfBarVal->SetEnabled(!NumberOfBars->Checked());
    TempoVal->SetEnabled(!Tempo->Checked());
}
