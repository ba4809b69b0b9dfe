// The CD script functions of liborvox.so, loaded as the engine loads it, on disc images
// under the virtual clock: what they play, the track arithmetic, the fades on the
// mixer's CD line, the log lines, and calls the device cannot serve.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <plat/a5platform.h>
#include <plat/audio_mixer.h>
#include <plat/mci.h>
#include <plat/winbase.h>

#include "cd_image.h"
#include "mix_capture.h"
#include "plugin_fixture.h"
#include "../shared_data.h"

namespace orvox::test {
namespace {

using cdtest::kFramesPerSector;
namespace fs = std::filesystem;

std::string sharedCd(const char* name) {
    const fs::path path = fs::path(A5_SHARED_DIR) / "media" / "cd" / name;
    return fs::exists(path) ? path.string() : std::string();
}

constexpr int32_t fx(int n) { return n * 1024; }

class CdPlugin : public Plugin {
protected:
    void SetUp() override {
        Plugin::SetUp();
        records_.setWindow(window());
        ASSERT_EQ(a5p_register_window(window()), 0);
        setLine(65535, 65535);
    }
    void TearDown() override {
        Plugin::TearDown();  // Orvox_Shutdown closes the device
        a5p_unregister_window(window());
        a5p_set_cd_image(nullptr);
        a5p_set_message_box_hook(nullptr, nullptr);
    }

    HWND window() { return &windowIdentity_; }
    // A 3-track image made for the test: 2, 3 and 4 seconds.
    std::string madeImage(std::vector<cdtest::TrackLayout> tracks = {{150}, {225}, {300}}) {
        cdtest::ImageLayout layout;
        layout.tracks = std::move(tracks);
        return cdtest::writeImage(dir_ / "disc", "disc", layout);
    }

    int32_t call0(const char* name) { return fn<Call0>(name)(); }
    int32_t call1(const char* name, int32_t a) { return fn<Call1>(name)(a); }
    int32_t playCd(int32_t first, int32_t end) { return fn<Call2>("Orvox_PlayCD")(first, end); }
    int32_t currentTrack() { return call0("Orvox_GetCurrTrackCD"); }
    static void advanceMs(double ms) { a5p_advance_ns(static_cast<uint64_t>(ms * 1e6)); }

    std::vector<WPARAM> notices() {
        std::vector<WPARAM> got;
        MSG msg;
        while (PeekMessageA(&msg, window(), MM_MCINOTIFY, MM_MCINOTIFY, PM_REMOVE)) got.push_back(msg.wParam);
        return got;
    }
    static DWORD lineValue() {
        MIXERCONTROLDETAILS_UNSIGNED values[2] = {};
        MIXERCONTROLDETAILS d{sizeof d, 1, 2, {nullptr}, sizeof values[0], values};
        mixerGetControlDetailsA(nullptr, &d, MIXER_OBJECTF_MIXER | MIXER_GETCONTROLDETAILSF_VALUE);
        EXPECT_EQ(values[0].dwValue, values[1].dwValue);
        return values[1].dwValue;
    }
    static void setLine(DWORD left, DWORD right) {
        MIXERCONTROLDETAILS_UNSIGNED values[2] = {{left}, {right}};
        MIXERCONTROLDETAILS d{sizeof d, 1, 2, {nullptr}, sizeof values[0], values};
        mixerSetControlDetails(nullptr, &d, MIXER_OBJECTF_MIXER | MIXER_SETCONTROLDETAILSF_VALUE);
    }
    static int percentOf(DWORD value) { return static_cast<int>(value * 100.0 / 65535 + 0.5); }

    a5test::MixCapture capture_;

private:
    char windowIdentity_ = 0;
};

TEST_F(CdPlugin, PlayingOneToThreeGivesTracksOneAndTwoSampleExactAndStopsAtThree) {
    const std::string cue = sharedCd("cd_a.cue");
    A5_SKIP_WITHOUT_SHARED(!cue.empty(), "CD image cd_a.cue");
    a5p_set_cd_image(cue.c_str());
    std::vector<int16_t> expected = cdtest::wavSamples(sharedCd("cd_a_track01.wav"));
    const std::vector<int16_t> two = cdtest::wavSamples(sharedCd("cd_a_track02.wav"));
    expected.insert(expected.end(), two.begin(), two.end());

    EXPECT_EQ(call0("Orvox_NumberOfTracksCD"), fx(3));
    EXPECT_EQ(currentTrack(), fx(1));  // a disc at rest
    const size_t start = capture_.frames();
    ASSERT_EQ(playCd(fx(1), fx(3)), 1);
    advanceMs(3900);
    EXPECT_EQ(currentTrack(), fx(1));
    advanceMs(200);
    EXPECT_EQ(currentTrack(), fx(2));
    advanceMs(5000);
    EXPECT_EQ(currentTrack(), fx(3));
    EXPECT_EQ(notices(), std::vector<WPARAM>{MCI_NOTIFY_SUCCESSFUL});  // to the engine's window
    EXPECT_EQ(capture_.frames(start, expected.size() / 2), expected);
    EXPECT_TRUE(a5test::silent(capture_.frames(start + expected.size() / 2, 44100)));
    EXPECT_EQ(readFile("MediaLog.txt"), "Success: CD Audio: Playing\n");
}

TEST_F(CdPlugin, PauseTwiceResumesInPlaceAndTrackStepsWrapAround) {
    a5p_set_cd_image(madeImage().c_str());
    const size_t start = capture_.frames();
    ASSERT_EQ(playCd(fx(2), fx(3)), 1);
    advanceMs(1000);
    EXPECT_EQ(call0("Orvox_PauseCD"), 1);
    const size_t paused = capture_.frames();
    EXPECT_EQ(currentTrack(), fx(2));
    advanceMs(500);
    const size_t resumed = capture_.frames();
    EXPECT_EQ(call0("Orvox_PauseCD"), 1);
    advanceMs(1000);
    const uint64_t track2 = 150 * kFramesPerSector;
    const size_t before = paused - start;
    EXPECT_EQ(capture_.frames(start, before), cdtest::patternFrames(track2, track2 + before));
    EXPECT_TRUE(a5test::silent(capture_.frames(paused, resumed - paused)));
    EXPECT_EQ(capture_.frames(resumed, 44100 / 2), cdtest::patternFrames(track2 + before, track2 + before + 44100 / 2));

    // Next on the last track goes to track 1; previous on track 1 to the last.
    const int32_t steps[][2] = {{1, 3}, {1, 1}, {0, 3}, {0, 2}, {1, 3}};
    for (const auto& [next, landing] : steps) {
        EXPECT_EQ(call0(next ? "Orvox_NextTrackCD" : "Orvox_PrevTrackCD"), 1);
        EXPECT_EQ(currentTrack(), fx(landing));
    }
    const size_t at = capture_.frames();
    advanceMs(100);
    const uint64_t track3 = 375 * kFramesPerSector;
    EXPECT_EQ(capture_.frames(at, 2000), cdtest::patternFrames(track3, track3 + 2000));
    EXPECT_EQ(readFile("MediaLog.txt"),
              "Success: CD Audio: Playing\nSuccess: CD Audio: Paused/Unpaused\n"
              "Success: CD Audio: Paused/Unpaused\n");
}

// Fade ticks: the line's percent after each tick, from a start volume and a step.
struct FadeCase {
    const char* name;
    int start;  // percent
    bool fadeOut;
    int step;
    std::vector<int> ticks;  // the last one ends the fade
};

class CdFade : public CdPlugin, public ::testing::WithParamInterface<FadeCase> {};

TEST_P(CdFade, EachTickStepsTheLineAndTheFadeEndsAtItsLimit) {
    const FadeCase& c = GetParam();
    a5p_set_cd_image(madeImage({{750}}).c_str());
    setLine(65535 * c.start / 100, 65535 * c.start / 100);
    ASSERT_EQ(playCd(fx(1), fx(1)), 1);  // an empty range: it plays nothing but counts as playing
    ASSERT_EQ(call1(c.fadeOut ? "Orvox_FadeOutCD" : "Orvox_FadeInCD", fx(c.step)), 1);
    for (size_t i = 0; i < c.ticks.size(); ++i) {
        advanceMs(500);
        EXPECT_EQ(percentOf(lineValue()), c.ticks[i]) << "tick " << i + 1;
    }
    // Ended: a volume set now stays.
    setLine(30000, 30000);
    advanceMs(1500);
    EXPECT_EQ(lineValue(), 30000u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CdFade,
    ::testing::Values(FadeCase{"OutByTen", 100, true, 10, {90, 80, 70, 60, 50, 40, 30, 20, 10, 0}},
                      FadeCase{"OutByThirtyStopsAtSilence", 100, true, 30, {70, 40, 10, 0}},
                      FadeCase{"InByThirtyStopsAtFull", 0, false, 30, {30, 60, 90, 100}},
                      FadeCase{"InAlreadyFull", 100, false, 5, {100}},
                      FadeCase{"OutWithANegativeStepRises", 90, true, -5, {95, 100}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(CdPlugin, VolumePercentAndMixerValueRoundAtTheEdges) {
    a5p_set_cd_image(madeImage().c_str());
    ASSERT_EQ(currentTrack(), fx(1));  // the open sequence opens the mixer
    // Write: minimum + range * percent / 100, truncated; outside 0..100 the mixer refuses.
    const std::pair<int, DWORD> writes[] = {{50, 32767}, {0, 0}, {1, 655}, {99, 64879}, {100, 65535},
                                            {101, 65535}, {-1, 65535}, {150, 65535}};
    for (const auto& [percent, value] : writes) {
        setLine(65535, 65535);
        EXPECT_EQ(call1("Orvox_VolCD", fx(percent)), 1);
        EXPECT_EQ(lineValue(), value) << percent << "%";
    }
    // Read: the nearest percent, seen in what a fade of 1 writes after reading.
    ASSERT_EQ(playCd(fx(1), fx(1)), 1);
    const std::pair<DWORD, DWORD> reads[] = {{32768, 33422}, {327, 655}, {328, 1310}, {65535, 65535}};
    for (const auto& [value, written] : reads) {
        setLine(value, value);
        ASSERT_EQ(call1("Orvox_FadeInCD", fx(1)), 1);
        advanceMs(500);
        EXPECT_EQ(lineValue(), written) << value;
        call0("Orvox_StopCD");
        ASSERT_EQ(playCd(fx(1), fx(1)), 1);
    }
}

TEST_F(CdPlugin, ACdFadeAndAStreamFadeRunTogetherToSilence) {
    const fs::path ogg = fs::path(A5_SHARED_DIR) / "media" / "ogg";
    std::string song;
    std::error_code absent;
    for (const auto& e : fs::directory_iterator(ogg, absent))
        if (e.path().extension() == ".ogg" && (song.empty() || e.path().string() < song)) song = e.path().string();
    A5_SKIP_WITHOUT_SHARED(!song.empty(), "Ogg files in " << ogg);
    a5p_set_cd_image(madeImage({{1500}, {75}}).c_str());
    const host::EngineString name(song);
    const int32_t index = fn<PlayCall>("Orvox_Play")(name.record(), fx(1));
    ASSERT_GE(index, 0);
    ASSERT_EQ(playCd(fx(1), fx(2)), 1);
    advanceMs(100);
    ASSERT_EQ(call1("Orvox_FadeOutCD", fx(25)), 1);
    ASSERT_EQ(fn<Call2>("Orvox_FadeOut")(index, fx(25)), 1);
    advanceMs(2100);
    const size_t quiet = capture_.frames();
    advanceMs(1000);
    EXPECT_EQ(lineValue(), 0u);
    EXPECT_EQ(fn<Call1>("Orvox_IsPlaying")(index), 1);
    EXPECT_EQ(currentTrack(), fx(1));
    EXPECT_TRUE(a5test::silent(capture_.frames(quiet, capture_.frames() - quiet)));
}

TEST_F(CdPlugin, CallsTheDeviceCannotServeGiveThePartsResultsAndLines) {
    const std::string invalidId = "Invalid MCI device ID. Use the ID returned when opening the MCI device.";
    const std::string outOfRange = "The specified parameter is out of range for the specified command.";
    // Before any open: commands go to device 0.
    a5p_set_cd_image((dir_ / "none.cue").c_str());
    EXPECT_EQ(call0("Orvox_PrevTrackCD"), 0);
    EXPECT_EQ(call0("Orvox_PauseCD"), 1);
    EXPECT_EQ(call1("Orvox_FadeOutCD", fx(5)), 1);  // nothing played: only the step is kept
    EXPECT_EQ(playCd(fx(1), fx(2)), 0);             // no drive, no image
    EXPECT_EQ(currentTrack(), 0);

    // The next opening call tries again and finds the disc; bad track numbers are the
    // device's errors.
    a5p_set_cd_image(madeImage({{75}, {75, 0, false}, {75}}).c_str());
    for (const int32_t first : {0, -1024, fx(4), fx(256)}) EXPECT_EQ(playCd(first, fx(2)), 0) << first;
    EXPECT_EQ(playCd(fx(2), fx(3)), 0);  // a data track
    EXPECT_EQ(playCd(1536, 2047), 1);    // 1.5 to 1.99: track 1 to track 1
    EXPECT_EQ(call0("Orvox_NumberOfTracksCD"), fx(3));

    a5p_fail_timer_creations(1);
    EXPECT_EQ(call1("Orvox_FadeInCD", fx(5)), 0);
    EXPECT_EQ(call0("Orvox_StopAll"), 1);
    EXPECT_EQ(call0("Orvox_PauseAll"), 1);  // toggles the CD: it plays on to the end
    EXPECT_EQ(call0("Orvox_Shutdown"), 1);
    // After shutdown the closed identifier answers, with logging off too.
    EXPECT_EQ(call1("Orvox_Log", 0), 1);
    EXPECT_EQ(call0("Orvox_NextTrackCD"), 0);
    EXPECT_EQ(call0("Orvox_NumberOfTracksCD"), 0);
    EXPECT_EQ(currentTrack(), 0);
    EXPECT_EQ(playCd(fx(1), fx(2)), 0);
    EXPECT_EQ(readFile("MediaLog.txt"),
              "Error: CD Audio: Previous CD: " + invalidId + "\n" +
              "Error: Couldn't initialize CD-ROM drive\n"
              "Error: Couldn't initialize CD-ROM drive\n"
              "Error: CD Audio: " + outOfRange + "\n" +
              "Error: CD Audio: " + outOfRange + "\n" +
              "Error: CD Audio: " + outOfRange + "\n" +
              "Error: CD Audio: " + outOfRange + "\n" +
              "Error: CD Audio: The media device cannot play this part of the disc. Make sure it holds an audio "
              "track and can be read.\n"
              "Success: CD Audio: Playing\n"
              "Error: CD Audio: Timer ID invalid in FadeInCD\n"
              "Success: All audio stopped.\n"
              "Success: All audio paused/unpaused.\n"
              "Success: Shutdown\n"
              "Error: CD Audio: Next CD: " + invalidId + "\n" +
              "Error: CD Audio: Get number of tracks:" + invalidId + "\n" +
              "Error: CD Audio: Get current track:" + invalidId + "\n");
}

TEST_F(CdPlugin, AMixerThatDoesNotOpenIsReportedAndTheVolumeHasNoEffect) {
    struct Box {
        std::string text, caption;
        unsigned type = 0;
        HWND owner = nullptr;
    } box;
    a5p_set_message_box_hook(
        [](void* user, const char* text, const char* caption, unsigned type) {
            auto* b = static_cast<Box*>(user);
            b->text = text;
            b->caption = caption;
            b->type = type;
            return IDOK;
        },
        &box);
    a5p_set_cd_image(madeImage().c_str());
    a5p_fail_mixer_opens(1);
    EXPECT_EQ(currentTrack(), fx(1));
    EXPECT_EQ(box.text, "Unable to open Mixer Controls.");
    EXPECT_EQ(box.caption, "Volume Control Error");
    EXPECT_EQ(box.type, 0x10u);
    EXPECT_EQ(call1("Orvox_VolCD", fx(20)), 1);
    EXPECT_EQ(lineValue(), 65535u);
}

}  // namespace
}  // namespace orvox::test
