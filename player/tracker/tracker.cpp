#include "tracker.h"

#include <mikmod.h>
#include <plat/file_open.h>
#include <plat/mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "tracker_driver.h"

namespace orvox::tracker {
namespace {

constexpr UWORD kNormalMode = DMODE_16BITS | DMODE_STEREO | DMODE_SOFT_MUSIC | DMODE_SURROUND;
constexpr UWORD kHighQualityMode = kNormalMode | DMODE_HQMIXER;
static_assert(kNormalMode == 267 && kHighQualityMode == 283);
constexpr UWORD kMixRate = 44100;
constexpr int kMaxVoices = 128;
constexpr int kFullVolume = 128;
constexpr double kVolumeScale = 1.28;  // 0..100 script scale to the library's 0..128
constexpr UINT kFadePeriodMs = 500;
constexpr UINT kFadeResolutionMs = 100;

// Registered in this order: Player_Load asks them in turn, so the 15-instrument MOD
// loader, which accepts almost anything, comes last.
MLOADER* const kLoaders[] = {&load_669, &load_amf, &load_dsm, &load_far, &load_gdm, &load_it,
                             &load_imf, &load_mod, &load_med, &load_mtm, &load_okt, &load_s3m,
                             &load_stm, &load_stx, &load_ult, &load_uni, &load_xm,  &load_m15};

// Library-wide tracker state. Everything but the fade fields is used on the script thread
// only; the fade ticks run on the timer thread, hence the atomics.
struct State {
    MODULE* current = nullptr;
    bool ready = false;       // the tracker library is initialised
    bool registered = false;  // driver and loaders registered in this process
    std::atomic<int> volume{kFullVolume};  // last volume given, unclamped
    std::atomic<int> fadeStep{0};
    std::atomic<UINT> fadeOutTimer{0};
    std::atomic<UINT> fadeInTimer{0};

    // When the player is unloaded (or the process ends) the tracker library goes down with
    // it: otherwise its buffers, and the driver's state, would outlive every pointer to them.
    ~State() {
        for (auto* timer : {&fadeInTimer, &fadeOutTimer})
            if (const UINT id = timer->exchange(0); id != 0) timeKillEvent(id);
        if (ready) {
            Player_Stop();
            Player_Free(std::exchange(current, nullptr));
            MikMod_Exit();
        }
        output::release();
    }
};

State& state() {
    static State s;
    return s;
}

// The mixing settings hold from load on; only setHighQuality changes md_mode afterwards.
struct LoadTimeSettings {
    LoadTimeSettings() {
        md_mode = kNormalMode;
        md_mixfreq = kMixRate;
    }
} const loadTimeSettings;

int toInt(double value) {
    return static_cast<int>(std::clamp(std::trunc(value), double{INT32_MIN}, double{INT32_MAX}));
}

void giveVolume(int volume) { Player_SetVolume(static_cast<SWORD>(std::clamp(volume, 0, kFullVolume))); }

void killTimer(std::atomic<UINT>& timer) {
    if (const UINT id = timer.exchange(0); id != 0) timeKillEvent(id);
}

void killFadeTimers() {
    State& s = state();
    killTimer(s.fadeInTimer);
    killTimer(s.fadeOutTimer);
}

void fadeTick(UINT timerId, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) noexcept {
    State& s = state();
    if (timerId != s.fadeOutTimer.load() && timerId != s.fadeInTimer.load()) return;
    const int step = s.fadeStep.load();
    const int volume = toInt(s.volume.load() + kVolumeScale * step);
    s.volume.store(volume);
    giveVolume(volume);
    if (volume >= 1 && volume <= kFullVolume - 1) return;
    killTimer(step < 1 ? s.fadeOutTimer : s.fadeInTimer);
}

// Player_Stop, free the current module, MikMod_Exit; the refill timer goes after the
// library has let go of its lock.
void tearDown() {
    State& s = state();
    Player_Stop();
    Player_Free(std::exchange(s.current, nullptr));
    MikMod_Exit();
    output::stopRefill();
    s.ready = false;
}

}  // namespace

void bringUp() {
    State& s = state();
    if (s.ready) return;
    if (!s.registered) {
        MikMod_RegisterDriver(&output::driver());
        for (MLOADER* loader : kLoaders) MikMod_RegisterLoader(loader);
        s.registered = true;
    }
    // On failure (no device) the library stays down and the next play tries again.
    if (MikMod_Init("") != 0) return;
    s.ready = true;
}

bool loadAndStart(const char* path) {
    State& s = state();
    if (!s.ready) return false;
    // The library's own Player_Load would open the name itself, blocking on a FIFO and
    // without close-on-exec. The loader reads the samples in, so the file closes at once.
    const plat::FileStream file = plat::openFileStream(path, plat::FileMode::Read);
    if (file == nullptr) return false;
    MODULE* module = Player_LoadFP(file.get(), kMaxVoices, 0);
    if (module == nullptr) return false;
    // The refills run from the first start to the teardown; without them nothing would be heard.
    if (!output::startRefill()) {
        Player_Free(module);
        return false;
    }
    // Player_Start silences the module it replaces; nothing refers to that one any more.
    MODULE* replaced = std::exchange(s.current, module);
    Player_Start(module);
    Player_Free(replaced);
    return true;
}

bool isActive() { return MikMod_Active() != 0; }

void stop() {
    if (isActive()) tearDown();
    killFadeTimers();
}

void setVolume(int volume) {
    State& s = state();
    const int scaled = toInt(kVolumeScale * volume);
    s.volume.store(scaled);
    giveVolume(scaled);
}

void startFade(int step, bool fadeOut) {
    if (!isActive()) return;
    State& s = state();
    const std::int64_t signedStep = fadeOut ? -std::int64_t{step} : std::int64_t{step};
    s.fadeStep.store(static_cast<int>(std::clamp<std::int64_t>(signedStep, INT32_MIN, INT32_MAX)));
    timeBeginPeriod(kFadePeriodMs);
    // Both go: a fade restarted in the same direction must not leave its old timer running.
    killFadeTimers();
    std::atomic<UINT>& timer = fadeOut ? s.fadeOutTimer : s.fadeInTimer;
    timer.store(timeSetEvent(kFadePeriodMs, kFadeResolutionMs, fadeTick, 0, TIME_PERIODIC | TIME_CALLBACK_FUNCTION));
}

void togglePause() {
    if (!isActive()) return;
    md_driver->Pause();
    Player_TogglePause();
}

void setHighQuality(bool on) { md_mode = on ? kHighQualityMode : kNormalMode; }

}  // namespace orvox::tracker
