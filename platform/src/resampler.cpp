#include "resampler.h"

#include <cmath>
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
    f->coefficients.resize(size_t(f->phases) * f->taps);
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
        float* out = &f->coefficients[size_t(p) * f->taps];
        for (uint32_t k = 0; k < f->taps; ++k) out[k] = static_cast<float>(row[k] / sum);
    }
    return f;
}

}  // namespace

std::shared_ptr<const SincFilter> sincFilterFor(uint32_t inRate, uint32_t outRate) {
    // Weak entries: a filter goes when its last user does, so rates that come and go (a
    // frequency swept by a game) do not pile up filters.
    static std::mutex mutex;
    static std::map<std::pair<uint32_t, uint32_t>, std::weak_ptr<const SincFilter>> cache;
    uint32_t g = std::gcd(inRate, outRate);
    auto key = std::make_pair(inRate / g, outRate / g);
    std::lock_guard lock(mutex);
    if (auto kept = cache[key].lock()) return kept;
    std::erase_if(cache, [](const auto& entry) { return entry.second.expired(); });
    auto made = build(inRate, outRate);
    cache[key] = made;
    return made;
}

}  // namespace plat
