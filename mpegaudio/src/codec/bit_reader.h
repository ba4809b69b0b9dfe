// Bit cursor over a buffer of 32-bit words in which each word, read as a machine word, holds
// four stream bytes in big-endian order. The stream is consumed most significant bit first.
// The frame layer prepares the words once per read; the layer decoders (and the Layer III
// Huffman decoder, which may walk `word`/`left` directly) read from them.
#pragma once

#include <cstdint>

namespace mpa {

struct BitReader {
    const uint32_t* word = nullptr;  // current word
    unsigned left = 32;              // bits of *word not yet read, 1..32 (32 = a fresh word)
};

inline void bits_start(BitReader& r, const uint32_t* words) {
    r.word = words;
    r.left = 32;
}

// Next n bits (1 <= n <= 32) as an unsigned value.
inline uint32_t bits_get(BitReader& r, unsigned n) {
    const uint32_t w = *r.word;
    if (r.left > n) {
        r.left -= n;
        return (w >> r.left) & ((uint32_t{1} << n) - 1u);
    }
    const unsigned rest = n - r.left;  // bits still to take from the next word
    uint32_t v = r.left == 32 ? w : w & ((uint32_t{1} << r.left) - 1u);
    ++r.word;
    r.left = 32 - rest;
    if (rest != 0) v = (v << rest) | (*r.word >> r.left);
    return v;
}

// Steps over n bits; any n.
inline void bits_skip(BitReader& r, unsigned n) {
    if (n < r.left) {
        r.left -= n;
        return;
    }
    n -= r.left;
    r.word += 1 + n / 32;
    r.left = 32 - n % 32;
}

// Moves back n <= 32 bits.
inline void bits_unget(BitReader& r, unsigned n) {
    r.left += n;
    if (r.left > 32) {
        r.left -= 32;
        --r.word;
    }
}

// Bits consumed since `start` (the pointer given to bits_start).
inline uint32_t bits_consumed(const BitReader& r, const uint32_t* start) {
    return static_cast<uint32_t>(r.word - start) * 32u + (32u - r.left);
}

}  // namespace mpa
