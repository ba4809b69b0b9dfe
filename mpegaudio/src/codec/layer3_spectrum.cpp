#include "codec/layer3_spectrum.h"

#include <algorithm>
#include <cstring>

#include "codec/bit_reader.h"
#include "codec/layer3_huffman.h"

namespace mpa::l3 {
namespace {

constexpr uint8_t kNoPretab[22] = {};

// A run of lines that share one gain: one long band, or one window of a short band.
struct Run {
    uint16_t start;
    uint16_t count;
    uint16_t step;  // 1 for long bands, 3 for short windows (window-interleaved order)
    float gain;
};

struct Runs {
    Run run[40];
    int size = 0;
    uint32_t lines = 0;
};

void build_runs(const GranuleInfo& g, const BandTable& bands, bool mid_side, Runs& r) {
    const float* gain = requant_tables().gain;
    const int base = static_cast<int>(g.global_gain) - (mid_side ? 2 : 0) + RequantTables::kGainBias;
    const int shift = 1 + static_cast<int>(g.scalefac_scale);
    int longs = 22;
    int first_short = 13;
    if (g.short_blocks()) {
        longs = 0;
        first_short = 0;
        if (g.mixed_block) {
            while (bands.long_bounds[longs + 1] <= 36) ++longs;
            while (bands.short_bounds[first_short] * 3 < 36) ++first_short;
        }
    }
    Run* run = r.run;
    const uint8_t* pretab = g.preflag ? kPretab : kNoPretab;
    for (int b = 0; b < longs; ++b) {
        const int e = base - ((g.sf_long[b] + pretab[b]) << shift);
        const uint16_t start = bands.long_bounds[b];
        *run++ = {start, static_cast<uint16_t>(bands.long_bounds[b + 1] - start), 1, gain[e]};
    }
    for (int b = first_short; b < 13; ++b) {
        const uint16_t start = bands.short_bounds[b];
        const uint16_t width = static_cast<uint16_t>(bands.short_bounds[b + 1] - start);
        for (int w = 0; w < 3; ++w) {
            const int e = base - 8 * static_cast<int>(g.subblock_gain[w]) - (g.sf_short[b][w] << shift);
            *run++ = {static_cast<uint16_t>(3 * start + w), width, 3, gain[e]};
        }
    }
    r.size = static_cast<int>(run - r.run);
    // Long bands cover [0, long end), short bands [3 x short start, 576): in mixed blocks of
    // 8 kHz streams the two leave lines between them.
    r.lines = bands.long_bounds[longs] + 3u * (192u - bands.short_bounds[first_short]);
}

// Decodes one code word: a table look-up, then for long codes the rest of the tree walk.
// The cache must hold the longest code word (19 bits).
inline int decode_leaf(BitCache& bits, const HuffTable& t) {
    const uint32_t e = t.lookup[bits.peek(kLookupBits)];
    if ((e & kLookupDeeper) == 0) {
        bits.drop(static_cast<int>(e >> 8));
        return static_cast<int>(e & 0xFF);
    }
    bits.drop(kLookupBits);
    int p = static_cast<int>(e & 0x3FF);
    int v;
    while ((v = t.tree[p]) < 0) {
        p += 1 + (bits.top_bit() ? -v : 0);
        bits.drop(1);
    }
    return v;
}

using Quad = float __attribute__((vector_size(4 * sizeof(float))));

// Writes requantised values run by run.
class Writer {
  public:
    Writer(const Runs& runs, float* xr) : runs_(runs), xr_(xr) { enter(0); }
    // Two values; runs have even lengths and pairs start at even lines, so a pair never
    // straddles two runs.
    void pair(float a, float b) {
        if (left_ == 0) enter(index_ + 1);
        dst_[0] = a * gain_;
        dst_[step_] = b * gain_;
        dst_ += 2 * step_;
        left_ -= 2;
    }
    // Four values, which may straddle two runs.
    void quad(const float* v) {
        if (left_ < 4) {
            for (int i = 0; i < 4; ++i) one(v[i]);
            return;
        }
        if (step_ == 1) {
            Quad q;
            std::memcpy(&q, v, sizeof q);
            q *= gain_;
            std::memcpy(dst_, &q, sizeof q);
        } else {
            dst_[0] = v[0] * gain_;
            dst_[3] = v[1] * gain_;
            dst_[6] = v[2] * gain_;
            dst_[9] = v[3] * gain_;
        }
        dst_ += 4 * step_;
        left_ -= 4;
    }
    void one(float a) {
        if (left_ == 0) enter(index_ + 1);
        *dst_ = a * gain_;
        dst_ += step_;
        --left_;
    }

  private:
    void enter(int i) {
        index_ = i;
        const Run& r = runs_.run[i];
        dst_ = xr_ + r.start;
        left_ = r.count;
        step_ = r.step;
        gain_ = r.gain;
    }
    const Runs& runs_;
    float* xr_;
    float* dst_ = nullptr;
    int index_ = 0;
    int left_ = 0;
    int step_ = 1;
    float gain_ = 0.0f;
};

// A nonzero magnitude's value with the sign bit that follows it in the stream.
inline float with_sign(BitCache& bits, float v) {
    uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    u ^= bits.take(1) << 31;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

// One big value of a book with linbits.
inline float escaped_value(BitCache& bits, uint32_t x, int linbits, const float* pow43) {
    if (x == 15) x += bits.take(linbits);
    return x == 0 ? 0.0f : with_sign(bits, pow43[x]);
}

// The pairs of one region up to line `end`. Most pairs come whole, signs included, from one
// look-up; escaped values take their linbits and signs after it, and longer code words walk
// the tree. A refilled cache holds the
// longest code word (19 bits) and both sign bits; linbits need one more refill.
void decode_region(BitCache& bits, const HuffTable& t, const RequantTables& q, uint32_t end, uint32_t& line,
                   Writer& out) {
    for (; line < end; line += 2) {
        bits.refill();
        const uint32_t e = t.pairs[bits.peek(kPairBits)];
        if (e < kPairEscape) {
            bits.drop(static_cast<int>(e >> 10));
            out.pair(q.signed_pow43[e >> 5 & 31], q.signed_pow43[e & 31]);
            continue;
        }
        uint32_t leaf;
        if (e != kPairSlow) {
            bits.drop(static_cast<int>(e >> 8 & 15));
            leaf = e & 0xFF;
        } else {
            leaf = static_cast<uint32_t>(decode_leaf(bits, t));
        }
        const uint32_t x = leaf >> 4;
        const uint32_t y = leaf & 15;
        float a;
        float b;
        if (t.linbits != 0) {
            bits.refill();
            a = escaped_value(bits, x, t.linbits, q.pow43);
            b = escaped_value(bits, y, t.linbits, q.pow43);
        } else {
            a = x == 0 ? 0.0f : with_sign(bits, q.pow43[x]);
            b = y == 0 ? 0.0f : with_sign(bits, q.pow43[y]);
        }
        out.pair(a, b);
    }
}

// The values -1, 0, 1 of each count1 look-up entry's signs and nonzero flags.
struct QuadValues {
    float v[256][4];
    constexpr QuadValues() : v{} {
        for (int e = 0; e < 256; ++e) {
            for (int i = 0; i < 4; ++i) {
                const int bit = 3 - i;
                v[e][i] = (e >> bit & 1) == 0 ? 0.0f : (e >> (4 + bit) & 1) != 0 ? -1.0f : 1.0f;
            }
        }
    }
};
constexpr QuadValues kQuadValues;

}  // namespace

uint32_t decode_spectrum(const uint32_t* words, uint32_t start_bit, uint32_t end_bit, const GranuleInfo& g,
                         const BandTable& bands, bool mid_side, float* xr, bool* overran) {
    // Short windows are written interleaved, so their unwritten lines are scattered: clear all.
    if (g.short_blocks()) std::memset(xr, 0, 576 * sizeof(float));
    Runs runs;
    build_runs(g, bands, mid_side, runs);
    const RequantTables& q = requant_tables();
    Writer out(runs, xr);
    BitCache bits(words, start_bit);

    const uint32_t big_end = std::min(2 * g.big_values, runs.lines);
    const uint32_t bounds[3] = {std::min(g.region1_start, big_end), std::min(g.region2_start, big_end),
                                big_end};
    uint32_t line = 0;
    for (int region = 0; region < 3; ++region) {
        const HuffTable& t = kBigValueTables[g.table_select[region]];
        const uint32_t end = std::max(bounds[region], line);
        if (t.tree == nullptr) {
            for (; line < end; line += 2) out.pair(0.0f, 0.0f);
            continue;
        }
        decode_region(bits, t, q, end, line, out);
    }

    // The big values are decoded whatever their length says; ending past the granule's bits
    // is damage. Then quadruples while lines and bits remain; one that runs past the
    // granule's bits is dropped without a word, since encoders commonly write one.
    if (overran != nullptr) *overran = bits.position() > end_bit;
    const HuffTable& quads = kCount1Tables[g.count1_table];
    int remaining = static_cast<int>(end_bit) - static_cast<int>(bits.position());
    while (line < runs.lines && remaining > 0) {
        bits.refill();
        const uint32_t e = quads.pairs[bits.peek(kPairBits)];
        const int length = static_cast<int>(e >> 8);
        bits.drop(length);
        remaining -= length;
        if (remaining < 0) break;
        const float* v = kQuadValues.v[e & 0xFF];
        if (line + 4 <= runs.lines) {
            out.quad(v);
            line += 4;
        } else {
            for (int i = 0; i < 4 && line < runs.lines; ++i, ++line) out.one(v[i]);
        }
    }
    if (!g.short_blocks()) std::memset(xr + line, 0, (576 - line) * sizeof(float));
    return line;
}

}  // namespace mpa::l3
