// Script numbers to engine numbers.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

namespace a5host {

// n × 1024, the fraction kept to 1/1024 and rounded toward minus infinity (so -0.25
// stays -256 and 0.99 becomes 1013). Empty for NaN and for values outside the engine's
// range [-2097152, 2097152).
inline std::optional<int32_t> fixedFromNumber(double n) {
    const double scaled = std::floor(n * 1024.0);
    if (!(scaled >= static_cast<double>(INT32_MIN) && scaled <= static_cast<double>(INT32_MAX)))
        return std::nullopt;
    return static_cast<int32_t>(scaled);
}

}  // namespace a5host
