// The script functions of liborvox.so. Each forwards the engine's raw values to the one
// library-wide Player, or to the tracker, CD and EAX parts; no exception leaves them.
#include "cd_audio.h"
#include "eax.h"
#include "engine_interface.h"
#include "media_log.h"
#include "orvox_api.h"
#include "player.h"
#include "tracker.h"

namespace {

orvox::Player& player() {
    static orvox::Player instance;
    return instance;
}

template <class Operation>
int32_t guarded(int32_t onFailure, Operation operation) noexcept {
    try {
        return operation();
    } catch (...) {
        return onFailure;
    }
}

}  // namespace

using host::fixed;
using host::toInt;

int32_t Orvox_Play(const void* name, fixed loop) {
    return guarded(-1, [&] { return player().play(host::stringText(name), loop); });
}
int32_t Orvox_Stop(fixed index) {
    return guarded(0, [&] { return player().stop(index); });
}
int32_t Orvox_Vol(fixed index, fixed volume) {
    return guarded(0, [&] { return player().setVolume(index, volume); });
}
int32_t Orvox_FadeIn(fixed index, fixed step) {
    return guarded(0, [&] { return player().fade(index, step, false); });
}
int32_t Orvox_FadeOut(fixed index, fixed step) {
    return guarded(0, [&] { return player().fade(index, step, true); });
}
int32_t Orvox_Pause(fixed index) {
    return guarded(0, [&] { return player().togglePause(index); });
}
int32_t Orvox_IsPlaying(fixed index) {
    return guarded(0, [&] { return player().isPlaying(index); });
}
int32_t Orvox_StopAll() {
    return guarded(0, [] { return player().stopAll(); });
}
int32_t Orvox_PauseAll() {
    return guarded(0, [] { return player().pauseAll(); });
}
int32_t Orvox_Shutdown() {
    return guarded(0, [] { return player().shutdown(); });
}

int32_t Orvox_MODHQ(fixed on) {
    return guarded(0, [&] {
        const bool highQuality = host::isSwitchOn(on);
        orvox::tracker::setHighQuality(highQuality);
        if (orvox::log::on())
            orvox::log::write(highQuality ? "Success: MOD: High quality mixing selected\n"
                                          : "Success: MOD: Normal mixing selected\n");
        return 1;
    });
}

int32_t Orvox_EAX(fixed environment) {
    return guarded(0, [&] { return orvox::eax::select(toInt(environment)); });
}

int32_t Orvox_PlayCD(fixed firstTrack, fixed endTrack) {
    return guarded(0, [&] { return orvox::cd::play(toInt(firstTrack), toInt(endTrack)); });
}
int32_t Orvox_VolCD(fixed volume) {
    return guarded(0, [&] { return orvox::cd::setVolume(toInt(volume)); });
}
int32_t Orvox_PauseCD() {
    return guarded(0, [] { return orvox::cd::togglePause(); });
}
int32_t Orvox_StopCD() {
    return guarded(0, [] { return orvox::cd::stop(); });
}
int32_t Orvox_NextTrackCD() {
    return guarded(0, [] { return orvox::cd::nextTrack(); });
}
int32_t Orvox_PrevTrackCD() {
    return guarded(0, [] { return orvox::cd::previousTrack(); });
}
int32_t Orvox_GetCurrTrackCD() {
    return guarded(0, [] { return orvox::cd::currentTrack(); });
}
int32_t Orvox_NumberOfTracksCD() {
    return guarded(0, [] { return orvox::cd::numberOfTracks(); });
}
int32_t Orvox_FadeOutCD(fixed step) {
    return guarded(0, [&] { return orvox::cd::startFade(toInt(step), true); });
}
int32_t Orvox_FadeInCD(fixed step) {
    return guarded(0, [&] { return orvox::cd::startFade(toInt(step), false); });
}

int32_t Orvox_Log(fixed on) {
    return guarded(0, [&] {
        orvox::log::setLogging(host::isSwitchOn(on));
        return 1;
    });
}
