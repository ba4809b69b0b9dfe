// EAX 2.0 on the sound service: the creation chain, the listener property set, and the
// reverb measured on what the mixer produced under the virtual clock. The NoEax suite
// runs in a process started with A5_NO_EAX=1 (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include <plat/a5platform.h>
#include <plat/dsound.h>
#include <plat/eax.h>
#include <plat/objbase.h>
#include <plat/owned.h>

#include "dry_output.h"

namespace {

constexpr uint64_t kMs = 1'000'000;
constexpr uint32_t kRate = 44100;

using plat::ComPtr;

using a5test::LeftCapture;
using a5test::NoiseLoop;

WAVEFORMATEX pcm(uint16_t channels) {
    return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, kRate, kRate * 2u * channels, WORD(2 * channels), 16, 0};
}

// The second buffer exactly as a game asks for it: the 20-byte description, a static
// stereo hardware 3D buffer.
HRESULT createVoice(IDirectSound* device, IDirectSoundBuffer** voice) {
    WAVEFORMATEX format = pcm(2);
    DSBUFFERDESC desc{};
    desc.dwSize = DSBUFFERDESC1_SIZE_32;
    desc.dwFlags = DSBCAPS_CTRL3D | DSBCAPS_LOCHARDWARE | DSBCAPS_STATIC;
    desc.dwBufferBytes = 65536;
    desc.lpwfxFormat = &format;
    return device->CreateSoundBuffer(&desc, voice, nullptr);
}

IDirectSoundBuffer* makeBuffer(IDirectSound* device, const std::vector<int16_t>& samples, uint16_t channels) {
    WAVEFORMATEX format = pcm(channels);
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwBufferBytes = DWORD(samples.size() * 2);
    desc.lpwfxFormat = &format;
    IDirectSoundBuffer* b = nullptr;
    if (device->CreateSoundBuffer(&desc, &b, nullptr) != DS_OK) return nullptr;
    void *p1, *p2;
    DWORD n1, n2;
    b->Lock(0, desc.dwBufferBytes, &p1, &n1, &p2, &n2, 0);
    std::memcpy(p1, samples.data(), n1);
    b->Unlock(p1, n1, p2, n2);
    return b;
}

// The whole chain on the EAX class: device, the primary buffer's listener, a hardware
// voice, its 3D buffer and its property set.
struct EaxChain {
    ComPtr<IDirectSound> device;
    ComPtr<IDirectSoundBuffer> primary;
    ComPtr<IDirectSound3DListener> listener;
    ComPtr<IDirectSoundBuffer> voice;
    ComPtr<IDirectSound3DBuffer> voice3d;
    ComPtr<IKsPropertySet> properties;

    void build() {
        CoInitialize(nullptr);
        ASSERT_EQ(CoCreateInstance(CLSID_EAXDirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound,
                                   reinterpret_cast<void**>(device.put())),
                  S_OK);
        ASSERT_EQ(device->Initialize(nullptr), DS_OK);
        DSBUFFERDESC primaryDesc{sizeof(DSBUFFERDESC), DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr, GUID_NULL};
        ASSERT_EQ(device->CreateSoundBuffer(&primaryDesc, primary.put(), nullptr), DS_OK);
        ASSERT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void**>(listener.put())), S_OK);
        ASSERT_EQ(createVoice(device.get(), voice.put()), DS_OK);
        ASSERT_EQ(voice->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void**>(voice3d.put())), S_OK);
        ASSERT_EQ(voice3d->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(properties.put())), S_OK);
    }
    HRESULT setEnvironment(DWORD environment) {
        return properties->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr, 0,
                               &environment, sizeof(environment));
    }
    // In the order a game tears down: 3D buffer, voice, listener, property set, device.
    void release() {
        voice3d.reset();
        voice.reset();
        listener.reset();
        properties.reset();
        primary.reset();
        device.reset();
    }
};

TEST(Eax, ChainAndListenerPropertySet) {
    EaxChain chain;
    ASSERT_NO_FATAL_FAILURE(chain.build());
    DSBCAPS caps{sizeof(DSBCAPS), 0, 0, 0, 0};
    ASSERT_EQ(chain.voice->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwFlags, DSBCAPS_CTRL3D | DSBCAPS_LOCHARDWARE | DSBCAPS_STATIC);
    EXPECT_EQ(caps.dwBufferBytes, 65536u);

    ULONG support = 0;
    EXPECT_EQ(chain.properties->QuerySupport(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT,
                                             &support),
              S_OK);
    EXPECT_EQ(support, KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET);
    DWORD value = 0;
    ULONG returned = 0;
    EXPECT_EQ(chain.properties->Get(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr,
                                    0, &value, sizeof(value), &returned),
              DSERR_INVALIDCALL);  // nothing set yet
    for (DWORD environment : {DWORD(EAX_ENVIRONMENT_GENERIC), DWORD(EAX_ENVIRONMENT_PSYCHOTIC)}) {
        EXPECT_EQ(chain.setEnvironment(environment), S_OK);
        EXPECT_EQ(chain.properties->Get(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT,
                                        nullptr, 0, &value, sizeof(value), &returned),
                  S_OK);
        EXPECT_EQ(value, environment);
        EXPECT_EQ(returned, sizeof(DWORD));
    }
    // Values and properties the driver does not know are refused and change nothing.
    EXPECT_EQ(chain.setEnvironment(EAX_ENVIRONMENT_COUNT), DSERR_INVALIDPARAM);
    EXPECT_EQ(chain.setEnvironment(0xFFFFFFFFu), DSERR_INVALIDPARAM);
    DWORD environment = EAX_ENVIRONMENT_CAVE;
    EXPECT_EQ(chain.properties->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr,
                                    0, &environment, 2),
              DSERR_INVALIDPARAM);
    EXPECT_EQ(chain.properties->Set(DSPROPSETID_EAX20_ListenerProperties, 5, nullptr, 0, &environment, 4),
              E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(chain.properties->Set(IID_IDirectSound, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr, 0, &environment, 4),
              E_PROP_SET_UNSUPPORTED);
    chain.properties->Get(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr, 0, &value,
                          sizeof(value), &returned);
    EXPECT_EQ(value, DWORD(EAX_ENVIRONMENT_PSYCHOTIC));

    // Software buffers have no property set; hardware buffers are 3D voices only.
    std::vector<int16_t> samples(256, 0);
    ComPtr<IDirectSoundBuffer> software(makeBuffer(chain.device.get(), samples, 2));
    ASSERT_TRUE(software);
    ComPtr<IKsPropertySet> none;
    EXPECT_EQ(software->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(none.put())), E_NOINTERFACE);
    WAVEFORMATEX format = pcm(2);
    DSBUFFERDESC flat{DSBUFFERDESC1_SIZE_32, DSBCAPS_LOCHARDWARE, 4096, 0, &format, GUID_NULL};
    IDirectSoundBuffer* refused = nullptr;
    EXPECT_EQ(chain.device->CreateSoundBuffer(&flat, &refused, nullptr), DSERR_CONTROLUNAVAIL);

    // The plain class makes hardware voices on this hardware too.
    ComPtr<IDirectSound> plain;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound,
                               reinterpret_cast<void**>(plain.put())),
              S_OK);
    ASSERT_EQ(plain->Initialize(nullptr), DS_OK);
    ComPtr<IDirectSoundBuffer> plainVoice;
    EXPECT_EQ(createVoice(plain.get(), plainVoice.put()), DS_OK);
    chain.release();
}

// Schroeder's backward integral of the band around 1 kHz, T20 extrapolated to 60 dB:
// the decay time at the mid frequencies where a preset's decay time is defined.
double reverberationTime(const std::vector<int16_t>& response) {
    const double w0 = 2 * M_PI * 1000.0 / kRate, alpha = std::sin(w0) / (2 * 1.4), a0 = 1 + alpha;
    const double b0 = alpha / a0, a1 = -2 * std::cos(w0) / a0, a2 = (1 - alpha) / a0;
    std::vector<double> energy(response.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t i = 0; i < response.size(); ++i) {
        const double x = response[i], y = b0 * x - b0 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        energy[i] = y * y;
    }
    for (size_t i = energy.size() - 1; i > 0; --i) energy[i - 1] += energy[i];
    size_t at5 = 0, at25 = 0;
    for (size_t i = 0; i < energy.size() && !at25; ++i) {
        const double db = 10 * std::log10(energy[i] / energy[0]);
        if (!at5 && db <= -5) at5 = i;
        if (db <= -25) at25 = i;
    }
    return at25 > at5 && at5 ? 3.0 * double(at25 - at5) / kRate : 0.0;
}

struct Impulse {
    std::vector<int16_t> response;  // from the impulse on, left channel
    size_t onset = 0;               // frames from the impulse to the first wet sample
};

// An impulse through the chain with `environment` set, rendered for `seconds`.
Impulse impulseThrough(DWORD environment, double seconds) {
    Impulse out;
    EaxChain chain;
    chain.build();
    EXPECT_EQ(chain.setEnvironment(environment), S_OK);
    std::vector<int16_t> samples(2 * 64, 0);
    samples[0] = samples[1] = 30000;
    ComPtr<IDirectSoundBuffer> impulse(makeBuffer(chain.device.get(), samples, 2));
    LeftCapture capture;
    impulse->Play(0, 0, 0);
    a5p_advance_ns(uint64_t(seconds * 1000) * kMs);
    std::vector<int16_t> left = capture.take();
    const auto at = std::find(left.begin(), left.end(), 30000);
    EXPECT_NE(at, left.end());
    if (at == left.end()) return out;
    out.response.assign(at + 1, left.end());
    while (out.onset < out.response.size() && out.response[out.onset] == 0) ++out.onset;
    ++out.onset;
    impulse.reset();
    chain.release();
    return out;
}

TEST(Eax, LargeAndSmallEnvironmentsDecayAsTheirPresets) {
    // Arena 7.24 s, room 0.40 s (the presets' decay times); reflections 20 ms and 2 ms.
    const Impulse arena = impulseThrough(EAX_ENVIRONMENT_ARENA, 6.0);
    const Impulse room = impulseThrough(EAX_ENVIRONMENT_ROOM, 1.5);
    const double arenaTime = reverberationTime(arena.response), roomTime = reverberationTime(room.response);
    ::testing::Test::RecordProperty("arena_rt60_ms", int(arenaTime * 1000));
    ::testing::Test::RecordProperty("room_rt60_ms", int(roomTime * 1000));
    EXPECT_NEAR(arenaTime, 7.24, 7.24 * 0.15);
    EXPECT_NEAR(roomTime / arenaTime, 0.40 / 7.24, 0.40 / 7.24 * 0.15);
    EXPECT_NEAR(roomTime, 0.40, 0.40 * 0.15);
    // The wet signal starts at the reflections delay: the stage adds no latency.
    EXPECT_NEAR(double(arena.onset) / kRate, 0.020, 0.0005);
    EXPECT_NEAR(double(room.onset) / kRate, 0.002, 0.0005);
}

// A looping noise buffer at the output rate and full volume: the dry output is the
// buffer itself, so any stage left in the mixer shows.
TEST(Eax, OutputIsDryBitForBitAgainAfterTheLastVoiceGoes) {
    ComPtr<IDirectSound> engine;
    ASSERT_EQ(DirectSoundCreate(nullptr, engine.put(), nullptr), DS_OK);
    const NoiseLoop noise(4096, 11, 8000);
    ComPtr<IDirectSoundBuffer> music(makeBuffer(engine.get(), noise.samples(), 2));
    ASSERT_TRUE(music);
    LeftCapture capture;
    music->Play(0, 0, DSBPLAY_LOOPING);
    a5p_advance_ns(10 * kMs);  // the first block starts the music mid-block
    capture.take();
    a5p_advance_ns(200 * kMs);
    EXPECT_TRUE(noise.isDry(capture.take()));

    EaxChain chain;
    ASSERT_NO_FATAL_FAILURE(chain.build());
    EXPECT_EQ(chain.setEnvironment(EAX_ENVIRONMENT_HANGAR), S_OK);
    a5p_advance_ns(300 * kMs);
    EXPECT_FALSE(noise.isDry(capture.take()));
    chain.release();
    a5p_advance_ns(200 * kMs);
    EXPECT_TRUE(noise.isDry(capture.take()));
    // A new chain starts without an environment: still dry until one is set.
    ASSERT_NO_FATAL_FAILURE(chain.build());
    a5p_advance_ns(100 * kMs);
    EXPECT_TRUE(noise.isDry(capture.take()));
    chain.release();
}

// The script thread changes environments and finally removes the reverb while another
// thread mixes: the hand-over must be race-free (run under ThreadSanitizer).
TEST(Eax, EnvironmentChangesWhileAnotherThreadMixes) {
    EaxChain chain;
    ASSERT_NO_FATAL_FAILURE(chain.build());
    const NoiseLoop noise(2048, 5, 4000);
    ComPtr<IDirectSoundBuffer> music(makeBuffer(chain.device.get(), noise.samples(), 2));
    music->Play(0, 0, DSBPLAY_LOOPING);
    std::atomic<bool> done{false};
    std::thread mixing([&] {
        while (!done.load()) a5p_advance_ns(3 * kMs);
    });
    for (DWORD i = 0; i < 3 * EAX_ENVIRONMENT_COUNT; ++i) {
        EXPECT_EQ(chain.setEnvironment(i % EAX_ENVIRONMENT_COUNT), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    music.reset();
    chain.release();
    done = true;
    mixing.join();
}

TEST(NoEax, NoEaxClassAndNoHardwareVoices) {
    CoInitialize(nullptr);
    ComPtr<IDirectSound> eax;
    EXPECT_EQ(CoCreateInstance(CLSID_EAXDirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound,
                               reinterpret_cast<void**>(eax.put())),
              REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(eax);
    ComPtr<IDirectSound> plain;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound,
                               reinterpret_cast<void**>(plain.put())),
              S_OK);
    ASSERT_EQ(plain->Initialize(nullptr), DS_OK);
    IDirectSoundBuffer* voice = nullptr;
    EXPECT_EQ(createVoice(plain.get(), &voice), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(voice, nullptr);
    // The 3D listener is no EAX feature: the primary buffer still gives it.
    DSBUFFERDESC primaryDesc{sizeof(DSBUFFERDESC), DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr, GUID_NULL};
    ComPtr<IDirectSoundBuffer> primary;
    ASSERT_EQ(plain->CreateSoundBuffer(&primaryDesc, primary.put(), nullptr), DS_OK);
    ComPtr<IDirectSound3DListener> listener;
    EXPECT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void**>(listener.put())), S_OK);
}

}  // namespace
