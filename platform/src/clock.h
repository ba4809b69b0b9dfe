// The platform clock, in nanoseconds since the runtime started: real (steady) time, or a
// virtual time that moves only when the runtime advances it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace plat {

class Clock {
public:
    void start(bool isVirtual) {
        virtual_ = isVirtual;
        origin_ = std::chrono::steady_clock::now();
        virtualNow_.store(0);
    }
    bool isVirtual() const { return virtual_; }
    uint64_t now() const {
        if (virtual_) return virtualNow_.load(std::memory_order_acquire);
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - origin_).count());
    }
    // Real time point of a clock value (real clock only).
    std::chrono::steady_clock::time_point realTime(uint64_t ns) const {
        return origin_ + std::chrono::nanoseconds(ns);
    }
    void setVirtualNow(uint64_t ns) { virtualNow_.store(ns, std::memory_order_release); }

private:
    bool virtual_ = false;
    std::chrono::steady_clock::time_point origin_{};
    std::atomic<uint64_t> virtualNow_{0};
};

}  // namespace plat
