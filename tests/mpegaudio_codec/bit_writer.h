// Builds MPEG audio test frames bit by bit, most significant bit first.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/frame.h"

namespace mpa::test {

class BitWriter {
  public:
    void put(uint32_t value, unsigned bits) {
        for (unsigned i = bits; i-- > 0;) {
            if (used_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i & 1u) != 0) bytes_.back() |= static_cast<uint8_t>(0x80u >> (used_ % 8));
            ++used_;
        }
    }
    // Pads with zero bytes up to `length` bytes.
    std::vector<uint8_t> finish(size_t length) {
        bytes_.resize(length, 0);
        return bytes_;
    }
    size_t bits() const { return used_; }

  private:
    std::vector<uint8_t> bytes_;
    size_t used_ = 0;
};

// A frame with the given header word and body bits, zero-padded to the header's length.
inline std::vector<uint8_t> make_frame(uint32_t word, BitWriter body = {}) {
    BitWriter w;
    w.put(word, 32);
    for (uint8_t byte : body.finish((body.bits() + 7) / 8)) w.put(byte, 8);
    return w.finish(frame_length(header_split(word)));
}

inline void append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

}  // namespace mpa::test
