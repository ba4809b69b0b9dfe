// The sound service under the virtual clock: cursors, locks, notifications, volume and
// rate conversion, measured on what the mixer really produced.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <plat/a5platform.h>
#include <plat/dsound.h>
#include <plat/winbase.h>

namespace {

constexpr uint64_t kMs = 1'000'000;
constexpr uint32_t kRate = 44100;

struct Capture {
    std::mutex mutex;
    std::vector<int16_t> samples;  // interleaved stereo
    static void receive(void* user, const int16_t* s, size_t frames, unsigned channels) {
        auto* self = static_cast<Capture*>(user);
        std::lock_guard lock(self->mutex);
        self->samples.insert(self->samples.end(), s, s + frames * channels);
    }
    Capture() { a5p_set_capture(&Capture::receive, this); }
    ~Capture() { a5p_set_capture(nullptr, nullptr); }
    std::vector<int16_t> channel(int c) {
        std::lock_guard lock(mutex);
        std::vector<int16_t> out;
        for (size_t i = c; i < samples.size(); i += 2) out.push_back(samples[i]);
        return out;
    }
};

WAVEFORMATEX pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

class Mixer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK); }
    void TearDown() override {
        for (auto* b : buffers) b->Release();
        device->Release();
        // The rate converters play out what released buffers left in their filters.
        a5p_advance_ns(10 * kMs);
    }
    IDirectSoundBuffer* make(WAVEFORMATEX format, DWORD bytes, DWORD flags = DSBCAPS_CTRLVOLUME) {
        DSBUFFERDESC desc{};
        desc.dwSize = DSBUFFERDESC1_SIZE_32;
        desc.dwFlags = flags;
        desc.dwBufferBytes = bytes;
        desc.lpwfxFormat = &format;
        IDirectSoundBuffer* b = nullptr;
        EXPECT_EQ(device->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
        if (b) buffers.push_back(b);
        return b;
    }
    static void fill(IDirectSoundBuffer* b, const void* data, DWORD bytes) {
        void *p1, *p2;
        DWORD n1, n2;
        ASSERT_EQ(b->Lock(0, bytes, &p1, &n1, &p2, &n2, 0), DS_OK);
        std::memcpy(p1, data, n1);
        ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
    }
    IDirectSound* device = nullptr;
    std::vector<IDirectSoundBuffer*> buffers;
};

// Index of the first non-zero sample, or the size.
size_t firstSound(const std::vector<int16_t>& s) {
    size_t i = 0;
    while (i < s.size() && s[i] == 0) ++i;
    return i;
}

double rms(const std::vector<int16_t>& s, size_t from, size_t count) {
    double sum = 0;
    for (size_t i = from; i < from + count; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / count);
}

// Energy of the Hann-windowed signal in the DFT bins between two frequencies.
double bandEnergy(const std::vector<int16_t>& s, size_t from, size_t n, double lowHz, double highHz) {
    double energy = 0;
    for (size_t k = size_t(lowHz * n / kRate); k <= size_t(highHz * n / kRate) && k < n / 2; ++k) {
        double re = 0, im = 0;
        for (size_t i = 0; i < n; ++i) {
            double w = 0.5 - 0.5 * std::cos(2 * M_PI * i / n);
            re += w * s[from + i] * std::cos(2 * M_PI * k * i / n);
            im -= w * s[from + i] * std::sin(2 * M_PI * k * i / n);
        }
        energy += re * re + im * im;
    }
    return energy;
}

TEST_F(Mixer, BufferAtOutputRateAndFullVolumePassesThroughBitForBit) {
    std::vector<int16_t> data(2 * 3000);
    std::mt19937 rng(7);
    for (auto& v : data) v = static_cast<int16_t>(rng());
    auto* b = make(pcm(kRate, 2, 16), DWORD(data.size() * 2));
    fill(b, data.data(), DWORD(data.size() * 2));
    Capture capture;
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    a5p_advance_ns(200 * kMs);
    std::lock_guard lock(capture.mutex);
    size_t start = firstSound(capture.samples);
    ASSERT_LT(start + data.size(), capture.samples.size());
    ASSERT_EQ(start % 2, 0u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), capture.samples.begin() + long(start)));
    for (size_t i = start + data.size(); i < capture.samples.size(); ++i) ASSERT_EQ(capture.samples[i], 0);
}

TEST_F(Mixer, MonoPlaysAtFullLevelOnBothChannels) {
    std::vector<int16_t> data(4000, 12345);
    auto* b = make(pcm(kRate, 1, 16), DWORD(data.size() * 2));
    fill(b, data.data(), DWORD(data.size() * 2));
    Capture capture;
    b->Play(0, 0, 0);
    a5p_advance_ns(50 * kMs);
    auto left = capture.channel(0), right = capture.channel(1);
    size_t start = firstSound(left);
    ASSERT_LT(start + 1000, left.size());
    for (size_t i = start; i < start + 1000; ++i) {
        ASSERT_EQ(left[i], 12345);
        ASSERT_EQ(right[i], 12345);
    }
}

TEST_F(Mixer, LoopingCursorWrapsAndOneShotStopsAtItsEnd) {
    const DWORD frames = 1000;
    auto* loop = make(pcm(kRate, 2, 16), frames * 4);
    auto* once = make(pcm(kRate, 2, 16), frames * 4);
    loop->Play(0, 0, DSBPLAY_LOOPING);
    once->Play(0, 0, 0);
    const uint64_t before = a5p_frames_mixed();
    a5p_advance_ns(5 * 256 * 1'000'000'000ull / kRate + 1);
    const uint64_t mixed = a5p_frames_mixed() - before;
    ASSERT_GT(mixed, frames);
    DWORD play = 1, write = 0, status = 0;
    loop->GetCurrentPosition(&play, &write);
    EXPECT_EQ(play, DWORD((mixed % frames) * 4));
    loop->GetStatus(&status);
    EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    once->GetStatus(&status);
    EXPECT_EQ(status, 0u);
    once->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 0u);
}

TEST_F(Mixer, StopKeepsThePositionAndPlayContinuesFromIt) {
    auto* b = make(pcm(kRate, 2, 16), 65536);
    b->Play(0, 0, DSBPLAY_LOOPING);
    a5p_advance_ns(30 * kMs);
    b->Stop();
    DWORD stopped = 0, later = 0;
    b->GetCurrentPosition(&stopped, nullptr);
    EXPECT_GT(stopped, 0u);
    a5p_advance_ns(30 * kMs);
    b->GetCurrentPosition(&later, nullptr);
    EXPECT_EQ(stopped, later);
    b->Play(0, 0, DSBPLAY_LOOPING);
    a5p_advance_ns(30 * kMs);
    b->GetCurrentPosition(&later, nullptr);
    EXPECT_GT(later, stopped);
    EXPECT_EQ(b->SetCurrentPosition(400), DS_OK);
    b->GetCurrentPosition(&later, nullptr);
    EXPECT_EQ(later, 400u);
}

TEST_F(Mixer, LockGivesOnePartOrTwoWhenTheRegionWraps) {
    auto* b = make(pcm(kRate, 2, 16), 1000);
    void *p1, *p2;
    DWORD n1, n2;
    ASSERT_EQ(b->Lock(100, 200, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 200u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(n2, 0u);
    b->Unlock(p1, n1, p2, n2);
    ASSERT_EQ(b->Lock(900, 300, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 100u);
    EXPECT_EQ(n2, 200u);
    EXPECT_EQ(static_cast<uint8_t*>(p1) - static_cast<uint8_t*>(p2), 900);
    EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
    EXPECT_EQ(b->Lock(1000, 4, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Lock(0, 1001, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Unlock(reinterpret_cast<uint8_t*>(p1) + 2000, 4, nullptr, 0), DSERR_INVALIDPARAM);
}

// A writer holds a lock across the play cursor while mixing goes on: the mixer reads
// none of the locked bytes (ThreadSanitizer watches the writer thread) and plays the
// stretch as silence; after Unlock the new content is heard on the next pass.
TEST_F(Mixer, LockedStretchIsNotReadAndPlaysAsSilenceUntilUnlock) {
    const DWORD frames = 8192;
    const DWORD size = frames * 4;
    auto* b = make(pcm(kRate, 2, 16), size);
    const std::vector<int16_t> old(frames * 2, 1000);
    fill(b, old.data(), size);
    Capture capture;
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

    // 256 frames before the end of the buffer up to frame 2048: two parts around the cursor.
    const DWORD lockFrom = size - 1024;
    const DWORD lockBytes = 1024 + 2048 * 4;
    void *p1, *p2;
    DWORD n1, n2;
    ASSERT_EQ(b->Lock(lockFrom, lockBytes, &p1, &n1, &p2, &n2, 0), DS_OK);
    ASSERT_NE(p2, nullptr);
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        do {
            std::fill_n(static_cast<int16_t*>(p1), n1 / 2, int16_t{2000});
            std::fill_n(static_cast<int16_t*>(p2), n2 / 2, int16_t{2000});
        } while (writing.load());
    });
    a5p_advance_ns(20 * kMs);
    writing.store(false);
    writer.join();
    const size_t mixedWhileLocked = capture.channel(0).size();
    ASSERT_GE(mixedWhileLocked, 2 * 256u);
    ASSERT_LT(mixedWhileLocked, 2048u);
    ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
    a5p_advance_ns(2 * frames * 1000 * kMs / kRate);

    const std::vector<int16_t> left = capture.channel(0);
    ASSERT_GT(left.size(), 2u * frames);
    long wrong = 0;
    for (size_t k = 0; k < left.size(); ++k) {
        const size_t f = k % frames;
        const int16_t expected = k < mixedWhileLocked ? 0 : (f < 2048 || f >= frames - 256) ? 2000 : 1000;
        wrong += left[k] != expected;
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(Mixer, NotificationsFireWhenTheCursorPassesTheirOffsets) {
    const DWORD block = 4096;  // 1024 frames
    auto* b = make(pcm(kRate, 2, 16), 4 * block, DSBCAPS_CTRLPOSITIONNOTIFY);
    IDirectSoundNotify* notify = nullptr;
    ASSERT_EQ(b->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&notify)), S_OK);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DSBPOSITIONNOTIFY positions[4];
    for (DWORD i = 0; i < 4; ++i) positions[i] = {block * (i + 1) - 1, event};
    ASSERT_EQ(notify->SetNotificationPositions(4, positions), DS_OK);
    notify->Release();
    b->Play(0, 0, DSBPLAY_LOOPING);
    // The cursor moves 1024 bytes per 256-frame block: each offset is passed in the
    // fourth block after the previous one.
    const uint64_t blockNs = 256 * 1'000'000'000ull / kRate + 1;
    int fired = 0;
    for (int k = 1; k <= 16; ++k) {
        a5p_advance_ns(blockNs);
        DWORD play = 0;
        b->GetCurrentPosition(&play, nullptr);
        bool signaled = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
        if (signaled) ++fired;
        EXPECT_EQ(signaled, play % block == 0) << "block " << k << " cursor " << play;
    }
    EXPECT_EQ(fired, 4);
    CloseHandle(event);
}

TEST_F(Mixer, VolumeIsTenToTheAttenuationOverTwoThousandAndMinimumIsSilent) {
    std::vector<int16_t> data(2 * 8000, 20000);
    auto* b = make(pcm(kRate, 2, 16), DWORD(data.size() * 2));
    fill(b, data.data(), DWORD(data.size() * 2));
    for (LONG att : {-600L, -2000L, -10000L}) {
        ASSERT_EQ(b->SetVolume(att), DS_OK);
        LONG back = 0;
        b->GetVolume(&back);
        EXPECT_EQ(back, att);
        b->SetCurrentPosition(0);
        Capture capture;
        b->Play(0, 0, 0);
        a5p_advance_ns(100 * kMs);
        auto left = capture.channel(0);
        long peak = 0;
        for (auto v : left) peak = std::max(peak, long(std::abs(v)));
        EXPECT_NEAR(double(peak), att == -10000 ? 0.0 : 20000 * std::pow(10.0, att / 2000.0), 1.0) << att;
    }
    EXPECT_EQ(b->SetVolume(1), DSERR_INVALIDPARAM);
}

TEST_F(Mixer, EightBitToneAt22kHzComesOutAt1kHzWithItsLevel) {
    const uint32_t rate = 22050;
    std::vector<uint8_t> data(rate);  // one second
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(std::lround(128 + 100 * std::sin(2 * M_PI * 1000 * i / rate)));
    auto* b = make(pcm(rate, 1, 8), DWORD(data.size()));
    fill(b, data.data(), DWORD(data.size()));
    Capture capture;
    b->Play(0, 0, 0);
    a5p_advance_ns(600 * kMs);
    auto left = capture.channel(0);
    size_t start = firstSound(left) + 2000;
    const size_t n = 8192;
    ASSERT_GT(left.size(), start + n);
    // Level: a sine of peak 100 × 256 has an RMS of 25600 / sqrt(2).
    double level = 20 * std::log10(rms(left, start, n) / (25600 / std::sqrt(2.0)));
    EXPECT_LT(std::abs(level), 0.5) << level << " dB";
    // Frequency from zero crossings over n samples.
    int crossings = 0;
    for (size_t i = start + 1; i < start + n; ++i) crossings += (left[i - 1] < 0) != (left[i] < 0);
    double hz = crossings / 2.0 * kRate / n;
    EXPECT_NEAR(hz, 1000.0, 15.0);
}

TEST_F(Mixer, EightKilohertzBufferLeavesNoImagesAboveFourKilohertz) {
    const uint32_t rate = 8000;
    std::vector<int16_t> data(rate);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<int16_t>(std::lround(20000 * std::sin(2 * M_PI * 1000 * i / rate)));
    auto* b = make(pcm(rate, 1, 16), DWORD(data.size() * 2));
    fill(b, data.data(), DWORD(data.size() * 2));
    Capture capture;
    b->Play(0, 0, 0);
    a5p_advance_ns(600 * kMs);
    auto left = capture.channel(0);
    size_t start = firstSound(left) + 2000;
    const size_t n = 4096;
    ASSERT_GT(left.size(), start + n);
    double tone = bandEnergy(left, start, n, 900, 1100);
    double images = bandEnergy(left, start, n, 4300, 20000);
    EXPECT_LT(10 * std::log10(images / tone), -55.0);
}

// RMS of what is left of s[from, from + n) after the best fit of a sine of `hz` and a
// constant, relative to the fitted sine: below -70 dB for a clean tone.
double residualDb(const std::vector<int16_t>& s, size_t from, size_t n, double hz) {
    double m[3][3] = {}, v[3] = {};
    for (size_t i = 0; i < n; ++i) {
        const double w = 2 * M_PI * hz * double(i) / kRate;
        const double basis[3] = {std::sin(w), std::cos(w), 1.0};
        for (int a = 0; a < 3; ++a) {
            v[a] += basis[a] * s[from + i];
            for (int b = 0; b < 3; ++b) m[a][b] += basis[a] * basis[b];
        }
    }
    // Solve the 3 × 3 normal equations (Gaussian elimination; the matrix is well conditioned).
    for (int c = 0; c < 3; ++c)
        for (int r = c + 1; r < 3; ++r) {
            const double f = m[r][c] / m[c][c];
            for (int k = c; k < 3; ++k) m[r][k] -= f * m[c][k];
            v[r] -= f * v[c];
        }
    double x[3];
    for (int r = 2; r >= 0; --r) {
        x[r] = v[r];
        for (int k = r + 1; k < 3; ++k) x[r] -= m[r][k] * x[k];
        x[r] /= m[r][r];
    }
    double residual = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 2 * M_PI * hz * double(i) / kRate;
        const double e = s[from + i] - (x[0] * std::sin(w) + x[1] * std::cos(w) + x[2]);
        residual += e * e;
    }
    const double tone = (x[0] * x[0] + x[1] * x[1]) / 2;
    return 10 * std::log10(residual / n / tone);
}

std::vector<int16_t> sineSamples(uint32_t rate, double hz, double amplitude, size_t frames, uint16_t channels) {
    std::vector<int16_t> out;
    for (size_t i = 0; i < frames; ++i)
        for (uint16_t c = 0; c < channels; ++c)
            out.push_back(static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * double(i) / rate))));
    return out;
}

// Buffers that share a rate are converted as one sum. Others joining and leaving that
// sum (starting, stopping, moving, changing rate, coming and going) neither shift nor
// disturb a tone already playing in it, and its cursor keeps the exact rate.
TEST_F(Mixer, AToneStaysCleanAndOnTimeWhileOthersJoinAndLeaveItsRate) {
    const uint32_t rate = 22050;
    const auto tone = sineSamples(rate, 1000, 12000, rate, 2);  // one second, looping: 1000 whole periods
    auto* b = make(pcm(rate, 2, 16), DWORD(tone.size() * 2));
    fill(b, tone.data(), DWORD(tone.size() * 2));
    std::vector<IDirectSoundBuffer*> others;
    for (int i = 0; i < 3; ++i) others.push_back(make(pcm(rate, i == 2 ? 1 : 2, i == 1 ? 8 : 16), 8000,
                                                      DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY));
    Capture capture;
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    DWORD start = 0;
    const uint64_t mixedBefore = a5p_frames_mixed();
    b->GetCurrentPosition(&start, nullptr);
    std::mt19937 rng(4);
    const uint64_t blockNs = 256 * 1'000'000'000ull / kRate + 1;
    for (int step = 0; step < 300; ++step) {
        IDirectSoundBuffer* o = others[rng() % others.size()];
        switch (rng() % 5) {
            case 0: o->Play(0, 0, rng() % 2 ? DSBPLAY_LOOPING : 0); break;
            case 1: o->Stop(); break;
            case 2: o->SetCurrentPosition(DWORD(rng() % 4000) * 2); break;
            case 3: o->SetFrequency(rng() % 2 ? rate : 11025 + DWORD(rng() % 20000)); break;
            default: {
                IDirectSoundBuffer* fresh = make(pcm(rate, 2, 16), 4096);
                fresh->Play(0, 0, 0);
                break;
            }
        }
        a5p_advance_ns(blockNs * (1 + rng() % 3));
    }
    const uint64_t mixed = a5p_frames_mixed() - mixedBefore;
    auto left = capture.channel(0);
    const size_t first = firstSound(left) + 64;
    ASSERT_GT(left.size(), first + 20000);
    EXPECT_LT(residualDb(left, first, left.size() - first - 64, 1000.0), -70.0);
    // Two source frames per output frame at 44.1 kHz from 22.05 kHz; the group's phase may
    // hold the start back by less than one frame.
    DWORD now = 0;
    b->GetCurrentPosition(&now, nullptr);
    const int64_t moved = (int64_t(now) - int64_t(start)) / 4, expected = int64_t(mixed / 2) % rate;
    const int64_t off = ((moved - expected) % rate + rate) % rate;
    EXPECT_TRUE(off <= 1 || off >= rate - 1) << moved << " vs " << expected;
}

// A playing buffer alone at its rate that changes its frequency keeps its converter's
// history and phase: the output's steps stay those of the tone.
TEST_F(Mixer, ChangingTheFrequencyWhilePlayingLeavesNoClick) {
    const uint32_t rate = 22050;
    const auto tone = sineSamples(rate, 500, 16000, rate, 1);
    auto* b = make(pcm(rate, 1, 16), DWORD(tone.size() * 2), DSBCAPS_CTRLFREQUENCY);
    fill(b, tone.data(), DWORD(tone.size() * 2));
    Capture capture;
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    a5p_advance_ns(20 * kMs);
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(b->SetFrequency(i % 2 ? rate : rate + 60), DS_OK);
        a5p_advance_ns((7 + i % 5) * kMs);
    }
    auto left = capture.channel(0);
    const size_t first = firstSound(left) + 200;
    ASSERT_GT(left.size(), first + 14000);
    // The steepest step of a 16000 sine at 500 Hz (+0.3 %) sampled at 44.1 kHz is 1142.
    int steepest = 0;
    for (size_t i = first + 1; i < left.size() - 200; ++i) steepest = std::max(steepest, std::abs(left[i] - left[i - 1]));
    EXPECT_LT(steepest, 1200);
}

// The mixer runs while other threads create, control and release buffers.
TEST_F(Mixer, ControlsFromManyThreadsWhileMixing) {
    std::atomic<int> running{3};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(t);
            std::vector<IDirectSoundBuffer*> own;
            for (int i = 0; i < 1500; ++i) {
                if (own.size() < 4 || rng() % 8 == 0) {
                    WAVEFORMATEX f = pcm(rng() % 2 ? 22050 : 44100, uint16_t(1 + rng() % 2), rng() % 2 ? 8 : 16);
                    DSBUFFERDESC desc{};
                    desc.dwSize = sizeof desc;
                    desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY;
                    desc.dwBufferBytes = 8192;
                    desc.lpwfxFormat = &f;
                    IDirectSoundBuffer* b = nullptr;
                    if (device->CreateSoundBuffer(&desc, &b, nullptr) == DS_OK) own.push_back(b);
                    continue;
                }
                IDirectSoundBuffer* b = own[rng() % own.size()];
                void *p1, *p2;
                DWORD n1, n2;
                switch (rng() % 8) {
                    case 0: b->Play(0, 0, rng() % 2 ? DSBPLAY_LOOPING : 0); break;
                    case 1: b->Stop(); break;
                    case 2: b->SetVolume(-LONG(rng() % 3000)); break;
                    case 3: b->SetPan(LONG(rng() % 4001) - 2000); break;
                    case 4: b->SetFrequency(DWORD(8000 + rng() % 40000)); break;
                    case 5: b->SetCurrentPosition(DWORD(rng() % 4096)); break;
                    case 6:
                        if (b->Lock(0, 1024, &p1, &n1, &p2, &n2, DSBLOCK_FROMWRITECURSOR) == DS_OK) {
                            std::memset(p1, int(rng() % 256), n1);
                            b->Unlock(p1, n1, p2, n2);
                        }
                        break;
                    default:
                        own.erase(std::find(own.begin(), own.end(), b));
                        b->Release();
                }
            }
            for (auto* b : own) b->Release();
            --running;
        });
    }
    const uint64_t before = a5p_frames_mixed();
    while (running > 0) a5p_advance_ns(kMs);
    for (auto& t : threads) t.join();
    EXPECT_GT(a5p_frames_mixed(), before);
}

TEST_F(Mixer, MalformedDescriptionsAreRefused) {
    WAVEFORMATEX f = pcm(kRate, 2, 16);
    DSBUFFERDESC desc{};
    desc.dwSize = 12;
    desc.dwBufferBytes = 4096;
    desc.lpwfxFormat = &f;
    IDirectSoundBuffer* b = reinterpret_cast<IDirectSoundBuffer*>(1);
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &b, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(b, nullptr);
    desc.dwSize = DSBUFFERDESC_SIZE_32;
    desc.dwFlags = DSBCAPS_LOCHARDWARE;
    EXPECT_NE(device->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
}

// Format records as files and programs give them.
WAVEFORMATEXTENSIBLE plain(uint16_t tag, uint16_t channels, uint16_t bits) {
    WAVEFORMATEXTENSIBLE r{};
    r.Format = pcm(kRate, channels, bits);
    r.Format.wFormatTag = tag;
    return r;
}

WAVEFORMATEXTENSIBLE extensible(uint16_t channels, uint16_t bits, uint16_t validBits, const GUID& sub,
                                DWORD mask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT) {
    WAVEFORMATEXTENSIBLE r = plain(WAVE_FORMAT_EXTENSIBLE, channels, bits);
    r.Format.cbSize = 22;
    r.Samples.wValidBitsPerSample = validBits;
    r.dwChannelMask = mask;
    r.SubFormat = sub;
    return r;
}

struct FormatCase {
    const char* name;
    WAVEFORMATEXTENSIBLE record;
    bool playable;
};

const GUID kAdpcmSubFormat = {0x00000002, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

const FormatCase kFormats[] = {
    {"pcm8_mono", plain(WAVE_FORMAT_PCM, 1, 8), true},
    {"pcm16_stereo", plain(WAVE_FORMAT_PCM, 2, 16), true},
    {"pcm24_mono", plain(WAVE_FORMAT_PCM, 1, 24), true},
    {"pcm24_stereo", plain(WAVE_FORMAT_PCM, 2, 24), true},
    {"pcm32_stereo", plain(WAVE_FORMAT_PCM, 2, 32), true},
    {"float32_mono", plain(WAVE_FORMAT_IEEE_FLOAT, 1, 32), true},
    {"float32_stereo", plain(WAVE_FORMAT_IEEE_FLOAT, 2, 32), true},
    {"extensible_pcm16_stereo", extensible(2, 16, 16, KSDATAFORMAT_SUBTYPE_PCM), true},
    {"extensible_pcm24_in_32", extensible(2, 32, 24, KSDATAFORMAT_SUBTYPE_PCM), true},
    {"extensible_pcm8_centre", extensible(1, 8, 8, KSDATAFORMAT_SUBTYPE_PCM, SPEAKER_FRONT_CENTER), true},
    {"extensible_float_stereo", extensible(2, 32, 32, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT), true},
    {"float16", plain(WAVE_FORMAT_IEEE_FLOAT, 2, 16), false},
    {"float64", plain(WAVE_FORMAT_IEEE_FLOAT, 2, 64), false},
    {"pcm12", plain(WAVE_FORMAT_PCM, 1, 12), false},
    {"pcm16_three_channels", plain(WAVE_FORMAT_PCM, 3, 16), false},
    {"adpcm", plain(2, 2, 16), false},
    {"pcm16_wrong_alignment",
     [] {
         auto r = plain(WAVE_FORMAT_PCM, 2, 16);
         r.Format.nBlockAlign = 2;
         return r;
     }(),
     false},
    {"extensible_six_channels", extensible(6, 16, 16, KSDATAFORMAT_SUBTYPE_PCM, 0x3F), false},
    {"extensible_short_extra",
     [] {
         auto r = extensible(2, 16, 16, KSDATAFORMAT_SUBTYPE_PCM);
         r.Format.cbSize = 20;
         return r;
     }(),
     false},
    {"extensible_adpcm", extensible(2, 16, 16, kAdpcmSubFormat), false},
    {"extensible_valid_above_container", extensible(2, 16, 20, KSDATAFORMAT_SUBTYPE_PCM), false},
    {"extensible_float64", extensible(2, 64, 64, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT), false},
};

class BufferFormat : public Mixer, public ::testing::WithParamInterface<FormatCase> {};

// Secondary buffers take the records a real card takes, keep them as given, and refuse the
// rest; the primary buffer takes the same records as its format request.
TEST_P(BufferFormat, IsTakenAndReportedBackOrRefused) {
    const FormatCase& c = GetParam();
    WAVEFORMATEXTENSIBLE record = c.record;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwBufferBytes = 4800;
    desc.lpwfxFormat = &record.Format;
    IDirectSoundBuffer* b = reinterpret_cast<IDirectSoundBuffer*>(1);
    const HRESULT made = device->CreateSoundBuffer(&desc, &b, nullptr);
    if (!c.playable) {
        EXPECT_EQ(made, DSERR_BADFORMAT);
        EXPECT_EQ(b, nullptr);
    } else {
        ASSERT_EQ(made, DS_OK);
        buffers.push_back(b);
        const DWORD bytes = record.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE ? 40 : 18;
        DWORD written = 0;
        ASSERT_EQ(b->GetFormat(nullptr, 0, &written), DS_OK);
        EXPECT_EQ(written, bytes);
        WAVEFORMATEXTENSIBLE back{};
        EXPECT_EQ(b->GetFormat(&back.Format, bytes - 1, nullptr), DSERR_INVALIDPARAM);
        ASSERT_EQ(b->GetFormat(&back.Format, sizeof back, &written), DS_OK);
        EXPECT_EQ(std::memcmp(&back, &record, bytes), 0);
        void *p1, *p2;
        DWORD n1, n2;
        ASSERT_EQ(b->Lock(0, 4800, &p1, &n1, &p2, &n2, 0), DS_OK);
        const uint8_t silence = record.Format.wBitsPerSample == 8 ? 0x80 : 0;
        EXPECT_EQ(std::count(static_cast<uint8_t*>(p1), static_cast<uint8_t*>(p1) + n1, silence), 4800);
        b->Unlock(p1, n1, p2, n2);
    }

    desc = DSBUFFERDESC{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
    ASSERT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
    const bool alignmentOnly = std::string(c.name) == "pcm16_wrong_alignment";  // the primary sets its own
    EXPECT_EQ(primary->SetFormat(&record.Format), c.playable || alignmentOnly ? DS_OK : DSERR_BADFORMAT);
    primary->Release();
}

INSTANTIATE_TEST_SUITE_P(Records, BufferFormat, ::testing::ValuesIn(kFormats),
                         [](const auto& test) { return std::string(test.param.name); });

// Samples of every type, stored in every way, come out as the 16-bit values they stand
// for: a buffer at the output rate and full volume passes them through, rounded to the
// nearest value and clipped.
TEST_F(Mixer, EverySampleTypePlaysAsTheSixteenBitValueItStandsFor) {
    std::mt19937 rng(11);
    std::vector<int16_t> target(2 * 2000);
    for (auto& v : target) v = static_cast<int16_t>(rng());
    target[0] = -32768;
    target[1] = 32767;
    struct Case {
        const char* name;
        WAVEFORMATEXTENSIBLE record;
    } cases[] = {
        {"pcm8", plain(WAVE_FORMAT_PCM, 2, 8)},
        {"pcm24", plain(WAVE_FORMAT_PCM, 2, 24)},
        {"pcm32", plain(WAVE_FORMAT_PCM, 2, 32)},
        {"float32", plain(WAVE_FORMAT_IEEE_FLOAT, 2, 32)},
        {"extensible_pcm24_in_32", extensible(2, 32, 24, KSDATAFORMAT_SUBTYPE_PCM)},
        {"extensible_float_mono", extensible(1, 32, 32, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, SPEAKER_FRONT_CENTER)},
    };
    for (const Case& c : cases) {
        const unsigned channels = c.record.Format.nChannels, bits = c.record.Format.wBitsPerSample;
        const bool isFloat = c.record.Format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
                             (c.record.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
                              c.record.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
        std::vector<uint8_t> bytes;
        std::vector<int16_t> expected;  // stereo
        auto put = [&](uint32_t v, unsigned n) {
            for (unsigned i = 0; i < n; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
        };
        for (size_t i = 0; i < target.size() / 2 * channels; ++i) {
            const int32_t t = bits == 8 ? target[i] & ~0xFF : target[i];
            const int32_t below = int32_t(rng() & 0x7F);  // under half a 16-bit step
            if (isFloat) {
                float f = float(t) / 32768.0f;
                uint32_t u;
                std::memcpy(&u, &f, 4);
                put(u, 4);
            } else if (bits == 8) {
                put(uint32_t(t / 256 + 128), 1);
            } else if (bits == 24) {
                put(uint32_t(t * 256 + below), 3);
            } else {
                put(uint32_t(t * 65536 + (c.record.Samples.wValidBitsPerSample == 24 ? below << 8 : below << 7)), 4);
            }
            expected.push_back(int16_t(t));
            if (channels == 1) expected.push_back(int16_t(t));
        }
        if (isFloat) {  // out of range and not a number: clipped, and silent
            const float special[] = {1.5f, -2.0f, std::nanf(""), INFINITY};
            const int16_t heard[] = {32767, -32768, 0, 32767};
            for (size_t k = 0; k < 4; ++k) {
                uint32_t u;
                std::memcpy(&u, &special[k], 4);
                for (unsigned ch = 0; ch < channels; ++ch) put(u, 4);
                expected.insert(expected.end(), 2, heard[k]);
            }
        }
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwBufferBytes = DWORD(bytes.size());
        WAVEFORMATEXTENSIBLE record = c.record;
        desc.lpwfxFormat = &record.Format;
        IDirectSoundBuffer* buffer = nullptr;
        ASSERT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK) << c.name;
        buffers.push_back(buffer);
        fill(buffer, bytes.data(), DWORD(bytes.size()));
        Capture capture;
        ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
        a5p_advance_ns(200 * kMs);
        std::lock_guard lock(capture.mutex);
        const auto& out = capture.samples;
        ASSERT_GE(out.size(), expected.size()) << c.name;
        // The buffer starts with a block boundary: find its first frame.
        size_t start = 0;
        while (start + 1 < out.size() && !(out[start] == expected[0] && out[start + 1] == expected[1])) start += 2;
        ASSERT_LE(start + expected.size(), out.size()) << c.name;
        for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(out[start + i], expected[i]) << c.name << " sample " << i;
    }
}

TEST_F(Mixer, LostBufferRefusesLocksUntilRestored) {
    auto* b = make(pcm(kRate, 2, 16), 4096);
    b->Play(0, 0, DSBPLAY_LOOPING);
    a5p_mark_buffer_lost(b, 2);
    DWORD status = 0;
    b->GetStatus(&status);
    EXPECT_EQ(status, DSBSTATUS_BUFFERLOST);
    void *p1, *p2;
    DWORD n1, n2;
    EXPECT_EQ(b->Lock(0, 16, &p1, &n1, &p2, &n2, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Play(0, 0, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Restore(), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Restore(), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Restore(), DS_OK);
    EXPECT_EQ(b->Lock(0, 16, &p1, &n1, &p2, &n2, 0), DS_OK);
    b->Unlock(p1, n1, p2, n2);
}

TEST_F(Mixer, PrimaryBufferFormatNeedsPriorityLevel) {
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
    WAVEFORMATEX f = pcm(22050, 1, 8);
    EXPECT_EQ(primary->SetFormat(&f), DSERR_PRIOLEVELNEEDED);
    ASSERT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
    EXPECT_EQ(primary->SetFormat(&f), DS_OK);
    WAVEFORMATEX back{};
    primary->GetFormat(&back, sizeof back, nullptr);
    EXPECT_EQ(back.nSamplesPerSec, 22050u);
    // The host fixed the output format: the mix stays at 44.1 kHz stereo.
    EXPECT_EQ(a5p_output_rate(), kRate);
    IDirectSoundBuffer* again = nullptr;
    device->CreateSoundBuffer(&desc, &again, nullptr);
    EXPECT_EQ(again, primary);
    again->Release();
    primary->Release();
}

}  // namespace
