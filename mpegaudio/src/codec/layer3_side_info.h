// Layer III side information of one frame (ISO/IEC 11172-3 and 13818-3) and the scale
// factors of each granule and channel.
#pragma once

#include <cstdint>

#include "codec/bit_reader.h"
#include "codec/frame.h"
#include "codec/layer3_stereo.h"
#include "codec/layer3_tables.h"

namespace mpa::l3 {

struct GranuleInfo {
    uint32_t part2_3_length = 0;
    uint32_t big_values = 0;
    uint32_t global_gain = 0;
    uint32_t scalefac_compress = 0;
    bool window_switching = false;
    uint32_t block_type = 0;
    bool mixed_block = false;
    uint32_t table_select[3] = {};
    uint32_t subblock_gain[3] = {};
    uint32_t region1_start = 0;  // spectral lines
    uint32_t region2_start = 0;
    bool preflag = false;
    uint32_t scalefac_scale = 0;
    uint32_t count1_table = 0;
    uint32_t part2_length = 0;  // bits taken by the scale factors
    uint8_t sf_long[22] = {};
    uint8_t sf_short[13][3] = {};

    bool short_blocks() const { return window_switching && block_type == 2; }
    BlockLayout layout() const {
        return !short_blocks() ? BlockLayout::kLong : mixed_block ? BlockLayout::kMixed : BlockLayout::kShort;
    }
};

struct SideInfo {
    uint32_t main_data_begin = 0;
    uint32_t granules = 0;  // 2 for MPEG-1, 1 otherwise
    uint32_t channels = 0;
    uint8_t scfsi[2][4] = {};  // per channel and band group
    GranuleInfo gr[2][2];      // [granule][channel]
    uint32_t main_data_bits = 0;
};

// Reads the side information at the reader's position; raises the fatal error on
// big_values above 288 or window switching with block type 0.
void read_side_info(BitReader& br, const FrameHeader& h, const BandTable& bands, SideInfo& si);

// Reads the scale factors of granule `gr`, channel `ch` and sets its part-2 length. In
// intensity-stereo frames the right channel's factors are intensity positions: `is` receives
// them with the limit above which a position is not one.
void read_scale_factors(BitReader& br, const FrameHeader& h, SideInfo& si, int gr, int ch,
                        const BandTable& bands, IntensityPositions* is);

}  // namespace mpa::l3
