// Cost of the process-wide mixer into a 48 kHz stereo output under the virtual clock (so
// only mixing is measured), on one core. The counter x_realtime is seconds of audio mixed
// per second of CPU time.
//   mixBuffers/N        N looping 44.1 kHz stereo buffers
//   mixBuffersReverb/N  the same with an EAX environment (the hangar) on the output
//   gameMix/reverb:0|1  48 effects at 22.05 kHz mono, 8 sounds at 44.1 kHz stereo and two
//                       music streams (44.1 kHz stereo, 64 KiB rings), each with a volume
//                       and a pan of its own; without and with the hangar
// bench/platform/mixer_instructions.sh counts the instructions of the same cases.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include <plat/a5platform.h>
#include <plat/dsound.h>
#include <plat/eax.h>
#include <plat/objbase.h>

#include "openal_pinned.h"

namespace {

IDirectSoundBuffer* loopingBuffer(IDirectSound* ds, uint32_t rate, uint16_t channels, DWORD bytes, int seed,
                                  LONG volume, LONG pan) {
    WAVEFORMATEX f{WAVE_FORMAT_PCM, channels, rate, rate * 2u * channels, WORD(2 * channels), 16, 0};
    DSBUFFERDESC d{};
    d.dwSize = DSBUFFERDESC1_SIZE_32;
    d.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN;
    d.dwBufferBytes = bytes;
    d.lpwfxFormat = &f;
    IDirectSoundBuffer* b = nullptr;
    if (ds->CreateSoundBuffer(&d, &b, nullptr) != DS_OK) return nullptr;
    void *p1, *p2;
    DWORD n1, n2;
    b->Lock(0, d.dwBufferBytes, &p1, &n1, &p2, &n2, 0);
    auto* s = static_cast<int16_t*>(p1);
    for (DWORD k = 0; k < n1 / 2; ++k) s[k] = int16_t(3000 * std::sin(0.01 * (k + 97 * seed)));
    b->Unlock(p1, n1, p2, n2);
    b->SetVolume(volume);
    b->SetPan(pan);
    b->Play(0, 0, DSBPLAY_LOOPING);
    return b;
}

// The EAX chain a game builds, with an environment on the whole output while it lives.
class Reverb {
public:
    explicit Reverb(DWORD environment) {
        CoInitialize(nullptr);
        if (CoCreateInstance(CLSID_EAXDirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound,
                             reinterpret_cast<void**>(&device_)) != S_OK ||
            device_->Initialize(nullptr) != DS_OK)
            return;
        WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
        DSBUFFERDESC d{};
        d.dwSize = DSBUFFERDESC1_SIZE_32;
        d.dwFlags = DSBCAPS_CTRL3D | DSBCAPS_LOCHARDWARE | DSBCAPS_STATIC;
        d.dwBufferBytes = 65536;
        d.lpwfxFormat = &f;
        if (device_->CreateSoundBuffer(&d, &voice_, nullptr) != DS_OK ||
            voice_->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void**>(&voice3d_)) != S_OK ||
            voice3d_->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(&properties_)) != S_OK)
            return;
        on_ = properties_->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr, 0,
                               &environment, sizeof environment) == S_OK;
    }
    ~Reverb() {
        for (IUnknown* u : {static_cast<IUnknown*>(voice3d_), static_cast<IUnknown*>(voice_),
                            static_cast<IUnknown*>(properties_), static_cast<IUnknown*>(device_)})
            if (u) u->Release();
    }
    Reverb(const Reverb&) = delete;
    Reverb& operator=(const Reverb&) = delete;
    bool on() const { return on_; }

private:
    IDirectSound* device_ = nullptr;
    IDirectSoundBuffer* voice_ = nullptr;
    IDirectSound3DBuffer* voice3d_ = nullptr;
    IKsPropertySet* properties_ = nullptr;
    bool on_ = false;
};

void mix(benchmark::State& state, std::vector<IDirectSoundBuffer*>& buffers, bool reverb) {
    std::unique_ptr<Reverb> eax;
    if (reverb) {
        eax = std::make_unique<Reverb>(EAX_ENVIRONMENT_HANGAR);
        if (!eax->on()) state.SkipWithError("no EAX reverb");
    }
    const uint64_t second = 1'000'000'000ull;
    double audioSeconds = 0;
    for (auto _ : state) {
        a5p_advance_ns(second / 4);
        audioSeconds += 0.25;
    }
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    for (auto* b : buffers)
        if (b) b->Release();
}

void buffersAt44k(benchmark::State& state, bool reverb) {
    IDirectSound* ds = nullptr;
    DirectSoundCreate(nullptr, &ds, nullptr);
    std::vector<IDirectSoundBuffer*> buffers;
    for (int i = 0; i < state.range(0); ++i) buffers.push_back(loopingBuffer(ds, 44100, 2, 65536, i, -600, 0));
    mix(state, buffers, reverb);
    ds->Release();
}

void mixBuffers(benchmark::State& state) { buffersAt44k(state, false); }
BENCHMARK(mixBuffers)->Arg(1)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void mixBuffersReverb(benchmark::State& state) { buffersAt44k(state, true); }
BENCHMARK(mixBuffersReverb)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void gameMix(benchmark::State& state) {
    IDirectSound* ds = nullptr;
    DirectSoundCreate(nullptr, &ds, nullptr);
    std::vector<IDirectSoundBuffer*> buffers;
    for (int i = 0; i < 48; ++i)
        buffers.push_back(loopingBuffer(ds, 22050, 1, 22050, i, -LONG(i % 12) * 150, LONG(i % 9) * 500 - 2000));
    for (int i = 0; i < 8; ++i)
        buffers.push_back(loopingBuffer(ds, 44100, 2, 88200, 100 + i, -300 - LONG(i) * 100, LONG(i % 3) * 1000 - 1000));
    for (int i = 0; i < 2; ++i) buffers.push_back(loopingBuffer(ds, 44100, 2, 65536, 200 + i, -200, 0));
    mix(state, buffers, state.range(0) != 0);
    ds->Release();
}
BENCHMARK(gameMix)->ArgName("reverb")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
    pinOpenAl();
    A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, 48000, 2, 1, 0};
    if (a5p_configure(&config) != 0) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    a5p_shutdown();
    return 0;
}
