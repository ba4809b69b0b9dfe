// Sounds played once, as a game plays its sound effects: each is heard to its last sample
// and then silence, and once it has ended it holds no file, decoder or buffer, so that a
// game can play thousands of them.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' allocator keeps its own count (GCC ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

#include "ffmpeg_reference.h"
#include "mpeg_reference.h"
#include "output_compare.h"
#include "player_fixture.h"
#include "buffer_stream.h"

namespace orvox::test {
namespace {

size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

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
    A5_SKIP_WITHOUT_SHARED(!path.empty(), c.file);
    const std::vector<int16_t> decoded = c.mpeg ? decodeMpeg(path).afterFirstFrame() : decodeOgg(path);
    // The tail that an earlier test's converted sound left in the mixer plays out first.
    advanceMs(50);
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
    EXPECT_EQ(bufferStream(0)->buffer(), nullptr) << "released once it ended";

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
                                           OneShotCase{"mp3_cbr128_jointstereo_44100.mp3", true}),
                         [](const ::testing::TestParamInfo<OneShotCase>& c) {
                             return media_reference::testNameOf(c.param.file);
                         });

class OneShotRelease : public PlayerTest {
protected:
    void TearDown() override {
        if (limited_) setrlimit(RLIMIT_NOFILE, &previous_);
        PlayerTest::TearDown();
    }
    void limitOpenFiles(rlim_t count) {
        ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &previous_), 0);
        rlimit lower = previous_;
        lower.rlim_cur = std::min(previous_.rlim_cur, count);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lower), 0);
        limited_ = true;
    }

    rlimit previous_{};
    bool limited_ = false;
};

// A short MP3 and a short Ogg file, one every quarter second, 2000 times, under a limit of
// 256 open files: every play succeeds (also its log line), and the ended ones cost a few
// KiB each at most. A paused sound and a looping one keep everything meanwhile.
TEST_F(OneShotRelease, ThousandsOfPlaysUnderAFileLimitKeepMemoryFlat) {
    const std::string mp3 = mpegMedia("real_mp3_vbri_header_truncated_rare_frames.mp3");
    REQUIRE_MEDIA(ogg, "ogg_short_0.06s_dialog-information.oga");
    REQUIRE_MEDIA(music, "ogg_stereo_44100_music_skull_stones.ogg");
    REQUIRE_MEDIA(loop, "ogg_mono_22050_pause.ogg");
    A5_SKIP_WITHOUT_SHARED(!mp3.empty(), "real_mp3_vbri_header_truncated_rare_frames.mp3");
    limitOpenFiles(256);

    ASSERT_EQ(play(music, false), 0);
    ASSERT_EQ(play(loop, true), host::toFixed(1));
    advanceMs(500);
    player_->togglePause(0);

    constexpr int kPlays = 2000;
    size_t heapAfterWarmUp = 0;
    for (int i = 0; i < kPlays; ++i) {
        ASSERT_EQ(play(i % 2 == 0 ? mp3 : ogg, false), host::toFixed(i + 2)) << "play " << i;
        advanceMs(250);
        if (i == 199) heapAfterWarmUp = heapInUse();
    }
    advanceMs(2000);
    EXPECT_EQ(player_->isPlaying(host::toFixed(kPlays + 1)), 0);
    const double perPlay =
        (static_cast<double>(heapInUse()) - static_cast<double>(heapAfterWarmUp)) / (kPlays - 200);
    RecordProperty("bytes_per_ended_sound", static_cast<int>(perPlay));
    EXPECT_LT(perPlay, 4096.0) << "bytes kept per ended sound";
    const std::string log = readLog();
    int successLines = 0;
    for (size_t at = log.find("Success: "); at != std::string::npos; at = log.find("Success: ", at + 1))
        ++successLines;
    EXPECT_EQ(successLines, kPlays + 2);

    // An ended sound answers as one: not playing, and nothing resumes it.
    const host::fixed ended = host::toFixed(kPlays);
    EXPECT_EQ(player_->stop(ended), 1);
    EXPECT_EQ(player_->setVolume(ended, host::toFixed(50)), 1);
    EXPECT_EQ(player_->fade(ended, host::toFixed(5), false), 1);
    EXPECT_EQ(player_->togglePause(ended), 1);
    EXPECT_EQ(player_->togglePause(ended), 1);
    EXPECT_EQ(player_->isPlaying(ended), 0);
    EXPECT_EQ(player_->streamAt(kPlays)->buffer(), nullptr);

    // The paused sound resumes where it stopped; the looping one still plays.
    EXPECT_EQ(player_->isPlaying(host::toFixed(1)), 1);
    player_->togglePause(0);
    EXPECT_EQ(player_->isPlaying(0), 1);
    advanceMs(1000);
    EXPECT_TRUE(bufferPlaying(0));
    EXPECT_TRUE(bufferPlaying(1));
}

}  // namespace
}  // namespace orvox::test
