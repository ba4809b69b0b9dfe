// The one seam between the mixer and what processes its sum: a stage that the mixer runs
// on every block after summing the buffers and before rounding to 16 bits.
#pragma once

#include <cstdint>

namespace plat {

class MixStage {
public:
    virtual ~MixStage() = default;
    // On the mixing thread, under the mixer's lock. `acc` holds frames × channels
    // interleaved floats on the 16-bit scale and is changed in place. frames is at most
    // Mixer::kBlockFrames. Allocates nothing.
    virtual void process(float* acc, uint32_t frames, uint32_t channels) = 0;
};

}  // namespace plat
