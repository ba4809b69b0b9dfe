// Shared set-up of the tracker tests: the platform runtime on a virtual clock (or the
// real one) with the null output, a capture of everything mixed, module files in a
// folder of the test's own, and the tracker library brought down after each test.
#pragma once

#include "module_writer.h"
#include "tracker.h"

#include <plat/a5platform.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace orvox::tracker::test {

using Samples = std::vector<std::int16_t>;

// Everything the platform mixes, as interleaved stereo samples.
class Capture {
public:
    Capture() { a5p_set_capture(&Capture::receive, this); }
    ~Capture() { a5p_set_capture(nullptr, nullptr); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    Samples take() {
        std::lock_guard guard(lock_);
        return std::exchange(samples_, {});
    }

private:
    static void receive(void* user, const std::int16_t* samples, std::size_t frames, unsigned channels) {
        auto* self = static_cast<Capture*>(user);
        std::lock_guard guard(self->lock_);
        self->samples_.insert(self->samples_.end(), samples, samples + frames * channels);
    }

    std::mutex lock_;
    Samples samples_;
};

inline int peak(const Samples& samples) {
    int result = 0;
    for (std::int16_t s : samples) result = std::max(result, s < 0 ? -int{s} : int{s});
    return result;
}

inline bool audible(const Samples& samples) { return peak(samples) > 500; }

// The samples from the first non-zero one on.
inline Samples fromFirstSound(const Samples& samples) {
    std::size_t first = 0;
    while (first < samples.size() && samples[first] == 0) ++first;
    first -= first % 2;  // keep whole frames
    return Samples(samples.begin() + static_cast<std::ptrdiff_t>(first), samples.end());
}

inline void advanceMs(std::uint64_t ms) { a5p_advance_ns(ms * 1'000'000); }

class TrackerTest : public ::testing::Test {
protected:
    // Each test runs in a process of its own (CTest runs them one by one); a whole
    // binary run shares the first configuration.
    static void configure(bool virtual_) {
        static const bool configured = [virtual_] {
            A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, 44100, 2, virtual_ ? 1 : 0};
            return a5p_configure(&config) == 0;
        }();
        ASSERT_TRUE(configured);
    }

    // The real clock lets the refill and fade timers run beside the test's own thread.
    virtual bool virtualClock() const { return true; }

    void SetUp() override {
        configure(virtualClock());
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("orvox_tracker_" + std::to_string(::getpid()) + "_" + info->name());
        std::filesystem::create_directories(dir_);
    }

    void TearDown() override {
        stop();
        setHighQuality(false);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string file(const std::string& name, const Bytes& bytes) const {
        const auto path = dir_ / name;
        writeFile(path, bytes);
        return path.string();
    }

    // Brings the library up and starts `path`, as a tracker play does.
    static bool play(const std::string& path) {
        bringUp();
        return loadAndStart(path.c_str());
    }

    std::filesystem::path dir_;
};

}  // namespace orvox::tracker::test
