// Scale-factor tables of both standards and the joint-stereo reconstruction.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "codec/layer3_stereo.h"
#include "codec/layer3_tables.h"

namespace mpa::test {
namespace {

using l3::BandTable;
using l3::kBandTables;

TEST(Layer3Tables, BandBoundariesRiseToTheEndOfTheSpectrumAtEveryRate) {
    for (int r = 0; r < 9; ++r) {
        SCOPED_TRACE(r);
        const BandTable& b = kBandTables[r];
        EXPECT_EQ(b.long_bounds[0], 0);
        EXPECT_EQ(b.long_bounds[22], 576);
        EXPECT_EQ(b.short_bounds[0], 0);
        EXPECT_EQ(b.short_bounds[13], 192);
        for (int i = 0; i < 22; ++i) EXPECT_LT(b.long_bounds[i], b.long_bounds[i + 1]);
        for (int i = 0; i < 13; ++i) EXPECT_LT(b.short_bounds[i], b.short_bounds[i + 1]);
        // Every band is an even number of lines wide: Huffman pairs never straddle two bands.
        for (int i = 0; i < 22; ++i) EXPECT_EQ(b.long_bounds[i] % 2, 0);
        for (int i = 0; i < 13; ++i) EXPECT_EQ(b.short_bounds[i] % 2, 0);
    }
    // MPEG 2.5 at 11.025 and 12 kHz shares the 16 kHz rows; 8 kHz has its own.
    EXPECT_EQ(std::memcmp(&kBandTables[6], &kBandTables[2], sizeof(BandTable)), 0);
    EXPECT_EQ(std::memcmp(&kBandTables[7], &kBandTables[2], sizeof(BandTable)), 0);
    EXPECT_EQ(kBandTables[8].long_bounds[17], 566);
    EXPECT_EQ(kBandTables[8].short_bounds[9], 160);
}

TEST(Layer3Tables, LsfScaleFactorLayoutsCoverEveryBandAndInvertToTheirCode) {
    for (bool intensity : {false, true}) {
        for (unsigned sfc = 0; sfc < 512; ++sfc) {
            SCOPED_TRACE(testing::Message() << "sfc " << sfc << " intensity " << intensity);
            const auto lng = l3::lsf_scale_layout(sfc, intensity, l3::kLongBlocks);
            const auto sht = l3::lsf_scale_layout(sfc, intensity, l3::kShortBlocks);
            const auto mix = l3::lsf_scale_layout(sfc, intensity, l3::kMixedBlocks);
            EXPECT_EQ(lng.count[0] + lng.count[1] + lng.count[2] + lng.count[3], 21);
            EXPECT_EQ(sht.count[0] + sht.count[1] + sht.count[2] + sht.count[3], 36);
            EXPECT_EQ(mix.count[0] + mix.count[1] + mix.count[2] + mix.count[3], 33);
            for (int g = 0; g < 4; ++g) EXPECT_EQ(sht.count[g] % 3, 0);
            const uint8_t* s = lng.slen;
            // Rebuild the code from the widths by the inverse of each range's formula.
            unsigned rebuilt = 0;
            if (!intensity) {
                EXPECT_EQ(lng.preflag, sfc >= 500);
                if (sfc < 400)
                    rebuilt = ((s[0] * 5u + s[1]) << 4) + (s[2] << 2) + s[3];
                else if (sfc < 500)
                    rebuilt = 400 + (((s[0] * 5u + s[1]) << 2) + s[2]);
                else
                    rebuilt = 500 + s[0] * 3u + s[1];
            } else {
                const unsigned isc = sfc >> 1;
                EXPECT_FALSE(lng.preflag);
                if (isc < 180)
                    rebuilt = 2 * (s[0] * 36u + s[1] * 6u + s[2]) + (sfc & 1);
                else if (isc < 244)
                    rebuilt = 2 * (180 + (s[0] << 4) + (s[1] << 2) + s[2]) + (sfc & 1);
                else
                    rebuilt = 2 * (244 + s[0] * 3u + s[1]) + (sfc & 1);
            }
            EXPECT_EQ(rebuilt, sfc);
        }
    }
}

TEST(Layer3Tables, RequantisationTables) {
    const l3::RequantTables& t = l3::requant_tables();
    EXPECT_EQ(t.pow43[0], 0.0f);
    EXPECT_EQ(t.pow43[1], 1.0f);
    EXPECT_EQ(t.pow43[8], 16.0f);
    EXPECT_FLOAT_EQ(t.pow43[8206], static_cast<float>(std::pow(8206.0, 4.0 / 3.0)));
    EXPECT_EQ(t.gain[210 + l3::RequantTables::kGainBias], 1.0f);
    EXPECT_EQ(t.gain[214 + l3::RequantTables::kGainBias], 2.0f);
    EXPECT_EQ(t.gain[206 + l3::RequantTables::kGainBias], 0.5f);
}

// Joint stereo on a 44.1 kHz long-block granule.
struct StereoCase {
    float left[576];
    float right[576];
    l3::IntensityPositions pos{};
};

void fill(StereoCase& c, int right_lines) {
    for (int i = 0; i < 576; ++i) {
        c.left[i] = 1.0f + static_cast<float>(i % 7);
        c.right[i] = i < right_lines ? 0.5f : 0.0f;
    }
}

TEST(Layer3Stereo, MidSideGivesSumAndDifference) {
    StereoCase c;
    fill(c, 576);
    const l3::JointStereo js{true, false, false, 0, l3::BlockLayout::kLong};
    l3::joint_stereo(c.left, c.right, js, c.pos, kBandTables[3]);
    for (int i = 0; i < 576; ++i) {
        const float m = 1.0f + static_cast<float>(i % 7);
        ASSERT_EQ(c.left[i], m + 0.5f);
        ASSERT_EQ(c.right[i], m - 0.5f);
    }
}

TEST(Layer3Stereo, Mpeg1IntensityStartsAboveTheRightChannelsLastNonzeroBand) {
    const BandTable& b = kBandTables[3];
    StereoCase c;
    fill(c, b.long_bounds[10] - 3);  // right ends inside band 9
    for (int i = 0; i < 22; ++i) {
        c.pos.long_pos[i] = static_cast<uint8_t>(i % 8);  // 7 is not a position
        c.pos.long_limit[i] = 7;
    }
    StereoCase orig = c;
    const l3::JointStereo js{false, true, false, 0, l3::BlockLayout::kLong};
    l3::joint_stereo(c.left, c.right, js, c.pos, b);
    for (int band = 0; band < 22; ++band) {
        // Band 21 has no factor of its own and reuses band 20's position.
        const int p = band < 21 ? band % 8 : 20 % 8;
        for (int i = b.long_bounds[band]; i < b.long_bounds[band + 1]; ++i) {
            if (band < 10 || p == 7) {
                ASSERT_EQ(c.left[i], orig.left[i]) << i;
                ASSERT_EQ(c.right[i], orig.right[i]) << i;
                continue;
            }
            const double ratio = std::tan(p * std::numbers::pi / 12);
            ASSERT_NEAR(c.left[i], orig.left[i] * ratio / (1 + ratio), 1e-5) << i;
            ASSERT_NEAR(c.right[i], orig.left[i] / (1 + ratio), 1e-5) << i;
        }
    }
}

TEST(Layer3Stereo, LsfIntensityPositionsAndTheLastBand) {
    const BandTable& b = kBandTables[0];  // 22.05 kHz
    for (int scale = 0; scale < 2; ++scale) {
        SCOPED_TRACE(scale);
        const double k = scale ? std::sqrt(0.5) : std::exp2(-0.25);
        const l3::JointStereo js{false, true, true, scale, l3::BlockLayout::kLong};
        {
            StereoCase c;
            fill(c, b.long_bounds[19]);  // intensity from band 19
            c.pos.long_pos[19] = 3;      // odd: left scaled by k^2, right = transmitted
            c.pos.long_pos[20] = 4;      // even: right scaled by k^2
            c.pos.long_limit[19] = 7;
            c.pos.long_limit[20] = 7;
            StereoCase orig = c;
            l3::joint_stereo(c.left, c.right, js, c.pos, b);
            for (int i = b.long_bounds[19]; i < b.long_bounds[20]; ++i) {
                ASSERT_NEAR(c.left[i], orig.left[i] * k * k, 1e-5);
                ASSERT_EQ(c.right[i], orig.left[i]);
            }
            // Band 20 and band 21, which follows it.
            for (int i = b.long_bounds[20]; i < 576; ++i) {
                ASSERT_EQ(c.left[i], orig.left[i]);
                ASSERT_NEAR(c.right[i], orig.left[i] * k * k, 1e-5);
            }
            // The largest value of the band's width is no position: the band stays as it is.
            c = orig;
            c.pos.long_pos[20] = 7;
            l3::joint_stereo(c.left, c.right, js, c.pos, b);
            for (int i = b.long_bounds[20]; i < 576; ++i) {
                ASSERT_EQ(c.left[i], orig.left[i]);
                ASSERT_EQ(c.right[i], 0.0f);
            }
        }
        {
            // Only the last band is intensity coded: it has no position and takes 0 (left = right).
            StereoCase c;
            fill(c, b.long_bounds[21]);
            c.pos.long_pos[20] = 3;
            c.pos.long_limit[20] = 7;
            StereoCase orig = c;
            l3::joint_stereo(c.left, c.right, js, c.pos, b);
            for (int i = b.long_bounds[21]; i < 576; ++i) {
                ASSERT_EQ(c.left[i], orig.left[i]);
                ASSERT_EQ(c.right[i], orig.left[i]);
            }
        }
    }
}

TEST(Layer3Stereo, IntensityWithMidSideUndoesTheFoldedScaling) {
    const BandTable& b = kBandTables[3];
    StereoCase c;
    fill(c, b.long_bounds[20]);
    c.pos.long_pos[20] = 6;  // everything to the left
    c.pos.long_limit[20] = 7;
    for (int i = b.long_bounds[20]; i < 576; ++i) c.left[i] = static_cast<float>(std::sqrt(0.5));
    const l3::JointStereo js{true, true, false, 0, l3::BlockLayout::kLong};
    l3::joint_stereo(c.left, c.right, js, c.pos, b);
    EXPECT_NEAR(c.left[575], 1.0f, 1e-6);
    EXPECT_NEAR(c.right[575], 0.0f, 1e-6);
    EXPECT_EQ(c.left[0], 1.5f);  // below the bound: mid/side
    EXPECT_EQ(c.right[0], 0.5f);
}

}  // namespace
}  // namespace mpa::test
