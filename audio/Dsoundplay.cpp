#include "Dsoundplay.h"

#include <cstring>
#include <vector>

#include "Exception.h"
#include "Waveutils.h"

DSPlay::DSPlay(HWND hwnd) {
    LPDIRECTSOUND ds = nullptr;
    if (FAILED(DirectSoundCreate(nullptr, &ds, nullptr)) || !ds)
        throw Exception("Failed to create IDirectSound object");
    Device.reset(ds);
    if (FAILED(Device->SetCooperativeLevel(hwnd, DSSCL_PRIORITY))) throw Exception("Unable to set Coopeative Level");
}

DSPlay::~DSPlay() {
    Device.reset();
    Buffers.clear();
}

IDirectSoundBuffer* DSPlay::Find(const AnsiString& name) const {
    auto it = Buffers.find(name);
    return it == Buffers.end() ? nullptr : it->second.get();
}

void DSPlay::LoadSound(const AnsiString& waveFileName, const AnsiString& name, bool globalFocus) {
    auto it = Buffers.find(name);
    if (it != Buffers.end()) {
        it->second->Stop();
        Buffers.erase(it);
    }
    WAVEFORMATEX format;
    std::vector<BYTE> data;
    DWORD size = LoadWav(waveFileName, &format, data);

    DSBUFFERDESC desc;
    desc.dwSize = 36;
    desc.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    if (globalFocus) desc.dwFlags |= DSBCAPS_GLOBALFOCUS;
    desc.dwBufferBytes = size;
    desc.lpwfxFormat = &format;
    LPDIRECTSOUNDBUFFER raw = nullptr;
    if (FAILED(Device->CreateSoundBuffer(&desc, &raw, nullptr)) || !raw) throw Exception("CreateSoundBuffer failed");
    BufferPtr buffer(raw);
    try {
        FillBuffer(buffer.get(), data.data(), size);
    } catch (const Exception& e) {
        throw Exception(e.Message);  // the new buffer is released on the way out
    }
    Buffers[name] = std::move(buffer);
}

void DSPlay::FillBuffer(IDirectSoundBuffer* buffer, const BYTE* data, DWORD size) {
    LPVOID p1 = nullptr, p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    HRESULT hr = buffer->Lock(0, size, &p1, &n1, &p2, &n2, 0);
    if (hr == DSERR_BUFFERLOST) {
        buffer->Restore();
        hr = buffer->Lock(0, size, &p1, &n1, &p2, &n2, 0);
    }
    if (FAILED(hr)) throw Exception("Unable to Lock Sound Buffer");
    // A lock never hands out more than was asked for, but a faulty one must not overrun `data`.
    DWORD first = n1 < size ? n1 : size;
    std::memcpy(p1, data, first);
    if (p2 && n2 > 0) {
        DWORD second = n2 < size - first ? n2 : size - first;
        std::memcpy(p2, data + first, second);
    }
    if (FAILED(buffer->Unlock(p1, n1, p2, n2))) throw Exception("Unable to UnLock Sound Buffer");
}

void DSPlay::RemoveAllSounds() {
    for (auto& [name, buffer] : Buffers) buffer->Stop();
    Buffers.clear();
}

void DSPlay::StopAll() {
    for (auto& [name, buffer] : Buffers) buffer->Stop();
}

void DSPlay::Play(const AnsiString& name) {
    if (IDirectSoundBuffer* b = Find(name)) {
        b->SetCurrentPosition(0);
        b->Play(0, 0, 0);
    }
}

void DSPlay::SetVolume(const AnsiString& name, LONG volume) {
    if (IDirectSoundBuffer* b = Find(name)) b->SetVolume(volume);
}

void DSPlay::SetPan(const AnsiString& name, LONG pan) {
    if (IDirectSoundBuffer* b = Find(name)) b->SetPan(pan);
}
