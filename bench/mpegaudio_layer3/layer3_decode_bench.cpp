// Decoding speed of real Layer III files (and a Layer II one) to 16-bit PCM on one core,
// reported as multiples of real time. For instruction counts run the Once variants under
// valgrind --tool=callgrind --toggle-collect='mpa::FrameDecoder::decode*', or
// scripts/decoder-instructions. MPEGAUDIO_PORTABLE=1 measures the baseline build.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "error_trap.h"
#include "memory_source.h"
#include "stream_decode.h"

namespace {

using mpa::FrameDecoder;
using mpa::PcmFrame;

std::vector<uint8_t> media(const char* name) {
    return mpa::test::read_file(name[0] == '/' ? name : std::string(A5_SHARED_DIR) + "/media/mpeg/" + name);
}

// Decodes the whole file once; returns the seconds of audio produced.
double decode_all(FrameDecoder& decoder, mpa::test::MemorySource& input, int16_t* pcm) {
    input.pos = 0;
    decoder.reset();
    double seconds = 0.0;
    for (;;) {
        PcmFrame frame;
        int32_t rc = 0;
        try {
            rc = decoder.decode(pcm, frame);
        } catch (const mpa::FatalDecodeError&) {
            continue;
        }
        if (rc != 0) break;
        benchmark::DoNotOptimize(pcm[0]);
        seconds += static_cast<double>(frame.samples) / frame.sample_rate;
    }
    return seconds;
}

void decode_file(benchmark::State& state, const char* name) {
    const std::vector<uint8_t> bytes = media(name);
    if (bytes.empty()) {
        state.SkipWithError("media file not found");
        return;
    }
    mpa::test::MemorySource input{bytes};
    auto decoder = std::make_unique<FrameDecoder>(input.source());
    std::vector<int16_t> pcm(mpa::kMaxFrameSamples);
    double audio = 0.0;
    for (auto _ : state) audio += decode_all(*decoder, input, pcm.data());
    state.counters["x_realtime"] = benchmark::Counter(audio, benchmark::Counter::kIsRate);
    state.counters["audio_s"] = audio / static_cast<double>(state.iterations());
}

BENCHMARK_CAPTURE(decode_file, cbr128_joint_stereo_44100, "mp3_cbr128_jointstereo_44100.mp3")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode_file, vbr_v2_44100, "mp3_vbr_V2_xing_lame.mp3")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode_file, cbr160_44100, "mp3_id3v2_picture_padding_id3v1.mp3")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode_file, cbr128_joint_stereo_44100_once, "mp3_cbr128_jointstereo_44100.mp3")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
// lame -b 320 -m j of wav_pcm16_stereo_44100_10s.wav, made by the build where lame is found.
#ifdef A5_CBR320_FILE
BENCHMARK_CAPTURE(decode_file, cbr320_joint_stereo_44100, A5_CBR320_FILE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode_file, cbr320_joint_stereo_44100_once, A5_CBR320_FILE)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
#endif
// Layer II through the same frame decoder.
BENCHMARK_CAPTURE(decode_file, layer2_192k_stereo_44100, "mp2_layer2_192k_stereo_44100.mp2")
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
