// Huffman decoding of one granule's spectrum with requantisation and reordering fused in.
#pragma once

#include <cstdint>

#include "codec/layer3_side_info.h"

namespace mpa::l3 {

// Decodes the spectrum of granule info `g` whose Huffman data occupies bits
// [start_bit, end_bit) of `words` (stream words, see BitReader) into `xr` (576 lines, short
// blocks window-interleaved), requantised with the band gains; `mid_side` folds the
// 1/sqrt(2) of mid/side stereo into the gains. Returns the number of lines decoded in stream
// order (everything above is zero). Reads past end_bit in the big-value region when the
// stream says so (the caller's buffer has slack for the largest such read); `overran`, when
// given, tells whether the big values ran past end_bit. A last count1 quadruple that crosses
// end_bit is dropped.
uint32_t decode_spectrum(const uint32_t* words, uint32_t start_bit, uint32_t end_bit, const GranuleInfo& g,
                         const BandTable& bands, bool mid_side, float* xr, bool* overran = nullptr);

}  // namespace mpa::l3
