// liborvox.so as the engine sees it: loaded with dlopen, entered through A5_DLLAPI, called
// by name with `fixed` numbers and engine strings.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "plugin_fixture.h"
#include "../shared_data.h"

namespace orvox::test {
namespace {

TEST_F(Plugin, ExportsExactlyTheEntryAndTheScriptFunctions) {
    const std::set<std::string> expected = {
        "A5_DLLAPI",         "Orvox_Play",         "Orvox_Stop",          "Orvox_Vol",
        "Orvox_FadeIn",      "Orvox_FadeOut",      "Orvox_Pause",         "Orvox_IsPlaying",
        "Orvox_StopAll",     "Orvox_PauseAll",     "Orvox_Shutdown",      "Orvox_MODHQ",
        "Orvox_EAX",         "Orvox_PlayCD",       "Orvox_VolCD",         "Orvox_PauseCD",
        "Orvox_StopCD",      "Orvox_NextTrackCD",  "Orvox_PrevTrackCD",   "Orvox_GetCurrTrackCD",
        "Orvox_NumberOfTracksCD", "Orvox_FadeOutCD", "Orvox_FadeInCD",    "Orvox_Log"};
    std::set<std::string> exported;
    FILE* nm = popen("nm -D --defined-only " ORVOX_PLUGIN, "r");
    ASSERT_NE(nm, nullptr);
    char line[512];
    while (std::fgets(line, sizeof line, nm) != nullptr) {
        std::istringstream words(line);
        std::string address, type, name;
        if (words >> address >> type >> name && (type == "T" || type == "D" || type == "B")) exported.insert(name);
    }
    pclose(nm);
    EXPECT_EQ(exported, expected);
}

TEST_F(Plugin, ScriptCallsTakeEngineValues) {
    const std::filesystem::path ogg =
        std::filesystem::path(A5_SHARED_DIR) / "media" / "ogg" / "ogg_short_0.06s_dialog-information.oga";
    A5_SKIP_WITHOUT_SHARED(std::filesystem::exists(ogg), ogg);
    std::filesystem::copy_file(ogg, "a.ogg");
    const host::EngineString name("a.ogg");
    const host::EngineString missing("b.ogg");
    auto play = fn<PlayCall>("Orvox_Play");
    EXPECT_EQ(play(missing.record(), 1024), 0);
    EXPECT_EQ(play(name.record(), 1536), 0);  // 1.5 switches looping on
    EXPECT_EQ(play(name.record(), 0), 1024);
    EXPECT_EQ(fn<Call2>("Orvox_Vol")(1024 + 512, 150 << 10), 1);  // index 1.5 is 1
    EXPECT_EQ(fn<Call1>("Orvox_IsPlaying")(0), 1);
    a5p_advance_ns(1'000'000'000);
    EXPECT_EQ(fn<Call1>("Orvox_IsPlaying")(0), 1) << "looping";
    EXPECT_EQ(fn<Call1>("Orvox_IsPlaying")(1024), 0) << "61 ms, played once";
    EXPECT_EQ(fn<Call1>("Orvox_IsPlaying")(5 << 10), 0);
    EXPECT_EQ(fn<Call2>("Orvox_FadeOut")(0, 5 << 10), 1);
    EXPECT_EQ(fn<Call1>("Orvox_Pause")(0), 1);
    EXPECT_EQ(fn<Call1>("Orvox_IsPlaying")(0), 0);
    EXPECT_EQ(fn<Call0>("Orvox_PauseAll")(), 1);
    EXPECT_EQ(fn<Call1>("Orvox_IsPlaying")(0), 1);
    EXPECT_EQ(fn<Call1>("Orvox_Stop")(0), 1);
    EXPECT_EQ(fn<Call0>("Orvox_StopAll")(), 1);
    EXPECT_EQ(fn<Call0>("Orvox_Shutdown")(), 1);
    EXPECT_EQ(readFile("MediaLog.txt"),
              "Error: Orvox_Play - b.ogg does not exist\n"
              "Success: OGG: a.ogg playing with index: 0\n"
              "Success: OGG: a.ogg playing with index: 1\n"
              "Error: Index greater than actual number of sounds\n"
              "Success: All audio paused/unpaused.\n"
              "Success: All audio stopped.\n"
              "Success: Shutdown\n");
}

TEST_F(Plugin, LoggingSwitchAndTheAlwaysWrittenLines) {
    std::ofstream("MediaLog.txt") << "old\n";
    EXPECT_EQ(fn<Call1>("Orvox_Log")(1024 + 1023), 1);  // 1.99 is on
    EXPECT_EQ(readFile("MediaLog.txt"), "Orvox media log\n");
    EXPECT_EQ(fn<Call1>("Orvox_MODHQ")(1536), 1);
    EXPECT_EQ(fn<Call1>("Orvox_MODHQ")(2048), 1);
    EXPECT_EQ(fn<Call2>("Orvox_PlayCD")(1 << 10, 3 << 10), 0);
    EXPECT_EQ(fn<Call0>("Orvox_StopCD")(), 1);
    const std::string whileOn = "Orvox media log\n"
                                "Success: MOD: High quality mixing selected\n"
                                "Success: MOD: Normal mixing selected\n"
                                "Error: Couldn't initialize CD-ROM drive\n"
                                "Success: CD Audio: Stopped\n";
    EXPECT_EQ(readFile("MediaLog.txt"), whileOn);

    EXPECT_EQ(fn<Call1>("Orvox_Log")(2048), 1);  // 2.0 is off
    EXPECT_EQ(fn<Call1>("Orvox_MODHQ")(1024), 1);
    EXPECT_EQ(fn<Call2>("Orvox_PlayCD")(1 << 10, 3 << 10), 0);
    EXPECT_EQ(fn<Call0>("Orvox_GetCurrTrackCD")(), 0);
    EXPECT_EQ(fn<Call0>("Orvox_NumberOfTracksCD")(), 0);
    EXPECT_EQ(fn<Call1>("Orvox_VolCD")(50 << 10), 1);
    EXPECT_EQ(fn<Call1>("Orvox_FadeInCD")(5 << 10), 1);
    EXPECT_EQ(fn<Call0>("Orvox_PauseCD")(), 1);
    // The track steps and EAX write their lines with logging off too (this engine record
    // has no primary buffer, so the EAX setup stops at the listener).
    EXPECT_EQ(fn<Call0>("Orvox_NextTrackCD")(), 0);
    EXPECT_EQ(fn<Call0>("Orvox_PrevTrackCD")(), 0);
    EXPECT_EQ(fn<Call1>("Orvox_EAX")(1 << 10), 0);
    EXPECT_EQ(readFile("MediaLog.txt"),
              whileOn +
                  "Error: CD Audio: Next CD: Invalid MCI device ID. Use the ID returned when opening the MCI device.\n"
                  "Error: CD Audio: Previous CD: Invalid MCI device ID. Use the ID returned when opening the MCI "
                  "device.\n"
                  "Success: Successfully initialized Direct Sound for EAX\n"
                  "Error: Failed to query interface for pListener for EAX\n");
}

}  // namespace
}  // namespace orvox::test
