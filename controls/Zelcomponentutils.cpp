#include "Zelcomponentutils.h"

#include "FileFunctions.h"

void AntialiasFont(TFont* Font) {
    if (!Font) return;
    LOGFONTA lf{};
    if (GetObjectA(Font->Handle(), sizeof(lf), &lf) != static_cast<int>(sizeof(lf))) return;
    lf.lfQuality = ANTIALIASED_QUALITY;
    Font->SetHandle(CreateFontIndirectA(&lf));
}

namespace tikora::controls {

void HoverTracker::Arm(HWND window) {
    track_.hwndTrack = window;
    Request(TME_HOVER | TME_LEAVE);
}

void HoverTracker::Request(DWORD flags) {
    track_.dwFlags = flags;
    // Before Loaded there is no window to track; the platform's answer is not acted upon.
    if (track_.hwndTrack) TrackMouseEvent(&track_);
}

void SetPictureProperty(AnsiString& storedName, const AnsiString& newName, const std::function<void()>& load,
                        const std::function<void()>& followUp) {
    if (newName == storedName) return;
    // A picture that is there but can't be loaded is as unusable as a missing one: the user is
    // told the same.
    const AnsiString notFound = "File not found : " + newName;
    if (!FileExists(newName)) {
        storedName = AnsiString();
        throw Exception(notFound);
    }
    storedName = newName;
    try {
        load();
    } catch (...) {
        storedName = AnsiString();
        throw Exception(notFound);
    }
    if (followUp) followUp();
}

bool HoldsGraphic(const TPicture* picture) {
    return picture && picture->Graphic() && !picture->Graphic()->Empty() && picture->Width() > 0 &&
           picture->Height() > 0;
}

}  // namespace tikora::controls
