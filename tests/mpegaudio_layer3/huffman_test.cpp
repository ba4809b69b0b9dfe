// The Huffman code books and the spectrum decoder: every tree is a complete prefix code with
// one leaf per value, and values written with those codes come back requantised, reordered
// and signed.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "codec/layer3_huffman.h"
#include "codec/layer3_spectrum.h"
#include "codec/layer3_tables.h"
#include "huffman_writer.h"

namespace mpa::test {
namespace {

using l3::HuffTable;
using l3::kBigValueTables;
using l3::kCount1Tables;

// Values per row of each big-value book (0: codes nothing) and its linbits, ISO/IEC 11172-3.
constexpr int kDim[32] = {0,  2,  3,  3,  0,  4,  4,  6,  6,  6,  8,  8,  8,  16, 0,  16,
                          16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
constexpr int kLinbits[32] = {0, 0, 0, 0, 0, 0, 0,  0,  0, 0, 0, 0, 0, 0, 0,  0,
                              1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};

struct TreeShape {
    std::multiset<int> leaves;
    double kraft = 0.0;
    int max_depth = 0;
    bool in_bounds = true;
};

void walk(const HuffTable& t, int p, int depth, TreeShape& s) {
    if (p < 0 || p >= t.size) {
        s.in_bounds = false;
        return;
    }
    if (t.tree[p] >= 0) {
        s.leaves.insert(t.tree[p]);
        s.kraft += std::ldexp(1.0, -depth);
        s.max_depth = std::max(s.max_depth, depth);
        return;
    }
    walk(t, p + 1, depth + 1, s);
    walk(t, p + 1 - t.tree[p], depth + 1, s);
}

void expect_complete_book(const HuffTable& t, int dim, bool count1) {
    TreeShape s;
    walk(t, 0, 0, s);
    const int values = count1 ? 16 : dim * dim;
    EXPECT_TRUE(s.in_bounds);
    EXPECT_EQ(t.size, 2 * values - 1) << "every entry is reachable";
    EXPECT_EQ(static_cast<int>(s.leaves.size()), values);
    EXPECT_DOUBLE_EQ(s.kraft, 1.0) << "complete prefix code";
    EXPECT_LE(s.max_depth, 19);
    std::set<int> expected;
    for (int i = 0; i < values; ++i) expected.insert(count1 ? i : (i / dim) << 4 | (i % dim));
    EXPECT_EQ(std::set<int>(s.leaves.begin(), s.leaves.end()), expected) << "each value exactly once";
}

TEST(Layer3HuffmanBooks, EveryBookIsACompletePrefixCodeWithOneLeafPerValue) {
    for (int i = 0; i < 32; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(kBigValueTables[i].linbits, kLinbits[i]);
        if (kDim[i] == 0) {
            EXPECT_EQ(kBigValueTables[i].tree, nullptr);
            continue;
        }
        expect_complete_book(kBigValueTables[i], kDim[i], false);
    }
    expect_complete_book(kCount1Tables[0], 0, true);
    expect_complete_book(kCount1Tables[1], 0, true);
    // Table B is four plain bits, inverted.
    for (int v = 0; v < 16; ++v) {
        const Code c = code_of(kCount1Tables[1], v);
        EXPECT_EQ(c.length, 4u);
        EXPECT_EQ(c.bits, 15u - static_cast<uint32_t>(v));
    }
}

// A long-block granule at 44.1 kHz with every gain 1 (global gain 210, no scale factors).
l3::GranuleInfo long_granule(uint32_t big_values, uint32_t r1, uint32_t r2, uint32_t t0, uint32_t t1,
                             uint32_t t2) {
    l3::GranuleInfo g;
    g.big_values = big_values;
    g.global_gain = 210;
    g.table_select[0] = t0;
    g.table_select[1] = t1;
    g.table_select[2] = t2;
    g.region1_start = r1;
    g.region2_start = r2;
    return g;
}

float requantised(int v) {
    return (v < 0 ? -1.0f : 1.0f) * static_cast<float>(std::pow(std::abs(v), 4.0 / 3.0));
}

TEST(Layer3Spectrum, BigValuesAcrossThreeRegionsWithLinbitsAndSigns) {
    const l3::BandTable& bands = l3::kBandTables[3];  // 44.1 kHz
    // Region 0 lines 0-15 (table 7), region 1 lines 16-35 (table 13), region 2 from 36 (table 31,
    // 13 linbits) up to 2 x 30 lines.
    const l3::GranuleInfo g = long_granule(30, 16, 36, 7, 13, 31);
    std::vector<int> values(60);
    for (int i = 0; i < 60; ++i) {
        const int limit = i < 16 ? 5 : i < 36 ? 15 : 8206;
        const int magnitude = (i * 7919 + 3) % (limit + 1);
        values[static_cast<size_t>(i)] = (i % 3 == 0) ? -magnitude : magnitude;
    }
    values[40] = 8206;  // the largest value 13 linbits carry
    values[41] = -15;   // escape value with zero linbits
    BitWriter w;
    for (int i = 0; i < 60; i += 2) {
        const int table = i < 16 ? 7 : i < 36 ? 13 : 31;
        put_pair(w, kBigValueTables[table], values[static_cast<size_t>(i)],
                 values[static_cast<size_t>(i) + 1]);
    }
    const uint32_t end = static_cast<uint32_t>(w.bits());
    const std::vector<uint32_t> words = words_of(w);
    float xr[576];
    const uint32_t lines = l3::decode_spectrum(words.data(), 0, end, g, bands, false, xr);
    EXPECT_EQ(lines, 60u);
    for (int i = 0; i < 60; ++i)
        EXPECT_FLOAT_EQ(xr[i], requantised(values[static_cast<size_t>(i)])) << "line " << i;
    for (int i = 60; i < 576; ++i) ASSERT_EQ(xr[i], 0.0f) << "line " << i;
}

TEST(Layer3Spectrum, Count1QuadruplesStopAtTheGranuleEndAndDropAnOverrun) {
    const l3::BandTable& bands = l3::kBandTables[3];
    for (uint32_t table : {0u, 1u}) {
        SCOPED_TRACE(table);
        l3::GranuleInfo g = long_granule(1, 576, 576, 1, 1, 1);
        g.count1_table = table;
        BitWriter w;
        put_pair(w, kBigValueTables[1], 1, -1);
        const int quads[3][4] = {{1, 0, -1, 0}, {0, 0, 0, 0}, {-1, 1, 1, -1}};
        for (const auto& q : quads) {
            const Code c = code_of(kCount1Tables[table],
                                   (q[0] != 0) << 3 | (q[1] != 0) << 2 | (q[2] != 0) << 1 | (q[3] != 0));
            w.put(c.bits, c.length);
            for (int v : q) {
                if (v != 0) w.put(v < 0 ? 1 : 0, 1);
            }
        }
        const uint32_t full = static_cast<uint32_t>(w.bits());
        const std::vector<uint32_t> words = words_of(w);
        float xr[576];
        EXPECT_EQ(l3::decode_spectrum(words.data(), 0, full, g, bands, false, xr), 14u);
        const float expected[14] = {1, -1, 1, 0, -1, 0, 0, 0, 0, 0, -1, 1, 1, -1};
        for (int i = 0; i < 14; ++i) EXPECT_EQ(xr[i], expected[i]) << "line " << i;
        // One bit short: the last quadruple overruns the granule and is dropped.
        EXPECT_EQ(l3::decode_spectrum(words.data(), 0, full - 1, g, bands, false, xr), 10u);
        for (int i = 10; i < 576; ++i) ASSERT_EQ(xr[i], 0.0f) << "line " << i;
    }
}

TEST(Layer3Spectrum, ShortBlocksLandWindowInterleavedWithTheirGains) {
    const l3::BandTable& bands = l3::kBandTables[3];  // short bands 0, 4, 8, 12, 16, 22, ...
    l3::GranuleInfo g = long_granule(12, 36, 576, 1, 1, 0);
    g.window_switching = true;
    g.block_type = 2;
    g.subblock_gain[1] = 1;  // window 1 is 2^-2 quieter
    g.sf_short[0][2] = 2;    // band 0, window 2: 2^-1 with scalefac_scale 0
    BitWriter w;
    // Stream order: band 0 window 0 (4 lines), window 1, window 2, band 1 window 0, ...
    std::vector<int> values(24, 0);
    values[0] = 1;   // band 0, window 0, k 0
    values[5] = -1;  // band 0, window 1, k 1
    values[11] = 1;  // band 0, window 2, k 3
    values[14] = 1;  // band 1, window 0, k 2
    for (int i = 0; i < 24; i += 2)
        put_pair(w, kBigValueTables[1], values[static_cast<size_t>(i)], values[static_cast<size_t>(i) + 1]);
    const std::vector<uint32_t> words = words_of(w);
    float xr[576];
    l3::decode_spectrum(words.data(), 0, static_cast<uint32_t>(w.bits()), g, bands, false, xr);
    // Line of (band start + k, window w) in interleaved order: 3 (start + k) + w.
    EXPECT_EQ(xr[0], 1.0f);
    EXPECT_EQ(xr[3 * 1 + 1], -0.25f);
    EXPECT_EQ(xr[3 * 3 + 2], 0.5f);
    EXPECT_EQ(xr[3 * (4 + 2) + 0], 1.0f);
    int nonzero = 0;
    for (float v : xr) nonzero += v != 0.0f;
    EXPECT_EQ(nonzero, 4);
}

TEST(Layer3Spectrum, MidSideFoldsOneOverRootTwoIntoTheGainAndScaleFactorsLowerIt) {
    const l3::BandTable& bands = l3::kBandTables[3];
    l3::GranuleInfo g = long_granule(3, 576, 576, 1, 1, 1);
    g.sf_long[1] = 3;  // lines 4-7
    g.preflag = true;  // pretab is 0 in band 1
    g.scalefac_scale = 1;
    BitWriter w;
    put_pair(w, kBigValueTables[1], 1, 0);
    put_pair(w, kBigValueTables[1], 0, 0);
    put_pair(w, kBigValueTables[1], 1, 0);  // line 4
    const std::vector<uint32_t> words = words_of(w);
    float xr[576];
    l3::decode_spectrum(words.data(), 0, static_cast<uint32_t>(w.bits()), g, bands, true, xr);
    EXPECT_FLOAT_EQ(xr[0], static_cast<float>(std::sqrt(0.5)));
    EXPECT_FLOAT_EQ(xr[4], static_cast<float>(std::sqrt(0.5) * std::exp2(-3.0)));  // 3 << 2 quarter steps
}

}  // namespace
}  // namespace mpa::test
