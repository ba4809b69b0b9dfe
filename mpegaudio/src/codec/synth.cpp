// Synthesis as in ISO/IEC 11172-3, reorganised: the 64-value vector V of each row is determined
// by the 32-point DCT-II A[m] = sum_k S[k] cos((2k + 1) m pi / 64) through
//   V[j] = A[16 + j] (j < 16), V[16] = 0, V[32 - j] = -V[j], V[32 + j] = -A[16 - j],
//   V[48 + j] = V[48 - j],
// and output j only ever reads V[j] of even-aged rows and V[32 + j] of odd-aged rows. So each
// row stores X[j] = A[16 + j] into the current bank and Y[j] = A[16 - j] into the other one
// (phase 16 holds X = 0 and Y = A[0]); since the banks swap every row, the current bank always
// holds X at even ages and Y at odd ages. Outputs j and 32 - j read the same phase j, so a slot
// holds phase j at index j and again at index 32 - j. Everything then runs across the 32 slot
// entries at once: X and Y are products of the row with a cosine table each (in this layout a
// butterfly DCT would need shuffles and scalar scatter that cost more than the products), and
// the outputs are 16 multiply-adds of a slot with a window row, one per age.
#include "codec/synth.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>

#include "codec/synth_window.h"

namespace mpa {

namespace {

constexpr int kLanes = 8;
// Eight outputs side by side; the vector extension becomes two SSE or one AVX operation.
using Lane = float __attribute__((vector_size(kLanes * sizeof(float))));
using IntLane = int32_t __attribute__((vector_size(kLanes * sizeof(int32_t))));

// The body is inlined into two builds on x86-64: the baseline and AVX2 with FMA, chosen at run
// time by what the CPU supports. Lanes are passed by reference only: by value they would change
// the calling convention between the two.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define A5_SYNTH_WIDE 1
#define A5_SYNTH_INLINE [[gnu::always_inline]] inline
#else
#define A5_SYNTH_WIDE 0
#define A5_SYNTH_INLINE inline
#endif

struct Tables {
    // window[a][i]: tap of output i for the value of age a (newest 0). Scaled by 32768.
    alignas(32) float window[16][32];
    // basis[k]: contribution of subband k to X (entries 0..31) and to Y (32..63), slot layout;
    // subband 31 - k contributes the same with every odd entry negated.
    alignas(32) float basis[kSubbands / 2][64];

    Tables() : window{}, basis{} {
        auto d = [](int i) { return static_cast<float>(std::round(kSynthesisWindow[i] * 65536.0) / 2); };
        for (int i = 0; i < 8; ++i) {
            for (int j = 0; j <= 16; ++j) {
                window[2 * i][j] = j == 16 ? 0.0f : d(64 * i + j);
                window[2 * i + 1][j] = -d(64 * i + 32 + j);
            }
            for (int j = 1; j < 16; ++j) {
                window[2 * i][32 - j] = -d(64 * i + 32 - j);
                window[2 * i + 1][32 - j] = -d(64 * i + 64 - j);
            }
        }
        for (int k = 0; k < 16; ++k) {
            for (int i = 0; i < 32; ++i) {
                const int j = i <= 16 ? i : 32 - i;
                auto c = [&](int m) { return static_cast<float>(std::cos((2 * k + 1) * m * std::numbers::pi / 64)); };
                basis[k][i] = j == 16 ? 0.0f : c(16 + j);
                basis[k][32 + i] = c(16 - j);
            }
        }
    }
};

const Tables kTables;

A5_SYNTH_INLINE void load(Lane& v, const float* p) {
    std::memcpy(&v, p, sizeof v);
}

// 32 floats as four named lanes, which the compiler keeps in registers (an array of lanes
// indexed in a loop would go through memory).
struct Row {
    Lane l0, l1, l2, l3;
};

A5_SYNTH_INLINE void store(float* p, const Row& r) {
    std::memcpy(p, &r.l0, sizeof(Lane));
    std::memcpy(p + kLanes, &r.l1, sizeof(Lane));
    std::memcpy(p + 2 * kLanes, &r.l2, sizeof(Lane));
    std::memcpy(p + 3 * kLanes, &r.l3, sizeof(Lane));
}

// acc += s * c[0..31]
A5_SYNTH_INLINE void mul_add(Row& acc, const Lane& s, const float* c) {
    Lane t;
    load(t, c);
    acc.l0 += s * t;
    load(t, c + kLanes);
    acc.l1 += s * t;
    load(t, c + 2 * kLanes);
    acc.l2 += s * t;
    load(t, c + 3 * kLanes);
    acc.l3 += s * t;
}

// acc += v[0..31] * w[0..31]
A5_SYNTH_INLINE void mul_add(Row& acc, const float* v, const float* w) {
    Lane a, b;
    load(a, v);
    load(b, w);
    acc.l0 += a * b;
    load(a, v + kLanes);
    load(b, w + kLanes);
    acc.l1 += a * b;
    load(a, v + 2 * kLanes);
    load(b, w + 2 * kLanes);
    acc.l2 += a * b;
    load(a, v + 3 * kLanes);
    load(b, w + 3 * kLanes);
    acc.l3 += a * b;
}

// Clips to the 16-bit range (NaN becomes the lower bound rather than an undefined conversion),
// then rounds to the nearest integer, ties to even, at full rate and truncates toward zero when
// downsampling.
A5_SYNTH_INLINE void to_int(const Lane& sum, unsigned shift, int32_t* pcm) {
    Lane v = sum;
    const Lane lo = Lane{} - 32768.0f;
    const Lane hi = Lane{} + 32767.0f;
    v = v > lo ? v : lo;
    v = v < hi ? v : hi;
    if (shift == 0) {
        // Adding and removing 1.5 * 2^23 rounds a value of this size to an integer in the
        // current (nearest-even) mode; the conversion below is then exact.
        const Lane magic = Lane{} + 12582912.0f;
        v = (v + magic) - magic;
    }
    const IntLane r = __builtin_convertvector(v, IntLane);
    std::memcpy(pcm, &r, sizeof r);
}

// Writes every Step-th sample; Stride 0 takes the stride at run time, a fixed one lets the
// compiler unroll the interleaved case into plain stores.
template <unsigned Step, unsigned Stride>
A5_SYNTH_INLINE int16_t* put(const int32_t* pcm, int16_t* out, unsigned stride = Stride) {
#pragma GCC unroll 32
    for (unsigned i = 0; i < kSubbands; i += Step, out += stride) *out = static_cast<int16_t>(pcm[i]);
    return out;
}

// Filters one row into 32 clipped integer samples (only every (1 << shift)-th is meant to be
// used) and advances the history.
A5_SYNTH_INLINE void filter_body(SynthChannel& ch, const float* row, int32_t* pcm) {
    float s[kSubbands];
    if (ch.has_gains) {
        for (unsigned k = 0; k < kSubbands; ++k) s[k] = row[k] * ch.gains[k];
        row = s;
    }
    // Subband 31 - k has the cosines of subband k with the sign of every odd entry flipped.
    Row x{}, y{};
    const Lane alternate = {1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f};
#pragma GCC unroll 16
    for (unsigned k = 0; k < kSubbands / 2; ++k) {
        const Lane sk = (Lane{} + row[k]) + alternate * row[kSubbands - 1 - k];
        mul_add(x, sk, kTables.basis[k]);
        mul_add(y, sk, kTables.basis[k] + kSubbands);
    }
    const unsigned p = ch.pos;
    store(ch.banks[ch.bank][p], x);
    store(ch.banks[ch.bank ^ 1][p], y);

    const float(*cur)[32] = ch.banks[ch.bank];
    Row acc{};
#pragma GCC unroll 16
    for (unsigned age = 0; age < 16; ++age) mul_add(acc, cur[(p + age) & 15u], kTables.window[age]);

    to_int(acc.l0, ch.shift, pcm);
    to_int(acc.l1, ch.shift, pcm + kLanes);
    to_int(acc.l2, ch.shift, pcm + 2 * kLanes);
    to_int(acc.l3, ch.shift, pcm + 3 * kLanes);

    ch.pos = (p - 1) & 15u;
    ch.bank ^= 1;
}

#if A5_SYNTH_WIDE
[[gnu::target("arch=x86-64-v3")]] void filter_avx2(SynthChannel& ch, const float* row, int32_t* pcm) {
    filter_body(ch, row, pcm);
}

bool wide_supported() {
    static const bool supported = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return supported;
}
#endif

void filter_portable(SynthChannel& ch, const float* row, int32_t* pcm) {
    filter_body(ch, row, pcm);
}

void filter(SynthChannel& ch, const float* row, int32_t* pcm) {
#if A5_SYNTH_WIDE
    if (wide_supported()) {
        filter_avx2(ch, row, pcm);
        return;
    }
#endif
    filter_portable(ch, row, pcm);
}

void put_samples(SynthChannel& ch, const int32_t* pcm) {
    const unsigned stride = ch.stride;
    switch (ch.shift) {
        case 0: ch.out = stride == 2 ? put<1, 2>(pcm, ch.out) : put<1, 0>(pcm, ch.out, stride); break;
        case 1: ch.out = put<2, 0>(pcm, ch.out, stride); break;
        default: ch.out = put<4, 0>(pcm, ch.out, stride); break;
    }
}

// Both channels of a full-rate stereo row into one interleaved buffer: each left/right pair is
// composed into one 32-bit word, which the compiler vectorises, instead of 64 scattered stores.
void put_interleaved(const int32_t* left, const int32_t* right, int16_t* out) {
    if constexpr (std::endian::native == std::endian::little) {
        for (unsigned i = 0; i < kSubbands; ++i) {
            const uint32_t pair = static_cast<uint16_t>(left[i]) | static_cast<uint32_t>(static_cast<uint16_t>(right[i])) << 16;
            std::memcpy(out + 2 * i, &pair, sizeof pair);
        }
    } else {
        for (unsigned i = 0; i < kSubbands; ++i) {
            out[2 * i] = static_cast<int16_t>(left[i]);
            out[2 * i + 1] = static_cast<int16_t>(right[i]);
        }
    }
}

}  // namespace

void synth_row_portable(SynthChannel& ch, const float* row) {
    int32_t pcm[kSubbands];
    filter_portable(ch, row, pcm);
    put_samples(ch, pcm);
}

bool synth_row_wide(SynthChannel& ch, const float* row) {
#if A5_SYNTH_WIDE
    if (wide_supported()) {
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
    for (auto& bank : ch.banks) {
        for (auto& column : bank) std::fill(std::begin(column), std::end(column), 0.0f);
    }
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
        int32_t l[kSubbands], r[kSubbands];
        filter(*first, left, l);
        filter(*second, right, r);
        put_interleaved(l, r, first->out);
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
