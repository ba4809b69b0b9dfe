// The script functions of liborvox.so. Each forwards the engine's raw values to the one
// library-wide Player, or to the tracker, CD and EAX parts; behind the export guard, so no
// exception leaves them.
#include "cd_audio.h"
#include "eax.h"
#include "engine_interface.h"
#include "export_guard.h"
#include "media_log.h"
#include "orvox_api.h"
#include "player.h"
#include "tracker.h"

namespace {

orvox::Player& player() {
    static orvox::Player instance;
    return instance;
}

}  // namespace

using host::fixed;
using host::toInt;

ORVOX_API int32_t Orvox_Play(const void* name, fixed loop) {
    return a5::guardExport(-1, [&] { return player().play(host::stringText(name), loop); });
}
ORVOX_API int32_t Orvox_Stop(fixed index) {
    return a5::guardExport(0, [&] { return player().stop(index); });
}
ORVOX_API int32_t Orvox_Vol(fixed index, fixed volume) {
    return a5::guardExport(0, [&] { return player().setVolume(index, volume); });
}
ORVOX_API int32_t Orvox_FadeIn(fixed index, fixed step) {
    return a5::guardExport(0, [&] { return player().fade(index, step, false); });
}
ORVOX_API int32_t Orvox_FadeOut(fixed index, fixed step) {
    return a5::guardExport(0, [&] { return player().fade(index, step, true); });
}
ORVOX_API int32_t Orvox_Pause(fixed index) {
    return a5::guardExport(0, [&] { return player().togglePause(index); });
}
ORVOX_API int32_t Orvox_IsPlaying(fixed index) {
    return a5::guardExport(0, [&] { return player().isPlaying(index); });
}
ORVOX_API int32_t Orvox_StopAll() {
    return a5::guardExport(0, [] { return player().stopAll(); });
}
ORVOX_API int32_t Orvox_PauseAll() {
    return a5::guardExport(0, [] { return player().pauseAll(); });
}
ORVOX_API int32_t Orvox_Shutdown() {
    return a5::guardExport(0, [] { return player().shutdown(); });
}

ORVOX_API int32_t Orvox_MODHQ(fixed on) {
    return a5::guardExport(0, [&] {
        const bool highQuality = host::isSwitchOn(on);
        orvox::tracker::setHighQuality(highQuality);
        if (orvox::log::on())
            orvox::log::write(highQuality ? "Success: MOD: High quality mixing selected\n"
                                          : "Success: MOD: Normal mixing selected\n");
        return 1;
    });
}

ORVOX_API int32_t Orvox_EAX(fixed environment) {
    return a5::guardExport(0, [&] { return orvox::eax::select(toInt(environment)); });
}

ORVOX_API int32_t Orvox_PlayCD(fixed firstTrack, fixed endTrack) {
    return a5::guardExport(0, [&] { return orvox::cd::play(toInt(firstTrack), toInt(endTrack)); });
}
ORVOX_API int32_t Orvox_VolCD(fixed volume) {
    return a5::guardExport(0, [&] { return orvox::cd::setVolume(toInt(volume)); });
}
ORVOX_API int32_t Orvox_PauseCD() {
    return a5::guardExport(0, [] { return orvox::cd::togglePause(); });
}
ORVOX_API int32_t Orvox_StopCD() {
    return a5::guardExport(0, [] { return orvox::cd::stop(); });
}
ORVOX_API int32_t Orvox_NextTrackCD() {
    return a5::guardExport(0, [] { return orvox::cd::nextTrack(); });
}
ORVOX_API int32_t Orvox_PrevTrackCD() {
    return a5::guardExport(0, [] { return orvox::cd::previousTrack(); });
}
ORVOX_API int32_t Orvox_GetCurrTrackCD() {
    return a5::guardExport(0, [] { return orvox::cd::currentTrack(); });
}
ORVOX_API int32_t Orvox_NumberOfTracksCD() {
    return a5::guardExport(0, [] { return orvox::cd::numberOfTracks(); });
}
ORVOX_API int32_t Orvox_FadeOutCD(fixed step) {
    return a5::guardExport(0, [&] { return orvox::cd::startFade(toInt(step), true); });
}
ORVOX_API int32_t Orvox_FadeInCD(fixed step) {
    return a5::guardExport(0, [&] { return orvox::cd::startFade(toInt(step), false); });
}

ORVOX_API int32_t Orvox_Log(fixed on) {
    return a5::guardExport(0, [&] {
        orvox::log::setLogging(host::isSwitchOn(on));
        return 1;
    });
}
