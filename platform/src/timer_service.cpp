#include "timer_service.h"

namespace plat {

namespace {
constexpr uint64_t kMs = 1'000'000;
}

TimerService::TimerService(const Clock& clock) : clock_(clock) { thread_ = std::thread([this] { loop(); }); }

TimerService::~TimerService() { stop(); }

void TimerService::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        timers_.clear();
    }
    wake_.notify_all();
    idle_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TimerService::failNextCreations(unsigned count) {
    std::lock_guard lock(mutex_);
    failCreations_ = count;
}

UINT TimerService::create(UINT delayMs, LPTIMECALLBACK callback, DWORD_PTR user, bool periodic, bool mayFail) {
    if (!callback) return 0;
    std::lock_guard lock(mutex_);
    if (stopping_) return 0;
    if (mayFail && failCreations_ > 0) {
        --failCreations_;
        return 0;
    }
    // A zero period would make a periodic timer spin; the finest period is 1 ms.
    uint64_t period = (delayMs == 0 ? 1 : delayMs) * kMs;
    UINT id = nextId_;
    while (id == 0 || timers_.count(id)) ++id;
    nextId_ = id + 1;
    timers_[id] = Timer{clock_.now() + period, periodic ? period : 0, callback, user};
    wake_.notify_all();
    return id;
}

bool TimerService::kill(UINT id) {
    std::unique_lock lock(mutex_);
    auto it = timers_.find(id);
    if (it == timers_.end() || it->second.dead) return false;
    it->second.dead = true;
    if (running_ == id && std::this_thread::get_id() != thread_.get_id()) {
        idle_.wait(lock, [&] { return running_ != id || stopping_; });
    }
    if (running_ != id) timers_.erase(id);
    wake_.notify_all();
    return true;
}

std::map<UINT, TimerService::Timer>::iterator TimerService::earliestLive() {
    auto best = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.dead) continue;
        if (best == timers_.end() || it->second.due < best->second.due) best = it;
    }
    return best;
}

bool TimerService::anyDue(uint64_t now) {
    auto it = earliestLive();
    return it != timers_.end() && it->second.due <= now;
}

uint64_t TimerService::nextDue() {
    std::lock_guard lock(mutex_);
    auto it = earliestLive();
    return it == timers_.end() ? UINT64_MAX : it->second.due;
}

uint64_t TimerService::runLimit() const { return clock_.isVirtual() ? allowedUntil_ : clock_.now(); }

void TimerService::runDue() {
    std::unique_lock lock(mutex_);
    allowedUntil_ = clock_.now();
    wake_.notify_all();
    idle_.wait(lock, [&] { return stopping_ || (running_ == 0 && sleeping_ && !anyDue(allowedUntil_)); });
}

void TimerService::loop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        auto it = earliestLive();
        uint64_t now = runLimit();
        if (it == timers_.end() || it->second.due > now) {
            sleeping_ = true;
            idle_.notify_all();
            if (it == timers_.end() || clock_.isVirtual()) {
                wake_.wait(lock);
            } else {
                wake_.wait_until(lock, clock_.realTime(it->second.due));
            }
            sleeping_ = false;
            continue;
        }
        const UINT id = it->first;
        Timer& t = it->second;
        LPTIMECALLBACK callback = t.callback;
        DWORD_PTR user = t.user;
        if (t.period) {
            t.due += t.period;
            // A real-time service that fell far behind drops the missed periods.
            if (!clock_.isVirtual() && t.due + 8 * t.period < now) t.due = now + t.period;
        } else {
            t.dead = true;
        }
        running_ = id;
        lock.unlock();
        callback(id, 0, user, 0, 0);
        lock.lock();
        running_ = 0;
        auto after = timers_.find(id);
        if (after != timers_.end() && after->second.dead) timers_.erase(after);
        idle_.notify_all();
    }
    sleeping_ = true;
    idle_.notify_all();
}

}  // namespace plat
