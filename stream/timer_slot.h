// One multimedia timer identifier shared by the script thread, which starts and kills
// the timer, and the timer thread, whose ticks compare their identifier with it and may
// kill it from inside.
#pragma once

#include <plat/mmsystem.h>

#include <atomic>

namespace orvox::stream {

class TimerSlot {
public:
    TimerSlot() = default;
    TimerSlot(const TimerSlot&) = delete;
    TimerSlot& operator=(const TimerSlot&) = delete;
    ~TimerSlot() { kill(); }

    // Starts a periodic timer (resolution 100 ms) and keeps its identifier; 0 when the
    // service could not make one. A timer still held is killed first.
    UINT startPeriodic(UINT periodMs, LPTIMECALLBACK callback, void* user) {
        kill();
        const UINT id = timeSetEvent(periodMs, kResolutionMs, callback, reinterpret_cast<DWORD_PTR>(user),
                                     TIME_PERIODIC);
        id_.store(id);
        return id;
    }

    // True when `id` is the timer this slot holds: a tick of a replaced or killed timer
    // finds false and does nothing.
    bool holds(UINT id) const { return id != 0 && id_.load() == id; }
    bool running() const { return id_.load() != 0; }

    // Forgets the timer and kills it. Exactly one caller gets the identifier, so a kill
    // from the script thread and one from inside a tick never both act. From another
    // thread the kill waits for a running tick of that timer; from inside it does not.
    void kill() {
        if (const UINT id = id_.exchange(0); id != 0) timeKillEvent(id);
    }

    // Kills the timer only while it is still `id`: for a tick ending its own timer.
    void killIfHolds(UINT id) {
        UINT expected = id;
        if (id != 0 && id_.compare_exchange_strong(expected, 0)) timeKillEvent(id);
    }

private:
    static constexpr UINT kResolutionMs = 100;
    std::atomic<UINT> id_{0};
};

}  // namespace orvox::stream
