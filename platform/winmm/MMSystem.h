#pragma once
// The Windows multimedia services the program calls: the multimedia timer and MIDI output.
// Timers run on one timer thread, one callback at a time; inside a callback the logical time
// (timeGetTime included) reads as the callback's due time.
#include <cstdint>

#include "Clock.h"
#include "WinTypes.h"

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;
constexpr MMRESULT MIDIERR_NOTREADY = 67;

constexpr UINT TIME_ONESHOT = 0x0000;
constexpr UINT TIME_PERIODIC = 0x0001;
constexpr UINT TIME_CALLBACK_FUNCTION = 0x0000;
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr int MAXPNAMELEN = 32;

constexpr WORD MOD_MIDIPORT = 1;
constexpr WORD MOD_SWSYNTH = 7;

struct TIMECAPS {
    UINT wPeriodMin;
    UINT wPeriodMax;
};

using LPTIMECALLBACK = void (*)(UINT uTimerID, UINT uMsg, DWORD_PTR dwUser, DWORD_PTR dw1, DWORD_PTR dw2);

struct HMIDIOUT__;
using HMIDIOUT = HMIDIOUT__*;

struct MIDIOUTCAPSA {
    WORD wMid;
    WORD wPid;
    UINT vDriverVersion;
    char szPname[MAXPNAMELEN];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
};

MMRESULT timeGetDevCaps(TIMECAPS* ptc, UINT cbtc);
MMRESULT timeBeginPeriod(UINT uPeriod);
MMRESULT timeEndPeriod(UINT uPeriod);
// Only one-shot timers exist here (fuEvent TIME_ONESHOT); 0 means failure. Ids are not reused
// until 2^32 timers later.
UINT timeSetEvent(UINT uDelay, UINT uResolution, LPTIMECALLBACK lpTimeProc, DWORD_PTR dwUser, UINT fuEvent);
// Cancels a pending timer; for a callback already running it returns at once without waiting.
MMRESULT timeKillEvent(UINT uTimerID);

// Device 0 is the built-in General MIDI synthesizer; ALSA sequencer ports follow.
UINT midiOutGetNumDevs();
MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceID, MIDIOUTCAPSA* pmoc, UINT cbmoc);
MMRESULT midiOutOpen(HMIDIOUT* phmo, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen);
// The message is stamped with the caller's logical time.
MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg);
// All notes off and sustain released on all 16 channels.
MMRESULT midiOutReset(HMIDIOUT hmo);
MMRESULT midiOutClose(HMIDIOUT hmo);
