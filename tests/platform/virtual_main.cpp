// Test main for the platform tests that run under the virtual clock: 44.1 kHz stereo,
// null output, so every test drives time itself and captures what the mixer produced.
#include <gtest/gtest.h>

#include <plat/a5platform.h>

#include "openal_pinned.h"

int main(int argc, char** argv) {
    pinOpenAl();
    ::testing::InitGoogleTest(&argc, argv);
    A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, 44100, 2, 1, 0};
    if (a5p_configure(&config) != 0) return 2;
    int result = RUN_ALL_TESTS();
    a5p_shutdown();
    return result;
}
