// The device behind the audio mixer API: mixer 0 with one source line, the compact
// disc, whose volume control holds one value per channel (0..65535, full at start) for
// the whole process. Handles are entries of a table, so a stale or made-up handle is
// refused rather than followed. The CD audio device listens to the line's volume.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include <plat/audio_mixer.h>

namespace plat {

// Told the CD line's volume when it starts listening and at every change, with the
// device's lock held: it must not call back into the mixer device.
class CdLineListener {
public:
    virtual void cdLineVolume(DWORD left, DWORD right) = 0;

protected:
    ~CdLineListener() = default;
};

class AudioMixerDevice {
public:
    static constexpr DWORD kCdLineId = 0x00010000;
    static constexpr DWORD kCdVolumeControlId = 1;
    static constexpr DWORD kMaximum = 65535;
    static constexpr DWORD kChannels = 2;

    static AudioMixerDevice& instance();

    MMRESULT open(HMIXER* mixer, UINT device, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
    MMRESULT close(HMIXER mixer);
    // MMSYSERR_NOERROR when `object` with `flags` names this device (a handle or number 0).
    MMRESULT check(HMIXEROBJ object, DWORD flags);

    void cdVolume(DWORD& left, DWORD& right);
    // False, changing nothing, when a value is above the maximum.
    bool setCdVolume(DWORD left, DWORD right);
    // Null stops listening.
    void setCdListener(CdLineListener* listener);

    // Test hook: the next `count` opens fail with MMSYSERR_NODRIVER.
    void failOpens(unsigned count);

private:
    struct Handle {
        DWORD_PTR callback;
        DWORD_PTR instance;
    };

    std::mutex mutex_;
    std::map<HMIXER, std::unique_ptr<Handle>> handles_;
    DWORD left_ = kMaximum;
    DWORD right_ = kMaximum;
    CdLineListener* listener_ = nullptr;
    unsigned failOpens_ = 0;
};

}  // namespace plat
