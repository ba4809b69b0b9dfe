#include "codec/layer3_side_info.h"

#include <algorithm>
#include <cstring>

#include "error_trap.h"

namespace mpa::l3 {
namespace {

// bits_get reads 1 ... 32 bits; scale factors may have width 0.
uint32_t read_bits(BitReader& br, unsigned n) {
    return n == 0 ? 0 : bits_get(br, n);
}

void read_granule(BitReader& br, bool mpeg1, const BandTable& bands, GranuleInfo& g) {
    g.part2_3_length = bits_get(br, 12);
    g.big_values = bits_get(br, 9);
    g.global_gain = bits_get(br, 8);
    g.scalefac_compress = bits_get(br, mpeg1 ? 4 : 9);
    g.window_switching = bits_get(br, 1) != 0;
    if (g.big_values > 288) raise_fatal();
    if (g.window_switching) {
        g.block_type = bits_get(br, 2);
        g.mixed_block = bits_get(br, 1) != 0;
        if (g.block_type == 0) raise_fatal();
        g.table_select[0] = bits_get(br, 5);
        g.table_select[1] = bits_get(br, 5);
        g.table_select[2] = 0;
        for (uint32_t& s : g.subblock_gain) s = bits_get(br, 3);
        // Region 0 spans the first 36 lines of short blocks and eight long bands otherwise
        // (36 lines in MPEG-1, 54 in MPEG-2).
        g.region1_start = g.block_type == 2 ? 36 : bands.long_bounds[8];
        g.region2_start = 576;
    } else {
        g.block_type = 0;
        g.mixed_block = false;
        for (uint32_t& s : g.table_select) s = bits_get(br, 5);
        const uint32_t region0 = bits_get(br, 4);
        const uint32_t region1 = bits_get(br, 3);
        g.subblock_gain[0] = g.subblock_gain[1] = g.subblock_gain[2] = 0;
        g.region1_start = bands.long_bounds[region0 + 1];
        g.region2_start = bands.long_bounds[std::min<uint32_t>(region0 + region1 + 2, 22)];
    }
    g.preflag = mpeg1 ? bits_get(br, 1) != 0 : false;
    g.scalefac_scale = bits_get(br, 1);
    g.count1_table = bits_get(br, 1);
}

// Long bands that lie in the 36 long lines of a mixed block, and the first short band after.
int mixed_long_bands(const BandTable& bands) {
    int b = 0;
    while (bands.long_bounds[b + 1] <= 36) ++b;
    return b;
}
int mixed_first_short(const BandTable& bands) {
    int b = 0;
    while (bands.short_bounds[b] * 3 < 36) ++b;
    return b;
}

void read_mpeg1_scale_factors(BitReader& br, SideInfo& si, int gr, int ch) {
    GranuleInfo& g = si.gr[gr][ch];
    const unsigned slen1 = kSlen[g.scalefac_compress][0];
    const unsigned slen2 = kSlen[g.scalefac_compress][1];
    std::memset(g.sf_long, 0, sizeof g.sf_long);
    std::memset(g.sf_short, 0, sizeof g.sf_short);
    if (g.short_blocks()) {
        int first_short = 0;
        if (g.mixed_block) {
            for (int b = 0; b < 8; ++b) g.sf_long[b] = static_cast<uint8_t>(read_bits(br, slen1));
            first_short = 3;
        }
        for (int b = first_short; b < 12; ++b) {
            const unsigned len = b < 6 ? slen1 : slen2;
            for (int w = 0; w < 3; ++w) g.sf_short[b][w] = static_cast<uint8_t>(read_bits(br, len));
        }
        g.part2_length = g.mixed_block ? 17 * slen1 + 18 * slen2 : 18 * (slen1 + slen2);
        return;
    }
    static constexpr int kGroupStart[5] = {0, 6, 11, 16, 21};
    g.part2_length = 0;
    for (int grp = 0; grp < 4; ++grp) {
        const unsigned len = grp < 2 ? slen1 : slen2;
        const bool reuse = gr == 1 && si.scfsi[ch][grp] != 0;
        for (int b = kGroupStart[grp]; b < kGroupStart[grp + 1]; ++b) {
            g.sf_long[b] = reuse ? si.gr[0][ch].sf_long[b] : static_cast<uint8_t>(read_bits(br, len));
        }
        if (!reuse) g.part2_length += len * static_cast<unsigned>(kGroupStart[grp + 1] - kGroupStart[grp]);
    }
}

void read_lsf_scale_factors(BitReader& br, GranuleInfo& g, bool intensity_right, const BandTable& bands,
                            IntensityPositions* is) {
    const int kind = !g.short_blocks() ? kLongBlocks : g.mixed_block ? kMixedBlocks : kShortBlocks;
    const LsfScaleLayout layout = lsf_scale_layout(g.scalefac_compress, intensity_right, kind);
    g.preflag = layout.preflag;
    uint8_t values[39] = {};
    uint8_t limits[39] = {};
    int n = 0;
    g.part2_length = 0;
    for (int grp = 0; grp < 4; ++grp) {
        const unsigned len = layout.slen[grp];
        for (int i = 0; i < layout.count[grp]; ++i, ++n) {
            values[n] = static_cast<uint8_t>(read_bits(br, len));
            limits[n] = static_cast<uint8_t>((1u << len) - 1u);
        }
        g.part2_length += len * layout.count[grp];
    }
    std::memset(g.sf_long, 0, sizeof g.sf_long);
    std::memset(g.sf_short, 0, sizeof g.sf_short);
    int longs = 0;
    int first_short = 0;
    if (kind == kLongBlocks) {
        longs = 21;
    } else if (kind == kMixedBlocks) {
        longs = std::min(layout.count[0] + 0, mixed_long_bands(bands));
        first_short = mixed_first_short(bands);
    }
    // Positions in `values` of the long bands, then the short bands window by window.
    int at = 0;
    for (int b = 0; b < longs; ++b, ++at) {
        g.sf_long[b] = values[at];
        if (is != nullptr) {
            is->long_pos[b] = values[at];
            is->long_limit[b] = limits[at];
        }
    }
    if (kind == kMixedBlocks) at = layout.count[0];
    if (kind != kLongBlocks) {
        for (int b = first_short; b < 12 && at + 2 < n; ++b) {
            for (int w = 0; w < 3; ++w, ++at) {
                g.sf_short[b][w] = values[at];
                if (is != nullptr) is->short_pos[b][w] = values[at];
            }
            if (is != nullptr) is->short_limit[b] = limits[at - 1];
        }
    }
}

}  // namespace

void read_side_info(BitReader& br, const FrameHeader& h, const BandTable& bands, SideInfo& si) {
    const bool mpeg1 = h.version == 1;
    si.channels = h.channels();
    si.granules = mpeg1 ? 2 : 1;
    if (mpeg1) {
        si.main_data_begin = bits_get(br, 9);
        bits_skip(br, si.channels == 1 ? 5 : 3);
        for (uint32_t ch = 0; ch < si.channels; ++ch) {
            for (uint8_t& s : si.scfsi[ch]) s = static_cast<uint8_t>(bits_get(br, 1));
        }
    } else {
        si.main_data_begin = bits_get(br, 8);
        bits_skip(br, si.channels == 1 ? 1 : 2);
    }
    si.main_data_bits = 0;
    for (uint32_t gr = 0; gr < si.granules; ++gr) {
        for (uint32_t ch = 0; ch < si.channels; ++ch) {
            read_granule(br, mpeg1, bands, si.gr[gr][ch]);
            si.main_data_bits += si.gr[gr][ch].part2_3_length;
        }
    }
}

void read_scale_factors(BitReader& br, const FrameHeader& h, SideInfo& si, int gr, int ch,
                        const BandTable& bands, IntensityPositions* is) {
    GranuleInfo& g = si.gr[gr][ch];
    if (h.version == 1) {
        read_mpeg1_scale_factors(br, si, gr, ch);
        if (is != nullptr) {
            std::memcpy(is->long_pos, g.sf_long, sizeof is->long_pos);
            std::memcpy(is->short_pos, g.sf_short, sizeof is->short_pos);
            std::memset(is->long_limit, 7, sizeof is->long_limit);
            std::memset(is->short_limit, 7, sizeof is->short_limit);
        }
        return;
    }
    if (is != nullptr) *is = IntensityPositions{};
    read_lsf_scale_factors(br, g, is != nullptr, bands, is);
}

}  // namespace mpa::l3
