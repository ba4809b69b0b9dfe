#include "codec/layer3.h"

#include <algorithm>
#include <cstring>

#include "codec/layer3_hybrid.h"
#include "codec/layer3_spectrum.h"
#include "codec/layer3_stereo.h"

namespace mpa {
namespace {

void clear_channel(Layer3Channel& c) {
    std::memset(c.spectrum, 0, sizeof c.spectrum);
    std::memset(c.overlap, 0, sizeof c.overlap);
    std::memset(c.rows, 0, sizeof c.rows);
    c.zero_subbands = 0;
}

// A frame whose main data was never received: silence of the frame's length, and no history
// left to leak into the next frame.
void silent_frame(Layer3State& st, uint32_t granules, SynthChannel* first, SynthChannel* second) {
    clear_channel(st.ch[0]);
    clear_channel(st.ch[1]);
    for (uint32_t i = 0; i < 18 * granules; ++i) {
        if (first != nullptr) synth_silence(*first);
        if (second != nullptr && second != first) synth_silence(*second);
    }
}

// Subbands whose transform can be nonzero: all for short blocks; otherwise those below the
// zero top plus one (alias reduction reaches one subband further), at most what the
// downsampled synthesis uses.
int subbands_to_transform(const l3::GranuleInfo& g, int zero_subbands, unsigned shift) {
    int n = 32;
    if (!g.short_blocks()) {
        n = 32 - zero_subbands;
        if (n < 32) ++n;
    }
    return std::min(n, static_cast<int>(32u >> shift));
}

}  // namespace

void layer3_reset(Layer3State& st) {
    clear_channel(st.ch[0]);
    clear_channel(st.ch[1]);
    st.side = l3::SideInfo{};
}

void layer3_decode_frame(FrameReader& reader, const FrameHeader& h, Layer3State& st, SynthChannel* first,
                         SynthChannel* second) {
    const l3::BandTable& bands = l3::kBandTables[3 * h.version + h.rate_index];
    l3::SideInfo& si = st.side;
    l3::read_side_info(reader.bits, h, bands, si);
    if (!reservoir_fetch(reader, si.main_data_begin, si.main_data_bits)) {
        note_stream_error(reader, MPA_E_MAIN_DATA);
        silent_frame(st, si.granules, first, second);
        return;
    }

    const bool stereo = si.channels == 2;
    const bool joint = stereo && h.mode == 1;
    const bool mid_side = joint && (h.mode_extension & 2) != 0;
    const bool intensity = joint && (h.mode_extension & 1) != 0;
    // Channels whose output is needed: the right one is decoded in any case to stay in step.
    const bool mono_out = stereo && (first == nullptr || second == nullptr);
    const bool want[2] = {!mono_out || first != nullptr, stereo && (!mono_out || second != nullptr)};

    uint32_t bit = 0;
    for (uint32_t gr = 0; gr < si.granules; ++gr) {
        int nonzero_lines = 0;  // in both channels, spectra are zero from here on
        for (uint32_t c = 0; c < si.channels; ++c) {
            l3::GranuleInfo& g = si.gr[gr][c];
            Layer3Channel& ch = st.ch[c];
            bits_start(reader.bits, reader.frame);
            bits_skip(reader.bits, bit);
            l3::read_scale_factors(reader.bits, h, si, static_cast<int>(gr), static_cast<int>(c), bands,
                                   intensity && c == 1 ? &st.intensity : nullptr);
            const uint32_t end = bit + g.part2_3_length;
            const uint32_t start = std::min(bit + g.part2_length, end);
            bool overran = false;
            const uint32_t lines =
                l3::decode_spectrum(reader.frame, start, end, g, bands, mid_side, ch.spectrum, &overran);
            if (overran) note_stream_error(reader, MPA_E_HUFFMAN_OVERRUN);
            ch.zero_subbands = g.short_blocks() ? 0 : static_cast<int>((576 - lines) / 18);
            // Short windows are interleaved: their stream-order count bounds no line.
            nonzero_lines = std::max(nonzero_lines, g.short_blocks() ? 576 : static_cast<int>(lines));
            bit = end;
        }
        if (joint && (mid_side || intensity)) {
            const l3::GranuleInfo& right = si.gr[gr][1];
            const l3::JointStereo js{mid_side,       intensity,
                                     h.version != 1, static_cast<int>(right.scalefac_compress & 1),
                                     right.layout(), nonzero_lines};
            l3::joint_stereo(st.ch[0].spectrum, st.ch[1].spectrum, js, st.intensity, bands);
            const int z = std::min(st.ch[0].zero_subbands, st.ch[1].zero_subbands);
            st.ch[0].zero_subbands = st.ch[1].zero_subbands = z;
        }
        for (uint32_t c = 0; c < si.channels; ++c) {
            if (!want[c]) continue;
            const l3::GranuleInfo& g = si.gr[gr][c];
            Layer3Channel& ch = st.ch[c];
            const l3::HybridBlock block{g.layout(), static_cast<int>(g.block_type),
                                        g.window_switching && g.mixed_block,
                                        subbands_to_transform(g, ch.zero_subbands, st.shift)};
            l3::hybrid_granule(ch.spectrum, block, ch.overlap, ch.rows);
        }
        for (int t = 0; t < 18; ++t) {
            synth_output_row(first, second, st.ch[0].rows[t], stereo ? st.ch[1].rows[t] : nullptr, st.mix);
        }
    }
}

}  // namespace mpa
