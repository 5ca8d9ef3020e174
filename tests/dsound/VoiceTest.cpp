#include <gtest/gtest.h>

#include "TestWaves.h"
#include "WaveVoices.h"

using namespace testwaves;
using tikora::audio::WaveMixer;

TEST(WaveVoices, ConvertsPcmToStereoFloat) {
    struct Case {
        const char* name;
        WORD channels, bits;
        DWORD rate;
        std::vector<uint8_t> bytes;
        std::vector<float> expected;  // nullopt-like: empty with ok=false
        bool ok;
    };
    const float k = 1.0f / 32768.0f;
    std::vector<Case> cases = {
        {"8bit_mono", 1, 8, 48000, {0x80, 0xFF, 0x00}, {0, 0, 127 / 128.f, 127 / 128.f, -1, -1}, true},
        {"16bit_stereo",
         2,
         16,
         48000,
         Pcm16({1000, -1000, 32767, -32768}),
         {1000 * k, -1000 * k, 32767 * k, -1.0f},
         true},
        {"partial_frame_dropped", 1, 16, 48000, {0x00, 0x40, 0x11}, {0.5f, 0.5f}, true},
        {"upsampled_24000", 1, 16, 24000, Pcm16({0, 16384}), {0, 0, 0.25f, 0.25f, 0.5f, 0.5f}, true},
        {"downsampled_96000",
         1,
         16,
         96000,
         Pcm16({0, 8192, 16384, 24576, 32000}),
         {0, 0, 0.5f, 0.5f, 32000 * k, 32000 * k},
         true},
        {"24bit_refused", 1, 24, 48000, {1, 2, 3}, {}, false},
        {"three_channels_refused", 3, 16, 48000, Pcm16({1, 2, 3}), {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WAVEFORMATEX f;
        f.wFormatTag = 1;
        f.nChannels = c.channels;
        f.wBitsPerSample = c.bits;
        f.nSamplesPerSec = c.rate;
        f.nBlockAlign = static_cast<WORD>(c.channels * c.bits / 8);
        std::vector<float> out;
        EXPECT_EQ(tikora::audio::ConvertPcm(f, c.bytes.data(), c.bytes.size(), 48000, out), c.ok);
        ASSERT_EQ(out.size(), c.expected.size());
        for (size_t i = 0; i < out.size(); ++i) EXPECT_NEAR(out[i], c.expected[i], 1e-6) << i;
    }
}

namespace {
std::shared_ptr<const tikora::audio::VoiceSamples> Constant(int frames, float l, float r) {
    auto s = std::make_shared<tikora::audio::VoiceSamples>();
    for (int i = 0; i < frames; ++i) {
        s->push_back(l);
        s->push_back(r);
    }
    return s;
}
int FirstNonZero(const std::vector<float>& v) {
    for (size_t i = 0; i < v.size(); ++i)
        if (v[i] != 0.0f) return static_cast<int>(i / 2);
    return -1;
}
}  // namespace

// Changes take effect at their frame, blocks split exactly there; changes stamped with one frame
// act together even when a block is rendered between them.
TEST(WaveVoices, ChangesTakeEffectAtTheirFrame) {
    WaveMixer m(std::make_unique<ManualTimeline>());
    int v = m.CreateVoice();
    ASSERT_GE(v, 0);
    m.SetSamples(v, Constant(10, 1.0f, 1.0f), 0);
    m.Play(v, false, 1000);
    auto a = Render(m, 0, 512);
    m.SetGains(v, 0.5f, 0.25f, 1000);  // issued after the audio thread has run, same frame
    auto b = Render(m, 512, 1024);
    EXPECT_EQ(FirstNonZero(a), -1);
    EXPECT_EQ(FirstNonZero(b), 1000 - 512);
    for (int i = 0; i < 10; ++i) {
        EXPECT_FLOAT_EQ(b[2 * (488 + i)], 0.5f);
        EXPECT_FLOAT_EQ(b[2 * (488 + i) + 1], 0.25f);
    }
    EXPECT_EQ(b[2 * 498], 0.0f);
    EXPECT_FALSE(m.IsPlaying(v));

    // A start already due when the block is rendered sounds at the block's first frame.
    m.Play(v, false, 1600);
    auto c = Render(m, 2000, 64);
    EXPECT_EQ(FirstNonZero(c), 0);

    // Looping, then a stop at a frame inside a block; a restart from position 0 while playing.
    m.Play(v, true, 3000);
    m.Stop(v, 3025);
    auto d = Render(m, 2990, 64);
    EXPECT_EQ(FirstNonZero(d), 10);
    EXPECT_NE(d[2 * 34], 0.0f);
    EXPECT_EQ(d[2 * 35], 0.0f);
    EXPECT_FALSE(m.IsPlaying(v));

    // A start missed long ago (the device was away) plays only what would still be sounding.
    m.SetSamples(v, Constant(6000, 1.0f, 1.0f), 0);
    m.SetPosition(v, 0, 0);
    m.Play(v, false, 4000);
    auto e = Render(m, 4000 + WaveMixer::kStaleFrames, 2000);
    EXPECT_EQ(FirstNonZero(e), 0);
    EXPECT_NE(e[2 * (5999 - WaveMixer::kStaleFrames)], 0.0f);
    EXPECT_EQ(e[2 * (6000 - WaveMixer::kStaleFrames)], 0.0f);
}

TEST(WaveVoices, VoicesAreReusedOnlyAfterTheAudioThreadLetsGo) {
    WaveMixer m(std::make_unique<ManualTimeline>(), 2);
    int a = m.CreateVoice(), b = m.CreateVoice();
    EXPECT_EQ(m.CreateVoice(), -1);
    m.SetSamples(a, Constant(4, 1, 1), 0);
    m.Play(a, true, 0);
    m.DestroyVoice(a, 100);
    EXPECT_EQ(m.CreateVoice(), -1);  // still sounding until frame 100
    auto out = Render(m, 0, 128);
    EXPECT_NE(out[2 * 99], 0.0f);
    EXPECT_EQ(out[2 * 100], 0.0f);
    EXPECT_EQ(m.CreateVoice(), a);
    (void)b;
}
