#include "codec/bit_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "bit_writer.h"

namespace mpa::test {
namespace {

// Words as the frame layer prepares them: four stream bytes per word, first byte on top.
std::vector<uint32_t> to_words(const std::vector<uint8_t>& bytes) {
    std::vector<uint32_t> words((bytes.size() + 3) / 4 + 1, 0);
    for (size_t i = 0; i < bytes.size(); ++i) words[i / 4] |= uint32_t{bytes[i]} << (24 - 8 * (i % 4));
    return words;
}

TEST(BitReader, ReadsFieldsOfEveryWidthAcrossWordBoundaries) {
    std::mt19937 rng(7);
    std::vector<std::pair<uint32_t, unsigned>> fields;
    BitWriter w;
    for (int i = 0; i < 2000; ++i) {
        const unsigned n = 1 + rng() % 32;
        const uint32_t v = n == 32 ? rng() : rng() & ((1u << n) - 1);
        fields.emplace_back(v, n);
        w.put(v, n);
    }
    const auto words = to_words(w.finish((w.bits() + 7) / 8));
    BitReader r;
    bits_start(r, words.data());
    for (const auto& [v, n] : fields) ASSERT_EQ(bits_get(r, n), v) << n << " bits";
    EXPECT_EQ(bits_consumed(r, words.data()), w.bits());
}

TEST(BitReader, SkipAndUngetMoveTheCursorBothWays) {
    BitWriter w;
    for (uint32_t i = 0; i < 64; ++i) w.put(i, 8);
    const auto words = to_words(w.finish(64));
    BitReader r;
    bits_start(r, words.data());
    bits_skip(r, 8 * 5);
    EXPECT_EQ(bits_get(r, 8), 5u);
    bits_skip(r, 8 * 10 + 4);  // lands mid-byte, in a later word
    EXPECT_EQ(bits_get(r, 4), 16u & 0xF);
    bits_unget(r, 8);
    EXPECT_EQ(bits_get(r, 8), 16u);
    bits_skip(r, 32);  // exactly one word
    EXPECT_EQ(bits_get(r, 8), 21u);
    bits_unget(r, 32);
    EXPECT_EQ(bits_get(r, 8), 18u);
    bits_skip(r, 8 * 2 + 8 * 4 * 3);
    EXPECT_EQ(bits_get(r, 16), (33u << 8) | 34u);
    EXPECT_EQ(bits_consumed(r, words.data()), 35u * 8);
}

}  // namespace
}  // namespace mpa::test
