// CD audio: one CD device and its volume control for the whole library, independent of
// the sound table. Results are the exports' raw statuses, or track numbers as `fixed`.
// Script thread only; the fades tick on the timer thread.
#pragma once

#include <cstdint>

namespace orvox::cd {

// From the start of firstTrack to the start of endTrack, with the completion notice to
// the engine's main window.
int32_t play(int firstTrack, int endTrack);
int32_t setVolume(int percent);
int32_t togglePause();
int32_t stop();
int32_t nextTrack();
int32_t previousTrack();
int32_t currentTrack();
int32_t numberOfTracks();
int32_t startFade(int step, bool fadeOut);

// Steps of the operations on everything at once.
// Stop all: stop command (result ignored), kill both fade timers, clear the playing flag.
void stopForStopAll();
// Pause all: the pause toggle without its success line.
void togglePauseForPauseAll();
// Shutdown: kill both fade timers, stop, then close the device.
void shutdown();

}  // namespace orvox::cd
