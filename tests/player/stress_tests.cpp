// Many streams played, paused, faded, stopped and shut down from the script thread while
// another thread keeps the clock running, so refill and fade ticks run beside every
// operation. Meant for the ThreadSanitizer build; in every build it checks that no buffer
// is touched after its release and that every buffer is released in the end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "mpeg_reference.h"
#include "player_fixture.h"
#include "../shared_data.h"

namespace orvox::test {
namespace {

class Stress : public PlayerTest {};

TEST_F(Stress, OperationsBesideRunningTicksTouchNoReleasedBuffer) {
    std::vector<std::string> files;
    for (const char* name : {"ogg_short_0.06s_dialog-information.oga", "ogg_stereo_44100_music_skull_stones.ogg",
                             "ogg_stereo_48000_phone-ring.ogg", "ogg_mono_22050_pause.ogg"}) {
        REQUIRE_MEDIA(path, name);
        files.push_back(path);
    }
    // MP3 streams too: short files end (and loop or stop) at many ticks.
    for (const char* name : {"l1-fl3.bit", "real_mp3_vbri_header_truncated_rare_frames.mp3",
                             "mp3_mpeg2_lsf_mono_22050.mp3"}) {
        const std::string path = mpegMedia(name);
        A5_SKIP_WITHOUT_SHARED(!path.empty(), name);
        files.push_back(path);
    }
    // Windows Media streams: reader threads deliver, and short files end and release
    // themselves on the timer thread, beside everything else.
    for (const char* name : {"wma_v1_mono_22050.wma", "real_wma_v2_header_only_no_audio_packets.wma"}) {
        const std::string path = sharedMedia("wma", name);
        A5_SKIP_WITHOUT_SHARED(!path.empty(), name);
        files.push_back(path);
    }

    std::atomic<bool> running{true};
    std::thread clock([&] {
        while (running.load()) advanceMs(7);
    });

    std::mt19937 rng(2024);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto anyIndex = [&] { return host::toFixed(pick(player_->lastIndex() + 1)); };
    for (int op = 0; op < 2500; ++op) {
        const int what = player_->lastIndex() < 3 ? 0 : pick(100);
        if (what < 6 && player_->lastIndex() < 40) {
            play(files[static_cast<size_t>(pick(static_cast<int>(files.size())))], pick(3) != 0);
        } else if (what < 36) {
            player_->togglePause(anyIndex());
        } else if (what < 60) {
            player_->fade(anyIndex(), host::toFixed(pick(41) - 20), pick(2) == 0);
        } else if (what < 75) {
            player_->setVolume(anyIndex(), host::toFixed(pick(120) - 10));
        } else if (what < 80) {
            player_->stop(anyIndex());
        } else if (what < 99) {
            player_->isPlaying(anyIndex());
        } else if (pick(2) == 0) {
            player_->pauseAll();
        } else {
            player_->stopAll();
        }
        // Let the clock move on between operations, so they meet ticks all along.
        std::this_thread::sleep_for(std::chrono::microseconds(40));
    }
    player_->shutdown();
    for (int op = 0; op < 300; ++op) {
        const host::fixed index = anyIndex();
        player_->togglePause(index);
        player_->fade(index, host::toFixed(5), false);
        player_->setVolume(index, host::toFixed(50));
        player_->stop(index);
    }
    running.store(false);
    clock.join();
    advanceMs(1000);

    const std::vector<TrackedBuffer*> buffers = device_->buffers();
    EXPECT_GT(buffers.size(), 10u);
    for (TrackedBuffer* b : buffers) {
        EXPECT_TRUE(b->released());
        EXPECT_EQ(b->callsAfterRelease(), 0);
    }
}

}  // namespace
}  // namespace orvox::test
