#pragma once
// Where timeSetEvent and timeKillEvent go: the real timer thread, or a test's virtual timer.
#include <cstdint>

#include "MMSystem.h"

namespace tikora::winmm {

class TimerService {
public:
    virtual ~TimerService() = default;
    // Arms a one-shot callback due at the logical time `dueNs`; returns `id`, or 0 on failure.
    virtual UINT SetEvent(UINT id, int64_t dueNs, LPTIMECALLBACK proc, DWORD_PTR user) = 0;
    virtual MMRESULT KillEvent(UINT id) = 0;
    // Returns once no callback of timer `id` (of any timer for 0) is running; at once when
    // called from a callback.
    virtual void WaitForCallback(UINT id) = 0;
};

// nullptr puts the real timer thread back.
void SetTimerService(TimerService* service);
// Blocks until a callback of `id` (of any timer for 0) that may be running has returned. The Player's destructor uses
// it after killing its timer, so that a callback waiting for the Player's lock never outlives it.
void WaitForTimerCallback(UINT id);

}  // namespace tikora::winmm
