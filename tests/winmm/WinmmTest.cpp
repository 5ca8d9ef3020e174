#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "MMSystem.h"
#include "MidiOutDevices.h"
#include "VirtualTimer.h"

using namespace tikora::winmm;

namespace {

struct Fired {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<UINT, int64_t>> calls;  // id, logical time
    void Add(UINT id) {
        std::lock_guard<std::mutex> l(m);
        calls.push_back({id, tikora::LogicalNowNs()});
        cv.notify_all();
    }
    bool WaitFor(size_t n) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, std::chrono::seconds(5), [&] { return calls.size() >= n; });
    }
};

void Record(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) { reinterpret_cast<Fired*>(user)->Add(id); }

TEST(MultimediaTimer, OneShotsFireOnceInOrderAtTheirDueTime) {
    Fired fired;
    int64_t t0 = tikora::MonotonicNowNs();
    UINT late, early;
    {
        tikora::LogicalTimeScope scope(t0);
        late = timeSetEvent(40, 1, Record, reinterpret_cast<DWORD_PTR>(&fired), TIME_ONESHOT);
        early = timeSetEvent(20, 1, Record, reinterpret_cast<DWORD_PTR>(&fired), TIME_ONESHOT);
    }
    UINT killed = timeSetEvent(30, 1, Record, reinterpret_cast<DWORD_PTR>(&fired), TIME_ONESHOT);
    ASSERT_NE(late, 0u);
    ASSERT_NE(early, 0u);
    ASSERT_NE(late, early);
    EXPECT_EQ(timeKillEvent(killed), TIMERR_NOERROR);
    ASSERT_TRUE(fired.WaitFor(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    std::lock_guard<std::mutex> l(fired.m);
    ASSERT_EQ(fired.calls.size(), 2u);
    EXPECT_EQ(fired.calls[0], std::make_pair(early, t0 + 20'000'000));
    EXPECT_EQ(fired.calls[1], std::make_pair(late, t0 + 40'000'000));
    EXPECT_EQ(timeKillEvent(early), MMSYSERR_INVALPARAM);  // fired and gone
    EXPECT_EQ(timeKillEvent(0), MMSYSERR_INVALPARAM);
}

TEST(MultimediaTimer, KillingARunningCallbackDoesNotWait) {
    struct Blocked {
        std::mutex m;
        std::condition_variable cv;
        bool entered = false, release = false;
    } b;
    auto proc = [](UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
        auto* b = reinterpret_cast<Blocked*>(user);
        std::unique_lock<std::mutex> l(b->m);
        b->entered = true;
        b->cv.notify_all();
        b->cv.wait(l, [&] { return b->release; });
    };
    UINT id = timeSetEvent(1, 1, proc, reinterpret_cast<DWORD_PTR>(&b), TIME_ONESHOT);
    {
        std::unique_lock<std::mutex> l(b.m);
        ASSERT_TRUE(b.cv.wait_for(l, std::chrono::seconds(5), [&] { return b.entered; }));
    }
    EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);  // returns while the callback still runs
    {
        std::lock_guard<std::mutex> l(b.m);
        b.release = true;
    }
    b.cv.notify_all();
    WaitForTimerCallback(id);
}

TEST(MultimediaTimer, CapsPeriodsAndRefusals) {
    TIMECAPS caps{};
    ASSERT_EQ(timeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
    EXPECT_EQ(caps.wPeriodMin, 1u);
    EXPECT_EQ(timeGetDevCaps(nullptr, sizeof caps), TIMERR_NOCANDO);
    EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
    EXPECT_EQ(timeSetEvent(10, 1, nullptr, 0, TIME_ONESHOT), 0u);
    EXPECT_EQ(timeSetEvent(10, 1, Record, 0, TIME_PERIODIC), 0u);
}

TEST(VirtualTimerService, FiresInDueOrderWithTheClockAtEachDueTime) {
    VirtualTimer vt(1'000'000'000);
    struct Log {
        std::vector<std::pair<UINT, DWORD>> calls;  // id, timeGetTime inside
        UINT rearmed = 0;
    } log;
    static auto note = [](UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
        reinterpret_cast<Log*>(user)->calls.push_back({id, timeGetTime()});
    };
    auto proc = [](UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
        auto* log = reinterpret_cast<Log*>(user);
        note(id, 0, user, 0, 0);
        if (log->calls.size() == 1) log->rearmed = timeSetEvent(5, 1, note, user, TIME_ONESHOT);
    };
    UINT b = timeSetEvent(20, 1, proc, reinterpret_cast<DWORD_PTR>(&log), TIME_ONESHOT);
    UINT a = timeSetEvent(10, 1, proc, reinterpret_cast<DWORD_PTR>(&log), TIME_ONESHOT);
    UINT c = timeSetEvent(50, 1, proc, reinterpret_cast<DWORD_PTR>(&log), TIME_ONESHOT);
    EXPECT_EQ(vt.Pending(), 3u);
    EXPECT_EQ(timeKillEvent(c), TIMERR_NOERROR);
    EXPECT_EQ(vt.RunForMs(30), 3);
    ASSERT_EQ(log.calls.size(), 3u);
    EXPECT_EQ(log.calls[0], std::make_pair(a, DWORD{1010}));
    EXPECT_EQ(log.calls[1], std::make_pair(log.rearmed, DWORD{1015}));  // armed inside a callback
    EXPECT_EQ(log.calls[2], std::make_pair(b, DWORD{1020}));
    EXPECT_EQ(timeGetTime(), 1030u);
    EXPECT_FALSE(vt.RunNext());
}

TEST(MidiOut, DeviceListFromTheSequencer) {
    setenv("TIKORA_AUDIO_SINK", "null", 1);
    auto fake = std::make_shared<RecordingMidiOut>();
    std::vector<SeqPortInfo> ports = {
        {129, 0, "Zeta Synth", "Zeta Synth Port"},
        {128, 1, "Alpha", "Alpha B"},
        {128, 0, "Alpha", "Alpha A"},
        {130, 0, "Long", "A port name that is far longer than thirty-one characters"},
        {131, 0, "Long2", "A port name that is far longer than thirty-one characters too"},
    };
    std::vector<SeqPortInfo> opened;
    SetSequencerBackend({[&] { return ports; },
                         [&](const SeqPortInfo& info, MMRESULT* err) {
                             opened.push_back(info);
                             return fake->Open(err);
                         }});
    ASSERT_EQ(midiOutGetNumDevs(), 6u);
    std::vector<std::string> names;
    for (UINT i = 0; i < 6; ++i) {
        MIDIOUTCAPSA caps;
        ASSERT_EQ(midiOutGetDevCapsA(i, &caps, sizeof caps), MMSYSERR_NOERROR);
        names.push_back(caps.szPname);
        EXPECT_LE(std::strlen(caps.szPname), 31u);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Tikora GM Synthesizer", "Alpha A", "Alpha B",
                                               "A port name that is far longer ", "A port name that is far long #2",
                                               "Zeta Synth Port"}));
    MIDIOUTCAPSA caps;
    EXPECT_EQ(midiOutGetDevCapsA(6, &caps, sizeof caps), MMSYSERR_BADDEVICEID);

    HMIDIOUT h = nullptr;
    ASSERT_EQ(midiOutOpen(&h, 2, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].portName, "Alpha B");
    {
        tikora::LogicalTimeScope scope(123456);
        EXPECT_EQ(midiOutShortMsg(h, 0x7F3C90), MMSYSERR_NOERROR);
        EXPECT_EQ(midiOutReset(h), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(fake->Sent().size(), 2u);
    EXPECT_EQ(fake->Sent()[0].ns, 123456);
    EXPECT_EQ(fake->Sent()[0].msg, 0x7F3C90u);
    EXPECT_TRUE(fake->Sent()[1].reset);
    EXPECT_EQ(midiOutClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midiOutShortMsg(h, 0x90), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midiOutOpen(&h, 9, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);

    // Device 0, the built-in synthesizer, opens with or without a sound font.
    ASSERT_EQ(midiOutOpen(&h, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(h, 0x7F2599), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutReset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(h), MMSYSERR_NOERROR);

    // Without a sequencer only the synthesizer is left.
    SetSequencerBackend({[] { return std::vector<SeqPortInfo>{}; }, nullptr});
    EXPECT_EQ(midiOutGetNumDevs(), 1u);
    SetSequencerBackend({});
}

TEST(MidiOut, ScopedDevicesReplaceTheList) {
    auto a = std::make_shared<RecordingMidiOut>("A");
    {
        ScopedMidiOutDevices scope({a});
        EXPECT_EQ(midiOutGetNumDevs(), 1u);
        a->failOpen = true;
        HMIDIOUT h = nullptr;
        EXPECT_EQ(midiOutOpen(&h, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
        EXPECT_EQ(h, nullptr);
    }
    EXPECT_GE(midiOutGetNumDevs(), 1u);
}

}  // namespace
