// Names that lead to something other than a regular file (a FIFO with or without a writer,
// a device that never ends, a folder), through every place where the two plug-ins open a
// file a user named: each answers at once with its refusal. And every file they keep open
// stays out of the game's child processes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "media_log.h"
#include "mp3_stream.h"
#include "mpeg_reference.h"
#include "ogg_stream.h"
#include "player_fixture.h"
#include "song_player.h"
#include "tracker.h"

namespace orvox::test {
namespace {

namespace fs = std::filesystem;

enum class Special { Fifo, FifoWithSilentWriter, EndlessDevice, Folder };
enum class Opener { OrvoxPlay, Mp3Probe, Mp3Decoder, Ogg, Tracker, MediaLog, WaveSong };

// Named in the order of the enumerations.
constexpr const char* kSpecialNames[] = {"Fifo", "FifoWithSilentWriter", "EndlessDevice", "Folder"};
constexpr const char* kOpenerNames[] = {"OrvoxPlay", "Mp3Probe", "Mp3Decoder", "Ogg",
                                        "Tracker",   "MediaLog", "WaveSong"};

const char* name(Special s) {
    return kSpecialNames[static_cast<int>(s)];
}
const char* name(Opener o) {
    return kOpenerNames[static_cast<int>(o)];
}

class SpecialFile : public PlayerTest, public ::testing::WithParamInterface<std::tuple<Opener, Special>> {
  protected:
    void TearDown() override {
        if (writer_ >= 0) ::close(writer_);
        PlayerTest::TearDown();
    }

    // Makes the special file under `path` (in the test's own folder).
    void make(Special special, const std::string& path) {
        switch (special) {
            case Special::Fifo:
            case Special::FifoWithSilentWriter:
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
                // Read-write: the open does not wait for a reader, and the FIFO has a writer
                // that never writes (and a reader that tells what arrived).
                if (special == Special::FifoWithSilentWriter)
                    writer_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
                break;
            case Special::EndlessDevice:
                fs::create_symlink("/dev/zero", path);
                break;
            case Special::Folder:
                fs::create_directory(path);
                break;
        }
    }

    // Opens `path` the way `opener` does; true when it was refused with the right answer.
    bool refuses(Opener opener, const std::string& path) {
        IDirectSound* device = host::engineDevice();
        switch (opener) {
            case Opener::OrvoxPlay:
                return player_->play(path.c_str(), 1024) == 0 && player_->lastIndex() == -1 &&
                       readLog() == "Error: Orvox_Play - " + path + " does not exist\n";
            case Opener::Mp3Probe:
                return !stream::makeMp3Stream()->open(path.c_str(), true, device);
            case Opener::Mp3Decoder:
                return !stream::makeMp3Stream()->open(path.c_str(), false, device);
            case Opener::Ogg: {
                stream::OggStream ogg;
                return !ogg.open(path.c_str(), true, device) && !ogg.open(path.c_str(), false, device);
            }
            case Opener::Tracker:
                tracker::bringUp();
                return !tracker::loadAndStart(path.c_str());
            case Opener::MediaLog: {
                log::write("dropped\n");
                // The special file is left as it was, and nothing went into a FIFO.
                struct stat info {};
                char byte = 0;
                return ::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) &&
                       (writer_ < 0 || ::read(writer_, &byte, 1) < 0);
            }
            case Opener::WaveSong: {
                wavestream::SongPlayer song;
                return song.load(nullptr, path.c_str(), 2, 44100, 16) == -3 && song.isPlaying() == -1;
            }
        }
        return false;
    }

    int writer_ = -1;
};

TEST_P(SpecialFile, IsRefusedAtOnce) {
    const auto [opener, special] = GetParam();
    const std::string path = opener == Opener::MediaLog ? "MediaLog.txt" : "special.mp3";
    make(special, path);
    ASSERT_FALSE(HasFatalFailure());

    auto answer = std::async(std::launch::async, [&] { return refuses(opener, path); });
    if (answer.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << name(opener) << " waits on " << name(special);
        // Lets a blocked open or read of a FIFO go, so that the test can end: a writer for
        // the open, then the end of the data for the read. A device that never ends cannot
        // be let go.
        const int unblock = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (unblock >= 0) ::close(unblock);
        if (writer_ >= 0) ::close(std::exchange(writer_, -1));
        if (answer.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            std::fprintf(stderr, "%s still waits on %s\n", name(opener), name(special));
            std::_Exit(1);
        }
        return;
    }
    EXPECT_TRUE(answer.get()) << name(opener) << " took " << name(special);
}

INSTANTIATE_TEST_SUITE_P(
    EveryOpen, SpecialFile,
    ::testing::Combine(::testing::Values(Opener::OrvoxPlay, Opener::Mp3Probe, Opener::Mp3Decoder, Opener::Ogg,
                                         Opener::Tracker, Opener::MediaLog, Opener::WaveSong),
                       ::testing::Values(Special::Fifo, Special::FifoWithSilentWriter, Special::EndlessDevice,
                                         Special::Folder)),
    [](const auto& param) {
        return std::string(name(std::get<0>(param.param))) + "_" + name(std::get<1>(param.param));
    });

// The descriptors of the process that child processes would inherit, with what they name.
std::vector<std::string> inheritableDescriptors() {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        const int flags = ::fcntl(fd, F_GETFD);
        if (fd <= STDERR_FILENO || flags == -1 || (flags & FD_CLOEXEC) != 0) continue;
        std::error_code ignored;
        found.push_back(std::to_string(fd) + " -> " + fs::read_symlink(entry.path(), ignored).string());
    }
    return found;
}

using CloseOnExec = PlayerTest;

TEST_F(CloseOnExec, FilesThePlugInsKeepOpenAreNotInherited) {
    const std::string mp3 = mpegMedia("mp3_cbr128_jointstereo_44100.mp3");
    REQUIRE_MEDIA(ogg, "ogg_stereo_44100_music_skull_stones.ogg");
    const fs::path song = fs::path(A5_SHARED_DIR) / "media" / "wav" / "wav_pcm16_stereo_44100_10s.wav";
    A5_SKIP_WITHOUT_SHARED(!mp3.empty() && fs::exists(song), "mp3_cbr128_jointstereo_44100.mp3 and " << song);
    const std::vector<std::string> before = inheritableDescriptors();

    // Each of these keeps its file open while it plays or is loaded.
    EXPECT_EQ(play(mp3, true), 0);
    EXPECT_EQ(play(ogg, true), host::toFixed(1));
    wavestream::SongPlayer songPlayer;
    ASSERT_EQ(songPlayer.load(nullptr, song.c_str(), 2, 44100, 16), 0);
    advanceMs(100);
    EXPECT_EQ(inheritableDescriptors(), before);
}

}  // namespace
}  // namespace orvox::test
