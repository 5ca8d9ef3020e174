#pragma once
// The metronome engine: tempo, time signature and accent pattern, the three click sounds, the click
// track handed to the Player (with the marker controllers the main window follows), the practice
// tools, the pendulum's motion and the engine's settings files. User-interface thread only.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "AnsiString.h"
#include "Classes.h"
#include "MIDIData.h"
#include "Tdevelopervariables.h"
#include "WinTypes.h"

class Player;
class TMetronomeGame;

// Everything the engine needs from the settings window while it runs: the click sounds' controls,
// the latency and pendulum options, and the user-facing beep and message box. The settings window
// implements it; tests use a fake. `kind` is 0 for the bar sound, 1 for the beat, 2 for the sub-beat
// (the controls with the prefixes Bar, Beats and Sub).
class TEngineHost {
public:
    virtual ~TEngineHost() = default;
    virtual bool ClickUseMidi(int kind) = 0;  // the MIDI radio button is checked
    virtual AnsiString ClickWaveFile(int kind) = 0;
    virtual int ClickVolume(int kind) = 0;
    virtual int ClickPan(int kind) = 0;
    virtual int ClickPatchIndex(int kind) = 0;  // row of the drum table chosen in the patch list
    virtual int Latency() = 0;                  // the `Latency` spin edit, ms
    virtual bool MClickBorder() = 0;            // clicks at the end of the swing, not in the middle
    virtual int MClickLatency() = 0;            // the `MClickLatency` spin edit, ms
    virtual void MessageBeep(UINT type) = 0;
    virtual void ShowMessage(const AnsiString& text) = 0;
};

// The latency in ms of MIDI output device `device` (0: the built-in synthesizer) whose stored
// "Latency[#]" is `stored`. The shipped -1 stands for what the sound path itself adds: for the
// built-in synthesizer, and the wave clicks in the same stream, the fixed scheduling latency plus
// the output device's buffer; for an external port 0, since its own delay is not known here.
int LatencyForDevice(int stored, int device);

// Until a settings window is attached the engine reads the same values from what that window would
// show: the preset "default" and the options stored under tag "SettingsDialog". Messages are kept,
// not shown.
class TSettingsFileHost : public TEngineHost {
public:
    explicit TSettingsFileHost(TMetronomeGame* engine) : engine_(engine) {}
    bool ClickUseMidi(int kind) override;
    AnsiString ClickWaveFile(int kind) override;
    int ClickVolume(int kind) override;
    int ClickPan(int kind) override;
    int ClickPatchIndex(int kind) override;
    int Latency() override;
    bool MClickBorder() override;
    int MClickLatency() override;
    void MessageBeep(UINT) override { ++Beeps; }
    void ShowMessage(const AnsiString& text) override { Messages.push_back(text); }

    int Beeps = 0;
    std::vector<AnsiString> Messages;

private:
    AnsiString SetPath(int kind, const char* key) const;
    TMetronomeGame* engine_;
};

// General MIDI percussion offered by the settings window's patch lists, in list order.
constexpr int kDrumCount = 25;
extern const std::array<int, kDrumCount> DrumNotes;
extern const std::array<const char*, kDrumCount> DrumNames;
// The drum table row of a name, -1 when the table has none.
int DrumIndexFromName(const AnsiString& name);

// Tempo names shown while the weight is dragged, each used up to its limit (the last above 230).
extern const std::array<const char*, 9> TempoNames;
extern const std::array<int, 8> TempoNameLimits;
extern const std::array<int, 9> DragTempoSteps;
int TempoNameIndex(int tempo);

// Marker controllers on channel index 9, the wire format between click track and main window.
enum : uint8_t {
    PanMarker = 97,
    BeatMarker = 98,
    WaveMarker = 99,
    TempoMarker = 100,  // 100..105: the tempo's hundreds; the value carries tempo mod 100
};

// One generated song.
class TMIDIContent {
public:
    TMIDIContent();
    // Kind 0 collects into Events; kind 1 inserts into the song's first track in tick order.
    void AddEvent(const MIDIEvent& event);

    uint8_t Kind = 0;
    AnsiString Name;
    std::vector<MIDIEvent> Events;
    MIDIData Song;
};

struct TEnginePoint {
    int32_t x = 0;
    int32_t y = 0;
};
struct TEngineRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};
using TQuad = std::array<TEnginePoint, 4>;

enum PlayState : uint8_t { psStopped = 0, psPaused = 1, psPlaying = 2 };

class TMetronomeGame {
public:
    struct TNoteSet {
        uint8_t UseMidi;
        int Patch;
        int Volume;
        int Pan;
        AnsiString WaveFile;
    };

    // Reads "Tikora.def" (must exist), "Tikora.ini" and "Tikora.tkra" from the working directory.
    // The program's engine plays through the program-wide `player`; tests hand in their own.
    TMetronomeGame();
    explicit TMetronomeGame(Player* sequencer);
    ~TMetronomeGame();
    TMetronomeGame(const TMetronomeGame&) = delete;
    TMetronomeGame& operator=(const TMetronomeGame&) = delete;

    // The settings window registers itself; nullptr goes back to the settings-file stand-in.
    void SetHost(TEngineHost* host);
    TEngineHost* GetHost() const { return Host; }
    Player* GetPlayer() const { return Sequencer; }

    // ---- tempo, time signature, click sounds, play state ----
    bool SetTempo(int tempo);
    bool SetTimeSignature(const AnsiString& text);
    // The parser behind SetTimeSignature; false leaves the outputs untouched.
    static bool ParseTimeSignature(const AnsiString& text, int& numerator, int& denominator,
                                   std::vector<uint8_t>& pattern);
    int ReadNoteSets();
    void Play();
    void Stop();
    void Pause();
    void Restart();

    // ---- click track and practice tools ----
    // `onFromEnd`: the track follows the one that just ended, on its grid.
    void BuildClickTrack(int startBeat, int silentBeats, uint32_t startTick, bool onFromEnd = false);
    // Sets the practice tools to their start; while playing (after a new meter) the track is
    // built again from that start.
    void PrepareTools();
    bool OnBeat(int beat);
    bool LoadMidiFile(const AnsiString& fileName, bool takeMeter);

    // ---- pendulum ----
    void SetPendulumTempo(int tempo);
    int GetPendulumTempo() const { return PendulumTempo; }
    bool SetDragTempo(int tempo);
    void UpdateAngularSpeed();
    void AdvanceTime(double ms);
    void ResetPhase(int parity);
    void ResetTimer() { PracticeTime = 0; }
    // Where the upright weight's top edge stands on a target of the given height (its row).
    int WeightTopY(int targetHeight) const;
    // The tempo read at a height y above the target's bottom edge: from 2 margins up the scale runs
    // from 210 down to 40 over the rod less 3 margins and the weight (not clamped below 40); each
    // pixel under it is the next of DragTempoSteps, up to 500.
    int TempoFromWeightY(int y) const;
    // The height to read for a weight whose top edge stands on a row of the target: the tempo the
    // weight is drawn for there.
    int WeightYAtTop(int targetHeight, int row) const;
    // Sizes of the rod and weight pictures; the skin's picture loading sets them.
    void SetPictureSizes(int pendulumWidth, int pendulumHeight, int weightWidth, int weightHeight);
    // Corners of rod and weight on a target of the given size, into PendulumQuad and WeightQuad.
    void ComputePendulumQuads(int targetWidth, int targetHeight);

    // ---- settings ----
    void ReadSettings();
    void WriteSettings();
    void SaveSettings();
    void SavePreset(const AnsiString& fileName);
    void LoadPreset(const AnsiString& fileName);
    void GetMemo(AnsiString& memo);
    void SetMemo(const AnsiString& text);
    int GetTimeSignatureList(TStrings* list);
    TDVContext* GetContext() const { return Context.get(); }
    TDVContext* GetSettingsTag() const { return SettingsTag; }
    TDVContext* GetSettingsDialogTag() const { return SettingsDialogTag; }

    // ---- state (read by the windows; the tool members are written by the practice panel) ----
    std::vector<TNoteSet> NoteSets;
    int Latency = 0;
    TQuad PendulumQuad{};
    TQuad WeightQuad{};
    TEngineRect TempoBoxRect{};
    TEngineRect TempoNameRect{};
    int ShadowOffset = 15;
    int Margin = 10;
    bool WeightDragged = false;
    int DragTempo = 210;
    AnsiString TimeSignatureText;
    int Denominator = 0;
    int Numerator = 0;
    std::vector<uint8_t> AccentPattern;
    int CurrentBeat = 0;
    double AnimationClock = 0;
    double PracticeTime = 0;
    int Tempo = 0;
    int PendulumTempo = 0;
    bool RebuildPending = false;
    double Amplitude = 0;
    double AngularSpeed = 0;
    double Angle = 0;
    double WeightPosition = 0.5;
    double DragWeightPosition = 0;
    double Phase = 0;
    PlayState State = psStopped;
    std::unique_ptr<TMIDIContent> ClickTrack;
    MIDIData MidiFileSong{0, 120};
    int BarsGenerated = 0;
    int BarsPlayed = 0;
    bool Tool1Enabled = false;
    int Tool1PlayBeats = 0;
    int Tool1RestBeats = 0;
    int Tool1Countdown = 0;
    bool Tool2Enabled = false;
    int Tool2BPMDelta = 0;
    int Tool2Bars = 1;
    bool Tool3Enabled = false;
    int Tool3Tempo = 0;
    int Tool3Bars = 0;
    float Tool3Duration = 0;
    bool Tool4Enabled = false;
    AnsiString Tool4MidiFile;
    bool Tool5Enabled = false;
    AnsiString Tool5MidiFile;
    TQuad ShadowQuad{};
    int PendulumWidth = 0;
    int PendulumHeight = 0;
    int WeightWidth = 0;
    int WeightHeight = 0;

    // The last time-signature text that parsed: what the settings store, since TimeSignatureText
    // may hold a refused one.
    AnsiString LastGoodTimeSignatureText;

    // A file song whose beats would outnumber this is refused: the markers are one event per beat.
    static constexpr int kMaxFileBeats = 1000000;

private:
    // What the click track's generators (tempo ramp, play/rest countdown) held before each beat of
    // the track, so that a rebuild continues from the beat where it starts.
    struct TGeneratorState {
        int BarsGenerated;
        int Tool1Countdown;
    };

    void LoadSettingsFiles(TDVContext* context, bool readIni);
    int RampedTempo() const;
    void StepCountdown();
    void AddMarker(MIDITrack& track, uint32_t tick, uint8_t controller, uint8_t value) const;

    Player* Sequencer;
    std::unique_ptr<TSettingsFileHost> FileHost;
    TEngineHost* Host;
    std::unique_ptr<TDVContext> Context;
    TDVContext* SettingsTag = nullptr;
    TDVContext* SettingsDialogTag = nullptr;

    std::vector<TGeneratorState> TrackStates;
    bool TrackHasFile = false;
    size_t NextTrackBeat = 0;  // index, in the running track, of the beat whose marker comes next
};
