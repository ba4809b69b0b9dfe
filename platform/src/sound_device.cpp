#include "sound_device.h"

#include "buffer_format.h"
#include "export_failure.h"
#include "export_guard.h"
#include "mixer.h"
#include "runtime.h"
#include "sound_buffer.h"

namespace plat {

SoundDevice::SoundDevice(Mixer& mixer, bool initialized, EaxListener* eax)
    : mixer_(mixer), eax_(eax), initialized_(initialized) {}

SoundDevice::~SoundDevice() = default;

HRESULT SoundDevice::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDirectSound || riid == IID_IDirectSound8) {
        *object = static_cast<IDirectSound8*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG SoundDevice::AddRef() { return ++refs_; }

ULONG SoundDevice::Release() {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT SoundDevice::CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, IUnknown* outer) {
    return a5::guardExport(failureResult, [&]() -> HRESULT {
        if (!buffer) return DSERR_INVALIDPARAM;
        *buffer = nullptr;
        if (outer) return DSERR_NOAGGREGATION;
        if (!initialized_) return DSERR_UNINITIALIZED;
        if (!desc) return DSERR_INVALIDPARAM;
        const DWORD size = desc->dwSize;
        const bool shortForm = size == DSBUFFERDESC1_SIZE_32 || size == sizeof(DSBUFFERDESC1);
        const bool longForm = size == DSBUFFERDESC_SIZE_32 || size == sizeof(DSBUFFERDESC);
        if (!shortForm && !longForm) return DSERR_INVALIDPARAM;
        const DWORD flags = desc->dwFlags;

        if (flags & DSBCAPS_PRIMARYBUFFER) {
            if (desc->dwBufferBytes != 0 || desc->lpwfxFormat) return DSERR_INVALIDPARAM;
            std::lock_guard lock(mutex_);
            if (!primary_ || !primary_->tryAddRef())
                primary_ = new SoundBuffer(this, mixer_, true, flags, 0, nullptr, nullptr);
            *buffer = primary_;
            return DS_OK;
        }

        // The only hardware voices are the EAX 3D voices; everything else mixes in software.
        const bool hardwareVoice = (flags & DSBCAPS_LOCHARDWARE) != 0;
        if (hardwareVoice && (!eax_ || !(flags & DSBCAPS_CTRL3D) || (flags & DSBCAPS_LOCSOFTWARE)))
            return DSERR_CONTROLUNAVAIL;
        const WAVEFORMATEX* f = desc->lpwfxFormat;
        if (!f) return DSERR_INVALIDPARAM;
        if (!playableFormat(*f)) return DSERR_BADFORMAT;
        if (desc->dwBufferBytes < f->nBlockAlign || desc->dwBufferBytes > 0x0FFFFFFF)
            return DSERR_INVALIDPARAM;
        if ((flags & DSBCAPS_CTRL3D) && f->nChannels != 1 && !hardwareVoice) return DSERR_INVALIDPARAM;
        *buffer = new SoundBuffer(this, mixer_, false, flags, desc->dwBufferBytes, f, hardwareVoice ? eax_ : nullptr);
        return DS_OK;
    });
}

void SoundDevice::primaryGone(SoundBuffer* primary) {
    std::lock_guard lock(mutex_);
    if (primary_ == primary) primary_ = nullptr;
}

HRESULT SoundDevice::GetCaps(DSCAPS* caps) {
    if (!caps || caps->dwSize < sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
    if (!initialized_) return DSERR_UNINITIALIZED;
    caps->dwFlags = 0;
    caps->dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
    caps->dwMaxSecondarySampleRate = DSBFREQUENCY_MAX;
    return DS_OK;
}

HRESULT SoundDevice::DuplicateSoundBuffer(IDirectSoundBuffer*, IDirectSoundBuffer** duplicate) {
    if (duplicate) *duplicate = nullptr;
    return DSERR_UNSUPPORTED;
}

HRESULT SoundDevice::SetCooperativeLevel(HWND, DWORD level) {
    if (!initialized_) return DSERR_UNINITIALIZED;
    if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    level_ = level;
    return DS_OK;
}

HRESULT SoundDevice::Compact() { return initialized_ ? DS_OK : DSERR_UNINITIALIZED; }

HRESULT SoundDevice::GetSpeakerConfig(DWORD* config) {
    if (!config) return DSERR_INVALIDPARAM;
    *config = mixer_.outputChannels() == 2 ? 4 /* stereo */ : 1 /* mono */;
    return DS_OK;
}

HRESULT SoundDevice::SetSpeakerConfig(DWORD) { return DS_OK; }

HRESULT SoundDevice::Initialize(const GUID* device) {
    if (initialized_) return DSERR_ALREADYINITIALIZED;
    if (device && !(*device == GUID_NULL)) return DSERR_NODRIVER;
    if (Runtime::get().takeFailure(Runtime::Failing::DeviceInitialization)) return DSERR_NODRIVER;
    initialized_ = true;
    return DS_OK;
}

HRESULT SoundDevice::VerifyCertification(DWORD* certified) {
    if (!certified) return DSERR_INVALIDPARAM;
    *certified = 0;  // DS_CERTIFIED
    return DS_OK;
}

}  // namespace plat
