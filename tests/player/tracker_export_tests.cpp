// Tracker modules through the script functions of liborvox.so: the index and log line of
// Orvox_Play, the bring-up of the tracker library, the one current module, and stop,
// volume, fades, pause, the playing query, the operations on everything and the mixer
// switch on tracker entries. The tracker library's state is read from libmikmod itself,
// looked up through the plug-in's handle, so it goes away with the plug-in after each test.
#include <mikmod.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine_interface.h"
#include "module_writer.h"
#include "plugin_fixture.h"
#include "tracker_capture.h"

namespace orvox::test {
namespace {

namespace tt = tracker::test;

constexpr int32_t kNoSource = -1;
constexpr double kFadeTickMs = 500;
// A module the tracker refused goes on to the media reader, which does not read modules.
constexpr const char* kNoOpen = "Error: WMA/WMV/ASF: Couldn't open file in Play\n";

host::fixed fx(int n) { return host::toFixed(n); }

class TrackerExports : public Plugin {
protected:
    // Writes `bytes` into the working folder and returns the name the script uses.
    static std::string module(const std::string& name, const tt::Bytes& bytes) {
        tt::writeFile(name, bytes);
        return name;
    }

    int32_t play(const std::string& name) {
        const host::EngineString text(name);
        return fn<PlayCall>("Orvox_Play")(text.record(), 0);
    }
    // Plays a module that must be taken; its index as a plain number.
    int playModule(const std::string& name, const tt::Bytes& bytes) {
        const int32_t result = play(module(name, bytes));
        EXPECT_GE(result, 0) << name;
        return result >> 10;
    }
    int32_t call(const char* name) { return fn<Call0>(name)(); }
    int32_t call(const char* name, int index) { return fn<Call1>(name)(fx(index)); }
    int32_t call(const char* name, int index, host::fixed value) { return fn<Call2>(name)(fx(index), value); }
    int32_t isPlaying(int index) { return call("Orvox_IsPlaying", index); }

    // libmikmod's own view.
    template <class T>
    T& mikmod(const char* name) {
        return *fn<T*>(name);
    }
    const MODULE* current() { return fn<decltype(&Player_GetModule)>("Player_GetModule")(); }
    int moduleVolume() {
        const MODULE* m = current();
        return m == nullptr ? -1 : m->volume;
    }
    std::string currentName() {
        const MODULE* m = current();
        return m == nullptr || m->songname == nullptr ? std::string() : std::string(m->songname);
    }
    // The library is initialised: its driver is ours rather than the no-sound one.
    bool libraryUp() {
        const MDRIVER* driver = mikmod<MDRIVER*>("md_driver");
        return driver != nullptr && driver != &mikmod<MDRIVER>("drv_nos");
    }
    bool paused() { return fn<decltype(&Player_Paused)>("Player_Paused")() != 0; }
    std::size_t listed(const char* info) {
        std::unique_ptr<CHAR, decltype(&MikMod_free)> listing(fn<decltype(&MikMod_InfoDriver)>(info)(),
                                                              fn<decltype(&MikMod_free)>("MikMod_free"));
        std::istringstream lines(listing == nullptr ? "" : listing.get());
        std::size_t count = 0;
        for (std::string line; std::getline(lines, line);) ++count;
        return count;
    }

    // The module volume after each of `count` fade ticks.
    std::vector<int> fadeTicks(int count) {
        std::vector<int> volumes;
        for (int i = 0; i < count; ++i) {
            tt::advanceMs(static_cast<std::uint64_t>(kFadeTickMs));
            volumes.push_back(moduleVolume());
        }
        return volumes;
    }
    // No fade timer is left: a volume given now stays.
    void expectNoFadeRunning() {
        fn<decltype(&Player_SetVolume)>("Player_SetVolume")(40);
        tt::advanceMs(1500);
        EXPECT_EQ(moduleVolume(), 40);
    }
    bool soundsFor(std::uint64_t ms) {
        tt::Capture capture;
        tt::advanceMs(ms);
        return tt::audible(capture.take());
    }
    // Silent once what the device had already taken has drained.
    bool silentAfterDrain() {
        tt::advanceMs(400);
        tt::Capture capture;
        tt::advanceMs(300);
        return tt::peak(capture.take()) == 0;
    }
};

TEST_F(TrackerExports, PlayGivesTheNextIndexAndTheModLine) {
    struct Case {
        const char* name;
        tt::Bytes bytes;
    };
    const Case cases[] = {{"a.mod", tt::mod31()}, {"b.mod", tt::mod15()}, {"c.s3m", tt::s3m()}, {"d.xm", tt::xm()}};
    std::string expected;
    for (int index = 0; index < 4; ++index) {
        const Case& c = cases[index];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(play(module(c.name, c.bytes)), fx(index));
        expected += std::string("Success: MOD: ") + c.name + " playing with index: " + std::to_string(index) + "\n";
        EXPECT_EQ(isPlaying(index), 1);
        EXPECT_TRUE(soundsFor(500));
    }
    EXPECT_EQ(readFile("MediaLog.txt"), expected);
}

TEST_F(TrackerExports, BringUpAtTheFirstPlayOfAnyKindAndAfterAStopRegistersOnce) {
    EXPECT_FALSE(libraryUp());
    EXPECT_EQ(play("missing.mod"), 0);
    EXPECT_TRUE(libraryUp()) << "a play brings the library up before it looks for the file";
    EXPECT_EQ(mikmod<UWORD>("md_mode"), 267);
    EXPECT_EQ(mikmod<UWORD>("md_mixfreq"), 44100);

    const int first = playModule("a.mod", tt::mod31());
    EXPECT_EQ(first, 0) << "a missing file uses up no index";
    EXPECT_EQ(call("Orvox_Stop", first), 1);
    EXPECT_FALSE(libraryUp());
    EXPECT_EQ(isPlaying(first), 0);
    EXPECT_EQ(current(), nullptr);

    EXPECT_EQ(play("missing.mod"), 0);
    EXPECT_TRUE(libraryUp()) << "the first play after a stop brings it up again";
    const int second = playModule("a.mod", tt::mod31());
    EXPECT_EQ(isPlaying(second), 1);
    EXPECT_TRUE(soundsFor(500));

    EXPECT_EQ(listed("MikMod_InfoDriver"), 1u);
    EXPECT_EQ(listed("MikMod_InfoLoader"), 18u);
    EXPECT_EQ(readFile("MediaLog.txt"), "Error: Orvox_Play - missing.mod does not exist\n"
                                        "Success: MOD: a.mod playing with index: 0\n"
                                        "Error: Orvox_Play - missing.mod does not exist\n"
                                        "Success: MOD: a.mod playing with index: 1\n");
}

TEST_F(TrackerExports, ABringUpWithoutADeviceIsTriedAgainAtTheNextPlay) {
    const std::string name = module("a.mod", tt::mod31());
    a5p_fail_device_creations(1);
    EXPECT_EQ(play(name), kNoSource) << "no module on a library that did not come up";
    EXPECT_FALSE(libraryUp());
    EXPECT_EQ(isPlaying(0), 0);
    EXPECT_EQ(play(name), fx(1));
    EXPECT_EQ(isPlaying(1), 1);
    EXPECT_EQ(isPlaying(0), 0) << "the failed entry has no source";
    EXPECT_TRUE(soundsFor(500));
    EXPECT_EQ(readFile("MediaLog.txt"), std::string(kNoOpen) + "Success: MOD: a.mod playing with index: 1\n");
}

TEST_F(TrackerExports, ASecondModuleReplacesTheFirstAndEitherIndexStopsIt) {
    for (const bool throughFirst : {true, false}) {
        SCOPED_TRACE(throughFirst ? "stopped through the first index" : "stopped through the second index");
        const int first = playModule("a.mod", tt::mod31());
        const int second = playModule("b.xm", tt::xm());
        EXPECT_EQ(currentName(), "orvox xm");
        EXPECT_EQ(isPlaying(first), 1);
        EXPECT_EQ(isPlaying(second), 1);
        EXPECT_TRUE(soundsFor(500)) << "the replacement plays";

        EXPECT_EQ(call("Orvox_Stop", throughFirst ? first : second), 1);
        EXPECT_FALSE(libraryUp());
        EXPECT_EQ(current(), nullptr);
        EXPECT_EQ(isPlaying(first), 0);
        EXPECT_EQ(isPlaying(second), 0);
        EXPECT_TRUE(silentAfterDrain());
        EXPECT_EQ(call("Orvox_Stop", first), 1) << "a second stop finds nothing to do";
    }
    // Every tracker entry reports whichever module is current.
    playModule("c.mod", tt::mod31());
    EXPECT_EQ(isPlaying(0), 1);
}

TEST_F(TrackerExports, VolumeIsTheScriptScaleTimes128Over100) {
    const int index = playModule("a.mod", tt::mod31());
    const struct {
        host::fixed volume;
        int library;
    } cases[] = {{fx(50), 64}, {fx(99), 126}, {fx(150), 128}, {fx(-3), 0}, {fx(1), 1}, {50 * 1024 + 900, 64}};
    for (const auto& c : cases) {
        EXPECT_EQ(call("Orvox_Vol", index, c.volume), 1);
        EXPECT_EQ(moduleVolume(), c.library) << c.volume;
    }
    EXPECT_EQ(call("Orvox_Stop", index), 1);
    EXPECT_EQ(call("Orvox_Vol", index, fx(50)), 1) << "no module: nothing to set";
}

TEST_F(TrackerExports, FadeInRisesBySixPerTickAndEndsAtFull) {
    const int index = playModule("a.mod", tt::mod31());
    EXPECT_EQ(call("Orvox_Vol", index, fx(0)), 1);
    EXPECT_EQ(call("Orvox_FadeIn", index, fx(5)), 1);
    const auto volumes = fadeTicks(22);
    for (int i = 0; i < 21; ++i) EXPECT_EQ(volumes[i], 6 * (i + 1)) << "tick " << i + 1;
    EXPECT_EQ(volumes[21], 128);
    expectNoFadeRunning();
}

TEST_F(TrackerExports, FadeOutFallsBySevenPerTickAndLeavesTheModulePlaying) {
    const int index = playModule("a.mod", tt::mod31());
    EXPECT_EQ(call("Orvox_Vol", index, fx(100)), 1);
    EXPECT_EQ(call("Orvox_FadeOut", index, fx(5)), 1);
    const auto volumes = fadeTicks(19);
    for (int i = 0; i < 18; ++i) EXPECT_EQ(volumes[i], 128 - 7 * (i + 1)) << "tick " << i + 1;
    EXPECT_EQ(volumes[18], 0);
    EXPECT_EQ(isPlaying(index), 1) << "a fade to silence does not stop the module";
    expectNoFadeRunning();
}

TEST_F(TrackerExports, PauseTwiceResumes) {
    const int index = playModule("a.mod", tt::mod31());
    EXPECT_EQ(call("Orvox_Pause", index), 1);
    EXPECT_TRUE(paused());
    EXPECT_TRUE(silentAfterDrain());
    EXPECT_EQ(isPlaying(index), 1) << "the output runs on while the module is paused";
    EXPECT_EQ(call("Orvox_Pause", index), 1);
    EXPECT_FALSE(paused());
    EXPECT_TRUE(soundsFor(500));
}

TEST_F(TrackerExports, StopAllPauseAllAndShutdownIncludeTheTracker) {
    const int first = playModule("a.mod", tt::mod31());
    EXPECT_EQ(call("Orvox_PauseAll"), 1);
    EXPECT_TRUE(paused());
    EXPECT_EQ(call("Orvox_PauseAll"), 1);
    EXPECT_FALSE(paused());
    EXPECT_TRUE(soundsFor(500));

    EXPECT_EQ(call("Orvox_FadeOut", first, fx(5)), 1);
    EXPECT_EQ(call("Orvox_StopAll"), 1);
    EXPECT_FALSE(libraryUp());
    EXPECT_EQ(isPlaying(first), 0);
    EXPECT_TRUE(silentAfterDrain());

    const int second = playModule("a.mod", tt::mod31());
    EXPECT_EQ(call("Orvox_Vol", second, fx(50)), 1);
    tt::advanceMs(1500);
    EXPECT_EQ(moduleVolume(), 64) << "the fade must not outlive the stop";
    EXPECT_EQ(call("Orvox_Shutdown"), 1);
    EXPECT_FALSE(libraryUp());
    EXPECT_EQ(isPlaying(second), 0);
    EXPECT_TRUE(silentAfterDrain());

    EXPECT_EQ(readFile("MediaLog.txt"), "Success: MOD: a.mod playing with index: 0\n"
                                        "Success: All audio paused/unpaused.\n"
                                        "Success: All audio paused/unpaused.\n"
                                        "Success: All audio stopped.\n"
                                        "Success: MOD: a.mod playing with index: 1\n"
                                        "Success: Shutdown\n");
}

TEST_F(TrackerExports, ModhqSwitchesOnOnlyForAnIntegerPartOfOne) {
    EXPECT_EQ(mikmod<UWORD>("md_mode"), 267) << "normal mixing from load";
    const struct {
        host::fixed value;
        UWORD mode;
    } cases[] = {{fx(1), 283}, {fx(2), 267}, {1536, 283}, {fx(-1), 267}, {fx(1) + 1023, 283}, {0, 267}};
    std::string expected;
    for (const auto& c : cases) {
        EXPECT_EQ(fn<Call1>("Orvox_MODHQ")(c.value), 1);
        EXPECT_EQ(mikmod<UWORD>("md_mode"), c.mode) << c.value;
        expected += c.mode == 283 ? "Success: MOD: High quality mixing selected\n"
                                  : "Success: MOD: Normal mixing selected\n";
    }
    EXPECT_EQ(readFile("MediaLog.txt"), expected);
}

TEST_F(TrackerExports, AFileThatOnlyLooksLikeAModuleGoesOnToWindowsMedia) {
    const int playing = playModule("a.mod", tt::mod31());
    tt::Bytes lookAlike = tt::mod31();
    lookAlike.resize(1084);  // title, instruments, order list and "M.K.", nothing after
    EXPECT_EQ(play(module("fake.mod", lookAlike)), kNoSource);
    EXPECT_EQ(isPlaying(1), 0);
    EXPECT_EQ(call("Orvox_Stop", 1), 1);
    EXPECT_EQ(currentName(), "orvox mod31") << "a refused file leaves the current module alone";
    EXPECT_EQ(isPlaying(playing), 1);
    EXPECT_TRUE(soundsFor(500));
    EXPECT_EQ(readFile("MediaLog.txt"), std::string("Success: MOD: a.mod playing with index: 0\n") + kNoOpen);
}

TEST_F(TrackerExports, UnloadingThePluginWhileAModulePlaysEndsIt) {
    playModule("a.mod", tt::mod31());
    const int fading = playModule("b.xm", tt::xm());
    EXPECT_EQ(call("Orvox_FadeOut", fading, fx(1)), 1);
    ASSERT_TRUE(soundsFor(100));
    // The engine may unload the plug-in without a shutdown: nothing of it may run after.
    ASSERT_EQ(dlclose(handle_), 0);
    handle_ = nullptr;
    EXPECT_TRUE(silentAfterDrain());
}

}  // namespace
}  // namespace orvox::test
