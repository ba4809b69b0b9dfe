// The C interface of libwavestream.so, called by the engine's scripts by name. Numbers are
// the engine's fixed-point values (1.0 == 1024); `name` is an engine string record. Besides
// these, the library exports the engine entry A5_DLLAPI.
#pragma once

#include <cstdint>

#define WS_EXPORT extern "C" __attribute__((visibility("default")))

// 0, or -1 no name, -2 device, -3 no readable WAV, -4 empty data, -5 buffer (also for a
// format without a usable block size, such as a block alignment of 0).
WS_EXPORT std::int32_t ws_loadSong(const void* name, std::int32_t channels, std::int32_t samplesPerSec,
                                   std::int32_t bitsPerSample);
// 0, or -1 not loaded, -2 no song, -3 reset, -4 fill, -5 play failed. Loops when the integer
// part of loop is 1.
WS_EXPORT std::int32_t ws_playSong(std::int32_t volume, std::int32_t loop);
// 0, or -1 not loaded.
WS_EXPORT std::int32_t ws_stopSong();
// Always 0.
WS_EXPORT std::int32_t ws_killSong();
// 0, -1 not loaded, or the buffer's failure code times 1024.
WS_EXPORT std::int32_t ws_setSongVol(std::int32_t volume);
// The volume in percent, or -1 not loaded.
WS_EXPORT std::int32_t ws_getSongVol();
// 1 playing, 0 not, -1 not loaded.
WS_EXPORT std::int32_t ws_isSongPlaying();
// Calls the engine's two init services; 0.
WS_EXPORT std::int32_t __init();
