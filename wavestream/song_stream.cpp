#include "song_stream.h"

#include <plat/winbase.h>

#include <cstring>

namespace wavestream {
namespace {

// Restore() failing with anything but "still lost" is retried at once, but only this many
// times in a row; then its code is returned, so that a broken device cannot hang the
// caller. While the buffer is reported lost, restoring waits for as long as it takes.
constexpr int kRestoreOtherFailures = 100;
constexpr DWORD kLostRetryMs = 10;

// Locked region of a buffer, unlocked on every way out.
class LockedRegion {
  public:
    LockedRegion(IDirectSoundBuffer* buffer, DWORD offset, DWORD length) : buffer_(buffer) {
        result_ = buffer_->Lock(offset, length, &part1_, &bytes1_, &part2_, &bytes2_, 0);
    }
    ~LockedRegion() {
        if (SUCCEEDED(result_)) buffer_->Unlock(part1_, bytes1_, part2_, bytes2_);
    }
    LockedRegion(const LockedRegion&) = delete;
    LockedRegion& operator=(const LockedRegion&) = delete;

    HRESULT result() const { return result_; }
    std::byte* first() const { return static_cast<std::byte*>(part1_); }
    DWORD firstBytes() const { return bytes1_; }
    bool wraps() const { return part2_ != nullptr && bytes2_ != 0; }

  private:
    IDirectSoundBuffer* buffer_;
    HRESULT result_;
    void* part1_ = nullptr;
    void* part2_ = nullptr;
    DWORD bytes1_ = 0;
    DWORD bytes2_ = 0;
};

}  // namespace

DWORD songBlockSize(const WAVEFORMATEX& format) {
    if (format.nBlockAlign == 0) return 0;
    // 32-bit unsigned arithmetic, as the buffer geometry has always been computed.
    const DWORD size = format.nSamplesPerSec * format.nBlockAlign * 3 / 16;
    return size - size % format.nBlockAlign;
}

SongStream::SongStream(ComPtr<IDirectSoundBuffer> buffer, DWORD bufferSize, std::unique_ptr<WavReader> reader,
                       DWORD notifySize)
    : buffer_(std::move(buffer)),
      bufferSize_(bufferSize),
      reader_(std::move(reader)),
      notifySize_(notifySize) {
    // A failure here shows again at the first play, which fills and positions anew.
    fill(false);
    buffer_->SetCurrentPosition(0);
}

std::byte SongStream::silence() const {
    const WAVEFORMATEX* format = reader_->format();
    return format != nullptr && format->wBitsPerSample == 8 ? std::byte{0x80} : std::byte{0};
}

HRESULT SongStream::restore(bool& restored) {
    restored = false;
    if (!buffer_) return CO_E_NOTINITIALIZED;
    DWORD status = 0;
    if (const HRESULT hr = buffer_->GetStatus(&status); FAILED(hr)) return hr;
    if ((status & DSBSTATUS_BUFFERLOST) == 0) return S_FALSE;
    int otherFailures = 0;
    for (;;) {
        const HRESULT hr = buffer_->Restore();
        if (SUCCEEDED(hr)) break;
        if (hr == DSERR_BUFFERLOST) {
            otherFailures = 0;
            Sleep(kLostRetryMs);
        } else if (++otherFailures == kRestoreOtherFailures) {
            return hr;
        }
    }
    restored = true;
    return S_OK;
}

HRESULT SongStream::copySong(std::byte* area, DWORD length, bool loop, DWORD& copied) {
    copied = 0;
    DWORD got = 0;
    if (const HRESULT hr = reader_->read(area, length, &got); FAILED(hr)) return hr;
    copied = got;
    while (loop && copied < length) {
        if (const HRESULT hr = reader_->rewind(); FAILED(hr)) return hr;
        if (const HRESULT hr = reader_->read(area + copied, length - copied, &got); FAILED(hr)) return hr;
        if (got == 0) break;  // no data at all: pad rather than spin
        copied += got;
    }
    std::memset(area + copied, std::to_integer<int>(silence()), length - copied);
    return S_OK;
}

HRESULT SongStream::fill(bool loop) {
    if (!buffer_ || !reader_) return CO_E_NOTINITIALIZED;
    bool restored = false;
    if (const HRESULT hr = restore(restored); FAILED(hr)) return hr;
    LockedRegion region(buffer_.get(), 0, bufferSize_);
    if (FAILED(region.result())) return region.result();
    if (const HRESULT hr = reader_->rewind(); FAILED(hr)) return hr;
    DWORD copied = 0;
    return copySong(region.first(), region.firstBytes(), loop, copied);
}

HRESULT SongStream::refill(bool loop) {
    if (!buffer_ || !reader_) return CO_E_NOTINITIALIZED;
    bool restored = false;
    if (const HRESULT hr = restore(restored); FAILED(hr)) return hr;
    if (restored) return fill(false);

    DWORD cursor = 0;
    if (const HRESULT hr = buffer_->GetCurrentPosition(&cursor, nullptr); FAILED(hr)) return hr;
    // The block to write is the one the cursor has just left. A cursor still inside it means
    // the wake-up is stale (a notification from before a reset, folded into the event):
    // writing would overwrite sound that is being played.
    if (cursor - nextWriteOffset_ < notifySize_) return S_OK;

    {
        LockedRegion region(buffer_.get(), nextWriteOffset_, notifySize_);
        if (FAILED(region.result())) return region.result();
        if (region.wraps()) return E_UNEXPECTED;  // blocks never straddle the ring's end
        if (silenceFill_) {
            std::memset(region.first(), std::to_integer<int>(silence()), region.firstBytes());
        } else {
            DWORD copied = 0;
            if (const HRESULT hr = copySong(region.first(), region.firstBytes(), loop, copied); FAILED(hr))
                return hr;
            if (!loop && copied < region.firstBytes()) silenceFill_ = true;
        }
    }

    playProgress_ += cursor >= lastPlayPos_ ? cursor - lastPlayPos_ : bufferSize_ - lastPlayPos_ + cursor;
    lastPlayPos_ = cursor;
    if (silenceFill_ && playProgress_ >= reader_->dataSize()) buffer_->Stop();
    nextWriteOffset_ = static_cast<DWORD>((std::uint64_t(nextWriteOffset_) + notifySize_) % bufferSize_);
    return S_OK;
}

HRESULT SongStream::reset() {
    lastPlayPos_ = 0;
    playProgress_ = 0;
    nextWriteOffset_ = 0;
    silenceFill_ = false;
    if (!buffer_ || !reader_) return CO_E_NOTINITIALIZED;
    bool restored = false;
    if (const HRESULT hr = restore(restored); FAILED(hr)) return hr;
    if (restored) {
        if (const HRESULT hr = fill(false); FAILED(hr)) return hr;
    }
    reader_->rewind();
    return buffer_->SetCurrentPosition(0);
}

HRESULT SongStream::play(DWORD priority, DWORD flags) {
    if (!buffer_) return CO_E_NOTINITIALIZED;
    bool restored = false;
    if (const HRESULT hr = restore(restored); FAILED(hr)) return hr;
    if (restored) {
        fill(false);
        buffer_->SetCurrentPosition(0);
    }
    return buffer_->Play(0, priority, flags);
}

HRESULT SongStream::stop() {
    return buffer_ ? buffer_->Stop() : CO_E_NOTINITIALIZED;
}

bool SongStream::isPlaying() {
    DWORD status = 0;
    return buffer_ && SUCCEEDED(buffer_->GetStatus(&status)) && (status & DSBSTATUS_PLAYING) != 0;
}

HRESULT SongStream::setVolume(LONG attenuation) {
    return buffer_ ? buffer_->SetVolume(attenuation) : CO_E_NOTINITIALIZED;
}

LONG SongStream::volume() {
    LONG attenuation = 0;  // read as full volume when the call fails
    if (buffer_) buffer_->GetVolume(&attenuation);
    return attenuation;
}

}  // namespace wavestream
