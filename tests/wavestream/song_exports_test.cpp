// libwavestream.so as the engine sees it: loaded with dlopen, called through its exports
// with fixed-point numbers and engine string records.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <plat/a5platform.h>
#include <unistd.h>

#include "engine_records.h"
#include "wav_bytes.h"

using namespace wavtest;

namespace {

using fixed = std::int32_t;
constexpr fixed fx(double value) {
    return static_cast<fixed>(value * 1024);
}

class Plugin {
  public:
    Plugin() : handle_(dlopen(WAVESTREAM_PATH, RTLD_NOW | RTLD_LOCAL)) {}
    ~Plugin() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    explicit operator bool() const { return handle_ != nullptr; }
    template <typename Fn>
    Fn* get(const char* name) const {
        return reinterpret_cast<Fn*>(dlsym(handle_, name));
    }

  private:
    void* handle_;
};

std::vector<int> serviceCalls;
void firstService() {
    serviceCalls.push_back(5);
}
void secondService() {
    serviceCalls.push_back(6);
}

TEST(SongExports, AnswerInFixedPointThroughTheEngineRecords) {
    Plugin plugin;
    ASSERT_TRUE(plugin) << dlerror();
    auto* entry = plugin.get<std::int32_t(void*)>("A5_DLLAPI");
    auto* init = plugin.get<fixed()>("__init");
    auto* load = plugin.get<fixed(const void*, fixed, fixed, fixed)>("ws_loadSong");
    auto* play = plugin.get<fixed(fixed, fixed)>("ws_playSong");
    auto* stop = plugin.get<fixed()>("ws_stopSong");
    auto* kill = plugin.get<fixed()>("ws_killSong");
    auto* setVol = plugin.get<fixed(fixed)>("ws_setSongVol");
    auto* getVol = plugin.get<fixed()>("ws_getSongVol");
    auto* playing = plugin.get<fixed()>("ws_isSongPlaying");
    for (void* fn :
         {reinterpret_cast<void*>(entry), reinterpret_cast<void*>(init), reinterpret_cast<void*>(load),
          reinterpret_cast<void*>(play), reinterpret_cast<void*>(stop), reinterpret_cast<void*>(kill),
          reinterpret_cast<void*>(setVol), reinterpret_cast<void*>(getVol),
          reinterpret_cast<void*>(playing)}) {
        ASSERT_NE(fn, nullptr);
    }

    host::EngineRecords engine;
    engine.setServices(firstService, secondService);
    ASSERT_EQ(entry(engine.interfaceRecord()), 511);
    EXPECT_EQ(init(), 0);
    EXPECT_EQ(serviceCalls, (std::vector<int>{5, 6}));

    // Not loaded: -1 as fixed, except kill.
    EXPECT_EQ(play(fx(50), fx(1)), fx(-1));
    EXPECT_EQ(stop(), fx(-1));
    EXPECT_EQ(setVol(fx(50)), fx(-1));
    EXPECT_EQ(getVol(), fx(-1));
    EXPECT_EQ(playing(), fx(-1));
    EXPECT_EQ(kill(), 0);
    EXPECT_EQ(kill(), 0);
    EXPECT_EQ(load(nullptr, fx(2), fx(44100), fx(16)), fx(-1));
    EXPECT_EQ(load(host::EngineString("").record(), fx(2), fx(44100), fx(16)), fx(-1));

    // Half a second of sound, shorter than the ring.
    const auto path =
        std::filesystem::temp_directory_path() / ("song_exports_" + std::to_string(::getpid()) + ".wav");
    writeFile(path, riffWave({chunk("fmt ", formatFields(1, 2, 44100, 16)), chunk("data", ramp(88200))}));
    const host::EngineString name(path.string());
    // A worker thread that cannot start fails the load inside the platform's CreateThread; the
    // failure comes back as an answer, not as an exception.
    a5p_fail_thread_creations(1);
    EXPECT_EQ(load(name.record(), fx(2), fx(44100), fx(16)), fx(-2));
    // Fractions of the format numbers are dropped.
    ASSERT_EQ(load(name.record(), fx(2.7), fx(44100.5), fx(16.9)), 0);
    EXPECT_EQ(playing(), 0);

    // 1.5 loops: still playing long after the end.
    ASSERT_EQ(play(fx(50), fx(1.5)), 0);
    EXPECT_EQ(getVol(), fx(50));
    EXPECT_EQ(playing(), fx(1));
    a5p_advance_ns(2000000000);
    EXPECT_EQ(playing(), fx(1));
    EXPECT_EQ(setVol(fx(75)), 0);
    EXPECT_EQ(getVol(), fx(75));

    // 2.0 plays once: stopped after the end, still loaded.
    ASSERT_EQ(play(fx(100), fx(2)), 0);
    a5p_advance_ns(1000000000);
    EXPECT_EQ(playing(), 0);
    EXPECT_EQ(getVol(), fx(100));
    EXPECT_EQ(stop(), 0);

    EXPECT_EQ(kill(), 0);
    EXPECT_EQ(playing(), fx(-1));
    std::filesystem::remove(path);
}

}  // namespace
