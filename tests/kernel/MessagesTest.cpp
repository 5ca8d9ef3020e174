#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Clock.h"
#include "Messages.h"

using tikora::PostedMessage;
using tikora::RecordingWindow;

TEST(PostedMessages, ManyThreadsPostWhileTheUiThreadDispatches) {
    constexpr int kThreads = 6;
    constexpr int kPerThread = 2000;
    RecordingWindow a, b;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            ++ready;
            while (!go) std::this_thread::yield();
            for (int i = 0; i < kPerThread; ++i) {
                HWND target = (i % 3 == 0) ? b.Handle() : a.Handle();
                EXPECT_TRUE(PostMessageA(target, WM_APP + 100, static_cast<WPARAM>(t), static_cast<LPARAM>(i)));
            }
        });
    }
    while (ready < kThreads) std::this_thread::yield();
    go = true;
    int delivered = 0;
    while (delivered < kThreads * kPerThread) {
        tikora::WaitForPostedMessage(100'000'000);
        delivered += tikora::DispatchPostedMessages();
    }
    for (std::thread& p : posters) p.join();
    EXPECT_EQ(tikora::DispatchPostedMessages(), 0);

    // Per window and per posting thread: posting order and non-decreasing post times.
    for (RecordingWindow* w : {&a, &b}) {
        std::map<WPARAM, PostedMessage> last;
        int count = 0;
        for (const PostedMessage& m : w->Messages()) {
            ++count;
            EXPECT_EQ(m.hwnd, w->Handle());
            auto it = last.find(m.wParam);
            if (it != last.end()) {
                ASSERT_GT(m.lParam, it->second.lParam) << "thread " << m.wParam;
                ASSERT_GE(m.postTimeNs, it->second.postTimeNs) << "thread " << m.wParam;
            }
            last[m.wParam] = m;
        }
        EXPECT_EQ(count, w == &b ? kThreads * 667 : kThreads * 1333);
    }
}

TEST(PostedMessages, HandlersSeeThePostTimeAsTheirTime) {
    tikora::TestClock clock(5'000'000'000);  // 5000 ms
    RecordingWindow w;
    std::vector<DWORD> seen;
    w.OnMessage = [&](const PostedMessage& m) {
        seen.push_back(timeGetTime());
        seen.push_back(static_cast<DWORD>(GetMessageTime()));
        if (m.message == 1) PostMessageA(w.Handle(), 2, 0, 0);  // a reply carries the handled message's time
    };
    PostMessageA(w.Handle(), 1, 0, 0);
    clock.Set(9'000'000'000);
    EXPECT_EQ(tikora::DispatchPostedMessages(1), 1);
    clock.Set(12'000'000'000);
    EXPECT_EQ(tikora::DispatchPostedMessages(), 1);
    EXPECT_EQ(seen, (std::vector<DWORD>{5000, 5000, 5000, 5000}));
    EXPECT_EQ(timeGetTime(), 12000u);
}

TEST(PostedMessages, UnknownAndForgottenWindows) {
    EXPECT_FALSE(PostMessageA(nullptr, 1, 0, 0));
    HWND gone;
    {
        RecordingWindow w;
        gone = w.Handle();
        EXPECT_TRUE(IsWindow(gone));
        EXPECT_TRUE(PostMessageA(gone, 1, 0, 0));
        EXPECT_EQ(tikora::PendingPostedMessages(), 1);
    }
    EXPECT_FALSE(IsWindow(gone));
    EXPECT_EQ(tikora::PendingPostedMessages(), 0);  // queued messages for it were dropped
    EXPECT_FALSE(PostMessageA(gone, 1, 0, 0));
    RecordingWindow fresh;
    EXPECT_NE(fresh.Handle(), gone);  // handles are never reused
}
