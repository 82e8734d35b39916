// The cedar models in the test host's circuit: topology and stamps, the
// Jacobian against their own residuals, the right-hand-side load against the
// full load, DC Newton over Id-Vd families, the initial-step paths and
// temperature ranges at their thresholds, noise, and save and restore.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ZRT_SupportLib.h"
#include "model_fixture.h"

namespace {

using namespace testhost;

const char* const kCedar[] = {"cedar_a", "cedar_b", "cedar_c"};

// Where each model keeps the quantity that cedar_a keeps in its model
// variable `role`: cedar_b leaves out ten roles, cedar_c seven and adds the
// base of M59's middle range behind M58 and its factor behind M61.
int slotOf(const std::string& model, int role) {
    std::vector<int> removed;
    std::vector<int> addedAfter;
    if (model == "cedar_b") {
        removed = {58, 61, 64, 67, 72, 77, 83, 142, 176, 179};
    } else if (model == "cedar_c") {
        removed = {64, 67, 72, 77, 83, 176, 179};
        addedAfter = {58, 61};
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

double var(ModelCircuit& mc, int role) { return mc.model.block().var(slotOf(mc.model.spec.name, role)); }

// ---- circuit checks -------------------------------------------------------------

TEST(CedarLoad, JacobianMatchesItsResidualsAcrossTheInterior) {
    for (const char* name : kCedar) {
        SCOPED_TRACE(name);
        TestHost host;
        ModelCircuit mc(host, moduleSpec(name));
        EXPECT_GE(checkAcrossInterior(mc, 11), 100);
    }
}

// Every per-finger element present (multiplier 1), the first initial-step
// path, the lower temperature ranges and a large source inductance.
TEST(CedarLoad, JacobianMatchesWithOtherParameters) {
    for (const char* name : kCedar) {
        SCOPED_TRACE(name);
        TestHost host;
        const bool a = std::string(name) == "cedar_a";
        ModelCircuit mc(host, moduleSpec(name), a ? std::vector<int32_t>{1} : std::vector<int32_t>{0, 1, 1});
        mc.model.inst.realParams[9] = a ? 30.0 : 15.0;
        mc.model.inst.realParams[5] = 1.0;
        mc.model.inst.realParams[8] = 6e-4;
        EXPECT_GE(checkAcrossInterior(mc, 12), 100);
    }
}

TEST(CedarLoad, NewtonConvergesOverAnIdVdFamily) {
    for (const char* name : kCedar) {
        SCOPED_TRACE(name);
        TestHost host;
        ModelCircuit mc(host, moduleSpec(name));
        checkIdVdFamily(mc);
    }
}

TEST(CedarLoad, ClosedFormEntriesAndTheZeroSolution) {
    for (const char* name : kCedar) {
        SCOPED_TRACE(name);
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
}

TEST(CedarLoad, NoiseAndMultiplicity) {
    for (const char* name : kCedar) {
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
        const double m90 = var(mc, 90), m89 = var(mc, 89), m173 = var(mc, 173);
        const double m121 = var(mc, 121), m120 = var(mc, 120);
        EXPECT_EQ(m90, 0.781757);
        EXPECT_EQ(src[0].power, m90);
        EXPECT_EQ(src[1].power, m89 * m89 * m173);
        EXPECT_EQ(src[2].power, (1.0 - m90) * m121 * m121);
        EXPECT_EQ(src[3].power, (1.0 - m90) * m120 * m120);
        const int drives[4] = {20, 4, 7, 15};
        for (int k = 0; k < 4; ++k) {
            ASSERT_NE(src[k].contribs, nullptr);
            EXPECT_EQ(src[k].contribs->key, b.rr(drives[k]));
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
}

// ---- initial-step paths -----------------------------------------------------------

// Loads once at the zero solution and answers D[0], D[4], D[5] and G[1].
struct Observed {
    double d0, d4, d5, g1;
};
Observed observe(TestHost& host, ModelCircuit& mc) {
    const Loaded l = loadOnce(host, mc, mc.circuit->zeros());
    return {l.jd[0], l.jd[4], l.jd[5], l.jr[1]};
}

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
        EXPECT_EQ(observe(host, mc).d0, c.d0);
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
        EXPECT_EQ(observe(host, mc).g1, m107 * c.m159 / 4.0 / c.p3);
        EXPECT_EQ(mc.model.block().var(159), c.m159);
    }
}

TEST(CedarInitialStep, SelectorPathsOfCedarBAndC) {
    const double m107 = 2.5e-4 / 0.001, m144 = 5.0, m145 = 8.0;
    const double m126 = 5.53555250628763e-10, m130 = 5.51359588907467e-10;
    for (const char* name : {"cedar_b", "cedar_c"}) {
        for (int32_t path : {0, 1, 2, 3, -1}) {
            for (double p5 : {1.0, 2.0, 6.0}) {
                SCOPED_TRACE(std::string(name) + " path " + std::to_string(path) + " P5 " + std::to_string(p5));
                TestHost host;
                ModelCircuit mc(host, moduleSpec(name), {1, 0, path});
                mc.model.inst.realParams[5] = p5;
                double m138 = 0.0, m128 = m126, m132 = m130;
                if (path == 1) {
                    const double q = (p5 >= 2.0 ? 1.4492670696828299e-11 : 1.93235609291044e-11) / (m144 * p5);
                    m138 = p5 >= 6.0 ? 0.0 : q;
                    m128 = p5 >= 2.0 ? m126 * 0.5 : m126;
                    m132 = p5 >= 2.0 ? m130 * 0.5 : m130;
                } else if (path == 2) {
                    m138 = p5 < 2.0 ? 1.93235609291044e-11 / (p5 * 3.0) + 1.1e-11 : 1.1e-11;
                    m132 = p5 < 2.0 ? m130 * 3.5 : 1.9297585611761346e-09;
                }
                const Observed o = observe(host, mc);
                EXPECT_EQ(o.d0, m138);
                EXPECT_EQ(o.d5, m128 * m107 / m145);
                EXPECT_EQ(o.d4, m132 * m107 / m145);
                EXPECT_EQ(o.g1, m107 * 35.0 / 4.0 / 2.0);
                EXPECT_EQ(var(mc, 158), 35.0);
            }
        }
        // Any other path keeps the inductance of an earlier initial step.
        TestHost host;
        ModelCircuit mc(host, moduleSpec(name), {1, 0, 2});
        mc.model.inst.realParams[5] = 1.0;
        const double earlier = observe(host, mc).d0;
        EXPECT_GT(earlier, 1.1e-11);
        mc.model.inst.intParams[2] = 3;
        EXPECT_EQ(observe(host, mc).d0, earlier);
        mc.model.inst.intParams[2] = 0;
        EXPECT_EQ(observe(host, mc).d0, 0.0);
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

TEST(CedarEquations, SoftBreakdownAtItsThresholds) {
    TestHost host;
    ModelCircuit mc(host, moduleSpec("cedar_a"));
    const struct {
        double v, m115;
    } cases[] = {{4.999, 0.0}, {5.0, ZRT_exp_FP(-58.0)}, {200.0, ZRT_exp_FP(20.0)}, {250.0, ZRT_exp_FP(20.0) * 21.0}};
    for (const auto& c : cases) {
        std::vector<double> x = mc.circuit->zeros();
        mc.circuit->set(x, mc.model.inst.nodeVars[1], c.v);
        loadOnce(host, mc, x);
        EXPECT_EQ(var(mc, 115), c.m115) << c.v;
    }
    // The Jacobian holds on the exponential and on the linear stretch.
    for (double v : {100.0, 250.0}) {
        std::vector<double> x = mc.circuit->zeros();
        mc.circuit->set(x, mc.model.inst.nodeVars[1], v);
        FdReport report = mc.circuit->checkJacobian(x, modelFdOptions());
        EXPECT_TRUE(report.passed()) << v << "\n" << report.summary();
    }
}

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

double doubleAt(const std::vector<uint8_t>& bytes, size_t k) {
    double v;
    std::memcpy(&v, bytes.data() + 8 * k, 8);
    return v;
}

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
            EXPECT_EQ(doubleAt(bytes, k), v) << k;
        }
        if (std::string(c.name) == "cedar_a") {
            int32_t ints[2];
            std::memcpy(ints, bytes.data() + 206 * 8, sizeof ints);
            EXPECT_EQ(ints[0], 1);
            EXPECT_EQ(ints[1], 1);
        }
    }
}

TEST(CedarState, RestoreGivesTheSameLoadsAndRefusesDamagedStreams) {
    for (const char* name : kCedar) {
        SCOPED_TRACE(name);
        TestHost host;
        ModelCircuit source(host, moduleSpec(name));
        ModelCircuit target(host, moduleSpec(name));
        DcResult op = source.solve(-0.5, 3.0);
        ASSERT_TRUE(op.converged);
        const std::vector<uint8_t> bytes = saveState(source.model);
        ASSERT_FALSE(bytes.empty());

        // No initial step from here on: the target has only what it restores.
        host.isInitialStep = 0;
        const Loaded want = loadOnce(host, source, op.x);
        const Loaded fresh = loadOnce(host, target, op.x);
        EXPECT_NE(fresh.rr, want.rr);

        std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 5);
        EXPECT_EQ(restoreState(target.model, cut), 0);
        // The operator-state count behind its label, damaged.
        std::vector<uint8_t> miscounted = bytes;
        const char label[] = "Operator_states";
        auto at = std::search(miscounted.begin(), miscounted.end(), label, label + sizeof label - 1);
        ASSERT_NE(at, miscounted.end());
        at[sizeof label - 1] ^= 0x01;
        EXPECT_EQ(restoreState(target.model, miscounted), 0);
        EXPECT_EQ(loadOnce(host, target, op.x).rr, fresh.rr);

        EXPECT_EQ(restoreState(target.model, bytes), 1);
        EXPECT_EQ(target.model.block().execInvariant(), 1);
        EXPECT_TRUE(sameValues(loadOnce(host, target, op.x), want));
    }
}

TEST(CedarState, CedarAsRestoredFirstIntegerIsItsFactor) {
    TestHost host;
    ModelCircuit source(host, moduleSpec("cedar_a"));
    ModelCircuit target(host, moduleSpec("cedar_a"));
    loadOnce(host, source, source.circuit->zeros());
    std::vector<uint8_t> bytes = saveState(source.model);
    const int32_t zero = 0;
    std::memcpy(bytes.data() + 206 * 8, &zero, sizeof zero);
    ASSERT_EQ(restoreState(target.model, bytes), 1);
    EXPECT_EQ(target.model.block().intVar(0), 0);
    EXPECT_EQ(target.model.block().intVar(1), 1);
    host.isInitialStep = 0;
    loadOnce(host, target, target.circuit->zeros());
    EXPECT_EQ(var(target, 76), var(target, 78) * 0.8);
    EXPECT_EQ(var(target, 56), 0.6 * var(target, 59));
}

// ---- topology ------------------------------------------------------------------------

// Request numbers of the stamps at each list position, and the positions
// whose flag is 1.
const int kRR[26] = {3, 4, 14, 7, 12, 2, 1, 17, 19, 18, 15, 16, 24, 26, 5, 11, 10, 21, 9, 8, 20, 6, 13, 22, 23, 25};
const int kRD[13] = {29, 35, 31, 34, 28, 27, 37, 36, 39, 30, 33, 38, 32};
const int kJR[35] = {48, 46, 44, 43, 41, 45, 40, 58, 60, 61, 57, 71, 70, 69, 72, 74, 55, 65,
                     64, 63, 66, 52, 62, 59, 54, 53, 42, 56, 47, 68, 49, 67, 50, 73, 51};
const int kJD[13] = {77, 85, 81, 82, 76, 75, 84, 83, 87, 78, 80, 86, 79};
const std::vector<int> kFlagRR = {6, 8, 12, 17}, kFlagRD = {6, 7};
const std::vector<int> kFlagJR = {2, 3, 4, 5, 6, 9, 11, 12, 13, 14, 17, 18, 19, 20}, kFlagJD = {6, 7};

bool flagged(const std::vector<int>& positions, int k) {
    return std::find(positions.begin(), positions.end(), k) != positions.end();
}

// The loader's GetSol, recording the variables asked for.
std::vector<const s_ZRT_StateVar*> g_asked;
ZRT_GetSolFn g_getSol = nullptr;
double recordingGetSol(s_ZRT_StateVar* sv, const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst) {
    g_asked.push_back(sv);
    return g_getSol(sv, loader, inst);
}

TEST(CedarTopology, BranchesReportsStampsAndNoise) {
    for (const char* name : kCedar) {
        SCOPED_TRACE(name);
        TestHost host;
        ModelInstance m(host, moduleSpec(name));
        s_ZRT_DeviceInst* inst = m.get();
        s_ZRT_StateVar sentinel{};
        inst->internalVars[3] = &sentinel;
        int data = 0;
        const uintptr_t firstHandle = reinterpret_cast<uintptr_t>(host.newHandle()) + 1;
        m.setUp(&data);
        BlockView b = m.block();

        const char* branches[5] = {"_ub_d_di_i", "_ub_g_gi_i", "_ub_s_sii_i", "_ub_sii_si_i", "_ub_xt1_xt2_i"};
        ASSERT_EQ(host.branches.size(), 5u);
        for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(host.branches[k].branchName, branches[k]);
            ASSERT_NE(inst->internalVars[10 + k], nullptr);
            EXPECT_EQ(inst->internalVars[10 + k]->branch->branchNumber, k);
        }
        EXPECT_EQ(b.branchCounter(), 5);
        EXPECT_EQ(inst->internalVars[12]->branch->pos, inst->nodeVars[2]);      // s
        EXPECT_EQ(inst->internalVars[12]->branch->neg, inst->internalVars[7]);  // sii

        // The di-si branch: cedar_a's named branch last, the others' fifth.
        ASSERT_EQ(host.topology.size(), 21u);
        const bool a = std::string(name) == "cedar_a";
        const TopologyReport& diSi = host.topology[a ? 20 : 4];
        EXPECT_EQ(diSi.name, a ? "cds_br_i" : "_ub_di_si_i");
        EXPECT_EQ(diSi.a, inst->nodeVars[1]);
        EXPECT_EQ(diSi.b, inst->nodeVars[4]);
        EXPECT_EQ(diSi.kind, 1);
        EXPECT_EQ(host.topology[a ? 4 : 5].name, "_ub_dii_si_i");
        EXPECT_EQ(host.topology[a ? 16 : 17].name, "_ub_sii_si_i");
        EXPECT_EQ(host.topology[a ? 16 : 17].kind, 0);
        EXPECT_TRUE(std::is_sorted(host.topology.begin(), host.topology.end() - (a ? 1 : 0),
                                   [](const TopologyReport& x, const TopologyReport& y) { return x.name < y.name; }));

        ASSERT_EQ(host.stamps.size(), 87u);
        auto handle = [&](int request) { return reinterpret_cast<ZRT_Handle>(firstHandle + request - 1); };
        for (int k = 0; k < 26; ++k) EXPECT_EQ(b.rr(k), handle(kRR[k])) << "R " << k;
        for (int k = 0; k < 13; ++k) EXPECT_EQ(b.rd(k), handle(kRD[k])) << "Q " << k;
        for (int k = 0; k < 35; ++k) EXPECT_EQ(b.jr(k), handle(kJR[k])) << "G " << k;
        for (int k = 0; k < 13; ++k) EXPECT_EQ(b.jd(k), handle(kJD[k])) << "D " << k;
        for (int k = 0; k < 26; ++k) {
            EXPECT_EQ(host.stamps[kRR[k] - 1].kind, StampKind::StaticRhs);
            EXPECT_EQ(host.stamps[kRR[k] - 1].flag1, flagged(kFlagRR, k) ? 1 : 0) << "R " << k;
        }
        for (int k = 0; k < 13; ++k) {
            EXPECT_EQ(host.stamps[kRD[k] - 1].kind, StampKind::DynamicRhs);
            EXPECT_EQ(host.stamps[kRD[k] - 1].flag1, flagged(kFlagRD, k) ? 1 : 0) << "Q " << k;
        }
        for (int k = 0; k < 35; ++k) {
            const testhost::StampRecord& s = host.stamps[kJR[k] - 1];
            EXPECT_EQ(s.flag1, 0);
            EXPECT_EQ(s.flag2, flagged(kFlagJR, k) ? 1 : 0) << "G " << k;
        }
        for (int k = 0; k < 13; ++k) {
            const testhost::StampRecord& s = host.stamps[kJD[k] - 1];
            EXPECT_EQ(s.flag1, 1);
            EXPECT_EQ(s.flag2, flagged(kFlagJD, k) ? 1 : 0) << "D " << k;
            EXPECT_EQ(s.rowA, s.colA);
            EXPECT_EQ(s.rowB, s.colB);
        }
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

        ASSERT_EQ(host.noiseReports.size(), 4u);
        const int noiseRR[4] = {20, 4, 7, 15};
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(host.noiseReports[k].source, k);
            EXPECT_EQ(host.noiseReports[k].key, b.rr(noiseRR[k]));
        }

        // Neither the host's slot 3 nor dii is read; slot 3 is in no call.
        g_asked.clear();
        g_getSol = host.loader.GetSol;
        host.loader.GetSol = recordingGetSol;
        host.isInitialStep = 1;
        inst->pMD->genericAnalogLoad(inst, &host.loader);
        inst->pMD->genericAnalogLoadRHS(inst, &host.loader);
        host.loader.GetSol = g_getSol;
        EXPECT_FALSE(g_asked.empty());
        for (const s_ZRT_StateVar* sv : g_asked) {
            EXPECT_NE(sv, &sentinel);
            EXPECT_NE(sv, inst->nodeVars[3]);
        }
        for (const auto& s : host.stamps) {
            for (const s_ZRT_StateVar* sv : {s.rowA, s.rowB, s.colA, s.colB}) {
                EXPECT_NE(sv, &sentinel);
            }
        }
        for (const auto& t : host.topology) {
            EXPECT_NE(t.a, &sentinel);
            EXPECT_NE(t.b, &sentinel);
        }
    }
}

TEST(CedarTopology, APreexistingSourceBranchIsCollapsed) {
    TestHost host;
    ModelInstance m(host, moduleSpec("cedar_b"));
    for (size_t k = 0; k < kRealParams.size(); ++k) {
        m.inst.realParams[k] = kRealParams[k];
    }
    m.inst.intParams[0] = 1;
    s_ZRT_DeviceInst* inst = m.get();
    m.md.finalizeAnalogTopology(inst);
    s_ZRT_StateVar* pre = ZRT_CreateBranchStateVar("_ub_s_sii_i", ZRT_BRANCH_DEFAULT, inst->nodeVars[2],
                                                   inst->internalVars[7], inst, nullptr);
    ASSERT_NE(pre, nullptr);
    pre->branch->branchNumber = 9;
    m.md.createBranches(inst, nullptr);
    m.md.setAnalogStamp(inst, nullptr);
    m.md.reportTopology(inst, nullptr);
    BlockView b = m.block();
    EXPECT_EQ(inst->internalVars[12], pre);
    EXPECT_EQ(pre->branch->branchNumber, 9);
    EXPECT_EQ(b.branchCounter(), 4);
    EXPECT_EQ(inst->internalVars[13]->branch->branchNumber, 2);
    EXPECT_EQ(b.collapsed(17), 1);
    ASSERT_EQ(host.topology.size(), 20u);
    for (const auto& row : host.topology) {
        EXPECT_NE(row.name, "_ub_s_sii_i");
    }

    // Distinct potentials and flows: the collapsed branch loses its four
    // equation terms, and its row keeps only the source resistance.
    host.isInitialStep = 1;
    host.solution.resize(300);
    for (size_t i = 0; i < host.solution.size(); ++i) {
        host.solution[i] = 0.01 * static_cast<double>(i);
    }
    m.md.genericAnalogLoad(inst, &host.loader);
    const Loaded l = lastLoad(host);
    const double flow = host.solution[pre->index];
    EXPECT_EQ(l.rr[23], 0.0);
    EXPECT_EQ(l.jr[29], 0.0);
    EXPECT_EQ(l.jr[30], 0.0);
    EXPECT_EQ(l.rr[0], 0.1 / b.var(165) * flow);  // M172 / M173 in cedar_b's numbering
    EXPECT_EQ(l.jr[31], 1.0);
    EXPECT_EQ(l.jr[32], -1.0);

    Circuit circuit(host, inst);
    std::vector<double> x = circuit.zeros();
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = 0.1 * std::sin(1.0 + static_cast<double>(i));
    }
    FdReport report = circuit.checkJacobian(x, modelFdOptions());
    EXPECT_TRUE(report.passed()) << report.summary();
}

TEST(CedarTopology, NoReportWithoutTheHostSlot) {
    TestHost host;
    host.sim.ReportTopology = nullptr;
    ModelInstance m(host, moduleSpec("cedar_a"));
    m.setUp();
    EXPECT_TRUE(host.topology.empty());
    EXPECT_EQ(host.stamps.size(), 87u);
}

}  // namespace
