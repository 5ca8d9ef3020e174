#pragma once
// Forms and the application object.
#include <new>

#include "Controls.h"

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TPosition {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter
};
using TModalResult = int;
constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7;

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCanResizeEvent = std::function<void(TObject* Sender, int& NewWidth, int& NewHeight, bool& Resize)>;

// A top-level window. Left and Top place its frame on the screen; Width and Height are those of
// its client area. On showing, the frame goes where Position says, and it is kept inside the
// screen's available area (moved in; shrunk only when it cannot fit).
class TForm : public TCustomControl {
public:
    explicit TForm(TComponent* AOwner);
    ~TForm() override;
    void Dispatch(TMessage& Message) override;
    // Runs Loaded on every component the constructor made, then OnCreate. CreateForm calls it;
    // whoever makes a form with new calls it after the constructor.
    virtual void AfterConstruction();
    // Raises OnDestroy, once. The owner, caFree and the destructor call it; a form deleted
    // directly gets OnDestroy only after its derived parts are gone.
    void BeforeDestruction() override;

    void Show();
    void Hide() { SetVisible(false); }
    void Close();
    int ShowModal();
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult r) { modalResult_ = r; }
    bool Active() const { return active_; }
    bool Modal() const { return inModal_; }
    TPosition Position() const { return position_; }
    void SetPosition(TPosition p) { position_ = p; }
    // Enter and Escape when the focused control leaves them to the form: Enter clicks the focused
    // button or else the Default one, Escape the Cancel button (a modal form without one closes
    // with mrCancel). True when the key was used.
    bool DialogKey(TWinControl* focused, WORD key);

    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool v) { keyPreview_ = v; }
    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle s);
    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle s);
    TWindowState WindowState() const { return windowState_; }
    void SetWindowState(TWindowState s);
    TWinControl* ActiveControl() const { return activeControl_; }
    void SetActiveControl(TWinControl* c);
    void SetBounds(int left, int top, int width, int height) override;

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnPaint;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TCanResizeEvent OnCanResize;
    TCloseEvent OnClose;
    TNotifyEvent OnDestroy;

protected:
    void Paint() override {
        if (OnPaint) OnPaint(this);
    }
    void TextChanged() override;
    virtual bool CanResize(int& w, int& h);

private:
    friend class TApplication;
    friend struct WinControlImpl;
    void VisibleChanged() override;
    void Activated(bool active);
    void PlaceOnShow();
    void ApplyWindowFlags();
    bool keyPreview_ = false;
    bool active_ = false;
    bool inModal_ = false;
    bool destroying_ = false;
    TModalResult modalResult_ = mrNone;
    TFormBorderStyle borderStyle_ = bsSizeable;
    TFormStyle formStyle_ = fsNormal;
    TWindowState windowState_ = wsNormal;
    TPosition position_ = poDesigned;
    TWinControl* activeControl_ = nullptr;
};

using TMessageEvent = std::function<void(tagMSG& Msg, bool& Handled)>;
using TExceptionEvent = std::function<void(TObject* Sender, Exception* E)>;

class TApplicationEvents;

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    void Initialize();
    // Constructs the form with the application as owner, with Reference already pointing at it
    // while its constructor and OnCreate run; the first form becomes the main form.
    template <typename T>
    void CreateForm(T*& Reference) {
        Initialize();
        void* memory = ::operator new(sizeof(T));
        T* form = static_cast<T*>(memory);
        Reference = form;
        try {
            new (memory) T(this);
        } catch (...) {
            Reference = nullptr;
            ::operator delete(memory);
            throw;
        }
        form->AfterConstruction();
        if (!mainForm_) mainForm_ = form;
    }
    // Shows the main form and runs the event loop until Terminate or the main form closes.
    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Handles what is waiting (Qt events, posted messages, timers) and returns.
    void ProcessMessages();

    TForm* MainForm() const { return mainForm_; }
    const AnsiString& Title() const { return title_; }
    void SetTitle(const AnsiString& t) { title_ = t; }
    const AnsiString& HelpFile() const { return helpFile_; }
    void SetHelpFile(const AnsiString& f) { helpFile_ = f; }
    AnsiString ExeName() const;
    // Opens the help file (a path as the program writes them) with the desktop's document opener;
    // false when there is none or it could not be opened.
    bool HelpCommand(int command, int data);
    int HintPause() const { return hintPause_; }
    void SetHintPause(int ms) { hintPause_ = ms; }
    int HintHidePause() const { return hintHidePause_; }
    void SetHintHidePause(int ms) { hintHidePause_ = ms; }
    int HintShortPause() const { return hintShortPause_; }
    void SetHintShortPause(int ms) { hintShortPause_ = ms; }
    bool ShowMainForm() const { return showMainForm_; }
    void SetShowMainForm(bool v) { showMainForm_ = v; }
    // Puts the stay-on-top forms back above the others.
    void RestoreTopMosts();

    void ShowException(Exception* E);
    // The standard reaction to an exception escaping an event handler.
    void HandleException(TObject* Sender);
    int MessageBox(const char* Text, const char* Caption, int Flags);

    // Offers a message to the application's OnMessage handlers; true when one handled it.
    bool OfferMessage(tagMSG& msg);

    TExceptionEvent OnException;

private:
    friend class TApplicationEvents;
    friend class TForm;
    // Hands an exception to the exception events, or shows it.
    void Report(TObject* Sender, Exception& e);
    TForm* mainForm_ = nullptr;
    AnsiString title_;
    AnsiString helpFile_;
    int hintPause_ = 500;
    int hintHidePause_ = 2500;
    int hintShortPause_ = 50;
    bool terminated_ = false;
    bool showMainForm_ = true;
    bool initialized_ = false;
    std::vector<TApplicationEvents*> events_;
};

extern TApplication* Application;

constexpr int HELP_CONTEXT = 0x0001, HELP_QUIT = 0x0002, HELP_CONTENTS = 0x0003;

class TApplicationEvents : public TComponent {
public:
    explicit TApplicationEvents(TComponent* AOwner);
    ~TApplicationEvents() override;
    TMessageEvent OnMessage;
    TExceptionEvent OnException;
};

// Runs f and shows whatever escapes it with the application's exception display.
void GuardedCall(TObject* sender, const std::function<void()>& f);
