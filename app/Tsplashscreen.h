#pragma once
// The about box with the program's version.
#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class TSplashScreen : public TForm {
public:
    explicit TSplashScreen(TComponent* Owner);

    TImage* Image1;
    TButton* HideButton;
    TLabel* WindowsVersionLabel;
    TLabel* VersionLabel;
    TTimer* SplashTimer;

    void FormCreate(TObject* Sender);
    void HideButtonClick(TObject* Sender);
    void Image1Click(TObject* Sender);
    void SplashTimerTimer(TObject* Sender);

    // The program's version in four parts, "?" when the build did not say it.
    AnsiString GetFileVersionText();
    // "major.minor[.patch[.build]]" as the four numbers of a file version; "?" for anything else.
    static AnsiString FormatFileVersion(const AnsiString& version);
};

// Null until the about box is first opened.
extern TSplashScreen* SplashScreen;
