#include "tests/chain_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsl/ZRT_SupportLib.h"

namespace testhost {

int chainSlot(const std::string& model, int role) {
    std::vector<int> removed;
    std::vector<int> addedAfter;
    if (model == "cedar_b") {
        removed = {58, 61, 64, 67, 72, 77, 83, 142, 176, 179};
    } else if (model == "cedar_c") {
        removed = {64, 67, 72, 77, 83, 176, 179};
        addedAfter = {58, 61};
    } else if (model == "larch_a") {
        addedAfter = {1};
    }
    if (std::find(removed.begin(), removed.end(), role) != removed.end()) {
        return -1;
    }
    int slot = role;
    for (int r : removed) {
        slot -= r < role ? 1 : 0;
    }
    for (int a : addedAfter) {
        slot += a < role ? 1 : 0;
    }
    return slot;
}

double chainVar(ModelCircuit& mc, int role) {
    const int slot = chainSlot(mc.model.spec.name, role);
    EXPECT_GE(slot, 0) << "role " << role;
    return slot >= 0 ? mc.model.block().var(slot) : NAN;
}

void checkInitialStepPaths(const ChainPaths& p) {
    const double m107 = 2.5e-4 / 0.001, m144 = 5.0, m145 = 8.0;
    const double m126 = 5.53555250628763e-10, m130 = 5.51359588907467e-10;
    const int count = moduleSpec(p.name).intParams;
    auto ints = [&](int32_t path) {
        std::vector<int32_t> v(static_cast<size_t>(count), 0);
        if (p.factorParam >= 0) {
            v[static_cast<size_t>(p.factorParam)] = 1;
        }
        v[static_cast<size_t>(p.selectorParam)] = path;
        return v;
    };
    auto observe = [](TestHost& host, ModelCircuit& mc) { return loadOnce(host, mc, mc.circuit->zeros()); };
    for (int32_t path : {0, 1, 2, 3, -1}) {
        for (double p5 : {1.0, 2.0, 6.0}) {
            SCOPED_TRACE(std::string(p.name) + " path " + std::to_string(path) + " P5 " + std::to_string(p5));
            TestHost host;
            ModelCircuit mc(host, moduleSpec(p.name), ints(path));
            mc.model.inst.realParams[5] = p5;
            double m138 = 0.0, m128 = m126, m132 = m130;
            if (path == 1) {
                const double q = (p5 >= 2.0 ? p.numHigh : p.numLow) / (m144 * p5);
                m138 = p5 >= 6.0 ? 0.0 : q;
                m128 = p5 >= 2.0 ? m126 * 0.5 : m126;
                m132 = p5 >= 2.0 ? m130 * 0.5 : m130;
            } else if (path == 2) {
                m138 = p5 < 2.0 ? p.numSecond / (p5 * 3.0) + 1.1e-11 : 1.1e-11;
                m132 = p5 < 2.0 ? m130 * 3.5 : 1.9297585611761346e-09;
            }
            const Loaded l = observe(host, mc);
            EXPECT_EQ(l.jd[0], m138);
            EXPECT_EQ(l.jd[5], m128 * m107 / m145);
            EXPECT_EQ(l.jd[4], m132 * m107 / m145);
            EXPECT_EQ(l.jr[1], m107 * p.base / 4.0 / 2.0);
            EXPECT_EQ(chainVar(mc, 158), p.base);
        }
    }
    // An unknown path keeps the source inductance of an earlier initial step.
    TestHost host;
    ModelCircuit mc(host, moduleSpec(p.name), ints(2));
    mc.model.inst.realParams[5] = 1.0;
    const double earlier = observe(host, mc).jd[0];
    EXPECT_GT(earlier, 1.1e-11);
    mc.model.inst.intParams[p.selectorParam] = 3;
    EXPECT_EQ(observe(host, mc).jd[0], earlier);
    mc.model.inst.intParams[p.selectorParam] = 0;
    EXPECT_EQ(observe(host, mc).jd[0], 0.0);
}

void checkNoiseAndMultiplicity(const char* name, const std::array<uint8_t, 4>& noiseRR) {
    SCOPED_TRACE(name);
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name));
    DcResult op = mc.solve(-0.5, 3.0);
    ASSERT_TRUE(op.converged);
    BlockView b = mc.model.block();

    host.doNoise = 0;
    host.doNoiseCalls = 0;
    const Loaded one = loadOnce(host, mc, op.x);
    EXPECT_EQ(host.doNoiseCalls, 5);
    EXPECT_EQ(mc.model.get()->noiseSrcs[0].contribs, nullptr);

    host.doNoise = 1;
    loadOnce(host, mc, op.x);
    ZRT_NoiseSrc* src = mc.model.get()->noiseSrcs;
    const double m90 = chainVar(mc, 90), m89 = chainVar(mc, 89), m173 = chainVar(mc, 173);
    const double m121 = chainVar(mc, 121), m120 = chainVar(mc, 120);
    EXPECT_EQ(m90, 0.781757);
    EXPECT_EQ(src[0].power, m90);
    EXPECT_EQ(src[1].power, m89 * m89 * m173);
    EXPECT_EQ(src[2].power, (1.0 - m90) * m121 * m121);
    EXPECT_EQ(src[3].power, (1.0 - m90) * m120 * m120);
    for (int k = 0; k < 4; ++k) {
        ASSERT_NE(src[k].contribs, nullptr);
        EXPECT_EQ(src[k].contribs->key, b.rr(noiseRR[k]));
        EXPECT_EQ(src[k].contribs->value, 1.0);
    }

    mc.model.inst.realParams[0] = 2.0;
    const Loaded two = loadOnce(host, mc, op.x);
    for (auto [a, c] : {std::pair{&one.rr, &two.rr}, {&one.rd, &two.rd}, {&one.jr, &two.jr}, {&one.jd, &two.jd}}) {
        ASSERT_EQ(a->size(), c->size());
        for (size_t k = 0; k < a->size(); ++k) {
            EXPECT_EQ((*c)[k], 2.0 * (*a)[k]) << k;
        }
    }
    EXPECT_EQ(src[0].power, m90);
    EXPECT_EQ(src[0].contribs->value, std::sqrt(2.0));
    EXPECT_TRUE(host.messages.empty());
}

void checkSoftBreakdown(const char* name) {
    SCOPED_TRACE(name);
    TestHost host;
    ModelCircuit mc(host, moduleSpec(name));
    const struct {
        double v, m115;
    } cases[] = {{4.999, 0.0}, {5.0, ZRT_exp_FP(-58.0)}, {200.0, ZRT_exp_FP(20.0)}, {250.0, ZRT_exp_FP(20.0) * 21.0}};
    for (const auto& c : cases) {
        std::vector<double> x = mc.circuit->zeros();
        mc.circuit->set(x, mc.model.inst.nodeVars[1], c.v);
        loadOnce(host, mc, x);
        EXPECT_EQ(chainVar(mc, 115), c.m115) << c.v;
    }
    for (double v : {100.0, 250.0}) {
        std::vector<double> x = mc.circuit->zeros();
        mc.circuit->set(x, mc.model.inst.nodeVars[1], v);
        FdReport report = mc.circuit->checkJacobian(x, modelFdOptions());
        EXPECT_TRUE(report.passed()) << v << "\n" << report.summary();
    }
}

void checkCollapsedSourceBranch(const char* name, bool preNumbered) {
    SCOPED_TRACE(name);
    const bool larch = std::string(name) == "larch_a";
    const int sii = larch ? 8 : 7, slot = larch ? 13 : 12, byte = larch ? 16 : 17;
    const int pairRR = larch ? 24 : 23, pairJR = larch ? 31 : 29;
    TestHost host;
    ModelInstance m(host, moduleSpec(name));
    setParams(m);
    s_ZRT_DeviceInst* inst = m.get();
    m.md.finalizeAnalogTopology(inst);
    s_ZRT_StateVar* pre = ZRT_CreateBranchStateVar("_ub_s_sii_i", ZRT_BRANCH_DEFAULT, inst->nodeVars[2],
                                                   inst->internalVars[sii], inst, nullptr);
    ASSERT_NE(pre, nullptr);
    if (preNumbered) {
        pre->branch->branchNumber = 9;
    }
    m.md.createBranches(inst, nullptr);
    m.md.setAnalogStamp(inst, nullptr);
    m.md.reportTopology(inst, nullptr);
    BlockView b = m.block();
    EXPECT_EQ(inst->internalVars[slot], pre);
    EXPECT_EQ(pre->branch->useCount, 2);
    EXPECT_EQ(pre->branch->branchNumber, preNumbered ? 9 : 2);
    EXPECT_EQ(b.branchCounter(), preNumbered ? 4 : 5);
    EXPECT_EQ(inst->internalVars[slot + 1]->branch->branchNumber, preNumbered ? 2 : 3);
    EXPECT_EQ(b.collapsed(byte), 1);
    EXPECT_EQ(host.topology.size(), larch ? 21u : 20u);
    for (const auto& row : host.topology) {
        EXPECT_NE(row.name, "_ub_s_sii_i");
    }

    // Distinct potentials and flows.
    host.isInitialStep = 1;
    host.solution.resize(300);
    for (size_t i = 0; i < host.solution.size(); ++i) {
        host.solution[i] = 0.01 * static_cast<double>(i);
    }
    m.md.genericAnalogLoad(inst, &host.loader);
    const Loaded l = lastLoad(host);
    const double rs = b.var(chainSlot(name, 172)) / b.var(chainSlot(name, 173));
    EXPECT_EQ(l.rr[pairRR], 0.0);
    EXPECT_EQ(l.jr[pairJR], 0.0);
    EXPECT_EQ(l.jr[pairJR + 1], 0.0);
    EXPECT_EQ(l.rr[0], rs * host.solution[pre->index]);
    EXPECT_EQ(l.jr[0], rs);
    EXPECT_EQ(l.jr[pairJR + 2], 1.0);  // sii-si keeps its equation
    EXPECT_EQ(l.jr[pairJR + 3], -1.0);

    Circuit circuit(host, inst);
    std::vector<double> x = circuit.zeros();
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = 0.1 * std::sin(1.0 + static_cast<double>(i));
    }
    FdReport report = circuit.checkJacobian(x, modelFdOptions());
    EXPECT_TRUE(report.passed()) << report.summary();
}

}  // namespace testhost
