#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "AudioStream.h"
#include "Clock.h"
#include "DrivenStream.h"
#include "FrameClock.h"
#include "GmSynth.h"
#include "WavSink.h"

using namespace tikora::audio;

namespace {

std::string TmpFile(const char* name) {
    const char* dir = std::getenv("TIKORA_TEST_TMP");
    std::string base = dir ? dir : TIKORA_BINARY_DIR "/test-tmp";
    std::system(("mkdir -p '" + base + "'").c_str());
    return base + "/" + name;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<size_t>(i)];
    return v;
}

// Writes one full-scale sample at a chosen stream frame.
class Impulse : public AudioSource {
public:
    std::atomic<int64_t> at{-1};
    void Render(float* out, int frames, int64_t first) override {
        int64_t f = at.load();
        if (f >= first && f < first + frames) out[(f - first) * 2] += 0.5f;
    }
};

TEST(GmSynthTiming, EventsSnapToTheNearestSynthBlock) {
    struct Case {
        int64_t frame, origin, expected;
    };
    constexpr int64_t B = GmSynth::kBlock;
    for (Case c :
         {Case{0, 0, 0}, Case{B / 2 - 1, 0, 0}, Case{B / 2, 0, B}, Case{3 * B + 4, 0, 3 * B}, Case{3 * B - 4, 0, 3 * B},
          Case{-(B / 2 - 1), 0, 0}, Case{-(B / 2 + 1), 0, -B}, Case{1000, 8, 8 + (992 + B / 2) / B * B}}) {
        EXPECT_EQ(GmSynth::BlockBoundary(c.frame, c.origin), c.expected) << c.frame << " from " << c.origin;
    }
}

// Clicks stamped every 3.7 ms from `first`, each placed when its time comes; a click's height is
// its number, so it is known wherever it sounds.
class Clicks : public AudioSource {
public:
    static constexpr float kStep = 1.0f / 4096;
    static constexpr int64_t kEveryNs = 3'700'000;
    int64_t first = 0;
    std::vector<int64_t> frames;
    int64_t Stamp(size_t n) const { return first + static_cast<int64_t>(n) * kEveryNs; }
    void Render(float* out, int count, int64_t from) override {
        for (size_t n = 0; n < frames.size(); ++n)
            if (frames[n] >= from && frames[n] < from + count) out[(frames[n] - from) * 2] += (n + 1) * kStep;
    }
};

// A device goes away, the null sink keeps time, and the device opens again. It is modelled as a
// server that takes a burst of blocks to fill its buffer, starts playing a moment later and then asks
// for a block each time one has played, sometimes late; the null sink's thread wakes late too. Each
// click stamped around the reopen that the device plays must sound at the device's steady delay after
// its time: the output latency plus the device's buffer less one block, as for every click later on.
TEST(DeviceHandOver, ClicksAroundTheReopenSoundAtTheDevicesSteadyDelay) {
    struct Case {
        int burst;          // blocks the device holds
        double startMs;     // from its first callback until it plays
        double lateMs[4];   // a repeating pattern of late callbacks
        double openMs;      // when it opens again, after it went away
        double nullLateMs;  // how late the null sink's thread wakes
    };
    constexpr double kNs = 1e9 / kStreamRate;
    constexpr int kBlock = 512;
    constexpr double kLatencyMs = 30;
    // Sample n of the device sounds at playFrom + n * kNs; callback k asks for the block from sample
    // k * kBlock, at first in a burst.
    struct Device {
        double open, playFrom;
        int burst;
        const double* lateMs;
        int k = 0;
        std::vector<float> out;
        int64_t Next() const {
            return std::llround(k < burst ? open + k * 5e4
                                          : playFrom + (k - burst + 1) * kBlock * kNs + lateMs[k % 4] * 1e6);
        }
        void Callback(DrivenStream& stream) {
            out.resize(static_cast<size_t>(++k) * kBlock * 2);
            stream.DeviceCallback(&out[out.size() - kBlock * 2], kBlock);
        }
    };
    for (const Case& c : {Case{5, 1.0, {0, 0.3, 0.1, 0.2}, 400.0, 0.1}, Case{3, 8.0, {0.5, 0, 4.0, 1.5}, 1210.7, 7.5},
                          Case{9, 0.2, {2.0, 0, 0.7, 9.0}, 505.3, 4.0}}) {
        SCOPED_TRACE(c.burst);
        tikora::TestClock clock;
        DrivenStream stream;
        Clicks clicks;
        stream.AddSource(&clicks);
        // The stream starts on a device that goes away 0.6 s later.
        constexpr double kOnTime[4] = {};
        const int64_t lost = 1'600'000'000, open = lost + std::llround(c.openMs * 1e6);
        for (Device first{1e9, 1.001e9, 2, kOnTime, 0, {}}; first.Next() < lost; first.Callback(stream))
            clock.Set(first.Next());
        clock.Set(lost);
        stream.LoseDevice();
        Device device{static_cast<double>(open), open + c.startMs * 1e6, c.burst, c.lateMs, 0, {}};
        clicks.first = open - 40'000'000;
        std::vector<float> block(DrivenStream::kNullSinkFrames * 2);
        bool opened = false;
        for (int64_t nullWake = lost;;) {
            const int64_t next = clicks.Stamp(clicks.frames.size());
            const int64_t stamp = next < open + 500'000'000 ? next : INT64_MAX;
            const int64_t t = std::min({stamp, nullWake, opened ? device.Next() : open});
            if (t > open + 700'000'000) break;
            clock.Set(t);
            if (t == stamp) {
                clicks.frames.push_back(stream.FrameForTime(t));
            } else if (t == nullWake) {
                const int64_t wait = stream.NullSinkTurn(block.data());
                if (wait != 0)
                    nullWake = wait < 0 ? INT64_MAX
                                        : t + std::min<int64_t>(wait, 2'000'000) + std::llround(c.nullLateMs * 1e6);
            } else if (!opened) {
                stream.ReopenDevice();
                opened = true;
            } else {
                device.Callback(stream);
            }
        }
        const double steadyDelayMs = kLatencyMs + (c.burst - 1) * kBlock * 1e3 / kStreamRate;
        int heard = 0;
        for (size_t sample = 0; sample < device.out.size() / 2; ++sample) {
            if (device.out[sample * 2] == 0) continue;
            ++heard;
            const double stamp =
                static_cast<double>(clicks.Stamp(std::lround(device.out[sample * 2] / Clicks::kStep) - 1));
            EXPECT_NEAR((device.playFrom + static_cast<double>(sample) * kNs - stamp) / 1e6, steadyDelayMs, 0.5)
                << "stamped " << (stamp - static_cast<double>(open)) / 1e6 << " ms after the reopen";
        }
        EXPECT_GT(heard, 80);
    }
}

// Waits until the null sink has rendered `frames`. The limit only turns a sink that stopped into a
// failure instead of a hang; a busy machine slows the wait down but never ends it.
bool WaitForFrames(int64_t frames) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (FramesRendered() < frames) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::yield();
    }
    return true;
}

// Moves the test clock in 1 ms steps, each time waiting until the null sink has rendered every
// block that is due: the stream runs on the test's time, whatever the machine is doing.
void RunStream(tikora::TestClock& clock, int64_t originNs, int64_t ns) {
    for (int64_t end = clock.NowNs() + ns; clock.NowNs() < end;) {
        clock.Advance(1'000'000);
        const int64_t due = (clock.NowNs() - originNs) * SampleRate() / 1'000'000'000 + 1;
        ASSERT_TRUE(WaitForFrames(due)) << "the null sink stopped at frame " << FramesRendered();
    }
}

// One process-wide stream: the whole sound path is checked in one test, writing a WAV file.
TEST(AudioStream, WavSinkRecordsSourcesAtTheirStampedTimes) {
    const std::string path = TmpFile("audio_device_stream.wav");
    setenv("TIKORA_AUDIO_FILE", path.c_str(), 1);
    const int64_t origin = 1'000'000'000;
    tikora::TestClock clock(origin);  // the null sink starts on it and renders as it moves
    EXPECT_TRUE(UsingNullSink());
    // The sink's thread takes its origin from the clock when it first runs, which on a busy machine
    // may be well after it was started: the clock stands still until its first block is out.
    ASSERT_TRUE(WaitForFrames(1));
    EXPECT_EQ(SampleRate(), 48000);
    EXPECT_EQ(OutputLatencyNs(), 30'000'000);
    SetMasterGain(3.0f);
    EXPECT_EQ(MasterGain(), 1.0f);

    Impulse impulse;
    AddSource(&impulse);
    GmSynth synth;
    synth.Attach();
    struct StopStream {  // before the sources go, should the test end early
        ~StopStream() { Shutdown(); }
    } stopStream;
    ASSERT_NO_FATAL_FAILURE(RunStream(clock, origin, 50'000'000));
    const int64_t t = clock.NowNs() + 20'000'000;
    // Frames are counted from the sink's start; an event sounds the output latency after its time.
    const int64_t impulseFrame = (t + 30'000'000 - origin) * 48 / 1'000'000;
    EXPECT_EQ(FrameForTime(t), impulseFrame);
    impulse.at = impulseFrame;
    ASSERT_TRUE(synth.ShortMsg(0x7F4C99, t + 100'000'000));  // wood block, 100 ms later
    const int64_t noteFrame = impulseFrame + 4800;
    ASSERT_NO_FATAL_FAILURE(RunStream(clock, origin, 400'000'000));
    // A note due long before the stream got to it (the device was away) is left out.
    const int64_t staleFrame = FramesRendered();
    ASSERT_TRUE(synth.ShortMsg(0x7F4C99, clock.NowNs() - 200'000'000));
    ASSERT_NO_FATAL_FAILURE(RunStream(clock, origin, 200'000'000));
    // After a reset (the start of playing) the first beat sounds however late it comes, each of its
    // notes (the first of them barely audible here); a late note of a later beat is left out again.
    EXPECT_TRUE(synth.Reset(clock.NowNs()));
    ASSERT_NO_FATAL_FAILURE(RunStream(clock, origin, 20'000'000));
    const int64_t firstBeatFrame = FramesRendered();
    const int64_t firstBeatNs = clock.NowNs() - 300'000'000;
    ASSERT_TRUE(synth.ShortMsg(0x014C99, firstBeatNs));
    ASSERT_TRUE(synth.ShortMsg(0x7F4D99, firstBeatNs));
    ASSERT_NO_FATAL_FAILURE(RunStream(clock, origin, 150'000'000));
    const int64_t laterBeatFrame = FramesRendered();
    ASSERT_TRUE(synth.ShortMsg(0x7F4C99, firstBeatNs + 100'000'000));
    ASSERT_NO_FATAL_FAILURE(RunStream(clock, origin, 250'000'000));
    RemoveSource(&impulse);
    Shutdown();

    const std::vector<uint8_t> b = ReadBytes(path);
    ASSERT_GE(b.size(), 44u);
    std::vector<int16_t> left;
    for (size_t i = 44; i + 3 < b.size(); i += 4) left.push_back(static_cast<int16_t>(Le(b, i, 2)));
    ASSERT_EQ(Le(b, 40, 4), left.size() * 4);
    ASSERT_GT(static_cast<int64_t>(left.size()), noteFrame + 4800);
    // The stream's frames are the file's samples: the impulse lands exactly where it was placed.
    EXPECT_EQ(left[static_cast<size_t>(impulseFrame)], 16384);
    if (!synth.HasSoundFont()) GTEST_SKIP() << "no General MIDI sound font installed";
    int64_t onset = -1;
    for (int64_t i = impulseFrame + 1; i < static_cast<int64_t>(left.size()) && onset < 0; ++i)
        if (std::abs(left[static_cast<size_t>(i)]) > 200) onset = i;
    // Within half a synth block, plus the note's own attack; the filter's half-frame rounding aside.
    EXPECT_GE(onset, noteFrame - GmSynth::kBlock / 2 - 1);
    EXPECT_LE(onset, noteFrame + GmSynth::kBlock / 2 + 48 + 1);
    int peak = 0;
    for (size_t i = static_cast<size_t>(onset); i < static_cast<size_t>(onset) + 4800; ++i)
        peak = std::max(peak, std::abs(int{left[i]}));
    EXPECT_GT(peak, 32768 / 8) << "clicks must be clearly audible (above -18 dBFS)";
    int stale = 0;
    for (size_t i = static_cast<size_t>(staleFrame); i < static_cast<size_t>(staleFrame) + 4800; ++i)
        stale = std::max(stale, std::abs(int{left[i]}));
    EXPECT_LT(stale, peak / 20);
    ASSERT_GT(static_cast<int64_t>(left.size()), laterBeatFrame + 4800);
    int first = 0, later = 0;
    for (int64_t i = firstBeatFrame; i < firstBeatFrame + 4800; ++i)
        first = std::max(first, std::abs(int{left[static_cast<size_t>(i)]}));
    for (int64_t i = laterBeatFrame; i < laterBeatFrame + 4800; ++i)
        later = std::max(later, std::abs(int{left[static_cast<size_t>(i)]}));
    EXPECT_GT(first, peak / 2);
    EXPECT_LT(later, peak / 20);
}

// Every field of the header, against the values a 16-bit stereo file at 44.1 kHz must carry.
TEST(WavSinkFile, HeaderDescribesTheData) {
    const std::string path = TmpFile("wavsink_header.wav");
    {
        WavSink sink;
        ASSERT_TRUE(sink.Open(path, 44100));
        float frames[6] = {1.5f, -1.5f, 0.5f, -0.5f, 0, 0};
        sink.Write(frames, 3);
    }
    const std::vector<uint8_t> b = ReadBytes(path);
    ASSERT_EQ(b.size(), 44u + 12u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 16), std::string("RIFF\x30\0\0\0WAVEfmt ", 16));
    struct Field {
        size_t at;
        int bytes;
        uint32_t value;
    };
    for (Field f : {Field{16, 4, 16}, Field{20, 2, 1}, Field{22, 2, 2}, Field{24, 4, 44100}, Field{28, 4, 176400},
                    Field{32, 2, 4}, Field{34, 2, 16}, Field{36, 4, 0x61746164}, Field{40, 4, 12}})
        EXPECT_EQ(Le(b, f.at, f.bytes), f.value) << "at " << f.at;
    EXPECT_EQ(static_cast<int16_t>(Le(b, 44, 2)), 32767);  // clipped
    EXPECT_EQ(static_cast<int16_t>(Le(b, 46, 2)), -32767);
    WavSink bad;
    EXPECT_FALSE(bad.Open("/nonexistent-dir/x.wav", 48000));
}

}  // namespace
