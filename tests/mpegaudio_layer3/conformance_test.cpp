// Layer III conformance streams of ISO/IEC 11172-4 and 13818-4 must decode to full accuracy.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "reference_length.h"
#include "stream_decode.h"
#include "../shared_data.h"

namespace mpa::test {
namespace {

struct Stream {
    const char* name;
    RefLength length;
};

class Layer3Conformance : public testing::TestWithParam<Stream> {};

std::string stream_name(const testing::TestParamInfo<Stream>& p) {
    std::string s = p.param.name;
    for (char& c : s) {
        if (c == '-') c = '_';
    }
    return s;
}

TEST_P(Layer3Conformance, MeetsFullAccuracy) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    const Stream s = GetParam();
    const Decoded d = decode_stream(read_file(dir + "/" + s.name + ".bit"));
    const std::vector<int16_t> reference = read_pcm(dir + "/" + s.name + ".pcm");
    ASSERT_GT(d.frames, 0u);
    EXPECT_EQ(d.fatal, 0u);
    EXPECT_EQ(d.end, kEndOfInput);
    const Verdict v = judge_layer3(d.pcm, reference, s.length);
    const Accuracy& a = v.accuracy;
    RecordProperty("rms", std::to_string(a.rms));
    RecordProperty("max_error", std::to_string(a.max_error));
    std::printf("%s: %u frames, %zu samples, rms %.4f LSB, max %d LSB\n", s.name, d.frames, a.compared, a.rms,
                a.max_error);
    EXPECT_TRUE(v.length_ok) << "decoded " << d.pcm.size() << " samples, reference " << reference.size();
    EXPECT_TRUE(a.full_accuracy()) << "rms " << a.rms << " max " << a.max_error;
}

INSTANTIATE_TEST_SUITE_P(
    Mpeg1, Layer3Conformance,
    testing::Values(
        Stream{"l3-compl", RefLength::kExact}, Stream{"l3-he_32khz", RefLength::kOneFrameLess},
        Stream{"l3-he_44khz", RefLength::kOneFrameLess}, Stream{"l3-he_48khz", RefLength::kOneFrameLess},
        Stream{"l3-he_mode", RefLength::kExact}, Stream{"l3-hecommon", RefLength::kOneFrameLess},
        Stream{"l3-si", RefLength::kOneFrameLess}, Stream{"l3-si_block", RefLength::kOneFrameLess},
        Stream{"l3-si_huff", RefLength::kOneFrameLess}, Stream{"l3-sin1k0db", RefLength::kLeadingSilence},
        Stream{"l3-test45", RefLength::kExact}, Stream{"l3-test46", RefLength::kExact}),
    stream_name);
INSTANTIATE_TEST_SUITE_P(Mpeg2, Layer3Conformance,
                         testing::Values(Stream{"M2L3_bitrate_16_all", RefLength::kExact},
                                         Stream{"M2L3_bitrate_22_all", RefLength::kExact},
                                         Stream{"M2L3_bitrate_24_all", RefLength::kExact},
                                         Stream{"M2L3_compl24", RefLength::kExact},
                                         Stream{"M2L3_noise", RefLength::kExact}),
                         stream_name);

}  // namespace
}  // namespace mpa::test
