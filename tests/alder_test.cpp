// The alder models in the test host's circuit: Jacobians against their own
// residuals, the right-hand-side load against the full load, DC Newton over
// Id-Vd families, and the load procedure's multiplicity, noise, collapse
// and invariant handling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/model_fixture.h"
#include "tests/stamp_positions.h"
#include "analog_files/topology_alder.h"

namespace {

using namespace testhost;
using namespace hbx::alder;
using hbx::gnd;
using At = StampsOf<Topology>;


TEST(AlderLoad, MultiplicityScalesValuesAndNoiseContributions) {
    TestHost host;
    ModelCircuit mc(host, moduleSpec("alder_a"));
    DcResult op = mc.solve(-0.5, 3.0);
    ASSERT_TRUE(op.converged);
    host.doNoise = 1;
    const Loaded one = loadOnce(host, mc, op.x);
    ZRT_NoiseSrc* src = mc.model.get()->noiseSrcs;
    double powers[4];
    for (int k = 0; k < 4; ++k) {
        powers[k] = src[k].power;
        ASSERT_NE(src[k].contribs, nullptr);
        EXPECT_EQ(src[k].contribs->value, 1.0);
    }

    for (double m : {2.0, 0.0, std::nan("")}) {
        SCOPED_TRACE(m);
        mc.model.inst.realParams[0] = m;
        const Loaded scaled = loadOnce(host, mc, op.x);
        const std::pair<const std::vector<double>*, const std::vector<double>*> pairs[] = {
            {&one.rr, &scaled.rr}, {&one.rd, &scaled.rd}, {&one.jr, &scaled.jr}, {&one.jd, &scaled.jd}};
        for (auto [a, b] : pairs) {
            ASSERT_EQ(a->size(), b->size());
            for (size_t k = 0; k < a->size(); ++k) {
                const double want = (*a)[k] * m;
                if (std::isnan(m)) {
                    EXPECT_TRUE(std::isnan((*b)[k]));
                } else {
                    EXPECT_EQ((*b)[k], want) << k;
                }
            }
        }
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(src[k].power, powers[k]);
            const double c = src[k].contribs->value;
            if (std::isnan(m)) {
                EXPECT_TRUE(std::isnan(c));
            } else {
                EXPECT_EQ(c, std::sqrt(m));
            }
        }
    }
}

TEST(AlderLoad, NoiseSourcesArePoweredOnTheirResiduals) {
    TestHost host;
    ModelCircuit mc(host, moduleSpec("alder_a"));
    DcResult op = mc.solve(-0.5, 3.0);
    ASSERT_TRUE(op.converged);
    BlockView b = mc.model.block();

    // Outside a noise analysis the full load asks DoNoise five times (the
    // clear and once per source) and touches no source; the other load once.
    const ZRT_LoaderQueryFn saved = host.loader.DoNoise;
    host.doNoise = 0;
    host.doNoiseCalls = 0;
    mc.model.md.genericAnalogLoad(mc.model.get(), &host.loader);
    EXPECT_EQ(host.doNoiseCalls, 5);
    EXPECT_EQ(mc.model.get()->noiseSrcs[0].contribs, nullptr);
    host.doNoiseCalls = 0;
    mc.model.md.genericAnalogLoadRHS(mc.model.get(), &host.loader);
    EXPECT_EQ(host.doNoiseCalls, 1);

    // A loader without DoNoise (the static-check loader has none) loads safely.
    mc.model.md.genericAnalogLoad(mc.model.get(), &ZRT_StaticCheckLoader);
    mc.model.md.genericAnalogLoadRHS(mc.model.get(), &ZRT_StaticCheckLoader);
    host.loader.DoNoise = nullptr;
    mc.model.md.genericAnalogLoad(mc.model.get(), &host.loader);
    host.loader.DoNoise = saved;

    // During a noise analysis each source gets its power and one contribution
    // keyed by the residual handle it drives.
    host.doNoise = 1;
    mc.circuit->load(op.x);
    ZRT_NoiseSrc* src = mc.model.get()->noiseSrcs;
    const double m173 = b.var(173), m93 = b.var(93), m92 = b.var(92), m123 = b.var(123), m124 = b.var(124);
    EXPECT_EQ(src[0].power, m93);
    EXPECT_EQ(src[1].power, m92 * m92 * m173);
    EXPECT_EQ(src[2].power, (1.0 - m93) * m124 * m124);
    EXPECT_EQ(src[3].power, (1.0 - m93) * m123 * m123);
    const auto& drives = hbx::alder::Topology::noiseRR;
    for (int k = 0; k < 4; ++k) {
        ASSERT_NE(src[k].contribs, nullptr);
        EXPECT_EQ(src[k].contribs->key, b.rr(drives[k]));
        EXPECT_EQ(src[k].contribs->next, nullptr);
        EXPECT_EQ(src[k].contribCount, 1u);
    }
    EXPECT_GT(m173, 0.0);
    EXPECT_TRUE(host.messages.empty());
}

TEST(AlderLoad, ACollapsedBranchGetsNoneOfItsEquationTerms) {
    TestHost host;
    ModelInstance m(host, moduleSpec("alder_a"));
    setParams(m);
    s_ZRT_DeviceInst* inst = m.get();
    m.md.finalizeAnalogTopology(inst);
    // Someone else made the g-gi branch first.
    ZRT_CreateBranchStateVar("_ub_g_gi_i", ZRT_BRANCH_DEFAULT, inst->nodeVars[0], inst->internalVars[2], inst,
                             nullptr);
    m.md.createBranches(inst, nullptr);
    m.md.setAnalogStamp(inst, nullptr);
    ASSERT_EQ(m.block().collapsed(7), 1);
    host.isInitialStep = 1;
    host.solution.assign(200, 0.3);
    m.md.genericAnalogLoad(inst, &host.loader);
    const Loaded l = lastLoad(host);
    EXPECT_EQ(l.rr[At::rr(g, gi)], 0.0);
    EXPECT_EQ(l.jr[At::jr(g, gi, bGgi, gnd)], 0.0);
    EXPECT_EQ(l.jr[At::jr(bGgi, gnd, g, gi)], 0.0);
    // Its row keeps what the equations add: the g-gi resistance times its flow.
    EXPECT_NE(l.rr[At::rr(bGgi, gnd)], 0.0);
    // The uncollapsed d-di branch has all four.
    EXPECT_EQ(l.jr[At::jr(d, di, bDdi, gnd)], 1.0);
    EXPECT_EQ(l.jr[At::jr(bDdi, gnd, d, di)], -1.0);
    EXPECT_EQ(l.rr[At::rr(d, di)], 0.3);
}

TEST(AlderLoad, ParameterOnlyQuantitiesWaitForTheInvariantFlag) {
    TestHost host;
    ModelCircuit mc(host, moduleSpec("alder_a"));
    BlockView b = mc.model.block();
    std::vector<double> x = mc.circuit->zeros();
    mc.circuit->load(x);
    EXPECT_EQ(b.execInvariant(), 0);
    EXPECT_EQ(b.var(15), -2.0);  // P[10]
    mc.model.inst.realParams[10] = -1.0;
    mc.circuit->load(x, Circuit::LoadKind::RhsOnly);
    EXPECT_EQ(b.var(15), -2.0);
    mc.model.md.forceExecInvarCode(mc.model.get(), 1);
    mc.circuit->load(x, Circuit::LoadKind::RhsOnly);
    EXPECT_EQ(b.var(15), -1.0);
    EXPECT_EQ(b.execInvariant(), 0);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(b.history(k), 0.0);
    }
}

// Loads alder_a once with the given node voltages and answers its block.
struct OneLoad {
    TestHost host;
    ModelCircuit mc{host, moduleSpec("alder_a")};
    BlockView b = mc.model.block();
    void at(double vdisi) {
        std::vector<double> x = mc.circuit->zeros();
        mc.circuit->set(x, mc.model.inst.nodeVars[1], vdisi);
        mc.circuit->load(x);
    }
};

TEST(AlderEquations, SoftBreakdownAtItsThresholds) {
    OneLoad l;
    l.at(4.999);
    EXPECT_EQ(l.b.var(118), 0.0);
    l.at(5.0);
    EXPECT_EQ(l.b.var(118), ZRT_exp_FP(-58.0));
    l.at(200.0);
    EXPECT_EQ(l.b.var(118), ZRT_exp_FP(20.0));
    l.at(250.0);
    EXPECT_EQ(l.b.var(118), ZRT_exp_FP(20.0) * 21.0);
}

// Where the equations leave a NaN's branch open they follow the family's
// convention: the exponential of the breakdown term, the clamp at -500 of the
// gate-drain capacitance.
TEST(AlderEquations, NaNTakesTheFamilysBranches) {
    OneLoad l;
    std::vector<double> x = l.mc.circuit->zeros();
    const double nan = std::nan("");
    l.mc.circuit->set(x, l.mc.model.inst.nodeVars[1], nan);       // di
    l.mc.circuit->set(x, l.mc.model.inst.internalVars[4], nan);   // gp
    l.mc.circuit->load(x);
    EXPECT_EQ(l.b.var(118), ZRT_exp_FP(nan));
    EXPECT_EQ(l.b.var(65), l.b.var(72));
    EXPECT_TRUE(std::isnan(l.b.var(31)));
}

// The gate diode of gp-gn takes its straight continuation at a NaN, as above
// 20: a NaN leakage current with the continuation's slope.
TEST(AlderEquations, NaNGateDiodeTakesTheContinuation) {
    OneLoad l;
    std::vector<double> x = l.mc.circuit->zeros();
    l.mc.circuit->set(x, l.mc.model.inst.internalVars[4], 10.0);  // gp: 25 diode voltages, continued
    const Loaded above = loadOnce(l.host, l.mc, x);
    l.mc.circuit->set(x, l.mc.model.inst.internalVars[4], std::nan(""));
    const Loaded atNaN = loadOnce(l.host, l.mc, x);
    EXPECT_TRUE(std::isnan(atNaN.rr[7]));
    EXPECT_TRUE(std::isfinite(above.jr[9]) && above.jr[9] > 0.0);
    EXPECT_EQ(atNaN.jr[9], above.jr[9]);
}

TEST(AlderEquations, InitialStepChoices) {
    struct Case {
        int32_t selector;
        double p9, p4;
    };
    for (Case c : {Case{0, 24.0, 4.0}, Case{3, 23.999, 6.0}, Case{1, 45.0, 4.0}, Case{2, 45.0, 4.0}}) {
        TestHost host;
        ModelCircuit mc(host, moduleSpec("alder_a"), {1, c.selector});
        mc.model.inst.realParams[9] = c.p9;
        mc.model.inst.realParams[4] = c.p4;
        mc.circuit->load(mc.circuit->zeros());
        BlockView b = mc.model.block();
        // Temperature choice at P[9] = 24.
        if (c.p9 >= 24.0) {
            EXPECT_EQ(b.var(68), b.var(66));
            EXPECT_EQ(b.var(155), 2 * b.var(152));
        } else {
            EXPECT_EQ(b.var(68), b.var(67));
            EXPECT_EQ(b.var(155), b.var(153));
        }
        // Finger-count choice: P[4] = 4 takes the even branch.
        EXPECT_EQ(b.var(136), c.p4 == 4.0 ? 4.0 * b.var(138) : 6.0 * b.var(137));
        // Gate-charge case.
        switch (c.selector) {
        case 0:
            EXPECT_EQ(b.var(141), 0.0);
            EXPECT_EQ(b.var(135), 5.61359588907467e-10);
            break;
        case 1:
            EXPECT_EQ(b.var(131), b.var(129));
            EXPECT_EQ(b.var(141), 1.4839600844640362e-11 / (2.5 * b.var(146)));
            break;
        case 2:
            EXPECT_EQ(b.var(141), 1.1e-11);
            EXPECT_EQ(b.var(134), 1.9647585611761346e-09);
            break;
        default:
            EXPECT_EQ(b.var(135), 5.61359588907467e-10);
            EXPECT_EQ(b.var(131), 5.63555250628763e-10);
        }
    }
}

TEST(AlderEquations, AllNodesAtZero) {
    OneLoad l;
    const Loaded out = loadOnce(l.host, l.mc, l.mc.circuit->zeros());
    EXPECT_EQ(l.b.var(116), 0.0);
    EXPECT_EQ(out.rr[At::rr(pTj, gnd)], -25.0);  // -P[7]
    EXPECT_EQ(out.rr[At::rr(nTj, gnd)], 0.0);
}

TEST(AlderVariants, BAndCDifferOnlyThroughTheirFittedConstants) {
    TestHost host;
    ModelCircuit b(host, moduleSpec("alder_b"));
    ModelCircuit c(host, moduleSpec("alder_c"));
    DcResult op = b.solve(-0.5, 4.0);
    ASSERT_TRUE(op.converged);
    const Loaded lb = loadOnce(host, b, op.x);
    const Loaded lc = loadOnce(host, c, op.x);
    for (size_t k = 0; k < lb.rr.size(); ++k) EXPECT_EQ(lb.rr[k], lc.rr[k]) << "RR " << k;
    for (size_t k = 0; k < lb.jr.size(); ++k) EXPECT_EQ(lb.jr[k], lc.jr[k]) << "JR " << k;
    for (size_t k = 0; k < lb.rd.size(); ++k) {
        if (k != 10) {
            EXPECT_EQ(lb.rd[k], lc.rd[k]) << "RD " << k;
        }
    }
    EXPECT_NE(lb.rd[At::rd(di, si)], lc.rd[At::rd(di, si)]);  // through variables 58 and 60

    // The same quantity lives at each model's own index: alder_a's 30 is
    // alder_b's 12 and alder_c's 29; alder_a's 12 is alder_b's 24.
    BlockView vb = b.model.block(), vc = c.model.block();
    EXPECT_EQ(vb.var(12), vc.var(29));
    EXPECT_EQ(vb.var(24), vc.var(11));
    EXPECT_EQ(vb.var(127), vc.var(127));
}

TEST(AlderVariants, TheZeroSwitchHoldsVariable127AtZero) {
    TestHost host;
    ModelCircuit b(host, moduleSpec("alder_b"), {1, 1, 0});
    BlockView v = b.model.block();
    const std::vector<double> x = b.circuit->zeros();
    b.circuit->load(x);
    EXPECT_EQ(v.var(127), 0.0);
    EXPECT_EQ(v.history(10), 0.0);
    // Later loads read it back from its history value, initial step or not.
    b.circuit->load(x);
    EXPECT_EQ(v.var(127), 0.0);

    ModelCircuit keep(host, moduleSpec("alder_b"), {1, 0, 0});
    keep.circuit->load(x);
    BlockView k = keep.model.block();
    EXPECT_GT(k.var(127), 0.0);
    EXPECT_EQ(k.history(10), k.var(127));
}


}  // namespace
