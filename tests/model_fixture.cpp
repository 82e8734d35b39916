#include "model_fixture.h"

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

}  // namespace testhost
