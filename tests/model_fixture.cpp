#include "tests/model_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "ZRT_SavedState.h"

namespace testhost {

const std::vector<double> kRealParams = {1, 50, 30, 2, 4, 2.5, 10, 25, 2.5e-4, 45, -2, 1, 1};

void setParams(ModelInstance& m, const std::vector<int32_t>& ints, const std::vector<double>& reals) {
    for (size_t k = 0; k < reals.size() && k < m.inst.realParams.size(); ++k) {
        m.inst.realParams[k] = reals[k];
    }
    for (size_t k = 0; k < m.inst.intParams.size(); ++k) {
        m.inst.intParams[k] = k < ints.size() ? ints[k] : (k == 0 ? 1 : 0);
    }
}

ModelCircuit::ModelCircuit(TestHost& host, const ModuleSpec& spec, const std::vector<int32_t>& ints,
                           const std::vector<double>& reals)
    : model(host, spec) {
    setParams(model, ints, reals);
    // The channel current flows from dii to si; the circuit ties dii to di.
    model.inst.nodeVars[3] = model.inst.nodeVars[1];
    host.isInitialStep = 1;
    model.setUp();
    circuit = std::make_unique<Circuit>(host, model.get());
}

DcResult ModelCircuit::solve(double vg, double vd, double vs, const DcOptions& options) {
    return circuit->solveDc({{d(), vd}, {g(), vg}, {s(), vs}}, options);
}

std::vector<std::string> familyFaults(const std::vector<IdVdPoint>& family, size_t drains, double maxStep) {
    std::vector<std::string> faults;
    auto at = [](const IdVdPoint& p) { return " at vg " + std::to_string(p.vg) + " vd " + std::to_string(p.vd); };
    for (size_t first = 0; first + drains <= family.size(); first += drains) {
        for (size_t k = first; k < first + drains; ++k) {
            const IdVdPoint& p = family[k];
            if (!p.result.converged || p.result.iterations > 50 || !std::isfinite(p.drainCurrent)) {
                faults.push_back("no finite solution" + at(p) + ": " + p.result.failure);
                continue;
            }
            if (!quadraticNearTheSolution(p.result.updateNorms)) {
                faults.push_back("no quadratic convergence" + at(p));
            }
            if (k > first && std::fabs(p.drainCurrent - family[k - 1].drainCurrent) > maxStep) {
                faults.push_back("a current jump" + at(p));
            }
        }
        if (!(family[first].drainCurrent < 1e-9)) {
            faults.push_back("no reverse current" + at(family[first]));
        }
        if (drains > 4 && !(family[first + drains - 1].drainCurrent >= family[first + 4].drainCurrent)) {
            faults.push_back("the current falls with the drain voltage" + at(family[first + drains - 1]));
        }
    }
    return faults;
}

// The module's own batches come first; a birch operator's loads follow them.
Loaded lastLoad(const TestHost& host) {
    Loaded out;
    auto take = [](std::vector<double>& into, const LoadRecord& r) {
        if (into.empty()) {
            into = r.values;
        }
    };
    for (const LoadRecord& r : host.loads) {
        switch (r.slot) {
        case LoadSlot::StaticRhs: take(out.rr, r); break;
        case LoadSlot::DynamicRhs: take(out.rd, r); break;
        case LoadSlot::StaticJacobian: take(out.jr, r); break;
        case LoadSlot::DynamicJacobian: take(out.jd, r); break;
        default: break;
        }
    }
    return out;
}

bool sameValues(const Loaded& a, const Loaded& b) {
    return a.rr == b.rr && a.rd == b.rd && a.jr == b.jr && a.jd == b.jd;
}

Loaded loadOnce(TestHost& host, ModelCircuit& mc, const std::vector<double>& x, Circuit::LoadKind kind) {
    mc.circuit->load(x, kind);
    return lastLoad(host);
}

FdOptions modelFdOptions() {
    FdOptions o;
    o.relTol = 1e-5;
    o.absTol = 1e-12;    // siemens and farads far below any entry that matters
    o.rowRelTol = 1e-8;  // entries at the rounding level of their row
    return o;
}

std::vector<std::pair<double, double>> interiorBiasPoints() {
    std::vector<std::pair<double, double>> points;
    for (double vg : {-2.6, -1.8, -1.2, -0.6, 0.0, 0.4}) {
        for (double vd : {-1.5, -0.4, 0.3, 0.9, 2.0, 4.0, 7.0, 11.0, 16.0}) {
            points.push_back({vg, vd});
        }
    }
    return points;
}

int checkAcrossInterior(ModelCircuit& mc, unsigned seed, const std::vector<std::pair<double, double>>& points,
                        const std::function<void(const std::vector<double>& x)>& alsoAt) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(-0.05, 0.05);
    int checked = 0;
    for (auto [vg, vd] : points) {
        DcResult op = mc.solve(vg, vd);
        EXPECT_TRUE(op.converged) << vg << " " << vd << ": " << op.failure;
        if (!op.converged) {
            continue;
        }
        std::vector<double> off = op.x;
        for (double& v : off) {
            v += jitter(rng) * (1.0 + std::fabs(v));
        }
        for (const std::vector<double>* x : {&op.x, &off}) {
            FdReport report = mc.circuit->checkJacobian(*x, modelFdOptions());
            EXPECT_TRUE(report.passed()) << "vg " << vg << " vd " << vd << "\n" << report.summary();
            RhsReport rhs = mc.circuit->checkRhsLoad(*x);
            EXPECT_TRUE(rhs.identical()) << rhs.summary();
            if (alsoAt) {
                alsoAt(*x);
            }
            ++checked;
        }
    }
    return checked;
}

void checkIdVdFamily(ModelCircuit& mc) {
    const std::vector<double> gates = {-2.5, -1.5, -1.0, -0.5, 0.0, 0.5};
    std::vector<double> drains;
    for (int k = 0; k < 24; ++k) {
        drains.push_back(-1.0 + 0.5 * k);
    }
    const std::vector<IdVdPoint> family = mc.circuit->idVdFamily(mc.terminals(), gates, drains);
    ASSERT_EQ(family.size(), gates.size() * drains.size());
    const size_t n = drains.size();
    for (size_t gi = 0; gi < gates.size(); ++gi) {
        for (size_t di = 0; di < n; ++di) {
            const IdVdPoint& p = family[gi * n + di];
            ASSERT_TRUE(p.result.converged) << p.vg << " " << p.vd << ": " << p.result.failure;
            EXPECT_LE(p.result.iterations, 50);
            ASSERT_TRUE(std::isfinite(p.drainCurrent));
            EXPECT_TRUE(quadraticNearTheSolution(p.result.updateNorms)) << p.vg << " " << p.vd;
        }
        // The current follows the drain voltage without jumps: no step is
        // far above both of its neighbours.
        auto step = [&](size_t k) {
            return std::fabs(family[gi * n + k + 1].drainCurrent - family[gi * n + k].drainCurrent);
        };
        for (size_t k = 1; k + 2 < n; ++k) {
            EXPECT_LE(step(k), 3.0 * std::max(step(k - 1), step(k + 1)) + 1e-3)
                << gates[gi] << " " << drains[k] << " to " << drains[k + 1];
        }
        // Reverse current flows back; forward current grows with the drain.
        EXPECT_LT(family[gi * n].drainCurrent, 1e-9);
        EXPECT_GE(family[(gi + 1) * n - 1].drainCurrent, family[gi * n + 4].drainCurrent);
    }
    // The gate controls the channel: more current at a higher gate voltage.
    const size_t vd5 = 12;
    EXPECT_GT(family[5 * n + vd5].drainCurrent, family[3 * n + vd5].drainCurrent);
    EXPECT_GT(family[3 * n + vd5].drainCurrent, family[0 * n + vd5].drainCurrent);
}

std::vector<uint8_t> saveState(ModelInstance& m) {
    s_ZRT_DeviceState state{};
    uint32_t count = 0;
    const uint8_t* bytes = m.md.saveDeviceState(m.get(), &state, &count);
    std::vector<uint8_t> out;
    if (bytes != nullptr) {
        out.assign(bytes, bytes + count);
    }
    m.md.freeDeviceSerializer(m.get(), 1);
    return out;
}

int32_t restoreState(ModelInstance& m, const std::vector<uint8_t>& bytes) {
    s_ZRT_DeviceState state{};
    const int32_t answer =
        m.md.restoreDeviceState(m.get(), &state, bytes.data(), static_cast<uint32_t>(bytes.size()));
    m.md.freeDeviceSerializer(m.get(), 0);
    return answer;
}

void checkSaveRestore(const ModuleSpec& spec) {
    SCOPED_TRACE(spec.name);
    TestHost host;
    ModelCircuit source(host, spec);
    ModelCircuit target(host, spec);
    DcResult op = source.solve(-0.5, 3.0);
    ASSERT_TRUE(op.converged) << op.failure;
    const std::vector<uint8_t> bytes = saveState(source.model);
    ASSERT_FALSE(bytes.empty());

    // No initial step from here on: the target has only what it restores.
    host.isInitialStep = 0;
    const Loaded want = loadOnce(host, source, op.x);
    const Loaded fresh = loadOnce(host, target, op.x);
    EXPECT_NE(fresh.rr, want.rr);

    const std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 5);
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

}  // namespace testhost
