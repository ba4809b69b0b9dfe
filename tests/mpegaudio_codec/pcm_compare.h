// Accuracy of a decoded 16-bit PCM stream against a reference decode, with the bars of
// ISO/IEC 11172-4 (full scale = 32768 LSB).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mpa::test {

struct Accuracy {
    size_t compared = 0;           // samples compared (all channels)
    double rms = 0.0;              // RMS error in LSB
    int32_t max_error = 0;         // largest absolute difference in LSB
    bool reference_short = false;  // the reference ends before the decoded PCM

    // RMS below 2^-15 / sqrt(12) of full scale and no sample off by more than 2^-14.
    bool full_accuracy() const;
    // RMS below 2^-11 / sqrt(12) of full scale.
    bool limited_accuracy() const;
};

// Compares every decoded sample with the reference sample at the same place.
Accuracy compare_pcm(std::span<const int16_t> decoded, std::span<const int16_t> reference);

}  // namespace mpa::test
