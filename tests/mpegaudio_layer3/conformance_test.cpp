// Layer III conformance streams of ISO/IEC 11172-4 and 13818-4 must decode to full accuracy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>

#include "pcm_compare.h"
#include "stream_decode.h"

namespace mpa::test {
namespace {

// How long a stream's reference is, measured against the decoded PCM.
enum class RefLength {
  kExact,         // every decoded frame, nothing more
  kOneFrameLess,  // one 1152-sample frame per channel shorter than the decode
  kLeadingSilence,  // the decode starts with silent frames that the reference leaves out
};

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
  if (dir.empty()) GTEST_SKIP() << "conformance streams not found under " << A5_SHARED_DIR;
  const Stream s = GetParam();
  const Decoded d = decode_stream(read_file(dir + "/" + s.name + ".bit"));
  const std::vector<int16_t> reference = read_pcm(dir + "/" + s.name + ".pcm");
  ASSERT_GT(d.frames, 0u);
  EXPECT_EQ(d.fatal, 0u);
  EXPECT_EQ(d.end, kEndOfInput);
  switch (s.length) {
    case RefLength::kExact:
      EXPECT_EQ(d.pcm.size(), reference.size());
      break;
    case RefLength::kOneFrameLess:
      EXPECT_EQ(d.pcm.size(), reference.size() + 1152 * d.channels);
      break;
    case RefLength::kLeadingSilence:
      ASSERT_GE(d.pcm.size(), reference.size());
      break;
  }
  std::span<const int16_t> decoded(d.pcm);
  if (s.length == RefLength::kOneFrameLess) decoded = decoded.first(std::min(decoded.size(), reference.size()));
  if (s.length == RefLength::kLeadingSilence) {
    const std::span<const int16_t> lead = decoded.first(decoded.size() - reference.size());
    EXPECT_GT(lead.size(), 0u);
    EXPECT_TRUE(std::all_of(lead.begin(), lead.end(), [](int16_t v) { return v == 0; }));
    decoded = decoded.subspan(lead.size());
  }
  const Accuracy a = compare_pcm(decoded, reference);
  RecordProperty("rms", std::to_string(a.rms));
  RecordProperty("max_error", std::to_string(a.max_error));
  std::printf("%s: %u frames, %zu samples, rms %.4f LSB, max %d LSB\n", s.name, d.frames, a.compared,
              a.rms, a.max_error);
  EXPECT_TRUE(a.full_accuracy()) << "rms " << a.rms << " max " << a.max_error;
}

INSTANTIATE_TEST_SUITE_P(
    Mpeg1, Layer3Conformance,
    testing::Values(Stream{"l3-compl", RefLength::kExact}, Stream{"l3-he_32khz", RefLength::kOneFrameLess},
                    Stream{"l3-he_44khz", RefLength::kOneFrameLess},
                    Stream{"l3-he_48khz", RefLength::kOneFrameLess}, Stream{"l3-he_mode", RefLength::kExact},
                    Stream{"l3-hecommon", RefLength::kOneFrameLess}, Stream{"l3-si", RefLength::kOneFrameLess},
                    Stream{"l3-si_block", RefLength::kOneFrameLess},
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
