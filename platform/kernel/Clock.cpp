#include "Clock.h"

#include <atomic>
#include <chrono>

namespace tikora {

namespace {
// The installed test clock is only compared, never read through: other threads (the audio and
// timer threads) read its time from g_testNow, which outlives every test clock, so a test may
// install or drop its clock while those threads run. kRealClock in g_testNow means no test clock.
constexpr int64_t kRealClock = INT64_MIN;
std::atomic<TestClock*> g_testClock{nullptr};
std::atomic<int64_t> g_testNow{kRealClock};
thread_local bool t_hasLogical = false;
thread_local int64_t t_logical = 0;

int64_t SteadyNs() {
    // Counted from the first use so that 32-bit milliseconds start small and wrap far away.
    static const auto origin = std::chrono::steady_clock::now();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - origin).count();
}
}  // namespace

int64_t MonotonicNowNs() {
    int64_t now = g_testNow.load(std::memory_order_acquire);
    return now != kRealClock ? now : SteadyNs();
}

int64_t LogicalNowNs() { return t_hasLogical ? t_logical : MonotonicNowNs(); }
bool HasLogicalTime() { return t_hasLogical; }

LogicalTimeScope::LogicalTimeScope(int64_t ns) : hadPrevious_(t_hasLogical), previous_(t_logical) {
    t_hasLogical = true;
    t_logical = ns;
}

LogicalTimeScope::~LogicalTimeScope() {
    t_hasLogical = hadPrevious_;
    t_logical = previous_;
}

TestClock::TestClock(int64_t startNs) : now_(startNs) {
    g_testNow.store(startNs, std::memory_order_release);
    g_testClock.store(this, std::memory_order_release);
}

TestClock::~TestClock() {
    TestClock* self = this;
    if (g_testClock.compare_exchange_strong(self, nullptr)) g_testNow.store(kRealClock, std::memory_order_release);
}

int64_t TestClock::NowNs() { return now_.load(std::memory_order_acquire); }

void TestClock::Set(int64_t ns) {
    now_.store(ns, std::memory_order_release);
    if (g_testClock.load(std::memory_order_acquire) == this) g_testNow.store(ns, std::memory_order_release);
}

TestClock* CurrentTestClock() { return g_testClock.load(std::memory_order_acquire); }

}  // namespace tikora

DWORD timeGetTime() { return static_cast<DWORD>(static_cast<uint64_t>(tikora::LogicalNowNs() / 1000000)); }
DWORD GetTickCount() { return timeGetTime(); }
