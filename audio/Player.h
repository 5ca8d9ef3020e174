#pragma once
// The MIDI output side of the program: the output device, per-channel state (mute, volume
// factor, pan, notification), what is left sounding, and the sequencer that plays a song of the
// model on a one-shot multimedia timer. The timer callback and the UI thread share one re-entrant
// lock; notifications reach the window only as posted messages.
#include <cstdint>
#include <mutex>
#include <vector>

#include "AnsiString.h"
#include "MIDIData.h"
#include "MMSystem.h"
#include "WinTypes.h"

class Player {
    // First, so that it outlives the clock, whose destructor still takes it.
    std::recursive_mutex lock_;

public:
    struct short_msg_t {
        uint32_t Tick;
        uint32_t Msg;  // status | data1 << 8 | data2 << 16; tempo records 0x51 | tempo << 8
    };

    // Converts ticks to timeGetTime milliseconds and arms the one-shot timer for the next event.
    class MIDIClock {
    public:
        explicit MIDIClock(Player* owner);
        ~MIDIClock();
        MIDIClock(const MIDIClock&) = delete;
        MIDIClock& operator=(const MIDIClock&) = delete;

        // Starts a new time base at the current time.
        void SetTempo(uint32_t tick, uint16_t ppq, uint32_t tempoUs, double speed);
        // A tempo change inside the song: the new base is the ideal time of `tick` under the old
        // tempo, so that the lateness of the callback that handles it does not accumulate.
        void ChangeTempo(uint32_t tick, uint16_t ppq, uint32_t tempoUs, double speed);
        bool Schedule(uint32_t tick);
        // `fromEnd`: the new time base starts at the exact time where the last song ended (fraction
        // included) rather than at the current whole millisecond, so that songs played back to back
        // stay on one grid; when that end lies too far from now, it starts now.
        bool Restart(uint32_t tick, uint16_t ppq, uint32_t tempoUs, double speed, bool fromEnd = false);
        // Called at the end of a song: remembers the exact time of its last tick.
        void MarkEnd(uint32_t tick);
        // True from the end of a song until the next start.
        bool Ended();
        bool Stop();
        bool IsRunning() const { return TimerId != 0; }
        uint32_t GetStartTick() const { return StartTick; }
        double GetCurrentTick();
        // Where `tick` falls, in milliseconds after StartTime (fraction included).
        double TickTimeMs(uint32_t tick) const {
            return StartFraction + (static_cast<double>(tick) - static_cast<double>(StartTick)) * MsPerTick;
        }

        Player* owner;
        UINT Resolution = 1;
        UINT TimerId = 0;
        DWORD StartTime = 0;
        double StartFraction = 0.0;  // of a millisecond, kept across tempo changes
        uint32_t StartTick = 0;
        uint32_t StoppedTick = 0;
        double MsPerTick = 0.0;

    private:
        bool EndValid = false;
        DWORD EndTime = 0;
        double EndFraction = 0.0;
        double ElapsedMs() const;
    };

    Player();
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    bool OpenOutDevice(int index);
    bool CloseOutDevice(int index);
    bool GetOutDeviceName(int index, AnsiString& name);
    void Reset();
    bool Stop();
    void AllNotesOff();
    bool SetEventNotify(HWND window, UINT message);
    bool SetEndNotify(uint8_t controller, uint8_t value, HWND window, UINT message);
    void AddNotifyChannel(uint8_t channel);
    void SetChannelMute(uint8_t channel, bool mute);
    void UnmuteAllChannels();
    void SetPan(uint8_t channel, int pan);
    void ResetChannelVolumes();
    void SetTranspose(int semitones);
    bool SendEvents(const MIDIEvent* events, int count);

    // How Play takes over from what played before. Now: it stops and silences the device, and the
    // song starts now. OnFromEnd: likewise, but the song starts where the previous one ended (see
    // MIDIClock::Restart). KeepSounding: a rebuilt version of the same song takes over; the notes
    // that sound go on, and the new song's note-offs end them.
    enum class Start : uint8_t { Now, OnFromEnd, KeepSounding };
    bool Play(MIDIData* song, uint32_t startTick, bool keepDevice, Start how = Start::Now);
    // The last tick whose events the song has sent, -1 before any.
    int64_t SentThroughTick();
    // Scales every tempo of the songs played from now on (1: as written).
    void SetSpeed(double speed);
    bool Pause();
    static uint32_t PackEvent(const MIDIEvent& event);
    static void TimerProc(UINT timerId, UINT msg, DWORD_PTR user, DWORD_PTR dw1, DWORD_PTR dw2);

    // State, guarded by the lock while the clock runs.
    uint8_t EndController = 255;
    uint8_t EndValue = 255;
    HWND EndWindow = nullptr;
    HWND EventWindow = nullptr;
    UINT EndMessage = 0;
    UINT EventMessage = 0;
    HMIDIOUT OutHandle = nullptr;
    int OutDevice = -2;
    uint16_t PPQ = 120;
    uint32_t TempoUs = 500000;
    double Speed = 1.0;
    int Transpose = 0;
    std::vector<short_msg_t> Events;
    size_t Position = 0;
    std::vector<uint8_t> NotifyChannels;
    std::vector<uint8_t> MutedChannels;
    uint8_t ChannelVolume[16];
    uint8_t ChannelPan[16];
    std::vector<DWORD> SoundingList;
    MIDIClock Clock;

private:
    friend class MIDIClock;
    void Send(DWORD msg);
    void Remember(DWORD msg);
    void Forget(DWORD msg);
    bool IsNotify(uint8_t ch) const;
    bool IsMuted(uint8_t ch) const;
    void OnTimer(UINT timerId);
    void SendController(DWORD m, uint8_t ch);
};
