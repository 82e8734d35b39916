// The birch models in the test host's circuit: Jacobians against their own
// residuals (the delayed current's row included), the delay channel, the
// right-hand-side load against the full load, DC Newton over Id-Vd families,
// multiplicity, noise, the two models against each other, birch_c's memory
// values, save and restore with the operator's delay state, and clone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/model_fixture.h"
#include "tests/stamp_positions.h"
#include "tests/stream_bytes.h"
#include "analog_files/topology_birch.h"

namespace {

using namespace testhost;
using namespace hbx::birch;
using hbx::gnd;
using At = StampsOf<Topology>;

class EachBirchLoad : public ModuleTest {};
class EachBirchDelay : public ModuleTest {};
class EachBirchEquations : public ModuleTest {};
class EachBirchState : public ModuleTest {};

bool isC(const ModelCircuit& mc) { return std::string(mc.model.spec.name) == "birch_c"; }

// birch_c numbers its model variables differently: birch_a's index, then
// birch_c's, for the variables the tests read.
int var(const ModelCircuit& mc, int a, int c) { return isC(mc) ? c : a; }

// Integer parameters that switch every extrinsic element on: birch_a's
// factor N1 and inductance case N2, birch_c's factor N0 and selector N1.
std::vector<int32_t> extrinsicOn(const char* name) {
    return std::string(name) == "birch_a" ? std::vector<int32_t>{1, 1, 1} : std::vector<int32_t>{1, 1};
}

ZRT_OpBranch_delay* opOf(ModelCircuit& mc) { return static_cast<ZRT_OpBranch_delay*>(mc.model.block().op()); }
s_ZRT_StateVar* opVar(ModelCircuit& mc) { return ZRT_getBranchVar_delay(opOf(mc)); }

// Values of one load, by slot: the module's four batches, the operator's
// own residual and self-derivative, and what reached the host's delay.
struct DelayLoad {
    std::vector<double> rr, rd, jr, jd;
    double opResidual = NAN, opSelf = NAN;
    double x = NAN, td = NAN, tdmax = NAN;
    std::vector<double> derivs;
};

DelayLoad loadWithDelay(TestHost& host, ModelCircuit& mc, const std::vector<double>& x,
                Circuit::LoadKind kind = Circuit::LoadKind::Full) {
    const size_t firstDelay = host.delayLoads.size();
    const size_t firstDeriv = host.delayDerivs.size();
    mc.circuit->load(x, kind);
    DelayLoad out;
    for (const LoadRecord& r : host.loads) {
        switch (r.slot) {
        case LoadSlot::StaticRhs:
            if (r.values.size() == 1) {
                out.opResidual = r.values[0];
            } else {
                out.rr = r.values;
            }
            break;
        case LoadSlot::DynamicRhs: out.rd = r.values; break;
        case LoadSlot::StaticJacobian: out.jr = r.values; break;
        case LoadSlot::DynamicJacobian: out.jd = r.values; break;
        case LoadSlot::StaticDoublet: out.opSelf = r.values.at(0); break;
        default: break;
        }
    }
    EXPECT_EQ(host.delayLoads.size(), firstDelay + 1);
    if (host.delayLoads.size() > firstDelay) {
        const DelayLoadRecord& d = host.delayLoads.back();
        out.x = d.x;
        out.td = d.td;
        out.tdmax = d.tdmax;
    }
    for (size_t k = firstDeriv; k < host.delayDerivs.size(); ++k) {
        out.derivs.push_back(host.delayDerivs[k].deriv);
    }
    return out;
}

// ---- the circuit checks ---------------------------------------------------------

// Every J and C entry, the delayed current's row among them, against central
// differences of the residuals, on and off the operating point; the
// right-hand-side load bit for bit against the full load, with the same
// delayed input and delay.
TEST_P(EachBirchLoad, JacobianMatchesItsResidualsAcrossTheInterior) {
    const char* name = GetParam().name;
    for (bool extrinsic : {false, true}) {
        SCOPED_TRACE(std::string(name) + (extrinsic ? " extrinsic on" : ""));
        TestHost host;
        ModelCircuit mc(host, moduleSpec(name), extrinsic ? extrinsicOn(name) : std::vector<int32_t>{});
        std::vector<std::pair<double, double>> points = interiorBiasPoints();
        if (extrinsic) {
            points.resize(points.size() / 2);
        }
        const int checked = checkAcrossInterior(mc, 11, points, [&](const std::vector<double>& x) {
            const DelayLoad full = loadWithDelay(host, mc, x);
            const DelayLoad part = loadWithDelay(host, mc, x, Circuit::LoadKind::RhsOnly);
            EXPECT_EQ(std::memcmp(&full.x, &part.x, sizeof(double)), 0);
            EXPECT_EQ(full.td, part.td);
            EXPECT_TRUE(part.derivs.empty());
        });
        EXPECT_GE(checked, extrinsic ? 50 : 100);
    }
}

// The four derivatives that LoadDelay_dwrt receives against central
// differences of the input that LoadDelay receives.
TEST_P(EachBirchLoad, DelayDerivativesMatchTheDelayedInput) {
    const char* name = GetParam().name;
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name), extrinsicOn(name));
    s_ZRT_DeviceInst* inst = mc.model.get();
    // The first node of each doublet's pair: gi, di, dRF, nTj.
    const s_ZRT_StateVar* moved[4] = {inst->internalVars[2], inst->nodeVars[1], inst->internalVars[0],
                                      inst->internalVars[6]};
    int checked = 0;
    for (auto [vg, vd] : interiorBiasPoints()) {
        DcResult op = mc.solve(vg, vd);
        ASSERT_TRUE(op.converged);
        const DelayLoad base = loadWithDelay(host, mc, op.x);
        ASSERT_EQ(base.derivs.size(), 4u);
        for (int k = 0; k < 4; ++k) {
            const size_t u = mc.circuit->at(moved[k]);
            const double h = 1e-6 * std::max(1.0, std::fabs(op.x[u]));
            std::vector<double> xp = op.x, xm = op.x;
            xp[u] += h;
            xm[u] -= h;
            const double numeric = (loadWithDelay(host, mc, xp).x - loadWithDelay(host, mc, xm).x) / (xp[u] - xm[u]);
            const double analytic = base.derivs[k];
            EXPECT_NEAR(analytic, numeric, 1e-5 * std::max(std::fabs(analytic), 1e-3))
                << "doublet " << k << " at vg " << vg << " vd " << vd;
            checked += analytic != 0.0;
        }
    }
    EXPECT_GE(checked, 100);
}

TEST_P(EachBirchLoad, NewtonConvergesOverAnIdVdFamily) {
    const char* name = GetParam().name;
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name));
    const std::vector<double> gates = {-2.0, -1.5, -1.0, -0.5, 0.0, 0.5};
    std::vector<double> drains;
    for (int k = 0; k < 20; ++k) {
        drains.push_back(-1.0 + 0.6 * k);
    }
    std::vector<IdVdPoint> family = mc.circuit->idVdFamily(mc.terminals(), gates, drains);
    ASSERT_EQ(family.size(), gates.size() * drains.size());
    const std::vector<std::string> faults = familyFaults(family, drains.size(), 0.3);
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults, first: " << faults.front();
    // In DC the delayed current is the present input (the operator's row
    // balances), and it is what the drain carries.
    const size_t opRow = mc.circuit->at(opVar(mc));
    for (const IdVdPoint& p : family) {
        ASSERT_TRUE(p.result.converged);
        EXPECT_LE(std::fabs(p.result.deviceResidual[opRow]), 1e-9 * (1.0 + std::fabs(p.drainCurrent)));
        EXPECT_NEAR(p.drainCurrent, p.result.x[opRow], 1e-9 + 1e-6 * std::fabs(p.drainCurrent));
    }
    const size_t vd5 = 10;
    EXPECT_GT(family[5 * drains.size() + vd5].drainCurrent, family[3 * drains.size() + vd5].drainCurrent);
    EXPECT_GT(family[3 * drains.size() + vd5].drainCurrent, family[0 * drains.size() + vd5].drainCurrent);
}

// ---- the delay channel ------------------------------------------------------------

TEST_P(EachBirchDelay, TheOperatorLoadsAfterTheBatchesAndTheDelayedValueDrivesDiiSi) {
    const char* name = GetParam().name;
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name));
    std::vector<double> x = mc.circuit->zeros();
    mc.circuit->set(x, opVar(mc), 0.375);
    const DelayLoad full = loadWithDelay(host, mc, x);
    ASSERT_EQ(host.loads.size(), 6u);
    const LoadSlot order[6] = {LoadSlot::StaticRhs,       LoadSlot::DynamicRhs, LoadSlot::StaticJacobian,
                               LoadSlot::DynamicJacobian, LoadSlot::StaticRhs,  LoadSlot::StaticDoublet};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(host.loads[k].slot, order[k]) << k;
    }
    EXPECT_EQ(full.rr[At::rr(dii, si)], 0.375);
    EXPECT_EQ(full.jr[At::jr(dii, si, hbx::opBranch, gnd)], 1.0);
    EXPECT_EQ(full.opResidual, -0.375);
    EXPECT_EQ(full.opSelf, -1.0);
    EXPECT_EQ(full.tdmax, 0.0);
    EXPECT_EQ(host.delayLoads.back().handle, opOf(mc)->delayHandle);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(host.delayDerivs[host.delayDerivs.size() - 4 + k].handle, mc.model.block().deriv(k));
    }

    loadWithDelay(host, mc, x, Circuit::LoadKind::RhsOnly);
    ASSERT_EQ(host.loads.size(), 3u);
    EXPECT_EQ(host.loads[2].slot, LoadSlot::StaticRhs);
    EXPECT_EQ(host.loads[2].values, std::vector<double>{-0.375});
}

TEST(BirchDelay, TheDelayFollowsThePresentTemperature) {
    struct Case {
        const char* name;
        std::vector<int32_t> ints;
        double td;
    };
    for (const Case& c : {Case{"birch_a", {1, 0, 0}, 4e-12}, Case{"birch_a", {0, 0, 0}, 0.8 * 4e-12},
                          Case{"birch_c", {0, 0}, 4e-12}, Case{"birch_c", {1, 1}, 4e-12},
                          Case{"birch_c", {3, 2}, 4e-12}}) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.ints[0]));
        TestHost host;
        ModelCircuit mc(host, moduleSpec(c.name), c.ints);
        mc.model.inst.realParams[9] = 40.0;
        const std::vector<double> x = mc.circuit->zeros();
        EXPECT_EQ(loadWithDelay(host, mc, x).td, c.td);
        const double cds = mc.model.block().var(var(mc, 55, 59));
        // A later load without an initial step still reads the present P9;
        // what birch_c's initial step derived from it stays.
        host.isInitialStep = 0;
        mc.model.inst.realParams[9] = 50.0;
        EXPECT_EQ(loadWithDelay(host, mc, x).td, c.td * (10.0 * 0.018 + 1.0));
        if (isC(mc)) {
            EXPECT_EQ(mc.model.block().var(174), 40.0);
            EXPECT_EQ(mc.model.block().var(59), cds);
        }
    }
}

TEST_P(EachBirchDelay, ANegativeDelayIsWarnedAboutOnceAndLoadsZero) {
    const char* name = GetParam().name;
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name));
    mc.model.inst.realParams[9] = -20.0;
    const std::vector<double> x = mc.circuit->zeros();
    EXPECT_EQ(loadWithDelay(host, mc, x).td, 0.0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].type, 1);
    EXPECT_NE(host.messages[0].text.find("A negative delay (-3.200000e-13) was supplied"), std::string::npos)
        << host.messages[0].text;
    loadWithDelay(host, mc, x, Circuit::LoadKind::RhsOnly);
    mc.model.md.resetMemoryStates(mc.model.get());
    EXPECT_EQ(loadWithDelay(host, mc, x).td, 0.0);
    EXPECT_EQ(host.messages.size(), 1u);
}

// Without its branch variable (the system state variables never created)
// the operator's value reads 0.0 without asking the host; the Jacobian entry
// is 1.0 all the same.
TEST_P(EachBirchDelay, WithoutTheOperatorsVariableTheDelayedCurrentIsZero) {
    const char* name = GetParam().name;
    TestHost host;
    int getSols[2] = {0, 0};
    for (bool withVar : {true, false}) {
        ModelInstance m(host, moduleSpec(name), withVar ? "with" : "without");
        for (size_t k = 0; k < kRealParams.size(); ++k) {
            m.inst.realParams[k] = kRealParams[k];
        }
        s_ZRT_DeviceInst* inst = m.get();
        m.md.finalizeAnalogTopology(inst);
        m.md.createBranches(inst, nullptr);
        if (withVar) {
            m.md.createSystemStateVars(inst, nullptr);
        }
        m.md.setAnalogStamp(inst, nullptr);
        host.isInitialStep = 1;
        host.solution.assign(400, 0.0);
        if (withVar) {
            host.solution[ZRT_getBranchVar_delay(static_cast<ZRT_OpBranch_delay*>(m.block().op()))->index] = 0.5;
        }
        host.loads.clear();
        host.getSolCalls = 0;
        m.md.genericAnalogLoad(inst, &host.loader);
        getSols[withVar ? 0 : 1] = host.getSolCalls;
        EXPECT_EQ(host.loads[0].values[11], withVar ? 0.5 : 0.0);
        EXPECT_EQ(host.loads[2].values[11], 1.0);
    }
    EXPECT_EQ(getSols[0] - getSols[1], 2);  // the module's read and the operator's
}

// ---- the load procedure -------------------------------------------------------------

TEST_P(EachBirchLoad, MultiplicityScalesTheModuleButNotTheDelayedInput) {
    const char* name = GetParam().name;
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name), extrinsicOn(name));
    DcResult op = mc.solve(0.0, 4.0);
    ASSERT_TRUE(op.converged);
    std::vector<double> x = op.x;
    mc.circuit->set(x, mc.model.inst.internalVars[5], 0.0);  // n12
    host.doNoise = 1;
    const DelayLoad one = loadWithDelay(host, mc, x);
    const double v = mc.circuit->get(x, opVar(mc));
    EXPECT_EQ(one.rr[At::rr(dii, si)], v);
    for (double m : {2.0, 0.0}) {
        SCOPED_TRACE(m);
        mc.model.inst.realParams[0] = m;
        const DelayLoad scaled = loadWithDelay(host, mc, x);
        const std::pair<const std::vector<double>*, const std::vector<double>*> pairs[] = {
            {&one.rr, &scaled.rr}, {&one.rd, &scaled.rd}, {&one.jr, &scaled.jr}, {&one.jd, &scaled.jd}};
        for (auto [a, b] : pairs) {
            ASSERT_EQ(a->size(), b->size());
            for (size_t k = 0; k < a->size(); ++k) {
                EXPECT_EQ((*b)[k], (*a)[k] * m) << k;
            }
        }
        EXPECT_EQ(scaled.rr[At::rr(dii, si)], v * m);
        EXPECT_EQ(scaled.jr[At::jr(dii, si, hbx::opBranch, gnd)], m);
        EXPECT_EQ(scaled.x, one.x);
        EXPECT_EQ(scaled.derivs, one.derivs);
        EXPECT_EQ(scaled.opResidual, -v);
        EXPECT_EQ(scaled.opSelf, -1.0);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(mc.model.get()->noiseSrcs[k].contribs->value, std::sqrt(m));
        }
    }
}

TEST_P(EachBirchLoad, NoiseSourcesArePoweredOnTheirResiduals) {
    const char* name = GetParam().name;
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name));
    DcResult op = mc.solve(-0.5, 3.0);
    ASSERT_TRUE(op.converged);
    BlockView b = mc.model.block();
    host.doNoise = 0;
    host.doNoiseCalls = 0;
    mc.circuit->load(op.x);
    EXPECT_EQ(host.doNoiseCalls, 5);
    host.doNoise = 1;
    mc.circuit->load(op.x);
    const ZRT_NoiseSrc* src = mc.model.get()->noiseSrcs;
    const double m77 = b.var(var(mc, 77, 89)), m76 = b.var(var(mc, 76, 88)), S = b.var(var(mc, 148, 166));
    const double kgp = b.var(var(mc, 106, 119)), kdi = b.var(var(mc, 105, 118));
    EXPECT_EQ(src[0].power, m77);
    EXPECT_EQ(src[1].power, m76 * m76 * S);
    EXPECT_EQ(src[2].power, (1.0 - m77) * kgp * kgp);
    EXPECT_EQ(src[3].power, (1.0 - m77) * kdi * kdi);
    const auto& drives = hbx::birch::Topology::noiseRR;
    for (int k = 0; k < 4; ++k) {
        ASSERT_NE(src[k].contribs, nullptr);
        EXPECT_EQ(src[k].contribs->key, b.rr(drives[k]));
        EXPECT_EQ(src[k].contribCount, 1u);
        EXPECT_GT(src[k].power, 0.0);
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST(BirchLoad, ACollapsedBranchGetsNoneOfItsEquationTerms) {
    TestHost host;
    ModelInstance m(host, moduleSpec("birch_a"));
    s_ZRT_DeviceInst* inst = m.get();
    m.md.finalizeAnalogTopology(inst);
    m.md.createBranches(inst, nullptr);
    m.md.createBranches(inst, nullptr);  // a second user of the three pairs
    m.md.createSystemStateVars(inst, nullptr);
    m.md.setAnalogStamp(inst, nullptr);
    host.isInitialStep = 1;
    host.solution.assign(400, 0.3);
    m.md.genericAnalogLoad(inst, &host.loader);
    const std::vector<double>& rr = host.loads[0].values;
    const std::vector<double>& jr = host.loads[2].values;
    // Each branch: the flow on its node pair and the two unit entries.
    for (const auto& [pos, neg, flow] : {std::tuple{d, di, bDdi}, {g, gi, bGgi}, {s, si, bSsi}}) {
        EXPECT_EQ(rr[At::rr(pos, neg)], 0.0);
        EXPECT_EQ(jr[At::jr(pos, neg, flow, gnd)], 0.0);
        EXPECT_EQ(jr[At::jr(flow, gnd, pos, neg)], 0.0);
    }
}

// ---- equations ------------------------------------------------------------------------

// Loads once at the node voltages given (all others 0.0) and answers what
// reached the host.
DelayLoad loadAt(TestHost& host, ModelCircuit& mc, const std::vector<std::pair<hbx::NodeRef, double>>& v,
              Circuit::LoadKind kind = Circuit::LoadKind::Full) {
    std::vector<double> x = mc.circuit->zeros();
    for (auto [node, value] : v) {
        mc.circuit->set(x, mc.model.var(node), value);
    }
    return loadWithDelay(host, mc, x, kind);
}

TEST_P(EachBirchEquations, LinearEntriesAndTheBreakdownTerm) {
    const char* name = GetParam().name;
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name));
    BlockView b = mc.model.block();
    const DelayLoad l = loadAt(host, mc, {{di, 4.999}, {si, 0.25}, {dRF, 0.75}, {n12, 0.125}, {pTj, 3.0}, {nTj, 2.0}});
    EXPECT_EQ(l.rr[At::rr(dRF, si)], (0.75 - 0.25) / 1e8);
    EXPECT_EQ(l.rr[At::rr(n12, gnd)], 0.125);
    EXPECT_EQ(l.rr[At::rr(pTj, gnd)], 3.0 - 2.0 - 25.0);
    EXPECT_EQ(l.rd[At::rd(nTj, gnd)], 2.0 * 1.0000000000000002e-10);
    EXPECT_EQ(l.rd[At::rd(di, dRF)], (4.999 - 0.75) * 1e-15);
    EXPECT_EQ(l.jr[At::jr(pTj, gnd)], 1.0);
    EXPECT_EQ(l.jr[At::jr(pTj, gnd, nTj, gnd)], -1.0);
    EXPECT_EQ(l.jr[At::jr(n12, gnd)], 1.0);
    // Below 5 V the breakdown term is exactly 0.0; the delayed input is
    // the sum of its three terms.
    const int q0 = var(mc, 99, 111), q1 = var(mc, 100, 112), q2 = var(mc, 101, 113);
    EXPECT_EQ(b.var(q2), 0.0);
    EXPECT_EQ(b.var(q0), 0.0);
    EXPECT_EQ(l.x, b.var(q0) + b.var(q1) + b.var(q2));
    loadAt(host, mc, {{di, 200.0}});
    EXPECT_EQ(b.var(q2), ZRT_exp_FP(20.0));
    loadAt(host, mc, {{di, 250.0}});
    EXPECT_EQ(b.var(q2), ZRT_exp_FP(20.0) * 21.0);
}

TEST_P(EachBirchEquations, ParameterChoicesAndTheirTiming) {
    const char* name = GetParam().name;
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name));
    BlockView b = mc.model.block();
    const std::vector<double> x = mc.circuit->zeros();
    // The geometry waits for the invariant flag; the finger choices follow
    // P4 at once.
    mc.circuit->load(x);
    const int m96 = var(mc, 96, 108), m115 = var(mc, 115, 131), m116 = var(mc, 116, 132),
              m117 = var(mc, 117, 133);
    const double geometry = b.var(m96);
    mc.model.inst.realParams[1] = 60.0;
    mc.model.inst.realParams[4] = 6.0;
    mc.circuit->load(x);
    EXPECT_EQ(b.var(m96), geometry);
    EXPECT_EQ(b.var(m115), 6.0 * b.var(m116));
    mc.model.inst.realParams[4] = 4.0;
    mc.circuit->load(x);
    EXPECT_EQ(b.var(m115), 4.0 * b.var(m117));
    mc.model.md.forceExecInvarCode(mc.model.get(), 1);
    mc.circuit->load(x);
    EXPECT_NE(b.var(m96), geometry);

    // The temperature choice at P9 = 24 on a load with the flag set.
    for (double p9 : {24.0, 23.999}) {
        mc.model.inst.realParams[9] = p9;
        mc.model.md.forceExecInvarCode(mc.model.get(), 1);
        mc.circuit->load(x);
        const double cgd = b.var(var(mc, 59, 65));
        if (isC(mc)) {
            EXPECT_EQ(cgd, p9 >= 24.0 ? b.var(63) : b.var(64));
            EXPECT_EQ(b.var(149), p9 >= 24.0 ? 2 * b.var(146) : b.var(147));
        } else {
            EXPECT_EQ(cgd, p9 >= 24.0 ? b.var(58) : 2.21784039872408e-13);
            EXPECT_EQ(b.var(131), p9 >= 24.0 ? 2 * b.var(128) : b.var(129));
        }
    }
    if (!isC(mc)) {
        // birch_a keeps its low-temperature values in history values 2 to 4
        // and reads them back while the flag is clear.
        EXPECT_EQ(b.history(2), 2.21784039872408e-13);
        EXPECT_EQ(b.history(4), -0.03081522597130921);
        b.history(3) = 7.0;
        mc.circuit->load(x);
        EXPECT_EQ(b.var(61), 7.0);
    }
}

TEST(BirchEquations, BirchASelectorsAndSizeFactor) {
    TestHost host;
    // N2 = 2 keeps the source inductance of finalize: 0.0.
    ModelCircuit mc(host, moduleSpec("birch_a"), {1, 1, 2});
    std::vector<double> x = mc.circuit->zeros();
    mc.circuit->set(x, mc.model.inst.internalVars[9], 0.5);  // the s-si flow
    const DelayLoad l = loadWithDelay(host, mc, x);
    EXPECT_EQ(l.rd[0], 0.0);
    EXPECT_EQ(l.jd[0], 0.0);

    // A size factor that is not positive: no drain coupling, a huge but
    // finite gate coupling.
    ModelCircuit zero(host, moduleSpec("birch_a"));
    zero.model.inst.realParams[8] = 0.0;
    zero.circuit->load(zero.circuit->zeros());
    BlockView b = zero.model.block();
    EXPECT_EQ(b.var(105), 0.0);
    EXPECT_TRUE(std::isfinite(b.var(106)));
    EXPECT_GT(b.var(106), 1e30);
}

// With the gate-drain voltage far out, the capacitance formula overflows
// while its argument is finite: its derivative counts as 0.0, and the
// reactive Jacobian stays finite.
TEST_P(EachBirchEquations, TheGateDrainCapacitanceDerivativeStaysFinite) {
    const char* name = GetParam().name;
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name));
    BlockView b = mc.model.block();
    const int m57 = var(mc, 57, 62);
    for (double v : {-1e4, -2e4, -3e4, 1e4}) {
        SCOPED_TRACE(v);
        const DelayLoad l = loadAt(host, mc, {{gdi, v}});
        ASSERT_TRUE(std::isfinite(l.jd[7]));
        EXPECT_EQ(l.jd[7], b.var(m57) * b.var(var(mc, 148, 166)) * 1.0);
        EXPECT_TRUE(std::isfinite(l.rd[7]));
    }
}

// Under matched parameters the two models give the same values everywhere
// except where their constants differ.
TEST(BirchVariants, MatchedParametersGiveBitEqualValues) {
    TestHost host;
    ModelCircuit a(host, moduleSpec("birch_a"), {1, 1, 1});
    ModelCircuit c(host, moduleSpec("birch_c"), {1, 1});
    for (ModelCircuit* mc : {&a, &c}) {
        mc->model.inst.realParams[5] = 3.0;
    }
    DcResult op = a.solve(-0.5, 4.0);
    ASSERT_TRUE(op.converged);
    // The same solution on birch_c's unknowns, node by node.
    std::vector<std::pair<s_ZRT_StateVar*, s_ZRT_StateVar*>> roles = {{opVar(a), opVar(c)}};
    for (size_t k = 0; k < 7; ++k) {
        roles.push_back({a.model.inst.nodeVars[k], c.model.inst.nodeVars[k]});
    }
    for (size_t k = 0; k < 10; ++k) {
        roles.push_back({a.model.inst.internalVars[k], c.model.inst.internalVars[k]});
    }
    std::vector<double> xc = c.circuit->zeros();
    for (auto [va, vc] : roles) {
        if (c.circuit->find(vc) >= 0) {
            c.circuit->set(xc, vc, a.circuit->get(op.x, va));
        }
    }
    host.doNoise = 1;
    const DelayLoad la = loadWithDelay(host, a, op.x);
    double powers[4];
    for (int k = 0; k < 4; ++k) {
        powers[k] = a.model.get()->noiseSrcs[k].power;
    }
    const DelayLoad lc = loadWithDelay(host, c, xc);
    EXPECT_EQ(la.x, lc.x);
    EXPECT_EQ(la.td, lc.td);
    EXPECT_EQ(la.derivs, lc.derivs);
    for (int k = 0; k < 21; ++k) {
        if (k != 4) {
            EXPECT_EQ(la.rr[k], lc.rr[k]) << "R " << k;
        }
    }
    for (int k = 0; k < 28; ++k) {
        if (k != 1) {
            EXPECT_EQ(la.jr[k], lc.jr[k]) << "J " << k;
        }
    }
    for (int k = 0; k < 11; ++k) {
        if (k < 6 || k > 8) {
            EXPECT_EQ(la.rd[k], lc.rd[k]) << "Rq " << k;
            EXPECT_EQ(la.jd[k], lc.jd[k]) << "Jq " << k;
        }
    }
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(powers[k], c.model.get()->noiseSrcs[k].power) << "noise " << k;
    }
    // The gate resistance differs through 31.0473889366561 against 31.0.
    EXPECT_NE(la.rr[4], lc.rr[4]);
    EXPECT_NE(la.jr[1], lc.jr[1]);
}

// ---- birch_c's memory values ----------------------------------------------------------

TEST(BirchMemory, TheDrainInductanceFollowsMemoryValueZero) {
    TestHost host;
    // Selector 0 after finalize: every source of the inductance is 0.0.
    ModelCircuit plain(host, moduleSpec("birch_c"), {1, 0});
    plain.circuit->load(plain.circuit->zeros());
    BlockView p = plain.model.block();
    EXPECT_EQ(p.var(126), 0.0);
    EXPECT_EQ(p.var(125), 0.0);
    EXPECT_EQ(p.var(123), 0.0);

    ModelCircuit mc(host, moduleSpec("birch_c"), {1, 1});
    BlockView b = mc.model.block();
    std::vector<double> x = mc.circuit->zeros();
    mc.circuit->set(x, mc.model.inst.internalVars[7], 0.25);  // the d-di flow
    loadWithDelay(host, mc, x);
    // Selector 1 with P5 = 2.5: the source inductance of the quotient.
    EXPECT_EQ(b.var(136), ZRT_RealChkDiv(1.756687357191309e-11, 2.5 * b.var(141), nullptr, 0, nullptr, 0));
    EXPECT_EQ(b.var(125), b.var(124));
    mc.model.md.setMemoryStates(mc.model.get());
    EXPECT_EQ(b.memory(0), b.var(123));
    EXPECT_EQ(b.memory(1), b.var(125));

    // Later loads start from the memory values, whatever they computed.
    host.isInitialStep = 0;
    const double ext = b.var(131) / 2.0;  // N0 * m131 / P3
    b.memory(0) = 3e-10;
    const DelayLoad l = loadWithDelay(host, mc, x);
    EXPECT_EQ(l.jd[5], ext + 3e-10 / 8.0);
    EXPECT_EQ(l.rd[5], (ext + 3e-10 / 8.0) * 0.25);
    mc.model.md.resetMemoryStates(mc.model.get());
    EXPECT_EQ(b.memory(0), 0.0);
    EXPECT_EQ(b.memory(1), 0.0);

    // P5 of 3 or more: no source inductance, the quotient kept aside.
    ModelCircuit high(host, moduleSpec("birch_c"), {1, 1});
    high.model.inst.realParams[5] = 3.0;
    high.circuit->load(high.circuit->zeros());
    BlockView h = high.model.block();
    EXPECT_EQ(h.var(136), 0.0);
    EXPECT_EQ(h.var(139), ZRT_RealChkDiv(1.756687357191309e-11, 3.0 * h.var(141), nullptr, 0, nullptr, 0));
}

// ---- save, restore and clone ---------------------------------------------------------

// One operating point with an accepted delay history behind it.
struct Saved {
    TestHost host;
    ModelCircuit mc;
    std::vector<double> x;
    explicit Saved(const char* name) : mc(host, moduleSpec(name), extrinsicOn(name)) {
        DcResult op = mc.solve(0.0, 3.0);
        EXPECT_TRUE(op.converged);
        x = op.x;
        host.isInitialStep = 0;
        for (double t : {1e-12, 2e-12, 3e-12}) {
            host.time = t;
            mc.circuit->load(x);
            mc.model.md.tranAcceptPoint(mc.model.get(), &host.loader);
            x[mc.circuit->at(mc.model.inst.nodeVars[1])] += 0.1;  // di: a new input
        }
        host.time = 5e-12;
    }
};

std::vector<uint8_t> blockBytes(ModelInstance& m) {
    BlockView b = m.block();
    const auto* raw = static_cast<const uint8_t*>(b.raw());
    return std::vector<uint8_t>(raw, raw + b.layout().counter + 4);
}

const ZRT_DelaySpec* delayState(ModelCircuit& mc) {
    return reinterpret_cast<const ZRT_DelaySpec*>(opOf(mc)->delayState);
}

TEST_P(EachBirchState, SaveAndRestoreCarryTheDelayState) {
    const char* name = GetParam().name;
    Saved s(name);
    const std::vector<uint8_t> bytes = saveState(s.mc.model);
    const size_t record = 8 * (s.mc.model.spec.vars + s.mc.model.spec.memory);
    const size_t payload = 40 + 17 + 4 + 20 + 16 * 16 + 15;
    ASSERT_EQ(bytes.size(), record + 39 + payload);
    EXPECT_EQ(readAt<int32_t>(bytes, record + 15), 12);

    // A second instance takes the whole state over, history included, and
    // then loads exactly what the first loads.
    ModelCircuit other(s.host, moduleSpec(name), extrinsicOn(name));
    ASSERT_EQ(restoreState(other.model, bytes), 1);
    EXPECT_EQ(other.model.block().execInvariant(), 1);
    ASSERT_NE(delayState(other)->pHist, nullptr);
    EXPECT_EQ(delayState(other)->pHist->count, 3);
    for (int k = 0; k < s.mc.model.spec.vars; ++k) {
        ASSERT_EQ(other.model.block().var(k), s.mc.model.block().var(k)) << k;
    }
    s.mc.model.md.forceExecInvarCode(s.mc.model.get(), 1);
    const DelayLoad first = loadWithDelay(s.host, s.mc, s.x);
    const double delayed = s.host.delayLoads.back().delayed;
    const DelayLoad second = loadWithDelay(s.host, other, s.x);
    EXPECT_EQ(s.host.delayLoads.back().delayed, delayed);
    EXPECT_NE(delayed, first.x);  // the history is in use
    EXPECT_EQ(first.rr, second.rr);
    EXPECT_EQ(first.rd, second.rd);
    EXPECT_EQ(first.jr, second.jr);
    EXPECT_EQ(first.jd, second.jd);
    EXPECT_EQ(first.derivs, second.derivs);

    // Damaged streams are refused and change nothing.
    const std::vector<uint8_t> before = blockBytes(other.model);
    const ZRT_DelaySpec* stateBefore = delayState(other);
    std::vector<uint8_t> damaged = bytes;
    damaged[record + 15] = 13;  // the operator-state count
    EXPECT_EQ(restoreState(other.model, damaged), 0);
    EXPECT_EQ(restoreState(other.model, std::vector<uint8_t>(bytes.begin(), bytes.begin() + record + 39 + payload / 2)), 0);
    EXPECT_EQ(blockBytes(other.model), before);
    EXPECT_EQ(delayState(other), stateBefore);
    EXPECT_EQ(delayState(other)->pHist->count, 3);
}

TEST_P(EachBirchState, ACloneHasItsOwnOperator) {
    const char* name = GetParam().name;
    Saved s(name);
    s_ZRT_DeviceInst holder = *s.mc.model.get();
    const int copied = s.host.delaySpecsCopied;
    void* copy = ZRT_ClonePrivateInfo(s.mc.model.get()->pModuleData, &holder, &holder);
    ASSERT_NE(copy, nullptr);
    holder.pModuleData = copy;
    BlockView c(s.mc.model.spec, copy);
    auto* op = static_cast<ZRT_OpBranch_delay*>(c.op());
    ASSERT_NE(op, opOf(s.mc));
    EXPECT_EQ(op->inst, &holder);
    EXPECT_EQ(s.host.delaySpecsCopied, copied + 1);
    EXPECT_NE(op->delayState, opOf(s.mc)->delayState);
    EXPECT_EQ(reinterpret_cast<const ZRT_DelaySpec*>(op->delayState)->pHist->count, 3);

    // The copy loads what its source loads, through its own operator.
    const DelayLoad source = loadWithDelay(s.host, s.mc, s.x);
    s.host.loads.clear();
    s.mc.model.md.genericAnalogLoad(&holder, &s.host.loader);
    EXPECT_EQ(s.host.delayLoads.back().state, op->delayState);
    EXPECT_EQ(s.host.loads[0].values, source.rr);
    EXPECT_EQ(s.host.loads[2].values, source.jr);

    // Destroying the copy leaves the source whole.
    const int freed = s.host.delaySpecsFreed;
    s.mc.model.md.destroyInst(&holder);
    EXPECT_EQ(s.host.delaySpecsFreed, freed + 1);
    EXPECT_EQ(loadWithDelay(s.host, s.mc, s.x).rr, source.rr);
}

// A clone answers a whole block or nothing: with each allocation refused in
// turn, and with a host that cannot copy the delay state, every block it
// answers has its operator and delay state (the sanitizer build's leak check
// sees that a refused clone keeps nothing).
TEST_P(EachBirchState, ACloneIsWholeOrNull) {
    Saved s(GetParam().name);
    s_ZRT_DeviceInst holder = *s.mc.model.get();
    void* const source = s.mc.model.get()->pModuleData;
    int refusals = 0;
    for (int grants = 0;; ++grants) {
        void* copy = nullptr;
        bool refused = false;
        {
            LimitedHeap heap(grants, true);
            copy = ZRT_ClonePrivateInfo(source, &holder, &holder);
            refused = heap.refused();
        }
        if (copy != nullptr) {
            const auto* op = static_cast<const ZRT_OpBranch_delay*>(BlockView(s.mc.model.spec, copy).op());
            ASSERT_NE(op, nullptr) << grants;
            EXPECT_NE(op->delayState, nullptr) << grants;
            holder.pModuleData = copy;
            s.mc.model.md.destroyInst(&holder);
        }
        if (!refused) {
            EXPECT_NE(copy, nullptr);
            break;
        }
        ++refusals;
    }
    EXPECT_GE(refusals, 3);  // the block, the operator and the host's delay state
    s.host.sim.CopyDelaySpec = [](ZRT_GenericOperatorState*) -> ZRT_GenericOperatorState* { return nullptr; };
    EXPECT_EQ(ZRT_ClonePrivateInfo(source, &holder, &holder), nullptr);
}

// A clone whose operator belongs to another instance than the one that loads
// reads the delayed unknown with the operator's instance, as the operator
// itself does: one unknown, one answer.
TEST_P(EachBirchState, TheDelayedUnknownIsReadWithTheOperatorsInstance) {
    Saved s(GetParam().name);
    s_ZRT_DeviceInst loading = *s.mc.model.get();
    s_ZRT_DeviceInst owner = *s.mc.model.get();
    void* copy = ZRT_ClonePrivateInfo(s.mc.model.get()->pModuleData, &loading, &owner);
    ASSERT_NE(copy, nullptr);
    loading.pModuleData = copy;
    static s_ZRT_StateVar* delayed;
    static std::vector<s_ZRT_DeviceInst*> readers;
    delayed = ZRT_getBranchVar_delay(static_cast<ZRT_OpBranch_delay*>(BlockView(s.mc.model.spec, copy).op()));
    ASSERT_NE(delayed, nullptr);
    readers.clear();
    s.host.loader.GetSol = [](s_ZRT_StateVar* sv, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst* reader) {
        if (sv == delayed) {
            readers.push_back(reader);
        }
        return 0.0;
    };
    s.mc.model.md.genericAnalogLoad(&loading, &s.host.loader);
    s.mc.model.md.genericAnalogLoadRHS(&loading, &s.host.loader);
    EXPECT_GE(readers.size(), 2u);  // each load reads it
    for (s_ZRT_DeviceInst* reader : readers) {
        EXPECT_EQ(reader, &owner);
    }
    s.mc.model.md.destroyInst(&loading);
}

INSTANTIATE_TEST_SUITE_P(Models, EachBirchLoad, ::testing::ValuesIn(modulesOf(Family::Birch)), ModuleName());
INSTANTIATE_TEST_SUITE_P(Models, EachBirchDelay, ::testing::ValuesIn(modulesOf(Family::Birch)), ModuleName());
INSTANTIATE_TEST_SUITE_P(Models, EachBirchEquations, ::testing::ValuesIn(modulesOf(Family::Birch)), ModuleName());
INSTANTIATE_TEST_SUITE_P(Models, EachBirchState, ::testing::ValuesIn(modulesOf(Family::Birch)), ModuleName());

}  // namespace
