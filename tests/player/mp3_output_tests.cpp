// What MP3 streams played through the player send to the output under the virtual clock,
// compared with the mpegaudio library's own decode. The output runs at 44.1 kHz stereo:
// files at that rate pass the mixer unchanged, so they must match sample for sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "buffer_stream.h"
#include "mpeg_reference.h"
#include "output_compare.h"
#include "player_fixture.h"
#include "stream_output_test.h"
#include "../shared_data.h"

namespace orvox::test {
namespace {

#define REQUIRE_MPEG(var, name)                            \
    const std::string var = ::orvox::test::mpegMedia(name); \
    A5_SKIP_WITHOUT_SHARED(!var.empty(), (name))

class Mp3Output : public StreamOutputTest {};

TEST_F(Mp3Output, StereoFileIsHeardSampleForSampleFromItsSecondFrameOneBufferAfterStart) {
    REQUIRE_MPEG(path, "mp3_cbr128_jointstereo_44100.mp3");
    const std::vector<int16_t> decoded = decodeMpeg(path).afterFirstFrame();
    ASSERT_GT(decoded.size(), 44100u * 2 * 3);
    Capture capture;
    ASSERT_EQ(play(path, false), 0);
    EXPECT_NE(readLog().find("Success: MP3: " + path + " playing with index: 0\n"), std::string::npos);
    advanceMs(2500);

    const std::vector<int16_t> out = capture.samples();
    const long offset = firstNonZeroFrame(out, 2) - firstNonZeroFrame(decoded, 2);
    EXPECT_NEAR(offset, kStereoLatencyFrames, kMixBlockFrames);
    long compared = 0;
    EXPECT_EQ(mismatchedFrames(out, offset, decoded, &compared), 0);
    EXPECT_GT(compared, 44100 * 2) << "two seconds of decoded audio reached the output";
}

TEST_F(Mp3Output, BufferTakesTheFirstFramesFormatAndHalfItsDurationAsPeriod) {
    const FormatCase cases[] = {
        {"mp3_mpeg25_mono_8000.mp3", 1, 8000, 2048},
        {"l1-fl3.bit", 2, 48000, 170},
        {"mp3_cbr128_jointstereo_44100.mp3", 2, 44100, 185},
        {"l1-fl1.bit", 2, 32000, 256},
        {"mp3_mpeg2_lsf_mono_22050.mp3", 1, 22050, 743},
    };
    int index = 0;
    for (const FormatCase& c : cases) {
        REQUIRE_MPEG(path, c.file);
        expectBufferFor(path, index++, c);
    }
}

TEST_F(Mp3Output, NonLoopingFileEndsAtTheTickThatMeetsTheEndAndStopsOnceItIsHeard) {
    REQUIRE_MPEG(path, "l1-fl3.bit");
    const std::vector<int16_t> decoded = decodeMpeg(path).afterFirstFrame();
    const double durationMs = static_cast<double>(decoded.size()) / 2 / 48.0;
    ASSERT_EQ(play(path, false), 0);
    ASSERT_EQ(bufferStream(0)->period(), 170);
    expectEndAtTheTickThatMeetsIt(durationMs);
}

TEST_F(Mp3Output, OddFilesPlayToTheirEndAndStopCleanly) {
    const char* files[] = {
        "mp3_id3v2_picture_padding_id3v1.mp3",   "mp3_vbr_V2_xing_lame.mp3",
        "mp3_mpeg2_lsf_mono_22050.mp3",          "mp3_garbage_4096_bytes_before_first_frame.mp3",
        "mp3_truncated_midframe.mp3",            "mp2_layer2_192k_stereo_44100.mp2",
        "real_mp3_bladeenc_no_vbr_header.mp3",   "real_mp3_vbri_header_truncated_rare_frames.mp3",
        "l1-fl8.bit",
    };
    int index = 0;
    for (const char* name : files) {
        SCOPED_TRACE(name);
        REQUIRE_MPEG(path, name);
        const MpegDecode reference = decodeMpeg(path);
        ASSERT_GT(reference.pcm.size(), reference.firstFrameSamples);
        ASSERT_EQ(play(path, false), host::toFixed(index));
        EXPECT_NE(readLog().find("Success: MP3: " + path), std::string::npos);
        const stream::BufferStream* s = bufferStream(index);
        EXPECT_EQ(s->format().nChannels, reference.channels);
        EXPECT_EQ(s->format().nSamplesPerSec, reference.rate);

        Capture capture;
        const double durationMs =
            1000.0 * static_cast<double>(reference.pcm.size()) / reference.channels / reference.rate;
        advanceMs(durationMs + 3 * s->period() + 1);
        EXPECT_EQ(player_->isPlaying(host::toFixed(index)), 0);
        EXPECT_FALSE(bufferPlaying(index));
        EXPECT_GE(firstNonZeroFrame(capture.samples(), 2), 0) << "something was heard";
        ++index;
    }
}

TEST_F(Mp3Output, LoopingFileKeepsPlayingPassAfterPass) {
    // 0.39 s of audio: a pass ends inside most regions.
    REQUIRE_MPEG(path, "l1-fl3.bit");
    ASSERT_EQ(play(path, true), 0);
    Capture capture;
    advanceMs(4000);
    EXPECT_EQ(player_->isPlaying(0), 1);
    EXPECT_TRUE(bufferPlaying(0));
    // Later passes are whole: the mixer resamples 48 kHz, so look for the pass's energy.
    const std::vector<int16_t> out = capture.samples();
    const auto quiet = std::count(out.end() - 44100, out.end(), int16_t{0});
    EXPECT_LT(quiet, 44100 / 2) << "the last second still carries sound";
}

TEST_F(Mp3Output, OggDataUnderAnMp3NameIsLeftToTheOggProbe) {
    REQUIRE_MPEG(path, "mp3_extension_but_ogg_vorbis_data.mp3");
    ASSERT_EQ(play(path, false), 0);
    EXPECT_NE(readLog().find("Success: OGG: "), std::string::npos);
    EXPECT_EQ(readLog().find("Success: MP3: "), std::string::npos);
}

}  // namespace
}  // namespace orvox::test
