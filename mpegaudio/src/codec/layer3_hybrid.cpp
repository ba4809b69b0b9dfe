// The transforms run on eight subbands at once: the spectrum is transposed to line-major
// order ([line][subband]) so that every step is the same arithmetic across adjacent
// subbands, which the compiler's vectoriser turns into SIMD without intrinsics. The 36-point
// IMDCT is computed through its 18-point DCT-IV core (the other half of the outputs are the
// same values mirrored and negated); that permutation, the sign and the window are folded into
// one factor per output sample, and frequency inversion into a per-lane sign.
#include "codec/layer3_hybrid.h"

#include <cmath>
#include <numbers>

namespace mpa::l3 {
namespace {

constexpr int kLanes = 8;
using Lane = float[kLanes];

// Which DCT-IV output feeds each of the 36 IMDCT outputs: out[t] (t < 18) and overlap[t].
constexpr int kLongOutSrc[18] = {9, 10, 11, 12, 13, 14, 15, 16, 17, 17, 16, 15, 14, 13, 12, 11, 10, 9};
constexpr int kLongOvlSrc[18] = {8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
// The 12 outputs of the 12-point IMDCT from its 6-point DCT-IV core.
constexpr int kShortSrc[12] = {3, 4, 5, 5, 4, 3, 2, 1, 0, 0, 1, 2};

struct HybridTables {
  float dct18[18][18];
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
  for (int j = 0; j < 18; ++j) {
    for (int k = 0; k < 18; ++k) t.dct18[j][k] = static_cast<float>(std::cos(pi / 72 * (2 * j + 1) * (2 * k + 1)));
  }
  for (int j = 0; j < 6; ++j) {
    for (int k = 0; k < 6; ++k) t.dct6[j][k] = static_cast<float>(std::cos(pi / 24 * (2 * j + 1) * (2 * k + 1)));
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

// Lane sign for frequency inversion: odd subbands negate odd time slots.
constexpr float kInvert[kLanes] = {1, -1, 1, -1, 1, -1, 1, -1};

// Long-block transform of the eight subbands of one lane group.
void long_block(const HybridTables& t, const float (*x)[32], int sb0, int wi, Lane* out, Lane* ovl) {
  Lane y[18];
  for (int j = 0; j < 18; ++j) {
    Lane acc = {};
    for (int k = 0; k < 18; ++k) {
      const float c = t.dct18[j][k];
      for (int s = 0; s < kLanes; ++s) acc[s] += c * x[k][sb0 + s];
    }
    for (int s = 0; s < kLanes; ++s) y[j][s] = acc[s];
  }
  for (int i = 0; i < 18; ++i) {
    const float a = t.long_out[wi][i];
    const float b = t.long_ovl[wi][i];
    for (int s = 0; s < kLanes; ++s) {
      out[i][s] = a * y[kLongOutSrc[i]][s];
      ovl[i][s] = b * y[kLongOvlSrc[i]][s];
    }
  }
}

// Short-block transform: three 12-point IMDCTs overlapped at offsets 6, 12 and 18 of the
// 36-sample span.
void short_block(const HybridTables& t, const float (*x)[32], int sb0, Lane* out, Lane* ovl) {
  Lane z[36] = {};
  for (int w = 0; w < 3; ++w) {
    Lane y[6];
    for (int j = 0; j < 6; ++j) {
      Lane acc = {};
      for (int k = 0; k < 6; ++k) {
        const float c = t.dct6[j][k];
        for (int s = 0; s < kLanes; ++s) acc[s] += c * x[3 * k + w][sb0 + s];
      }
      for (int s = 0; s < kLanes; ++s) y[j][s] = acc[s];
    }
    for (int i = 0; i < 12; ++i) {
      const float wv = t.short_win[i];
      for (int s = 0; s < kLanes; ++s) z[6 + 6 * w + i][s] += wv * y[kShortSrc[i]][s];
    }
  }
  for (int i = 0; i < 18; ++i) {
    for (int s = 0; s < kLanes; ++s) {
      out[i][s] = z[i][s];
      ovl[i][s] = z[18 + i][s];
    }
  }
}

}  // namespace

void hybrid_granule(float* spectrum, const HybridBlock& block, float (&overlap)[18][32],
                    float (&out)[18][32]) {
  const HybridTables& t = tables();
  const int n = block.subbands;
  const int groups = (n + kLanes - 1) / kLanes;
  const int width = groups * kLanes;

  // Transpose to [line][subband]; subbands beyond the transformed ones read as zero.
  alignas(32) float x[18][32];
  for (int sb = 0; sb < width; ++sb) {
    for (int k = 0; k < 18; ++k) x[k][sb] = sb < n ? spectrum[18 * sb + k] : 0.0f;
  }

  // Alias reduction across subband boundaries: long blocks everywhere, mixed blocks only
  // between subbands 0 and 1, short blocks nowhere.
  const int boundaries = block.layout == BlockLayout::kLong ? n - 1 : block.layout == BlockLayout::kMixed ? 1 : 0;
  for (int i = 0; i < 8; ++i) {
    const float cs = t.cs[i];
    const float ca = t.ca[i];
    float* lo = x[17 - i];
    float* hi = x[i] + 1;
    for (int sb = 0; sb < boundaries; ++sb) {
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
    const int lanes = n - sb0 < kLanes ? n - sb0 : kLanes;
    for (int i = 0; i < 18; ++i) {
      float* o = &out[i][sb0];
      float* v = &overlap[i][sb0];
      if (lanes == kLanes) {
        for (int s = 0; s < kLanes; ++s) {
          const float r = res[i][s] + v[s];
          o[s] = (i & 1) ? r * kInvert[s] : r;
          v[s] = ovl[i][s];
        }
      } else {
        for (int s = 0; s < lanes; ++s) {
          const float r = res[i][s] + v[s];
          o[s] = (i & 1) ? r * kInvert[s] : r;
          v[s] = ovl[i][s];
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

}  // namespace mpa::l3
