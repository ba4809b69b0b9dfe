// Whole Layer III frames built bit by bit: impossible side information, missing main data,
// silence, and the MPEG 2.5 scale-factor bands.
#include "codec/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "huffman_writer.h"
#include "stream_decode.h"
#include "../shared_data.h"

namespace mpa::test {
namespace {

enum Version : uint32_t { kMpeg2 = 2, kMpeg1 = 3, kMpeg25 = 0 };  // header bits 20-19

struct Format {
    Version version;
    uint32_t rate_index;
    uint32_t bitrate_index;
};

uint32_t header_word(const Format& f) {
    return 0xFFE00000u | f.version << 19 | 1u << 17 /* Layer III */ | 1u << 16 /* no CRC */ |
           f.bitrate_index << 12 | f.rate_index << 10 | 3u << 6 /* single channel */;
}

// Granule fields of the side information (single channel, long blocks unless noted).
struct Granule {
    uint32_t part2_3_length = 0;
    uint32_t big_values = 0;
    uint32_t global_gain = 210;
    uint32_t scalefac_compress = 0;
    bool window_switching = false;
    uint32_t block_type = 0;
    uint32_t table_select = 1;
};

void put_granule(BitWriter& s, const Granule& g, bool mpeg1) {
    s.put(g.part2_3_length, 12);
    s.put(g.big_values, 9);
    s.put(g.global_gain, 8);
    s.put(g.scalefac_compress, mpeg1 ? 4 : 9);
    s.put(g.window_switching, 1);
    if (g.window_switching) {
        s.put(g.block_type, 2);
        s.put(0, 1);  // mixed_block_flag
        s.put(g.table_select, 5);
        s.put(g.table_select, 5);
        s.put(0, 9);  // subblock gains
    } else {
        for (int r = 0; r < 3; ++r) s.put(g.table_select, 5);
        s.put(15, 4);  // region0_count: region 0 reaches far
        s.put(7, 3);
    }
    if (mpeg1) s.put(0, 1);  // preflag
    s.put(0, 2);             // scalefac_scale, count1table_select
}

// One frame: header, side information and main data, padded to the frame's length.
std::vector<uint8_t> frame(const Format& f, uint32_t main_data_begin, const std::vector<Granule>& granules,
                           const BitWriter& main) {
    const bool mpeg1 = f.version == kMpeg1;
    BitWriter out;
    out.put(header_word(f), 32);
    out.put(main_data_begin, mpeg1 ? 9 : 8);
    out.put(0, mpeg1 ? 5 : 1);  // private bits
    if (mpeg1) out.put(0, 4);   // scfsi
    for (const Granule& g : granules) put_granule(out, g, mpeg1);
    append(out, main);
    std::vector<uint8_t> bytes = bytes_of(out);
    const uint32_t length = frame_length(header_split(header_word(f)));
    EXPECT_LE(bytes.size(), length);
    bytes.resize(length, 0);
    return bytes;
}

const Format kMono44k{kMpeg1, 0, 9};  // 128 kbit/s, 417-byte frames

std::vector<uint8_t> repeat(const std::vector<uint8_t>& f, int n) {
    std::vector<uint8_t> s;
    for (int i = 0; i < n; ++i) s.insert(s.end(), f.begin(), f.end());
    return s;
}

// Main data of one granule: `pairs` big-value pairs with a 1 at line `line` (table 1).
BitWriter spectrum_with_line(uint32_t pairs, uint32_t line) {
    BitWriter w;
    for (uint32_t p = 0; p < pairs; ++p) {
        put_pair(w, l3::kBigValueTables[1], 2 * p == line ? 1 : 0, 2 * p + 1 == line ? 1 : 0);
    }
    return w;
}

bool all_zero(const std::vector<int16_t>& pcm) {
    return std::all_of(pcm.begin(), pcm.end(), [](int16_t v) { return v == 0; });
}

TEST(Layer3Frame, SilentFramesDecodeToZeros) {
    const std::vector<uint8_t> f = frame(kMono44k, 0, {Granule{}, Granule{}}, BitWriter{});
    const Decoded d = decode_stream(repeat(f, 3));
    EXPECT_EQ(d.frames, 3u);
    EXPECT_EQ(d.fatal, 0u);
    EXPECT_EQ(d.pcm.size(), 3u * 1152);
    EXPECT_TRUE(all_zero(d.pcm));
}

TEST(Layer3Frame, ImpossibleSideInformationDropsOnlyThatFrame) {
    const std::vector<uint8_t> good = frame(kMono44k, 0, {Granule{}, Granule{}}, BitWriter{});
    Granule too_many;
    too_many.big_values = 289;
    Granule switched_normal;
    switched_normal.window_switching = true;
    switched_normal.block_type = 0;
    for (const Granule& bad : {too_many, switched_normal}) {
        std::vector<uint8_t> s = repeat(good, 2);
        const std::vector<uint8_t> b = frame(kMono44k, 0, {Granule{}, bad}, BitWriter{});
        s.insert(s.end(), b.begin(), b.end());
        s.insert(s.end(), good.begin(), good.end());
        const Decoded d = decode_stream(s);
        EXPECT_EQ(d.fatal, 1u);
        EXPECT_EQ(d.frames, 3u) << "the frame after the bad one decodes";
        EXPECT_EQ(d.end, kEndOfInput);
    }
}

TEST(Layer3Frame, MainDataBeforeTheReceivedBytesGivesSilenceNotNoise) {
    const BitWriter granule = spectrum_with_line(100, 10);
    BitWriter both;
    for (int i = 0; i < 2; ++i) {
        append(both, granule);
    }
    Granule g1;
    g1.big_values = 100;
    g1.part2_3_length = static_cast<uint32_t>(granule.bits());
    // The first frame points 300 bytes back, before anything was received.
    std::vector<uint8_t> s = frame(kMono44k, 300, {g1, g1}, both);
    const std::vector<uint8_t> good = frame(kMono44k, 0, {g1, g1}, both);
    s.insert(s.end(), good.begin(), good.end());
    const Decoded d = decode_stream(s);
    ASSERT_EQ(d.frames, 2u);
    EXPECT_EQ(d.fatal, 0u);
    const std::vector<int16_t> first(d.pcm.begin(), d.pcm.begin() + 1152);
    const std::vector<int16_t> second(d.pcm.begin() + 1152, d.pcm.end());
    EXPECT_TRUE(all_zero(first));
    EXPECT_FALSE(all_zero(second));
}

// A line's band decides which scale factor lowers it. Stream A puts a scale factor of 2 on the
// band that holds the line in the rate's table; stream B has no scale factors and a global
// gain 4 quarter steps lower. They decode to the same samples only when the decoder places
// the line in that band.
struct BandProbe {
    const char* name;
    Format format;
    uint32_t line;
    int band;  // long band of `line` in the rate's table
};

class Mpeg25Bands : public testing::TestWithParam<BandProbe> {};

std::vector<int16_t> decode_probe(const BandProbe& p, bool with_scale_factor) {
    // MPEG-2 long-block groups of bands: 0-5, 6-10, 11-15, 16-20 (scalefac_compress < 400).
    const int group = p.band < 6 ? 0 : p.band < 11 ? 1 : p.band < 16 ? 2 : 3;
    static constexpr int kGroupStart[5] = {0, 6, 11, 16, 21};
    unsigned slen[4] = {0, 0, 0, 0};
    BitWriter main;
    Granule g;
    g.big_values = 288;
    if (with_scale_factor) {
        slen[group] = 3;
        for (int b = kGroupStart[group]; b < kGroupStart[group + 1]; ++b) main.put(b == p.band ? 2 : 0, 3);
        g.scalefac_compress = ((slen[0] * 5 + slen[1]) << 4) + (slen[2] << 2) + slen[3];
    } else {
        g.global_gain -= 4;
    }
    const BitWriter lines = spectrum_with_line(288, p.line);
    append(main, lines);
    g.part2_3_length = static_cast<uint32_t>(main.bits());
    return decode_stream(repeat(frame(p.format, 0, {g}, main), 3)).pcm;
}

TEST_P(Mpeg25Bands, ScaleFactorsApplyToTheBandsOfTheRatesTable) {
    const BandProbe& p = GetParam();
    const std::vector<int16_t> a = decode_probe(p, true);
    const std::vector<int16_t> b = decode_probe(p, false);
    ASSERT_EQ(a.size(), 3u * 576);
    EXPECT_FALSE(all_zero(a));
    EXPECT_EQ(a, b);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, Mpeg25Bands,
    testing::Values(
        // 8 kHz: line 100 lies in band 7 (88-108) and line 567 in band 17 (566-568); the
        // 16 kHz rows would put them in bands 11 and 21.
        BandProbe{"khz8_line100", {kMpeg25, 2, 8}, 100, 7},
        BandProbe{"khz8_line567", {kMpeg25, 2, 8}, 567, 17},
        // 11.025 and 12 kHz use the 16 kHz rows: line 100 in band 11 (96-116), line 30 in band 5.
        BandProbe{"khz11_line100", {kMpeg25, 0, 8}, 100, 11},
        BandProbe{"khz12_line30", {kMpeg25, 1, 8}, 30, 5},
        // MPEG-2 at 22.05 kHz for contrast: line 100 in band 11 (96-116).
        BandProbe{"khz22_line100", {kMpeg2, 0, 8}, 100, 11}),
    [](const testing::TestParamInfo<BandProbe>& i) { return std::string(i.param.name); });

TEST(Layer3Frame, Mpeg25FileDecodesAt8kHz) {
    const std::vector<uint8_t> bytes =
        read_file(std::string(A5_SHARED_DIR) + "/media/mpeg/mp3_mpeg25_mono_8000.mp3");
    A5_SKIP_WITHOUT_SHARED(!bytes.empty(), "media files under " << A5_SHARED_DIR);
    const Decoded d = decode_stream(bytes);
    EXPECT_EQ(d.fatal, 0u);
    EXPECT_GE(d.frames, 198u);
    EXPECT_EQ(d.sample_rate, 8000u);
    EXPECT_EQ(d.pcm.size(), d.frames * 576u);
    EXPECT_FALSE(all_zero(d.pcm));
}

}  // namespace
}  // namespace mpa::test
