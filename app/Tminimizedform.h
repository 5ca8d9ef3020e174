#pragma once
// The small window: a borderless, always-on-top window with only the pendulum, the transport
// buttons and the volume, shaped to its pictures and to the swinging pendulum. It has no logic of
// its own: every action goes to the main window, which also draws the pendulum into `View`.
// The main window owns it (made with new and no owner, then AfterConstruction).
#include <memory>

#include "ExtCtrls.h"
#include "Forms.h"
#include "Zelpanel.h"
#include "Zelslider.h"

class TMinimized : public TForm {
public:
    // micro: the half-size pictures with the prefix "05".
    TMinimized(TComponent* Owner, bool micro);
    ~TMinimized() override;

    // ---- components ----
    TImage* View = nullptr;
    TImage* ControlPanel = nullptr;
    TZelPanel* PlayButton = nullptr;
    TZelPanel* StopButton = nullptr;
    TZelPanel* PauseButton = nullptr;
    TZelPanel* SpeakerButton = nullptr;
    TZelPanel* CloseButton = nullptr;
    TZelPanel* MaximizeButton = nullptr;
    TZelSlider* MVolume = nullptr;
    TTimer* Timer1 = nullptr;

    // ---- handlers ----
    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormHide(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void FormDestroy(TObject* Sender);
    void FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
    void ViewMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void ViewMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void ViewMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void PlayButtonMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void StopButtonMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void PauseButtonMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void SpeakerButtonClick(TObject* Sender);
    void CloseButtonClick(TObject* Sender);
    void MaximizeButtonClick(TObject* Sender);
    void MVolumeChange(TObject* Sender);
    void Timer1Timer(TObject* Sender);

    // The window's shape for the frame the main window has just drawn: the pictures, the rod, the
    // weight and, while the weight is dragged, the tempo boxes.
    void UpdateRegion();

    float Scale() const { return scale_; }
    const AnsiString& Suffix() const { return suffix_; }
    int XOffset() const { return xOffset_; }
    // The pendulum's background, which the main window draws over in the small mode.
    TBitmap* Background() const { return background_.get(); }
    // The shape of the pictures alone (owned by the window).
    HRGN BaseRegion() const { return baseRegion_; }

private:
    void CreateComponents();
    TZelPanel* MakeButton(const char* name, const AnsiString& pictures, int left, int top, int width, int height);
    // Pixels of the full-size layout at this window's scale, truncated.
    int Scaled(int pixels) const { return static_cast<int>(static_cast<float>(pixels) * scale_); }

    HRGN baseRegion_ = nullptr;
    float scale_;
    AnsiString suffix_;
    int32_t xOffset_;
    std::unique_ptr<TBitmap> background_;
};
