// Cost of the EAX reverb stage on its own: one second of stereo noise through an
// environment, block by block as the mixer hands it over, at 44.1 and 48 kHz. The
// counter x_realtime is seconds of audio processed per second of CPU time on one core
// (CPU time per second of audio is its inverse).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include <plat/eax.h>

#include "openal_pinned.h"
#include "eax_reverb.h"
#include "mixer.h"

namespace {

void reverbSecond(benchmark::State& state) {
    const auto rate = static_cast<uint32_t>(state.range(0));
    const auto environment = static_cast<uint32_t>(state.range(1));
    std::string failure;
    auto reverb = plat::EaxReverb::create(rate, 2, failure);
    if (!reverb) {
        state.SkipWithError(failure.c_str());
        return;
    }
    reverb->select(environment);
    constexpr uint32_t kBlock = plat::Mixer::kBlockFrames;
    std::vector<float> noise(kBlock * 2), block(kBlock * 2);
    std::mt19937 rng(1);
    for (float& s : noise) s = float(int(rng() % 20000) - 10000);
    double audioSeconds = 0;
    for (auto _ : state) {
        for (uint32_t done = 0; done < rate; done += kBlock) {
            block = noise;
            reverb->process(block.data(), kBlock, 2);
        }
        benchmark::DoNotOptimize(block.data());
        audioSeconds += 1.0;
    }
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(reverbSecond)
    ->ArgNames({"rate", "environment"})
    ->Args({44100, EAX_ENVIRONMENT_CAVE})
    ->Args({48000, EAX_ENVIRONMENT_CAVE})
    ->Args({44100, EAX_ENVIRONMENT_HANGAR})
    ->Args({48000, EAX_ENVIRONMENT_HANGAR})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    pinOpenAl();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
