// Cost of the process-wide mixer: N looping 44.1 kHz stereo buffers mixed into a 48 kHz
// stereo output under the virtual clock (so only mixing is measured). The counter
// x_realtime is seconds of audio mixed per second of CPU time on one core.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include <plat/a5platform.h>
#include <plat/dsound.h>

namespace {

void mixBuffers(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    IDirectSound* ds = nullptr;
    DirectSoundCreate(nullptr, &ds, nullptr);
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    DSBUFFERDESC d{};
    d.dwSize = DSBUFFERDESC1_SIZE_32;
    d.dwFlags = DSBCAPS_CTRLVOLUME;
    d.dwBufferBytes = 65536;
    d.lpwfxFormat = &f;
    std::vector<IDirectSoundBuffer*> buffers;
    for (int i = 0; i < count; ++i) {
        IDirectSoundBuffer* b = nullptr;
        ds->CreateSoundBuffer(&d, &b, nullptr);
        void *p1, *p2;
        DWORD n1, n2;
        b->Lock(0, d.dwBufferBytes, &p1, &n1, &p2, &n2, 0);
        auto* s = static_cast<int16_t*>(p1);
        for (DWORD k = 0; k < n1 / 2; ++k) s[k] = int16_t(3000 * std::sin(0.01 * (k + 97 * i)));
        b->Unlock(p1, n1, p2, n2);
        b->SetVolume(-600);
        b->Play(0, 0, DSBPLAY_LOOPING);
        buffers.push_back(b);
    }
    const uint64_t second = 1'000'000'000ull;
    double audioSeconds = 0;
    for (auto _ : state) {
        a5p_advance_ns(second / 4);
        audioSeconds += 0.25;
    }
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    for (auto* b : buffers) b->Release();
    ds->Release();
}
BENCHMARK(mixBuffers)->Arg(1)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
    A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, 48000, 2, 1, 0};
    if (a5p_configure(&config) != 0) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    a5p_shutdown();
    return 0;
}
