#include "song_player.h"

#include "host_resources.h"
#include "song_worker.h"
#include "volume_law.h"

namespace wavestream {
namespace {

constexpr DWORD kNotifyCount = 16;
constexpr DWORD kStreamFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GETCURRENTPOSITION2;

}  // namespace

SongPlayer::~SongPlayer() {
    kill();
}

int SongPlayer::load(HWND window, const char* name, int channels, int samplesPerSec, int bitsPerSample) {
    // Also ends what an earlier failed load may have left.
    kill();
    if (name == nullptr || *name == '\0') return -1;
    notifyEvent_ = KernelHandle(CreateEventA(nullptr, FALSE, FALSE, nullptr));

    device_ = std::make_unique<SongDevice>();
    if (FAILED(device_->initialize(window, DSSCL_PRIORITY, static_cast<WORD>(channels),
                                   static_cast<DWORD>(samplesPerSec), static_cast<WORD>(bitsPerSample)))) {
        return failLoad(-2);
    }
    // Its message queue exists from the start, so a quit posted at once is not lost.
    worker_ = KernelHandle(CreateThread(nullptr, 0, songWorker, this, 0, &workerId_));
    if (!worker_) return failLoad(-2);

    WavReader probe;
    if (FAILED(probe.open(name, hostResource))) return failLoad(-3);
    if (probe.dataSize() == 0) return failLoad(-4);
    probe.close();
    // A format that gives no block (a block alignment of 0) cannot be streamed: refused like
    // any other format the buffer cannot play.
    const DWORD notifySize = songBlockSize(*probe.format());
    if (notifySize == 0) return failLoad(-5);

    std::unique_ptr<SongStream> song;
    if (FAILED(device_->createStream(name, kStreamFlags, DS3DALG_DEFAULT, kNotifyCount, notifySize,
                                     notifyEvent_.get(), hostResource, song))) {
        return failLoad(-5);
    }
    {
        std::lock_guard guard(songLock_);
        song_ = std::move(song);
    }
    songLoaded_ = true;
    return 0;
}

int SongPlayer::failLoad(int code) {
    kill();
    return code;
}

int SongPlayer::play(double volume, bool loop) {
    if (!songLoaded_) return -1;
    std::lock_guard guard(songLock_);
    if (!song_) return -2;
    // A song that plays restarts from its start: the mixer must not read the ring while the
    // fill rewrites all of it, so the buffer stops first (as a stop would; its result is
    // not used either).
    song_->stop();
    if (FAILED(song_->reset())) return -3;
    loopPlayback_ = loop;
    if (FAILED(song_->fill(loopPlayback_))) return -4;
    setVolumeLocked(volume);
    if (FAILED(song_->play(0, DSBPLAY_LOOPING))) return -5;
    return 0;
}

int SongPlayer::stop() {
    if (!songLoaded_) return -1;
    std::lock_guard guard(songLock_);
    if (!song_) return -1;
    song_->stop();
    song_->reset();
    return 0;
}

int SongPlayer::kill() {
    if (worker_) {
        PostThreadMessageA(workerId_, WM_QUIT, 0, 0);
        WaitForSingleObject(worker_.get(), INFINITE);
        worker_.reset();
        workerId_ = 0;
    }
    {
        std::lock_guard guard(songLock_);
        song_.reset();
    }
    device_.reset();
    notifyEvent_.reset();
    songLoaded_ = false;
    return 0;
}

int SongPlayer::setVolume(double volume) {
    if (!songLoaded_) return -1;
    std::lock_guard guard(songLock_);
    if (!song_) return -1;
    return setVolumeLocked(volume);
}

int SongPlayer::setVolumeLocked(double volume) {
    return song_->setVolume(attenuationFromPercent(volume));
}

int SongPlayer::volume() {
    if (!songLoaded_) return -1;
    std::lock_guard guard(songLock_);
    if (!song_) return -1;
    return percentFromAttenuation(song_->volume());
}

int SongPlayer::isPlaying() {
    if (!songLoaded_) return -1;
    std::lock_guard guard(songLock_);
    if (!song_) return -1;
    return song_->isPlaying() ? 1 : 0;
}

HRESULT SongPlayer::refillOnNotification() {
    std::lock_guard guard(songLock_);
    if (!song_) return S_OK;  // nothing to refill yet
    return song_->refill(loopPlayback_);
}

}  // namespace wavestream
