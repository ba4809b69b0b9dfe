// The player tests run under the virtual clock at 44.1 kHz stereo with the null output:
// each test drives time itself and compares what the mixer produced.
#include <gtest/gtest.h>

#include <plat/a5platform.h>

#include "openal_pinned.h"

int main(int argc, char** argv) {
    pinOpenAl();
    ::testing::InitGoogleTest(&argc, argv);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, 44100, 2, 1, 0};
    if (a5p_configure(&config) != 0) return 2;
    const int result = RUN_ALL_TESTS();
    a5p_shutdown();
    return result;
}
