#pragma once
// The one monotonic clock of the program, shared by the UI thread, the multimedia-timer thread and
// the audio thread. Inside a timer callback or while a posted message is handled, a thread reads
// its logical time: the due time of the callback or the post time of the message, so schedules do
// not pick up wake-up jitter. Tests replace the real clock with a TestClock driven by hand.
#include <atomic>
#include <cstdint>

#include "WinTypes.h"

namespace tikora {

// Nanoseconds on the monotonic clock (or the installed test clock). Starts near 0 at first use.
int64_t MonotonicNowNs();
// The thread's logical time when one is set, else MonotonicNowNs().
int64_t LogicalNowNs();
bool HasLogicalTime();

// Sets the calling thread's logical time for the lifetime of the scope; scopes nest.
class LogicalTimeScope {
public:
    explicit LogicalTimeScope(int64_t ns);
    ~LogicalTimeScope();
    LogicalTimeScope(const LogicalTimeScope&) = delete;
    LogicalTimeScope& operator=(const LogicalTimeScope&) = delete;

private:
    bool hadPrevious_;
    int64_t previous_;
};

// A clock source other than the system's monotonic clock.
class ClockSource {
public:
    virtual ~ClockSource() = default;
    virtual int64_t NowNs() = 0;
};

// A clock that only moves when told. Installing it makes MonotonicNowNs read it; the destructor
// puts the real clock back. Other threads never read the object itself, so a test may install or
// drop its clock while the audio and timer threads run.
class TestClock : public ClockSource {
public:
    explicit TestClock(int64_t startNs = 0);
    ~TestClock() override;
    int64_t NowNs() override;
    void Set(int64_t ns);
    void Advance(int64_t ns) { Set(NowNs() + ns); }
    void AdvanceMs(double ms) { Advance(static_cast<int64_t>(ms * 1e6)); }

private:
    std::atomic<int64_t> now_;
};

// The installed test clock, or nullptr when the real clock runs.
TestClock* CurrentTestClock();

}  // namespace tikora

// 32-bit milliseconds of the logical time; they wrap after about 49.7 days.
DWORD timeGetTime();
DWORD GetTickCount();
