// The cedar models in the test host's circuit: topology and stamps, the
// Jacobian against their own residuals, the right-hand-side load against the
// full load, DC Newton over Id-Vd families, the initial-step paths and
// temperature ranges at their thresholds, noise, and save and restore.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/chain_checks.h"
#include "tests/model_fixture.h"
#include "tests/stream_bytes.h"
#include "analog_files/topology_cedar.h"
#include "tests/topology_check.h"

namespace {

using namespace testhost;

class EachCedarLoad : public ModuleTest {};
class EachCedarState : public ModuleTest {};
class EachCedarTopology : public ModuleTest {};

double var(ModelCircuit& mc, int role) { return chainVar(mc, role); }

// ---- circuit checks -------------------------------------------------------------

// Every per-finger element present (multiplier 1), the first initial-step
// path, the lower temperature ranges and a large source inductance.
TEST_P(EachCedarLoad, JacobianMatchesWithOtherParameters) {
    const char* name = GetParam().name;
    TestHost host;
    const bool a = std::string(name) == "cedar_a";
    ModelCircuit mc(host, moduleSpec(name), a ? std::vector<int32_t>{1} : std::vector<int32_t>{0, 1, 1});
    mc.model.inst.realParams[9] = a ? 30.0 : 15.0;
    mc.model.inst.realParams[5] = 1.0;
    mc.model.inst.realParams[8] = 6e-4;
    EXPECT_GE(checkAcrossInterior(mc, 12), 100);
}

TEST_P(EachCedarLoad, ClosedFormEntriesAndTheZeroSolution) {
    const char* name = GetParam().name;
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name));
    const Loaded zero = loadOnce(host, mc, mc.circuit->zeros());
    for (size_t k = 0; k < zero.rr.size(); ++k) {
        EXPECT_EQ(zero.rr[k], 0.0) << "R " << k;
    }
    DcResult op = mc.solve(-0.5, 3.0);
    ASSERT_TRUE(op.converged);
    const Loaded l = loadOnce(host, mc, op.x);
    const double m173 = var(mc, 173);
    const double s = std::sqrt(m173);
    EXPECT_EQ(l.jr[7], 1.0 / 9.999999999999999e-05);
    EXPECT_NEAR(l.jr[7], 10000.0, 1e-9);
    EXPECT_EQ(l.jr[21], 1e-8);
    EXPECT_EQ(l.jr[15], 1.0);
    EXPECT_EQ(l.jr[16], 1.0);
    EXPECT_EQ(l.jr[22], 1.0);
    EXPECT_EQ(l.jd[11], 1.0000000000000002e-10);
    EXPECT_EQ(l.jd[12], 1e-20);
    EXPECT_EQ(l.jr[23], 4.03141e-10 / s / 9.999999999999999e-05);
    EXPECT_EQ(l.jr[24], s * 5.24897e-11);
    EXPECT_EQ(l.jr[0], 0.1 / m173);
}

// An instance whose limexp descriptor could not be allocated loads what the
// default descriptor gives.
TEST(CedarLoad, AMissingLimexpDescriptorLoadsTheDefaultSoftExponential) {
    TestHost host;
    ModelCircuit mc(host, moduleSpec("cedar_a"));
    DcResult op = mc.solve(-0.5, 3.0);
    ASSERT_TRUE(op.converged);
    const Loaded want = loadOnce(host, mc, op.x);
    s_ZRT_LimexpDesc* desc = mc.model.get()->limexps[0];
    mc.model.get()->limexps[0] = nullptr;
    const Loaded got = loadOnce(host, mc, op.x);
    const Loaded rhs = loadOnce(host, mc, op.x, Circuit::LoadKind::RhsOnly);
    mc.model.get()->limexps[0] = desc;
    EXPECT_TRUE(sameValues(got, want));
    EXPECT_EQ(rhs.rr, want.rr);
}

TEST_P(EachCedarLoad, NoiseAndMultiplicity) {
    const char* name = GetParam().name;
    checkNoiseAndMultiplicity(name, hbx::cedar::Topology::noiseRR);
}

// ---- initial-step paths -----------------------------------------------------------

TEST(CedarInitialStep, CedarAInductanceNumeratorsAndTheGateResistanceBase) {
    // The numerator below P5 = 2 is the fitted 9.999999999999999e-05.
    const double m144 = 2.0 * 4.0 * 0.5 + 1.0;
    const struct {
        double p5, d0;
    } inductance[] = {{1.0, 9.999999999999999e-05 / (m144 * 1.0)},
                      {1.999, 9.999999999999999e-05 / (m144 * 1.999)},
                      {2.0, 1.2992670696828301e-11 / (m144 * 2.0)},
                      {6.0, 0.0}};
    for (const auto& c : inductance) {
        SCOPED_TRACE(c.p5);
        TestHost host;
        ModelCircuit mc(host, moduleSpec("cedar_a"), {0});
        mc.model.inst.realParams[5] = c.p5;
        EXPECT_EQ(loadOnce(host, mc, mc.circuit->zeros()).jd[0], c.d0);
        EXPECT_EQ(mc.model.block().var(141), c.p5 == 6.0 ? 1.2992670696828301e-11 / (m144 * 6.0) : c.d0);
    }

    // G[1] = M157 / P3 observes the base 30 and its reductions on M107.
    const struct {
        double p8, p3, m159;
    } base[] = {{2.5e-4, 2.0, 30.0}, {5e-4, 2.0, 30.0 * 0.7}, {1e-3, 2.0, 30.0 * 0.45}, {1e-3, 0.5, 30.0 * 0.7}};
    for (const auto& c : base) {
        SCOPED_TRACE(c.p8);
        TestHost host;
        ModelCircuit mc(host, moduleSpec("cedar_a"), {0});
        mc.model.inst.realParams[8] = c.p8;
        mc.model.inst.realParams[3] = c.p3;
        const double m107 = c.p8 / 0.001;
        EXPECT_EQ(loadOnce(host, mc, mc.circuit->zeros()).jr[1], m107 * c.m159 / 4.0 / c.p3);
        EXPECT_EQ(mc.model.block().var(159), c.m159);
    }
}

TEST(CedarInitialStep, SelectorPathsOfCedarBAndC) {
    for (const char* name : {"cedar_b", "cedar_c"}) {
        checkInitialStepPaths({name, 2, 1, 0, 1.4492670696828299e-11, 1.93235609291044e-11, 1.93235609291044e-11, 35.0});
    }
}

// ---- temperature ranges ------------------------------------------------------------

struct Temperatures {
    double d8, d10, m65;
};
Temperatures temperaturesAt(const char* name, double p9, std::vector<int32_t> ints = {}) {
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name), ints);
    mc.model.inst.realParams[9] = p9;
    const Loaded l = loadOnce(host, mc, mc.circuit->zeros());
    EXPECT_EQ(l.jd[10], var(mc, 59) * var(mc, 173));
    return {l.jd[8], l.jd[10] / var(mc, 173), var(mc, 65)};
}

double xt1Capacitance(double p9, double m180, double m177) { return ((p9 - 50.0) * m180 + 1.0) * m177; }

TEST(CedarTemperature, CedarASelectsAt40And20) {
    for (double p9 : {19.999, 20.0, 39.999, 40.0}) {
        SCOPED_TRACE(p9);
        const Temperatures t = temperaturesAt("cedar_a", p9);
        if (p9 >= 40.0) {
            EXPECT_EQ(t.d8, xt1Capacitance(p9, 0.021, 5.2000000000000005e-12));
            EXPECT_EQ(t.d10, 2.7601043452010997e-13 * (1.0 - (p9 - 50.0) * 0.02));
        } else {
            EXPECT_EQ(t.d8, xt1Capacitance(p9, 0.0091, 4.5e-12));
            EXPECT_EQ(t.d10, 3.381314741036e-13 * (1.0 - (p9 - 40.0) * 0.007));
        }
        EXPECT_EQ(t.m65, p9 >= 20.0 ? 1.8778403987241e-13 : 3.8678403987241e-13);
    }
}

TEST(CedarTemperature, CedarBAndCSelectAt25) {
    for (const char* name : {"cedar_b", "cedar_c"}) {
        for (double p9 : {24.999, 25.0}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(p9));
            const Temperatures t = temperaturesAt(name, p9);
            const bool upper = p9 >= 25.0;
            EXPECT_EQ(t.d8, upper ? xt1Capacitance(p9, 0.018, 5.48e-12) : xt1Capacitance(p9, 0.01, 4.5e-12));
            EXPECT_EQ(t.m65, upper ? 1.0678403987241e-13 : 3.8678403987241e-13);
            if (std::string(name) == "cedar_b") {
                EXPECT_EQ(t.d10, upper ? 2.59010434520112e-13 * (1.0 - (p9 - 50.0) * 0.027) : 4.421314741036e-13);
            }
        }
    }
    // cedar_c's M59 has three ranges of its own.
    for (double p9 : {19.999, 20.0, 36.999, 37.0}) {
        SCOPED_TRACE(p9);
        const double want = p9 >= 37.0   ? 2.9271043452011196e-13 * (1.0 - (p9 - 50.0) * 0.027)
                            : p9 >= 20.0 ? 3.881314741036e-13 * (1.0 - (p9 - 37.0) * 0.01)
                                         : 4.601314741036e-13 * (1.0 - (p9 - 20.0) * 0.0025);
        EXPECT_EQ(temperaturesAt("cedar_c", p9).d10, want);
    }
}

TEST(CedarTemperature, LowTemperatureValuesOutliveTheInvariantFlag) {
    TestHost host;
    ModelCircuit mc(host, moduleSpec("cedar_b"));
    mc.model.inst.realParams[9] = 10.0;
    DcResult op = mc.solve(-0.5, 3.0);
    ASSERT_TRUE(op.converged);
    mc.model.md.forceExecInvarCode(mc.model.get(), 1);
    const Loaded set = loadOnce(host, mc, op.x);
    EXPECT_EQ(mc.model.block().execInvariant(), 0);
    const Loaded clear = loadOnce(host, mc, op.x);
    EXPECT_TRUE(sameValues(set, clear));
    EXPECT_EQ(clear.jd[8], xt1Capacitance(10.0, 0.01, 4.5e-12));
    BlockView b = mc.model.block();
    EXPECT_EQ(b.history(10), 3.8678403987241e-13);
    EXPECT_EQ(b.history(17), 4.421314741036e-13);
}

TEST(CedarTemperature, FactorsFollowIntegerParameterZero) {
    for (const char* name : {"cedar_b", "cedar_c"}) {
        SCOPED_TRACE(name);
        TestHost host;
        ModelCircuit one(host, moduleSpec(name), {1, 0, 0});
        ModelCircuit zero(host, moduleSpec(name), {0, 0, 0});
        const Loaded l1 = loadOnce(host, one, one.circuit->zeros());
        const Loaded l0 = loadOnce(host, zero, zero.circuit->zeros());
        const double m59 = var(zero, 59), m173 = var(zero, 173);
        EXPECT_EQ(l1.jd[10], 1.0 * m59 * m173);
        EXPECT_EQ(l0.jd[10], 0.6 * m59 * m173);
        EXPECT_EQ(var(zero, 162), 0.1 * 50.0);
        EXPECT_EQ(var(zero, 166), 1.5 * 0.8);
        EXPECT_EQ(var(zero, 76), var(zero, 78) * 0.8);
        EXPECT_EQ(var(zero, 69), 1.87 * var(zero, 68));
        const double m160 = (std::tanh((45.0 - 50.0) * 0.03) + 1.0) * (0.1 * 50.0) + 0.001;
        EXPECT_DOUBLE_EQ(l0.jr[10], 1.0 / (m160 / m173));
        EXPECT_NE(l0.jr[10], l1.jr[10]);
    }
}

// ---- evaluation details --------------------------------------------------------------

TEST(CedarEquations, SoftBreakdownAtItsThresholds) { checkSoftBreakdown("cedar_a"); }

TEST(CedarEquations, ParameterOnlyQuantitiesWaitForTheInvariantFlag) {
    TestHost host;
    ModelCircuit mc(host, moduleSpec("cedar_a"));
    const std::vector<double> x = mc.circuit->zeros();
    loadOnce(host, mc, x);
    const double m109 = var(mc, 109);
    EXPECT_EQ(var(mc, 13), -2.0);
    mc.model.inst.realParams[10] = -1.0;
    mc.model.inst.realParams[1] = 40.0;
    loadOnce(host, mc, x);
    EXPECT_EQ(var(mc, 13), -2.0);
    EXPECT_EQ(var(mc, 109), m109);
    mc.model.md.forceExecInvarCode(mc.model.get(), 1);
    loadOnce(host, mc, x);
    EXPECT_EQ(var(mc, 13), -1.0);
    EXPECT_NE(var(mc, 109), m109);
}

// The selections the Part runs on every call follow a parameter changed
// between loads while the invariant flag stays clear, however the load keeps
// their standard-function results: M160's tanh of P9, M133's finger choice on
// P4, and M50's power of a model variable.
TEST(CedarEquations, EveryCallSelectionsFollowParametersChangedBetweenLoads) {
    TestHost host;
    ModelCircuit mc(host, moduleSpec("cedar_a"));
    const std::vector<double> x = mc.circuit->zeros();
    loadOnce(host, mc, x);
    loadOnce(host, mc, x);
    EXPECT_EQ(var(mc, 133), 4.0 * 6.80721391608491e-12);
    host.isInitialStep = 0;  // which would store M55's constant again
    mc.model.inst.realParams[9] = 30.0;
    mc.model.inst.realParams[4] = 6.0;
    mc.model.block().var(55) = 2.0;
    loadOnce(host, mc, x);
    EXPECT_EQ(mc.model.block().execInvariant(), 0);
    EXPECT_EQ(var(mc, 160), (std::tanh((30.0 - 50.0) * var(mc, 163)) + 1.0) * var(mc, 162) + 0.001);
    EXPECT_EQ(var(mc, 133), 6.0 * 5.48020575472414e-12);
    EXPECT_EQ(var(mc, 50), std::pow(100.0 / (var(mc, 187) + 50.0), 2.0) * var(mc, 51));
}

TEST(CedarVariants, BAndCDifferOnlyThroughTheDiSiCapacitance) {
    TestHost host;
    ModelCircuit b(host, moduleSpec("cedar_b"));
    ModelCircuit c(host, moduleSpec("cedar_c"));
    DcResult op = b.solve(-0.5, 4.0);
    ASSERT_TRUE(op.converged);
    const Loaded lb = loadOnce(host, b, op.x);
    const Loaded lc = loadOnce(host, c, op.x);
    EXPECT_EQ(lb.rr, lc.rr);
    EXPECT_EQ(lb.jr, lc.jr);
    for (size_t k = 0; k < lb.rd.size(); ++k) {
        if (k != 10) {
            EXPECT_EQ(lb.rd[k], lc.rd[k]) << "Q " << k;
        }
    }
    EXPECT_NE(lb.jd[10], lc.jd[10]);
}

// ---- save and restore --------------------------------------------------------------

TEST(CedarState, SavedLayoutAndLength) {
    const struct {
        const char* name;
        size_t bytes;
        std::vector<std::pair<size_t, double>> values;
    } cases[] = {
        {"cedar_a", 1695, {{0, 1e-20}, {199, 1.2}, {139, 1.73235609291044e-11}, {142, 0.0}}},
        {"cedar_b", 1607, {{61, 1.0678403987241e-13}, {59, 0.027}, {195, 0.0}, {132, 1.93235609291044e-11}}},
        {"cedar_c", 1647, {{58, 4.601314741036e-13}, {59, 3.881314741036e-13}, {63, 0.01}, {139, 0.0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestHost host;
        ModelCircuit mc(host, moduleSpec(c.name));
        loadOnce(host, mc, mc.circuit->zeros());
        const std::vector<uint8_t> bytes = saveState(mc.model);
        ASSERT_EQ(bytes.size(), c.bytes);
        for (auto [k, v] : c.values) {
            EXPECT_EQ(readAt<double>(bytes, 8 * k), v) << k;
        }
        if (std::string(c.name) == "cedar_a") {
            EXPECT_EQ(readAt<int32_t>(bytes, 206 * 8), 1);
            EXPECT_EQ(readAt<int32_t>(bytes, 206 * 8 + 4), 1);
        }
    }
}

TEST_P(EachCedarState, RestoreGivesTheSameLoadsAndRefusesDamagedStreams) {
    const char* name = GetParam().name;
    checkSaveRestore(moduleSpec(name));
}

TEST(CedarState, CedarAsRestoredFirstIntegerIsItsFactor) {
    TestHost host;
    ModelCircuit source(host, moduleSpec("cedar_a"));
    ModelCircuit target(host, moduleSpec("cedar_a"));
    loadOnce(host, source, source.circuit->zeros());
    std::vector<uint8_t> bytes = saveState(source.model);
    writeAt<int32_t>(bytes, 206 * 8, 0);
    ASSERT_EQ(restoreState(target.model, bytes), 1);
    EXPECT_EQ(target.model.block().intVar(0), 0);
    EXPECT_EQ(target.model.block().intVar(1), 1);
    host.isInitialStep = 0;
    loadOnce(host, target, target.circuit->zeros());
    EXPECT_EQ(var(target, 76), var(target, 78) * 0.8);
    EXPECT_EQ(var(target, 56), 0.6 * var(target, 59));
}

// ---- topology ------------------------------------------------------------------------

// The reports of cedar_b and cedar_c; cedar_a reports the di-si branch under
// its own name, last.
std::vector<std::string> cedarReport(bool a) {
    std::vector<std::string> names = {
        "_ub_dRF_si_i",   "_ub_d_di_i",     "_ub_d_s_i",      "_ub_di_dRF_i", "_ub_di_si_i",   "_ub_dii_si_i",
        "_ub_g_d_i",      "_ub_g_gi_i",     "_ub_g_s_i",      "_ub_gdi_di_i", "_ub_gi_gdi_i",  "_ub_gi_gp_i",
        "_ub_gn_si_i",    "_ub_gp_gn_i",    "_ub_n12__gnd_i", "_ub_nTj__gnd_i", "_ub_s_sii_i", "_ub_sii_si_i",
        "_ub_xt1__gnd_i", "_ub_xt1_xt2_i",  "_ub_xt2__gnd_i"};
    if (a) {
        names.erase(names.begin() + 4);
        names.push_back("cds_br_i");
    }
    return names;
}

TEST_P(EachCedarTopology, BranchesReportsStampsAndNoise) {
    const char* name = GetParam().name;
    checkTopology({name,
                   {"_ub_d_di_i", "_ub_g_gi_i", "_ub_s_sii_i", "_ub_sii_si_i", "_ub_xt1_xt2_i"},
                   10,
                   cedarReport(std::string(name) == "cedar_a"),
                   {3, 4, 14, 7, 12, 2, 1, 17, 19, 18, 15, 16, 24, 26, 5, 11, 10, 21, 9, 8, 20, 6, 13, 22, 23, 25},
                   {29, 35, 31, 34, 28, 27, 37, 36, 39, 30, 33, 38, 32},
                   {48, 46, 44, 43, 41, 45, 40, 58, 60, 61, 57, 71, 70, 69, 72, 74, 55, 65,
                    64, 63, 66, 52, 62, 59, 54, 53, 42, 56, 47, 68, 49, 67, 50, 73, 51},
                   {77, 85, 81, 82, 76, 75, 84, 83, 87, 78, 80, 86, 79},
                   {6, 8, 12, 17},
                   {6, 7},
                   {2, 3, 4, 5, 6, 9, 11, 12, 13, 14, 17, 18, 19, 20},
                   {6, 7},
                   {20, 4, 7, 15}});
}

TEST_P(EachCedarTopology, NodesOfSomeRequestsAndReports) {
    const char* name = GetParam().name;
    TestHost host;
    ModelInstance m(host, moduleSpec(name));
    m.setUp();
    s_ZRT_DeviceInst* inst = m.get();
    // Branch s-sii runs from s to sii.
    EXPECT_EQ(inst->internalVars[12]->branch->pos, inst->nodeVars[2]);
    EXPECT_EQ(inst->internalVars[12]->branch->neg, inst->internalVars[7]);
    const bool a = std::string(name) == "cedar_a";
    const TopologyReport& diSi = host.topology[a ? 20 : 4];
    EXPECT_EQ(diSi.a, inst->nodeVars[1]);
    EXPECT_EQ(diSi.b, inst->nodeVars[4]);
    EXPECT_EQ(diSi.kind, 1);
    EXPECT_EQ(host.topology[a ? 16 : 17].kind, 0);  // sii-si
    // Requests 52 and 53: (dRF, si) x (dRF, si), then (d, di) x branch d-di.
    EXPECT_EQ(host.stamps[51].rowA, inst->internalVars[0]);
    EXPECT_EQ(host.stamps[51].colB, inst->nodeVars[4]);
    EXPECT_EQ(host.stamps[52].rowA, inst->nodeVars[6]);
    EXPECT_EQ(host.stamps[52].colA, inst->internalVars[10]);
    // Request 3: the residual of branch s-sii; 67: (sii, si) x branch sii-si.
    EXPECT_EQ(host.stamps[2].rowA, inst->internalVars[12]);
    EXPECT_EQ(host.stamps[2].rowB, nullptr);
    EXPECT_EQ(host.stamps[66].rowA, inst->internalVars[7]);
    EXPECT_EQ(host.stamps[66].colA, inst->internalVars[13]);
    // Request 45: branch d-di x nTj, a node of the first array.
    EXPECT_EQ(host.stamps[44].colA, inst->nodeVars[5]);
    EXPECT_EQ(host.stamps[44].colB, nullptr);
}

TEST_P(EachCedarTopology, APreexistingSourceBranchIsCollapsed) {
    const char* name = GetParam().name;
    checkCollapsedSourceBranch(name, true);
}

TEST(CedarTopology, NoReportWithoutTheHostSlot) {
    TestHost host;
    host.sim.ReportTopology = nullptr;
    ModelInstance m(host, moduleSpec("cedar_a"));
    m.setUp();
    EXPECT_TRUE(host.topology.empty());
    EXPECT_EQ(host.stamps.size(), 87u);
}

INSTANTIATE_TEST_SUITE_P(Models, EachCedarLoad, ::testing::ValuesIn(modulesOf(Family::Cedar)), ModuleName());
INSTANTIATE_TEST_SUITE_P(Models, EachCedarState, ::testing::ValuesIn(modulesOf(Family::Cedar)), ModuleName());
INSTANTIATE_TEST_SUITE_P(Models, EachCedarTopology, ::testing::ValuesIn(modulesOf(Family::Cedar)), ModuleName());

}  // namespace
