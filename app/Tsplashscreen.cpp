#include "Tsplashscreen.h"

#include "Picutils.h"
#include "SysUtils.h"

TSplashScreen* SplashScreen = nullptr;

namespace {
const TColor kIvory = static_cast<TColor>(RGB(0xED, 0xE3, 0xCC));
const TColor kAmber = static_cast<TColor>(RGB(0xF0, 0xA0, 0x30));
}  // namespace

TSplashScreen::TSplashScreen(TComponent* Owner) : TForm(Owner) {
    SetName("SplashScreen");
    SetCaption("About");
    SetBorderStyle(bsDialog);
    SetBounds(300, 200, 400, 290);
    SetColor(static_cast<TColor>(RGB(0x24, 0x24, 0x26)));

    Image1 = new TImage(this);
    Image1->SetName("Image1");
    Image1->SetParent(this);
    Image1->SetBounds(0, 0, 400, 250);
    Image1->OnClick = [this](TObject* s) { Image1Click(s); };
    // The box still opens, with its labels and button, when the picture is missing.
    try {
        LoadImageToPicture(Image1->Picture(), "pics\\AboutBox.png");
    } catch (const Exception&) {
    }

    WindowsVersionLabel = new TLabel(this);
    WindowsVersionLabel->SetName("WindowsVersionLabel");
    WindowsVersionLabel->SetParent(this);
    WindowsVersionLabel->SetBounds(193, 176, 200, 15);
    WindowsVersionLabel->SetTransparent(true);
    WindowsVersionLabel->Font()->SetColor(kIvory);
    WindowsVersionLabel->OnClick = [this](TObject* s) { Image1Click(s); };

    VersionLabel = new TLabel(this);
    VersionLabel->SetName("VersionLabel");
    VersionLabel->SetParent(this);
    VersionLabel->SetBounds(193, 196, 200, 15);
    VersionLabel->SetTransparent(true);
    VersionLabel->Font()->SetColor(kAmber);
    VersionLabel->SetCaption("Version ");
    VersionLabel->OnClick = [this](TObject* s) { Image1Click(s); };

    HideButton = new TButton(this);
    HideButton->SetName("HideButton");
    HideButton->SetParent(this);
    HideButton->SetBounds(162, 258, 75, 25);
    HideButton->SetCaption("OK");
    HideButton->SetDefault(true);
    HideButton->SetCancel(true);
    HideButton->OnClick = [this](TObject* s) { HideButtonClick(s); };

    SplashTimer = new TTimer(this);
    SplashTimer->SetName("SplashTimer");
    SplashTimer->SetEnabled(false);
    SplashTimer->SetInterval(3000);
    SplashTimer->SetOnTimer([this](TObject* s) { SplashTimerTimer(s); });

    OnCreate = [this](TObject* s) { FormCreate(s); };
}

void TSplashScreen::FormCreate(TObject*) {
    SetDoubleBuffered(true);
    // Where the about box could name the system, it names the program: Tikora runs on one kind of
    // system only, so a system name would tell the user nothing.
    WindowsVersionLabel->SetCaption("Tikora");
    VersionLabel->SetCaption("Version " + GetFileVersionText());
}

AnsiString TSplashScreen::FormatFileVersion(const AnsiString& version) {
    AnsiString rest = version.Trim();
    AnsiString result;
    int parts = 0;
    while (!rest.IsEmpty()) {
        const int dot = rest.Pos(".");
        const AnsiString part = dot ? rest.SubString(1, dot - 1) : rest;
        rest = dot ? rest.SubString(dot + 1, rest.Length() - dot) : AnsiString();
        // Each part is one 16-bit word of the version resource, written in plain digits.
        if (part.IsEmpty() || part.Length() > 5 || ++parts > 4) return "?";
        for (int i = 1; i <= part.Length(); ++i)
            if (part[i] < '0' || part[i] > '9') return "?";
        const int value = StrToIntDef(part, -1);
        if (value < 0 || value > 0xFFFF) return "?";
        result += (result.IsEmpty() ? "" : ".") + IntToStr(value);
        if (dot && rest.IsEmpty()) return "?";
    }
    if (parts < 2) return "?";
    for (; parts < 4; ++parts) result += ".0";
    return result;
}

AnsiString TSplashScreen::GetFileVersionText() {
#ifdef TIKORA_FILE_VERSION
    return FormatFileVersion(TIKORA_FILE_VERSION);
#else
    return "?";
#endif
}

void TSplashScreen::HideButtonClick(TObject*) {
    SplashTimer->SetEnabled(false);
    SetModalResult(mrOk);
    Hide();
}

void TSplashScreen::Image1Click(TObject* Sender) {
    if (HideButton->Enabled()) HideButtonClick(Sender);
}

void TSplashScreen::SplashTimerTimer(TObject* Sender) { HideButtonClick(Sender); }
