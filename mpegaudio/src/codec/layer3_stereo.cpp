#include "codec/layer3_stereo.h"

#include <cstring>
#include <numbers>

#include "codec/const_math.h"

namespace mpa::l3 {
namespace {

struct Ratio {
    float left;
    float right;
};

// Factors that turn the transmitted (left) value into left and right for each position, with
// and without the 1/sqrt(2) of mid/side undone (intensity bands do not carry it). MPEG-1
// positions are 0 ... 6; MPEG-2/2.5 positions (up to 5 bits) are 0 ... 30 for either
// intensity scale.
struct IntensityRatios {
    Ratio mpeg1[2][7];
    Ratio lsf[2][2][31];

    constexpr IntensityRatios() : mpeg1{}, lsf{} {
        constexpr double kUnscale[2] = {1.0, std::numbers::sqrt2};
        const auto io_for_scale = static_cast<double>(cmath::exp2(-0.25));
        for (int ms = 0; ms < 2; ++ms) {
            for (int pos = 0; pos < 7; ++pos) {
                const double a = pos * std::numbers::pi / 12;
                const auto s = static_cast<double>(cmath::sin(a));
                const auto c = static_cast<double>(cmath::cos(a));
                mpeg1[ms][pos] = {static_cast<float>(s / (s + c) * kUnscale[ms]),
                                  static_cast<float>(c / (s + c) * kUnscale[ms])};
            }
            for (int scale = 0; scale < 2; ++scale) {
                const double io = scale != 0 ? std::numbers::sqrt2 / 2 : io_for_scale;
                for (int pos = 0; pos < 31; ++pos) {
                    double l = 1.0;
                    double r = 1.0;
                    if (pos & 1) {
                        l = static_cast<double>(cmath::pow(io, (pos + 1) / 2));
                    } else if (pos != 0) {
                        r = static_cast<double>(cmath::pow(io, pos / 2));
                    }
                    lsf[ms][scale][pos] = {static_cast<float>(l * kUnscale[ms]),
                                           static_cast<float>(r * kUnscale[ms])};
                }
            }
        }
    }
};

constexpr IntensityRatios kRatios;

Ratio intensity_ratio(const JointStereo& js, int pos) {
    const int ms = js.mid_side ? 1 : 0;
    return js.lsf ? kRatios.lsf[ms][js.intensity_scale][pos] : kRatios.mpeg1[ms][pos];
}

// Applies intensity stereo to the lines first, first + step, ... (count of them) when the
// position is valid.
void apply(float* left, float* right, int first, int step, int count, const JointStereo& js, int pos,
           int limit) {
    if (pos >= limit) return;
    const Ratio k = intensity_ratio(js, pos);
    for (int i = 0, line = first; i < count; ++i, line += step) {
        const float v = left[line];
        left[line] = v * k.left;
        right[line] = v * k.right;
    }
}

// First long band above the last nonzero line of `right` among lines [0, end).
int long_bound(const float* right, const BandTable& bands, int end) {
    int last = end - 1;
    while (last >= 0 && right[last] == 0.0f) --last;
    if (last < 0) return 0;
    int b = 0;
    while (bands.long_bounds[b + 1] <= last) ++b;
    return b + 1;
}

// First short band (from `lowest`) above the last nonzero line of window w.
int short_bound(const float* right, const BandTable& bands, int w, int lowest) {
    for (int b = 12; b >= lowest; --b) {
        const int start = bands.short_bounds[b];
        const int width = bands.short_bounds[b + 1] - start;
        for (int k = 0; k < width; ++k) {
            if (right[3 * start + w + 3 * k] != 0.0f) return b + 1;
        }
    }
    return lowest;
}

}  // namespace

void joint_stereo(float* left, float* right, const JointStereo& js, const IntensityPositions& pos,
                  const BandTable& bands) {
    // The intensity region is where the transmitted right channel is zero: find it before
    // mid/side fills the right channel.
    int long_first = 22;
    int long_end = 22;
    int short_lowest = 13;
    int short_first[3] = {13, 13, 13};
    if (js.intensity) {
        if (js.layout == BlockLayout::kLong) {
            long_first = long_bound(right, bands, js.lines);
        } else {
            short_lowest = 0;
            if (js.layout == BlockLayout::kMixed) {
                while (bands.short_bounds[short_lowest] * 3 < 36) ++short_lowest;
                long_end = 0;
                while (bands.long_bounds[long_end + 1] <= 36) ++long_end;
            }
            int highest = short_lowest;
            for (int w = 0; w < 3; ++w) {
                short_first[w] = short_bound(right, bands, w, short_lowest);
                if (short_first[w] > highest) highest = short_first[w];
            }
            // The long part of a mixed block joins only when the whole short part is intensity.
            if (js.layout == BlockLayout::kMixed && highest == short_lowest) {
                long_first = long_bound(right, bands, bands.long_bounds[long_end]);
            }
        }
    }

    if (js.mid_side) {
        // Four lines at a time (the compilers' vector extension; SSE on baseline x86-64).
        using Quad = float __attribute__((vector_size(16)));
        for (int i = 0; i < js.lines; i += 4) {
            Quad m;
            Quad s;
            std::memcpy(&m, left + i, sizeof m);
            std::memcpy(&s, right + i, sizeof s);
            const Quad sum = m + s;
            const Quad diff = m - s;
            std::memcpy(left + i, &sum, sizeof sum);
            std::memcpy(right + i, &diff, sizeof diff);
        }
    }
    if (!js.intensity) return;

    // The last band has no scale factor of its own: it takes the position of the band below
    // when that band is intensity coded too; otherwise MPEG-1 leaves it alone and MPEG-2/2.5
    // uses position 0 (left and right equal).
    const int fallback_pos = 0;
    const int fallback_limit = js.lsf ? 1 : 0;
    for (int b = long_first; b < long_end; ++b) {
        const int start = bands.long_bounds[b];
        const int count = bands.long_bounds[b + 1] - start;
        const bool inherit = b == 21;
        const int p = inherit ? 20 : b;
        const bool own = !inherit || long_first <= 20;
        apply(left, right, start, 1, count, js, own ? pos.long_pos[p] : fallback_pos,
              own ? pos.long_limit[p] : fallback_limit);
    }
    for (int w = 0; w < 3; ++w) {
        for (int b = short_first[w]; b < 13; ++b) {
            const int start = bands.short_bounds[b];
            const int count = bands.short_bounds[b + 1] - start;
            const bool inherit = b == 12;
            const int p = inherit ? 11 : b;
            const bool own = !inherit || short_first[w] <= 11;
            apply(left, right, 3 * start + w, 3, count, js, own ? pos.short_pos[p][w] : fallback_pos,
                  own ? pos.short_limit[p] : fallback_limit);
        }
    }
}

}  // namespace mpa::l3
