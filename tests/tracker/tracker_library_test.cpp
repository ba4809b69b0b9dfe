// The tracker library's life: settings, registration, loaders, bring-up and teardown,
// the current module, volume, fades, pause and the mixer-quality switch.
#include "tracker_fixture.h"

#include <mikmod.h>

#include <memory>
#include <sstream>

namespace orvox::tracker::test {
namespace {

std::vector<std::string> lines(const CHAR* listing) {
    std::vector<std::string> result;
    std::istringstream in(listing == nullptr ? "" : listing);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::vector<std::string> registeredLoaders() {
    std::unique_ptr<CHAR, decltype(&MikMod_free)> listing(MikMod_InfoLoader(), &MikMod_free);
    return lines(listing.get());
}

std::vector<std::string> registeredDrivers() {
    std::unique_ptr<CHAR, decltype(&MikMod_free)> listing(MikMod_InfoDriver(), &MikMod_free);
    return lines(listing.get());
}

int moduleVolume() {
    const MODULE* module = Player_GetModule();
    return module == nullptr ? -1 : module->volume;
}

using TrackerLibrary = TrackerTest;

TEST_F(TrackerLibrary, MixesSixteenBitStereoSurroundAt44100FromLoad) {
    EXPECT_EQ(md_mode, 267);
    EXPECT_EQ(md_mixfreq, 44100);
    setHighQuality(true);
    EXPECT_EQ(md_mode, 283);
    setHighQuality(false);
    EXPECT_EQ(md_mode, 267);
}

TEST_F(TrackerLibrary, RegistersOneDriverAndTheEighteenLoadersOnceInOrder) {
    const std::string module = file("a.mod", mod31());
    ASSERT_TRUE(play(module));
    stop();
    ASSERT_TRUE(play(module));
    stop();
    bringUp();

    const std::vector<std::string> expected = {
        "669 (Composer 669, Unis 669)",  "AMF (DSMI Advanced Module Format)",
        "DSM (DSIK internal format)",    "FAR (Farandole Composer)",
        "GDM (General DigiMusic)",       "IT (Impulse Tracker)",
        "IMF (Imago Orpheus)",           "MOD (31 instruments)",
        "MED (OctaMED)",                 "MTM (MultiTracker Module editor)",
        "OKT (Amiga Oktalyzer)",         "S3M (Scream Tracker 3)",
        "STM (Scream Tracker)",          "STX (Scream Tracker Music Interface Kit)",
        "ULT (UltraTracker)",            "APUN (APlayer) and UNI (MikMod)",
        "XM (FastTracker 2)",            "MOD (15 instrument)"};
    EXPECT_EQ(registeredLoaders(), expected);
    const auto drivers = registeredDrivers();
    ASSERT_EQ(drivers.size(), 1u);
    EXPECT_NE(drivers[0].find("Platform sound buffer driver"), std::string::npos) << drivers[0];
}

TEST_F(TrackerLibrary, EachFormatIsTakenByItsLoaderAndSounds) {
    struct Case {
        const char* name;
        Bytes bytes;
        const char* modtype;  // what the taking loader calls the format
    };
    const Case cases[] = {{"a.mod", mod31(), "Protracker"},
                          {"b.mod", mod15(), "Soundtracker"},
                          {"c.s3m", s3m(), "Screamtracker 3.20"},
                          {"d.xm", xm(), "FastTracker v2.00 (XM format 1.04)"}};
    Capture capture;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(play(file(c.name, c.bytes)));
        ASSERT_NE(Player_GetModule(), nullptr);
        EXPECT_STREQ(Player_GetModule()->modtype, c.modtype);
        capture.take();
        advanceMs(500);
        EXPECT_TRUE(audible(capture.take()));
        stop();
        advanceMs(300);
        EXPECT_FALSE(audible(capture.take())) << "still sounding after the stop";
    }
}

// Longest run of silent frames in interleaved stereo samples.
std::size_t longestSilence(const Samples& samples) {
    std::size_t longest = 0;
    std::size_t run = 0;
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
        run = samples[i] == 0 && samples[i + 1] == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

TEST_F(TrackerLibrary, RefillsKeepTheOutputContinuous) {
    Capture capture;
    ASSERT_TRUE(play(file("a.mod", mod31())));
    advanceMs(3000);
    const Samples sound = fromFirstSound(capture.take());
    ASSERT_GT(sound.size(), 2u * 44100 * 2);
    // One looping square-wave voice, mixed without interpolation, never passes through
    // zero; a refill that fell behind or skipped part of the ring would leave a gap.
    EXPECT_EQ(longestSilence(sound), 0u);
}

TEST_F(TrackerLibrary, BringUpOpensTheDeviceAndPlayStartsTheOutput) {
    EXPECT_FALSE(isActive());
    bringUp();
    EXPECT_FALSE(isActive()) << "no module started yet";
    ASSERT_TRUE(loadAndStart(file("a.xm", xm()).c_str()));
    EXPECT_TRUE(isActive());
    stop();
    EXPECT_FALSE(isActive());
    EXPECT_EQ(Player_GetModule(), nullptr);
    EXPECT_FALSE(loadAndStart(file("b.xm", xm()).c_str())) << "the library is down until the next bring-up";
}

TEST_F(TrackerLibrary, StaysActiveAfterTheSongEndsUntilStopped) {
    ASSERT_TRUE(play(file("a.mod", mod31())));
    advanceMs(9000);  // one pass of the 64-row pattern takes 7.68 s
    EXPECT_FALSE(Player_Active());
    EXPECT_TRUE(isActive());
    stop();
    EXPECT_FALSE(isActive());
}

TEST_F(TrackerLibrary, FailedInitStartsNothingAndTheNextBringUpRetries) {
    const std::string module = file("a.mod", mod31());
    a5p_fail_device_creations(1);
    bringUp();
    EXPECT_FALSE(loadAndStart(module.c_str()));
    EXPECT_FALSE(isActive());

    Capture capture;
    bringUp();
    ASSERT_TRUE(loadAndStart(module.c_str()));
    EXPECT_TRUE(isActive());
    advanceMs(500);
    EXPECT_TRUE(audible(capture.take()));
}

TEST_F(TrackerLibrary, ModuleWithoutARefillTimerIsNotStarted) {
    const std::string module = file("a.mod", mod31());
    bringUp();  // makes no timer: only a start needs refills
    a5p_fail_timer_creations(1);
    EXPECT_FALSE(loadAndStart(module.c_str()));
    EXPECT_FALSE(isActive());
    EXPECT_EQ(Player_GetModule(), nullptr);

    Capture capture;
    ASSERT_TRUE(loadAndStart(module.c_str()));
    advanceMs(500);
    EXPECT_TRUE(audible(capture.take()));
}

TEST_F(TrackerLibrary, ANewModuleReplacesTheCurrentOneAndOneStopEndsIt) {
    ASSERT_TRUE(play(file("first.mod", mod31())));
    ASSERT_TRUE(play(file("second.xm", xm())));
    ASSERT_NE(Player_GetModule(), nullptr);
    EXPECT_STREQ(Player_GetModule()->songname, "orvox xm");

    Capture capture;
    advanceMs(500);
    EXPECT_TRUE(audible(capture.take())) << "the replacement must keep playing";
    stop();
    EXPECT_FALSE(isActive());
    EXPECT_EQ(Player_GetModule(), nullptr);
}

TEST_F(TrackerLibrary, VolumeIsScaledTo128AndTruncated) {
    ASSERT_TRUE(play(file("a.mod", mod31())));
    setVolume(50);
    EXPECT_EQ(moduleVolume(), 64);
    setVolume(99);
    EXPECT_EQ(moduleVolume(), 126);
    for (int v = 0; v <= 100; ++v) {
        setVolume(v);
        EXPECT_EQ(moduleVolume(), v * 128 / 100) << v;
    }
}

TEST_F(TrackerLibrary, SilentVolumeSilencesTheOutput) {
    Capture capture;
    ASSERT_TRUE(play(file("a.mod", mod31())));
    setVolume(0);
    advanceMs(400);  // what was mixed before the change drains
    capture.take();
    advanceMs(300);
    EXPECT_EQ(peak(capture.take()), 0);
    setVolume(100);
    advanceMs(400);
    EXPECT_TRUE(audible(capture.take()));
}

// Advances tick by tick and returns the module volume after each.
std::vector<int> fadeTicks(int count) {
    std::vector<int> volumes;
    for (int i = 0; i < count; ++i) {
        advanceMs(500);
        volumes.push_back(moduleVolume());
    }
    return volumes;
}

// With the fade's timer gone nothing moves the volume any more.
void expectFadeEnded() {
    Player_SetVolume(40);
    advanceMs(1500);
    EXPECT_EQ(moduleVolume(), 40);
}

TEST_F(TrackerLibrary, FadeInRisesBySixPerTickAndEndsAtFull) {
    ASSERT_TRUE(play(file("a.mod", mod31())));
    setVolume(0);
    startFade(5, false);
    const auto volumes = fadeTicks(22);
    for (int i = 0; i < 21; ++i) EXPECT_EQ(volumes[i], 6 * (i + 1)) << "tick " << i + 1;
    EXPECT_EQ(volumes[21], 128);
    expectFadeEnded();
}

TEST_F(TrackerLibrary, FadeOutFallsBySevenPerTickAndEndsAtSilence) {
    ASSERT_TRUE(play(file("a.mod", mod31())));
    setVolume(100);
    startFade(5, true);
    const auto volumes = fadeTicks(19);
    for (int i = 0; i < 18; ++i) EXPECT_EQ(volumes[i], 128 - 7 * (i + 1)) << "tick " << i + 1;
    EXPECT_EQ(volumes[18], 0);
    EXPECT_TRUE(isActive()) << "a fade to silence does not stop the module";
    expectFadeEnded();
}

TEST_F(TrackerLibrary, FadeRestartAndStopKillTheRunningTimer) {
    ASSERT_TRUE(play(file("a.mod", mod31())));
    setVolume(50);
    startFade(1, false);
    startFade(1, false);  // replaces the first timer: one tick, one step
    EXPECT_EQ(fadeTicks(1), std::vector<int>{65});
    startFade(2, true);
    EXPECT_EQ(fadeTicks(2), (std::vector<int>{62, 59}));
    stop();
    ASSERT_TRUE(play(file("b.mod", mod31())));
    setVolume(50);
    advanceMs(1500);
    EXPECT_EQ(moduleVolume(), 64) << "a fade must not outlive the stop";
}

TEST_F(TrackerLibrary, FadeNeedsARunningOutput) {
    bringUp();
    startFade(5, false);
    ASSERT_TRUE(loadAndStart(file("a.mod", mod31()).c_str()));
    setVolume(50);
    advanceMs(1500);
    EXPECT_EQ(moduleVolume(), 64);
}

TEST_F(TrackerLibrary, PauseSilencesAtOnceAndTheSecondToggleResumes) {
    Capture capture;
    ASSERT_TRUE(play(file("a.mod", mod31())));
    advanceMs(500);
    EXPECT_TRUE(audible(capture.take()));

    togglePause();
    EXPECT_TRUE(Player_Paused());
    advanceMs(60);  // at most what the device had already taken
    capture.take();
    advanceMs(1000);
    EXPECT_EQ(peak(capture.take()), 0);

    togglePause();
    EXPECT_FALSE(Player_Paused());
    advanceMs(500);
    EXPECT_TRUE(audible(capture.take()));
}

TEST_F(TrackerLibrary, PauseWithoutOutputDoesNothing) {
    bringUp();
    togglePause();
    ASSERT_TRUE(loadAndStart(file("a.mod", mod31()).c_str()));
    EXPECT_FALSE(Player_Paused());
}

// Renders the first second of the test XM from its first sound on.
Samples render(Capture& capture) {
    capture.take();
    advanceMs(1200);
    Samples samples = fromFirstSound(capture.take());
    samples.resize(44100 * 2);
    return samples;
}

TEST_F(TrackerLibrary, HighQualityMixerIsChosenAtBringUp) {
    const std::string module = file("a.xm", xm());
    Capture capture;

    ASSERT_TRUE(play(module));
    const Samples normal = render(capture);
    stop();
    ASSERT_TRUE(audible(normal));

    setHighQuality(true);
    ASSERT_TRUE(play(module));
    const Samples high = render(capture);
    stop();
    ASSERT_TRUE(audible(high));
    EXPECT_NE(high, normal);

    // Switched while the library is up: the running mixer stays until the next bring-up.
    setHighQuality(false);
    bringUp();
    setHighQuality(true);
    ASSERT_TRUE(loadAndStart(module.c_str()));
    EXPECT_EQ(render(capture), normal);
    stop();
    ASSERT_TRUE(play(module));
    EXPECT_EQ(render(capture), high);
}

}  // namespace
}  // namespace orvox::tracker::test
