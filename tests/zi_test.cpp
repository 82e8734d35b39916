// The z-transform operators driven as a compiled model drives them: set
// argument on every evaluation, the sampling at accepted time points, the
// output seen by the host through LoadZ_Transform.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <memory>
#include <string>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "rte/arrays.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

constexpr double kT = 1e-3;
constexpr double kRise = 1e-5;

struct ZRecord {
    void* op;
    ZRT_Handle handle;
    double value;
};
std::vector<ZRecord> g_zLoads;
std::vector<ZRecord> g_zDerivs;

void loadZ(void* op, ZRT_Handle handle, double value, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    g_zLoads.push_back({op, handle, value});
}
void loadZDwrt(void* op, ZRT_Handle word, double value, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    g_zDerivs.push_back({op, word, value});
}

// The host's digital signal, element by index.
std::vector<double> g_digital;
double digitalElement(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader*, int32_t, int32_t, int32_t, int32_t n, ...) {
    va_list args;
    va_start(args, n);
    const auto index = static_cast<size_t>(va_arg(args, int32_t));
    va_end(args);
    return index < g_digital.size() ? g_digital[index] : 0.0;
}

using ArrayPtr = std::unique_ptr<s_ZRT_Array, decltype(&ZRT_freeArray)>;

ArrayPtr realArray(TestHost& host, const std::vector<double>& values, bool variable = false) {
    s_ZRT_Array* a = variable ? ZRT_createArrayVar(ZRT_REAL_ARRAY, "v", &host.sim)
                              : ZRT_createArray(ZRT_REAL_ARRAY, "p", &host.sim);
    const auto n = static_cast<int32_t>(values.size());
    ZRT_setArrayBounds(a, 0, n > 0 ? n - 1 : 0);
    ZRT_initRealArray(a, 0);
    a->_dataLen = n;
    for (int32_t i = 0; i < n; ++i) {
        static_cast<double*>(a->data)[i] = values[static_cast<size_t>(i)];
    }
    return ArrayPtr(a, ZRT_freeArray);
}

class ZiTest : public ::testing::Test {
protected:
    ZiTest() : inst(host, &md, {}) {
        g_zLoads.clear();
        g_zDerivs.clear();
        host.loader.LoadZ_Transform = loadZ;
        host.loader.LoadZ_Transform_dwrt = loadZDwrt;
    }
    ~ZiTest() override { ZRT_destroyOpBranch_zi(op); }

    void create(s_ZRT_Array* numer, s_ZRT_Array* denom, int32_t numerRoots = 0, int32_t denomRoots = 0) {
        op = ZRT_createOpBranch_zi("zi1", inst.get(), numerRoots, denomRoots, kRise);
        ASSERT_NE(op, nullptr);
        ZRT_ziInitArrayArg(op, numer, denom);
        ZRT_ziFinalizeTopology(op, nullptr);
        ZRT_ziSetStamp(op, nullptr);
    }
    // One evaluation and an accepted point at t; answers the filter output.
    double step(double t, double x, double t0 = 0.0, ZRT_OpBranch_zi* pOp = nullptr) {
        pOp = pOp != nullptr ? pOp : op;
        host.time = t;
        ZRT_ziSetArg(pOp, x, kT, kRise, t0, &host.loader);
        ZRT_ziAcceptTimePoint(pOp, &host.loader);
        return pOp->output;
    }
    // The last step bound requested for a sample time.
    double sampleBound() const {
        for (auto it = host.boundSteps.rbegin(); it != host.boundSteps.rend(); ++it) {
            if (it->reason == 4) {
                return it->step;
            }
        }
        return -1.0;
    }
    // What the host is handed at an evaluation at t.
    double seen(double t, double x) {
        host.time = t;
        ZRT_ziSetArg(op, x, kT, kRise, 0.0, &host.loader);
        return g_zLoads.back().value;
    }

    TestHost host;
    s_ZRT_ModuleDesc md{};
    TestInstance inst;
    ZRT_OpBranch_zi* op = nullptr;
};

// (1 - 0.25 z^-1) / (1 - 0.5 z^-1) in each of the four forms, on a known
// input sequence: the host sees each output once the transition is over,
// halfway there in the middle of it.
TEST_F(ZiTest, EachFormFiltersAKnownSequenceThroughTheTransition) {
    const std::vector<double> x = {1.0, 2.0, -1.0, 0.5, 3.0};
    // y[k] = x[k] - 0.25 x[k-1] + 0.5 y[k-1], with x[-1] = x[0] and y[-1] = 0.
    const std::vector<double> expected = {0.75, 2.125, -0.4375, 0.53125, 3.140625};
    for (int form = 0; form < 4; ++form) {
        const bool numerRoots = (form & 1) != 0;
        const bool denomRoots = (form & 2) != 0;
        ArrayPtr numer = realArray(host, numerRoots ? std::vector<double>{0.25, 0.0} : std::vector<double>{1.0, -0.25});
        ArrayPtr denom = realArray(host, denomRoots ? std::vector<double>{0.5, 0.0} : std::vector<double>{1.0, -0.5});
        create(numer.get(), denom.get(), numerRoots, denomRoots);
        EXPECT_EQ(step(0.0, x[0]), expected[0]);
        EXPECT_EQ(seen(0.0, x[0]), expected[0]);
        for (size_t k = 1; k < x.size(); ++k) {
            const double tk = static_cast<double>(k) * kT;
            EXPECT_DOUBLE_EQ(step(tk, x[k]), expected[k]) << "form " << form << ", sample " << k;
            EXPECT_NEAR(seen(tk + kRise / 2, x[k]), (expected[k - 1] + expected[k]) / 2, 1e-9);
            step(tk + kRise / 2, x[k]);
            EXPECT_DOUBLE_EQ(seen(tk + 2 * kRise, x[k]), expected[k]);
        }
        ZRT_destroyOpBranch_zi(op);
        op = nullptr;
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ZiTest, SamplesFromT0ThenEveryPeriodAndWithinTheMinimumStep) {
    ArrayPtr numer = realArray(host, {1.0});
    ArrayPtr denom = realArray(host, {1.0, -0.5});
    create(numer.get(), denom.get());
    // 1/(1 - 0.5 z^-1) on a constant input from time 0: x, 1.5x, 1.75x.
    EXPECT_EQ(step(0.0, 2.0, 5e-4), 2.0);
    EXPECT_EQ(op->nextSampleTime, 5e-4);
    EXPECT_EQ(sampleBound(), 5e-4);
    EXPECT_EQ(step(2.5e-4, 2.0, 5e-4), 2.0);  // between samples: held
    EXPECT_EQ(sampleBound(), 2.5e-4);
    EXPECT_EQ(step(5e-4 - 1e-17, 2.0, 5e-4), 3.0);  // within 1e-16 of the sample
    EXPECT_DOUBLE_EQ(op->nextSampleTime, 1.5e-3);
    EXPECT_NEAR(sampleBound(), 1e-3, 1e-15);
    host.setMinStep(1e-9);
    EXPECT_EQ(step(1.5e-3 - 2e-9, 2.0, 5e-4), 3.0);
    EXPECT_EQ(step(1.5e-3 - 5e-10, 2.0, 5e-4), 3.5);
    EXPECT_DOUBLE_EQ(op->nextSampleTime, 2.5e-3);
}

// A coefficient change mid-run recomputes once and carries both histories
// over; an array variable is the operator's snapshot until given again.
TEST_F(ZiTest, CoefficientChangeKeepsTheHistory) {
    ArrayPtr numer = realArray(host, {1.0, 0.0}, true);
    ArrayPtr denom = realArray(host, {1.0, -0.5});
    create(numer.get(), denom.get());
    EXPECT_NE(op->numerArray, numer.get());
    step(0.0, 1.0);
    step(kT, 1.0);
    EXPECT_EQ(step(2 * kT, 1.0), 1.75);
    ZRT_setArrayReal(numer.get(), 1, 1.0);  // the model's variable changes
    EXPECT_EQ(step(3 * kT, 1.0), 1.875);    // not given again: the snapshot holds
    ZRT_ziInitArrayArg(op, numer.get(), denom.get());
    // u = (1, 1), y = (1.875, 1.75) carried over: 1 + 1 + 0.5 * 1.875.
    EXPECT_EQ(step(4 * kT, 1.0), 2.9375);
    // A longer denominator keeps the newest outputs: y = (2.9375, 1.875, 1.75).
    ArrayPtr longer = realArray(host, {1.0, -0.5, -0.25});
    ZRT_ziInitArrayArg(op, numer.get(), longer.get());
    EXPECT_EQ(step(5 * kT, 1.0), 2.0 + 0.5 * 2.9375 + 0.25 * 1.875);
    ASSERT_EQ(op->denomCount, 3);
    EXPECT_EQ(longer->flags & ZRT_ARRAY_MODIFIED, 0);
    // A parameter array written in place is seen at the next set argument.
    static_cast<double*>(longer->data)[2] = 0.0;
    longer->flags |= ZRT_ARRAY_MODIFIED;
    EXPECT_EQ(step(6 * kT, 1.0), 2.0 + 0.5 * 3.9375);
}

TEST_F(ZiTest, EmptyAndAbsentArrays) {
    ArrayPtr empty = realArray(host, {});
    ArrayPtr denom = realArray(host, {2.0});
    create(empty.get(), denom.get(), 1, 0);  // no zeros: the constant 1
    EXPECT_EQ(step(0.0, 4.0), 2.0);
    ZRT_destroyOpBranch_zi(op);
    create(empty.get(), denom.get(), 0, 0);  // no numerator coefficients: (0)
    EXPECT_EQ(step(0.0, 4.0), 0.0);
    ZRT_destroyOpBranch_zi(op);
    create(nullptr, nullptr, 1, 1);  // both sides absent: the constant 1, again and again
    EXPECT_EQ(step(0.0, 4.0), 4.0);
    ZRT_ziComputeCoeffs(op);
    EXPECT_EQ(step(kT, 5.0), 5.0);
    EXPECT_EQ(op->_numerZeroForm, 1);
    ZRT_destroyOpBranch_zi(op);
    create(denom.get(), empty.get(), 0, 0);  // no denominator coefficients
    step(0.0, 1.0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].formatted, "Leading denominator coefficient must be non-zero for operator 'zi1'.");
    EXPECT_EQ(host.exitCount(), 1);
    EXPECT_EQ(op->coeffsReady, 1);
}

TEST_F(ZiTest, LeadingZerosShiftBothSidesOrAreNonCausal) {
    ArrayPtr numer = realArray(host, {0.0, 0.0, 2.0});
    ArrayPtr denom = realArray(host, {0.0, 0.0, 1.0});
    create(numer.get(), denom.get());
    EXPECT_EQ(step(0.0, 3.0), 6.0);
    EXPECT_EQ(op->numerCount, 1);
    EXPECT_EQ(op->denomCount, 1);
    EXPECT_TRUE(host.messages.empty());

    ArrayPtr early = realArray(host, {0.0, 2.0, 0.0});
    ZRT_ziInitArrayArg(op, early.get(), denom.get());
    ZRT_ziComputeCoeffs(op);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].formatted, "Non-causal z-transform operator.");

    // A digital denominator still at 0 is computed again at every use.
    s_ZRT_Array* digital = digitalArray(0, 0, inst.get(), "d", 0, 0);
    ZRT_ziInitArrayArg(op, numer.get(), digital);
    step(kT, 3.0);
    EXPECT_EQ(op->coeffsReady, 0);
    EXPECT_EQ(op->a[0], 1.0);
    EXPECT_EQ(host.messages.size(), 1u);
    ZRT_freeArray(digital);
}

// The branch row -y with -1.0 on itself; the host's entry is the z-transform
// stamp (kind 4) and its doublets carry code 4.
// Each allocation of the first computation (or of the snapshot after it)
// refused in turn: the next evaluation still turns the roots into their
// polynomial, and a root without its conjugate is reported once.
TEST_F(ZiTest, RootsConvertAndErrorsAreToldOnceWhateverTheHeapDoes) {
    const std::string lone = "Complex numerator coefficients must have corresponding conjugates for 'zi1'.";
    for (bool conjugates : {true, false}) {
        ArrayPtr numer = realArray(host, conjugates ? std::vector<double>{0.25, 0.0} : std::vector<double>{0.25, 0.5});
        ArrayPtr denom = realArray(host, {0.5, 0.0});
        bool refused = true;
        for (int grants = 0; refused; ++grants) {
            SCOPED_TRACE(std::string(conjugates ? "roots" : "a lone root") + ", grants " + std::to_string(grants));
            ASSERT_LT(grants, 100);
            ZRT_destroyOpBranch_zi(op);
            create(numer.get(), denom.get(), 1, 1);
            const size_t before = host.messages.size();
            {
                testhost::LimitedHeap heap(grants, true);
                step(0.0, 1.0);
                refused = heap.refused();
            }
            step(kT, 1.0);
            step(2 * kT, 1.0);
            ASSERT_EQ(op->coeffsReady, 1);
            EXPECT_EQ(op->a[1], -0.5);
            if (conjugates) {
                EXPECT_EQ(op->b[1], -0.25);
            }
            EXPECT_EQ(std::count_if(host.messages.begin() + static_cast<std::ptrdiff_t>(before), host.messages.end(),
                                    [&](const auto& m) { return m.formatted == lone; }),
                      conjugates ? 0 : 1);
        }
    }
}

TEST_F(ZiTest, BranchRowAndTheHostsZTransformEntry) {
    ArrayPtr one = realArray(host, {1.0});
    create(one.get(), one.get());
    ZRT_ziAcceptTimePoint(op, &host.loader);  // before any set argument: nothing to sample
    EXPECT_EQ(host.findStamp(op->zHandle)->flag1, 4);
    ZRT_Handle d = ZRT_getDerivDoubletOpBranch_zi(op, op->_branchVar, nullptr, nullptr, 2, nullptr);
    EXPECT_EQ(host.findStamp(d)->flag1, 4);
    host.solution.assign(op->_branchVar->index + 1, 0.7);
    ZRT_ziGenericLoad(op, &host.loader);
    ZRT_ziGenericLoadRHS(op, &host.loader);
    ASSERT_EQ(host.loads.size(), 3u);
    EXPECT_EQ(host.loads[0].handles[0], op->rhsHandle);
    EXPECT_EQ(host.loads[0].values[0], -0.7);
    EXPECT_EQ(host.loads[1].handles[0], op->doubletHandle);
    EXPECT_EQ(host.loads[1].values[0], -1.0);
    EXPECT_EQ(host.loads[2].values[0], -0.7);
    step(0.0, 0.25);
    EXPECT_EQ(g_zLoads.back().handle, op->zHandle);
    ZRT_ziSetArg_dwrt(op, d, 0.5, &host.loader);
    ASSERT_EQ(g_zDerivs.size(), 1u);
    EXPECT_EQ(g_zDerivs[0].value, 0.5);
}

// Clones run on their own: their inputs do not reach the source, and every
// record, buffer, array and transition of either is released once.
TEST_F(ZiTest, ClonesAreIndependentAndDestroyReleasesEverything) {
    ArrayPtr numer = realArray(host, {1.0}, true);
    ArrayPtr denom = realArray(host, {1.0, -0.5});
    create(numer.get(), denom.get());
    step(0.0, 1.0);
    TestInstance other(host, &md, {}, "x2");
    ZRT_OpBranch_zi* clone = ZRT_OpClone_zi(op, other.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->inst, other.get());
    EXPECT_EQ(step(kT, 1.0), 1.5);
    EXPECT_EQ(step(kT, -1.0, 0.0, clone), -0.5);
    EXPECT_EQ(step(2 * kT, 1.0), 1.75);
    EXPECT_EQ(step(2 * kT, -1.0, 0.0, clone), -1.25);
    ZRT_destroyOpBranch_zi(clone);

    for (int grants = 0; grants < 12; ++grants) {
        testhost::LimitedHeap heap(grants);
        ZRT_destroyOpBranch_zi(ZRT_OpClone_zi(op, other.get()));
        ZRT_destroyOpBranch_zi(ZRT_createOpBranch_zi("zi2", inst.get(), 0, 0, kRise));
        ZRT_ziComputeCoeffs(op);  // keeps what it has when it cannot finish
    }
    EXPECT_EQ(step(3 * kT, 1.0), 1.875);
}

// A clone taken while a side has no array (before the arrays are given, or
// with a side of roots left absent) takes arrays later like any operator.
TEST_F(ZiTest, CloneWithoutArraysTakesThemLater) {
    ArrayPtr numer = realArray(host, {0.0, 0.0}, true);  // a root at zero: the constant 1
    ArrayPtr denom = realArray(host, {1.0, -0.5}, true);
    TestInstance other(host, &md, {}, "x2");
    for (bool numerAbsent : {false, true}) {
        create(nullptr, numerAbsent ? denom.get() : nullptr, 1, 0);
        ZRT_OpBranch_zi* clone = ZRT_OpClone_zi(op, other.get());
        ASSERT_NE(clone, nullptr);
        ZRT_ziInitArrayArg(clone, numer.get(), denom.get());
        EXPECT_EQ(step(0.0, 2.0, 0.0, clone), 2.0);
        EXPECT_EQ(step(kT, 2.0, 0.0, clone), 3.0);
        ZRT_destroyOpBranch_zi(clone);
        ZRT_destroyOpBranch_zi(op);
        op = nullptr;
    }
    EXPECT_TRUE(host.messages.empty());
}

// A clone mirrors the digital signal of its source: a leading coefficient
// still 0 is retried quietly, and every later change is followed.
TEST_F(ZiTest, CloneFollowsADigitalDenominator) {
    host.ams.D2A_RealElement = digitalElement;
    g_digital = {0.0, 0.0};
    ArrayPtr numer = realArray(host, {1.0});
    ArrayPtr denom(digitalArray(3, 1, inst.get(), "d", 0, 1), ZRT_freeArray);
    create(numer.get(), denom.get());
    TestInstance other(host, &md, {}, "x2");
    ZRT_OpBranch_zi* clone = ZRT_OpClone_zi(op, other.get());
    ASSERT_NE(clone, nullptr);
    const std::vector<std::vector<double>> signal = {{0.0, 0.0}, {1.0, -0.5}, {1.0, -0.25}};
    const std::vector<double> expected = {1.0, 1.5, 1.375};  // a = (1, 0) while settling
    for (size_t k = 0; k < signal.size(); ++k) {
        g_digital = signal[k];
        const double tk = static_cast<double>(k) * kT;
        EXPECT_EQ(step(tk, 1.0), expected[k]) << k;
        EXPECT_EQ(step(tk, 1.0, 0.0, clone), expected[k]) << k;
    }
    EXPECT_TRUE(host.messages.empty());
    ZRT_destroyOpBranch_zi(clone);
}

// Two operators on one digital denominator, then on one digital numerator:
// each notices a change by itself, whichever samples first. (An input held
// at 1: the denominator 1 + a z^-1 accumulates, the numerator b0 + b1 z^-1
// gives b0 + b1.)
TEST_F(ZiTest, OperatorsSharingADigitalArrayEachFollowIt) {
    host.ams.D2A_RealElement = digitalElement;
    for (bool digitalNumer : {false, true}) {
        g_digital = {1.0, -0.5};
        ArrayPtr fixed = realArray(host, {1.0});
        ArrayPtr digital(digitalArray(3, 1, inst.get(), "d", 0, 1), ZRT_freeArray);
        s_ZRT_Array* numer = digitalNumer ? digital.get() : fixed.get();
        s_ZRT_Array* denom = digitalNumer ? fixed.get() : digital.get();
        create(numer, denom);
        ZRT_OpBranch_zi* twin = ZRT_createOpBranch_zi("zi2", inst.get(), 0, 0, kRise);
        ZRT_ziInitArrayArg(twin, numer, denom);
        step(0.0, 1.0);
        step(0.0, 1.0, 0.0, twin);
        g_digital = {1.0, -0.25};
        const double second = digitalNumer ? 0.75 : 1.25;
        EXPECT_EQ(step(kT, 1.0), second) << digitalNumer;
        EXPECT_EQ(step(kT, 1.0, 0.0, twin), second) << digitalNumer;
        g_digital = {1.0, -0.75};
        const double third = digitalNumer ? 0.25 : 1.9375;
        EXPECT_EQ(step(2 * kT, 1.0, 0.0, twin), third) << digitalNumer;
        EXPECT_EQ(step(2 * kT, 1.0), third) << digitalNumer;
        ZRT_destroyOpBranch_zi(twin);
        ZRT_destroyOpBranch_zi(op);
        op = nullptr;
    }
}

}  // namespace
