// larch_a in the test host's circuit: topology and stamps with the pTj row,
// the Jacobian against its own residuals, the right-hand-side load against
// the full load, DC Newton over an Id-Vd family, the initial-step paths,
// temperature ranges and finger counts at their thresholds, and save and
// restore.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/chain_checks.h"
#include "tests/model_fixture.h"
#include "tests/stamp_positions.h"
#include "tests/stream_bytes.h"
#include "tests/topology_check.h"
#include "analog_files/topology_larch.h"

namespace {

using namespace testhost;
using Larch = hbx::larch::Topology;
using At = StampsOf<Larch>;

// larch_a's model variable k.
double var(ModelCircuit& mc, int k) { return mc.model.block().var(k); }

Loaded loadAtZero(TestHost& host, ModelCircuit& mc) { return loadOnce(host, mc, mc.circuit->zeros()); }

// ---- topology ------------------------------------------------------------------------

TEST(LarchTopology, BranchesReportsStampsAndNoise) {
    checkTopology({"larch_a",
                   {"_ub_d_di_i", "_ub_g_gi_i", "_ub_s_sii_i", "_ub_sii_si_i", "_ub_xt1_xt2_i"},
                   11,
                   {"_ub_dRF_si_i", "_ub_d_di_i", "_ub_d_s_i", "_ub_di_dRF_i", "_ub_dii_si_i", "_ub_g_d_i",
                    "_ub_g_gi_i", "_ub_g_s_i", "_ub_gdi_di_i", "_ub_gi_gdi_i", "_ub_gi_gp_i", "_ub_gn_si_i",
                    "_ub_gp_gn_i", "_ub_n12__gnd_i", "_ub_nTj__gnd_i", "_ub_pTj__gnd_i", "_ub_s_sii_i",
                    "_ub_sii_si_i", "_ub_xt1__gnd_i", "_ub_xt1_xt2_i", "_ub_xt2__gnd_i", "cds_br_i"},
                   {3, 4, 14, 7, 12, 2, 1, 17, 19, 18, 15, 16, 25, 27, 5, 11, 10, 21, 22, 9, 8, 20, 6, 13, 23, 24, 26},
                   {30, 36, 32, 35, 29, 28, 38, 37, 40, 31, 34, 39, 33},
                   {49, 47, 45, 44, 42, 46, 41, 59, 61, 62, 58, 74, 73, 72, 75, 77, 56, 66, 65,
                    64, 67, 69, 68, 53, 63, 60, 55, 54, 43, 57, 48, 71, 50, 70, 51, 76, 52},
                   {80, 88, 84, 85, 79, 78, 87, 86, 90, 81, 83, 89, 82},
                   {6, 8, 12, 17},
                   {6, 7},
                   {2, 3, 4, 5, 6, 9, 11, 12, 13, 14, 17, 18, 19, 20},
                   {6, 7},
                   {21, 4, 7, 15}});
}

TEST(LarchTopology, NodesOfThePTjRowAndTheNamedBranch) {
    TestHost host;
    ModelInstance m(host, moduleSpec("larch_a"));
    m.setUp();
    s_ZRT_DeviceInst* inst = m.get();
    // Request 22: pTj to ground; 68: (pTj) x (nTj), nTj in the second array.
    EXPECT_EQ(host.stamps[21].rowA, inst->nodeVars[5]);
    EXPECT_EQ(host.stamps[21].rowB, nullptr);
    EXPECT_EQ(host.stamps[67].rowA, inst->nodeVars[5]);
    EXPECT_EQ(host.stamps[67].colA, inst->internalVars[7]);
    EXPECT_EQ(host.stamps[67].colB, nullptr);
    // Request 71: (s, sii) x branch s-sii.
    EXPECT_EQ(host.stamps[70].rowA, inst->nodeVars[2]);
    EXPECT_EQ(host.stamps[70].rowB, inst->internalVars[8]);
    EXPECT_EQ(host.stamps[70].colA, inst->internalVars[13]);
    const TopologyReport& cds = host.topology.back();
    EXPECT_EQ(cds.name, "cds_br_i");
    EXPECT_EQ(cds.a, inst->nodeVars[1]);
    EXPECT_EQ(cds.b, inst->nodeVars[4]);
    EXPECT_EQ(cds.kind, 1);
}

TEST(LarchTopology, APreexistingSourceBranchIsCollapsed) { checkCollapsedSourceBranch("larch_a", false); }

// ---- circuit checks -------------------------------------------------------------------

// The per-finger elements with the first initial-step path, the lower
// temperature ranges and a large gate resistance base reduction.
TEST(LarchLoad, JacobianMatchesWithOtherParameters) {
    TestHost host;
    ModelCircuit mc(host, moduleSpec("larch_a"), {1, 1});
    mc.model.inst.realParams[9] = 15.0;
    mc.model.inst.realParams[5] = 1.0;
    mc.model.inst.realParams[8] = 8e-4;
    EXPECT_GE(checkAcrossInterior(mc, 14), 100);
}

TEST(LarchLoad, AtTheZeroSolutionOnlyThePTjRowLoads) {
    TestHost host;
    ModelCircuit mc(host, moduleSpec("larch_a"));
    const Loaded l = loadAtZero(host, mc);
    ASSERT_EQ(l.rr.size(), 27u);
    for (size_t k = 0; k < l.rr.size(); ++k) {
        EXPECT_EQ(l.rr[k], k == At::rr(Larch::pTj, hbx::gnd) ? -25.0 : 0.0) << k;
    }
    EXPECT_EQ(l.jr[At::jr(Larch::pTj, hbx::gnd)], 1.0);
    EXPECT_EQ(l.jr[At::jr(Larch::pTj, hbx::gnd, Larch::nTj, hbx::gnd)], -1.0);
}

TEST(LarchLoad, NoiseAndMultiplicity) { checkNoiseAndMultiplicity("larch_a", Larch::noiseRR); }

// ---- initial step ------------------------------------------------------------------------

TEST(LarchInitialStep, SelectorPaths) {
    checkInitialStepPaths({"larch_a", 1, 0, -1, 1.14926706968283e-11, 1.53235609291044e-11, 1.53235609291044e-11, 27.0});

    // Path 1 keeps its quotient in M142 also where the inductance is 0.0;
    // M143 is never written.
    TestHost host;
    ModelCircuit mc(host, moduleSpec("larch_a"), {0, 1});
    mc.model.inst.realParams[5] = 6.0;
    const Loaded l = loadAtZero(host, mc);
    EXPECT_EQ(l.jd[0], 0.0);
    EXPECT_EQ(var(mc, 142), 1.14926706968283e-11 / (5.0 * 6.0));
    EXPECT_EQ(var(mc, 143), 0.0);
}

TEST(LarchInitialStep, GateResistanceBaseOnM108) {
    const struct {
        double p8, p3, m160;
    } cases[] = {{4e-4, 2.0, 27.0}, {8e-4, 0.5, 27.0 * 0.7}, {8e-4, 0.75, 27.0 * 0.45}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.p8);
        TestHost host;
        ModelCircuit mc(host, moduleSpec("larch_a"));
        mc.model.inst.realParams[8] = c.p8;
        mc.model.inst.realParams[3] = c.p3;
        loadAtZero(host, mc);
        const double m108 = c.p8 / 0.001;
        EXPECT_EQ(var(mc, 160), c.m160);
        EXPECT_EQ(var(mc, 158), m108 * c.m160 / 4.0);
        EXPECT_EQ(var(mc, 126), 5.53555250628763e-10 * 0.4);
    }
}

// ---- temperature ranges and finger counts ---------------------------------------------------

TEST(LarchTemperature, SelectionsAt40And20) {
    for (double p9 : {19.999, 20.0, 39.999, 40.0}) {
        SCOPED_TRACE(p9);
        TestHost host;
        ModelCircuit mc(host, moduleSpec("larch_a"));
        mc.model.inst.realParams[9] = p9;
        const Loaded l = loadAtZero(host, mc);
        const double m174 = var(mc, 174);
        if (p9 >= 40.0) {
            EXPECT_EQ(l.jd[8], ((p9 - 50.0) * 0.018 + 1.0) * 4.8e-12);
            EXPECT_EQ(l.jd[10], 3.1501043452011e-13 * (1.0 - (p9 - 50.0) * 0.021) * m174);
        } else {
            EXPECT_EQ(l.jd[8], ((p9 - 50.0) * 0.01 + 1.0) * 4.5e-12);
            EXPECT_EQ(l.jd[10], 3.891314741036e-13 * (1.0 - (p9 - 40.0) * 0.011) * m174);
        }
        const bool upper = p9 >= 20.0;
        EXPECT_EQ(var(mc, 66), upper ? 1.138403987241e-13 : 3.8678403987241e-13);
        EXPECT_EQ(var(mc, 74), upper ? -0.037 : -0.071);
        EXPECT_EQ(var(mc, 69), upper ? 1.2816358931835e-14 : 2.0979030931835e-14);
        // The gdi-di capacitance at V = 0.
        const double q = var(mc, 66) / var(mc, 72);
        EXPECT_EQ(l.jd[7], (q * 1.0 * var(mc, 72) + var(mc, 70)) * m174 * 1.0);
    }
}

TEST(LarchEquations, FingerCountsOnP4) {
    const struct {
        double p4, m134, m137;
    } cases[] = {{4.0, 4.0 * 6.80721391608491e-12, 4.0 * 2.30970733936926e-12},
                 {6.0, 6.0 * 5.48020575472414e-12, 6.0 * 2.30970733936926e-12},
                 {8.0, 6.80721391608491e-12 * 4.0, 2.30970733936926e-12 * 6.0},
                 {NAN, 5.48020575472414e-12 * 6.0, 2.30970733936926e-12 * 6.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.p4);
        TestHost host;
        ModelCircuit mc(host, moduleSpec("larch_a"));
        mc.model.inst.realParams[4] = c.p4;
        const Loaded l = loadAtZero(host, mc);
        EXPECT_EQ(var(mc, 134), c.m134);
        EXPECT_EQ(var(mc, 137), c.m137);
        if (!std::isnan(c.p4)) {
            EXPECT_EQ(l.jd[5], var(mc, 134) / 2.0 * 1.0 + var(mc, 126) / var(mc, 146));
        }
    }
}

TEST(LarchEquations, SoftBreakdownAtItsThresholds) {
    checkSoftBreakdown("larch_a");
    // A V(di, si) that is not a number takes the linear stretch; cedar_a
    // takes the exponential one, which caps it.
    for (const char* name : {"larch_a", "cedar_a"}) {
        TestHost host;
        ModelCircuit mc(host, moduleSpec(name));
        std::vector<double> x = mc.circuit->zeros();
        mc.circuit->set(x, mc.model.inst.nodeVars[1], NAN);
        loadOnce(host, mc, x);
        const double m115 = chainVar(mc, 115);
        if (std::string(name) == "larch_a") {
            EXPECT_TRUE(std::isnan(m115));
        } else {
            EXPECT_EQ(m115, ZRT_exp_FP(NAN));
        }
    }
}

// ---- save and restore -----------------------------------------------------------------------

TEST(LarchState, SavedLayout) {
    TestHost host;
    ModelCircuit mc(host, moduleSpec("larch_a"), {1, 1});
    loadAtZero(host, mc);
    const std::vector<uint8_t> bytes = saveState(mc.model);
    ASSERT_EQ(bytes.size(), 1695u);
    auto at = [&](size_t k) { return readAt<double>(bytes, 8 * k); };
    EXPECT_EQ(at(0), 1e-20);
    EXPECT_EQ(at(2), 1.0);
    EXPECT_EQ(at(142), 1.14926706968283e-11 / (5.0 * 2.5));
    EXPECT_EQ(at(143), 0.0);
    EXPECT_EQ(at(206), 0.0);
    EXPECT_EQ(at(200), 1.2);
}

TEST(LarchState, RestoreGivesTheSameLoadsAndRefusesDamagedStreams) { checkSaveRestore(moduleSpec("larch_a")); }

}  // namespace
