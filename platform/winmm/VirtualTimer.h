#pragma once
// Test support: a virtual clock and timer service. While one exists, timeSetEvent arms timers on
// it instead of the timer thread, and the clock only moves when the test runs it: RunUntil fires
// every due timer in due order on the calling thread, each with the clock (and the logical time)
// set to its due time, so schedules are exact and repeatable.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "Clock.h"
#include "TimerService.h"

namespace tikora::winmm {

class VirtualTimer : public TimerService {
public:
    explicit VirtualTimer(int64_t startNs = 0);
    ~VirtualTimer() override;
    VirtualTimer(const VirtualTimer&) = delete;
    VirtualTimer& operator=(const VirtualTimer&) = delete;

    TestClock& Clock() { return *clock_; }
    int64_t NowNs() { return clock_->NowNs(); }
    // Fires every timer due at or before `ns`, then leaves the clock at `ns`. Returns how many fired.
    int RunUntil(int64_t ns);
    int RunForMs(double ms) { return RunUntil(NowNs() + static_cast<int64_t>(ms * 1e6)); }
    // Fires the earliest pending timer whatever its due time; false when none is pending.
    bool RunNext();
    size_t Pending() const;
    std::optional<int64_t> NextDueNs() const;

    UINT SetEvent(UINT id, int64_t dueNs, LPTIMECALLBACK proc, DWORD_PTR user) override;
    MMRESULT KillEvent(UINT id) override;
    void WaitForCallback(UINT) override {}

private:
    struct Timer {
        UINT id;
        LPTIMECALLBACK proc;
        DWORD_PTR user;
    };
    bool FireFirst(int64_t limitNs);

    std::unique_ptr<TestClock> clock_;
    mutable std::mutex mutex_;
    // Ordered by due time, then by arming order.
    std::multimap<int64_t, Timer> timers_;
};

}  // namespace tikora::winmm
