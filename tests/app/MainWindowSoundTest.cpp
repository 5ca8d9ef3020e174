// The whole road of a click: the Play button, the Player's real timer, the synthesizer and the
// audio stream, which writes what it plays to the WAV file named by TIKORA_AUDIO_FILE.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "AudioStream.h"
#include "DialogTestSupport.h"
#include "Programforms.h"
#include "Tmetronomgame.h"
#include "Tsettingsform.h"
#include "Waveutils.h"

namespace {

// The stream frame heard at tick count `ms`.
double FrameHeardAt(double ms) {
    return static_cast<double>(
        tikora::audio::FrameForTime(static_cast<int64_t>(ms * 1e6) - tikora::audio::OutputLatencyNs()));
}

// How far the nearest of `frames` lies from `frame`, in ms.
double NearestOffsetMs(const std::vector<double>& frames, double frame, int rate) {
    double best = 1e9;
    for (double f : frames)
        if (std::abs(f - frame) < std::abs(best)) best = f - frame;
    return best * 1000.0 / rate;
}

TEST(MainWindowSoundTest, LightAndPendulumMeetTheClicksInTheAudio) {
    const char* wav = std::getenv("TIKORA_AUDIO_FILE");
    ASSERT_NE(wav, nullptr);
    dialogtest::UseProgramFolder("mainwindow-sound");

    Application->Initialize();
    CreateProgramForms();
    TMetronomeGame* engine = MainForm->Engine();
    MainForm->ChangeTempo(120);
    const int rate = tikora::audio::SampleRate();
    // As shipped: the light flashes, and the click sounds MClickLatency ms before the swing ends.
    ASSERT_TRUE(SettingsForm->ShowFlashingLight->Checked());
    ASSERT_TRUE(SettingsForm->MClickBorder->Checked());
    const double clickBeforeEndMs = SettingsForm->MClickLatency->Value();

    // The light's onsets and the pendulum as the window draws it, placed on the stream's frames.
    std::vector<double> lights;
    std::vector<std::pair<double, double>> swing;  // frame, angle
    formstest::Click(MainForm->PlayButton, 4, 4);
    ASSERT_EQ(engine->State, psPlaying);
    DWORD flash = MainForm->FlashStart(), drawn = MainForm->LastAnimationTick();
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
    while (std::chrono::steady_clock::now() < until) {
        Application->ProcessMessages();
        if (MainForm->FlashStart() != flash) lights.push_back(FrameHeardAt(flash = MainForm->FlashStart()));
        if (MainForm->LastAnimationTick() != drawn)
            swing.emplace_back(FrameHeardAt(drawn = MainForm->LastAnimationTick()), engine->Angle);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GT(engine->PracticeTime, 2.0);
    formstest::Click(MainForm->StopButton, 4, 4);
    // The header's sizes are brought up to date once a second.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));

    // Where the pendulum is at its click position: the end of each swing, found between the drawn
    // angles by a parabola, less the time the click comes before it.
    std::vector<double> pendulum;
    for (size_t i = 1; i + 1 < swing.size(); ++i) {
        const auto [x0, a0] = swing[i - 1];
        const auto [x1, a1] = swing[i];
        const auto [x2, a2] = swing[i + 1];
        if (!(std::abs(a1) >= std::abs(a0) && std::abs(a1) > std::abs(a2))) continue;
        const double d0 = (a1 - a0) / (x1 - x0), d1 = (a2 - a1) / (x2 - x1);
        const double top = (x0 + x1) / 2 + d0 * ((x2 - x0) / 2) / (d0 - d1);
        pendulum.push_back(top - clickBeforeEndMs * rate / 1000.0);
    }

    WAVEFORMATEX format{};
    std::vector<BYTE> data;
    LoadWav(wav, &format, data);
    ASSERT_EQ(format.nSamplesPerSec, static_cast<DWORD>(rate));
    ASSERT_EQ(format.nBlockAlign, 4);  // 16-bit stereo
    std::vector<int16_t> left(data.size() / 4);
    for (size_t i = 0; i < left.size(); ++i) std::memcpy(&left[i], &data[4 * i], 2);
    ASSERT_GT(left.size(), static_cast<size_t>(rate));
    // A click is a burst after at least 0.2 s below the threshold.
    std::vector<double> clicks;
    size_t lastLoud = 0;
    for (size_t i = 0; i < left.size(); ++i) {
        if (std::abs(left[i]) <= 1500) continue;
        if (clicks.empty() || i - lastLoud > static_cast<size_t>(rate / 5)) clicks.push_back(static_cast<double>(i));
        lastLoud = i;
    }
    // Three seconds at 120 beats per minute: about six clicks, each met by the light and by the
    // pendulum within 15 ms.
    EXPECT_GE(clicks.size(), 4u);
    EXPECT_LE(clicks.size(), 8u);
    ASSERT_FALSE(lights.empty());
    int met = 0;
    for (double click : clicks) {
        const double light = NearestOffsetMs(lights, click, rate), swingEnd = NearestOffsetMs(pendulum, click, rate);
        // The last click may sound after the light's last onset was read.
        if (click > lights.back() + rate / 4.0) continue;
        std::printf("click at %.1f ms: light %+.1f ms, pendulum %+.1f ms\n", click * 1000.0 / rate, light, swingEnd);
        EXPECT_LE(std::abs(light), 15.0);
        EXPECT_LE(std::abs(swingEnd), 15.0);
        ++met;
    }
    EXPECT_GE(met, 4);
}

}  // namespace
