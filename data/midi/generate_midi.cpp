// Writes the drum beats ("Drums\") and the short pieces ("Midi\") that the program ships, as
// Standard MIDI Files of format 1: a conductor track with the time signature and tempo, then one
// track per part. All patterns and tunes are our own.
// Usage: generate_midi <drums folder> <midi folder>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kPpq = 480;

struct Event {
    uint32_t tick;
    int order;  // note-offs before everything else at the same tick
    std::vector<uint8_t> bytes;
};

class Track {
public:
    explicit Track(std::string name) : name_(std::move(name)) {}
    void Meta(uint32_t tick, uint8_t type, std::vector<uint8_t> data) {
        std::vector<uint8_t> b{0xFF, type};
        b.push_back(static_cast<uint8_t>(data.size()));
        b.insert(b.end(), data.begin(), data.end());
        events_.push_back({tick, 1, b});
    }
    void Program(uint32_t tick, int channel, int program) {
        events_.push_back({tick, 1, {static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(program)}});
    }
    void Controller(uint32_t tick, int channel, int cc, int value) {
        events_.push_back(
            {tick, 1, {static_cast<uint8_t>(0xB0 | channel), static_cast<uint8_t>(cc), static_cast<uint8_t>(value)}});
    }
    void Note(uint32_t tick, uint32_t length, int channel, int note, int velocity) {
        events_.push_back(
            {tick,
             2,
             {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)}});
        events_.push_back({tick + length, 0, {static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(note), 0}});
    }
    std::vector<uint8_t> Bytes(uint32_t endTick) const {
        std::vector<Event> ev = events_;
        std::vector<uint8_t> nameData(name_.begin(), name_.end());
        ev.insert(ev.begin(), Event{0, -1, {}});
        ev.front().bytes = {0xFF, 0x03, static_cast<uint8_t>(nameData.size())};
        ev.front().bytes.insert(ev.front().bytes.end(), nameData.begin(), nameData.end());
        std::stable_sort(ev.begin(), ev.end(), [](const Event& a, const Event& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
        });
        std::vector<uint8_t> out;
        uint32_t last = 0;
        for (const Event& e : ev) {
            PutVarLen(out, e.tick - last);
            last = e.tick;
            out.insert(out.end(), e.bytes.begin(), e.bytes.end());
        }
        PutVarLen(out, endTick > last ? endTick - last : 0);
        out.insert(out.end(), {0xFF, 0x2F, 0x00});
        return out;
    }

private:
    static void PutVarLen(std::vector<uint8_t>& out, uint32_t v) {
        uint8_t buf[5];
        int n = 0;
        buf[n++] = v & 0x7F;
        while (v >>= 7) buf[n++] = static_cast<uint8_t>(0x80 | (v & 0x7F));
        while (n) out.push_back(buf[--n]);
    }
    std::string name_;
    std::vector<Event> events_;
};

void PutU32BE(std::vector<uint8_t>& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}

struct Meter {
    int numerator;
    int denominator;
    int bpm;  // quarter notes per minute
};

uint32_t BarTicks(const Meter& m) { return static_cast<uint32_t>(kPpq * 4 * m.numerator / m.denominator); }

Track Conductor(const std::string& title, const Meter& m) {
    Track t(title);
    int power = 0;
    while ((1 << power) < m.denominator) ++power;
    t.Meta(0, 0x58, {static_cast<uint8_t>(m.numerator), static_cast<uint8_t>(power), 24, 8});
    uint32_t us = 60000000u / static_cast<uint32_t>(m.bpm);
    t.Meta(0, 0x51, {static_cast<uint8_t>(us >> 16), static_cast<uint8_t>(us >> 8), static_cast<uint8_t>(us)});
    return t;
}

bool WriteSong(const std::string& path, const std::vector<Track>& tracks, uint32_t endTick) {
    std::vector<uint8_t> b{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    b.push_back(static_cast<uint8_t>(tracks.size() >> 8));
    b.push_back(static_cast<uint8_t>(tracks.size()));
    b.push_back(kPpq >> 8);
    b.push_back(kPpq & 0xFF);
    for (const Track& t : tracks) {
        std::vector<uint8_t> data = t.Bytes(endTick);
        b.insert(b.end(), {'M', 'T', 'r', 'k'});
        PutU32BE(b, static_cast<uint32_t>(data.size()));
        b.insert(b.end(), data.begin(), data.end());
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

// ---- Drum beats ----
// A drum line is a General MIDI percussion note and a grid string, one character per step:
// 'X' accent, 'x' normal, 'o' soft (ghost note), '.' rest. Lines repeat to fill the beat.

struct DrumLine {
    int note;
    const char* grid;
};

// The engine loops a drum beat over at least two bars of the file's meter counted in quarter
// notes (four bars of eighths): each beat is that long, so that no bar of the loop is silent.
struct DrumBeat {
    const char* name;
    Meter meter;
    int stepsPerBar;
    int bars;
    std::vector<DrumLine> lines;
};

enum : int {
    Kick = 36,
    SideStick = 37,
    Snare = 38,
    Clap = 39,
    LowTom = 45,
    MidTom = 47,
    HiTom = 50,
    ClosedHat = 42,
    PedalHat = 44,
    OpenHat = 46,
    Crash = 49,
    Ride = 51,
    RideBell = 53,
    Tambourine = 54,
    Cowbell = 56,
    Shaker = 70,
    Claves = 75,
    HiWood = 76,
    LowWood = 77,
    HiConga = 62,
    LowConga = 64,
};

int Velocity(char c) { return c == 'X' ? 118 : c == 'x' ? 96 : c == 'o' ? 56 : 0; }

bool WriteDrumBeat(const std::string& dir, const DrumBeat& beat) {
    Track drums("Drums");
    const uint32_t bar = BarTicks(beat.meter);
    const uint32_t total = bar * static_cast<uint32_t>(beat.bars);
    const int steps = beat.stepsPerBar * beat.bars;
    for (const DrumLine& line : beat.lines) {
        std::string g = line.grid;
        for (int s = 0; s < steps; ++s) {
            char c = g[static_cast<size_t>(s) % g.size()];
            int v = Velocity(c);
            if (!v) continue;
            uint32_t tick = static_cast<uint32_t>(static_cast<uint64_t>(total) * s / steps);
            drums.Note(tick, kPpq / 8, 9, line.note, v);
        }
    }
    return WriteSong(dir + "/" + beat.name + ".mid", {Conductor(beat.name, beat.meter), drums}, total);
}

std::vector<DrumBeat> DrumBeats() {
    return {
        {"Rock",
         {4, 4, 112},
         16,
         2,
         {{ClosedHat, "x.o.x.o.x.o.x.o."},
          {Kick, "X.......X.x.....X.....x.X.x....."},
          {Snare,
           "....X.......X......."
           "....X..o"}}},
        {"Shuffle",
         {4, 4, 96},
         12,
         2,
         {{Ride, "x.ox.ox.ox.o"}, {Kick, "X.....x....."}, {Snare, "...X.....X.."}, {PedalHat, "...x.....x.."}}},
        {"Waltz", {3, 4, 138}, 6, 2, {{Kick, "X....."}, {ClosedHat, "..x.x."}, {Snare, "..o.o."}}},
        {"Bossa Nova",
         {4, 4, 126},
         16,
         2,
         {{SideStick, "x..x..x...x..x....x..x..x..x...."},
          {Kick, "X..xx..xX..xx..x"},
          {ClosedHat, "x.x.x.x.x.x.x.x."}}},
        {"Six-Eight",
         {6, 8, 72},
         12,
         4,
         {{ClosedHat, "x.o.o.x.o.o."}, {Kick, "X.....x....."}, {Snare, "......X....."}}},
        {"Seven-Eight",
         {7, 8, 100},
         14,
         4,
         {{ClosedHat, "x.x.x.x.x.x.x."}, {Kick, "X...x...X.x..."}, {Snare, "....X.......X."}}},
        {"Five-Four",
         {5, 4, 104},
         10,
         2,
         {{Ride, "x.x.x.x.x."}, {Kick, "X.....x..."}, {Snare, "..x...x.x."}, {PedalHat, "..x...x..."}}},
        {"Funk",
         {4, 4, 100},
         16,
         2,
         {{ClosedHat, "xxxxxxxxxxxxxxxo"},
          {Kick, "X.x....x..X....xX.x.......X..x.."},
          {Snare, "....X..o.o..X..o....X..o.o..X.o."}}},
        {"Swing", {4, 4, 150}, 12, 2, {{Ride, "x..x.xx..x.x"}, {PedalHat, "...x.....x.."}, {Kick, "o.....o....."}}},
        {"One Drop",
         {4, 4, 76},
         12,
         2,
         {{ClosedHat, "x.xx.xx.xx.x"}, {Kick, "......X....."}, {SideStick, "......x....."}}},
        {"Samba",
         {2, 4, 100},
         8,
         2,
         {{Shaker, "xoxxxoxx"}, {Kick, "X..xx..xX..xX..x"}, {Tambourine, "..x...x."}, {LowConga, "......x.....x.x."}}},
        {"March", {2, 4, 116}, 8, 2, {{Snare, "X.ooX.xo"}, {Kick, "X...x..."}, {Crash, "X......."}}},
        {"Country", {2, 4, 112}, 4, 2, {{Kick, "X.x."}, {Snare, ".x.X"}, {ClosedHat, "xxxx"}}},
    };
}

// ---- Short pieces ----
// Each piece is a chord progression (root, chord tones) played as an arpeggio by a piano, a bass
// on the roots and a melody drawn from the chord tones, with drums.

struct Chord {
    int root;  // MIDI note of the root in the bass octave
    int third;
    int fifth;
};

struct Piece {
    const char* name;
    Meter meter;
    int beatsPerChord;
    std::vector<Chord> chords;
    int melodyProgram;
    std::vector<int> melodySteps;  // chord-tone indexes 0..5 per beat, -1 = rest
    std::vector<DrumLine> drums;
    int drumStepsPerBar;
};

bool WritePiece(const std::string& dir, const Piece& p) {
    Track melody("Melody"), piano("Piano"), bass("Bass"), drums("Drums");
    const uint32_t beat = static_cast<uint32_t>(kPpq * 4 / p.meter.denominator);
    melody.Program(0, 0, p.melodyProgram);
    piano.Program(0, 1, 0);
    bass.Program(0, 2, 32);
    melody.Controller(0, 0, 10, 80);
    piano.Controller(0, 1, 10, 50);
    melody.Controller(0, 0, 7, 110);
    piano.Controller(0, 1, 7, 80);
    bass.Controller(0, 2, 7, 100);
    uint32_t t = 0;
    size_t step = 0;
    for (const Chord& c : p.chords) {
        const int tones[6] = {c.root + 24, c.third + 24, c.fifth + 24, c.root + 36, c.third + 36, c.fifth + 36};
        bass.Note(t, beat * static_cast<uint32_t>(p.beatsPerChord) - 10, 2, c.root, 92);
        for (int b = 0; b < p.beatsPerChord; ++b) {
            uint32_t bt = t + beat * static_cast<uint32_t>(b);
            piano.Note(bt, beat / 2, 1, tones[b % 3], b == 0 ? 70 : 58);
            piano.Note(bt + beat / 2, beat / 2, 1, tones[(b + 1) % 3 + 1], 52);
            int m = p.melodySteps[step++ % p.melodySteps.size()];
            if (m >= 0) melody.Note(bt, beat - 20, 0, tones[m] + 12, b == 0 ? 100 : 84);
        }
        t += beat * static_cast<uint32_t>(p.beatsPerChord);
    }
    const uint32_t bar = BarTicks(p.meter);
    const int bars = static_cast<int>(t / bar);
    for (const DrumLine& line : p.drums) {
        std::string g = line.grid;
        for (int s = 0; s < bars * p.drumStepsPerBar; ++s) {
            int v = Velocity(g[static_cast<size_t>(s) % g.size()]);
            if (v)
                drums.Note(static_cast<uint32_t>(static_cast<uint64_t>(bar) * s / p.drumStepsPerBar), kPpq / 8, 9,
                           line.note, v);
        }
    }
    return WriteSong(dir + "/" + p.name + ".mid", {Conductor(p.name, p.meter), melody, piano, bass, drums}, t);
}

std::vector<Piece> Pieces() {
    // Bass-octave roots: C=36, D=38, E=40, F=41, G=43, A=45, Bb=46.
    return {
        {"Morning Etude",
         {4, 4, 96},
         4,
         {{36, 40, 43},
          {45, 48, 52},
          {41, 45, 48},
          {43, 47, 50},
          {36, 40, 43},
          {45, 48, 52},
          {38, 41, 45},
          {43, 47, 50}},
         73,
         {0, 1, 2, 4, 3, 2, 1, -1, 2, 1, 0, 1, 4, 5, 4, -1},
         {{ClosedHat, "x.x.x.x."}, {Kick, "X...X..."}, {Snare, "..x...x."}},
         8},
        {"Little Waltz",
         {3, 4, 132},
         3,
         {{41, 45, 48},
          {46, 50, 53},
          {36, 40, 43},
          {41, 45, 48},
          {38, 41, 45},
          {46, 50, 53},
          {36, 40, 43},
          {41, 45, 48}},
         40,
         {3, 4, 5, 4, 2, -1, 1, 2, 3, 2, 1, 0},
         {{Kick, "X....."}, {ClosedHat, "..x.x."}},
         6},
        {"Blues in F",
         {4, 4, 112},
         4,
         {{41, 45, 48},
          {46, 50, 53},
          {41, 45, 48},
          {41, 45, 48},
          {46, 50, 53},
          {46, 50, 53},
          {41, 45, 48},
          {41, 45, 48},
          {36, 40, 43},
          {46, 50, 53},
          {41, 45, 48},
          {36, 40, 43}},
         66,
         {0, 2, 3, -1, 5, 4, 3, 2, 1, 2, 0, -1},
         {{Ride, "x..x.xx..x.x"}, {Kick, "X.....x....."}, {Snare, "...x.....x.."}},
         12},
        {"Seven Steps",
         {7, 8, 160},
         7,
         {{38, 41, 45}, {36, 40, 43}, {34, 38, 41}, {36, 40, 43}},
         11,
         {0, 2, 1, 3, 2, 4, 3, 5, 4, 2, 3, 1, 2, -1},
         {{ClosedHat, "x.x.x.x.x.x.x."}, {Kick, "X...x...X....."}, {Snare, "....X.......X."}},
         14},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <drums folder> <midi folder>\n", argv[0]);
        return 2;
    }
    for (const DrumBeat& b : DrumBeats())
        if (!WriteDrumBeat(argv[1], b)) {
            std::fprintf(stderr, "generate_midi: cannot write %s\n", b.name);
            return 1;
        }
    for (const Piece& p : Pieces())
        if (!WritePiece(argv[2], p)) {
            std::fprintf(stderr, "generate_midi: cannot write %s\n", p.name);
            return 1;
        }
    return 0;
}
