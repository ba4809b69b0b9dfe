#include "sound_stream.h"

#include <algorithm>

#include "ended_streams.h"

namespace orvox::stream {

namespace {
constexpr UINT kFadeTickMs = 500;
constexpr UINT kFadeResolutionMs = 100;
}  // namespace

void SoundStream::reportEnded() {
    if (endedStreams_ != nullptr && !reportedEnd_.exchange(true)) endedStreams_->post(*this);
}

void SoundStream::releaseBuffer() {
    if (buffer_ == nullptr) return;
    buffer_->Stop();
    buffer_->Release();
    buffer_ = nullptr;
}

void SoundStream::setVolume(int volume) {
    volume_.store(volume);
    std::lock_guard<std::mutex> guard(bufferLock_);
    if (buffer_ != nullptr) buffer_->SetVolume(attenuationForVolume(volume));
}

void SoundStream::startFade(int step, bool fadeOut) {
    fadeStep_.store(fadeOut ? -step : step);
    if (!isPlaying()) return;
    timeBeginPeriod(kFadeResolutionMs);
    if (fadeOut) {
        fadeInTimer_.kill();
        fadeOutTimer_.startPeriodic(kFadeTickMs, &SoundStream::fadeTick, this);
    } else {
        fadeOutTimer_.kill();
        fadeInTimer_.startPeriodic(kFadeTickMs, &SoundStream::fadeTick, this);
    }
}

void SoundStream::fadeTick(UINT timerId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* self = reinterpret_cast<SoundStream*>(user);
    if (!self->fadeOutTimer_.holds(timerId) && !self->fadeInTimer_.holds(timerId)) return;

    const int volume = std::clamp(self->volume_.load() + self->fadeStep_.load(), 0, 100);
    self->setVolume(volume);

    LONG attenuation = attenuationForVolume(volume);
    {
        std::lock_guard<std::mutex> guard(self->bufferLock_);
        if (self->buffer_ != nullptr) self->buffer_->GetVolume(&attenuation);
    }
    if (attenuation > DSBVOLUME_MIN && attenuation < DSBVOLUME_MAX) return;

    // The fade has reached silence or full volume; the sound plays on at that volume.
    // The timer that ends is the one that fired, also for a fade given a negative step
    // (a fade-out that rises): choosing by the step's sign would leave that timer running
    // for good, pulling every later volume back to the end it reached.
    self->fadeOutTimer_.killIfHolds(timerId);
    self->fadeInTimer_.killIfHolds(timerId);
}

}  // namespace orvox::stream
