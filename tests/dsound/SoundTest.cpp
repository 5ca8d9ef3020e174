#include <gtest/gtest.h>

#include "AudioStream.h"
#include "Clock.h"
#include "Messages.h"
#include "Mixer.h"
#include "PlaySound.h"
#include "TestWaves.h"

using namespace testwaves;
using tikora::audio::WaveMixer;

TEST(PlaySound, OneVoiceReplacedPurgedOrSilent) {
    tikora::TestClock clock(0);
    auto mixer = std::make_shared<WaveMixer>(std::make_unique<ManualTimeline>());
    tikora::winmm::SetPlaySoundMixer(mixer);
    const DWORD flags = SND_FILENAME | SND_ASYNC | SND_NODEFAULT;
    std::string a = WriteFile("alarm_a.wav", Wave(1, 48000, 16, Pcm16(std::vector<int16_t>(1000, 8192))));
    std::string b = WriteFile("alarm_b.wav", Wave(2, 48000, 8, std::vector<uint8_t>(200, 0xC0)));
    std::string bad = WriteFile("alarm_bad.wav", Riff({{"fmt ", FmtBody(3, 1, 48000, 32)}, {"data", {1, 2, 3, 4}}}));
    const int64_t L = ManualTimeline::kLatencyFrames;

    EXPECT_TRUE(PlaySoundA(a.c_str(), nullptr, flags));
    clock.Set(10'000'000);  // +480 frames: b replaces a
    EXPECT_TRUE(PlaySoundA(b.c_str(), nullptr, flags));
    auto out = Render(*mixer, 0, 4000);
    EXPECT_EQ(out[2 * (L - 1)], 0.0f);
    EXPECT_FLOAT_EQ(out[2 * L], 0.25f);
    EXPECT_FLOAT_EQ(out[2 * (L + 479)], 0.25f);
    EXPECT_FLOAT_EQ(out[2 * (L + 480)], 0.5f);
    EXPECT_FLOAT_EQ(out[2 * (L + 579)], 0.5f);
    EXPECT_EQ(out[2 * (L + 580)], 0.0f);

    // An unreadable file is silent, fails, and ends what was playing; so does a purge.
    clock.Set(100'000'000);
    EXPECT_TRUE(PlaySoundA(a.c_str(), nullptr, flags));
    clock.Set(101'000'000);
    EXPECT_FALSE(PlaySoundA(bad.c_str(), nullptr, flags));
    EXPECT_FALSE(PlaySoundA((bad + "-missing").c_str(), nullptr, flags));
    out = Render(*mixer, 4800 + L, 200);
    EXPECT_FLOAT_EQ(out[2 * 47], 0.25f);
    EXPECT_EQ(out[2 * 48], 0.0f);
    clock.Set(200'000'000);
    EXPECT_TRUE(PlaySoundA(a.c_str(), nullptr, flags));
    clock.Set(200'500'000);
    EXPECT_TRUE(PlaySoundA(nullptr, nullptr, SND_PURGE));
    out = Render(*mixer, 9600 + L, 100);
    EXPECT_FLOAT_EQ(out[2 * 23], 0.25f);
    EXPECT_EQ(out[2 * 24], 0.0f);
    tikora::winmm::SetPlaySoundMixer(nullptr);
}

namespace {
class FakeElement : public tikora::winmm::VolumeElement {
public:
    FakeElement(int64_t min, int64_t max) : min_(min), max_(max) { *raw_ = min; }
    void Range(int64_t& min, int64_t& max) override {
        min = min_;
        max = max_;
    }
    int64_t Read() override { return *raw_; }
    void Write(int64_t raw) override { *raw_ = raw; }
    bool Poll() override { return true; }
    std::shared_ptr<int64_t> RawCell() { return raw_; }

private:
    int64_t min_, max_;
    std::shared_ptr<int64_t> raw_ = std::make_shared<int64_t>(0);
};
}  // namespace

TEST(Mixer, LinearMappingReadsBackWhatWasWritten) {
    struct Range {
        int64_t min, max;
    };
    for (Range r : {Range{0, 31}, Range{0, 87}, Range{-10239, 400}, Range{0, 65535}, Range{0, 1000000}}) {
        SCOPED_TRACE(testing::Message() << r.min << ".." << r.max);
        using tikora::winmm::MixerVolume;
        EXPECT_EQ(MixerVolume::ToRaw(0, r.min, r.max), r.min);
        EXPECT_EQ(MixerVolume::ToRaw(65535, r.min, r.max), r.max);
        EXPECT_EQ(MixerVolume::FromRaw(r.min, r.min, r.max), 0u);
        EXPECT_EQ(MixerVolume::FromRaw(r.max, r.min, r.max), 65535u);
        auto element = std::make_unique<FakeElement>(r.min, r.max);
        auto raw = element->RawCell();
        MixerVolume vol(std::move(element));
        int64_t lastRaw = r.min;
        for (uint32_t v : {0u, 1u, 1000u, 32767u, 32768u, 40001u, 65534u, 65535u}) {
            vol.Set(v);
            EXPECT_EQ(vol.Get(), v);
            EXPECT_GE(*raw, lastRaw);  // monotonic
            lastRaw = *raw;
            EXPECT_LE(std::abs(*raw - (r.min + (r.max - r.min) * static_cast<int64_t>(v) / 65535)), 1);
        }
        *raw = (r.min + r.max) / 2;  // changed by another program
        EXPECT_EQ(vol.Get(), MixerVolume::FromRaw((r.min + r.max) / 2, r.min, r.max));
    }
}

TEST(Mixer, MainWindowSequencePostsEveryChange) {
    auto element = std::make_unique<FakeElement>(0, 31);
    auto raw = element->RawCell();
    tikora::winmm::SetMixerElementForTests(std::move(element));
    tikora::RecordingWindow window;
    tikora::DispatchPostedMessages();
    window.Clear();

    HMIXER h = nullptr;
    ASSERT_EQ(mixerOpen(&h, 0, reinterpret_cast<DWORD_PTR>(window.Handle()), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    MIXERLINEA line;
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    ASSERT_EQ(mixerGetLineInfoA(h, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE), MMSYSERR_NOERROR);
    MIXERCONTROLA control;
    MIXERLINECONTROLSA controls;
    controls.cbStruct = sizeof controls;
    controls.dwLineID = line.dwLineID;
    controls.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof control;
    controls.pamxctrl = &control;
    ASSERT_EQ(mixerGetLineControlsA(h, &controls, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE),
              MMSYSERR_NOERROR);

    MIXERCONTROLDETAILS_UNSIGNED value;
    MIXERCONTROLDETAILS details;
    details.cbStruct = sizeof details;
    details.dwControlID = control.dwControlID;
    details.cChannels = 1;
    details.cbDetails = sizeof value;
    details.paDetails = &value;
    value.dwValue = 40000;
    ASSERT_EQ(mixerSetControlDetails(h, &details, MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE),
              MMSYSERR_NOERROR);
    EXPECT_EQ(*raw, 19);
    value.dwValue = 0;
    ASSERT_EQ(mixerGetControlDetails(h, &details, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE),
              MMSYSERR_NOERROR);
    EXPECT_EQ(value.dwValue, 40000u);

    *raw = 31;  // another program turns it up
    tikora::winmm::PollMixerChanges();
    tikora::winmm::PollMixerChanges();  // nothing new: no second message
    ASSERT_EQ(mixerGetControlDetails(h, &details, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE),
              MMSYSERR_NOERROR);
    EXPECT_EQ(value.dwValue, 65535u);
    tikora::DispatchPostedMessages();
    auto messages = window.Messages();
    ASSERT_EQ(messages.size(), 2u);
    for (auto& m : messages) {
        EXPECT_EQ(m.message, MM_MIXM_CONTROL_CHANGE);
        EXPECT_EQ(m.wParam, reinterpret_cast<WPARAM>(h));
        EXPECT_EQ(static_cast<DWORD>(m.lParam), control.dwControlID);
    }

    line.dwComponentType = 8;  // headphones: none here
    EXPECT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_COMPONENTTYPE), MIXERR_INVALLINE);
    value.dwValue = 70000;
    EXPECT_EQ(mixerSetControlDetails(h, &details, 0), MIXERR_INVALVALUE);
    EXPECT_EQ(mixerClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerClose(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mixerSetControlDetails(h, &details, MIXER_OBJECTF_HMIXER), MMSYSERR_INVALHANDLE);
    tikora::winmm::SetMixerElementForTests(nullptr);
}

// Without a mixer on the machine, the slider sets the gain of our own stream.
TEST(Mixer, FallsBackToTheStreamGain) {
    if (!tikora::winmm::MixerUsesStreamGain()) GTEST_SKIP() << "this machine has a mixer of its own";
    HMIXER h = nullptr;
    ASSERT_EQ(mixerOpen(&h, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    MIXERCONTROLDETAILS_UNSIGNED value;
    MIXERCONTROLDETAILS details;
    details.dwControlID = 1;
    details.cChannels = 1;
    details.cbDetails = sizeof value;
    details.paDetails = &value;
    for (uint32_t v : {0u, 12345u, 65535u}) {
        value.dwValue = v;
        ASSERT_EQ(mixerSetControlDetails(h, &details, 0), MMSYSERR_NOERROR);
        EXPECT_NEAR(tikora::audio::MasterGain(), v / 65535.0f, 1e-4);
        value.dwValue = 1;
        ASSERT_EQ(mixerGetControlDetails(h, &details, 0), MMSYSERR_NOERROR);
        EXPECT_EQ(value.dwValue, v);
    }
    mixerClose(h);
}
