#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Clock.h"
#include "Messages.h"

using tikora::LogicalTimeScope;
using tikora::PostedMessage;
using tikora::RecordingWindow;
using tikora::TestClock;

TEST(Clock, TestClockAndLogicalTimeDriveTheMillisecondCounters) {
    {
        TestClock clock(1'000'000);
        EXPECT_EQ(tikora::CurrentTestClock(), &clock);
        EXPECT_EQ(timeGetTime(), 1u);
        for (int i = 0; i < 4; ++i) clock.AdvanceMs(0.4);  // sub-millisecond steps add up; the counters truncate
        EXPECT_EQ(tikora::MonotonicNowNs(), 2'600'000);
        EXPECT_EQ(timeGetTime(), 2u);
        EXPECT_EQ(GetTickCount(), 2u);
        // 32-bit milliseconds wrap after 2^32 ms; differences survive the wrap.
        clock.Set((int64_t{1} << 32) * 1'000'000 - 1'000'000);
        EXPECT_EQ(timeGetTime(), 0xFFFFFFFFu);
        clock.Advance(6'000'000);
        EXPECT_EQ(static_cast<DWORD>(timeGetTime() - 0xFFFFFFFFu), 6u);
    }
    EXPECT_EQ(tikora::CurrentTestClock(), nullptr);
    int64_t a = tikora::MonotonicNowNs();
    EXPECT_LE(a, tikora::MonotonicNowNs());

    // Logical time scopes nest, per thread.
    TestClock clock(100'000'000);
    EXPECT_FALSE(tikora::HasLogicalTime());
    {
        LogicalTimeScope due(50'000'000);
        clock.Advance(1'000'000'000);  // the thread woke late: its time is still the due time
        EXPECT_TRUE(tikora::HasLogicalTime());
        EXPECT_EQ(timeGetTime(), 50u);
        {
            LogicalTimeScope inner(70'000'000);
            EXPECT_EQ(tikora::LogicalNowNs(), 70'000'000);
        }
        EXPECT_EQ(timeGetTime(), 50u);
        std::pair<DWORD, bool> other;  // another thread's time and whether it has a logical one
        std::thread([&] { other = {timeGetTime(), tikora::HasLogicalTime()}; }).join();
        EXPECT_EQ(other, std::make_pair(DWORD{1100}, false));
    }
    EXPECT_FALSE(tikora::HasLogicalTime());
    EXPECT_EQ(timeGetTime(), 1100u);
}

// The audio thread keeps reading the clock while tests put theirs in place and drop it again.
TEST(Clock, TestClocksComeAndGoWhileAnotherThreadReads) {
    constexpr int64_t kTestTime = int64_t{1} << 60;  // far beyond the real clock
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!stop.load()) {
            int64_t now = tikora::MonotonicNowNs();
            if (now >= kTestTime && (now - kTestTime) % 1000 != 0) bad.fetch_add(1);
        }
    });
    for (int i = 0; i < 2000; ++i) TestClock(kTestTime + i * 1000).Advance(1000);
    stop = true;
    reader.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_LT(tikora::MonotonicNowNs(), kTestTime);
}

TEST(PostedMessages, ManyThreadsPostWhileTheUiThreadDispatches) {
    constexpr int kThreads = 6, kPerThread = 2000;
    RecordingWindow a, b;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            ++ready;
            while (!go) std::this_thread::yield();
            for (int i = 0; i < kPerThread; ++i)
                EXPECT_TRUE(PostMessageA((i % 3 == 0) ? b.Handle() : a.Handle(), WM_APP, WPARAM(t), LPARAM(i)));
        });
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
        for (const PostedMessage& m : w->Messages()) {
            EXPECT_EQ(m.hwnd, w->Handle());
            if (auto it = last.find(m.wParam); it != last.end()) {
                ASSERT_GT(m.lParam, it->second.lParam) << "thread " << m.wParam;
                ASSERT_GE(m.postTimeNs, it->second.postTimeNs) << "thread " << m.wParam;
            }
            last[m.wParam] = m;
        }
        EXPECT_EQ(w->Messages().size(), size_t(w == &b ? kThreads * 667 : kThreads * 1333));
    }
}

TEST(PostedMessages, HandlersSeeThePostTimeAndGoneWindowsGetNothing) {
    tikora::TestClock clock(5'000'000'000);  // 5000 ms
    RecordingWindow w;
    std::vector<DWORD> seen;
    w.OnMessage = [&](const PostedMessage& m) {
        seen.insert(seen.end(), {timeGetTime(), static_cast<DWORD>(GetMessageTime())});
        if (m.message == 1) PostMessageA(w.Handle(), 2, 0, 0);  // a reply carries the handled message's time
    };
    PostMessageA(w.Handle(), 1, 0, 0);
    clock.Set(9'000'000'000);
    EXPECT_EQ(tikora::DispatchPostedMessages(1), 1);
    clock.Set(12'000'000'000);
    EXPECT_EQ(tikora::DispatchPostedMessages(), 1);
    EXPECT_EQ(seen, (std::vector<DWORD>{5000, 5000, 5000, 5000}));
    EXPECT_EQ(timeGetTime(), 12000u);

    // Unknown and forgotten windows.
    EXPECT_FALSE(PostMessageA(nullptr, 1, 0, 0));
    std::optional<RecordingWindow> passing(std::in_place);
    HWND gone = passing->Handle();
    EXPECT_TRUE(IsWindow(gone) && PostMessageA(gone, 1, 0, 0));
    EXPECT_EQ(tikora::PendingPostedMessages(), 1);
    passing.reset();
    EXPECT_FALSE(IsWindow(gone));
    EXPECT_EQ(tikora::PendingPostedMessages(), 0);  // queued messages for it were dropped
    EXPECT_FALSE(PostMessageA(gone, 1, 0, 0));
    RecordingWindow fresh;
    EXPECT_NE(fresh.Handle(), gone);  // handles are never reused
}
