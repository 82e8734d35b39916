// $limit: the built-in pn-junction and FET limiters, host limiters found by
// name, the fallback to the host's default limiter, and the null paths.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(PnjLim, LimitsLargeStepsAboveVcrit) {
    uint32_t flag = 7;
    // vold + vt ln(1 + (vnew - vold) / vt)
    EXPECT_DOUBLE_EQ(ZRT_pnjLim(5.0, 0.6, 0.025, 0.6, &flag), 0.7294037433143457);
    EXPECT_EQ(flag, 1u);
    // A step below 2 vt passes.
    EXPECT_EQ(ZRT_pnjLim(0.62, 0.6, 0.025, 0.6, &flag), 0.62);
    EXPECT_EQ(flag, 0u);
    // From vold <= 0: vt ln(vnew / vt).
    EXPECT_DOUBLE_EQ(ZRT_pnjLim(1.0, 0.0, 0.025, 0.6, &flag), 0.09222198635284841);
    EXPECT_EQ(flag, 1u);
    // A large fall to just above vcrit makes the logarithm's argument negative.
    EXPECT_EQ(ZRT_pnjLim(0.7, 5.0, 0.025, 0.6, &flag), 0.6);
    EXPECT_EQ(flag, 1u);
    EXPECT_EQ(ZRT_pnjLim(kNaN, 0.6, 0.025, 0.6, &flag), 300 * 0.025);
    EXPECT_EQ(flag, 1u);
}

TEST(FetLim, EachRegionAndDirection) {
    const double vto = 0.5;  // fully on from vtox = 4.0
    // Fully on (vold 6, vtsthi 13): falls below vtox stop at vto + 2; rises are bounded.
    EXPECT_EQ(ZRT_fetLim(5.0, 6.0, vto), 5.0);
    EXPECT_EQ(ZRT_fetLim(0.0, 6.0, vto), 2.5);
    EXPECT_EQ(ZRT_fetLim(20.0, 6.0, vto), 19.0);
    // Just on (vold 1): between vto - 0.5 and vto + 4.
    EXPECT_EQ(ZRT_fetLim(10.0, 1.0, vto), 4.5);
    EXPECT_EQ(ZRT_fetLim(-5.0, 1.0, vto), 0.0);
    // Off (vold 0, vtsthi 3): falls bounded by 3, rises stop at vto + 0.5.
    EXPECT_EQ(ZRT_fetLim(-10.0, 0.0, vto), -3.0);
    EXPECT_EQ(ZRT_fetLim(2.0, 0.0, vto), 1.0);
    EXPECT_EQ(ZRT_fetLim(0.8, 0.0, vto), 0.8);
    // A NaN old value is in no region: the new value passes.
    EXPECT_EQ(ZRT_fetLim(3.0, kNaN, vto), 3.0);
}

TEST(BuiltinLimiters, KeepStateAndGiveCorrectionTerms) {
    ZRT_BuiltinLimitState pnj{};
    const double first = ZRT_callPnjLimitFunction(&pnj, 5.0, 0.025, 0.6);
    EXPECT_DOUBLE_EQ(first, 0.1324579341637009);  // from a previous output of 0
    uint32_t flag = 0;
    EXPECT_DOUBLE_EQ(ZRT_calcBuiltinLimitCorrTerm(&pnj, 2.0, &flag), (5.0 - first) * 2.0);
    EXPECT_EQ(flag, 1u);
    EXPECT_EQ(ZRT_calcBuiltinLimitCorrTerm(&pnj, 1e-100, &flag), 0.0);  // strictly above 1e-100
    EXPECT_EQ(flag, 0u);
    // The next call limits against the previous output, not the last input.
    uint32_t f = 0;
    EXPECT_EQ(ZRT_callPnjLimitFunction(&pnj, 5.0, 0.025, 0.6), ZRT_pnjLim(5.0, first, 0.025, 0.6, &f));

    ZRT_BuiltinLimitState fet{};
    EXPECT_EQ(ZRT_callFetLimitFunction(&fet, 1.0, 0.5), 1.0);  // unchanged: not limited
    EXPECT_EQ(ZRT_calcBuiltinLimitCorrTerm(&fet, 3.0, &flag), 0.0);
    EXPECT_EQ(flag, 0u);
    EXPECT_EQ(ZRT_callFetLimitFunction(&fet, 10.0, 0.5), 4.5);
    EXPECT_EQ(ZRT_calcBuiltinLimitCorrTerm(&fet, 2.0, &flag), 11.0);
    EXPECT_EQ(ZRT_callPnjLimitFunction(nullptr, 5.0, 0.025, 0.6), 5.0);
    EXPECT_EQ(ZRT_calcBuiltinLimitCorrTerm(nullptr, 2.0, &flag), 0.0);
}

// The host's limiters: "hostdef" passes everything, "clamp" bounds the new
// value by its one argument. Each call is recorded.
struct LimitCall {
    s_ZRT_DeviceInst* inst;
    double x;
    double prev;
    double arg;
};
std::vector<LimitCall> g_calls;

int32_t hostDefault(s_ZRT_DeviceInst* inst, double x, double prev, double*, double* args) {
    g_calls.push_back({inst, x, prev, args != nullptr ? args[0] : kNaN});
    return 0;
}

int32_t clamp(s_ZRT_DeviceInst* inst, double x, double prev, double* limited, double* args) {
    g_calls.push_back({inst, x, prev, args[0]});
    if (x <= args[0]) {
        return 0;
    }
    *limited = args[0];
    return 1;
}

class HostLimiter : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        host.sim.numLimitFuncs = 2;
        host.sim.limitFuncs = table;
    }
    ZRT_LimitFuncEntry table[2] = {{"hostdef", 0, hostDefault}, {"clamp", 1, clamp}};
    TestHost host;
    TestInstance inst{host, nullptr, {}};
};

TEST_F(HostLimiter, FoundByNameWithArgumentsAndPreviousOutput) {
    ZRT_LimitCallDesc* desc = ZRT_createLimitCallDesc(inst.get(), "clamp", 1);
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(ZRT_callLimitFunction(nullptr, desc, 5.0, 2.0), 2.0);
    EXPECT_EQ(ZRT_callLimitFunction(nullptr, desc, 1.5, 3.0), 1.5);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].inst, inst.get());
    EXPECT_EQ(g_calls[0].prev, 0.0);
    EXPECT_EQ(g_calls[1].prev, 2.0);
    EXPECT_EQ(g_calls[1].arg, 3.0);
    EXPECT_EQ(ZRT_calcLimitCorrTerm(desc, 0.5), 0.0);  // the last call did not limit
    EXPECT_TRUE(host.limitCorrections.empty());

    EXPECT_EQ(ZRT_callLimitFunction(nullptr, desc, 5.0, 2.0), 2.0);
    EXPECT_EQ(ZRT_calcLimitCorrTerm(desc, 0.5), 1.5);
    EXPECT_EQ(host.limitCorrections, std::vector<s_ZRT_DeviceInst*>{inst.get()});
    EXPECT_EQ(ZRT_setLimitState(3.0, 3.0, desc), 0u);
    EXPECT_EQ(ZRT_getPrevLimitVal(desc), 3.0);
    EXPECT_TRUE(host.messages.empty());
    ZRT_freeLimitCallDesc(desc);
}

TEST_F(HostLimiter, UnknownNameFallsBackWithWarningsOncePerInstance) {
    ZRT_LimitCallDesc* desc = ZRT_createLimitCallDesc(inst.get(), "lim%d", 2);
    ASSERT_NE(desc, nullptr);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_WARNING);
    // The host reads the text as a format: the '%' of the name reaches it doubled.
    EXPECT_EQ(host.messages[0].formatted,
              "\nIn $limit(), The specified limit function 'lim%d' is not supported. The simulator default limit "
              "function will be used.");
    EXPECT_NE(host.messages[0].text.find("'lim%%d'"), std::string::npos);
    EXPECT_EQ(host.messages[1].formatted,
              "\nIn $limit(), the default limiter will ignore arguments intended for the unsupported limiter "
              "'lim%d'.");
    // The default limiter gets no arguments.
    EXPECT_EQ(ZRT_callLimitFunction(nullptr, desc, 4.0, 1.0, 2.0), 4.0);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_TRUE(std::isnan(g_calls[0].arg));

    ZRT_LimitCallDesc* again = ZRT_createLimitCallDesc(inst.get(), "lim%d", 2);
    EXPECT_EQ(host.messages.size(), 2u);
    TestInstance other(host, nullptr, {}, "x2");
    ZRT_LimitCallDesc* third = ZRT_createLimitCallDesc(other.get(), "lim%d", 0);
    EXPECT_EQ(host.messages.size(), 3u);
    for (ZRT_LimitCallDesc* d : {desc, again, third}) {
        ZRT_freeLimitCallDesc(d);
    }
}

TEST_F(HostLimiter, FailedCreationAnswersNullAndNullDescriptorsAreSafe) {
    EXPECT_EQ(ZRT_createLimitCallDesc(inst.get(), "clamp", 2), nullptr);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_ERROR);
    EXPECT_EQ(host.messages[0].formatted,
              "\nIn $limit(), incorrect argument count. Limiter 'clamp' accepts 1 arguments. 2 given.");
    EXPECT_EQ(host.exitCount(), 1);
    {
        testhost::LimitedHeap heap(1);  // the descriptor, not its arguments
        EXPECT_EQ(ZRT_createLimitCallDesc(inst.get(), "clamp", 1), nullptr);
        EXPECT_EQ(host.exitCount(), 2);
    }
    EXPECT_EQ(ZRT_createLimitCallDesc(nullptr, "clamp", 1), nullptr);
    // The model goes on with the null descriptor.
    EXPECT_EQ(ZRT_callLimitFunction(nullptr, nullptr, 5.0, 1.0, 2.0), 5.0);
    EXPECT_EQ(ZRT_getPrevLimitVal(nullptr), 0.0);
    EXPECT_EQ(ZRT_calcLimitCorrTerm(nullptr, 1.0), 0.0);
    EXPECT_EQ(ZRT_setLimitState(1.0, 2.0, nullptr), 1u);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(HostLimiter, NoLimiterEntryPassesValuesAndKeepsThem) {
    // Without a name, and for an unknown name with an empty table.
    ZRT_LimitCallDesc* unnamed = ZRT_createLimitCallDesc(inst.get(), nullptr, 0);
    host.sim.numLimitFuncs = 0;
    ZRT_LimitCallDesc* unknown = ZRT_createLimitCallDesc(inst.get(), "nolim", 0);
    for (ZRT_LimitCallDesc* desc : {unnamed, unknown}) {
        ASSERT_NE(desc, nullptr);
        EXPECT_EQ(ZRT_callLimitFunction(nullptr, desc, 7.0), 7.0);
        EXPECT_EQ(ZRT_getPrevLimitVal(desc), 7.0);
        EXPECT_EQ(ZRT_calcLimitCorrTerm(desc, 1.0), 0.0);
        // A state the model sets itself gives a correction, but no report.
        EXPECT_EQ(ZRT_setLimitState(7.0, 5.0, desc), 1u);
        EXPECT_EQ(ZRT_calcLimitCorrTerm(desc, 1.0), 2.0);
        ZRT_freeLimitCallDesc(desc);
    }
    EXPECT_TRUE(g_calls.empty());
    EXPECT_TRUE(host.limitCorrections.empty());
    EXPECT_DEATH(ZRT_createLimitCallDesc(inst.get(), nullptr, 1), "nArgs == 0");
}

}  // namespace
