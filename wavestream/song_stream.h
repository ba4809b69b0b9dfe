// One song streaming through a ring of equal blocks in a secondary sound buffer: the buffer
// signals the end of each block, and a refill then writes the next part of the song into
// the block that has just been played. Not thread-safe: the owner keeps refills and the
// other operations apart.
#pragma once

#include <plat/dsound.h>

#include <cstdint>
#include <memory>

#include <plat/owned.h>
#include "wav_reader.h"

namespace wavestream {

using plat::ComPtr;

// Bytes of one block: 3/16 s of the format's sound, lowered to whole sample frames; 0 when
// the format gives no usable block (a block alignment of 0, or too few frames per second).
DWORD songBlockSize(const WAVEFORMATEX& format);

class SongStream {
  public:
    // Takes the buffer (bufferSize = a whole number of notifySize blocks) and the open
    // reader; fills the buffer from the start of the song, not looping, cursor at 0.
    SongStream(ComPtr<IDirectSoundBuffer> buffer, DWORD bufferSize, std::unique_ptr<WavReader> reader,
               DWORD notifySize);

    // Restores a lost buffer; S_OK with `restored` set when it was lost, S_FALSE when not.
    HRESULT restore(bool& restored);
    // Fills the whole buffer from the first data byte. The buffer must not be playing: the
    // mixer would read the ring while it is rewritten.
    HRESULT fill(bool loop);
    // Answers one block notification.
    HRESULT refill(bool loop);
    // Back to the start of the song: cursor 0, reader rewound, stream state cleared.
    HRESULT reset();
    HRESULT play(DWORD priority, DWORD flags);
    HRESULT stop();
    bool isPlaying();
    HRESULT setVolume(LONG attenuation);
    LONG volume();

  private:
    // Copies song data into `area`; at the data end either wraps to the start (loop) or pads
    // the rest with silence. Returns how many bytes came from the song in `copied`.
    HRESULT copySong(std::byte* area, DWORD length, bool loop, DWORD& copied);
    std::byte silence() const;

    ComPtr<IDirectSoundBuffer> buffer_;
    DWORD bufferSize_;
    std::unique_ptr<WavReader> reader_;
    DWORD lastPlayPos_ = 0;
    std::uint64_t playProgress_ = 0;  // 64-bit: looping songs play for ever
    DWORD notifySize_;
    DWORD nextWriteOffset_ = 0;
    bool silenceFill_ = false;
};

}  // namespace wavestream
