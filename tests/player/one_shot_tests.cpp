// Sounds played once, as a game plays its sound effects: each is heard to its last sample
// and then silence.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "mpeg_reference.h"
#include "output_compare.h"
#include "player_fixture.h"
#include "buffer_stream.h"

namespace orvox::test {
namespace {

struct OneShotCase {
    const char* file;
    bool mpeg;  // decoded by mpegaudio from its second frame on, else by libvorbisfile
};

void PrintTo(const OneShotCase& c, std::ostream* os) { *os << c.file; }

class OneShot : public PlayerTest, public ::testing::WithParamInterface<OneShotCase> {};

// The output runs at the files' rate: every sample must come out as decoded, then only
// silence, however the end falls among the refill ticks.
TEST_P(OneShot, IsHeardToItsLastSampleThenSilence) {
    const OneShotCase& c = GetParam();
    const std::string path = c.mpeg ? mpegMedia(c.file) : oggMedia(c.file);
    if (path.empty()) GTEST_SKIP() << "shared media absent: " << c.file;
    const std::vector<int16_t> decoded = c.mpeg ? decodeMpeg(path).afterFirstFrame() : decodeOgg(path);
    Capture capture;
    ASSERT_EQ(play(path, false), 0);
    ASSERT_EQ(bufferStream(0)->format().nSamplesPerSec, kOutputRate);
    const unsigned channels = bufferStream(0)->format().nChannels;
    std::vector<int16_t> stereo;
    for (size_t i = 0; i + channels <= decoded.size(); i += channels)
        stereo.insert(stereo.end(), {decoded[i], decoded[i + channels - 1]});
    const double durationMs = 1000.0 * static_cast<double>(stereo.size() / 2) / kOutputRate;
    advanceMs(durationMs + 2000);
    EXPECT_EQ(player_->isPlaying(0), 0);

    const std::vector<int16_t> out = capture.samples();
    const long lead = firstNonZeroFrame(stereo, 2);
    ASSERT_GE(lead, 0);
    const long offset = firstNonZeroFrame(out, 2) - lead;
    // 65536 bytes of 16-bit mono last twice as long as of stereo.
    EXPECT_NEAR(offset, kStereoLatencyFrames * (channels == 1 ? 2 : 1), kMixBlockFrames);
    ASSERT_GE(offset, 0);
    const long end = offset + static_cast<long>(stereo.size() / 2);
    ASSERT_LT(2 * end, static_cast<long>(out.size()));
    long compared = 0;
    EXPECT_EQ(mismatchedFrames(out, offset, stereo, &compared), 0);
    EXPECT_EQ(compared, static_cast<long>(stereo.size() / 2)) << "the last sample is heard";
    EXPECT_TRUE(std::all_of(out.begin() + 2 * end, out.end(), [](int16_t s) { return s == 0; }))
        << "silence after the end: nothing old comes round again";
}

INSTANTIATE_TEST_SUITE_P(Files, OneShot,
                         ::testing::Values(OneShotCase{"ogg_short_0.06s_dialog-information.oga", false},
                                           OneShotCase{"real_mp3_vbri_header_truncated_rare_frames.mp3", true},
                                           OneShotCase{"real_mp3_bladeenc_no_vbr_header.mp3", true},
                                           OneShotCase{"mp3_cbr128_jointstereo_44100.mp3", true}));

}  // namespace
}  // namespace orvox::test
