// liborvox.so as the engine sees it: loaded with dlopen, entered through A5_DLLAPI, called
// by name with `fixed` numbers and engine strings.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <plat/a5platform.h>
#include <plat/dsound.h>

#include "engine_records.h"

namespace {

using Entry = int32_t (*)(void*);
using Call0 = int32_t (*)();
using Call1 = int32_t (*)(int32_t);
using Call2 = int32_t (*)(int32_t, int32_t);
using PlayCall = int32_t (*)(const void*, int32_t);

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Plugin : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() /
               ("orvox_exports_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
        handle_ = dlopen(ORVOX_PLUGIN, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        ASSERT_EQ(DirectSoundCreate(nullptr, &device_, nullptr), DS_OK);
        records_.setSound(device_, nullptr);
        ASSERT_EQ(fn<Entry>("A5_DLLAPI")(records_.interfaceRecord()), 511);
    }
    void TearDown() override {
        if (handle_ != nullptr) {
            fn<Call0>("Orvox_Shutdown")();
            fn<Call1>("Orvox_Log")(1024);  // leave logging on for the next test in this process
            dlclose(handle_);
        }
        if (device_ != nullptr) device_->Release();
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }
    template <class F>
    F fn(const char* name) {
        void* symbol = dlsym(handle_, name);
        EXPECT_NE(symbol, nullptr) << name;
        return reinterpret_cast<F>(symbol);
    }

    void* handle_ = nullptr;
    IDirectSound* device_ = nullptr;
    host::EngineRecords records_;
    std::filesystem::path dir_, previous_;
};

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
    if (!std::filesystem::exists(ogg)) GTEST_SKIP() << "shared media absent";
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
    // The track steps and EAX write their lines with logging off too.
    EXPECT_EQ(fn<Call0>("Orvox_NextTrackCD")(), 0);
    EXPECT_EQ(fn<Call0>("Orvox_PrevTrackCD")(), 0);
    EXPECT_EQ(fn<Call1>("Orvox_EAX")(1 << 10), 0);
    EXPECT_EQ(readFile("MediaLog.txt"),
              whileOn +
                  "Error: CD Audio: Next CD: Invalid MCI device ID. Use the ID returned when opening the MCI device.\n"
                  "Error: CD Audio: Previous CD: Invalid MCI device ID. Use the ID returned when opening the MCI "
                  "device.\n"
                  "Error: Failed to CoCreateInstance of EAXDirectSound and DirectSound for EAX\n");
}

}  // namespace
