// Polynomials from roots and roots from polynomials, the quadratics of root
// quartets and the grouping of a cascade's roots into sections.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <memory>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;
using Poly = std::vector<double>;

Poly multiply(const Poly& a, const Poly& b) {
    Poly c(a.size() + b.size() - 1, 0.0);
    for (size_t i = 0; i < a.size(); ++i) {
        for (size_t j = 0; j < b.size(); ++j) {
            c[i + j] += a[i] * b[j];
        }
    }
    return c;
}

std::complex<double> evaluate(const Poly& p, std::complex<double> s) {
    std::complex<double> v = 0.0;
    for (size_t k = p.size(); k-- > 0;) {
        v = v * s + p[k];
    }
    return v;
}

TEST(ConjugateCheck, ReordersEachConjugateBehindItsPartnerAndRefusesALoneComplexRoot) {
    std::vector<double> list{1, 2, 3, 0, 1, -2};
    EXPECT_EQ(ZRT_checkConjugateZeros(list.data(), 6), 1);
    EXPECT_EQ(list, (std::vector<double>{1, 2, 1, -2, 3, 0}));
    std::vector<double> lone{1, 2, 3, 0};
    EXPECT_EQ(ZRT_checkConjugateZeros(lone.data(), 4), 0);
    std::vector<double> last{3, 0, 1, 2};
    EXPECT_EQ(ZRT_checkConjugateZeros(last.data(), 4), 0);
    EXPECT_EQ(ZRT_checkConjugateZeros(nullptr, 0), 1);
}

TEST(PolyFromRoots, NormalisedFactorsOfRealComplexAndZeroRoots) {
    struct Case {
        std::vector<double> roots;
        Poly expected;
    };
    const Case cases[] = {
        {{-1, 0, -2, 0}, {1, 1.5, 0.5, 0}},
        {{-1, 1, -1, -1}, {1, 1, 0.5, 0}},
        {{0, 0, -2, 0}, {0, 1, 0.5, 0}},
        {{-1, 0, -2, 0, -4, 0}, {1, 1.75, 0.875, 0.125, 0, 0}},
    };
    for (const Case& c : cases) {
        // Exactly n coefficients: the sanitizer build catches one more.
        auto out = std::make_unique<double[]>(c.roots.size());
        computePolyFromRoots(out.get(), c.roots.data(), static_cast<int32_t>(c.roots.size()));
        EXPECT_EQ(Poly(out.get(), out.get() + c.roots.size()), c.expected);
    }
}

TEST(Eigensolve, RootsThroughTheHostRoutine) {
    TestHost host;
    ZRT_ComplexNumber roots[3];
    const double quadratic[] = {2, 3, 1, 0, 0};  // trailing zeros are dropped
    ASSERT_EQ(findPolyRootsEigensolve(quadratic, 5, roots, &host.sim, nullptr), 2);
    std::vector<double> re{roots[0].re, roots[1].re};
    std::sort(re.begin(), re.end());
    EXPECT_NEAR(re[0], -2.0, 1e-14);
    EXPECT_NEAR(re[1], -1.0, 1e-14);
    EXPECT_EQ(roots[0].im, 0.0);

    // s^2 + 1 has the roots ±j.
    const double pair[] = {1, 0, 1};
    ASSERT_EQ(findPolyRootsEigensolve(pair, 3, roots, &host.sim, nullptr), 2);
    EXPECT_NEAR(std::fabs(roots[0].im), 1.0, 1e-14);
    EXPECT_EQ(roots[0].im, -roots[1].im);

    // (s - 1)(s + 2): the unstable root is mirrored and counted.
    const double unstable[] = {-2, 1, 1};
    int32_t mirror = 1;
    ASSERT_EQ(findPolyRootsEigensolve(unstable, 3, roots, &host.sim, &mirror), 2);
    EXPECT_EQ(mirror, 1);
    EXPECT_LT(roots[0].re, 0.0);
    EXPECT_LT(roots[1].re, 0.0);
    EXPECT_NEAR(std::fabs(roots[0].re + roots[1].re), 3.0, 1e-14);

    const double constant[] = {4, 0};
    EXPECT_EQ(findPolyRootsEigensolve(constant, 2, roots, &host.sim, nullptr), 0);
    EXPECT_EQ(findPolyRootsEigensolve(quadratic, 1, roots, &host.sim, nullptr), 0);
}

void failingEigen(const char*, const char*, const int32_t*, double*, const int32_t*, double*, double*, double*,
                  const int32_t*, double*, const int32_t*, double*, const int32_t*, int32_t* info) {
    *info = 3;
}

TEST(Eigensolve, NoRootsWithoutARoutineOrWhenItFails) {
    TestHost host;
    const double unstable[] = {-2, 1, 1};
    int32_t mirror = 1;
    ZRT_LinAlgTable failing{failingEigen};
    host.sim.pLinAlg = &failing;
    EXPECT_EQ(findPolyRootsEigensolve(unstable, 3, nullptr, &host.sim, &mirror), 0);
    EXPECT_EQ(mirror, 0);
    ZRT_LinAlgTable empty{nullptr};
    host.sim.pLinAlg = &empty;
    EXPECT_EQ(findPolyRootsEigensolve(unstable, 3, nullptr, &host.sim, nullptr), 0);
    host.sim.pLinAlg = nullptr;
    EXPECT_EQ(findPolyRootsEigensolve(unstable, 3, nullptr, &host.sim, nullptr), 0);
}

TEST(Quartets, QuadraticsOfEveryShape) {
    const double e = NOT_A_VALID_POLE;
    struct Case {
        double q[4];
        double expected[3];
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, {0, 0, 1}},
        {{0, 0, e, e}, {0, 1, 0}},
        {{e, e, 0, 0}, {0, 1, 0}},
        {{0, 0, -4, 0}, {0, 1, 0.25}},
        {{e, e, e, e}, {1, 0, 0}},
        {{e, e, -2, 0}, {1, 0.5, 0}},
        {{-1, 0, -2, 0}, {1, 1.5, 0.5}},
        {{-1, 1, -1, -1}, {1, 1, 0.5}},
    };
    for (const Case& c : cases) {
        double out[3];
        convertBiquadPoleToPoly(c.q, out);
        EXPECT_EQ(std::vector<double>(out, out + 3), std::vector<double>(c.expected, c.expected + 3));
    }
}

TEST(Quartets, SectionScaleAndNumeratorGain) {
    const double e = NOT_A_VALID_POLE;
    ZRT_Biquad section{};
    double gain = 0.5;
    const double none[4] = {e, e, e, e};
    const double poles[4] = {-1, 0, -2, 0};
    ZRT_setBiquadCoeffs(&section, none, poles, &gain);
    EXPECT_DOUBLE_EQ(section.w, std::sqrt(0.5));
    EXPECT_DOUBLE_EQ(section.den[1], 2.1213203435596424);
    EXPECT_NEAR(section.den[2], 1.0, 1e-15);
    EXPECT_EQ(gain, 0.5);

    // 1 + 10s over 1 + s: the numerator's s term moves into the gain.
    const double zero[4] = {-0.1, 0, e, e};
    const double pole[4] = {-1, 0, e, e};
    gain = 1.0;
    ZRT_setBiquadCoeffs(&section, zero, pole, &gain);
    EXPECT_EQ(section.w, 1.0);
    EXPECT_NEAR(section.num[0], 0.15, 1e-15);
    EXPECT_NEAR(section.num[1], 1.5, 1e-15);
    EXPECT_EQ(section.num[2], 0.0);
    EXPECT_NEAR(gain, 20.0 / 3.0, 1e-14);
}

// The sections' product of (gain-free) quadratics, with each section's roots.
struct Grouping {
    int32_t sections;
    Poly numerator{1.0};
    Poly denominator{1.0};
};

Grouping group(const std::vector<double>& zeros, const std::vector<double>& poles, int32_t maxSections) {
    const int32_t nz = static_cast<int32_t>(zeros.size() / 2);
    const int32_t np = static_cast<int32_t>(poles.size() / 2);
    std::vector<RootInfo> z(static_cast<size_t>(nz)), p(static_cast<size_t>(np));
    initRootInfo(z.data(), zeros.data(), nz);
    initRootInfo(p.data(), poles.data(), np);
    std::vector<std::array<double, 4>> zq(static_cast<size_t>(maxSections)), pq(static_cast<size_t>(maxSections));
    Grouping g;
    g.sections = groupCascadeSections(z.data(), nz, p.data(), np, maxSections,
                                      reinterpret_cast<double(*)[4]>(zq.data()),
                                      reinterpret_cast<double(*)[4]>(pq.data()), nullptr);
    for (int32_t k = 0; k < g.sections; ++k) {
        double n[3], d[3];
        convertBiquadPoleToPoly(zq[static_cast<size_t>(k)].data(), n);
        convertBiquadPoleToPoly(pq[static_cast<size_t>(k)].data(), d);
        g.numerator = multiply(g.numerator, Poly(n, n + 3));
        g.denominator = multiply(g.denominator, Poly(d, d + 3));
    }
    return g;
}

void expectProduct(const Poly& got, const std::vector<double>& roots) {
    Poly want(roots.size() + 1, 0.0);
    computePolyFromRoots(want.data(), roots.data(), static_cast<int32_t>(roots.size()));
    for (std::complex<double> s : {std::complex<double>(0, 0.3), std::complex<double>(0, 7.0)}) {
        EXPECT_NEAR(std::abs(evaluate(got, s) / evaluate(want, s) - 1.0), 0.0, 1e-12) << s;
    }
}

TEST(CascadeGrouping, MatchedSectionsKeepEachRootOnce) {
    // Complex zeros near complex poles, a real zero near a real pole pair.
    const std::vector<double> zeros{-1, 5, -1, -5, -3, 0};
    const std::vector<double> poles{-1, 4, -1, -4, -2.5, 0, -4, 0};
    const Grouping g = group(zeros, poles, 2);
    EXPECT_EQ(g.sections, 2);
    expectProduct(g.numerator, zeros);
    expectProduct(g.denominator, poles);
}

TEST(CascadeGrouping, FallsBackWhenThePairingNeedsTooManySections) {
    // The matching leaves -1 and -10 unable to pair: three sections where
    // two are allowed. The fallback fits in two.
    const std::vector<double> zeros{-1, 5, -1, -5, -10, 5, -10, -5};
    const std::vector<double> poles{-1, 0, -10, 0, -5, 0, -5.1, 0};
    const Grouping g = group(zeros, poles, 2);
    EXPECT_EQ(g.sections, 2);
    expectProduct(g.numerator, zeros);
    expectProduct(g.denominator, poles);
    EXPECT_EQ(group(zeros, poles, 3).sections, 3);  // the pairing's own result when it fits
}

TEST(ZiPolynomial, RootsInPowersOfTheInverseVariableAndItsErrors) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    std::vector<double> list{0.5, 0.5, 0.5, -0.5};
    EXPECT_EQ(ZRT_ziConvertToPoly(list.data(), 4, &host.sim, inst.get(), "denominator", "op"), 1);
    EXPECT_EQ(list, (std::vector<double>{1, -1, 0.5, 0}));
    double one = 7.0;
    EXPECT_EQ(ZRT_ziConvertToPoly(&one, 0, &host.sim, inst.get(), "numerator", "op"), 1);
    EXPECT_EQ(one, 1.0);
    EXPECT_TRUE(host.messages.empty());

    std::vector<double> odd{0.5, 0.5, 0.5};
    EXPECT_EQ(ZRT_ziConvertToPoly(odd.data(), 3, &host.sim, inst.get(), "numerator", "op"), 0);
    std::vector<double> lone{0.5, 0.5};
    EXPECT_EQ(ZRT_ziConvertToPoly(lone.data(), 2, &host.sim, inst.get(), "denominator", "op"), 0);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].formatted, "The numerator array for operator 'op' must have even size.");
    EXPECT_EQ(host.messages[1].formatted,
              "Complex denominator coefficients must have corresponding conjugates for 'op'.");
    EXPECT_EQ(host.exitCount(), 2);
}

}  // namespace
