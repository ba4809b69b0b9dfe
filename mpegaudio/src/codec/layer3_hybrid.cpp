// The transforms run on eight subbands at once: the spectrum is transposed to line-major
// order ([line][subband]) so that every step is the same arithmetic across adjacent
// subbands, which the compiler's vectoriser turns into SIMD without intrinsics. The 36-point
// IMDCT is computed through its 18-point DCT-IV core (the other half of the outputs are the
// same values mirrored and negated); that permutation, the sign and the window are folded into
// one factor per output sample, and frequency inversion into a per-lane sign.
#include "codec/layer3_hybrid.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "codec/cpu_dispatch.h"

namespace mpa::l3 {
namespace {

constexpr int kLanes = 8;
// Eight subbands side by side. The compilers' vector extension keeps the arithmetic portable:
// it becomes two SSE operations on baseline x86-64 and one AVX operation where available.
using Lane = float __attribute__((vector_size(kLanes * sizeof(float))));

// Lanes are passed by reference only: by value they would change the calling convention
// between baseline and AVX builds.
// The transforms are inlined into one body that is built twice on x86-64: for the baseline
// and for AVX2 with FMA, chosen at run time by what the CPU supports.

A5_MPA_INLINE void load(Lane& v, const float* p) {
    std::memcpy(&v, p, sizeof v);
}
A5_MPA_INLINE void store(float* p, const Lane& v) {
    std::memcpy(p, &v, sizeof v);
}

// Which DCT-IV output feeds each of the 36 IMDCT outputs: out[t] (t < 18) and overlap[t].
constexpr int kLongOutSrc[18] = {9, 10, 11, 12, 13, 14, 15, 16, 17, 17, 16, 15, 14, 13, 12, 11, 10, 9};
constexpr int kLongOvlSrc[18] = {8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
// The 12 outputs of the 12-point IMDCT from its 6-point DCT-IV core.
constexpr int kShortSrc[12] = {3, 4, 5, 5, 4, 3, 2, 1, 0, 0, 1, 2};

struct HybridTables {
    float pre_cos[9], pre_sin[9];      // e^{-i pi (n + 1/4) / 18}
    float post_cos[9], post_sin[9];    // e^{-i pi k / 18}
    float tw_cos[3][3], tw_sin[3][3];  // e^{-2 pi i n2 k1 / 9}
    float dct6[6][6];
    float long_out[3][18];  // window × sign per block type 0, 1, 3 (index type - type / 2)
    float long_ovl[3][18];
    float short_win[12];
    float cs[8];
    float ca[8];
};

HybridTables build_tables() {
    HybridTables t{};
    const double pi = std::numbers::pi;
    for (int n = 0; n < 9; ++n) {
        t.pre_cos[n] = static_cast<float>(std::cos(pi * (n + 0.25) / 18));
        t.pre_sin[n] = static_cast<float>(std::sin(pi * (n + 0.25) / 18));
        t.post_cos[n] = static_cast<float>(std::cos(pi * n / 18));
        t.post_sin[n] = static_cast<float>(std::sin(pi * n / 18));
    }
    for (int a = 0; a < 3; ++a) {
        for (int b = 0; b < 3; ++b) {
            t.tw_cos[a][b] = static_cast<float>(std::cos(2 * pi * a * b / 9));
            t.tw_sin[a][b] = static_cast<float>(std::sin(2 * pi * a * b / 9));
        }
    }
    for (int j = 0; j < 6; ++j) {
        for (int k = 0; k < 6; ++k)
            t.dct6[j][k] = static_cast<float>(std::cos(pi / 24 * (2 * j + 1) * (2 * k + 1)));
    }
    double win[3][36];
    for (int i = 0; i < 36; ++i) {
        const double normal = std::sin(pi / 36 * (i + 0.5));
        win[0][i] = normal;
        // Start window (type 1): normal rise, flat top, short fall, zeros.
        win[1][i] = i < 18 ? normal : i < 24 ? 1.0 : i < 30 ? std::sin(pi / 12 * (i - 18 + 0.5)) : 0.0;
        // Stop window (type 3): the start window reversed in time.
        win[2][i] = i < 6 ? 0.0 : i < 12 ? std::sin(pi / 12 * (i - 6 + 0.5)) : i < 18 ? 1.0 : normal;
    }
    for (int w = 0; w < 3; ++w) {
        for (int i = 0; i < 18; ++i) {
            // IMDCT outputs 0-8 are +y, 9-35 are -y (see the source tables above).
            t.long_out[w][i] = static_cast<float>(i < 9 ? win[w][i] : -win[w][i]);
            t.long_ovl[w][i] = static_cast<float>(-win[w][18 + i]);
        }
    }
    for (int i = 0; i < 12; ++i) {
        const double s = std::sin(pi / 12 * (i + 0.5));
        t.short_win[i] = static_cast<float>(i < 3 ? s : -s);
    }
    constexpr double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    for (int i = 0; i < 8; ++i) {
        const double d = std::sqrt(1.0 + c[i] * c[i]);
        t.cs[i] = static_cast<float>(1.0 / d);
        t.ca[i] = static_cast<float>(c[i] / d);
    }
    return t;
}

const HybridTables& tables() {
    static const HybridTables t = build_tables();
    return t;
}

// Three-point DFT of (a, b, c) in place.
A5_MPA_INLINE void dft3(Lane& ar, Lane& ai, Lane& br, Lane& bi, Lane& cr, Lane& ci) {
    constexpr float h = 0.866025403784438647f;  // sqrt(3) / 2
    const Lane tr = br + cr;
    const Lane ti = bi + ci;
    const Lane dr = (br - cr) * h;
    const Lane di = (bi - ci) * h;
    const Lane mr = ar - 0.5f * tr;
    const Lane mi = ai - 0.5f * ti;
    ar += tr;
    ai += ti;
    br = mr + di;
    bi = mi - dr;
    cr = mr - di;
    ci = mi + dr;
}

// 18-point DCT-IV of the eight subbands of one lane group, y_j = sum_k x_k cos(pi/72 (2j+1)(2k+1)),
// through a 9-point complex DFT (3 x 3) between a pre- and a post-twiddle.
A5_MPA_INLINE void dct4_18(const HybridTables& t, const float (*x)[32], int sb0, Lane* y) {
    Lane re[9];
    Lane im[9];
    for (int n = 0; n < 9; ++n) {
        Lane a;
        Lane b;
        load(a, &x[2 * n][sb0]);
        load(b, &x[17 - 2 * n][sb0]);
        // Stored as [n2][n1] (n = 3 n1 + n2) so that each first-stage DFT takes three rows.
        const int at = 3 * (n % 3) + n / 3;
        re[at] = a * t.pre_cos[n] + b * t.pre_sin[n];
        im[at] = b * t.pre_cos[n] - a * t.pre_sin[n];
    }
    for (int n2 = 0; n2 < 3; ++n2) {
        Lane* r = &re[3 * n2];
        Lane* i = &im[3 * n2];
        dft3(r[0], i[0], r[1], i[1], r[2], i[2]);
        // Twiddle A[n2][k1] by e^{-2 pi i n2 k1 / 9}.
        for (int k1 = 1; k1 < 3 && n2 > 0; ++k1) {
            const float c = t.tw_cos[n2][k1];
            const float sn = t.tw_sin[n2][k1];
            const Lane vr = r[k1];
            const Lane vi = i[k1];
            r[k1] = vr * c + vi * sn;
            i[k1] = vi * c - vr * sn;
        }
    }
    // Row 3 n2 + k1 then holds W[k1 + 3 n2].
    for (int k1 = 0; k1 < 3; ++k1) dft3(re[k1], im[k1], re[3 + k1], im[3 + k1], re[6 + k1], im[6 + k1]);
    for (int k = 0; k < 9; ++k) {
        const int row = 3 * (k / 3) + k % 3;
        y[2 * k] = re[row] * t.post_cos[k] + im[row] * t.post_sin[k];
        y[17 - 2 * k] = re[row] * t.post_sin[k] - im[row] * t.post_cos[k];
    }
}

// Long-block transform of the eight subbands of one lane group.
A5_MPA_INLINE void long_block(const HybridTables& t, const float (*x)[32], int sb0, int wi, Lane* out,
                             Lane* ovl) {
    Lane y[18];
    dct4_18(t, x, sb0, y);
    for (int i = 0; i < 18; ++i) {
        out[i] = t.long_out[wi][i] * y[kLongOutSrc[i]];
        ovl[i] = t.long_ovl[wi][i] * y[kLongOvlSrc[i]];
    }
}

// Short-block transform: three 12-point IMDCTs overlapped at offsets 6, 12 and 18 of the
// 36-sample span.
A5_MPA_INLINE void short_block(const HybridTables& t, const float (*x)[32], int sb0, Lane* out, Lane* ovl) {
    Lane z[36] = {};
    for (int w = 0; w < 3; ++w) {
        Lane in[6];
        for (int k = 0; k < 6; ++k) load(in[k], &x[3 * k + w][sb0]);
        Lane y[6];
        for (int j = 0; j < 6; ++j) {
            Lane acc = in[0] * t.dct6[j][0];
            for (int k = 1; k < 6; ++k) acc += in[k] * t.dct6[j][k];
            y[j] = acc;
        }
        for (int i = 0; i < 12; ++i) z[6 + 6 * w + i] += t.short_win[i] * y[kShortSrc[i]];
    }
    for (int i = 0; i < 18; ++i) {
        out[i] = z[i];
        ovl[i] = z[18 + i];
    }
}

A5_MPA_INLINE void hybrid_body(float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
                              float (&out)[18][32]) {
    const HybridTables& t = tables();
    const int n = block.subbands;
    const int groups = (n + kLanes - 1) / kLanes;
    const int width = groups * kLanes;

    // Transpose to [line][subband]; subbands beyond the transformed ones read as zero.
    alignas(32) float x[18][32];
    for (int sb = 0; sb < n; ++sb) {
        for (int k = 0; k < 18; ++k) x[k][sb] = spectrum[18 * sb + k];
    }
    for (int k = 0; k < 18; ++k) {
        for (int sb = n; sb < width; ++sb) x[k][sb] = 0.0f;
    }

    // Alias reduction across subband boundaries: long blocks everywhere, mixed blocks only
    // between subbands 0 and 1, short blocks nowhere.
    const int boundaries = block.layout == BlockLayout::kLong    ? n - 1
                           : block.layout == BlockLayout::kMixed ? 1
                                                                 : 0;
    for (int i = 0; i < 8; ++i) {
        const float cs = t.cs[i];
        const float ca = t.ca[i];
        float* lo = x[17 - i];
        float* hi = x[i] + 1;
        int sb = 0;
        for (; sb + kLanes <= boundaries; sb += kLanes) {
            Lane a;
            Lane b;
            load(a, lo + sb);
            load(b, hi + sb);
            const Lane a2 = a * cs - b * ca;
            const Lane b2 = b * cs + a * ca;
            store(lo + sb, a2);
            store(hi + sb, b2);
        }
        for (; sb < boundaries; ++sb) {
            const float a = lo[sb];
            const float b = hi[sb];
            lo[sb] = a * cs - b * ca;
            hi[sb] = b * cs + a * ca;
        }
    }

    const int wi = block.block_type == 3 ? 2 : block.block_type == 1 ? 1 : 0;
    for (int g = 0; g < groups; ++g) {
        const int sb0 = g * kLanes;
        Lane res[18];
        Lane ovl[18];
        if (block.layout == BlockLayout::kLong) {
            long_block(t, x, sb0, wi, res, ovl);
        } else {
            short_block(t, x, sb0, res, ovl);
        }
        if (g == 0 && block.mixed && (block.layout != BlockLayout::kLong || wi != 0)) {
            // The two lowest subbands of a mixed block take the normal long window.
            Lane lres[18];
            Lane lovl[18];
            long_block(t, x, sb0, 0, lres, lovl);
            for (int i = 0; i < 18; ++i) {
                for (int s = 0; s < 2; ++s) {
                    res[i][s] = lres[i][s];
                    ovl[i][s] = lovl[i][s];
                }
            }
        }
        // Odd subbands negate their odd time slots (frequency inversion).
        const Lane invert = {1, -1, 1, -1, 1, -1, 1, -1};
        const int lanes = n - sb0 < kLanes ? n - sb0 : kLanes;
        for (int i = 0; i < 18; ++i) {
            Lane r;
            load(r, &overlap[i][sb0]);
            r += res[i];
            if (i & 1) r *= invert;
            if (lanes == kLanes) {
                store(&out[i][sb0], r);
                store(&overlap[i][sb0], ovl[i]);
            } else {
                for (int s = 0; s < lanes; ++s) {
                    out[i][sb0 + s] = r[s];
                    overlap[i][sb0 + s] = ovl[i][s];
                }
            }
        }
    }

    // Subbands that were not transformed release their stored overlap and fall silent.
    for (int i = 0; i < 18; ++i) {
        for (int sb = n; sb < 32; ++sb) {
            const float r = overlap[i][sb];
            out[i][sb] = (i & 1) && (sb & 1) ? -r : r;
            overlap[i][sb] = 0.0f;
        }
    }
}

#if A5_MPA_WIDE
A5_MPA_WIDE_TARGET void hybrid_wide(float* spectrum, const HybridBlock& block,
                                                   float (&overlap)[18][32], float (&out)[18][32]) {
    hybrid_body(spectrum, block, overlap, out);
}
#endif

}  // namespace

void hybrid_granule_portable(float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
                             float (&out)[18][32]) {
    hybrid_body(spectrum, block, overlap, out);
}

bool hybrid_granule_wide(float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
                         float (&out)[18][32]) {
#if A5_MPA_WIDE
    if (wide_build_enabled()) {
        hybrid_wide(spectrum, block, overlap, out);
        return true;
    }
#else
    (void)spectrum;
    (void)block;
    (void)overlap;
    (void)out;
#endif
    return false;
}

void hybrid_granule(float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
                    float (&out)[18][32]) {
    if (!hybrid_granule_wide(spectrum, block, overlap, out))
        hybrid_granule_portable(spectrum, block, overlap, out);
}

}  // namespace mpa::l3
