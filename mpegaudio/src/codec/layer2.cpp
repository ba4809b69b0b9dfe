#include <algorithm>
#include <cstring>

#include "codec/layer12.h"
#include "codec/layer12_tables.h"
#include "error_trap.h"

namespace mpa {

namespace {

// One subband of one channel that carries samples, or one shared subband above the joint
// stereo bound (one triple of codes, scaled for each channel).
struct Allocated {
    const QuantClass* cls;
    const float* scale[2];  // the three part scale factors of each channel it feeds
    uint8_t sb;
    uint8_t channel;  // 0 or 1, or 2 for both
};

// Reads the three codes of one granule and subband and dequantises them (unscaled). Grouped
// classes take all three from one code; each other code is at most 16 bits.
inline void read_triple(BitCache& bits, const QuantClass& q, float* v) {
    bits.refill();
    if (q.degroup != nullptr) {
        const float* t = q.degroup + 3 * bits.take(static_cast<int>(q.bits));
        v[0] = t[0];
        v[1] = t[1];
        v[2] = t[2];
        return;
    }
    const int n = static_cast<int>(q.bits);
    v[0] = (static_cast<float>(bits.take(n)) - q.offset) * q.factor;
    v[1] = (static_cast<float>(bits.take(n)) - q.offset) * q.factor;
    bits.refill();
    v[2] = (static_cast<float>(bits.take(n)) - q.offset) * q.factor;
}

}  // namespace

void layer2_decode_frame(FrameReader& reader, const FrameHeader& h, unsigned shift, SynthChannel* first,
                         SynthChannel* second) {
    BitReader& br = reader.bits;
    const AllocTable& table = layer2_alloc_table(h);
    const unsigned sblimit = table.sblimit;
    const unsigned nch = h.channels();
    unsigned bound = sblimit;
    if (h.mode == 1) {
        bound = 4 * h.mode_extension + 4;
        if (bound > sblimit) raise_fatal();
    }

    const QuantClass* cls[2][kSubbands] = {};
    for (unsigned sb = 0; sb < sblimit; ++sb) {
        const AllocRow& row = *table.rows[sb];
        for (unsigned ch = 0; ch < nch; ++ch) {
            const uint32_t a = ch == 1 && sb >= bound ? 0 : bits_get(br, row.nbal);
            cls[ch][sb] = ch == 1 && sb >= bound ? cls[0][sb]
                          : a == 0               ? nullptr
                                                 : &quant_class(row.cls[a - 1]);
        }
    }

    unsigned scfsi[2][kSubbands] = {};
    for (unsigned sb = 0; sb < sblimit; ++sb) {
        for (unsigned ch = 0; ch < nch; ++ch) {
            if (cls[ch][sb] != nullptr) scfsi[ch][sb] = bits_get(br, 2);
        }
    }

    const float* sf_table = scale_factors();
    float scale[2][kSubbands][3];
    for (unsigned sb = 0; sb < sblimit; ++sb) {
        for (unsigned ch = 0; ch < nch; ++ch) {
            if (cls[ch][sb] == nullptr) continue;
            float* s = scale[ch][sb];
            switch (scfsi[ch][sb]) {
                case 0:
                    s[0] = sf_table[bits_get(br, 6)];
                    s[1] = sf_table[bits_get(br, 6)];
                    s[2] = sf_table[bits_get(br, 6)];
                    break;
                case 1:
                    s[0] = s[1] = sf_table[bits_get(br, 6)];
                    s[2] = sf_table[bits_get(br, 6)];
                    break;
                case 2:
                    s[0] = s[1] = s[2] = sf_table[bits_get(br, 6)];
                    break;
                default:
                    s[0] = sf_table[bits_get(br, 6)];
                    s[1] = s[2] = sf_table[bits_get(br, 6)];
                    break;
            }
        }
    }

    // The subbands with samples, in stream order.
    Allocated list[2 * kSubbands];
    unsigned count = 0;
    for (unsigned sb = 0; sb < sblimit; ++sb) {
        if (sb >= bound && nch == 2) {
            if (cls[0][sb] != nullptr)
                list[count++] = {cls[0][sb], {scale[0][sb], scale[1][sb]}, static_cast<uint8_t>(sb), 2};
            continue;
        }
        for (unsigned ch = 0; ch < nch; ++ch) {
            if (cls[ch][sb] != nullptr)
                list[count++] = {cls[ch][sb],
                                 {scale[ch][sb], nullptr},
                                 static_cast<uint8_t>(sb),
                                 static_cast<uint8_t>(ch)};
        }
    }

    // 12 granules of three rows per channel, each handed to synthesis once it is complete.
    // Subbands above the downsampled band limit are read but left at zero.
    const unsigned limit = std::min(sblimit, kSubbands >> shift);
    BitCache bits(br);
    float mix[kSubbands];
    for (unsigned gr = 0; gr < 12; ++gr) {
        const unsigned part = gr / 4;
        float rows[2][3][kSubbands] = {};
        for (unsigned i = 0; i < count; ++i) {
            const Allocated& a = list[i];
            float v[3];
            read_triple(bits, *a.cls, v);
            if (a.sb >= limit) continue;
            if (a.channel != 1) {
                const float s = a.scale[0][part];
                for (int k = 0; k < 3; ++k) rows[0][k][a.sb] = v[k] * s;
            }
            if (a.channel != 0) {
                const float s = a.scale[a.channel == 2 ? 1 : 0][part];
                for (int k = 0; k < 3; ++k) rows[1][k][a.sb] = v[k] * s;
            }
        }
        for (unsigned k = 0; k < 3; ++k)
            synth_output_row(first, second, rows[0][k], nch == 2 ? rows[1][k] : nullptr, mix);
    }
}

}  // namespace mpa
