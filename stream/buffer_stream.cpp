#include "buffer_stream.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "media_log.h"

namespace orvox::stream {

namespace {
constexpr DWORD kBufferFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY;

void logError(const char* subject, const char* what) {
    if (log::on()) log::write((std::string("Error: ") + subject + what).c_str());
}
}  // namespace

IDirectSoundBuffer* createStreamBuffer(IDirectSound* device, WAVEFORMATEX& format, DSBUFFERDESC& desc) {
    desc = DSBUFFERDESC{};
    desc.dwSize = DSBUFFERDESC1_SIZE_32;
    desc.dwFlags = kBufferFlags;
    desc.dwBufferBytes = kStreamBufferBytes;
    desc.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    if (device == nullptr || FAILED(device->CreateSoundBuffer(&desc, &buffer, nullptr))) return nullptr;
    return buffer;
}

int32_t refillPeriodMs(const WAVEFORMATEX& format) {
    if (format.nAvgBytesPerSec == 0) return 0;
    return static_cast<int32_t>(static_cast<double>(kStreamBufferBytes) / format.nAvgBytesPerSec * 1000.0 * 0.5);
}

bool BufferStream::open(const char* path, bool probeOnly, IDirectSound* directSound) {
    directSound_ = directSound;
    releaseBuffer();
    if (path == nullptr || std::strlen(path) >= kMaxPathChars) return false;
    std::strncpy(path_, path, kMaxPathChars - 1);

    WAVEFORMATEX format{};
    if (!openSource(path_, probeOnly, format)) return false;
    if (probeOnly) return true;

    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nBlockAlign = static_cast<WORD>(format.wBitsPerSample / 8 * format.nChannels);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    format.cbSize = 0;
    format_ = format;

    IDirectSoundBuffer* buffer = createStreamBuffer(directSound_, format_, bufferDesc_);
    if (buffer == nullptr) {
        logError(subject(), "Couldn't create sound buffer in SetupStreamBuffer\n");
        // Without a buffer the stream can never play: keep no file open for it.
        closeSource();
        return false;
    }
    buffer_ = buffer;
    period_ = refillPeriodMs(format_);
    buffer_->SetCurrentPosition(0);
    lastPlayCursor_ = 0;
    owed_ = 0;
    draining_ = false;
    untilHeard_ = 0;
    dataEnded_.store(false);
    return true;
}

bool BufferStream::start(int32_t loop) {
    if (buffer_ == nullptr) return false;
    playing_.store(1);
    loop_.store(loop);
    timeBeginPeriod(static_cast<UINT>(period_));
    if (refillTimer_.startPeriodic(static_cast<UINT>(period_), &BufferStream::tick, this) == 0) {
        logError(subject(), "Couldn't create timer in Play\n");
        return false;
    }
    if (FAILED(buffer_->Play(0, 0, DSBPLAY_LOOPING))) {
        logError(subject(), "Couldn't play buffer in Play\n");
        return false;
    }
    return true;
}

void BufferStream::stop() {
    if (buffer_ != nullptr) buffer_->Stop();
    refillTimer_.kill();
    killFadeTimers();
    playing_.store(0);
    // A stream whose data has ended can never be resumed: nothing of it is worth keeping.
    if (dataEnded_.load()) shutdown();
}

void BufferStream::togglePause() {
    if (!paused_ && isPlaying()) {
        paused_ = true;
        stop();
    } else if (paused_ && !isPlaying() && buffer_ != nullptr) {
        start(loop_.load());
        paused_ = false;
    }
}

void BufferStream::shutdown() {
    // Killed from this thread, each timer's running tick (if any) finishes first.
    refillTimer_.kill();
    killFadeTimers();
    // A tick that ended the stream killed its own timer and may still be running: wait for it.
    std::lock_guard<std::mutex> guard(refillLock_);
    releaseBuffer();
    playing_.store(0);
    closeSource();
}

void BufferStream::tick(UINT timerId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* self = reinterpret_cast<BufferStream*>(user);
    std::lock_guard<std::mutex> guard(self->refillLock_);
    if (!self->refillTimer_.holds(timerId) || self->buffer_ == nullptr) return;
    self->refill();
}

void BufferStream::refill() {
    DWORD play = 0;
    DWORD write = 0;
    if (FAILED(buffer_->GetCurrentPosition(&play, &write))) return;
    const DWORD moved = (play + kStreamBufferBytes - lastPlayCursor_) % kStreamBufferBytes;
    lastPlayCursor_ = play;
    owed_ = std::min(owed_ + moved, kStreamBufferBytes);
    // The mixer has read this far ahead of the play cursor: too late to write there.
    const DWORD mixerReach = (write + kStreamBufferBytes - play) % kStreamBufferBytes;

    if (!isPlaying() && !draining_) {
        // The data ended at the previous tick.
        if (restartAtEnd()) {
            playing_.store(1);
        } else {
            closeSource();
            draining_ = true;
            dataEnded_.store(true);
        }
    }
    if (draining_) {
        untilHeard_ -= std::min(untilHeard_, moved);
        if (untilHeard_ == 0) {
            finishDrain();
            return;
        }
    }
    if (owed_ == 0) return;
    const DWORD bytes = std::min(owed_, kStreamBufferBytes - mixerReach);
    writeRegion((play + kStreamBufferBytes - bytes) % kStreamBufferBytes, bytes, mixerReach);
}

void BufferStream::writeRegion(DWORD from, DWORD bytes, DWORD mixerReach) {
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    const HRESULT locked = buffer_->Lock(from, bytes, &part1, &bytes1, &part2, &bytes2, 0);
    if (FAILED(locked)) {
        // Nothing is written and the stretch stays owed. A lost buffer has stopped and lost
        // its content: once restored it plays on, and the next tick writes all of it.
        if (locked == DSERR_BUFFERLOST && SUCCEEDED(buffer_->Restore())) {
            buffer_->Play(0, 0, DSBPLAY_LOOPING);
            owed_ = kStreamBufferBytes;
        }
        return;
    }
    owed_ = 0;
    auto* p1 = static_cast<uint8_t*>(part1);
    auto* p2 = static_cast<uint8_t*>(part2);
    const DWORD b2 = p2 != nullptr ? bytes2 : 0;
    // Once the data has ended, what has played is overwritten with silence, so that
    // nothing old comes round again before the buffer stops.
    const DWORD written = draining_ ? 0 : fill(p1, bytes1, p2, b2);
    silence(p1, bytes1, p2, b2, written);
    buffer_->Unlock(part1, bytes1, part2, bytes2);
    // The data ended in this stretch: its last sample is heard once the cursor has gone
    // round to it, and mixed once the cursor is the mixer's reach beyond it.
    if (!draining_ && !isPlaying()) untilHeard_ = kStreamBufferBytes - (bytes1 + b2 - written) + mixerReach;
}

void BufferStream::silence(uint8_t* part1, DWORD bytes1, uint8_t* part2, DWORD bytes2, DWORD from) const {
    const int value = format_.wBitsPerSample == 8 ? 0x80 : 0;
    if (from < bytes1) std::memset(part1 + from, value, bytes1 - from);
    const DWORD from2 = from > bytes1 ? from - bytes1 : 0;
    if (from2 < bytes2) std::memset(part2 + from2, value, bytes2 - from2);
}

void BufferStream::finishDrain() {
    buffer_->Stop();
    // From inside its own tick, the kill does not wait.
    refillTimer_.kill();
    reportEnded();
}

}  // namespace orvox::stream
