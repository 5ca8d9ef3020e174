// What the program ships, played as the user plays it: each drum beat and MIDI piece (a loop and
// the start of the next) through the engine and the Player on the virtual clock, and every drum
// sound as one click at full velocity; then what the device received, through the synthesizer as
// the audio stream renders it.
#include <cmath>
#include <thread>

#include "AudioStream.h"
#include "EngineTestSupport.h"
#include "GmSynth.h"

using namespace enginetest;
using tikora::winmm::SentMidi;

namespace {

struct Played {
    std::string name;
    std::vector<SentMidi> sent;
    double barMs = 0, maxGapMs = 0;  // drum beats: a bar, and the longest gap between drum notes
    bool again = false;              // the notes of an earlier row in another meter: no peak measured
};

// Records on the virtual clock; it is gone once Record returns, before the audio stream starts.
struct Recorder : EngineTest {
    void TestBody() override {}
    std::vector<Played> Record() {
        SetUp();
        std::vector<Played> out;
        // Drum beats in their own meter and in others (the loop then holds whole copies of them).
        for (const char* meter : {"", "4:4", "3:4"})
            for (const char* folder : {"Drums", "Midi"})
                for (const auto& file : fs::directory_iterator(fs::path(TIKORA_BINARY_DIR) / "Tikora" / folder)) {
                    const bool drums = folder[0] == 'D';
                    if (!drums && *meter) continue;
                    const std::string path = (file.path().parent_path() / file.path().stem()).string();
                    TMetronomeGame& e = MakeEngine();
                    EXPECT_TRUE(e.LoadMidiFile(path + ".mid", true)) << path;  // the file's meter and tempo
                    if (*meter) {
                        EXPECT_TRUE(e.SetTimeSignature(meter));
                    }
                    (drums ? e.Tool4Enabled : e.Tool5Enabled) = true;
                    (drums ? e.Tool4MidiFile : e.Tool5MidiFile) = path;
                    out.push_back(Play(e, file.path().stem().string() + (*meter ? " in " : "") + meter, 1));
                    out.back().barMs = drums ? 240000.0 / e.Tempo * e.Numerator / e.Denominator : 0;
                    out.back().again = *meter != '\0';
                }
        for (int row = 0; row < kDrumCount; ++row) {
            for (auto& s : host.sounds) s = {true, "", 127, 0, row};
            out.push_back(Play(MakeEngine(), std::string("click ") + DrumNames[row], 0));
        }
        TearDown();
        return out;
    }
    Played Play(TMetronomeGame& e, const std::string& name, int loops) {
        device->Clear();
        ends = 0;
        e.PrepareTools();
        e.Play();
        for (int s = 0; s < 400 && ends < loops; ++s) RunFor(1000);
        RunFor(100);  // into the next loop, or a click's first beat
        EXPECT_GE(ends, loops) << name;
        player->Stop();
        Played p{name, device->Sent()};
        const std::vector<int64_t> hits = ClickTimes();  // every drum note
        for (size_t i = 1; i < hits.size(); ++i) p.maxGapMs = std::max(p.maxGapMs, (hits[i] - hits[i - 1]) / 1e6);
        return p;
    }
};

// The synthesizer's output at full volume, rendered block by block as the stream's callback does
// with the messages sent at their times: the peak in dBFS.
double PeakDb(const std::vector<SentMidi>& sent) {
    using namespace tikora::audio;
    GmSynth synth;
    EnsureStarted();
    while (FramesRendered() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const int64_t base = tikora::MonotonicNowNs() + 100 * kMs;  // where the recording's 0 falls
    std::vector<float> block(512);
    float peak = 0;
    size_t next = 0;
    for (int64_t f = FrameForTime(base) - 256; f < FrameForTime(base + sent.back().ns) + SampleRate(); f += 256) {
        for (; next < sent.size() && FrameForTime(base + sent[next].ns) < f + 1024; ++next)
            sent[next].reset ? synth.Reset(base + sent[next].ns) : synth.ShortMsg(sent[next].msg, base + sent[next].ns);
        std::fill(block.begin(), block.end(), 0.0f);
        synth.Render(block.data(), 256, f);
        for (float v : block) peak = std::max(peak, std::fabs(v * MasterGain()));
    }
    return synth.HasSoundFont() ? 20 * std::log10(std::max(peak, 1e-10f)) : -200;
}

TEST(ShippedSound, DrumBeatsFillTheirLoopAndNothingComesNearFullScale) {
    const std::vector<Played> played = Recorder().Record();
    ASSERT_EQ(played.size(), 3 * 13u + 4u + kDrumCount);
    for (const Played& p : played) {
        ASSERT_FALSE(p.sent.empty()) << p.name;
        const double peak = p.again ? -200 : PeakDb(p.sent);
        std::printf("%-26s peak %6.2f dBFS", p.name.c_str(), peak);
        if (p.barMs > 0) std::printf("   longest gap %5.0f ms, bar %5.0f ms", p.maxGapMs, p.barMs);
        std::printf("\n");
        EXPECT_LE(peak, -0.5) << p.name;
        EXPECT_LT(p.maxGapMs, p.barMs > 0 ? p.barMs / 2 : 1e9) << p.name;  // no half bar without drums
    }
    tikora::audio::Shutdown();
}

}  // namespace
