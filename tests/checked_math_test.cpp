// Checked division, power with derivatives, integer power and the math-check
// reports that the host receives.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "dsl/ZRT_SupportLib.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kFltMax = 3.4028234663852886e38;

// Exact equality of two doubles, the sign of zero included.
bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(RealChkDiv, ZeroDenominators) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    EXPECT_TRUE(sameBits(ZRT_RealChkDiv(0.0, 0.0, inst.get(), 1, &host.loader, 0), 0.0));
    EXPECT_TRUE(sameBits(ZRT_RealChkDiv(-0.0, -0.0, nullptr, 1, nullptr, 0), 0.0));
    // No loader: 1/FLT_MAX stands in for the denominator.
    EXPECT_EQ(ZRT_RealChkDiv(1.0, 0.0, inst.get(), 1, nullptr, 0), kFltMax);
    EXPECT_EQ(ZRT_RealChkDiv(-1.0, 0.0, inst.get(), 1, nullptr, 0), -kFltMax);
    EXPECT_EQ(ZRT_RealChkDiv(1.0, -0.0, inst.get(), 1, nullptr, 0), kFltMax);
    EXPECT_EQ(ZRT_RealChkDiv(1e-300, 0.0, nullptr, 1, nullptr, 0), 1e-300 / 2.938736052218037e-39);

    // A loader without a default for selector 13 answers 0.0: as without.
    EXPECT_EQ(ZRT_RealChkDiv(1.0, 0.0, inst.get(), 1, &host.loader, 0), kFltMax);
    host.defaults[ZRT_DEFAULT_ZERO_DENOMINATOR] = 1e-30;
    EXPECT_EQ(ZRT_RealChkDiv(2.0, 0.0, inst.get(), 1, &host.loader, 0), 2e-30);
    // A negative default flips the sign, as the host asked.
    host.defaults[ZRT_DEFAULT_ZERO_DENOMINATOR] = -0.5;
    EXPECT_EQ(ZRT_RealChkDiv(3.0, 0.0, inst.get(), 1, &host.loader, 0), -1.5);
    // The loader is asked on every x/0 with x != 0, never for 0/0 or for a
    // non-zero denominator, and the flag 0 reports nothing.
    EXPECT_EQ(host.defaultQueries,
              (std::vector<int32_t>{ZRT_DEFAULT_ZERO_DENOMINATOR, ZRT_DEFAULT_ZERO_DENOMINATOR,
                                    ZRT_DEFAULT_ZERO_DENOMINATOR}));
    EXPECT_TRUE(host.mathChecks.empty());
}

TEST(RealChkDiv, UnusableHostDefaultsKeepTheFloatLimit) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    for (double t : {kInf, -kInf, kNaN}) {
        host.defaults[ZRT_DEFAULT_ZERO_DENOMINATOR] = t;
        EXPECT_EQ(ZRT_RealChkDiv(1.0, 0.0, inst.get(), 1, &host.loader, 0), kFltMax) << t;
        // In reporting mode as well: no assertion stops the host.
        EXPECT_EQ(ZRT_RealChkDiv(-1.0, 0.0, inst.get(), 1, &host.loader, 1), -kFltMax) << t;
    }
    // A tiny stand-in is still the host's value: its reciprocal is infinite
    // and the quotient 0.0, or NaN for an infinite numerator (inf/inf).
    host.defaults[ZRT_DEFAULT_ZERO_DENOMINATOR] = 1e-310;
    EXPECT_EQ(ZRT_RealChkDiv(1.0, 0.0, inst.get(), 1, &host.loader, 0), 0.0);
    EXPECT_EQ(ZRT_RealChkDiv(-1.0, 0.0, inst.get(), 1, &host.loader, 1), 0.0);
    EXPECT_TRUE(std::isnan(ZRT_RealChkDiv(kInf, 0.0, inst.get(), 1, &host.loader, 0)));
}

TEST(RealChkDiv, InfiniteQuotientsAreClampedWithTheirOwnSign) {
    EXPECT_EQ(ZRT_RealChkDiv(1e300, 1e-300, nullptr, 1, nullptr, 0), kFltMax);
    EXPECT_EQ(ZRT_RealChkDiv(-1e300, 1e-300, nullptr, 1, nullptr, 0), -kFltMax);
    EXPECT_EQ(ZRT_RealChkDiv(1e300, -1e-300, nullptr, 1, nullptr, 0), -kFltMax);
    EXPECT_EQ(ZRT_RealChkDiv(1e300, 1e-10, nullptr, 1, nullptr, 0), kFltMax);
    EXPECT_EQ(ZRT_RealChkDiv(kInf, 2.0, nullptr, 1, nullptr, 0), kFltMax);
    EXPECT_EQ(ZRT_RealChkDiv(-kInf, 0.0, nullptr, 1, nullptr, 0), -kFltMax);
    // A finite quotient, however large, and NaN are answered unchanged.
    EXPECT_EQ(ZRT_RealChkDiv(1e300, 1e-5, nullptr, 1, nullptr, 0), 1e305);
    EXPECT_TRUE(std::isnan(ZRT_RealChkDiv(1.0, kNaN, nullptr, 1, nullptr, 0)));
    EXPECT_TRUE(std::isnan(ZRT_RealChkDiv(kInf, kInf, nullptr, 1, nullptr, 0)));
    // num * den underflows to -0.0 here, yet the quotient is -inf.
    EXPECT_EQ(-1e-10 * 1e-320, 0.0);
    EXPECT_EQ(ZRT_RealChkDiv(-1e-10, 1e-320, nullptr, 1, nullptr, 0), -kFltMax);
    EXPECT_EQ(ZRT_RealChkDiv(1e-10, -1e-320, nullptr, 1, nullptr, 0), -kFltMax);
    EXPECT_EQ(ZRT_RealChkDiv(1e-10, 1e-320, nullptr, 1, nullptr, 0), kFltMax);
}

TEST(RealChkDiv, ReportingModeReportsZeroSmallAndLargeOperands) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    host.defaults[ZRT_DEFAULT_MIN_DENOMINATOR] = 1e-20;
    host.defaults[ZRT_DEFAULT_MAX_NUMERATOR] = 1e20;

    // 0/0: code 0, then answered at once without the thresholds.
    EXPECT_EQ(ZRT_RealChkDiv(0.0, 0.0, inst.get(), 41, &host.loader, 1), 0.0);
    ASSERT_EQ(host.mathChecks.size(), 1u);
    EXPECT_EQ(host.mathChecks[0].code, ZRT_MATHCHECK_DIV_BY_ZERO);
    EXPECT_EQ(host.mathChecks[0].inst, inst.get());
    EXPECT_EQ(host.mathChecks[0].line, 41);
    EXPECT_EQ(host.mathChecks[0].word, nullptr);
    EXPECT_EQ(host.mathChecks[0].loader, &host.loader);
    EXPECT_TRUE(host.defaultQueries.empty());

    // 1/0: code 0, then 1/FLT_MAX is below the smallest denominator: code 5.
    host.clearRecords();
    EXPECT_EQ(ZRT_RealChkDiv(1.0, 0.0, inst.get(), 42, &host.loader, 1), kFltMax);
    ASSERT_EQ(host.mathChecks.size(), 2u);
    EXPECT_EQ(host.mathChecks[0].code, ZRT_MATHCHECK_DIV_BY_ZERO);
    EXPECT_EQ(host.mathChecks[1].code, ZRT_MATHCHECK_SMALL_DENOMINATOR);
    EXPECT_EQ(host.mathChecks[1].line, 42);
    EXPECT_EQ(host.defaultQueries,
              (std::vector<int32_t>{ZRT_DEFAULT_ZERO_DENOMINATOR, ZRT_DEFAULT_MIN_DENOMINATOR,
                                    ZRT_DEFAULT_MAX_NUMERATOR}));

    // A large numerator: code 6 only; the threshold compares strictly.
    host.clearRecords();
    EXPECT_EQ(ZRT_RealChkDiv(-1e21, 1.0, inst.get(), 43, &host.loader, 1), -1e21);
    EXPECT_EQ(ZRT_RealChkDiv(1e20, 1e-20, inst.get(), 44, &host.loader, 1), 1e20 / 1e-20);
    ASSERT_EQ(host.mathChecks.size(), 1u);
    EXPECT_EQ(host.mathChecks[0].code, ZRT_MATHCHECK_LARGE_NUMERATOR);
    EXPECT_EQ(host.mathChecks[0].line, 43);

    // Thresholds that are not above 0.0 are no thresholds.
    host.clearRecords();
    host.defaults[ZRT_DEFAULT_MIN_DENOMINATOR] = -1.0;
    host.defaults[ZRT_DEFAULT_MAX_NUMERATOR] = 0.0;
    ZRT_RealChkDiv(1e300, 1e-300, inst.get(), 45, &host.loader, 1);
    EXPECT_TRUE(host.mathChecks.empty());

    // Flag 0, no instance, no interface or no slot: no report.
    ZRT_RealChkDiv(1.0, 0.0, inst.get(), 46, &host.loader, 0);
    ZRT_RealChkDiv(1.0, 0.0, nullptr, 46, &host.loader, 1);
    inst->pSim = nullptr;
    ZRT_RealChkDiv(1.0, 0.0, inst.get(), 46, &host.loader, 1);
    inst->pSim = &host.sim;
    host.sim.MathCheck = nullptr;
    ZRT_RealChkDiv(1.0, 0.0, inst.get(), 46, &host.loader, 1);
    EXPECT_TRUE(host.mathChecks.empty());
}

TEST(Pow, ValuesAndDerivativesAtExactPoints) {
    double dx = -1.0;
    double dy = -1.0;
    EXPECT_EQ(ZRT_pow(-8.0, 1.0 / 3.0, &dx, &dy), 0.0);
    EXPECT_EQ(dx, 0.0);
    EXPECT_EQ(dy, 0.0);

    EXPECT_EQ(ZRT_pow(-2.0, 3.0, &dx, &dy), -8.0);
    EXPECT_EQ(dx, 12.0);
    EXPECT_EQ(dy, 0.0);

    EXPECT_EQ(ZRT_pow(4.0, 0.5, &dx, &dy), 2.0);
    EXPECT_EQ(dx, 0.25);
    EXPECT_EQ(dy, 2.772588722239781);

    EXPECT_EQ(ZRT_pow(0.0, -1.0, &dx, &dy), 0.0);
    EXPECT_EQ(ZRT_pow(0.0, 0.0, &dx, &dy), 1.0);
    EXPECT_EQ(dx, 0.0);
    EXPECT_EQ(dy, 0.0);
    EXPECT_EQ(ZRT_pow(0.0, 1.0, &dx, &dy), 0.0);
    EXPECT_EQ(dx, 1.0);
    EXPECT_EQ(ZRT_pow(0.0, 0.5, &dx, &dy), 0.0);
    EXPECT_EQ(dx, 0.0);

    // y == 1 answers x itself, also for a negative x.
    EXPECT_EQ(ZRT_pow(-3.5, 1.0, &dx, &dy), -3.5);
    EXPECT_EQ(dx, 1.0);
    EXPECT_EQ(dy, 0.0);

    // A NaN x reaches the library and gives a NaN dx.
    EXPECT_TRUE(std::isnan(ZRT_pow(kNaN, 2.0, &dx, &dy)));
    EXPECT_TRUE(std::isnan(dx));
    EXPECT_EQ(dy, 0.0);

    // Null outputs are allowed.
    EXPECT_EQ(ZRT_pow(3.0, 2.0, nullptr, nullptr), 9.0);
}

TEST(Pow, NegativeBasesNeedAnIntegralExponentIn32Bits) {
    EXPECT_EQ(ZRT_pow(-2.0, 3e9, nullptr, nullptr), 0.0);
    EXPECT_EQ(ZRT_pow(-2.0, -3e9, nullptr, nullptr), 0.0);
    EXPECT_EQ(ZRT_pow(-2.0, kNaN, nullptr, nullptr), 0.0);
    EXPECT_EQ(ZRT_pow(-2.0, kInf, nullptr, nullptr), 0.0);
    EXPECT_EQ(ZRT_pow(-1.0, 2147483647.5, nullptr, nullptr), 0.0);
    // -2147483648 itself is a 32-bit integer.
    EXPECT_EQ(ZRT_pow(-1.0, -2147483648.0, nullptr, nullptr), 1.0);
    EXPECT_EQ(ZRT_pow(-1.0, 2147483647.0, nullptr, nullptr), -1.0);
    double dx = 0.0;
    EXPECT_EQ(ZRT_pow(-2.0, -2.0, &dx, nullptr), 0.25);
    EXPECT_EQ(dx, 0.25);
}

TEST(IntPow, ExactValues) {
    EXPECT_EQ(ZRT_intPow(2.0, -3), 0.125);
    EXPECT_EQ(ZRT_intPow(1e-40, -1), 1e36);
    EXPECT_EQ(ZRT_intPow(-1e-40, -1), 1e36);
    // The stand-in base 1e36 is positive for either sign of x.
    EXPECT_EQ(ZRT_intPow(-1e-40, -2), 1e36 * 1e36);
    EXPECT_EQ(ZRT_intPow(-1e-40, -3), 1e36 * 1e36 * 1e36);
    EXPECT_EQ(ZRT_intPow(7.25, 0), 1.0);
    EXPECT_EQ(ZRT_intPow(7.25, 1), 7.25);
    EXPECT_EQ(ZRT_intPow(-3.0, 3), -27.0);
    EXPECT_EQ(ZRT_intPow(-0.5, -1), -2.0);
}

TEST(IntPow, SquaresFirstThenMultipliesInOrder) {
    volatile double v = 1.0000001234567;
    const double x = v;
    double p = x * x;  // x^2
    p = p * p;         // x^4
    p = p * p;         // x^8
    for (int i = 0; i < 5; ++i) {
        p = p * x;
    }
    EXPECT_TRUE(sameBits(ZRT_intPow(x, 13), p));
    const double inverse = 1.0 / x;
    double q = inverse * inverse;
    q = q * q;
    q = q * inverse;
    EXPECT_TRUE(sameBits(ZRT_intPow(x, -5), q));
}

TEST(IntPow, ExtremeExponentsFinishAndKeepTheSign) {
    // Exponents beyond 32 bits, and the most negative one, are taken whole.
    EXPECT_EQ(ZRT_intPow(0.5, -2147483648LL), kInf);
    EXPECT_EQ(ZRT_intPow(-2.0, 2147483647LL), -kInf);
    EXPECT_EQ(ZRT_intPow(-2.0, INT64_MIN), 0.0);
    EXPECT_EQ(ZRT_intPow(-1.0, INT64_MIN), 1.0);
    EXPECT_EQ(ZRT_intPow(-1.0, INT64_MAX), -1.0);
    EXPECT_TRUE(sameBits(ZRT_intPow(-1e-10, 2000000001), -0.0));
    EXPECT_TRUE(sameBits(ZRT_intPow(-0.0, 3), -0.0));
    EXPECT_TRUE(sameBits(ZRT_intPow(-0.0, 4), 0.0));
    EXPECT_TRUE(std::isnan(ZRT_intPow(kNaN, 1000000000)));
}

TEST(CheckPow, DomainPathsWithAndWithoutTheSlot) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    // An integral exponent of a negative base goes to the library.
    EXPECT_EQ(ZRT_checkPow(inst.get(), 5, -2.0, 3.0, &host.loader), -8.0);
    // Rounded, not truncated: 2.5 becomes 3 and is not equal to it.
    EXPECT_TRUE(std::isnan(ZRT_checkPow(inst.get(), 6, -2.0, 2.5, &host.loader)));
    ASSERT_EQ(host.mathChecks.size(), 1u);
    EXPECT_EQ(host.mathChecks[0].code, ZRT_MATHCHECK_POW_DOMAIN);
    EXPECT_EQ(host.mathChecks[0].line, 6);
    EXPECT_EQ(host.mathChecks[0].word, nullptr);
    EXPECT_EQ(host.mathChecks[0].loader, &host.loader);
    EXPECT_EQ(ZRT_checkPow(inst.get(), 7, 0.0, -1.0, &host.loader), kInf);
    EXPECT_EQ(ZRT_checkPow(inst.get(), 7, 0.0, 0.0, &host.loader), 1.0);
    EXPECT_EQ(host.mathChecks.size(), 3u);
    EXPECT_EQ(ZRT_checkPow(inst.get(), 8, 2.0, 10.0, &host.loader), 1024.0);
    EXPECT_EQ(host.mathChecks.size(), 3u);

    host.sim.MathCheck = nullptr;
    EXPECT_EQ(ZRT_checkPow(inst.get(), 6, -2.0, 2.5, &host.loader), -8.0);
    EXPECT_EQ(ZRT_checkPow(inst.get(), 6, -2.0, -1.4, &host.loader), -0.5);
    EXPECT_EQ(ZRT_checkPow(inst.get(), 7, 0.0, -1.0, &host.loader), kFltMax);
    EXPECT_EQ(ZRT_checkPow(inst.get(), 7, -0.0, 0.0, &host.loader), kFltMax);
    // A NaN or far too negative exponent saturates to -2147483648.
    EXPECT_EQ(ZRT_checkPow(inst.get(), 6, -2.0, -3e9, &host.loader), 0.0);
    EXPECT_EQ(ZRT_checkPow(inst.get(), 6, -1.0, kNaN, &host.loader), 1.0);
    EXPECT_EQ(ZRT_checkPow(nullptr, 6, -2.0, 2.5, nullptr), -8.0);
}

TEST(CheckVar, ReportsValuesThatAreNotFiniteOrTooLarge) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    const char* name = "vth";
    ZRT_CheckVar(kNaN, name, inst.get(), 10, &host.loader);
    ZRT_CheckVar(-kInf, name, inst.get(), 11, nullptr);
    ZRT_CheckVar(1e30, name, inst.get(), 12, &host.loader);  // no largest value set
    host.defaults[ZRT_DEFAULT_MAX_VALUE] = 1e30;
    ZRT_CheckVar(-1e30, name, inst.get(), 13, &host.loader);
    ZRT_CheckVar(9.9e29, name, inst.get(), 14, &host.loader);
    ASSERT_EQ(host.mathChecks.size(), 3u);
    EXPECT_EQ(host.mathChecks[0].code, ZRT_MATHCHECK_NOT_FINITE);
    EXPECT_EQ(host.mathChecks[0].word, name);
    EXPECT_EQ(host.mathChecks[1].code, ZRT_MATHCHECK_NOT_FINITE);
    EXPECT_EQ(host.mathChecks[1].loader, nullptr);
    EXPECT_EQ(host.mathChecks[2].code, ZRT_MATHCHECK_LARGE_VALUE);
    EXPECT_EQ(host.mathChecks[2].line, 13);
    EXPECT_EQ(host.mathChecks[2].word, name);
    // Without the slot nothing is asked or reported.
    host.clearRecords();
    host.sim.MathCheck = nullptr;
    ZRT_CheckVar(kNaN, name, inst.get(), 15, &host.loader);
    ZRT_CheckVar(2e30, name, inst.get(), 15, &host.loader);
    EXPECT_TRUE(host.defaultQueries.empty());
}

TEST(DomainErrors, ReportAndAnswerTheirStandIns) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    EXPECT_EQ(ZRT_LogDomainErr(-1.0, inst.get(), 20, &host.loader), -kFltMax);
    EXPECT_EQ(ZRT_Log10DomainErr(kNaN, inst.get(), 21, &host.loader), -kFltMax);
    EXPECT_EQ(ZRT_SqrtDomainErr(-6.25, inst.get(), 22, &host.loader), 6.25);
    EXPECT_EQ(ZRT_IntDivByZero(0, inst.get(), 23, &host.loader, 1), 1);
    EXPECT_EQ(ZRT_IntDivByZero(-7, inst.get(), 24, &host.loader, 0), -50000);
    EXPECT_EQ(ZRT_IntDivByZero(3, inst.get(), 25, nullptr, 1), 50000);
    int word = 0;
    ZRT_DebugReport(inst.get(), 26, 99, &word, nullptr);
    ASSERT_EQ(host.mathChecks.size(), 5u);
    const int32_t codes[] = {1, 2, 4, 0, 99};
    const int32_t lines[] = {20, 21, 22, 23, 26};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(host.mathChecks[i].code, codes[i]);
        EXPECT_EQ(host.mathChecks[i].line, lines[i]);
        EXPECT_EQ(host.mathChecks[i].inst, inst.get());
    }
    EXPECT_EQ(host.mathChecks[0].loader, &host.loader);
    EXPECT_EQ(host.mathChecks[3].word, nullptr);
    EXPECT_EQ(host.mathChecks[4].word, &word);
    EXPECT_EQ(host.mathChecks[4].loader, nullptr);

    host.clearRecords();
    host.sim.MathCheck = nullptr;
    EXPECT_EQ(ZRT_SqrtDomainErr(-4.0, inst.get(), 22, &host.loader), 4.0);
    EXPECT_EQ(ZRT_IntDivByZero(-7, inst.get(), 24, &host.loader, 1), -50000);
    ZRT_DebugReport(inst.get(), 26, 3, nullptr, nullptr);
    EXPECT_EQ(ZRT_LogDomainErr(0.0, nullptr, 20, nullptr), -kFltMax);
}

TEST(HypotDeriv, LegOverHypotenuse) {
    EXPECT_EQ(ZRT_hypotDeriv(3.0, 5.0), 0.6);
    EXPECT_EQ(ZRT_hypotDeriv(3.0, 0.0), 1.0);
    EXPECT_EQ(ZRT_hypotDeriv(3.0, -2.0), 1.0);
}

}  // namespace
