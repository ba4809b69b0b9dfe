// The Layer III hybrid filterbank: alias reduction, IMDCT with windowing, overlap-add and
// frequency inversion, from one granule's 576 spectral lines of one channel to 18 rows of 32
// subband samples.
#pragma once

namespace mpa::l3 {

enum class BlockLayout { kLong, kShort, kMixed };

struct HybridBlock {
    BlockLayout layout;
    int block_type;  // window of the long subbands: 0 normal, 1 start, 3 stop (2: short)
    bool mixed;      // the two lowest subbands use the normal long window whatever the block type
    int subbands;    // subbands to transform (1 ... 32); the others pass the overlap on
};

// Transforms one granule of one channel. `spectrum` holds 576 lines (short blocks in
// window-interleaved order: line 18 * sb + 3 * k + window); it is only read. `overlap` carries
// the second half of each subband's windowed output from granule to granule (frequency
// inversion already applied; all zeros after a reset); `out` receives row t (time slot) × 32
// subbands.
// Runs the AVX2/FMA build of the transform where the CPU has it, else the portable one.
void hybrid_granule(const float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
                    float (&out)[18][32]);

// The two builds by name, for tests: the portable one always runs; the wide one returns false
// (and does nothing) where the CPU or the compiler lacks it.
void hybrid_granule_portable(const float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
                             float (&out)[18][32]);
bool hybrid_granule_wide(const float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
                         float (&out)[18][32]);

}  // namespace mpa::l3
