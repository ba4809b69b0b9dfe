// CD audio through the platform's MCI CD audio device (drive "D:", time format TMSF) and
// the audio mixer's CD line. The device opens at the first call that needs it and, once
// opened, is never opened again: after Orvox_Shutdown closed it, commands go to the
// closed identifier and report the device's errors.
#include "cd_audio.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "engine_interface.h"
#include "cd_volume_control.h"
#include "media_log.h"
#include <plat/mci.h>
#include <plat/winbase.h>
#include "timer_slot.h"

namespace orvox::cd {

namespace {

constexpr char kDriveLetter = 'D';
constexpr UINT kFadePeriodMs = 500;
constexpr size_t kErrorTextBytes = 255;

// Library-wide CD state. The fade tick runs on the timer thread and reads and writes the
// volume and the mixer; everything else is the script thread's.
struct State {
    uint16_t device = 0;
    bool opened = false;
    bool playing = false;
    std::atomic<int32_t> volume{0};
    std::atomic<int32_t> fadeStep{0};
    stream::TimerSlot fadeInTimer;
    stream::TimerSlot fadeOutTimer;
    CdVolumeControl volumeControl;
    bool closed = false;

    // Unloading the player ends its fades (their ticks would run into unloaded code) and
    // closes a device it left open, so no CD of an unloaded player plays on.
    ~State() {
        fadeInTimer.kill();
        fadeOutTimer.kill();
        if (device != 0 && !closed) {
            mciSendCommandA(device, MCI_STOP, 0, 0);
            mciSendCommandA(device, MCI_CLOSE, MCI_WAIT, 0);
        }
    }
};

State& state() {
    static State s;
    return s;
}

MCIERROR send(UINT command, DWORD flags, void* parameters) {
    return mciSendCommandA(state().device, command, flags, reinterpret_cast<DWORD_PTR>(parameters));
}

MCIERROR sendPlain(UINT command, DWORD flags = 0) {
    MCI_GENERIC_PARMS parameters{};
    return send(command, flags, &parameters);
}

// A status item; the answer stays `answer`'s start value when the device reports an error.
MCIERROR status(DWORD item, DWORD_PTR& answer) {
    MCI_STATUS_PARMS parameters{};
    parameters.dwItem = item;
    parameters.dwReturn = answer;
    const MCIERROR error = send(MCI_STATUS, MCI_STATUS_ITEM, &parameters);
    answer = parameters.dwReturn;
    return error;
}

struct ErrorText {
    char text[kErrorTextBytes] = {};
    explicit ErrorText(MCIERROR error) { mciGetErrorStringA(error, text, sizeof text); }
};

// The open sequence; false when the drive does not open (the next call tries again).
bool ensureOpen() {
    State& s = state();
    if (s.opened) return true;
    char element[8];
    std::snprintf(element, sizeof element, "%c:", kDriveLetter);
    char alias[32];
    std::snprintf(alias, sizeof alias, "CD%lu:", static_cast<unsigned long>(GetTickCount()));
    MCI_OPEN_PARMSA open{};
    open.lpstrDeviceType = reinterpret_cast<LPCSTR>(uintptr_t{MCI_DEVTYPE_CD_AUDIO});
    open.lpstrElementName = element;
    open.lpstrAlias = alias;
    mciSendCommandA(0, MCI_OPEN,
                    MCI_WAIT | MCI_OPEN_SHAREABLE | MCI_OPEN_ELEMENT | MCI_OPEN_ALIAS | MCI_OPEN_TYPE_ID | MCI_OPEN_TYPE,
                    reinterpret_cast<DWORD_PTR>(&open));
    s.device = static_cast<uint16_t>(open.wDeviceID);
    if (s.device == 0) {
        if (log::on()) log::write("Error: Couldn't initialize CD-ROM drive\n");
        return false;
    }
    MCI_SET_PARMS set{};
    set.dwTimeFormat = MCI_FORMAT_TMSF;
    send(MCI_SET, MCI_SET_TIME_FORMAT, &set);
    s.volumeControl.open(host::mainWindow());
    int32_t volume = s.volume.load();
    s.volumeControl.read(volume, volume);
    s.volume.store(volume);
    s.opened = true;
    return true;
}

void killFadeTimers() {
    state().fadeInTimer.kill();
    state().fadeOutTimer.kill();
}

// The pause toggle: a CD device reports the stopped mode while paused, so one call
// pauses and the next resumes from where it stood. True when the command went through.
bool toggle() {
    DWORD_PTR mode = 0;
    status(MCI_STATUS_MODE, mode);
    if (mode != MCI_MODE_STOP) return sendPlain(MCI_PAUSE) == 0;
    MCI_PLAY_PARMS play{};
    return send(MCI_PLAY, 0, &play) == 0;
}

// Seek to the track and play on to the end of the disc. The error, or 0.
MCIERROR playFromTrack(DWORD track) {
    MCI_SEEK_PARMS seek{};
    seek.dwTo = MCI_MAKE_TMSF(static_cast<BYTE>(track), 0, 0, 0);
    if (const MCIERROR error = send(MCI_SEEK, MCI_TO, &seek)) return error;
    MCI_PLAY_PARMS play{};
    return send(MCI_PLAY, 0, &play);
}

// Next and previous track. The lines are written whether logging is on or not.
int32_t stepTrack(bool forward, const char* firstError, const char* laterError) {
    DWORD_PTR current = 0;
    if (const MCIERROR error = status(MCI_STATUS_CURRENT_TRACK, current)) {
        log::write({firstError, ErrorText(error).text, "\n"});
        return 0;
    }
    DWORD_PTR tracks = 0;
    MCIERROR error = status(MCI_STATUS_NUMBER_OF_TRACKS, tracks);
    if (error == 0) {
        DWORD target = 0;
        if (forward) {
            target = current + 1 <= tracks ? static_cast<DWORD>(current + 1) : 1;
        } else {
            target = current == 1 ? static_cast<DWORD>(tracks) : static_cast<DWORD>(current - 1);
        }
        error = playFromTrack(target);
    }
    if (error != 0) {
        log::write({laterError, ErrorText(error).text, "\n"});
        return 0;
    }
    return 1;
}

// A track query after the open sequence: the answer as fixed, or 0 with the line.
int32_t query(DWORD item, const char* errorLine) {
    if (!ensureOpen()) return 0;
    DWORD_PTR answer = 0;
    if (const MCIERROR error = status(item, answer)) {
        log::write({errorLine, ErrorText(error).text, "\n"});
        return 0;
    }
    return host::toFixed(static_cast<int32_t>(answer));
}

void fadeTick(UINT timerId, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    State& s = state();
    if (!s.fadeOutTimer.holds(timerId) && !s.fadeInTimer.holds(timerId)) return;
    // The volume as it is now, so a change by the user or by Orvox_VolCD is the start.
    int32_t volume = s.volume.load();
    s.volumeControl.read(volume, volume);
    volume = static_cast<int32_t>(std::clamp<int64_t>(int64_t{volume} + s.fadeStep.load(), 0, 100));
    s.volume.store(volume);
    s.volumeControl.write(volume, volume);
    if (volume >= 1 && volume <= 99) return;
    // The CD plays on at the volume reached. The timer that ends is the one that fired,
    // also for a fade given a negative step (a fade-out that rises), which would
    // otherwise keep pulling every later volume back to the end it reached.
    s.fadeOutTimer.killIfHolds(timerId);
    s.fadeInTimer.killIfHolds(timerId);
}

}  // namespace

int32_t play(int firstTrack, int endTrack) {
    State& s = state();
    if (!ensureOpen()) return 0;
    MCI_PLAY_PARMS parameters{};
    parameters.dwCallback = reinterpret_cast<DWORD_PTR>(host::mainWindow());
    parameters.dwFrom = static_cast<DWORD>(firstTrack) & 0xFF;
    parameters.dwTo = static_cast<DWORD>(endTrack);
    if (const MCIERROR error = send(MCI_PLAY, MCI_NOTIFY | MCI_FROM | MCI_TO, &parameters)) {
        if (log::on()) log::write({"Error: CD Audio: ", ErrorText(error).text, "\n"});
        return 0;
    }
    if (log::on()) log::write("Success: CD Audio: Playing\n");
    s.playing = true;
    return 1;
}

int32_t setVolume(int percent) {
    state().volumeControl.write(percent, percent);
    if (log::on()) log::write("Success: CD Audio: Set Volume\n");
    return 1;
}

int32_t togglePause() {
    if (toggle() && log::on()) log::write("Success: CD Audio: Paused/Unpaused\n");
    return 1;
}

int32_t stop() {
    sendPlain(MCI_STOP);
    killFadeTimers();
    if (log::on()) log::write("Success: CD Audio: Stopped\n");
    state().playing = false;
    return 1;
}

int32_t nextTrack() { return stepTrack(true, "Error: CD Audio: Next CD: ", "Error: CD Audio: Next CD: "); }

int32_t previousTrack() {
    return stepTrack(false, "Error: CD Audio: Previous CD: ", "Error: CD Audio: Previous CD\n");
}

int32_t currentTrack() { return query(MCI_STATUS_CURRENT_TRACK, "Error: CD Audio: Get current track:"); }

int32_t numberOfTracks() { return query(MCI_STATUS_NUMBER_OF_TRACKS, "Error: CD Audio: Get number of tracks:"); }

int32_t startFade(int step, bool fadeOut) {
    State& s = state();
    s.fadeStep.store(fadeOut ? -step : step);
    if (!s.playing) return 1;
    timeBeginPeriod(kFadePeriodMs);
    (fadeOut ? s.fadeInTimer : s.fadeOutTimer).kill();
    // A fade restarted in the same direction replaces its running timer.
    const UINT id = (fadeOut ? s.fadeOutTimer : s.fadeInTimer).startPeriodic(kFadePeriodMs, &fadeTick, nullptr);
    if (id == 0) {
        if (log::on())
            log::write(fadeOut ? "Error: CD Audio: Timer ID invalid in FadeOutCD\n"
                               : "Error: CD Audio: Timer ID invalid in FadeInCD\n");
        return 0;
    }
    return 1;
}

void stopForStopAll() {
    sendPlain(MCI_STOP);
    killFadeTimers();
    state().playing = false;
}

void togglePauseForPauseAll() { toggle(); }

void shutdown() {
    killFadeTimers();
    sendPlain(MCI_STOP);
    sendPlain(MCI_CLOSE, MCI_WAIT);
    if (state().device != 0) state().closed = true;
}

}  // namespace orvox::cd
