// The tracker-module side of the player: one library-wide module state on top of the
// tracker library, used by the exports (play, stop, volume, fades, pause, query, the
// "all" operations and the mixer-quality switch). Called on the script thread only;
// the fade ticks run on the timer thread.
#pragma once

namespace orvox::tracker {

// Brings the tracker library up when it is not (registration happens once per process).
void bringUp();

// Loads `path` as a module (128 voices, not curious) and, when that works, makes it the
// current module and starts it. False when no loader takes the file.
bool loadAndStart(const char* path);

// The tracker output runs: from a start until the library is torn down (also after the
// module has played to its end).
bool isActive();

// Tears the library down when it is active, then kills both tracker fade timers.
void stop();

// Volume on the 0..100 scale (clamped by the caller); stored and given to the library
// as 1.28 × v truncated.
void setVolume(int volume);

// Starts a fade (step per half-second tick, on the 0..100 scale) when the output is active.
void startFade(int step, bool fadeOut);

// Pause toggle when the output is active.
void togglePause();

// Selects the normal or the high-quality mixer for the next bring-up.
void setHighQuality(bool on);

}  // namespace orvox::tracker
