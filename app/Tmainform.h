#pragma once
// The main window: the skinned metronome with its transport, quick-start and practice-tool
// columns, the pendulum drawn from the engine, the practice timer and the volume slider bound to
// the system mixer. It owns the one engine and the small window, and receives the Player's
// notifications (0x8064 per event, 0x8065 at the end of a song) as posted messages.
#include <memory>
#include <optional>

#include "AppEvnts.h"
#include "ComCtrls.h"
#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "Mixer.h"
#include "StdCtrls.h"
#include "Zellist.h"
#include "Zelpanel.h"
#include "Zelslider.h"

class TMetronomeGame;
class TMetronomeGameDraw;
class TMinimized;

// The Player's notification messages to the window registered with it.
constexpr UINT WM_PLAYER_EVENT = 0x8064;
constexpr UINT WM_PLAYER_END = 0x8065;

class TMainForm : public TForm {
public:
    explicit TMainForm(TComponent* Owner);
    ~TMainForm() override;
    void Dispatch(TMessage& Message) override;

    // ---- components ----
    TPanel* GlobalPanel = nullptr;
    TPanel* TopPanel = nullptr;
    TPanel* LeftPanel = nullptr;
    TPanel* BottomPanel = nullptr;
    TPanel* CenterPanel = nullptr;
    TPanel* RightPanel = nullptr;
    TImage* TopImage = nullptr;
    TImage* LeftImage = nullptr;
    TImage* BottomImage = nullptr;
    TImage* CenterImage = nullptr;
    TImage* RightImage = nullptr;
    TImage* DenominatorImage = nullptr;
    TImage* MemoImage = nullptr;

    TZelPanel* TikoraPanel = nullptr;
    TZelPanel* ZelLogo = nullptr;
    TZelPanel* SaveButton = nullptr;
    TZelPanel* LoadButton = nullptr;
    TZelPanel* BpmUPButton = nullptr;
    TZelPanel* BpmDownButton = nullptr;
    TZelPanel* BpmSetButton = nullptr;
    TZelPanel* TimeSignatureButton = nullptr;
    TZelPanel* ResetTimerButton = nullptr;
    TZelPanel* SetAlarmButton = nullptr;
    TZelPanel* SettingsButton = nullptr;
    TZelPanel* HelpButton = nullptr;
    TZelPanel* AboutButton = nullptr;
    TZelPanel* PlayButton = nullptr;
    TZelPanel* StopButton = nullptr;
    TZelPanel* PauseButton = nullptr;
    TZelPanel* SpeakerButton = nullptr;
    TZelPanel* QSTS1Button = nullptr;
    TZelPanel* QSTS2Button = nullptr;
    TZelPanel* QSTS3Button = nullptr;
    TZelPanel* QSTS4Button = nullptr;
    TZelPanel* QS72BpmButton = nullptr;
    TZelPanel* QS88BpmButton = nullptr;
    TZelPanel* QS120BpmButton = nullptr;
    TZelPanel* QS176BpmButton = nullptr;
    TZelPanel* TapTempoButton = nullptr;
    TZelPanel* CheckBox1 = nullptr;
    TZelPanel* CheckBox2 = nullptr;
    TZelPanel* CheckBox3 = nullptr;
    TZelPanel* CheckBox4 = nullptr;
    TZelPanel* CheckBox5 = nullptr;
    TZelPanel* TempoCalculatorButton = nullptr;
    TZelPanel* DrumBeatButton = nullptr;
    TZelPanel* MidiFileButton = nullptr;
    TZelPanel* MinimizeButton = nullptr;

    TLabel* TimerLab = nullptr;
    TLabel* TempoLab = nullptr;
    TLabel* MemoLab = nullptr;
    TLabel* QuickstartLab = nullptr;
    TLabel* Tool1_Play = nullptr;
    TLabel* Tool1_Rest = nullptr;
    TLabel* Tool2_BPM_delta = nullptr;
    TLabel* Tool2_Bars = nullptr;
    TLabel* Tool5_Transp = nullptr;
    TMemo* Memo = nullptr;
    TTrackBar* SetTempo = nullptr;
    TZelList* TimeSignatureList = nullptr;
    TZelList* DrumBeatList = nullptr;
    TZelList* MidiFileList = nullptr;
    TZelSlider* MVolume = nullptr;

    TTimer* Timer1 = nullptr;
    TTimer* Timer2 = nullptr;
    TTimer* VolTimer = nullptr;
    TTimer* TempoHideTimer = nullptr;
    TTimer* ListHideTimer = nullptr;
    TTimer* DelayedStartTimer = nullptr;
    TApplicationEvents* ApplicationEvents1 = nullptr;
    TOpenDialog* OpenD = nullptr;
    TSaveDialog* SaveD = nullptr;
    TOpenDialog* MidiOpen = nullptr;

    // ---- the form's own handlers ----
    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormPaint(TObject* Sender);
    void FormActivate(TObject* Sender);
    void FormCanResize(TObject* Sender, int& NewWidth, int& NewHeight, bool& Resize);
    void FormResize(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);

    // ---- transport, notifications, pendulum, volume ----
    void PlayButtonClick(TObject* Sender);
    void StopButtonClick(TObject* Sender);
    void PauseButtonClick(TObject* Sender);
    void Timer1Timer(TObject* Sender);
    void MVolumeChange(TObject* Sender);
    void VolTimerTimer(TObject* Sender);
    void SpeakerButtonClick(TObject* Sender);
    void OnMixerControlChange(TMessage& Message);
    void OnPlayerController(TMessage& Message);
    void OnPlayerNotify(TMessage& Message);
    void RedrawPendulum(bool force);
    void ShowTempo(bool pendulumTempo);
    void ShowTimeSignature();
    void ChangeTempo(double tempo);
    void SetMixerVolume(uint32_t value);
    uint32_t GetMixerVolume();
    void OpenMixer();

    // ---- skin and display modes ----
    void LoadSkin();
    void SetFullScreenMode(bool big, bool initial);
    void ApplySkinMode();
    void MinimizeButtonClick(TObject* Sender);

    // ---- keyboard, tap tempo, weight drag, tempo entry ----
    void FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
    void ApplicationEvents1Message(tagMSG& Msg, bool& Handled);
    void TapTempoButtonMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void DelayedStartTimerTimer(TObject* Sender);
    void CenterImageMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void CenterImageMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void CenterImageMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void RightImageMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void BpmDownButtonMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void BpmSetButtonClick(TObject* Sender);
    void SetTempoChange(TObject* Sender);
    void SetTempoExit(TObject* Sender);
    void TempoHideTimerTimer(TObject* Sender);
    void QSTS1ButtonClick(TObject* Sender);
    void QS72BpmButtonClick(TObject* Sender);
    void TempoLabClick(TObject* Sender);
    void HelpButtonClick(TObject* Sender);
    void TapTempo(int autoStart);
    void SelectTimeSignature(const AnsiString& text);

    // ---- practice tools, lists and files ----
    void CheckBox1Click(TObject* Sender);
    void Tool2_BarsClick(TObject* Sender);
    void Tool5_TranspClick(TObject* Sender);
    void TimeSignatureButtonClick(TObject* Sender);
    void TimeSignatureListClick(TObject* Sender);
    void TimeSignatureListMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void DrumBeatButtonClick(TObject* Sender);
    void MidiFileButtonClick(TObject* Sender);
    void DrumBeatListClick(TObject* Sender);
    void MidiFileListClick(TObject* Sender);
    void DrumBeatListMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void MidiFileListMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void ListHideTimerTimer(TObject* Sender);
    void LoadButtonClick(TObject* Sender);
    void SaveButtonClick(TObject* Sender);
    void ShowToolSettings();
    void ApplyToolSettings();
    void FillTimeSignatureList();
    void FillDrumBeatList();
    void FillMidiFileList();
    void ScanFolder(TStringList* list, const AnsiString& pattern, bool cutExtension);
    void ShowListPage(TStrings* rows, TStrings* names, int page);
    void CopyIntoFolder(const AnsiString& folder, AnsiString& path);
    void ShowFilePicture();
    void LoadToolFileMeter(const AnsiString& path);

    // ---- practice timer, alarm and the dialogs ----
    void Timer2Timer(TObject* Sender);
    void ResetTimerButtonMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void SetAlarmButtonClick(TObject* Sender);
    void SettingsButtonClick(TObject* Sender);
    void TempoCalculatorButtonClick(TObject* Sender);
    void MemoLabClick(TObject* Sender);
    void ZelLogoClick(TObject* Sender);

    // ---- what the other windows reach ----
    TMetronomeGame* Engine() const { return engine_.get(); }
    TMetronomeGameDraw* EngineDraw() const { return engineDraw_.get(); }
    TMinimized* Minimized() const { return minimized_.get(); }
    // CenterImage in the big mode, the small window's View otherwise.
    TImage* DrawTarget() const { return drawTarget_; }
    bool BigMode() const { return bigMode_; }
    // The antialiased font of the time-signature list, which the list editor takes over.
    TFont* ListFont() const { return listFont_.get(); }
    HMIXER MixerHandle() const { return mixer_; }
    // The light of the last beat is due now.
    bool FlashShowing() const;
    uint8_t FlashAccent() const { return flashAccent_; }
    // When the light of the last beat comes on, and when the pendulum was last moved to the angle
    // it shows (tick counts, ms).
    DWORD FlashStart() const { return flashStart_; }
    DWORD LastAnimationTick() const { return lastAnimationTick_; }

private:
    // A file list and what belongs to it: the drum beats and the MIDI files work alike.
    struct FileTool {
        TZelList* list;
        TZelPanel* button;
        TZelPanel* checkBox;
        const char* folder;
    };
    FileTool DrumTool() const;
    FileTool MidiTool() const;
    void FileButtonClick(const FileTool& tool);
    void FillFileList(const FileTool& tool);
    void FileListClick(const FileTool& tool);
    void ApplyFileTool(const FileTool& tool, bool& enabled, AnsiString& file);
    void PlaceFileList(const FileTool& tool);
    void SelectButtonRow(const FileTool& tool);
    void SetTransposition(int value);
    bool SettingsChecked(int which) const;
    void CreateComponents();
    TZelPanel* MakeButton(TWinControl* parent, const char* name, int left, int top, int width, int height,
                          const char* base);

    std::unique_ptr<TBitmap> pendulumBitmap_;
    std::unique_ptr<TStringList> folderScan_;
    DWORD lastAnimationTick_ = 0;
    DWORD lastTapTick_ = 0;
    int32_t tapCount_ = 0;
    int32_t tapSum_ = 0;
    int32_t tapIntervals_ = 0;  // interval tempi in the tap sum
    bool tapped_ = false;
    TBitmap* pendulumBackground_ = nullptr;
    DWORD flashStart_ = 0;
    DWORD flashEnd_ = 0;
    uint8_t flashAccent_ = 255;
    HMIXER mixer_ = nullptr;
    DWORD volumeControlId_ = 0;
    std::unique_ptr<TMetronomeGame> engine_;
    std::unique_ptr<TMetronomeGameDraw> engineDraw_;
    TImage* drawTarget_ = nullptr;
    std::unique_ptr<TMinimized> minimized_;
    bool bigMode_ = false;
    // The weight held by the mouse: the pointer's row when the button went down, how far below the
    // weight's top edge that was, and the tempo the weight stood for.
    struct WeightGrab {
        int y, offset, tempo;
    };
    std::optional<WeightGrab> weightGrab_;
    // The tempo the weight stands for with its top edge on a row of the drawing target.
    int TempoAtWeightTop(int row) const;
    std::unique_ptr<TFont> listFont_, tempoFont_, timeSignatureFont_;
    bool firstPaint_ = true;
    bool firstActivate_ = true;
    bool timer2Busy_ = false;
};

extern TMainForm* MainForm;

namespace tikora::app {
// What a failed start-up does after its message: end the process with the given code. Tests
// replace it; the window's creation then raises the failure instead.
std::function<void(int)>& StartFailureExit();
// The folder the program works in: the executable's, unless tests name another.
AnsiString& ProgramFolderOverride();
// The practice timer's display: minutes and seconds below an hour, hours and minutes from then on.
AnsiString PracticeTimeText(double seconds);
}  // namespace tikora::app
