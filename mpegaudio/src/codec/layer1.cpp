#include <cstring>

#include "codec/layer12.h"
#include "codec/layer12_tables.h"
#include "error_trap.h"

namespace mpa {

void layer1_decode_frame(FrameReader& reader, const FrameHeader& h, unsigned shift, SynthChannel* first,
                         SynthChannel* second) {
    BitReader& br = reader.bits;
    const unsigned nch = h.channels();
    const unsigned bound = h.mode == 1 ? 4 * h.mode_extension + 4 : kSubbands;
    const float* sf_table = scale_factors();

    unsigned alloc[2][kSubbands];
    for (unsigned sb = 0; sb < kSubbands; ++sb) {
        const unsigned shared = sb >= bound || nch == 1;
        for (unsigned ch = 0; ch < nch; ++ch) {
            alloc[ch][sb] = shared && ch == 1 ? alloc[0][sb] : bits_get(br, 4);
            if (alloc[ch][sb] == 15) raise_fatal();
        }
    }

    float scale[2][kSubbands];
    for (unsigned sb = 0; sb < kSubbands; ++sb) {
        for (unsigned ch = 0; ch < nch; ++ch) {
            if (alloc[ch][sb] == 0) continue;
            const uint32_t index = bits_get(br, 6);
            if (index == 63) raise_fatal();
            // Folds the requantisation factor 2 / (2^nb - 1) into the scale factor.
            const unsigned nb = alloc[ch][sb] + 1;
            scale[ch][sb] = sf_table[index] * 2.0f / static_cast<float>((1u << nb) - 1);
        }
    }

    const unsigned limit = kSubbands >> shift;
    float rows[2][kSubbands];
    float mix[kSubbands];
    for (unsigned slot = 0; slot < 12; ++slot) {
        std::memset(rows, 0, sizeof rows);
        for (unsigned sb = 0; sb < kSubbands; ++sb) {
            const unsigned a = alloc[0][sb];
            if (sb >= bound && nch == 2) {  // one code, each channel with its own scale factor
                if (a == 0) continue;
                const auto v = static_cast<float>(static_cast<int32_t>(bits_get(br, a + 1)) - ((1 << a) - 1));
                rows[0][sb] = v * scale[0][sb];
                rows[1][sb] = v * scale[1][sb];
                continue;
            }
            for (unsigned ch = 0; ch < nch; ++ch) {
                const unsigned b = alloc[ch][sb];
                if (b == 0) continue;
                const auto v = static_cast<float>(static_cast<int32_t>(bits_get(br, b + 1)) - ((1 << b) - 1));
                rows[ch][sb] = v * scale[ch][sb];
            }
        }
        for (unsigned sb = limit; sb < kSubbands; ++sb) rows[0][sb] = rows[1][sb] = 0.0f;
        synth_output_row(first, second, rows[0], nch == 2 ? rows[1] : nullptr, mix);
    }
}

}  // namespace mpa
