// The mixer's per-sample loops: sample conversion with gain, rate conversion, rounding.
//
// Two builds on x86-64, chosen once at run time: the baseline instruction set, and AVX2
// with FMA where the CPU has it. A5_MIX_PORTABLE set to anything but "" or "0" keeps the
// baseline build (to measure and test it on any machine). Other targets have the portable build
// only. Both builds compute the same values up to the rounding of fused multiply-adds.
// Nothing here allocates or locks.
#pragma once

#include <cstdint>

#include "buffer_format.h"

namespace plat {

struct SincFilter;

// Stereo signals are planar: one array per side.
struct MixKernels {
    // Adds `frames` frames of `source` (interleaved, 1 or 2 channels of `type`) to `left`
    // and `right`: each sample's value (sampleValue) times its side's gain. One channel
    // feeds both sides.
    void (*addFrames)(const uint8_t* source, SampleType type, uint32_t channels, uint32_t frames, float gainLeft,
                      float gainRight, float* left, float* right);

    // Adds `frames` frames converted by `filter` to `outLeft` and `outRight`, or, with
    // `outRight` null, the mean of the two sides to `outLeft`. `left` and `right` hold
    // filter taps frames of history before the frame at the current position, then the
    // frames from there on; `phase` is the accumulator at the first output. Returns the
    // accumulator after the last output.
    uint32_t (*resample)(const SincFilter& filter, const float* left, const float* right, uint32_t phase,
                         uint32_t frames, float* outLeft, float* outRight);

    // Writes `frames` frames of the two sides to `out` as left/right pairs.
    void (*interleave)(const float* left, const float* right, float* out, uint32_t frames);

    // Rounds `count` samples to the nearest 16-bit values (halves to even), clipped.
    void (*toInt16)(const float* samples, int16_t* out, uint32_t count);

    const char* name;  // "avx2" or "portable"
};

// The build the mixer uses.
const MixKernels& mixKernels();
const MixKernels& portableMixKernels();
// Null where the CPU or the compiler has no AVX2 build.
const MixKernels* wideMixKernels();

}  // namespace plat
