// A model instance in the DC test circuit: the realistic parameters, dii tied
// to di, the topology set up, and the circuit host over its stamps.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "circuit_host.h"
#include "model_host.h"

namespace testhost {

// Real parameters that give every model transistor-like curves; the integer
// parameters are 1 then zeros.
extern const std::vector<double> kRealParams;

struct ModelCircuit {
    ModelCircuit(TestHost& host, const ModuleSpec& spec, const std::vector<int32_t>& ints = {});

    ModelInstance model;
    std::unique_ptr<Circuit> circuit;

    s_ZRT_StateVar* g() { return model.inst.nodeVars[0]; }
    s_ZRT_StateVar* s() { return model.inst.nodeVars[2]; }
    s_ZRT_StateVar* d() { return model.inst.nodeVars[6]; }
    Terminals terminals() { return {d(), g(), s()}; }

    // The DC operating point at the given terminal voltages.
    DcResult solve(double vg, double vd, double vs = 0.0, const DcOptions& options = {});
};

// What is wrong with an Id-Vd family (gate-major, `drains` points a gate),
// one line a fault: a point that did not converge within 50 iterations or
// whose drain current is not finite, a solve that did not close
// quadratically, a current step above `maxStep` between neighbouring drain
// voltages, a reverse current at a gate's first drain voltage, or less
// current at its last drain voltage than at its fifth. Empty for a sound
// family.
std::vector<std::string> familyFaults(const std::vector<IdVdPoint>& family, size_t drains, double maxStep);

}  // namespace testhost
