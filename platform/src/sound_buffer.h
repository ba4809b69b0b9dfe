// A sound buffer on the process-wide mixer: secondary buffers hold PCM that the mixer
// plays from the play cursor; the primary buffer of a device only carries the device's
// format request and master volume.
//
// Lock hands out the buffer's own memory, which the caller writes without holding any
// lock of ours. Until Unlock the mixer never reads a locked stretch: frames under a lock
// play as silence. A writer that keeps behind the play cursor never meets this; one that
// locks the stretch being played (a late refill, a rewrite of the whole buffer while it
// plays) gets silence there instead of a torn read of half-written samples.
#pragma once

#include <plat/dsound.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "buffer_format.h"
#include "mix_kernels.h"

namespace plat {

class EaxListener;
class SoundDevice;
class Mixer;
class RateGroup;

// One block's mixing, handed to every buffer on the mixing thread.
struct MixPass {
    float* left;   // the output's sum, `frames` per side; for a mono output
    float* right;  // its sum is in left and right is null
    uint32_t frames;
    uint64_t number;  // counts blocks, so that a rate group knows a new one
    const MixKernels& kernels;
    float* scratchLeft;  // `frames` floats each, for a mono output
    float* scratchRight;
    std::vector<HANDLE>& fired;  // notifications to signal once the block is mixed
};

// One object answers every interface of a buffer: the primary buffer also is the
// device's 3D listener, a DSBCAPS_CTRL3D buffer its own 3D buffer, and a hardware voice
// (made with the EAX listener) has the EAX property set.
class SoundBuffer final : public IDirectSoundBuffer,
                          public IDirectSoundNotify,
                          public IDirectSound3DListener,
                          public IDirectSound3DBuffer,
                          public IKsPropertySet {
public:
    // A secondary buffer (its format one that playableFormat takes) or, with primary set,
    // the device's primary buffer. eax is set for a hardware voice.
    SoundBuffer(SoundDevice* device, Mixer& mixer, bool primary, DWORD flags, DWORD bytes, const WAVEFORMATEX* format,
                EaxListener* eax);

    // IUnknown (shared by every interface)
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDirectSoundBuffer
    HRESULT GetCaps(DSBCAPS* caps) override;
    HRESULT GetCurrentPosition(DWORD* playCursor, DWORD* writeCursor) override;
    HRESULT GetFormat(WAVEFORMATEX* format, DWORD sizeAllocated, DWORD* sizeWritten) override;
    HRESULT GetVolume(LONG* volume) override;
    HRESULT GetPan(LONG* pan) override;
    HRESULT GetFrequency(DWORD* frequency) override;
    HRESULT GetStatus(DWORD* status) override;
    HRESULT Initialize(IDirectSound* device, const DSBUFFERDESC* desc) override;
    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, DWORD* bytes1, LPVOID* part2, DWORD* bytes2,
                 DWORD flags) override;
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override;
    HRESULT SetCurrentPosition(DWORD playCursor) override;
    HRESULT SetFormat(const WAVEFORMATEX* format) override;
    HRESULT SetVolume(LONG volume) override;
    HRESULT SetPan(LONG pan) override;
    HRESULT SetFrequency(DWORD frequency) override;
    HRESULT Stop() override;
    HRESULT Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) override;
    HRESULT Restore() override;

    // IDirectSoundNotify
    HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) override;

    // IKsPropertySet (hardware voices only); no property uses instance data.
    HRESULT Get(REFGUID set, ULONG id, LPVOID instance, ULONG instanceLength, LPVOID data, ULONG dataLength,
                ULONG* bytesReturned) override;
    HRESULT Set(REFGUID set, ULONG id, LPVOID instance, ULONG instanceLength, LPVOID data, ULONG dataLength) override;
    HRESULT QuerySupport(REFGUID set, ULONG id, ULONG* support) override;

    // Mixer side, under the mixer's lock: adds this buffer's part of the block, into the
    // output's sum (at the output's rate) or its rate group's input, and advances the
    // play cursor; the events to signal go to pass.fired. masterGain is the device's
    // primary-buffer volume.
    void mixInto(const MixPass& pass, float masterGain);

    // AddRef unless the buffer is already on its way out (its count reached 0).
    bool tryAddRef();
    void markLost(unsigned restoreFailures);
    SoundDevice* device() const { return device_; }
    bool isPrimary() const { return primary_; }

private:
    ~SoundBuffer();
    void updateGains();
    // Adds `count` frames from frame `from` on to `left` and `right` with the gains: a
    // looping buffer wraps, a one-shot adds nothing past its end.
    void addFrames(uint32_t from, uint32_t count, float gainLeft, float gainRight, float* left, float* right,
                   const MixKernels& kernels) const;
    // The frames from `from` on (at most `count`, none past the end of the buffer) that are
    // all under a lock or all free of one; `locked` tells which.
    uint32_t lockRun(uint32_t from, uint32_t count, bool& locked) const;
    // Source frames the mixer may read ahead of the cursor.
    uint32_t readAhead() const;
    void stopLocked(std::vector<HANDLE>& fired);
    void fireStopNotifications(std::vector<HANDLE>& out) const;
    DWORD frameCount() const { return static_cast<DWORD>(data_.size() / format_.blockAlign); }
    // Takes a playable record as the buffer's format (the primary's: as the output request).
    void keepFormat(const WAVEFORMATEX& record);

    std::atomic<ULONG> refs_{1};
    SoundDevice* device_;
    Mixer& mixer_;
    const bool primary_;
    const DWORD flags_;
    EaxListener* const eax_;

    mutable std::mutex mutex_;
    std::vector<uint8_t> data_;
    WAVEFORMATEXTENSIBLE record_{};  // as given, formatRecordBytes(record_.Format) of it used
    BufferFormat format_;
    uint32_t cursor_ = 0;  // play cursor in frames
    bool playing_ = false;
    bool looping_ = false;
    bool lost_ = false;
    unsigned restoreFailures_ = 0;
    LONG volume_ = 0;
    LONG pan_ = 0;
    DWORD frequency_ = 0;  // 0: the format's rate
    float gainLeft_ = 1, gainRight_ = 1;
    std::vector<DSBPOSITIONNOTIFY> notifications_;
    struct LockedSpan {
        DWORD offset;
        DWORD bytes;
    };
    std::vector<LockedSpan> locked_;  // from Lock until the matching Unlock

    // The group of the rate it plays at (joined at creation, changed by SetFrequency; null
    // for a primary buffer). Written under both locks, read under either.
    RateGroup* group_ = nullptr;
    // Orders SetFrequency calls; taken before the mixer's lock and never under mutex_.
    std::mutex frequencyMutex_;
};

}  // namespace plat
