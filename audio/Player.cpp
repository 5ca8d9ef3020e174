#include "Player.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Clock.h"
#include "Messages.h"
#include "TimerService.h"

namespace {

uint32_t Truncate(double v) { return v <= 0.0 ? 0u : static_cast<uint32_t>(v); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The clock

Player::MIDIClock::MIDIClock(Player* o) : owner(o) {
    TIMECAPS caps{};
    if (timeGetDevCaps(&caps, sizeof caps) == TIMERR_NOERROR && caps.wPeriodMin > 0) Resolution = caps.wPeriodMin;
    timeBeginPeriod(Resolution);
    SetTempo(0, 120, 500000, 1.0);
}

Player::MIDIClock::~MIDIClock() {
    Stop();
    timeEndPeriod(Resolution);
}

void Player::MIDIClock::SetTempo(uint32_t tick, uint16_t ppq, uint32_t tempoUs, double speed) {
    StartTime = timeGetTime();
    StartFraction = 0.0;
    StartTick = StoppedTick = tick;
    MsPerTick = tempoUs * 0.001 / (ppq * speed);
}

void Player::MIDIClock::ChangeTempo(uint32_t tick, uint16_t ppq, uint32_t tempoUs, double speed) {
    double advance = StartFraction + static_cast<double>(tick - StartTick) * MsPerTick;
    double whole = std::floor(advance);
    StartTime += static_cast<DWORD>(static_cast<uint64_t>(whole));
    StartFraction = advance - whole;
    StartTick = StoppedTick = tick;
    MsPerTick = tempoUs * 0.001 / (ppq * speed);
}

double Player::MIDIClock::ElapsedMs() const {
    // The signed difference keeps working across the 49.7-day wrap of timeGetTime.
    return static_cast<double>(static_cast<int32_t>(timeGetTime() - StartTime)) - StartFraction;
}

bool Player::MIDIClock::Schedule(uint32_t tick) {
    DWORD ahead = static_cast<DWORD>(Truncate(StartFraction + static_cast<double>(tick - StartTick) * MsPerTick));
    DWORD delay = (StartTime - timeGetTime()) + ahead;
    if (static_cast<int32_t>(delay) < 0) delay = 0;
    if (delay < Resolution) delay = Resolution;
    TimerId = timeSetEvent(delay, Resolution, &Player::TimerProc, reinterpret_cast<DWORD_PTR>(owner), TIME_ONESHOT);
    return TimerId != 0;
}

bool Player::MIDIClock::Restart(uint32_t tick, uint16_t ppq, uint32_t tempoUs, double speed, bool fromEnd) {
    std::lock_guard<std::recursive_mutex> lock(owner->lock_);
    if (IsRunning()) Stop();
    SetTempo(tick, ppq, tempoUs, speed);
    // A song handed over a little after the previous one ended continues its grid; one that comes
    // much later (the window was busy) starts now rather than rushing through what it missed.
    constexpr int32_t kMaxSeamMs = 20;
    if (fromEnd && EndValid && std::abs(static_cast<int32_t>(StartTime - EndTime)) <= kMaxSeamMs) {
        StartTime = EndTime;
        StartFraction = EndFraction;
    }
    EndValid = false;
    return Schedule(StartTick + 1);
}

void Player::MIDIClock::MarkEnd(uint32_t tick) {
    const double advance = StartFraction + (static_cast<double>(tick) - static_cast<double>(StartTick)) * MsPerTick;
    const double whole = std::floor(advance);
    EndTime = StartTime + static_cast<DWORD>(static_cast<int64_t>(whole));
    EndFraction = advance - whole;
    EndValid = true;
}

bool Player::MIDIClock::Ended() {
    std::lock_guard<std::recursive_mutex> lock(owner->lock_);
    return EndValid;
}

bool Player::MIDIClock::Stop() {
    std::lock_guard<std::recursive_mutex> lock(owner->lock_);
    if (TimerId == 0) return true;  // the tick reached when it stopped stays
    bool ok = timeKillEvent(TimerId) == TIMERR_NOERROR;
    TimerId = 0;
    StoppedTick = StartTick + Truncate(ElapsedMs() / MsPerTick);
    return ok;
}

double Player::MIDIClock::GetCurrentTick() {
    std::lock_guard<std::recursive_mutex> lock(owner->lock_);
    if (!IsRunning()) return StoppedTick;
    double elapsed = std::max(0.0, ElapsedMs() / MsPerTick);
    double tick = StartTick + elapsed;
    StoppedTick = StartTick + Truncate(elapsed);
    return tick;
}

// ---------------------------------------------------------------------------------------------
// Device and channels

Player::Player() : Clock(this) {
    OpenOutDevice(0);
    std::fill(std::begin(ChannelVolume), std::end(ChannelVolume), 100);
    std::fill(std::begin(ChannelPan), std::end(ChannelPan), 0);
    Reset();
}

Player::~Player() {
    Stop();
    CloseOutDevice(OutDevice);
    Clock.Stop();
    // A callback that fired just before the stop may still be waiting for the lock.
    tikora::winmm::WaitForTimerCallback(0);
}

bool Player::OpenOutDevice(int index) {
    if (index < 0 || static_cast<UINT>(index) >= midiOutGetNumDevs()) return false;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (OutHandle && index == OutDevice) return true;
    HMIDIOUT handle = nullptr;
    if (midiOutOpen(&handle, static_cast<UINT>(index), 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return false;
    if (!CloseOutDevice(OutDevice)) {
        midiOutClose(handle);
        return false;
    }
    OutHandle = handle;
    OutDevice = index;
    return true;
}

bool Player::CloseOutDevice(int index) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (!OutHandle) return true;
    if (index < 0) return false;
    // The open device may have disappeared from the list; it can still be closed.
    if (index != OutDevice) return static_cast<UINT>(index) < midiOutGetNumDevs();
    if (!Stop()) return false;
    if (midiOutClose(OutHandle) != MMSYSERR_NOERROR) return false;
    OutHandle = nullptr;
    OutDevice = -2;
    return true;
}

bool Player::GetOutDeviceName(int index, AnsiString& name) {
    if (index < 0) return false;
    MIDIOUTCAPSA caps{};
    if (midiOutGetDevCapsA(static_cast<UINT_PTR>(index), &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
    name = AnsiString(caps.szPname);
    return true;
}

void Player::Reset() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    midiOutReset(OutHandle);
}

bool Player::Stop() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (!OutHandle) return true;
    Reset();
    Clock.Stop();
    AllNotesOff();
    return !Clock.IsRunning();
}

void Player::Send(DWORD msg) { midiOutShortMsg(OutHandle, msg); }

void Player::AllNotesOff() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    // A click track leaves hundreds of identical note-offs behind; each is sent once.
    std::vector<DWORD> sent;
    for (DWORD m : SoundingList) {
        if (std::find(sent.begin(), sent.end(), m) != sent.end()) continue;
        sent.push_back(m);
        Send(m);
    }
    SoundingList.clear();
}

bool Player::SetEventNotify(HWND window, UINT message) {
    if (!IsWindow(window)) return false;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    EventWindow = window;
    EventMessage = message;
    return true;
}

bool Player::SetEndNotify(uint8_t controller, uint8_t value, HWND window, UINT message) {
    if (value > 127 || !IsWindow(window)) return false;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    EndController = controller;
    EndValue = value;
    EndWindow = window;
    EndMessage = message;
    return true;
}

void Player::AddNotifyChannel(uint8_t channel) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (!IsNotify(channel)) NotifyChannels.push_back(channel);
}

bool Player::IsNotify(uint8_t ch) const {
    return std::find(NotifyChannels.begin(), NotifyChannels.end(), ch) != NotifyChannels.end();
}

bool Player::IsMuted(uint8_t ch) const {
    return std::find(MutedChannels.begin(), MutedChannels.end(), ch) != MutedChannels.end();
}

void Player::SetChannelMute(uint8_t channel, bool mute) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    bool muted = IsMuted(channel);
    if (mute && !muted) {
        MutedChannels.push_back(channel);
        std::vector<DWORD> sent;
        for (DWORD m : SoundingList) {
            if ((m & 0x0F) != channel || std::find(sent.begin(), sent.end(), m) != sent.end()) continue;
            sent.push_back(m);
            Send(m);
        }
    } else if (!mute && muted) {
        std::erase(MutedChannels, channel);
    }
}

void Player::UnmuteAllChannels() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    MutedChannels.clear();
}

void Player::SetPan(uint8_t channel, int pan) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    uint8_t ch = channel & 15;
    auto v = static_cast<uint8_t>(std::clamp(pan + 64, 0, 127));
    ChannelPan[ch] = v;
    if (OutHandle) Send(0xB0u | ch | 10u << 8 | static_cast<DWORD>(v) << 16);
}

void Player::ResetChannelVolumes() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    std::fill(std::begin(ChannelVolume), std::end(ChannelVolume), 100);
    MIDIEvent events[16];
    for (uint8_t ch = 0; ch < 16; ++ch) events[ch] = {0, static_cast<uint8_t>(0xB0 | ch), 7, 100};
    SendEvents(events, 16);
}

void Player::SetTranspose(int semitones) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    bool running = Clock.IsRunning();
    if (running) Pause();
    if (semitones >= -127 && semitones <= 127) Transpose = semitones;
    if (running) Pause();
}

bool Player::SendEvents(const MIDIEvent* events, int count) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (!OutHandle) return false;
    for (int i = 0; i < count; ++i) {
        DWORD m = PackEvent(events[i]);
        if (m == 0) continue;
        if (IsNotify(m & 0x0F) && IsWindow(EventWindow))
            PostMessageA(EventWindow, EventMessage, 0, static_cast<LPARAM>(m));
        if (midiOutShortMsg(OutHandle, m) != MMSYSERR_NOERROR) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The sequencer

uint32_t Player::PackEvent(const MIDIEvent& e) {
    uint32_t ch = e.Status & 0x0F;
    uint32_t d1 = e.Data1 & 0x7F;
    uint32_t d2 = e.Data2 & 0x7F;
    switch (e.Status & 0xF0) {
        case 0x80:
            return 0x80 | ch | d1 << 8;
        case 0x90:
        case 0xA0:
        case 0xB0:
        case 0xE0:
            return (e.Status & 0xF0u) | ch | d1 << 8 | d2 << 16;
        case 0xC0:
        case 0xD0:
            return (e.Status & 0xF0u) | ch | d1 << 8;
        default:
            return 0;
    }
}

int64_t Player::SentThroughTick() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (Position == 0 || Events.empty()) return -1;
    return Events[std::min(Position, Events.size()) - 1].Tick;
}

void Player::SetSpeed(double speed) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (speed > 0) Speed = speed;
}

bool Player::Play(MIDIData* song, uint32_t startTick, bool keepDevice, Start how) {
    if (!song) return false;
    if (how == Start::KeepSounding ? !Clock.Stop() : !Stop()) return false;
    if (!OutHandle && !keepDevice && !OpenOutDevice(0)) return false;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    PPQ = song->Division;
    Events.clear();
    size_t total = 0;
    for (const auto& t : song->Tracks) total += t->events.size();
    Events.reserve(total + song->TempoMap.size());
    for (const auto& t : song->Tracks)
        for (const MIDIEvent& e : t->events)
            if (uint32_t m = PackEvent(e)) Events.push_back({e.Tick, m});
    if (Events.empty()) return true;
    if (song->TempoMap.empty()) {
        Events.clear();
        return false;
    }
    uint32_t previous = song->TempoMap[0].Tick;
    song->TempoMap[0].Tick = 0;
    TempoUs = song->TempoMap[0].Tempo;
    for (size_t i = 1; i < song->TempoMap.size(); ++i) {
        const TempoEvent& t = song->TempoMap[i];
        if (t.Tick < previous) {
            Events.clear();
            return false;
        }
        previous = t.Tick;
        Events.push_back({t.Tick, 0x51u | t.Tempo << 8});
        if (t.Tick <= startTick) TempoUs = t.Tempo;
    }
    std::sort(Events.begin(), Events.end(), [](const short_msg_t& a, const short_msg_t& b) { return a.Tick < b.Tick; });
    auto first = std::find_if(Events.begin(), Events.end(), [&](const short_msg_t& e) { return e.Tick >= startTick; });
    if (first == Events.end()) {
        Position = Events.size();
        return true;
    }
    Position = static_cast<size_t>(first - Events.begin());
    return Clock.Restart(startTick, PPQ, TempoUs, Speed, how == Start::OnFromEnd);
}

bool Player::Pause() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (Clock.IsRunning()) {
        bool ok = Clock.Stop();
        AllNotesOff();
        return ok;
    }
    if (!Events.empty() && Position < Events.size() - 1)
        return Clock.Restart(Truncate(Clock.GetCurrentTick()), PPQ, TempoUs, Speed);
    return true;
}

void Player::TimerProc(UINT timerId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    reinterpret_cast<Player*>(user)->OnTimer(timerId);
}

void Player::Remember(DWORD msg) {
    if (std::find(SoundingList.begin(), SoundingList.end(), msg) == SoundingList.end()) SoundingList.push_back(msg);
}

void Player::Forget(DWORD msg) {
    auto it = std::find(SoundingList.begin(), SoundingList.end(), msg);
    if (it != SoundingList.end()) SoundingList.erase(it);
}

void Player::SendController(DWORD m, uint8_t ch) {
    DWORD c = (m >> 8) & 0x7F;
    DWORD v = (m >> 16) & 0x7F;
    DWORD head = m & 0xFFFF;
    if (c == 7) {
        Send(head | ((ChannelVolume[ch] * v / 120) & 0x7F) << 16);
    } else if (c == 10) {
        // A song's pan passes unchanged until SetPan sets a channel pan; then it moves the
        // song's value around that pan, clamped rather than wrapped.
        DWORD p = ChannelPan[ch] == 0
                      ? v
                      : static_cast<DWORD>(std::clamp<int>(ChannelPan[ch] + static_cast<int>(v) - 64, 0, 127));
        Send(head | p << 16);
    } else if (c == 64) {
        DWORD off = 0xB0u | ch | 64u << 8;
        if (v != 0)
            Remember(off);
        else
            Forget(off);
        Send(m);
    } else if (c == EndController && v == EndValue) {
        Send(m);
        if (IsWindow(EndWindow)) PostMessageA(EndWindow, EndMessage, 0, 0);
        Position = Events.size() - 1;  // the end: nothing more is sent and it is posted once
    } else {
        Send(m);
    }
}

void Player::OnTimer(UINT timerId) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (timerId != Clock.TimerId || Events.empty()) return;
    const size_t last = Events.size() - 1;
    const uint32_t now = Truncate(Clock.GetCurrentTick());
    // The timer runs on whole milliseconds. An event whose tick falls within a millisecond of this
    // callback is stamped with the tick's own time, so the sound path places it to the sample and
    // the millisecond grid adds no jitter; an event that is really late keeps the callback's time.
    const int64_t dueNs = tikora::LogicalNowNs();
    const DWORD dueMs = timeGetTime();
    bool ended = false;
    uint32_t lastTick = 0;
    while (Position < last && Events[Position].Tick <= now) {
        const short_msg_t ev = Events[Position];
        lastTick = ev.Tick;
        const double offsetMs =
            static_cast<double>(static_cast<int32_t>(Clock.StartTime - dueMs)) + Clock.TickTimeMs(ev.Tick);
        const int64_t stampNs = std::fabs(offsetMs) < 1.0 ? dueNs + static_cast<int64_t>(offsetMs * 1e6) : dueNs;
        tikora::LogicalTimeScope eventTime(stampNs);
        DWORD m = ev.Msg;
        auto ch = static_cast<uint8_t>(m & 0x0F);
        DWORD s = m & 0xFF;
        if (IsNotify(ch) && IsWindow(EventWindow)) PostMessageA(EventWindow, EventMessage, 0, static_cast<LPARAM>(m));
        if (s == 0x51) {
            // Tempo records re-time the clock whatever is muted: the low nibble is no channel.
            TempoUs = m >> 8;
            Clock.ChangeTempo(ev.Tick, PPQ, TempoUs, Speed);
        } else if (IsMuted(ch) || s < 0x80) {
        } else if ((s & 0xF0) == 0x90) {
            DWORD t = m;
            if (ch != 9) t = (m & 0xFFFF00FF) | (((((m >> 8) & 0x7F) + Transpose) & 0x7F) << 8);
            Send(t);
            SoundingList.push_back(t & 0xFF8F);
        } else if ((s & 0xF0) == 0x80) {
            DWORD t = m;
            if (ch != 9) t = (m & 0xFFFF00FF) | (((((m >> 8) & 0x7F) + Transpose) & 0x7F) << 8);
            auto it = std::find(SoundingList.begin(), SoundingList.end(), t);
            if (it != SoundingList.end()) {
                SoundingList.erase(it);
                Send(t);
            } else {
                Send(m);
            }
        } else if ((s & 0xF0) == 0xB0) {
            SendController(m, ch);
            if (Position == last) {
                ended = true;
                break;
            }
        } else if ((s & 0xF0) == 0xE0) {
            DWORD value = ((m >> 8) & 0x7F) | ((m >> 16) & 0x7F) << 7;
            DWORD centre = 0xE0u | ch | 64u << 16;
            if (value == 0x2000)
                Forget(centre);
            else
                Remember(centre);
            Send(m);
        } else {
            Send(m);
        }
        ++Position;
    }
    if (Position >= last) {
        Clock.MarkEnd(lastTick);
        Clock.Stop();
        if (!ended && IsWindow(EndWindow)) PostMessageA(EndWindow, EndMessage, 0, 0);
    } else {
        Clock.Schedule(Events[Position].Tick);
    }
}
