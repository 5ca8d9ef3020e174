#include "AnsiString.h"
#include "Clock.h"
#include "SysUtils.h"

int main() {
    tikora::TestClock clock(42'000'000);
    AnsiString ms = IntToStr(static_cast<int>(timeGetTime()));
    return ms == "42" ? 0 : 1;
}
