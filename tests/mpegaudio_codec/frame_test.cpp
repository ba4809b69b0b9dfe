#include "codec/frame.h"

#include <gtest/gtest.h>
#include <mpegaudio/frame_header.h>

#include <vector>

#include "bit_writer.h"
#include "memory_source.h"

namespace mpa::test {
namespace {

constexpr uint32_t kLayer2Stereo128 = 0xFFFD8000;  // MPEG-1 Layer II, 128 kbit/s, 44.1 kHz
constexpr uint32_t kLayer3Stereo128 = 0xFFFB9000;  // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz

FrameHeader split(uint32_t word) {
    return header_split(word);
}

// One frame: its header, then `fill` in every body byte.
std::vector<uint8_t> frame(uint32_t header, uint8_t fill) {
    std::vector<uint8_t> f(frame_length(split(header)), fill);
    for (int i = 0; i < 4; ++i) f[i] = static_cast<uint8_t>(header >> (24 - 8 * i));
    return f;
}

// Layer I/II frames are told apart by the first body byte.
int frame_id(FrameReader& r) {
    return static_cast<int>(bits_get(r.bits, 8));
}

TEST(FrameHeader, SplitsTheFields) {
    const FrameHeader h = split(0xFFF3A6E5);  // MPEG-2 Layer III, CRC, index 10, 16 kHz...
    EXPECT_EQ(h.version, 0u);
    EXPECT_EQ(h.layer(), 3u);
    EXPECT_EQ(h.protection, 1u);
    EXPECT_EQ(h.bitrate_index, 10u);
    EXPECT_EQ(h.rate_index, 1u);
    EXPECT_EQ(h.padding, 1u);
    EXPECT_EQ(h.private_bit, 0u);
    EXPECT_EQ(h.mode, 3u);
    EXPECT_EQ(h.mode_extension, 2u);
    EXPECT_EQ(h.flags, 5u);
    EXPECT_EQ(h.sample_rate(), 24000u);
    EXPECT_EQ(h.bitrate_kbps(), 96u);
    EXPECT_EQ(h.level(), 2u);
    EXPECT_EQ(split(0xFFE30000).version, 2u);  // MPEG 2.5
    EXPECT_EQ(split(0xFFEB0000).version, 3u);  // reserved
    EXPECT_EQ(split(0xFFE30400).sample_rate(), 12000u);
}

TEST(FrameHeader, LengthsFollowLayerVersionAndPadding) {
    EXPECT_EQ(frame_length(split(kLayer3Stereo128)), 417u);
    EXPECT_EQ(frame_length(split(kLayer3Stereo128 | 0x200)), 418u);
    EXPECT_EQ(frame_length(split(0xFFFDE400)), 1152u);    // Layer II 384 kbit/s, 48 kHz
    EXPECT_EQ(frame_length(split(0xFFFFE800)), 672u);     // Layer I 448 kbit/s, 32 kHz
    EXPECT_EQ(frame_length(split(0xFFFF1200)), 36u);      // Layer I 32 kbit/s, 44.1 kHz, padded
    EXPECT_EQ(frame_length(split(0xFFF31400)), 24u);      // MPEG-2 Layer III 8 kbit/s, 24 kHz
    EXPECT_EQ(frame_length(split(0xFFE31000)), 52u);      // MPEG 2.5 Layer III 8 kbit/s, 11.025 kHz
    EXPECT_EQ(side_info_length(split(0xFFFB90C0)), 17u);  // MPEG-1 single channel
    EXPECT_EQ(side_info_length(split(0xFFFA9000)), 34u);  // MPEG-1 two channels with CRC
    EXPECT_EQ(side_info_length(split(0xFFF390C0)), 9u);
    EXPECT_EQ(side_info_length(split(0xFFF29000)), 19u);
    EXPECT_EQ(split(kLayer3Stereo128).samples(), 1152u);
    EXPECT_EQ(split(0xFFF39000).samples(), 576u);
    EXPECT_EQ(split(0xFFFF9000).samples(), 384u);
}

TEST(FrameHeader, ChecksRefuseForbiddenCombinations) {
    EXPECT_TRUE(header_valid(split(kLayer3Stereo128)));
    EXPECT_FALSE(header_valid(split(0xFFFB0000)));  // free format
    EXPECT_FALSE(header_valid(split(0xFFFBF000)));  // bitrate index 15
    EXPECT_FALSE(header_valid(split(0xFFF99000)));  // layer field 0
    EXPECT_FALSE(header_valid(split(0xFFFB9600)));  // padding at 48 kHz
    EXPECT_TRUE(header_valid(split(0xFFFB9200)));   // padding at 44.1 kHz
    EXPECT_FALSE(header_valid(split(0xFFFB9C00)));  // rate index 3
    EXPECT_FALSE(header_valid(split(0xFFFD1000)));  // Layer II 32 kbit/s, stereo
    EXPECT_TRUE(header_valid(split(0xFFFD10C0)));   // ... single channel
    EXPECT_TRUE(header_valid(split(0xFFFD50C0)));   // 80 kbit/s single channel
    EXPECT_FALSE(header_valid(split(0xFFFD5000)));  // ... two channels
    EXPECT_FALSE(header_valid(split(0xFFFDB0C0)));  // 224 kbit/s single channel
    EXPECT_TRUE(header_valid(split(0xFFFDB000)));
    EXPECT_FALSE(header_valid(split(0xFFEB9000)));  // reserved version
    EXPECT_FALSE(header_valid(split(0xFFE59000)));  // MPEG 2.5 Layer II
    EXPECT_TRUE(header_valid(split(0xFFE39000)));   // MPEG 2.5 Layer III
}

// The public check answers exactly as the frame layer decides, for every header word.
TEST(FrameHeader, ThePublicCheckAgreesWithTheFrameLayer) {
    uint32_t accepted = 0;
    for (uint32_t low = 0; low < (1u << 21); ++low) {
        const uint32_t word = 0xFFE00000u | low;
        const FrameHeader h = split(word);
        MpegFrameHeader out{};
        const int32_t rc = mpeg_header_check(word, &out);
        ASSERT_EQ(rc == MPA_OK, header_valid(h)) << std::hex << word;
        if (rc != MPA_OK) {
            ASSERT_EQ(rc, MPA_E_NOT_POSSIBLE);
            continue;
        }
        ++accepted;
        ASSERT_EQ(out.level, h.level());
        ASSERT_EQ(out.layer, h.layer());
        ASSERT_EQ(out.bitrate, h.bitrate_kbps());
        ASSERT_EQ(out.sample_rate, h.sample_rate());
        ASSERT_EQ(out.channels, h.channels());
        ASSERT_EQ(out.mode, h.mode);
        ASSERT_EQ(out.frame_bytes, frame_length(h));
        ASSERT_EQ(out.samples, h.samples());
    }
    EXPECT_GT(accepted, 0u);
    MpegFrameHeader out{};
    EXPECT_EQ(mpeg_header_check(kLayer3Stereo128 & 0xFFDFFFFFu, &out), MPA_E_NOT_POSSIBLE);  // sync bit
    EXPECT_EQ(mpeg_header_check(kLayer3Stereo128, nullptr), MPA_E_BAD_ARGUMENT);
    ASSERT_EQ(mpeg_header_check(kLayer3Stereo128, &out), MPA_OK);
    EXPECT_EQ(out.frame_bytes, 417u);
    EXPECT_EQ(out.bitrate, 128u);
    EXPECT_EQ(out.sample_rate, 44100u);
}

struct Stream {
    explicit Stream(std::vector<uint8_t> b) : bytes(std::move(b)) {}
    std::vector<uint8_t> bytes;
    MemorySource memory{bytes};
    FrameReader reader{memory.source()};
    FrameHeader header;

    int32_t next() { return frame_next(reader, header); }
};

TEST(FrameNext, SkipsLeadingGarbageAndDecodesToTheLastFrame) {
    std::vector<uint8_t> bytes = {0x00, 0x12, 0xFF, 0x07, 0xFF, 0x56};
    for (uint8_t i = 0; i < 3; ++i) append(bytes, frame(kLayer2Stereo128, i));
    auto s = std::make_unique<Stream>(bytes);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(s->next(), 0);
        EXPECT_EQ(frame_id(s->reader), i);
        EXPECT_EQ(s->header.layer(), 2u);
    }
    EXPECT_EQ(s->next(), kEndOfInput);
}

TEST(FrameNext, DropsAFalseSyncWhoseSuccessorIsNoHeader) {
    // A valid-looking header whose frame is followed by zeros, then the real frames.
    std::vector<uint8_t> bytes = frame(kLayer2Stereo128, 0x55);
    append(bytes, std::vector<uint8_t>(4, 0));
    for (uint8_t i = 0; i < 2; ++i) append(bytes, frame(kLayer2Stereo128, i));
    auto s = std::make_unique<Stream>(bytes);
    ASSERT_EQ(s->next(), 0);
    EXPECT_EQ(frame_id(s->reader), 0);
    ASSERT_EQ(s->next(), 0);
    EXPECT_EQ(frame_id(s->reader), 1);
    EXPECT_EQ(s->next(), kEndOfInput);
}

TEST(FrameNext, AcceptsALoneFrameAndNeverFreeFormat) {
    auto lone = std::make_unique<Stream>(frame(kLayer2Stereo128, 9));
    ASSERT_EQ(lone->next(), 0);
    EXPECT_EQ(frame_id(lone->reader), 9);
    EXPECT_EQ(lone->next(), kEndOfInput);

    std::vector<uint8_t> free_format;
    for (int i = 0; i < 5; ++i) append(free_format, frame(0xFFFD0000 | 0x8000, 1));  // sized like 128k
    for (size_t i = 0; i < free_format.size(); i += 417) free_format[i + 2] = 0x00;  // index 0
    auto s = std::make_unique<Stream>(free_format);
    EXPECT_EQ(s->next(), kEndOfInput);
}

TEST(FrameNext, TruncatedLastFrameEndsTheStream) {
    std::vector<uint8_t> bytes = frame(kLayer2Stereo128, 0);
    const auto second = frame(kLayer2Stereo128, 1);
    bytes.insert(bytes.end(), second.begin(), second.begin() + 200);
    auto s = std::make_unique<Stream>(bytes);
    ASSERT_EQ(s->next(), 0);
    EXPECT_EQ(s->next(), kEndOfInput);
    EXPECT_EQ(s->next(), kEndOfInput);
}

// Fails one read that would reach past `fail_at`, then behaves normally.
struct FlakySource {
    MemorySource memory;
    size_t fail_at;
    bool failed = false;
    static int32_t read(void* ctx, uint8_t* buf, uint32_t n) {
        auto* self = static_cast<FlakySource*>(ctx);
        if (!self->failed && self->memory.pos + n > self->fail_at) {
            self->failed = true;
            return -5;
        }
        return MemorySource::read(&self->memory, buf, n);
    }
};

TEST(FrameNext, ResumesAfterAReadErrorAtTheSameStep) {
    std::vector<uint8_t> bytes;
    for (uint8_t i = 0; i < 3; ++i) append(bytes, frame(kLayer2Stereo128, i));
    FlakySource flaky{MemorySource{bytes}, 417 + 100};
    auto reader = std::make_unique<FrameReader>(ByteSource{&FlakySource::read, &flaky});
    FrameHeader h;
    ASSERT_EQ(frame_next(*reader, h), 0);
    EXPECT_EQ(frame_id(*reader), 0);
    EXPECT_EQ(frame_next(*reader, h), -5);
    ASSERT_EQ(frame_next(*reader, h), 0);
    EXPECT_EQ(frame_id(*reader), 1);
    ASSERT_EQ(frame_next(*reader, h), 0);
    EXPECT_EQ(frame_id(*reader), 2);
    EXPECT_EQ(frame_next(*reader, h), kEndOfInput);
}

TEST(FrameNext, SkipsTheCrcBeforeTheBody) {
    std::vector<uint8_t> f = frame(kLayer2Stereo128 & ~0x10000u, 3);
    f[4] = 0xAB;  // CRC
    f[5] = 0xCD;
    auto s = std::make_unique<Stream>(f);
    ASSERT_EQ(s->next(), 0);
    EXPECT_EQ(s->header.protection, 0u);
    EXPECT_EQ(frame_id(s->reader), 3);
}

// Layer III: 32 bytes of side information, then 381 bytes of main data filled with the frame's
// number.
TEST(Reservoir, ReachesBackIntoEarlierFramesAcrossTheRing) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 24; ++i) append(bytes, frame(kLayer3Stereo128, static_cast<uint8_t>(i)));
    auto s = std::make_unique<Stream>(bytes);

    ASSERT_EQ(s->next(), 0);
    EXPECT_FALSE(reservoir_fetch(s->reader, 10, 100));  // nothing before the first frame
    ASSERT_EQ(s->next(), 0);
    ASSERT_TRUE(reservoir_fetch(s->reader, 300, 8 * 400));
    EXPECT_EQ(bits_get(s->reader.bits, 8), 0u);  // 300 bytes back: frame 0
    bits_skip(s->reader.bits, 8 * 299);
    EXPECT_EQ(bits_get(s->reader.bits, 8), 1u);  // this frame's own first byte

    for (uint32_t i = 2; i < 24; ++i) {  // 24 x 381 bytes wrap the 4096-byte ring twice
        ASSERT_EQ(s->next(), 0);
        ASSERT_TRUE(reservoir_fetch(s->reader, 511, 8 * 600));
        EXPECT_EQ(bits_get(s->reader.bits, 8), i - 2);  // 511 bytes back reaches two frames back
        bits_skip(s->reader.bits, 8 * (511 - 381 - 1));
        EXPECT_EQ(bits_get(s->reader.bits, 8), i - 1);
        bits_skip(s->reader.bits, 8 * 380);
        EXPECT_EQ(bits_get(s->reader.bits, 8), i);
    }
}

TEST(Reservoir, ResetForgetsReceivedMainData) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 6; ++i) append(bytes, frame(kLayer3Stereo128, static_cast<uint8_t>(i)));
    auto s = std::make_unique<Stream>(bytes);
    ASSERT_EQ(s->next(), 0);
    ASSERT_TRUE(reservoir_fetch(s->reader, 0, 8));
    frame_reset(s->reader);
    ASSERT_EQ(s->next(), 0);
    EXPECT_FALSE(reservoir_fetch(s->reader, 200, 8));  // like the first frames after a seek
    ASSERT_EQ(s->next(), 0);
    EXPECT_TRUE(reservoir_fetch(s->reader, 200, 8));  // the dropped frame's bytes still count
}

}  // namespace
}  // namespace mpa::test
