// The stream buffer engine: one 65536-byte looping sound buffer on the engine's device,
// refilled every half buffer by a periodic timer with PCM from a source (an MP3 or an
// Ogg Vorbis decoder). Each tick fills exactly the stretch the device has played since
// the previous one, so what is written is heard about one buffer duration later.
//
// The play cursor is read at every tick and the bytes played since the last fill are
// owed, so a tick whose Lock failed is made up by the next one even when the two come to
// a whole ring. A refill never locks the stretch the mixer is reading (from the play to
// the write cursor): a tick so late that its stretch reaches it starts at the write cursor.
//
// When the data ends, `playing` drops at that tick and the rest of its stretch is silence.
// A stream that does not start over then writes silence over whatever has played, keeps
// the buffer running until its last sample has been heard, stops it, and reports itself
// ended; the player releases the buffer and the source on the script thread.
#pragma once

#include <plat/dsound.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "sound_stream.h"
#include "timer_slot.h"

namespace orvox::stream {

inline constexpr DWORD kStreamBufferBytes = 0x10000;
// Room for a path and its terminating NUL; longer names are refused before anything opens.
inline constexpr size_t kMaxPathChars = 256;

// A stream buffer for `format` on `device` (borrowed): `desc` receives its description (the
// 20-byte form, global focus, volume, pan and frequency control, kStreamBufferBytes, pointing
// at `format`). Null when there is no device or it refuses the buffer.
IDirectSoundBuffer* createStreamBuffer(IDirectSound* device, WAVEFORMATEX& format, DSBUFFERDESC& desc);

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
    // Writes PCM into the locked region: part 1, then part 2 (bytes2 may be 0), as one run.
    // Returns the bytes written from the region's start: all of them, or fewer when the
    // data ended (reported through endOfData); the engine silences the rest.
    virtual DWORD fill(uint8_t* part1, DWORD bytes1, uint8_t* part2, DWORD bytes2) = 0;
    // Runs at the first tick after the data ended: true when the source has started over
    // and the stream goes on with this tick's refill; otherwise the stream drains.
    virtual bool restartAtEnd() = 0;
    // Releases what openSource (or a later reopen) left open; safe when nothing is.
    virtual void closeSource() = 0;

    const char* path() const { return path_; }
    void endOfData() { playing_.store(0); }

private:
    static void tick(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
    void refill();
    // The region [from, from + bytes) of the ring, locked, written and unlocked.
    void writeRegion(DWORD from, DWORD bytes, DWORD mixerReach);
    void silence(uint8_t* part1, DWORD bytes1, uint8_t* part2, DWORD bytes2, DWORD from) const;
    // Called by the tick at which the last sample has been heard.
    void finishDrain();

    IDirectSound* directSound_ = nullptr;
    WAVEFORMATEX format_{};
    DSBUFFERDESC bufferDesc_{};
    int32_t period_ = 0;
    char path_[kMaxPathChars] = {};
    // Refill only (the tick, under refillLock_; open before the timer exists).
    DWORD lastPlayCursor_ = 0;  // play cursor at the previous tick
    DWORD owed_ = 0;            // bytes played since the last fill, at most the ring
    bool draining_ = false;     // the data ended and the source will not start over
    DWORD untilHeard_ = 0;      // while draining: bytes still to play before the last sample is out
    // Set with draining_; read by the script thread, for which an ended stream keeps nothing.
    std::atomic<bool> dataEnded_{false};
    TimerSlot refillTimer_;
    // Held by every tick while it refills or runs the end action, and by shutdown while
    // it releases the buffer and the source: the two never meet.
    std::mutex refillLock_;
};

}  // namespace orvox::stream
