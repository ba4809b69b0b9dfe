// Synthesis as in ISO/IEC 11172-3, reorganised: the 64-value vector V of each row is determined
// by a 32-point DCT-II, A[m] = sum_k S[k] cos((2k + 1) m pi / 64), through
//   V[j] = A[16 + j] (j < 16), V[16] = 0, V[32 - j] = -V[j], V[32 + j] = -A[16 - j],
//   V[48 + j] = V[48 - j],
// and output j only ever reads V[j] of even-aged rows and V[32 + j] of odd-aged rows. So each
// row stores X[j] = A[16 + j] into the current bank and Y[j] = A[16 - j] into the other one
// (phase 16 holds X = 0 and Y = A[0]); since the banks swap every row, the current bank always
// holds X at even ages and Y at odd ages, and outputs j and 32 - j are each one 16-tap dot
// product over the same bank column.
#include "codec/synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "codec/synth_window.h"

namespace mpa {

namespace {

struct Tables {
    // lo[j]: taps of output j (0..16); hi[j]: taps of output 32 - j (1..15). Scaled by 32768.
    float lo[17][16];
    float hi[16][16];
    // 1 / (2 cos(pi (2k + 1) / (2N))) for the DCT stages N = 32, 16, 8, 4, 2 (offsets 0, 16, 24,
    // 28, 30).
    float dct[31];

    Tables() : lo{}, hi{}, dct{} {
        auto d = [](int i) { return static_cast<float>(std::round(kSynthesisWindow[i] * 65536.0) / 2); };
        for (int j = 0; j <= 16; ++j) {
            for (int i = 0; i < 8; ++i) {
                lo[j][2 * i] = j == 16 ? 0.0f : d(64 * i + j);
                lo[j][2 * i + 1] = -d(64 * i + 32 + j);
                if (j >= 1 && j <= 15) {
                    hi[j][2 * i] = -d(64 * i + 32 - j);
                    hi[j][2 * i + 1] = -d(64 * i + 64 - j);
                }
            }
        }
        int at = 0;
        for (int n = 32; n >= 2; n /= 2) {
            for (int k = 0; k < n / 2; ++k) {
                dct[at++] = static_cast<float>(0.5 / std::cos(std::numbers::pi * (2 * k + 1) / (2 * n)));
            }
        }
    }
};

const Tables kTables;

constexpr int dct_offset(int n) {
    return n == 32 ? 0 : n == 16 ? 16 : n == 8 ? 24 : n == 4 ? 28 : 30;
}

// out[m] = sum_k in[k] cos(pi (2k + 1) m / (2N)), by splitting into even and odd halves.
template <int N>
void dct(const float* in, float* out) {
    if constexpr (N == 1) {
        out[0] = in[0];
    } else {
        constexpr int H = N / 2;
        const float* c = kTables.dct + dct_offset(N);
        float a[H], b[H], ea[H], ob[H];
        for (int k = 0; k < H; ++k) {
            a[k] = in[k] + in[N - 1 - k];
            b[k] = (in[k] - in[N - 1 - k]) * c[k];
        }
        dct<H>(a, ea);
        dct<H>(b, ob);
        for (int m = 0; m < H - 1; ++m) {
            out[2 * m] = ea[m];
            out[2 * m + 1] = ob[m] + ob[m + 1];
        }
        out[N - 2] = ea[H - 1];
        out[N - 1] = ob[H - 1];
    }
}

inline float dot16(const float* w, const float* v) {
    float s = 0.0f;
    for (int a = 0; a < 16; ++a) s += w[a] * v[a];
    return s;
}

inline int16_t round_clip(float s) {
    s = std::clamp(s, -32768.0f, 32767.0f);
    return static_cast<int16_t>(std::lrint(s));  // nearest, ties to even
}

inline int16_t trunc_clip(float s) {
    s = std::clamp(s, -32768.0f, 32767.0f);
    return static_cast<int16_t>(s);  // toward zero
}

}  // namespace

void synth_row(SynthChannel& ch, const float* row) {
    float s[kSubbands];
    if (ch.has_gains) {
        for (unsigned k = 0; k < kSubbands; ++k) s[k] = row[k] * ch.gains[k];
        row = s;
    }
    float a[kSubbands];
    dct<32>(row, a);

    float(*cur)[32] = ch.banks[ch.bank];
    float(*other)[32] = ch.banks[ch.bank ^ 1];
    const unsigned p = ch.pos;
    for (unsigned j = 0; j < 16; ++j) {
        cur[j][p] = cur[j][p + 16] = a[16 + j];
        other[j][p] = other[j][p + 16] = a[16 - j];
    }
    cur[16][p] = cur[16][p + 16] = 0.0f;
    other[16][p] = other[16][p + 16] = a[0];

    int16_t* out = ch.out;
    const unsigned stride = ch.stride;
    if (ch.shift == 0) {
        out[0] = round_clip(dot16(kTables.lo[0], cur[0] + p));
        for (unsigned j = 1; j < 16; ++j) {
            out[j * stride] = round_clip(dot16(kTables.lo[j], cur[j] + p));
            out[(32 - j) * stride] = round_clip(dot16(kTables.hi[j], cur[j] + p));
        }
        out[16 * stride] = round_clip(dot16(kTables.lo[16], cur[16] + p));
        ch.out = out + 32 * stride;
    } else {
        const unsigned step = 1u << ch.shift;
        unsigned n = 0;
        for (unsigned i = 0; i < 32; i += step, ++n) {
            const float sum =
                i <= 16 ? dot16(kTables.lo[i], cur[i] + p) : dot16(kTables.hi[32 - i], cur[32 - i] + p);
            out[n * stride] = trunc_clip(sum);
        }
        ch.out = out + n * stride;
    }
    ch.pos = (p - 1) & 15u;
    ch.bank ^= 1;
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
    if (first != nullptr) synth_row(*first, left);
    if (second != nullptr) synth_row(*second, right);
}

unsigned downsample_shift(uint32_t option, uint32_t sample_rate) {
    if (option == 1) return sample_rate >= 32000 ? 1 : 0;
    if (option == 2) return sample_rate >= 32000 ? 2 : sample_rate >= 16000 ? 1 : 0;
    return 0;
}

}  // namespace mpa
