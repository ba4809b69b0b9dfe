// Volume, fades, pause, the playing query and the operations on everything at once, on
// Ogg streams under the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "player_fixture.h"
#include "sound_stream.h"

namespace orvox::test {
namespace {

constexpr const char* kMusic = "ogg_stereo_44100_music_skull_stones.ogg";
constexpr double kFadeTickMs = 500;

host::fixed fx(int n) { return host::toFixed(n); }

class Volume : public PlayerTest {};

TEST_F(Volume, ScaleMapsToQuarterDecibelsAndZeroToSilence) {
    REQUIRE_MEDIA(path, kMusic);
    ASSERT_EQ(play(path, true), 0);
    EXPECT_EQ(attenuation(0), 0) << "a new stream plays at full volume";
    const struct {
        host::fixed volume;
        LONG attenuation;
        int stored;
    } cases[] = {
        {fx(150), 0, 100}, {fx(-3), -10000, 0}, {fx(0), -10000, 0},  {fx(1), -2475, 1},
        {fx(50), -1250, 50}, {fx(100), 0, 100}, {50 * 1024 + 900, -1250, 50},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(player_->setVolume(0, c.volume), 1);
        EXPECT_EQ(attenuation(0), c.attenuation) << c.volume;
        EXPECT_EQ(player_->streamAt(0)->volume(), c.stored);
    }
}

struct FadeMedia {
    const char* folder;
    const char* name;
};

// The fades are the same for every kind of stream: the timer-fed ones and the Windows
// Media stream fed by its reader.
class Fade : public PlayerTest, public ::testing::WithParamInterface<FadeMedia> {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        const std::string path = sharedMedia(GetParam().folder, GetParam().name);
        A5_SKIP_WITHOUT_SHARED(!path.empty(), GetParam().name);
        ASSERT_EQ(play(path, true), 0);
        stream_ = player_->streamAt(0);
    }
    stream::SoundStream* stream_ = nullptr;
};

TEST_P(Fade, InFromSilenceReachesFullAfterTwentyTicksAndEnds) {
    player_->setVolume(0, fx(0));
    EXPECT_EQ(player_->fade(0, fx(5), false), 1);
    advanceMs(19 * kFadeTickMs + 1);
    EXPECT_EQ(stream_->volume(), 95);
    EXPECT_EQ(attenuation(0), 25 * 95 - 2500);
    EXPECT_TRUE(stream_->fading());
    advanceMs(kFadeTickMs);
    EXPECT_EQ(stream_->volume(), 100);
    EXPECT_EQ(attenuation(0), 0);
    EXPECT_FALSE(stream_->fading());
    // Its timer is gone: a volume set now stays.
    player_->setVolume(0, fx(50));
    advanceMs(4 * kFadeTickMs);
    EXPECT_EQ(stream_->volume(), 50);
}

TEST_P(Fade, InAtFullVolumeEndsAtItsFirstTick) {
    player_->fade(0, fx(5), false);
    advanceMs(kFadeTickMs - 1);
    EXPECT_TRUE(stream_->fading());
    advanceMs(2);
    EXPECT_FALSE(stream_->fading());
    EXPECT_EQ(stream_->volume(), 100);
}

TEST_P(Fade, OutToSilenceKeepsTheSoundPlaying) {
    player_->fade(0, fx(30), true);  // 70, 40, 10, 0
    advanceMs(3 * kFadeTickMs + 1);
    EXPECT_EQ(stream_->volume(), 10);
    EXPECT_TRUE(stream_->fading());
    advanceMs(kFadeTickMs);
    EXPECT_EQ(stream_->volume(), 0);
    EXPECT_EQ(attenuation(0), -10000);
    EXPECT_FALSE(stream_->fading());
    EXPECT_EQ(player_->isPlaying(0), 1);
    EXPECT_TRUE(bufferPlaying(0));
}

TEST_P(Fade, StepZeroRunsUntilTheSoundStops) {
    player_->setVolume(0, fx(50));
    player_->fade(0, fx(0), false);
    advanceMs(10 * kFadeTickMs);
    EXPECT_EQ(stream_->volume(), 50);
    EXPECT_TRUE(stream_->fading());
    player_->stop(0);
    EXPECT_FALSE(stream_->fading());
}

TEST_P(Fade, OppositeFadeReplacesTheRunningOne) {
    player_->setVolume(0, fx(50));
    player_->fade(0, fx(5), false);
    advanceMs(2 * kFadeTickMs + 1);
    EXPECT_EQ(stream_->volume(), 60);
    player_->fade(0, fx(10), true);
    advanceMs(kFadeTickMs);
    EXPECT_EQ(stream_->volume(), 50);
    advanceMs(kFadeTickMs);
    EXPECT_EQ(stream_->volume(), 40) << "only the fade-out ticks";
}

TEST_P(Fade, NegativeStepEndsItsOwnTimer) {
    player_->setVolume(0, fx(50));
    player_->fade(0, fx(-25), true);  // a fade-out that rises: 75, 100
    advanceMs(2 * kFadeTickMs + 1);
    EXPECT_EQ(stream_->volume(), 100);
    EXPECT_FALSE(stream_->fading());
    player_->setVolume(0, fx(50));
    player_->fade(0, fx(-25), false);  // a fade-in that falls: 25, 0
    advanceMs(2 * kFadeTickMs);
    EXPECT_EQ(stream_->volume(), 0);
    EXPECT_FALSE(stream_->fading());
    player_->setVolume(0, fx(50));
    advanceMs(4 * kFadeTickMs);
    EXPECT_EQ(stream_->volume(), 50) << "no fade pulls the volume back";
}

TEST_P(Fade, OnAStoppedStreamOnlyStoresTheStep) {
    player_->stop(0);
    player_->setVolume(0, fx(50));
    player_->fade(0, fx(5), false);
    EXPECT_FALSE(stream_->fading());
    advanceMs(4 * kFadeTickMs);
    EXPECT_EQ(stream_->volume(), 50);
}

TEST_P(Fade, PauseEndsTheFadeAndResumeDoesNotRestartIt) {
    player_->setVolume(0, fx(50));
    player_->fade(0, fx(5), true);
    advanceMs(kFadeTickMs + 1);
    EXPECT_EQ(stream_->volume(), 45);
    player_->togglePause(0);
    EXPECT_FALSE(stream_->fading());
    player_->togglePause(0);
    advanceMs(4 * kFadeTickMs);
    EXPECT_EQ(stream_->volume(), 45);
    EXPECT_EQ(player_->isPlaying(0), 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Fade,
                         ::testing::Values(FadeMedia{"ogg", kMusic}, FadeMedia{"wma", "wma_v2_stereo_44100.wma"}),
                         [](const ::testing::TestParamInfo<FadeMedia>& kind) { return std::string(kind.param.folder); });

class Pause : public PlayerTest {};

TEST_F(Pause, TwiceResumesFromWhereItStopped) {
    REQUIRE_MEDIA(path, kMusic);
    const std::vector<int16_t> decoded = decodeOgg(path);
    Capture capture;
    ASSERT_EQ(play(path, false), 0);
    advanceMs(1000);
    EXPECT_EQ(player_->togglePause(0), 1);
    const long pausedAt = static_cast<long>(capture.frames());
    EXPECT_EQ(player_->isPlaying(0), 0);
    EXPECT_TRUE(player_->streamAt(0)->isPaused());
    advanceMs(700);
    const long resumedAt = static_cast<long>(capture.frames());
    EXPECT_EQ(player_->togglePause(0), 1);
    EXPECT_EQ(player_->isPlaying(0), 1);
    EXPECT_FALSE(player_->streamAt(0)->isPaused());
    advanceMs(1500);

    const std::vector<int16_t> out = capture.samples();
    long offset = 0;
    while (offset < pausedAt && out[2 * offset] == 0 && out[2 * offset + 1] == 0) ++offset;
    long lead = 0;
    while (decoded[2 * lead] == 0 && decoded[2 * lead + 1] == 0) ++lead;
    offset -= lead;
    ASSERT_GT(pausedAt, offset);
    // Before the pause: the decode; while paused: silence; after: the decode goes on.
    std::vector<int16_t> expected(out.size(), 0);
    for (long f = offset; f < pausedAt; ++f) {
        expected[2 * f] = decoded[2 * (f - offset)];
        expected[2 * f + 1] = decoded[2 * (f - offset) + 1];
    }
    for (long f = resumedAt; 2 * f < static_cast<long>(out.size()); ++f) {
        expected[2 * f] = decoded[2 * (f - resumedAt + pausedAt - offset)];
        expected[2 * f + 1] = decoded[2 * (f - resumedAt + pausedAt - offset) + 1];
    }
    long bad = 0;
    for (size_t i = 0; i < out.size(); ++i) bad += out[i] != expected[i];
    EXPECT_EQ(bad, 0);
}

TEST_F(Pause, StopBetweenTwoPausesStillResumes) {
    REQUIRE_MEDIA(path, kMusic);
    ASSERT_EQ(play(path, true), 0);
    advanceMs(500);
    player_->togglePause(0);
    EXPECT_EQ(player_->stop(0), 1);
    EXPECT_EQ(player_->isPlaying(0), 0);
    player_->togglePause(0);
    EXPECT_EQ(player_->isPlaying(0), 1);
    advanceMs(500);
    EXPECT_TRUE(bufferPlaying(0));
}

TEST_F(Pause, AfterStopDoesNothing) {
    REQUIRE_MEDIA(path, kMusic);
    ASSERT_EQ(play(path, true), 0);
    advanceMs(500);
    player_->stop(0);
    EXPECT_EQ(player_->togglePause(0), 1);
    advanceMs(500);
    EXPECT_EQ(player_->isPlaying(0), 0);
    EXPECT_FALSE(bufferPlaying(0));
    EXPECT_FALSE(player_->streamAt(0)->isPaused());
}

TEST_F(Pause, AfterTheEndOfANonLoopingStreamDoesNothing) {
    REQUIRE_MEDIA(path, "ogg_short_0.06s_dialog-information.oga");
    ASSERT_EQ(play(path, false), 0);
    advanceMs(1000);
    ASSERT_EQ(player_->isPlaying(0), 0);
    player_->togglePause(0);
    advanceMs(1000);
    EXPECT_EQ(player_->isPlaying(0), 0);
    EXPECT_FALSE(bufferPlaying(0));
}

class AllSounds : public PlayerTest {
protected:
    void playThree() {
        REQUIRE_MEDIA(path, kMusic);
        for (int i = 0; i < 3; ++i) ASSERT_EQ(play(path, true), fx(i));
        advanceMs(400);
    }
};

TEST_F(AllSounds, PauseAllSwapsPausedAndPlaying) {
    playThree();
    player_->togglePause(fx(1));
    const std::string before = readLog();
    EXPECT_EQ(player_->pauseAll(), 1);
    EXPECT_EQ(player_->isPlaying(fx(0)), 0);
    EXPECT_EQ(player_->isPlaying(fx(1)), 1);
    EXPECT_EQ(player_->isPlaying(fx(2)), 0);
    EXPECT_EQ(readLog(), before + "Success: All audio paused/unpaused.\n");
    player_->pauseAll();
    EXPECT_EQ(player_->isPlaying(fx(0)), 1);
    EXPECT_EQ(player_->isPlaying(fx(1)), 0);
}

TEST_F(AllSounds, StopAllStopsEveryStreamButKeepsPausedOnesResumable) {
    playThree();
    player_->togglePause(fx(2));
    const std::string before = readLog();
    EXPECT_EQ(player_->stopAll(), 1);
    EXPECT_EQ(readLog(), before + "Success: All audio stopped.\n");
    advanceMs(400);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(player_->isPlaying(fx(i)), 0);
        EXPECT_FALSE(bufferPlaying(i));
    }
    player_->togglePause(fx(2));
    EXPECT_EQ(player_->isPlaying(fx(2)), 1);
    player_->togglePause(fx(0));
    EXPECT_EQ(player_->isPlaying(fx(0)), 0);
}

TEST_F(AllSounds, ShutdownReleasesEveryBufferAndLaterCallsLeaveThemAlone) {
    playThree();
    player_->togglePause(fx(1));
    player_->fade(fx(0), fx(5), true);
    const std::string before = readLog();
    EXPECT_EQ(player_->shutdown(), 1);
    EXPECT_EQ(readLog(), before + "Success: Shutdown\n");
    for (TrackedBuffer* b : device_->buffers()) EXPECT_TRUE(b->released());

    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(player_->streamAt(i)->buffer(), nullptr);
        EXPECT_EQ(player_->isPlaying(fx(i)), 0);
        EXPECT_EQ(player_->stop(fx(i)), 1);
        EXPECT_EQ(player_->setVolume(fx(i), fx(30)), 1);
        EXPECT_EQ(player_->fade(fx(i), fx(5), false), 1);
        EXPECT_EQ(player_->togglePause(fx(i)), 1);
        EXPECT_EQ(player_->isPlaying(fx(i)), 0);
    }
    player_->pauseAll();
    player_->stopAll();
    player_->shutdown();
    advanceMs(2000);
    for (TrackedBuffer* b : device_->buffers()) EXPECT_EQ(b->callsAfterRelease(), 0);
    EXPECT_EQ(player_->lastIndex(), 2) << "the table stays";
}

class StartFailure : public PlayerTest {};

TEST_F(StartFailure, TimerThatCannotBeMadeIsLoggedAndLeavesThePlayingFlag) {
    REQUIRE_MEDIA(path, kMusic);
    a5p_fail_timer_creations(1);
    EXPECT_EQ(play(path, true), 0);
    EXPECT_NE(readLog().find("Error: OGG: Couldn't create timer in Play\n"), std::string::npos);
    EXPECT_EQ(player_->isPlaying(0), 1);
    EXPECT_FALSE(bufferPlaying(0));
}

TEST_F(StartFailure, BufferThatCannotPlayKeepsItsTimerButLocksNothing) {
    REQUIRE_MEDIA(path, kMusic);
    device_->failPlayOfNewBuffers(true);
    EXPECT_EQ(play(path, true), 0);
    EXPECT_NE(readLog().find("Error: OGG: Couldn't play buffer in Play\n"), std::string::npos);
    advanceMs(2000);
    EXPECT_EQ(device_->last()->locks(), 0) << "the play cursor never moved";
    EXPECT_EQ(player_->isPlaying(0), 1);
}

TEST_F(StartFailure, LostBufferIsRestoredAndPlaysOn) {
    REQUIRE_MEDIA(path, kMusic);
    Capture capture;
    ASSERT_EQ(play(path, true), 0);
    advanceMs(1000);
    TrackedBuffer* buffer = device_->last();
    const int locksBefore = buffer->locks();
    a5p_mark_buffer_lost(buffer->real(), 1);  // the first Restore fails as well
    advanceMs(185);
    EXPECT_FALSE(bufferPlaying(0));
    advanceMs(3 * 185);
    EXPECT_TRUE(bufferPlaying(0));
    EXPECT_GT(buffer->locks(), locksBefore + 1);
    const size_t from = capture.frames();
    advanceMs(1000);
    const std::vector<int16_t> out = capture.samples();
    EXPECT_TRUE(std::any_of(out.begin() + static_cast<long>(2 * from), out.end(), [](int16_t s) { return s != 0; }));
    EXPECT_EQ(player_->isPlaying(0), 1);
}

}  // namespace
}  // namespace orvox::test
