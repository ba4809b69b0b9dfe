// The mixer's inner loops, both builds (the baseline one and, where the CPU has it, the
// AVX2 one), against plain arithmetic: every sample type and channel count, runs of every
// length around the vector widths, rate conversion, rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "buffer_format.h"
#include "mix_kernels.h"
#include "resampler.h"

namespace {

using plat::MixKernels;
using plat::SampleType;

class MixKernelsTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        kernels = GetParam() ? plat::wideMixKernels() : &plat::portableMixKernels();
        if (!kernels) GTEST_SKIP() << "no AVX2 build on this CPU";
    }
    const MixKernels* kernels = nullptr;
};

// Sample bytes of every kind, with the edge values of each type among random ones.
std::vector<uint8_t> sampleBytes(SampleType type, size_t samples, std::mt19937& rng) {
    const size_t width = type == SampleType::U8 ? 1 : type == SampleType::S16 ? 2 : type == SampleType::S24 ? 3 : 4;
    std::vector<uint8_t> bytes(samples * width);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    if (type == SampleType::F32) {
        const float specials[] = {1.0f, -1.0f, 1.5f, -7.0f, NAN, INFINITY, 0.25f, -0.0f};
        for (size_t i = 0; i < samples; ++i) {
            float v = i % 3 == 0 ? specials[(i / 3) % 8] : float(int32_t(rng() % 20001) - 10000) / 10000.0f;
            std::memcpy(&bytes[4 * i], &v, 4);
        }
    } else if (samples > 1) {
        std::memset(&bytes[0], 0x00, width);  // smallest for U8, zero otherwise
        std::memset(&bytes[width], 0xFF, width);
        bytes[2 * width - 1] = type == SampleType::U8 ? 0xFF : 0x7F;  // largest
    }
    return bytes;
}

TEST_P(MixKernelsTest, AddFramesGivesEachSampleValueTimesItsSideGain) {
    std::mt19937 rng(3);
    for (SampleType type : {SampleType::U8, SampleType::S16, SampleType::S24, SampleType::S32, SampleType::F32}) {
        for (uint32_t channels : {1u, 2u}) {
            for (uint32_t frames : {1u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 40u, 253u}) {
                const auto bytes = sampleBytes(type, size_t(frames) * channels, rng);
                const float gl = 0.7071f, gr = 0.031f;
                std::vector<float> left(frames), right(frames);
                for (uint32_t i = 0; i < frames; ++i) left[i] = right[i] = float(int(rng() % 2001) - 1000);
                std::vector<float> wantLeft = left, wantRight = right;
                const size_t width = bytes.size() / (size_t(frames) * channels);
                for (uint32_t i = 0; i < frames; ++i) {
                    const uint8_t* p = &bytes[size_t(i) * channels * width];
                    wantLeft[i] += plat::sampleValue(type, p) * gl;
                    wantRight[i] += plat::sampleValue(type, p + (channels - 1) * width) * gr;
                }
                kernels->addFrames(bytes.data(), type, channels, frames, gl, gr, left.data(), right.data());
                const std::string what = "type " + std::to_string(int(type)) + ", " + std::to_string(channels) +
                                         " channels, " + std::to_string(frames) + " frames, frame ";
                for (uint32_t i = 0; i < frames; ++i) {
                    // The AVX2 build fuses the multiply and the add: one rounding fewer.
                    ASSERT_NEAR(left[i], wantLeft[i], 1e-6f * std::abs(wantLeft[i]) + 1e-3f) << what << i;
                    ASSERT_NEAR(right[i], wantRight[i], 1e-6f * std::abs(wantRight[i]) + 1e-3f) << what << i;
                }
            }
        }
    }
}

// The direct form, in double precision: out(n) = sum_k h_phase(n)[k] x[start(n) + k].
TEST_P(MixKernelsTest, ResampleIsThePolyphaseFilterOnEachSide) {
    std::mt19937 rng(5);
    struct Rates {
        uint32_t in, out;
    } cases[] = {{44100, 48000}, {22050, 48000}, {8000, 44100}, {48000, 22050}, {44100, 47999}};
    for (const Rates& r : cases) {
        const auto filter = plat::sincFilterFor(r.in, r.out);
        const plat::SincFilter& f = *filter;
        for (uint32_t frames : {1u, 2u, 5u, 256u}) {
            for (bool stereoOut : {true, false}) {
                const uint32_t startPhase = uint32_t(rng() % f.up);
                const size_t inputFrames = f.taps + (uint64_t(startPhase) + uint64_t(frames) * f.down) / f.up + f.taps;
                std::vector<float> left(inputFrames), right(inputFrames);
                for (size_t i = 0; i < inputFrames; ++i) {
                    left[i] = float(int(rng() % 60001) - 30000);
                    right[i] = float(int(rng() % 60001) - 30000);
                }
                std::vector<float> outLeft(frames, 1.0f), outRight(frames, -1.0f);
                const uint32_t end = kernels->resample(f, left.data(), right.data(), startPhase, frames, outLeft.data(),
                                                       stereoOut ? outRight.data() : nullptr);
                uint64_t position = startPhase;  // in 1/up input frames
                for (uint32_t n = 0; n < frames; ++n, position += f.down) {
                    const uint32_t phase = uint32_t(position % f.up);
                    const size_t start = f.taps + position / f.up - f.before();
                    const uint32_t row = f.phases == f.up ? phase : uint32_t(uint64_t(phase) * f.phases / f.up);
                    double l = 0, rr = 0, magnitude = 0;
                    for (uint32_t k = 0; k < f.taps; ++k) {
                        const double h = f.coefficients[size_t(row) * f.taps + k];
                        l += h * left[start + k];
                        rr += h * right[start + k];
                        magnitude += std::abs(h) * (std::abs(left[start + k]) + std::abs(right[start + k]));
                    }
                    const double tolerance = 1e-5 * magnitude + 1e-2;  // float sums
                    const std::string what =
                        std::to_string(r.in) + " to " + std::to_string(r.out) + ", output " + std::to_string(n);
                    if (stereoOut) {
                        ASSERT_NEAR(outLeft[n], 1.0 + l, tolerance) << what;
                        ASSERT_NEAR(outRight[n], -1.0 + rr, tolerance) << what;
                    } else {
                        ASSERT_NEAR(outLeft[n], 1.0 + 0.5 * (l + rr), tolerance) << what;
                    }
                }
                EXPECT_EQ(end, position % f.up);
            }
        }
    }
}

TEST_P(MixKernelsTest, ToInt16RoundsHalvesToEvenAndClips) {
    std::vector<float> in = {0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.5f, 0.49999997f, 32766.5f, 32767.5f, 40000.0f,
                             -32768.5f, -1e9f, 1e9f, -0.0f, 12345.25f, -12345.75f, 7.0f};
    std::mt19937 rng(9);
    for (int i = 0; i < 100; ++i) in.push_back(float(int32_t(rng() % 140001) - 70000) / 2.0f);
    std::vector<int16_t> out(in.size());
    kernels->toInt16(in.data(), out.data(), uint32_t(in.size()));
    for (size_t i = 0; i < in.size(); ++i) {
        const float want = std::fmin(std::fmax(std::nearbyint(in[i]), -32768.0f), 32767.0f);
        ASSERT_EQ(out[i], int16_t(want)) << in[i];
    }
}

TEST_P(MixKernelsTest, InterleaveMakesLeftRightPairs) {
    for (uint32_t frames : {1u, 8u, 13u, 256u}) {
        std::vector<float> left(frames), right(frames), out(2 * frames);
        for (uint32_t i = 0; i < frames; ++i) {
            left[i] = float(i);
            right[i] = -float(i) - 0.5f;
        }
        kernels->interleave(left.data(), right.data(), out.data(), frames);
        for (uint32_t i = 0; i < frames; ++i) {
            ASSERT_EQ(out[2 * i], left[i]);
            ASSERT_EQ(out[2 * i + 1], right[i]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, MixKernelsTest, ::testing::Values(false, true),
                         [](const auto& build) { return build.param ? std::string("avx2") : std::string("portable"); });

}  // namespace
