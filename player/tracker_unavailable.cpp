// This build has no tracker library: no module ever loads and the output never runs,
// so every tracker operation finds nothing to do.
#include "player/tracker.h"

namespace orvox::tracker {

void bringUp() {}
bool loadAndStart(const char*) { return false; }
bool isActive() { return false; }
void stop() {}
void setVolume(int) {}
void startFade(int, bool) {}
void togglePause() {}
void setHighQuality(bool) {}

}  // namespace orvox::tracker
