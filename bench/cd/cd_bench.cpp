// Cost of CD audio: CPU time of the whole process (reading the image, byte order, the
// ring's refill on the timer thread, mixing) per second of CD audio, with the disc's
// samples little- or big-endian, beside the same time with nothing playing; and the
// time from Orvox_PlayCD to the first sample in the mix. Built twice: under the virtual
// clock (time runs as fast as the work allows) and with the real-time null output.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>

#include <plat/a5platform.h>
#include <plat/mci.h>

#include "cd_image.h"
#include "engine_interface.h"
#include "cd_audio.h"

namespace {

namespace fs = std::filesystem;

const fs::path kDir = fs::temp_directory_path() / ("cd_bench_" + std::to_string(getpid()));

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Two tracks of 30 s.
std::string image(bool motorola) {
    cdtest::ImageLayout layout;
    layout.tracks = {{30 * 75}, {30 * 75}};
    layout.motorola = motorola;
    const std::string name = motorola ? "motorola" : "binary";
    if (!fs::exists(kDir / (name + ".cue"))) cdtest::writeImage(kDir, name, layout);
    return (kDir / (name + ".cue")).string();
}

MCIDEVICEID openDrive(const std::string& cue) {
    a5p_set_cd_image(cue.c_str());
    MCI_OPEN_PARMSA open{};
    open.lpstrDeviceType = "cdaudio";
    mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&open));
    return open.wDeviceID;
}

// range(0): 0 nothing plays, 1 little-endian disc, 2 big-endian disc.
void BM_CpuPerCdSecond(benchmark::State& state) {
    const double audioSeconds = a5p_is_virtual_clock() ? 20.0 : 2.0;
    const MCIDEVICEID device = openDrive(image(state.range(0) == 2));
    for (auto _ : state) {
        MCI_PLAY_PARMS play{};
        if (state.range(0) != 0) mciSendCommandA(device, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(&play));
        const double before = processCpuSeconds();
        a5p_advance_ns(static_cast<uint64_t>(audioSeconds * 1e9));
        const double cpu = processCpuSeconds() - before;
        state.SetIterationTime(cpu);
        state.counters["cpu_ms_per_audio_s"] = cpu / audioSeconds * 1e3;
        MCI_SEEK_PARMS seek{};
        mciSendCommandA(device, MCI_SEEK, MCI_SEEK_TO_START, reinterpret_cast<DWORD_PTR>(&seek));
    }
    mciSendCommandA(device, MCI_CLOSE, MCI_WAIT, 0);
}
BENCHMARK(BM_CpuPerCdSecond)
    ->ArgName("disc")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

std::atomic<bool> heard{false};
std::atomic<int64_t> heardAtNs{0};

void listen(void*, const int16_t* samples, size_t frames, unsigned channels) {
    if (heard.load()) return;
    for (size_t i = 0; i < frames * channels; ++i) {
        if (samples[i] != 0) {
            heardAtNs.store(std::chrono::steady_clock::now().time_since_epoch().count());
            heard.store(true);
            return;
        }
    }
}

// Orvox_PlayCD (the device opened before) until the first CD sample leaves the mixer:
// under the virtual clock the call and the first block's mixing, in real time the wait
// for the output's next block as well.
void BM_PlayCdToFirstSample(benchmark::State& state) {
    a5p_set_cd_image(image(false).c_str());
    orvox::cd::numberOfTracks();  // opens the device
    a5p_set_capture(&listen, nullptr);
    for (auto _ : state) {
        heard.store(false);
        const auto start = std::chrono::steady_clock::now();
        orvox::cd::play(1, 2);
        while (!heard.load()) a5p_advance_ns(a5p_is_virtual_clock() ? 1'000'000 : 200'000);
        state.SetIterationTime(static_cast<double>(heardAtNs.load() - start.time_since_epoch().count()) * 1e-9);
        orvox::cd::stop();
    }
    a5p_set_capture(nullptr, nullptr);
}
BENCHMARK(BM_PlayCdToFirstSample)->UseManualTime()->Iterations(50)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, 44100, 2, CD_BENCH_VIRTUAL, 0};
    if (a5p_configure(&config) != 0) return 2;
    fs::create_directories(kDir);
    fs::current_path(kDir);  // the player's log
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    orvox::cd::shutdown();
    a5p_shutdown();
    fs::remove_all(kDir);
    return 0;
}
