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

// The same words read through a 64-bit cache, for loops that take many short fields: one
// refill check per field instead of the word arithmetic of bits_get.
class BitCache {
  public:
    // From bit `start_bit` of `words`.
    BitCache(const uint32_t* words, uint32_t start_bit) : base_(words), next_(words + start_bit / 32) {
        refill();
        const unsigned skip = start_bit % 32;
        cache_ <<= skip;
        count_ -= static_cast<int>(skip);
    }
    // From where a BitReader stands.
    explicit BitCache(const BitReader& r) : BitCache(r.word, 32 - r.left) {}

    // Guarantees at least 32 bits in the cache.
    void refill() {
        if (count_ < 32) {
            cache_ |= static_cast<uint64_t>(*next_++) << (32 - count_);
            count_ += 32;
        }
    }
    uint32_t top_bit() const { return static_cast<uint32_t>(cache_ >> 63); }
    // The next n bits (1 ... 32) without taking them; the cache must hold them.
    uint32_t peek(int n) const { return static_cast<uint32_t>(cache_ >> (64 - n)); }
    void drop(int n) {
        cache_ <<= n;
        count_ -= n;
    }
    // n in 1 ... 32; the cache must hold n bits.
    uint32_t take(int n) {
        const uint32_t v = peek(n);
        drop(n);
        return v;
    }
    // Bits taken since the start of `words`.
    uint32_t position() const {
        return static_cast<uint32_t>(next_ - base_) * 32u - static_cast<uint32_t>(count_);
    }

  private:
    const uint32_t* base_;
    const uint32_t* next_;
    uint64_t cache_ = 0;
    int count_ = 0;
};

}  // namespace mpa
