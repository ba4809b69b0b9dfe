// The codec's tables are computed at compile time; each value must be the float that the
// run-time library gives for the same argument, as when the tables were built at start-up.
#include "codec/const_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "codec/layer3_tables.h"

namespace mpa::test {
namespace {

TEST(CompileTimeMath, RoundsLikeTheLibraryOnEveryTableArgument) {
    const double pi = std::numbers::pi;
    int mismatches = 0;
    auto expect = [&](float library, long double ours, const char* what, double arg) {
        if (library == cmath::to_float(ours)) return;
        if (++mismatches <= 10) ADD_FAILURE() << what << "(" << arg << ")";
    };
    for (int k = 0; k < 16; ++k) {  // synthesis cosines
        for (int m = 0; m < 32; ++m) {
            const double a = (2 * k + 1) * m * pi / 64;
            expect(static_cast<float>(std::cos(a)), cmath::cos(a), "cos", a);
        }
    }
    auto both = [&](double a) {
        expect(static_cast<float>(std::cos(a)), cmath::cos(a), "cos", a);
        expect(static_cast<float>(std::sin(a)), cmath::sin(a), "sin", a);
    };
    for (int n = 0; n < 9; ++n) {  // hybrid twiddles
        both(pi * (n + 0.25) / 18);
        both(pi * n / 18);
        both(2 * pi * (n % 3) * (n / 3) / 9);
    }
    for (int i = 0; i < 36; ++i) both(pi / 36 * (i + 0.5));  // windows
    for (int i = 0; i < 12; ++i) both(pi / 12 * (i + 0.5));
    for (int j = 0; j < 36; ++j) both(pi / 24 * (2 * (j % 6) + 1) * (2 * (j / 6) + 1));  // 6-point IMDCT
    for (int pos = 0; pos < 7; ++pos) both(pos * pi / 12);  // MPEG-1 intensity ratios
    for (const double c : {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037}) {
        const double x = 1.0 + c * c;
        expect(static_cast<float>(1.0 / std::sqrt(x)), 1.0 / static_cast<double>(cmath::sqrt(x)), "sqrt", x);
    }
    for (int e = -255 - 210; e <= 256 - 210; ++e)  // Layer III gains
        expect(static_cast<float>(std::exp2(e / 4.0)), cmath::exp2(e / 4.0), "exp2", e / 4.0);
    for (int i = 0; i < 63; ++i)  // Layer I and II scale factors
        expect(static_cast<float>(std::exp2(1.0 - i / 3.0)), cmath::exp2(1.0 - i / 3.0), "exp2",
               1.0 - i / 3.0);
    const double io = std::exp2(-0.25);
    EXPECT_EQ(io, static_cast<double>(cmath::exp2(-0.25)));
    for (int n = 0; n <= 15; ++n) {  // MPEG-2 intensity ratios
        expect(static_cast<float>(std::pow(io, n)), cmath::pow(io, n), "pow", n);
        expect(static_cast<float>(std::pow(std::numbers::sqrt2 / 2, n)),
               cmath::pow(std::numbers::sqrt2 / 2, n), "pow", n);
    }
    const l3::RequantTables& t = l3::requant_tables();
    for (int i = 0; i < l3::RequantTables::kPowCount; ++i) {
        if (t.pow43[i] != static_cast<float>(std::pow(static_cast<double>(i), 4.0 / 3.0)) &&
            ++mismatches <= 10)
            ADD_FAILURE() << "pow43[" << i << "]";
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace mpa::test
