#pragma once
// Named wave sounds played through DirectSound: one static buffer per name.
#include <map>

#include "AnsiString.h"
#include "DSound.h"
#include "WinTypes.h"

class DSPlay {
public:
    // Raises Exception when DirectSound cannot be created or the cooperative level not set.
    explicit DSPlay(HWND hwnd);
    ~DSPlay();
    DSPlay(const DSPlay&) = delete;
    DSPlay& operator=(const DSPlay&) = delete;

    // Loads a PCM wave file as the sound `name`, replacing a sound of that name.
    void LoadSound(const AnsiString& waveFileName, const AnsiString& name, bool globalFocus);
    void RemoveAllSounds();
    void StopAll();
    // Plays the sound once from its start; names never loaded are ignored, as below.
    void Play(const AnsiString& name);
    void SetVolume(const AnsiString& name, LONG volume);  // hundredths of a decibel, -10000..0
    void SetPan(const AnsiString& name, LONG pan);        // -10000 left .. 10000 right

    bool HasSound(const AnsiString& name) const { return Buffers.count(name) != 0; }

private:
    using BufferPtr = tikora::dsound::ReleasingPtr<IDirectSoundBuffer>;
    static void FillBuffer(IDirectSoundBuffer* buffer, const BYTE* data, DWORD size);
    IDirectSoundBuffer* Find(const AnsiString& name) const;

    tikora::dsound::ReleasingPtr<IDirectSound> Device;
    std::map<AnsiString, BufferPtr> Buffers;
};
