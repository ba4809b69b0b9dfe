#include "codec/layer3_tables.h"

#include "codec/const_math.h"

namespace mpa::l3 {

// ISO/IEC 13818-3 (MPEG-2), 11172-3 (MPEG-1); MPEG 2.5 at 11.025 and 12 kHz reuses the
// 16 kHz rows and 8 kHz has rows of its own.
#define A5_L3_LONG_16K \
    { 0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576 }
#define A5_L3_SHORT_16K \
    { 0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192 }
// clang-format off
const BandTable kBandTables[9] = {
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
     {0, 4, 8, 12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192}},
    {{0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576},
     {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192}},
    {A5_L3_LONG_16K, A5_L3_SHORT_16K},
    {{0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576},
     {0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192}},
    {{0, 4, 8, 12, 16, 20, 24, 30, 36, 42, 50, 60, 72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576},
     {0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192}},
    {{0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 54, 66, 82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576},
     {0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192}},
    {A5_L3_LONG_16K, A5_L3_SHORT_16K},
    {A5_L3_LONG_16K, A5_L3_SHORT_16K},
    {{0, 12, 24, 36, 48, 60, 72, 88, 108, 132, 160, 192, 232, 280, 336, 400, 476, 566, 568, 570, 572, 574, 576},
     {0, 8, 16, 24, 36, 52, 72, 96, 124, 160, 162, 164, 166, 192}},
};
// clang-format on
#undef A5_L3_LONG_16K
#undef A5_L3_SHORT_16K

const uint8_t kSlen[16][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {3, 0}, {1, 1}, {1, 2}, {1, 3},
                              {2, 1}, {2, 2}, {2, 3}, {3, 1}, {3, 2}, {3, 3}, {4, 2}, {4, 3}};

const uint8_t kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

namespace {
// nr_of_sfb of ISO/IEC 13818-3: [layout row][long, short, mixed][group].
constexpr uint8_t kLsfCounts[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},       {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}}, {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},     {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}}};
}  // namespace

LsfScaleLayout lsf_scale_layout(unsigned sfc, bool intensity_right, int block_kind) {
    LsfScaleLayout out{};
    int row = 0;
    auto set = [&out](unsigned a, unsigned b, unsigned c, unsigned d) {
        out.slen[0] = static_cast<uint8_t>(a);
        out.slen[1] = static_cast<uint8_t>(b);
        out.slen[2] = static_cast<uint8_t>(c);
        out.slen[3] = static_cast<uint8_t>(d);
    };
    if (!intensity_right) {
        if (sfc < 400) {
            set((sfc >> 4) / 5, (sfc >> 4) % 5, (sfc & 15) >> 2, sfc & 3);
            row = 0;
        } else if (sfc < 500) {
            const unsigned x = sfc - 400;
            set((x >> 2) / 5, (x >> 2) % 5, x & 3, 0);
            row = 1;
        } else {
            const unsigned x = sfc - 500;
            set(x / 3, x % 3, 0, 0);
            row = 2;
            out.preflag = true;
        }
    } else {
        const unsigned isc = sfc >> 1;
        if (isc < 180) {
            set(isc / 36, (isc % 36) / 6, isc % 6, 0);
            row = 3;
        } else if (isc < 244) {
            const unsigned x = isc - 180;
            set((x & 63) >> 4, (x & 15) >> 2, x & 3, 0);
            row = 4;
        } else {
            const unsigned x = isc - 244;
            set(x / 3, x % 3, 0, 0);
            row = 5;
        }
    }
    for (int g = 0; g < 4; ++g) out.count[g] = kLsfCounts[row][block_kind][g];
    return out;
}

namespace {

// i^e for e = 4.0 / 3.0 (the double, slightly below 4/3, that pow is given at run time):
// i cbrt(i) (1 - (4/3 - e) ln i). Each cube root starts its Newton steps from the previous
// one, and ln i is summed up as ln(i - 1) + 2 atanh(1 / (2i - 1)); the few digits that the
// correction needs make this cheap enough for every compiler's evaluation limits.
constexpr void build_pow43(float* out, int n) {
    using cmath::ld;
    const ld shortfall = 4.0L / 3.0L - static_cast<ld>(4.0 / 3.0);
    ld root = 1.0L;
    ld ln = 0.0L;
    out[0] = 0.0f;
    for (int i = 1; i < n; ++i) {
        const auto x = static_cast<ld>(i);
        for (int step = 0; step < 8; ++step) {
            const ld next = root - (root * root * root - x) / (3.0L * root * root);
            if (next == root) break;
            root = next;
        }
        if (i > 1) {
            const ld u = 1.0L / (2 * i - 1);
            ln += 2.0L * u * (1.0L + u * u / 3.0L);
        }
        out[i] = cmath::to_float(x * root * (1.0L - shortfall * ln));
    }
}

constexpr RequantTables build_requant() {
    RequantTables t{};
    build_pow43(t.pow43, RequantTables::kPowCount);
    for (int v = -15; v <= 15; ++v) t.signed_pow43[v + 15] = v < 0 ? -t.pow43[-v] : t.pow43[v];
    for (int k = 0; k < 512; ++k) {
        const int e = k - RequantTables::kGainBias;
        t.gain[k] = cmath::to_float(cmath::exp2((e - 210) / 4.0));
    }
    return t;
}

constexpr RequantTables kRequant = build_requant();

}  // namespace

const RequantTables& requant_tables() {
    return kRequant;
}

}  // namespace mpa::l3
