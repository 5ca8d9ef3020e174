#include "Hintsfromcontext.h"

#include "Controls.h"
#include "SysUtils.h"
#include "Tdevelopervariables.h"

void HintsFromContext(TControl* control, TDVContext* context) {
    if (!control || !context) return;
    AnsiString text;
    // A control without a name has no entry to look up; asking for "Hints[]" would end the walk for
    // every control after it.
    if (!control->Name().IsEmpty()) text = context->GetValueAsStringIdx("Hints[#]", control->Name());
    const AnsiString hint = StringReplaceAll(text, "|", "\n");
    control->SetHint(hint);
    control->SetShowHint(!hint.IsEmpty());
    if (auto* parent = dynamic_cast<TWinControl*>(control))
        for (int i = 0; i < parent->ControlCount(); ++i) HintsFromContext(parent->Controls(i), context);
}
