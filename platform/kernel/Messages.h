#pragma once
// Window handles and posted messages. Any thread may post; the UI thread (or a stand-in thread in
// tests) delivers them in order with DispatchPostedMessages. While a message is handled, the
// handling thread's logical time is the message's post time, and GetMessageTime returns it.
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "WinTypes.h"

namespace tikora {

struct PostedMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    int64_t postTimeNs = 0;  // logical time of the posting thread when it posted
};

class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    virtual void HandlePostedMessage(const PostedMessage& m) = 0;
};

// Registers a target and returns its new handle (never reused while the program runs).
HWND RegisterWindow(MessageTarget* target);
// Forgets the handle; messages still queued for it are dropped.
void UnregisterWindow(HWND hwnd);

// Called after every successful post, from the posting thread: the forms layer wakes the UI
// thread's event loop with it. Pass an empty function to remove it.
void SetPostedMessageWakeup(std::function<void()> wakeup);

// Delivers queued messages in posting order, at most `max` (all when negative). Returns how many.
int DispatchPostedMessages(int max = -1);
// Waits until a message is queued or the timeout (real nanoseconds) passes. True when one is queued.
bool WaitForPostedMessage(int64_t timeoutNs);
int PendingPostedMessages();

// A fake window for tests: it records every message delivered to it.
class RecordingWindow : public MessageTarget {
public:
    RecordingWindow();
    ~RecordingWindow() override;
    HWND Handle() const { return hwnd_; }
    void HandlePostedMessage(const PostedMessage& m) override;
    std::vector<PostedMessage> Messages() const;
    void Clear();
    std::function<void(const PostedMessage&)> OnMessage;  // optional, runs while delivering

private:
    HWND hwnd_;
    mutable std::mutex mutex_;
    std::vector<PostedMessage> messages_;
};

}  // namespace tikora

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND hwnd);
// Milliseconds (timeGetTime's scale) at which the message being handled was posted.
LONG GetMessageTime();
