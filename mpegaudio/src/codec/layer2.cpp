#include <algorithm>
#include <cstring>

#include "codec/layer12.h"
#include "codec/layer12_tables.h"
#include "error_trap.h"

namespace mpa {

namespace {

// Reads the three samples of one granule for a subband; returns them unscaled.
inline void read_triple(BitReader& br, const QuantClass& q, float* v) {
    if (q.degroup != nullptr) {
        const float* t = q.degroup + 3 * bits_get(br, q.bits);
        v[0] = t[0];
        v[1] = t[1];
        v[2] = t[2];
        return;
    }
    for (int i = 0; i < 3; ++i) v[i] = (static_cast<float>(bits_get(br, q.bits)) - q.offset) * q.factor;
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
    float scale[2][kSubbands][3] = {};
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

    // 36 rows per channel, time slot major.
    float rows[2][36][kSubbands];
    std::memset(rows, 0, sizeof rows);
    const unsigned limit = std::min(sblimit, kSubbands >> shift);
    for (unsigned gr = 0; gr < 12; ++gr) {
        const unsigned part = gr / 4;
        float(*r0)[kSubbands] = rows[0] + 3 * gr;
        float(*r1)[kSubbands] = rows[1] + 3 * gr;
        for (unsigned sb = 0; sb < sblimit; ++sb) {
            float v[3];
            if (sb >= bound && nch == 2) {  // one triple, each channel with its own scale factor
                if (cls[0][sb] == nullptr) continue;
                read_triple(br, *cls[0][sb], v);
                const float s0 = scale[0][sb][part];
                const float s1 = scale[1][sb][part];
                for (int i = 0; i < 3; ++i) {
                    r0[i][sb] = v[i] * s0;
                    r1[i][sb] = v[i] * s1;
                }
                continue;
            }
            for (unsigned ch = 0; ch < nch; ++ch) {
                if (cls[ch][sb] == nullptr) continue;
                read_triple(br, *cls[ch][sb], v);
                const float s = scale[ch][sb][part];
                float(*r)[kSubbands] = rows[ch] + 3 * gr;
                for (int i = 0; i < 3; ++i) r[i][sb] = v[i] * s;
            }
        }
        if (limit < sblimit) {
            for (int i = 0; i < 3; ++i) {
                for (unsigned sb = limit; sb < sblimit; ++sb) r0[i][sb] = r1[i][sb] = 0.0f;
            }
        }
    }

    float mix[kSubbands];
    for (unsigned t = 0; t < 36; ++t) {
        synth_output_row(first, second, rows[0][t], nch == 2 ? rows[1][t] : nullptr, mix);
    }
}

}  // namespace mpa
