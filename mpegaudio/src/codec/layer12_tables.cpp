#include "codec/layer12_tables.h"

#include "codec/const_math.h"

namespace mpa {

namespace {

constexpr uint32_t kSteps[kQuantClasses] = {3,   5,    7,    9,    15,   31,    63,    127,  255,
                                            511, 1023, 2047, 4095, 8191, 16383, 32767, 65535};
constexpr uint32_t kBits[kQuantClasses] = {5, 7, 3, 10, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

// The three dequantised values of each code of a grouped class (3 floats per code): the
// code's base-`steps` digits, least significant first; codes beyond steps^3 - 1 give zeros.
template <uint32_t kSteps, uint32_t kCodes>
struct Degrouping {
    float v[kCodes * 3];
    constexpr Degrouping() : v{} {
        for (uint32_t c = 0; c < kCodes; ++c) {
            uint32_t digits = c;
            for (int i = 0; i < 3; ++i) {
                const bool valid = c < kSteps * kSteps * kSteps;
                const auto digit = static_cast<float>(digits % kSteps);
                v[3 * c + i] =
                    valid ? (digit - static_cast<float>(kSteps - 1) / 2) * 2.0f / static_cast<float>(kSteps)
                          : 0.0f;
                digits /= kSteps;
            }
        }
    }
};

constexpr Degrouping<3, 32> kGroup3;
constexpr Degrouping<5, 128> kGroup5;
constexpr Degrouping<9, 1024> kGroup9;

struct ClassTables {
    float sf[64];
    QuantClass classes[kQuantClasses];

    constexpr ClassTables() : sf{}, classes{} {
        // 2^(1 - i/3), as the library's exp2 gives it for the double argument.
        for (int i = 0; i < 63; ++i) sf[i] = cmath::to_float(cmath::exp2(1.0 - i / 3.0));
        sf[63] = 0.0f;
        for (unsigned i = 0; i < kQuantClasses; ++i) {
            QuantClass& q = classes[i];
            q.steps = kSteps[i];
            q.bits = kBits[i];
            q.degroup = q.steps == 3   ? kGroup3.v
                        : q.steps == 5 ? kGroup5.v
                        : q.steps == 9 ? kGroup9.v
                                       : nullptr;
            q.factor = 2.0f / static_cast<float>((1u << q.bits) - 1);
            q.offset = static_cast<float>((1u << (q.bits - 1)) - 1);
        }
    }
};

constexpr ClassTables kClassTables;

// Subband rows of the allocation tables, as class indices (0: 3 steps, 1: 5, 2: 7, 3: 9,
// 4: 15, 5: 31 ... 16: 65535).
constexpr AllocRow kRowHigh4a = {4, {0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
constexpr AllocRow kRowHigh4b = {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16}};
constexpr AllocRow kRowHigh3 = {3, {0, 1, 2, 3, 4, 5, 16}};
constexpr AllocRow kRowHigh2 = {2, {0, 1, 16}};
constexpr AllocRow kRowLow4 = {4, {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}};
constexpr AllocRow kRowLow3 = {3, {0, 1, 3, 4, 5, 6, 7}};
constexpr AllocRow kRowLsf4 = {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}};
constexpr AllocRow kRowLsf2 = {2, {0, 1, 3}};

// Rows [from, to) of `t` become `row`.
constexpr void fill(AllocTable& t, unsigned from, unsigned to, const AllocRow& row) {
    for (unsigned sb = from; sb < to; ++sb) t.rows[sb] = &row;
}

// ISO/IEC 11172-3 Tables B.2a and B.2b: 27 or 30 subbands for the higher bitrates.
constexpr AllocTable high_rate_table(unsigned sblimit) {
    AllocTable t{sblimit, {}};
    fill(t, 0, 3, kRowHigh4a);
    fill(t, 3, 11, kRowHigh4b);
    fill(t, 11, 23, kRowHigh3);
    fill(t, 23, sblimit, kRowHigh2);
    return t;
}

// Tables B.2c and B.2d: 8 or 12 subbands for 32 to 48 kbit/s per channel.
constexpr AllocTable low_rate_table(unsigned sblimit) {
    AllocTable t{sblimit, {}};
    fill(t, 0, 2, kRowLow4);
    fill(t, 2, sblimit, kRowLow3);
    return t;
}

// ISO/IEC 13818-3 Table B.1: the one table of the lower sampling frequencies.
constexpr AllocTable lsf_table() {
    AllocTable t{30, {}};
    fill(t, 0, 4, kRowLsf4);
    fill(t, 4, 11, kRowLow3);
    fill(t, 11, 30, kRowLsf2);
    return t;
}

constexpr AllocTable kTableA = high_rate_table(27);
constexpr AllocTable kTableB = high_rate_table(30);
constexpr AllocTable kTableC = low_rate_table(8);
constexpr AllocTable kTableD = low_rate_table(12);
constexpr AllocTable kTableLsf = lsf_table();

}  // namespace

const float* scale_factors() {
    return kClassTables.sf;
}

const QuantClass& quant_class(unsigned index) {
    return kClassTables.classes[index];
}

const AllocTable& layer2_alloc_table(const FrameHeader& h) {
    if (h.version != 1) return kTableLsf;
    // Bitrate index per channel; two channels at index 4 (64 kbit/s) count as index 1.
    const uint32_t per_channel =
        h.mode == 3 ? h.bitrate_index : (h.bitrate_index > 4 ? h.bitrate_index - 4 : 1);
    if (per_channel <= 2) return h.rate_index == 2 ? kTableD : kTableC;  // 32 to 48 kbit/s
    if (per_channel <= 5 || h.rate_index == 1) return kTableA;           // 56 to 80, or 48 kHz
    return kTableB;
}

}  // namespace mpa
