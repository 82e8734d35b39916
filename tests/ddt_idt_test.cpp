// The ddt, idt and idtmod operators: their branch rows on the host, short
// transients against exact results, the load dispatch and idtmod's wrap.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/transient_host.h"

namespace {

using testhost::Circuit;
using testhost::Integration;
using testhost::LoadSlot;
using testhost::OperatorDevice;
using testhost::StampKind;
using testhost::TestHost;
using testhost::TestInstance;
using testhost::TransientOptions;

void* const kExtra = reinterpret_cast<void*>(0x5A5A);
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// What the host was told through the optional idtmod slots.
std::vector<s_ZRT_StateVar*> g_discontinuities;
std::vector<std::vector<double>> g_intSteps;

void recordDiscontinuity(int32_t, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*, int32_t two, s_ZRT_StateVar* sv) {
    EXPECT_EQ(two, 2);
    g_discontinuities.push_back(sv);
}

void recordIntStep(double zero, double modulus, double offset, int32_t one1, int32_t one2, s_ZRT_StateVar*,
                   const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    g_intSteps.push_back({zero, modulus, offset, double(one1), double(one2)});
}

class OperatorTest : public ::testing::Test {
protected:
    OperatorTest() : inst(host, &device.md, {}) {
        g_discontinuities.clear();
        g_intSteps.clear();
        host.loader.ReportDiscontinuity = recordDiscontinuity;
    }
    ~OperatorTest() override {
        ZRT_destroyOpBranch_ddt(ddt);
        ZRT_destroyOpBranch_idt(idt);
    }

    void makeIdt() {
        idt = ZRT_createOpBranch_idt("_idt1", inst.get());
        ASSERT_NE(idt, nullptr);
        ZRT_idtFinalizeTopology(idt, kExtra, 0);
        ZRT_idtSetStamp(idt, kExtra);
    }

    // The values loaded through one slot, in order.
    std::vector<double> loaded(LoadSlot slot) const {
        std::vector<double> values;
        for (const auto& r : host.loads) {
            if (r.slot == slot) {
                values.insert(values.end(), r.values.begin(), r.values.end());
            }
        }
        return values;
    }

    double& solutionOf(s_ZRT_StateVar* sv) {
        host.solution.resize(sv->index + 1, 0.0);
        return host.solution[sv->index];
    }

    TestHost host;
    OperatorDevice device;
    TestInstance inst;
    ZRT_OpBranch_ddt* ddt = nullptr;
    ZRT_OpBranch_idt* idt = nullptr;
};

// ---- transients against exact answers ----------------------------------------

TEST_F(OperatorTest, DdtOfARampIsItsSlope) {
    ddt = ZRT_createOpBranch_ddt("_ddt1", inst.get());
    ZRT_ddtFinalizeTopology(ddt, kExtra, 0);
    ZRT_ddtSetStamp(ddt, kExtra);
    device.load = [&](const s_ZRT_ContribLoader* ldr, bool full) {
        ZRT_OpBranch_ddt_setArg(ddt, 3.0 * host.time + 1.0, ldr);
        full ? ZRT_ddtGenericLoad(ddt, ldr) : ZRT_ddtGenericLoadRHS(ddt, ldr);
    };
    Circuit circuit(host, inst.get());
    ASSERT_EQ(circuit.size(), 1u);
    const size_t out = circuit.at(ddt->_branchVar);
    for (double scale : {0.0, 2.0}) {  // a default of 0 means none: scale 1
        host.defaults[ZRT_DEFAULT_DDT_SCALE] = scale;
        auto run = testhost::runTransient(host, circuit, inst.get(), {.step = 1e-2, .steps = 20});
        ASSERT_TRUE(run.converged) << run.failure;
        EXPECT_EQ(run.points[0].x[out], 0.0);
        for (size_t k = 1; k < run.points.size(); ++k) {
            EXPECT_NEAR(run.points[k].x[out], 3.0 * (scale > 0 ? scale : 1.0), 1e-9) << k;
        }
    }
    EXPECT_TRUE(circuit.checkRhsLoad({0.5}).identical());
}

// idt(sin(w t), ic) integrated by the host: ic + (1 - cos(w t)) / w.
TEST_F(OperatorTest, IdtOfASineMatchesTheIntegralToTheMethodsOrder) {
    makeIdt();
    const double ic = 0.25;
    device.load = [&](const s_ZRT_ContribLoader* ldr, bool full) {
        ZRT_idtSetArg3(idt, std::sin(kTwoPi * host.time), ic, ldr);
        full ? ZRT_idtGenericLoad(idt, ldr) : ZRT_idtGenericLoadRHS(idt, ldr);
    };
    device.accept = [&](const s_ZRT_ContribLoader* ldr) { ZRT_idtAcceptTimePoint(idt, ldr); };
    Circuit circuit(host, inst.get());
    const size_t out = circuit.at(idt->_branchVar);
    auto maxError = [&](Integration method) {
        auto run = testhost::runTransient(host, circuit, inst.get(), {.step = 1e-3, .steps = 1000, .method = method});
        EXPECT_TRUE(run.converged) << run.failure;
        double worst = 0.0;
        for (const auto& p : run.points) {
            const double exact = ic + (1.0 - std::cos(kTwoPi * p.time)) / kTwoPi;
            worst = std::max(worst, std::fabs(p.x[out] - exact));
        }
        EXPECT_EQ(run.points[0].x[out], ic);
        return worst;
    };
    const double trapezoidal = maxError(Integration::Trapezoidal);
    const double euler = maxError(Integration::BackwardEuler);
    EXPECT_LT(trapezoidal, 5e-6);  // second order (one Euler start step)
    EXPECT_LT(euler, 2e-3);        // first order
    EXPECT_GT(euler, 50 * trapezoidal);
}

// The branchless idt integrates by the trapezoidal rule between accepted
// points itself, whatever the host's method.
TEST_F(OperatorTest, BranchlessIdtIntegratesBetweenAcceptedPoints) {
    makeIdt();
    device.load = [&](const s_ZRT_ContribLoader* ldr, bool full) {
        ZRT_idtSetArg4(idt, std::cos(kTwoPi * host.time), 0.0, 0.0, ldr);
        full ? ZRT_idtGenericLoad(idt, ldr) : ZRT_idtGenericLoadRHS(idt, ldr);
    };
    device.accept = [&](const s_ZRT_ContribLoader* ldr) { ZRT_idtAcceptTimePoint(idt, ldr); };
    Circuit circuit(host, inst.get());
    auto run = testhost::runTransient(host, circuit, inst.get(),
                                      {.step = 1e-3, .steps = 500, .method = Integration::BackwardEuler});
    ASSERT_TRUE(run.converged) << run.failure;
    const size_t out = circuit.at(idt->_branchVar);
    for (const auto& p : run.points) {
        ASSERT_NEAR(p.x[out], std::sin(kTwoPi * p.time) / kTwoPi, 1e-6) << p.time;
    }
    EXPECT_EQ(idt->_loadType, IDT_TRAPEZOIDAL_LOAD);
    EXPECT_EQ(ZRT_IBR_idt(idt, &host.loader), run.points.back().x[out]);
}

// The input's derivatives reach the host through doublets: their entries
// must match the residuals and charges they belong to.
TEST_F(OperatorTest, InputDoubletsMatchFiniteDifferences) {
    TestInstance device2(host, &device.md, {.internalNodes = 1}, "x2");
    s_ZRT_StateVar* node = device2.internalVars[0];
    ddt = ZRT_createOpBranch_ddt("_ddt1", device2.get());
    idt = ZRT_createOpBranch_idt("_idt1", device2.get());
    ZRT_ddtFinalizeTopology(ddt, kExtra, 0);
    ZRT_idtFinalizeTopology(idt, kExtra, 0);
    ZRT_ddtSetStamp(ddt, kExtra);
    ZRT_idtSetStamp(idt, kExtra);
    const ZRT_Handle dDdt = ZRT_getDerivDoubletOpBranch_ddt(ddt, node, nullptr, 0, 0, kExtra);
    const ZRT_Handle dIdt = ZRT_getDerivDoubletOpBranch_idt(idt, node, nullptr, 2, 0, kExtra);
    host.defaults[ZRT_DEFAULT_DDT_SCALE] = 1.5;
    host.defaults[ZRT_DEFAULT_IDT] = 2.5;
    host.analysisMask = ZRT_ANALYSIS_TRAN;
    device.load = [&](const s_ZRT_ContribLoader* ldr, bool full) {
        const double v = ldr->GetSol(node, ldr, device2.get());
        ZRT_OpBranch_ddt_setArg(ddt, v * v * v, ldr);
        ZRT_idtSetArg2(idt, std::sin(v), ldr);
        if (full) {
            ZRT_OpBranch_ddt_setArg_dwrt(ddt, dDdt, 3.0 * v * v, ldr);
            ZRT_idtSetArg_dwrt(idt, dIdt, std::cos(v), ldr);
            ZRT_ddtGenericLoad(ddt, ldr);
            ZRT_idtGenericLoad(idt, ldr);
        } else {
            ZRT_ddtGenericLoadRHS(ddt, ldr);
            ZRT_idtGenericLoadRHS(idt, ldr);
        }
    };
    Circuit circuit(host, device2.get());
    ASSERT_EQ(circuit.size(), 3u);
    std::vector<double> x = circuit.zeros();
    circuit.set(x, node, 0.7);
    circuit.set(x, ddt->_branchVar, 0.3);
    circuit.set(x, idt->_branchVar, -0.2);
    const auto report = circuit.checkJacobian(x);
    EXPECT_TRUE(report.passed()) << report.summary();
    EXPECT_GE(report.checked, 4u);
    EXPECT_TRUE(circuit.checkRhsLoad(x).identical());
}

// ---- idt in detail ------------------------------------------------------------

TEST_F(OperatorTest, BranchlessStepAndNoPhantomIntervalAfterReset) {
    makeIdt();
    host.analysisMask = ZRT_ANALYSIS_TRAN;
    idt->acceptedValue = 0.5;
    idt->acceptedInput = 1.0;
    host.time = 0.7;  // before any accept: no interval at all
    ZRT_idtSetArg4(idt, 3.0, 0.0, 0.0, &host.loader);
    EXPECT_EQ(idt->presentValue, 0.5);
    idt->lastAcceptedTime = 1.0;
    host.time = 3.0;
    ZRT_idtSetArg4(idt, 3.0, 0.0, 0.0, &host.loader);
    EXPECT_EQ(idt->presentValue, 4.5);  // 0.5 * (1 + 3) * 2 added
    ZRT_idtReset(idt);
    EXPECT_EQ(idt->_loadType, NO_LOAD);
    ZRT_idtSetArg4(idt, 3.0, 0.0, 0.0, &host.loader);
    EXPECT_EQ(idt->presentValue, 0.5);
    host.loads.clear();
    ZRT_idtSetArg_dwrt(idt, idt->doubletHandle, 2.0, &host.loader);
    EXPECT_EQ(loaded(LoadSlot::StaticDoublet), std::vector<double>{-0.0});
}

// Which parts each load type loads, at t = 0 and later: (static rhs, static
// doublet, dynamic rhs, dynamic doublet) with branch value 2 and scale 3.
TEST_F(OperatorTest, LoadDispatchByType) {
    makeIdt();
    idt->scale = 3.0;
    solutionOf(idt->_branchVar) = 2.0;
    const std::vector<double> none, stat{2.0}, one{1.0}, charge{6.0}, three{3.0};
    for (uint32_t type = 0; type <= 7; ++type) {
        for (double t : {0.0, 1.0}) {
            const bool isStatic = type == 1 || type == 2 || type >= 5;
            const bool isDynamic = type == 0 || type == 3 || type == 4 || (type == 1 && t == 0.0);
            idt->_loadType = type;
            host.time = t;
            host.loads.clear();
            ZRT_idtGenericLoad(idt, &host.loader);
            SCOPED_TRACE(testing::Message() << "type " << type << " t " << t);
            EXPECT_EQ(loaded(LoadSlot::StaticRhs), isStatic ? stat : none);
            EXPECT_EQ(loaded(LoadSlot::StaticDoublet), isStatic ? one : none);
            EXPECT_EQ(loaded(LoadSlot::DynamicRhs), isDynamic ? charge : none);
            EXPECT_EQ(loaded(LoadSlot::DynamicDoublet), isDynamic ? three : none);
        }
    }
}

TEST_F(OperatorTest, InitialConditionAndHostIntegration) {
    makeIdt();
    host.defaults[ZRT_DEFAULT_IDT] = 2.0;
    host.analysisMask = ZRT_ANALYSIS_DC | ZRT_ANALYSIS_STATIC;
    ZRT_idtSetArg3(idt, 5.0, 0.75, &host.loader);
    EXPECT_EQ(loaded(LoadSlot::StaticRhs), std::vector<double>{-0.75});
    EXPECT_EQ(idt->_loadType, IC_LOAD);
    host.loads.clear();
    ZRT_idtSetArgIC_dwrt(idt, idt->doubletHandle, 4.0, &host.loader);
    EXPECT_EQ(loaded(LoadSlot::StaticDoublet), std::vector<double>{-4.0});

    host.analysisMask = ZRT_ANALYSIS_TRAN;
    host.loads.clear();
    ZRT_idtSetArg3(idt, 5.0, 0.75, &host.loader);
    EXPECT_EQ(loaded(LoadSlot::StaticRhs), std::vector<double>{-10.0});
    EXPECT_EQ(idt->_loadType, IDT_HOST_LOAD);
    host.loads.clear();
    ZRT_idtSetArg_dwrt(idt, idt->doubletHandle, 0.5, &host.loader);
    EXPECT_EQ(loaded(LoadSlot::StaticDoublet), std::vector<double>{-1.0});

    host.analysisMask = ZRT_ANALYSIS_AC;  // asserted initial condition only outside ac and noise
    ZRT_idtSetArg4(idt, 5.0, 0.75, 1.0, &host.loader);
    EXPECT_EQ(idt->_loadType, IC_LOAD);
    ZRT_idtSetArg4(idt, 5.0, 0.75, 0.0, &host.loader);
    EXPECT_EQ(idt->_loadType, IDT_HOST_LOAD);

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ZRT_idtReset(idt);
    EXPECT_DEATH(ZRT_idtSetArg_dwrt(idt, idt->doubletHandle, 1.0, &host.loader), "pOp->_loadType == IC_LOAD \\|\\|");
    EXPECT_DEATH(ZRT_idtSetArgIC_dwrt(idt, idt->doubletHandle, 1.0, &host.loader), "pOp->_loadType != NO_LOAD");
    EXPECT_DEATH(ZRT_idtFinalizeTopology(idt, kExtra, 0), "pOp->_branchVar == 0");
}

// Modulus 1, accepted value 0.9 and input 1 at t = 1; x = 1 at t = 1.3.
TEST_F(OperatorTest, IdtmodWrapsAndTellsTheHost) {
    makeIdt();
    host.analysisMask = ZRT_ANALYSIS_TRAN;
    auto prime = [&] {
        idt->acceptedValue = 0.9;
        idt->acceptedInput = 1.0;
        idt->lastAcceptedTime = 1.0;
        idt->valueAtTime0 = 0.125;
        host.time = 1.3;
        host.loads.clear();
        host.crossViolations.clear();
        g_discontinuities.clear();
    };
    prime();
    ZRT_idtSetArgMod(idt, 1.0, 0.0, 1.0, 0.0, 1, &host.loader);
    ASSERT_EQ(host.crossViolations.size(), 1u);
    EXPECT_DOUBLE_EQ(host.crossViolations[0].time, 1.23633025);
    ASSERT_EQ(loaded(LoadSlot::StaticRhs).size(), 1u);
    EXPECT_NEAR(loaded(LoadSlot::StaticRhs)[0], -0.2, 1e-15);  // 1.2 wrapped
    EXPECT_EQ(idt->_loadType, IDT_TRAPEZOIDAL_LOAD);
    EXPECT_EQ(g_discontinuities, std::vector<s_ZRT_StateVar*>{idt->_branchVar});

    prime();
    ZRT_idtSetArgMod(idt, 1.0, 0.0, 1.0, 0.0, 0, &host.loader);
    EXPECT_EQ(loaded(LoadSlot::StaticRhs), std::vector<double>{-0.125});
    EXPECT_EQ(idt->_loadType, IDTMOD_BRANCHLESS_LOAD);
    EXPECT_NEAR(ZRT_IBR_idt(idt, &host.loader), 0.2, 1e-15);

    prime();
    host.loader.pRequestIntStep = recordIntStep;
    solutionOf(idt->_branchVar) = 1.75;  // the host's integral, wrapped to 0.75
    ZRT_idtSetArgMod(idt, 1.0, 0.0, 1.0, 0.0, 1, &host.loader);
    EXPECT_EQ(idt->_loadType, IDTMOD_STEP_LOAD);
    EXPECT_EQ(ZRT_IBR_idt(idt, &host.loader), 0.75);
    EXPECT_EQ(loaded(LoadSlot::StaticRhs), std::vector<double>{-1.0});  // the integrand
    EXPECT_TRUE(g_discontinuities.empty());  // within half a modulus of 0.9
    ZRT_idtAcceptTimePoint(idt, &host.loader);
    EXPECT_EQ(g_intSteps, (std::vector<std::vector<double>>{{0.0, 1.0, 0.0, 1.0, 1.0}}));

    // Time going back stops the wrap prediction until a reset.
    prime();
    host.time = 0.5;
    ZRT_idtSetArgMod(idt, 1.0, 0.0, 1.0, 0.0, 1, &host.loader);
    EXPECT_EQ(idt->timeBack, 1u);
    EXPECT_EQ(idt->lastAcceptedTime, 0.5);
    prime();
    ZRT_idtSetArgMod(idt, 1.0, 0.0, 1.0, 0.0, 1, &host.loader);
    EXPECT_TRUE(host.crossViolations.empty());
}

TEST(GetModValue, WrapsIntoTheWindow) {
    EXPECT_EQ(getModValue(7.5, 2, 0), 1.5);
    EXPECT_EQ(getModValue(-0.5, 2, 0), 1.5);
    EXPECT_EQ(getModValue(3, 0, 0), 0.0);
    EXPECT_EQ(getModValue(1, 2, 1), 1.0);
    EXPECT_EQ(getModValue(3.25, 2, 1), 1.25);
    EXPECT_EQ(ZRT_IBR_idt(nullptr, nullptr), 0.0);
}

// ---- system variables, noise, clones, exhausted memory ---------------------------

// A host without the mask slot: the runtime's own analysis table answers.
TEST_F(OperatorTest, MasksWithoutTheHostsSlotComeFromTheRuntimesTable) {
    host.sim.FormAnalysisQueryMask = nullptr;
    idt = ZRT_createOpBranch_idt("_idt1", inst.get());
    ASSERT_NE(idt, nullptr);
    EXPECT_EQ(idt->staticMask, 32u);
    EXPECT_EQ(idt->acNoiseMask, 1u | 4u);
}

TEST_F(OperatorTest, SystemVariablesAndStamps) {
    idt = ZRT_createOpBranch_idt("_idt1", inst.get());
    EXPECT_EQ(inst->flags & ZRT_INST_HAS_OPERATOR, ZRT_INST_HAS_OPERATOR);
    ASSERT_EQ(host.maskQueries.size(), 2u);
    EXPECT_EQ(host.maskQueries[1].names, (std::vector<std::string>{"ac", "noise"}));
    int a = 0, b = 0;
    ZRT_idtSetArgInfo(idt, 2, static_cast<void*>(&a), static_cast<void*>(&b));
    ZRT_idtFinalizeTopology(idt, kExtra, 1);
    ASSERT_EQ(host.systemVars.size(), 1u);
    const auto& rec = host.systemVars[0];
    EXPECT_EQ(rec.varName, "_idt1");
    EXPECT_EQ(rec.two, 2);
    EXPECT_EQ(rec.hostData, kExtra);
    EXPECT_EQ(idt->_branchVar->index, rec.index);
    EXPECT_EQ(idt->_branchVar->flags, uint32_t(ZRT_SV_ANALOG_SYSTEM));
    EXPECT_STREQ(idt->_branchVar->name, "x1._idt1");
    EXPECT_EQ(idt->argInfo[1], &b);
    ZRT_free(idt->argInfo);  // the host's once handed over; this test plays the host

    ZRT_idtSetStamp(idt, kExtra);
    ASSERT_EQ(host.stamps.size(), 3u);
    EXPECT_EQ(host.stamps[0].kind, StampKind::StaticRhs);
    EXPECT_EQ(host.stamps[1].kind, StampKind::DynamicRhs);
    EXPECT_EQ(host.stamps[2].kind, StampKind::Doublet);
    EXPECT_EQ(host.stamps[2].flag1, 2);

    host.sim.CreateSystemStateVar = nullptr;
    ddt = ZRT_createOpBranch_ddt("_ddt1", inst.get());
    ZRT_ddtFinalizeTopology(ddt, kExtra, 0);
    EXPECT_EQ(ddt->_branchVar->index, kUnnumberedSystemVar);
    EXPECT_EQ(ddt->_branchVar->name, nullptr);
    ZRT_ddtSetStamp(ddt, kExtra);
    EXPECT_EQ(host.stamps[5].flag1, 0);
    s_ZRT_StateVar node{};
    const ZRT_Handle h = ZRT_getDerivDoubletOpBranch_ddt(ddt, &node, nullptr, 7, 1, kExtra);
    EXPECT_EQ(host.findStamp(h)->flag1, 7);
}

TEST_F(OperatorTest, NoiseClonesAndDestroy) {
    ddt = ZRT_createOpBranch_ddt("_ddt1", inst.get());
    ZRT_ddtFinalizeTopology(ddt, kExtra, 0);
    ZRT_ddtSetStamp(ddt, kExtra);
    ddt->scale = 2.0;
    ZRT_NoiseSrc& src = inst.noiseSrcs[0];
    src.inst = inst.get();
    ZRT_addNoiseForOp_ddt(&src, ddt, nullptr, 1.5);
    ZRT_addNoiseForOp_ddt(&src, ddt, nullptr, 0.5);
    ASSERT_NE(src.contribs, nullptr);
    EXPECT_EQ(src.contribs->next, nullptr);
    EXPECT_EQ(src.contribs->key, ddt->staticHandle);
    EXPECT_EQ(src.contribs->value, 4.0);
    ZRT_Cmplx r{};
    src.contribs->freqResponse->fn(src.contribs->freqResponse->data, 3.0, &r);
    EXPECT_EQ(r.re, 0.0);
    EXPECT_EQ(r.im, 3.0);

    makeIdt();
    ZRT_addNoiseForOp_idt(&inst.noiseSrcs[1], idt, 0.25);
    EXPECT_EQ(inst.noiseSrcs[1].contribCount, 1u);
    EXPECT_EQ(inst.noiseSrcs[1].contribs->freqResponse, nullptr);

    TestInstance other(host, &device.md, {}, "x2");
    ZRT_OpBranch_ddt* ddtCopy = ZRT_OpClone_ddt(ddt, other.get());
    ZRT_OpBranch_idt* idtCopy = ZRT_OpClone_idt(idt, other.get());
    ASSERT_NE(ddtCopy, nullptr);
    ASSERT_NE(idtCopy, nullptr);
    EXPECT_EQ(ddtCopy->inst, other.get());
    EXPECT_EQ(ddtCopy->freqResponse, nullptr);
    idtCopy->acceptedValue = 9.0;
    EXPECT_EQ(idt->acceptedValue, 0.0);
    ZRT_destroyOpBranch_ddt(ddtCopy);
    ZRT_destroyOpBranch_idt(idtCopy);
}

TEST_F(OperatorTest, ExhaustedMemoryAnswersNull) {
    {
        testhost::LimitedHeap heap(0);
        EXPECT_EQ(ZRT_createOpBranch_ddt("_ddt1", inst.get()), nullptr);
        EXPECT_EQ(ZRT_createOpBranch_idt("_idt1", inst.get()), nullptr);
        EXPECT_EQ(createSystemStateVar("_idt1", inst.get(), nullptr, kExtra, 1), nullptr);
    }
    // Every operation takes the null record the module keeps then.
    ZRT_ddtFinalizeTopology(nullptr, kExtra, 0);
    ZRT_OpBranch_ddt_setArg(nullptr, 1.0, &host.loader);
    ZRT_idtSetArgMod(nullptr, 1.0, 0.0, 1.0, 0.0, 1, &host.loader);
    ZRT_idtGenericLoad(nullptr, &host.loader);
    ZRT_idtAcceptTimePoint(nullptr, &host.loader);
    EXPECT_EQ(ZRT_OpClone_idt(nullptr, inst.get()), nullptr);
    EXPECT_TRUE(host.loads.empty());
}

}  // namespace
