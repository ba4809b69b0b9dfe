// Periodic and one-shot timers on one service thread, in due-time order on the platform
// clock. A kill from another thread waits for a running callback of that timer; a kill
// from inside the service thread (any callback) never waits.
#pragma once

#include <plat/mmsystem.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "clock.h"

namespace plat {

class TimerService {
public:
    explicit TimerService(const Clock& clock);
    ~TimerService();
    TimerService(const TimerService&) = delete;
    TimerService& operator=(const TimerService&) = delete;

    // `mayFail` false: the failure hook (failNextCreations) leaves this creation alone, for
    // the platform's own timers.
    UINT create(UINT delayMs, LPTIMECALLBACK callback, DWORD_PTR user, bool periodic, bool mayFail = true);
    bool kill(UINT id);
    void stop();

    // Virtual clock: the time of the earliest live timer (UINT64_MAX when none).
    uint64_t nextDue();
    // Virtual clock: wakes the service thread and waits until every timer due at or
    // before the current clock value has run.
    void runDue();
    void failNextCreations(unsigned count);

private:
    struct Timer {
        uint64_t due;
        uint64_t period;  // 0 for one-shot
        LPTIMECALLBACK callback;
        DWORD_PTR user;
        bool dead = false;
    };

    void loop();
    std::map<UINT, Timer>::iterator earliestLive();
    bool anyDue(uint64_t now);
    // Timers run up to this time: the clock itself, or under the virtual clock only what
    // runDue allowed, so no callback ever runs beside the virtual clock's mixing.
    uint64_t runLimit() const;

    const Clock& clock_;
    std::mutex mutex_;
    std::condition_variable wake_;   // the service thread
    std::condition_variable idle_;   // kills and the virtual clock
    std::map<UINT, Timer> timers_;
    UINT nextId_ = 1;
    UINT running_ = 0;               // id whose callback runs now, 0 when none
    bool stopping_ = false;
    bool sleeping_ = false;
    unsigned failCreations_ = 0;
    uint64_t allowedUntil_ = 0;
    std::thread thread_;
};

}  // namespace plat
