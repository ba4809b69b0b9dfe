// Test helpers that write Layer III bit streams: an MSB-first bit writer, the code word of a
// value in a Huffman tree, and the frame buffer words the decoder reads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/layer3_huffman.h"

namespace mpa::test {

class BitWriter {
 public:
  void put(uint32_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
      if (count_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1u) bytes_.back() |= static_cast<uint8_t>(0x80u >> (count_ % 8));
      ++count_;
    }
  }
  uint32_t bits() const { return count_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

  // The bytes grouped into big-endian 32-bit words, as the frame layer prepares them, followed
  // by zero words of slack.
  std::vector<uint32_t> words(size_t slack = 64) const {
    std::vector<uint32_t> w((bytes_.size() + 3) / 4 + slack, 0);
    for (size_t i = 0; i < bytes_.size(); ++i) w[i / 4] |= uint32_t{bytes_[i]} << (24 - 8 * (i % 4));
    return w;
  }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t count_ = 0;
};

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
