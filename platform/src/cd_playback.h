// Plays ranges of a disc through the sound service, as a drive plays to its audio output:
// a looping ring buffer on a sound device of its own, refilled from the disc every 20 ms
// by a platform timer, so CD audio is mixed, captured and clocked like every other sound.
// Positions are stereo frames counted from sector 0 (588 to a sector); while playing,
// the position is the ring's play cursor, so pausing and resuming lose no frame. Past the
// end of a range the ring holds silence until the next tick or query stops it.
//
// The compact disc line of the audio mixer sets the ring's volume (listener). Every
// operation may come from any thread; the notices go out as MM_MCINOTIFY messages.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio_mixer_device.h"
#include <plat/dsound.h>
#include <plat/mci.h>
#include <plat/owned.h>

namespace plat {

class CdDisc;

class CdPlayback final : public CdLineListener {
public:
    // Where a play's completion notice goes; no window: none.
    struct Notice {
        HWND window = nullptr;
        MCIDEVICEID device = 0;
    };

    // Null when the sound device, its buffer or the refill timer cannot be made. The
    // disc must outlive the object.
    static std::unique_ptr<CdPlayback> create(CdDisc& disc);
    ~CdPlayback();
    CdPlayback(const CdPlayback&) = delete;
    CdPlayback& operator=(const CdPlayback&) = delete;

    // Plays frames [from, to). A notice still pending is superseded; an empty range ends
    // at once. MCIERR_HARDWARE when the disc cannot be read or the buffer not started.
    MCIERROR play(int64_t from, int64_t to, Notice notice);
    // Stops at the play position; a pending notice is aborted.
    void halt();
    // Stops and stands at `frame`.
    void seek(int64_t frame);
    int64_t position();
    bool playing();
    // A device that closes takes its pending notice with it (aborted).
    void abortNotice(MCIDEVICEID device);

    void cdLineVolume(DWORD left, DWORD right) override;

private:
    explicit CdPlayback(CdDisc& disc);
    static void tick(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);

    // Brings the played count up to the play cursor; ends the range when it was played.
    void syncLocked();
    // Writes up to `limit` frames ahead of what is queued; false on a read error.
    bool fillLocked(uint64_t limit);
    bool writeRing(uint8_t* part, DWORD bytes);
    // Starts the ring from its start with what the range holds from `queued_` on.
    MCIERROR startRingLocked();
    void stopRunLocked(int64_t at, WPARAM result);
    void noticeLocked(WPARAM result);

    CdDisc& disc_;
    ComPtr<IDirectSound> device_;  // declared first: released after its buffer
    ComPtr<IDirectSoundBuffer> buffer_;
    UINT timer_ = 0;

    std::mutex mutex_;
    bool playing_ = false;
    int64_t position_ = 0;  // where the disc stands while not playing
    int64_t runStart_ = 0;  // the range playing: [runStart_, runEnd_)
    int64_t runEnd_ = 0;
    uint64_t queued_ = 0;    // frames written since runStart_ (the range, then silence)
    uint64_t consumed_ = 0;  // frames the mixer has played since runStart_
    DWORD lastCursor_ = 0;   // play cursor at the last count, in bytes
    Notice notice_;
    std::vector<int16_t> sectors_;  // sectors read from the disc, before they go to the ring
};

}  // namespace plat
