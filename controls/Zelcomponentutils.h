#pragma once
// What the skinned controls share: the antialiased font routine, the hover-tracking record and
// the way every picture property takes a new file name.
#include <functional>

#include "Controls.h"
#include "Graphics.h"

// Gives the font a new handle whose logical font differs only in its antialiased quality.
void AntialiasFont(TFont* Font);

namespace tikora::controls {

// Hover tracking: 10 ms of rest gives a hover report, leaving gives a leave report; each report
// is given once per request, so the controls ask again after every report.
class HoverTracker {
public:
    // Takes the window to track (the control's own) and asks for both reports.
    void Arm(HWND window);
    void ArmLeave() { Request(TME_LEAVE); }
    void ArmHover() { Request(TME_HOVER); }
    const TRACKMOUSEEVENT& Record() const { return track_; }

private:
    void Request(DWORD flags);
    TRACKMOUSEEVENT track_{sizeof(TRACKMOUSEEVENT), 0, nullptr, 10};
};

// A picture property given a new name: the same name does nothing; a missing file, or a load that
// raises, empties the name and raises "File not found : " + name without the follow-up, and the
// picture keeps what it held. Otherwise the name is stored, the picture loaded and the follow-up
// run.
void SetPictureProperty(AnsiString& storedName, const AnsiString& newName, const std::function<void()>& load,
                        const std::function<void()>& followUp);

// A picture that holds a graphic with pixels.
bool HoldsGraphic(const TPicture* picture);

}  // namespace tikora::controls
