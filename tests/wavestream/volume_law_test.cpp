#include "volume_law.h"

#include <gtest/gtest.h>

using namespace wavestream;

namespace {

TEST(VolumeLaw, PercentagesMapToAttenuationsAndBack) {
    struct Row {
        double percent;
        LONG attenuation;
        int readBack;
    } rows[] = {
        {0, -10000, 0},   {0.5, -10000, 0}, {1, -10000, 0},  {1 + 1.0 / 1024, -6643, 1},
        {2, -5644, 2},    {10, -3322, 10},  {25, -2000, 25}, {50, -1000, 50},
        {75, -416, 75},   {99, -15, 99},    {100, 0, 100},   {150, 0, 100},
        {-20, -10000, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(attenuationFromPercent(row.percent), row.attenuation) << row.percent;
        EXPECT_EQ(percentFromAttenuation(row.attenuation), row.readBack) << row.percent;
    }
}

TEST(VolumeLaw, ReadingRoundsAndTreatsEverythingBelowMinus9999AsSilence) {
    EXPECT_EQ(percentFromAttenuation(-9999), 0);  // 100 * 2^-9.999 = 0.1: rounds to 0
    EXPECT_EQ(percentFromAttenuation(-20000), 0);
    EXPECT_EQ(percentFromAttenuation(500), 141);  // a buffer may report above full
    // Every whole percentage from 2 up survives the round trip.
    for (int p = 2; p <= 100; ++p) EXPECT_EQ(percentFromAttenuation(attenuationFromPercent(p)), p) << p;
}

}  // namespace
