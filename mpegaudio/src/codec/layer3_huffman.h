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

// A second look-up decodes a whole pair or quadruple with its sign bits from the next
// kPairBits bits. Big-value books: when the code word and its sign bits fit (and, in books with
// linbits, neither value is 15), the entry holds their length in bits 13-10 and the signed
// values plus 15 in bits 9-5 (x) and 4-0 (y). A code word of a book with linbits that fits
// but has a value 15 gives kPairEscape with the code length in bits 11-8 and the leaf in bits
// 7-0: linbits and signs follow. Any other entry is kPairSlow: the code word is longer. Count1
// books always fit: the length in bits 11-8, the signs in bits 7-4 and the nonzero flags in
// bits 3-0 (v, w, x, y from bit 3 down).
inline constexpr int kPairBits = 10;
inline constexpr uint16_t kPairSlow = 0x8000;
inline constexpr uint16_t kPairEscape = 0x4000;

struct HuffTable {
    const int16_t* tree;     // null for the books that code nothing (0, and the unused 4 and 14)
    const uint16_t* lookup;  // 1 << kLookupBits entries
    const uint16_t* pairs;   // 1 << kPairBits entries
    uint16_t size;           // entries in the tree (2 * leaves - 1)
    uint8_t linbits;
};

// Indexed by table_select (0 ... 31).
extern const HuffTable kBigValueTables[32];
// Indexed by count1table_select: A (0) and B (1).
extern const HuffTable kCount1Tables[2];

}  // namespace mpa::l3
