#include <atomic>
#include <cstdint>
#include <thread>

#include <gtest/gtest.h>

#include "Clock.h"

using tikora::LogicalTimeScope;
using tikora::TestClock;

TEST(Clock, TestClockDrivesTheMillisecondCounters) {
    {
        TestClock clock(1'000'000);
        EXPECT_EQ(tikora::CurrentTestClock(), &clock);
        EXPECT_EQ(timeGetTime(), 1u);
        // Sub-millisecond steps accumulate; the counters truncate.
        for (int i = 0; i < 4; ++i) clock.AdvanceMs(0.4);
        EXPECT_EQ(tikora::MonotonicNowNs(), 2'600'000);
        EXPECT_EQ(timeGetTime(), 2u);
        EXPECT_EQ(GetTickCount(), timeGetTime());

        // 32-bit milliseconds wrap after 2^32 ms.
        clock.Set((int64_t{1} << 32) * 1'000'000 - 1'000'000);
        EXPECT_EQ(timeGetTime(), 0xFFFFFFFFu);
        clock.Advance(6'000'000);
        EXPECT_EQ(timeGetTime(), 5u);
        EXPECT_EQ(static_cast<DWORD>(timeGetTime() - 0xFFFFFFFFu), 6u);  // differences survive the wrap
    }
    EXPECT_EQ(tikora::CurrentTestClock(), nullptr);
    int64_t a = tikora::MonotonicNowNs();
    int64_t b = tikora::MonotonicNowNs();
    EXPECT_LE(a, b);
}

TEST(Clock, LogicalTimeScopesNestPerThread) {
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
        DWORD other = 0;
        bool otherHas = true;
        std::thread([&] {
            other = timeGetTime();
            otherHas = tikora::HasLogicalTime();
        }).join();
        EXPECT_EQ(other, 1100u);
        EXPECT_FALSE(otherHas);
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
    for (int i = 0; i < 2000; ++i) {
        TestClock clock(kTestTime + i * 1000);
        clock.Advance(1000);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_LT(tikora::MonotonicNowNs(), kTestTime);
}
