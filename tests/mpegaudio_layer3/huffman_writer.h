// Test helpers that write Layer III bit streams: the code word of a value in a Huffman tree,
// big-value pairs, and the frame buffer words the decoder reads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bit_writer.h"
#include "codec/layer3_huffman.h"

namespace mpa::test {

// The bytes written so far (the last one zero padded).
inline std::vector<uint8_t> bytes_of(BitWriter w) {
    return w.finish((w.bits() + 7) / 8);
}

// The bytes grouped into big-endian 32-bit words, as the frame layer prepares them, followed
// by zero words of slack.
inline std::vector<uint32_t> words_of(const BitWriter& w, size_t slack = 64) {
    const std::vector<uint8_t> bytes = bytes_of(w);
    std::vector<uint32_t> words((bytes.size() + 3) / 4 + slack, 0);
    for (size_t i = 0; i < bytes.size(); ++i) words[i / 4] |= uint32_t{bytes[i]} << (24 - 8 * (i % 4));
    return words;
}

// Appends the bits of `from` to `to`.
inline void append(BitWriter& to, const BitWriter& from) {
    const std::vector<uint8_t> bytes = bytes_of(from);
    const size_t bits = from.bits();
    for (size_t i = 0; i < bits; ++i) to.put(bytes[i / 8] >> (7 - i % 8) & 1u, 1);
}

struct Code {
    uint32_t bits = 0;
    unsigned length = 0;
};

// The path from the root to the leaf holding `value`; length 0 when there is none.
inline Code code_of(const l3::HuffTable& t, int value) {
    struct Walker {
        const int16_t* tree;
        int value;
        Code found;
        bool walk(int p, uint32_t bits, unsigned depth) {
            if (tree[p] >= 0) {
                if (tree[p] != value) return false;
                found = {bits, depth};
                return true;
            }
            return walk(p + 1, bits << 1, depth + 1) || walk(p + 1 - tree[p], bits << 1 | 1, depth + 1);
        }
    };
    Walker w{t.tree, value, {}};
    if (t.tree != nullptr) w.walk(0, 0, 0);
    return w.found;
}

// Writes one big-value pair with table `t` (linbits escapes and signs included).
inline void put_pair(BitWriter& out, const l3::HuffTable& t, int x, int y) {
    const int ax = std::min(std::abs(x), 15);
    const int ay = std::min(std::abs(y), 15);
    const Code c = code_of(t, ax << 4 | ay);
    out.put(c.bits, c.length);
    for (int v : {x, y}) {
        const int a = std::abs(v);
        if (t.linbits != 0 && a >= 15) out.put(static_cast<uint32_t>(a - 15), t.linbits);
        if (a != 0) out.put(v < 0 ? 1 : 0, 1);
    }
}

}  // namespace mpa::test
