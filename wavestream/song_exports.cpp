// The functions the engine's scripts call by name. Every result is a fixed value: 0 for
// success, -1 .. -5 for failures, or the asked value. Nothing is thrown across them.
#include "song_exports.h"

#include <cstdint>

#include "engine_interface.h"
#include "export_guard.h"
#include "song_player.h"

namespace {

using host::fixed;

// The library's one song.
wavestream::SongPlayer& song() {
    static wavestream::SongPlayer player;
    return player;
}

}  // namespace

WS_EXPORT fixed ws_loadSong(const void* name, fixed channels, fixed samplesPerSec, fixed bitsPerSample) {
    return a5::guardExport(host::toFixed(-5), [&] {
        return host::toFixed(song().load(host::mainWindow(), host::stringText(name), host::toInt(channels),
                                         host::toInt(samplesPerSec), host::toInt(bitsPerSample)));
    });
}

WS_EXPORT fixed ws_playSong(fixed volume, fixed loop) {
    return a5::guardExport(host::toFixed(-5), [&] {
        return host::toFixed(song().play(volume / 1024.0, host::isSwitchOn(loop)));
    });
}

WS_EXPORT fixed ws_stopSong() {
    return a5::guardExport(host::toFixed(-1), [] { return host::toFixed(song().stop()); });
}

WS_EXPORT fixed ws_killSong() {
    return a5::guardExport(host::toFixed(0), [] { return host::toFixed(song().kill()); });
}

WS_EXPORT fixed ws_setSongVol(fixed volume) {
    return a5::guardExport(host::toFixed(-1),
                           [&] { return host::toFixed(song().setVolume(volume / 1024.0)); });
}

WS_EXPORT fixed ws_getSongVol() {
    return a5::guardExport(host::toFixed(-1), [] { return host::toFixed(song().volume()); });
}

WS_EXPORT fixed ws_isSongPlaying() {
    return a5::guardExport(host::toFixed(-1), [] { return host::toFixed(song().isPlaying()); });
}

WS_EXPORT fixed __init() {
    return a5::guardExport(host::toFixed(0), [] {
        host::callInitServices();
        return host::toFixed(0);
    });
}
