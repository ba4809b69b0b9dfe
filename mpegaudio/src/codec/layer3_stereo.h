// Joint stereo of Layer III: mid/side and intensity stereo (ISO/IEC 11172-3 for MPEG-1,
// 13818-3 for MPEG-2 and 2.5).
#pragma once

#include <cstdint>

#include "codec/layer3_hybrid.h"
#include "codec/layer3_tables.h"

namespace mpa::l3 {

// The right channel's intensity positions of one granule. A position at or above the band's
// limit is not an intensity position: that band stays mid/side (or plain) stereo.
struct IntensityPositions {
    uint8_t long_pos[22];
    uint8_t short_pos[13][3];
    uint8_t long_limit[22];
    uint8_t short_limit[13];
};

struct JointStereo {
    bool mid_side;        // the spectra carry mid and side, each already scaled by 1/sqrt(2)
    bool intensity;       // reconstruct the right channel from the left above its last nonzero band
    bool lsf;             // MPEG-2/2.5 intensity positions (else MPEG-1)
    int intensity_scale;  // MPEG-2/2.5: scalefac_compress bit 0 of the right channel
    BlockLayout layout;   // block layout of the right channel
    int lines = 576;      // both spectra are zero from this line on
};

// Turns the two decoded spectra (576 lines each, short blocks window-interleaved) into left
// and right.
void joint_stereo(float* left, float* right, const JointStereo& js, const IntensityPositions& pos,
                  const BandTable& bands);

}  // namespace mpa::l3
