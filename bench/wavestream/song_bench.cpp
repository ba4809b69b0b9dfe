// Streaming costs: the worker's CPU time per second of audio, one block refill, and the
// load time of a ten-minute song. Runs on the virtual clock with the null output, so that
// only the song's own work is measured.
#include <benchmark/benchmark.h>
#include <plat/a5platform.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "song_player.h"

namespace {

constexpr std::uint32_t kRate = 44100;

double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void putLe(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A 44.1 kHz 16-bit stereo WAV of `seconds`; its samples are a rising ramp.
std::string writeSong(const char* tag, std::uint32_t seconds) {
    const auto path =
        std::filesystem::temp_directory_path() / ("bench_wavestream_" + std::to_string(::getpid()) + tag);
    const std::uint32_t dataBytes = seconds * kRate * 4;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write("RIFF", 4);
    putLe(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    putLe(out, 16, 4);
    putLe(out, 1, 2);
    putLe(out, 2, 2);
    putLe(out, kRate, 4);
    putLe(out, kRate * 4, 4);
    putLe(out, 4, 2);
    putLe(out, 16, 2);
    out.write("data", 4);
    putLe(out, dataBytes, 4);
    std::string block(1 << 16, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    for (std::uint32_t left = dataBytes; left > 0;) {
        const std::uint32_t n = std::min<std::uint32_t>(left, static_cast<std::uint32_t>(block.size()));
        out.write(block.data(), n);
        left -= n;
    }
    return path.string();
}

struct Songs {
    std::string shortSong = writeSong("_20s.wav", 20);
    std::string longSong = writeSong("_10min.wav", 600);
    ~Songs() {
        std::filesystem::remove(shortSong);
        std::filesystem::remove(longSong);
    }
};

Songs& songs() {
    static Songs instance;
    return instance;
}

// Plays a looping song for 60 s of audio and charges every thread but this one (which
// mixes, under the virtual clock) to the worker.
void BM_WorkerCpuPerAudioSecond(benchmark::State& state) {
    wavestream::SongPlayer player;
    if (player.load(nullptr, songs().shortSong.c_str(), 2, kRate, 16) != 0 || player.play(100, true) != 0) {
        state.SkipWithError("song did not start");
        return;
    }
    constexpr double kAudioSeconds = 60;
    double workerCpu = 0;
    for (auto _ : state) {
        const double processBefore = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double mineBefore = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        a5p_advance_ns(static_cast<std::uint64_t>(kAudioSeconds * 1e9));
        workerCpu += (cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processBefore) -
                     (cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - mineBefore);
    }
    state.counters["worker_us_per_audio_s"] = workerCpu / (kAudioSeconds * double(state.iterations())) * 1e6;
    player.kill();
}
BENCHMARK(BM_WorkerCpuPerAudioSecond)->Unit(benchmark::kMillisecond)->Iterations(3);

// Load (header walk twice, the first three seconds into the ring) and kill.
void BM_LoadTenMinuteSong(benchmark::State& state) {
    wavestream::SongPlayer player;
    for (auto _ : state) {
        if (player.load(nullptr, songs().longSong.c_str(), 2, kRate, 16) != 0) {
            state.SkipWithError("load failed");
            break;
        }
        state.PauseTiming();
        player.kill();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadTenMinuteSong)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, kRate, 2, 1, 0};
    if (a5p_configure(&config) != 0) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
