#include "Messages.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <unordered_map>

#include "Clock.h"

namespace tikora {

namespace {
struct Registry {
    std::mutex mutex;
    std::condition_variable posted;
    std::unordered_map<uintptr_t, MessageTarget*> windows;
    std::deque<PostedMessage> queue;
    uintptr_t nextHandle = 0x10000;
    std::function<void()> wakeup;
};

Registry& R() {
    static Registry r;
    return r;
}

thread_local int64_t t_messageTimeNs = 0;
}  // namespace

HWND RegisterWindow(MessageTarget* target) {
    Registry& r = R();
    std::lock_guard lock(r.mutex);
    uintptr_t h = r.nextHandle;
    r.nextHandle += 4;
    r.windows[h] = target;
    return reinterpret_cast<HWND>(h);
}

void UnregisterWindow(HWND hwnd) {
    Registry& r = R();
    std::lock_guard lock(r.mutex);
    r.windows.erase(reinterpret_cast<uintptr_t>(hwnd));
    std::erase_if(r.queue, [hwnd](const PostedMessage& m) { return m.hwnd == hwnd; });
}

void SetPostedMessageWakeup(std::function<void()> wakeup) {
    Registry& r = R();
    std::lock_guard lock(r.mutex);
    r.wakeup = std::move(wakeup);
}

int DispatchPostedMessages(int max) {
    Registry& r = R();
    int delivered = 0;
    while (max < 0 || delivered < max) {
        PostedMessage m;
        MessageTarget* target = nullptr;
        {
            std::lock_guard lock(r.mutex);
            if (r.queue.empty()) break;
            m = r.queue.front();
            r.queue.pop_front();
            auto it = r.windows.find(reinterpret_cast<uintptr_t>(m.hwnd));
            if (it == r.windows.end()) continue;
            target = it->second;
        }
        LogicalTimeScope scope(m.postTimeNs);
        int64_t saved = t_messageTimeNs;
        t_messageTimeNs = m.postTimeNs;
        try {
            target->HandlePostedMessage(m);
        } catch (...) {
            t_messageTimeNs = saved;
            throw;
        }
        t_messageTimeNs = saved;
        ++delivered;
    }
    return delivered;
}

bool WaitForPostedMessage(int64_t timeoutNs) {
    Registry& r = R();
    std::unique_lock lock(r.mutex);
    return r.posted.wait_for(lock, std::chrono::nanoseconds(timeoutNs), [&] { return !r.queue.empty(); });
}

int PendingPostedMessages() {
    Registry& r = R();
    std::lock_guard lock(r.mutex);
    return static_cast<int>(r.queue.size());
}

RecordingWindow::RecordingWindow() : hwnd_(RegisterWindow(this)) {}
RecordingWindow::~RecordingWindow() { UnregisterWindow(hwnd_); }

void RecordingWindow::HandlePostedMessage(const PostedMessage& m) {
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(m);
    }
    if (OnMessage) OnMessage(m);
}

std::vector<PostedMessage> RecordingWindow::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

void RecordingWindow::Clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

}  // namespace tikora

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    using namespace tikora;
    Registry& r = R();
    std::function<void()> wakeup;
    {
        std::lock_guard lock(r.mutex);
        if (!r.windows.count(reinterpret_cast<uintptr_t>(hwnd))) return FALSE;
        r.queue.push_back(PostedMessage{hwnd, msg, wParam, lParam, LogicalNowNs()});
        wakeup = r.wakeup;
    }
    r.posted.notify_all();
    if (wakeup) wakeup();
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    using namespace tikora;
    Registry& r = R();
    std::lock_guard lock(r.mutex);
    return r.windows.count(reinterpret_cast<uintptr_t>(hwnd)) ? TRUE : FALSE;
}

LONG GetMessageTime() { return static_cast<LONG>(static_cast<uint32_t>(tikora::t_messageTimeNs / 1000000)); }
