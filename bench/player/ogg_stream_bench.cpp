// Cost of Ogg Vorbis streams through the player: CPU time of the whole process (decoding
// on the timer thread, mixing, timers) per second of audio for 1 and 32 looping streams,
// and the time Orvox_Play takes for an Ogg file. Built twice: under the virtual clock
// (time runs as fast as the work allows) and with the real-time null output.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include <plat/a5platform.h>
#include <plat/dsound.h>

#include "engine_interface.h"
#include "engine_records.h"
#include "player/player.h"

namespace {

const std::string kMusic =
    (std::filesystem::path(A5_SHARED_DIR) / "media" / "ogg" / "ogg_stereo_44100_music_skull_stones.ogg").string();

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Engine {
    Engine() {
        DirectSoundCreate(nullptr, &device, nullptr);
        records.setSound(device, nullptr);
        A5_DLLAPI(records.interfaceRecord());
    }
    ~Engine() {
        A5_DLLAPI(nullptr);
        device->Release();
    }
    IDirectSound* device = nullptr;
    host::EngineRecords records;
};

void BM_StreamsCpuPerAudioSecond(benchmark::State& state) {
    if (!std::filesystem::exists(kMusic)) {
        state.SkipWithError("shared media absent");
        return;
    }
    const auto streams = static_cast<int>(state.range(0));
    const double audioSeconds = a5p_is_virtual_clock() ? 10.0 : 2.0;
    Engine engine;
    for (auto _ : state) {
        auto player = std::make_unique<orvox::Player>();
        for (int i = 0; i < streams; ++i) player->play(kMusic.c_str(), host::toFixed(1));
        const double before = processCpuSeconds();
        a5p_advance_ns(static_cast<uint64_t>(audioSeconds * 1e9));
        const double cpu = processCpuSeconds() - before;
        state.SetIterationTime(cpu);
        state.counters["cpu_ms_per_audio_s"] = cpu / audioSeconds * 1e3;
        player.reset();
    }
}
BENCHMARK(BM_StreamsCpuPerAudioSecond)->Arg(1)->Arg(32)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_PlayLatency(benchmark::State& state) {
    if (!std::filesystem::exists(kMusic)) {
        state.SkipWithError("shared media absent");
        return;
    }
    Engine engine;
    auto player = std::make_unique<orvox::Player>();
    int plays = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(player->play(kMusic.c_str(), 0));
        if (++plays == 64) {
            state.PauseTiming();
            player = std::make_unique<orvox::Player>();
            plays = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_PlayLatency)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, 44100, 2, ORVOX_BENCH_VIRTUAL};
    if (a5p_configure(&config) != 0) return 2;
    // The player writes its log in the working directory.
    const auto dir = std::filesystem::temp_directory_path() / ("orvox_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    a5p_shutdown();
    std::filesystem::remove_all(dir);
    return 0;
}
