// The functions the engine's scripts call by name. Every result is a fixed value: 0 for
// success, -1 .. -5 for failures, or the asked value. Nothing is thrown across them.
#include "song_exports.h"

#include <cstdint>

#include "engine_interface.h"
#include "song_player.h"

namespace {

using host::fixed;

// The library's one song.
wavestream::SongPlayer& song() {
    static wavestream::SongPlayer player;
    return player;
}

// Runs a script call; an allocation failure or any other exception answers `failure`.
template <typename Call>
fixed answer(Call call, int failure) {
    try {
        return host::toFixed(call());
    } catch (...) {
        return host::toFixed(failure);
    }
}

}  // namespace

WS_EXPORT fixed ws_loadSong(const void* name, fixed channels, fixed samplesPerSec, fixed bitsPerSample) {
    return answer(
        [&] {
            return song().load(host::mainWindow(), host::stringText(name), host::toInt(channels),
                               host::toInt(samplesPerSec), host::toInt(bitsPerSample));
        },
        -5);
}

WS_EXPORT fixed ws_playSong(fixed volume, fixed loop) {
    return answer([&] { return song().play(volume / 1024.0, host::isSwitchOn(loop)); }, -5);
}

WS_EXPORT fixed ws_stopSong() {
    return answer([] { return song().stop(); }, -1);
}

WS_EXPORT fixed ws_killSong() {
    return answer([] { return song().kill(); }, 0);
}

WS_EXPORT fixed ws_setSongVol(fixed volume) {
    return answer([&] { return song().setVolume(volume / 1024.0); }, -1);
}

WS_EXPORT fixed ws_getSongVol() {
    return answer([] { return song().volume(); }, -1);
}

WS_EXPORT fixed ws_isSongPlaying() {
    return answer([] { return song().isPlaying(); }, -1);
}

WS_EXPORT fixed __init() {
    return answer(
        [] {
            host::callInitServices();
            return 0;
        },
        0);
}
