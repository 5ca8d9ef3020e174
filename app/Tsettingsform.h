#pragma once
// The settings window: MIDI output device and its latency, display and behaviour options, and the
// three click sounds with their named presets, all kept under tag "SettingsDialog" of the engine's
// settings. Its controls are the live settings: the engine, the main window and the small window
// read them while the program runs. It also owns the wave player of the click sounds.
#include <array>
#include <memory>

#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class DSPlay;
class Player;
class TDVContext;
class TEngineHost;
class TMetronomeGame;

class TSettingsForm : public TForm {
public:
    explicit TSettingsForm(TComponent* Owner);
    ~TSettingsForm() override;

    // ---- components ----
    TButton* CancelButton = nullptr;
    TGroupBox* MidiGroup = nullptr;
    TLabel* MIDIOutLab = nullptr;
    TComboBox* MIDIOutDriver = nullptr;
    TLabel* LatencyLab = nullptr;
    TCSpinEdit* Latency = nullptr;
    TLabel* LatencyMsLab = nullptr;
    TButton* Button2 = nullptr;
    TButton* Button3 = nullptr;
    TButton* Button1 = nullptr;
    TGroupBox* OptionsGroup = nullptr;
    TCheckBox* DisableAnimation = nullptr;
    TCheckBox* ShowFlashingLight = nullptr;
    TCheckBox* ShowFlyByHints = nullptr;
    TCheckBox* TapTempoAutoStart = nullptr;
    TPanel* MClickPanel = nullptr;
    TRadioButton* MClickCenter = nullptr;
    TRadioButton* MClickBorder = nullptr;
    TCSpinEdit* MClickLatency = nullptr;
    TLabel* MClickLatencyLab = nullptr;
    TCheckBox* AllwaysOnTop = nullptr;
    TCheckBox* AutoResetTimer = nullptr;
    TCheckBox* UseDefTempoWMidi = nullptr;
    TCheckBox* MicroMode = nullptr;
    TGroupBox* SoundsGroup = nullptr;
    TLabel* PresetLab = nullptr;
    TComboBox* PresetCombo = nullptr;
    TButton* Button6 = nullptr;
    TButton* Button4 = nullptr;
    TButton* Button5 = nullptr;
    TGroupBox* BarGroup = nullptr;
    TGroupBox* BeatsGroup = nullptr;
    TGroupBox* SubGroup = nullptr;
    TRadioButton* BarUseMidi = nullptr;
    TRadioButton* BarUseWave = nullptr;
    TRadioButton* BeatsUseMidi = nullptr;
    TRadioButton* BeatsUseWave = nullptr;
    TRadioButton* SubUseMidi = nullptr;
    TRadioButton* SubUseWave = nullptr;
    TCSpinEdit* BarVolume = nullptr;
    TCSpinEdit* BeatsVolume = nullptr;
    TCSpinEdit* SubVolume = nullptr;
    TCSpinEdit* BarPan = nullptr;
    TCSpinEdit* BeatsPan = nullptr;
    TCSpinEdit* SubPan = nullptr;
    TComboBox* BarPatch = nullptr;
    TComboBox* BeatsPatch = nullptr;
    TComboBox* SubPatch = nullptr;
    TEdit* BarWaveFile = nullptr;
    TEdit* BeatsWaveFile = nullptr;
    TEdit* SubWaveFile = nullptr;
    TSpeedButton* SpeedButton1 = nullptr;
    TSpeedButton* SpeedButton2 = nullptr;
    TSpeedButton* SpeedButton3 = nullptr;
    TOpenDialog* OpenD = nullptr;

    // ---- handlers ----
    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void FormKeyPress(TObject* Sender, char& Key);
    void LatencyKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
    void Button1Click(TObject* Sender);
    void CancelButtonClick(TObject* Sender);
    void Button3Click(TObject* Sender);
    void MIDIOutDriverChange(TObject* Sender);
    void BarUseMidiClick(TObject* Sender);
    void SpeedButton1Click(TObject* Sender);
    void SpeedButton2Click(TObject* Sender);
    void SpeedButton3Click(TObject* Sender);
    void PresetComboChange(TObject* Sender);
    void Button4Click(TObject* Sender);
    void Button5Click(TObject* Sender);
    void Button6Click(TObject* Sender);

    // ---- settings, presets and waves ----
    void ReadSettings();
    void WriteSettings();
    void ReadPreset();
    // An empty name writes the list template "Preset" itself.
    void WritePreset(const AnsiString& name);
    void CopyWave(TEdit* edit, const AnsiString& fileName);
    void LoadWaves();
    // volume in hundredths of a decibel (-10000..0), pan -10000..10000.
    void PlayWave(const AnsiString& name, int volume, int pan);
    void StopAll();

    // The engine whose settings the window edits. The program's is the main window's; a window made
    // with new may be given one before AfterConstruction.
    void SetGame(TMetronomeGame* game) { game_ = game; }
    TMetronomeGame* Game() const;
    // The engine reads the click sounds and the pendulum options through this.
    TEngineHost* EngineHost() const { return host_.get(); }
    bool WavesChanged() const { return wavesChanged_; }
    bool LoadingWaves() const { return loading_; }

    // The three sounds' controls, index 0 Bar, 1 Beats, 2 Sub.
    struct TSoundControls {
        TRadioButton* UseMidi;
        TRadioButton* UseWave;
        TComboBox* Patch;
        TCSpinEdit* Volume;
        TCSpinEdit* Pan;
        TEdit* WaveFile;
        TSpeedButton* Browse;
    };
    TSoundControls Sound(int kind) const;

    // The "wavs\" folder of the program (the working directory), with its trailing separator.
    static AnsiString WavsFolder();
    // A preset name the settings language stores as a plain list ID.
    static bool ValidPresetName(const AnsiString& name);

private:
    void CreateComponents();
    TGroupBox* MakeSoundGroup(const char* prefix, const char* caption, int top, int kind);
    TDVContext* DialogTag() const;
    Player* Sequencer() const;
    void ApplyHintPause();
    void OpenSelectedDevice();
    void BrowseWave(int kind);

    TMetronomeGame* game_ = nullptr;
    std::unique_ptr<TEngineHost> host_;
    bool loading_ = false;
    bool wavesChanged_ = false;
    // Cancel has already put the controls back; the close that follows need not do it again.
    bool restored_ = false;
    // The wave names the wave player holds, so that a preset chosen with other waves reloads them.
    std::array<AnsiString, 3> loadedWaves_;
};

extern TSettingsForm* SettingsForm;
// The program's one wave player, made by the settings window; null until then and when the sound
// system could not be opened.
extern std::unique_ptr<DSPlay> WavePlayer;
