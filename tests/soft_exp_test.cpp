// The hard-capped and soft exponentials and the limexp descriptor.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "dsl/ZRT_SupportLib.h"
#include "rte/allocator.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kExp500 = 1.4035922178528375e217;
const double kExp300 = 1.9424263952412558e130;

// exp of the library at run time, never folded by the compiler.
double libExp(double x) {
    volatile double v = x;
    return std::exp(v);
}

TEST(ExpFP, CapsAbove500) {
    EXPECT_EQ(libExp(500.0), kExp500);
    EXPECT_EQ(ZRT_exp_FP(500.0), libExp(500.0));
    EXPECT_EQ(ZRT_exp_FP(-3.25), libExp(-3.25));
    EXPECT_EQ(ZRT_exp_FP(499.9), libExp(499.9));
    EXPECT_EQ(ZRT_exp_FP(500.0000001), kExp500);
    EXPECT_EQ(ZRT_exp_FP(1e300), kExp500);
    EXPECT_EQ(ZRT_exp_FP(kNaN), kExp500);
    EXPECT_EQ(ZRT_exp_FP(-1e300), 0.0);
}

TEST(ExpFP, DerivativeIsTheValueBelowTheCapAndZeroAbove) {
    double d = -1.0;
    EXPECT_EQ(ZRT_exp_FP_deriv(500.0, &d), kExp500);
    EXPECT_EQ(d, kExp500);
    EXPECT_EQ(ZRT_exp_FP_deriv(600.0, &d), kExp500);
    EXPECT_EQ(d, 0.0);
    d = -1.0;
    EXPECT_EQ(ZRT_exp_FP_deriv(kNaN, &d), kExp500);
    EXPECT_EQ(d, 0.0);
    // The derivative agrees with a central difference of the value.
    for (double x : {-20.0, -1.5, 0.0, 0.75, 40.0, 499.0}) {
        const double h = 1e-6;
        const double fd = (ZRT_exp_FP(x + h) - ZRT_exp_FP(x - h)) / (2.0 * h);
        const double value = ZRT_exp_FP_deriv(x, &d);
        EXPECT_EQ(value, ZRT_exp_FP(x));
        EXPECT_NEAR(d, fd, 1e-8 * d) << x;
    }
}

TEST(SoftExp, ExponentialUpToTheKneeTangentAbove) {
    double d = 0.0;
    EXPECT_EQ(libExp(300.0), kExp300);
    EXPECT_EQ(ZRT_softExp(300.0, &d), libExp(300.0));
    EXPECT_EQ(d, libExp(300.0));
    EXPECT_EQ(ZRT_softExp(301.0, &d), 3.8848527904825117e130);
    EXPECT_EQ(d, kExp300);
    // Order of evaluation: ((x + 1) - 300) * e^300.
    volatile double x = 300.1;
    EXPECT_EQ(ZRT_softExp(x, &d), ((x + 1.0) - 300.0) * kExp300);
    EXPECT_TRUE(std::isnan(ZRT_softExp(kNaN, &d)));
    EXPECT_TRUE(std::isnan(d));
}

TEST(LinExp, LimitIsTheCallersAndNaNTakesTheLine) {
    double d = 0.0;
    EXPECT_EQ(ZRT_linExp(2.0, 2.0, 100.0), libExp(2.0));
    EXPECT_EQ(ZRT_linExp(3.0, 2.0, 100.0), 200.0);
    EXPECT_EQ(ZRT_linExp_deriv(2.0, &d, 2.0, 100.0), libExp(2.0));
    EXPECT_EQ(d, libExp(2.0));
    EXPECT_EQ(ZRT_linExp_deriv(4.5, &d, 2.0, 100.0), 350.0);
    EXPECT_EQ(d, 100.0);
    EXPECT_TRUE(std::isnan(ZRT_linExp(kNaN, 2.0, 100.0)));
    EXPECT_TRUE(std::isnan(ZRT_linExp_deriv(kNaN, &d, 2.0, 100.0)));
    EXPECT_EQ(d, 100.0);
}

TEST(Limexp, DescriptorCallsThroughItsFunction) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    int word1 = 0;
    int word2 = 0;
    inst.limexps[0] = ZRT_createLimexp(inst.get(), 7, &word1, &word2);
    s_ZRT_LimexpDesc* desc = inst->limexps[0];
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(desc->inst, inst.get());
    EXPECT_EQ(desc->id, 7u);
    EXPECT_EQ(desc->word1, &word1);
    EXPECT_EQ(desc->word2, &word2);
    EXPECT_EQ(desc->reserved, nullptr);
    EXPECT_EQ(desc->deriv, 0.0);
    EXPECT_EQ(desc->fn, &ZRT_defaultSoftExp);

    EXPECT_EQ(desc->fn(1.5, desc), libExp(1.5));
    EXPECT_EQ(desc->deriv, libExp(1.5));
    EXPECT_EQ(desc->fn(302.0, desc), 3.0 * kExp300);
    EXPECT_EQ(desc->deriv, kExp300);
    EXPECT_TRUE(std::isnan(desc->fn(kNaN, desc)));
    EXPECT_TRUE(std::isnan(desc->deriv));
    EXPECT_TRUE(host.messages.empty());
}

TEST(Limexp, ExhaustedHeapAnswersNull) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    ZRT_Allocator saved = zrtAllocator();
    zrtAllocator().calloc = [](size_t, size_t) -> void* { return nullptr; };
    s_ZRT_LimexpDesc* desc = ZRT_createLimexp(inst.get(), 0, nullptr, nullptr);
    s_ZRT_LimexpDesc* orphan = ZRT_createLimexp(nullptr, 0, nullptr, nullptr);
    zrtAllocator() = saved;
    EXPECT_EQ(desc, nullptr);
    EXPECT_EQ(orphan, nullptr);
    ASSERT_EQ(host.messages.size(), 1u);  // no interface, no report
    EXPECT_EQ(host.messages[0].text, "Out of memory.");
    EXPECT_EQ(host.exitCount(), 1);
}

}  // namespace
