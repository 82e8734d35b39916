// A model instance in the DC test circuit: the realistic parameters, dii tied
// to di, the topology set up, and the circuit host over its stamps; and the
// checks every model's tests run through it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/circuit_host.h"
#include "tests/model_host.h"

namespace testhost {

// A test run once for each module it is instantiated with; GetParam() is the
// module.
using ModuleTest = ::testing::TestWithParam<ModuleSpec>;

// Real parameters that give every model transistor-like curves; the integer
// parameters are 1 then zeros.
extern const std::vector<double> kRealParams;

// Gives an instance these real parameters and the integer parameters `ints`
// (1 then zeros where it gives none).
void setParams(ModelInstance& m, const std::vector<int32_t>& ints = {}, const std::vector<double>& reals = kRealParams);

struct ModelCircuit {
    ModelCircuit(TestHost& host, const ModuleSpec& spec, const std::vector<int32_t>& ints = {},
                 const std::vector<double>& reals = kRealParams);

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

// The values of one load, by slot.
struct Loaded {
    std::vector<double> rr, rd, jr, jd;
};
// Bit-identical values in all four slots.
bool sameValues(const Loaded& a, const Loaded& b);
// What the host recorded of the last load.
Loaded lastLoad(const TestHost& host);
// Runs one load at x and answers its values.
Loaded loadOnce(TestHost& host, ModelCircuit& mc, const std::vector<double>& x,
                Circuit::LoadKind kind = Circuit::LoadKind::Full);

// The finite-difference tolerances of the model checks.
FdOptions modelFdOptions();

// Bias points (gate, drain) over the smooth interior: the gate from pinch-off
// to forward, the drain from reverse to beyond the knee.
std::vector<std::pair<double, double>> interiorBiasPoints();

// At every bias point (the interior ones by default), at the operating point
// and off it with every unknown moved a little: the Jacobian against finite
// differences of the model's own residuals and charges, the right-hand-side
// load against the full load, and then `alsoAt`, when given, at the same
// unknowns. Answers the number of points checked.
int checkAcrossInterior(ModelCircuit& mc, unsigned seed,
                        const std::vector<std::pair<double, double>>& points = interiorBiasPoints(),
                        const std::function<void(const std::vector<double>& x)>& alsoAt = {});

// An Id-Vd family of 6 gate by 24 drain voltages, each point solved from
// zero: every point converges within 50 iterations, quadratically near the
// solution, to a finite current that follows the drain voltage without
// jumps; reverse current flows back, forward current grows, and the gate
// controls the channel.
void checkIdVdFamily(ModelCircuit& mc);

// A save of the instance through its descriptor, the bytes copied out and the
// serializer freed as a host does.
std::vector<uint8_t> saveState(ModelInstance& m);
// A restore from the bytes; answers what the module answered.
int32_t restoreState(ModelInstance& m, const std::vector<uint8_t>& bytes);

// Saves an instance at an operating point and restores it into a fresh one;
// with no initial step after, both load the same values, while the fresh one
// loaded other values before. Damaged streams (cut short, a miscounted
// operator list) are refused and change nothing.
void checkSaveRestore(const ModuleSpec& spec);

}  // namespace testhost
