// Comparing what the mixer produced with a decoder's own output.
#pragma once

#include <cstdint>
#include <vector>

namespace orvox::test {

// The buffer holds 65536 bytes: 16384 frames of 16-bit stereo, the delay between start
// and the first decoded sample heard. The buffer starts with the mixer's next block.
inline constexpr long kStereoLatencyFrames = 16384;
inline constexpr long kMixBlockFrames = 256;

inline long firstNonZeroFrame(const std::vector<int16_t>& pcm, unsigned channels) {
    for (size_t i = 0; i < pcm.size(); ++i)
        if (pcm[i] != 0) return static_cast<long>(i / channels);
    return -1;
}

// Output frames from `offset` on, as far as both reach, against `expected` (stereo).
// Returns the number of frames that differ.
inline long mismatchedFrames(const std::vector<int16_t>& out, long offset, const std::vector<int16_t>& expected,
                             long* compared) {
    long bad = 0;
    long n = 0;
    for (long f = 0; 2 * (offset + f) + 1 < static_cast<long>(out.size()) &&
                     2 * f + 1 < static_cast<long>(expected.size());
         ++f, ++n) {
        if (out[2 * (offset + f)] != expected[2 * f] || out[2 * (offset + f) + 1] != expected[2 * f + 1]) ++bad;
    }
    *compared = n;
    return bad;
}

}  // namespace orvox::test
