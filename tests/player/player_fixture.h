// Shared ground of the player tests: the runtime under the virtual clock at 44.1 kHz
// stereo (set up in main), an engine device behind a recording device, a fresh Player,
// a private working folder for "MediaLog.txt", the captured output, and libvorbisfile's
// own decode of the media files as the reference.
#pragma once

#include <gtest/gtest.h>
#include <plat/a5platform.h>
#include <plat/dsound.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mix_capture.h"
#include "engine_records.h"
#include "ffmpeg_reference.h"
#include "ogg_reference.h"
#include "player.h"
#include "recording_device.h"
#include "../shared_data.h"

namespace orvox::test {

inline constexpr unsigned kOutputRate = 44100;

// Path of a file of the shared Ogg media; empty when the shared data is absent.
std::string oggMedia(const char* name);
// Path of a file of the shared media in `folder`; empty when the shared data is absent.
using media_reference::sharedMedia;

#define REQUIRE_MEDIA(var, name)                          \
    const std::string var = ::orvox::test::oggMedia(name); \
    A5_SKIP_WITHOUT_SHARED(!var.empty(), (name))


// Interleaved stereo frames the mixer produced since the capture began.
using Capture = a5test::MixCapture;

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static void advanceMs(double ms);
    // Plays a file through the player: the raw result of Orvox_Play.
    int32_t play(const std::string& path, bool loop);
    std::string readLog() const;
    stream::BufferStream* bufferStream(int index);
    LONG attenuation(int index);
    bool bufferPlaying(int index);

    std::filesystem::path workDir_;
    IDirectSound* realDevice_ = nullptr;
    std::unique_ptr<RecordingDevice> device_;
    host::EngineRecords records_;
    std::unique_ptr<Player> player_;

private:
    std::filesystem::path previousDir_;
};

}  // namespace orvox::test
