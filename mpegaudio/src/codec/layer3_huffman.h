// Layer III Huffman code books, stored as binary trees in arrays of signed 16-bit entries.
// A negative entry -k is an inner node: read one bit, skip k entries when it is 1, then take
// the next entry. A non-negative entry is a leaf: x in bits 7-4 and y in bits 3-0 for the
// big-value books; v, w, x, y in bits 3-0 for the count1 books.
#pragma once

#include <cstdint>

namespace mpa::l3 {

// Decoding starts with a look-up of the next kLookupBits bits: an entry without kLookupDeeper
// holds the code length in bits 11-8 and the leaf in bits 7-0; with it, the code is longer and
// the walk goes on in the tree at the node in bits 9-0, kLookupBits bits further.
inline constexpr int kLookupBits = 8;
inline constexpr uint16_t kLookupDeeper = 0x8000;

struct HuffTable {
    const int16_t* tree;     // null for the books that code nothing (0, and the unused 4 and 14)
    const uint16_t* lookup;  // 1 << kLookupBits entries
    uint16_t size;           // entries in the tree (2 * leaves - 1)
    uint8_t linbits;
};

// Indexed by table_select (0 ... 31).
extern const HuffTable kBigValueTables[32];
// Indexed by count1table_select: A (0) and B (1).
extern const HuffTable kCount1Tables[2];

}  // namespace mpa::l3
