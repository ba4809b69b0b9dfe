// Recoverable stream errors reach the error callback, one report for each damaged frame,
// with the codec's id, the error's status code and a short text; decoding goes on.
#include <gtest/gtest.h>
#include <algorithm>
#include <mpegaudio/frame_header.h>

#include <string>
#include <vector>

#include "stream_decode.h"
#include "../shared_data.h"

namespace mpa::test {
namespace {

struct Report {
    int32_t module_id;
    int32_t status;
    std::string summary;
    std::string detail;
};

int32_t keep_report(void* user, int32_t module_id, int32_t status, const char* summary, const char* detail) {
    static_cast<std::vector<Report>*>(user)->push_back({module_id, status, summary, detail});
    return 0;
}

struct Outcome {
    Decoded decoded;
    std::vector<Report> reports;
};

Outcome decode_reporting(const std::vector<uint8_t>& bytes) {
    Outcome run;
    DecoderSession session(bytes);
    session.get()->on_error = keep_report;
    session.get()->error_user = &run.reports;
    EXPECT_EQ(session.open(), 0);
    run.decoded = session.decode_all();
    return run;
}

uint32_t word_at(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 |
           bytes[at + 3];
}

// Where each whole frame of a stream starts, as long as the frames follow each other.
std::vector<size_t> frame_starts(const std::vector<uint8_t>& bytes) {
    std::vector<size_t> starts;
    size_t at = 0;
    MpegFrameHeader h{};
    while (at + 4 <= bytes.size() && mpeg_header_check(word_at(bytes, at), &h) == MPA_OK &&
           at + h.frame_bytes <= bytes.size()) {
        starts.push_back(at);
        at += h.frame_bytes;
    }
    return starts;
}

// Side information starts after the header and its CRC.
size_t side_info_at(const std::vector<uint8_t>& bytes, size_t frame) {
    return frame + 4 + ((bytes[frame + 1] & 1) == 0 ? 2 : 0);
}

void put_bits(std::vector<uint8_t>& bytes, size_t at, uint32_t bit, int count, uint32_t value) {
    for (int i = count - 1; i >= 0; --i, ++bit) {
        const auto mask = static_cast<uint8_t>(0x80 >> (bit % 8));
        uint8_t& byte = bytes[at + bit / 8];
        byte = (value >> i & 1) != 0 ? byte | mask : byte & ~mask;
    }
}

enum class Damage { sync, header, big_values };

// Damages one frame: its sync pattern, its bitrate index (15 is refused), or the length of
// the first granule's Huffman data (MPEG-1 Layer III: 8 bits, far less than its big values).
void damage(std::vector<uint8_t>& bytes, size_t frame, Damage kind) {
    switch (kind) {
        case Damage::sync:
            bytes[frame] = 0;
            break;
        case Damage::header:
            bytes[frame + 2] |= 0xF0;
            break;
        case Damage::big_values: {
            const bool single_channel = (bytes[frame + 3] >> 6) == 3;
            put_bits(bytes, side_info_at(bytes, frame), single_channel ? 18 : 20, 12, 8);
            break;
        }
    }
}

struct DamageCase {
    const char* stream;
    Damage kind;
    int32_t status;
};

class StreamErrors : public ::testing::TestWithParam<DamageCase> {};

TEST_P(StreamErrors, EachDamagedFrameIsReportedOnceAndDecodingGoesOn) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    const DamageCase& c = GetParam();
    std::vector<uint8_t> bytes = read_file(dir + "/" + c.stream + ".bit");
    const Outcome clean = decode_reporting(bytes);
    EXPECT_TRUE(clean.reports.empty()) << clean.reports.front().detail;

    const std::vector<size_t> starts = frame_starts(bytes);
    ASSERT_GT(starts.size(), 40u);
    const std::vector<size_t> damaged = {8, 20, 33};
    for (size_t k : damaged) damage(bytes, starts[k], c.kind);
    const Outcome run = decode_reporting(bytes);

    ASSERT_EQ(run.reports.size(), damaged.size());
    for (const Report& r : run.reports) {
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.module_id, 0);  // the codec, the first module registered
        EXPECT_EQ(r.summary, "stream error");
        EXPECT_FALSE(r.detail.empty());
    }
    // A frame whose header is gone is skipped; a frame with bad Huffman data still plays.
    const uint32_t lost = c.kind == Damage::big_values ? 0 : static_cast<uint32_t>(damaged.size());
    EXPECT_EQ(run.decoded.frames, clean.decoded.frames - lost);
    EXPECT_EQ(run.decoded.end, MPA_E_END_OF_INPUT);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, StreamErrors,
    ::testing::Values(DamageCase{"l1-fl7", Damage::sync, MPA_E_LOST_SYNC},
                      DamageCase{"l2-fl16", Damage::sync, MPA_E_LOST_SYNC},
                      DamageCase{"l1-fl1", Damage::header, MPA_E_BAD_HEADER},
                      DamageCase{"l2-test32", Damage::header, MPA_E_BAD_HEADER},
                      DamageCase{"l3-he_44khz", Damage::big_values, MPA_E_HUFFMAN_OVERRUN},
                      DamageCase{"l3-he_mode", Damage::big_values, MPA_E_HUFFMAN_OVERRUN}),
    [](const ::testing::TestParamInfo<DamageCase>& c) {
        std::string name = c.param.stream;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

// Frames whose Layer III main data begins before the first byte received (a stream that
// starts in the middle, as after a cut) decode to silence, each with one report. Which
// frames those are follows from each frame's main_data_begin and the main data before it.
TEST(StreamErrors, FramesReachingBeforeTheReceivedMainDataAreReportedEach) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    for (const char* name : {"l3-he_44khz", "l3-si_huff", "l3-compl", "l3-he_48khz"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> whole = read_file(dir + "/" + name + ".bit");
        const std::vector<size_t> all = frame_starts(whole);
        ASSERT_GT(all.size(), 30u);
        const std::vector<uint8_t> cut(whole.begin() + static_cast<long>(all[25]), whole.end());

        uint32_t expected = 0;
        uint32_t received = 0;  // main data bytes of the frames before
        for (size_t at : frame_starts(cut)) {
            MpegFrameHeader h{};
            ASSERT_EQ(mpeg_header_check(word_at(cut, at), &h), MPA_OK);
            ASSERT_EQ(h.level, 1u);  // MPEG-1: a 9-bit main_data_begin, 17 or 32 bytes of side info
            const size_t side = side_info_at(cut, at);
            const uint32_t begin = (uint32_t{cut[side]} << 1) | (cut[side + 1] >> 7);
            if (begin > received) ++expected;
            received += h.frame_bytes - static_cast<uint32_t>(side - at) - (h.channels == 1 ? 17 : 32);
        }
        ASSERT_GT(expected, 0u);

        const Outcome run = decode_reporting(cut);
        ASSERT_EQ(run.reports.size(), expected);
        for (const Report& r : run.reports) EXPECT_EQ(r.status, MPA_E_MAIN_DATA);
        EXPECT_EQ(run.decoded.frames, all.size() - 25);
    }
}

}  // namespace
}  // namespace mpa::test
