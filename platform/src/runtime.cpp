#include "runtime.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "kernel.h"

namespace plat {

namespace {

std::mutex startMutex;
Runtime* running = nullptr;

A5PlatformConfig fromEnvironment(A5PlatformConfig config, std::string& wavPath) {
    const char* noEax = std::getenv("A5_NO_EAX");
    if (noEax && std::strcmp(noEax, "1") == 0) config.noEax = 1;
    if (config.output != A5_OUTPUT_DEFAULT) return config;
    config.output = A5_OUTPUT_DEVICE;
    const char* env = std::getenv("A5_AUDIO_OUTPUT");
    if (!env || !*env) return config;
    if (std::strcmp(env, "null") == 0) {
        config.output = A5_OUTPUT_NULL;
    } else if (std::strncmp(env, "wav:", 4) == 0 && env[4]) {
        config.output = A5_OUTPUT_WAV;
        wavPath = env + 4;
        config.wavPath = wavPath.c_str();
    } else if (std::strcmp(env, "device") != 0) {
        std::fprintf(stderr, "a5platform: A5_AUDIO_OUTPUT=%s not understood; using the device\n", env);
    }
    return config;
}

bool valid(const A5PlatformConfig& c) {
    if (c.output < A5_OUTPUT_DEFAULT || c.output > A5_OUTPUT_WAV) return false;
    if (c.rate != 0 && (c.rate < 8000 || c.rate > 192000)) return false;
    if (c.channels > 2) return false;
    if (c.output == A5_OUTPUT_WAV && (!c.wavPath || !*c.wavPath)) return false;
    if (c.virtualClock && c.output == A5_OUTPUT_DEVICE) return false;
    return true;
}

void atExit() { Runtime::shutdown(); }

}  // namespace

Runtime::Runtime(const A5PlatformConfig& requested) {
    std::string wavPath;
    A5PlatformConfig config = fromEnvironment(requested, wavPath);
    const uint32_t rate = config.rate ? config.rate : 44100;
    const uint32_t channels = config.channels ? config.channels : 2;
    const bool virtualClock = config.virtualClock && config.output != A5_OUTPUT_DEVICE;
    clock_.start(virtualClock);
    mixer_ = std::make_unique<Mixer>(rate, channels, config.rate != 0);
    timers_ = std::make_unique<TimerService>(clock_);
    if (!config.noEax) eax_ = std::make_unique<EaxListener>(*mixer_);
    outputKind_ = config.output;
    if (config.cdImage != nullptr) cdImage_ = config.cdImage;
    if (config.output == A5_OUTPUT_WAV && !mixer_->sink().open(config.wavPath, rate, channels)) {
        std::fprintf(stderr, "a5platform: cannot write %s (%s); using the null output\n", config.wavPath,
                     std::strerror(errno));
        outputKind_ = A5_OUTPUT_NULL;
    }
    if (virtualClock) return;  // the clock's advance mixes
    if (config.output == A5_OUTPUT_DEVICE) {
        std::string failure;
        output_ = startDeviceOutput(*mixer_, failure);
        if (!output_) {
            std::fprintf(stderr, "a5platform: no audio device (%s); using the null output\n", failure.c_str());
            outputKind_ = A5_OUTPUT_NULL;
        }
    }
    if (!output_) output_ = startNullOutput(*mixer_);
}

Runtime& Runtime::get() {
    std::lock_guard lock(startMutex);
    if (!running) {
        A5PlatformConfig defaults{};
        // Never deleted: late calls at process exit still find a (stopped) runtime.
        running = new Runtime(defaults);
        std::atexit(atExit);
    }
    return *running;
}

int Runtime::configure(const A5PlatformConfig& config) {
    std::lock_guard lock(startMutex);
    if (running || !valid(config)) return -1;
    running = new Runtime(config);
    std::atexit(atExit);
    return 0;
}

int Runtime::shutdown() {
    Runtime* r;
    {
        std::lock_guard lock(startMutex);
        r = running;
    }
    return r ? r->stop() : 0;
}

int Runtime::stop() {
    std::lock_guard lock(advanceMutex_);
    if (stopped_) return outputError_;
    stopped_ = true;
    timers_->stop();
    if (output_) output_->stop();
    if (eax_) eax_->close();
    outputError_ = mixer_->sink().close();
    return outputError_;
}

uint64_t Runtime::timeOfFrame(uint64_t frame) const {
    return frame * 1'000'000'000ull / mixer_->outputRate();
}

void Runtime::advance(uint64_t nanoseconds) {
    if (!clock_.isVirtual()) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(nanoseconds));
        return;
    }
    std::lock_guard lock(advanceMutex_);
    if (stopped_) return;
    Kernel& kernel = Kernel::instance();
    const uint64_t target = clock_.now() + nanoseconds;
    kernel.waitWorkersIdle();
    for (;;) {
        const uint64_t blockEnd = timeOfFrame(mixer_->framesMixed() + Mixer::kBlockFrames);
        const uint64_t t = std::min({blockEnd, timers_->nextDue(), target});
        if (t > clock_.now()) clock_.setVirtualNow(t);
        if (t == blockEnd) {
            mixer_->mixBlock();
            kernel.waitWorkersIdle();
        }
        if (timers_->nextDue() <= t) {
            timers_->runDue();
            kernel.waitWorkersIdle();
        }
        if (t >= target) break;
    }
}

bool Runtime::takeFailure(Failing what) {
    std::lock_guard lock(hooksMutex_);
    unsigned& left = failures_[static_cast<int>(what)];
    if (left == 0) return false;
    --left;
    return true;
}

void Runtime::failNext(Failing what, unsigned count) {
    std::lock_guard lock(hooksMutex_);
    failures_[static_cast<int>(what)] = count;
}

}  // namespace plat
