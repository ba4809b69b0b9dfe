// Decode speed of Layer II and the synthesis filterbank's cost per output sample.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codec/frame_decoder.h"
#include "codec/synth.h"
#include "error_trap.h"
#include "memory_source.h"

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Decodes a long Layer II stream (a 48 kHz stereo conformance stream repeated); the counter
// "x_realtime" is seconds of audio per second of CPU.
void BM_Layer2Decode(benchmark::State& state) {
    const auto one = read_file(std::string(A5_SHARED_DIR) + "/mpeg-vectors/l2-fl16.bit");
    if (one.empty()) {
        state.SkipWithError("l2-fl16.bit not found");
        return;
    }
    std::vector<uint8_t> stream;
    for (int i = 0; i < 20; ++i) stream.insert(stream.end(), one.begin(), one.end());
    std::vector<int16_t> pcm(mpa::kMaxFrameSamples);
    double audio_seconds = 0;
    for (auto _ : state) {
        mpa::test::MemorySource memory{stream};
        auto decoder = std::make_unique<mpa::FrameDecoder>(memory.source());
        decoder->set_downsampling(static_cast<uint32_t>(state.range(0)));
        mpa::PcmFrame frame;
        try {
            while (decoder->decode(pcm.data(), frame) == 0)
                audio_seconds += static_cast<double>(frame.samples) / frame.sample_rate;
        } catch (const mpa::FatalDecodeError&) {
            state.SkipWithError("fatal error in a conformance stream");
            return;
        }
        benchmark::DoNotOptimize(pcm.data());
    }
    state.counters["x_realtime"] = benchmark::Counter(audio_seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Layer2Decode)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// One row of 32 subband samples through the filterbank; items are output samples.
void BM_SynthRow(benchmark::State& state) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-0.3f, 0.3f);
    std::vector<std::vector<float>> rows(64, std::vector<float>(32));
    for (auto& row : rows) {
        for (float& x : row) x = dist(rng);
    }
    auto ch = std::make_unique<mpa::SynthChannel>();
    ch->shift = static_cast<unsigned>(state.range(0));
    std::vector<int16_t> out(32 * rows.size());
    size_t i = 0;
    for (auto _ : state) {
        if (i % rows.size() == 0) ch->out = out.data();
        mpa::synth_row(*ch, rows[i % rows.size()].data());
        ++i;
    }
    benchmark::DoNotOptimize(out.data());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * (32 >> state.range(0)));
}
BENCHMARK(BM_SynthRow)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
