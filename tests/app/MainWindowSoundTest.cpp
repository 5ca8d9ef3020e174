// The whole road of a click: the Play button, the Player's timer, the synthesizer and the audio
// stream, which writes what it plays to the WAV file named by TIKORA_AUDIO_FILE. The clock is
// driven by hand: the Player's timer fires when the test runs it, the null sink writes the blocks
// the clock has reached, and the test stands in for the window's event loop. What is heard and
// what the window shows thus meet on one timeline, however busy the machine is.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "AudioStream.h"
#include "Clock.h"
#include "DialogTestSupport.h"
#include "Messages.h"
#include "Programforms.h"
#include "Tmetronomgame.h"
#include "Tsettingsform.h"
#include "VirtualTimer.h"
#include "Waveutils.h"

namespace {

// The stream frame heard at tick count `ms`.
double FrameHeardAt(DWORD ms) {
    return static_cast<double>(
        tikora::audio::FrameForTime(static_cast<int64_t>(ms) * 1'000'000 - tikora::audio::OutputLatencyNs()));
}

// How far the nearest of `frames` lies from `frame`, in ms.
double NearestOffsetMs(const std::vector<double>& frames, double frame, int rate) {
    double best = 1e9;
    for (double f : frames)
        if (std::abs(f - frame) < std::abs(best)) best = f - frame;
    return best * 1000.0 / rate;
}

// Waits until the null sink has written every block the test clock has reached. The limit only
// ends a run whose audio thread never answers.
void CatchUp() {
    using namespace tikora::audio;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (FramesRendered() <= FrameForTime(tikora::MonotonicNowNs() - OutputLatencyNs()) &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
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
    // As shipped: the light flashes, the latency is the sound path's own, and the click sounds
    // MClickLatency ms before the swing ends.
    ASSERT_TRUE(SettingsForm->ShowFlashingLight->Checked());
    ASSERT_EQ(engine->GetSettingsDialogTag()->GetIntegerIdx("Latency[#]", 1), -1);
    ASSERT_TRUE(SettingsForm->MClickBorder->Checked());
    const double clickBeforeEndMs = SettingsForm->MClickLatency->Value();

    // From here the clock moves only when the test runs it; the sink starts over at its time.
    tikora::winmm::VirtualTimer timer((tikora::MonotonicNowNs() / 1'000'000 + 1000) * 1'000'000);
    CatchUp();

    // Two runs of 3.25 s. Each time the window's thread wakes it handles the posted messages,
    // then the animation timer's tick: every 10 ms on an idle machine, every 30 ms on a busy one,
    // whose beat markers are then handled up to 30 ms after they were posted.
    std::vector<double> lights;
    std::vector<std::pair<double, double>> swing;  // frame, angle
    std::vector<size_t> runStarts;
    for (int uiPeriodMs : {10, 30}) {
        runStarts.push_back(swing.size());
        formstest::Click(MainForm->PlayButton, 4, 4);
        ASSERT_EQ(engine->State, psPlaying);
        const int64_t start = timer.NowNs();
        DWORD flash = MainForm->FlashStart();
        swing.emplace_back(FrameHeardAt(MainForm->LastAnimationTick()), engine->Angle);
        for (int ms = 1; ms <= 3250; ++ms) {
            timer.RunUntil(start + ms * int64_t{1'000'000});
            if (ms % 100 == 0) CatchUp();
            if (ms % uiPeriodMs != 0) continue;
            tikora::DispatchPostedMessages();
            if (MainForm->FlashStart() != flash) lights.push_back(FrameHeardAt(flash = MainForm->FlashStart()));
            MainForm->Timer1->Fire();
            swing.emplace_back(FrameHeardAt(MainForm->LastAnimationTick()), engine->Angle);
        }
        formstest::Click(MainForm->StopButton, 4, 4);
        tikora::DispatchPostedMessages();
        // A second's pause, run in steps the sink keeps up with, so that it writes the pause too.
        // A jump would make the sink start its timeline over from wherever it had got to, up to
        // tens of ms short of the stop, and the next run's first click could then follow the last
        // one within the 0.2 s of quiet that tells two clicks apart.
        for (int step = 0; step < 10; ++step) {
            timer.RunForMs(100);
            CatchUp();
        }
    }
    runStarts.push_back(swing.size());
    tikora::audio::Shutdown();  // completes the WAV file

    // Where the pendulum is at its click position: the end of each swing, found between the drawn
    // angles by a parabola, less the time the click comes before it.
    std::vector<double> pendulum;
    for (size_t run = 0; run + 1 < runStarts.size(); ++run) {
        for (size_t i = runStarts[run] + 1; i + 1 < runStarts[run + 1]; ++i) {
            const auto [x0, a0] = swing[i - 1];
            const auto [x1, a1] = swing[i];
            const auto [x2, a2] = swing[i + 1];
            if (!(std::abs(a1) >= std::abs(a0) && std::abs(a1) > std::abs(a2))) continue;
            const double d0 = (a1 - a0) / (x1 - x0), d1 = (a2 - a1) / (x2 - x1);
            const double top = (x0 + x1) / 2 + d0 * ((x2 - x0) / 2) / (d0 - d1);
            pendulum.push_back(top - clickBeforeEndMs * rate / 1000.0);
        }
    }

    WAVEFORMATEX format{};
    std::vector<BYTE> data;
    LoadWav(wav, &format, data);
    ASSERT_EQ(format.nSamplesPerSec, static_cast<DWORD>(rate));
    ASSERT_EQ(format.nBlockAlign, 4);  // 16-bit stereo
    std::vector<int16_t> left(data.size() / 4);
    for (size_t i = 0; i < left.size(); ++i) std::memcpy(&left[i], &data[4 * i], 2);
    // A click is a burst after at least 0.2 s below the threshold.
    std::vector<double> clicks;
    size_t lastLoud = 0;
    for (size_t i = 0; i < left.size(); ++i) {
        if (std::abs(left[i]) <= 1500) continue;
        if (clicks.empty() || i - lastLoud > static_cast<size_t>(rate / 5)) clicks.push_back(static_cast<double>(i));
        lastLoud = i;
    }
    // 3.25 s at 120 beats per minute, twice: seven clicks a run, each met by the light and by the
    // pendulum within 15 ms.
    EXPECT_EQ(clicks.size(), 14u);
    EXPECT_EQ(lights.size(), clicks.size());
    for (double click : clicks) {
        const double light = NearestOffsetMs(lights, click, rate), swingEnd = NearestOffsetMs(pendulum, click, rate);
        std::printf("click at %.1f ms: light %+.1f ms, pendulum %+.1f ms\n", click * 1000.0 / rate, light, swingEnd);
        EXPECT_LE(std::abs(light), 15.0);
        EXPECT_LE(std::abs(swingEnd), 15.0);
    }
}

}  // namespace
