#include "GmSynth.h"

#include <fluidsynth.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tikora::audio {

namespace {
constexpr int kScratchFrames = 1024;

void SilentFluidLog(int, const char*, void*) {}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

fluid_synth_t* Synth(void* p) { return static_cast<fluid_synth_t*>(p); }

// A windowed-sinc half-band low-pass for the 2:1 decimation (cut-off at the stream's Nyquist
// frequency, Blackman window), normalised to unity gain at DC.
struct HalfBand {
    float h[31];
    HalfBand() {
        constexpr int n = 31;
        constexpr double pi = 3.14159265358979323846;
        double sum = 0;
        for (int i = 0; i < n; ++i) {
            double k = i - (n - 1) / 2.0;
            double sinc = k == 0 ? 0.5 : std::sin(pi * k / 2) / (pi * k);
            double w = 0.42 - 0.5 * std::cos(2 * pi * i / (n - 1)) + 0.08 * std::cos(4 * pi * i / (n - 1));
            h[i] = static_cast<float>(sinc * w);
            sum += h[i];
        }
        for (float& c : h) c = static_cast<float>(c / sum);
    }
};
const HalfBand kHalfBand;
}  // namespace

int64_t GmSynth::BlockBoundary(int64_t frame, int64_t origin) {
    int64_t d = frame - origin;
    int64_t q = d >= 0 ? (d + kBlock / 2) / kBlock : -((-d + kBlock / 2 - 1) / kBlock);
    return origin + q * kBlock;
}

GmSynth::GmSynth()
    : scratch_(static_cast<size_t>(kScratchFrames) * 2 * kOversample),
      decimated_(static_cast<size_t>(kScratchFrames) * 2),
      limiterRelease_(1.0f - std::exp(-1000.0f / (kLimiterReleaseMs * static_cast<float>(SampleRate())))) {
    static_assert(kTaps == 31, "the filter table has 31 taps");
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, SilentFluidLog, nullptr);
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("TIKORA_SOUNDFONT")) candidates.emplace_back(env);
    candidates.emplace_back("/usr/share/sounds/sf2/TimGM6mb.sf2");
    candidates.emplace_back("/usr/share/sounds/sf2/default-GM.sf2");
    fluid_settings_t* settings = new_fluid_settings();
    if (!settings) return;
    settings_ = settings;
    fluid_settings_setnum(settings, "synth.sample-rate", SampleRate() * kOversample);
    fluid_settings_setnum(settings, "synth.gain", kGain);
    // Clicks need neither; both cost CPU on every block even when nothing sounds.
    fluid_settings_setint(settings, "synth.reverb.active", 0);
    fluid_settings_setint(settings, "synth.chorus.active", 0);
    // Only the audio thread touches the synth once it is attached.
    fluid_settings_setint(settings, "synth.threadsafe-api", 0);
    fluid_settings_setint(settings, "synth.polyphony", 128);
    fluid_synth_t* synth = new_fluid_synth(settings);
    if (!synth) return;
    synth_ = synth;
    for (const std::string& path : candidates) {
        if (!FileExists(path)) continue;
        int id = fluid_synth_sfload(synth, path.c_str(), 1);
        if (id != FLUID_FAILED) {
            sfont_ = id;
            sfontPath_ = path;
            break;
        }
    }
}

GmSynth::~GmSynth() {
    if (attached_) RemoveSource(this);
    if (synth_) delete_fluid_synth(Synth(synth_));
    if (settings_) delete_fluid_settings(static_cast<fluid_settings_t*>(settings_));
}

void GmSynth::Attach() {
    if (attached_) return;
    attached_ = true;
    AddSource(this);
}

bool GmSynth::Push(const Item& item) {
    std::lock_guard<std::mutex> lock(producerMutex_);
    return queue_.Push(item);
}

bool GmSynth::ShortMsg(uint32_t msg, int64_t logicalNs) { return Push({logicalNs, msg, false}); }
bool GmSynth::Reset(int64_t logicalNs) { return Push({logicalNs, 0, true}); }

void GmSynth::Apply(const Item& item) {
    fluid_synth_t* s = Synth(synth_);
    if (!s) return;
    if (item.reset) {
        for (int ch = 0; ch < 16; ++ch) {
            fluid_synth_cc(s, ch, 64, 0);
            fluid_synth_all_notes_off(s, ch);
        }
        return;
    }
    uint32_t m = item.msg;
    int status = static_cast<int>(m & 0xF0);
    int ch = static_cast<int>(m & 0x0F);
    int d1 = static_cast<int>((m >> 8) & 0x7F);
    int d2 = static_cast<int>((m >> 16) & 0x7F);
    switch (status) {
        case 0x80:
            fluid_synth_noteoff(s, ch, d1);
            break;
        case 0x90:
            if (d2 == 0)
                fluid_synth_noteoff(s, ch, d1);
            else
                fluid_synth_noteon(s, ch, d1, d2);
            break;
        case 0xA0:
            fluid_synth_key_pressure(s, ch, d1, d2);
            break;
        case 0xB0:
            fluid_synth_cc(s, ch, d1, d2);
            break;
        case 0xC0:
            fluid_synth_program_change(s, ch, d1);
            break;
        case 0xD0:
            fluid_synth_channel_pressure(s, ch, d1);
            break;
        case 0xE0:
            fluid_synth_pitch_bend(s, ch, d1 | (d2 << 7));
            break;
        default:
            break;  // system messages mean nothing to the synthesizer
    }
}

void GmSynth::RenderSynth(float* out, int frames) {
    // Without a sound font the synthesizer has nothing to add to the block the stream cleared.
    if (!synth_ || sfont_ < 0) return;
    while (frames > 0) {
        const int n = frames < kScratchFrames ? frames : kScratchFrames;
        const int hi = n * kOversample;
        float* buf = scratch_.data();
        fluid_synth_write_float(Synth(synth_), hi, buf, 0, 2, buf, 1, 2);
        float* low = decimated_.data();
        for (int c = 0; c < 2; ++c) {
            // Sample i of the synth's output, reaching back into the previous call's history.
            auto x = [&](int i) { return i >= 0 ? buf[i * 2 + c] : history_[c][kTaps - 1 + i]; };
            for (int j = 0; j < n; ++j) {
                const int last = j * kOversample + 1;
                float acc = 0;
                for (int k = 0; k < kTaps; ++k) acc += kHalfBand.h[k] * x(last - k);
                low[j * 2 + c] = acc;
            }
            float next[kTaps - 1];
            for (int k = 0; k < kTaps - 1; ++k) next[k] = x(hi - (kTaps - 1) + k);
            std::copy(next, next + kTaps - 1, history_[c]);
        }
        // The limiter: both channels share one gain, so that the stereo image stays.
        for (int j = 0; j < n; ++j) {
            const float peak = std::max(std::fabs(low[j * 2]), std::fabs(low[j * 2 + 1]));
            limiterGain_ += (1.0f - limiterGain_) * limiterRelease_;
            if (peak * limiterGain_ > kLimit) limiterGain_ = kLimit / peak;
            out[j * 2] += low[j * 2] * limiterGain_;
            out[j * 2 + 1] += low[j * 2 + 1] * limiterGain_;
        }
        out += static_cast<size_t>(n) * 2;
        frames -= n;
    }
}

void GmSynth::Render(float* out, int frames, int64_t firstFrame) {
    if (!haveOrigin_) {
        haveOrigin_ = true;
        origin_ = firstFrame;
    }
    const int64_t end = firstFrame + frames;
    int64_t pos = firstFrame;
    for (;;) {
        const Item* it = queue_.Front();
        int64_t boundary = end;
        bool apply = false;
        if (it) {
            const int64_t due = FrameForTime(it->ns) - kFilterDelay;
            int64_t b = BlockBoundary(due, origin_);
            if (b < pos) b = pos;  // late: sound it as soon as possible
            if (b < end) boundary = b;
            apply = b < end;
            const bool noteOn = !it->reset && (it->msg & 0xF0) == 0x90 && ((it->msg >> 16) & 0x7F) != 0;
            if (apply && noteOn) {
                if (awaitingFirst_) {
                    awaitingFirst_ = false;
                    firstNs_ = it->ns;
                } else if (it->ns != firstNs_ && pos - due >= kStaleFrames) {
                    queue_.Pop();  // a note missed long ago
                    continue;
                }
            }
            if (apply && it->reset) awaitingFirst_ = true;
        }
        if (boundary > pos) {
            RenderSynth(out + (pos - firstFrame) * 2, static_cast<int>(boundary - pos));
            pos = boundary;
        }
        if (apply) {
            Apply(*it);
            queue_.Pop();
            continue;
        }
        if (pos >= end) break;
    }
}

}  // namespace tikora::audio
