// Constant tables of Layer III: scale-factor bands, scale-factor bit widths, pretab and the
// requantisation tables.
#pragma once

#include <cstdint>

namespace mpa::l3 {

// Scale-factor band boundaries of one sample rate, in spectral lines. Short boundaries are
// per window (0 ... 192).
struct BandTable {
    uint16_t long_bounds[23];
    uint16_t short_bounds[14];
};

// Indexed by 3 * (sample-rate row) + sampling frequency index, rows MPEG-2 (22.05, 24, 16 kHz),
// MPEG-1 (44.1, 48, 32 kHz), MPEG 2.5 (11.025, 12, 8 kHz): the order of the header's
// 4 * version id + index with the reserved slot dropped.
extern const BandTable kBandTables[9];

// MPEG-1 scalefac_compress -> bit widths of the two band groups.
extern const uint8_t kSlen[16][2];

extern const uint8_t kPretab[22];

// Scale factors of MPEG-2 and 2.5: the bit widths of the four band groups, the preflag and
// the values per group for long, short and mixed blocks.
struct LsfScaleLayout {
    uint8_t slen[4];
    uint8_t count[4];
    bool preflag;
};
// scalefac_compress (9 bits) of a granule; intensity selects the right channel's variant
// in intensity-stereo frames.
LsfScaleLayout lsf_scale_layout(unsigned scalefac_compress, bool intensity_right, int block_kind);
enum BlockKind { kLongBlocks = 0, kShortBlocks = 1, kMixedBlocks = 2 };

// Requantisation tables, built at compile time.
struct RequantTables {
    static constexpr int kPowCount = 8207;  // |i| up to 15 + 8191 (13 linbits)
    static constexpr int kGainBias = 255;   // gain[e + kGainBias] = 2^((e - 210) / 4)
    float pow43[kPowCount];
    float gain[512];
    float signed_pow43[31];  // sign(v) |v|^(4/3) at v + 15, for v = -15 ... 15
};
const RequantTables& requant_tables();

}  // namespace mpa::l3
