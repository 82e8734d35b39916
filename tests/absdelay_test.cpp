// The absdelay operator driven as a birch module drives it, through the test
// host's delay.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "dsl/ZRT_SupportLib.h"
#include "tests/test_host.h"

namespace {

using testhost::LoadSlot;
using testhost::StampKind;
using testhost::TestHost;
using testhost::TestInstance;

void* const kExtra = reinterpret_cast<void*>(0x5A5A);

const char* const kNegativeDelayText =
    "A negative delay (-1.000000e-09) was supplied to the absdelay operator.\n"
    "A zero-valued delay will be used instead; future warnings will be suppressed.";

class AbsdelayTest : public ::testing::Test {
protected:
    AbsdelayTest() : inst(host, &md, {}) {}

    ~AbsdelayTest() override { ZRT_destroyOpBranch_delay(op); }

    // Create, finalize topology and stamp.
    void setUp() {
        op = ZRT_createOpBranch_delay("_opdelay8", inst.get());
        ASSERT_NE(op, nullptr);
        ZRT_delayFinalizeTopology(op, kExtra, nullptr);
        ZRT_delaySetStamp(op, kExtra);
    }

    double& branchValue() {
        host.solution.resize(op->_branchVar->index + 1, 0.0);
        return host.solution[op->_branchVar->index];
    }

    const ZRT_DelaySpec* spec() const { return reinterpret_cast<const ZRT_DelaySpec*>(op->delayState); }

    TestHost host;
    s_ZRT_ModuleDesc md{};
    TestInstance inst;
    ZRT_OpBranch_delay* op = nullptr;
};

TEST_F(AbsdelayTest, CreationAndTopology) {
    op = ZRT_createOpBranch_delay("_opdelay8", inst.get());
    ASSERT_NE(op, nullptr);
    EXPECT_STREQ(op->name, "_opdelay8");
    EXPECT_EQ(op->inst, inst.get());
    EXPECT_EQ(op->_branchVar, nullptr);
    EXPECT_EQ(op->presentDelay, 0.0);
    EXPECT_EQ(op->freqResponse, nullptr);
    EXPECT_EQ(op->warned, 0u);
    EXPECT_EQ(host.delaySpecsCreated, 1);
    ASSERT_NE(op->delayState, nullptr);
    EXPECT_EQ(op->delayState->opStateType, ZRT_DELAY_SPEC);
    EXPECT_EQ(inst->flags & ZRT_INST_HAS_OPERATOR, ZRT_INST_HAS_OPERATOR);
    EXPECT_EQ(ZRT_getBranchVar_delay(op), nullptr);

    ZRT_delayFinalizeTopology(op, kExtra, reinterpret_cast<void*>(0x1));
    ASSERT_NE(op->_branchVar, nullptr);
    EXPECT_EQ(ZRT_getBranchVar_delay(op), op->_branchVar);
    ASSERT_EQ(host.branches.size(), 1u);
    EXPECT_EQ(host.branches[0].branchName, "_opdelay8");
    EXPECT_EQ(host.branches[0].hostData, kExtra);
    ASSERT_NE(op->_branchVar->branch, nullptr);
    EXPECT_EQ(op->_branchVar->branch->pos, nullptr);
    EXPECT_EQ(op->_branchVar->branch->neg, nullptr);

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(ZRT_delayFinalizeTopology(op, kExtra, nullptr), "pOp->_branchVar == 0");
    EXPECT_EQ(ZRT_getBranchVar_delay(nullptr), nullptr);
}

TEST_F(AbsdelayTest, StampsInOrderAndDoublets) {
    setUp();
    ASSERT_EQ(host.stamps.size(), 3u);
    const auto& rhs = host.stamps[0];
    EXPECT_EQ(rhs.kind, StampKind::StaticRhs);
    EXPECT_EQ(rhs.rowA, op->_branchVar);
    EXPECT_EQ(rhs.rowB, nullptr);
    EXPECT_EQ(rhs.flag1, 0);
    EXPECT_EQ(rhs.hostData, kExtra);
    EXPECT_EQ(op->rhsHandle, rhs.handle);
    const auto& delay = host.stamps[1];
    EXPECT_EQ(delay.kind, StampKind::Delay);
    EXPECT_EQ(delay.rowA, op->_branchVar);
    EXPECT_EQ(delay.flag1, 3);
    EXPECT_EQ(delay.flag2, 1);
    EXPECT_EQ(op->delayHandle, delay.handle);
    const auto& self = host.stamps[2];
    EXPECT_EQ(self.kind, StampKind::Doublet);
    EXPECT_EQ(self.rowA, op->_branchVar);
    EXPECT_EQ(self.colA, op->_branchVar);
    EXPECT_EQ(self.colB, nullptr);
    EXPECT_EQ(self.flag1, 0);
    EXPECT_EQ(self.flag2, 0);
    EXPECT_EQ(op->doubletHandle, self.handle);

    s_ZRT_StateVar a{};
    s_ZRT_StateVar b{};
    ZRT_Handle h = ZRT_getDerivDoubletOpBranch_delay(op, &a, &b, reinterpret_cast<void*>(9), 1, kExtra);
    const auto* d = host.findStamp(h);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->kind, StampKind::Doublet);
    EXPECT_EQ(d->rowA, op->_branchVar);
    EXPECT_EQ(d->colA, &a);
    EXPECT_EQ(d->colB, &b);
    EXPECT_EQ(d->flag1, 3);  // whatever the fourth argument
    EXPECT_EQ(d->flag2, 1);
    EXPECT_EQ(d->hostData, kExtra);
}

TEST_F(AbsdelayTest, LoadsHandTheDelayedQuantityAndTheBranchEquation) {
    setUp();
    s_ZRT_StateVar node{};
    ZRT_Handle dg = ZRT_getDerivDoubletOpBranch_delay(op, &node, nullptr, nullptr, 0, kExtra);
    // Input x(t) = 2 + 2t, accepted at t = 0 and t = 1.
    for (double t : {0.0, 1.0}) {
        host.time = t;
        ZRT_delaySetArg(op, 2.0 + 2.0 * t, 1.0, 0.0, &host.loader);
        ZRT_delayAcceptTimePoint(op, &host.loader);
    }
    EXPECT_EQ(host.acceptDelayCalls, 2);
    ASSERT_EQ(host.delayLoads.size(), 2u);
    EXPECT_EQ(host.delayLoads[1].delayed, 2.0);  // x(0)

    // At t = 2 with td = 0.75 the delayed point t - td = 1.25 lies between
    // the accepted x(1) = 4 and the present input 6.
    host.time = 2.0;
    ZRT_delaySetArg(op, 6.0, 0.75, 0.0, &host.loader);
    const auto& load = host.delayLoads.back();
    EXPECT_EQ(load.state, op->delayState);
    EXPECT_EQ(load.handle, op->delayHandle);
    EXPECT_EQ(load.td, 0.75);
    EXPECT_EQ(load.tdmax, 0.0);  // no bound
    EXPECT_EQ(load.x, 6.0);
    EXPECT_DOUBLE_EQ(load.delayed, 4.5);
    EXPECT_DOUBLE_EQ(load.weight, 0.25);
    EXPECT_EQ(op->presentDelay, 0.75);
    // The input's derivative reaches the host scaled by d delayed / d x.
    ZRT_delaySetArg_dwrt(op, dg, 3.0, &host.loader);
    ASSERT_EQ(host.delayDerivs.size(), 1u);
    EXPECT_EQ(host.delayDerivs[0].handle, dg);
    EXPECT_EQ(host.delayDerivs[0].deriv, 3.0);
    EXPECT_DOUBLE_EQ(host.delayDerivs[0].jacobian, 0.75);

    // The delayed value against a central difference of the host's delay.
    const double h = 1e-6;
    ZRT_delaySetArg(op, 6.0 + h, 0.75, 0.0, &host.loader);
    const double up = host.delayLoads.back().delayed;
    ZRT_delaySetArg(op, 6.0 - h, 0.75, 0.0, &host.loader);
    const double down = host.delayLoads.back().delayed;
    EXPECT_NEAR((up - down) / (2 * h), 0.25, 1e-9);

    // A bound below the delay limits it.
    ZRT_delaySetArg(op, 6.0, 1.5, 0.5, &host.loader);
    EXPECT_EQ(host.delayLoads.back().tdmax, 0.5);
    EXPECT_EQ(spec()->values[3], 0.5);

    // The branch row: residual -v and -1.0 on itself.
    branchValue() = 0.7;
    host.loads.clear();
    ZRT_delayGenericLoad(op, &host.loader);
    ASSERT_EQ(host.loads.size(), 2u);
    EXPECT_EQ(host.loads[0].slot, LoadSlot::StaticRhs);
    EXPECT_EQ(host.loads[0].handles, std::vector<ZRT_Handle>{op->rhsHandle});
    EXPECT_EQ(host.loads[0].values, std::vector<double>{-0.7});
    EXPECT_EQ(host.loads[1].slot, LoadSlot::StaticDoublet);
    EXPECT_EQ(host.loads[1].handles, std::vector<ZRT_Handle>{op->doubletHandle});
    EXPECT_EQ(host.loads[1].values, std::vector<double>{-1.0});
    host.loads.clear();
    ZRT_delayGenericLoadRHS(op, &host.loader);
    ASSERT_EQ(host.loads.size(), 1u);
    EXPECT_EQ(host.loads[0].values, std::vector<double>{-0.7});

    // An absent AcceptDelay slot: accepting does nothing.
    host.loader.AcceptDelay = nullptr;
    ZRT_delayAcceptTimePoint(op, &host.loader);
    EXPECT_EQ(host.acceptDelayCalls, 2);
}

TEST_F(AbsdelayTest, BeforeItsBranchExistsTheOperatorReadsZeroWithoutAsking) {
    op = ZRT_createOpBranch_delay("_opdelay8", inst.get());
    ASSERT_NE(op, nullptr);
    ZRT_delayGenericLoadRHS(op, &host.loader);
    EXPECT_EQ(host.getSolCalls, 0);
    ASSERT_EQ(host.loads.size(), 1u);
    EXPECT_EQ(host.loads[0].values[0], 0.0);
}

TEST_F(AbsdelayTest, NegativeDelayWarnsOncePerOperator) {
    setUp();
    ZRT_delaySetArg(op, 1.0, -1e-9, 0.0, &host.loader);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_WARNING);
    EXPECT_EQ(host.messages[0].text, kNegativeDelayText);
    EXPECT_EQ(host.messages[0].inst, inst.get());
    EXPECT_EQ(host.delayLoads.back().td, 0.0);
    EXPECT_EQ(op->presentDelay, 0.0);
    EXPECT_EQ(op->warned, 1u);

    ZRT_delaySetArg(op, 1.0, -2.0, 0.0, &host.loader);
    ZRT_delayReset(op);
    ZRT_delaySetArg(op, 1.0, -3.0, 0.0, &host.loader);
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.delayLoads.back().td, 0.0);

    // A second operator of the instance warns about its own delay once.
    ZRT_OpBranch_delay* other = ZRT_createOpBranch_delay("_opdelay9", inst.get());
    ZRT_delaySetArg(other, 1.0, 0.0, 0.0, &host.loader);
    EXPECT_EQ(host.messages.size(), 1u);  // zero is no negative delay
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ZRT_delaySetArg(other, 1.0, nan, 0.0, &host.loader);
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(std::isnan(host.delayLoads.back().td));
    ZRT_delaySetArg(other, 1.0, -4.0, 0.0, &host.loader);
    ZRT_delaySetArg(other, 1.0, -5.0, 0.0, &host.loader);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_NE(host.messages[1].text.find("(-4.000000e+00)"), std::string::npos);
    ZRT_destroyOpBranch_delay(other);
}

TEST_F(AbsdelayTest, ResetReplacesTheDelayState) {
    setUp();
    host.time = 1.0;
    ZRT_delaySetArg(op, 1.0, 0.5, 0.0, &host.loader);
    ZRT_delayAcceptTimePoint(op, &host.loader);
    EXPECT_EQ(spec()->pHist->count, 1);
    ZRT_delayReset(op);
    EXPECT_EQ(host.delaySpecsFreed, 1);
    EXPECT_EQ(host.delaySpecsCreated, 2);
    ASSERT_NE(op->delayState, nullptr);
    EXPECT_EQ(spec()->pHist->count, 0);
    EXPECT_EQ(op->presentDelay, 0.0);
}

TEST_F(AbsdelayTest, FrequencyResponseAndNoise) {
    setUp();
    ZRT_Cmplx out{};
    delayFreqResponse(op, 0.0, &out);
    EXPECT_EQ(out.re, 1.0);
    EXPECT_EQ(out.im, -0.0);
    op->presentDelay = 1e-9;
    delayFreqResponse(op, std::numbers::pi / 2 * 1e9, &out);
    EXPECT_NEAR(out.re, 0.0, 1e-12);
    EXPECT_NEAR(out.im, -1.0, 1e-12);

    ZRT_reportNoiseContribForOp_delay(op, 2, kExtra);
    ASSERT_EQ(host.noiseReports.size(), 1u);
    EXPECT_EQ(host.noiseReports[0].source, 2);
    EXPECT_EQ(host.noiseReports[0].key, op->rhsHandle);
    EXPECT_EQ(host.noiseReports[0].inst, inst.get());
    EXPECT_EQ(host.noiseReports[0].hostData, kExtra);
    ZRT_reportNoiseContribForOp_delay(nullptr, 2, kExtra);
    EXPECT_EQ(host.noiseReports.size(), 1u);

    ZRT_NoiseSrc& src = inst.noiseSrcs[0];
    src.inst = inst.get();
    ZRT_addNoiseForOp_delay(&src, op, 0.5);
    ZRT_FreqResponse* response = op->freqResponse;
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->data, op);
    EXPECT_EQ(response->fn, delayFreqResponse);
    ZRT_addNoiseForOp_delay(&src, op, 0.25);
    EXPECT_EQ(op->freqResponse, response);  // made once
    ASSERT_NE(src.contribs, nullptr);
    EXPECT_EQ(src.contribs->key, op->rhsHandle);
    EXPECT_EQ(src.contribs->freqResponse, response);
    EXPECT_EQ(src.contribs->value, 0.75);
    EXPECT_EQ(src.contribs->next, nullptr);
    EXPECT_EQ(src.contribCount, 2u);
}

TEST_F(AbsdelayTest, CloneIsIndependentOfItsSource) {
    setUp();
    TestInstance other(host, &md, {}, "x2");
    host.time = 1.0;
    ZRT_delaySetArg(op, 3.0, -1.0, 0.0, &host.loader);  // warns, present delay 0
    ZRT_delayAcceptTimePoint(op, &host.loader);
    ZRT_delaySetArg(op, 3.0, 2e-9, 0.0, &host.loader);
    ZRT_NoiseSrc& src = inst.noiseSrcs[0];
    src.inst = inst.get();
    ZRT_addNoiseForOp_delay(&src, op, 1.0);

    ZRT_OpBranch_delay* clone = ZRT_OpClone_delay(op, other.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->inst, other.get());
    EXPECT_STREQ(clone->name, "_opdelay8");
    EXPECT_EQ(clone->_branchVar, op->_branchVar);
    EXPECT_EQ(clone->rhsHandle, op->rhsHandle);
    EXPECT_EQ(clone->delayHandle, op->delayHandle);
    EXPECT_EQ(clone->doubletHandle, op->doubletHandle);
    EXPECT_EQ(clone->presentDelay, 2e-9);
    EXPECT_EQ(clone->warned, 1u);
    EXPECT_EQ(clone->freqResponse, nullptr);
    EXPECT_EQ(host.delaySpecsCopied, 1);
    ASSERT_NE(clone->delayState, op->delayState);
    const auto* copy = reinterpret_cast<const ZRT_DelaySpec*>(clone->delayState);
    ASSERT_NE(copy->pHist, nullptr);
    EXPECT_NE(copy->pHist, spec()->pHist);
    EXPECT_EQ(copy->pHist->count, 1);
    EXPECT_EQ(copy->pHist->values[0], 3.0);

    ZRT_destroyOpBranch_delay(op);
    op = nullptr;

    // The clone works on alone: its noise gets a response of its own.
    ZRT_NoiseSrc& otherSrc = other.noiseSrcs[0];
    otherSrc.inst = other.get();
    ZRT_addNoiseForOp_delay(&otherSrc, clone, 1.0);
    ASSERT_NE(clone->freqResponse, nullptr);
    EXPECT_EQ(clone->freqResponse->data, clone);
    ZRT_Cmplx out{};
    clone->freqResponse->fn(clone->freqResponse->data, 0.0, &out);
    EXPECT_EQ(out.re, 1.0);
    host.time = 2.0;
    ZRT_delaySetArg(clone, 5.0, 1.0, 0.0, &host.loader);
    EXPECT_EQ(host.delayLoads.back().delayed, 3.0);
    ZRT_delaySetArg(clone, 5.0, -1.0, 0.0, &host.loader);
    EXPECT_EQ(host.messages.size(), 1u);  // the warned flag came along
    ZRT_destroyOpBranch_delay(clone);
}

TEST_F(AbsdelayTest, SavedDelayStateRoundTrip) {
    setUp();
    host.time = 1.0;
    ZRT_delaySetArg(op, 8.0, 0.5, 0.0, &host.loader);
    ZRT_delayAcceptTimePoint(op, &host.loader);

    ZRT_GenericOperatorState* saved = ZRT_delaySaveState(op);
    ASSERT_NE(saved, nullptr);
    ASSERT_NE(saved, op->delayState);
    EXPECT_EQ(saved->opStateType, ZRT_DELAY_SPEC);

    ZRT_delayReset(op);
    EXPECT_EQ(spec()->pHist->count, 0);
    ZRT_delayRestoreState(op, saved);
    ASSERT_NE(op->delayState, saved);  // a copy is installed
    EXPECT_EQ(spec()->pHist->count, 1);
    EXPECT_EQ(spec()->pHist->values[0], 8.0);
    releaseOperatorState(saved);  // the caller's to free

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ZRT_GenericOperatorState wrong{ZRT_SLEW_SPEC, 0, nullptr, nullptr};
    EXPECT_DEATH(ZRT_delayRestoreState(op, &wrong),
                 "pOpState && \\(\\(\\(ZRT_GenericOperatorState \\*\\)pOpState\\)->opStateType == ZRT_DELAY_SPEC\\)");
    EXPECT_DEATH(ZRT_delayRestoreState(op, nullptr), "pOpState");
    op->delayState->opStateType = ZRT_SLEW_SPEC;
    EXPECT_DEATH(ZRT_destroyOpBranch_delay(op), "pExistingState");
    op->delayState->opStateType = ZRT_DELAY_SPEC;
}

TEST_F(AbsdelayTest, SavedAndRestoredThroughTheInstanceStream) {
    setUp();
    for (double t : {1.0, 2.0}) {
        host.time = t;
        ZRT_delaySetArg(op, 10.0 * t, 0.5, 0.0, &host.loader);
        ZRT_delayAcceptTimePoint(op, &host.loader);
    }
    struct Rec {
        ZRT_ModuleSerializeFn serialize;
    } rec{[](s_ZRT_DeviceInst*, void*, ZRT_SrlzDirE dir) { return dir; }};
    ZRT_GenericOperatorState* ops[1] = {ZRT_delaySaveState(op)};
    s_ZRT_DeviceState state{&rec, 1, 0, ops, 0, 0, nullptr, inst.get()};
    uint32_t count = 0;
    const uint8_t* raw = ZRT_SaveDeviceState(&state, inst.get(), &count);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(ops[0], nullptr);  // released by the save
    const std::vector<uint8_t> bytes(raw, raw + count);
    ZRT_FreeDeviceSerializer(inst.get(), 1);
    EXPECT_EQ(count, 15u + 4 + (40 + 17 + 4 + 20 + 16 * 16 + 15) + 12 + 4 + 4);

    // Another instance's operator takes the state over.
    TestInstance other(host, &md, {}, "x2");
    ZRT_OpBranch_delay* op2 = ZRT_createOpBranch_delay("_opdelay8", other.get());
    ops[0] = ZRT_delaySaveState(op2);
    state.pInst = other.get();
    ASSERT_EQ(ZRT_RestoreDeviceState(bytes.data(), count, &state, other.get()), 1);
    ZRT_FreeDeviceSerializer(other.get(), 0);
    ZRT_delayRestoreState(op2, ops[0]);
    ZRT_FreeDeviceStateData(&state);
    const auto* restored = reinterpret_cast<const ZRT_DelaySpec*>(op2->delayState);
    ASSERT_NE(restored->pHist, nullptr);
    EXPECT_EQ(restored->pHist->count, 2);
    EXPECT_EQ(restored->pHist->values[1], 20.0);
    EXPECT_EQ(restored->pSim, &host.sim);
    ZRT_destroyOpBranch_delay(op2);
}

TEST_F(AbsdelayTest, ExhaustedHeapLeavesNoOperatorAndNullRecordsAreIgnored) {
    {
        testhost::LimitedHeap heap(0);
        op = ZRT_createOpBranch_delay("_opdelay8", inst.get());
    }
    EXPECT_EQ(op, nullptr);
    EXPECT_EQ(inst->flags & ZRT_INST_HAS_OPERATOR, 0);
    EXPECT_EQ(host.exitCount(), 1);
    // Every operation of the module's order on the null record does nothing.
    ZRT_delayFinalizeTopology(op, kExtra, nullptr);
    ZRT_delaySetStamp(op, kExtra);
    EXPECT_EQ(ZRT_getDerivDoubletOpBranch_delay(op, nullptr, nullptr, nullptr, 0, kExtra), nullptr);
    ZRT_delaySetArg(op, 1.0, -1.0, 0.0, &host.loader);
    ZRT_delaySetArg_dwrt(op, nullptr, 1.0, &host.loader);
    ZRT_delayGenericLoad(op, &host.loader);
    ZRT_delayGenericLoadRHS(op, &host.loader);
    ZRT_delayAcceptTimePoint(op, &host.loader);
    ZRT_delayReset(op);
    ZRT_addNoiseForOp_delay(&inst.noiseSrcs[0], op, 1.0);
    EXPECT_EQ(ZRT_OpClone_delay(op, inst.get()), nullptr);
    EXPECT_EQ(ZRT_delaySaveState(op), nullptr);
    ZRT_delayRestoreState(op, nullptr);
    ZRT_destroyOpBranch_delay(op);
    EXPECT_TRUE(host.stamps.empty());
    EXPECT_TRUE(host.loads.empty());
    EXPECT_TRUE(host.delayLoads.empty());

    // A clone or a frequency response that cannot be allocated.
    setUp();
    ZRT_NoiseSrc& src = inst.noiseSrcs[0];
    src.inst = inst.get();
    {
        testhost::LimitedHeap heap(0);
        EXPECT_EQ(ZRT_OpClone_delay(op, inst.get()), nullptr);
        ZRT_addNoiseForOp_delay(&src, op, 1.0);
    }
    EXPECT_EQ(op->freqResponse, nullptr);
    EXPECT_EQ(src.contribs, nullptr);
    // The host's delay state can be missing too (its own heap exhausted).
    {
        testhost::LimitedHeap heap(1);  // the record, not the state
        ZRT_OpBranch_delay* bare = ZRT_createOpBranch_delay("_opdelay9", inst.get());
        ASSERT_NE(bare, nullptr);
        EXPECT_EQ(bare->delayState, nullptr);
        EXPECT_EQ(ZRT_delaySaveState(bare), nullptr);
        ZRT_destroyOpBranch_delay(bare);
    }
}

}  // namespace
