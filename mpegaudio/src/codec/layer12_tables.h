// Constant tables of Layers I and II (ISO/IEC 11172-3 Annex B, ISO/IEC 13818-3).
#pragma once

#include <cstdint>

#include "codec/frame.h"

namespace mpa {

// Scale factor i: 2^(1 - i/3) for i = 0..62; the invalid index 63 gives 0.
const float* scale_factors();

// A Layer II quantisation class. Grouped classes (3, 5 and 9 steps) carry three samples in one
// code and look the dequantised triple up in `degroup` (3 floats per code); the others read
// one code per sample, value = (code - offset) * factor.
struct QuantClass {
    uint32_t steps;
    uint32_t bits;
    float factor;
    float offset;
    const float* degroup;  // null for ungrouped classes
};

inline constexpr unsigned kQuantClasses = 17;
const QuantClass& quant_class(unsigned index);

// One subband of an allocation table: the allocation's bit count and, for each nonzero
// allocation value a, the class index cls[a - 1].
struct AllocRow {
    uint8_t nbal;
    uint8_t cls[15];
};

struct AllocTable {
    unsigned sblimit;
    const AllocRow* rows[32];
};

// The allocation table for a Layer II frame, chosen by version, sample rate and bitrate per
// channel.
const AllocTable& layer2_alloc_table(const FrameHeader& h);

}  // namespace mpa
