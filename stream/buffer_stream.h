// The stream buffer engine: one 65536-byte looping sound buffer on the engine's device,
// refilled every half buffer by a periodic timer with PCM from a source (an MP3 or an
// Ogg Vorbis decoder). Each tick fills exactly the stretch the device has played since
// the previous one, so what is written is heard about one buffer duration later.
#pragma once

#include <plat/dsound.h>

#include <cstdint>
#include <mutex>

#include "sound_stream.h"
#include "timer_slot.h"

namespace orvox::stream {

inline constexpr DWORD kStreamBufferBytes = 0x10000;
// Room for a path and its terminating NUL; longer names are refused before anything opens.
inline constexpr size_t kMaxPathChars = 256;

// Half the buffer's duration in milliseconds, truncated: the refill period.
int32_t refillPeriodMs(const WAVEFORMATEX& format);

// A source's destructor calls shutdown(), which needs the source's own closeSource.
class BufferStream : public SoundStream {
public:
    // Opens `path` with the source. With `probeOnly` it only answers whether the source
    // can decode the file and keeps nothing open; otherwise it also creates the buffer,
    // positioned at 0, on `directSound` (borrowed).
    bool open(const char* path, bool probeOnly, IDirectSound* directSound);
    // Plays the buffer looping and starts the refill timer; the first tick comes one
    // period later. A stream without a buffer cannot start.
    bool start(int32_t loop);

    void stop() override;
    void togglePause() override;
    void shutdown() override;

    int32_t period() const { return period_; }
    const WAVEFORMATEX& format() const { return format_; }

protected:
    // "MP3: " or "OGG: ", the subject of the stream's log lines.
    virtual const char* subject() const = 0;
    // Opens the source and reports channels, rate and bits per sample in `format`.
    // With `probeOnly` nothing may stay open afterwards.
    virtual bool openSource(const char* path, bool probeOnly, WAVEFORMATEX& format) = 0;
    // Writes PCM into the locked region: part 1, then part 2 (bytes2 may be 0). Clears
    // `playing_` (through endOfData) at the end of the data.
    virtual void fill(uint8_t* part1, DWORD bytes1, uint8_t* part2, DWORD bytes2) = 0;
    // Runs at the first tick after the data ended; true when the stream goes on with
    // this tick's refill.
    virtual bool endAction() = 0;
    // Releases what openSource (or a later reopen) left open; safe when nothing is.
    virtual void closeSource() = 0;

    const char* path() const { return path_; }
    void endOfData() { playing_.store(0); }
    // For end actions, which run inside the refill tick: kills the timer without waiting.
    void killRefillTimerFromTick() { refillTimer_.kill(); }

private:
    static void tick(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
    void refill();
    void releaseBuffer();

    IDirectSound* directSound_ = nullptr;
    WAVEFORMATEX format_{};
    DSBUFFERDESC bufferDesc_{};
    int32_t period_ = 0;
    char path_[kMaxPathChars] = {};
    DWORD lastPlayCursor_ = 0;  // refill only
    TimerSlot refillTimer_;
    // Held by every tick while it refills or runs the end action, and by shutdown while
    // it releases the buffer and the source: the two never meet.
    std::mutex refillLock_;
};

}  // namespace orvox::stream
