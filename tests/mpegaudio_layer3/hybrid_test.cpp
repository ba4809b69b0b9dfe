// The hybrid filterbank against the textbook form of ISO/IEC 11172-3: alias butterflies in
// natural order, the 36- and 12-point IMDCT sums, the four windows, overlap-add and frequency
// inversion, in double precision.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>

#include "codec/layer3_hybrid.h"

namespace mpa::test {
namespace {

using l3::BlockLayout;
using l3::HybridBlock;

constexpr double kPi = std::numbers::pi;

double long_window(int type, int i) {
    const double normal = std::sin(kPi / 36 * (i + 0.5));
    switch (type) {
        case 1:
            return i < 18 ? normal : i < 24 ? 1.0 : i < 30 ? std::sin(kPi / 12 * (i - 18 + 0.5)) : 0.0;
        case 3:
            return i < 6 ? 0.0 : i < 12 ? std::sin(kPi / 12 * (i - 6 + 0.5)) : i < 18 ? 1.0 : normal;
        default:
            return normal;
    }
}

struct Reference {
    double overlap[32][18] = {};

    void granule(const float* spectrum, const HybridBlock& b, double (&out)[18][32]) {
        double xr[576];
        for (int i = 0; i < 576; ++i) xr[i] = spectrum[i];
        static constexpr double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
        const int boundaries = b.layout == BlockLayout::kLong ? 31 : b.layout == BlockLayout::kMixed ? 1 : 0;
        for (int sb = 1; sb <= boundaries; ++sb) {
            for (int i = 0; i < 8; ++i) {
                const double cs = 1 / std::sqrt(1 + c[i] * c[i]);
                const double ca = c[i] * cs;
                const double lo = xr[18 * sb - 1 - i];
                const double hi = xr[18 * sb + i];
                xr[18 * sb - 1 - i] = lo * cs - hi * ca;
                xr[18 * sb + i] = hi * cs + lo * ca;
            }
        }
        for (int sb = 0; sb < 32; ++sb) {
            const double* X = xr + 18 * sb;
            double z[36] = {};
            const bool is_long = b.layout == BlockLayout::kLong || (b.mixed && sb < 2);
            if (is_long) {
                const int type = b.mixed && sb < 2 ? 0 : b.block_type;
                for (int i = 0; i < 36; ++i) {
                    double x = 0;
                    for (int k = 0; k < 18; ++k) x += X[k] * std::cos(kPi / 72 * (2 * i + 19) * (2 * k + 1));
                    z[i] = x * long_window(type, i);
                }
            } else {
                for (int w = 0; w < 3; ++w) {
                    for (int i = 0; i < 12; ++i) {
                        double x = 0;
                        for (int k = 0; k < 6; ++k)
                            x += X[3 * k + w] * std::cos(kPi / 24 * (2 * i + 7) * (2 * k + 1));
                        z[6 + 6 * w + i] += x * std::sin(kPi / 12 * (i + 0.5));
                    }
                }
            }
            for (int t = 0; t < 18; ++t) {
                const double v = z[t] + overlap[sb][t];
                out[t][sb] = (sb & 1) && (t & 1) ? -v : v;
                overlap[sb][t] = z[18 + t];
            }
        }
    }
};

// The portable and the AVX2/FMA builds of the transform, each held to the direct form.
enum class Build { kPortable, kWide };

class Layer3Hybrid : public testing::TestWithParam<Build> {
  protected:
    void SetUp() override {
        if (GetParam() == Build::kWide) {
            float xr[576] = {};
            float ov[18][32] = {};
            float out[18][32];
            if (!l3::hybrid_granule_wide(xr, {BlockLayout::kLong, 0, false, 32}, ov, out)) {
                GTEST_SKIP() << "no AVX2/FMA build on this CPU";
            }
        }
    }
    void run(float* xr, const HybridBlock& b, float (&ov)[18][32], float (&out)[18][32]) const {
        if (GetParam() == Build::kWide) {
            l3::hybrid_granule_wide(xr, b, ov, out);
        } else {
            l3::hybrid_granule_portable(xr, b, ov, out);
        }
    }
};

void random_spectrum(std::mt19937& rng, float* xr, int nonzero_lines) {
    std::uniform_real_distribution<float> d(-4.0f, 4.0f);
    for (int i = 0; i < 576; ++i) xr[i] = i < nonzero_lines ? d(rng) : 0.0f;
}

TEST_P(Layer3Hybrid, MatchesTheDirectFormForEveryBlockLayoutAcrossGranules) {
    std::mt19937 rng(7);
    const HybridBlock sequence[] = {{BlockLayout::kLong, 0, false, 32},  {BlockLayout::kLong, 1, false, 32},
                                    {BlockLayout::kShort, 2, false, 32}, {BlockLayout::kShort, 2, false, 32},
                                    {BlockLayout::kLong, 3, false, 32},  {BlockLayout::kMixed, 2, true, 32},
                                    {BlockLayout::kLong, 1, true, 32},   {BlockLayout::kMixed, 2, true, 32},
                                    {BlockLayout::kLong, 3, true, 32},   {BlockLayout::kLong, 0, false, 32}};
    Reference ref;
    float overlap[18][32] = {};
    float out[18][32];
    for (const HybridBlock& b : sequence) {
        SCOPED_TRACE(testing::Message() << "block type " << b.block_type << " mixed " << b.mixed);
        float xr[576];
        random_spectrum(rng, xr, 576);
        double expected[18][32];
        ref.granule(xr, b, expected);
        run(xr, b, overlap, out);
        for (int t = 0; t < 18; ++t) {
            for (int sb = 0; sb < 32; ++sb) {
                ASSERT_NEAR(out[t][sb], expected[t][sb], 2e-4) << "slot " << t << " subband " << sb;
            }
        }
    }
}

TEST_P(Layer3Hybrid, SubbandsAboveTheLimitPassTheirOverlapOnAndFallSilent) {
    std::mt19937 rng(11);
    Reference ref;
    float overlap[18][32] = {};
    float out[18][32];
    double expected[18][32];
    float xr[576];
    // A full granule fills every overlap; then only subbands 0-9 carry lines, and 11 are
    // transformed (the alias butterflies reach subband 10).
    random_spectrum(rng, xr, 576);
    ref.granule(xr, {BlockLayout::kLong, 0, false, 32}, expected);
    run(xr, {BlockLayout::kLong, 0, false, 32}, overlap, out);
    for (int round = 0; round < 2; ++round) {
        random_spectrum(rng, xr, 18 * 10);
        ref.granule(xr, {BlockLayout::kLong, 0, false, 32}, expected);
        run(xr, {BlockLayout::kLong, 0, false, 11}, overlap, out);
        for (int t = 0; t < 18; ++t) {
            for (int sb = 0; sb < 32; ++sb)
                ASSERT_NEAR(out[t][sb], expected[t][sb], 2e-4) << "slot " << t << " subband " << sb;
        }
        for (int t = 0; t < 18; ++t) {
            for (int sb = 11; sb < 32; ++sb) ASSERT_EQ(overlap[t][sb], 0.0f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, Layer3Hybrid, testing::Values(Build::kPortable, Build::kWide),
                         [](const testing::TestParamInfo<Build>& i) {
                             return std::string(i.param == Build::kWide ? "Wide" : "Portable");
                         });

}  // namespace
}  // namespace mpa::test
