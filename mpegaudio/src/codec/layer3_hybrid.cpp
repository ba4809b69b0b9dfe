// The transforms run on eight subbands at once: the spectrum is transposed to line-major
// order ([line][subband]) so that every step is the same arithmetic across adjacent
// subbands, which the compiler's vectoriser turns into SIMD without intrinsics. The 36-point
// IMDCT is computed through its 18-point DCT-IV core (the other half of the outputs are the
// same values mirrored and negated); that permutation, the sign, the window and the frequency
// inversion (a per-lane sign in odd time slots) are folded into one factor per output sample.
// The overlap is kept with the inversion applied, so that a subband that is not transformed
// passes it on unchanged.
#include "codec/layer3_hybrid.h"

#include <cstdint>
#include <cstring>
#include <numbers>

#include "codec/const_math.h"
#include "codec/cpu_dispatch.h"

namespace mpa::l3 {
namespace {

constexpr int kLanes = 8;
// Eight subbands side by side. The compilers' vector extension keeps the arithmetic portable:
// it becomes two SSE operations on baseline x86-64 and one AVX operation where available.
// Lanes are passed by reference only: by value they would change the calling convention
// between the baseline and the AVX2 build.
using Lane = float __attribute__((vector_size(kLanes * sizeof(float))));
using IntLane = int32_t __attribute__((vector_size(kLanes * sizeof(int32_t))));

// Row width of the transposed spectrum: the 32 subbands and room for the lane group of the
// alias butterflies that starts at subband 25.
constexpr int kWidth = 40;

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

// Every factor is stored in all eight lanes, so that the arithmetic takes it straight from
// memory.
struct HybridTables {
    Lane pre_cos[9], pre_sin[9];      // e^{-i pi (n + 1/4) / 18}
    Lane post_cos[9], post_sin[9];    // e^{-i pi k / 18}
    Lane tw_cos[3][3], tw_sin[3][3];  // e^{-2 pi i n2 k1 / 9}
    Lane dct6[6][6];
    // Window x sign x inversion per block type 0, 1, 3 (index type - type / 2), for out[t]
    // and for the overlap.
    Lane long_out[3][18];
    Lane long_ovl[3][18];
    Lane short_win[12];
    Lane cs[8];
    Lane ca[8];
};

constexpr void splat(Lane& v, double x) {
    const auto f = static_cast<float>(x);
    v = Lane{f, f, f, f, f, f, f, f};
}

// A factor of an odd time slot: odd subbands (odd lanes) negate it.
constexpr void splat_inverted(Lane& v, double x) {
    const auto f = static_cast<float>(x);
    v = Lane{f, -f, f, -f, f, -f, f, -f};
}

constexpr HybridTables build_tables() {
    HybridTables t{};
    constexpr double pi = std::numbers::pi;
    // The library's double results of the same double arguments.
    auto sin = [](double a) { return static_cast<double>(cmath::sin(a)); };
    auto cos = [](double a) { return static_cast<double>(cmath::cos(a)); };
    for (int n = 0; n < 9; ++n) {
        splat(t.pre_cos[n], cos(pi * (n + 0.25) / 18));
        splat(t.pre_sin[n], sin(pi * (n + 0.25) / 18));
        splat(t.post_cos[n], cos(pi * n / 18));
        splat(t.post_sin[n], sin(pi * n / 18));
    }
    for (int a = 0; a < 3; ++a) {
        for (int b = 0; b < 3; ++b) {
            splat(t.tw_cos[a][b], cos(2 * pi * a * b / 9));
            splat(t.tw_sin[a][b], sin(2 * pi * a * b / 9));
        }
    }
    for (int j = 0; j < 6; ++j) {
        for (int k = 0; k < 6; ++k) splat(t.dct6[j][k], cos(pi / 24 * (2 * j + 1) * (2 * k + 1)));
    }
    double win[3][36];
    for (int i = 0; i < 36; ++i) {
        const double normal = sin(pi / 36 * (i + 0.5));
        win[0][i] = normal;
        // Start window (type 1): normal rise, flat top, short fall, zeros.
        win[1][i] = i < 18 ? normal : i < 24 ? 1.0 : i < 30 ? sin(pi / 12 * (i - 18 + 0.5)) : 0.0;
        // Stop window (type 3): the start window reversed in time.
        win[2][i] = i < 6 ? 0.0 : i < 12 ? sin(pi / 12 * (i - 6 + 0.5)) : i < 18 ? 1.0 : normal;
    }
    auto factor = [](Lane& v, int slot, double x) { slot % 2 == 0 ? splat(v, x) : splat_inverted(v, x); };
    for (int w = 0; w < 3; ++w) {
        for (int i = 0; i < 18; ++i) {
            // IMDCT outputs 0-8 are +y, 9-35 are -y (see the source tables above).
            factor(t.long_out[w][i], i, i < 9 ? win[w][i] : -win[w][i]);
            factor(t.long_ovl[w][i], i, -win[w][18 + i]);
        }
    }
    // Output i of a short window lands in time slot 6 + 6w + i, of the same parity as i.
    for (int i = 0; i < 12; ++i) {
        const double s = sin(pi / 12 * (i + 0.5));
        factor(t.short_win[i], i, i < 3 ? s : -s);
    }
    constexpr double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    for (int i = 0; i < 8; ++i) {
        const auto d = static_cast<double>(cmath::sqrt(1.0 + c[i] * c[i]));
        splat(t.cs[i], 1.0 / d);
        splat(t.ca[i], c[i] / d);
    }
    return t;
}

constexpr HybridTables kTables = build_tables();

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
// through a 9-point complex DFT (3 x 3) between a pre- and a post-twiddle. The loops are
// unrolled so that every index is a constant and the lanes stay in registers.
A5_MPA_INLINE void dct4_18(const HybridTables& t, const float (*x)[kWidth], int sb0, Lane* y) {
    Lane re[9];
    Lane im[9];
#pragma GCC unroll 9
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
#pragma GCC unroll 3
    for (int n2 = 0; n2 < 3; ++n2) {
        Lane* r = &re[3 * n2];
        Lane* i = &im[3 * n2];
        dft3(r[0], i[0], r[1], i[1], r[2], i[2]);
        // Twiddle A[n2][k1] by e^{-2 pi i n2 k1 / 9}.
#pragma GCC unroll 2
        for (int k1 = 1; k1 < 3 && n2 > 0; ++k1) {
            const Lane vr = r[k1];
            const Lane vi = i[k1];
            r[k1] = vr * t.tw_cos[n2][k1] + vi * t.tw_sin[n2][k1];
            i[k1] = vi * t.tw_cos[n2][k1] - vr * t.tw_sin[n2][k1];
        }
    }
    // Row 3 n2 + k1 then holds W[k1 + 3 n2].
#pragma GCC unroll 3
    for (int k1 = 0; k1 < 3; ++k1) dft3(re[k1], im[k1], re[3 + k1], im[3 + k1], re[6 + k1], im[6 + k1]);
#pragma GCC unroll 9
    for (int k = 0; k < 9; ++k) {
        const int row = 3 * (k / 3) + k % 3;
        y[2 * k] = re[row] * t.post_cos[k] + im[row] * t.post_sin[k];
        y[17 - 2 * k] = re[row] * t.post_sin[k] - im[row] * t.post_cos[k];
    }
}

// Long-block transform of the eight subbands of one lane group: the 18 outputs and the 18
// values that overlap into the next granule.
A5_MPA_INLINE void long_block(const HybridTables& t, const float (*x)[kWidth], int sb0, int wi, Lane* out,
                              Lane* ovl) {
    Lane y[18];
    dct4_18(t, x, sb0, y);
#pragma GCC unroll 18
    for (int i = 0; i < 18; ++i) {
        out[i] = t.long_out[wi][i] * y[kLongOutSrc[i]];
        ovl[i] = t.long_ovl[wi][i] * y[kLongOvlSrc[i]];
    }
}

// Short-block transform: three 12-point IMDCTs overlapped at offsets 6, 12 and 18 of the
// 36-sample span.
A5_MPA_INLINE void short_block(const HybridTables& t, const float (*x)[kWidth], int sb0, Lane* out,
                               Lane* ovl) {
    Lane z[36] = {};
#pragma GCC unroll 3
    for (int w = 0; w < 3; ++w) {
        Lane in[6];
#pragma GCC unroll 6
        for (int k = 0; k < 6; ++k) load(in[k], &x[3 * k + w][sb0]);
        Lane y[6];
#pragma GCC unroll 6
        for (int j = 0; j < 6; ++j) {
            Lane acc = in[0] * t.dct6[j][0];
#pragma GCC unroll 5
            for (int k = 1; k < 6; ++k) acc += in[k] * t.dct6[j][k];
            y[j] = acc;
        }
#pragma GCC unroll 12
        for (int i = 0; i < 12; ++i) z[6 + 6 * w + i] += t.short_win[i] * y[kShortSrc[i]];
    }
#pragma GCC unroll 18
    for (int i = 0; i < 18; ++i) {
        out[i] = z[i];
        ovl[i] = z[18 + i];
    }
}

// Overlap-add of one lane group's transform into the output rows, and the new overlap.
A5_MPA_INLINE void overlap_add(const Lane* res, const Lane* ovl, int sb0, float (&overlap)[18][32],
                               float (&out)[18][32]) {
#pragma GCC unroll 18
    for (int i = 0; i < 18; ++i) {
        Lane r;
        load(r, &overlap[i][sb0]);
        r += res[i];
        store(&out[i][sb0], r);
        store(&overlap[i][sb0], ovl[i]);
    }
}

// Lines k0 ... k0 + 7 of the eight subbands from sb0 (natural order, 18 lines per subband)
// into rows k0 ... k0 + 7 of x: an 8 x 8 transpose in three rounds of shuffles. Rows below
// `first` are not stored (the compiler drops their shuffles).
A5_MPA_INLINE void transpose8(const float* spectrum, int sb0, int k0, int first, float (*x)[kWidth]) {
    Lane r0, r1, r2, r3, r4, r5, r6, r7;
    const float* src = spectrum + 18 * sb0 + k0;
    load(r0, src);
    load(r1, src + 18);
    load(r2, src + 2 * 18);
    load(r3, src + 3 * 18);
    load(r4, src + 4 * 18);
    load(r5, src + 5 * 18);
    load(r6, src + 6 * 18);
    load(r7, src + 7 * 18);
    const Lane t0 = __builtin_shufflevector(r0, r1, 0, 8, 1, 9, 4, 12, 5, 13);
    const Lane t1 = __builtin_shufflevector(r0, r1, 2, 10, 3, 11, 6, 14, 7, 15);
    const Lane t2 = __builtin_shufflevector(r2, r3, 0, 8, 1, 9, 4, 12, 5, 13);
    const Lane t3 = __builtin_shufflevector(r2, r3, 2, 10, 3, 11, 6, 14, 7, 15);
    const Lane t4 = __builtin_shufflevector(r4, r5, 0, 8, 1, 9, 4, 12, 5, 13);
    const Lane t5 = __builtin_shufflevector(r4, r5, 2, 10, 3, 11, 6, 14, 7, 15);
    const Lane t6 = __builtin_shufflevector(r6, r7, 0, 8, 1, 9, 4, 12, 5, 13);
    const Lane t7 = __builtin_shufflevector(r6, r7, 2, 10, 3, 11, 6, 14, 7, 15);
    // u(j) holds elements j and j + 4 of rows 0-3, u(4 + j) those of rows 4-7.
    const Lane u0 = __builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
    const Lane u1 = __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
    const Lane u2 = __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
    const Lane u3 = __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
    const Lane u4 = __builtin_shufflevector(t4, t6, 0, 1, 8, 9, 4, 5, 12, 13);
    const Lane u5 = __builtin_shufflevector(t4, t6, 2, 3, 10, 11, 6, 7, 14, 15);
    const Lane u6 = __builtin_shufflevector(t5, t7, 0, 1, 8, 9, 4, 5, 12, 13);
    const Lane u7 = __builtin_shufflevector(t5, t7, 2, 3, 10, 11, 6, 7, 14, 15);
    const Lane rows[8] = {__builtin_shufflevector(u0, u4, 0, 1, 2, 3, 8, 9, 10, 11),
                          __builtin_shufflevector(u1, u5, 0, 1, 2, 3, 8, 9, 10, 11),
                          __builtin_shufflevector(u2, u6, 0, 1, 2, 3, 8, 9, 10, 11),
                          __builtin_shufflevector(u3, u7, 0, 1, 2, 3, 8, 9, 10, 11),
                          __builtin_shufflevector(u0, u4, 4, 5, 6, 7, 12, 13, 14, 15),
                          __builtin_shufflevector(u1, u5, 4, 5, 6, 7, 12, 13, 14, 15),
                          __builtin_shufflevector(u2, u6, 4, 5, 6, 7, 12, 13, 14, 15),
                          __builtin_shufflevector(u3, u7, 4, 5, 6, 7, 12, 13, 14, 15)};
    for (int j = first; j < 8; ++j) store(&x[k0 + j][sb0], rows[j]);
}

A5_MPA_INLINE void hybrid_body(const float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
                               float (&out)[18][32]) {
    const HybridTables& t = kTables;
    const int n = block.subbands;
    const int groups = (n + kLanes - 1) / kLanes;
    const IntLane lane = {0, 1, 2, 3, 4, 5, 6, 7};

    // Transpose to [line][subband], whole lane groups; subbands beyond the transformed ones
    // read as zero.
    alignas(32) float x[18][kWidth];
    for (int g = 0; g < groups; ++g) {
        const int sb0 = g * kLanes;
        transpose8(spectrum, sb0, 0, 0, x);
        transpose8(spectrum, sb0, 8, 0, x);
        transpose8(spectrum, sb0, 10, 6, x);  // lines 16 and 17
    }
    if (n % kLanes != 0) {
        const int sb0 = (groups - 1) * kLanes;
        const IntLane used = lane < n - sb0;
#pragma GCC unroll 18
        for (int k = 0; k < 18; ++k) {
            Lane v;
            load(v, &x[k][sb0]);
            v = used ? v : Lane{};
            store(&x[k][sb0], v);
        }
    }

    // Alias reduction across subband boundaries: long blocks everywhere, mixed blocks only
    // between subbands 0 and 1, short blocks nowhere. Boundary b joins subbands b and b + 1.
    const int boundaries = block.layout == BlockLayout::kLong    ? n - 1
                           : block.layout == BlockLayout::kMixed ? 1
                                                                 : 0;
    for (int sb = 0; sb < boundaries; sb += kLanes) {
        const IntLane active = lane < boundaries - sb;
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            Lane a;
            Lane b;
            load(a, &x[17 - i][sb]);
            load(b, &x[i][sb + 1]);
            const Lane a2 = a * t.cs[i] - b * t.ca[i];
            const Lane b2 = b * t.cs[i] + a * t.ca[i];
            // An inactive lane writes back the value it read.
            a = active ? a2 : a;
            b = active ? b2 : b;
            store(&x[17 - i][sb], a);
            store(&x[i][sb + 1], b);
        }
    }

    // Lanes beyond the transformed subbands have zero input: they pass their overlap on and
    // keep zero.
    const int wi = block.block_type == 3 ? 2 : block.block_type == 1 ? 1 : 0;
    const bool is_long = block.layout == BlockLayout::kLong;
    // Lanes 0 and 1 of the first group take the long transform with window 0 instead.
    const bool mixed = block.mixed && (!is_long || wi != 0);
    for (int g = 0; g < groups; ++g) {
        const int sb0 = g * kLanes;
        Lane res[18];
        Lane ovl[18];
        if (g != 0 || !mixed) {
            if (is_long) {
                long_block(t, x, sb0, wi, res, ovl);
            } else {
                short_block(t, x, sb0, res, ovl);
            }
        } else {
            // The two lowest subbands of a mixed block take the long transform with the normal
            // window, the others their own.
            Lane lres[18];
            Lane lovl[18];
            long_block(t, x, sb0, 0, lres, lovl);
            if (is_long) {
                long_block(t, x, sb0, wi, res, ovl);
            } else {
                short_block(t, x, sb0, res, ovl);
            }
            const IntLane low = lane < 2;
#pragma GCC unroll 18
            for (int i = 0; i < 18; ++i) {
                res[i] = low ? lres[i] : res[i];
                ovl[i] = low ? lovl[i] : ovl[i];
            }
        }
        overlap_add(res, ovl, sb0, overlap, out);
    }

    // Lane groups that were not transformed release their stored overlap and fall silent.
    const Lane none[18] = {};
    for (int sb0 = groups * kLanes; sb0 < 32; sb0 += kLanes) overlap_add(none, none, sb0, overlap, out);
}

#if A5_MPA_WIDE
A5_MPA_WIDE_TARGET void hybrid_wide(const float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
                                    float (&out)[18][32]) {
    hybrid_body(spectrum, block, overlap, out);
}
#endif

}  // namespace

void hybrid_granule_portable(const float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
                             float (&out)[18][32]) {
    hybrid_body(spectrum, block, overlap, out);
}

bool hybrid_granule_wide(const float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
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

void hybrid_granule(const float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
                    float (&out)[18][32]) {
    if (!hybrid_granule_wide(spectrum, block, overlap, out))
        hybrid_granule_portable(spectrum, block, overlap, out);
}

}  // namespace mpa::l3
