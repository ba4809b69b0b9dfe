#include "audio_mixer_device.h"

namespace plat {

AudioMixerDevice& AudioMixerDevice::instance() {
    // Never destroyed: the CD audio device may still listen at process exit.
    static AudioMixerDevice* device = new AudioMixerDevice;
    return *device;
}

MMRESULT AudioMixerDevice::open(HMIXER* mixer, UINT device, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    if (mixer == nullptr) return MMSYSERR_INVALPARAM;
    *mixer = nullptr;
    const DWORD callbackKind = flags & 0x00070000;
    if (callbackKind != CALLBACK_NULL && callbackKind != CALLBACK_WINDOW) return MMSYSERR_INVALFLAG;
    if ((flags & ~DWORD{0x00070000}) != MIXER_OBJECTF_MIXER || device != 0) return MMSYSERR_BADDEVICEID;
    std::lock_guard lock(mutex_);
    if (failOpens_ > 0) {
        --failOpens_;
        return MMSYSERR_NODRIVER;
    }
    auto handle = std::make_unique<Handle>(Handle{callback, instance});
    // The entry's address is the handle: unique while the entry lives.
    auto* key = reinterpret_cast<HMIXER>(handle.get());
    handles_[key] = std::move(handle);
    *mixer = key;
    return MMSYSERR_NOERROR;
}

MMRESULT AudioMixerDevice::close(HMIXER mixer) {
    std::lock_guard lock(mutex_);
    return handles_.erase(mixer) != 0 ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT AudioMixerDevice::check(HMIXEROBJ object, DWORD flags) {
    const DWORD objectKind = flags & 0xF0000000;
    if (objectKind == MIXER_OBJECTF_MIXER) return object == nullptr ? MMSYSERR_NOERROR : MMSYSERR_BADDEVICEID;
    if (objectKind != MIXER_OBJECTF_HMIXER) return MMSYSERR_INVALFLAG;
    std::lock_guard lock(mutex_);
    return handles_.count(static_cast<HMIXER>(object)) != 0 ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

void AudioMixerDevice::cdVolume(DWORD& left, DWORD& right) {
    std::lock_guard lock(mutex_);
    left = left_;
    right = right_;
}

bool AudioMixerDevice::setCdVolume(DWORD left, DWORD right) {
    if (left > kMaximum || right > kMaximum) return false;
    std::lock_guard lock(mutex_);
    left_ = left;
    right_ = right;
    if (listener_ != nullptr) listener_->cdLineVolume(left_, right_);
    return true;
}

void AudioMixerDevice::setCdListener(CdLineListener* listener) {
    std::lock_guard lock(mutex_);
    listener_ = listener;
    if (listener_ != nullptr) listener_->cdLineVolume(left_, right_);
}

void AudioMixerDevice::failOpens(unsigned count) {
    std::lock_guard lock(mutex_);
    failOpens_ = count;
}

}  // namespace plat
