#include "mix_kernels.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "resampler.h"

namespace plat {

namespace {

// The bodies are inlined into each build. Vectors are passed by reference only: by value
// they would change the calling convention between the builds.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define A5_MIX_WIDE 1
#else
#define A5_MIX_WIDE 0
#endif
#define A5_MIX_INLINE [[gnu::always_inline]] inline

// GCC/Clang vector extensions: two SSE or one AVX operation each.
using F8 = float __attribute__((vector_size(32)));
using I8 = int32_t __attribute__((vector_size(32)));
using F4 = float __attribute__((vector_size(16)));
using S16x16 = int16_t __attribute__((vector_size(32)));
using S16x8 = int16_t __attribute__((vector_size(16)));
using S16x4 = int16_t __attribute__((vector_size(8)));
using U16x8 = uint16_t __attribute__((vector_size(16)));
using U8x16 = uint8_t __attribute__((vector_size(16)));
using U8x8 = uint8_t __attribute__((vector_size(8)));

// Floats to [-1, 1]; a NaN becomes 0.
A5_MIX_INLINE void clampUnit(F8& v) {
    const F8 zero{}, one = zero + 1.0f, minusOne = zero - 1.0f;
    v = v == v ? v : zero;
    v = v > one ? one : v;
    v = v < minusOne ? minusOne : v;
}

constexpr uint32_t bytesOf(SampleType t) {
    switch (t) {
        case SampleType::U8: return 1;
        case SampleType::S16: return 2;
        case SampleType::S24: return 3;
        default: return 4;
    }
}

// What one raw sample is multiplied by to reach the 16-bit scale (a power of two, so the
// product with a gain rounds exactly as sampleValue() × gain does).
constexpr float scaleOf(SampleType t) {
    switch (t) {
        case SampleType::U8: return 256.0f;
        case SampleType::S16: return 1.0f;
        case SampleType::S24: return 1.0f / 256;
        case SampleType::S32: return 1.0f / 65536;
        default: return 32768.0f;
    }
}

A5_MIX_INLINE int32_t s24(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
}

template <SampleType T>
A5_MIX_INLINE float rawSample(const uint8_t* p) {
    if constexpr (T == SampleType::U8) {
        return float(int(p[0]) - 128);
    } else if constexpr (T == SampleType::S16) {
        int16_t v;
        std::memcpy(&v, p, sizeof v);
        return float(v);
    } else if constexpr (T == SampleType::S24) {
        return float(s24(p));
    } else if constexpr (T == SampleType::S32) {
        int32_t v;
        std::memcpy(&v, p, sizeof v);
        return float(v);
    } else {
        float v;
        std::memcpy(&v, p, sizeof v);
        return v != v ? 0.0f : v < -1.0f ? -1.0f : v > 1.0f ? 1.0f : v;
    }
}

// Eight frames as raw values, one vector per side; one channel fills both.
template <SampleType T, unsigned C>
A5_MIX_INLINE void loadEight(const uint8_t* p, F8& left, F8& right) {
    if constexpr (T == SampleType::S16 && C == 2) {
        // Each frame is one 32-bit word: the left sample below, the right one above.
        I8 w;
        std::memcpy(&w, p, sizeof w);
        left = __builtin_convertvector((w << 16) >> 16, F8);
        right = __builtin_convertvector(w >> 16, F8);
    } else if constexpr (T == SampleType::S16) {
        S16x8 v;
        std::memcpy(&v, p, sizeof v);
        left = right = __builtin_convertvector(__builtin_convertvector(v, I8), F8);
    } else if constexpr (T == SampleType::U8) {
        U16x8 v;
        if constexpr (C == 2) {
            std::memcpy(&v, p, sizeof v);  // each frame one 16-bit word
        } else {
            U8x8 m;
            std::memcpy(&m, p, sizeof m);
            const U8x8 zero{};
            const U8x16 wide = __builtin_shufflevector(m, zero, 0, 8, 1, 8, 2, 8, 3, 8, 4, 8, 5, 8, 6, 8, 7, 8);
            std::memcpy(&v, &wide, sizeof v);
        }
        const I8 w = __builtin_convertvector(v, I8);
        left = __builtin_convertvector(w & 0xFF, F8) - 128.0f;
        right = C == 2 ? __builtin_convertvector(w >> 8, F8) - 128.0f : left;
    } else if constexpr (T == SampleType::S24) {
        I8 l, r;
        for (unsigned k = 0; k < 8; ++k) {
            l[k] = s24(p + 3 * C * k);
            r[k] = C == 2 ? s24(p + 3 * C * k + 3) : l[k];
        }
        left = __builtin_convertvector(l, F8);
        right = __builtin_convertvector(r, F8);
    } else {
        // 32-bit words: integers or floats.
        using W = std::conditional_t<T == SampleType::S32, I8, F8>;
        W l, r;
        if constexpr (C == 2) {
            W a, b;
            std::memcpy(&a, p, sizeof a);
            std::memcpy(&b, p + sizeof a, sizeof b);
            l = __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14);
            r = __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15);
        } else {
            std::memcpy(&l, p, sizeof l);
            r = l;
        }
        if constexpr (T == SampleType::S32) {
            left = __builtin_convertvector(l, F8);
            right = __builtin_convertvector(r, F8);
        } else {
            left = l;
            right = r;
            clampUnit(left);
            if constexpr (C == 2) clampUnit(right);
            else right = left;
        }
    }
}

template <SampleType T, unsigned C>
A5_MIX_INLINE void addEight(const uint8_t* src, const F8& gainsLeft, const F8& gainsRight, float* left, float* right) {
    F8 l, r, dl, dr;
    loadEight<T, C>(src, l, r);
    std::memcpy(&dl, left, sizeof dl);
    std::memcpy(&dr, right, sizeof dr);
    dl += l * gainsLeft;
    dr += r * gainsRight;
    std::memcpy(left, &dl, sizeof dl);
    std::memcpy(right, &dr, sizeof dr);
}

template <SampleType T, unsigned C>
A5_MIX_INLINE void addTyped(const uint8_t* src, uint32_t frames, float gainLeft, float gainRight, float* left,
                            float* right) {
    constexpr uint32_t frameBytes = bytesOf(T) * C;
    const float gl = gainLeft * scaleOf(T), gr = gainRight * scaleOf(T);
    const F8 zero{}, gainsLeft = zero + gl, gainsRight = zero + gr;
    // Sixteen frames a turn, then eight, then one by one.
    const uint8_t* const pairsEnd = src + size_t(frames / 16) * 16 * frameBytes;
    for (; src != pairsEnd; src += 16 * frameBytes, left += 16, right += 16) {
        addEight<T, C>(src, gainsLeft, gainsRight, left, right);
        addEight<T, C>(src + 8 * frameBytes, gainsLeft, gainsRight, left + 8, right + 8);
    }
    if (frames & 8) {
        addEight<T, C>(src, gainsLeft, gainsRight, left, right);
        src += 8 * frameBytes;
        left += 8;
        right += 8;
    }
    for (uint32_t i = 0; i < (frames & 7); ++i, src += frameBytes) {
        const float a = rawSample<T>(src);
        const float b = C == 2 ? rawSample<T>(src + bytesOf(T)) : a;
        left[i] += a * gl;
        right[i] += b * gr;
    }
}

template <SampleType T>
A5_MIX_INLINE void addOfType(const uint8_t* src, uint32_t channels, uint32_t frames, float gl, float gr, float* left,
                             float* right) {
    if (channels == 2)
        addTyped<T, 2>(src, frames, gl, gr, left, right);
    else
        addTyped<T, 1>(src, frames, gl, gr, left, right);
}

A5_MIX_INLINE void addFramesBody(const uint8_t* src, SampleType type, uint32_t channels, uint32_t frames, float gl,
                                 float gr, float* left, float* right) {
    switch (type) {
        case SampleType::U8: return addOfType<SampleType::U8>(src, channels, frames, gl, gr, left, right);
        case SampleType::S16: return addOfType<SampleType::S16>(src, channels, frames, gl, gr, left, right);
        case SampleType::S24: return addOfType<SampleType::S24>(src, channels, frames, gl, gr, left, right);
        case SampleType::S32: return addOfType<SampleType::S32>(src, channels, frames, gl, gr, left, right);
        case SampleType::F32: return addOfType<SampleType::F32>(src, channels, frames, gl, gr, left, right);
    }
}

// The lane sums of four vectors, in order.
A5_MIX_INLINE void sumFour(const F8& a, const F8& b, const F8& c, const F8& d, F4& sums) {
    const F8 ab = __builtin_shufflevector(a, b, 0, 8, 1, 9, 4, 12, 5, 13) +
                  __builtin_shufflevector(a, b, 2, 10, 3, 11, 6, 14, 7, 15);
    const F8 cd = __builtin_shufflevector(c, d, 0, 8, 1, 9, 4, 12, 5, 13) +
                  __builtin_shufflevector(c, d, 2, 10, 3, 11, 6, 14, 7, 15);
    const F8 abcd = __builtin_shufflevector(ab, cd, 0, 1, 8, 9, 4, 5, 12, 13) +
                    __builtin_shufflevector(ab, cd, 2, 3, 10, 11, 6, 7, 14, 15);
    F4 low, high;
    std::memcpy(&low, &abcd, sizeof low);
    std::memcpy(&high, reinterpret_cast<const char*>(&abcd) + sizeof low, sizeof high);
    sums = low + high;
}

// Adds the products of eight coefficients with eight input frames of each side.
A5_MIX_INLINE void accumulate(const float* c, const float* x, const float* y, F8& left, F8& right) {
    F8 cv, xv, yv;
    std::memcpy(&cv, c, sizeof cv);
    std::memcpy(&xv, x, sizeof xv);
    std::memcpy(&yv, y, sizeof yv);
    left += cv * xv;
    right += cv * yv;
}

// Adds interleaved left/right pairs to the two sides (outRight null: their means to
// outLeft).
A5_MIX_INLINE void addPairs(const float* pairs, uint32_t frames, float* outLeft, float* outRight) {
    const F8 half = F8{} + 0.5f;
    uint32_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        F8 a, b, l;
        std::memcpy(&a, pairs + 2 * i, sizeof a);
        std::memcpy(&b, pairs + 2 * i + 8, sizeof b);
        const F8 evens = __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14);
        const F8 odds = __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15);
        std::memcpy(&l, outLeft + i, sizeof l);
        if (outRight) {
            F8 r;
            std::memcpy(&r, outRight + i, sizeof r);
            l += evens;
            r += odds;
            std::memcpy(outRight + i, &r, sizeof r);
        } else {
            l += half * (evens + odds);
        }
        std::memcpy(outLeft + i, &l, sizeof l);
    }
    for (; i < frames; ++i) {
        if (outRight) {
            outLeft[i] += pairs[2 * i];
            outRight[i] += pairs[2 * i + 1];
        } else {
            outLeft[i] += 0.5f * (pairs[2 * i] + pairs[2 * i + 1]);
        }
    }
}

// Two output frames a turn, one phase step at a time, into a chunk of left/right pairs
// that is then added to the output. kTaps is the filter length when it is known at
// compile time (the unrolled common case), else 0 and f.taps says it.
template <uint32_t kTaps, bool kEveryPhase>
A5_MIX_INLINE uint32_t resampleTaps(const SincFilter& f, const float* left, const float* right, uint32_t phase,
                                    uint32_t frames, float* outLeft, float* outRight) {
    const uint32_t taps = kTaps != 0 ? kTaps : f.taps;
    const uint32_t wholeStep = f.down / f.up, fracStep = f.down % f.up;
    const float* const coefficients = f.coefficients.data();
    // The window of the output at the current position starts `before` frames ahead of it.
    size_t at = taps - f.before();
    // With a row for every phase, the row pointer stands for the phase and steps with it.
    const float* const rowsEnd = coefficients + size_t(f.up) * taps;
    const size_t rowStep = size_t(fracStep) * taps, rowsSize = size_t(f.up) * taps;
    const float* row = coefficients + size_t(phase) * taps;
    // The coefficient row and the window start of the next output; steps past it.
    auto next = [&](size_t& start) {
        start = at;
        at += wholeStep;
        if constexpr (kEveryPhase) {
            const float* const c = row;
            row += rowStep;
            if (row >= rowsEnd) {
                row -= rowsSize;
                ++at;
            }
            return c;
        } else {
            const float* const c = coefficients + size_t(uint64_t(phase) * f.phases / f.up) * taps;
            phase += fracStep;
            if (phase >= f.up) {
                phase -= f.up;
                ++at;
            }
            return c;
        }
    };
    constexpr uint32_t kChunk = 256;
    alignas(32) float pairs[2 * kChunk];
    for (uint32_t done = 0; done < frames; done += kChunk) {
        const uint32_t count = frames - done < kChunk ? frames - done : kChunk;
        for (uint32_t i = 0; i < count; i += 2) {
            size_t a, b;
            const float* ca = next(a);
            const float* cb = ca;
            b = a;
            if (i + 1 < count) cb = next(b);
            F8 la{}, ra{}, lb{}, rb{};
#pragma GCC unroll 4
            for (uint32_t k = 0; k < taps; k += 8) {
                accumulate(ca + k, left + a + k, right + a + k, la, ra);
                accumulate(cb + k, left + b + k, right + b + k, lb, rb);
            }
            F4 sums;  // left and right of the first output, then of the second
            sumFour(la, ra, lb, rb, sums);
            std::memcpy(pairs + 2 * i, &sums, sizeof sums);  // a lone last output spills into room left over
        }
        addPairs(pairs, count, outLeft + done, outRight ? outRight + done : nullptr);
    }
    return kEveryPhase ? static_cast<uint32_t>((row - coefficients) / taps) : phase;
}

A5_MIX_INLINE uint32_t resampleBody(const SincFilter& f, const float* left, const float* right, uint32_t phase,
                                    uint32_t frames, float* outLeft, float* outRight) {
    if (f.phases != f.up) return resampleTaps<0, false>(f, left, right, phase, frames, outLeft, outRight);
    return f.taps == 32 ? resampleTaps<32, true>(f, left, right, phase, frames, outLeft, outRight)
                        : resampleTaps<0, true>(f, left, right, phase, frames, outLeft, outRight);
}

A5_MIX_INLINE void interleaveBody(const float* left, const float* right, float* out, uint32_t frames) {
    uint32_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        F8 l, r;
        std::memcpy(&l, left + i, sizeof l);
        std::memcpy(&r, right + i, sizeof r);
        const F8 low = __builtin_shufflevector(l, r, 0, 8, 1, 9, 2, 10, 3, 11);
        const F8 high = __builtin_shufflevector(l, r, 4, 12, 5, 13, 6, 14, 7, 15);
        std::memcpy(out + 2 * i, &low, sizeof low);
        std::memcpy(out + 2 * i + 8, &high, sizeof high);
    }
    for (; i < frames; ++i) {
        out[2 * i] = left[i];
        out[2 * i + 1] = right[i];
    }
}

// Adding and taking away 1.5 × 2^23 rounds a float of magnitude below 2^22 to an integer
// in the current rounding mode (nearest, halves to even), as nearbyint does.
constexpr float kRoundingMagic = 12582912.0f;

A5_MIX_INLINE void toInt16Body(const float* samples, int16_t* out, uint32_t count) {
    const F8 zero{}, low = zero - 32768.0f, high = zero + 32767.0f, magic = zero + kRoundingMagic;
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        F8 v;
        std::memcpy(&v, samples + i, sizeof v);
        v = v < low ? low : v;
        v = v > high ? high : v;
        // The sum's low 16 bits hold the rounded value in two's complement.
        v += magic;
        S16x16 halves;
        std::memcpy(&halves, &v, sizeof halves);
        constexpr int o = std::endian::native == std::endian::little ? 0 : 1;
        const S16x8 s = __builtin_shufflevector(halves, halves, o, 2 + o, 4 + o, 6 + o, 8 + o, 10 + o, 12 + o, 14 + o);
        std::memcpy(out + i, &s, sizeof s);
    }
    for (; i < count; ++i) {
        float v = samples[i];
        v = v < -32768.0f ? -32768.0f : v > 32767.0f ? 32767.0f : v;
        out[i] = static_cast<int16_t>((v + kRoundingMagic) - kRoundingMagic);
    }
}

void addFramesPortable(const uint8_t* src, SampleType type, uint32_t channels, uint32_t frames, float gl, float gr,
                       float* left, float* right) {
    addFramesBody(src, type, channels, frames, gl, gr, left, right);
}
uint32_t resamplePortable(const SincFilter& f, const float* left, const float* right, uint32_t phase, uint32_t frames,
                          float* outLeft, float* outRight) {
    return resampleBody(f, left, right, phase, frames, outLeft, outRight);
}
void interleavePortable(const float* left, const float* right, float* out, uint32_t frames) {
    interleaveBody(left, right, out, frames);
}
void toInt16Portable(const float* samples, int16_t* out, uint32_t count) { toInt16Body(samples, out, count); }

const MixKernels kPortable{addFramesPortable, resamplePortable, interleavePortable, toInt16Portable, "portable"};

#if A5_MIX_WIDE
[[gnu::target("arch=x86-64-v3")]] void addFramesWide(const uint8_t* src, SampleType type, uint32_t channels,
                                                     uint32_t frames, float gl, float gr, float* left, float* right) {
    addFramesBody(src, type, channels, frames, gl, gr, left, right);
}
[[gnu::target("arch=x86-64-v3")]] uint32_t resampleWide(const SincFilter& f, const float* left, const float* right,
                                                        uint32_t phase, uint32_t frames, float* outLeft,
                                                        float* outRight) {
    return resampleBody(f, left, right, phase, frames, outLeft, outRight);
}
[[gnu::target("arch=x86-64-v3")]] void interleaveWide(const float* left, const float* right, float* out,
                                                      uint32_t frames) {
    interleaveBody(left, right, out, frames);
}
[[gnu::target("arch=x86-64-v3")]] void toInt16Wide(const float* samples, int16_t* out, uint32_t count) {
    toInt16Body(samples, out, count);
}

const MixKernels kWide{addFramesWide, resampleWide, interleaveWide, toInt16Wide, "avx2"};
#endif

}  // namespace

const MixKernels& portableMixKernels() { return kPortable; }

const MixKernels* wideMixKernels() {
#if A5_MIX_WIDE
    static const bool supported = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return supported ? &kWide : nullptr;
#else
    return nullptr;
#endif
}

const MixKernels& mixKernels() {
    static const MixKernels* const chosen = [] {
        const char* portable = std::getenv("A5_MIX_PORTABLE");
        const MixKernels* wide = wideMixKernels();
        const bool forced = portable && *portable && std::strcmp(portable, "0") != 0;
        return forced || !wide ? &kPortable : wide;
    }();
    return *chosen;
}

}  // namespace plat
