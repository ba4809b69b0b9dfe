// What the platform mixes, as the tracker tests look at it: a capture of the output,
// loudness checks and the virtual clock's step.
#pragma once

#include <plat/a5platform.h>

#include "mix_capture.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace orvox::tracker::test {

using Samples = std::vector<std::int16_t>;

// Everything the platform mixes, as interleaved stereo samples (take() empties it).
using Capture = a5test::MixCapture;

inline int peak(const Samples& samples) {
    int result = 0;
    for (std::int16_t s : samples) result = std::max(result, s < 0 ? -int{s} : int{s});
    return result;
}

inline bool audible(const Samples& samples) { return peak(samples) > 500; }

// The samples from the first non-zero one on.
inline Samples fromFirstSound(const Samples& samples) {
    std::size_t first = 0;
    while (first < samples.size() && samples[first] == 0) ++first;
    first -= first % 2;  // keep whole frames
    return Samples(samples.begin() + static_cast<std::ptrdiff_t>(first), samples.end());
}

inline void advanceMs(std::uint64_t ms) { a5p_advance_ns(ms * 1'000'000); }

}  // namespace orvox::tracker::test
