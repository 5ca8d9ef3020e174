#pragma once
// Message boxes, the input query, file dialogs and modal forms all go through one dialog service.
// Tests script it with answers; on the offscreen platform without a script it never blocks: it
// logs the request and gives the default answer.
#include <deque>

#include "Forms.h"

constexpr UINT MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2, MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4,
               MB_RETRYCANCEL = 0x5, MB_ICONHAND = 0x10, MB_ICONSTOP = 0x10, MB_ICONERROR = 0x10,
               MB_ICONQUESTION = 0x20, MB_ICONEXCLAMATION = 0x30, MB_ICONWARNING = 0x30, MB_ICONINFORMATION = 0x40,
               MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200;
constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7;

int MessageBoxA(HWND hwnd, LPCSTR text, LPCSTR caption, UINT type);
void ShowMessage(const AnsiString& Msg);
BOOL MessageBeep(UINT type);
// True when the user confirmed; Value then holds the text entered.
bool InputQuery(const AnsiString& ACaption, const AnsiString& APrompt, AnsiString& Value);

enum TOpenOption {
    ofReadOnly,
    ofOverwritePrompt,
    ofHideReadOnly,
    ofNoChangeDir,
    ofPathMustExist,
    ofFileMustExist,
    ofEnableSizing
};
using TOpenOptions = TSet<TOpenOption>;

class TOpenDialog : public TComponent {
public:
    explicit TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}
    // True when a file was chosen; FileName then names it.
    virtual bool Execute();
    AnsiString FileName() const { return fileName_; }
    void SetFileName(const AnsiString& f) { fileName_ = f; }
    AnsiString Filter() const { return filter_; }
    void SetFilter(const AnsiString& f) { filter_ = f; }
    int FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(int i) { filterIndex_ = i; }
    AnsiString DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const AnsiString& e) { defaultExt_ = e; }
    AnsiString InitialDir() const { return initialDir_; }
    void SetInitialDir(const AnsiString& d) { initialDir_ = d; }
    AnsiString Title() const { return title_; }
    void SetTitle(const AnsiString& t) { title_ = t; }
    TOpenOptions Options() const { return options_; }
    void SetOptions(TOpenOptions o) { options_ = o; }

protected:
    bool saving_ = false;

private:
    AnsiString fileName_, filter_, defaultExt_, initialDir_, title_;
    int filterIndex_ = 1;
    TOpenOptions options_{ofHideReadOnly, ofEnableSizing};
};

class TSaveDialog : public TOpenDialog {
public:
    explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) { saving_ = true; }
};

namespace tikora::forms {

enum class DialogKind { MessageBox, InputQuery, OpenFile, SaveFile, Modal };

struct DialogRequest {
    DialogKind kind = DialogKind::MessageBox;
    AnsiString caption;
    AnsiString text;        // message, prompt, or filter
    AnsiString value;       // the input query's value, the dialog's file name
    UINT flags = 0;         // message box type
    TForm* form = nullptr;  // the modal form
};

struct DialogAnswer {
    int result = IDOK;  // IDOK, IDCANCEL, IDYES, ...; for modal forms the modal result
    AnsiString text;    // the text entered or the file chosen
};

// A scripted answer; for modal forms it may also work the form (press its buttons) and leave
// the result at 0 to let the form's own ModalResult stand.
using DialogScript = std::function<DialogAnswer(const DialogRequest&)>;

// Queues answers, used one per request in order.
void ScriptDialog(DialogScript script);
void ScriptDialog(int result, const AnsiString& text = "");
void ClearDialogScript();
int PendingDialogScripts();
// Every request made, in order.
const std::vector<DialogRequest>& DialogLog();
void ClearDialogLog();
int MessageBeepCount();

// The default answer of an unscripted request on a headless platform.
DialogAnswer DefaultAnswer(const DialogRequest& r);
// Runs a request through the script, or the real dialog, or the default answer.
DialogAnswer RunDialog(DialogRequest r);

}  // namespace tikora::forms
