#include "pcm_compare.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace mpa::test {

namespace {
constexpr double kFullScale = 32768.0;
}

bool Accuracy::full_accuracy() const {
    return !reference_short && rms < kFullScale * std::exp2(-15.0) / std::sqrt(12.0) &&
           max_error <= static_cast<int32_t>(kFullScale * std::exp2(-14.0));
}

bool Accuracy::limited_accuracy() const {
    return !reference_short && rms < kFullScale * std::exp2(-11.0) / std::sqrt(12.0);
}

Accuracy compare_pcm(std::span<const int16_t> decoded, std::span<const int16_t> reference) {
    Accuracy a;
    a.reference_short = reference.size() < decoded.size();
    a.compared = std::min(decoded.size(), reference.size());
    double sum = 0.0;
    for (size_t i = 0; i < a.compared; ++i) {
        const int32_t d = int32_t{decoded[i]} - int32_t{reference[i]};
        sum += static_cast<double>(d) * d;
        a.max_error = std::max(a.max_error, std::abs(d));
    }
    a.rms = a.compared == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(a.compared));
    return a;
}

}  // namespace mpa::test
