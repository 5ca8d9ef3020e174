#pragma once
// The tempo calculator: number of bars, duration and tempo of a practice run, each from the other
// two. Its fields are also the values of the stop-after-bars tool, so they outlive the dialog.
#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

// What a run's arithmetic depends on besides the three fields: the beats per bar and the tempo
// ramp of the practice panel (a step of RampStep bpm every RampBars bars).
struct TTempoRun {
    int BeatsPerBar = 4;
    bool Ramp = false;
    int RampBars = 1;
    int RampStep = 0;

    // Whole bars that fit into the minutes, starting at the tempo.
    int Bars(double minutes, int tempo) const;
    // Minutes that the bars take, starting at the tempo.
    double Minutes(int bars, int tempo) const;
    // The starting tempo at which the bars take the minutes (minutes > 0).
    double Tempo(int bars, double minutes) const;
};

class TTempoCalculator : public TForm {
public:
    explicit TTempoCalculator(TComponent* Owner);

    TRadioButton* NumberOfBars;
    TRadioButton* Duration;
    TRadioButton* Tempo;
    TCSpinEdit* NumberOfBarVal;
    TCSpinEdit* DurationMin;
    TCSpinEdit* DurationSec;
    TCSpinEdit* TempoVal;
    TLabel* Label1;  // the colon between minutes and seconds
    TLabel* Less40;
    TButton* Button1;  // OK
    TButton* Button2;  // Cancel
    TTimer* Timer1;

    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormKeyPress(TObject* Sender, char& Key);
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
    void NumberOfBarsClick(TObject* Sender);
    void DurationClick(TObject* Sender);
    void TempoClick(TObject* Sender);
    void NumberOfBarValChange(TObject* Sender);
    void Timer1Timer(TObject* Sender);

private:
    // The time signature and ramp now in force in the main window.
    TTempoRun CurrentRun() const;
    void ComputeBars();
    void ComputeDuration();
    void ComputeTempo();
    void EnableFields();
};

extern TTempoCalculator* TempoCalculator;
