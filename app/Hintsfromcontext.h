#pragma once
// Pop-up hints come from the settings, not from the window layouts: list "Hints" keyed by the
// control's name, with "|" standing for a line break.
class TControl;
class TDVContext;

// Gives the control and every control below it its hint. Lookup failures pass to the caller and
// end the walk.
void HintsFromContext(TControl* control, TDVContext* context);
