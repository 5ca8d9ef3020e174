#include <gtest/gtest.h>

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

// Left channel of a 16-bit stereo file written by WavSink (44-byte header).
std::vector<int16_t> ReadLeft(const std::string& path, uint32_t* dataSize) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> left;
    if (b.size() < 44) return left;
    *dataSize = b[40] | b[41] << 8 | b[42] << 16 | static_cast<uint32_t>(b[43]) << 24;
    for (size_t i = 44; i + 3 < b.size(); i += 4) left.push_back(static_cast<int16_t>(b[i] | b[i + 1] << 8));
    return left;
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

// One process-wide stream: the whole sound path is checked in one test, writing a WAV file.
TEST(AudioStream, WavSinkRecordsSourcesAtTheirStampedTimes) {
    const std::string path = TmpFile("audio_device_stream.wav");
    setenv("TIKORA_AUDIO_FILE", path.c_str(), 1);
    EXPECT_TRUE(UsingNullSink());
    EXPECT_EQ(SampleRate(), 48000);
    EXPECT_EQ(OutputLatencyNs(), 30'000'000);
    SetMasterGain(3.0f);
    EXPECT_EQ(MasterGain(), 1.0f);

    Impulse impulse;
    AddSource(&impulse);
    GmSynth synth;
    synth.Attach();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int64_t t = tikora::MonotonicNowNs() + 20'000'000;
    int64_t impulseFrame = FrameForTime(t);
    impulse.at = impulseFrame;
    ASSERT_TRUE(synth.ShortMsg(0x7F4C99, t + 100'000'000));  // wood block, 100 ms later
    int64_t noteFrame = FrameForTime(t + 100'000'000);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_TRUE(synth.Reset(tikora::MonotonicNowNs()));
    RemoveSource(&impulse);
    Shutdown();

    uint32_t dataSize = 0;
    std::vector<int16_t> left = ReadLeft(path, &dataSize);
    ASSERT_EQ(dataSize, left.size() * 4);
    ASSERT_GT(static_cast<int64_t>(left.size()), noteFrame + 4800);
    // The stream's frames are the file's samples: the impulse lands exactly where it was placed.
    EXPECT_EQ(left[static_cast<size_t>(impulseFrame)], 16384);
    if (!synth.HasSoundFont()) GTEST_SKIP() << "no General MIDI sound font installed";
    int64_t onset = -1;
    for (int64_t i = impulseFrame + 1; i < static_cast<int64_t>(left.size()); ++i) {
        if (std::abs(left[static_cast<size_t>(i)]) > 200) {
            onset = i;
            break;
        }
    }
    // Within half a synth block before, and the attack's first audible samples after.
    // Within half a synth block, plus the note's own attack; the filter's half-frame rounding aside.
    EXPECT_GE(onset, noteFrame - GmSynth::kBlock / 2 - 1);
    EXPECT_LE(onset, noteFrame + GmSynth::kBlock / 2 + 48 + 1);
    int peak = 0;
    for (size_t i = static_cast<size_t>(onset); i < static_cast<size_t>(onset) + 4800; ++i)
        peak = std::max(peak, std::abs(int{left[i]}));
    EXPECT_GT(peak, 32768 / 8) << "clicks must be clearly audible (above -18 dBFS)";
}

TEST(WavSinkFile, HeaderDescribesTheData) {
    const std::string path = TmpFile("wavsink_header.wav");
    {
        WavSink sink;
        ASSERT_TRUE(sink.Open(path, 44100));
        float frames[6] = {1.5f, -1.5f, 0.5f, -0.5f, 0, 0};
        sink.Write(frames, 3);
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(b.size(), 44u + 12u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(b[4], 36 + 12);
    EXPECT_EQ(b[24] | b[25] << 8 | b[26] << 16, 44100);
    EXPECT_EQ(b[40], 12);
    EXPECT_EQ(static_cast<int16_t>(b[44] | b[45] << 8), 32767);  // clipped
    EXPECT_EQ(static_cast<int16_t>(b[46] | b[47] << 8), -32767);
    WavSink bad;
    EXPECT_FALSE(bad.Open("/nonexistent-dir/x.wav", 48000));
}

}  // namespace
