#include "resampler.h"

#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <numeric>

namespace plat {

namespace {

constexpr double kBeta = 7.0;         // Kaiser window shape: ~70 dB stopband
constexpr double kPassband = 0.8;     // cut-off as a share of the lower Nyquist frequency
constexpr uint32_t kBaseTaps = 32;    // taps per phase when converting upwards

double besselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return sum;
}

std::shared_ptr<const SincFilter> build(uint32_t inRate, uint32_t outRate) {
    auto f = std::make_shared<SincFilter>();
    uint32_t g = std::gcd(inRate, outRate);
    f->up = outRate / g;
    f->down = inRate / g;
    f->phases = std::min(f->up, kMaxPhases);
    // Downward conversion needs a longer filter, in input frames, for the same transition.
    double scale = std::min(1.0, double(outRate) / inRate);
    uint32_t taps = static_cast<uint32_t>(std::ceil(kBaseTaps / scale));
    f->taps = std::min<uint32_t>((taps + 15) / 16 * 16, 512);
    // Ideal cut-off halfway between the passband edge and the lower Nyquist frequency.
    const double cutoff = 0.25 * (1 + kPassband) * scale;  // cycles per input frame
    const double half = f->taps / 2.0;
    const double i0Beta = besselI0(kBeta);
    std::vector<double> row(f->taps);
    f->coefficients.resize(size_t(f->phases) * f->taps * 2);
    for (uint32_t p = 0; p < f->phases; ++p) {
        double frac = double(p) / f->phases;  // position of the output between input frames
        double sum = 0;
        for (uint32_t k = 0; k < f->taps; ++k) {
            // distance from the output position to input frame floor(p) - before + k
            double t = double(k) - f->before() - frac;
            double x = 2 * cutoff * t;
            double sinc = x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
            double w = t / half;
            double window = std::abs(w) >= 1 ? 0.0 : besselI0(kBeta * std::sqrt(1 - w * w)) / i0Beta;
            double h = 2 * cutoff * sinc * window;
            row[k] = h;
            sum += h;
        }
        // Unity gain at DC for every phase, so levels stay exact and no ripple comes from phase steps.
        float* out = &f->coefficients[size_t(p) * f->taps * 2];
        for (uint32_t k = 0; k < f->taps; ++k) out[2 * k] = out[2 * k + 1] = static_cast<float>(row[k] / sum);
    }
    return f;
}

// GCC/Clang vector extension: the compiler picks the instructions for each target clone.
using V8 = float __attribute__((vector_size(32)));

}  // namespace

std::shared_ptr<const SincFilter> sincFilterFor(uint32_t inRate, uint32_t outRate) {
    static std::mutex mutex;
    static std::map<std::pair<uint32_t, uint32_t>, std::shared_ptr<const SincFilter>> cache;
    uint32_t g = std::gcd(inRate, outRate);
    auto key = std::make_pair(inRate / g, outRate / g);
    std::lock_guard lock(mutex);
    auto& slot = cache[key];
    if (!slot) slot = build(inRate, outRate);
    return slot;
}

__attribute__((target_clones("avx512f", "avx2", "default")))
uint32_t resampleBlock(const SincFilter& f, const float* input, uint32_t phase, uint32_t frames, float gainLeft,
                       float gainRight, float* acc, uint32_t outChannels) {
    const uint32_t width = f.taps * 2;
    const uint32_t wholeStep = f.down / f.up, fracStep = f.down % f.up;
    uint32_t index = 0;  // input frames consumed before the current output
    for (uint32_t i = 0; i < frames; ++i) {
        const float* c = f.phase(phase);
        const float* x = input + 2 * (f.taps + index - f.before());
        // Eight-float vectors (even lanes left, odd lanes right), two accumulators.
        V8 a0{}, a1{};
        for (uint32_t k = 0; k < width; k += 16) {
            V8 c0, c1, x0, x1;
            std::memcpy(&c0, c + k, sizeof c0);
            std::memcpy(&c1, c + k + 8, sizeof c1);
            std::memcpy(&x0, x + k, sizeof x0);
            std::memcpy(&x1, x + k + 8, sizeof x1);
            a0 += c0 * x0;
            a1 += c1 * x1;
        }
        V8 a = a0 + a1;
        const float left = (a[0] + a[2]) + (a[4] + a[6]);
        const float right = (a[1] + a[3]) + (a[5] + a[7]);
        if (outChannels == 2) {
            acc[2 * i] += left * gainLeft;
            acc[2 * i + 1] += right * gainRight;
        } else {
            acc[i] += 0.5f * (left * gainLeft + right * gainRight);
        }
        index += wholeStep;
        phase += fracStep;
        if (phase >= f.up) {
            phase -= f.up;
            ++index;
        }
    }
    return phase;
}

}  // namespace plat
