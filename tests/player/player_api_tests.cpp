// Orvox_Play's choice of a source, the sound table and its indexes, and the log.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "guarded_access.h"
#include "media_log.h"
#include "player_fixture.h"

namespace orvox::test {
namespace {

constexpr int32_t kNoSource = -1;
constexpr const char* kShortOgg = "ogg_short_0.06s_dialog-information.oga";
constexpr const char* kNoOpen = "Error: WMA/WMV/ASF: Couldn't open file in Play\n";

void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
}

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    return bytes;
}

class SoundTable : public PlayerTest {};

TEST_F(SoundTable, IndexesCountUpFromZeroAsFixed) {
    REQUIRE_MEDIA(path, kShortOgg);
    EXPECT_EQ(play(path, false), 0);
    EXPECT_EQ(play(path, false), 1024);
    EXPECT_EQ(play(path, false), 2048);
    EXPECT_EQ(player_->lastIndex(), 2);
}

TEST_F(SoundTable, MissingFileIsLoggedAndUsesNoIndex) {
    REQUIRE_MEDIA(path, kShortOgg);
    EXPECT_EQ(player_->play("no such file.ogg", 0), 0);
    EXPECT_EQ(readLog(), "Error: Orvox_Play - no such file.ogg does not exist\n");
    EXPECT_EQ(player_->lastIndex(), -1);
    EXPECT_EQ(play(path, false), 0) << "the next file still gets index 0";
}

TEST_F(SoundTable, TwoPlaysOfOneFileAreIndependent) {
    REQUIRE_MEDIA(path, "ogg_stereo_44100_music_skull_stones.ogg");
    ASSERT_EQ(play(path, true), 0);
    ASSERT_EQ(play(path, true), 1024);
    EXPECT_NE(player_->streamAt(0), player_->streamAt(1));
    EXPECT_NE(player_->streamAt(0)->buffer(), player_->streamAt(1)->buffer());
    advanceMs(400);
    EXPECT_EQ(player_->stop(0), 1);
    advanceMs(400);
    EXPECT_EQ(player_->isPlaying(0), 0);
    EXPECT_EQ(player_->isPlaying(1024), 1);
    EXPECT_TRUE(bufferPlaying(1));
}

TEST_F(SoundTable, FileThatNoSourceReadsUsesItsIndexAndLeavesAnEmptyEntry) {
    REQUIRE_MEDIA(path, kShortOgg);
    writeFile("noise.bin", randomBytes(50000, 7));
    EXPECT_EQ(player_->play("noise.bin", 1024), kNoSource);
    EXPECT_EQ(readLog(), kNoOpen);
    EXPECT_EQ(player_->lastIndex(), 0);
    EXPECT_EQ(player_->stop(0), 1);
    EXPECT_EQ(player_->isPlaying(0), 0);
    EXPECT_EQ(player_->setVolume(0, 50 << 10), 1);
    EXPECT_EQ(player_->fade(0, 5 << 10, true), 1);
    EXPECT_EQ(player_->togglePause(0), 1);
    EXPECT_EQ(player_->streamAt(0), nullptr);
    EXPECT_EQ(play(path, false), 1024) << "the failed play used index 0";
}

TEST_F(SoundTable, ExtensionPlaysNoPartOnlyTheContent) {
    REQUIRE_MEDIA(path, kShortOgg);
    std::filesystem::copy_file(path, "disguised.mp3");
    EXPECT_EQ(player_->play("disguised.mp3", 0), 0);
    EXPECT_EQ(readLog(), "Success: OGG: disguised.mp3 playing with index: 0\n");
    EXPECT_NE(bufferStream(0), nullptr);
}

TEST_F(SoundTable, PlaysAtTheEngineDeviceOfTheMoment) {
    REQUIRE_MEDIA(path, kShortOgg);
    ASSERT_EQ(play(path, false), 0);
    EXPECT_EQ(device_->buffers().size(), 1u);
    // Without a device the buffer cannot be made: the stream's own line, and raw -1.
    // The stream keeps no file open for nothing.
    A5_DLLAPI(nullptr);
    const auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto filesBefore = openFiles();
    EXPECT_EQ(play(path, false), kNoSource);
    EXPECT_EQ(openFiles(), filesBefore);
    EXPECT_EQ(player_->lastIndex(), 1);
    EXPECT_NE(readLog().find("Error: OGG: Couldn't create sound buffer in SetupStreamBuffer\n"), std::string::npos);
    EXPECT_EQ(player_->isPlaying(1024), 0);
    EXPECT_EQ(player_->stop(1024), 1);
    EXPECT_EQ(player_->togglePause(1024), 1);
    EXPECT_EQ(player_->shutdown(), 1);
    EXPECT_EQ(player_->isPlaying(0), 0);
}

// Counts the open-write-close rounds on "MediaLog.txt" while `action` runs. Opens are
// watched too: identical events in a row would be merged into one.
template <class Action>
int logRounds(Action action) {
    writeFile("MediaLog.txt", "");
    const int fd = inotify_init1(IN_NONBLOCK);
    const int watch = inotify_add_watch(fd, "MediaLog.txt", IN_OPEN | IN_CLOSE_WRITE);
    action();
    int rounds = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t n; (n = read(fd, events, sizeof events)) > 0;) {
        for (char* p = events; p < events + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            if (event->mask & IN_CLOSE_WRITE) ++rounds;
            p += sizeof(inotify_event) + event->len;
        }
    }
    inotify_rm_watch(fd, watch);
    close(fd);
    return rounds;
}

TEST_F(SoundTable, SuccessLineArrivesAsSixFragments) {
    REQUIRE_MEDIA(path, kShortOgg);
    std::filesystem::copy_file(path, "a.ogg");
    for (int i = 0; i < 3; ++i) ASSERT_EQ(player_->play("a.ogg", 0), host::toFixed(i));
    const int rounds = logRounds([&] { EXPECT_EQ(player_->play("a.ogg", 0), host::toFixed(3)); });
    EXPECT_EQ(rounds, 6) << "\"Success: OGG: \", name, \" playing \", \"with index: \", \"3\", \"\\n\"";
    EXPECT_EQ(readLog(), "Success: OGG: a.ogg playing with index: 3\n");
}

TEST_F(SoundTable, LogIsAppendedAcrossRunsWithoutBanner) {
    REQUIRE_MEDIA(path, kShortOgg);
    writeFile("MediaLog.txt", "from an earlier run\n");
    std::filesystem::copy_file(path, "a.ogg");
    ASSERT_EQ(player_->play("a.ogg", 0), 0);
    EXPECT_EQ(readLog(), "from an earlier run\nSuccess: OGG: a.ogg playing with index: 0\n");
}

TEST_F(SoundTable, LoggingSwitchRestartsOrSilencesTheLog) {
    writeFile("MediaLog.txt", "from an earlier run\n");
    log::setLogging(true);
    EXPECT_EQ(readLog(), "Orvox media log\n");
    player_->play("missing.ogg", 0);
    EXPECT_EQ(readLog(), "Orvox media log\nError: Orvox_Play - missing.ogg does not exist\n");

    log::setLogging(false);
    player_->play("missing.ogg", 0);
    player_->stop(99 << 10);
    player_->stopAll();
    EXPECT_EQ(readLog(), "Orvox media log\nError: Orvox_Play - missing.ogg does not exist\n");
    std::filesystem::remove("MediaLog.txt");
    log::setLogging(false);
    EXPECT_FALSE(std::filesystem::exists("MediaLog.txt")) << "switching off touches no file";
}

TEST_F(SoundTable, UnopenableLogDropsTheFragments) {
    REQUIRE_MEDIA(path, kShortOgg);
    std::filesystem::create_directory("MediaLog.txt");
    EXPECT_EQ(player_->play("missing.ogg", 0), 0);
    EXPECT_EQ(play(path, false), 0);
    EXPECT_EQ(player_->stopAll(), 1);
    EXPECT_TRUE(std::filesystem::is_directory("MediaLog.txt"));
}

class IndexResolution : public PlayerTest {};

TEST_F(IndexResolution, IntegerPartSelectsTheEntry) {
    REQUIRE_MEDIA(path, kShortOgg);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(play(path, true), host::toFixed(i));
    EXPECT_EQ(player_->stop(3 * 1024 + 921), 1);  // 3.9 selects index 3
    EXPECT_EQ(player_->isPlaying(3 << 10), 0);
    EXPECT_EQ(player_->isPlaying(2 << 10), 1);
    EXPECT_EQ(readLog().find("Error"), std::string::npos);
}

TEST_F(IndexResolution, IndexAboveTheLastIsRefusedAndLogged) {
    REQUIRE_MEDIA(path, kShortOgg);
    ASSERT_EQ(play(path, true), 0);
    const std::string before = readLog();
    const std::string line = "Error: Index greater than actual number of sounds\n";
    EXPECT_EQ(player_->stop(1 << 10), 0);
    EXPECT_EQ(player_->setVolume(1000000 << 10, 0), 0);
    EXPECT_EQ(player_->fade(2 << 10, 5 << 10, false), 0);
    EXPECT_EQ(player_->togglePause(7 << 10), 0);
    EXPECT_EQ(player_->isPlaying(1 << 10), 0);
    EXPECT_EQ(readLog(), before + line + line + line + line + line);
    EXPECT_EQ(player_->isPlaying(0), 1) << "the real sound is untouched";
}

TEST_F(IndexResolution, NegativeIndexIsRefusedWithoutTouchingTheTable) {
    REQUIRE_MEDIA(path, kShortOgg);
    ASSERT_EQ(play(path, true), 0);
    EXPECT_EQ(player_->stop(-1024), 0);
    EXPECT_EQ(player_->stop(-256), 0);  // -0.25 is -1
    EXPECT_EQ(player_->isPlaying(-1024), 0);
    EXPECT_EQ(player_->setVolume(INT32_MIN, 0), 0);
    EXPECT_EQ(player_->isPlaying(0), 1);
    EXPECT_NE(readLog().find("Error: Index below zero\n"), std::string::npos);
}

TEST(GuardedAccess, BadPositionEndsTheProcessWithItsMessage) {
    std::vector<int> list(3);
    EXPECT_EQ(&orvox::guardedAt(list, 2), &list[2]);
    EXPECT_EXIT(orvox::guardedAt(list, 3), ::testing::ExitedWithCode(1), "^Illegal vector index: 3 max index = 2\n$");
    EXPECT_EXIT(orvox::guardedAt(list, -1), ::testing::ExitedWithCode(1), "Illegal vector index: -1 max index = 2");
}

}  // namespace
}  // namespace orvox::test
