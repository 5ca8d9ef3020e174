#include <gtest/gtest.h>

#include <cmath>
#include <deque>

#include "Clock.h"
#include "DSound.h"
#include "Dsoundplay.h"
#include "Exception.h"
#include "Messages.h"
#include "TestWaves.h"

using namespace testwaves;
using tikora::audio::WaveMixer;

namespace {

std::string ConstantWave(const std::string& name, int16_t value, int frames, WORD channels = 1, DWORD rate = 48000) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * channels, value);
    return WriteFile(name, Wave(channels, rate, 16, Pcm16(s)));
}

class DSPlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        mixer = std::make_shared<WaveMixer>(std::make_unique<ManualTimeline>());
        tikora::dsound::SetDirectSoundFactory([this](LPDIRECTSOUND* ds) {
            *ds = tikora::dsound::CreateDirectSoundOn(mixer);
            return DS_OK;
        });
    }
    void TearDown() override { tikora::dsound::SetDirectSoundFactory(nullptr); }

    tikora::TestClock clock{0};
    tikora::RecordingWindow window;
    std::shared_ptr<WaveMixer> mixer;
};

}  // namespace

// Volume and pan change the rendered samples as DirectSound would, starting with the first sample
// of a click started in the same handler, which sounds at the handler's post time plus the latency.
TEST_F(DSPlayTest, PlaysAtPostTimeWithVolumeAndPan) {
    DSPlay dsp(window.Handle());
    dsp.LoadSound(ConstantWave("half.wav", 16384, 100).c_str(), "click", true);
    struct Case {
        LONG volume, pan;
        float left, right;
    };
    const float half = 0.5f, minus6 = static_cast<float>(std::pow(10.0, -0.3));
    int64_t post = 5'000'000;
    for (const Case& c : std::vector<Case>{{0, 0, half, half},
                                           {-600, 0, half * minus6, half * minus6},
                                           {0, 600, half * minus6, half},
                                           {0, -10000, half, 0},
                                           {0, 10000, 0, half},
                                           {-10000, 0, 0, 0},
                                           {-1200, -600, half * minus6 * minus6, half * minus6 * minus6 * minus6}}) {
        SCOPED_TRACE(testing::Message() << c.volume << " " << c.pan);
        clock.Set(post + 12'000'000);  // the handler runs 12 ms after the post
        int64_t onset = post * 48000 / 1000000000 + ManualTimeline::kLatencyFrames;
        {
            tikora::LogicalTimeScope handler(post);
            dsp.Play("click");
            Render(*mixer, onset - 300, 256);  // the audio thread runs between the calls
            dsp.SetVolume("click", c.volume);
            dsp.SetPan("click", c.pan);
        }
        auto out = Render(*mixer, onset - 44, 200);
        for (int i = 0; i < 44; ++i) ASSERT_EQ(out[2 * i], 0.0f) << i;
        for (int i = 44; i < 144; ++i) {
            ASSERT_NEAR(out[2 * i], c.left, 1e-6) << i;
            ASSERT_NEAR(out[2 * i + 1], c.right, 1e-6) << i;
        }
        EXPECT_EQ(out[2 * 144], 0.0f);
        post += 50'000'000;
    }
}

TEST_F(DSPlayTest, NamesReplaceRestartAndStop) {
    DSPlay dsp(window.Handle());
    dsp.Play("never loaded");
    dsp.SetVolume("never loaded", -100);
    dsp.SetPan("never loaded", 100);
    EXPECT_FALSE(dsp.HasSound("never loaded"));

    dsp.LoadSound(ConstantWave("a.wav", 16384, 50).c_str(), "x", false);
    dsp.LoadSound(ConstantWave("b.wav", -8192, 50, 2, 24000).c_str(), "x", false);  // replaces
    dsp.Play("x");
    auto out = Render(*mixer, 0, 2000);
    int64_t onset = ManualTimeline::kLatencyFrames;
    EXPECT_EQ(out[2 * (onset - 1)], 0.0f);
    EXPECT_FLOAT_EQ(out[2 * onset], -0.25f);
    EXPECT_FLOAT_EQ(out[2 * onset + 1], -0.25f);
    EXPECT_FLOAT_EQ(out[2 * (onset + 98)], -0.25f);  // 50 frames at 24 kHz make 99 at 48 kHz
    EXPECT_EQ(out[2 * (onset + 99)], 0.0f);

    // Play while playing starts again from the beginning; StopAll silences at its own time.
    clock.Set(100'000'000);
    dsp.Play("x");
    clock.Set(101'000'000);  // 48 frames later
    dsp.Play("x");
    out = Render(*mixer, 6000, 2000);
    int64_t a = 4800 + ManualTimeline::kLatencyFrames - 6000;
    EXPECT_EQ(out[2 * (a - 1)], 0.0f);
    EXPECT_FLOAT_EQ(out[2 * (a + 48 + 98)], -0.25f);
    EXPECT_EQ(out[2 * (a + 48 + 99)], 0.0f);
    clock.Set(200'000'000);
    dsp.Play("x");
    clock.Set(201'000'000);
    dsp.StopAll();
    out = Render(*mixer, 11000, 200);
    a = 9600 + ManualTimeline::kLatencyFrames - 11000;
    EXPECT_FLOAT_EQ(out[2 * (a + 47)], -0.25f);
    EXPECT_EQ(out[2 * (a + 48)], 0.0f);

    dsp.RemoveAllSounds();
    EXPECT_FALSE(dsp.HasSound("x"));
    dsp.Play("x");
    out = Render(*mixer, 12000, 4000);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float f) { return f == 0.0f; }));
}

TEST_F(DSPlayTest, FileAndFormatErrorsPassThrough) {
    DSPlay dsp(window.Handle());
    std::string bad = WriteFile("bad.wav", {'R', 'I', 'F', 'F'});
    std::string deep =
        WriteFile("deep.wav", Riff({{"fmt ", FmtBody(1, 1, 48000, 24)}, {"data", std::vector<uint8_t>(30, 1)}}));
    struct Case {
        std::string file, message;
    } cases[] = {{bad, "Error open file '" + bad + "'"}, {deep, "CreateSoundBuffer failed"}};
    for (const Case& c : cases) {
        EXPECT_EQ(MessageOf([&] { dsp.LoadSound(c.file.c_str(), "s", true); }), c.message);
        EXPECT_FALSE(dsp.HasSound("s"));
    }
    // The stand-in needs a window for the level.
    EXPECT_EQ(MessageOf([] { DSPlay d(nullptr); }), "Unable to set Coopeative Level");
}

namespace {

// A DirectSound that fails where it is told to, and records what it was asked.
struct Script {
    HRESULT create = DS_OK, level = DS_OK, buffer = DS_OK, unlock = DS_OK;
    std::deque<HRESULT> locks;
    int restores = 0, liveBuffers = 0;
    DWORD flags = 0, size = 0, descSize = 0;
};

class FakeBuffer : public IDirectSoundBuffer {
public:
    FakeBuffer(Script& s, DWORD size) : s_(s), bytes_(size) { ++s_.liveBuffers; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override {
        --s_.liveBuffers;
        delete this;
        return 0;
    }
    HRESULT GetStatus(DWORD*) override { return DS_OK; }
    HRESULT Lock(DWORD, DWORD n, LPVOID* p1, DWORD* n1, LPVOID* p2, DWORD* n2, DWORD) override {
        HRESULT r = s_.locks.empty() ? DS_OK : s_.locks.front();
        if (!s_.locks.empty()) s_.locks.pop_front();
        if (FAILED(r)) return r;
        *p1 = bytes_.data();
        *n1 = n;
        *p2 = nullptr;
        *n2 = 0;
        return DS_OK;
    }
    HRESULT Unlock(LPVOID, DWORD, LPVOID, DWORD) override { return s_.unlock; }
    HRESULT Restore() override {
        ++s_.restores;
        return DS_OK;
    }
    HRESULT Play(DWORD, DWORD, DWORD) override { return DS_OK; }
    HRESULT Stop() override { return DS_OK; }
    HRESULT SetCurrentPosition(DWORD) override { return DS_OK; }
    HRESULT SetVolume(LONG) override { return DS_OK; }
    HRESULT SetPan(LONG) override { return DS_OK; }

private:
    ~FakeBuffer() override = default;
    Script& s_;
    std::vector<BYTE> bytes_;
};

class FakeDevice : public IDirectSound {
public:
    explicit FakeDevice(Script& s) : s_(s) {}
    ULONG AddRef() override { return 1; }
    ULONG Release() override {
        delete this;
        return 0;
    }
    HRESULT SetCooperativeLevel(HWND, DWORD) override { return s_.level; }
    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC d, LPDIRECTSOUNDBUFFER* b, void*) override {
        s_.flags = d->dwFlags;
        s_.size = d->dwBufferBytes;
        s_.descSize = d->dwSize;
        if (FAILED(s_.buffer)) return s_.buffer;
        *b = new FakeBuffer(s_, d->dwBufferBytes);
        return DS_OK;
    }

private:
    ~FakeDevice() override = default;
    Script& s_;
};

}  // namespace

TEST(DSPlay, DeviceFailuresRaiseTheirMessages) {
    std::string file = WriteFile("ok.wav", Wave(1, 8000, 8, std::vector<uint8_t>(10, 0x80)));
    struct Case {
        const char* name;
        Script script;
        const char* message;  // nullptr: loads
        int restores;
    };
    auto with = [](auto f) {
        Script s;
        f(s);
        return s;
    };
    std::vector<Case> cases = {
        {"create", with([](Script& s) { s.create = DSERR_NODRIVER; }), "Failed to create IDirectSound object", 0},
        {"level", with([](Script& s) { s.level = DSERR_INVALIDPARAM; }), "Unable to set Coopeative Level", 0},
        {"buffer", with([](Script& s) { s.buffer = DSERR_OUTOFMEMORY; }), "CreateSoundBuffer failed", 0},
        {"lock", with([](Script& s) { s.locks = {DSERR_INVALIDCALL}; }), "Unable to Lock Sound Buffer", 0},
        {"lost_once", with([](Script& s) {
             s.locks = {DSERR_BUFFERLOST, DS_OK};
         }),
         nullptr, 1},
        {"lost_twice", with([](Script& s) {
             s.locks = {DSERR_BUFFERLOST, DSERR_BUFFERLOST};
         }),
         "Unable to Lock Sound Buffer", 1},
        {"unlock", with([](Script& s) { s.unlock = DSERR_INVALIDPARAM; }), "Unable to UnLock Sound Buffer", 0},
        {"fine", Script{}, nullptr, 0},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        Script& s = c.script;
        tikora::dsound::SetDirectSoundFactory([&s](LPDIRECTSOUND* ds) {
            if (FAILED(s.create)) return s.create;
            *ds = new FakeDevice(s);
            return DS_OK;
        });
        std::string message;
        try {
            DSPlay dsp(reinterpret_cast<HWND>(0x1234));
            dsp.LoadSound(file.c_str(), "n", true);
            EXPECT_TRUE(dsp.HasSound("n"));
            EXPECT_EQ(s.flags, 0xC2u | 0x8000u);
            EXPECT_EQ(s.size, 10u);
            EXPECT_EQ(s.descSize, 36u);
            dsp.LoadSound(file.c_str(), "m", false);
            EXPECT_EQ(s.flags, 0xC2u);
            EXPECT_EQ(s.liveBuffers, 2);
        } catch (const Exception& e) {
            message = e.Message.str();
        }
        EXPECT_EQ(message, c.message ? c.message : "");
        EXPECT_EQ(s.restores, c.restores);
        EXPECT_EQ(s.liveBuffers, 0);  // a failed fill releases its buffer; the destructor the rest
    }
    tikora::dsound::SetDirectSoundFactory(nullptr);
}

// No sound card here: DirectSound stands on the null sink, so the program can start and play.
TEST(DSPlay, StartsWithoutSoundCard) {
    tikora::RecordingWindow window;
    std::string file = WriteFile("card.wav", Wave(1, 44100, 16, Pcm16(std::vector<int16_t>(441, 3000))));
    DSPlay dsp(window.Handle());
    dsp.LoadSound(file.c_str(), "c", true);
    dsp.Play("c");
    dsp.SetVolume("c", -100);
    dsp.SetPan("c", 100);
    dsp.StopAll();
}
