// What a Windows Media stream sends to the output under the virtual clock, through the
// platform's media reader, compared with FFmpeg's own decode of the same file: files at the
// output's rate (44.1 kHz stereo) must match within one step, one buffer after the start;
// others are resampled by the mixer, so their length is measured instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include <plat/winbase.h>

#include "ffmpeg_reference.h"
#include "output_compare.h"
#include "player_fixture.h"
#include "windows_media_stream.h"

namespace orvox::test {
namespace {

namespace fs = std::filesystem;
using media_reference::Decoded;

struct MediaCase {
    const char* sub;
    const char* name;
    bool asFlac;  // a FLAC copy of the file's PCM, made for the test
};

std::string caseName(const ::testing::TestParamInfo<MediaCase>& c) {
    return (c.param.asFlac ? "flac_of_" : "") + media_reference::testNameOf(c.param.name);
}

// Output frames from `offset` on whose samples differ by more than one step from
// `expected` (interleaved with `channels`; mono is heard on both sides).
long framesOff(const std::vector<int16_t>& out, long offset, const std::vector<int16_t>& expected, unsigned channels,
               long* compared) {
    long bad = 0;
    long n = 0;
    const long frames = static_cast<long>(expected.size() / channels);
    for (; n < frames && 2 * (offset + n) + 1 < static_cast<long>(out.size()); ++n) {
        const int16_t left = expected[static_cast<size_t>(n * channels)];
        const int16_t right = expected[static_cast<size_t>(n * channels + channels - 1)];
        if (std::abs(out[static_cast<size_t>(2 * (offset + n))] - left) > 1 ||
            std::abs(out[static_cast<size_t>(2 * (offset + n) + 1)] - right) > 1)
            ++bad;
    }
    *compared = n;
    return bad;
}

long lastNonZeroFrame(const std::vector<int16_t>& pcm, unsigned channels) {
    for (size_t i = pcm.size(); i > 0; --i)
        if (pcm[i - 1] != 0) return static_cast<long>((i - 1) / channels);
    return -1;
}

class WmPlayback : public PlayerTest {
protected:
    // The file to play for `c`, or empty when its media is absent.
    std::string mediaFor(const MediaCase& c) {
        const std::string path = sharedMedia(c.sub, c.name);
        if (path.empty() || !c.asFlac) return path;
        const Decoded pcm = media_reference::decode(path);
        const std::string flac = (workDir_ / "copy.flac").string();
        if (!pcm.ok() || !media_reference::writeFlac(flac, pcm.pcm, pcm.rate, pcm.channels)) return {};
        return flac;
    }
    stream::WindowsMediaStream* wmStream(int index) {
        return dynamic_cast<stream::WindowsMediaStream*>(player_->streamAt(index));
    }
};

class WmOutput : public WmPlayback, public ::testing::WithParamInterface<MediaCase> {};

TEST_P(WmOutput, FilePlayedOnceIsHeardWholeThenSilenceThenReleased) {
    const std::string path = mediaFor(GetParam());
    A5_SKIP_WITHOUT_SHARED(!path.empty(), GetParam().name);
    const Decoded decoded = media_reference::decode(path);
    ASSERT_TRUE(decoded.ok());
    const long frames = static_cast<long>(decoded.pcm.size() / decoded.channels);
    const double seconds = static_cast<double>(frames) / decoded.rate;
    const double bufferSeconds = 65536.0 / (2.0 * decoded.channels * decoded.rate);

    Capture capture;
    ASSERT_EQ(play(path, false), 0);
    EXPECT_EQ(readLog(), "Success: WMA/WMV/ASF: " + path + " playing with index: 0\n");
    stream::WindowsMediaStream* s = wmStream(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->format().nSamplesPerSec, decoded.rate);
    EXPECT_EQ(s->format().nChannels, decoded.channels);
    advanceMs(seconds * 1000 - 300);
    EXPECT_EQ(player_->isPlaying(0), 1);
    // The reader has delivered everything by then and reported that it stopped.
    advanceMs(300);
    EXPECT_EQ(player_->isPlaying(0), 0);
    EXPECT_TRUE(s->hasReader()) << "the end of the data is still to be heard";
    advanceMs(bufferSeconds * 1000 + 2 * 1000 * bufferSeconds / 2 + 50);
    EXPECT_TRUE(s->hasReader()) << "released on the script thread, not the timer's";
    EXPECT_EQ(player_->isPlaying(0), 0);
    EXPECT_FALSE(s->hasReader()) << "heard to its end: reader and buffer are released";
    EXPECT_EQ(s->buffer(), nullptr);
    ASSERT_EQ(device_->buffers().size(), 1u);
    EXPECT_TRUE(device_->last()->released());
    advanceMs(500);

    const std::vector<int16_t> out = capture.samples();
    const long first = firstNonZeroFrame(out, 2);
    const long last = lastNonZeroFrame(out, 2);
    const long firstDecoded = firstNonZeroFrame(decoded.pcm, decoded.channels);
    const long lastDecoded = lastNonZeroFrame(decoded.pcm, decoded.channels);
    ASSERT_GE(first, 0);
    if (decoded.rate == kOutputRate) {
        const long offset = first - firstDecoded;
        EXPECT_NEAR(offset, static_cast<long>(bufferSeconds * kOutputRate), kMixBlockFrames);
        long compared = 0;
        EXPECT_EQ(framesOff(out, offset, decoded.pcm, decoded.channels, &compared), 0);
        EXPECT_EQ(compared, frames) << "heard to its last sample";
        EXPECT_EQ(last, offset + lastDecoded) << "silence after the data: nothing old comes back";
    } else {
        // Resampled: the heard stretch lasts as long as the data's, to within the filter's reach.
        const double heard = static_cast<double>(last - first) / kOutputRate;
        const double data = static_cast<double>(lastDecoded - firstDecoded) / decoded.rate;
        EXPECT_NEAR(heard, data, 0.002);
        EXPECT_NEAR(static_cast<double>(first) / kOutputRate - static_cast<double>(firstDecoded) / decoded.rate,
                    bufferSeconds, 0.01);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, WmOutput,
                         ::testing::Values(MediaCase{"wma", "wma_v2_stereo_44100.wma", false},
                                           MediaCase{"wma", "wmv_video_with_wmav2_audio.wmv", false},
                                           MediaCase{"wma", "wma_v1_mono_22050.wma", false},
                                           MediaCase{"wma", "asf_wmav2_stereo_32000.asf", false},
                                           MediaCase{"wav", "real_wav_pcm16_stereo_22050_game_recognizer.wav", true},
                                           MediaCase{"wav", "wav_pcm16_stereo_44100_10s.wav", true}),
                         caseName);

TEST_F(WmPlayback, LoopingFileRepeatsWithoutGapOrRepeatedBlock) {
    // 0.2 s of audio: many passes fall into every lap of the buffer.
    const std::string path = mediaFor({"wav", "real_wav_fmt18_fact_pcm16_stereo_44100_switch.wav", true});
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "shared media");
    const Decoded pass = media_reference::decode(path);
    ASSERT_TRUE(pass.ok());
    std::vector<int16_t> expected;
    while (expected.size() < 44100u * 2 * 4) expected.insert(expected.end(), pass.pcm.begin(), pass.pcm.end());

    Capture capture;
    ASSERT_EQ(play(path, true), 0);
    advanceMs(4000);
    EXPECT_EQ(player_->isPlaying(0), 1);
    const std::vector<int16_t> out = capture.samples();
    const long offset = firstNonZeroFrame(out, 2) - firstNonZeroFrame(pass.pcm, 2);
    EXPECT_NEAR(offset, kStereoLatencyFrames, kMixBlockFrames);
    long compared = 0;
    EXPECT_EQ(framesOff(out, offset, expected, 2, &compared), 0);
    EXPECT_GT(compared, 44100 * 3);
}

TEST_F(WmPlayback, PauseAndResumeContinueWhereTheyStopped) {
    const std::string path = sharedMedia("wma", "wma_v2_stereo_44100.wma");
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "shared media");
    const Decoded decoded = media_reference::decode(path);
    Capture capture;
    ASSERT_EQ(play(path, true), 0);
    const auto mixed = [] { return static_cast<long>(a5p_frames_mixed()); };
    const long start = mixed();
    advanceMs(1500);
    EXPECT_EQ(player_->togglePause(0), 1);
    EXPECT_EQ(player_->isPlaying(0), 0);
    const long pausedAt = mixed();
    advanceMs(1000);
    EXPECT_EQ(player_->togglePause(0), 1);
    const long resumedAt = mixed();
    advanceMs(2500);
    EXPECT_EQ(player_->isPlaying(0), 1) << "the reader reported that it started again";

    const std::vector<int16_t> out = capture.samples();
    const long base = mixed() - static_cast<long>(out.size() / 2);  // frame of the capture's start
    const long offset = firstNonZeroFrame(out, 2) - firstNonZeroFrame(decoded.pcm, 2);
    EXPECT_NEAR(offset + base - start, kStereoLatencyFrames, kMixBlockFrames);
    // Before the pause, silence during it, then on from the very sample where it stopped.
    const long heard = pausedAt - base - offset;
    std::vector<int16_t> until(decoded.pcm.begin(), decoded.pcm.begin() + 2 * heard);
    long compared = 0;
    EXPECT_EQ(framesOff(out, offset, until, 2, &compared), 0);
    EXPECT_EQ(compared, heard);
    EXPECT_TRUE(std::all_of(out.begin() + 2 * (pausedAt - base), out.begin() + 2 * (resumedAt - base),
                            [](int16_t v) { return v == 0; }));
    const std::vector<int16_t> after(decoded.pcm.begin() + 2 * heard, decoded.pcm.end());
    EXPECT_EQ(framesOff(out, resumedAt - base, after, 2, &compared), 0);
    EXPECT_GT(compared, 44100 * 2);
}

TEST_F(WmPlayback, TwoStreamsAtOnceAreHeardTogether) {
    const std::string path = sharedMedia("wma", "wma_v2_stereo_44100.wma");
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "shared media");
    const Decoded decoded = media_reference::decode(path);
    std::vector<int16_t> doubled(decoded.pcm.size());
    std::transform(decoded.pcm.begin(), decoded.pcm.end(), doubled.begin(),
                   [](int16_t v) { return static_cast<int16_t>(std::clamp(2 * v, -32768, 32767)); });
    Capture capture;
    ASSERT_EQ(play(path, true), 0);
    ASSERT_EQ(play(path, false), 1024);
    advanceMs(3000);
    EXPECT_EQ(player_->isPlaying(0), 1);
    EXPECT_EQ(player_->isPlaying(1024), 1);
    const std::vector<int16_t> out = capture.samples();
    const long offset = firstNonZeroFrame(out, 2) - firstNonZeroFrame(decoded.pcm, 2);
    long compared = 0;
    long bad = 0;
    for (long f = 0; 2 * (offset + f) + 1 < static_cast<long>(out.size()); ++f, ++compared)
        for (int c = 0; c < 2; ++c)
            bad += std::abs(out[static_cast<size_t>(2 * (offset + f) + c)] - doubled[static_cast<size_t>(2 * f + c)]) > 2;
    EXPECT_EQ(bad, 0);
    EXPECT_GT(compared, 44100 * 2);
    EXPECT_EQ(player_->stop(0), 1);
    EXPECT_EQ(player_->isPlaying(0), 0);
    EXPECT_EQ(player_->isPlaying(1024), 1) << "each has its own reader";
}

TEST_F(WmPlayback, TheEndEventIsLeftAloneOnceOrvoxPlayHasClosedIt) {
    // 0.2 s of audio, looping: an end of the file every 0.2 s.
    const std::string path = mediaFor({"wav", "real_wav_fmt18_fact_pcm16_stereo_44100_switch.wav", true});
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "shared media");
    ASSERT_EQ(play(path, true), 0);
    // New events are likely to take the closed one's place: none of them may be signalled.
    std::vector<HANDLE> events;
    for (int i = 0; i < 16; ++i) events.push_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    advanceMs(2000);
    for (HANDLE e : events) {
        EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
        CloseHandle(e);
    }
    EXPECT_EQ(player_->isPlaying(0), 1);
}

size_t threadCount() { return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/task"), {})); }
size_t openFiles() { return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {})); }

TEST_F(WmPlayback, HundredPlayAndShutdownCyclesLeaveNothingRunning) {
    const std::string path = sharedMedia("wma", "asf_wmav2_stereo_32000.asf");
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "shared media");
    const size_t threads = threadCount();
    const size_t files = openFiles();
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(play(path, i % 2 == 0), host::toFixed(i));
        player_->fade(host::toFixed(i), host::toFixed(10), true);
        advanceMs(i % 7 * 20);
        EXPECT_EQ(player_->shutdown(), 1);
    }
    for (int i = 0; i < 400 && threadCount() != threads; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(threadCount(), threads);
    EXPECT_EQ(openFiles(), files);
    for (TrackedBuffer* b : device_->buffers()) {
        EXPECT_TRUE(b->released());
        EXPECT_EQ(b->callsAfterRelease(), 0);
    }
}

// Files that open nothing the reader can play: the open-failure line and raw -1.
class WmRefused : public WmPlayback, public ::testing::WithParamInterface<int> {};

TEST_P(WmRefused, GetsTheOpenFailureLine) {
    const std::string wma = sharedMedia("wma", "wma_v2_stereo_44100.wma");
    const std::string wmv = sharedMedia("wma", "wmv_video_with_wmav2_audio.wmv");
    const std::string wav = sharedMedia("wav", "wav_pcm16_mono_22050.wav");
    A5_SKIP_WITHOUT_SHARED(!(wma.empty() || wmv.empty() || wav.empty()), "shared media");
    const auto bytesOf = [](const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const auto write = [](const std::string& name, const std::string& bytes) {
        std::ofstream(name, std::ios::binary) << bytes;
        return name;
    };
    std::string name;
    std::string printed;
    switch (GetParam()) {
        case 0: {  // ASF whose header objects are damaged
            std::string bytes = bytesOf(wma);
            for (size_t i = 16; i < 3000; i += 7) bytes[i] = static_cast<char>(~bytes[i]);
            name = write("corrupt.asf", bytes);
            break;
        }
        case 1:  // video and no audio
            name = "video.wmv";
            ASSERT_TRUE(media_reference::writeVideoOnly(wmv, name));
            break;
        case 2: {  // audio in a codec nobody here decodes
            std::string bytes = bytesOf(wav);
            bytes[20] = 0x34, bytes[21] = 0x12;  // the format tag
            name = write("unknown.wav", bytes);
            printed = "Missing codec: (hr=0xc00d10c7)\n";
            break;
        }
        default:
            FAIL();
    }
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(player_->play(name.c_str(), 1024), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), printed);
    EXPECT_EQ(readLog(), "Error: WMA/WMV/ASF: Couldn't open file in Play\n");
    EXPECT_EQ(player_->isPlaying(0), 0);
    EXPECT_EQ(player_->stop(0), 1);
    EXPECT_EQ(device_->buffers().size(), 0u);
}

std::string refusedName(const ::testing::TestParamInfo<int>& c) {
    static constexpr const char* kNames[] = {"CorruptAsf", "VideoOnly", "UnknownCodec"};
    return kNames[c.param];
}

INSTANTIATE_TEST_SUITE_P(Inputs, WmRefused, ::testing::Values(0, 1, 2), refusedName);

TEST_F(WmPlayback, HeaderWithoutPacketsPlaysNothingAndEndsEvenLooping) {
    const std::string path = sharedMedia("wma", "real_wma_v2_header_only_no_audio_packets.wma");
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "shared media");
    Capture capture;
    ASSERT_EQ(play(path, true), 0);
    ASSERT_EQ(play(path, false), 1024);
    advanceMs(2000);  // returns: a looping empty file does not restart for ever
    EXPECT_EQ(player_->isPlaying(0), 0);
    EXPECT_EQ(player_->isPlaying(1024), 0);
    EXPECT_FALSE(wmStream(0)->hasReader());
    EXPECT_FALSE(wmStream(1)->hasReader());
    const std::vector<int16_t> out = capture.samples();
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
}

TEST_F(WmPlayback, NamesThatOpenNothingAreRefusedWithoutWaiting) {
    const std::string wma = sharedMedia("wma", "wma_v1_mono_22050.wma");
    A5_SKIP_WITHOUT_SHARED(!wma.empty(), "shared media");
    // A name deleted after the player's existence test, a FIFO (whose open must not wait
    // for a writer), a folder, and a name longer than the stream keeps.
    fs::copy_file(wma, "gone.wma");
    fs::remove("gone.wma");
    ASSERT_EQ(mkfifo("fifo.wma", 0600), 0);
    fs::create_directory("folder.wma");
    const std::string longName = std::string(200, 'd') + "/" + std::string(60, 'x') + ".wma";
    std::string expected;
    for (const std::string& name : {std::string("gone.wma"), std::string("fifo.wma"), std::string("folder.wma"), longName}) {
        auto s = stream::makeWindowsMediaStream();
        EXPECT_FALSE(s->play(name.c_str(), 1, nullptr, device_.get())) << name;
        EXPECT_FALSE(s->hasReader());
        expected += "Error: WMA/WMV/ASF: Couldn't open file in Play\n";
    }
    EXPECT_EQ(readLog(), expected);
}

}  // namespace
}  // namespace orvox::test
