// A device of the sound service. Every device plays into the one process-wide mixer;
// a device holds its cooperative level and its primary buffer (master volume, format request).
#pragma once

#include <plat/dsound.h>

#include <atomic>
#include <mutex>

namespace plat {

class EaxListener;
class Mixer;
class SoundBuffer;

class SoundDevice final : public IDirectSound8 {
public:
    // initialized is false for a device made through COM, which needs Initialize first.
    // eax is the listener of the hardware's EAX 3D voices, or null for hardware without
    // EAX, which has no hardware voices at all.
    SoundDevice(Mixer& mixer, bool initialized, EaxListener* eax);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, IUnknown* outer) override;
    HRESULT GetCaps(DSCAPS* caps) override;
    HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* original, IDirectSoundBuffer** duplicate) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD level) override;
    HRESULT Compact() override;
    HRESULT GetSpeakerConfig(DWORD* config) override;
    HRESULT SetSpeakerConfig(DWORD config) override;
    HRESULT Initialize(const GUID* device) override;
    HRESULT VerifyCertification(DWORD* certified) override;

    bool mayWritePrimaryFormat() const { return level_.load() >= DSSCL_PRIORITY; }
    // The primary buffer's volume as a gain for every buffer of this device.
    float masterGain() const { return masterGain_.load(std::memory_order_relaxed); }
    void setMasterGain(float gain) { masterGain_.store(gain, std::memory_order_relaxed); }
    void primaryGone(SoundBuffer* primary);

private:
    ~SoundDevice();

    std::atomic<ULONG> refs_{1};
    Mixer& mixer_;
    EaxListener* const eax_;
    std::atomic<bool> initialized_;
    std::atomic<DWORD> level_{DSSCL_NORMAL};
    std::atomic<float> masterGain_{1.0f};
    std::mutex mutex_;
    SoundBuffer* primary_ = nullptr;  // weak: the primary buffer clears it when it goes
};

// The factories behind CLSID_DirectSound and CLSID_DirectSound8, and CLSID_EAXDirectSound.
HRESULT createUninitializedDevice(REFIID iid, void** object);
HRESULT createEaxDevice(REFIID iid, void** object);

}  // namespace plat
