// Synthesis as in ISO/IEC 11172-3, reorganised: the 64-value vector V of each row is determined
// by the 32-point DCT-II A[m] = sum_k S[k] cos((2k + 1) m pi / 64) through
//   V[j] = A[16 + j] (j < 16), V[16] = 0, V[32 - j] = -V[j], V[32 + j] = -A[16 - j],
//   V[48 + j] = V[48 - j],
// and output i only ever reads phase j = min(i, 32 - i): V[j] of even-aged rows and V[32 + j]
// of odd-aged rows. So each row stores X[j] = A[16 + j] into the current bank and
// Y[j] = A[16 - j] into the other one (phase 16 holds X = 0 and Y = A[0]); since the banks swap
// every row, the current bank always holds X at even ages and Y at odd ages. A is computed in
// natural order, eight values per lane group, as products of the row with a cosine table
// (pairing subbands k and 31 - k); in this layout a butterfly DCT would need more shuffles than
// it saves products. Outputs j and 32 - j read the same column entries, so the windowing loads
// each column once for both: 16 multiply-adds of a column with window rows, one per age.
#include "codec/synth.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>

#include "codec/const_math.h"
#include "codec/cpu_dispatch.h"
#include "codec/synth_window.h"

namespace mpa {

namespace {

constexpr int kLanes = 8;
// Eight values side by side; the vector extension becomes two SSE or one AVX operation.
// Lanes are passed by reference only: by value they would change the calling convention
// between the baseline and the AVX2 build.
using Lane = float __attribute__((vector_size(kLanes * sizeof(float))));
using IntLane = int32_t __attribute__((vector_size(kLanes * sizeof(int32_t))));

struct Tables {
    // cosines[k][m] = cos((2k + 1) m pi / 64), m = 0 ... 31: subband k's share of A[m]; subband
    // 31 - k contributes the same with every odd m negated.
    alignas(32) float cosines[kSubbands / 2][kSubbands];
    // Window taps per age (newest 0), scaled by 32768: outputs 0-7 and 8-15 from phases 0-7
    // and 8-15, and outputs 32 - j from the same phases (lane 0 of `mirror_low`, output 32, is
    // unused and 0).
    struct Taps {
        alignas(32) float low[kLanes];
        float high[kLanes];
        float mirror_low[kLanes];
        float mirror_high[kLanes];
    };
    Taps taps[16];
    // Output 16's taps for phase 16 (its even-age taps are 0: X[16] is always 0).
    float middle[16];

    constexpr Tables() : cosines{}, taps{}, middle{} {
        auto d = [](int i) { return static_cast<float>(cmath::round(kSynthesisWindow[i] * 65536.0) / 2); };
        for (int i = 0; i < 8; ++i) {
            // Taps of outputs 0 ... 31 for the values of ages 2i and 2i + 1.
            float even[32] = {};
            float odd[32] = {};
            for (int j = 0; j < 16; ++j) {
                even[j] = d(64 * i + j);
                odd[j] = -d(64 * i + 32 + j);
            }
            odd[16] = -d(64 * i + 48);
            for (int j = 1; j < 16; ++j) {
                even[32 - j] = -d(64 * i + 32 - j);
                odd[32 - j] = -d(64 * i + 64 - j);
            }
            for (int a = 2 * i; a < 2 * i + 2; ++a) {
                const float* w = a == 2 * i ? even : odd;
                for (int j = 0; j < kLanes; ++j) {
                    taps[a].low[j] = w[j];
                    taps[a].high[j] = w[8 + j];
                    taps[a].mirror_low[j] = j == 0 ? 0.0f : w[32 - j];
                    taps[a].mirror_high[j] = w[24 - j];
                }
                middle[a] = w[16];
            }
        }
        for (int k = 0; k < 16; ++k) {
            for (int m = 0; m < 32; ++m)
                cosines[k][m] = cmath::to_float(cmath::cos((2 * k + 1) * m * std::numbers::pi / 64));
        }
    }
};

constexpr Tables kTables;

A5_MPA_INLINE void load(Lane& v, const float* p) {
    std::memcpy(&v, p, sizeof v);
}

A5_MPA_INLINE void store(float* p, const Lane& v) {
    std::memcpy(p, &v, sizeof v);
}

A5_MPA_INLINE void splat(Lane& v, float x) {
    v = Lane{x, x, x, x, x, x, x, x};
}

// Clips to the 16-bit range (NaN becomes the lower bound rather than an undefined conversion),
// then rounds to the nearest integer, ties to even, at full rate and truncates toward zero when
// downsampling.
struct Conversion {
    Lane lo, hi, magic;
    bool round;

    A5_MPA_INLINE explicit Conversion(unsigned shift) : round(shift == 0) {
        // Opaque bounds let the compiler use the min and max instructions, which give the
        // same results as the selects below, NaN included; with known constants it emits
        // compares and blends instead.
        float low = -32768.0f;
        float high = 32767.0f;
#if A5_MPA_WIDE
        __asm__("" : "+x"(low), "+x"(high));
#endif
        splat(lo, low);
        splat(hi, high);
        // Adding and removing 1.5 * 2^23 rounds a value of this size to an integer in the
        // current (nearest-even) mode; the conversion is then exact.
        splat(magic, 12582912.0f);
    }

    A5_MPA_INLINE void operator()(const Lane& sum, int32_t* pcm) const {
        Lane v = sum > lo ? sum : lo;
        v = v < hi ? v : hi;
        if (round) v = (v + magic) - magic;
        const IntLane r = __builtin_convertvector(v, IntLane);
        std::memcpy(pcm, &r, sizeof r);
    }
};

// Writes every Step-th sample; Stride 0 takes the stride at run time, a fixed one lets the
// compiler unroll the interleaved case into plain stores.
template <unsigned Step, unsigned Stride>
A5_MPA_INLINE int16_t* put(const int32_t* pcm, int16_t* out, unsigned stride = Stride) {
#pragma GCC unroll 32
    for (unsigned i = 0; i < kSubbands; i += Step, out += stride) *out = static_cast<int16_t>(pcm[i]);
    return out;
}

// Filters one row into 32 clipped integer samples (only every (1 << shift)-th is meant to be
// used) and advances the history.
A5_MPA_INLINE void filter_body(SynthChannel& ch, const float* row, int32_t* pcm) {
    float s[kSubbands];
    if (ch.has_gains) {
        for (unsigned k = 0; k < kSubbands; ++k) s[k] = row[k] * ch.gains[k];
        row = s;
    }
    // a0 ... a3 hold A[0 ... 31]. Subband 31 - k has the cosines of subband k with the sign of
    // every odd m flipped.
    Lane a0{}, a1{}, a2{}, a3{};
    const Lane alternate = {1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f};
#pragma GCC unroll 16
    for (unsigned k = 0; k < kSubbands / 2; ++k) {
        Lane sk, mirror;
        splat(sk, row[k]);
        splat(mirror, row[kSubbands - 1 - k]);
        sk += alternate * mirror;
        const float* c = kTables.cosines[k];
        Lane t;
        load(t, c);
        a0 += sk * t;
        load(t, c + kLanes);
        a1 += sk * t;
        load(t, c + 2 * kLanes);
        a2 += sk * t;
        load(t, c + 3 * kLanes);
        a3 += sk * t;
    }

    // X = A[16 ... 31] into the current bank, Y = A[16], A[15] ... A[1] into the other, and
    // A[0] as the other bank's phase 16; each column also 16 positions further on.
    const unsigned p = ch.pos;
    const unsigned cur = ch.bank;
    const Lane y0 = __builtin_shufflevector(a1, a2, 8, 7, 6, 5, 4, 3, 2, 1);
    const Lane y1 = __builtin_shufflevector(a0, a1, 8, 7, 6, 5, 4, 3, 2, 1);
    float* x = ch.banks[cur][p];
    float* y = ch.banks[cur ^ 1][p];
    constexpr unsigned kAgain = 16 * 16;  // the same column 16 positions further on
    store(x, a2);
    store(x + kLanes, a3);
    store(x + kAgain, a2);
    store(x + kAgain + kLanes, a3);
    store(y, y0);
    store(y + kLanes, y1);
    store(y + kAgain, y0);
    store(y + kAgain + kLanes, y1);
    ch.middle[cur ^ 1][p] = ch.middle[cur ^ 1][p + 16] = a0[0];

    // Windowing over the 16 newest columns of the current bank.
    const float(*col)[16] = ch.banks[cur] + p;
    Lane low{}, high{}, mirror_low{}, mirror_high{};
#pragma GCC unroll 16
    for (unsigned age = 0; age < 16; ++age) {
        const Tables::Taps& w = kTables.taps[age];
        Lane v0, v1, t;
        load(v0, col[age]);
        load(v1, col[age] + kLanes);
        load(t, w.low);
        low += v0 * t;
        load(t, w.high);
        high += v1 * t;
        load(t, w.mirror_low);
        mirror_low += v0 * t;
        load(t, w.mirror_high);
        mirror_high += v1 * t;
    }
    // Phase 16 is Y at odd ages only.
    const float* mid = ch.middle[cur] + p;
    float m = 0.0f;
#pragma GCC unroll 8
    for (unsigned age = 1; age < 16; age += 2) m += mid[age] * kTables.middle[age];

    // Outputs 16 ... 23 are output 16 and mirror_high 7 ... 1; 24 ... 31 are mirror_high 0
    // and mirror_low 7 ... 1.
    Lane middle{};
    middle[0] = m;
    const Lane o2 = __builtin_shufflevector(mirror_high, middle, 8, 7, 6, 5, 4, 3, 2, 1);
    const Lane o3 = __builtin_shufflevector(mirror_high, mirror_low, 0, 15, 14, 13, 12, 11, 10, 9);
    const Conversion to_int(ch.shift);
    to_int(low, pcm);
    to_int(high, pcm + kLanes);
    to_int(o2, pcm + 2 * kLanes);
    to_int(o3, pcm + 3 * kLanes);

    ch.pos = (p - 1) & 15u;
    ch.bank = cur ^ 1;
}

// Both channels of a full-rate stereo row into one interleaved buffer: each left/right pair is
// composed into one 32-bit word, which the compiler vectorises, instead of 64 scattered stores.
A5_MPA_INLINE void put_interleaved(const int32_t* left, const int32_t* right, int16_t* out) {
    if constexpr (std::endian::native == std::endian::little) {
        for (unsigned i = 0; i < kSubbands; ++i) {
            const uint32_t pair =
                static_cast<uint16_t>(left[i]) | static_cast<uint32_t>(static_cast<uint16_t>(right[i])) << 16;
            std::memcpy(out + 2 * i, &pair, sizeof pair);
        }
    } else {
        for (unsigned i = 0; i < kSubbands; ++i) {
            out[2 * i] = static_cast<int16_t>(left[i]);
            out[2 * i + 1] = static_cast<int16_t>(right[i]);
        }
    }
}

#if A5_MPA_WIDE
A5_MPA_WIDE_TARGET void filter_avx2(SynthChannel& ch, const float* row, int32_t* pcm) {
    filter_body(ch, row, pcm);
}
#endif

void filter_portable(SynthChannel& ch, const float* row, int32_t* pcm) {
    filter_body(ch, row, pcm);
}

// Full-rate interleaved stereo: both rows filtered, then written as left/right pairs.
A5_MPA_INLINE void stereo_body(SynthChannel& left, SynthChannel& right, const float* lrow, const float* rrow,
                               int16_t* out) {
    int32_t l[kSubbands], r[kSubbands];
    filter_body(left, lrow, l);
    filter_body(right, rrow, r);
    put_interleaved(l, r, out);
}

#if A5_MPA_WIDE
A5_MPA_WIDE_TARGET void stereo_avx2(SynthChannel& left, SynthChannel& right, const float* lrow,
                                    const float* rrow, int16_t* out) {
    stereo_body(left, right, lrow, rrow, out);
}
#endif

void stereo_portable(SynthChannel& left, SynthChannel& right, const float* lrow, const float* rrow,
                     int16_t* out) {
    stereo_body(left, right, lrow, rrow, out);
}

void filter(SynthChannel& ch, const float* row, int32_t* pcm) {
#if A5_MPA_WIDE
    if (wide_build_enabled()) {
        filter_avx2(ch, row, pcm);
        return;
    }
#endif
    filter_portable(ch, row, pcm);
}

void put_samples(SynthChannel& ch, const int32_t* pcm) {
    const unsigned stride = ch.stride;
    switch (ch.shift) {
        case 0:
            ch.out = stride == 2 ? put<1, 2>(pcm, ch.out) : put<1, 0>(pcm, ch.out, stride);
            break;
        case 1:
            ch.out = put<2, 0>(pcm, ch.out, stride);
            break;
        default:
            ch.out = put<4, 0>(pcm, ch.out, stride);
            break;
    }
}

}  // namespace

void synth_row_portable(SynthChannel& ch, const float* row) {
    int32_t pcm[kSubbands];
    filter_portable(ch, row, pcm);
    put_samples(ch, pcm);
}

bool synth_row_wide(SynthChannel& ch, const float* row) {
#if A5_MPA_WIDE
    if (wide_build_enabled()) {
        int32_t pcm[kSubbands];
        filter_avx2(ch, row, pcm);
        put_samples(ch, pcm);
        return true;
    }
#else
    (void)ch;
    (void)row;
#endif
    return false;
}

void synth_row(SynthChannel& ch, const float* row) {
    int32_t pcm[kSubbands];
    filter(ch, row, pcm);
    put_samples(ch, pcm);
}

void synth_silence(SynthChannel& ch) {
    const unsigned n = kSubbands >> ch.shift;
    for (unsigned i = 0; i < n; ++i) ch.out[i * ch.stride] = 0;
    ch.out += n * ch.stride;
}

void synth_reset(SynthChannel& ch) {
    std::memset(ch.banks, 0, sizeof ch.banks);
    std::memset(ch.middle, 0, sizeof ch.middle);
    ch.bank = 0;
    ch.pos = 0;
}

void synth_set_gains(SynthChannel& ch, const int8_t* steps) {
    ch.has_gains = steps != nullptr;
    if (steps == nullptr) return;
    for (unsigned k = 0; k < kSubbands; ++k) {
        const float s = static_cast<float>(steps[k]);
        ch.gains[k] = s >= 0 ? 1.0f + s / 32.0f : 1.0f / (1.0f - s / 32.0f);
    }
}

void synth_get_steps(const SynthChannel& ch, int8_t* steps) {
    for (unsigned k = 0; k < kSubbands; ++k) {
        if (!ch.has_gains) {
            steps[k] = 0;
            continue;
        }
        const double g = ch.gains[k];
        // The nudge away from zero absorbs the rounding of the stored gain, so that a step read
        // back is the step that was set; truncation still decides for gains between steps.
        const double s = g >= 1.0 ? (g - 1.0) * 32.0 + 1e-4 : (1.0 - 1.0 / g) * 32.0 - 1e-4;
        steps[k] = static_cast<int8_t>(std::clamp(std::trunc(s), -128.0, 127.0));
    }
}

void synth_output_row(SynthChannel* first, SynthChannel* second, const float* left, const float* right,
                      float* scratch) {
    if (right == nullptr) {  // single-channel stream
        if (SynthChannel* ch = first != nullptr ? first : second; ch != nullptr) synth_row(*ch, left);
        return;
    }
    if (first != nullptr && first == second) {
        for (unsigned k = 0; k < kSubbands; ++k) scratch[k] = (left[k] + right[k]) * 0.5f;
        synth_row(*first, scratch);
        return;
    }
    if (first != nullptr && second != nullptr && first->shift == 0 && second->shift == 0 &&
        first->stride == 2 && second->stride == 2 && second->out == first->out + 1) {
#if A5_MPA_WIDE
        if (wide_build_enabled()) {
            stereo_avx2(*first, *second, left, right, first->out);
        } else {
            stereo_portable(*first, *second, left, right, first->out);
        }
#else
        stereo_portable(*first, *second, left, right, first->out);
#endif
        first->out += 2 * kSubbands;
        second->out += 2 * kSubbands;
        return;
    }
    if (first != nullptr) synth_row(*first, left);
    if (second != nullptr) synth_row(*second, right);
}

unsigned downsample_shift(uint32_t option, uint32_t sample_rate) {
    if (option == 1) return sample_rate >= 32000 ? 1 : 0;
    if (option == 2) return sample_rate >= 32000 ? 2 : sample_rate >= 16000 ? 1 : 0;
    return 0;
}

}  // namespace mpa
