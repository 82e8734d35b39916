// The slew operator: rate limits between accepted points, repeatable
// evaluations, reset and clone.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dsl/ZRT_SupportLib.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

class SlewTest : public ::testing::Test {
protected:
    SlewTest() : inst(host, &md, {}) { op = ZRT_createOpBranch_slew("_slew1", inst.get()); }
    ~SlewTest() override { ZRT_destroyOpBranch_slew(op); }

    // Accept x at t, then evaluate y at t + dt with the rates.
    void step(double x, double y, double dt, double rise, double fall) {
        host.time = 0.0;
        ZRT_slewSetArg(op, x, rise, fall, &host.loader);
        ZRT_slewAcceptTimePoint(op);
        host.time = dt;
        ZRT_slewSetArg(op, y, rise, fall, &host.loader);
    }

    TestHost host;
    s_ZRT_ModuleDesc md{};
    TestInstance inst;
    ZRT_OpBranch_slew* op = nullptr;
};

TEST_F(SlewTest, RisingAndFallingLimits) {
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->spec->head.opStateType, ZRT_SLEW_SPEC);
    EXPECT_EQ(op->spec->prevTime, -1.0);

    host.time = 0.0;
    ZRT_slewSetArg(op, 0.75, 1.0, -1.0, &host.loader);
    EXPECT_EQ(op->output, 0.75);  // at time 0 the input passes
    EXPECT_EQ(op->deriv, 1.0);

    step(0.0, 1.0, 1e-10, 1e9, -1e9);
    EXPECT_NEAR(op->output, 0.1, 1e-15);
    EXPECT_EQ(op->deriv, 0.0);
    step(0.0, 1.0, 1e-10, 0.0, -1e9);  // no rising limit
    EXPECT_EQ(op->output, 1.0);
    EXPECT_EQ(op->deriv, 1.0);
    step(1.0, 0.0, 1e-10, 1e9, -1e9);
    EXPECT_NEAR(op->output, 0.9, 1e-15);
    step(1.0, 0.0, 1e-10, 1e9, 1e9);  // a positive falling rate is no limit
    EXPECT_EQ(op->output, 0.0);
    step(0.0, 0.5, 1.0, 1.0, -1.0);  // within the rate
    EXPECT_EQ(op->output, 0.5);
}

TEST_F(SlewTest, EvaluationsAtOneTimeAgreeAndTheStepIsBounded) {
    step(0.0, 1.0, 1e-10, 1e9, -1e9);
    const double first = op->output;
    ZRT_slewSetArg(op, 1.0, 1e9, -1e9, &host.loader);
    EXPECT_EQ(op->output, first);

    // Accepted at t = 2; evaluated again at t = 2: dt = 2e-15.
    host.time = 2.0;
    ZRT_slewSetArg(op, 0.0, 1e9, -1e9, &host.loader);
    ZRT_slewAcceptTimePoint(op);
    ZRT_slewSetArg(op, 1.0, 1e9, -1e9, &host.loader);
    EXPECT_EQ(op->output, 0.0 + 2.0 * 1e-15 * 1e9);
    EXPECT_EQ(op->deriv, 0.0);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    ZRT_slewSetArg(op, nan, 1e9, -1e9, &host.loader);  // neither test holds: the input passes
    EXPECT_TRUE(std::isnan(op->output));
}

TEST_F(SlewTest, ResetAndCloneOwnTheirSpecs) {
    step(0.0, 1.0, 1e-10, 1e9, -1e9);
    TestInstance other(host, &md, {}, "x2");
    ZRT_OpBranch_slew* copy = ZRT_OpClone_slew(op, other.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->inst, other.get());
    ASSERT_NE(copy->spec, op->spec);
    EXPECT_EQ(copy->spec->presentOutput, op->spec->presentOutput);

    ZRT_slewReset(op);
    EXPECT_EQ(op->spec->prevTime, -1.0);
    EXPECT_EQ(copy->spec->prevTime, 0.0);
    ZRT_slewAcceptTimePoint(copy);
    EXPECT_EQ(copy->spec->prevOutput, op->output);
    ZRT_destroyOpBranch_slew(copy);

    {
        testhost::LimitedHeap heap(1);  // the record but not its state record
        EXPECT_EQ(ZRT_createOpBranch_slew("_slew2", inst.get()), nullptr);
        EXPECT_EQ(ZRT_OpClone_slew(op, other.get()), nullptr);
        ZRT_slewReset(op);  // no state record now: the input passes
    }
    host.time = 1.0;
    ZRT_slewSetArg(op, 5.0, 1.0, -1.0, &host.loader);
    EXPECT_EQ(op->output, 5.0);
    ZRT_slewAcceptTimePoint(op);
    ZRT_slewReset(op);
    ASSERT_NE(op->spec, nullptr);
}

}  // namespace
