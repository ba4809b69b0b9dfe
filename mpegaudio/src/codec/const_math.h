// Functions for the codec's tables, computed at compile time. They evaluate in long double, so
// that a result rounded to double and then to float is the float that the run-time library's
// double result for the same double argument rounds to (tests hold them to that).
#pragma once

namespace mpa::cmath {

using ld = long double;

inline constexpr ld kLn2 = 0.693147180559945309417232121458176568L;

// e^x for |x| up to a few hundred: 2^k e^r with |r| <= ln 2 / 2 (the series then needs 18
// terms for the long double precision).
constexpr ld exp(ld x) {
    const ld kf = x / kLn2;
    const long k = static_cast<long>(kf < 0 ? kf - 0.5L : kf + 0.5L);
    const ld r = x - static_cast<ld>(k) * kLn2;
    ld term = 1.0L;
    ld sum = 1.0L;
    for (int n = 1; n < 20; ++n) {
        term *= r / n;
        sum += term;
    }
    ld scale = k < 0 ? 0.5L : 2.0L;
    for (long n = k < 0 ? -k : k; n > 0; n >>= 1, scale *= scale) {
        if (n & 1) sum *= scale;
    }
    return sum;
}

// Natural logarithm of x > 0: k ln 2 + 2 atanh((m - 1) / (m + 1)) with m = x / 2^k in
// [sqrt(1/2), sqrt(2)), where 14 terms of the series reach the long double precision.
constexpr ld log(ld x) {
    long k = 0;
    while (x >= 16.0L) {
        x /= 16.0L;
        k += 4;
    }
    while (x > 1.41421356237309504880L) {
        x /= 2.0L;
        ++k;
    }
    while (x < 0.70710678118654752440L) {
        x *= 2.0L;
        --k;
    }
    const ld z = (x - 1.0L) / (x + 1.0L);
    const ld z2 = z * z;
    ld power = z;
    ld sum = 0.0L;
    for (int n = 1; n < 30; n += 2) {
        sum += power / n;
        power *= z2;
    }
    return 2.0L * sum + static_cast<ld>(k) * kLn2;
}

// x^y for x > 0.
constexpr ld pow(ld x, ld y) {
    return exp(y * log(x));
}

constexpr ld exp2(ld x) {
    return exp(x * kLn2);
}

// Nearest integer, half-way cases away from zero, as std::round (for |x| < 2^52).
constexpr double round(double x) {
    const auto n = static_cast<long long>(x);
    const double fraction = x - static_cast<double>(n);
    return static_cast<double>(fraction >= 0.5 ? n + 1 : fraction <= -0.5 ? n - 1 : n);
}

// pi / 2 as the double nearest to it plus the rest, so that a multiple of the first part is
// exact and an argument near a multiple of pi / 2 keeps its few significant bits.
inline constexpr ld kHalfPiHigh = 1.5707963267948966;
inline constexpr ld kHalfPiLow = 6.12323399573676603586882014729198302e-17L;

// The series of sin and cos for |x| <= pi / 4.
constexpr ld sin_series(ld x) {
    ld term = x;
    ld sum = x;
    for (int n = 1; n < 16; ++n) {
        term *= -x * x / ((2 * n) * (2 * n + 1));
        sum += term;
    }
    return sum;
}

constexpr ld cos_series(ld x) {
    ld term = 1.0L;
    ld sum = 1.0L;
    for (int n = 1; n < 16; ++n) {
        term *= -x * x / ((2 * n - 1) * (2 * n));
        sum += term;
    }
    return sum;
}

// a = quadrant x pi / 2 + x with |x| <= pi / 4 (for |a| up to a few thousand).
constexpr ld reduce(ld a, long& quadrant) {
    const ld q = a / (kHalfPiHigh + kHalfPiLow);
    quadrant = static_cast<long>(q < 0 ? q - 0.5L : q + 0.5L);
    const auto k = static_cast<ld>(quadrant);
    return (a - k * kHalfPiHigh) - k * kHalfPiLow;
}

// sin(a + turn x pi / 2).
constexpr ld sin_turned(ld a, long turn) {
    long quadrant = 0;
    const ld x = reduce(a, quadrant);
    switch ((quadrant + turn) & 3) {
        case 0:
            return sin_series(x);
        case 1:
            return cos_series(x);
        case 2:
            return -sin_series(x);
        default:
            return -cos_series(x);
    }
}

constexpr ld sin(ld a) {
    return sin_turned(a, 0);
}

constexpr ld cos(ld a) {
    return sin_turned(a, 1);
}

constexpr ld sqrt(ld x) {
    if (x == 0.0L) return 0.0L;
    ld y = x < 1.0L ? 1.0L : x;
    for (int i = 0; i < 200; ++i) {
        const ld next = (y + x / y) / 2.0L;
        if (next == y) break;
        y = next;
    }
    return y;
}

// A long double result as the float that the library's double result rounds to.
constexpr float to_float(ld x) {
    return static_cast<float>(static_cast<double>(x));
}

}  // namespace mpa::cmath
