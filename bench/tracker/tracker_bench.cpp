// CPU cost of the tracker output per second of music: mixing in libmikmod's software
// mixer, the driver's refills and the platform mix of its buffer, on the virtual clock.
#include "module_writer.h"
#include "tracker.h"

#include <mikmod.h>
#include <plat/a5platform.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace orvox::tracker;

// A 4-channel MOD from the shared media when present, else a generated one.
std::string fourChannelMod() {
    const fs::path shared = fs::path(A5_SHARED_DIR) / "media" / "modules" / "mod_mk_high-score.mod";
    if (fs::exists(shared)) return shared.string();
    const fs::path made = fs::temp_directory_path() / "orvox_bench_4ch.mod";
    test::writeFile(made, test::mod31());
    return made.string();
}

std::string thirtyTwoChannelXm() {
    const fs::path made = fs::temp_directory_path() / "orvox_bench_32ch.xm";
    test::writeFile(made, test::xm(32));
    return made.string();
}

void configureOnce() {
    static const bool done = [] {
        A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, 44100, 2, 1, 0};
        return a5p_configure(&config) == 0;
    }();
    static_cast<void>(done);
}

void run(benchmark::State& state, const std::string& path) {
    configureOnce();
    const bool highQuality = state.range(0) != 0;
    stop();
    setHighQuality(highQuality);
    bringUp();
    if (!loadAndStart(path.c_str())) {
        state.SkipWithError("module did not load");
        return;
    }
    Player_GetModule()->wrap = 1;  // play on from the start instead of going quiet at the end
    for (auto _ : state) {
        a5p_advance_ns(1'000'000'000);  // one second of music
    }
    state.SetLabel(highQuality ? "high quality" : "normal");
    state.counters["realtime_factor"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    stop();
}

// The platform's own cost of a second on the virtual clock, with the tracker output idle.
void BM_IdleOutput(benchmark::State& state) {
    configureOnce();
    stop();
    for (auto _ : state) {
        a5p_advance_ns(1'000'000'000);
    }
}

void BM_TrackerMod4Channels(benchmark::State& state) { run(state, fourChannelMod()); }
void BM_TrackerXm32Channels(benchmark::State& state) { run(state, thirtyTwoChannelXm()); }

BENCHMARK(BM_IdleOutput)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TrackerMod4Channels)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TrackerXm32Channels)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
