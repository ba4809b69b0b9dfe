// This build has no CD audio device: it answers as a machine without a CD drive. The
// device never opens, so every command goes to device 0 and fails as MCI reports an
// unknown device; the mixer is never opened, so volume changes have no effect.
#include "player/cd_audio.h"

#include "player/media_log.h"

namespace orvox::cd {

namespace {
constexpr const char* kInvalidDevice = "Invalid MCI device ID. Use the ID returned when opening the MCI device.";

int32_t openFails() {
    if (log::on()) log::write("Error: Couldn't initialize CD-ROM drive\n");
    return 0;
}
}  // namespace

int32_t play(int, int) { return openFails(); }
int32_t currentTrack() { return openFails(); }
int32_t numberOfTracks() { return openFails(); }

int32_t setVolume(int) {
    if (log::on()) log::write("Success: CD Audio: Set Volume\n");
    return 1;
}

// The mode query fails, so the pause (or resume) command is not confirmed: no line.
int32_t togglePause() { return 1; }

int32_t stop() {
    if (log::on()) log::write("Success: CD Audio: Stopped\n");
    return 1;
}

// Track steps write their error lines whether logging is on or not.
int32_t nextTrack() {
    log::write({"Error: CD Audio: Next CD: ", kInvalidDevice, "\n"});
    return 0;
}

int32_t previousTrack() {
    log::write({"Error: CD Audio: Previous CD: ", kInvalidDevice, "\n"});
    return 0;
}

// No play ever succeeded, so a fade only stores its step.
int32_t startFade(int, bool) { return 1; }

void stopForStopAll() {}
void togglePauseForPauseAll() {}
void shutdown() {}

}  // namespace orvox::cd
