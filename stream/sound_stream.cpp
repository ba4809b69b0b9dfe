#include "stream/sound_stream.h"

#include <algorithm>

namespace orvox::stream {

namespace {
constexpr UINT kFadeTickMs = 500;
constexpr UINT kFadeResolutionMs = 100;
}  // namespace

void SoundStream::setVolume(int volume) {
    volume_.store(volume);
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

    const int step = self->fadeStep_.load();
    const int volume = std::clamp(self->volume_.load() + step, 0, 100);
    self->setVolume(volume);

    LONG attenuation = attenuationForVolume(volume);
    if (self->buffer_ != nullptr) self->buffer_->GetVolume(&attenuation);
    if (attenuation > DSBVOLUME_MIN && attenuation < DSBVOLUME_MAX) return;

    // The fade has reached silence or full volume; the sound plays on at that volume.
    if (step < 1) {
        self->fadeOutTimer_.kill();
    } else {
        self->fadeInTimer_.kill();
    }
}

}  // namespace orvox::stream
