// The DirectSound 8 device of the song streamer, and the making of song streams on it.
#pragma once

#include <plat/dsound.h>

#include <memory>

#include <plat/owned.h>
#include "song_stream.h"
#include "wav_reader.h"

namespace wavestream {

using plat::ComPtr;

class SongDevice {
  public:
    SongDevice() = default;
    // Works on a device made elsewhere instead of opening one.
    explicit SongDevice(ComPtr<IDirectSound8> device) : device_(std::move(device)) {}

    // Opens the default device (dropping any held), sets the cooperative level for `window`
    // and the primary buffer's format.
    HRESULT initialize(HWND window, DWORD cooperativeLevel, WORD channels, DWORD samplesPerSec,
                       WORD bitsPerSample);
    HRESULT setPrimaryFormat(WORD channels, DWORD samplesPerSec, WORD bitsPerSample);
    // Opens `name` (a file, else a host resource) and makes a stream of `notifyCount` blocks
    // of `notifySize` bytes whose ends signal `event`.
    HRESULT createStream(const char* name, DWORD flags, const GUID& algorithm3D, DWORD notifyCount,
                         DWORD notifySize, HANDLE event, ResourceLookup resources,
                         std::unique_ptr<SongStream>& stream);

  private:
    ComPtr<IDirectSound8> device_;
};

}  // namespace wavestream
