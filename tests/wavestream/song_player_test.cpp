// The song player on the platform runtime: virtual clock, output captured.
#include "song_player.h"

#include <gtest/gtest.h>
#include <plat/a5platform.h>
#include <plat/winbase.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "wav_bytes.h"

using namespace wavestream;
using namespace wavtest;

namespace {

constexpr unsigned kRate = 44100;

// Everything the runtime mixes, from the moment a test clears it.
struct Capture {
    std::mutex mutex;
    std::vector<std::int16_t> samples;

    static void receive(void* user, const std::int16_t* data, std::size_t frames, unsigned channels) {
        auto* self = static_cast<Capture*>(user);
        std::lock_guard guard(self->mutex);
        self->samples.insert(self->samples.end(), data, data + frames * channels);
    }
    std::vector<std::int16_t> take() {
        std::lock_guard guard(mutex);
        return std::exchange(samples, {});
    }
};

Capture& capture() {
    static Capture instance;
    return instance;
}

class PlatformEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        const A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, kRate, 2, 1, 0};
        ASSERT_EQ(a5p_configure(&config), 0);
        a5p_set_capture(Capture::receive, &capture());
    }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new PlatformEnvironment);

void advanceMs(std::uint64_t ms) {
    a5p_advance_ns(ms * 1000000);
}

// Stereo 16-bit frames that are all different and never silent.
std::vector<std::int16_t> songFrames(std::size_t frames) {
    std::vector<std::int16_t> out;
    for (std::size_t i = 0; i < frames; ++i) {
        out.push_back(static_cast<std::int16_t>(i % 30000 + 1));
        out.push_back(
            static_cast<std::int16_t>(-1000 * static_cast<int>(i / 30000 + 1) - static_cast<int>(i % 7)));
    }
    return out;
}

Bytes pcmBytes(const std::vector<std::int16_t>& samples) {
    Bytes out;
    for (std::int16_t s : samples) putLe(out, static_cast<std::uint16_t>(s), 2);
    return out;
}

Bytes stereoWav(const std::vector<std::int16_t>& samples, std::optional<std::uint32_t> declared = {}) {
    return riffWave({chunk("fmt ", formatFields(WAVE_FORMAT_PCM, 2, kRate, 16)),
                     chunk("data", pcmBytes(samples), declared)});
}

// Index of the first frame of `song` in `out`, or -1.
long findStart(const std::vector<std::int16_t>& out, const std::vector<std::int16_t>& song) {
    for (std::size_t i = 0; i + 1 < out.size(); i += 2) {
        if (out[i] == song[0] && out[i + 1] == song[1]) return static_cast<long>(i / 2);
    }
    return -1;
}

class SongPlayerTest : public ::testing::Test {
  protected:
    void SetUp() override { capture().take(); }
    void TearDown() override {
        player.kill();
        for (const auto& path : files) std::filesystem::remove(path);
    }
    std::string file(const std::string& name, const Bytes& bytes) {
        const auto path = std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "_" + name);
        writeFile(path, bytes);
        files.push_back(path);
        return path.string();
    }
    int load(const std::string& name) { return player.load(nullptr, name.c_str(), 2, kRate, 16); }

    SongPlayer player;
    std::vector<std::filesystem::path> files;
};

TEST_F(SongPlayerTest, LoopingSongsRenderTheirSamplesWithSampleExactSeams) {
    // Shorter than the three-second ring, and longer.
    for (std::size_t frames : {57330u, 180000u}) {
        const auto song = songFrames(frames);
        ASSERT_EQ(load(file("loop.wav", stereoWav(song))), 0);
        capture().take();
        ASSERT_EQ(player.play(100, true), 0);
        EXPECT_EQ(player.isPlaying(), 1);
        advanceMs(9000);
        const auto out = capture().take();
        const long start = findStart(out, song);
        ASSERT_GE(start, 0) << frames;
        for (long i = 0; i < start * 2; ++i) ASSERT_EQ(out[i], 0) << "sound before the song, " << frames;
        const std::size_t played = out.size() / 2 - start;
        ASSERT_GT(played, 2 * frames);
        for (std::size_t i = 0; i < played * 2; ++i) {
            ASSERT_EQ(out[start * 2 + i], song[i % song.size()]) << "frame " << i / 2 << " of " << frames;
        }
    }
}

TEST_F(SongPlayerTest, ANonLoopingSongStopsWithinOneBlockAndPlaysAgainFromTheStart) {
    const auto song = songFrames(44100);
    ASSERT_EQ(load(file("once.wav", stereoWav(song))), 0);
    capture().take();
    ASSERT_EQ(player.play(100, false), 0);
    std::uint64_t elapsedMs = 0;
    while (player.isPlaying() == 1 && elapsedMs < 5000) {
        advanceMs(5);
        elapsedMs += 5;
    }
    ASSERT_EQ(player.isPlaying(), 0);
    const auto out = capture().take();
    const long start = findStart(out, song);
    ASSERT_GE(start, 0);
    ASSERT_GE(out.size() / 2, start + song.size() / 2);
    for (std::size_t i = 0; i < song.size(); ++i) ASSERT_EQ(out[start * 2 + i], song[i]) << i / 2;
    for (std::size_t i = start * 2 + song.size(); i < out.size(); ++i)
        ASSERT_EQ(out[i], 0) << "after the end";
    // Stopped at most one block (3/16 s) after the last sample, within the 5 ms steps.
    const double endMs = (start + 44100.0) * 1000 / kRate;
    EXPECT_LE(elapsedMs, endMs + 187.5 + 5 + 6);

    // Still loaded; a play starts from the first sample.
    EXPECT_EQ(player.volume(), 100);
    ASSERT_EQ(player.play(100, false), 0);
    advanceMs(300);
    const auto again = capture().take();
    const long restart = findStart(again, song);
    ASSERT_GE(restart, 0);
    EXPECT_EQ(again[restart * 2 + 2], song[2]);
}

TEST_F(SongPlayerTest, StopHaltsAndRewinds) {
    const auto song = songFrames(200000);
    ASSERT_EQ(load(file("stop.wav", stereoWav(song))), 0);
    ASSERT_EQ(player.play(100, true), 0);
    advanceMs(4000);
    EXPECT_EQ(player.stop(), 0);
    EXPECT_EQ(player.isPlaying(), 0);
    capture().take();
    advanceMs(500);
    for (std::int16_t s : capture().take()) ASSERT_EQ(s, 0);
    ASSERT_EQ(player.play(100, true), 0);
    advanceMs(100);
    const auto out = capture().take();
    EXPECT_GE(findStart(out, song), 0);
}

TEST_F(SongPlayerTest, PlayingAPlayingSongRestartsItFromTheStart) {
    const auto song = songFrames(200000);
    ASSERT_EQ(load(file("restart.wav", stereoWav(song))), 0);
    ASSERT_EQ(player.play(100, true), 0);
    advanceMs(2500);
    capture().take();
    ASSERT_EQ(player.play(100, true), 0);
    // A notification that fired while the restart held the song comes in late.
    SetEvent(player.notifyEvent());
    advanceMs(4000);
    const auto out = capture().take();
    const long start = findStart(out, song);
    ASSERT_GE(start, 0);
    // Seamless from the new start on, past the first refills.
    for (std::size_t i = 0; i + start * 2 < out.size(); ++i) ASSERT_EQ(out[start * 2 + i], song[i]) << i / 2;
}

// Songs whose samples are 24- or 32-bit integers or 32-bit floats, also in an extensible
// format record, play through to the 16-bit output as the values they stand for; the script
// may name the file's own sample size for the device.
TEST_F(SongPlayerTest, SongsOfEverySampleFormatTheBufferTakesPlayToTheEnd) {
    const auto song = songFrames(30000);
    const Bytes pcmSubFormat = {std::byte{1}, std::byte{0}, std::byte{0}, std::byte{0}, std::byte{0}, std::byte{0},
                                std::byte{0x10}, std::byte{0}, std::byte{0x80}, std::byte{0}, std::byte{0},
                                std::byte{0xAA}, std::byte{0}, std::byte{0x38}, std::byte{0x9B}, std::byte{0x71}};
    Bytes floatSubFormat = pcmSubFormat;
    floatSubFormat[0] = std::byte{3};
    struct Case {
        const char* name;
        std::uint16_t tag, bits, validBits;
        Bytes subFormat;
    } cases[] = {
        {"pcm24", WAVE_FORMAT_PCM, 24, 0, {}},
        {"pcm32", WAVE_FORMAT_PCM, 32, 0, {}},
        {"float32", WAVE_FORMAT_IEEE_FLOAT, 32, 0, {}},
        {"extensible_pcm24_in_32", WAVE_FORMAT_EXTENSIBLE, 32, 24, pcmSubFormat},
        {"extensible_float32", WAVE_FORMAT_EXTENSIBLE, 32, 32, floatSubFormat},
    };
    for (const Case& c : cases) {
        Bytes fmt = formatFields(c.tag, 2, kRate, c.bits);
        if (c.tag == WAVE_FORMAT_EXTENSIBLE) {
            putLe(fmt, 22, 2);
            putLe(fmt, c.validBits, 2);
            putLe(fmt, 3, 4);  // front left and right
            fmt.insert(fmt.end(), c.subFormat.begin(), c.subFormat.end());
        } else if (c.tag == WAVE_FORMAT_IEEE_FLOAT) {
            putLe(fmt, 0, 2);
        }
        Bytes data;
        for (std::int16_t s : song) {
            if (c.tag == WAVE_FORMAT_IEEE_FLOAT || (c.tag == WAVE_FORMAT_EXTENSIBLE && c.validBits == 32)) {
                const float f = static_cast<float>(s) / 32768.0f;
                std::uint32_t u;
                std::memcpy(&u, &f, sizeof u);
                putLe(data, u, 4);
            } else {
                // Below the 16 bits: less than half a step, so the value rounds to s.
                const auto low = static_cast<std::uint32_t>(s & 0x7F);
                putLe(data, static_cast<std::uint32_t>(s) << (c.bits - 16) | low << (c.bits - 24), c.bits / 8);
            }
        }
        Bytes fact;
        putLe(fact, static_cast<std::uint32_t>(song.size() / 2), 4);
        const auto path = file(std::string(c.name) + ".wav", riffWave({chunk("fmt ", fmt), chunk("fact", fact),
                                                                       chunk("data", data)}));
        ASSERT_EQ(player.load(nullptr, path.c_str(), 2, kRate, c.bits), 0) << c.name;
        capture().take();
        ASSERT_EQ(player.play(100, false), 0) << c.name;
        advanceMs(1500);
        EXPECT_EQ(player.isPlaying(), 0) << c.name;
        const auto out = capture().take();
        const long start = findStart(out, song);
        ASSERT_GE(start, 0) << c.name;
        ASSERT_GE(out.size(), start * 2 + song.size()) << c.name;
        for (std::size_t i = 0; i < song.size(); ++i) ASSERT_EQ(out[start * 2 + i], song[i]) << c.name << " " << i / 2;
        for (std::size_t i = start * 2 + song.size(); i < out.size(); ++i) ASSERT_EQ(out[i], 0) << c.name;
    }

    // The shared media: an extensible 16-bit file plays its samples; 64-bit floats are refused.
    WAV_MEDIA_OR_SKIP(extensible, "wav_extensible_pcm16_stereo_44100.wav");
    const Bytes file = readFile(extensible);
    std::vector<std::int16_t> head;
    for (std::size_t i = 0; i < 2 * 20000; ++i) {
        const std::size_t at = 68 + 2 * i;  // 12 + 48 (fmt of 40) + 8
        head.push_back(static_cast<std::int16_t>(std::to_integer<int>(file[at]) | std::to_integer<int>(file[at + 1]) << 8));
    }
    ASSERT_EQ(load(extensible.string()), 0);
    capture().take();
    ASSERT_EQ(player.play(100, false), 0);
    advanceMs(700);
    const auto out = capture().take();
    const long start = findStart(out, head);
    ASSERT_GE(start, 0);
    ASSERT_GE(out.size(), start * 2 + head.size());
    for (std::size_t i = 0; i < head.size(); ++i) ASSERT_EQ(out[start * 2 + i], head[i]) << i / 2;
    WAV_MEDIA_OR_SKIP(float64, "real_wav_ieee_float64_not_pcm.wav");
    EXPECT_EQ(load(float64.string()), -5);
}

TEST_F(SongPlayerTest, ResultCodesBeforeLoadingAndAfterKilling) {
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(player.play(50, true), -1);
        EXPECT_EQ(player.stop(), -1);
        EXPECT_EQ(player.setVolume(50), -1);
        EXPECT_EQ(player.volume(), -1);
        EXPECT_EQ(player.isPlaying(), -1);
        EXPECT_EQ(player.kill(), 0);
        EXPECT_EQ(player.kill(), 0);
        ASSERT_EQ(load(file("codes.wav", stereoWav(songFrames(1000)))), 0);
        EXPECT_EQ(player.isPlaying(), 0);
        EXPECT_EQ(player.volume(), 100);
        EXPECT_EQ(player.stop(), 0);
        EXPECT_EQ(player.kill(), 0);
    }
}

TEST_F(SongPlayerTest, LoadFailuresLeaveNothingLoaded) {
    const std::string good = file("good.wav", stereoWav(songFrames(1000)));
    struct Case {
        std::string name;
        int code;
    } cases[] = {
        {"", -1},
        {"/nonexistent/song.wav", -3},
        {file("text.wav", Bytes(100, std::byte{'x'})), -3},
        {file("empty.wav", stereoWav({})), -4},
        {file("adpcm.wav", riffWave({chunk("fmt ",
                                           [] {
                                               Bytes f = formatFields(2, 2, kRate, 4, 2048);
                                               putLe(f, 0, 2);
                                               return f;
                                           }()),
                                     chunk("data", ramp(4096))})),
         -5},
        {file("align0.wav", riffWave({chunk("fmt ", formatFields(WAVE_FORMAT_PCM, 2, kRate, 16, 0)),
                                      chunk("data", ramp(4096))})),
         -5},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(load(good), 0);
        EXPECT_EQ(player.load(nullptr, c.name.empty() ? nullptr : c.name.c_str(), 2, kRate, 16), c.code)
            << c.name;
        // The song loaded before was killed first.
        EXPECT_EQ(player.isPlaying(), -1) << c.name;
        EXPECT_EQ(player.play(100, true), -1) << c.name;
        EXPECT_EQ(load(c.name), c.code) << c.name;
    }
    // A device that cannot be made.
    a5p_fail_device_creations(1);
    EXPECT_EQ(load(good), -2);
    EXPECT_EQ(player.isPlaying(), -1);
    EXPECT_EQ(load(good), 0);
}

TEST_F(SongPlayerTest, VolumeFollowsTheLawBothWays) {
    ASSERT_EQ(load(file("vol.wav", stereoWav(songFrames(1000)))), 0);
    ASSERT_EQ(player.play(50, true), 0);
    EXPECT_EQ(player.volume(), 50);
    EXPECT_EQ(player.setVolume(75), 0);
    EXPECT_EQ(player.volume(), 75);
    EXPECT_EQ(player.setVolume(1), 0);
    EXPECT_EQ(player.volume(), 0);
    EXPECT_EQ(player.setVolume(1 + 1.0 / 1024), 0);
    EXPECT_EQ(player.volume(), 1);
    EXPECT_EQ(player.setVolume(150), 0);
    EXPECT_EQ(player.volume(), 100);
}

TEST_F(SongPlayerTest, AFailedRefillEndsTheWorkerButStopAndPlayStillRestart) {
    // Four seconds present, eight declared: the refill that meets the end of the file fails.
    const auto song = songFrames(4 * kRate);
    ASSERT_EQ(load(file("short.wav", stereoWav(song, 8 * kRate * 4))), 0);
    ASSERT_EQ(player.play(100, true), 0);
    advanceMs(6000);
    EXPECT_EQ(player.isPlaying(), 1);  // cycling through its ring
    ASSERT_EQ(player.stop(), 0);
    capture().take();
    ASSERT_EQ(player.play(100, true), 0);
    advanceMs(7000);
    const auto out = capture().take();
    const long start = findStart(out, song);
    ASSERT_GE(start, 0);
    // Nothing refills any more: the ring's three seconds come round again.
    const std::size_t ring = 16 * 33072 / 2;  // samples
    ASSERT_GT(out.size(), start * 2 + 2 * ring);
    for (std::size_t i = 0; i < 2 * ring; ++i) ASSERT_EQ(out[start * 2 + i], song[i % ring]) << i / 2;
}

TEST_F(SongPlayerTest, HostResourcesAreFoundAsWaveBeforeWav) {
    const auto first = songFrames(30000);
    auto second = songFrames(30000);
    second[0] = 12345;
    const Bytes wave = stereoWav(first), wav = stereoWav(second);
    ASSERT_EQ(a5p_register_resource("both_types", "WAVE", wave.data(), wave.size()), 0);
    ASSERT_EQ(a5p_register_resource("both_types", "WAV", wav.data(), wav.size()), 0);
    ASSERT_EQ(a5p_register_resource("wav_only", "WAV", wav.data(), wav.size()), 0);

    ASSERT_EQ(load("both_types"), 0);
    capture().take();
    ASSERT_EQ(player.play(100, false), 0);
    advanceMs(200);
    EXPECT_GE(findStart(capture().take(), first), 0);

    ASSERT_EQ(load("wav_only"), 0);
    capture().take();
    ASSERT_EQ(player.play(100, false), 0);
    advanceMs(200);
    EXPECT_GE(findStart(capture().take(), second), 0);
    EXPECT_EQ(load("no_such_resource"), -3);
}

TEST_F(SongPlayerTest, TwoHundredLoadPlayStopKillCycles) {
    const std::string name = file("cycle.wav", stereoWav(songFrames(20000)));
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(load(name), 0) << i;
        ASSERT_EQ(player.play(80, i % 2 == 0), 0) << i;
        advanceMs(i % 3 == 0 ? 0 : 200);  // some kills come before the worker ever waited
        ASSERT_EQ(player.stop(), 0) << i;
        ASSERT_EQ(player.kill(), 0) << i;
    }
}

}  // namespace
