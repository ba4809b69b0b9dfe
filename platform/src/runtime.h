// The process-wide runtime: one clock, one mixer, one output and one timer service.
// It starts at the first use of any service (or at a5p_configure) and lives until the
// process ends; a5p_shutdown stops its threads but keeps the object, so that late calls
// (for example from plug-ins' static destructors) fail softly instead of crashing.
#pragma once

#include <plat/a5platform.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "clock.h"
#include "eax_listener.h"
#include "mixer.h"
#include "output.h"
#include "timer_service.h"

namespace plat {

class Runtime {
public:
    // The running runtime, started with the defaults when needed.
    static Runtime& get();
    static int configure(const A5PlatformConfig& config);
    // 0, or the errno of the first failed write of the WAV output.
    static int shutdown();

    Clock& clock() { return clock_; }
    Mixer& mixer() { return *mixer_; }
    TimerService& timers() { return *timers_; }
    // The EAX listener of the hardware's 3D voices; null for hardware without EAX.
    EaxListener* eax() { return eax_.get(); }
    int outputKind() const { return outputKind_; }
    // The configured disc image for the CD audio device; empty when none was given.
    const std::string& cdImage() const { return cdImage_; }
    bool stopped() const { return stopped_; }

    void advance(uint64_t nanoseconds);

    // Test hooks: count down device creations and initialisations that must fail.
    enum class Failing { DeviceCreation, DeviceInitialization };
    bool takeFailure(Failing what);
    void failNext(Failing what, unsigned count);

private:
    explicit Runtime(const A5PlatformConfig& config);
    int stop();
    uint64_t timeOfFrame(uint64_t frame) const;

    Clock clock_;
    std::unique_ptr<Mixer> mixer_;
    std::unique_ptr<TimerService> timers_;
    std::unique_ptr<Output> output_;
    std::unique_ptr<EaxListener> eax_;
    int outputKind_ = A5_OUTPUT_NULL;
    std::string cdImage_;
    bool stopped_ = false;
    int outputError_ = 0;  // of the WAV output, kept from the stop
    std::mutex advanceMutex_;
    std::mutex hooksMutex_;
    unsigned failures_[2] = {0, 0};  // by Failing
};

}  // namespace plat
