// Synthesises the click and alarm sounds that the program ships in "wavs\": 16-bit PCM mono
// wave files at 44100 Hz. Usage: generate_sounds <output folder>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

void PutU16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void PutU32(std::vector<uint8_t>& b, uint32_t v) {
    PutU16(b, v & 0xFFFF);
    PutU16(b, v >> 16);
}

void PutTag(std::vector<uint8_t>& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

bool WriteWave(const std::string& path, const std::vector<double>& samples) {
    // Normalise to a peak of -1 dBFS so every click is equally loud at full volume.
    double peak = 1e-9;
    for (double s : samples) peak = std::max(peak, std::fabs(s));
    const double gain = 0.891 / peak;
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> b;
    PutTag(b, "RIFF");
    PutU32(b, 36 + dataBytes);
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    PutU32(b, 16);
    PutU16(b, 1);  // PCM
    PutU16(b, 1);  // mono
    PutU32(b, kRate);
    PutU32(b, kRate * 2);
    PutU16(b, 2);
    PutU16(b, 16);
    PutTag(b, "data");
    PutU32(b, dataBytes);
    for (double s : samples) {
        int64_t v = std::llround(s * gain * 32767.0);
        v = std::clamp<int64_t>(v, -32768, 32767);
        PutU16(b, static_cast<uint16_t>(static_cast<int16_t>(v)));
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

struct Partial {
    double freq;
    double amp;
    double decay;  // seconds to fall by 1/e
};

std::vector<double> Modal(double seconds, const std::vector<Partial>& partials, double noiseAmp, double noiseDecay,
                          uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    const int n = static_cast<int>(seconds * kRate);
    std::vector<double> out(static_cast<size_t>(n));
    double lp = 0;
    for (int i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / kRate;
        double v = 0;
        for (const Partial& p : partials) v += p.amp * std::exp(-t / p.decay) * std::sin(2 * kPi * p.freq * t);
        // A short filtered noise burst gives the strike its attack.
        lp += 0.35 * (noise(rng) - lp);
        v += noiseAmp * std::exp(-t / noiseDecay) * lp;
        // 1 ms fade-in avoids a click from a non-zero first sample.
        if (t < 0.001) v *= t / 0.001;
        out[static_cast<size_t>(i)] = v;
    }
    return out;
}

std::vector<double> Beep(double freq, double seconds) {
    const int n = static_cast<int>(seconds * kRate);
    std::vector<double> out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / kRate;
        double env = std::min({1.0, t / 0.002, (seconds - t) / 0.012});
        out[static_cast<size_t>(i)] = env * (std::sin(2 * kPi * freq * t) + 0.15 * std::sin(4 * kPi * freq * t));
    }
    return out;
}

std::vector<double> AlarmChime() {
    // Three rising bell tones, twice: clearly an alarm, not a click.
    const double notes[] = {659.25, 783.99, 1046.5};
    const double step = 0.28;
    std::vector<double> out(static_cast<size_t>(3.2 * kRate), 0.0);
    for (int rep = 0; rep < 2; ++rep)
        for (int k = 0; k < 3; ++k) {
            auto tone = Modal(1.4, {{notes[k], 1.0, 0.45}, {notes[k] * 2.0, 0.35, 0.25}, {notes[k] * 3.01, 0.12, 0.12}},
                              0.0, 0.01, 7);
            size_t start = static_cast<size_t>((rep * 1.1 + k * step) * kRate);
            for (size_t i = 0; i < tone.size() && start + i < out.size(); ++i) out[start + i] += tone[i];
        }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    struct Sound {
        const char* name;
        std::function<std::vector<double>()> make;
    };
    const Sound sounds[] = {
        {"WoodBlockHigh.wav",
         [] {
             return Modal(0.12, {{1250, 1.0, 0.030}, {2960, 0.35, 0.012}, {4400, 0.1, 0.006}}, 0.25, 0.003, 1);
         }},
        {"WoodBlockLow.wav",
         [] {
             return Modal(0.14, {{820, 1.0, 0.036}, {1960, 0.35, 0.014}, {3100, 0.1, 0.007}}, 0.25, 0.003, 2);
         }},
        {"SideStick.wav",
         [] {
             return Modal(0.10, {{1650, 0.6, 0.010}, {460, 0.4, 0.020}}, 1.0, 0.008, 3);
         }},
        {"BeepHigh.wav", [] { return Beep(1760, 0.06); }},
        {"BeepLow.wav", [] { return Beep(880, 0.06); }},
        {"Bell.wav",
         [] {
             return Modal(0.9, {{1318.5, 1.0, 0.30}, {1318.5 * 2.76, 0.4, 0.12}, {1318.5 * 5.4, 0.15, 0.05}}, 0.1,
                          0.002, 4);
         }},
        {"Alarm.wav", [] { return AlarmChime(); }},
    };
    for (const Sound& s : sounds) {
        std::string path = dir + "/" + s.name;
        if (!WriteWave(path, s.make())) {
            std::fprintf(stderr, "generate_sounds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
