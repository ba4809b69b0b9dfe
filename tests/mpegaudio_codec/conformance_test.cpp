// Layer I and II conformance streams of ISO/IEC 11172-4 must decode to full accuracy.
#include <gtest/gtest.h>

#include <string>

#include "pcm_compare.h"
#include "stream_decode.h"
#include "../shared_data.h"

namespace mpa::test {
namespace {

class Conformance : public testing::TestWithParam<std::string> {};

std::string stream_name(const testing::TestParamInfo<std::string>& p) {
    return p.param.substr(3);
}

void expect_full_accuracy(const std::string& name, const Decoded& d) {
    const std::vector<int16_t> reference = read_pcm(vectors_dir() + "/" + name + ".pcm");
    ASSERT_GT(d.frames, 0u);
    EXPECT_EQ(d.fatal, 0u);
    EXPECT_EQ(d.end, kEndOfInput);
    const Accuracy a = compare_pcm(d.pcm, reference);
    testing::Test::RecordProperty("rms", std::to_string(a.rms));
    testing::Test::RecordProperty("max_error", std::to_string(a.max_error));
    std::printf("%s: %u frames, %zu samples, rms %.4f LSB, max %d LSB\n", name.c_str(), d.frames, a.compared,
                a.rms, a.max_error);
    EXPECT_FALSE(a.reference_short);
    EXPECT_TRUE(a.full_accuracy()) << "rms " << a.rms << " max " << a.max_error;
}

TEST_P(Conformance, MeetsFullAccuracy) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    expect_full_accuracy(GetParam(), decode_stream(read_file(dir + "/" + GetParam() + ".bit")));
}

TEST_P(Conformance, MeetsFullAccuracyThroughTheDecoder) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    expect_full_accuracy(GetParam(), decode_with_decoder(read_file(dir + "/" + GetParam() + ".bit")));
}

INSTANTIATE_TEST_SUITE_P(LayerI, Conformance,
                         testing::Values<std::string>("l1-fl1", "l1-fl2", "l1-fl3", "l1-fl4", "l1-fl5",
                                                      "l1-fl6", "l1-fl7", "l1-fl8"),
                         stream_name);
INSTANTIATE_TEST_SUITE_P(LayerII, Conformance,
                         testing::Values<std::string>("l2-fl10", "l2-fl11", "l2-fl12", "l2-fl13", "l2-fl14",
                                                      "l2-fl15", "l2-fl16", "l2-test32"),
                         stream_name);

}  // namespace
}  // namespace mpa::test
