#include "Tmetronomgame.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "AudioStream.h"
#include "DVText.h"
#include "FileFunctions.h"
#include "Player.h"
#include "SysUtils.h"

// ---------------------------------------------------------------------------------------------
// Tables

const std::array<int, kDrumCount> DrumNotes = {35, 37, 38, 39, 41, 42, 45, 46, 48, 49, 51, 54, 56,
                                               62, 63, 64, 65, 66, 69, 70, 71, 75, 81, 33, 34};
const std::array<const char*, kDrumCount> DrumNames = {
    "Acoustic Bass Drum", "Side Stick",   "Acoustic Snare", "Hand Clap",     "Low Floor Tom",
    "Closed Hi-Hat",      "Low Tom",      "Open Hi-Hat",    "Hi-Mid Tom",    "Crash Cymbal 1",
    "Ride Cymbal 1",      "Tambourine",   "Cowbell",        "Mute Hi Conga", "Open Hi Conga",
    "Low Conga",          "High Timbale", "Low Timbale",    "Cabasa",        "Maracas",
    "Short Whistle",      "Claves",       "Open Triangle",  "Metronome",     "M. Bell"};

int DrumIndexFromName(const AnsiString& name) {
    for (int i = 0; i < kDrumCount; ++i)
        if (name == DrumNames[i]) return i;
    return -1;
}

const std::array<const char*, 9> TempoNames = {"Largo",   "Larghetto", "Adagio",      "Andante",          "Moderato",
                                               "Allegro", "Presto",    "Prestissimo", "Blisteringly Fast"};
const std::array<int, 8> TempoNameLimits = {58, 66, 76, 107, 116, 168, 200, 230};
const std::array<int, 9> DragTempoSteps = {220, 230, 240, 250, 260, 320, 380, 440, 500};

int TempoNameIndex(int tempo) {
    for (int i = 0; i < 8; ++i)
        if (TempoNameLimits[i] >= tempo) return i;
    return 8;
}

namespace {

constexpr int kMinTempo = 40;
constexpr int kMaxTempo = 500;
constexpr int kMaxNumerator = 64;  // twice the beats per bar must fit the beat marker's 7 bits
constexpr uint8_t kClickChannel = 9;
// The Player sends the events of its start tick one tick after it starts, and reports the end of a
// song at its second-to-last event. Laying the beats one tick after the track's start keeps every
// beat, the first of each 200 bars included, on one grid.
constexpr uint32_t kLead = 1;

int ClampTempo(int t) { return std::clamp(t, kMinTempo, kMaxTempo); }

MIDIEvent Event(uint32_t tick, uint8_t status, uint8_t d1, uint8_t d2 = 0) { return MIDIEvent{tick, status, d1, d2}; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// TMIDIContent

TMIDIContent::TMIDIContent() : Song(1, 120) {
    Song.TempoMap.push_back({0, 500000});
    Song.TimeSignatures.push_back({0, 4, 2, 0, 0});
}

void TMIDIContent::AddEvent(const MIDIEvent& event) {
    if (Kind == 0) {
        Events.push_back(event);
    } else if (Kind == 1) {
        MIDITrack* track = Song.FirstTrack();
        if (!track) return;
        // Inserted after the events of the same tick: re-sorting the whole track per event made
        // large numerators take seconds.
        auto& ev = track->events;
        auto at = std::upper_bound(ev.begin(), ev.end(), event.Tick,
                                   [](uint32_t tick, const MIDIEvent& e) { return tick < e.Tick; });
        ev.insert(at, event);
    }
}

// ---------------------------------------------------------------------------------------------
// The settings-file stand-in for the settings window

AnsiString TSettingsFileHost::SetPath(int kind, const char* key) const {
    static const char* const sets[3] = {"Bar", "Beat", "Sub"};
    return AnsiString("Preset[default].Set[") + sets[std::clamp(kind, 0, 2)] + "]." + key;
}

bool TSettingsFileHost::ClickUseMidi(int kind) {
    return engine_->GetSettingsDialogTag()->GetBool(SetPath(kind, "UseMidi"));
}
AnsiString TSettingsFileHost::ClickWaveFile(int kind) {
    return engine_->GetSettingsDialogTag()->GetString(SetPath(kind, "WaveFile"));
}
int TSettingsFileHost::ClickVolume(int kind) {
    return engine_->GetSettingsDialogTag()->GetInteger(SetPath(kind, "Volume"));
}
int TSettingsFileHost::ClickPan(int kind) { return engine_->GetSettingsDialogTag()->GetInteger(SetPath(kind, "Pan")); }
int TSettingsFileHost::ClickPatchIndex(int kind) {
    // An unknown name selects the list's first row, as the settings window does.
    return std::max(0, DrumIndexFromName(engine_->GetSettingsDialogTag()->GetString(SetPath(kind, "MidiPatch"))));
}
int LatencyForDevice(int stored, int device) {
    if (stored >= 0) return stored;
    if (device > 0) return 0;
    const int64_t ns = tikora::audio::OutputLatencyNs() + tikora::audio::DeviceBufferNs();
    return static_cast<int>((ns + 500'000) / 1'000'000);
}

int TSettingsFileHost::Latency() {
    int device = std::max(engine_->GetPlayer() ? engine_->GetPlayer()->OutDevice : 0, 0);
    return LatencyForDevice(engine_->GetSettingsDialogTag()->GetIntegerIdx("Latency[#]", device + 1), device);
}
bool TSettingsFileHost::MClickBorder() { return !engine_->GetSettingsDialogTag()->GetBool("MClickCenter"); }
int TSettingsFileHost::MClickLatency() { return engine_->GetSettingsDialogTag()->GetInteger("MClickLatency"); }

// ---------------------------------------------------------------------------------------------
// Construction

TMetronomeGame::TMetronomeGame(Player* sequencer)
    : Sequencer(sequencer), FileHost(std::make_unique<TSettingsFileHost>(this)), Host(FileHost.get()) {
    Context = std::make_unique<TDVContext>();
    LoadSettingsFiles(Context.get(), true);
    SettingsTag = Context->GetContext("Settings");
    SettingsDialogTag = Context->GetContext("SettingsDialog");
    Context->LoadFromFile("Tikora.tkra", false);
    ReadSettings();
    ResetPhase(0);
}

TMetronomeGame::~TMetronomeGame() = default;

void TMetronomeGame::LoadSettingsFiles(TDVContext* context, bool readIni) {
    context->LoadFromFile("Tikora.def", true);
    if (readIni) context->LoadFromFile("Tikora.ini", false);
}

void TMetronomeGame::SetHost(TEngineHost* host) { Host = host ? host : FileHost.get(); }

// ---------------------------------------------------------------------------------------------
// Tempo, time signature, click sounds

bool TMetronomeGame::SetTempo(int tempo) {
    tempo = ClampTempo(tempo);
    if (tempo == Tempo) return false;
    Tempo = tempo;
    RebuildPending = true;
    if (State == psStopped) {
        SetPendulumTempo(Tempo);
        UpdateAngularSpeed();
    }
    return true;
}

bool TMetronomeGame::ParseTimeSignature(const AnsiString& text, int& numerator, int& denominator,
                                        std::vector<uint8_t>& pattern) {
    AnsiString rest = NormalizeLine(text);
    AnsiString token;
    if (ExtractToken(rest, token, ":", false) != ':') return false;
    int num = StrToIntDef(token, 0);
    if (num < 1 || num > kMaxNumerator) return false;
    ExtractToken(rest, token, " (", false);
    int den = StrToIntDef(token, 0);
    if (den == 0) return false;
    rest = rest.Trim();
    std::vector<uint8_t> groups;
    int sum = 0;
    bool first = true;
    while (!rest.IsEmpty()) {
        char stop = ExtractToken(rest, token, "1234567890", true);
        if ((stop != ')' && stop != '+') || token.IsEmpty()) continue;
        int g = StrToIntDef(token, 0);
        if (g <= 0) return false;
        // Past the numerator the sum can only fail; stopping here keeps "4:4 (99999999)" from
        // allocating a huge pattern first.
        if (g > num - sum) return false;
        sum += g;
        for (int i = 0; i < g; ++i) groups.push_back(i > 0 ? 2 : (first ? 0 : 1));
        first = false;
    }
    if (groups.empty()) {
        sum = num;
        groups.assign(static_cast<size_t>(num), 1);
        groups[0] = 0;
    }
    if (sum != num) return false;
    numerator = sum;
    denominator = den;
    pattern = std::move(groups);
    return true;
}

bool TMetronomeGame::SetTimeSignature(const AnsiString& text) {
    TimeSignatureText = text;
    if (!ParseTimeSignature(text, Numerator, Denominator, AccentPattern)) return false;
    LastGoodTimeSignatureText = text;
    return true;
}

int TMetronomeGame::ReadNoteSets() {
    NoteSets.clear();
    NoteSets.resize(3);
    for (int kind = 0; kind < 3; ++kind) {
        TNoteSet& s = NoteSets[kind];
        s.UseMidi = Host->ClickUseMidi(kind) ? 1 : 0;
        s.WaveFile = Host->ClickWaveFile(kind);
        s.Volume = Host->ClickVolume(kind);
        s.Pan = Host->ClickPan(kind);
        int row = Host->ClickPatchIndex(kind);
        s.Patch = DrumNotes[row >= 0 && row < kDrumCount ? row : 0];
    }
    Latency = Host->Latency();
    RebuildPending = true;
    return Latency;
}

void TMetronomeGame::Play() {
    State = psPlaying;
    Restart();
}

void TMetronomeGame::Restart() {
    CurrentBeat = 0;
    ResetPhase(0);
    UpdateAngularSpeed();
    // The generators ran to the end of the track when it was built. At the end of the track the
    // next one goes on from there, on the same grid; a restart while it plays (a new meter, a
    // tapped tempo) takes them up at the beat that is sounding.
    const bool atEnd = Sequencer && Sequencer->Clock.Ended();
    if (!TrackStates.empty()) {
        const TGeneratorState& g =
            TrackStates[atEnd ? TrackStates.size() - 1 : std::min(NextTrackBeat, TrackStates.size() - 1)];
        BarsGenerated = g.BarsGenerated;
        if (!TrackHasFile) Tool1Countdown = g.Tool1Countdown;
    }
    BuildClickTrack(0, 0, 0, atEnd);
}

void TMetronomeGame::Stop() {
    SetPendulumTempo(Tempo);
    AdvanceTime(0);
    State = psStopped;
}

void TMetronomeGame::Pause() {
    if (State == psPlaying)
        State = psPaused;
    else if (State == psPaused)
        State = psPlaying;
}

// ---------------------------------------------------------------------------------------------
// Click track

int TMetronomeGame::RampedTempo() const {
    // In 64 bits: a panel or a settings file may give any step. A falling ramp would reach 0 bpm
    // and divide by zero; the ramp stays in the tempo range.
    int64_t t = Tempo;
    if (Tool2Enabled) t += static_cast<int64_t>(BarsGenerated / std::max(Tool2Bars, 1)) * Tool2BPMDelta;
    return static_cast<int>(std::clamp<int64_t>(t, kMinTempo, kMaxTempo));
}

void TMetronomeGame::StepCountdown() {
    // Play beats count down to 1, rest beats on to minus the rest; any values a settings file
    // holds stay within range when counted in 64 bits.
    const int64_t next = static_cast<int64_t>(Tool1Countdown) - 1;
    Tool1Countdown = next <= -static_cast<int64_t>(Tool1RestBeats) ? Tool1PlayBeats : static_cast<int>(next);
}

void TMetronomeGame::AddMarker(MIDITrack& track, uint32_t tick, uint8_t controller, uint8_t value) const {
    track.events.push_back(Event(tick, 0xB0 | kClickChannel, controller, value & 0x7F));
}

void TMetronomeGame::BuildClickTrack(int startBeat, int silentBeats, uint32_t startTick, bool onFromEnd) {
    // A file-mode rebuild goes on with the notes that sound: it must not cut them.
    const bool handOver = silentBeats > 0 && State == psPlaying && MidiFileSong.GetTrackCount() > 0;
    int64_t sentThrough = -1;
    if (Sequencer && handOver) {
        // Stopped first: the timer thread sends nothing more once the sent tick is read.
        Sequencer->Clock.Stop();
        sentThrough = Sequencer->SentThroughTick();
    } else if (Sequencer) {
        Sequencer->Stop();
        Sequencer->Reset();
    }
    RebuildPending = false;
    if (State != psPlaying) return;

    ClickTrack = std::make_unique<TMIDIContent>();
    ClickTrack->Kind = 1;
    MIDIData& song = ClickTrack->Song;

    const bool fileMode = MidiFileSong.GetTrackCount() > 0;
    uint32_t length = 0;
    if (!fileMode) {
        // The channel's volume and drum kit, once: a track that follows the last one finds them set.
        // (Sent a tick late with the first beat, they would carry the callback's time and hold
        // the beat back behind them in the synthesizer's queue.)
        if (!onFromEnd) {
            ClickTrack->AddEvent(Event(0, 0xB0 | kClickChannel, 7, 100));
            ClickTrack->AddEvent(Event(0, 0xC0 | kClickChannel, 2));
        }
        song.SetDivision(120);
        // A rebuild's clock starts at the beat that is sounding now, which lies on tick kLead.
        startTick = silentBeats > 0 ? kLead : 0;
    } else {
        song = MidiFileSong;
        if (const MIDIEvent* last = song.GetLastEvent()) length = last->Tick;
    }
    const uint32_t ppq = std::max<uint32_t>(song.Division, 1);
    song.TempoMap.clear();

    if (NoteSets.empty()) {
        ReadNoteSets();
        RebuildPending = false;
    }
    if (AccentPattern.empty()) SetTimeSignature("4:4");
    const int n = static_cast<int>(AccentPattern.size());
    const int bars2 = 2 * n;

    MIDITrack local(0);
    TrackStates.clear();
    TrackHasFile = fileMode;
    NextTrackBeat = static_cast<size_t>(std::max(silentBeats, 0));

    // A file-mode rebuild starts at the beat that is sounding, not at the file's beginning. Its
    // marker lies on a whole beat whose number matches the marker's value; the clock's tick may
    // lie a little on either side of it.
    uint32_t t = fileMode ? 0 : kLead;
    if (fileMode && silentBeats > 0) {
        const double beatsNow = static_cast<double>(startTick) / ppq;
        const double laps = std::round((beatsNow - startBeat) / bars2);
        const int64_t k = std::max<int64_t>(0, startBeat + static_cast<int64_t>(laps) * bars2);
        t = static_cast<uint32_t>(k * ppq);
        startTick = t;
        // The old track has sent this beat's own events already, and any after it that were due.
        const int64_t sent = std::max<int64_t>(sentThrough, t);
        for (auto& track : song.Tracks)
            std::erase_if(track->events, [sent](const MIDIEvent& e) { return e.Tick <= sent; });
    } else if (fileMode) {
        t = startTick / ppq * ppq;
    }
    int b = startBeat;
    auto more = [&] { return length == 0 ? b < 100 * bars2 : (t < length || b < bars2); };
    while (more()) {
        const int p = b % n;
        const TNoteSet& s = NoteSets[AccentPattern[p]];
        TrackStates.push_back({BarsGenerated, Tool1Countdown});

        if (!fileMode && t > 20)
            ClickTrack->AddEvent(
                Event(t - 20, 0xB0 | kClickChannel, PanMarker, static_cast<uint8_t>((s.Pan + 64) & 0x7F)));

        if (p == 0 || b == startBeat) {
            const int tempo = RampedTempo();
            song.TempoMap.push_back({t, static_cast<uint32_t>(60000000 / tempo) & 0xFFFFFF});
            AddMarker(local, t, static_cast<uint8_t>(TempoMarker + tempo / 100), static_cast<uint8_t>(tempo % 100));
        }

        if (!fileMode) {
            bool mute = false;
            if (Tool1Enabled) {
                mute = Tool1Countdown < 1;
                StepCountdown();
            }
            bool silent = false;
            if (silentBeats > 0) {
                --silentBeats;
                silent = true;
            } else if (!mute) {
                if (s.UseMidi == 0 && !s.WaveFile.IsEmpty())
                    AddMarker(local, t, WaveMarker, AccentPattern[p]);
                else if (s.Volume == 0)
                    local.events.push_back(Event(t, 0x80 | kClickChannel, static_cast<uint8_t>(s.Patch & 0x7F), 0));
                else
                    local.events.push_back(Event(t, 0x90 | kClickChannel, static_cast<uint8_t>(s.Patch & 0x7F),
                                                 static_cast<uint8_t>(s.Volume & 0x7F)));
            }
            // The silent first beat of a rebuild is the beat whose marker started the rebuild.
            if (!silent) AddMarker(local, t, BeatMarker, static_cast<uint8_t>(b % bars2));
        }
        if (p == 0) ++BarsGenerated;
        t += ppq;
        ++b;
    }
    TrackStates.push_back({BarsGenerated, Tool1Countdown});

    // The Player never sends a song's last event and reports the end when it reaches it, that is
    // at the tick of the event before it. Two inert note-offs put that report one beat after the
    // last beat: the click track's next 200 bars then begin on the grid (their beats lie one tick
    // after their start), a file's next loop with its first tick's events one tick late.
    const uint8_t barPatch = static_cast<uint8_t>(NoteSets[0].Patch & 0x7F);
    const uint32_t endTick = fileMode ? t + 1 : t;
    local.events.push_back(Event(endTick - 1, 0x80 | kClickChannel, barPatch, 0));
    local.events.push_back(Event(endTick, 0x80 | kClickChannel, barPatch, 0));
    if (!fileMode && Sequencer) Sequencer->SetPan(kClickChannel, NoteSets[AccentPattern[startBeat % n]].Pan);

    song.AddTrack(local);
    if (Sequencer) {
        // The tempo map holds whole microseconds per beat; the speed makes up the fraction, so that
        // a beat lasts exactly 60/bpm s (at 130 bpm the grid would otherwise drift 3.6 ms an hour).
        const uint32_t us = song.TempoMap.empty() ? 500000 : song.TempoMap.front().Tempo;
        Sequencer->SetSpeed(us * std::round(60000000.0 / us) / 60000000.0);
        Sequencer->Play(&song, startTick, false,
                        handOver    ? Player::Start::KeepSounding
                        : onFromEnd ? Player::Start::OnFromEnd
                                    : Player::Start::Now);
    }
}

void TMetronomeGame::PrepareTools() {
    Tool1Countdown = Tool1PlayBeats;
    BarsGenerated = 0;
    BarsPlayed = 0;
    TrackStates.clear();
    if (Tool4Enabled) {
        Tool4Enabled = LoadMidiFile(Tool4MidiFile + ".mid", false);
        if (Tool4Enabled) {
            MidiFileSong.KeepChannelNotes(kClickChannel);
            if (Sequencer)
                for (uint8_t ch = 0; ch < 16; ++ch)
                    if (ch != kClickChannel) Sequencer->SetChannelMute(ch, true);
        }
    } else if (Tool5Enabled) {
        Tool5Enabled = LoadMidiFile(Tool5MidiFile + ".mid", false);
        if (Sequencer) Sequencer->UnmuteAllChannels();
    } else {
        MidiFileSong.Clear();
        if (Sequencer) Sequencer->SetChannelMute(kClickChannel, false);
    }
    if (State == psPlaying) BuildClickTrack(0, 0, 0);
}

bool TMetronomeGame::OnBeat(int beat) {
    const int n = static_cast<int>(AccentPattern.size());
    if (n == 0) return true;
    const int p = ((beat % n) + n) % n;
    if (p == 0) ++BarsPlayed;
    if (Tool3Enabled && BarsPlayed > Tool3Bars) return false;
    if (Tool1Enabled && (Tool4Enabled || Tool5Enabled)) {
        StepCountdown();
        if (Sequencer) Sequencer->SetChannelMute(kClickChannel, Tool1Countdown < 1);
    }
    const size_t k = NextTrackBeat++;
    if (RebuildPending) {
        // The generators ran to the end of the track when it was built; the rebuilt track takes
        // them up at this beat.
        if (!TrackStates.empty()) {
            const TGeneratorState& g = TrackStates[std::min(k, TrackStates.size() - 1)];
            BarsGenerated = g.BarsGenerated;
            if (!TrackHasFile) Tool1Countdown = g.Tool1Countdown;
        }
        uint32_t tick = Sequencer ? static_cast<uint32_t>(Sequencer->Clock.GetCurrentTick()) : 0;
        BuildClickTrack(beat, 1, tick);
    }
    if (AccentPattern[p] == 2) return true;
    CurrentBeat = beat;
    int parity = 0;
    for (int i = 0; i < beat; ++i)
        if (AccentPattern[i % n] != 2) ++parity;
    ResetPhase(parity);
    UpdateAngularSpeed();
    return true;
}

bool TMetronomeGame::LoadMidiFile(const AnsiString& fileName, bool takeMeter) {
    MidiFileSong.Clear();
    if (!FileExists(fileName)) return false;
    auto refuse = [&](const AnsiString& message) {
        Host->MessageBeep(0);
        MidiFileSong.Clear();
        Host->ShowMessage(message);
        return false;
    };
    try {
        MidiFileSong.LoadFromFile(fileName);
    } catch (const Exception& e) {
        return refuse(e.Message);
    }
    // A division of 0 would lay every beat marker at tick 0 forever; SMPTE time has no beats.
    if (MidiFileSong.Division == 0 || (MidiFileSong.Division & 0x8000) != 0)
        return refuse("Unsupported time division in MIDI file " + fileName);

    if (takeMeter || AccentPattern.empty()) {
        if (!MidiFileSong.TimeSignatures.empty()) {
            const TimeSigEvent& ts = MidiFileSong.TimeSignatures.front();
            if (ts.Denominator <= 6) {
                int den = ts.Denominator == 0 ? 0 : 1 << ts.Denominator;
                SetTimeSignature(IntToStr(static_cast<int>(ts.Numerator)) + ":" + IntToStr(den));
            }
        }
        for (const TempoEvent& te : MidiFileSong.TempoMap)
            if (te.Tempo != 0) {
                SetTempo(static_cast<int>(60000000u / te.Tempo));
                break;
            }
    }
    MidiFileSong.TempoMap.clear();
    if (AccentPattern.empty()) SetTimeSignature("4:4");

    uint32_t length = 0;
    if (const MIDIEvent* last = MidiFileSong.GetLastEvent()) length = last->Tick;
    const uint32_t ppq = MidiFileSong.Division;
    const int bars2 = 2 * static_cast<int>(AccentPattern.size());
    if (length / ppq > static_cast<uint32_t>(kMaxFileBeats)) return refuse("MIDI file too long: " + fileName);

    // The loop lasts at least two bars. A file shorter than that plays back to back as often as the
    // loop holds whole copies of it: the loop is the first multiple of the file's beats that is
    // two bars or more and whole bars (or, past the length limit, merely two bars or more), so no
    // bar is left without the file's notes whatever the meter. A longer file plays once a loop.
    // The file lasts whole bars of its own meter (4/4 without one), its notes' rests at the end
    // included, rounded up to whole beats.
    uint64_t fileBar = 4ull * ppq;
    if (!MidiFileSong.TimeSignatures.empty()) {
        const TimeSigEvent& ts = MidiFileSong.TimeSignatures.front();
        if (ts.Numerator > 0 && ts.Denominator <= 6)
            fileBar = std::max<uint64_t>(1, 4ull * ppq * ts.Numerator >> ts.Denominator);
    }
    const uint64_t fileBeats = ((length + fileBar - 1) / fileBar * fileBar + ppq - 1) / ppq;
    uint64_t loopBeats = 0;
    if (fileBeats > 0 && fileBeats < static_cast<uint64_t>(bars2)) {
        loopBeats = fileBeats;
        while (loopBeats < static_cast<uint64_t>(bars2) || loopBeats % AccentPattern.size() != 0)
            loopBeats += fileBeats;
        if (loopBeats > static_cast<uint64_t>(kMaxFileBeats) || loopBeats * ppq > UINT32_MAX / 2)
            loopBeats = (static_cast<uint64_t>(bars2) + fileBeats - 1) / fileBeats * fileBeats;
        const uint64_t copies = loopBeats / fileBeats;
        for (auto& track : MidiFileSong.Tracks) {
            const size_t count = track->events.size();
            track->events.reserve(count * copies);
            for (uint64_t c = 1; c < copies; ++c)
                for (size_t i = 0; i < count; ++i) {
                    MIDIEvent e = track->events[i];
                    e.Tick += static_cast<uint32_t>(c * fileBeats * ppq);
                    track->events.push_back(e);
                }
        }
    }

    MIDITrack markers(0);
    uint32_t t = 0;
    for (uint64_t b = 0; t < length || b < static_cast<uint64_t>(bars2) || b < loopBeats; ++b, t += ppq)
        AddMarker(markers, t, BeatMarker, static_cast<uint8_t>(b % static_cast<uint64_t>(bars2)));
    MidiFileSong.AddTrack(markers);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Pendulum

void TMetronomeGame::SetPendulumTempo(int t) {
    double position;
    if (t <= 210) {
        position = (t - 40) / 170.0;
        Amplitude = 1.0 - 0.9 * position;
    } else {
        position = -(t - 210) / 290.0;
        Amplitude = 0.1 + 0.01 * position;
    }
    WeightPosition = position;
    PendulumTempo = t;
}

bool TMetronomeGame::SetDragTempo(int tempo) {
    tempo = ClampTempo(tempo);
    if (tempo == DragTempo) return false;
    DragTempo = tempo;
    DragWeightPosition = tempo <= 210 ? (tempo - 40) / 170.0 : -(tempo - 210) / 290.0;
    return true;
}

void TMetronomeGame::UpdateAngularSpeed() {
    const int n = static_cast<int>(AccentPattern.size());
    if (n == 0) {
        AngularSpeed = 0;
        Phase = 0;
        return;
    }
    int k = 1;
    while (k < n && AccentPattern[((CurrentBeat + k) % n + n) % n] == 2) ++k;
    const double speed = PendulumTempo * std::numbers::pi / 60.0 / k;
    Phase -= (speed - AngularSpeed) * AnimationClock;
    AngularSpeed = speed;
    AdvanceTime(0);
}

void TMetronomeGame::AdvanceTime(double ms) {
    const double dt = ms * 0.001;
    AnimationClock += dt;
    PracticeTime += dt;
    Angle = std::sin(AngularSpeed * AnimationClock + Phase) * Amplitude;
}

void TMetronomeGame::ResetPhase(int parity) {
    const bool odd = (parity & 1) != 0;
    const bool playing = State == psPlaying;
    if (playing && Host->MClickBorder())
        Phase = odd ? std::numbers::pi / 2 : -std::numbers::pi / 2;
    else
        Phase = odd ? std::numbers::pi : 0.0;
    AnimationClock = playing ? -(Host->MClickLatency() + Latency) * 0.001 : 0.0;
}

// Height of the weight's top edge above the pivot for a weight position.
static int WeightTopAbovePivot(double p, int rodHeight, int weightHeight, int margin) {
    const int bottom = weightHeight + 3 * margin;  // where 210 puts it
    return p >= 0 ? static_cast<int>(rodHeight - (rodHeight - bottom) * p) : static_cast<int>(bottom + 10 * p);
}

int TMetronomeGame::WeightTopY(int targetHeight) const {
    const double p = WeightDragged ? DragWeightPosition : WeightPosition;
    return targetHeight + 2 * Margin - WeightTopAbovePivot(p, PendulumHeight, WeightHeight, Margin);
}

int TMetronomeGame::WeightYAtTop(int targetHeight, int row) const {
    // The top edge stands 3 margins and the weight above the scale's start when the height read
    // is 2 margins: the pivot lies 2 margins below the target.
    return targetHeight + Margin - WeightHeight - row;
}

int TMetronomeGame::TempoFromWeightY(int y) const {
    const int d = y - 2 * Margin;
    if (d < 0) return DragTempoSteps[std::min(-d - 1, 8)];
    const int scale = PendulumHeight - 3 * Margin - WeightHeight;
    // A picture too short for its weight has no scale to read.
    if (scale <= 0) return 210;
    // 210 at the scale's start, 40 at its end, less further on; truncated toward zero.
    return static_cast<int>((210LL * scale - 170LL * d) / scale);
}

void TMetronomeGame::SetPictureSizes(int pendulumWidth, int pendulumHeight, int weightWidth, int weightHeight) {
    PendulumWidth = pendulumWidth;
    PendulumHeight = pendulumHeight;
    WeightWidth = weightWidth;
    WeightHeight = weightHeight;
}

void TMetronomeGame::ComputePendulumQuads(int targetWidth, int targetHeight) {
    const int w = PendulumWidth, h = PendulumHeight, wd = WeightWidth, hd = WeightHeight, m = Margin;
    const double p = WeightDragged ? DragWeightPosition : WeightPosition;
    const int yt = WeightTopAbovePivot(p, h, hd, m);
    const TEnginePoint rod[4] = {{-w / 2, h}, {w / 2, h}, {w / 2, 0}, {-w / 2, 0}};
    const TEnginePoint weight[4] = {{-wd / 2, yt}, {wd / 2, yt}, {wd / 2, yt - hd}, {-wd / 2, yt - hd}};
    const double cx = targetWidth / 2 + 1;
    const double cy = targetHeight + 2 * m;
    const double a = WeightDragged ? 0.0 : Angle;
    const double ca = std::cos(a), sa = std::sin(a);
    auto place = [&](const TEnginePoint& q) {
        return TEnginePoint{static_cast<int32_t>(cx + q.x * ca + q.y * sa),
                            static_cast<int32_t>(cy - (q.y * ca - q.x * sa))};
    };
    for (int i = 0; i < 4; ++i) {
        PendulumQuad[i] = place(rod[i]);
        WeightQuad[i] = place(weight[i]);
    }
}

// ---------------------------------------------------------------------------------------------
// Settings

void TMetronomeGame::ReadSettings() {
    SetTempo(SettingsTag->GetInteger("DefTempo"));
    SetTimeSignature(SettingsTag->GetString("DefTimeSignature"));
    Tool1Enabled = SettingsTag->GetBool("Tool1.Enabled");
    Tool1PlayBeats = SettingsTag->GetInteger("Tool1.PlayBeats");
    Tool1RestBeats = SettingsTag->GetInteger("Tool1.RestBeats");
    Tool2Enabled = SettingsTag->GetBool("Tool2.Enabled");
    Tool2BPMDelta = SettingsTag->GetInteger("Tool2.BPM_delta");
    Tool2Bars = SettingsTag->GetInteger("Tool2.Bars");
    if (Tool2Bars == 0) Tool2Bars = 1;
    Tool3Enabled = SettingsTag->GetBool("Tool3.Enabled");
    Tool3Tempo = SettingsTag->GetInteger("Tool3.Tempo");
    Tool3Bars = SettingsTag->GetInteger("Tool3.Bars");
    Tool3Duration = SettingsTag->GetFloat("Tool3.Duration");
    Tool4Enabled = SettingsTag->GetBool("Tool4.Enabled");
    Tool4MidiFile = SettingsTag->GetString("Tool4.MidiFile");
    Tool5Enabled = SettingsTag->GetBool("Tool5.Enabled");
    Tool5MidiFile = SettingsTag->GetString("Tool5.MidiFile");
    // A stored text that never parsed would leave the engine without beats.
    if (AccentPattern.empty()) SetTimeSignature("4:4");
}

void TMetronomeGame::WriteSettings() {
    SettingsTag->SetString("DefTimeSignature", LastGoodTimeSignatureText);
    SettingsTag->SetInteger("DefTempo", Tempo);
    SettingsTag->SetBool("Tool1.Enabled", Tool1Enabled);
    SettingsTag->SetInteger("Tool1.PlayBeats", Tool1PlayBeats);
    SettingsTag->SetInteger("Tool1.RestBeats", Tool1RestBeats);
    SettingsTag->SetBool("Tool2.Enabled", Tool2Enabled);
    SettingsTag->SetInteger("Tool2.BPM_delta", Tool2BPMDelta);
    SettingsTag->SetInteger("Tool2.Bars", Tool2Bars);
    SettingsTag->SetBool("Tool3.Enabled", Tool3Enabled);
    SettingsTag->SetInteger("Tool3.Tempo", Tool3Tempo);
    SettingsTag->SetInteger("Tool3.Bars", Tool3Bars);
    SettingsTag->SetFloat("Tool3.Duration", Tool3Duration);
    SettingsTag->SetBool("Tool4.Enabled", Tool4Enabled);
    SettingsTag->SetString("Tool4.MidiFile", Tool4MidiFile);
    SettingsTag->SetBool("Tool5.Enabled", Tool5Enabled);
    SettingsTag->SetString("Tool5.MidiFile", Tool5MidiFile);
}

void TMetronomeGame::SaveSettings() {
    WriteSettings();
    TStringList lines;
    Context->SaveTagToStrings("Settings", &lines);
    lines.SaveToFile("Tikora.tkra");
    lines.Clear();
    Context->SaveTagToStrings("SettingsDialog", &lines);
    lines.SaveToFile("Tikora.ini");
}

void TMetronomeGame::SavePreset(const AnsiString& fileName) {
    WriteSettings();
    TStringList lines;
    Context->SaveTagToStrings("Settings", &lines);
    lines.SaveToFile(fileName);
}

void TMetronomeGame::LoadPreset(const AnsiString& fileName) {
    // Built aside and swapped in only when complete: a failing file leaves the settings in force,
    // and the settings window's unsaved preferences travel over instead of being re-read.
    auto fresh = std::make_unique<TDVContext>();
    LoadSettingsFiles(fresh.get(), false);
    TStringList dialog;
    Context->SaveTagToStrings("SettingsDialog", &dialog);
    fresh->LoadFromStrings(&dialog, 0, -1);
    fresh->LoadFromFile(fileName, false);
    TDVContext* settings = fresh->GetContext("Settings");
    TDVContext* settingsDialog = fresh->GetContext("SettingsDialog");
    Context = std::move(fresh);
    SettingsTag = settings;
    SettingsDialogTag = settingsDialog;
    ReadSettings();
}

void TMetronomeGame::GetMemo(AnsiString& memo) {
    memo = StringReplaceAll(SettingsTag->GetString("Memo"), "||", "\r\n");
}

void TMetronomeGame::SetMemo(const AnsiString& text) {
    // Any of CR LF, LF and CR counts as a line break: a value must stay on one line of the file.
    std::string out;
    const std::string& s = text.str();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
            out += "||";
        } else if (s[i] == '\n') {
            out += "||";
        } else {
            out += s[i];
        }
    }
    SettingsTag->SetString("Memo", AnsiString(std::move(out)));
}

int TMetronomeGame::GetTimeSignatureList(TStrings* list) {
    list->Clear();
    SettingsTag->EnumListIDs("TimeSignature", list);
    for (int i = 0; i < list->Count(); ++i)
        list->SetStrings(i, SettingsTag->GetStringIdx("TimeSignature[#]", list->Strings(i)));
    return list->Count();
}
