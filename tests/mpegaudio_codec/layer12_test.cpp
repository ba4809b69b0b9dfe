#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "bit_writer.h"
#include "codec/frame.h"
#include "codec/layer12_tables.h"
#include "stream_decode.h"
#include "../shared_data.h"

namespace mpa::test {
namespace {

// Header word with a bitrate index, rate index and mode on top of `base`.
uint32_t header(uint32_t base, uint32_t bitrate, uint32_t rate, uint32_t mode, uint32_t ext = 0) {
    return base | bitrate << 12 | rate << 10 | mode << 6 | ext << 4;
}
constexpr uint32_t kLayer1 = 0xFFFF0000;  // MPEG-1 Layer I, no CRC
constexpr uint32_t kLayer2 = 0xFFFD0000;  // MPEG-1 Layer II, no CRC
constexpr uint32_t kLayer2Lsf = 0xFFF50000;

unsigned sblimit_for(uint32_t word) {
    return layer2_alloc_table(header_split(word)).sblimit;
}

TEST(Layer2Tables, AllocationTableChosenByRateAndBitratePerChannel) {
    EXPECT_EQ(sblimit_for(header(kLayer2, 4, 1, 3)), 27u);   // 48 kHz, 64 kbit/s mono
    EXPECT_EQ(sblimit_for(header(kLayer2, 4, 0, 1)), 8u);    // 44.1 kHz, 64 kbit/s joint stereo
    EXPECT_EQ(sblimit_for(header(kLayer2, 2, 0, 3)), 8u);    // 44.1 kHz, 48 kbit/s mono
    EXPECT_EQ(sblimit_for(header(kLayer2, 2, 1, 3)), 8u);    // 48 kHz, 48 kbit/s mono
    EXPECT_EQ(sblimit_for(header(kLayer2, 4, 2, 0)), 12u);   // 32 kHz, 32 kbit/s per channel
    EXPECT_EQ(sblimit_for(header(kLayer2, 9, 0, 0)), 27u);   // 44.1 kHz, 80 per channel
    EXPECT_EQ(sblimit_for(header(kLayer2, 10, 0, 0)), 30u);  // 44.1 kHz, 96 per channel
    EXPECT_EQ(sblimit_for(header(kLayer2, 10, 1, 0)), 27u);  // 48 kHz, 96 per channel
    EXPECT_EQ(sblimit_for(header(kLayer2, 6, 2, 3)), 30u);   // 32 kHz, 96 mono
    EXPECT_EQ(sblimit_for(header(kLayer2, 3, 2, 3)), 27u);   // 32 kHz, 56 mono
    EXPECT_EQ(sblimit_for(header(kLayer2Lsf, 1, 0, 3)), 30u);
    EXPECT_EQ(sblimit_for(header(kLayer2Lsf, 14, 2, 0)), 30u);
}

TEST(Layer2Tables, EveryAllocationRowIsCompleteAndOrdered) {
    // Per table: the bits that its allocation fields take (ISO/IEC 11172-3 B.2a-d, 13818-3 B.1).
    const std::pair<uint32_t, unsigned> tables[] = {{header(kLayer2, 9, 0, 0), 88},
                                                    {header(kLayer2, 10, 0, 0), 94},
                                                    {header(kLayer2, 4, 0, 1), 26},
                                                    {header(kLayer2, 4, 2, 0), 38},
                                                    {header(kLayer2Lsf, 1, 0, 3), 75}};
    for (const auto& [word, allocation_bits] : tables) {
        const AllocTable& t = layer2_alloc_table(header_split(word));
        unsigned bits = 0;
        for (unsigned sb = 0; sb < t.sblimit; ++sb) {
            const AllocRow& row = *t.rows[sb];
            ASSERT_TRUE(row.nbal >= 2 && row.nbal <= 4);
            bits += row.nbal;
            uint32_t previous = 0;
            for (unsigned a = 1; a < (1u << row.nbal); ++a) {  // every allocation value has a class
                ASSERT_LT(row.cls[a - 1], kQuantClasses);
                const uint32_t steps = quant_class(row.cls[a - 1]).steps;
                EXPECT_GT(steps, previous) << "subband " << sb << " allocation " << a;
                previous = steps;
            }
            if (sb > 0) {
                EXPECT_LE(row.nbal, t.rows[sb - 1]->nbal);  // precision falls with frequency
            }
        }
        EXPECT_EQ(bits, allocation_bits) << std::hex << word;
    }
}

TEST(Layer2Tables, DegroupingTablesInvertTheGrouping) {
    for (unsigned i = 0; i < kQuantClasses; ++i) {
        const QuantClass& q = quant_class(i);
        if (q.degroup == nullptr) {
            EXPECT_EQ(q.steps, (1u << q.bits) - 1);
            continue;
        }
        const uint32_t steps = q.steps;
        EXPECT_GE(1u << q.bits, steps * steps * steps);
        std::set<uint32_t> codes;
        for (uint32_t code = 0; code < (1u << q.bits); ++code) {
            const float* v = q.degroup + 3 * code;
            if (code >= steps * steps * steps) {
                EXPECT_TRUE(v[0] == 0.0f && v[1] == 0.0f && v[2] == 0.0f) << code;
                continue;
            }
            uint32_t back = 0;
            for (int k = 2; k >= 0; --k) {
                const double digit = v[k] * steps / 2.0 + (steps - 1) / 2.0;
                ASSERT_NEAR(digit, std::round(digit), 1e-4);
                ASSERT_LE(std::fabs(v[k]), 1.0f);
                back = back * steps + static_cast<uint32_t>(std::lround(digit));
            }
            EXPECT_EQ(back, code);
        }
    }
}

TEST(Layer12Tables, ScaleFactorsHalveEveryThreeStepsAndEndInZero) {
    const float* sf = scale_factors();
    EXPECT_FLOAT_EQ(sf[0], 2.0f);
    EXPECT_FLOAT_EQ(sf[1], 1.587401052f);
    for (int i = 3; i < 63; ++i) EXPECT_FLOAT_EQ(sf[i], sf[i - 3] / 2) << i;
    EXPECT_EQ(sf[63], 0.0f);
}

// Layer I, 44.1 kHz, 32 kbit/s, mono: 32-byte frames; the body starts with 32 allocations.
std::vector<uint8_t> layer1_frame(unsigned first_allocation, unsigned first_scale) {
    BitWriter body;
    body.put(first_allocation, 4);
    for (int sb = 1; sb < 32; ++sb) body.put(0, 4);
    if (first_allocation != 0) body.put(first_scale, 6);
    return make_frame(header(kLayer1, 1, 0, 3), body);
}

TEST(Layer1, ForbiddenAllocationOrScaleFactorDropsOnlyThatFrame) {
    std::vector<uint8_t> bytes = layer1_frame(15, 0);
    append(bytes, layer1_frame(1, 63));
    append(bytes, layer1_frame(1, 20));
    append(bytes, layer1_frame(0, 0));
    const Decoded d = decode_stream(bytes);
    EXPECT_EQ(d.fatal, 2u);
    EXPECT_EQ(d.frames, 2u);
    EXPECT_EQ(d.pcm.size(), 2u * 384);
}

TEST(Layer1, QuarterRateGives96SamplesAt11025Hz) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    const auto bytes = read_file(dir + "/l1-fl6.bit");  // 44.1 kHz stereo
    const Decoded full = decode_stream(bytes);
    const Decoded quarter = decode_stream(bytes, {.downsampling = 2});
    EXPECT_EQ(quarter.sample_rate, 11025u);
    EXPECT_EQ(quarter.channels, 2u);
    EXPECT_EQ(quarter.frames, full.frames);
    EXPECT_EQ(quarter.pcm.size(), full.frames * 96u * 2);
    const Decoded half = decode_stream(bytes, {.downsampling = 1});
    EXPECT_EQ(half.sample_rate, 22050u);
    EXPECT_EQ(half.pcm.size(), full.frames * 192u * 2);
}

// Layer II, 44.1 kHz, 64 kbit/s, joint stereo: the 8-subband table, so bound 12 is too high.
TEST(Layer2, JointStereoBoundBeyondSblimitIsFatal) {
    std::vector<uint8_t> bytes = make_frame(header(kLayer2, 4, 0, 1, 1), BitWriter{});
    append(bytes, make_frame(header(kLayer2, 4, 0, 1, 2), BitWriter{}));
    append(bytes, make_frame(header(kLayer2, 4, 0, 1, 0), BitWriter{}));
    const Decoded d = decode_stream(bytes);
    EXPECT_EQ(d.frames, 2u);
    EXPECT_EQ(d.fatal, 1u);
    EXPECT_EQ(d.channels, 2u);
}

// Layer II, 48 kHz, 64 kbit/s, mono (27-subband table): subband 0 alone carries a full-scale
// 15-step signal in every granule, with the scale factors of its three parts given.
std::vector<uint8_t> layer2_frame(unsigned sf0, unsigned sf1, unsigned sf2) {
    BitWriter body;
    body.put(3, 4);  // subband 0, allocation 3: 15 steps, 4 bits
    for (unsigned sb = 1; sb < 27; ++sb) body.put(0, sb < 11 ? 4 : sb < 23 ? 3 : 2);
    body.put(0, 2);  // scfsi: three scale factors
    body.put(sf0, 6);
    body.put(sf1, 6);
    body.put(sf2, 6);
    for (int gr = 0; gr < 12; ++gr) {
        for (int s = 0; s < 3; ++s) body.put(gr % 2 == 0 ? 14 : 0, 4);
    }
    return make_frame(header(kLayer2, 4, 1, 3), body);
}

TEST(Layer2, ScaleFactor63SilencesItsPart) {
    const Decoded d = decode_stream(layer2_frame(10, 63, 63));
    ASSERT_EQ(d.frames, 1u);
    EXPECT_EQ(d.fatal, 0u);
    ASSERT_EQ(d.pcm.size(), 1152u);
    int loud = 0;
    for (size_t i = 0; i < 12 * 32; ++i) loud += d.pcm[i] != 0;
    EXPECT_GT(loud, 300);
    // From row 12 on the input is zero; 16 rows later the filter history holds only zeros.
    for (size_t i = 28 * 32; i < 1152; ++i) ASSERT_EQ(d.pcm[i], 0) << i;

    const Decoded quiet = decode_stream(layer2_frame(63, 63, 63));
    EXPECT_EQ(quiet.pcm, std::vector<int16_t>(1152, 0));
}

TEST(Layer2, ChannelModesSelectOrMixTheProgrammes) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    const auto bytes = read_file(dir + "/l2-fl14.bit");  // dual channel
    const Decoded both = decode_stream(bytes);
    const Decoded first = decode_stream(bytes, {.channel_mode = 1});
    const Decoded second = decode_stream(bytes, {.channel_mode = 2});
    const Decoded mix = decode_stream(bytes, {.channel_mode = 3});
    ASSERT_EQ(both.channels, 2u);
    ASSERT_EQ(mix.channels, 1u);
    ASSERT_EQ(first.pcm.size() * 2, both.pcm.size());
    ASSERT_EQ(second.pcm.size() * 2, both.pcm.size());
    ASSERT_EQ(mix.pcm.size() * 2, both.pcm.size());
    size_t differs = 0;
    for (size_t i = 0; i < mix.pcm.size(); ++i) {
        const int l = both.pcm[2 * i], r = both.pcm[2 * i + 1];
        ASSERT_EQ(first.pcm[i], l);
        ASSERT_EQ(second.pcm[i], r);
        ASSERT_LE(std::abs(2 * mix.pcm[i] - (l + r)), 3) << i;
        differs += l != r;
    }
    EXPECT_GT(differs, mix.pcm.size() / 2);  // two different programmes

    // A single-channel stream gives its one channel whatever the mode asks for.
    const auto mono = read_file(dir + "/l2-fl13.bit");
    const Decoded plain = decode_stream(mono);
    ASSERT_EQ(plain.channels, 1u);
    for (uint32_t mode = 1; mode < 4; ++mode) {
        const Decoded d = decode_stream(mono, {.channel_mode = mode});
        EXPECT_EQ(d.channels, 1u);
        EXPECT_EQ(d.pcm, plain.pcm) << "mode " << mode;
    }
}

}  // namespace
}  // namespace mpa::test
