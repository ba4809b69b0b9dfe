// The one song of the library: load, play, stop, kill, volume and the playing query, with
// the script codes they answer (0 success, -1 .. -5 failures, or the asked value).
// Script calls come from one thread; the song's worker refills beside them.
#pragma once

#include <plat/winbase.h>

#include <memory>
#include <mutex>

#include <plat/owned.h>
#include "song_device.h"
#include "song_stream.h"

namespace wavestream {

using plat::ComPtr;
using plat::KernelHandle;

class SongPlayer {
  public:
    SongPlayer() = default;
    ~SongPlayer();
    SongPlayer(const SongPlayer&) = delete;
    SongPlayer& operator=(const SongPlayer&) = delete;

    // `window` is the engine's main window, the cooperative-level window of the device; the
    // numbers set the device's output format. A failed load leaves nothing behind.
    int load(HWND window, const char* name, int channels, int samplesPerSec, int bitsPerSample);
    // `volume` in percent; fractions count.
    int play(double volume, bool loop);
    int stop();
    int kill();
    // A failure answers the buffer's result code.
    int setVolume(double volume);
    int volume();
    int isPlaying();

    // For the worker: the event the song's block notifications signal, and the answer to
    // one of them. A failure ends the worker.
    HANDLE notifyEvent() const { return notifyEvent_.get(); }
    HRESULT refillOnNotification();

  private:
    int failLoad(int code);
    int setVolumeLocked(double volume);

    bool songLoaded_ = false;
    std::unique_ptr<SongDevice> device_;
    KernelHandle notifyEvent_;
    KernelHandle worker_;
    DWORD workerId_ = 0;

    std::mutex songLock_;  // keeps refills apart from the script calls on the song
    std::unique_ptr<SongStream> song_;
    bool loopPlayback_ = false;
};

}  // namespace wavestream
