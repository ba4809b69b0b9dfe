// Shared set-up of the tracker tests: the platform runtime on a virtual clock (or the
// real one) with the null output, a capture of everything mixed, module files in a
// folder of the test's own, and the tracker library brought down after each test.
#pragma once

#include "module_writer.h"
#include "tracker_capture.h"
#include "tracker.h"

#include <plat/a5platform.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

namespace orvox::tracker::test {

class TrackerTest : public ::testing::Test {
protected:
    // Each test runs in a process of its own (CTest runs them one by one); a whole
    // binary run shares the first configuration.
    static void configure(bool virtual_) {
        static const bool configured = [virtual_] {
            A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, 44100, 2, virtual_ ? 1 : 0, 0};
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
