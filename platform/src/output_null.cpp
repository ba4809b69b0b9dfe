#include <atomic>
#include <chrono>
#include <thread>

#include "mixer.h"
#include "output.h"

namespace plat {

namespace {

class NullOutput final : public Output {
public:
    explicit NullOutput(Mixer& mixer) : mixer_(mixer), thread_([this] { run(); }) {}
    ~NullOutput() override { stop(); }
    void stop() override {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

private:
    void run() {
        using clock = std::chrono::steady_clock;
        const auto start = clock::now();
        uint64_t blocks = 0;
        while (running_) {
            mixer_.mixBlock();
            ++blocks;
            // Deadlines count from the start, so sleeping late never accumulates drift.
            auto due = start + std::chrono::nanoseconds(blocks * Mixer::kBlockFrames * 1'000'000'000ull /
                                                        mixer_.outputRate());
            std::this_thread::sleep_until(due);
        }
    }

    Mixer& mixer_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

}  // namespace

std::unique_ptr<Output> startNullOutput(Mixer& mixer) { return std::make_unique<NullOutput>(mixer); }

}  // namespace plat
