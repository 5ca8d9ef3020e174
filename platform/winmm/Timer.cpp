#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "MMSystem.h"
#include "TimerService.h"
#include "VirtualTimer.h"

namespace tikora::winmm {

namespace {

std::atomic<UINT> g_nextId{0};
std::atomic<TimerService*> g_service{nullptr};

UINT NewId() {
    UINT id;
    do id = g_nextId.fetch_add(1) + 1;
    while (id == 0);
    return id;
}

// One thread sleeps to the earliest absolute deadline and runs callbacks one at a time.
class TimerThread : public TimerService {
public:
    static TimerThread& Get() {
        // Never destroyed: the thread may still be parked in a wait when the program ends.
        static TimerThread* t = new TimerThread;
        return *t;
    }

    UINT SetEvent(UINT id, int64_t dueNs, LPTIMECALLBACK proc, DWORD_PTR user) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
        byId_[id] = byDue_.emplace(dueNs, Timer{id, proc, user});
        cv_.notify_one();
        return id;
    }

    MMRESULT KillEvent(UINT id) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = byId_.find(id);
        if (it != byId_.end()) {
            byDue_.erase(it->second);
            byId_.erase(it);
            return TIMERR_NOERROR;
        }
        return id != 0 && id == running_ ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
    }

    void WaitForCallback(UINT id) override {
        if (std::this_thread::get_id() == threadId_) return;
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait(lock, [&] { return running_ == 0 || (id != 0 && running_ != id); });
    }

private:
    struct Timer {
        UINT id;
        LPTIMECALLBACK proc;
        DWORD_PTR user;
    };

    void Run() {
        threadId_ = std::this_thread::get_id();
        // Real-time scheduling where the system grants it, one step below the audio thread: on a
        // busy machine the callbacks still come on time, so the events they stamp reach the
        // stream before it plays their frames. Refused, the thread runs as before.
        sched_param param{};
        param.sched_priority = 9;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (byDue_.empty()) {
                cv_.wait(lock);
                continue;
            }
            auto first = byDue_.begin();
            int64_t due = first->first;
            int64_t now = MonotonicNowNs();
            if (now < due) {
                // A test clock moves without telling us, so it is polled.
                int64_t wait = CurrentTestClock() ? std::min<int64_t>(due - now, 1'000'000) : due - now;
                cv_.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::nanoseconds(wait));
                continue;
            }
            Timer t = first->second;
            byId_.erase(t.id);
            byDue_.erase(first);
            running_ = t.id;
            lock.unlock();
            {
                LogicalTimeScope scope(due);
                t.proc(t.id, 0, t.user, 0, 0);
            }
            lock.lock();
            running_ = 0;
            idle_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::condition_variable idle_;
    std::multimap<int64_t, Timer> byDue_;
    std::map<UINT, std::multimap<int64_t, Timer>::iterator> byId_;
    UINT running_ = 0;
    std::thread thread_;
    std::atomic<std::thread::id> threadId_{};
};

TimerService& Service() {
    TimerService* s = g_service.load(std::memory_order_acquire);
    return s ? *s : TimerThread::Get();
}

}  // namespace

void SetTimerService(TimerService* service) { g_service.store(service, std::memory_order_release); }
void WaitForTimerCallback(UINT id) { Service().WaitForCallback(id); }

VirtualTimer::VirtualTimer(int64_t startNs) : clock_(std::make_unique<TestClock>(startNs)) { SetTimerService(this); }

VirtualTimer::~VirtualTimer() {
    TimerService* self = this;
    g_service.compare_exchange_strong(self, nullptr);
}

UINT VirtualTimer::SetEvent(UINT id, int64_t dueNs, LPTIMECALLBACK proc, DWORD_PTR user) {
    std::lock_guard<std::mutex> lock(mutex_);
    timers_.emplace(dueNs, Timer{id, proc, user});
    return id;
}

MMRESULT VirtualTimer::KillEvent(UINT id) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.id == id) {
            timers_.erase(it);
            return TIMERR_NOERROR;
        }
    }
    return MMSYSERR_INVALPARAM;
}

bool VirtualTimer::FireFirst(int64_t limitNs) {
    Timer t{};
    int64_t due;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (timers_.empty() || timers_.begin()->first > limitNs) return false;
        due = timers_.begin()->first;
        t = timers_.begin()->second;
        timers_.erase(timers_.begin());
    }
    if (due > clock_->NowNs()) clock_->Set(due);
    LogicalTimeScope scope(due);
    t.proc(t.id, 0, t.user, 0, 0);
    return true;
}

int VirtualTimer::RunUntil(int64_t ns) {
    int fired = 0;
    while (FireFirst(ns)) ++fired;
    if (ns > clock_->NowNs()) clock_->Set(ns);
    return fired;
}

bool VirtualTimer::RunNext() { return FireFirst(INT64_MAX); }

size_t VirtualTimer::Pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return timers_.size();
}

std::optional<int64_t> VirtualTimer::NextDueNs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (timers_.empty()) return std::nullopt;
    return timers_.begin()->first;
}

}  // namespace tikora::winmm

using tikora::winmm::Service;

MMRESULT timeGetDevCaps(TIMECAPS* ptc, UINT cbtc) {
    if (!ptc || cbtc < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
    ptc->wPeriodMin = 1;
    ptc->wPeriodMax = 1000000;
    return TIMERR_NOERROR;
}

// The timer thread always sleeps to exact deadlines, so the period only needs validating.
MMRESULT timeBeginPeriod(UINT uPeriod) { return uPeriod >= 1 && uPeriod <= 1000000 ? TIMERR_NOERROR : TIMERR_NOCANDO; }
MMRESULT timeEndPeriod(UINT uPeriod) { return timeBeginPeriod(uPeriod); }

UINT timeSetEvent(UINT uDelay, UINT uResolution, LPTIMECALLBACK lpTimeProc, DWORD_PTR dwUser, UINT fuEvent) {
    (void)uResolution;
    if (!lpTimeProc || (fuEvent & TIME_PERIODIC) || uDelay > 1000000) return 0;
    int64_t due = tikora::LogicalNowNs() + static_cast<int64_t>(uDelay) * 1'000'000;
    return Service().SetEvent(tikora::winmm::NewId(), due, lpTimeProc, dwUser);
}

MMRESULT timeKillEvent(UINT uTimerID) {
    if (uTimerID == 0) return MMSYSERR_INVALPARAM;
    return Service().KillEvent(uTimerID);
}
