#include "model_fixture.h"

#include <cmath>

namespace testhost {

const std::vector<double> kRealParams = {1, 50, 30, 2, 4, 2.5, 10, 25, 2.5e-4, 45, -2, 1, 1};

ModelCircuit::ModelCircuit(TestHost& host, const ModuleSpec& spec, const std::vector<int32_t>& ints)
    : model(host, spec) {
    for (size_t k = 0; k < kRealParams.size() && k < model.inst.realParams.size(); ++k) {
        model.inst.realParams[k] = kRealParams[k];
    }
    for (size_t k = 0; k < model.inst.intParams.size(); ++k) {
        model.inst.intParams[k] = k < ints.size() ? ints[k] : (k == 0 ? 1 : 0);
    }
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

}  // namespace testhost
