#include "codec/synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "codec/synth_window.h"

namespace mpa::test {
namespace {

// The standard's synthesis, written out directly: V history of 1024 values, windowing with
// D x 32768 and summation. Returns the 32 unrounded outputs of each row.
class ReferenceSynthesis {
  public:
    std::vector<double> row(const float* s) {
        for (int i = 1023; i >= 64; --i) v_[i] = v_[i - 64];
        for (int i = 0; i < 64; ++i) {
            double sum = 0.0;
            for (int k = 0; k < 32; ++k)
                sum += std::cos((16 + i) * (2 * k + 1) * std::numbers::pi / 64) * s[k];
            v_[i] = sum;
        }
        std::vector<double> out(32, 0.0);
        for (int j = 0; j < 32; ++j) {
            for (int i = 0; i < 8; ++i) {
                out[j] += v_[128 * i + j] * kSynthesisWindow[64 * i + j] * 32768.0;
                out[j] += v_[128 * i + 96 + j] * kSynthesisWindow[64 * i + 32 + j] * 32768.0;
            }
        }
        return out;
    }

  private:
    std::vector<double> v_ = std::vector<double>(1024, 0.0);
};

double clip(double x) {
    return std::fmin(std::fmax(x, -32768.0), 32767.0);
}

std::vector<float> random_row(std::mt19937& rng, float amplitude) {
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    std::vector<float> row(32);
    for (float& x : row) x = dist(rng);
    return row;
}

TEST(SynthesisWindow, HoldsTheStandardsQuantisedValues) {
    // Every coefficient is a multiple of 2^-16, the scaled window has the known extremes, and
    // the prototype filter (the window with every second block of 64 negated) is smooth and
    // symmetric: a mistyped digit breaks one of these.
    const auto& d = kSynthesisWindow;
    for (int i = 0; i < 512; ++i) {
        const double q = d[i] * 65536.0;
        EXPECT_NEAR(q, std::round(q), 2e-3) << i;
    }
    EXPECT_NEAR(d[256] * 32768.0, 37519.0, 1e-3);
    EXPECT_NEAR(std::fabs(d[32]) * 32768.0, 14.5, 1e-3);
    auto h = [&](int i) { return (i / 64 % 2 == 0 ? 1 : -1) * d[i] * 65536.0; };
    for (int i = 1; i < 511; ++i) {
        EXPECT_LT(std::fabs(h(i - 1) - 2 * h(i) + h(i + 1)), 100.0) << i;
        EXPECT_NEAR(h(i), h(512 - i), 1e-6) << i;
    }
}

// The portable and the AVX2 build of the filterbank, each checked against the standard's form.
class SynthesisBuild : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        SynthChannel probe;
        int16_t sink[32];
        probe.out = sink;
        const float zeros[32] = {};
        if (GetParam() && !synth_row_wide(probe, zeros)) GTEST_SKIP() << "no AVX2 build on this CPU";
    }
    void run(SynthChannel& ch, const float* row) const {
        if (GetParam()) {
            synth_row_wide(ch, row);
        } else {
            synth_row_portable(ch, row);
        }
    }
};

TEST_P(SynthesisBuild, MatchesTheStandardFilterbankAtFullRate) {
    std::mt19937 rng(11);
    ReferenceSynthesis ref;
    SynthChannel ch;
    std::vector<int16_t> out(32 * 64);
    ch.out = out.data();
    int off_by_one = 0;
    std::vector<std::vector<double>> expected;
    for (int r = 0; r < 64; ++r) {
        const auto row = random_row(rng, r < 32 ? 0.3f : 0.01f);
        expected.push_back(ref.row(row.data()));
        run(ch, row.data());
    }
    for (int r = 0; r < 64; ++r) {
        for (int j = 0; j < 32; ++j) {
            const double e = clip(std::nearbyint(expected[r][j]));
            const int got = out[32 * r + j];
            ASSERT_LE(std::fabs(got - e), 1.0) << "row " << r << " sample " << j;
            // Only sums within float rounding of a half may round the other way.
            if (got != e) {
                ++off_by_one;
                EXPECT_NEAR(std::fabs(expected[r][j] - std::trunc(expected[r][j])), 0.5, 0.01);
            }
        }
    }
    EXPECT_LT(off_by_one, 8);
}

TEST_P(SynthesisBuild, DownsamplingComputesEverySecondOrFourthSampleTruncated) {
    for (unsigned shift : {1u, 2u}) {
        std::mt19937 rng(5 + shift);
        ReferenceSynthesis ref;
        SynthChannel ch;
        ch.shift = shift;
        std::vector<int16_t> out(32 * 20, 0x7777);
        ch.out = out.data();
        for (int r = 0; r < 20; ++r) {
            const auto row = random_row(rng, 0.2f);
            const auto e = ref.row(row.data());
            run(ch, row.data());
            for (unsigned n = 0; n < (32u >> shift); ++n) {
                const double want = clip(std::trunc(e[n << shift]));
                ASSERT_LE(std::fabs(out[r * (32 >> shift) + n] - want), 1.0) << r << " " << n;
            }
        }
        EXPECT_EQ(ch.out, out.data() + 20 * (32 >> shift));
        EXPECT_EQ(out[20 * (32 >> shift)], 0x7777);  // nothing written beyond
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, SynthesisBuild, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Wide" : "Portable"; });

TEST_P(SynthesisBuild, ClipsSumsOfAnySize) {
    // A constant row in subband 0 settles to a constant output of about amplitude x 32768: in
    // range, beyond 16 bits, and far beyond what an integer conversion could hold.
    for (float amplitude : {0.9f, -0.9f, 4.0f, -4.0f, 1e30f, -1e30f}) {
        SynthChannel ch;
        std::vector<int16_t> out(32 * 20);
        ch.out = out.data();
        std::vector<float> row(32, 0.0f);
        row[0] = amplitude;
        ReferenceSynthesis ref;
        std::vector<double> e;
        for (int r = 0; r < 20; ++r) {
            e = ref.row(row.data());
            run(ch, row.data());
        }
        for (int j = 0; j < 32; ++j) {
            EXPECT_LE(std::fabs(out[32 * 19 + j] - clip(std::nearbyint(e[j]))), 1.0) << amplitude << " " << j;
        }
    }
}

TEST(Synthesis, ClipsInsteadOfWrapping) {
    ReferenceSynthesis ref;
    SynthChannel ch;
    std::vector<int16_t> out(32 * 8);
    ch.out = out.data();
    int clipped = 0;
    for (int r = 0; r < 8; ++r) {
        std::vector<float> row(32, 0.0f);
        row[0] = r % 2 == 0 ? 4.0f : -4.0f;
        row[1] = 3.0f;
        const auto e = ref.row(row.data());
        synth_row(ch, row.data());
        for (int j = 0; j < 32; ++j) {
            if (std::fabs(e[j]) > 32768.0) ++clipped;
            EXPECT_LE(std::fabs(out[32 * r + j] - clip(std::nearbyint(e[j]))), 1.0) << r << " " << j;
        }
    }
    EXPECT_GT(clipped, 10);  // the row really drives the output beyond 16 bits
}

TEST(Synthesis, SilenceAndResetLeaveZeros) {
    SynthChannel ch;
    std::vector<int16_t> out(64, 99);
    ch.out = out.data();
    const std::vector<float> loud(32, 0.5f);
    synth_row(ch, loud.data());
    synth_reset(ch);
    const std::vector<float> zeros(32, 0.0f);
    synth_row(ch, zeros.data());
    for (int j = 32; j < 64; ++j) EXPECT_EQ(out[j], 0) << j;
    std::vector<int16_t> stereo(32, 5);
    ch.out = stereo.data() + 1;
    ch.stride = 2;
    ch.shift = 1;
    synth_silence(ch);
    for (int j = 0; j < 32; ++j) EXPECT_EQ(stereo[j], j % 2 == 1 ? 0 : 5) << j;
}

TEST(Equalizer, StepsMapToGainsAndBack) {
    SynthChannel ch;
    std::vector<int8_t> steps(32);
    for (int i = 0; i < 256; i += 32) {
        for (int k = 0; k < 32; ++k) steps[k] = static_cast<int8_t>(i + k - 128);
        synth_set_gains(ch, steps.data());
        std::vector<int8_t> back(32, 1);
        synth_get_steps(ch, back.data());
        EXPECT_EQ(back, steps);
    }
    steps[0] = -128;
    steps[1] = 127;
    steps[2] = 32;
    steps[3] = -32;
    synth_set_gains(ch, steps.data());
    EXPECT_FLOAT_EQ(ch.gains[0], 0.2f);
    EXPECT_NEAR(ch.gains[1], 4.97, 0.01);
    EXPECT_FLOAT_EQ(ch.gains[2], 2.0f);
    EXPECT_FLOAT_EQ(ch.gains[3], 0.5f);
    synth_set_gains(ch, nullptr);
    std::vector<int8_t> back(32, 1);
    synth_get_steps(ch, back.data());
    EXPECT_EQ(back, std::vector<int8_t>(32, 0));
}

TEST(Equalizer, ScalesEachSubbandBeforeFiltering) {
    std::vector<int8_t> steps(32, 0);
    steps[3] = 32;  // subband 3 doubled
    SynthChannel eq, plain;
    synth_set_gains(eq, steps.data());
    std::vector<int16_t> a(32 * 4), b(32 * 4);
    eq.out = a.data();
    plain.out = b.data();
    std::mt19937 rng(3);
    for (int r = 0; r < 4; ++r) {
        auto row = random_row(rng, 0.1f);
        synth_row(eq, row.data());
        row[3] *= 2.0f;
        synth_row(plain, row.data());
    }
    EXPECT_EQ(a, b);
}

TEST(Synthesis, OutputRowMixesWhenBothOutputsAreOneChannel) {
    std::mt19937 rng(9);
    const auto left = random_row(rng, 0.2f);
    const auto right = random_row(rng, 0.2f);
    std::vector<float> mixed(32);
    for (int k = 0; k < 32; ++k) mixed[k] = (left[k] + right[k]) * 0.5f;
    SynthChannel a, b;
    std::vector<int16_t> via_mix(32), direct(32);
    a.out = via_mix.data();
    b.out = direct.data();
    float scratch[32];
    synth_output_row(&a, &a, left.data(), right.data(), scratch);
    synth_row(b, mixed.data());
    EXPECT_EQ(via_mix, direct);

    // A single-channel stream goes to whichever output exists.
    SynthChannel only;
    std::vector<int16_t> mono(32, 1);
    only.out = mono.data();
    synth_output_row(nullptr, &only, left.data(), nullptr, scratch);
    EXPECT_EQ(only.out, mono.data() + 32);
}

TEST(Synthesis, OutputRowInterleavesStereoLikeTwoSeparateChannels) {
    // Interleaved full-rate stereo takes a combined path; it must equal each channel filtered
    // on its own, over several rows so that the histories stay apart too.
    std::mt19937 rng(4);
    SynthChannel l, r, lone, rone;
    std::vector<int16_t> stereo(64 * 6, 7), left(32 * 6), right(32 * 6);
    l.out = stereo.data();
    r.out = stereo.data() + 1;
    l.stride = r.stride = 2;
    lone.out = left.data();
    rone.out = right.data();
    float scratch[32];
    for (int row = 0; row < 6; ++row) {
        const auto a = random_row(rng, 0.3f);
        const auto b = random_row(rng, row % 2 ? 0.01f : 0.3f);
        synth_output_row(&l, &r, a.data(), b.data(), scratch);
        synth_row(lone, a.data());
        synth_row(rone, b.data());
    }
    EXPECT_EQ(l.out, stereo.data() + 64 * 6);
    EXPECT_EQ(r.out, stereo.data() + 64 * 6 + 1);
    for (int i = 0; i < 32 * 6; ++i) {
        ASSERT_EQ(stereo[2 * i], left[i]) << i;
        ASSERT_EQ(stereo[2 * i + 1], right[i]) << i;
    }
}

TEST(Synthesis, DownsamplingShiftFollowsOptionAndRate) {
    EXPECT_EQ(downsample_shift(0, 44100), 0u);
    EXPECT_EQ(downsample_shift(1, 44100), 1u);
    EXPECT_EQ(downsample_shift(2, 48000), 2u);
    EXPECT_EQ(downsample_shift(2, 32000), 2u);
    EXPECT_EQ(downsample_shift(1, 22050), 0u);
    EXPECT_EQ(downsample_shift(2, 22050), 1u);
    EXPECT_EQ(downsample_shift(2, 16000), 1u);
    EXPECT_EQ(downsample_shift(2, 11025), 0u);
    EXPECT_EQ(downsample_shift(1, 11025), 0u);
}

}  // namespace
}  // namespace mpa::test
