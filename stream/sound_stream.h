// The per-sound control shared by the three stream kinds: the playing, paused and loop
// flags, the volume and its law, and the half-second fades. The kinds differ in how they
// start, stop, pause and shut down.
//
// A stream that has ended for good (a one-shot sound whose last sample has been heard)
// reports it, from whatever thread saw the end, to the EndedStreams the player gave it;
// the player then shuts it down on the script thread, so that a game playing thousands
// of one-shot sounds keeps no file, decoder or buffer of the ended ones.
#pragma once

#include <plat/dsound.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "timer_slot.h"

namespace orvox::stream {

// Buffer attenuation, in hundredths of a decibel, for a volume on the 0..100 scale:
// 0 is silence, 1..100 run from -24.75 dB to 0 dB in 0.25 dB steps.
constexpr LONG attenuationForVolume(int volume) {
    return volume <= 0 ? DSBVOLUME_MIN : 25 * volume - 2500;
}

class EndedStreams;

class SoundStream {
public:
    SoundStream() = default;
    SoundStream(const SoundStream&) = delete;
    SoundStream& operator=(const SoundStream&) = delete;
    virtual ~SoundStream() = default;

    virtual void stop() = 0;
    virtual void togglePause() = 0;
    // Releases the buffer and the source for good; the stream keeps answering the
    // controls afterwards without touching either.
    virtual void shutdown() = 0;

    // Volume on the 0..100 scale, clamped by the caller.
    void setVolume(int volume);
    // Fade by `step` per half-second tick; only stores the step unless the stream plays.
    void startFade(int step, bool fadeOut);

    bool isPlaying() const { return playing_.load() != 0; }
    bool isPaused() const { return paused_; }
    int volume() const { return volume_.load(); }
    bool fading() const { return fadeOutTimer_.running() || fadeInTimer_.running(); }
    // The sound buffer; null before a successful open and after shutdown.
    IDirectSoundBuffer* buffer() const { return buffer_; }

    // Where reportEnded posts the stream; set by the player before the stream starts.
    void reportEndTo(EndedStreams* ended) { endedStreams_ = ended; }

protected:
    // Any thread, under whatever keeps the stream's own state apart: the stream has ended
    // for good and may be shut down. Posts the stream once; does nothing without a target.
    void reportEnded();

    void killFadeTimers() {
        fadeOutTimer_.kill();
        fadeInTimer_.kill();
    }

    // Stops and releases the sound buffer, if any.
    void releaseBuffer();

    // Made and released on the script thread; released at shutdown once every timer that
    // could reach it has been killed.
    IDirectSoundBuffer* buffer_ = nullptr;
    // Held by the volume calls on the buffer (fade ticks run on timer threads) and by the
    // calls a stream makes on it from its own threads, so that none meets another's.
    mutable std::mutex bufferLock_;
    std::atomic<int32_t> playing_{0};
    bool paused_ = false;  // script thread only
    std::atomic<int32_t> loop_{1};

private:
    friend class EndedStreams;

    static void fadeTick(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);

    std::atomic<int32_t> volume_{100};
    std::atomic<int32_t> fadeStep_{0};
    TimerSlot fadeOutTimer_;
    TimerSlot fadeInTimer_;
    EndedStreams* endedStreams_ = nullptr;  // script thread, before start
    std::atomic<bool> reportedEnd_{false};
    SoundStream* nextEnded_ = nullptr;      // EndedStreams' list
};

}  // namespace orvox::stream
