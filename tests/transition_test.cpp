// The transition operator driven as a compiled model drives it: set argument
// on every evaluation, accept at accepted time points, on the test host.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

constexpr double kT0 = 1e-6;
constexpr double kTd = 1e-9;
constexpr double kRise = 1e-9;

class TransitionTest : public ::testing::Test {
protected:
    TransitionTest() : inst(host, &md, {}) {}
    ~TransitionTest() override { ZRT_destroyOpBranch_transition(op); }

    void create(double defaultTime = 0.0) {
        op = ZRT_createOpBranch_transition("_optransition3", inst.get(), defaultTime);
        ASSERT_NE(op, nullptr);
    }
    // One evaluation at time t; answers the output.
    double eval(double t, double x, double td = kTd, double rise = kRise, double fall = kRise) {
        host.time = t;
        ZRT_transitionSetArg(op, x, td, rise, fall, 0.0, &host.loader);
        return op->output;
    }
    // An evaluation and an accepted point at time t.
    double step(double t, double x, double td = kTd, double rise = kRise, double fall = kRise) {
        const double out = eval(t, x, td, rise, fall);
        ZRT_transitionAcceptTimePoint(op, &host.loader);
        return out;
    }
    int pendingEvents() const {
        int n = 0;
        for (auto* e = spec()->_pPendingFirst; e != nullptr; e = e->_pNext) {
            ++n;
            if (e == spec()->_pPendingLast) {
                break;
            }
        }
        return n;
    }
    ZRT_TransitionSpec* spec() const { return op->spec; }

    TestHost host;
    s_ZRT_ModuleDesc md{};
    TestInstance inst;
    ZRT_OpBranch_transition* op = nullptr;
};

TEST_F(TransitionTest, StepIsDelayedThenRampsWithStepBounds) {
    create();
    EXPECT_EQ(spec()->head.opStateType, ZRT_TRANSITION_SPEC);
    EXPECT_EQ(step(0.0, 0.0), 0.0);
    EXPECT_EQ(op->derivative, 1.0);  // initial point: the output is the input
    EXPECT_EQ(step(kT0, 1.0), 0.0);
    ASSERT_EQ(host.boundSteps.size(), 1u);
    EXPECT_NEAR(host.boundSteps[0].step, kTd, 1e-21);
    EXPECT_EQ(host.boundSteps[0].reason, 3);

    EXPECT_EQ(eval(kT0 + 0.5e-9, 1.0), 0.0);
    EXPECT_EQ(op->derivative, 0.0);
    EXPECT_EQ(step(kT0 + 1e-9, 1.0), 0.0);  // the transition starts here
    ASSERT_EQ(host.boundSteps.size(), 2u);
    EXPECT_NEAR(host.boundSteps[1].step, kRise, 1e-21);
    EXPECT_EQ(host.boundSteps[1].reason, 1);
    EXPECT_NEAR(step(kT0 + 1.5e-9, 1.0), 0.5, 1e-6);
    ASSERT_EQ(host.boundSteps.size(), 3u);
    EXPECT_NEAR(host.boundSteps[2].step, 0.5e-9, 1e-21);
    EXPECT_EQ(host.boundSteps[2].reason, 2);
    EXPECT_NEAR(eval(kT0 + 1.75e-9, 1.0), 0.75, 1e-6);
    EXPECT_EQ(eval(kT0 + 2.5e-9, 1.0), 1.0);  // never past the end value
    EXPECT_EQ(step(kT0 + 3e-9, 1.0), 1.0);
    EXPECT_EQ(spec()->_startTime, -1.0);  // cleared once passed
}

TEST_F(TransitionTest, ReversalMidRampFallsAtTheFullSwingSlope) {
    create();
    step(0.0, 0.0);
    step(kT0, 1.0);
    step(kT0 + 1e-9, 1.0);
    const double t = kT0 + 1.5e-9;
    EXPECT_NEAR(step(t, 0.0, 0.0), 0.5, 1e-6);  // retargeted at once (no delay)
    EXPECT_NEAR(spec()->_stopTime - t, 0.5 * kRise, 1e-21);
    EXPECT_NEAR(eval(t + 0.25e-9, 0.0, 0.0), 0.25, 1e-6);
    EXPECT_EQ(eval(t + 0.6e-9, 0.0, 0.0), 0.0);
}

TEST_F(TransitionTest, EarlierChangeDropsALaterPendingOne) {
    create();
    step(0.0, 0.0);
    step(1.0, 1.0, 10.0, 0.1, 0.1);  // due at 11
    step(1.5, 2.0, 0.5, 0.1, 0.1);   // due at 2: replaces the one at 11
    EXPECT_EQ(pendingEvents(), 1);
    EXPECT_EQ(host.boundSteps.back().reason, 3);
    EXPECT_DOUBLE_EQ(host.boundSteps.back().step, 0.5);
    step(2.0, 2.0, 0.5, 0.1, 0.1);
    EXPECT_EQ(pendingEvents(), 0);
    EXPECT_NE(spec()->spareEvent, nullptr);  // with the dropped node behind it
    EXPECT_NEAR(eval(2.05, 2.0, 0.5, 0.1, 0.1), 1.0, 1e-12);
    step(3.0, 2.0, 0.5, 0.1, 0.1);
    host.boundSteps.clear();
    EXPECT_EQ(step(11.0, 2.0, 0.5, 0.1, 0.1), 2.0);
    EXPECT_EQ(step(12.0, 2.0, 0.5, 0.1, 0.1), 2.0);
    EXPECT_TRUE(host.boundSteps.empty());
}

TEST_F(TransitionTest, TimesFromTheMinimumStepBoundOnlyEventStarts) {
    host.setMinStep(1e-12);
    create();
    step(0.0, 0.0, kTd, 0.0, -1.0);
    EXPECT_DOUBLE_EQ(spec()->riseTime, 1e-11);
    EXPECT_DOUBLE_EQ(spec()->fallTime, 1e-11);
    EXPECT_EQ(spec()->minStepFlag, 1u);
    step(kT0, 1.0, kTd, 0.0, 0.0);
    step(kT0 + kTd, 1.0, kTd, 0.0, 0.0);
    EXPECT_NEAR(eval(kT0 + kTd + 0.5e-11, 1.0, kTd, 0.0, 0.0), 0.5, 1e-3);
    ASSERT_EQ(host.boundSteps.size(), 1u);
    EXPECT_EQ(host.boundSteps[0].reason, 3);

    // Delays below the minimum step snap to 0 or to it.
    eval(kT0, 1.0, 0.3e-12);
    EXPECT_EQ(spec()->delay, 0.0);
    eval(kT0, 1.0, 0.7e-12);
    EXPECT_EQ(spec()->delay, 1e-12);
}

TEST_F(TransitionTest, ZeroDelayAndZeroRiseFollowTheInputAtOnce) {
    create();  // no GetMinStep, no default time: a rise of 0 stays 0
    step(0.0, 0.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(eval(1.0, 1.0, 0.0, 0.0, 0.0), 1.0);
    EXPECT_EQ(op->derivative, 1.0);
    EXPECT_EQ(eval(1.0, 1.0, 0.0, 0.0, 0.0), 1.0);
    // Downward with a fall time: not immediate.
    step(1.0, 1.0, 0.0, 0.0, 0.5);
    EXPECT_EQ(eval(2.0, 0.0, 0.0, 0.0, 0.5), 1.0);
    EXPECT_EQ(op->derivative, 0.0);
}

TEST_F(TransitionTest, ChangeToleranceTightensWhileTheInputIsSteady) {
    for (int n = 0; n <= 3; ++n) {
        create();
        step(0.0, 1.0);
        for (int i = 1; i <= n; ++i) {
            step(i, 1.0);
        }
        step(n + 1, 1.0 + 5e-10);
        EXPECT_EQ(pendingEvents(), n >= 2 ? 1 : 0) << n;
        ZRT_destroyOpBranch_transition(op);
        op = nullptr;
    }
    create();  // without a delay the tolerance is 1e-10 from the start
    step(0.0, 1.0, 0.0);
    step(1.0, 1.0 + 5e-10, 0.0);
    EXPECT_EQ(spec()->lastChangeTarget, 1.0 + 5e-10);
}

TEST_F(TransitionTest, SlowDriftIsASmallChange) {
    create();
    step(0.0, 1.0);
    double x = 1.0;
    int accepts = 0;
    while (pendingEvents() == 0 && accepts < 3000) {
        x += 1e-7;  // below the per-step threshold of about 2e-7
        step(++accepts, x);
    }
    EXPECT_GT(accepts, 1000);
    EXPECT_EQ(spec()->changeKind, ZRT_TRANSITION_SMALL_CHANGE);
}

TEST_F(TransitionTest, TimeGoingBackShiftsTheTransitionAndNaNDelayIsZero) {
    create();
    step(0.0, 0.0);
    step(5.0, 0.0);
    eval(4.0, 0.0);  // nothing pending: no event to move
    EXPECT_EQ(spec()->lastAcceptedTime, 4.0);
    step(5.0, 1.0, 10.0, 0.1, 0.1);  // due at 15
    eval(4.5, 1.0, 10.0, 0.1, 0.1);
    EXPECT_EQ(spec()->_pPendingFirst->_evtStartTime, 14.5);
    step(6.0, 2.0, NAN, 0.1, 0.1);  // starts now, ahead of the pending one
    EXPECT_EQ(spec()->delay, 0.0);
    EXPECT_EQ(spec()->endValue, 2.0);
    EXPECT_EQ(pendingEvents(), 0);
}

TEST_F(TransitionTest, DisableParameterHoldsTheOutputAtTheInput) {
    host.setSimParam(ZRT_TRANSITION_DISABLE_PARAM, 1.0);
    create();
    step(0.0, 0.0);
    EXPECT_EQ(step(1.0, 1.0), 1.0);
    EXPECT_EQ(op->derivative, 1.0);
    EXPECT_EQ(pendingEvents(), 0);
    host.setSimParam(ZRT_TRANSITION_DISABLE_PARAM, NAN);
    EXPECT_EQ(eval(2.0, 2.0), 2.0);
    host.setSimParam(ZRT_TRANSITION_DISABLE_PARAM, -0.5);  // truncates to 0: enabled
    EXPECT_EQ(eval(2.0, 2.0), 1.0);
}

TEST_F(TransitionTest, PseudoTransientFilterFollowsTheFactor) {
    host.setSimParam(ZRT_PSEUDOTRAN_TAU_PARAM, 0.1);
    host.setSimParam(ZRT_PSEUDOTRAN_FACTOR_PARAM, 0.0);
    create();
    EXPECT_EQ(eval(0.0, 1.0, 0.0, 0.0, 0.0), 1.0);
    host.setSimParam(ZRT_PSEUDOTRAN_FACTOR_PARAM, 0.5);
    EXPECT_DOUBLE_EQ(eval(0.0, 1.0, 0.0, 0.0, 0.0), 0.9932620530009145);
    EXPECT_DOUBLE_EQ(op->derivative, 0.9932620530009145);
    host.setSimParam(ZRT_PSEUDOTRAN_TAU_PARAM, 1000.0);
    host.setSimParam(ZRT_PSEUDOTRAN_FACTOR_PARAM, 0.75);
    EXPECT_EQ(eval(0.0, 1.0, 0.0, 0.0, 0.0), 0.75);
    EXPECT_EQ(op->derivative, 0.75);
}

TEST_F(TransitionTest, CloneIsIndependentAndResetStartsOver) {
    create();
    step(0.0, 0.0);
    step(1.0, 1.0, 10.0, 0.1, 0.1);  // due at 11
    step(2.0, 2.0, 10.0, 0.1, 0.1);  // due at 12
    step(3.0, 3.0, 0.5, 0.1, 0.1);   // due at 3.5: the two others become free nodes
    ZRT_setTransitionCustomInfo(spec(), 0x77);
    ZRT_OpBranch_transition* clone = ZRT_OpClone_transition(op, inst.get());
    ASSERT_NE(clone, nullptr);
    ASSERT_NE(clone->spec, spec());
    EXPECT_EQ(ZRT_getTransitionCustomInfo(clone->spec), 0x77u);
    EXPECT_EQ(clone->spec->_pPendingLast, clone->spec->_pPendingFirst);
    ASSERT_NE(clone->spec->_pPendingFirst, nullptr);
    EXPECT_NE(clone->spec->_pPendingFirst, spec()->_pPendingFirst);
    ASSERT_NE(clone->spec->_pPendingFirst->_pNext, nullptr);  // free nodes copied too
    EXPECT_EQ(clone->spec->spareEvent, nullptr);

    ZRT_GenericOperatorState* saved = ZRT_transitionSaveState(op);
    ZRT_transitionReset(op);
    EXPECT_EQ(spec()->_pPendingFirst, nullptr);
    EXPECT_EQ(spec()->lastAcceptedTime, -1.0);
    ZRT_transitionRestoreState(op, saved);
    EXPECT_EQ(spec()->_pPendingFirst->_evtStartTime, 3.5);
    releaseOperatorState(saved);

    ZRT_destroyOpBranch_transition(op);
    op = clone;
    step(4.0, 3.0, 0.5, 0.1, 0.1);  // the clone's pending event starts
    EXPECT_EQ(eval(4.5, 3.0, 0.5, 0.1, 0.1), 3.0);
}

}  // namespace
